#pragma once
#include <QDialog>

// 组卷向导--总体设置
class TZtszF : public QDialog {
    Q_OBJECT
public:
    explicit TZtszF(QWidget* parent = nullptr);
};
