// The whole program as a user meets it, in one flow over one working folder:
// log in as the super user of an empty bank, build two subjects with types,
// chapters and questions through the maintenance dialogs, run both wizard steps
// (automatic and manual selection, a reordering) and read back the paper
// document that "组卷" writes.
//
// The steps are separate test functions that run in order on shared state; once
// one fails, the later ones are skipped rather than failing for the same
// reason.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "windows/bank/chapter_settings.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/question_type_settings.h"
#include "windows/bank/subject_settings.h"
#include "data/data_module.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "windows/output/layout_dialog.h"
#include <QCheckBox>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "output/docx_reader.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <memory>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// Stands in for the desktop's word processor: records the documents it is asked
// to open.
class DocumentOpener : public QObject {
  Q_OBJECT
public:
  QStringList opened;
public slots:
  void open(const QUrl &url) { opened << url.toLocalFile(); }
};

// Chinese text arrives from an input method as a committed string, not as key
// presses.
void typeText(QWidget *widget, const QString &text) {
  widget->setFocus();
  QInputMethodEvent event;
  event.setCommitString(text);
  QApplication::sendEvent(widget, &event);
}

// Replaces the whole text of a line edit from the keyboard: select all, then
// type.
void retype(QLineEdit *edit, const QString &digits) {
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(edit, digits);
}

void retypeText(QLineEdit *edit, const QString &text) {
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  typeText(edit, text);
}

// Moves a combo box to an entry with the arrow keys, as a user without the
// mouse does.
bool pick(QComboBox *box, const QString &text) {
  const int target = box->findText(text);
  if (target < 0)
    return false;
  for (int guard = 0; guard < box->count() && box->currentIndex() != target;
       ++guard)
    QTest::keyClick(box,
                    box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
  return box->currentText() == text;
}

void clickRow(QListWidget *list, int row) {
  const QRect r = list->visualItemRect(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

void clickRow(DBGrid *grid, int row) {
  const QRect r = grid->visualRect(grid->model()->index(row, 0));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
}

QStringList lines(const QListWidget *list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i)
    out << list->item(i)->text();
  return out;
}

// The question number a paper contents line shows: " 2) 005----10.0分" gives
// "005".
QString numberOf(const QString &line) {
  return line.mid(4, line.indexOf(QStringLiteral("----")) - 4);
}

// Runs `body` on the modal dialog of type D that `open` shows, from inside the
// dialog's own event loop. Whatever the body leaves open is closed afterwards,
// so that `open` always returns.
template <typename D>
void withDialog(const std::function<void()> &open,
                const std::function<void(D *)> &body) {
  bool seen = false;
  QTimer::singleShot(0, qApp, [&] {
    QPointer<D> dlg = qobject_cast<D *>(QApplication::activeModalWidget());
    seen = !dlg.isNull();
    if (dlg)
      body(dlg);
    if (dlg && dlg->isVisible())
      dlg->reject();
    if (!seen) {
      if (QWidget *other = QApplication::activeModalWidget())
        other->close();
    }
  });
  open();
  QVERIFY2(seen, D::staticMetaObject.className());
}

const QString kTitle = QStringLiteral("数学期中考试");

} // namespace

class EndToEndTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();
  void cleanup();

  void superUserLogsInToAnEmptyBank();
  void subjectsAreCreatedAndOneIsChosen();
  void typesAndChaptersAreAddedToTheChosenSubject();
  void questionsAreEnteredForBothTypes();
  void wizardComposesThePaperWithAutomaticAndManualSelection();
  void documentHoldsThePaperAndItsAnswerKey();
  void examPaperOnA3ComesOutAsASchoolPrintsIt();

private:
  std::unique_ptr<Workspace> ws_;
  std::unique_ptr<BoxAnswerer> boxes_;
  DocumentOpener opener_;
  QTemporaryDir settings_;
  bool broken_ = false;
  // Question numbers of each section in paper order, as the wizard's contents
  // list showed them.
  QStringList firstSection_;
  QStringList secondSection_;
};

