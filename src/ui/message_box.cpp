#include "ui/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

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

int minimumWidth(const QString& caption)
{
    // QMessageBox sizes itself to its text and allows only 50 pixels beside the caption, which a
    // title bar with an icon and three buttons elides ("E… o"). Window managers draw captions in
    // their own, often larger font, so the caption is measured at a generous size.
    QFont titleFont = QApplication::font();
    titleFont.setPixelSize(std::max(16, titleFont.pixelSize()));
    titleFont.setBold(true);
    const int captionWidth = QFontMetrics(titleFont).horizontalAdvance(caption);
    const int titleBarControls = 180;  // window icon, minimise/maximise/close buttons and margins
    return std::max(280, captionWidth + titleBarControls);
}

static int showBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                   QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton, QWidget* parent,
                   const QString& detail = QString(), const QString& yes = QString(), const QString& no = QString(),
                   const QString& save = QString())
{
    log().append(text);
    QMessageBox box(icon, caption, text, buttons, defaultParent(parent));
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setDefaultButton(defaultButton);
    if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    if (!yes.isEmpty()) box.button(QMessageBox::Yes)->setText(yes);
    if (!no.isEmpty()) box.button(QMessageBox::No)->setText(no);
    if (!save.isEmpty()) box.button(QMessageBox::Save)->setText(save);
    if (!(buttons & QMessageBox::Cancel) && (buttons & QMessageBox::No)) box.setEscapeButton(QMessageBox::No);
    // The box fixes its own size from its layout each time it is shown: a spacer across the
    // bottom row is the one way to make that layout, and so the box, wide enough.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(minimumWidth(caption), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box.exec();
}

void show(const QString& text, QWidget* parent)
{
    showBox(QMessageBox::NoIcon, QStringLiteral("Exavoro"), text, QMessageBox::Ok, QMessageBox::Ok, parent);
}

bool confirm(const QString& text, QWidget* parent)
{
    return showBox(QMessageBox::Question, QStringLiteral("确认框"), text, QMessageBox::Ok | QMessageBox::Cancel,
                   QMessageBox::Ok, parent) == QMessageBox::Ok;
}

bool confirmDestructive(const QString& text, QWidget* parent)
{
    return showBox(QMessageBox::Question, QStringLiteral("确认框"), text, QMessageBox::Ok | QMessageBox::Cancel,
                   QMessageBox::Cancel, parent) == QMessageBox::Ok;
}

bool askYesNo(const QString& text, QWidget* parent)
{
    return showBox(QMessageBox::Question, QStringLiteral("确认框"), text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes, parent, QString(), QStringLiteral("是"), QStringLiteral("否")) == QMessageBox::Yes;
}

void error(const QString& text, QWidget* parent, const QString& detail)
{
    showBox(QMessageBox::Critical, QStringLiteral("Exavoro"), text, QMessageBox::Ok, QMessageBox::Ok, parent, detail);
}

QMessageBox::StandardButton choose(const QString& text, const QString& yes, const QString& no, QWidget* parent)
{
    return static_cast<QMessageBox::StandardButton>(showBox(QMessageBox::Question, QStringLiteral("Exavoro"), text,
                                                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                                            QMessageBox::Yes, parent, QString(), yes, no));
}

QMessageBox::StandardButton chooseOfThree(const QString& text, const QString& yes, const QString& no,
                                          const QString& third, QWidget* parent)
{
    return static_cast<QMessageBox::StandardButton>(showBox(QMessageBox::Question, QStringLiteral("确认框"), text,
                                                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Save,
                                                            QMessageBox::Yes, parent, QString(), yes, no, third));
}

const QStringList& history()
{
    return log();
}
void clearHistory()
{
    log().clear();
}

}  // namespace MsgBox
