#pragma once
#include <QDialog>

class DBGrid;
class QPushButton;

// 密码设置: the list of users with their permission descriptions; adding and deleting users and
// changing a password start here. The grid's current row is the data module's current user row.
class TMmszF : public QDialog {
    Q_OBJECT
public:
    explicit TMmszF(QWidget* parent = nullptr);

    void BtnTjyhClick();  // opens 添加用户
    void BtnScyhClick();  // deletes the selected user after confirmation
    void BtnXgmmClick();  // opens 修改密码 for the selected user
    void BtnCzmmClick();  // opens 重置密码 for the selected user (super users only)
    void BtnGbckClick();  // closes the dialog

    DBGrid* DBGrid1;
    QPushButton* BtnTjyh;
    QPushButton* BtnScyh;
    QPushButton* BtnXgmm;
    QPushButton* BtnCzmm;  // shown only while a super user is logged in
    QPushButton* BtnGbck;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    // Refuses an in-place rename that would leave the user nameless or share a name with
    // another user; shows the reason.
    bool acceptGridEdit(int row, const QString& field, const QString& text);
    // True when the current row is the only user whose level is 3.
    bool currentIsLastSuperUser();
};
