// The baseline of the program's start: a bare Qt Widgets program that shows one dialog of the
// login window's size with two labelled line edits and two buttons, and reports the moment it
// has been painted exactly as the program does (app/startup_probe.h).
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/startup_probe.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("登录"));
    dialog.setFixedSize(327, 186);
    auto* name = new QLabel(QStringLiteral("用户名"), &dialog);
    name->setGeometry(63, 56, 61, 15);
    auto* password = new QLabel(QStringLiteral("密码"), &dialog);
    password->setGeometry(78, 88, 46, 15);
    (new QLineEdit(&dialog))->setGeometry(127, 52, 121, 23);
    (new QLineEdit(&dialog))->setGeometry(127, 84, 121, 23);
    (new QPushButton(QStringLiteral("确定"), &dialog))->setGeometry(71, 120, 75, 25);
    (new QPushButton(QStringLiteral("取消"), &dialog))->setGeometry(181, 120, 75, 25);
    app::probeStartup(&dialog);
    dialog.show();
    return application.exec();
}
