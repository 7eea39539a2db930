#pragma once
#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// 科目设置: lists the subjects, adds one under the next code, deletes one with everything filed
// under it. Closing it refills the main window's subject box.
class TKmszF : public QDialog {
    Q_OBJECT
public:
    explicit TKmszF(QWidget* parent = nullptr);

    void FormShow();
    void ListBoxKmClick();
    void BtnZJKMClick();
    void BtnSCKMClick();
    void FormClose();
    void BtnGBClick();

    // Deletions of one subject's rows, by subject code.
    static void DelStb(const QString& kmh);
    static void DelZjb(const QString& kmh);
    static void DelTxb(const QString& kmh);
    static void Delkmb(const QString& kmh);

    QFrame* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* EditKm;
    QListWidget* ListBoxKm;
    QPushButton* BtnZJKM;
    QPushButton* BtnSCKM;
    QPushButton* BtnGB;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    bool closing_ = false;
};
