// 成绩分析: a paper of the library → its score sheet exported → filled in → imported as sittings →
// the per-question table, the paper's figures, the charts and the report, driven through the window.
#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "analysis/sitting_store.h"
#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "library/paper_store.h"
#include "output/docx_reader.h"
#include "test_support.h"
#include "ui/forms.h"
#include "windows/analysis/analysis_charts.h"
#include "windows/analysis/score_analysis_window.h"
#include "windows/analysis/update_difficulty.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// A subject with a choice type and a short-answer type; the paper "期中考试" holds two choice
// questions of 2 points (keys A and C) and two short answers of 5 and 10 points, in that order.
library::StoredPaper storePaper(Workspace& ws, const QString& title = QStringLiteral("期中考试"))
{
    if (ws.count("kmb") == 0) {
        ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','物理')");
        ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0'), ('01','02','简答题','0')");
        ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0')");
        const QVector<QStringList> rows = {{"01", "001", "2", "下列说法正确的是 A.甲 B.乙 C.丙 D.丁", "A"},
                                           {"01", "002", "2", "下列单位属于力的是 A.米 B.秒 C.牛 D.克", "C"},
                                           {"02", "001", "5", "简述牛顿第一定律", "略"},
                                           {"02", "002", "10", "计算下落的时间", "2秒"}};
        for (const QStringList& r : rows) {
            ws.exec(
                "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01',?,?,'01','中等',?,?,?,"
                "'8:00:00','')",
                {r.at(0), r.at(1), r.at(2), r.at(3), r.at(4)});
        }
    }
    library::StoredPaper paper;
    paper.title = title;
    paper.kmh = "01";
    paper.kmm = "物理";
    paper.duration = "90";
    paper.total = "19";
    for (const QString& txh : {QStringLiteral("01"), QStringLiteral("02")}) {
        library::StoredSection section;
        section.txh = txh;
        section.typeName = txh == "01" ? "选择题" : "简答题";
        sql::Reader q(DM->db(), "SELECT kmh, txh, th, zjh, nd, fs, tm, da, id FROM stb WHERE txh=? ORDER BY th", {txh});
        while (q.next()) {
            library::StoredQuestion question{q.text(0), q.text(1), q.text(2), q.text(3),
                                             q.text(4), q.text(5), q.text(6), q.text(7)};
            question.questionId = q.int64(8);
            section.questions.append(question);
            section.points += q.text(5).toInt();
        }
        section.count = int(section.questions.size());
        paper.sections.append(section);
    }
    library::storePaper(DM->db(), paper);
    return paper;
}

// The heading row of an exported CSV sheet, as a teacher's spreadsheet keeps it, then the rows.
QByteArray filledSheet(const QString& emptySheet, const QStringList& rows)
{
    QFile file(emptySheet);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = file.readAll();
    for (const QString& row : rows) bytes += row.toUtf8() + "\r\n";
    return bytes;
}

// Accepts a file dialog with `path` typed into its name field.
bool acceptFileDialog(QWidget* w, const QString& path)
{
    auto* files = qobject_cast<QFileDialog*>(w);
    if (!files) return false;
    if (auto* name = files->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
    QMetaObject::invokeMethod(files, "accept");
    return true;
}

QString cell(TCjfxF* window, int question, int column, int role = Qt::DisplayRole)
{
    QAbstractItemModel* model = window->TableTm->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->index(r, scoreanalysis::Number).data().toInt() == question) {
            return model->index(r, column).data(role).toString();
        }
    }
    return QStringLiteral("<no question %1>").arg(question);
}

QVariant cellData(TCjfxF* window, int question, int column, int role)
{
    QAbstractItemModel* model = window->TableTm->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->index(r, scoreanalysis::Number).data().toInt() == question)
            return model->index(r, column).data(role);
    }
    return {};
}

}  // namespace

class ScoreAnalysisTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void menuItemIsEnabledLikeThePaperLibrary();
    void exportedSheetFilledInAndImportedGivesTheDifficultyComputedByHand();
    void sheetWithBadCellsListsThemCancelStoresNothingSkipStoresCleanRows();
    void twoSittingsTickedAreAnalysedTogether();
    void flaggedFiguresAreColouredAndSayWhy();
    void passAndExcellentLinesReanalyse();
    void chartsShowTheBinsTheQuestionsAndTheLetters();
    void deletingASittingAsksFirst();
    void papersAreChosenNewestFirstAndFiltered();
    void aFileThatIsNoSheetIsRefusedAndStoresNothing();
    void aLargeSheetIsReadUnderTheBusyWindow();
    void reportIsWrittenAndOpensInLibreOffice();

