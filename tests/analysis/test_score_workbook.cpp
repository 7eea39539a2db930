// The score sheet as an Excel workbook: the empty sheet we write (heading, 学号 as text, the checks
// a spreadsheet program applies to each question's column), workbooks read back whatever wrote
// them (our own, one put together part by part with every kind of cell, one LibreOffice made from
// a CSV sheet), LibreOffice reading ours, and hostile workbooks refused with a message.
#include <zip.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "analysis/score_sheet.h"
#include "content/zip_guard.h"
#include "data/errors.h"
#include "test_support.h"

using analysis::SheetQuestion;

namespace {

const QVector<SheetQuestion> kQuestions = {
    {2, QChar('B'), QStringLiteral("ABCD")}, {3, QChar(), QString()}, {2, QChar('A'), QStringLiteral("ABC")}};

QStringList places(const analysis::ReadSheet& sheet)
{
    QStringList out;
    for (const analysis::Problem& p : sheet.problems) out << QStringLiteral("%1/%2").arg(p.row).arg(p.column);
    return out;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A zip archive of these entries, as bytes.
QByteArray zipOf(const QMap<QString, QByteArray>& entries)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("book.zip");
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return QByteArray();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        zip_source_t* source = zip_source_buffer(zip, it.value().constData(), zip_uint64_t(it.value().size()), 0);
        zip_file_add(zip, it.key().toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
    }
    if (zip_close(zip) != 0) return QByteArray();
    return readFile(path);
}

const QByteArray kMain = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";

// The parts of a minimal workbook whose first sheet is `sheetData` (the rows), with these shared
// strings. Its first sheet is not called sheet1.xml, and its relationships name it from the root,
// so that the reader has to follow them.
QMap<QString, QByteArray> workbookParts(const QByteArray& sheetData, const QByteArray& strings)
{
    QMap<QString, QByteArray> parts;
    parts["[Content_Types].xml"] =
        "<?xml version=\"1.0\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
    parts["xl/workbook.xml"] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook " + kMain +
        " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
        "<sheet name=\"成绩\" sheetId=\"1\" r:id=\"rId7\"/><sheet name=\"其他\" sheetId=\"2\" r:id=\"rId1\"/>"
        "</sheets></workbook>";
    parts["xl/_rels/workbook.xml.rels"] =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\""
        " Target=\"worksheets/sheet1.xml\"/>"
        "<Relationship Id=\"rId7\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\""
        " Target=\"/xl/worksheets/scores.xml\"/>"
        "<Relationship Id=\"rId3\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\""
        " Target=\"strings.xml\"/></Relationships>";
    parts["xl/worksheets/sheet1.xml"] = "<worksheet " + kMain + "><sheetData/></worksheet>";
    parts["xl/worksheets/scores.xml"] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet " + kMain +
                                        "><sheetData>" + sheetData +
                                        "</sheetData>"
                                        "<mergeCells count=\"0\"/></worksheet>";
    parts["xl/strings.xml"] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst " + kMain + ">" + strings + "</sst>";
    return parts;
}

// The heading row of kQuestions: 学号, 姓名 and 班级 shared (班级 in rich text runs), the first
// question's title inline, the second a formula's text, the third shared.
const QByteArray kHeadingRow =
    "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>"
    "<c r=\"D1\" t=\"inlineStr\"><is><t>1（2分）</t></is></c>"
    "<c r=\"E1\" t=\"str\"><f>\"2（3分）\"</f><v>2（3分）</v></c><c r=\"F1\" t=\"s\"><v>3</v></c></row>";
const QByteArray kStrings =
    "<si><t>学号</t></si><si><t>姓名</t></si>"
    "<si><r><rPr><b/><sz val=\"11\"/></rPr><t>班</t></r><r><t xml:space=\"preserve\">级</t></r></si>"
    "<si><t>3（2分）</t><rPh sb=\"0\" eb=\"1\"><t>さん</t></rPh></si>"
    "<si><t>b</t></si><si><t>张三</t></si>";

QString refusal(const std::function<void()>& step)
{
    try {
        step();
    } catch (const AppError& e) {
        return e.text();
    }
    return QString();
}

QString refusalOf(const QByteArray& bytes)
{
    return refusal([&] { analysis::readSheetXlsx(bytes, kQuestions, QStringLiteral("/某处/成绩.xlsx")); });
}

}  // namespace

