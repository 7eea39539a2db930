#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;
class TMainF;

// The login window "登录": user name and password, checked against the users table of a bank
// file, or by the server itself, as the user's own database role, for a server bank.
class TDLF : public QDialog {
    Q_OBJECT
public:
    // `startup` marks the window created at program start: closing it ends the program. Login
    // dialogs opened by logging out return to their main window when closed with the close box.
    TDLF(QWidget* parent, bool startup);

    void ConnectDB();   // opens Data/examdb.db afresh and every dataset
    void BtnQdClick();  // the login attempt
    void BtnQxClick();  // ends the program

    QLabel* Label1;
    QFrame* Panel1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* LabelBank;  // the bank a login opens
    QLineEdit* EditYhm;
    QLineEdit* EditMm;
    QPushButton* BtnQx;
    QPushButton* BtnQd;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void showBank();
    // Connects to the server bank as the user's role; the level its groups give, 0 when refused.
    int serverLogin(const QString& name, const QString& password);
    void enterMainWindow(TMainF* main);
    void refuse(TMainF* main);  // a failed attempt; the third opens the main window disabled
    bool startup_;
};
