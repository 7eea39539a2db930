#include "windows/exchange/import_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "content/content.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/question_fields.h"
#include "data/sql.h"
#include "exchange/knowledge_tags.h"
#include "exchange/moodle.h"
#include "exchange/question_store.h"
#include "ui/controls.h"
#include "ui/forms.h"
#include "ui/message_box.h"
#include "ui/points_completer.h"
#include "windows/bank/bank_common.h"

namespace exchange {

namespace {

using ui::makeButton;

QString oneLine(const QString& text, int length)
{
    QString line = content::shortForm(text).simplified();
    if (line.size() > length) line = line.left(length) + QStringLiteral("…");
    return line;
}

const QString kChapterNotInFile = QStringLiteral("章节未在文件中给出");
const QColor kGuessedChapter(255, 214, 153);  // a warning orange behind the chapter cell

// A question or answer cell: it holds the whole text as stored (what the editor opens), and shows
// one shortened line of it.
class TextItem : public QTableWidgetItem {
public:
    explicit TextItem(int length) : length_(length) {}
    QVariant data(int role) const override
    {
        if (role == Qt::DisplayRole) return oneLine(QTableWidgetItem::data(Qt::EditRole).toString(), length_);
        return QTableWidgetItem::data(role);
    }

private:
    int length_;
};

// Question and answer texts run over several lines: they are edited in a plain text box, where
// Enter starts a new line and leaving the box keeps the text.
class TextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* editor = new QPlainTextEdit(parent);
        editor->setObjectName(QStringLiteral("MemoCell"));
        editor->setTabChangesFocus(true);
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        static_cast<QPlainTextEdit*>(editor)->setPlainText(index.data(Qt::EditRole).toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QPlainTextEdit*>(editor)->toPlainText(), Qt::EditRole);
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        // Taller than the row, so that a few lines of the text can be seen while editing.
        QRect area = option.rect;
        area.setHeight(std::max(area.height() * 4, 96));
        editor->setGeometry(area);
    }
};

}  // namespace