class ScoreWorkbookTest : public QObject {
    Q_OBJECT
private slots:
    void theEmptyWorkbookHasTheHeadingAndChecksEachColumn()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("成绩.xlsx");
        analysis::writeEmptySheetXlsx(path, kQuestions);
        // Written over an existing file as well; no temporary file stays behind.
        analysis::writeEmptySheetXlsx(path, kQuestions);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"成绩.xlsx"});

        const analysis::ReadSheet back = analysis::readSheetFile(path, kQuestions);
        QVERIFY2(back.clean(), qPrintable(places(back).join(' ')));
        QVERIFY(back.students.isEmpty());
        // A sheet of another paper does not fit it.
        const analysis::ReadSheet other =
            analysis::readSheetFile(path, {{2, QChar(), QString()}, {4, QChar(), QString()}});
        QCOMPARE(places(other), (QStringList{"1/5", "1/6"}));

        const packed::Archive archive(path, "成绩.xlsx");
        const QString sheet = QString::fromUtf8(archive.read("xl/worksheets/sheet1.xml", 1 << 20).value_or(""));
        const QString strings = QString::fromUtf8(archive.read("xl/sharedStrings.xml", 1 << 20).value_or(""));
        for (const char* title : {"学号", "姓名", "班级", "1（2分）", "2（3分）", "3（2分）"}) {
            QVERIFY2(strings.contains(QString::fromUtf8(title)), title);
        }
        // The choice questions offer their letters, the other one takes 0 to its full marks.
        const QString validations = sheet.mid(sheet.indexOf("<dataValidations"));
        QVERIFY2(
            validations.contains(R"(<dataValidation type="list" errorStyle="warning" allowBlank="1" )"
                                 R"(showInputMessage="1" showErrorMessage="1" error="请填写本题的选项字母（A–D），)"
                                 R"(或0到2之间的分数。" sqref="D2:D1048576"><formula1>"A,B,C,D"</formula1>)"),
            qPrintable(validations));
        QVERIFY2(validations.contains(R"(sqref="F2:F1048576"><formula1>"A,B,C"</formula1>)"), qPrintable(validations));
        QVERIFY2(validations.contains(R"(<dataValidation type="decimal" allowBlank="1" showInputMessage="1" )"
                                      R"(showErrorMessage="1" error="请填写0到3之间的分数。" sqref="E2:E1048576">)"
                                      R"(<formula1>0</formula1><formula2>3</formula2>)"),
                 qPrintable(validations));
        // The heading row in bold, 学号's column as text (number format 49), the heading and the
        // fixed columns frozen.
        QVERIFY2(sheet.contains(R"(<c r="A1" s="2" t="s">)") && sheet.contains(R"(<c r="F1" s="2" t="s">)"),
                 qPrintable(sheet.left(1500)));
        QVERIFY2(sheet.contains(R"(<col min="1" max="1" width="14.7109375" style="1" customWidth="1"/>)"),
                 qPrintable(sheet.left(1500)));
        QVERIFY2(
            sheet.contains(R"(<pane xSplit="3" ySplit="1" topLeftCell="D2" activePane="bottomRight" state="frozen"/>)"),
            qPrintable(sheet.left(1500)));
        const QString styles = QString::fromUtf8(archive.read("xl/styles.xml", 1 << 20).value_or(""));
        const QString cellFormats = styles.mid(styles.indexOf("<cellXfs"));
        QVERIFY2(cellFormats.contains(R"(<xf numFmtId="49" fontId="0" fillId="0" borderId="0" xfId="0" )"
                                      R"(applyNumberFormat="1"/><xf numFmtId="0" fontId="1")"),
                 qPrintable(cellFormats));
        QVERIFY2(styles.contains("<font><b/>"), qPrintable(styles));
    }

    void aWorkbookOfEveryKindOfCellReadsAsTheSpreadsheetShowsIt()
    {
        const QByteArray rows =
            kHeadingRow +
            // A number for 学号, a shared lower-case letter, a sum that came out a hair below 3, a
            // gap where 班级 is empty and the last question has no cell at all.
            "<row r=\"2\"><c r=\"A2\"><v>2024001</v></c><c r=\"B2\" t=\"s\"><v>5</v></c>"
            "<c r=\"D2\" t=\"s\"><v>4</v></c><c r=\"E2\" t=\"n\"><v>2.9999999999999996</v></c></row>"
            // Row 3 is not there (blank); row 4 is, with cells that give no place (each the next).
            "<row r=\"4\"><c t=\"inlineStr\"><is><t>2024002</t></is></c><c t=\"inlineStr\"><is><t>李四</t></is></c>"
            "<c t=\"inlineStr\"><is><t>二班</t></is></c><c t=\"inlineStr\"><is><t>ｃ</t></is></c><c><v>1.5</v></c>"
            "<c t=\"str\"><v>A</v></c></row>"
            // Bad cells: above the full marks, a letter that is not an option, a truth value.
            "<row r=\"5\"><c r=\"A5\" t=\"inlineStr\"><is><t>2024003</t></is></c><c r=\"D5\"><v>3.0000001</v></c>"
            "<c r=\"E5\" t=\"b\"><v>1</v></c><c r=\"F5\" t=\"inlineStr\"><is><t>D</t></is></c></row>"
            // Something typed far to the right of the questions.
            "<row r=\"6\"><c r=\"A6\"><v>2024004</v></c><c r=\"H6\" t=\"inlineStr\"><is><t>缺考</t></is></c></row>"
            // An empty cell far to the right is nothing.
            "<row r=\"7\"><c r=\"A7\"><v>2024005</v></c><c r=\"E7\"><v>0.30000000000000004</v></c><c "
            "r=\"XFD7\"/></row>";
        const analysis::ReadSheet sheet =
            analysis::readSheetXlsx(zipOf(workbookParts(rows, kStrings)), kQuestions, "成绩.xlsx");
        QCOMPARE(places(sheet), (QStringList{"5/4", "5/5", "5/6", "6/8"}));
        QCOMPARE(sheet.problems.at(0).message, QString("分数3.0000001超过本题满分2分。"));
        QCOMPARE(sheet.problems.at(1).message, QString("“TRUE”不是分数。"));
        QCOMPARE(sheet.problems.at(2).message, QString("选项“D”不是本题的选项（A–C）。"));
        QCOMPARE(sheet.problems.at(3).message, QString("这一格在试卷的题目之外（第6列以后应是空的）。"));
        QCOMPARE(sheet.students.size(), 3);
        const analysis::Student& first = sheet.students.at(0);
        QCOMPARE(first.id, QString("2024001"));
        QCOMPARE(first.name, QString("张三"));
        QCOMPARE(first.group, QString());
        QCOMPARE(first.scores, (QVector<double>{2, 3, 0}));
        QCOMPARE(first.choices, QString("B  "));
        const analysis::Student& second = sheet.students.at(1);
        QCOMPARE(second.id, QString("2024002"));
        QCOMPARE(second.group, QString("二班"));
        QCOMPARE(second.scores, (QVector<double>{0, 1.5, 2}));
        QCOMPARE(second.choices, QString("C A"));
        QCOMPARE(sheet.students.at(2).scores, (QVector<double>{0, 0.3, 0}));

        // A heading row below row 1, and a workbook without rows.
        const analysis::ReadSheet lower = analysis::readSheetXlsx(
            zipOf(workbookParts(QByteArray(kHeadingRow).replace("r=\"1\"", "r=\"2\"").replace("1\"", "2\""), kStrings)),
            kQuestions, "成绩.xlsx");
        QCOMPARE(places(lower), (QStringList{"1/1", "1/2", "1/3", "1/4", "1/5", "1/6"}));
        const analysis::ReadSheet none = analysis::readSheetXlsx(zipOf(workbookParts("", "")), kQuestions, "成绩.xlsx");
        QCOMPARE(places(none), QStringList{"1/1"});
        QCOMPARE(none.problems.first().message, QString("成绩表是空的，第一行应是表头“学号,姓名,班级,1（…分）…”。"));
    }

    void aSheetLibreOfficeMadeFromCsvReadsAsTheCsvItself()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) QSKIP("soffice is not installed");
        QTemporaryDir dir;
        const QString csv = dir.filePath("成绩.csv");
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(analysis::emptySheetCsv(kQuestions) +
                   "2024001,张三,高一（1）班,B,3,A\r\n"
                   "2024002,李四,高一（1）班,c,1.5,b\r\n"
                   "2024003,王五,高一（2）班,,0.5,\r\n"
                   "2024004,赵六,高一（2）班,2,2.5,C\r\n");
        file.close();
        const analysis::ReadSheet fromCsv = analysis::readSheetFile(csv, kQuestions);
        QVERIFY(fromCsv.clean());
        QCOMPARE(fromCsv.students.size(), 4);

        const QString converted = dir.filePath("converted");
        QVERIFY(QDir().mkpath(converted));
        QVERIFY2(testing::convertWithLibreOffice({csv}, "xlsx", converted, {"--infilter=CSV:44,34,76,1"}),
                 "LibreOffice could not convert the sheet");
        const QString book = QDir(converted).filePath("成绩.xlsx");
        const analysis::ReadSheet fromBook = analysis::readSheetFile(book, kQuestions);
        QVERIFY2(fromBook.clean(),
                 qPrintable(places(fromBook).join(' ') + ' ' +
                            (fromBook.problems.isEmpty() ? QString() : fromBook.problems.first().message)));
        QCOMPARE(fromBook.students.size(), fromCsv.students.size());
        for (int s = 0; s < fromCsv.students.size(); ++s) {
            const analysis::Student& a = fromCsv.students.at(s);
            const analysis::Student& b = fromBook.students.at(s);
            QCOMPARE(b.id, a.id);
            QCOMPARE(b.name, a.name);
            QCOMPARE(b.group, a.group);
            QCOMPARE(b.scores, a.scores);
            QCOMPARE(b.choices, a.choices);
        }
        QCOMPARE(fromBook.students.at(1).scores, (QVector<double>{0, 1.5, 0}));
        QCOMPARE(fromBook.students.at(1).choices, QString("C B"));
    }

    void libreOfficeReadsOurWorkbook()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) QSKIP("soffice is not installed");
        QTemporaryDir dir;
        const QString book = dir.filePath("空表.xlsx");
        analysis::writeEmptySheetXlsx(book, kQuestions);
        QVERIFY2(testing::convertWithLibreOffice({book}, "csv:Text - txt - csv (StarCalc):44,34,76,1", dir.path()),
                 "LibreOffice could not convert the workbook");
        const QByteArray csv = readFile(dir.filePath("空表.csv"));
        // LibreOffice quotes the text cells.
        QCOMPARE(QString::fromUtf8(csv).trimmed().remove('"'), QString("学号,姓名,班级,1（2分）,2（3分）,3（2分）"));
        QVERIFY(analysis::readSheetCsv(csv, kQuestions, "空表.csv").clean());
    }

    void hostileOrForeignFilesAreRefusedWithAMessage()
    {
        QCOMPARE(refusalOf("学号,姓名\r\n"),
                 QString("无法读取“成绩.xlsx”：文件已损坏、受密码保护或不是所选格式的文档。"));
        QCOMPARE(refusalOf(QByteArray(100, '\0')),
                 QString("无法读取“成绩.xlsx”：文件已损坏、受密码保护或不是所选格式的文档。"));
        // An empty file is an empty archive to libzip: no workbook in it.
        QVERIFY(refusalOf(QByteArray()).contains("不是 Excel 工作簿（.xlsx）：缺少“xl/workbook.xml”"));
        // A zip that is no workbook (a Word document, say).
        QCOMPARE(refusalOf(zipOf({{"word/document.xml", "<w:document/>"}})),
                 QString("“成绩.xlsx”不是 Excel 工作簿（.xlsx）：缺少“xl/workbook.xml”。请在 Excel 或 WPS 表格中另存为"
                         " .xlsx 或 CSV 后再读入。"));
        // A workbook whose sheet is missing, or that has no sheet.
        QMap<QString, QByteArray> parts = workbookParts(kHeadingRow, kStrings);
        parts.remove("xl/worksheets/scores.xml");
        QVERIFY(refusalOf(zipOf(parts)).contains("缺少“xl/worksheets/scores.xml”"));
        parts = workbookParts(kHeadingRow, kStrings);
        parts["xl/workbook.xml"] = "<workbook " + kMain + "><sheets/></workbook>";
        QCOMPARE(refusalOf(zipOf(parts)), QString("“成绩.xlsx”中没有工作表，无法读取成绩。"));
        // Damaged parts: not well-formed, a shared string that is not there, rows out of order.
        parts = workbookParts(kHeadingRow + "<row r=\"2\"><c r=\"A2\"><v>1</v></row>", kStrings);
        QVERIFY2(
            refusalOf(zipOf(parts)).startsWith("无法读取“成绩.xlsx”：工作簿已损坏（“xl/worksheets/scores.xml”第1行："),
            qPrintable(refusalOf(zipOf(parts))));
        parts = workbookParts(kHeadingRow + "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>99</v></c></row>", kStrings);
        QCOMPARE(refusalOf(zipOf(parts)),
                 QString("无法读取“成绩.xlsx”：工作簿已损坏（引用了不存在的第99个共享文字）。"));
        parts = workbookParts(kHeadingRow + "<row r=\"1\"/>", kStrings);
        QCOMPARE(refusalOf(zipOf(parts)), QString("无法读取“成绩.xlsx”：工作簿已损坏（行号“1”不对）。"));

        // Entities declared in a document type: a few hundred bytes that would expand to gigabytes.
        const QByteArray laughs =
            "<?xml version=\"1.0\"?><!DOCTYPE sst [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
            "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
            "<sst " +
            kMain + "><si><t>&d;&d;&d;&d;&d;&d;&d;&d;</t></si></sst>";
        parts = workbookParts(kHeadingRow, kStrings);
        parts["xl/strings.xml"] = laughs;
        QCOMPARE(refusalOf(zipOf(parts)),
                 QString("“成绩.xlsx”中的“xl/strings.xml”含有文档类型定义（DTD），Excel 工作簿中不会有，不予读取"
                         "（可能是恶意构造的文件）。"));
        parts = workbookParts(kHeadingRow, kStrings);
        parts["xl/workbook.xml"].replace("<workbook", "<!DOCTYPE workbook SYSTEM \"file:///etc/passwd\"><workbook");
        QVERIFY(refusalOf(zipOf(parts)).contains("含有文档类型定义（DTD）"));

        // A string of 20 million characters: taken as far as the checks, which name it too long.
        parts = workbookParts(kHeadingRow + "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\" t=\"s\"><v>6</v></c></row>",
                              kStrings + "<si><t>" + QByteArray(20000000, 'x') + "</t></si>");
        const analysis::ReadSheet huge = analysis::readSheetXlsx(zipOf(parts), kQuestions, "成绩.xlsx");
        QCOMPARE(places(huge), QStringList{"2/2"});
        QCOMPARE(huge.problems.first().message, QString("姓名太长（20000000个字），最多100个字。"));

        // A zip bomb: 60 MB of spaces that pack into a few dozen kilobytes.
        parts = workbookParts(kHeadingRow, kStrings);
        parts["xl/worksheets/scores.xml"] = "<worksheet " + kMain + "><sheetData>" + QByteArray(60 << 20, ' ');
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(refusalOf(zipOf(parts)),
                 QString("无法读取“成绩.xlsx”中的“xl/worksheets/scores.xml”：它已损坏，或解压后超过 50 MB（可能是恶意"
                         "构造的“压缩炸弹”）。"));

        // A row of a million cells: refused at Excel's last column, long before the end.
        QByteArray wide = kHeadingRow + "<row r=\"2\">";
        for (int i = 0; i < 1000000; ++i) wide += "<c/>";
        wide += "</row>";
        QCOMPARE(
            refusalOf(zipOf(workbookParts(wide, kStrings))),
            QString("“成绩.xlsx”的工作表有第16384列以后的内容，超过 Excel 的上限，不予读取（可能是恶意构造的文件）。"));
        QVERIFY(refusalOf(
                    zipOf(workbookParts(kHeadingRow + "<row r=\"2\"><c r=\"ZZZZZZZZ2\"><v>1</v></c></row>", kStrings)))
                    .contains("超过 Excel 的上限"));
        QVERIFY(refusalOf(zipOf(workbookParts(kHeadingRow + "<row r=\"99999999999\"/>", kStrings)))
                    .contains("工作簿已损坏"));
        QVERIFY(refusalOf(zipOf(workbookParts(kHeadingRow + "<row r=\"1048577\"/>", kStrings)))
                    .contains("第1048577行，超过 Excel 的上限"));
        QVERIFY2(clock.elapsed() < 60000, "the hostile workbooks took too long to refuse");
    }
};

QTEST_GUILESS_MAIN(ScoreWorkbookTest)
#include "test_score_workbook.moc"
