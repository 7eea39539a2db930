// 知识点设置 driven through its widgets: the menu item and its permission, adding points beside
// and below, renaming, moving through the target dialog, deleting after the question (the
// questions stay); the refusals a user meets; and a subject that names none. 录入试题's 知识点 field:
// typed (with completion), stored with 新题入库 and 原题更改 in the question's own transaction,
// shown again when the question is; the 知识点 filter of the grid and the search.
#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/knowledge_points.h"
#include "ui/forms.h"
#include "ui/db_grid.h"
#include "windows/bank/knowledge_settings.h"
#include "windows/bank/question_entry.h"
#include "test_support.h"

#include <QAction>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

void setSubject(const QString& name)
{
    const int index = MainF->ComboBoxKmm->findText(name);
    if (index >= 0) MainF->ComboBoxKmm->setCurrentIndex(index);
    MainF->ComboBoxKmm->setEditText(name);
}

void seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','语文')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题')");
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES"
            " ('01','01','001','01','易','3','第一题','A'), ('01','01','002','01','易','3','第二题','B')");
    ws.refreshDatasets();
    MainF->fillSubjectBox();
    setSubject(QStringLiteral("数学"));
}

// The tree as indented lines "name (count)", in the order shown.
QStringList shown(TZsdszF* dlg)
{
    QStringList lines;
    for (QTreeWidgetItemIterator it(dlg->TreeZsd); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent()) ++depth;
        lines << QString(depth * 2, QLatin1Char(' ')) + (*it)->text(0) + QStringLiteral(" (") + (*it)->text(1) +
                     QLatin1Char(')');
    }
    return lines;
}

void select(TZsdszF* dlg, const QString& name)
{
    const auto found = dlg->TreeZsd->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    QTreeWidgetItem* item = found.first();
    dlg->TreeZsd->scrollToItem(item);
    const QRect r = dlg->TreeZsd->visualItemRect(item);
    QTest::mouseClick(dlg->TreeZsd->viewport(), Qt::LeftButton, {}, r.center());
    QVERIFY(item->isSelected());
}

// The entry window on the subject, as the main window's subject box names it.
TLrstF* openEntry(const QString& subject)
{
    setSubject(subject);
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    return dlg;
}

QStringList gridNumbers(TLrstF* dlg)
{
    QStringList out;
    QAbstractItemModel* m = dlg->DBGrid1->model();
    for (int row = 0; row < m->rowCount(); ++row) out << m->index(row, 0).data().toString();
    return out;
}

void clickRow(TLrstF* dlg, int row)
{
    const QRect r = dlg->DBGrid1->visualRect(dlg->DBGrid1->model()->index(row, 0));
    QTest::mouseClick(dlg->DBGrid1->viewport(), Qt::LeftButton, {}, r.center());
}

// Chooses an entry of a combo box with the keyboard, as a user does (which reports it activated).
void chooseByKeys(QComboBox* box, const QString& text)
{
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), text);
}

void typeInto(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    // Chinese text as one insertion (QTest has no keys for it), then a key as a user ends with.
    edit->insert(text);
}

}  // namespace

class KnowledgeSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void theMenuItemOpensTheWindowUnderTheBankPermission();
    void pointsAreAddedRenamedMovedAndDeletedThroughTheButtons();
    void aSubjectThatNamesNoneIsRefused();
    void theEntryFieldStoresPointsWithTheQuestionAndShowsThemAgain();
    void theEntryFilterLimitsTheGridAndTheSearchToAPointAndItsBranch();

private:
    testing::ModalGuard guard_;
};

void KnowledgeSettingsTest::initTestCase()
{
    app::setup(*qApp);
}

void KnowledgeSettingsTest::cleanup()
{
    testing::closeAllWindows();
}

