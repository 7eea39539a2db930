#include "windows/library/library_window.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include "analysis/sitting_store.h"
#include "content/fonts.h"
#include "data/current_user.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "library/parallel_paper.h"
#include "output/paper_document.h"
#include "ui/controls.h"
#include "ui/forms.h"
#include "ui/handler.h"
#include "ui/message_box.h"
#include "ui/paper_output.h"
#include "ui/platform.h"
#include "windows/content/content_preview.h"
#include "windows/output/layout_dialog.h"

using namespace library;

namespace {

using ui::makeButton;

const char* const kHeaders[] = {"标题", "科目", "时间(分钟)", "总分", "题数", "版式", "组卷时间", "组卷人"};

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

}  // namespace

// ---- the list model -------------------------------------------------------------------------

void PaperListModel::setRows(PaperList rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int PaperListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int PaperListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(std::size(kHeaders));
}

QVariant PaperListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_.size()) return {};
    // Columns 0-3 and 5-7 are the list's text fields in order; column 4 is the question count.
    const int column = index.column();
    if (column == 4) return rows_.questionCount(index.row());
    if (column < 0 || column > PaperList::kFields) return {};
    return rows_.field(index.row(), column < 4 ? column : column - 1);
}

QVariant PaperListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= int(std::size(kHeaders))) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return QString::fromUtf8(kHeaders[section]);
}

// ---- the library window ---------------------------------------------------------------------

TSjkF::TSjkF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SjkF"));
    setWindowTitle(QStringLiteral("试卷库"));
    setFont(fonts::song(12));
    resize(900, 560);

    LabelBt = new QLabel(QStringLiteral("标题："), this);
    EditBt = new QLineEdit(this);
    EditBt->setObjectName(QStringLiteral("EditBt"));
    LabelKm = new QLabel(QStringLiteral("科目："), this);
    EditKm = new QLineEdit(this);
    EditKm->setObjectName(QStringLiteral("EditKm"));
    LabelCount = new QLabel(this);
    LabelCount->setObjectName(QStringLiteral("LabelCount"));

    model_ = new PaperListModel(this);
    TablePapers = new QTableView(this);
    TablePapers->setObjectName(QStringLiteral("TablePapers"));
    TablePapers->setModel(model_);
    TablePapers->setSelectionBehavior(QAbstractItemView::SelectRows);
    TablePapers->setSelectionMode(QAbstractItemView::SingleSelection);
    TablePapers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TablePapers->verticalHeader()->hide();
    // Fixed row heights and column widths: a long list is laid out without measuring every line.
    TablePapers->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    TablePapers->verticalHeader()->setDefaultSectionSize(22);
    const int widths[] = {220, 80, 80, 50, 50, 70, 150, 80};
    for (int c = 0; c < int(std::size(widths)); ++c) TablePapers->setColumnWidth(c, widths[c]);
    TablePapers->horizontalHeader()->setStretchLastSection(true);

    BtnCknr = makeButton(QStringLiteral("查看内容"), this, "BtnCknr");
    BtnScwd = makeButton(QStringLiteral("生成文档"), this, "BtnScwd");
    BtnScbj = makeButton(QStringLiteral("生成B卷"), this, "BtnScbj");
    BtnSc = makeButton(QStringLiteral("删除"), this, "BtnSc");
    BtnDc = makeButton(QStringLiteral("导出列表"), this, "BtnDc");
    BtnGb = makeButton(QStringLiteral("关闭"), this, "BtnGb");
    BtnBs = makeButton(QStringLiteral("版式…"), this, "BtnBs");

    auto* search = new QHBoxLayout;
    search->addWidget(LabelBt);
    search->addWidget(EditBt, 2);
    search->addSpacing(12);
    search->addWidget(LabelKm);
    search->addWidget(EditKm, 1);
    search->addSpacing(12);
    search->addWidget(LabelCount);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {BtnCknr, BtnScwd, BtnBs, BtnScbj, BtnSc, BtnDc}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(BtnGb);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addWidget(TablePapers, 1);
    layout->addLayout(buttons);

    connect(EditBt, &QLineEdit::textChanged, this, ui::guard([this] { Search(); }));
    connect(EditKm, &QLineEdit::textChanged, this, ui::guard([this] { Search(); }));
    connect(TablePapers, &QTableView::doubleClicked, this, ui::guard([this] { BtnCknrClick(); }));
    connect(BtnCknr, &QPushButton::clicked, this, ui::guard([this] { BtnCknrClick(); }));
    connect(BtnScwd, &QPushButton::clicked, this, ui::guard([this] { BtnScwdClick(); }));
    connect(BtnScbj, &QPushButton::clicked, this, ui::guard([this] { BtnScbjClick(); }));
    connect(BtnSc, &QPushButton::clicked, this, ui::guard([this] { BtnScClick(); }));
    connect(BtnDc, &QPushButton::clicked, this, ui::guard([this] { BtnDcClick(); }));
    connect(BtnGb, &QPushButton::clicked, this, &QDialog::close);
    connect(BtnBs, &QPushButton::clicked, this, ui::guard([this] {
                // The selected paper's question types are offered for answer space.
                QStringList types;
                const qint64 id = currentPaperId();
                if (id >= 0) {
                    for (const StoredSection& s : loadPaper(DM->db(), id).sections) types << s.typeName;
                }
                TBsszF(current_user::name(), types, this).exec();
            }));

    ui::run([this] { Search(); });
}

