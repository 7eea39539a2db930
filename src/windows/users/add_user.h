#pragma once
#include <QDialog>
#include <QVector>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// 添加用户: appends a user with a name, a password (stored hashed) and a permission level.
class TTjyhF : public QDialog {
    Q_OBJECT
public:
    explicit TTjyhF(QWidget* parent = nullptr);

    void BtnQrClick();  // checks the name and the repeated password, then adds the user
    void BtnQxClick();  // closes without change

    // The chosen item of the permission group: 0 题库管理用户, 1 试卷管理用户, 2 超级用户.
    int RGQXItemIndex() const;
    void setRGQXItemIndex(int index);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* EditYhm;
    QLineEdit* EditXmm1;
    QLineEdit* EditXmm2;
    QGroupBox* RGQX;
    QVector<QRadioButton*> RGQXItems;
    QPushButton* BtnQr;
    QPushButton* BtnQx;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    QButtonGroup* levels_;
};