void EndToEndTest::initTestCase() {
  // Layouts chosen in 版式 are remembered per user: kept in a folder of the
  // test's own, not in the account running it.
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
  app::setup(*qApp);
  TMainF::runModalLoop = false;
  ws_ = std::make_unique<Workspace>(QVector<Workspace::User>{
      {QStringLiteral("admin"), QStringLiteral("pw"), 3}});
  boxes_ = std::make_unique<BoxAnswerer>();
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener_, "open");
}

void EndToEndTest::cleanupTestCase() {
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  boxes_.reset();
  ws_.reset();
}

void EndToEndTest::init() {
  if (broken_)
    QSKIP("an earlier step of the flow failed");
  boxes_->clear();
}

void EndToEndTest::cleanup() {
  if (QTest::currentTestFailed())
    broken_ = true;
}

void EndToEndTest::superUserLogsInToAnEmptyBank() {
  QCOMPARE(ws_->count(QStringLiteral("kmb")), 0);
  auto *login = new TDLF(nullptr, false);
  login->show();
  QTest::keyClicks(login->EditYhm, QStringLiteral("admin"));
  QTest::keyClicks(login->EditMm, QStringLiteral("pw"));
  QTest::mouseClick(login->BtnQd, Qt::LeftButton);

  QCOMPARE(boxes_->texts, QStringList());
  QVERIFY(!login->isVisible());
  QVERIFY(MainF);
  QVERIFY(MainF->parent() ==
          login); // the window this login made is the current one
  QVERIFY(MainF->isVisible());
  QVERIFY(MainF->SBtnKmsz->isEnabled());
  QVERIFY(MainF->SBtnZjxd->isEnabled());
  QVERIFY(MainF->SBtnYhgl->isEnabled());
  QCOMPARE(MainF->ComboBoxKmm->count(), 0);
}

void EndToEndTest::subjectsAreCreatedAndOneIsChosen() {
  withDialog<TKmszF>(
      [] { QTest::mouseClick(MainF->SBtnKmsz, Qt::LeftButton); },
      [this](TKmszF *dlg) {
        QCOMPARE(dlg->windowTitle(), QStringLiteral("科目设置"));
        QCOMPARE(dlg->ListBoxKm->count(), 0);
        // The first name is stored with Enter, the second with the button.
        typeText(dlg->EditKm, QStringLiteral("语文"));
        QTest::keyClick(dlg->EditKm, Qt::Key_Return);
        retypeText(dlg->EditKm, QStringLiteral("数学"));
        QTest::mouseClick(dlg->BtnZJKM, Qt::LeftButton);
        // A second copy is refused.
        QTest::mouseClick(dlg->BtnZJKM, Qt::LeftButton);
        QCOMPARE(boxes_->texts, QStringList{QStringLiteral(
                                    "此科目名称已存在，请重新输入科目名称！")});
        QCOMPARE(lines(dlg->ListBoxKm),
                 (QStringList{QStringLiteral("语文"), QStringLiteral("数学")}));
        QTest::mouseClick(dlg->BtnGB, Qt::LeftButton);
      });
  QCOMPARE(ws_->scalar(
               QStringLiteral("SELECT group_concat(kmh || kmm, ',') FROM kmb")),
           QStringLiteral("01语文,02数学"));
  // Closing the dialog refilled the main window's subject box.
  QCOMPARE(MainF->ComboBoxKmm->count(), 2);

  // 科目选择 shows the subject panel with the first subject; the user picks the
  // second.
  QTest::mouseClick(MainF->SBtnKmxz, Qt::LeftButton);
  QVERIFY(MainF->Panel1->isVisible());
  QCOMPARE(MainF->LabelKmm->text(), QStringLiteral("语文"));
  QVERIFY(pick(MainF->ComboBoxKmm, QStringLiteral("数学")));
  QCOMPARE(MainF->LabelKmm->text(), QStringLiteral("数学"));
}