void KnowledgeSettingsTest::theMenuItemOpensTheWindowUnderTheBankPermission()
{
    Workspace ws;
    seed(ws);
    QAction* item = MainF->findChild<QAction*>(QStringLiteral("ZSDSZ"));
    QVERIFY(item);
    QCOMPARE(item->text(), QStringLiteral("知识点设置(&D)"));
    // Right after 章节设置 in 题库管理.
    const QList<QAction*> actions = MainF->TKGL->actions();
    QCOMPARE(actions.indexOf(item), actions.indexOf(MainF->ZJXZ) + 1);
    // Enabled exactly where 章节设置 is.
    for (int level : {1, 2, 3}) {
        MainF->applyPermissions(level);
        QCOMPARE(item->isEnabled(), MainF->ZJXZ->isEnabled());
        QCOMPARE(item->isEnabled(), level != 2);
    }
    MainF->applyPermissions(3);

    QSqlDatabase db = DM->db();
    knowledge::add(db, QStringLiteral("01"), QStringLiteral("几何"), 0);
    BoxAnswerer boxes;
    QString title;
    QStringList tree;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* dlg = qobject_cast<TZsdszF*>(w);
        if (!dlg || !dlg->isVisible()) return false;
        title = dlg->windowTitle();
        tree = shown(dlg);
        QTest::mouseClick(dlg->BtnGb, Qt::LeftButton);
        return true;
    };
    item->trigger();
    QCOMPARE(title, QStringLiteral("知识点设置--数学"));
    QCOMPARE(tree, QStringList{"几何 (0)"});
    QVERIFY(boxes.texts.isEmpty());
}