private:
    testing::ModalGuard guard_;
    // What the last 考试信息 dialog offered before the test filled it in.
    QDate offeredDate_;
    QString offeredGroup_;
    // Imports `rows` as a filled copy of the paper's exported sheet, with the given date and group.
    // Answers the problems dialog with `problemsAnswer` ("BtnTg", "BtnQx") when it comes; the date
    // "取消" cancels the 考试信息 dialog.
    void importRows(Workspace& ws, TCjfxF* window, BoxAnswerer& boxes, const QStringList& rows, const QString& date,
                    const QString& group, const QString& problemsAnswer = QString(), QString* problemsShown = nullptr,
                    bool* tgOffered = nullptr);
    QString exportSheet(Workspace& ws, TCjfxF* window, BoxAnswerer& boxes, const QString& name);
};

QString ScoreAnalysisTest::exportSheet(Workspace& ws, TCjfxF* window, BoxAnswerer& boxes, const QString& name)
{
    const QString path = ws.root() + "/" + name;
    boxes.onOtherModal = [&](QWidget* w) { return acceptFileDialog(w, path); };
    QTest::mouseClick(window->BtnDc, Qt::LeftButton);
    boxes.onOtherModal = nullptr;
    return path;
}

void ScoreAnalysisTest::importRows(Workspace& ws, TCjfxF* window, BoxAnswerer& boxes, const QStringList& rows,
                                   const QString& date, const QString& group, const QString& problemsAnswer,
                                   QString* problemsShown, bool* tgOffered)
{
    static int counter = 0;
    const QString empty = exportSheet(ws, window, boxes, QStringLiteral("空表%1.csv").arg(++counter));
    const QString filled = ws.writeFile(QStringLiteral("成绩%1.csv").arg(counter), filledSheet(empty, rows));
    boxes.onOtherModal = [&, filled](QWidget* w) -> bool {
        if (acceptFileDialog(w, filled)) return true;
        if (auto* problems = qobject_cast<TCjwtF*>(w)) {
            if (problemsShown) *problemsShown = problems->MemoWt->toPlainText();
            if (tgOffered) *tgOffered = problems->BtnTg != nullptr;
            auto* button = problems->findChild<QPushButton*>(problemsAnswer.isEmpty() ? "BtnQx" : problemsAnswer);
            if (!button) return false;
            button->click();
            return true;
        }
        if (auto* info = qobject_cast<TKsxxF*>(w)) {
            offeredDate_ = info->DateKs->date();
            offeredGroup_ = info->EditBj->text();
            if (date == "取消") {
                info->BtnCancel->click();
                return true;
            }
            info->DateKs->setDate(QDate::fromString(date, "yyyy-MM-dd"));
            if (!group.isNull()) info->EditBj->setText(group);
            info->BtnOk->click();
            return true;
        }
        return false;
    };
    QTest::mouseClick(window->BtnDr, Qt::LeftButton);
    boxes.onOtherModal = nullptr;
}

void ScoreAnalysisTest::menuItemIsEnabledLikeThePaperLibrary()
{
    Workspace ws;
    QVERIFY(MainF->CJFX);
    QCOMPARE(MainF->CJFX->parent(), static_cast<QObject*>(MainF->SJGL));
    QCOMPARE(MainF->CJFX->text(), QStringLiteral("成绩分析(&A)"));
    // 超级用户 (3) and 试卷管理用户 (2) may use it, as they may 试卷库; 题库管理用户 (1) and nobody (0) not.
    for (int level : {0, 1, 2, 3}) {
        MainF->applyPermissions(level);
        QCOMPARE(MainF->CJFX->isEnabled(), MainF->SJK->isEnabled());
        QCOMPARE(MainF->CJFX->isEnabled(), level == 2 || level == 3);
        QCOMPARE(MainF->SJGL->menuAction()->isEnabled(), level == 2 || level == 3);
    }

    // The item opens the window over the main window, titled 成绩分析, the newest paper chosen.
    storePaper(ws, "旧卷");
    storePaper(ws, "新卷");
    BoxAnswerer boxes;
    QString title, chosen;
    boxes.onOtherModal = [&](QWidget* w) -> bool {
        auto* window = qobject_cast<TCjfxF*>(w);
        if (!window) return false;
        title = window->windowTitle();
        chosen = window->ComboSj->currentText();
        window->close();
        return true;
    };
    MainF->CJFX->trigger();
    QCOMPARE(title, QStringLiteral("成绩分析"));
    QVERIFY2(chosen.startsWith("新卷（物理，"), qPrintable(chosen));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
}