void EndToEndTest::typesAndChaptersAreAddedToTheChosenSubject() {
  withDialog<TTxszF>(
      [] { QTest::mouseClick(MainF->SBtnTxsz, Qt::LeftButton); },
      [](TTxszF *dlg) {
        QCOMPARE(dlg->windowTitle(), QStringLiteral("题型设置--数学"));
        typeText(dlg->EditTxm, QStringLiteral("选择题"));
        QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
        retypeText(dlg->EditTxm, QStringLiteral("填空题"));
        QTest::keyClick(dlg->EditTxm, Qt::Key_Return);
        QCOMPARE(
            lines(dlg->ListBoxTxm),
            (QStringList{QStringLiteral("选择题"), QStringLiteral("填空题")}));
        QTest::mouseClick(dlg->BtnGb, Qt::LeftButton);
      });
  QCOMPARE(ws_->scalar(QStringLiteral(
               "SELECT group_concat(kmh || txh || txm, ',') FROM txb")),
           QStringLiteral("0201选择题,0202填空题"));

  // Chapters through the menu: each takes two presses, typing into the new node
  // in between.
  QVERIFY(MainF->TKGL->menuAction()->isEnabled());
  QVERIFY(MainF->ZJXZ->isEnabled());
  withDialog<TZjxzF>(
      [] { MainF->ZJXZ->trigger(); },
      [](TZjxzF *dlg) {
        QCOMPARE(dlg->windowTitle(), QStringLiteral("章节设置--数学"));
        for (const QString &name :
             {QStringLiteral("函数"), QStringLiteral("数列")}) {
          QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
          QLineEdit *editor = nullptr;
          for (QLineEdit *e : dlg->TreeViewZj->findChildren<QLineEdit *>(
                   QStringLiteral("TreeViewZjEditor")))
            if (e->isVisible())
              editor = e;
          QVERIFY(editor);
          QCOMPARE(editor->text(), QStringLiteral("新章节"));
          editor->selectAll();
          QTest::keyClick(editor, Qt::Key_Backspace);
          typeText(editor, name);
          QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
        }
        QTreeWidgetItem *root = dlg->TreeViewZj->topLevelItem(0);
        QVERIFY(root);
        QCOMPARE(root->text(0), QStringLiteral("数学"));
        QCOMPARE(root->childCount(), 2);
        QCOMPARE(root->child(1)->text(0), QStringLiteral("数列"));
        QTest::mouseClick(dlg->BtnGb, Qt::LeftButton);
      });
  QCOMPARE(ws_->scalar(QStringLiteral(
               "SELECT group_concat(kmh || zjh || zjm, ',') FROM zjb")),
           QStringLiteral("0201函数,0202数列"));
  QCOMPARE(boxes_->texts, QStringList());
}