ImportWindow::ImportWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DrstF"));
    setWindowTitle(QStringLiteral("导入试题"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    resize(980, 640);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("文件："), this));
    EditFile = new QLineEdit(this);
    EditFile->setObjectName(QStringLiteral("EditFile"));
    EditFile->setPlaceholderText(
        QStringLiteral("Word 文档（.docx、.doc）、WPS（.wps）、.odt、.md、.txt、Moodle XML（.xml）或 GIFT（.gift）"));
    top->addWidget(EditFile, 1);
    BtnFile = makeButton(QStringLiteral("浏览…"), this, "BtnFile");
    BtnRead = makeButton(QStringLiteral("读取"), this, "BtnRead");
    top->addWidget(BtnFile);
    top->addWidget(BtnRead);
    // Plain text may be in any of the encodings Chinese tools save; the one used is shown and
    // another can be chosen, which reads the file again.
    top->addWidget(new QLabel(QStringLiteral("编码："), this));
    ComboBoxBm = new QComboBox(this);
    ComboBoxBm->setObjectName(QStringLiteral("ComboBoxBm"));
    for (TextEncoding encoding : choosableEncodings())
        ComboBoxBm->addItem(encodingName(encoding), static_cast<int>(encoding));
    top->addWidget(ComboBoxBm);
    LabelBm = new QLabel(this);
    LabelBm->setObjectName(QStringLiteral("LabelBm"));
    top->addWidget(LabelBm);
    top->addSpacing(16);
    top->addWidget(new QLabel(QStringLiteral("导入到科目："), this));
    ComboBoxKm = new QComboBox(this);
    ComboBoxKm->setObjectName(QStringLiteral("ComboBoxKm"));
    ComboBoxKm->setMinimumWidth(140);
    top->addWidget(ComboBoxKm);

    LabelSummary = new QLabel(QStringLiteral("请选择要导入的文件。"), this);
    LabelSummary->setObjectName(QStringLiteral("LabelSummary"));
    LabelSummary->setWordWrap(true);

    LabelKinds = new QLabel(QStringLiteral("Moodle/GIFT 题目的类型各导入为科目中的哪个题型："), this);
    LabelKinds->setObjectName(QStringLiteral("LabelKinds"));
    TableKinds = new QTableWidget(0, 3, this);
    TableKinds->setObjectName(QStringLiteral("TableKinds"));
    TableKinds->setHorizontalHeaderLabels(
        {QStringLiteral("文件中的题目类型"), QStringLiteral("题数"), QStringLiteral("导入为题型")});
    TableKinds->verticalHeader()->setVisible(false);
    TableKinds->horizontalHeader()->setStretchLastSection(true);
    TableKinds->setColumnWidth(0, 160);
    TableKinds->setColumnWidth(1, 50);
    TableKinds->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableKinds->setMaximumHeight(130);
    LabelKinds->hide();
    TableKinds->hide();

    TableSt = new QTableWidget(0, ColCount, this);
    TableSt->setObjectName(QStringLiteral("TableSt"));
    TableSt->setHorizontalHeaderLabels({QStringLiteral("题号"), QStringLiteral("题型"), QStringLiteral("章节"),
                                        QStringLiteral("难度"), QStringLiteral("分数"), QStringLiteral("题目"),
                                        QStringLiteral("答案"), QStringLiteral("提示"), QStringLiteral("查重"),
                                        QStringLiteral("知识点")});
    TableSt->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableSt->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    TableSt->verticalHeader()->setVisible(false);
    TableSt->horizontalHeader()->setStretchLastSection(true);
    for (const auto& [column, width] : {std::pair{ColNumber, 44},
                                        {ColType, 90},
                                        {ColChapter, 110},
                                        {ColDifficulty, 50},
                                        {ColScore, 44},
                                        {ColText, 300},
                                        {ColAnswer, 110},
                                        {ColWarnings, 220},
                                        {ColDuplicate, 120}})
        TableSt->setColumnWidth(column, width);
    TableSt->setItemDelegateForColumn(ColText, new TextDelegate(TableSt));
    TableSt->setItemDelegateForColumn(ColAnswer, new TextDelegate(TableSt));

    auto* edit = new QGroupBox(QStringLiteral("设置所选行（空白的项不变）"), this);
    auto* editRow = new QHBoxLayout(edit);
    ComboBoxTx = new QComboBox(edit);
    ComboBoxTx->setObjectName(QStringLiteral("ComboBoxTx"));
    ComboBoxTx->setEditable(true);
    ComboBoxTx->setMinimumWidth(110);
    ComboBoxZj = new QComboBox(edit);
    ComboBoxZj->setObjectName(QStringLiteral("ComboBoxZj"));
    ComboBoxZj->setMinimumWidth(150);
    ComboBoxNd = new QComboBox(edit);
    ComboBoxNd->setObjectName(QStringLiteral("ComboBoxNd"));
    ComboBoxNd->setEditable(true);
    ComboBoxNd->addItems(QStringList{QString()} + fields::difficulties());
    EditFs = new QLineEdit(edit);
    EditFs->setObjectName(QStringLiteral("EditFs"));
    EditFs->setMaximumWidth(50);
    EditFs->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\d{0,%1}").arg(fields::kScoreDigits)), EditFs));
    BtnApply = makeButton(QStringLiteral("应用到所选行"), edit, "BtnApply");
    BtnSection = makeButton(QStringLiteral("选中本节"), edit, "BtnSection");
    editRow->addWidget(new QLabel(QStringLiteral("题型："), edit));
    editRow->addWidget(ComboBoxTx);
    editRow->addWidget(new QLabel(QStringLiteral("章节："), edit));
    editRow->addWidget(ComboBoxZj);
    editRow->addWidget(new QLabel(QStringLiteral("难度："), edit));
    editRow->addWidget(ComboBoxNd);
    editRow->addWidget(new QLabel(QStringLiteral("分数："), edit));
    editRow->addWidget(EditFs);
    editRow->addWidget(BtnApply);
    editRow->addStretch();
    editRow->addWidget(BtnSection);

    ListLoose = new QListWidget(this);
    ListLoose->setObjectName(QStringLiteral("ListLoose"));
    ListLoose->setMaximumHeight(110);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setValue(0);
    BtnImport = makeButton(QStringLiteral("导入"), this, "BtnImport");
    BtnCancel = makeButton(QStringLiteral("取消"), this, "BtnCancel");
    BtnImport->setEnabled(false);
    CheckTgcf = new QCheckBox(QStringLiteral("跳过疑似重复"), this);
    CheckTgcf->setObjectName(QStringLiteral("CheckTgcf"));
    CheckTgcf->setToolTip(QStringLiteral("不导入“查重”栏中标出的试题（与题库中或本文件中前面的试题相似）"));
    EditZsdDr = new QLineEdit(this);
    EditZsdDr->setObjectName(QStringLiteral("EditZsdDr"));
    EditZsdDr->setPlaceholderText(QStringLiteral("加到每道导入的试题，多个用“，”隔开"));
    EditZsdDr->setToolTip(QStringLiteral("导入的每道试题都关联这些知识点（另加文件中给出的）；没有的知识点导入时新建"));
    EditZsdDr->setMinimumWidth(200);
    auto* labelZsd = new QLabel(QStringLiteral("知识点："), this);
    labelZsd->setObjectName(QStringLiteral("LabelZsdDr"));
    labelZsd->setBuddy(EditZsdDr);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ProgressBar1, 1);
    bottom->addWidget(labelZsd);
    bottom->addWidget(EditZsdDr);
    bottom->addWidget(CheckTgcf);
    bottom->addWidget(BtnImport);
    bottom->addWidget(BtnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(LabelSummary);
    layout->addWidget(LabelKinds);
    layout->addWidget(TableKinds);
    layout->addWidget(TableSt, 1);
    layout->addWidget(edit);
    layout->addWidget(new QLabel(QStringLiteral("未归入试题的段落（不会导入）："), this));
    layout->addWidget(ListLoose);
    layout->addLayout(bottom);

    const QStringList subjects = sql::column(DM->db(), QStringLiteral("SELECT kmm FROM kmb ORDER BY id"));
    ComboBoxKm->addItems(subjects);
    const int current = ComboBoxKm->findText(bank::currentSubject());
    if (current >= 0) ComboBoxKm->setCurrentIndex(current);

    connect(BtnFile, &QPushButton::clicked, this, [this] { chooseFile(); });
    connect(BtnRead, &QPushButton::clicked, this, [this] { readFile(); });
    connect(EditFile, &QLineEdit::returnPressed, this, [this] { readFile(); });
    connect(ComboBoxKm, &QComboBox::currentIndexChanged, this, [this] { subjectChanged(); });
    connect(ComboBoxBm, &QComboBox::activated, this, [this] {
        if (!readPath_.isEmpty() && isPlainTextFile(readPath_)) readFile();
    });
    connect(BtnApply, &QPushButton::clicked, this, [this] { applyToSelection(); });
    connect(BtnSection, &QPushButton::clicked, this, [this] { selectSection(); });
    connect(BtnImport, &QPushButton::clicked, this, [this] { importAll(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { cancel(); });
    connect(TableSt, &QTableWidget::cellChanged, this, [this](int row, int column) { cellEdited(row, column); });
    subjectChanged();
}

ImportWindow::~ImportWindow()
{
    // The completer goes before the field: its popup lives as the field's child.
    delete EditZsdDr->completer();
}

void ImportWindow::attachCompleter()
{
    if (EditZsdDr->completer()) return;
    auto* completer = new ui::PointsCompleter(this);
    completer->setPaths(pointPaths_);
    EditZsdDr->setCompleter(completer);
}

void ImportWindow::showEvent(QShowEvent* event)
{
    attachCompleter();
    QDialog::showEvent(event);
}

void ImportWindow::hideEvent(QHideEvent* event)
{
    delete EditZsdDr->completer();
    QDialog::hideEvent(event);
}

void ImportWindow::fillPointPaths()
{
    pointPaths_.clear();
    if (!kmh_.isEmpty()) {
        QSqlDatabase db = DM->db();
        const QHash<qint64, QString> paths = knowledge::paths(db, kmh_);
        for (const knowledge::Point& p : knowledge::points(db, kmh_)) pointPaths_ << paths.value(p.id);
    }
    if (auto* completer = static_cast<ui::PointsCompleter*>(EditZsdDr->completer())) completer->setPaths(pointPaths_);
}

void ImportWindow::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("选择要导入的文件"), QString(),
        QStringLiteral(
            "文档 (*.docx *.doc *.wps *.odt *.md *.txt *.xml *.gift);;Word 文档 (*.docx *.doc);;WPS 文档 (*.wps);;"
            "纯文本 (*.txt *.md);;Moodle XML (*.xml);;GIFT (*.gift);;所有文件 (*)"));
    if (path.isEmpty()) return;
    EditFile->setText(QDir::toNativeSeparators(path));
    readFile();
}

