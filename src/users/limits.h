#pragma once
#include <QString>
#include <initializer_list>

class QLineEdit;
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

}  // namespace users
