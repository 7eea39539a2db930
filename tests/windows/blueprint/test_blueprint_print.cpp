// Printing the blueprint: with 在答案后打印细目表 ticked, the paper written by 组卷 in step 2 ends with
// the blueprint as a real table on a page of its own after the answer key; unticked (the default)
// the paper is as before. LibreOffice shows the table's text on the last page.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "output/docx_reader.h"
#include "windows/wizard/wizard_fixture.h"
#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "blueprint/blueprint_plan.h"
#include "windows/blueprint/blueprint_window.h"
#include "windows/blueprint/blueprint_fixture.h"
#include "data/data_module.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"

using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

namespace {

using blueprinttest::setCell;

// 数学: 第一章 has 1 易 and 2 较易 选择题, 3 中等 填空题, 2 解答题; 第二章 has 4 易 选择题.
void seedBank(Workspace& ws)
{
    seedSubjects(ws);
    addQuestion(ws, "01", "01", "001", "01", "易");
    addQuestion(ws, "01", "01", "002", "01", "较易");
    addQuestion(ws, "01", "01", "003", "01", "较易");
    for (int i = 4; i <= 7; ++i)
        addQuestion(ws, "01", "01", QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), "02", "易");
    for (int i = 1; i <= 3; ++i) addQuestion(ws, "01", "02", QStringLiteral("00%1").arg(i), "01", "中等");
    addQuestion(ws, "01", "03", "001", "01", "难");
    addQuestion(ws, "01", "03", "002", "01", "易");
    ws.refreshDatasets();
}

// 100 points over 9 questions: 选择题 by difficulty, 填空题 中等, 解答题 merged ("全部").
void fillPlan(BlueprintWindow* w)
{
    for (int i = 0; i < w->TableTypes->rowCount(); ++i) {
        if (w->TableTypes->item(i, 0)->text() == QString("解答题"))
            w->TableTypes->item(i, 1)->setCheckState(Qt::Checked);
    }
    setCell(w, "第一章", "01", "易", "1", "10");
    setCell(w, "第一章", "01", "较易", "2", "10");
    setCell(w, "第二章", "01", "易", "3", "10");
    setCell(w, "第一章", "02", "中等", "2", "5");
    setCell(w, "第一章", "03", "", "1", "30");
}

// Composes from the menu with the print option as given, then 组卷 in step 2. Returns the
// written paper's path (empty when none was written) and whether the option started ticked.
QString composeAndPrint(bool tick, bool* tickedByDefault, BoxAnswerer& boxes)
{
    QAction* action = MainF->findChild<QAction*>("XmbZj");
    if (!action || !action->isEnabled()) return {};
    boxes.onOtherModal = [&](QWidget* modal) {
        if (auto* w = qobject_cast<BlueprintWindow*>(modal)) {
            if (w->property("filled").toBool()) {
                w->reject();
                return true;
            }
            w->setProperty("filled", true);
            auto* check = w->findChild<QCheckBox*>("CheckPrintBlueprint");
            if (!check) {
                w->reject();
                return true;
            }
            *tickedByDefault = check->isChecked() || check->text() != QString("在答案后打印细目表");
            w->EditSjbt->setText("函数单元测验");
            fillPlan(w);
            if (tick) check->click();
            w->BtnCompose->click();
            return true;
        }
        if (auto* step2 = qobject_cast<TXxszF*>(modal)) {
            if (step2->property("printed").toBool()) {
                step2->Button3->click();
                return true;
            }
            step2->setProperty("printed", true);
            step2->Button2->click();  // 组卷
            return true;
        }
        return false;
    };
    action->trigger();
    const QFileInfoList papers = QDir(QDir::current().filePath("Papers")).entryInfoList({"*.docx"}, QDir::Files);
    return papers.size() == 1 ? papers.first().filePath() : QString();
}

QString run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString withoutSpaces(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s+")));
}

}  // namespace