void TSjkF::Search()
{
    const qint64 current = currentPaperId();
    model_->setRows(readPaperList(DM->db(), EditBt->text(), EditKm->text()));
    LabelCount->setText(QStringLiteral("共 %1 份试卷").arg(model_->rowCount()));
    selectPaper(current);
}

void TSjkF::selectPaper(qint64 id)
{
    const PaperList& rows = model_->rows();
    int row = rows.isEmpty() ? -1 : 0;
    for (int r = 0; r < rows.size() && id >= 0; ++r) {
        if (rows.id(r) == id) {
            row = r;
            break;
        }
    }
    if (row >= 0) TablePapers->selectRow(row);
}

qint64 TSjkF::currentPaperId() const
{
    const QModelIndex index = TablePapers->currentIndex();
    if (!index.isValid() || index.row() >= model_->rows().size()) return -1;
    return model_->rows().id(index.row());
}

void TSjkF::BtnCknrClick()
{
    const qint64 id = currentPaperId();
    if (id < 0) {
        MsgBox::show(QStringLiteral("请先在列表中选择一份试卷！"), this);
        return;
    }
    const StoredPaper paper = loadPaper(DM->db(), id);
    QDialog view(this);
    view.setObjectName(QStringLiteral("NrF"));
    view.setWindowTitle(QStringLiteral("试卷内容"));
    view.resize(720, 520);
    const QString text = describe(paper);
    // The plain reading (formulas as their source) stays at hand, hidden; the paper is shown as
    // it prints, formulas typeset and pictures drawn.
    auto* memo = new QPlainTextEdit(&view);
    memo->setObjectName(QStringLiteral("MemoNr"));
    memo->setReadOnly(true);
    memo->setPlainText(text);
    memo->hide();
    auto* preview = new content::ContentPreview(&view);
    preview->setObjectName(QStringLiteral("PreviewNr"));
    preview->setDatabase(DM->db());
    preview->setContentText(text);
    preview->refreshNow();
    auto* close = makeButton(QStringLiteral("关闭"), &view, "BtnGb");
    connect(close, &QPushButton::clicked, &view, &QDialog::accept);
    auto* layout = new QVBoxLayout(&view);
    layout->addWidget(memo);
    layout->addWidget(preview);
    layout->addWidget(close, 0, Qt::AlignRight);
    view.exec();
}

QString TSjkF::writeStoredPaper(const StoredPaper& paper, QWidget* parent)
{
    // Written in the layout the user chose last (版式).
    const QStringList paths =
        writePaperDocuments(toContent(paper), QDir::current().filePath(QStringLiteral("Papers")),
                            PrintLayout::load(current_user::name()), convertFormulasShowingProgress);
    announceDocuments(paths, parent);
    return paths.first();
}

void TSjkF::BtnScwdClick()
{
    const qint64 id = currentPaperId();
    if (id < 0) {
        MsgBox::show(QStringLiteral("请先在列表中选择一份试卷！"), this);
        return;
    }
    writeStoredPaper(loadPaper(DM->db(), id), this);
}

void TSjkF::BtnScbjClick()
{
    const qint64 id = currentPaperId();
    if (id < 0) {
        MsgBox::show(QStringLiteral("请先在列表中选择一份试卷！"), this);
        return;
    }
    TBjF dialog(loadPaper(DM->db(), id), this);
    dialog.exec();
    Search();
    if (dialog.storedId() >= 0) selectPaper(dialog.storedId());
}

void TSjkF::BtnScClick()
{
    const qint64 id = currentPaperId();
    if (id < 0) {
        MsgBox::show(QStringLiteral("请先在列表中选择一份试卷！"), this);
        return;
    }
    const QString title = model_->rows().field(TablePapers->currentIndex().row(), 0);
    QString question = QStringLiteral("确实要从试卷库中删除试卷“%1”吗？").arg(title);
    // The scores of its sittings go with it, and with them its questions' measured difficulty.
    const QVector<analysis::SittingInfo> sittings = analysis::listSittings(DM->db(), id);
    if (!sittings.isEmpty()) {
        int students = 0;
        for (const analysis::SittingInfo& s : sittings) students += s.students;
        question +=
            QStringLiteral(
                "\n这份试卷已导入 %1 次考试的成绩（共 %2 人），将一并删除，各题由这些考试得到的实测难度也随之删除。")
                .arg(sittings.size())
                .arg(students);
    }
    if (!MsgBox::confirmDestructive(question, this)) return;
    deletePaper(DM->db(), id);
    model_->setRows(readPaperList(DM->db(), EditBt->text(), EditKm->text()));
    LabelCount->setText(QStringLiteral("共 %1 份试卷").arg(model_->rowCount()));
    selectPaper(-1);
}