void ScoreAnalysisTest::exportedSheetFilledInAndImportedGivesTheDifficultyComputedByHand()
{
    Workspace ws;
    const library::StoredPaper paper = storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    QCOMPARE(window->currentPaperId(), paper.id);
    QVERIFY2(window->LabelTj->text().contains("还没有成绩"), qPrintable(window->LabelTj->text()));

    // The empty sheet as CSV: the heading row of the paper's four questions and their marks.
    const QString csv = exportSheet(ws, window, boxes, "期中成绩表.csv");
    QFile file(csv);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(QString::fromUtf8(file.readAll()).remove(QChar(0xFEFF)).trimmed(),
             QStringLiteral("学号,姓名,班级,1（2分）,2（2分）,3（5分）,4（10分）"));
    QVERIFY(boxes.last().startsWith("成绩表已导出到：" + QDir::toNativeSeparators(csv)));

    // The same as a workbook: a zip package that is no CSV text.
    const QString xlsx = exportSheet(ws, window, boxes, "期中成绩表.xlsx");
    QFile book(xlsx);
    QVERIFY2(book.open(QIODevice::ReadOnly), qPrintable(boxes.texts.join('\n')));
    QVERIFY(book.read(2) == "PK");
    QVERIFY(boxes.last().startsWith("成绩表已导出到：" + QDir::toNativeSeparators(xlsx)));
    // A name typed without a suffix gets the chosen type's.
    exportSheet(ws, window, boxes, "无后缀");
    QVERIFY(QFileInfo::exists(ws.root() + "/无后缀.xlsx"));

    // Four students; question 3 (5 points) scored 5, 3, 2, 0: P = 2.5 / 5 = 0.50.
    importRows(ws, window, boxes,
               {"s1,甲,高一1班,2,2,5,10", "s2,乙,高一1班,2,0,3,8", "s3,丙,高一2班,0,2,2,4", "s4,丁,高一2班,0,0,0,1"},
               "2026-11-20", QString());
    QVERIFY2(boxes.last().startsWith("已导入 4 名学生的成绩（2026-11-20  高一1班、高一2班  4 人）"),
             qPrintable(boxes.texts.join('\n')));
    // The dialog offered today and the classes of the sheet, in the sheet's order.
    QCOMPARE(offeredDate_, QDate::currentDate());
    QCOMPARE(offeredGroup_, QStringLiteral("高一1班、高一2班"));
    const QVector<analysis::SittingInfo> stored = analysis::listSittings(DM->db(), paper.id);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().students, 4);
    QCOMPARE(stored.first().heldOn, QStringLiteral("2026-11-20"));
    QCOMPARE(stored.first().group, QStringLiteral("高一1班、高一2班"));
    QCOMPARE(window->TableKs->rowCount(), 1);
    QCOMPARE(window->TableKs->item(0, 0)->checkState(), Qt::Checked);
    QCOMPARE(window->TableKs->item(0, 1)->text(), QStringLiteral("高一1班、高一2班"));

    QCOMPARE(window->TableTm->model()->rowCount(), 4);
    QCOMPARE(cell(window, 3, scoreanalysis::Difficulty), QStringLiteral("0.50"));
    QCOMPARE(cell(window, 3, scoreanalysis::Mean), QStringLiteral("2.50"));
    QCOMPARE(cell(window, 3, scoreanalysis::Type), QStringLiteral("简答题"));
    QCOMPARE(cell(window, 4, scoreanalysis::FullMarks), QStringLiteral("10"));
    // Question 1: 2 of 4 right, P = 0.50; the top group (1 student: s1) 2, the bottom (s4) 0: D = 1.
    QCOMPARE(cell(window, 1, scoreanalysis::Difficulty), QStringLiteral("0.50"));
    QCOMPARE(cell(window, 1, scoreanalysis::Discrimination), QStringLiteral("1.00"));
    // Totals 19, 13, 8, 1: mean 10.25, median 10.5, highest 19, lowest 1.
    const QString figures = window->LabelTj->text();
    for (const char* part : {"人数 4", "平均分 10.25", "中位数 10.5", "最高分 19.0", "最低分 1.0", "Cronbach α = "}) {
        QVERIFY2(figures.contains(QString::fromUtf8(part)), qPrintable(figures));
    }
    // 更新难度… proposes from the measured P of the paper's questions (0.50, 0.50, 0.50, 0.575):
    // all 中等 by the usual lines, all 易 with the line of 易 at 0.50; applied, the bank has them.
    int rowsShown = -1, tickedAtFirst = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<UpdateDifficultyDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        rowsShown = dialog->GridGxnd->rowCount();
        tickedAtFirst = 0;
        for (int r = 0; r < rowsShown; ++r) tickedAtFirst += dialog->isTicked(r) ? 1 : 0;
        dialog->SpinYi->setValue(0.5);
        QTest::mouseClick(dialog->BtnYy, Qt::LeftButton);
    });
    QTest::mouseClick(window->BtnGxnd, Qt::LeftButton);
    QCOMPARE(rowsShown, 4);
    QCOMPARE(tickedAtFirst, 0);
    QCOMPARE(boxes.last(), QStringLiteral("已更新 4 道试题的难度。"));
    QCOMPARE(ws.count("stb", "nd='易'"), 4);
    QVERIFY(!QApplication::activeModalWidget());

    // Sorted by difficulty, hardest first: question 4 (P = 23 / 40) is not; 1 and 2 and 3 tie at 0.5.
    window->TableTm->sortByColumn(scoreanalysis::Difficulty, Qt::DescendingOrder);
    QCOMPARE(window->TableTm->model()->index(0, scoreanalysis::Number).data().toInt(), 4);
    window->TableTm->sortByColumn(scoreanalysis::Number, Qt::AscendingOrder);
    QCOMPARE(window->TableTm->model()->index(0, scoreanalysis::Number).data().toInt(), 1);
}

