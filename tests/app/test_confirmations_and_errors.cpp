// Message boxes as a user meets them: Enter on a deletion question deletes nothing, every box is
// wide enough for its caption, and a database failure is explained in Chinese with the database's
// own words kept below; the contact window shows its lines whole.
#include "app/application.h"
#include "app/contact.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "ui/message_box.h"
#include "windows/bank/chapter_settings.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/question_type_settings.h"
#include "windows/bank/subject_settings.h"
#include "data/data_module.h"
#include "test_support.h"
#include "windows/users/user_admin.h"
#include "ui/handler.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using testing::Workspace;

namespace {
// What was seen of one box.
struct SeenBox {
    QString text;
    QString caption;
    QString detail;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    int width = 0;
};

// Watches for message boxes and answers each one by Enter on the widget that has the focus, as a
// user pressing Enter out of habit would; records what each box showed.
class EnterOnBoxes : public QObject {
public:
    EnterOnBoxes()
    {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }
    QVector<SeenBox> seen;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        SeenBox s{box->text(), box->windowTitle(), box->detailedText(), QMessageBox::NoButton, box->width()};
        if (QPushButton* def = box->defaultButton()) s.defaultButton = box->standardButton(def);
        seen.append(s);
        QWidget* target = box->focusWidget() ? box->focusWidget() : box;
        QTest::keyClick(target, Qt::Key_Return);
        if (box->isVisible()) box->reject();  // never leave a box hanging if Enter did nothing
    }
    QTimer timer_;
};
}  // namespace

class ConfirmationsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void enterOnEveryDeletionQuestionDeletesNothing();
    void enterStillConfirmsLogoutAndExitQuestions();
    void boxesAreWideEnoughForTheirCaptions();
    void databaseFailureIsExplainedWithTheDetailBelow();
    void knownDatabaseMessagesGetChineseExplanations();
    void contactLinesAreShownWhole();
};

void ConfirmationsTest::initTestCase()
{
    app::setup(*qApp);
    TMainF::runModalLoop = false;
}

