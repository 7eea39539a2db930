// The typed export to Moodle XML and GIFT, checked the way Moodle reads what we write: its XML
// import (question/format/xml/format.php) and its GIFT import (question/format/gift/format.php).
#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cmath>

#include "app/application.h"
#include "content/content.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "demo/demo.h"
#include "exchange/key_text.h"
#include "exchange/moodle.h"
#include "exchange/moodle_types.h"
#include "exchange/question_store.h"
#include "windows/exchange/export_window.h"
#include "test_support.h"

using exchange::moodle_types::Kind;
using testing::Workspace;

namespace {

// ---- Moodle's XML import, as far as the checks need it -------------------------------------

struct MoodleAnswer {
    double fraction = 0;  // as Moodle stores it: the attribute / 100
    QString text;
    QStringList files;
};

struct MoodleQuestion {
    QString qtype, category, name, questiontext, generalfeedback, graderinfo, single, defaultgrade, tag;
    QStringList textFiles;  // files embedded in the question text
    QVector<MoodleAnswer> answers;
};

// Moodle trims every text it reads (getpath with $istext).
QString mtrim(const QString& s)
{
    static const QString phpTrimmed = QStringLiteral(" \t\n\r\v");
    qsizetype a = 0, b = s.size();
    while (a < b && (phpTrimmed.contains(s.at(a)) || s.at(a).isNull())) ++a;
    while (b > a && (phpTrimmed.contains(s.at(b - 1)) || s.at(b - 1).isNull())) --b;
    return s.mid(a, b - a);
}

// Reads the text and files of the element the reader stands on, up to its end.
void readTextField(QXmlStreamReader& r, QString* text, QStringList* files, MoodleAnswer* answer = nullptr)
{
    const QString element = r.name().toString();
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("text")) {
            *text = mtrim(r.readElementText());
        } else if (r.name() == QLatin1String("file")) {
            if (files) *files << r.attributes().value(QStringLiteral("name")).toString();
            r.skipCurrentElement();
        } else if (r.name() == QLatin1String("feedback") && answer) {
            r.skipCurrentElement();
        } else {
            r.skipCurrentElement();
        }
    }
    Q_UNUSED(element);
}

QVector<MoodleQuestion> readQuiz(const QByteArray& xml)
{
    QVector<MoodleQuestion> questions;
    QXmlStreamReader r(xml);
    QString category;
    if (!r.readNextStartElement() || r.name() != QLatin1String("quiz")) return {};
    while (r.readNextStartElement()) {
        MoodleQuestion q;
        q.qtype = r.attributes().value(QStringLiteral("type")).toString();
        q.single = QStringLiteral("true");  // Moodle's default when <single> is missing
        while (r.readNextStartElement()) {
            const QString n = r.name().toString();
            if (n == QLatin1String("category")) {
                readTextField(r, &category, nullptr);
            } else if (n == QLatin1String("name")) {
                readTextField(r, &q.name, nullptr);
            } else if (n == QLatin1String("questiontext")) {
                readTextField(r, &q.questiontext, &q.textFiles);
            } else if (n == QLatin1String("generalfeedback")) {
                readTextField(r, &q.generalfeedback, nullptr);
            } else if (n == QLatin1String("graderinfo")) {
                readTextField(r, &q.graderinfo, nullptr);
            } else if (n == QLatin1String("single")) {
                q.single = mtrim(r.readElementText());
            } else if (n == QLatin1String("defaultgrade")) {
                q.defaultgrade = mtrim(r.readElementText());
            } else if (n == QLatin1String("answer")) {
                MoodleAnswer a;
                a.fraction = r.attributes().value(QStringLiteral("fraction")).toDouble() / 100;
                readTextField(r, &a.text, &a.files, &a);
                q.answers << a;
            } else if (n == QLatin1String("tags")) {
                QString tag;
                while (r.readNextStartElement()) readTextField(r, &tag, nullptr);
                q.tag = tag;
            } else {
                r.skipCurrentElement();
            }
        }
        q.category = category;
        if (q.qtype != QLatin1String("category")) questions << q;
    }
    if (r.hasError()) qWarning() << r.errorString();
    return questions;
}

// Moodle's grade values (question_bank::fraction_options_full) and its match_grade_options('error').
bool isMoodleGrade(double fraction)
{
    static const double grades[] = {1.0,       0.9,       0.8333333, 0.8,  0.75,      0.7,       0.6666667,
                                    0.6,       0.5,       0.4,       0.3333333, 0.3,  0.25,      0.2,
                                    0.1666667, 0.1428571, 0.125,     0.1111111, 0.1,  0.05,      0.0};
    return std::any_of(std::begin(grades), std::end(grades), [&](double g) { return std::abs(g - fraction) < 0.00001; });
}

