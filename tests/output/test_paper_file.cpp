// The paper's file: its name made from the title, texts a document cannot hold, temporary files
// left by a killed write, and a disk that fills up during the write.
#include "app/application.h"
#include "data/errors.h"
#include "docx_reader.h"
#include "output/paper_document.h"
#include "test_support.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTest>
#include <sys/stat.h>

#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

using testing::Workspace;

namespace {

// Subject 01 with one type 选择题 holding one chosen question with the given texts.
PaperContent onePaper(Workspace& ws, const QString& title, const QString& text = QStringLiteral("题一"),
                      const QString& answer = QStringLiteral("答一"))
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '选择题', '1')"));
    ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                           "VALUES ('01', '01', '001', '01', '中等', '5', ?, ?, '8:00:00', '0')"),
            {text, answer});
    return collectPaper(QStringLiteral("01"), {QStringLiteral("选择题")}, title, QStringLiteral("60"),
                        QStringLiteral("5"));
}

// The written file's name, or the writer's message when it failed.
QString writtenName(const PaperContent& paper, const QString& folder)
{
    try {
        return QFileInfo(writePaperDocument(paper, folder)).fileName();
    } catch (const AppError& e) {
        return QStringLiteral("not written: ") + e.text();
    }
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

void ageFile(const QString& path, int seconds)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime));
}

}  // namespace

class PaperFileTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void longTitlesAndControlCharactersMakeSafeFileNames();
    void loneSurrogateIsLeftOutAndTheDocumentStaysReadable();
    void staleTemporaryFilesOfAKilledWriteAreRemoved();
    void fullDiskNamesTheCauseAndLeavesNothing();
    void aPaperGetsThePermissionsOfTheUsersUmask();
};

void PaperFileTest::longTitlesAndControlCharactersMakeSafeFileNames()
{
    Workspace ws;
    PaperContent paper = onePaper(ws, QStringLiteral("期中") + QChar(0x7F) + QStringLiteral("测验"));
    const QString folder = ws.root() + QStringLiteral("/out");
    QCOMPARE(writtenName(paper, folder), QStringLiteral("期中_测验.docx"));

    // Over 80 characters: the first 80 name the file.
    const QString hundred = QString(100, QChar(0x6587));  // 文 × 100
    paper.title = hundred;
    QCOMPARE(writtenName(paper, folder), hundred.left(80) + QStringLiteral(".docx"));

    // A character of two UTF-16 units cut in half at the limit is dropped, not kept as half a character.
    const QString clef = QStringLiteral("\U0001D11E");
    paper.title = QString(79, QLatin1Char('a')) + clef + QStringLiteral("bbb");
    QCOMPARE(writtenName(paper, folder), QString(79, QLatin1Char('a')) + ".docx");
    // One that ends right at the limit stays whole.
    paper.title = QString(78, QLatin1Char('c')) + clef + QStringLiteral("ddd");
    QCOMPARE(writtenName(paper, folder), QString(78, QLatin1Char('c')) + clef + ".docx");
    // A space left at the cut is not kept at the end of the name.
    paper.title = QString(79, QLatin1Char('e')) + QStringLiteral(" fff");
    QCOMPARE(writtenName(paper, folder), QString(79, QLatin1Char('e')) + ".docx");
}

void PaperFileTest::loneSurrogateIsLeftOutAndTheDocumentStaysReadable()
{
    // Given to the writer directly: the database does not carry a lone surrogate through unchanged.
    Workspace ws;
    const QString clef = QStringLiteral("\U0001D11E");
    PaperContent paper = onePaper(ws, QStringLiteral("测验"));
    paper.title.append(QChar(0xDBFF));  // also left out of the file name
    QCOMPARE(paper.sections.size(), 1);
    QCOMPARE(paper.sections.at(0).questions.size(), 1);
    paper.sections[0].questions[0] =
        PaperQuestion{QStringLiteral("前") + QChar(0xD835) + QStringLiteral("后") + clef,
                      QStringLiteral("答") + QChar(0xDC00) + QStringLiteral("案") + QChar(0xD800)};
    QCOMPARE(writtenName(paper, ws.root()), QStringLiteral("测验.docx"));
    const docxread::Package doc = docxread::read(ws.root() + QStringLiteral("/测验.docx"));
    QVERIFY2(doc.error.isEmpty(), qPrintable(doc.error));
    const QStringList tokens = doc.tokens();
    const QString all = tokens.join(QLatin1Char('|'));
    QCOMPARE(tokens.at(0), QStringLiteral("测验"));
    QVERIFY2(tokens.contains(QStringLiteral("1. 前后") + clef), qPrintable(all));
    QVERIFY2(tokens.contains(QStringLiteral("1. 答案")), qPrintable(all));
    QVERIFY2(tokens.contains(QStringLiteral("[page]测验(参考答案)")), qPrintable(all));
}

