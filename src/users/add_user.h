#pragma once
#include <QDialog>

// 添加用户
class TTjyhF : public QDialog {
    Q_OBJECT
public:
    explicit TTjyhF(QWidget* parent = nullptr);
};