// What Moodle's multichoice, truefalse and shortanswer editing checks ask of the answers; empty when
// they pass.
QString moodleRefusal(const MoodleQuestion& q)
{
    double total = 0, best = 0;
    int full = 0;
    for (const MoodleAnswer& a : q.answers) {
        if (!isMoodleGrade(a.fraction)) return QStringLiteral("grade %1 is no Moodle grade").arg(a.fraction);
        if (a.fraction > 0) total += a.fraction;
        best = std::max(best, a.fraction);
        if (a.fraction == 1.0) ++full;
    }
    if (q.qtype == QLatin1String("multichoice")) {
        if (q.answers.size() < 2) return QStringLiteral("fewer than two choices");
        if (q.single == QLatin1String("true") && best != 1.0) return QStringLiteral("single without a 100% answer");
        if (q.single == QLatin1String("false") && std::round(total * 100) / 100 != 1.0)
            return QStringLiteral("positive grades add up to %1").arg(total);
    } else if (q.qtype == QLatin1String("truefalse")) {
        if (q.answers.size() != 2 || q.answers[0].text != QLatin1String("true") ||
            q.answers[1].text != QLatin1String("false") || full != 1)
            return QStringLiteral("not a true/false pair");
    } else if (q.qtype == QLatin1String("shortanswer")) {
        if (best != 1.0) return QStringLiteral("no answer is worth 100%");
    }
    // Every picture a text names is one of its own files (Moodle keeps files per text field).
    static const QRegularExpression plugin(QStringLiteral("@@PLUGINFILE@@/([^\"]+)\""));
    for (auto it = plugin.globalMatch(q.questiontext); it.hasNext();)
        if (!q.textFiles.contains(it.next().captured(1))) return QStringLiteral("a picture without its file");
    for (const MoodleAnswer& a : q.answers)
        for (auto it = plugin.globalMatch(a.text); it.hasNext();)
            if (!a.files.contains(it.next().captured(1))) return QStringLiteral("an answer's picture without its file");
    return QString();
}

// HTML as we write it, back to the bank's text: <br> is a line break, character references the
// characters they stand for (the HTML we write holds no other tags).
QString fromOurHtml(QString html)
{
    html.replace(QStringLiteral("<br>"), QStringLiteral("\n"));
    static const QRegularExpression numeric(QStringLiteral("&#(\\d+);"));
    QString out;
    qsizetype last = 0;
    for (auto it = numeric.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(html).mid(last, m.capturedStart() - last);
        out += QChar(char16_t(m.captured(1).toUInt()));
        last = m.capturedEnd();
    }
    out += QStringView(html).mid(last);
    out.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    out.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    out.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    out.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return out;
}

// The same document written call by call with QXmlStreamWriter (automatic formatting), from what
// a reader finds in `xml`: the export writes exactly these bytes.
QByteArray rewrittenByQt(const QByteArray& xml)
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.setAutoFormatting(true);
    QXmlStreamReader reader(xml);
    bool startPending = false;  // a start tag whose element may turn out empty
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartDocument) {
            writer.writeStartDocument();
        } else if (token == QXmlStreamReader::StartElement) {
            writer.writeStartElement(reader.name().toString());
            writer.writeAttributes(reader.attributes());
            startPending = true;
        } else if (token == QXmlStreamReader::Characters && !reader.isWhitespace()) {
            writer.writeCharacters(reader.text().toString());
            startPending = false;
        } else if (token == QXmlStreamReader::EndElement) {
            if (startPending) writer.writeCharacters(QString());  // <text></text> as written
            startPending = false;
            writer.writeEndElement();
        } else if (token == QXmlStreamReader::EndDocument) {
            writer.writeEndDocument();
        }
    }
    return bytes;
}

// ---- Moodle's GIFT import: its escape rules (escapedchar_pre/_post) and question split -------

struct GiftQuestion {
    QString name, text, answers, feedback;  // answers: the part between { } before "####", escaped
    QStringList comments;
};

QString giftPre(QString s)
{
    s.replace(QStringLiteral("\\\\"), QStringLiteral("&&092;"));
    const QStringList from{"\\:", "\\#", "\\=", "\\{", "\\}", "\\~", "\\n"};
    const QStringList to{"&&058;", "&&035;", "&&061;", "&&123;", "&&125;", "&&126;", "&&010"};
    for (int i = 0; i < from.size(); ++i) s.replace(from[i], to[i]);
    s.replace(QStringLiteral("&&092;"), QStringLiteral("\\"));
    return s;
}

QString giftPost(QString s)
{
    const QStringList from{"&&058;", "&&035;", "&&061;", "&&123;", "&&125;", "&&126;", "&&010"};
    const QStringList to{":", "#", "=", "{", "}", "~", "\n"};
    for (int i = 0; i < from.size(); ++i) s.replace(from[i], to[i]);
    return s;
}

