// Formulas that attack the paper: one question's formula cannot change what another prints, a
// formula that keeps pandoc busy is stopped and named, 取消 stops pandoc, and nothing a formula
// names is fetched.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "app/application.h"
#include "ui/forms.h"
#include "content/formulas.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "docx_reader.h"
#include "output/paper_document.h"
#include "test_support.h"
#include "ui/paper_output.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

void seed(Workspace& ws, const QVector<QPair<QString, QString>>& questions)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '解答题', '1')"));
    int th = 0;
    for (const auto& [tm, da] : questions) {
        ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                               "VALUES ('01', '01', ?, '01', '中等', '5', ?, ?, '8:00:00', '0')"),
                {QString::number(++th), tm, da});
    }
}

bool print()
{
    QDir::current().mkpath(QStringLiteral("Papers"));
    return printPaper(QStringLiteral("01"), {QStringLiteral("解答题")}, QStringLiteral("测验"), QStringLiteral("90"),
                      QStringLiteral("100"));
}

// The characters of every m:t element of OMML, in order.
QString mathText(const QString& omml)
{
    static const QRegularExpression text(QStringLiteral("<m:t(?: [^>]*)?>([^<]*)</m:t>"));
    QString out;
    for (const QRegularExpressionMatch& m : text.globalMatch(omml)) out += m.captured(1);
    return out;
}

// A listening socket on loopback that records whether anyone connected.
class Listener {
public:
    Listener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
    }
    ~Listener()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }
    // True when a connection is waiting (or arrives within `ms`).
    bool connected(int ms) const
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

QString nested(int depth)
{
    QString formula = QStringLiteral("x");
    for (int i = 0; i < depth; ++i) formula = QStringLiteral("x^{%1}").arg(formula);
    return formula;
}

}  // namespace

class FormulaIsolationTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void poisonedFormulaCannotRewriteAnotherQuestion();
    void slowFormulaIsStoppedNamedAndRemembered();
    void cancelStopsPandocAtOnce();
    void formulasFetchNothing();
    void aPapersFormulasGoInOneRunEachGivenItsOwnResult();
};