void KnowledgeSettingsTest::pointsAreAddedRenamedMovedAndDeletedThroughTheButtons()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    QStringList names;        // answers for the next name dialogs
    QStringList asked;        // their labels
    QString moveTo;           // the target to choose in the move dialog ("" cancels)
    QStringList targets;      // the targets it offered
    boxes.onOtherModal = [&](QWidget* w) {
        if (auto* ask = qobject_cast<QInputDialog*>(w); ask && ask->objectName() == QLatin1String("NameDialog")) {
            asked << ask->labelText();
            if (names.isEmpty()) {
                ask->reject();
            } else {
                ask->setTextValue(names.takeFirst());
                ask->accept();
            }
            return true;
        }
        if (w->objectName() == QLatin1String("MoveDialog") && w->isVisible()) {
            auto* combo = w->findChild<QComboBox*>(QStringLiteral("ComboBoxSj"));
            targets.clear();
            for (int i = 0; i < combo->count(); ++i) targets << combo->itemText(i);
            auto* buttons = w->findChild<QDialogButtonBox*>();
            if (moveTo.isEmpty()) {
                QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
            } else {
                combo->setCurrentIndex(combo->findText(moveTo));
                QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
            }
            return true;
        }
        return false;
    };
    auto* dlg = new TZsdszF(MainF);
    dlg->show();
    QVERIFY(shown(dlg).isEmpty());

    // 增加 with nothing selected adds at the top; 增加下级 under the selection; 增加 beside it.
    names = QStringList{"几何"};
    QTest::mouseClick(dlg->BtnZj, Qt::LeftButton);
    QCOMPARE(asked.takeLast(), QStringLiteral("在顶层增加知识点，名称："));
    QCOMPARE(dlg->LabelTs->text(), QStringLiteral("已增加知识点“几何”。"));
    names = QStringList{"三角形"};
    QTest::mouseClick(dlg->BtnZjxj, Qt::LeftButton);  // the new point stays selected
    QCOMPARE(asked.takeLast(), QStringLiteral("在“几何”下增加知识点，名称："));
    names = QStringList{"圆"};
    QTest::mouseClick(dlg->BtnZj, Qt::LeftButton);
    QCOMPARE(asked.takeLast(), QStringLiteral("在“几何”下增加知识点，名称："));
    dlg->TreeZsd->clearSelection();
    names = QStringList{"代数"};
    QTest::mouseClick(dlg->BtnZj, Qt::LeftButton);
    QCOMPARE(shown(dlg), (QStringList{"代数 (0)", "几何 (0)", "  三角形 (0)", "  圆 (0)"}));
    QCOMPARE(ws.count("zsdb", "kmh='01'"), 4);

    // A sibling's name and an empty one are refused with the reason; nothing is stored.
    select(dlg, QStringLiteral("三角形"));
    names = QStringList{"圆"};
    QTest::mouseClick(dlg->BtnZj, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("同一上级下已有知识点“圆”，请换一个名称。"));
    names = QStringList{"   "};
    QTest::mouseClick(dlg->BtnZjxj, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("知识点名称不能为空！"));
    QCOMPARE(ws.count("zsdb", "kmh='01'"), 4);
    // The window claims no addition and keeps the selection where it was.
    QCOMPARE(dlg->LabelTs->text(), QStringLiteral("已增加知识点“代数”。"));
    QCOMPARE(dlg->TreeZsd->currentItem()->text(0), QStringLiteral("三角形"));
    // Cancelling the name asks nothing more and stores nothing.
    names.clear();
    boxes.clear();
    QTest::mouseClick(dlg->BtnZjxj, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(ws.count("zsdb", "kmh='01'"), 4);

    // 增加下级 and 改名 need a selection.
    dlg->TreeZsd->clearSelection();
    QTest::mouseClick(dlg->BtnZjxj, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("请先选择上级知识点！"));
    QTest::mouseClick(dlg->BtnGm, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("请选择要改名的知识点！"));

    // A question linked to 三角形 shows in its count.
    QSqlDatabase db = DM->db();
    const qint64 first = ws.scalar("SELECT id FROM stb WHERE th='001'").toLongLong();
    const qint64 second = ws.scalar("SELECT id FROM stb WHERE th='002'").toLongLong();
    knowledge::setNamesForQuestion(db, first, "01", {QStringLiteral("几何/三角形")});
    knowledge::setNamesForQuestion(db, second, "01", {QStringLiteral("几何/三角形"), QStringLiteral("代数")});
    dlg->FormShow();
    QCOMPARE(shown(dlg), (QStringList{"代数 (1)", "几何 (0)", "  三角形 (2)", "  圆 (0)"}));

    // Renaming: the new name shows, links stay.
    select(dlg, QStringLiteral("三角形"));
    names = QStringList{"三角形与全等"};
    QTest::mouseClick(dlg->BtnGm, Qt::LeftButton);
    QCOMPARE(asked.takeLast(), QStringLiteral("知识点“三角形”的新名称："));
    QCOMPARE(dlg->LabelTs->text(), QStringLiteral("知识点“三角形”已改名为“三角形与全等”。"));
    QCOMPARE(knowledge::namesOfQuestion(db, first), QStringList{"几何/三角形与全等"});

    // Moving: the point's own branch is no target; cancelling changes nothing; a move takes the branch.
    select(dlg, QStringLiteral("几何"));
    moveTo.clear();
    QTest::mouseClick(dlg->BtnYd, Qt::LeftButton);
    QCOMPARE(targets, (QStringList{"（顶层）", "代数"}));
    QCOMPARE(shown(dlg), (QStringList{"代数 (1)", "几何 (0)", "  三角形与全等 (2)", "  圆 (0)"}));
    moveTo = QStringLiteral("代数");
    QTest::mouseClick(dlg->BtnYd, Qt::LeftButton);
    QCOMPARE(shown(dlg), (QStringList{"代数 (1)", "  几何 (0)", "    三角形与全等 (2)", "    圆 (0)"}));
    QCOMPARE(dlg->LabelTs->text(), QStringLiteral("知识点已移到“代数/几何”。"));
    QCOMPARE(knowledge::namesOfQuestion(db, first), QStringList{"代数/几何/三角形与全等"});
    select(dlg, QStringLiteral("圆"));
    moveTo = QStringLiteral("（顶层）");
    QTest::mouseClick(dlg->BtnYd, Qt::LeftButton);
    QCOMPARE(targets, (QStringList{"（顶层）", "代数", "代数/几何", "代数/几何/三角形与全等"}));
    QCOMPARE(shown(dlg), (QStringList{"代数 (1)", "  几何 (0)", "    三角形与全等 (2)", "圆 (0)"}));

    // Deleting asks first; 取消 keeps it, OK deletes the branch and keeps the questions.
    select(dlg, QStringLiteral("几何"));
    boxes.clear();
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(dlg->BtnSc, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"删除知识点“几何”及其下级？试题保留。"});
    QCOMPARE(ws.count("zsdb", "kmh='01'"), 4);
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(dlg->BtnSc, Qt::LeftButton);
    QCOMPARE(shown(dlg), (QStringList{"代数 (1)", "圆 (0)"}));
    QCOMPARE(ws.count("stb"), 2);
    QVERIFY(knowledge::namesOfQuestion(db, first).isEmpty());
    QCOMPARE(knowledge::namesOfQuestion(db, second), QStringList{"代数"});
    QCOMPARE(dlg->LabelTs->text(), QStringLiteral("已删除知识点“几何”及其下级。"));

    // Another subject has a tree of its own.
    setSubject(QStringLiteral("语文"));
    dlg->FormShow();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("知识点设置--语文"));
    QVERIFY(shown(dlg).isEmpty());
}

