#include "ui/window_state.h"

#include <QSettings>
#include <QSplitter>
#include <QStringList>

namespace ui {

namespace {

QSettings settingsFile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Exavoro"), QStringLiteral("windows"));
}

QString settingsKey(const QString& key)
{
    return key + QStringLiteral("/splitter");
}

}  // namespace

QString keptSplitterSizes(const QString& key)
{
    return settingsFile().value(settingsKey(key)).toString();
}

void keepSplitterSizes(QSplitter* splitter, const QString& key)
{
    const QStringList parts = keptSplitterSizes(key).split(QLatin1Char(','), Qt::SkipEmptyParts);
    QList<int> sizes;
    int sum = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const int size = part.trimmed().toInt(&ok);
        if (!ok || size < 0) {
            sizes.clear();
            break;
        }
        sizes << size;
        sum += size;
    }
    // A file edited by hand or left by another version of the window is not applied.
    if (sizes.size() == splitter->count() && sum > 0) splitter->setSizes(sizes);

    QObject::connect(splitter, &QSplitter::splitterMoved, splitter, [splitter, key] {
        QStringList kept;
        for (const int size : splitter->sizes()) kept << QString::number(size);
        QSettings settings = settingsFile();
        settings.setValue(settingsKey(key), kept.join(QLatin1Char(',')));
    });
}

}  // namespace ui