void ImportWindow::readFile()
{
    const QString path = QDir::fromNativeSeparators(EditFile->text().trimmed());
    if (path.isEmpty()) {
        MsgBox::show(QStringLiteral("请先选择要导入的文件！"), this);
        return;
    }
    ImportedPaper read;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        read = readDocument(path, static_cast<TextEncoding>(ComboBoxBm->currentData().toInt()));
        QApplication::restoreOverrideCursor();
    } catch (const AppError& e) {
        QApplication::restoreOverrideCursor();
        MsgBox::show(e.text(), this);
        return;
    }
    paper_ = std::move(read);
    readPath_ = path;
    LabelBm->setText(paper_.encoding.isEmpty() ? QString() : QStringLiteral("已按 %1 读取").arg(paper_.encoding));
    sourceTypes_.clear();
    sourceChapters_.clear();
    for (const ImportedQuestion& q : paper_.questions) {
        sourceTypes_ << q.typeName;
        sourceChapters_ << q.chapterName.trimmed();
    }
    kindTypes_.clear();
    chapterChosen_ = QVector<bool>(paper_.questions.size(), false);
    chapterGuessed_ = QVector<bool>(paper_.questions.size(), false);
    subjectChanged();  // matches types and chapters to the subject and fills the table
    if (paper_.questions.isEmpty()) {
        MsgBox::show(QStringLiteral("文件“%1”中没有找到可识别的试题。试题要以题号开头，如“1.”“1、”或“（1）”；"
                                    "大题标题如“一、选择题（每小题3分，共30分）”。")
                         .arg(QFileInfo(path).fileName()),
                     this);
    }
}