void ConfirmationsTest::enterOnEveryDeletionQuestionDeletesNothing()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "a", 1}});
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数')");
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('01','01','001','01','题一')");
    ws.refreshDatasets();
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText("数学");
    EnterOnBoxes boxes;

    auto* subjects = new TKmszF(MainF);
    subjects->show();
    subjects->EditKm->setText("数学");
    QTest::mouseClick(subjects->BtnSCKM, Qt::LeftButton);
    subjects->close();

    auto* types = new TTxszF(MainF);
    types->show();
    types->EditTxm->setText("选择题");
    QTest::mouseClick(types->BtnSctx, Qt::LeftButton);
    types->close();

    auto* chapters = new TZjxzF(MainF);
    chapters->show();
    const auto found = chapters->TreeViewZj->findItems("函数", Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    const QRect r = chapters->TreeViewZj->visualItemRect(found.first());
    QTest::mouseClick(chapters->TreeViewZj->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseClick(chapters->BtnSczj, Qt::LeftButton);
    chapters->close();

    auto* entry = new TLrstF(MainF);
    entry->show();
    const QRect row = entry->DBGrid1->visualRect(entry->DBGrid1->model()->index(0, 0));
    QTest::mouseClick(entry->DBGrid1->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseClick(entry->BtnStsc, Qt::LeftButton);
    entry->close();

    auto* admin = new TMmszF(MainF);
    admin->show();
    DM->AdoMmb->last();
    QTest::mouseClick(admin->BtnScyh, Qt::LeftButton);

    QStringList texts;
    for (const SeenBox& s : boxes.seen) {
        texts << s.text;
        QCOMPARE(s.caption, QStringLiteral("确认框"));
        QCOMPARE(s.defaultButton, QMessageBox::Cancel);
    }
    // Each deletion's first line, then what it takes with it.
    const QString note =
        QStringLiteral("\n其中 1 道试题将移入回收站（可在回收站中恢复）；这些试题未用于已保存的试卷。");
    QCOMPARE(texts, (QStringList{"请确认是否删除科目“数学”及其所有题目？" + note,
                                 "请确认是否删除“数学”题库中所有的选择题" + note,
                                 "请确认是否删除“数学”题库中章节为“函数”的所有试题？" + note, "是否删除第001题？",
                                 "请确认是否删除用户名为“li”的用户！"}));
    for (const char* table : {"kmb", "txb", "zjb", "stb"}) QCOMPARE(ws.count(table), 1);
    QCOMPARE(ws.count("mmb"), 2);
}

void ConfirmationsTest::enterStillConfirmsLogoutAndExitQuestions()
{
    Workspace ws;
    EnterOnBoxes boxes;
    QVERIFY(MsgBox::confirm(QStringLiteral("确实要注销吗？")));
    QVERIFY(!MsgBox::confirmDestructive(QStringLiteral("请确认是否删除？")));
    QCOMPARE(boxes.seen.size(), 2);
    QCOMPARE(boxes.seen[0].defaultButton, QMessageBox::Ok);
    QCOMPARE(boxes.seen[1].defaultButton, QMessageBox::Cancel);
}

void ConfirmationsTest::boxesAreWideEnoughForTheirCaptions()
{
    Workspace ws;
    EnterOnBoxes boxes;
    MsgBox::show(QStringLiteral("好"));
    MsgBox::confirm(QStringLiteral("删？"));
    MsgBox::error(QStringLiteral("错"));
    QCOMPARE(boxes.seen.size(), 3);
    // A bare box for one character is far narrower than a title bar needs for "Exavoro" with its
    // icon and buttons.
    for (const SeenBox& s : boxes.seen) {
        QVERIFY2(s.width >= MsgBox::minimumWidth(s.caption), qPrintable(QString::number(s.width)));
        QVERIFY(s.width >= 280);
    }
    // A long caption widens the box further.
    const QString longCaption = QStringLiteral("一个很长很长的窗口标题文字用来检查宽度");
    QVERIFY(MsgBox::minimumWidth(longCaption) > MsgBox::minimumWidth(QStringLiteral("Exavoro")));
}

void ConfirmationsTest::databaseFailureIsExplainedWithTheDetailBelow()
{
    Workspace ws;
    MainF->fillSubjectBox();
    // The connection can still read but no longer write, as with a read-only file.
    ws.exec("PRAGMA query_only = 1");
    EnterOnBoxes boxes;
    auto* subjects = new TKmszF(MainF);
    subjects->show();
    subjects->EditKm->setText("数学");
    QTest::mouseClick(subjects->BtnZJKM, Qt::LeftButton);
    ws.exec("PRAGMA query_only = 0");
    QCOMPARE(boxes.seen.size(), 1);
    const SeenBox& box = boxes.seen.first();
    QCOMPARE(box.caption, QStringLiteral("Exavoro"));
    QVERIFY2(box.text.startsWith(QStringLiteral("题库文件是只读的")), qPrintable(box.text));
    QVERIFY(!box.text.contains("readonly"));
    QVERIFY(!box.text.contains("INSERT"));
    QVERIFY2(box.detail.contains("readonly"), qPrintable(box.detail));
    QVERIFY2(box.detail.contains("INSERT INTO") && box.detail.contains("kmb"), qPrintable(box.detail));
    QCOMPARE(ws.count("kmb"), 0);
}

void ConfirmationsTest::knownDatabaseMessagesGetChineseExplanations()
{
    const struct {
        const char* raw;
        const char* starts;
    } cases[] = {
        {"database is locked\n语句：UPDATE stb SET tm=? WHERE id=?", "题库正被另一个程序使用"},
        {"database or disk is full\n语句：INSERT INTO stb (tm) VALUES (?)", "磁盘已满"},
        {"database disk image is malformed\n语句：SELECT * FROM kmb", "题库文件已损坏"},
        {"UNIQUE constraint failed: kmb.kmh\n语句：INSERT INTO kmb (kmh, kmm) VALUES (?, ?)",
         "修改违反了题库的数据规则"},
        {"no such table: stb\n语句：SELECT * FROM stb", "题库文件中缺少本程序需要的数据表"},
        {"no such column: da\n语句：SELECT da FROM stb", "题库文件的数据表中缺少本程序需要的字段"},
        {"无法打开数据库“/x/examdb.db”：unable to open database file", "无法打开题库文件"},
    };
    for (const auto& c : cases) {
        const QString raw = QString::fromUtf8(c.raw);
        const ui::ErrorReport report = ui::explainError(raw);
        QVERIFY2(report.text.startsWith(QString::fromUtf8(c.starts)), qPrintable(report.text));
        QVERIFY2(report.detail.contains(raw), qPrintable(report.detail));
    }
    // A message of the program's own stays as it is, with nothing below it.
    const ui::ErrorReport own =
        ui::explainError(QStringLiteral("数据库文件的版本（9）比本程序新，请使用新版程序打开。"));
    QCOMPARE(own.text, QStringLiteral("数据库文件的版本（9）比本程序新，请使用新版程序打开。"));
    QVERIFY(own.detail.isEmpty());
    // An unknown failure of a statement keeps its message in view and the statement below.
    const ui::ErrorReport other =
        ui::explainError(QStringLiteral("subject locked\n语句：DELETE FROM kmb WHERE id=?"));
    QCOMPARE(other.text, QStringLiteral("数据库操作没有完成：subject locked"));
    QCOMPARE(other.detail, QStringLiteral("语句：DELETE FROM kmb WHERE id=?"));
}

void ConfirmationsTest::contactLinesAreShownWhole()
{
    auto* contact = new TLxwmF(nullptr);
    contact->setAttribute(Qt::WA_DeleteOnClose);
    contact->show();
    QVERIFY(QTest::qWaitForWindowExposed(contact));
    int lines = 0;
    for (QLabel* label : contact->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        ++lines;
        const QRect inside = label->geometry();
        QVERIFY2(contact->rect().contains(inside), qPrintable(label->text()));
        // A label narrower than its text cuts it off, unless it wraps into the height it has.
        if (label->wordWrap()) {
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(label->text()));
        } else {
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
        }
    }
    QVERIFY(lines >= 6);
    QVERIFY(contact->BtnQr->geometry().bottom() < contact->height());
    contact->close();
}

QTEST_MAIN(ConfirmationsTest)
#include "test_confirmations_and_errors.moc"