void FormulaIsolationTest::poisonedFormulaCannotRewriteAnotherQuestion()
{
    Workspace ws;
    const QString poisoned = QStringLiteral(" 1+1 \\) \\par @0 \\(x=3 ");
    seed(ws, {{QStringLiteral("解方程"), QStringLiteral("\\(x=2\\)")},
              {QStringLiteral("计算\\[%1\\]").arg(poisoned), QStringLiteral("答")}});
    BoxAnswerer boxes;
    QVERIFY(!print());
    QVERIFY2(boxes.last().contains(QStringLiteral("一、第2题（题目）：1+1 \\) \\par @0 \\(x=3")),
             qPrintable(boxes.last()));
    QVERIFY(boxes.last().contains(QStringLiteral("试卷没有生成")));
    QVERIFY(QDir(QStringLiteral("Papers")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(ws.count(QStringLiteral("formula_omml")), 0);

    // Even handed to the converter directly, each formula is converted from its own source alone,
    // and the cache keeps each result under its own text.
    const formulas::Conversion both = formulas::toOmml(DM->db(), {QStringLiteral("x=2"), poisoned});
    QCOMPARE(mathText(both.omml.value(QStringLiteral("x=2"))), QStringLiteral("x=2"));
    QCOMPARE(ws.scalar("SELECT omml FROM formula_omml WHERE latex = 'x=2'"), both.omml.value(QStringLiteral("x=2")));
    QVERIFY(!mathText(both.omml.value(poisoned)).contains(QStringLiteral("x=2")));

    // Corrected, the paper prints; question 1's key says x=2.
    ws.exec(QStringLiteral("UPDATE sjb SET tm = ? WHERE th = '2'"), {QStringLiteral("计算\\[1+1\\]")});
    QVERIFY2(print(), qPrintable(boxes.last()));
    const QStringList files = QDir(QStringLiteral("Papers")).entryList({QStringLiteral("*.docx")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    const QString xml = QString::fromUtf8(
        docxread::read(QStringLiteral("Papers/") + files.first()).parts.value(QStringLiteral("word/document.xml")));
    const qsizetype key = xml.indexOf(QStringLiteral("(参考答案)"));
    QVERIFY(key > 0);
    const qsizetype math = xml.indexOf(QStringLiteral("<m:oMath"), key);
    QVERIFY(math > key);
    QCOMPARE(mathText(xml.mid(math, xml.indexOf(QStringLiteral("</m:oMath>"), math) + 10 - math)),
             QStringLiteral("x=2"));
    QVERIFY(!xml.contains(QStringLiteral("x=3")) && !xml.contains(QStringLiteral("@0")));
}

void FormulaIsolationTest::slowFormulaIsStoppedNamedAndRemembered()
{
    Workspace ws;
    seed(ws, {{QStringLiteral("好的\\(a+b\\)"), QStringLiteral("答")},
              {QStringLiteral("题"), QStringLiteral("慢的\\(%1\\)").arg(nested(25))}});
    BoxAnswerer boxes;
    // The window thread keeps turning while pandoc works.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(100);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!print());
    const qint64 first = clock.elapsed();
    QVERIFY2(first >= formulas::kFormulaTimeoutMs && first < formulas::kFormulaTimeoutMs + 8000,
             qPrintable(QString::number(first)));
    QVERIFY2(ticks >= 50, qPrintable(QString::number(ticks)));
    const QString message = boxes.last();
    QVERIFY2(message.contains(QStringLiteral("一、第2题（答案）：x^{x^{")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("10 秒")), qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("a+b")));
    // Remembered: the next attempt says the same at once, without pandoc.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    clock.restart();
    QVERIFY(!print());
    qputenv("PATH", path);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(boxes.last(), message);
    QCOMPARE(ws.count(QStringLiteral("formula_omml")), 2);
    QVERIFY(QDir(QStringLiteral("Papers")).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void FormulaIsolationTest::cancelStopsPandocAtOnce()
{
    Workspace ws;
    seed(ws, {{QStringLiteral("慢的\\(%1\\)").arg(nested(26)), QStringLiteral("答")}});
    BoxAnswerer boxes;
    bool clicked = false;
    QTimer::singleShot(1500, [&clicked] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(w);
            if (!progress || progress->objectName() != QStringLiteral("FormulaProgress") || !progress->isVisible())
                continue;
            for (QAbstractButton* button : progress->findChildren<QAbstractButton*>()) {
                if (button->text() == QStringLiteral("取消")) {
                    button->click();
                    clicked = true;
                }
            }
        }
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!print());
    QVERIFY(clicked);
    QVERIFY2(clock.elapsed() < 4500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(boxes.last().contains(QStringLiteral("已取消")), qPrintable(boxes.last()));
    // Nothing is remembered of a conversion that was stopped.
    QCOMPARE(ws.count(QStringLiteral("formula_omml")), 0);
    QVERIFY(testing::runProgram(
                QStringLiteral("pgrep"),
                {QStringLiteral("-P"), QString::number(QCoreApplication::applicationPid()), QStringLiteral("pandoc")})
                .trimmed()
                .isEmpty());
}

void FormulaIsolationTest::formulasFetchNothing()
{
    Workspace ws;
    Listener server;
    QVERIFY(server.port() > 0);
    const QString url = QStringLiteral("http://127.0.0.1:%1/x.png").arg(server.port());
    seed(ws, {{QStringLiteral("图\\(\\includegraphics{%1}\\)").arg(url), QStringLiteral("答")},
              {QStringLiteral("\\[ x \\) \\includegraphics{%1} \\]").arg(url), QStringLiteral("答")}});
    BoxAnswerer boxes;
    QVERIFY(!print());
    QVERIFY2(boxes.last().contains(QStringLiteral("一、第1题（题目）")) &&
                 boxes.last().contains(QStringLiteral("一、第2题（题目）")),
             qPrintable(boxes.last()));
    QVERIFY(boxes.last().contains(QStringLiteral("\\includegraphics")));
    // Handed to the converter directly, pandoc does not read the formula as LaTeX and fetches nothing.
    formulas::toOmml(DM->db(), {QStringLiteral("\\includegraphics{%1}").arg(url), QStringLiteral("\\url{%1}").arg(url),
                                QStringLiteral("\\input{%1}").arg(url)});
    QVERIFY(!server.connected(500));
}

void FormulaIsolationTest::aPapersFormulasGoInOneRunEachGivenItsOwnResult()
{
    // pandoc as found on PATH, through a wrapper that counts its starts.
    QTemporaryDir bin;
    const QString log = bin.filePath(QStringLiteral("starts"));
    const QString real = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
    QVERIFY(!real.isEmpty());
    {
        QFile wrapper(bin.filePath(QStringLiteral("pandoc")));
        QVERIFY(wrapper.open(QIODevice::WriteOnly));
        wrapper.write(QStringLiteral("#!/bin/sh\necho run >> '%1'\nexec '%2' \"$@\"\n").arg(log, real).toUtf8());
        wrapper.close();
        wrapper.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    auto restore = qScopeGuard([&] { qputenv("PATH", path); });
    auto starts = [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
    };

    // Thirty formulas, one of them twice, one pandoc cannot read and one that tries to close its
    // own formula and open another.
    QStringList latex;
    for (int i = 1; i <= 30; ++i) latex << QStringLiteral("x_{%1}+%1").arg(i);
    latex << QStringLiteral("x_{7}+7") << QStringLiteral("\\badcommand{") << QStringLiteral("a$ $b=99");
    formulas::convertWithPandoc({QStringLiteral("y")});  // pandoc's tree version asked once, untimed
    const int before = starts();
    const formulas::Conversion c = formulas::convertWithPandoc(latex);
    // One run for all of them (the tree is handed to pandoc's writer directly).
    QCOMPARE(starts() - before, 1);
    for (int i = 1; i <= 30; ++i) {
        QCOMPARE(mathText(c.omml.value(QStringLiteral("x_{%1}+%1").arg(i))), QStringLiteral("x%1+%1").arg(i));
    }
    QVERIFY2(c.failed.contains(QStringLiteral("\\badcommand{")), qPrintable(c.failed.join(' ')));
    QCOMPARE(c.omml.size() + c.failed.size(), 32);
    QVERIFY(c.timedOut.isEmpty());
    // Each result is what a run of its own gives.
    for (const QString& source : {QStringLiteral("x_{12}+12"), QStringLiteral("a$ $b=99")}) {
        const formulas::Conversion alone = formulas::convertWithPandoc({source});
        QCOMPARE(alone.omml.value(source), c.omml.value(source));
        QCOMPARE(alone.failed.contains(source), c.failed.contains(source));
    }
}

QTEST_MAIN(FormulaIsolationTest)
#include "test_formula_isolation.moc"
