#pragma once
#include <QPointer>
#include <QString>
#include <functional>

class QLabel;
class QProgressDialog;
class QWidget;

// Shows that a long action is running: a busy cursor, the action's name in the main window's
// status bar and, when the action takes longer than half a second, a progress bar with its name.
// Everything is put back when the object goes away.
class BusyProgress {
public:
    BusyProgress(QWidget* parent, const QString& action);
    ~BusyProgress();
    BusyProgress(const BusyProgress&) = delete;
    BusyProgress& operator=(const BusyProgress&) = delete;

    // Tells how far the action has come; keeps the window painted meanwhile.
    void update(qint64 done, qint64 total);
    std::function<void(qint64, qint64)> callback();

private:
    QProgressDialog* dialog_ = nullptr;
    QPointer<QLabel> status_;
    QString previousStatus_;
};
