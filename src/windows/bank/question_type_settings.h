#pragma once
#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// 题型设置: the question types of the main window's current subject; adds a type under the
// subject's next type code and deletes a type with its questions.
class TTxszF : public QDialog {
    Q_OBJECT
public:
    explicit TTxszF(QWidget* parent = nullptr);

    void FormShow();
    void ListBoxTxmClick();
    void BtnZjtxClick();
    void BtnSctxClick();
    void BtnGbClick();

    static void DelStb(const QString& kmh, const QString& txh);
    static void DelTxb(const QString& kmh, const QString& txh);

    // The subject the dialog works on. It belongs to the program, not to one opening: it is
    // taken from the main window at every showing and kept until the next one.
    struct Subject {
        QString name;
        QString code;
        bool exists = false;  // the name matched a subject at the last showing
    };
    static Subject& subject();

    QFrame* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* EditTxm;
    QListWidget* ListBoxTxm;
    QPushButton* BtnZjtx;
    QPushButton* BtnSctx;
    QPushButton* BtnGb;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    bool refuseMissingSubject();
};
