#pragma once
#include <QDialog>

class QPushButton;

// The contact dialog "联系我们".
class TLxwmF : public QDialog {
    Q_OBJECT
public:
    explicit TLxwmF(QWidget* parent = nullptr);
    QPushButton* BtnQr;
};
