#pragma once
#include <QDialog>

// 题型设置
class TTxszF : public QDialog {
    Q_OBJECT
public:
    explicit TTxszF(QWidget* parent = nullptr);
};
