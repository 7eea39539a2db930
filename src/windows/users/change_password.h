#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// 修改密码: sets a new password for the user that is current in the user list, once the old
// password has been typed correctly.
class TXgmmF : public QDialog {
    Q_OBJECT
public:
    explicit TXgmmF(QWidget* parent = nullptr);

    void FormShow();    // names the selected user at the top
    void BtnQrClick();  // checks the old password and the repeated new one, then stores it
    void BtnQxClick();  // closes without change

    QLabel* Label1;
    QLabel* LabelYhm;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLineEdit* EditJmm;
    QLineEdit* EditXmm1;
    QLineEdit* EditXmm2;
    QPushButton* BtnQr;
    QPushButton* BtnQx;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // On a server: the old password is proven by a connection of the user's role, the new one set
    // through the bank's function.
    bool serverAccepts(const QString& name, const QString& password);
    // Sets the checked new password of the user's server role.
    void changeOnServer(const QString& name, const QString& password);
    void FormCreate();
};
