#include "windows/exchange/export_window.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSaveFile>
#include <QVBoxLayout>

#include "ui/forms.h"
#include "ui/message_box.h"
#include "windows/bank/bank_common.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/sql.h"
#include "exchange/moodle.h"
#include "exchange/question_store.h"

namespace exchange {

namespace {

const QString kAllTypes = QStringLiteral("（全部题型）");
const QString kAllChapters = QStringLiteral("（全部章节）");

}  // namespace

ExportWindow::ExportWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DcstF"));
    setWindowTitle(QStringLiteral("导出试题"));
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    ComboBoxKm = new QComboBox(this);
    ComboBoxTx = new QComboBox(this);
    ComboBoxZj = new QComboBox(this);
    named(ComboBoxKm, "ComboBoxKm");
    named(ComboBoxTx, "ComboBoxTx");
    named(ComboBoxZj, "ComboBoxZj");
    RadioMoodle = new QRadioButton(QStringLiteral("Moodle XML（.xml）"), this);
    RadioGift = new QRadioButton(QStringLiteral("GIFT（.gift）"), this);
    named(RadioMoodle, "RadioMoodle");
    named(RadioGift, "RadioGift");
    RadioMoodle->setChecked(true);
    EditFile = new QLineEdit(this);
    named(EditFile, "EditFile");
    EditFile->setMinimumWidth(320);
    BtnFile = new QPushButton(QStringLiteral("浏览…"), this);
    BtnExport = new QPushButton(QStringLiteral("导出"), this);
    BtnClose = new QPushButton(QStringLiteral("关闭"), this);
    named(BtnFile, "BtnFile");
    named(BtnExport, "BtnExport");
    named(BtnClose, "BtnClose");
    for (QPushButton* b : {BtnFile, BtnExport, BtnClose}) b->setAutoDefault(false);
    LabelTypes = new QLabel(this);
    named(LabelTypes, "LabelTypes");
    LabelTypes->setWordWrap(true);
    LabelTypes->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("科目："), ComboBoxKm);
    form->addRow(QStringLiteral("题型："), ComboBoxTx);
    form->addRow(QStringLiteral("章节："), ComboBoxZj);
    form->addRow(QStringLiteral("Moodle 题型："), LabelTypes);
    auto* formats = new QHBoxLayout;
    formats->addWidget(RadioMoodle);
    formats->addWidget(RadioGift);
    formats->addStretch();
    form->addRow(QStringLiteral("格式："), formats);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(EditFile, 1);
    fileRow->addWidget(BtnFile);
    form->addRow(QStringLiteral("文件："), fileRow);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnExport);
    buttons->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    ComboBoxKm->addItems(sql::column(DM->db(), QStringLiteral("SELECT kmm FROM kmb ORDER BY id")));
    const int current = ComboBoxKm->findText(bank::currentSubject());
    if (current >= 0) ComboBoxKm->setCurrentIndex(current);
    subjectChanged();
    connect(ComboBoxKm, &QComboBox::currentIndexChanged, this, [this] { subjectChanged(); });
    connect(ComboBoxTx, &QComboBox::currentIndexChanged, this, [this] { scopeChanged(); });
    connect(ComboBoxZj, &QComboBox::currentIndexChanged, this, [this] { scopeChanged(); });
    connect(BtnFile, &QPushButton::clicked, this, [this] { chooseFile(); });
    connect(BtnExport, &QPushButton::clicked, this, [this] { exportQuestions(); });
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void ExportWindow::subjectChanged()
{
    const QString kmh = subjectCode(DM->db(), ComboBoxKm->currentText());
    {
        // Refilled quietly: the counts follow once, below.
        const QSignalBlocker quietTypes(ComboBoxTx);
        const QSignalBlocker quietChapters(ComboBoxZj);
        ComboBoxTx->clear();
        ComboBoxTx->addItems(QStringList{kAllTypes} + (kmh.isEmpty() ? QStringList() : typeNames(DM->db(), kmh)));
        ComboBoxZj->clear();
        ComboBoxZj->addItems(QStringList{kAllChapters} +
                             (kmh.isEmpty() ? QStringList() : chapterNames(DM->db(), kmh)));
    }
    scopeChanged();
}

