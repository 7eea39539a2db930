#include "app/backup_actions.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

#include "data/backup.h"
#include "data/current_user.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "ui/busy_progress.h"
#include "ui/forms.h"
#include "ui/handler.h"
#include "ui/message_box.h"

namespace backupui {

namespace {

QString bankPath()
{
    return DM && DM->isConnected() ? DM->db().databaseName() : TDM::defaultDatabasePath();
}

// A file dialog of the program's own kind, so that it looks the same everywhere and tests can
// fill it in by its objectName.
QString chooseFile(QWidget* parent, const char* name, const QString& caption, const QString& suggested, bool save)
{
    QFileDialog dialog(parent, caption);
    dialog.setObjectName(QString::fromLatin1(name));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({QStringLiteral("题库文件 (*.db)"), QStringLiteral("所有文件 (*)")});
    QDir().mkpath(QFileInfo(suggested).absolutePath());
    dialog.setDirectory(QFileInfo(suggested).absolutePath());
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("db"));
        // An existing file is refused with our own message rather than offered for replacing.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(QFileInfo(suggested).fileName());
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.selectedFiles().value(0);
}

// A bank on a server is backed up by the server's administrator; these commands copy files.
bool refuseOnServer(QWidget* main)
{
    if (!DM || !DM->isServer()) return false;
    MsgBox::show(QStringLiteral("当前题库在数据库服务器上，由服务器管理员用 PostgreSQL 的工具（如 pg_dump）备份和恢复；"
                                "也可以用“exavoro-db copy”把整个题库复制成题库文件。"),
                 main);
    return true;
}

}  // namespace

void makeBackup(QWidget* main)
{
    if (refuseOnServer(main)) return;
    const QString bank = bankPath();
    const QString target =
        chooseFile(main, "BackupFileDialog", QStringLiteral("备份题库"), backup::defaultBackupPath(bank), true);
    if (target.isEmpty()) return;
    {
        BusyProgress busy(main, QStringLiteral("正在备份题库"));
        backup::backupTo(bank, target, busy.callback());
    }
    MsgBox::show(QStringLiteral("题库已备份到“%1”。").arg(QDir::toNativeSeparators(target)), main);
}

Restore restoreBackup(QWidget* main)
{
    if (refuseOnServer(main)) return {};
    const QString bank = bankPath();
    const QString file = chooseFile(main, "RestoreFileDialog", QStringLiteral("恢复题库"),
                                    QDir(backup::backupFolder(bank)).filePath(QStringLiteral("examdb.db")), false);
    if (file.isEmpty()) return {};
    backup::CheckReport report;
    {
        BusyProgress busy(main, QStringLiteral("正在检查备份文件"));
        report = backup::check(file, busy.callback());
    }
    if (!report.usable()) {
        MsgBox::error(QStringLiteral("文件“%1”不能用来恢复题库，题库没有改变：\n%2")
                          .arg(QDir::toNativeSeparators(file), report.damage.join(QLatin1Char('\n'))),
                      main);
        return {};
    }
    QString question = QStringLiteral(
                           "确实要用“%1”替换当前的题库吗？\n当前的题库将保留在它的旁边"
                           "（examdb.db.before-restore-日期-时间）。恢复后需要重新登录。")
                           .arg(QDir::toNativeSeparators(file));
    if (!report.orphans.isEmpty()) {
        question += QStringLiteral("\n注意，这个文件中有孤立的记录：\n") + report.orphans.join(QLatin1Char('\n'));
    }
    if (!MsgBox::confirmDestructive(question, main)) return {};

    // The program lets go of its bank while the file is replaced, then opens whatever is there.
    DM->disconnectFromBank();
    QString kept;
    QString failure;
    try {
        BusyProgress busy(main, QStringLiteral("正在恢复题库"));
        kept = backup::restore(bank, file, busy.callback());
    } catch (const AppError& e) {
        failure = e.text();
    }
    try {
        DM->connectTo(bank);
    } catch (const AppError& e) {
        // Without a readable bank nobody may go on working in this window.
        current_user::level() = 0;
        return {Restore::BankLost, e.text()};
    }
    if (!failure.isEmpty()) {
        // Nothing changed: the user stays logged in.
        ui::reportError(failure);
        return {};
    }
    current_user::level() = 0;
    return {Restore::Restored, kept};
}

void automaticBackupAfterLogin(QWidget* main)
{
    if (!DM || !DM->isConnected() || DM->isServer()) return;
    const QString bank = bankPath();
    if (!backup::automaticBackupDue(bank)) return;
    try {
        BusyProgress busy(main, QStringLiteral("正在自动备份题库"));
        backup::automaticBackup(bank, QDate::currentDate(), busy.callback());
    } catch (const AppError& e) {
        MsgBox::error(QStringLiteral("今天的自动备份没有完成：%1\n题库本身没有受影响，可以照常使用。").arg(e.text()),
                      main);
    }
}

}  // namespace backupui
