#pragma once
#include <QDialog>

// 录入试题
class TLrstF : public QDialog {
    Q_OBJECT
public:
    explicit TLrstF(QWidget* parent = nullptr);
};
