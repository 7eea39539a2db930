#pragma once
#include <QString>
#include <initializer_list>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace users {

// Gives the edits the lengths the login window takes (a null `name` is skipped).
void limitLikeLoginWindow(QLineEdit* name, std::initializer_list<QLineEdit*> passwords);

// Shows each typed character of a password edit as "*": the bullet of the dialogs' CJK fonts is
// as wide as a Chinese character, so ten of them ran out of the box.
void showPasswordAsStars(std::initializer_list<QLineEdit*> passwords);

// True when the name and password could be typed into the login window; otherwise shows which
// limit is exceeded and returns false. A null `name` is not checked.
bool fitsLoginWindow(const QString* name, const QString& password, QWidget* parent);

// The controls the user dialogs share: a named label, a named edit (a password edit shows "*"),
// and the "确认"/"取消" pair that Enter presses when it has the focus (Enter in an edit only moves
// the focus on).
QLabel* label(QWidget* dialog, const char* name, const QString& text);
QLineEdit* edit(QWidget* dialog, const char* name, bool password);
void confirmButtons(QWidget* dialog, QPushButton*& confirm, QPushButton*& cancel);

}  // namespace users
