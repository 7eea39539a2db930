#pragma once
#include <QDialog>

// 组卷向导--详细设置
class TXxszF : public QDialog {
    Q_OBJECT
public:
    explicit TXxszF(QWidget* parent = nullptr);
};