void PaperFileTest::staleTemporaryFilesOfAKilledWriteAreRemoved()
{
    Workspace ws;
    const PaperContent paper = onePaper(ws, QStringLiteral("期末"));
    const QString folder = ws.root() + QStringLiteral("/Papers");
    QVERIFY(QDir().mkpath(folder));
    // Left by writes killed two minutes and a day ago.
    for (const char* name : {".exavoro-Ab12Cd.part", ".exavoro-zz99ZZ.part"}) {
        writeFile(folder + QLatin1Char('/') + QLatin1String(name), "PK half a paper");
    }
    ageFile(folder + QStringLiteral("/.exavoro-Ab12Cd.part"), 120);
    ageFile(folder + QStringLiteral("/.exavoro-zz99ZZ.part"), 86400);
    // A write going on right now, and the user's own files that only look alike, stay.
    writeFile(folder + QStringLiteral("/.exavoro-Live42.part"), "PK being written");
    for (const char* name : {".exavoro-notes.part.txt", "old.part", ".exavoro-toolong1.part"}) {
        writeFile(folder + QLatin1Char('/') + QLatin1String(name), "mine");
        ageFile(folder + QLatin1Char('/') + QLatin1String(name), 86400);
    }

    QCOMPARE(writtenName(paper, folder), QStringLiteral("期末.docx"));
    QCOMPARE(entries(folder),
             QStringList({QStringLiteral(".exavoro-Live42.part"), QStringLiteral(".exavoro-notes.part.txt"),
                          QStringLiteral(".exavoro-toolong1.part"), QStringLiteral("old.part"),
                          QStringLiteral("期末.docx")}));
}

void PaperFileTest::fullDiskNamesTheCauseAndLeavesNothing()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a small Linux file system");
#else
    Workspace ws;
    PaperContent small = onePaper(ws, QStringLiteral("期末"));
    // A paper too large for the writer's buffer goes to the disk in one direct write.
    PaperContent large = small;
    QRandomGenerator random(7);
    QString text;
    for (int i = 0; i < 30000; ++i) text.append(QChar(char16_t(0x4E00 + random.bounded(0x5000))));
    large.sections[0].questions[0].text = text;

    // A 256 KiB file system mounted in a mount namespace of this thread's own, so that nothing outside
    // the test sees it; it needs the right to mount.
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0) QSKIP("mounting a small file system needs root");
    QCOMPARE(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const QString disk = ws.root() + QStringLiteral("/disk");
    QVERIFY(QDir().mkpath(disk));
    const QByteArray diskPath = QFile::encodeName(disk);
    QCOMPARE(mount("tmpfs", diskPath.constData(), "tmpfs", 0, "size=256k"), 0);
    struct Unmount {
        QByteArray path;
        ~Unmount() { umount2(path.constData(), MNT_DETACH); }
    } unmount{diskPath};

    for (const PaperContent& paper : {small, large}) {
        const QString whole = writePaperDocument(paper, disk);
        const qint64 size = QFileInfo(whole).size();
        QVERIFY(QFile::remove(whole));
        // Filled so that about half the document fits: the write stops part way, not at its first byte.
        const qint64 room = (size / 2 / 4096 + 1) * 4096;
        QVERIFY2(room < size, qPrintable(QString::number(size)));
        writeFile(disk + QStringLiteral("/filler"), QByteArray(256 * 1024 - room, 'x'));
        QVERIFY(QStorageInfo(disk).bytesAvailable() < size);
        try {
            writePaperDocument(paper, disk);
            QFAIL("the paper was written to a full disk");
        } catch (const AppError& e) {
            QVERIFY2(e.text().contains(QStringLiteral("磁盘空间不足")), qPrintable(e.text()));
            QVERIFY2(e.text().contains(disk), qPrintable(e.text()));
            QVERIFY2(e.text().contains(QStringLiteral("试卷没有保存")), qPrintable(e.text()));
        }
        QCOMPARE(entries(disk), QStringList({QStringLiteral("filler")}));
        QVERIFY(QFile::remove(disk + QStringLiteral("/filler")));
    }
#endif
}

void PaperFileTest::aPaperGetsThePermissionsOfTheUsersUmask()
{
    Workspace ws;
    const PaperContent paper = onePaper(ws, QStringLiteral("权限"));
    const QString folder = ws.root() + QStringLiteral("/Papers");
    auto modeOf = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    const mode_t old = ::umask(077);
    const QString privateOne = writePaperDocument(paper, folder);
    ::umask(027);
    const QString groupOne = writePaperDocument(paper, folder);
    ::umask(old);
    QCOMPARE(modeOf(privateOne), 0600);
    QCOMPARE(modeOf(groupOne), 0640);
}

QTEST_MAIN(PaperFileTest)
#include "test_paper_file.moc"