void ImportWindow::subjectChanged()
{
    kmh_ = subjectCode(DM->db(), ComboBoxKm->currentText());
    types_ = kmh_.isEmpty() ? QStringList() : typeNames(DM->db(), kmh_);
    chapters_ = kmh_.isEmpty() ? QStringList() : chapterNames(DM->db(), kmh_);
    ComboBoxTx->clear();
    ComboBoxTx->addItems(QStringList{QString()} + types_);
    ComboBoxZj->clear();
    ComboBoxZj->addItems(QStringList{QString()} + chapters_);
    fillPointPaths();
    // Types are matched afresh to this subject. A chapter the user chose stays when this subject has
    // it; else the file's chapter (created on import when the subject lacks it); else the subject's
    // first chapter, marked as put in for the user to check.
    // Types chosen per kind of Moodle question belong to the subject they were chosen for.
    kindTypes_.clear();
    matchTypes();
    for (int i = 0; i < paper_.questions.size(); ++i) {
        ImportedQuestion& q = paper_.questions[i];
        if (chapterChosen_.value(i) && chapters_.contains(q.chapterName)) continue;
        chapterChosen_[i] = false;
        const QString fromFile = sourceChapters_.value(i);
        q.chapterName = fromFile.isEmpty() ? chapters_.value(0) : fromFile;
        chapterGuessed_[i] = fromFile.isEmpty() && !q.chapterName.isEmpty();
    }
    fillTable();
}