void ScoreAnalysisTest::sheetWithBadCellsListsThemCancelStoresNothingSkipStoresCleanRows()
{
    Workspace ws;
    const library::StoredPaper paper = storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    const QStringList rows = {"s1,甲,1班,2,2,5,10", "s2,乙,1班,2,0,3,x", "s3,丙,1班,0,2,6,4", "s4,丁,1班,0,0,0,1"};

    QString shown;
    bool offered = false;
    importRows(ws, window, boxes, rows, "2026-11-20", "1班", "BtnQx", &shown, &offered);
    QVERIFY(offered);
    QCOMPARE(shown, QStringLiteral("第3行第7列：“x”不是分数。\n第4行第6列：分数6超过本题满分5分。"));
    QCOMPARE(analysis::listSittings(DM->db(), paper.id).size(), 0);
    QCOMPARE(window->TableKs->rowCount(), 0);

    // 跳过这些行, then 取消 in 考试信息: still nothing stored.
    importRows(ws, window, boxes, rows, "取消", "1班", "BtnTg");
    QCOMPARE(analysis::listSittings(DM->db(), paper.id).size(), 0);
    QCOMPARE(offeredGroup_, QStringLiteral("1班"));

    importRows(ws, window, boxes, rows, "2026-11-20", "1班", "BtnTg");
    const QVector<analysis::SittingInfo> stored = analysis::listSittings(DM->db(), paper.id);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().students, 2);
    const analysis::StoredSitting back = analysis::loadSitting(DM->db(), stored.first().id);
    QCOMPARE(back.students.at(0).id, QStringLiteral("s1"));
    QCOMPARE(back.students.at(1).id, QStringLiteral("s4"));
    QVERIFY2(boxes.last().contains("有错误的 2 行没有导入"), qPrintable(boxes.last()));
    QCOMPARE(window->result().paper.students, 2);

    // A sheet without one clean row offers only 取消.
    offered = true;
    importRows(ws, window, boxes, {"s1,甲,1班,3,0,0,0"}, "2026-11-21", "1班", "BtnQx", &shown, &offered);
    QVERIFY(!offered);
    QCOMPARE(shown, QStringLiteral("第2行第4列：分数3超过本题满分2分。"));
    QCOMPARE(analysis::listSittings(DM->db(), paper.id).size(), 1);
}

void ScoreAnalysisTest::twoSittingsTickedAreAnalysedTogether()
{
    Workspace ws;
    const library::StoredPaper paper = storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    // Class 1: question 3 scored 5 and 3; class 2: 1, 1 and 0.
    importRows(ws, window, boxes, {"a1,甲,1班,2,2,5,10", "a2,乙,1班,2,0,3,8"}, "2026-11-20", "1班");
    importRows(ws, window, boxes, {"b1,丙,2班,0,2,1,4", "b2,丁,2班,0,0,1,1", "b3,戊,2班,2,2,0,0"}, "2026-11-21", "2班");
    QCOMPARE(window->TableKs->rowCount(), 2);
    QCOMPARE(window->tickedSittings().size(), 2);
    // Together: 5 students, question 3: (5 + 3 + 1 + 1 + 0) / 5 / 5 = 0.40.
    QCOMPARE(window->result().paper.students, 5);
    QCOMPARE(cell(window, 3, scoreanalysis::Difficulty), QStringLiteral("0.40"));
    QVERIFY2(window->LabelTj->text().contains("人数 5"), qPrintable(window->LabelTj->text()));

    // Class 2 alone: 2 / 3 / 5 = 0.13; class 1 alone: 8 / 2 / 5 = 0.80.
    window->TableKs->item(0, 0)->setCheckState(Qt::Unchecked);
    QCOMPARE(window->result().paper.students, 3);
    QCOMPARE(cell(window, 3, scoreanalysis::Difficulty), QStringLiteral("0.13"));
    window->TableKs->item(0, 0)->setCheckState(Qt::Checked);
    window->TableKs->item(1, 0)->setCheckState(Qt::Unchecked);
    QCOMPARE(cell(window, 3, scoreanalysis::Difficulty), QStringLiteral("0.80"));
    // Nothing ticked: nothing analysed, and the window says what to do.
    window->TableKs->item(0, 0)->setCheckState(Qt::Unchecked);
    QVERIFY(!window->analysed());
    QCOMPARE(window->TableTm->model()->rowCount(), 0);
    QVERIFY2(window->LabelTj->text().contains("勾选"), qPrintable(window->LabelTj->text()));

    // A window opened afresh ticks every sitting.
    auto* again = new TCjfxF(MainF);
    QCOMPARE(again->currentPaperId(), paper.id);
    QCOMPARE(again->tickedSittings().size(), 2);
    QCOMPARE(again->result().paper.students, 5);
}

