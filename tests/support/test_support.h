#pragma once
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QVariant>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>
#include <functional>
#include <memory>

class QWidget;

namespace testing {

// The tests run on a file bank, or, when EXAVORO_TEST_SERVER names a PostgreSQL server (an
// administrative URI such as postgresql://exavoro@127.0.0.1:55432/postgres), each workspace's bank
// is a database of its own on that server.
bool onServer();
QString testServer();
// A new empty database on the test server, and its URI; dropped again by dropServerDatabase().
QString createServerDatabase();
void dropServerDatabase(const QString& uri);
QString serverDatabaseUri(const QString& adminUri, const QString& database);

// A temporary working folder with Data/examdb.db, made current for the test; restores the old
// working folder when it goes away. The data module DM and a hidden main window MainF exist and
// DM is connected to the file.
class Workspace {
public:
    // users: (name, password, level) rows written to mmb with hashed passwords
    struct User {
        QString name;
        QString password;
        int level;
    };
    explicit Workspace(const QVector<User>& users = {{QStringLiteral("admin"), QStringLiteral("pw"), 3}},
                       bool connect = true);
    ~Workspace();
    QString root() const { return dir_.path(); }
    // Writes a file of these bytes in the working folder and returns its path.
    QString writeFile(const QString& name, const QByteArray& bytes) const;
    QString databasePath() const;
    // The server bank's URI when the tests run on a server, else empty.
    QString serverUri() const { return server_; }
    // Connects the data module to the workspace's bank (file or server) again.
    void connect();
    // Runs a statement on the file through the data module's connection.
    void exec(const QString& statement, const QVariantList& binds = {});
    QString scalar(const QString& statement, const QVariantList& binds = {});
    int count(const QString& table, const QString& where = QString(), const QVariantList& binds = {});
    // Re-reads every whole-table dataset (after exec() changed the file behind them).
    void refreshDatasets();

private:
    QTemporaryDir dir_;
    QString previous_;
    QString server_;
};

// Inserts `rows` (each one value per column) into `table` in one transaction, many rows per
// statement: the same fixture on a file and on a server, built in C++ rather than in one engine's SQL.
void insertRows(Workspace& ws, const QString& table, const QStringList& columns, const QVector<QVariantList>& rows);

// The first column of every row of `statement`, joined with `separator` (what SQLite's group_concat
// does, on both engines; give the statement an ORDER BY).
QString joined(const QString& statement, const QString& separator = QStringLiteral(","), const QVariantList& binds = {});

// Makes every DELETE on `table` fail with `message` (a trigger on either engine), so that a test can
// make the last step of a deletion fail.
void failOnDelete(Workspace& ws, const QString& table, const QString& message);

// A second connection to the workspace's bank, as another program on another computer would have
// (an SQLite connection to the file, or a server session); closed by closeOtherConnection().
QSqlDatabase openOtherConnection(const Workspace& ws, const QString& name);
void closeOtherConnection(const QString& name);

// Answers the message boxes that appear while a test runs, and records their texts.
// Every box found modal is answered with the next queued button, OK when the queue is empty.
class BoxAnswerer : public QObject {
    Q_OBJECT
public:
    BoxAnswerer();
    ~BoxAnswerer() override;
    void queue(QMessageBox::StandardButton button) { answers_.append(button); }
    QStringList texts;     // texts of the boxes answered, oldest first
    QStringList captions;  // their captions
    QString last() const { return texts.isEmpty() ? QString() : texts.last(); }
    void clear() { texts.clear(); captions.clear(); }
    // Also run this callback for any modal widget that is not a message box (e.g. a dialog).
    std::function<bool(QWidget*)> onOtherModal;

private:
    void poll();
    QTimer timer_;
    bool otherBusy_ = false;
    QVector<QMessageBox::StandardButton> answers_;
};

// A guard for a whole test class (keep one as a member of the test object): a modal window that
// the test does not answer fails the running test at once, naming the window's title and text, and
// is closed so that the test goes on instead of hanging until the CTest timeout. A window is
// unanswered when no BoxAnswerer is alive; when it is not a message box and the BoxAnswerer has no
// onOtherModal, or its onOtherModal returns false for it; or when it is still the open modal window
// after `patienceMs` (one that opened while onOtherModal was busy with another window) without
// onOtherModal working on it.
class ModalGuard : public QObject {
    Q_OBJECT
public:
    explicit ModalGuard(int patienceMs = 5000);
    ~ModalGuard() override;
    // The guard of the running test, if any.
    static ModalGuard* active();
    // Closes `modal` and fails the running test naming it.
    void refuse(QWidget* modal);
    QStringList unexpected;  // "title: text" of every window refused, oldest first

private:
    void poll();
    QTimer timer_;
    QPointer<QWidget> seen_;  // the modal window open at the last look, and since when
    QElapsedTimer since_;
    int patienceMs_;
};

// Runs a program to its end; its standard output, or a null text when it failed or timed out.
QString runProgram(const QString& program, const QStringList& arguments, int timeoutMs = 30000);

// Converts documents with LibreOffice (soffice --headless --convert-to) into `outDir`, using a
// private profile folder and a timeout of three minutes; false when LibreOffice failed. `before`
// goes ahead of the conversion's arguments (an import filter: "--infilter=CSV:44,34,76,1").
bool convertWithLibreOffice(const QStringList& files, const QString& format, const QString& outDir,
                            const QStringList& before = {});

// Hides and deletes every top-level window left over by a test.
void closeAllWindows();

// Finds a child by objectName and fails the test (returns nullptr) when it is missing.
template <typename T>
T* child(QObject* parent, const QString& name)
{
    return parent ? parent->findChild<T*>(name) : nullptr;
}

}  // namespace testing