// Every row's type afresh: a Moodle or GIFT question's from its kind (or the type chosen for the
// kind), a document's question's from the type the file gave.
void ImportWindow::matchTypes()
{
    for (int i = 0; i < paper_.questions.size(); ++i) {
        ImportedQuestion& q = paper_.questions[i];
        q.typeName = typeForSubject(q, sourceTypes_.value(i), types_, kindTypes_);
    }
}

void ImportWindow::fillKinds()
{
    const QVector<QPair<QString, int>> kinds = kindsOf(paper_.questions);
    TableKinds->setRowCount(static_cast<int>(kinds.size()));
    for (int row = 0; row < kinds.size(); ++row) {
        const auto& [kind, count] = kinds.at(row);
        TableKinds->setItem(row, 0, new QTableWidgetItem(kind));
        TableKinds->setItem(row, 1, new QTableWidgetItem(QString::number(count)));
        auto* box = new QComboBox(TableKinds);
        box->setObjectName(QStringLiteral("ComboKind_") + kind);
        box->setEditable(true);
        box->addItems(types_);
        ImportedQuestion sample;
        sample.sourceKind = kind;
        box->setCurrentText(typeForSubject(sample, QString(), types_, kindTypes_));
        connect(box, &QComboBox::currentTextChanged, this,
                [this, kind = kind](const QString& type) { kindTypeChosen(kind, type); });
        TableKinds->setCellWidget(row, 2, box);
    }
    LabelKinds->setVisible(!kinds.isEmpty());
    TableKinds->setVisible(!kinds.isEmpty());
}

// The user chose the type for every question of a kind: all of them take it, also those whose
// category named another type.
void ImportWindow::kindTypeChosen(const QString& kind, const QString& type)
{
    if (filling_) return;
    kindTypes_.insert(kind, type.trimmed());
    for (int row = 0; row < paper_.questions.size(); ++row) {
        ImportedQuestion& q = paper_.questions[row];
        if (q.sourceKind != kind) continue;
        q.typeName = typeForSubject(q, sourceTypes_.value(row), types_, kindTypes_);
        refreshRow(row);
    }
}

void ImportWindow::fillTable()
{
    checkDuplicates();
    filling_ = true;
    TableSt->setRowCount(static_cast<int>(paper_.questions.size()));
    for (int row = 0; row < paper_.questions.size(); ++row) {
        for (int column = 0; column < ColCount; ++column) {
            auto* item = column == ColText     ? new TextItem(60)
                         : column == ColAnswer ? new TextItem(30)
                                               : new QTableWidgetItem;
            const bool editable = column != ColNumber && column != ColWarnings && column != ColDuplicate;
            if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            TableSt->setItem(row, column, item);
        }
        refreshRow(row);
    }
    fillKinds();
    filling_ = false;
    ListLoose->clear();
    for (const LooseParagraph& p : paper_.loose)
        ListLoose->addItem(QStringLiteral("第 %1 段：%2").arg(p.paragraph).arg(oneLine(p.text, 80)));
    // Pictures the file only names on this computer or on the web are never read nor fetched.
    for (const QString& reference : paper_.skippedPictures)
        ListLoose->addItem(QStringLiteral("图片未导入：%1").arg(oneLine(reference, 80)));
    for (const LooseParagraph& entry : paper_.unmatchedKeys)
        ListLoose->addItem(
            QStringLiteral("第 %1 段：答案没有对应的试题：%2").arg(entry.paragraph).arg(oneLine(entry.text, 80)));
    updateSummary();
    BtnImport->setEnabled(!paper_.questions.isEmpty());
    ProgressBar1->setRange(0, std::max<int>(1, static_cast<int>(paper_.questions.size())));
    ProgressBar1->setValue(0);
}