// Questions are blocks between blank lines; comment lines are kept aside, as Moodle drops them.
QVector<GiftQuestion> readGiftFile(const QString& file)
{
    QVector<GiftQuestion> questions;
    for (const QString& block : file.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        GiftQuestion q;
        QStringList lines;
        for (const QString& line : block.split(QLatin1Char('\n'))) {
            if (line.trimmed().startsWith(QLatin1String("//"))) {
                q.comments << line.trimmed();
            } else {
                lines << line;
            }
        }
        QString text = giftPre(lines.join(QLatin1Char('\n')).trimmed());
        if (text.isEmpty() || text.startsWith(QLatin1String("$CATEGORY:"))) continue;
        if (text.startsWith(QLatin1String("::"))) {
            const qsizetype end = text.indexOf(QLatin1String("::"), 2);
            q.name = giftPost(text.mid(2, end - 2));
            text = text.mid(end + 2).trimmed();
        }
        const qsizetype open = text.indexOf(QLatin1Char('{'));
        const qsizetype close = text.indexOf(QLatin1Char('}'));
        if (open < 0 || close < open || close != text.size() - 1) return {};  // a brace escaped wrongly
        q.text = giftPost(text.left(open));
        q.answers = text.mid(open + 1, close - open - 1).trimmed();
        const qsizetype general = q.answers.lastIndexOf(QLatin1String("####"));
        if (general >= 0) {
            q.feedback = giftPost(q.answers.mid(general + 4)).trimmed();
            q.answers = q.answers.left(general).trimmed();
        }
        questions << q;
    }
    return questions;
}

// A GIFT text in [html] format back to the bank's text.
QString fromGiftHtml(const QString& text)
{
    return fromOurHtml(text.startsWith(QLatin1String("[html]")) ? text.mid(6) : text);
}

// ---- the bank ------------------------------------------------------------------------------

QByteArray png(Qt::GlobalColor color)
{
    QImage image(10, 8, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct Seeded {
    QString stemPicture, optionPicture;
};

// One subject with questions of every Moodle type and texts that try the writer.
Seeded seed(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01', '01', '选择题'), ('01', '02', '判断题'), "
                           "('01', '03', '填空题'), ('01', '04', '解答题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01', '01', '集合'), ('01', '02', '函数')"));
    Seeded s{content::storePicture(DM->db(), png(Qt::red)), content::storePicture(DM->db(), png(Qt::blue))};
    int number = 0;
    const auto add = [&](const char* txh, const char* zjh, const char* fs, const QString& tm, const QString& da) {
        ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES ('01', ?, ?, ?, '中等', ?, "
                               "?, ?)"),
                {QString::fromLatin1(txh), QStringLiteral("%1").arg(++number, 3, 10, QLatin1Char('0')),
                 QString::fromLatin1(zjh), QString::fromLatin1(fs), tm, da});
    };
    // 1: one right option, options two to a line, a picture in the stem and one in an option.
    add("01", "01", "3",
        QStringLiteral("如图 ") + content::pictureMarker(s.stemPicture) +
            QStringLiteral("，集合 \\(A=\\{x\\mid x>1\\}\\) 中的数是（　）\nA．0　B．1\n（C）2　(D) ") +
            content::pictureMarker(s.optionPicture),
        QStringLiteral("答案：C。2 > 1。"));
    // 2: two right options; 3: three; both bare keys.
    add("01", "01", "4", QStringLiteral("下列是偶数的是\nA. 2\nB. 3\nC. 4\nD. 5"), QStringLiteral("AC"));
    add("01", "01", "4", QStringLiteral("下列是正数的是\nA. 1\nB. 2\nC. 3\nD. −1"), QStringLiteral("A、B、C"));
    // 4: six options and the answer F is option F, not "false".
    add("01", "02", "2", QStringLiteral("最大的数是\nA. 1\nB. 2\nC. 3\nD. 4\nE. 5\nF. 6"), QStringLiteral("F"));
    // 5, 6: judgements, bare and with an explanation.
    add("02", "01", "2", QStringLiteral("空集是任何集合的子集。"), QStringLiteral("√"));
    add("02", "01", "2", QStringLiteral("0 是正数。"), QStringLiteral("错误。0 既不是正数也不是负数。"));
    // 7: short answers; 8: "F = ma" opens with the letter F, not a judgement.
    add("03", "02", "1", QStringLiteral("中国的首都是____。"), QStringLiteral("北京；Beijing"));
    add("03", "02", "1", QStringLiteral("牛顿第二定律写作____"), QStringLiteral("F = ma"));
    // 9: two blanks: no single short answer; 10: a key naming an option the text lacks.
    add("03", "02", "1", QStringLiteral("____ 和 ____"), QStringLiteral("1；2"));
    add("01", "02", "3", QStringLiteral("选出\nA. 1\nB. 2"), QStringLiteral("E"));
    // 11: every character kept: blanks at both ends, CRLF, a vertical tab, "$$x$$" typed as text, a
    // control character XML cannot hold, a backslash at the end.
    add("04", "02", "10",
        QStringLiteral("  第一行\r\n第二行\v第三行 $$x$$ 与 \\(\\frac{1}{2}\\)\x01 结尾\\"),
        QStringLiteral("解：1&2\\\\3&4 \t"));
    return s;
}

const MoodleQuestion* named(const QVector<MoodleQuestion>& qs, const QString& name)
{
    for (const MoodleQuestion& q : qs)
        if (q.name == name) return &q;
    return nullptr;
}

QVector<double> fractionsOf(const MoodleQuestion& q)
{
    QVector<double> f;
    for (const MoodleAnswer& a : q.answers) f << a.fraction;
    return f;
}

}  // namespace

class MoodleExportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void classifierDecidesTypesFromTextAndAnswer();
    void moodleImportReadsTypesAnswersFractionsFilesAndGrades();
    void everyCharacterOfATextIsKeptAndWhatXmlCannotHoldIsListed();
    void demoMathematicsGoesOutTypedWithItsKeys();
    void giftFollowsMoodlesEscapesAndKeepsEssayAnswersFromStudents();
    void exportWindowShowsTheCountPerMoodleTypeForTheScope();
    void commandLinePrintsTheCountPerMoodleType();

private:
    testing::ModalGuard guard_;
};

void MoodleExportTest::classifierDecidesTypesFromTextAndAnswer()
{
    using exchange::moodle_types::classify;
    const auto demoChoice = classify(QStringLiteral("方程 2x + 3 = 11 的解是（　）\nA. x = −4\nB. x = 5\nC. x = 4\nD. x = 3"),
                                     QStringLiteral("答案：C。移项得 2x = 8，……"));
    QCOMPARE(demoChoice.kind, Kind::MultiChoice);
    QCOMPARE(demoChoice.stem, QStringLiteral("方程 2x + 3 = 11 的解是（　）"));
    QCOMPARE(demoChoice.options, (QStringList{"x = −4", "x = 5", "x = 4", "x = 3"}));
    QCOMPARE(demoChoice.rightLetters, QStringLiteral("C"));
    QCOMPARE(demoChoice.fractions, (QStringList{"0", "0", "100", "0"}));
    QVERIFY(demoChoice.single);
    QCOMPARE(demoChoice.feedback, QStringLiteral("答案：C。移项得 2x = 8，……"));

    // Several options on a line, each label form, and a label inside a formula left alone.
    const auto mixed = classify(QStringLiteral("求 \\(x\\ (A) \\) 的值\nA、1  B．2\n(C) 3\t（D）4"), QStringLiteral("DB"));
    QCOMPARE(mixed.kind, Kind::MultiChoice);
    QCOMPARE(mixed.stem, QStringLiteral("求 \\(x\\ (A) \\) 的值"));
    QCOMPARE(mixed.options, (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(mixed.rightLetters, QStringLiteral("BD"));
    QCOMPARE(mixed.fractions, (QStringList{"0", "50", "0", "50"}));
    QVERIFY(!mixed.single);
    QCOMPARE(mixed.feedback, QStringLiteral("DB"));  // the reader finds the same letters in it

    QCOMPARE(exchange::moodle_types::shareOfHundred(3), QStringLiteral("33.33333"));
    QCOMPARE(exchange::moodle_types::shareOfHundred(6), QStringLiteral("16.66667"));
    QCOMPARE(exchange::moodle_types::shareOfHundred(8), QStringLiteral("12.5"));

    const auto judged = classify(QStringLiteral("x = 2 是方程 3x − 1 = 5 的解。"), QStringLiteral("正确。把 x = 2 代入，……"));
    QCOMPARE(judged.kind, Kind::TrueFalse);
    QVERIFY(judged.judgement);
    QCOMPARE(judged.feedback, QStringLiteral("正确。把 x = 2 代入，……"));
    const auto bareFalse = classify(QStringLiteral("1 > 2"), QStringLiteral("错"));
    QCOMPARE(bareFalse.kind, Kind::TrueFalse);
    QVERIFY(!bareFalse.judgement);
    QVERIFY(bareFalse.feedback.isEmpty());
    // "F" is option F of a question with six options, a judgement with four.
    QCOMPARE(classify(QStringLiteral("?\nA. 1\nB. 2\nC. 3\nD. 4\nE. 5\nF. 6"), QStringLiteral("F")).kind, Kind::MultiChoice);
    QCOMPARE(classify(QStringLiteral("?\nA. 1\nB. 2\nC. 3\nD. 4"), QStringLiteral("F")).kind, Kind::TrueFalse);

    const auto shortAnswer = classify(QStringLiteral("−3 的相反数是____"), QStringLiteral("3；+3"));
    QCOMPARE(shortAnswer.kind, Kind::ShortAnswer);
    QCOMPARE(shortAnswer.accepted, (QStringList{"3", "+3"}));
    QCOMPARE(classify(QStringLiteral("公式"), QStringLiteral("F = ma")).kind, Kind::ShortAnswer);
    // Essays: sentences, formulas, pictures, line breaks, long answers, two blanks, Moodle's wildcard,
    // blanks that the import would trim, a key naming no option of the text.
    for (const char* answer : {"相反数是 3，绝对值是 3。", "\\(2\\sqrt{2}\\)", "第一行\n第二行", "a*b", " 3", "3；",
                               "&lt;", "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一"})
        QVERIFY2(classify(QStringLiteral("填空：____"), QString::fromUtf8(answer)).kind == Kind::Essay, answer);
    QCOMPARE(classify(QStringLiteral("____，____"), QStringLiteral("1")).kind, Kind::Essay);
    QCOMPARE(classify(QStringLiteral("选\nA. 1\nB. 2"), QStringLiteral("C")).kind, Kind::Essay);
    QCOMPARE(classify(QStringLiteral("题\nA. 1"), QStringLiteral("A")).kind, Kind::ShortAnswer);  // one option: no choice
    QCOMPARE(classify(QStringLiteral("甲、乙从相距 36 千米的 A、B 两地出发"), QStringLiteral("A")).kind, Kind::ShortAnswer);
}

void MoodleExportTest::moodleImportReadsTypesAnswersFractionsFilesAndGrades()
{
    Workspace ws;
    const Seeded pictures = seed(ws);
    exchange::ExportReport report;
    const QByteArray xml = exchange::exportMoodleXml(DM->db(), {QStringLiteral("01"), {}, {}}, &report);
    QCOMPARE(report.count, 11);
    QCOMPARE(xml, rewrittenByQt(xml));  // well formed, and the bytes QXmlStreamWriter would write
    const QVector<MoodleQuestion> qs = readQuiz(xml);
    QCOMPARE(qs.size(), 11);
    for (const MoodleQuestion& q : qs) QVERIFY2(moodleRefusal(q).isEmpty(), qPrintable(q.name + ": " + moodleRefusal(q)));

    const MoodleQuestion* one = named(qs, QStringLiteral("选择题 001"));
    QVERIFY(one);
    QCOMPARE(one->qtype, QStringLiteral("multichoice"));
    QCOMPARE(one->single, QStringLiteral("true"));
    QCOMPARE(fractionsOf(*one), (QVector<double>{0, 0, 1, 0}));
    QCOMPARE(one->defaultgrade, QStringLiteral("3"));
    QCOMPARE(one->category, QStringLiteral("$course$/top/数学/选择题/集合"));
    QCOMPARE(one->tag, QStringLiteral("难度:中等"));
    QCOMPARE(one->answers[2].text, QStringLiteral("2"));
    QCOMPARE(one->answers[3].files, QStringList{pictures.optionPicture + QStringLiteral(".png")});
    QCOMPARE(one->textFiles, QStringList{pictures.stemPicture + QStringLiteral(".png")});
    QVERIFY(one->questiontext.endsWith(QStringLiteral("\\(A=\\{x\\mid x&gt;1\\}\\) 中的数是（　）")));
    QCOMPARE(one->generalfeedback, QStringLiteral("答案：C。2 &gt; 1。"));

    const MoodleQuestion* two = named(qs, QStringLiteral("选择题 002"));
    QCOMPARE(two->single, QStringLiteral("false"));
    QCOMPARE(fractionsOf(*two), (QVector<double>{0.5, 0, 0.5, 0}));
    QVERIFY(two->generalfeedback.isEmpty());  // the bare key says no more than the fractions
    const MoodleQuestion* three = named(qs, QStringLiteral("选择题 003"));
    QCOMPARE(three->single, QStringLiteral("false"));
    QCOMPARE(three->answers[0].fraction, 0.3333333);
    QCOMPARE(three->answers[3].fraction, 0.0);
    QCOMPARE(three->generalfeedback, QStringLiteral("A、B、C"));
    const MoodleQuestion* six = named(qs, QStringLiteral("选择题 004"));
    QCOMPARE(six->qtype, QStringLiteral("multichoice"));
    QCOMPARE(fractionsOf(*six), (QVector<double>{0, 0, 0, 0, 0, 1}));
    QCOMPARE(named(qs, QStringLiteral("选择题 010"))->qtype, QStringLiteral("essay"));

    const MoodleQuestion* right = named(qs, QStringLiteral("判断题 005"));
    QCOMPARE(right->qtype, QStringLiteral("truefalse"));
    QCOMPARE(fractionsOf(*right), (QVector<double>{1, 0}));
    QCOMPARE(right->generalfeedback, QStringLiteral("√"));
    const MoodleQuestion* wrong = named(qs, QStringLiteral("判断题 006"));
    QCOMPARE(fractionsOf(*wrong), (QVector<double>{0, 1}));
    QCOMPARE(wrong->generalfeedback, QStringLiteral("错误。0 既不是正数也不是负数。"));

    const MoodleQuestion* capital = named(qs, QStringLiteral("填空题 007"));
    QCOMPARE(capital->qtype, QStringLiteral("shortanswer"));
    QCOMPARE(capital->answers.size(), 2);
    QCOMPARE(capital->answers[0].text, QStringLiteral("北京"));
    QCOMPARE(capital->answers[1].text, QStringLiteral("Beijing"));
    QCOMPARE(named(qs, QStringLiteral("填空题 008"))->answers.value(0).text, QStringLiteral("F = ma"));
    QCOMPARE(named(qs, QStringLiteral("填空题 009"))->qtype, QStringLiteral("essay"));

    // An essay's answer is for graders only; nothing students see holds it.
    const MoodleQuestion* essay = named(qs, QStringLiteral("解答题 011"));
    QCOMPARE(essay->qtype, QStringLiteral("essay"));
    QVERIFY(essay->generalfeedback.isEmpty());
    QCOMPARE(fromOurHtml(essay->graderinfo), QStringLiteral("解：1&2\\\\3&4 \t"));
    QCOMPARE(essay->defaultgrade, QStringLiteral("10"));

    // The counts the export reports are the types written.
    QCOMPARE(report.types.summary(), QStringLiteral("选择题→multichoice 4 道、essay 1 道，判断题→truefalse 2 道，"
                                                    "填空题→shortanswer 2 道、essay 1 道，解答题→essay 1 道"));
}

void MoodleExportTest::everyCharacterOfATextIsKeptAndWhatXmlCannotHoldIsListed()
{
    Workspace ws;
    seed(ws);
    exchange::ExportReport report;
    const QByteArray xml = exchange::exportMoodleXml(DM->db(), {QStringLiteral("01"), QStringLiteral("04"), {}}, &report);
    QCOMPARE(report.count, 1);
    const QVector<MoodleQuestion> qs = readQuiz(xml);
    QCOMPARE(qs.size(), 1);
    // What Moodle stores after its trim reads back as the bank's text, but for the one character
    // XML 1.0 cannot hold, which is carried as a reference and named in the report.
    const QString text = qs[0].questiontext;
    QVERIFY2(text.startsWith(QStringLiteral("&#32;&#32;第一行&#13;<br>第二行&#11;第三行 &#36;&#36;x&#36;&#36; 与 ")),
             qPrintable(text));
    QCOMPARE(fromOurHtml(text), QStringLiteral("  第一行\r\n第二行\v第三行 $$x$$ 与 \\(\\frac{1}{2}\\)\x01 结尾\\"));
    QCOMPARE(report.warnings,
             QStringList{QStringLiteral("解答题 011：含有 XML 1.0 无法表示的控制字符 U+0001，已写作 &#1;")});
    QVERIFY(!xml.contains('\x01') && !xml.contains('\v'));
    QCOMPARE(xml.count("<br>"), 0);  // written as &lt;br&gt;: markup inside the XML text
    QCOMPARE(xml.count("&lt;br&gt;"), 1);  // one line break for the CRLF, no blank line after it
}

void MoodleExportTest::demoMathematicsGoesOutTypedWithItsKeys()
{
    Workspace ws({}, false);
    const QString path = ws.root() + QStringLiteral("/demo.db");
    demo::createDemoDatabase(path);
    DM->connectTo(path);
    const QString kmh = exchange::subjectCode(DM->db(), QStringLiteral("数学"));
    exchange::ExportReport report;
    const QByteArray xml = exchange::exportMoodleXml(DM->db(), {kmh, {}, {}}, &report);
    const QVector<MoodleQuestion> qs = readQuiz(xml);
    QCOMPARE(qs.size(), report.count);
    QHash<QString, QMap<QString, int>> perType;  // bank type → qtype → count
    for (const MoodleQuestion& q : qs) {
        QVERIFY2(moodleRefusal(q).isEmpty(), qPrintable(q.name));
        const QString type = q.category.section(QLatin1Char('/'), 3, 3);
        ++perType[type][q.qtype];
        const QString number = q.name.section(QLatin1Char(' '), 1);
        const QString answer = ws.scalar(
            QStringLiteral("SELECT s.da FROM stb s JOIN txb t ON t.kmh=s.kmh AND t.txh=s.txh WHERE s.kmh=? AND t.txm=? "
                           "AND s.th=?"),
            {kmh, type, number});
        const auto key = exchange::key_text::leadingKey(answer);
        if (type == QStringLiteral("选择题")) {
            QCOMPARE(q.qtype, QStringLiteral("multichoice"));
            QCOMPARE(q.single, QStringLiteral("true"));
            QCOMPARE(key.letters.size(), 1);
            const int right = key.letters.at(0).unicode() - u'A';
            for (int i = 0; i < q.answers.size(); ++i) QCOMPARE(q.answers[i].fraction, i == right ? 1.0 : 0.0);
            QCOMPARE(q.generalfeedback, answer.toHtmlEscaped());
        } else if (type == QStringLiteral("判断题")) {
            QCOMPARE(q.qtype, QStringLiteral("truefalse"));
            QCOMPARE(q.answers[0].fraction, key.value ? 1.0 : 0.0);
        } else {
            QCOMPARE(q.qtype, QStringLiteral("essay"));  // the demo's answers are explanations
            QCOMPARE(fromOurHtml(q.graderinfo), answer);
        }
    }
    const int choices = ws.scalar(QStringLiteral("SELECT COUNT(*) FROM stb s JOIN txb t ON t.kmh=s.kmh AND "
                                                 "t.txh=s.txh WHERE s.kmh=? AND t.txm='选择题'"),
                                  {kmh})
                            .toInt();
    QVERIFY(choices >= 15);
    QCOMPARE(perType.value(QStringLiteral("选择题")), (QMap<QString, int>{{QStringLiteral("multichoice"), choices}}));
    QCOMPARE(perType.value(QStringLiteral("判断题")).keys(), QStringList{QStringLiteral("truefalse")});
    QVERIFY(report.types.summary().contains(QStringLiteral("选择题→multichoice %1 道").arg(choices)));
    QVERIFY(report.warnings.isEmpty());

    // GIFT: the same types; right options "=", the others "~", judgements {T} / {F}.
    const QVector<GiftQuestion> gift =
        readGiftFile(QString::fromUtf8(exchange::exportGift(DM->db(), {kmh, {}, {}}, static_cast<int*>(nullptr))));
    QCOMPARE(gift.size(), qs.size());
    for (int i = 0; i < gift.size(); ++i) {
        if (qs[i].qtype == QLatin1String("multichoice")) {
            QCOMPARE(gift[i].answers.count(QLatin1Char('=')), 1);
            QCOMPARE(gift[i].answers.count(QLatin1Char('~')), qs[i].answers.size() - 1);
        } else if (qs[i].qtype == QLatin1String("truefalse")) {
            QCOMPARE(gift[i].answers, qs[i].answers[0].fraction == 1.0 ? QStringLiteral("T") : QStringLiteral("F"));
        } else {
            QVERIFY(gift[i].answers.isEmpty());
            QVERIFY(gift[i].feedback.isEmpty());
        }
    }

    // Both files read back by our own readers give every question of the subject exactly as the
    // bank holds it: type, chapter, text, answer, score, difficulty.
    struct Held {
        QString type, chapter, text, answer, score, difficulty;
        bool operator==(const Held&) const = default;
    };
    QVector<Held> bank;
    for (sql::Reader r(DM->db(),
                       QStringLiteral("SELECT t.txm, z.zjm, s.tm, s.da, s.fs, s.nd FROM stb s "
                                      "JOIN txb t ON t.kmh=s.kmh AND t.txh=s.txh JOIN zjb z ON z.kmh=s.kmh AND "
                                      "z.zjh=s.zjh WHERE s.kmh=? ORDER BY t.id, z.id, s.id"),
                       {kmh});
         r.next();)
        bank.append({r.text(0), r.text(1), r.text(2), r.text(3), r.text(4), r.text(5)});
    const QStringList subjectTypes = exchange::typeNames(DM->db(), kmh);
    for (const exchange::ImportedPaper& paper :
         {exchange::readMoodleXml(xml),
          exchange::readGift(QString::fromUtf8(exchange::exportGift(DM->db(), {kmh, {}, {}}, static_cast<int*>(nullptr))))}) {
        QVector<Held> back;
        for (const exchange::ImportedQuestion& q : paper.questions) {
            QVERIFY2(q.warnings.isEmpty(), qPrintable(q.warnings.join(u'；')));
            back.append({exchange::matchTypeName(q.typeName, subjectTypes), q.chapterName, q.text, q.answer, q.score,
                         q.difficulty});
        }
        QCOMPARE(back.size(), bank.size());
        for (int i = 0; i < bank.size(); ++i) {
            QCOMPARE(back[i].type, bank[i].type);
            QCOMPARE(back[i].chapter, bank[i].chapter);
            // A choice question whose options share a line comes back with one option per line
            // (the paper lays options out by their width either way); every other text is exact.
            QString text = bank[i].text;
            const auto c = exchange::moodle_types::classify(bank[i].text, bank[i].answer);
            if (c.kind == Kind::MultiChoice) {
                text = c.stem;
                for (int o = 0; o < c.options.size(); ++o)
                    text += QStringLiteral("\n%1. %2").arg(QChar(u'A' + o)).arg(c.options.at(o));
            }
            QCOMPARE(back[i].text, text);
            QCOMPARE(back[i].answer, bank[i].answer);
            QCOMPARE(back[i].score, bank[i].score);
            QCOMPARE(back[i].difficulty, bank[i].difficulty);
        }
    }
}

void MoodleExportTest::giftFollowsMoodlesEscapesAndKeepsEssayAnswersFromStudents()
{
    Workspace ws;
    seed(ws);
    exchange::ExportReport report;
    const QString file =
        QString::fromUtf8(exchange::exportGift(DM->db(), {QStringLiteral("01"), {}, {}}, &report));
    QCOMPARE(report.count, 11);
    const QVector<GiftQuestion> qs = readGiftFile(file);
    QCOMPARE(qs.size(), 11);  // no brace was lost or taken for another
    const auto find = [&](const QString& name) {
        for (const GiftQuestion& q : qs)
            if (q.name == name) return q;
        return GiftQuestion();
    };
    // The formula with escaped braces and "=" reads back whole by Moodle's rules.
    const GiftQuestion one = find(QStringLiteral("选择题 001"));
    QVERIFY2(fromGiftHtml(one.text).contains(QStringLiteral("集合 \\(A=\\{x\\mid x>1\\}\\) 中的数是（　）")),
             qPrintable(one.text));
    QVERIFY(file.contains(QStringLiteral("\\\\(A\\=\\\\\\{x\\\\mid x&gt;1\\\\\\}\\\\)")));
    QVERIFY(giftPost(one.answers).startsWith(QStringLiteral("~0\n\t~1\n\t=2\n\t~<img src=\"data:image/png;base64,")));
    QCOMPARE(one.feedback, QStringLiteral("答案：C。2 &gt; 1。"));
    QCOMPARE(find(QStringLiteral("选择题 002")).answers, QStringLiteral("~%50%2\n\t~3\n\t~%50%4\n\t~5"));
    QCOMPARE(find(QStringLiteral("选择题 003")).answers, QStringLiteral("~%33.33333%1\n\t~%33.33333%2\n\t~%33.33333%3\n\t~−1"));
    QCOMPARE(find(QStringLiteral("判断题 005")).answers, QStringLiteral("T"));
    QCOMPARE(find(QStringLiteral("判断题 006")).answers, QStringLiteral("F"));
    QCOMPARE(find(QStringLiteral("判断题 006")).feedback, QStringLiteral("错误。0 既不是正数也不是负数。"));
    QCOMPARE(find(QStringLiteral("填空题 007")).answers, QStringLiteral("=北京\n\t=Beijing"));
    QCOMPARE(find(QStringLiteral("填空题 008")).answers, QStringLiteral("=F &&061; ma"));  // "=" escaped

    // The essay: its text ends in a backslash and still closes its braces; its answer is nowhere
    // students see it, only in the comment line before it, which reads back by the same rules.
    const GiftQuestion essay = find(QStringLiteral("解答题 011"));
    QCOMPARE(fromGiftHtml(essay.text),
             QStringLiteral("  第一行\r\n第二行\v第三行 $$x$$ 与 \\(\\frac{1}{2}\\)\x01 结尾\\"));
    QVERIFY(essay.answers.isEmpty() && essay.feedback.isEmpty());
    QCOMPARE(essay.comments.size(), 2);
    QCOMPARE(essay.comments[0], QStringLiteral("// 分数:10 难度:中等"));
    QVERIFY(essay.comments[1].startsWith(QStringLiteral("// 答案:")));
    QCOMPARE(fromOurHtml(giftPost(giftPre(essay.comments[1].mid(6)))), QStringLiteral("解：1&2\\\\3&4 \t"));
    QVERIFY(file.contains(QStringLiteral("// 答案:解：1&amp;2\\\\\\\\3&amp;4&\\#32;&\\#9;\n")));
    QVERIFY(!file.contains(QStringLiteral("1&amp;2\\\\\\\\3&amp;4&\\#32;&\\#9;}")));
}

void MoodleExportTest::exportWindowShowsTheCountPerMoodleTypeForTheScope()
{
    Workspace ws;
    seed(ws);
    exchange::ExportWindow window;
    window.show();
    window.ComboBoxKm->setCurrentText(QStringLiteral("数学"));
    QCOMPARE(window.LabelTypes->text(), QStringLiteral("选择题→multichoice 4 道、essay 1 道，判断题→truefalse 2 道，"
                                                       "填空题→shortanswer 2 道、essay 1 道，解答题→essay 1 道"));
    window.ComboBoxTx->setCurrentText(QStringLiteral("选择题"));
    QCOMPARE(window.LabelTypes->text(), QStringLiteral("选择题→multichoice 4 道、essay 1 道"));
    window.ComboBoxZj->setCurrentText(QStringLiteral("函数"));
    QCOMPARE(window.LabelTypes->text(), QStringLiteral("选择题→multichoice 1 道、essay 1 道"));
    window.ComboBoxTx->setCurrentText(QStringLiteral("判断题"));
    QCOMPARE(window.LabelTypes->text(), QStringLiteral("没有可导出的试题"));
    window.ComboBoxZj->setCurrentIndex(0);
    QCOMPARE(window.LabelTypes->text(), QStringLiteral("判断题→truefalse 2 道"));

    // Writing the file reports what XML cannot hold, after the line it always showed.
    testing::BoxAnswerer boxes;
    window.ComboBoxTx->setCurrentText(QStringLiteral("解答题"));
    QCOMPARE(window.LabelTypes->text(), QStringLiteral("解答题→essay 1 道"));
    const QString path = ws.root() + QStringLiteral("/out.xml");
    window.EditFile->setText(path);
    QTest::mouseClick(window.BtnExport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("已导出 1 道试题到“%1”。\n\n注意：\n解答题 011：含有 XML 1.0 无法表示的控制字符 "
                                          "U+0001，已写作 &#1;")
                               .arg(QDir::toNativeSeparators(path)));
    QVERIFY(QFile::exists(path));
}

void MoodleExportTest::commandLinePrintsTheCountPerMoodleType()
{
    Workspace ws;
    seed(ws);
    const QString db = ws.databasePath();
    DM->disconnectFromBank();  // the command takes the bank's lock
    QProcess p;
    p.start(QStringLiteral(EXAVORO_DB_TOOL),
            {QStringLiteral("export"), QStringLiteral("--subject"), QStringLiteral("数学"), QStringLiteral("--format"),
             QStringLiteral("gift"), QStringLiteral("--type"), QStringLiteral("选择题"), QStringLiteral("-o"),
             ws.root() + QStringLiteral("/out.gift"), QStringLiteral("--file"), db});
    QVERIFY(p.waitForFinished(120000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(out.contains(QStringLiteral("已导出 5 道试题到 ")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("\n题型：选择题→multichoice 4 道、essay 1 道\n")), qPrintable(out));
    DM->connectTo(db);
}

QTEST_MAIN(MoodleExportTest)
#include "test_moodle_export.moc"