void TSjkF::BtnDcClick()
{
    if (model_->rows().isEmpty()) {
        MsgBox::show(QStringLiteral("列表中没有试卷可以导出！"), this);
        return;
    }
    // The program's own dialog (not the desktop's), which asks before replacing a file.
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出试卷列表"), QDir::current().filePath(QStringLiteral("试卷列表.csv")),
        QStringLiteral("CSV 文件 (*.csv)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return;
    QSaveFile file(path);
    const QByteArray bytes = toCsv(model_->rows());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw AppError(QStringLiteral("无法写入文件“%1”：%2，列表没有导出。").arg(native(path), file.errorString()));
    }
    MsgBox::show(QStringLiteral("已导出 %1 份试卷到：%2").arg(model_->rowCount()).arg(native(path)), this);
}

// ---- the B paper dialog ---------------------------------------------------------------------

TBjF::TBjF(const StoredPaper& original, QWidget* parent) : QDialog(parent), original_(original)
{
    setObjectName(QStringLiteral("BjF"));
    setWindowTitle(QStringLiteral("生成B卷"));
    setFont(fonts::song(12));

    LabelYj = new QLabel(QStringLiteral("原卷：") + original.title, this);
    LabelYj->setObjectName(QStringLiteral("LabelYj"));
    SpinOverlap = new QSpinBox(this);
    SpinOverlap->setObjectName(QStringLiteral("SpinOverlap"));
    SpinOverlap->setRange(0, 100);
    SpinOverlap->setValue(0);
    SpinOverlap->setSuffix(QStringLiteral(" %"));
    CheckBoxAb = new QCheckBox(QStringLiteral("标题注明“A卷”“B卷”"), this);
    CheckBoxAb->setObjectName(QStringLiteral("CheckBoxAb"));
    EditSeed = new QLineEdit(this);
    EditSeed->setObjectName(QStringLiteral("EditSeed"));
    EditSeed->setPlaceholderText(QStringLiteral("留空则随机"));
    EditSeed->setMaxLength(10);
    EditSeed->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), EditSeed));
    BtnOk = makeButton(QStringLiteral("生成"), this, "BtnOk");
    BtnCancel = makeButton(QStringLiteral("取消"), this, "BtnCancel");

    auto* overlap = new QHBoxLayout;
    overlap->addWidget(new QLabel(QStringLiteral("与原卷相同的题目不超过"), this));
    overlap->addWidget(SpinOverlap);
    overlap->addStretch();
    auto* seed = new QHBoxLayout;
    seed->addWidget(new QLabel(QStringLiteral("随机种子："), this));
    seed->addWidget(EditSeed);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelYj);
    layout->addLayout(overlap);
    layout->addWidget(CheckBoxAb);
    layout->addLayout(seed);
    layout->addLayout(buttons);

    connect(BtnOk, &QPushButton::clicked, this, ui::guard([this] { BtnOkClick(); }));
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TBjF::BtnOkClick()
{
    bool ok = false;
    const qulonglong typed = EditSeed->text().toULongLong(&ok);
    if (!EditSeed->text().isEmpty() && (!ok || typed > 0xFFFFFFFFull)) {
        MsgBox::show(QStringLiteral("随机种子须是 0 到 4294967295 之间的整数！"), this);
        return;
    }
    const quint32 seed = EditSeed->text().isEmpty() ? QRandomGenerator::system()->generate() : quint32(typed);
    const bool mark = CheckBoxAb->isChecked();
    ParallelPaper b = composeParallel(DM->db(), original_, SpinOverlap->value(), seed, mark);
    if (!b.complete()) {
        MsgBox::show(shortageMessage(b), this);
        return;
    }
    storedId_ = storeParallel(DM->db(), b, original_, mark);
    EditSeed->setText(b.paper.seed);
    QString note =
        QStringLiteral("B卷已存入试卷库（随机种子 %1），与原卷相同的题目 %2 道").arg(b.paper.seed).arg(b.shared);
    note += QStringLiteral("。");
    if (b.mismatched > 0) {
        note += QStringLiteral("\n有 %1 道题的章节或难度与原卷不同：\n").arg(b.mismatched) +
                b.widenings.join(QLatin1Char('\n'));
    }
    MsgBox::show(note, this);
    accept();
    TSjkF::writeStoredPaper(b.paper, parentWidget());
}
