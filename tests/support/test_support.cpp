#include "test_support.h"

#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "app/navigator.h"
#include "data/data_module.h"
#include "demo/demo.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/server_roles.h"
#include "data/sql.h"
#include "ui/handler.h"

#include <QAbstractButton>
#include <QProcess>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QDir>
#include <QFile>
#include <QUrl>
#include <QPointer>
#include <QTest>

namespace testing {

void closeAllWindows()
{
    // Hiding one window may delete another (a completer's popup goes with its completer).
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) windows << w;
    for (const QPointer<QWidget>& w : windows) {
        if (!w) continue;
        w->hide();
        w->deleteLater();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString testServer()
{
    return qEnvironmentVariable("EXAVORO_TEST_SERVER");
}

QString serverDatabaseUri(const QString& adminUri, const QString& database)
{
    QUrl url(adminUri);
    url.setPath(QLatin1Char('/') + database);
    return url.toString();
}

namespace {
// An administrative connection to the test server, for making and dropping databases.
QSqlDatabase adminConnection()
{
    const QString name = QStringLiteral("exavoro-test-admin");
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : engine::openServer(name, testServer());
    if (!db.isOpen()) db = engine::openServer(name, testServer());
    return db;
}
}  // namespace

QString createServerDatabase()
{
    static int counter = 0;
    const QString name = QStringLiteral("exavoro_t_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    sql::run(adminConnection(), QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
    sql::run(adminConnection(), QStringLiteral("CREATE DATABASE %1").arg(name));
    return serverDatabaseUri(testServer(), name);
}

void dropServerDatabase(const QString& uri)
{
    const QString name = QUrl(uri).path().mid(1);
    sql::run(adminConnection(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
    // Roles belong to the whole server: the bank's users and level groups go with it.
    server_roles::dropRoles(adminConnection(), server_roles::prefixFor(name));
}

Workspace::Workspace(const QVector<User>& users, bool connect)
{
    // Ending the program from a test closes the open dialogs; the test process goes on.
    ui::setTerminateHook([] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
        }
    });
    ui::resetTermination();
    app::installNavigator();
    previous_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    QVector<demo::Account> accounts;
    for (const User& u : users) accounts.append({u.name, u.password, u.level});
    QDir().mkpath(QStringLiteral("Data"));
    engine::Location location;
    if (onServer()) {
        // The same tests on a bank in a database of its own on the test server; the settings file
        // names it, as an administrator would on each computer.
        server_ = createServerDatabase();
        demo::createDatabase(server_, accounts);
        location.server = server_;
        QFile settings(QDir(dir_.path()).filePath(QStringLiteral("exavoro.ini")));
        if (settings.open(QIODevice::WriteOnly)) settings.write("[General]\nserver=" + server_.toUtf8() + "\n");
    } else {
        demo::createDatabase(databasePath(), accounts);
        location.file = databasePath();
    }
    app::setBankLocation(location);
    if (!DM) DM = new TDM(qApp);
    if (!MainF) {
        auto* main = new TMainF(nullptr);
        MainF = main;
    }
    if (connect) DM->connectToBank(location);
}

bool onServer()
{
    return !testServer().isEmpty();
}

Workspace::~Workspace()
{
    closeAllWindows();
    ui::resetTermination();
    if (DM) {
        delete DM;
        DM = nullptr;
    }
    QDir::setCurrent(previous_);
    app::setBankLocation(engine::Location{QDir(previous_).absoluteFilePath(QStringLiteral("Data/examdb.db")), QString()});
    if (!server_.isEmpty()) {
        try {
            dropServerDatabase(server_);
        } catch (const AppError& e) {
            qWarning("%s", qPrintable(e.text()));
        }
    }
}

void Workspace::connect()
{
    DM->connectToBank(app::bankLocation());
}

QString Workspace::writeFile(const QString& name, const QByteArray& bytes) const
{
    const QString path = root() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString Workspace::databasePath() const
{
    return QDir(dir_.path()).absoluteFilePath(QStringLiteral("Data/examdb.db"));
}

void Workspace::exec(const QString& statement, const QVariantList& binds)
{
    sql::run(DM->db(), statement, binds);
}

QString Workspace::scalar(const QString& statement, const QVariantList& binds)
{
    return sql::scalar(DM->db(), statement, binds);
}

int Workspace::count(const QString& table, const QString& where, const QVariantList& binds)
{
    QString statement = QStringLiteral("SELECT COUNT(*) FROM %1").arg(table);
    if (!where.isEmpty()) statement += QStringLiteral(" WHERE ") + where;
    return scalar(statement, binds).toInt();
}

void Workspace::refreshDatasets()
{
    for (Dataset* ds : {DM->ADOKmb, DM->ADOTxb, DM->ADOZjb, DM->ADOStb, DM->ADOSjb, DM->AdoMmb}) {
        if (ds->isActive()) ds->refresh();
    }
}

void insertRows(Workspace& ws, const QString& table, const QStringList& columns, const QVector<QVariantList>& rows)
{
    // A few hundred rows per statement stays within both engines' limits on bound values.
    const int perStatement = qMax(1, 2000 / qMax(1, int(columns.size())));
    const QString oneRow = QLatin1Char('(') + QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) +
                           QLatin1Char(')');
    const QString head = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(table, columns.join(QLatin1Char(',')));
    sql::transaction(DM->db(), [&] {
        for (int first = 0; first < rows.size(); first += perStatement) {
            const int n = qMin(perStatement, int(rows.size()) - first);
            QVariantList binds;
            binds.reserve(n * columns.size());
            for (int i = first; i < first + n; ++i) {
                if (rows[i].size() != columns.size()) throw AppError(QStringLiteral("fixture row of the wrong width"));
                binds += rows[i];
            }
            const QString statement = head + QStringList(n, oneRow).join(QLatin1Char(','));
            // On a file the same statement is prepared once and run again for every full batch.
            if (onServer()) {
                ws.exec(statement, binds);
            } else {
                sql::exec(DM->db(), statement, binds);
            }
        }
    });
}

QString joined(const QString& statement, const QString& separator, const QVariantList& binds)
{
    return sql::column(DM->db(), statement, binds).join(separator);
}

void failOnDelete(Workspace& ws, const QString& table, const QString& message)
{
    // Trigger bodies take no bound values: the message is a fixed text of the test.
    Q_ASSERT(!message.contains(QLatin1Char('\'')) && !message.contains(QLatin1Char('$')));
    if (!onServer()) {
        ws.exec(QStringLiteral("CREATE TRIGGER fail_delete_%1 BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, '%2'); END")
                    .arg(table, message));
        return;
    }
    ws.exec(QStringLiteral("CREATE FUNCTION fail_delete_%1() RETURNS trigger LANGUAGE plpgsql AS"
                           " $$ BEGIN RAISE EXCEPTION '%2'; END $$")
                .arg(table, message));
    ws.exec(QStringLiteral("CREATE TRIGGER fail_delete_%1 BEFORE DELETE ON %1 FOR EACH ROW EXECUTE FUNCTION fail_delete_%1()")
                .arg(table));
}

QSqlDatabase openOtherConnection(const Workspace& ws, const QString& name)
{
    if (onServer()) return engine::openServer(name, ws.serverUri());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(ws.databasePath());
    if (!db.open()) throw DataError(QStringLiteral("cannot open the bank file a second time"));
    return db;
}

void closeOtherConnection(const QString& name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        engine::closeConnection(db);
    }
    QSqlDatabase::removeDatabase(name);
}

namespace {
int answerersAlive = 0;
ModalGuard* guard = nullptr;
QPointer<QWidget> handling;  // the window an onOtherModal is working on just now
}  // namespace

BoxAnswerer::BoxAnswerer()
{
    ++answerersAlive;
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::poll);
    timer_.start();
}

BoxAnswerer::~BoxAnswerer()
{
    timer_.stop();
    --answerersAlive;
}

void BoxAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (!box->isVisible()) return;
        texts.append(box->text());
        captions.append(box->windowTitle());
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (!answers_.isEmpty()) answer = answers_.takeFirst();
        QAbstractButton* button = box->button(answer);
        if (!button) button = box->button(QMessageBox::Ok);
        if (button) {
            button->click();
        } else {
            box->close();
        }
        return;
    }
    // Other dialogs are handled from a fresh call, so that message boxes they open in turn are
    // still answered by this timer (a timer is never re-entered while its slot runs).
    if (!onOtherModal) {
        if (guard) guard->refuse(modal);
        return;
    }
    if (!otherBusy_) {
        otherBusy_ = true;
        QPointer<QWidget> target = modal;
        QTimer::singleShot(0, this, [this, target] {
            handling = target;
            const bool handled = target && onOtherModal && onOtherModal(target);
            handling = nullptr;
            otherBusy_ = false;
            // A window the test declined and left open would wait for ever.
            if (!handled && guard && target && target->isVisible() && QApplication::activeModalWidget() == target)
                guard->refuse(target);
        });
    }
}

