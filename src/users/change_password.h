#pragma once
#include <QDialog>

// 修改密码
class TXgmmF : public QDialog {
    Q_OBJECT
public:
    explicit TXgmmF(QWidget* parent = nullptr);
};