void ImportWindow::updateSummary()
{
    QString summary = QStringLiteral("识别出 %1 道试题（%2 个大题），%3 个段落未归入试题。")
                          .arg(paper_.questions.size())
                          .arg(paper_.sections.size())
                          .arg(paper_.loose.size());
    // Rows whose chapter nobody gave would all land in the first chapter without a word: say so.
    const auto guessed = std::count(chapterGuessed_.cbegin(), chapterGuessed_.cend(), true);
    if (guessed > 0) {
        summary += QStringLiteral("注意：%1 道试题的章节未在文件中给出，暂定为“%2”（章节栏标为橙色），请核对。")
                       .arg(guessed)
                       .arg(chapters_.value(0));
    }
    if (!paper_.skippedPictures.isEmpty())
        summary += QStringLiteral("%1 张图片未导入（文件只引用了本机文件或网址）。").arg(paper_.skippedPictures.size());
    if (!paper_.unsupported.isEmpty())
        summary += QStringLiteral("不会导入（本程序不支持的题型）：%1。").arg(countsText(paper_.unsupported));
    if (!paper_.unmatchedKeys.isEmpty())
        summary += QStringLiteral("%1 条答案没有对应的试题（见下方列表）。").arg(paper_.unmatchedKeys.size());
    if (paper_.keyLinesJoined > 0)
        summary += QStringLiteral("答案中 %1 行没有题号，已并入它前面的答案。").arg(paper_.keyLinesJoined);
    const auto suspected =
        std::count_if(marks_.cbegin(), marks_.cend(), [](const DuplicateMark& m) { return m.suspected(); });
    if (suspected > 0) summary += QStringLiteral("%1 道试题疑似重复（见“查重”栏）。").arg(suspected);
    LabelSummary->setText(summary);
}

void ImportWindow::refreshRow(int row)
{
    const bool wasFilling = filling_;
    filling_ = true;
    const ImportedQuestion& q = paper_.questions.at(row);
    TableSt->item(row, ColNumber)->setText(q.number);
    TableSt->item(row, ColType)->setText(q.typeName);
    QTableWidgetItem* chapter = TableSt->item(row, ColChapter);
    chapter->setText(q.chapterName);
    const bool guessed = chapterGuessed_.value(row);
    chapter->setBackground(guessed ? QBrush(kGuessedChapter) : QBrush());
    chapter->setToolTip(guessed ? kChapterNotInFile : QString());
    TableSt->item(row, ColDifficulty)->setText(q.difficulty);
    TableSt->item(row, ColScore)->setText(q.score);
    TableSt->item(row, ColText)->setData(Qt::EditRole, q.text);
    TableSt->item(row, ColText)->setToolTip(content::shortForm(q.text));
    TableSt->item(row, ColAnswer)->setData(Qt::EditRole, q.answer);
    TableSt->item(row, ColAnswer)->setToolTip(content::shortForm(q.answer));
    QStringList warnings = rowWarnings(q, types_, chapters_);
    if (guessed) warnings << kChapterNotInFile;
    TableSt->item(row, ColWarnings)->setText(warnings.join(QStringLiteral("；")));
    // The 查重 column beside it leaves it less room: the whole text on hovering.
    TableSt->item(row, ColWarnings)->setToolTip(warnings.join(QStringLiteral("；")));
    TableSt->item(row, ColWarnings)->setForeground(warnings.isEmpty() ? palette().text() : QBrush(Qt::darkRed));
    TableSt->item(row, ColKnowledge)->setText(q.knowledge.join(QStringLiteral("，")));
    showDuplicateMark(row);
    filling_ = wasFilling;
}

void ImportWindow::cellEdited(int row, int column)
{
    if (filling_ || row < 0 || row >= paper_.questions.size()) return;
    ImportedQuestion& q = paper_.questions[row];
    const QString value = TableSt->item(row, column)->data(Qt::EditRole).toString().trimmed();
    switch (column) {
        case ColType:
            q.typeName = value;
            break;
        case ColChapter:
            q.chapterName = value;
            chapterChosen_[row] = true;
            chapterGuessed_[row] = false;
            break;
        case ColText:
        case ColAnswer: {
            // The text is stored as the cell holds it; a formula 录入试题 would refuse is refused
            // here at once and the cell shows the text it had.
            const QString refused = content::textEntryRefusal(value);
            if (!refused.isEmpty()) {
                refreshRow(row);
                MsgBox::show(refused, this);
                return;
            }
            (column == ColText ? q.text : q.answer) = value;
            if (column == ColText) checkDuplicatesOf(row);
            break;
        }
        case ColDifficulty:
            q.difficulty = value;
            break;
        case ColScore:
            q.score = value;
            break;
        case ColKnowledge: {
            // Read as the whole-import field and the file are read; what was cut is said at once.
            QStringList problems;
            q.knowledge = pointPaths({value}, &problems);
            if (!problems.isEmpty()) {
                refreshRow(row);
                MsgBox::show(problems.join(QStringLiteral("；")) + QStringLiteral("。"), this);
                return;
            }
            break;
        }
        default:
            return;
    }
    refreshRow(row);
    if (column == ColChapter || column == ColText) updateSummary();
}

