#pragma once
#include <QDialog>

// 科目设置
class TKmszF : public QDialog {
    Q_OBJECT
public:
    explicit TKmszF(QWidget* parent = nullptr);
};