void ScoreAnalysisTest::flaggedFiguresAreColouredAndSayWhy()
{
    Workspace ws;
    storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    // Question 4 (10 points): nobody scored, P = 0 (too hard); question 2 everyone right, P = 1 (too easy).
    importRows(
        ws, window, boxes,
        {"s1,甲,1班,2,2,5,0", "s2,乙,1班,2,2,4,0", "s3,丙,1班,0,2,2,0", "s4,丁,1班,0,2,1,0", "s5,戊,1班,0,2,0,0"},
        "2026-11-20", "1班");
    const QColor flagged = scoreanalysis::ItemTableModel::flagColour();
    QCOMPARE(cellData(window, 4, scoreanalysis::Difficulty, Qt::BackgroundRole).value<QColor>(), flagged);
    QCOMPARE(cell(window, 4, scoreanalysis::Difficulty, Qt::ToolTipRole),
             QStringLiteral("难度 0.00 低于 0.2：题目过难"));
    QCOMPARE(cell(window, 2, scoreanalysis::Difficulty, Qt::ToolTipRole),
             QStringLiteral("难度 1.00 高于 0.9：题目过易"));
    QCOMPARE(cell(window, 2, scoreanalysis::Discrimination, Qt::ToolTipRole),
             QStringLiteral("区分度 0.00 低于 0.2：区分能力弱"));
    // Question 3 discriminates (5 against 0) and lies between the lines: no colour, no tooltip.
    QVERIFY(!cellData(window, 3, scoreanalysis::Difficulty, Qt::BackgroundRole).isValid());
    QVERIFY(!cellData(window, 3, scoreanalysis::Discrimination, Qt::BackgroundRole).isValid());
    QCOMPARE(cell(window, 3, scoreanalysis::Difficulty, Qt::ToolTipRole), QString());
    // The number cell sums the reasons up; the figures panel counts the flagged questions.
    QVERIFY(cell(window, 4, scoreanalysis::Number, Qt::ToolTipRole).contains("题目过难"));
    QVERIFY2(window->LabelTj->text().contains("道题需要注意"), qPrintable(window->LabelTj->text()));
}

void ScoreAnalysisTest::passAndExcellentLinesReanalyse()
{
    Workspace ws;
    storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    QCOMPARE(window->SpinJgx->value(), 60);
    QCOMPARE(window->SpinYxx->value(), 85);
    // Totals 19, 13, 8, 1 of 19: at 60 % (11.4) two pass, at 85 % (16.15) one is excellent.
    importRows(ws, window, boxes, {"s1,甲,1班,2,2,5,10", "s2,乙,1班,2,0,3,8", "s3,丙,1班,0,2,2,4", "s4,丁,1班,0,0,0,1"},
               "2026-11-20", "1班");
    QVERIFY2(window->LabelTj->text().contains("及格率 50.0%"), qPrintable(window->LabelTj->text()));
    QVERIFY(window->LabelTj->text().contains("优秀率 25.0%"));
    window->SpinJgx->setValue(40);  // 7.6: three pass
    QVERIFY2(window->LabelTj->text().contains("及格率 75.0%"), qPrintable(window->LabelTj->text()));
    window->SpinYxx->setValue(60);  // 11.4: two are excellent
    QVERIFY(window->LabelTj->text().contains("优秀率 50.0%"));
    QCOMPARE(window->result().paper.passRate, 0.75);
}

