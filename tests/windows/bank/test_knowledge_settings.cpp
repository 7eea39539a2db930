// 知识点设置 driven through its widgets: the menu item and its permission, adding points beside
// and below, renaming, moving through the target dialog, deleting after the question (the
// questions stay); the refusals a user meets; and a subject that names none.
#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/knowledge_points.h"
#include "ui/forms.h"
#include "windows/bank/knowledge_settings.h"
#include "test_support.h"

#include <QAction>
#include <QComboBox>
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

}  // namespace

class KnowledgeSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void theMenuItemOpensTheWindowUnderTheBankPermission();
    void pointsAreAddedRenamedMovedAndDeletedThroughTheButtons();
    void aSubjectThatNamesNoneIsRefused();

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

QTEST_MAIN(KnowledgeSettingsTest)
#include "test_knowledge_settings.moc"
