#include "app/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace MsgBox {

static QStringList& log()
{
    static QStringList texts;
    return texts;
}

static QWidget* defaultParent(QWidget* parent)
{
    if (parent) return parent;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

static int showBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                   QMessageBox::StandardButtons buttons, QWidget* parent)
{
    log().append(text);
    QMessageBox box(icon, caption, text, buttons, defaultParent(parent));
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setDefaultButton(QMessageBox::Ok);
    if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    return box.exec();
}

void show(const QString& text, QWidget* parent)
{
    showBox(QMessageBox::NoIcon, QStringLiteral("Exavoro"), text, QMessageBox::Ok, parent);
}

bool confirm(const QString& text, QWidget* parent)
{
    return showBox(QMessageBox::Question, QStringLiteral("确认框"), text, QMessageBox::Ok | QMessageBox::Cancel,
                   parent) == QMessageBox::Ok;
}

void error(const QString& text, QWidget* parent)
{
    showBox(QMessageBox::Critical, QStringLiteral("Exavoro"), text, QMessageBox::Ok, parent);
}

const QStringList& history() { return log(); }
void clearHistory() { log().clear(); }

}  // namespace MsgBox