void ScoreAnalysisTest::chartsShowTheBinsTheQuestionsAndTheLetters()
{
    Workspace ws;
    storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    // Question 1 (key A) answered by letters: the top group A, the bottom group B and D.
    importRows(
        ws, window, boxes,
        {"s1,甲,1班,A,2,5,10", "s2,乙,1班,A,0,3,8", "s3,丙,1班,C,2,2,4", "s4,丁,1班,B,0,1,2", "s5,戊,1班,D,0,0,1"},
        "2026-11-20", "1班");
    QVERIFY2(window->analysed(), qPrintable(boxes.texts.join('\n')));

    // The distribution: ten ranges holding the five totals, and the normal curve over them.
    QChart* distribution = window->ChartFb->chart();
    auto* bars = qobject_cast<QBarSeries*>(distribution->series().value(0));
    QVERIFY(bars);
    QCOMPARE(bars->barSets().size(), 1);
    QCOMPARE(bars->barSets().first()->count(), scorecharts::kBins);
    double students = 0;
    for (int i = 0; i < bars->barSets().first()->count(); ++i) students += bars->barSets().first()->at(i);
    QCOMPARE(students, 5.0);
    // Totals 19, 13, 8, 3, 1 of 19: ranges of 1.9 points; 19 falls into the last range, 1 into the first.
    QCOMPARE(bars->barSets().first()->at(9), 1.0);
    QCOMPARE(bars->barSets().first()->at(0), 1.0);
    auto* curve = qobject_cast<QLineSeries*>(distribution->series().value(1));
    QVERIFY(curve);
    QCOMPARE(curve->count(), 81);
    // Its peak: the normal density at the mean times students × range width, over the mean's place
    // among the bars (bar i stands at i, a total t at t / width − 0.5).
    const analysis::PaperStats& paper = window->result().paper;
    const double width = paper.total / scorecharts::kBins;
    const double height = paper.students * width / (paper.sd * std::sqrt(2 * M_PI));
    QPointF peak(0, -1);
    for (const QPointF& p : curve->points())
        if (p.y() > peak.y()) peak = p;
    QVERIFY2(peak.y() <= height * 1.0001 && peak.y() >= height * 0.98, qPrintable(QString::number(peak.y())));
    QVERIFY2(std::fabs(peak.x() - (paper.mean / width - 0.5)) <= 0.5 * scorecharts::kBins / 80.0 + 1e-9,
             qPrintable(QString::number(peak.x())));

    // The scatter: one point per question at (P, D), numbered.
    QChart* scatter = window->ChartNd->chart();
    QScatterSeries* points = nullptr;
    for (QAbstractSeries* s : scatter->series())
        if (auto* p = qobject_cast<QScatterSeries*>(s)) points = p;
    QVERIFY(points);
    QCOMPARE(points->count(), 4);
    QCOMPARE(points->at(2).x(), window->result().items.at(2).difficulty);
    QCOMPARE(points->at(2).y(), window->result().items.at(2).discrimination);
    QCOMPARE(scorecharts::pointLabels(scatter), (QStringList{"1", "2", "3", "4"}));
    // The 0.2 lines (and the 0.9 line) are drawn as well.
    QCOMPARE(scatter->series().size(), 4);

    // The options of the first choice question: top group, bottom group and all, one bar per letter.
    QCOMPARE(window->optionsQuestion(), 0);
    auto* letters = qobject_cast<QBarSeries*>(window->ChartXx->chart()->series().value(0));
    QVERIFY2(letters, qPrintable(window->ChartXx->chart()->title()));
    QCOMPARE(letters->barSets().size(), 3);
    QCOMPARE(letters->barSets().at(0)->label(), QStringLiteral("高分组"));
    QCOMPARE(letters->barSets().at(0)->count(), 4);
    // The top group (1 student of 5: s1) chose A: 100 %.
    QCOMPARE(letters->barSets().at(0)->at(0), 100.0);
    // Choosing question 3 in the table: no letters, the chart says so.
    window->TableTm->setCurrentIndex(window->TableTm->model()->index(2, 0));
    QCOMPARE(window->optionsQuestion(), 2);
    QVERIFY(window->ChartXx->chart()->series().isEmpty());
    QVERIFY2(window->ChartXx->chart()->title().contains("不是选择题"), qPrintable(window->ChartXx->chart()->title()));
    window->TableTm->setCurrentIndex(window->TableTm->model()->index(1, 0));
    QCOMPARE(window->optionsQuestion(), 1);
    QVERIFY(window->ChartXx->chart()->title().contains("第 2 题"));

    // Charts drawn for the report have the fixed size.
    const QImage image = scorecharts::render(scorecharts::scatterChart(window->result(), window->questions()));
    QCOMPARE(image.size(), QSize(1600, 900));
}

void ScoreAnalysisTest::deletingASittingAsksFirst()
{
    Workspace ws;
    const library::StoredPaper paper = storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    importRows(ws, window, boxes, {"a1,甲,1班,2,2,5,10", "a2,乙,1班,2,0,3,8"}, "2026-11-20", "1班");
    importRows(ws, window, boxes, {"b1,丙,2班,0,2,1,4", "b2,丁,2班,0,0,1,1"}, "2026-11-21", "2班");
    QCOMPARE(window->result().paper.students, 4);

    // No sitting chosen in the list: the window says what to do.
    window->TableKs->setCurrentCell(-1, -1);
    QTest::mouseClick(window->BtnSck, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("请先在考试列表中选择要删除的考试！"));
    window->TableKs->selectRow(0);
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(window->BtnSck, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("确实要删除考试“2026-11-20  1班  2 人”的全部成绩吗？删除后无法恢复。"));
    QCOMPARE(analysis::listSittings(DM->db(), paper.id).size(), 2);
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(window->BtnSck, Qt::LeftButton);
    const QVector<analysis::SittingInfo> left = analysis::listSittings(DM->db(), paper.id);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().group, QStringLiteral("2班"));
    QCOMPARE(window->TableKs->rowCount(), 1);
    QCOMPARE(window->result().paper.students, 2);
}

