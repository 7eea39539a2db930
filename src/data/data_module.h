#pragma once
#include "data/bank_lock.h"
#include "data/dataset.h"
#include "data/engine.h"

#include <QHash>
#include <QObject>
#include <QSqlDatabase>

// The data module: owns the database connection and the shared datasets through which every
// form reads and writes the question bank.
class TDM : public QObject {
    Q_OBJECT
public:
    explicit TDM(QObject* parent = nullptr);
    ~TDM() override;

    // Name of the connection every dataset uses.
    static QString connectionName() { return QStringLiteral("ADOConExamdb"); }
    // The database file below the current working folder, made absolute.
    static QString defaultDatabasePath();

    // Opens the file (never creating it) and opens the six whole-table datasets in order. The
    // connection to the same file, still open, unchanged and idle, is kept; any other file is
    // opened afresh. Throws DataError with the data layer's text when the file is missing or
    // unreadable, when another program works on it, or when a table of this version lacks one of
    // its columns.
    void connectTo(const QString& absolutePath);
    // Opens a bank file of this version (its lock taken, its tables checked) while the login
    // window waits for the user, so that the login itself only reads the datasets. Returns false,
    // holding nothing, for a server, a file of another version, or a file that cannot be opened:
    // the login then opens it and reports what is wrong. Never throws.
    bool openBankAhead(const engine::Location& location) noexcept;
    // Connects to a bank on a PostgreSQL server (a connection URI). Throws DataError when the
    // server cannot be reached, holds no bank, or holds a bank of another version.
    // With `who`, as that user's own database role and password (the login), else as the URI's
    // user (an administrator's or a test's connection). A refused password throws DataError with
    // code 28P01.
    void connectToServer(const QString& uri, const engine::Credentials* who = nullptr);
    // Either of the two, as chosen by the settings; `who` is used on a server only.
    void connectToBank(const engine::Location& location, const engine::Credentials* who = nullptr);
    // The bank connected to (empty when none).
    engine::Location location() const;
    bool isServer() const { return !server_.isEmpty(); }
    bool isConnected() const;
    // Closes every dataset and the file, and lets other programs open the bank again.
    void disconnectFromBank();
    QSqlDatabase db() const;
    // True when the bank keeps the number of questions of each subject and type (a bank this version
    // created or upgraded); a read-only bank of an older version has its questions counted instead.
    bool keepsQuestionCounts() const { return questionCountsKept_; }

    // Runs `work` in one transaction, then re-reads the given datasets so that they show what the
    // file holds whether the work succeeded or not.
    template <typename F>
    void transaction(std::initializer_list<Dataset*> touched, F&& work);

    Dataset* ADOKmb;
    Dataset* ADOTxb;
    Dataset* ADOZjb;
    Dataset* ADOStb;
    Dataset* ADOQuerySt;
    Dataset* ADOSjb;
    Dataset* ADOQuery1;
    Dataset* AdoMmb;

private:
    BankLock lock_;  // the embedded file's "one program at a time" marks
    QString server_;  // the server's URI while connected to one
    bool questionCountsKept_ = false;
    QString fileIdentity_;  // the open file as the system knows it; empty when none is kept
    qint64 fileDataVersion_ = -1;  // the file's data version when it was opened
    bool pictureSweepKept_ = false;  // the file is marked when its pictures may be unused
    static void sweepPictures(const QSqlDatabase& conn);
    QHash<QString, QStringList> fileColumns_;  // the open file's tables and their known columns
    // True when the open connection is to this file, unchanged since it was opened and idle;
    // `sweepDue` (when given) then tells whether unused pictures are to be looked for.
    bool keepsFileConnection(const QString& absolutePath, bool* sweepDue = nullptr) const;
    static QString fileIdentityOf(const QString& path);
    // Opens the file: its lock, the connection, the check of its tables, an upgrade. With `ahead`,
    // a file of another version is left unopened (false).
    bool openFile(const QString& absolutePath, bool ahead);
    void openDatasets();
    void dropConnectionOfOtherEngine(const QString& driver);
    // True when the open server session is to `uri`, alive and idle, so logging in keeps it.
    bool keepsServerSession(const QString& uri, const QString& role) const;
    void openServerBank(const QString& uri, bool keepSession, const engine::Credentials* who);
    QString serverRole_;  // the role the server session logged in as; empty for the URI's user
    // Refuses a file of this version whose tables lack columns this program reads: SQLite would
    // read a double-quoted unknown column name as a text literal.
    static void checkColumns(const QSqlDatabase& conn, const QHash<QString, QString>& recorded, int version);
    void closeConnection();
    void refreshAll(std::initializer_list<Dataset*> touched);
    void begin();
    void commit();
    void rollback();
};

// The program's one data module (created at start, or by a test's workspace).
extern TDM* DM;

template <typename F>
void TDM::transaction(std::initializer_list<Dataset*> touched, F&& work)
{
    begin();
    try {
        work();
    } catch (...) {
        rollback();
        refreshAll(touched);
        throw;
    }
    commit();
    refreshAll(touched);
}