bool ExportWindow::chosenScope(ExportScope* scope, QString* message) const
{
    scope->kmh = subjectCode(DM->db(), ComboBoxKm->currentText());
    if (scope->kmh.isEmpty()) {
        *message = QStringLiteral("科目不存在！");
        return false;
    }
    if (ComboBoxTx->currentIndex() > 0) {
        scope->txh =
            sql::scalar(DM->db(), QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1"),
                        {scope->kmh, ComboBoxTx->currentText()});
    }
    if (ComboBoxZj->currentIndex() > 0) {
        scope->zjh =
            sql::scalar(DM->db(), QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjm=? ORDER BY id DESC LIMIT 1"),
                        {scope->kmh, ComboBoxZj->currentText()});
    }
    return true;
}

void ExportWindow::scopeChanged()
{
    ExportScope scope;
    QString message;
    if (!chosenScope(&scope, &message)) {
        LabelTypes->setText(message);
        return;
    }
    try {
        const moodle_types::TypeCounter counts = exportTypeCounts(DM->db(), scope);
        LabelTypes->setText(counts.total() == 0 ? QStringLiteral("没有可导出的试题") : counts.summary());
    } catch (const AppError& e) {
        LabelTypes->setText(e.text());
    }
}

void ExportWindow::chooseFile()
{
    const bool moodle = RadioMoodle->isChecked();
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出到文件"),
        ComboBoxKm->currentText() + (moodle ? QStringLiteral(".xml") : QStringLiteral(".gift")),
        moodle ? QStringLiteral("Moodle XML (*.xml)") : QStringLiteral("GIFT (*.gift *.txt)"), nullptr,
        QFileDialog::DontConfirmOverwrite);  // exportQuestions() asks
    if (!path.isEmpty()) EditFile->setText(QDir::toNativeSeparators(path));
}

void ExportWindow::exportQuestions()
{
    const QString path = QDir::fromNativeSeparators(EditFile->text().trimmed());
    if (path.isEmpty()) {
        MsgBox::show(QStringLiteral("请先选择导出的文件！"), this);
        return;
    }
    ExportScope scope;
    QString message;
    if (!chosenScope(&scope, &message)) {
        MsgBox::show(message, this);
        return;
    }
    ExportReport report;
    QByteArray bytes;
    try {
        bytes = RadioMoodle->isChecked() ? exportMoodleXml(DM->db(), scope, &report)
                                         : exportGift(DM->db(), scope, &report);
    } catch (const AppError& e) {
        MsgBox::show(e.text(), this);
        return;
    }
    const int count = report.count;
    if (count == 0) {
        MsgBox::show(QStringLiteral("没有可导出的试题！"), this);
        return;
    }
    if (QFileInfo::exists(path) &&
        !MsgBox::confirmDestructive(QStringLiteral("文件“%1”已存在，是否覆盖？").arg(QFileInfo(path).fileName()), this))
        return;
    QSaveFile file(path);  // the old file stays whole until the new one is complete
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        MsgBox::show(QStringLiteral("无法写入文件“%1”：%2").arg(path, file.errorString()), this);
        return;
    }
    QString done = QStringLiteral("已导出 %1 道试题到“%2”。").arg(count).arg(QDir::toNativeSeparators(path));
    // What could not go out as it stands in the bank is named, not passed over.
    if (!report.warnings.isEmpty())
        done += QStringLiteral("\n\n注意：\n") + report.warnings.join(QLatin1Char('\n'));
    MsgBox::show(done, this);
}

void openExportWindow(QWidget* parent)
{
    ExportWindow window(parent);
    window.exec();
}

}  // namespace exchange