void ScoreAnalysisTest::reportIsWrittenAndOpensInLibreOffice()
{
    Workspace ws;
    storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    // Nothing analysed yet: nothing to report.
    QTest::mouseClick(window->BtnBg, Qt::LeftButton);
    QVERIFY(boxes.last().startsWith("还没有可以写进报告的分析"));
    // Question 2 nobody scored: too hard.
    importRows(
        ws, window, boxes,
        {"s1,甲,1班,A,0,5,10", "s2,乙,1班,A,0,3,8", "s3,丙,1班,C,0,2,4", "s4,丁,1班,B,0,1,0", "s5,戊,1班,D,0,0,0"},
        "2026-11-20", "高一（1）班");

    const QString path = ws.root() + "/期中成绩分析.docx";
    boxes.onOtherModal = [&](QWidget* w) { return acceptFileDialog(w, path); };
    QTest::mouseClick(window->BtnBg, Qt::LeftButton);
    boxes.onOtherModal = nullptr;
    QVERIFY2(QFileInfo::exists(path), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(boxes.last(), QStringLiteral("成绩分析报告已保存到：") + QDir::toNativeSeparators(path));
    // Written again over the same file: the file dialog asks first, and 是 replaces it.
    QFile::resize(path, 10);
    boxes.clear();
    boxes.queue(QMessageBox::Yes);
    boxes.onOtherModal = [&](QWidget* w) { return acceptFileDialog(w, path); };
    QTest::mouseClick(window->BtnBg, Qt::LeftButton);
    boxes.onOtherModal = nullptr;
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY2(boxes.texts.first().contains("期中成绩分析.docx"), qPrintable(boxes.texts.first()));
    QVERIFY(QFileInfo(path).size() > 10);
    const docxread::Package docx = docxread::read(path);
    QVERIFY2(docx.error.isEmpty(), qPrintable(docx.error));
    const QStringList tokens = docx.tokens();
    QCOMPARE(tokens.value(0), QStringLiteral("期中考试 成绩分析"));
    QVERIFY(tokens.contains(QStringLiteral("2026-11-20  高一（1）班  5 人")));
    int pictures = 0;
    for (const docxread::Paragraph& p : docx.paragraphs) pictures += int(p.pictures.size());
    QCOMPARE(pictures, 3);

    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) QSKIP("soffice is not installed");
    QTemporaryDir out;
    QVERIFY(testing::convertWithLibreOffice({path}, QStringLiteral("pdf"), out.path()));
    const QString pdf = out.path() + "/期中成绩分析.pdf";
    QVERIFY2(QFileInfo::exists(pdf), qPrintable(pdf));
    const QString text =
        testing::runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    const analysis::PaperStats& figures = window->result().paper;
    for (const QString& part :
         {QStringLiteral("期中考试 成绩分析"), QStringLiteral("高一（1）班"), QStringLiteral("Cronbach α"),
          analysis::figureText(figures.mean), analysis::figureText(figures.sd), analysis::figureText(figures.alpha, 3),
          analysis::percentText(figures.passRate), QStringLiteral("第 2 题：难度 0.00 低于 0.2：题目过难"),
          QStringLiteral("A* 100%/0%")}) {
        QVERIFY2(text.contains(part), qPrintable(QStringLiteral("“%1” missing from:\n%2").arg(part, text)));
    }
    const QString images = testing::runProgram(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    QCOMPARE(images.split('\n', Qt::SkipEmptyParts).size() - 2, 3);
}

void ScoreAnalysisTest::papersAreChosenNewestFirstAndFiltered()
{
    Workspace ws;
    BoxAnswerer boxes;
    // An empty library: nothing to choose, and the window says where papers come from.
    auto* empty = new TCjfxF(MainF);
    QCOMPARE(empty->ComboSj->count(), 0);
    QCOMPARE(empty->currentPaperId(), -1);
    QVERIFY2(empty->LabelTj->text().contains("试卷库中没有试卷"), qPrintable(empty->LabelTj->text()));
    QTest::mouseClick(empty->BtnDc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("请先选择一份试卷！"));

    const library::StoredPaper older = storePaper(ws, "期中考试");
    const library::StoredPaper newer = storePaper(ws, "期末考试");
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('02','化学')");
    const library::StoredPaper other = storePaper(ws, "化学期末");
    ws.exec("UPDATE papers SET kmh='02', kmm='化学' WHERE id=?", {other.id});
    auto* window = new TCjfxF(MainF);
    window->show();
    QCOMPARE(window->ComboSj->count(), 3);
    QCOMPARE(window->currentPaperId(), other.id);
    QCOMPARE(window->LabelCount->text(), QStringLiteral("共 3 份试卷"));
    window->EditBt->setText("期末");
    QCOMPARE(window->ComboSj->count(), 2);
    window->EditKm->setText("生物");
    QCOMPARE(window->ComboSj->count(), 0);
    QCOMPARE(window->currentPaperId(), -1);
    QCOMPARE(window->LabelTj->text(), QStringLiteral("没有标题和科目符合条件的试卷。"));
    window->EditKm->setText("物理");
    QCOMPARE(window->ComboSj->count(), 1);
    QCOMPARE(window->currentPaperId(), newer.id);
    QCOMPARE(window->paper().title, QStringLiteral("期末考试"));
    window->EditBt->clear();
    QCOMPARE(window->ComboSj->count(), 2);
    // The paper chosen stays chosen while the list changes around it.
    QCOMPARE(window->currentPaperId(), newer.id);
    window->ComboSj->setCurrentIndex(1);
    QCOMPARE(window->currentPaperId(), older.id);
    QCOMPARE(window->questions().size(), 4);
    QCOMPARE(window->questions().at(0).key, QChar('A'));
    QCOMPARE(window->questions().at(2).key, QChar());
}

void ScoreAnalysisTest::aFileThatIsNoSheetIsRefusedAndStoresNothing()
{
    Workspace ws;
    const library::StoredPaper paper = storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i) junk[i] = char((i * 37 + 11) % 256);
    for (const QString& name : {QStringLiteral("坏的.xlsx"), QStringLiteral("坏的.csv")}) {
        const QString path = ws.writeFile(name, junk);
        boxes.clear();
        QString listed;
        bool skipOffered = true;
        boxes.onOtherModal = [&](QWidget* w) {
            if (auto* problems = qobject_cast<TCjwtF*>(w)) {
                listed = problems->MemoWt->toPlainText();
                skipOffered = problems->BtnTg != nullptr;
                problems->BtnQx->click();
                return true;
            }
            return acceptFileDialog(w, path);
        };
        QTest::mouseClick(window->BtnDr, Qt::LeftButton);
        boxes.onOtherModal = nullptr;
        // A box says in Chinese why (a workbook that is none), or the cells are listed as not
        // matching the paper's heading with nothing to skip to (bytes read as text); either way
        // no sitting comes of it.
        if (name.endsWith(".xlsx")) {
            QVERIFY2(!boxes.texts.isEmpty(), qPrintable(name));
            QVERIFY2(boxes.last().contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]")), qPrintable(boxes.last()));
        } else {
            QVERIFY2(listed.startsWith("第1行第1列：表头应为“学号”"), qPrintable(listed));
            QVERIFY(!skipOffered);
        }
        QCOMPARE(analysis::listSittings(DM->db(), paper.id).size(), 0);
        QCOMPARE(window->TableKs->rowCount(), 0);
    }
}