class BlueprintPrintTest : public QObject {
    Q_OBJECT
    // A dialog no test answers fails the test at once instead of hanging until the CTest timeout.
    testing::ModalGuard guard_;

private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }

    void theTableHoldsTheUsedCellsWithRowColumnAndGrandTotals()
    {
        blueprint::Plan plan;
        plan.chapters = {{"01", "第一章"}, {"02", "第二章"}, {"03", "第三章"}};
        plan.types = {{"01", "选择题", false}, {"03", "解答题", true}};
        plan.cells = {
            {"01", "01", "易", 2, 5}, {"02", "01", "易", 1, 5}, {"01", "01", "难", 1, 2.5}, {"02", "03", "", 2, 12}};
        const QVector<QStringList> rows = blueprint::tableRows(plan);
        QCOMPARE(rows.size(), 4);  // header, 第一章, 第二章 (第三章 asks for nothing), totals
        QCOMPARE(rows.at(0), (QStringList{"章节", "选择题·易", "选择题·难", "解答题·全部", "合计"}));
        QCOMPARE(rows.at(1), (QStringList{"第一章", "2题 10分", "1题 2.5分", "", "3题 12.5分"}));
        QCOMPARE(rows.at(2), (QStringList{"第二章", "1题 5分", "", "2题 24分", "3题 29分"}));
        QCOMPARE(rows.at(3), (QStringList{"合计", "3题 15分", "1题 2.5分", "2题 24分", "6题 41.5分"}));
    }

    void tickedTheBlueprintFollowsTheAnswerKeyAsATable()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        bool tickedByDefault = true;
        const QString path = composeAndPrint(true, &tickedByDefault, boxes);
        QVERIFY2(!path.isEmpty(), qPrintable(boxes.texts.join('|')));
        QVERIFY(!tickedByDefault);

        const docxread::Package doc = docxread::read(path);
        QVERIFY2(doc.error.isEmpty(), qPrintable(doc.error));
        const QByteArray xml = doc.parts.value("word/document.xml");
        QCOMPARE(xml.count("<w:tbl>"), 1);
        QVERIFY(xml.contains("<w:tblBorders>"));
        // The table comes after the last answer, after a page break and its title.
        const QStringList tokens = doc.tokens();
        const qsizetype answers = tokens.indexOf(QRegularExpression("^\\[page\\]函数单元测验\\(参考答案\\)$"));
        const qsizetype title = tokens.indexOf(QRegularExpression("^\\[page\\]函数单元测验\\(双向细目表\\)$"));
        QVERIFY2(answers > 0 && title > answers, qPrintable(tokens.join('\n')));
        QVERIFY(doc.paragraphs.at(title).bold);
        QCOMPARE(doc.paragraphs.at(title).alignment, QString("center"));
        QVERIFY(xml.indexOf("(双向细目表)") < xml.indexOf("<w:tbl>"));
        // Cells in reading order: header (bold), 第一章, 第二章, totals.
        const QStringList cells = tokens.mid(title + 1, 5 * 4);
        QCOMPARE(cells.mid(0, 5), (QStringList{"章节", "选择题·易", "选择题·较易", "填空题·中等", "解答题·全部"}));
        QVERIFY(doc.paragraphs.at(title + 1).bold);
        QVERIFY(!doc.paragraphs.at(title + 7).bold);
        QVERIFY2(tokens.mid(title + 1).join('|').contains("第一章|1题 10分|2题 20分|2题 10分|1题 30分|6题 70分|"
                                                          "第二章|3题 30分||||3题 30分|合计|4题 40分|2题 20分|2题 "
                                                          "10分|1题 30分|9题 100分"),
                 qPrintable(tokens.mid(title + 1).join('|')));
    }

    void untickedThePaperEndsWithTheAnswerKey()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        bool tickedByDefault = true;
        const QString path = composeAndPrint(false, &tickedByDefault, boxes);
        QVERIFY2(!path.isEmpty(), qPrintable(boxes.texts.join('|')));
        QVERIFY(!tickedByDefault);
        const docxread::Package doc = docxread::read(path);
        QVERIFY(!doc.parts.value("word/document.xml").contains("<w:tbl"));
        QVERIFY(!doc.tokens().join('|').contains("双向细目表"));
    }

    void libreOfficeShowsTheTableOnTheLastPage()
    {
        if (QStandardPaths::findExecutable("soffice").isEmpty()) QSKIP("soffice is not installed");
        QVERIFY2(!QStandardPaths::findExecutable("pdftotext").isEmpty(), "pdftotext (poppler-utils) is missing");
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        bool tickedByDefault = true;
        const QString docx = composeAndPrint(true, &tickedByDefault, boxes);
        QVERIFY2(!docx.isEmpty(), qPrintable(boxes.texts.join('|')));

        QTemporaryDir profile(QStringLiteral("/tmp/lo-XXXXXX"));
        QTemporaryDir out;
        QVERIFY(profile.isValid() && out.isValid());
        const QString converted = run("soffice",
                                      {"-env:UserInstallation=file://" + profile.path(), "--headless", "--convert-to",
                                       "pdf", "--outdir", out.path(), docx},
                                      180000);
        QVERIFY2(!converted.isNull(), "LibreOffice could not convert the document");
        const QString pdf = QDir(out.path()).filePath(QFileInfo(docx).completeBaseName() + ".pdf");
        QVERIFY2(QFileInfo::exists(pdf), qPrintable(converted));
        const QString info = run("pdfinfo", {pdf}, 30000);
        const int pages = QRegularExpression("Pages:\\s+(\\d+)").match(info).captured(1).toInt();
        QVERIFY2(pages >= 3, qPrintable(info));
        const QString last = withoutSpaces(
            run("pdftotext", {"-layout", "-f", QString::number(pages), "-l", QString::number(pages), pdf, "-"}, 30000));
        const QString before = withoutSpaces(
            run("pdftotext", {"-layout", "-f", QString::number(pages - 1), "-l", QString::number(pages - 1), pdf, "-"},
                30000));
        QVERIFY2(last.startsWith("函数单元测验(双向细目表)"), qPrintable(last));
        for (const char* text : {"章节", "选择题·易", "解答题·全部", "第一章", "第二章", "6题70分", "9题100分"})
            QVERIFY2(last.contains(QString::fromUtf8(text)), qPrintable(QString::fromUtf8(text) + "\n" + last));
        QVERIFY2(!last.contains("参考答案"), qPrintable(last));
        QVERIFY2(!before.contains("双向细目表"), qPrintable(before));
    }
};

QTEST_MAIN(BlueprintPrintTest)
#include "test_blueprint_print.moc"
