#pragma once
#include <QString>

class QProgressDialog;
class QWidget;

namespace ui {

// Shows that a long piece of work runs on the user-interface thread: a busy cursor for as long as
// the object lives and, for work the caller expects to take a while, a small window that names
// the action ("正在删除科目“物理”……") with a moving bar. The window is painted once before the
// work starts; it has no cancel button, since the work runs in one transaction.
class Busy {
public:
    Busy(const QString& action, QWidget* parent, bool showWindow = true);
    ~Busy();
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    QProgressDialog* window_ = nullptr;
};

}  // namespace ui
