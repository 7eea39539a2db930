// The command-line companion: creating databases, refusing to overwrite, clear errors.
#include "analysis/item_analysis.h"
#include "data/data_module.h"
#include "data/passwords.h"
#include "data/schema.h"
#include "data/sql.h"
#include "ui/forms.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

class DbToolTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void initAsksThePasswordTwiceAndCreatesOneSuperUser();
    void initRefusesMismatchedPasswordsAndExistingFiles();
    void demoHasThreeAccountsAndAComposableBank();
    void demoKeepsAnAAndABPaperWithASittingOfTheA();
    void analyseWritesTheSheetAndAnalysesAFilledOne();
    void generateIsDeterministicAndShapedForMeasurements();
    void unknownCommandsAndMissingValuesFailWithOneLine();

private:
    struct Run {
        int code;
        QString out;
        QString err;
    };
    Run tool(const QStringList& args, const QByteArray& input = {});
    QString scalar(const QString& path, const QString& statement);
    QTemporaryDir* dir_ = nullptr;
};

void DbToolTest::init()
{
    dir_ = new QTemporaryDir;
}

void DbToolTest::cleanup()
{
    delete dir_;
}

DbToolTest::Run DbToolTest::tool(const QStringList& args, const QByteArray& input)
{
    QProcess p;
    p.setWorkingDirectory(dir_->path());
    p.start(QStringLiteral(EXAVORO_DB_TOOL), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString DbToolTest::scalar(const QString& path, const QString& statement)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (!db.open()) qFatal("cannot open %s", qPrintable(path));
        value = sql::scalar(db, statement);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return value;
}

void DbToolTest::initAsksThePasswordTwiceAndCreatesOneSuperUser()
{
    const Run r = tool({"init", "--admin", "校长"}, "s3cret\ns3cret\n");
    QCOMPARE(r.code, 0);
    const QString db = dir_->filePath("Data/examdb.db");
    QVERIFY(QFile::exists(db));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM mmb"), QStringLiteral("1"));
    QCOMPARE(scalar(db, "SELECT yhm || '|' || qx || '|' || bz FROM mmb"), QStringLiteral("校长|3|超级用户"));
    const QString stored = scalar(db, "SELECT mm FROM mmb");
    QVERIFY(passwords::isHash(stored));
    QVERIFY(passwords::matches(stored, "s3cret"));
    QVERIFY(!r.out.contains("s3cret") && !r.err.contains("s3cret"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM stb"), QStringLiteral("0"));
    QCOMPARE(scalar(db, "PRAGMA user_version"), QString::number(schema::kVersion));
}

void DbToolTest::initRefusesMismatchedPasswordsAndExistingFiles()
{
    Run r = tool({"init", "--admin", "a"}, "one\ntwo\n");
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("不一致"));
    QVERIFY(!QFile::exists(dir_->filePath("Data/examdb.db")));
    QVERIFY(!QDir(dir_->filePath("Data")).entryList(QDir::Files).contains("examdb.db.part"));
    QCOMPARE(tool({"demo"}).code, 0);
    const QByteArray before = [&] {
        QFile f(dir_->filePath("Data/examdb.db"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    r = tool({"init", "--admin", "a"}, "x\nx\n");
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("已存在"));
    QCOMPARE(r.err.count('\n'), 1);  // one line
    QCOMPARE(tool({"demo"}).code, 1);
    QFile f(dir_->filePath("Data/examdb.db"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);  // untouched
}

void DbToolTest::demoHasThreeAccountsAndAComposableBank()
{
    const Run r = tool({"demo"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("admin") && r.out.contains("teacher") && r.out.contains("office"));
    const QString db = dir_->filePath("Data/examdb.db");
    QCOMPARE(scalar(db, "SELECT group_concat(qx, '') FROM (SELECT qx FROM mmb ORDER BY qx)"), QStringLiteral("123"));
    QVERIFY(scalar(db, "SELECT COUNT(*) FROM kmb").toInt() >= 3);
    QVERIFY(scalar(db, "SELECT COUNT(*) FROM stb").toInt() >= 150);
    QCOMPARE(scalar(db, "SELECT COUNT(DISTINCT nd) FROM stb"), QStringLiteral("5"));
    // Every question belongs to a type and a chapter of its own subject.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM stb WHERE NOT EXISTS (SELECT 1 FROM txb WHERE txb.kmh=stb.kmh AND "
                        "txb.txh=stb.txh) OR NOT EXISTS (SELECT 1 FROM zjb WHERE zjb.kmh=stb.kmh AND zjb.zjh=stb.zjh)"),
             QStringLiteral("0"));
    // Numbers run 001, 002, ... within each subject and type.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM stb a WHERE CAST(a.th AS INTEGER) <> (SELECT COUNT(*) FROM stb b WHERE "
                        "b.kmh=a.kmh AND b.txh=a.txh AND b.id<=a.id) OR length(a.th) < 3"),
             QStringLiteral("0"));
    // The accounts log in through the program's own data module.
    DM = new TDM;
    DM->connectTo(db);
    int admitted = 0;
    Dataset* mmb = DM->AdoMmb;
    for (mmb->first(); !mmb->eof(); mmb->next()) {
        if (mmb->str("yhm") == "admin" && passwords::matches(mmb->str("mm"), "admin123")) admitted = mmb->fieldByName("qx").asInteger();
    }
    QCOMPARE(admitted, 3);
    delete DM;
    DM = nullptr;
}

void DbToolTest::demoKeepsAnAAndABPaperWithASittingOfTheA()
{
    QCOMPARE(tool({"demo"}).code, 0);
    const QString db = dir_->filePath("Data/examdb.db");
    QCOMPARE(scalar(db, "SELECT group_concat(title || '|' || COALESCE(variant, '') || '|' || question_count, ';')"
                        " FROM (SELECT * FROM papers ORDER BY id)"),
             QStringLiteral("七年级数学单元测验（A卷）||14;七年级数学单元测验（B卷）|B|14"));
    QCOMPARE(scalar(db, "SELECT source_id FROM papers WHERE variant='B'"), scalar(db, "SELECT MIN(id) FROM papers"));
    QCOMPARE(scalar(db, "SELECT paper_id || '|' || students FROM sittings"),
             scalar(db, "SELECT MIN(id) FROM papers") + QStringLiteral("|48"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sitting_students"), QStringLiteral("48"));
    // Every question of the A paper is measured, by its id in the bank; the eight choice
    // questions' letters are kept for the distractor analysis.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM question_stats s JOIN stb q ON q.id=s.question_id"),
             QStringLiteral("14"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sitting_students WHERE length(choices)=14"), QStringLiteral("48"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM question_stats WHERE difficulty < 0.1 OR difficulty > 0.97"),
             QStringLiteral("0"));
    // Students answer as their ability makes likely: questions discriminate, none against the rest.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM question_stats WHERE discrimination < 0.2 OR item_rest < 0"),
             QStringLiteral("0"));
}

void DbToolTest::analyseWritesTheSheetAndAnalysesAFilledOne()
{
    QCOMPARE(tool({"demo"}).code, 0);
    const QString db = dir_->filePath("Data/examdb.db");
    const QString paper = scalar(db, "SELECT MIN(id) FROM papers");

    // The empty sheet: the fixed columns, then one per question with its full marks.
    Run r = tool({"analyse", "--paper", paper, "--sheet", "sheet.csv"});
    QCOMPARE(r.code, 0);
    QFile sheet(dir_->filePath("sheet.csv"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    const QString heading = QString::fromUtf8(sheet.readAll()).remove(QChar(0xFEFF)).trimmed();
    const QStringList columns = heading.split(',');
    QCOMPARE(columns.size(), 3 + 14);
    QCOMPARE(columns.mid(0, 3), (QStringList{"学号", "姓名", "班级"}));
    const QString firstMarks = scalar(db, "SELECT fs FROM paper_questions WHERE paper_id=" + paper +
                                              " ORDER BY section_position, position LIMIT 1");
    QCOMPARE(columns.at(3), QStringLiteral("1（%1分）").arg(firstMarks));
    QCOMPARE(tool({"analyse", "--paper", paper, "--sheet", "sheet.csv"}).code, 1);  // never overwrites
    QVERIFY(tool({"analyse", "--paper", paper, "--sheet", "sheet.xlsx"}).code == 0);
    QFile workbook(dir_->filePath("sheet.xlsx"));
    QVERIFY(workbook.open(QIODevice::ReadOnly));
    QCOMPARE(workbook.read(2), QByteArray("PK"));

    // The demo sitting filled in as a teacher would: letters for the choice questions, points for
    // the others.
    QStringList lines{heading};
    analysis::Sitting matrix;
    const QStringList fullMarks = scalar(db, "SELECT group_concat(fs, ';') FROM (SELECT fs FROM paper_questions"
                                             " WHERE paper_id=" + paper + " ORDER BY section_position, position)")
                                      .split(';');
    for (const QString& f : fullMarks) matrix.fullMarks << f.toDouble();
    const QStringList rows = scalar(db, "SELECT group_concat(xh || '|' || xm || '|' || bj || '|' || scores || '|' ||"
                                        " choices, '#') FROM (SELECT * FROM sitting_students ORDER BY id)")
                                 .split('#');
    QCOMPARE(rows.size(), 48);
    for (const QString& row : rows) {
        const QStringList f = row.split('|');
        const QStringList scores = f.at(3).split(';');
        QStringList cells = f.mid(0, 3);
        QVector<double> values;
        for (int q = 0; q < scores.size(); ++q) {
            const QChar letter = f.at(4).at(q);
            cells << (letter == ' ' ? scores.at(q) : QString(letter.toLower()));
            values << scores.at(q).toDouble();
        }
        matrix.scores << values;
        lines << cells.join(',');
    }
    QFile filled(dir_->filePath("filled.csv"));
    QVERIFY(filled.open(QIODevice::WriteOnly));
    filled.write(lines.join('\n').toUtf8());
    filled.close();
    r = tool({"analyse", "--paper", paper, "--scores", "filled.csv"});
    QCOMPARE(r.code, 0);
    const analysis::Analysis expected = analysis::analyse(matrix);
    QVERIFY2(r.out.contains(QStringLiteral("Cronbach α = %1\n").arg(expected.paper.alpha, 0, 'f', 3)), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("人数 48，")));
    // The first question's line: number, full marks, mean, P and D as analysed in-process.
    const analysis::ItemStats& first = expected.items.at(0);
    QVERIFY2(r.out.contains(QStringLiteral("\n1\t%1\t%2\t%3\t%4\t")
                                .arg(firstMarks, QString::number(first.mean, 'f', 2),
                                     QString::number(first.difficulty, 'f', 2),
                                     QString::number(first.discrimination, 'f', 2))),
             qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("选项（高分组/低分组）")));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sittings"), QStringLiteral("1"));  // nothing stored unasked
    // The report for the 教研组, never over an existing file unasked.
    r = tool({"analyse", "--paper", paper, "--scores", "filled.csv", "-o", "report.docx"});
    QCOMPARE(r.code, 0);
    QFile report(dir_->filePath("report.docx"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QCOMPARE(report.read(2), QByteArray("PK"));
    QCOMPARE(tool({"analyse", "--paper", paper, "--scores", "filled.csv", "-o", "report.docx"}).code, 1);

    // Bad cells: every one listed with its row and column, exit status 1, nothing stored.
    QStringList bad = lines;
    QStringList third = bad[2].split(',');
    third[3 + 3] = "x";  // question 4 of the second student: row 3, column 7
    bad[2] = third.join(',');
    QStringList fifth = bad[4].split(',');
    fifth[3] = "Z";  // a letter question 1 does not offer: row 5, column 4
    bad[4] = fifth.join(',');
    QFile badFile(dir_->filePath("bad.csv"));
    QVERIFY(badFile.open(QIODevice::WriteOnly));
    badFile.write(bad.join('\n').toUtf8());
    badFile.close();
    r = tool({"analyse", "--paper", paper, "--scores", "bad.csv", "--store"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("第3行第7列")) && r.err.contains(QStringLiteral("第5行第4列")),
             qPrintable(r.err));
    QVERIFY(!r.out.contains(QStringLiteral("Cronbach")));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sittings"), QStringLiteral("1"));

    // Kept with the paper when asked, under the given date and class.
    r = tool({"analyse", "--paper", paper, "--scores", "filled.csv", "--store", "--date", "2026-12-01", "--class",
              "七年级（3）班"});
    QCOMPARE(r.code, 0);
    QCOMPARE(scalar(db, "SELECT held_on || '|' || class_name || '|' || students FROM sittings ORDER BY id DESC LIMIT 1"),
             QStringLiteral("2026-12-01|七年级（3）班|48"));
    QCOMPARE(tool({"analyse", "--paper", "999", "--scores", "filled.csv"}).code, 1);
    QCOMPARE(tool({"analyse", "--paper", "x1", "--scores", "filled.csv"}).code, 1);
    QCOMPARE(tool({"analyse", "--paper", paper, "--scores", "filled.csv", "--date", "明天"}).code, 1);
}

void DbToolTest::generateIsDeterministicAndShapedForMeasurements()
{
    QCOMPARE(tool({"generate", "--questions", "7500", "--file", "a.db"}).code, 0);
    QCOMPARE(tool({"generate", "--questions", "7500", "--file", "b.db"}).code, 0);
    const QString a = dir_->filePath("a.db"), b = dir_->filePath("b.db");
    const QString digest = "SELECT group_concat(th || zjh || nd || length(tm) || substr(da, 1, 5), ',') FROM stb";
    QCOMPARE(scalar(a, digest), scalar(b, digest));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM stb"), QStringLiteral("7500"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM kmb"), QStringLiteral("10"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM txb"), QStringLiteral("80"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM zjb"), QStringLiteral("200"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM stb WHERE kmh='01' AND txh='01'"), QStringLiteral("5000"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM stb WHERE kmh='01' AND txh='02'"), QStringLiteral("2000"));
    QCOMPARE(scalar(a, "SELECT MIN(length(tm)) >= 100 AND MAX(length(tm)) <= 600 FROM stb"), QStringLiteral("1"));
    QCOMPARE(scalar(a, "SELECT COUNT(DISTINCT nd) FROM stb"), QStringLiteral("5"));
    QCOMPARE(tool({"generate", "--questions", "10", "--file", "a.db"}).code, 1);  // never overwrites
}

void DbToolTest::unknownCommandsAndMissingValuesFailWithOneLine()
{
    Run r = tool({"frobnicate"});
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains("未知命令"));
    r = tool({"generate", "--questions"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.startsWith("错误："));
    QCOMPARE(r.err.count('\n'), 1);
    r = tool({"init"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("--admin"));
    QCOMPARE(tool({}).code, 2);
}

QTEST_MAIN(DbToolTest)
#include "test_db_tool.moc"