void ImportWindow::applyToSelection()
{
    QList<int> rows;
    for (const QModelIndex& index : TableSt->selectionModel()->selectedRows()) rows << index.row();
    if (rows.isEmpty()) {
        MsgBox::show(QStringLiteral("请先在表格中选择要设置的行！"), this);
        return;
    }
    const QString type = ComboBoxTx->currentText().trimmed();
    const QString chapter = ComboBoxZj->currentText().trimmed();
    const QString difficulty = ComboBoxNd->currentText().trimmed();
    const QString score = EditFs->text().trimmed();
    for (int row : rows) {
        ImportedQuestion& q = paper_.questions[row];
        if (!type.isEmpty()) q.typeName = type;
        if (!chapter.isEmpty()) {
            q.chapterName = chapter;
            chapterChosen_[row] = true;
            chapterGuessed_[row] = false;
        }
        if (!difficulty.isEmpty()) q.difficulty = difficulty;
        if (!score.isEmpty()) q.score = score;
        refreshRow(row);
    }
    updateSummary();
}

void ImportWindow::selectSection()
{
    const int current = TableSt->currentRow();
    if (current < 0) {
        MsgBox::show(QStringLiteral("请先在表格中选择本节的一道题！"), this);
        return;
    }
    const int section = paper_.questions.at(current).section;
    TableSt->clearSelection();
    const auto mode = TableSt->selectionMode();
    TableSt->setSelectionMode(QAbstractItemView::MultiSelection);
    for (int row = 0; row < paper_.questions.size(); ++row) {
        if (paper_.questions.at(row).section == section) TableSt->selectRow(row);
    }
    TableSt->setSelectionMode(mode);
}

void ImportWindow::setBusy(bool busy)
{
    importing_ = busy;
    for (QWidget* w : std::initializer_list<QWidget*>{EditFile, BtnFile, BtnRead, ComboBoxKm, TableKinds, TableSt,
                                                      BtnApply, BtnSection, EditZsdDr, BtnImport})
        w->setEnabled(!busy);
}