ModalGuard::ModalGuard(int patienceMs) : patienceMs_(patienceMs)
{
    guard = this;
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &ModalGuard::poll);
    timer_.start();
}

ModalGuard::~ModalGuard()
{
    timer_.stop();
    if (guard == this) guard = nullptr;
}

ModalGuard* ModalGuard::active()
{
    return guard;
}

void ModalGuard::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        seen_ = nullptr;
        return;
    }
    if (modal != seen_) {
        seen_ = modal;
        since_.start();
    }
    // A window a handler is working on may stay open as long as the work takes.
    if (answerersAlive == 0 || (modal != handling && since_.elapsed() > patienceMs_)) refuse(modal);
}

void ModalGuard::refuse(QWidget* modal)
{
    QString text;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        text = box->text();
    } else {
        QStringList labels;
        for (const QLabel* label : modal->findChildren<QLabel*>()) {
            if (label->isVisible() && !label->text().isEmpty()) labels << label->text();
        }
        text = modal->objectName() + QLatin1Char(' ') + labels.join(QLatin1Char(' ')).left(300);
    }
    const QString what = modal->windowTitle() + QStringLiteral(": ") + text;
    unexpected << what;
    seen_ = nullptr;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    } else {
        modal->close();
    }
    QTest::qFail(qPrintable(QStringLiteral("an unexpected modal window opened and was closed: ") + what), __FILE__,
                 __LINE__);
}

QString runProgram(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        qWarning().noquote() << program << arguments << process.readAllStandardError();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool convertWithLibreOffice(const QStringList& files, const QString& format, const QString& outDir,
                            const QStringList& before)
{
    QTemporaryDir profile(QStringLiteral("/tmp/lo-XXXXXX"));
    if (!profile.isValid()) return false;
    const QStringList arguments = QStringList{QStringLiteral("-env:UserInstallation=file://") + profile.path(),
                                              QStringLiteral("--headless")} +
                                  before +
                                  QStringList{QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), outDir} +
                                  files;
    return !runProgram(QStringLiteral("soffice"), arguments, 180000).isNull();
}

}  // namespace testing
