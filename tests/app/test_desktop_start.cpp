// Starting from the desktop menu: the working folder ~/Exavoro and the offer of a bank.
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/desktop_start.h"
#include "data/passwords.h"
#include "data/sql.h"
#include "test_support.h"

using testing::BoxAnswerer;

class DesktopStartTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void desktopStartIsAskedForOrNeededByAnUnwritableFolder();
    void acceptingTheOfferCreatesTheDemoBankInTheWorkFolder();
    void emptyBankAsksForTheSuperUserAndThePasswordTwice();
    void declinedOfferLeavesTheFoldersWithoutABankAndAnExistingBankIsKept();

private:
    static QStringList rows(const QString& path, const QString& statement);
    QTemporaryDir* home_ = nullptr;
    QString previous_;
};

void DesktopStartTest::initTestCase()
{
    app::setup(*qApp);
}

void DesktopStartTest::init()
{
    home_ = new QTemporaryDir;
    previous_ = QDir::currentPath();
}

void DesktopStartTest::cleanup()
{
    QDir::setCurrent(previous_);
    delete home_;
}

QStringList DesktopStartTest::rows(const QString& path, const QString& statement)
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
        db.setDatabaseName(path);
        if (db.open()) out = sql::column(db, statement);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    return out;
}

void DesktopStartTest::desktopStartIsAskedForOrNeededByAnUnwritableFolder()
{
    QVERIFY(desktop::wanted({"exavoro", "--desktop"}));
    QDir::setCurrent(home_->path());
    QVERIFY(!desktop::wanted({"exavoro"}));
    QVERIFY(desktop::workFolder().endsWith("/Exavoro"));
    QCOMPARE(QFileInfo(desktop::workFolder()).absolutePath(), QDir::homePath());
}

void DesktopStartTest::acceptingTheOfferCreatesTheDemoBankInTheWorkFolder()
{
    const QString folder = home_->filePath("Exavoro");
    BoxAnswerer boxes;
    boxes.queue(QMessageBox::Yes);
    desktop::prepare(folder);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(boxes.last().startsWith(QStringLiteral("工作文件夹“%1”中还没有题库。").arg(folder)));
    QVERIFY(boxes.last().contains("admin / admin123"));
    QCOMPARE(QDir::currentPath(), folder);
    QVERIFY(QDir(folder + "/Papers").exists());
    QCOMPARE(rows(folder + "/Data/examdb.db", "SELECT yhm FROM mmb ORDER BY id"),
             (QStringList{"admin", "teacher", "office"}));
    QVERIFY(rows(folder + "/Data/examdb.db", "SELECT COUNT(*) FROM stb").value(0).toInt() > 0);
}

void DesktopStartTest::emptyBankAsksForTheSuperUserAndThePasswordTwice()
{
    const QString folder = home_->filePath("Exavoro");
    BoxAnswerer boxes;
    boxes.queue(QMessageBox::No);
    QStringList typed = {"校长", "one", "two", "s3cret", "s3cret"};
    QStringList labels;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* input = qobject_cast<QInputDialog*>(w);
        if (!input || typed.isEmpty()) return false;
        labels << input->labelText();
        input->setTextValue(typed.takeFirst());
        input->accept();
        return true;
    };
    desktop::prepare(folder);
    QCOMPARE(labels, (QStringList{"超级用户的用户名：", "校长 的密码：", "请再次输入密码：", "校长 的密码：",
                                  "请再次输入密码："}));
    QCOMPARE(boxes.texts.last(), QStringLiteral("两次输入的密码不一致，请重新输入。"));
    const QString bank = folder + "/Data/examdb.db";
    QCOMPARE(rows(bank, "SELECT yhm || '|' || qx FROM mmb"), QStringList{"校长|3"});
    QVERIFY(passwords::matches(rows(bank, "SELECT mm FROM mmb").value(0), "s3cret"));
    QCOMPARE(rows(bank, "SELECT COUNT(*) FROM kmb"), QStringList{"0"});
}

void DesktopStartTest::declinedOfferLeavesTheFoldersWithoutABankAndAnExistingBankIsKept()
{
    const QString folder = home_->filePath("Exavoro");
    BoxAnswerer boxes;
    boxes.queue(QMessageBox::Cancel);
    desktop::prepare(folder);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(QDir(folder + "/Data").exists() && QDir(folder + "/Papers").exists());
    QVERIFY(!QFile::exists(folder + "/Data/examdb.db"));

    // With a bank present nothing is asked and nothing changes.
    QFile bank(folder + "/Data/examdb.db");
    QVERIFY(bank.open(QIODevice::WriteOnly));
    bank.write("mine");
    bank.close();
    desktop::prepare(folder);
    QCOMPARE(boxes.texts.size(), 1);
    QCOMPARE(QFileInfo(bank).size(), 4);
}

QTEST_MAIN(DesktopStartTest)
#include "test_desktop_start.moc"