// Six questions of each type: odd numbers in 函数, even ones in 数列; two each
// of 易, 中等, 难.
void EndToEndTest::questionsAreEnteredForBothTypes() {
  withDialog<TLrstF>(
      [] { QTest::mouseClick(MainF->SBtnLrst, Qt::LeftButton); },
      [](TLrstF *dlg) {
        QCOMPARE(dlg->ComboBoxKm->currentText(), QStringLiteral("数学"));
        QCOMPARE(dlg->ComboBoxTx->currentText(), QStringLiteral("选择题"));
        const QString grades[] = {QStringLiteral("易"), QStringLiteral("中等"),
                                  QStringLiteral("难")};
        for (const QString &type :
             {QStringLiteral("选择题"), QStringLiteral("填空题")}) {
          QVERIFY(pick(dlg->ComboBoxTx, type));
          QCOMPARE(dlg->DBGrid1->model()->rowCount(), 0);
          for (int i = 1; i <= 6; ++i) {
            QVERIFY(pick(dlg->ComboBoxZj, i % 2 ? QStringLiteral("函数")
                                                : QStringLiteral("数列")));
            QVERIFY(pick(dlg->ComboBoxNd, grades[(i - 1) / 2]));
            if (dlg->EditFs->text().isEmpty())
              QTest::keyClicks(dlg->EditFs, QStringLiteral("5"));
            typeText(dlg->MemoTm, type + QStringLiteral("第%1题").arg(i));
            typeText(dlg->MemoDa, type + QStringLiteral("答案%1").arg(i));
            QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
            // The editor is ready for the next question; score and grade stay.
            QCOMPARE(dlg->MemoTm->toPlainText(), QString());
            QCOMPARE(dlg->EditFs->text(), QStringLiteral("5"));
            QCOMPARE(dlg->DBGrid1->model()->rowCount(), i);
          }
        }
        QTest::mouseClick(dlg->BtnGb, Qt::LeftButton);
      });
  QCOMPARE(boxes_->texts, QStringList());
  QCOMPARE(
      ws_->count(QStringLiteral("stb"), QStringLiteral("kmh='02' AND fs='5'")),
      12);
  const QString rows = ws_->scalar(
      QStringLiteral("SELECT group_concat(txh || th || zjh || nd || tm || '/' "
                     "|| da, ',') FROM (SELECT * FROM stb ORDER BY id)"));
  QCOMPARE(rows.split(QLatin1Char(',')),
           (QStringList{"0100101易选择题第1题/选择题答案1",
                        "0100202易选择题第2题/选择题答案2",
                        "0100301中等选择题第3题/选择题答案3",
                        "0100402中等选择题第4题/选择题答案4",
                        "0100501难选择题第5题/选择题答案5",
                        "0100602难选择题第6题/选择题答案6",
                        "0200101易填空题第1题/填空题答案1",
                        "0200202易填空题第2题/填空题答案2",
                        "0200301中等填空题第3题/填空题答案3",
                        "0200402中等填空题第4题/填空题答案4",
                        "0200501难填空题第5题/填空题答案5",
                        "0200602难填空题第6题/填空题答案6"}));
}

