#pragma once
#include <QDialog>
#include <QStringList>
#include <QVector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

// 组卷向导--总体设置: the first wizard step. It chooses the subject, the question types of the
// paper and their order, the title, the time and the total score. It writes nothing; the later
// steps read these controls directly while this dialog stays hidden behind step 2.
class TZtszF : public QDialog {
    Q_OBJECT
public:
    explicit TZtszF(QWidget* parent = nullptr);

    QString KmmToKmh(const QString& name) const;
    void InitComboBoxKm();
    void InitListBoxTk(const QString& name);

    void FormShow();
    // picked: a subject was chosen from the list; otherwise text was typed into the box.
    void ComboBoxKmChange(bool picked);
    void SBtnYrClick();
    void SBtnYcClick();
    void SBtnQbyrClick();
    void SBtnQbycClick();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void BtnXybClick();
    void BtnQxClick();
    // 按细目表组卷: the blueprint window over this dialog's settings; a composed paper goes on to step 2.
    void BtnXmbClick();
    // Hides this dialog and runs step 2 modally. With keepPaper, step 2 takes over the paper
    // already in sjb (composed from a blueprint) instead of starting an empty one.
    void openStepTwo(bool keepPaper);

    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QGroupBox* GroupBox3;
    QLineEdit* EditSjbt;
    QLineEdit* EditSj;
    QLineEdit* EditZf;
    QComboBox* ComboBoxKm;
    QListWidget* ListBoxTk;
    QListWidget* ListBoxSj;
    QToolButton* SBtnYr;
    QToolButton* SBtnYc;
    QToolButton* SBtnQbyr;
    QToolButton* SBtnQbyc;
    QToolButton* SpeedButton5;
    QToolButton* SpeedButton6;
    QPushButton* BtnXyb;
    QPushButton* BtnQx;
    QLabel* Label1;  // 科目
    QLabel* Label2;  // 待选题型
    QLabel* Label3;  // 试卷题型列表
    QLabel* Label4;  // 试卷标题
    QLabel* Label5;  // 考试时间
    QLabel* Label6;  // 分钟
    QLabel* Label7;  // 总分
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;

    QPushButton* BtnXmb;  // 按细目表组卷
    // The blueprint printed as a table after the answer key of the paper composed from it (rows of
    // cell texts, the header first); empty for a paper composed in step 2 from scratch.
    QVector<QStringList> BlueprintTable;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void focusTitle();
};

namespace wizard {
// The selected row of a list box, -1 when no item is selected.
int selectedRow(const QListWidget* list);
// Makes `row` the one selected row of a list box; -1 leaves no row selected.
void selectRow(QListWidget* list, int row);
}  // namespace wizard
