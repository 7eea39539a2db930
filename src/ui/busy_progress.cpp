#include "ui/busy_progress.h"
#include "ui/navigator.h"

#include <QApplication>
#include <QLabel>
#include <QProgressDialog>


BusyProgress::BusyProgress(QWidget* parent, const QString& action)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (QLabel* panel = ui::navigator().statusPanel()) {
        status_ = panel;
        previousStatus_ = status_->text();
        status_->setText(action + QStringLiteral("……"));
        status_->repaint();
    }
    dialog_ = new QProgressDialog(action + QStringLiteral("……"), QString(), 0, 1000, parent);
    dialog_->setObjectName(QStringLiteral("BusyProgress"));
    dialog_->setWindowTitle(QStringLiteral("Exavoro"));
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(500);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
}

BusyProgress::~BusyProgress()
{
    dialog_->close();
    delete dialog_;
    if (status_) status_->setText(previousStatus_);
    QApplication::restoreOverrideCursor();
}

void BusyProgress::update(qint64 done, qint64 total)
{
    if (total <= 0) return;
    const int value = static_cast<int>(1000 * std::min(done, total) / total);
    if (value != dialog_->value()) dialog_->setValue(value);
}

std::function<void(qint64, qint64)> BusyProgress::callback()
{
    return [this](qint64 done, qint64 total) { update(done, total); };
}