// The paper puts 填空题 first (3 questions drawn from 函数, 30 points) and
// 选择题 second (4 questions picked by hand from both chapters, 70 points),
// then the second section's third question is moved up one place.
void EndToEndTest::wizardComposesThePaperWithAutomaticAndManualSelection() {
  QPointer<TZtszF> step1;
  QPointer<TXxszF> step2;
  withDialog<TZtszF>(
      [] { QTest::mouseClick(MainF->SBtnZjxd, Qt::LeftButton); },
      [&](TZtszF *dlg) {
        step1 = dlg;
        // The wizard starts from the first subject, which has no types.
        QCOMPARE(dlg->ComboBoxKm->currentText(), QStringLiteral("语文"));
        QCOMPARE(dlg->ListBoxTk->count(), 0);
        QVERIFY(pick(dlg->ComboBoxKm, QStringLiteral("数学")));
        QCOMPARE(
            lines(dlg->ListBoxTk),
            (QStringList{QStringLiteral("选择题"), QStringLiteral("填空题")}));
        QCOMPARE(dlg->EditSjbt->text(), QStringLiteral("数学试卷"));
        // ">" twice moves the types in list order; then 选择题 goes down below
        // 填空题.
        QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
        QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
        QCOMPARE(dlg->ListBoxTk->count(), 0);
        clickRow(dlg->ListBoxSj, 0);
        QTest::mouseClick(dlg->SpeedButton6, Qt::LeftButton);
        QCOMPARE(
            lines(dlg->ListBoxSj),
            (QStringList{QStringLiteral("填空题"), QStringLiteral("选择题")}));
        // Title, then time and total: Enter moves on and selects the next
        // field's text.
        retypeText(dlg->EditSjbt, kTitle);
        QTest::keyClick(dlg->EditSjbt, Qt::Key_Return);
        QTest::keyClicks(dlg->EditSj, QStringLiteral("90"));
        QTest::keyClick(dlg->EditSj, Qt::Key_Return);
        QTest::keyClicks(dlg->EditZf, QStringLiteral("100"));
        QCOMPARE(dlg->EditSjbt->text(), kTitle);
        QCOMPARE(dlg->EditSj->text(), QStringLiteral("90"));

        withDialog<TXxszF>(
            [dlg] { QTest::mouseClick(dlg->BtnXyb, Qt::LeftButton); },
            [&](TXxszF *two) {
              step2 = two;
              QVERIFY(!dlg->isVisible());
              QCOMPARE(lines(two->ListBoxTx),
                       (QStringList{QStringLiteral("填空题"),
                                    QStringLiteral("选择题")}));
              QCOMPARE(two->ListBoxTx->currentRow(), 0);
              QCOMPARE(two->EditBxTs->text(), QStringLiteral("0"));

              // Section 一, automatic: tick 函数 only, then count and total,
              // Enter starts the draw.
              QCOMPARE(lines(two->CheckListBoxZj),
                       (QStringList{QStringLiteral("函数"),
                                    QStringLiteral("数列")}));
              clickRow(two->CheckListBoxZj, 0);
              QTest::keyClick(two->CheckListBoxZj, Qt::Key_Space);
              QCOMPARE(two->CheckListBoxZj->item(0)->checkState(), Qt::Checked);
              QCOMPARE(two->EditBxTs->text(), QStringLiteral("3"));
              retype(two->EditTs, QStringLiteral("3"));
              QTest::keyClick(two->EditTs, Qt::Key_Return);
              QTest::keyClicks(two->EditZf, QStringLiteral("30"));
              QCOMPARE(two->MemoTxms->toPlainText(),
                       QStringLiteral("填空题(本题共3道小题，共30分。）"));
              QTest::keyClick(two->EditZf, Qt::Key_Return);
              const QStringList drawn = lines(two->ListBoxSj);
              QCOMPARE(drawn.size(), 3);
              for (const QString &line : drawn)
                QVERIFY2(line.endsWith(QStringLiteral("----10.0分")),
                         qPrintable(line));
              firstSection_.clear();
              for (const QString &line : drawn)
                firstSection_ << numberOf(line);
              QStringList sorted = firstSection_;
              sorted.sort();
              QCOMPARE(sorted, (QStringList{"001", "003",
                                            "005"})); // the questions of 函数
              QCOMPARE(two->LabelTH->text(), firstSection_.last());

              // Section 二, by hand from both chapters.
              clickRow(two->ListBoxTx, 1);
              QCOMPARE(two->ListBoxSj->count(), 0);
              QCOMPARE(two->EditTs->text(), QStringLiteral("0"));
              QCOMPARE(two->EditBxTs->text(),
                       QStringLiteral("3")); // 函数 is still ticked
              clickRow(two->CheckListBoxZj, 1);
              QTest::keyClick(two->CheckListBoxZj, Qt::Key_Space);
              QCOMPARE(two->EditBxTs->text(), QStringLiteral("6"));
              QTest::mouseClick(two->RadioGroup1Manual, Qt::LeftButton);
              QVERIFY(two->DBGridTm->isVisible());
              QVERIFY(!two->CheckListBoxZj->isVisible());
              QCOMPARE(two->Label5->text(), QStringLiteral("满足条件的题目"));
              QCOMPARE(two->DBGridTm->model()->rowCount(), 6);
              retype(two->EditTs, QStringLiteral("4"));
              QTest::keyClick(two->EditTs, Qt::Key_Return);
              QTest::keyClicks(two->EditZf, QStringLiteral("70"));

              // Rows of the grid follow the order of entry: row r holds
              // question r+1.
              for (int row : {5, 1, 5, 2, 0}) {
                clickRow(two->DBGridTm, row);
                QCOMPARE(two->MemoTm->toPlainText(),
                         QStringLiteral("选择题第%1题").arg(row + 1));
                QTest::mouseClick(two->SBtnYr, Qt::LeftButton);
              }
              QCOMPARE(
                  boxes_->texts,
                  (QStringList{QStringLiteral("该题已选入，请选择其它题目！")}));
              QCOMPARE(two->LabelZt->text(), QStringLiteral("小题已设置完毕！"));
              QCOMPARE(lines(two->ListBoxSj),
                       (QStringList{" 1) 006----17.5分", " 2) 002----17.5分",
                                    " 3) 003----17.5分", " 4) 001----17.5分"}));

              // Move the third question up one place.
              clickRow(two->ListBoxSj, 2);
              QTest::mouseClick(two->SBtnTmsy, Qt::LeftButton);
              QCOMPARE(lines(two->ListBoxSj),
                       (QStringList{" 1) 006----17.5分", " 2) 003----17.5分",
                                    " 3) 002----17.5分", " 4) 001----17.5分"}));
              QCOMPARE(two->ListBoxSj->currentRow(), 1);
              QCOMPARE(two->LabelTH->text(), QStringLiteral("003"));
              QCOMPARE(two->MemoTm->toPlainText(),
                       QStringLiteral("选择题第3题"));
              secondSection_.clear();
              for (const QString &line : lines(two->ListBoxSj))
                secondSection_ << numberOf(line);

              boxes_->clear();
              QTest::mouseClick(two->Button2, Qt::LeftButton);
              QCOMPARE(boxes_->texts, QStringList());
            });
      });
  QVERIFY(step1.isNull() || !step1->isVisible());
  QVERIFY(step2.isNull() || !step2->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QVERIFY(!ZtszF);
  QVERIFY(!XxszF);
  QVERIFY(MainF->isVisible());

  // The composed paper stays in the database, in the order of the contents
  // lists.
  QCOMPARE(ws_->scalar(
               QStringLiteral("SELECT group_concat(kmh || txh || th || '=' || "
                              "fs, ',') FROM (SELECT * FROM sjb ORDER BY id)")),
           QStringLiteral("0202%1=10,0202%2=10,0202%3=10,0201006=17.5,0201003="
                          "17.5,0201002=17.5,0201001=17.5")
               .arg(firstSection_.value(0), firstSection_.value(1),
                    firstSection_.value(2)));
  QCOMPARE(ws_->scalar(QStringLiteral(
               "SELECT group_concat(bz, '') FROM txb WHERE kmh='02'")),
           QStringLiteral("11"));
}

void EndToEndTest::documentHoldsThePaperAndItsAnswerKey() {
  const QString path = QDir(ws_->root())
                           .filePath(QStringLiteral("Papers/") + kTitle +
                                     QStringLiteral(".docx"));
  QVERIFY2(QFileInfo::exists(path), qPrintable(path));
  QCOMPARE(opener_.opened, QStringList{QFileInfo(path).absoluteFilePath()});
  QCOMPARE(QDir(ws_->root() + QStringLiteral("/Papers")).entryList(QDir::Files),
           QStringList{kTitle + ".docx"});

  const docxread::Package doc = docxread::read(path);
  QVERIFY2(doc.error.isEmpty(), qPrintable(doc.error));
  const QString heading1 =
      QStringLiteral("一、填空题（本题共3道小题，共30分。）");
  const QString heading2 =
      QStringLiteral("二、选择题（本题共4道小题，共70分。）");
  // "1. " + the text of each question in paper order; `pattern` takes the
  // question's number.
  auto numbered = [](const QString &pattern, const QStringList &numbers) {
    QStringList out;
    for (int k = 0; k < numbers.size(); ++k)
      out << QString::number(k + 1) + QStringLiteral(". ") +
                 pattern.arg(numbers.at(k).toInt());
    return out;
  };
  QStringList expected = {kTitle,
                          QStringLiteral("（时间：90分钟  总分：100分）"),
                          QString(),
                          QStringLiteral("[ImageBiao1]"),
                          QString(),
                          QStringLiteral("  "),
                          QStringLiteral("[ImageBiao2]"),
                          heading1};
  expected << numbered(QStringLiteral("填空题第%1题"), firstSection_);
  expected << QString() << QStringLiteral(" ") << QStringLiteral("[ImageBiao2]")
           << heading2;
  expected << numbered(QStringLiteral("选择题第%1题"), secondSection_);
  expected << QString()
           << QStringLiteral("[page]") + kTitle + QStringLiteral("(参考答案)")
           << QString() << heading1;
  expected << numbered(QStringLiteral("填空题答案%1"), firstSection_);
  expected << QString() << heading2;
  expected << numbered(QStringLiteral("选择题答案%1"), secondSection_);
  expected << QString() << QString();
  QCOMPARE(doc.tokens(), expected);

  // Only the title and the duration line are set apart.
  QCOMPARE(doc.paragraphs.at(0).halfPoints, 32);
  QVERIFY(doc.paragraphs.at(0).bold);
  QCOMPARE(doc.paragraphs.at(0).alignment, QStringLiteral("center"));
  QCOMPARE(doc.paragraphs.at(1).halfPoints, 22);
  QVERIFY(doc.paragraphs.at(1).bold);
}

// A second paper through the wizard, this time as 考试用卷 on A3 chosen in
// 版式: the sheets LibreOffice prints number the questions straight through
// the sections, carry a label under each column and no empty page, and the
// key after them repeats the numbers.
void EndToEndTest::examPaperOnA3ComesOutAsASchoolPrintsIt() {
  const QString title = QStringLiteral("数学期末考试");
  withDialog<TZtszF>(
      [] { QTest::mouseClick(MainF->SBtnZjxd, Qt::LeftButton); },
      [&](TZtszF *dlg) {
        QVERIFY(pick(dlg->ComboBoxKm, QStringLiteral("数学")));
        QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
        QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
        QCOMPARE(lines(dlg->ListBoxSj),
                 (QStringList{QStringLiteral("选择题"), QStringLiteral("填空题")}));
        retypeText(dlg->EditSjbt, title);
        retype(dlg->EditSj, QStringLiteral("120"));
        retype(dlg->EditZf, QStringLiteral("100"));
        withDialog<TXxszF>(
            [dlg] { QTest::mouseClick(dlg->BtnXyb, Qt::LeftButton); },
            [&](TXxszF *two) {
              // Both chapters for both sections, drawn automatically.
              for (int row : {0, 1}) {
                if (two->CheckListBoxZj->item(row)->checkState() == Qt::Checked)
                  continue;
                clickRow(two->CheckListBoxZj, row);
                QTest::keyClick(two->CheckListBoxZj, Qt::Key_Space);
              }
              retype(two->EditTs, QStringLiteral("4"));
              QTest::keyClick(two->EditTs, Qt::Key_Return);
              retype(two->EditZf, QStringLiteral("40"));
              QTest::keyClick(two->EditZf, Qt::Key_Return);
              QCOMPARE(two->ListBoxSj->count(), 4);
              clickRow(two->ListBoxTx, 1);
              retype(two->EditTs, QStringLiteral("3"));
              QTest::keyClick(two->EditTs, Qt::Key_Return);
              retype(two->EditZf, QStringLiteral("60"));
              QTest::keyClick(two->EditZf, Qt::Key_Return);
              QCOMPARE(two->ListBoxSj->count(), 3);

              withDialog<TBsszF>(
                  [two] { QTest::mouseClick(two->BtnBs, Qt::LeftButton); },
                  [&](TBsszF *layout) {
                    QTest::mouseClick(testing::child<QRadioButton>(layout, QStringLiteral("RadioKs")),
                                      Qt::LeftButton);
                    QVERIFY(testing::child<QCheckBox>(layout, QStringLiteral("CheckThlx"))->isChecked());
                    QVERIFY(testing::child<QCheckBox>(layout, QStringLiteral("CheckDfpj"))->isChecked());
                    auto *size = testing::child<QComboBox>(layout, QStringLiteral("ComboZz"));
                    QVERIFY(pick(size, QStringLiteral("A3 横向两栏")));
                    QTest::mouseClick(testing::child<QPushButton>(layout, QStringLiteral("BtnQd")),
                                      Qt::LeftButton);
                  });
              boxes_->clear();
              QTest::mouseClick(two->Button2, Qt::LeftButton);
              QCOMPARE(boxes_->texts, QStringList());
            });
      });
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QString path = QDir(ws_->root()).filePath(QStringLiteral("Papers/") + title + QStringLiteral(".docx"));
  QVERIFY2(QFileInfo::exists(path), qPrintable(path));

  if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty() ||
      QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
    QSKIP("soffice or poppler-utils are not installed");
  QTemporaryDir out;
  QVERIFY(testing::convertWithLibreOffice({path}, QStringLiteral("pdf"), out.path()));
  const QString pdf = QDir(out.path()).filePath(title + QStringLiteral(".pdf"));
  // EXAVORO_KEEP_PDFS=folder keeps the printed paper, to look at its pages.
  if (const QString keep = qEnvironmentVariable("EXAVORO_KEEP_PDFS"); !keep.isEmpty())
    QFile::copy(pdf, QDir(keep).filePath(QFileInfo(pdf).fileName()));
  const QString info = testing::runProgram(QStringLiteral("pdfinfo"), {pdf});
  QVERIFY2(info.contains(QStringLiteral("1190.55 x 841.89")), qPrintable(info));
  const int pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
  QVERIFY(pages >= 1);
  QString paper;
  QString key;
  for (int p = 1; p <= pages; ++p) {
    QString text = testing::runProgram(
        QStringLiteral("pdftotext"),
        {QStringLiteral("-f"), QString::number(p), QStringLiteral("-l"), QString::number(p), pdf, QStringLiteral("-")});
    text = text.simplified();
    QVERIFY2(!text.isEmpty(), qPrintable(QStringLiteral("page %1 is empty").arg(p)));
    QVERIFY2(!text.contains(QChar(u'¿')), qPrintable(text));
    if (!key.isEmpty() || text.contains(QStringLiteral("参考答案"))) {
      key += text;
      continue;
    }
    paper += text;
    // A label under each column of every sheet of the paper.
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("第 ?\\d+ ?页 ?共 ?\\d+ ?页"))), 2);
  }
  // One to seven straight through both sections, in the paper and in the key.
  auto numbers = [](const QString &text, const QString &word) {
    QList<int> found;
    const QRegularExpression re(QStringLiteral("(?<![\\d.])(\\d+)\\. ?(?:选择题|填空题)") + word);
    for (auto it = re.globalMatch(text); it.hasNext();)
      found << it.next().captured(1).toInt();
    return found;
  };
  const QList<int> oneToSeven{1, 2, 3, 4, 5, 6, 7};
  QCOMPARE(numbers(paper, QStringLiteral("第")), oneToSeven);
  QCOMPARE(numbers(key, QStringLiteral("答案")), oneToSeven);
  QVERIFY(paper.indexOf(QStringLiteral("一、选择题")) < paper.indexOf(QStringLiteral("二、填空题")));
  QVERIFY(paper.contains(QStringLiteral("座位号")));
  QCOMPARE(paper.count(QStringLiteral("评卷人")), 2);
}

QTEST_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