void ScoreAnalysisTest::aLargeSheetIsReadUnderTheBusyWindow()
{
    Workspace ws;
    const library::StoredPaper paper = storePaper(ws);
    BoxAnswerer boxes;
    auto* window = new TCjfxF(MainF);
    window->show();
    // A whole year's sheet, larger than what is read without the busy window.
    QStringList rows;
    for (int i = 0; i < 24000; ++i) {
        rows << QStringLiteral("g%1,学生%1,%2班,%3,%4,%5,%6")
                    .arg(i)
                    .arg(i % 12 + 1)
                    .arg(i % 3 ? "A" : "B")
                    .arg(i % 2 ? 2 : 0)
                    .arg(i % 6)
                    .arg(i % 11);
    }
    QVERIFY(rows.join("\r\n").toUtf8().size() > 512 * 1024);
    importRows(ws, window, boxes, rows, "2026-11-20", "全年级");
    QVERIFY2(boxes.last().startsWith("已导入 24000 名学生的成绩"), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(analysis::listSittings(DM->db(), paper.id).value(0).students, 24000);
    QCOMPARE(window->result().paper.students, 24000);
    // Question 1: two of every three chose the key A.
    QCOMPARE(cell(window, 1, scoreanalysis::Difficulty), QStringLiteral("0.67"));
    // The busy window has gone again.
    QVERIFY(!window->findChild<QWidget*>("BusyWindow") || !window->findChild<QWidget*>("BusyWindow")->isVisible());
}

QTEST_MAIN(ScoreAnalysisTest)
#include "test_score_analysis.moc"
