#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// 重置密码: a super user sets a new password for the user that is current in the user list,
// without the old one (for a user who has forgotten it).
class TCzmmF : public QDialog {
    Q_OBJECT
public:
    explicit TCzmmF(QWidget* parent = nullptr);

    void FormShow();    // names the selected user at the top
    void BtnQrClick();  // checks the repeated new password, then stores it
    void BtnQxClick();  // closes without change

    QLabel* Label1;
    QLabel* LabelYhm;
    QLabel* Label3;
    QLabel* Label4;
    QLineEdit* EditXmm1;
    QLineEdit* EditXmm2;
    QPushButton* BtnQr;
    QPushButton* BtnQx;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
};
