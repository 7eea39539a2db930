#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

// 回收站: lists what the maintenance dialogs deleted (what each item held, when and by whom),
// puts an item back with everything it held, and empties the bin or only its older items.
class THszF : public QDialog {
    Q_OBJECT
public:
    explicit THszF(QWidget* parent = nullptr);

    void FormShow();
    void BtnHyClick();
    void BtnQkClick();
    void BtnQcClick();
    void BtnGbClick();

    QLabel* Label1;
    QTableWidget* GridHsz;
    QPushButton* BtnHy;
    QPushButton* BtnQk;
    QLabel* Label2;
    QSpinBox* EditTs;
    QLabel* Label3;
    QPushButton* BtnQc;
    QLabel* LabelZt;
    QPushButton* BtnGb;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Asks for a new name while the item's name is taken; false when the user gives up.
    bool chooseName(qint64 itemId, const QString& kind, QString* name);
    bool subjectRestored_ = false;
};