void KnowledgeSettingsTest::aSubjectThatNamesNoneIsRefused()
{
    Workspace ws;
    seed(ws);
    setSubject(QStringLiteral("化学"));
    BoxAnswerer boxes;
    auto* dlg = new TZsdszF(MainF);
    dlg->show();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("知识点设置--化学"));
    for (QPushButton* button : {dlg->BtnZj, dlg->BtnZjxj, dlg->BtnGm, dlg->BtnYd, dlg->BtnSc}) {
        boxes.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList{"当前科目不存在，请先选择科目！"});
    }
    QCOMPARE(ws.count("zsdb"), 0);
}

void KnowledgeSettingsTest::theEntryFieldStoresPointsWithTheQuestionAndShowsThemAgain()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','三角形')");
    ws.refreshDatasets();
    QSqlDatabase db = DM->db();
    const qint64 geometry = knowledge::add(db, "01", QStringLiteral("几何"), 0);
    knowledge::add(db, "01", QStringLiteral("三角形"), geometry);
    knowledge::add(db, "01", QStringLiteral("三角函数"), 0);
    BoxAnswerer boxes;
    TLrstF* dlg = openEntry(QStringLiteral("数学"));
    auto* field = dlg->findChild<QLineEdit*>(QStringLiteral("EditZsd"));
    QVERIFY(field);
    QCOMPARE(dlg->findChild<QLabel*>(QStringLiteral("LabelZsd"))->text(), QStringLiteral("知识点："));

    // Completion offers the subject's paths holding what is typed of the last name.
    QCompleter* completer = field->completer();
    QVERIFY(completer);
    typeInto(field, QStringLiteral("几何，三角"));
    QTest::keyClick(field, Qt::Key_Shift);
    completer->setCompletionPrefix(completer->splitPath(field->text()).value(0));
    QStringList offered;
    for (int i = 0; i < completer->completionCount(); ++i) {
        offered << completer->completionModel()->index(i, 0).data().toString();
    }
    QCOMPARE(offered, (QStringList{"三角函数", "几何/三角形"}));
    // Taking one replaces only the name being typed.
    QVERIFY(completer->setCurrentRow(1));
    QCOMPARE(completer->currentCompletion(), QStringLiteral("几何，几何/三角形"));

    // A new question with a known point (by its bare name) and a new one, which the label names.
    dlg->ComboBoxZj->setEditText(QStringLiteral("三角形"));
    dlg->EditFs->setText(QStringLiteral("3"));
    dlg->MemoTm->setPlainText(QStringLiteral("三角形内角和是多少？"));
    typeInto(field, QStringLiteral("三角形，代数/方程 ,"));
    QCOMPARE(dlg->LabelZsdts->text(), QStringLiteral("新知识点（入库时建立）：代数/方程"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('|')));
    const qint64 stored = ws.scalar("SELECT id FROM stb WHERE kmh='01' AND th='003'").toLongLong();
    QVERIFY(stored > 0);
    QCOMPARE(knowledge::namesOfQuestion(db, stored), (QStringList{"代数/方程", "几何/三角形"}));
    QCOMPARE(dlg->LabelZsdts->text(), QStringLiteral("已新建知识点：代数/方程"));
    // The new point is offered from now on; the field keeps its points for the next question.
    QCOMPARE(field->text(), QStringLiteral("三角形，代数/方程 ,"));
    QVERIFY(dlg->findChild<QComboBox*>(QStringLiteral("ComboBoxSsZsd"))->findText(QStringLiteral("代数/方程")) > 0);

    // Reopened, the window shows the question's points when the question is chosen; an untagged one shows none.
    dlg->close();
    dlg = openEntry(QStringLiteral("数学"));
    field = dlg->findChild<QLineEdit*>(QStringLiteral("EditZsd"));
    QCOMPARE(gridNumbers(dlg), (QStringList{"001", "002", "003"}));
    // The point made by the store is offered in the new window.
    QVERIFY(field->completer());
    field->completer()->setCompletionPrefix(QStringLiteral("方程"));
    QCOMPARE(field->completer()->completionCount(), 1);
    QCOMPARE(field->completer()->completionModel()->index(0, 0).data().toString(), QStringLiteral("代数/方程"));
    clickRow(dlg, 2);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("三角形内角和是多少？"));
    QCOMPARE(field->text(), QStringLiteral("代数/方程，几何/三角形"));
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    clickRow(dlg, 0);
    QCOMPARE(field->text(), QString());

    // 原题更改 replaces the links; a name typed new is made and named.
    clickRow(dlg, 2);
    typeInto(field, QStringLiteral("几何，圆"));
    QVERIFY(dlg->BtnYtgg->isEnabled());
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('|')));
    QCOMPARE(knowledge::namesOfQuestion(db, stored), (QStringList{"几何", "圆"}));
    QCOMPARE(dlg->LabelZsdts->text(), QStringLiteral("已新建知识点：圆"));

    // The links change in the question's own transaction: when they cannot, the question keeps
    // its text as well, and the user is told.
    testing::failOnDelete(ws, QStringLiteral("stzsd"), QStringLiteral("links are locked"));
    clickRow(dlg, 2);
    dlg->MemoTm->setPlainText(QStringLiteral("改过的题目"));
    typeInto(field, QStringLiteral("几何"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=?", {stored}), QStringLiteral("三角形内角和是多少？"));
    QCOMPARE(knowledge::namesOfQuestion(db, stored), (QStringList{"几何", "圆"}));
}

void KnowledgeSettingsTest::theEntryFilterLimitsTheGridAndTheSearchToAPointAndItsBranch()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES"
            " ('01','01','003','01','难','3','第三题','C'), ('01','01','004','01','易','3','第四题','D')");
    ws.refreshDatasets();
    QSqlDatabase db = DM->db();
    auto id = [&](const char* th) { return ws.scalar("SELECT id FROM stb WHERE th=?", {th}).toLongLong(); };
    knowledge::setNamesForQuestion(db, id("001"), "01", {QStringLiteral("几何")});
    knowledge::setNamesForQuestion(db, id("002"), "01", {QStringLiteral("几何/三角形/勾股定理")});
    knowledge::setNamesForQuestion(db, id("004"), "01", {QStringLiteral("代数")});
    BoxAnswerer boxes;
    TLrstF* dlg = openEntry(QStringLiteral("数学"));
    auto* filter = dlg->findChild<QComboBox*>(QStringLiteral("ComboBoxSsZsd"));
    QVERIFY(filter);
    QCOMPARE(filter->itemText(0), QStringLiteral("全部知识点"));
    QCOMPARE(filter->count(), 5);
    QCOMPARE(gridNumbers(dlg), (QStringList{"001", "002", "003", "004"}));

    // A point keeps the grid to its questions and those of the points below it.
    chooseByKeys(filter, QStringLiteral("几何"));
    QCOMPARE(gridNumbers(dlg), (QStringList{"001", "002"}));
    chooseByKeys(filter, QStringLiteral("几何/三角形"));
    QCOMPARE(gridNumbers(dlg), QStringList{"002"});
    // The search as well: "题" is in every question, found only within the point.
    auto* search = dlg->findChild<QLineEdit*>(QStringLiteral("EditSs"));
    chooseByKeys(filter, QStringLiteral("几何"));
    typeInto(search, QStringLiteral("题"));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(dlg->LabelSsjg->text(), QStringLiteral("找到 2 道"));
    chooseByKeys(filter, QStringLiteral("代数"));
    QCOMPARE(dlg->LabelSsjg->text(), QStringLiteral("找到 1 道"));
    QCOMPARE(gridNumbers(dlg), QStringList{"004"});
    chooseByKeys(filter, QStringLiteral("全部知识点"));
    QCOMPARE(dlg->LabelSsjg->text(), QStringLiteral("找到 4 道"));
    QCOMPARE(gridNumbers(dlg), (QStringList{"001", "002", "003", "004"}));
    // Another subject offers its own points only.
    setSubject(QStringLiteral("语文"));
    dlg->ComboBoxKm->setEditText(QStringLiteral("语文"));
    QCOMPARE(filter->count(), 1);
    QVERIFY(boxes.texts.isEmpty());
}

QTEST_MAIN(KnowledgeSettingsTest)
#include "test_knowledge_settings.moc"
