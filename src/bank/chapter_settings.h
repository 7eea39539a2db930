#pragma once
#include <QDialog>

// 章节设置
class TZjxzF : public QDialog {
    Q_OBJECT
public:
    explicit TZjxzF(QWidget* parent = nullptr);
};
