#include "ui/busy.h"

#include <QApplication>
#include <QProgressDialog>

namespace ui {

Busy::Busy(const QString& action, QWidget* parent, bool showWindow)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!showWindow) return;
    window_ = new QProgressDialog(action, QString(), 0, 0, parent);
    window_->setObjectName(QStringLiteral("BusyWindow"));
    window_->setWindowTitle(QStringLiteral("请稍候"));
    window_->setWindowModality(Qt::WindowModal);
    window_->setMinimumDuration(0);
    window_->setAutoClose(false);
    window_->setAutoReset(false);
    window_->show();
    // Paint it now: the work that follows keeps the event loop from doing so.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

Busy::~Busy()
{
    if (window_) {
        window_->hide();
        delete window_;
    }
    QApplication::restoreOverrideCursor();
}

}  // namespace ui
