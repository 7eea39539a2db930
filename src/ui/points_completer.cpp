#include "ui/points_completer.h"

#include <QLineEdit>
#include <QStringListModel>
#include <algorithm>

namespace ui {

PointsCompleter::PointsCompleter(QObject* parent) : QCompleter(parent)
{
    setModel(new QStringListModel(this));
    setCaseSensitivity(Qt::CaseInsensitive);
    setFilterMode(Qt::MatchContains);
    setCompletionMode(QCompleter::PopupCompletion);
}

void PointsCompleter::setPaths(const QStringList& paths)
{
    static_cast<QStringListModel*>(model())->setStringList(paths);
}

QStringList PointsCompleter::splitPath(const QString& path) const
{
    return {path.mid(lastBreak(path)).trimmed()};
}

QString PointsCompleter::pathFromIndex(const QModelIndex& index) const
{
    const auto* edit = qobject_cast<const QLineEdit*>(widget());
    const QString typed = edit ? edit->text() : QString();
    return typed.left(lastBreak(typed)) + index.data().toString();
}

int PointsCompleter::lastBreak(const QString& text)
{
    return int(std::max(text.lastIndexOf(QStringLiteral("，")), text.lastIndexOf(QLatin1Char(',')))) + 1;
}

}  // namespace ui