void ImportWindow::importAll()
{
    if (importing_) return;
    if (paper_.questions.isEmpty()) {
        MsgBox::show(QStringLiteral("没有可导入的试题！"), this);
        return;
    }
    if (kmh_.isEmpty()) {
        MsgBox::show(QStringLiteral("科目不存在！"), this);
        return;
    }
    // The rows 查重 marked stay in the table; only the import leaves them out.
    const bool skip = CheckTgcf->isChecked();
    const QVector<ImportedQuestion> questions = skip ? withoutSuspected(paper_.questions, marks_) : paper_.questions;
    const int skipped = static_cast<int>(paper_.questions.size() - questions.size());
    if (questions.isEmpty()) {
        MsgBox::show(QStringLiteral("所有试题都疑似重复，没有可导入的试题！"), this);
        return;
    }
    StoreOptions options;
    QStringList pointProblems;
    options.knowledge = pointPaths({EditZsdDr->text()}, &pointProblems, PointSource::Field);
    if (!pointProblems.isEmpty()) {
        MsgBox::show(QStringLiteral("“知识点”一栏：") + pointProblems.join(QStringLiteral("；")) +
                         QStringLiteral("。请改正后再导入。"),
                     this);
        return;
    }
    try {
        checkStorable(questions);
        // Declining a question leaves the rows and every edit as they are, to be changed and imported again.
        const QStringList lackingChapters = missingChapters(DM->db(), kmh_, questions);
        if (!lackingChapters.isEmpty()) {
            if (!MsgBox::confirm(QStringLiteral("科目“%1”中还没有章节：%2。是否新建这些章节并导入？"
                                                "（选“取消”可在表格中改选章节，已读取的试题和修改都会保留。）")
                                     .arg(ComboBoxKm->currentText(), lackingChapters.join(QStringLiteral("、"))),
                                 this))
                return;
            options.createChapters = true;
        }
        const QStringList lackingTypes = missingTypes(DM->db(), kmh_, questions);
        if (!lackingTypes.isEmpty()) {
            if (!MsgBox::confirm(QStringLiteral("科目“%1”中还没有题型：%2。是否新建这些题型并导入？")
                                     .arg(ComboBoxKm->currentText(), lackingTypes.join(QStringLiteral("、"))),
                                 this))
                return;
            options.createTypes = true;
        }
    } catch (const AppError& e) {
        MsgBox::show(e.text(), this);
        return;
    }

    cancelRequested_ = false;
    setBusy(true);
    options.progress = [this](int done) {
        ProgressBar1->setValue(done);
        QCoreApplication::processEvents();
        return !cancelRequested_;
    };
    StoreSummary summary;
    try {
        DM->transaction({DM->ADOTxb, DM->ADOZjb, DM->ADOStb},
                        [&] { summary = storeQuestions(DM->db(), kmh_, questions, paper_.pictures, options); });
    } catch (const AppError& e) {
        setBusy(false);
        ProgressBar1->setValue(0);
        MsgBox::show(e.text(), this);
        return;
    }
    setBusy(false);
    summary.countUnstored(paper_);
    summary.skippedDuplicates = skipped;
    MsgBox::show(summary.text(), this);
    accept();
}

void ImportWindow::checkDuplicates()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        marks_ = duplicateMarks(DM->db(), kmh_, paper_.questions);
    } catch (const AppError&) {
        // The preview stays usable without the marks.
        marks_ = QVector<DuplicateMark>(paper_.questions.size());
    }
    QApplication::restoreOverrideCursor();
}

void ImportWindow::checkDuplicatesOf(int row)
{
    if (marks_.size() != paper_.questions.size()) marks_.resize(paper_.questions.size());
    try {
        marks_[row] = bankMark(DM->db(), kmh_, paper_.questions.at(row));
    } catch (const AppError&) {
        marks_[row] = DuplicateMark();
    }
    markWithinFile(paper_.questions, &marks_);
    for (int other = 0; other < paper_.questions.size(); ++other) {
        if (other != row) showDuplicateMark(other);
    }
}

void ImportWindow::showDuplicateMark(int row)
{
    QTableWidgetItem* item = TableSt->item(row, ColDuplicate);
    if (!item) return;
    const DuplicateMark mark = marks_.value(row);
    QString typeName;
    if (mark.bankId != 0) {
        typeName =
            sql::scalar(DM->db(), QStringLiteral("SELECT txm FROM txb WHERE kmh = ? AND txh = ? ORDER BY id LIMIT 1"),
                        {kmh_, mark.bankTxh});
        if (typeName == paper_.questions.at(row).typeName) typeName.clear();
    }
    const bool wasFilling = filling_;
    filling_ = true;
    item->setText(markText(mark, paper_.questions, typeName));
    item->setForeground(mark.suspected() ? QBrush(Qt::darkRed) : palette().text());
    filling_ = wasFilling;
}

void ImportWindow::cancel()
{
    reject();
}

void ImportWindow::reject()
{
    if (importing_) {
        cancelRequested_ = true;
    } else {
        QDialog::reject();
    }
}

void ImportWindow::closeEvent(QCloseEvent* event)
{
    if (importing_) {
        cancelRequested_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void openImportWindow(QWidget* parent)
{
    ImportWindow window(parent);
    window.exec();
}

}  // namespace exchange
