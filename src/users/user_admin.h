#pragma once
#include <QDialog>

// 密码设置
class TMmszF : public QDialog {
    Q_OBJECT
public:
    explicit TMmszF(QWidget* parent = nullptr);
};
