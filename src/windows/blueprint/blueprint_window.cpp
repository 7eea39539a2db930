#include "windows/blueprint/blueprint_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "ui/forms.h"
#include "ui/message_box.h"
#include "blueprint/blueprint_store.h"
#include "windows/blueprint/shortage_report.h"
#include "data/data_module.h"
#include "data/lookups.h"
#include "data/sql.h"
#include "windows/wizard/overall_settings.h"
#include "ui/handler.h"
#include "content/fonts.h"

using namespace blueprint;

namespace {

constexpr int kMergedRole = Qt::UserRole + 1;
const char* const kShortStyle = "background-color: #ff8080;";

QString points(double value)
{
    return pointsText(value);
}

QLabel* label(const QString& text, QWidget* parent)
{
    return new QLabel(text, parent);
}

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

// Writes the title of the row names ("章节", "知识点") into a table's corner button, which Qt
// leaves blank; the text is the button's accessible name.
class CornerTitle : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint) return false;
        auto* corner = static_cast<QWidget*>(watched);
        static_cast<QObject*>(corner)->event(event);  // the button as Qt draws it, then the title
        QPainter painter(corner);
        painter.drawText(corner->rect(), Qt::AlignCenter, corner->accessibleName());
        return true;
    }
};

QAbstractButton* cornerOf(QTableWidget* table)
{
    return table->findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace

BlueprintWindow::BlueprintWindow(QWidget* parent, TZtszF* step1) : QDialog(parent), step1_(step1)
{
    setObjectName(QStringLiteral("BlueprintF"));
    setWindowTitle(QStringLiteral("按细目表组卷"));
    setFont(fonts::song(12));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    ComboBoxKm = new QComboBox(this);
    ComboBoxKm->setObjectName(QStringLiteral("ComboBoxKm"));
    ComboBoxKm->setMinimumWidth(140);
    EditSjbt = new QLineEdit(this);
    EditSjbt->setObjectName(QStringLiteral("EditSjbt"));
    EditSj = new QLineEdit(this);
    EditSj->setObjectName(QStringLiteral("EditSj"));
    EditSj->setMaximumWidth(60);
    EditZf = new QLineEdit(this);
    EditZf->setObjectName(QStringLiteral("EditZf"));
    EditZf->setMaximumWidth(60);
    ComboBoxRows = new QComboBox(this);
    ComboBoxRows->setObjectName(QStringLiteral("ComboBoxRows"));
    ComboBoxRows->addItem(QStringLiteral("按章节"), static_cast<int>(RowKind::Chapters));
    ComboBoxRows->addItem(QStringLiteral("按知识点"), static_cast<int>(RowKind::Points));
    ComboBoxRows->setToolTip(QStringLiteral("细目表的行：本科目的章节，或本科目的知识点（含其下级知识点的题目）"));
    top->addWidget(label(QStringLiteral("科目"), this));
    top->addWidget(ComboBoxKm);
    top->addWidget(ComboBoxRows);
    top->addWidget(label(QStringLiteral("试卷标题"), this));
    top->addWidget(EditSjbt, 1);
    top->addWidget(label(QStringLiteral("考试时间"), this));
    top->addWidget(EditSj);
    top->addWidget(label(QStringLiteral("分钟"), this));
    top->addWidget(label(QStringLiteral("总分"), this));
    top->addWidget(EditZf);
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    auto* typesBox = new QGroupBox(QStringLiteral("题型（勾选的题型按列表顺序组成试卷）"), this);
    auto* typesLayout = new QVBoxLayout(typesBox);
    TableTypes = new QTableWidget(0, 2, typesBox);
    TableTypes->setObjectName(QStringLiteral("TableTypes"));
    TableTypes->setHorizontalHeaderLabels({QStringLiteral("选用题型"), QStringLiteral("不分难度（全部）")});
    TableTypes->horizontalHeader()->setStretchLastSection(true);
    TableTypes->verticalHeader()->hide();
    TableTypes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableTypes->setMaximumHeight(110);
    typesLayout->addWidget(TableTypes);
    middle->addWidget(typesBox, 1);

    auto* templatesBox = new QGroupBox(QStringLiteral("细目表模板"), this);
    auto* templatesLayout = new QVBoxLayout(templatesBox);
    auto* openRow = new QHBoxLayout;
    ComboBoxTemplate = new QComboBox(templatesBox);
    ComboBoxTemplate->setObjectName(QStringLiteral("ComboBoxTemplate"));
    ComboBoxTemplate->setMinimumWidth(160);
    BtnOpen = button(QStringLiteral("打开"), "BtnOpen", templatesBox);
    BtnCopy = button(QStringLiteral("复制"), "BtnCopy", templatesBox);
    BtnDelete = button(QStringLiteral("删除"), "BtnDelete", templatesBox);
    openRow->addWidget(ComboBoxTemplate, 1);
    openRow->addWidget(BtnOpen);
    openRow->addWidget(BtnCopy);
    openRow->addWidget(BtnDelete);
    auto* saveRow = new QHBoxLayout;
    EditTemplateName = new QLineEdit(templatesBox);
    EditTemplateName->setObjectName(QStringLiteral("EditTemplateName"));
    BtnSave = button(QStringLiteral("保存"), "BtnSave", templatesBox);
    saveRow->addWidget(label(QStringLiteral("模板名称"), templatesBox));
    saveRow->addWidget(EditTemplateName, 1);
    saveRow->addWidget(BtnSave);
    templatesLayout->addLayout(openRow);
    templatesLayout->addLayout(saveRow);
    middle->addWidget(templatesBox, 1);
    layout->addLayout(middle);

    auto* hint = label(QStringLiteral("每格填写“题数 × 每题分数”，右侧“/数字”为题库中可选的题目数；"
                                      "题数超过题库时该格变红。"),
                       this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    TableBlueprint = new QTableWidget(this);
    TableBlueprint->setObjectName(QStringLiteral("TableBlueprint"));
    TableBlueprint->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableBlueprint->setSelectionMode(QAbstractItemView::NoSelection);
    if (QAbstractButton* corner = cornerOf(TableBlueprint)) {
        corner->setAccessibleName(rowTitle(rowKind_));
        corner->installEventFilter(new CornerTitle(corner));
    }
    // The row names' column is never narrower than its title in the corner.
    TableBlueprint->verticalHeader()->setMinimumWidth(
        TableBlueprint->fontMetrics().horizontalAdvance(rowTitle(RowKind::Points)) + 12);
    layout->addWidget(TableBlueprint, 1);

    LabelTotal = new QLabel(this);
    LabelTotal->setObjectName(QStringLiteral("LabelTotal"));
    LabelStatus = new QLabel(this);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    LabelStatus->setStyleSheet(QStringLiteral("color: #c00000;"));
    LabelStatus->setWordWrap(true);
    layout->addWidget(LabelTotal);
    layout->addWidget(LabelStatus);
    auto* bottom = new QHBoxLayout;
    BtnRefresh = button(QStringLiteral("刷新题量"), "BtnRefresh", this);
    BtnCompose = button(QStringLiteral("组卷"), "BtnCompose", this);
    BtnCancel = button(QStringLiteral("取消"), "BtnCancel", this);
    for (QPushButton* b : {BtnCompose, BtnCancel}) b->setFont(fonts::song(14, true));
    CheckPrintBlueprint = new QCheckBox(QStringLiteral("在答案后打印细目表"), this);
    CheckPrintBlueprint->setObjectName(QStringLiteral("CheckPrintBlueprint"));
    bottom->addWidget(BtnRefresh);
    bottom->addWidget(CheckPrintBlueprint);
    bottom->addStretch();
    bottom->addWidget(BtnCompose);
    bottom->addWidget(BtnCancel);
    layout->addLayout(bottom);

    connect(ComboBoxKm, &QComboBox::activated, this, ui::guard([this] { subjectChanged(); }));
    connect(ComboBoxRows, &QComboBox::activated, this, ui::guard([this] { rowKindChosen(); }));
    connect(TableTypes, &QTableWidget::itemChanged, this, ui::guard([this] {
                if (!rebuilding_) {
                    dirty_ = true;
                    rebuildGrid();
                }
            }));
    connect(EditZf, &QLineEdit::textEdited, this, ui::guard([this] { recount(); }));
    connect(BtnRefresh, &QPushButton::clicked, this, ui::guard([this] { refreshCounts(); }));
    connect(BtnCompose, &QPushButton::clicked, this, ui::guard([this] { compose(); }));
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnSave, &QPushButton::clicked, this, ui::guard([this] { saveTemplate(); }));
    connect(BtnOpen, &QPushButton::clicked, this, ui::guard([this] { openTemplate(); }));
    connect(BtnCopy, &QPushButton::clicked, this, ui::guard([this] { copyTemplate(); }));
    connect(BtnDelete, &QPushButton::clicked, this, ui::guard([this] { deleteTemplate(); }));

    // The subjects; the wizard's subject, types and settings when opened from its first step.
    ComboBoxKm->addItems(sql::column(DM->db(), QStringLiteral("SELECT kmm FROM kmb ORDER BY id")));
    QStringList chosen;
    if (step1_) {
        ComboBoxKm->setCurrentIndex(ComboBoxKm->findText(step1_->ComboBoxKm->currentText()));
        for (int i = 0; i < step1_->ListBoxSj->count(); ++i) chosen << step1_->ListBoxSj->item(i)->text();
        EditSjbt->setText(step1_->EditSjbt->text());
        EditSj->setText(step1_->EditSj->text());
        EditZf->setText(step1_->EditZf->text());
    } else {
        ComboBoxKm->setCurrentIndex(ComboBoxKm->count() > 0 ? 0 : -1);
        EditSjbt->setText(ComboBoxKm->currentText() + QStringLiteral("试卷"));
        EditSj->setText(QStringLiteral("120"));
        EditZf->setText(QStringLiteral("100"));
    }
    kmh_ = subjectCode();
    fillTypes(chosen);
    fillTemplates();
    refreshCounts();
    dirty_ = false;
    resize(1000, 640);
    ui::centreOnScreen(this);
}

QString BlueprintWindow::subjectCode() const
{
    return ComboBoxKm->currentIndex() >= 0 ? KmmToKmh(ComboBoxKm->currentText()) : QString();
}

void BlueprintWindow::subjectChanged()
{
    if (dirty_ && !MsgBox::confirm(QStringLiteral("当前细目表尚未保存，换科目将放弃已填写的内容，是否继续？"), this)) {
        const QSignalBlocker block(ComboBoxKm);
        const QString previous =
            sql::scalar(DM->db(), QStringLiteral("SELECT kmm FROM kmb WHERE kmh=? ORDER BY id DESC LIMIT 1"), {kmh_});
        ComboBoxKm->setCurrentIndex(ComboBoxKm->findText(previous));
        return;
    }
    kmh_ = subjectCode();
    EditSjbt->setText(ComboBoxKm->currentText() + QStringLiteral("试卷"));
    {
        const QSignalBlocker block(TableBlueprint);
        TableBlueprint->clear();
        cells_.clear();
    }
    fillTypes({});
    fillTemplates();
    refreshCounts();
    dirty_ = false;
}

void BlueprintWindow::rowKindChosen()
{
    const auto chosen = static_cast<RowKind>(ComboBoxRows->currentData().toInt());
    if (chosen == rowKind_) return;
    if (dirty_ &&
        !MsgBox::confirm(QStringLiteral("当前细目表尚未保存，改变细目表的行将放弃已填写的内容，是否继续？"), this)) {
        const QSignalBlocker block(ComboBoxRows);
        ComboBoxRows->setCurrentIndex(ComboBoxRows->findData(static_cast<int>(rowKind_)));
        return;
    }
    setRowKind(chosen);
    dirty_ = false;
}

void BlueprintWindow::setRowKind(RowKind kind)
{
    rowKind_ = kind;
    {
        const QSignalBlocker block(ComboBoxRows);
        ComboBoxRows->setCurrentIndex(ComboBoxRows->findData(static_cast<int>(kind)));
    }
    if (QAbstractButton* corner = cornerOf(TableBlueprint)) {
        corner->setAccessibleName(rowTitle(kind));
        corner->update();
    }
    {
        const QSignalBlocker block(TableBlueprint);
        TableBlueprint->clear();
        cells_.clear();
    }
    counts_.load(DM->db(), kmh_, rowKind_);
    rebuildGrid();
}

QString BlueprintWindow::rowHeader() const
{
    const QAbstractButton* corner = cornerOf(TableBlueprint);
    return corner ? corner->accessibleName() : QString();
}

// The subject's types: the chosen ones first, in the given order and ticked, then the others.
void BlueprintWindow::fillTypes(const QStringList& chosen)
{
    QVector<TypeColumn> all;
    QSqlQuery q = sql::run(DM->db(), QStringLiteral("SELECT txh, txm FROM txb WHERE kmh=? ORDER BY id"), {kmh_});
    while (q.next()) all.append({q.value(0).toString(), q.value(1).toString(), false});
    QVector<TypeColumn> ordered;
    QSet<QString> ticked;
    for (const QString& name : chosen) {
        for (const TypeColumn& t : all) {
            if (t.txm == name && !ticked.contains(t.txh)) {
                ordered.append(t);
                ticked.insert(t.txh);
            }
        }
    }
    // Opened without a choice, every type of the subject is offered ticked.
    const bool tickAll = chosen.isEmpty();
    for (const TypeColumn& t : all) {
        if (!ticked.contains(t.txh)) ordered.append(t);
    }
    rebuilding_ = true;
    TableTypes->setRowCount(0);
    TableTypes->setRowCount(static_cast<int>(ordered.size()));
    for (int i = 0; i < ordered.size(); ++i) {
        auto* name = new QTableWidgetItem(ordered.at(i).txm);
        name->setData(Qt::UserRole, ordered.at(i).txh);
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        name->setCheckState(tickAll || ticked.contains(ordered.at(i).txh) ? Qt::Checked : Qt::Unchecked);
        auto* merged = new QTableWidgetItem(QStringLiteral("全部"));
        merged->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        merged->setCheckState(Qt::Unchecked);
        merged->setData(kMergedRole, true);
        TableTypes->setItem(i, 0, name);
        TableTypes->setItem(i, 1, merged);
    }
    rebuilding_ = false;
    rebuildGrid();
}

QVector<TypeColumn> BlueprintWindow::chosenTypes() const
{
    QVector<TypeColumn> out;
    for (int i = 0; i < TableTypes->rowCount(); ++i) {
        const QTableWidgetItem* name = TableTypes->item(i, 0);
        const QTableWidgetItem* merged = TableTypes->item(i, 1);
        if (!name || name->checkState() != Qt::Checked) continue;
        out.append({name->data(Qt::UserRole).toString(), name->text(), merged && merged->checkState() == Qt::Checked});
    }
    return out;
}

// Builds one row per chapter (knowledge point) and one column per chosen type and difficulty, plus
// the totals; what was typed into cells that remain is kept.
void BlueprintWindow::rebuildGrid()
{
    QHash<QString, QPair<QString, QString>> typed;
    for (int r = 0; r < cells_.size(); ++r) {
        for (int c = 0; c < cells_.at(r).size() && c < columns_.size(); ++c) {
            const CellWidgets& w = cells_.at(r).at(c);
            if (r < chapters_.size()) {
                typed.insert(cellKey({chapters_.at(r).zjh, columns_.at(c).txh, columns_.at(c).nd, 0, 0}),
                             {w.count->text(), w.points->text()});
            }
        }
    }
    chapters_ = rowsOf(DM->db(), kmh_, rowKind_);
    columns_.clear();
    QStringList headers;
    for (const TypeColumn& t : chosenTypes()) {
        const QStringList nds = t.merged ? QStringList{QString()} : levels();
        for (const QString& nd : nds) {
            columns_.append({t.txh, nd});
            headers << t.txm + QLatin1Char('\n') + levelTitle(nd);
        }
    }
    headers << QStringLiteral("合计");
    QStringList rows;
    for (const Chapter& ch : chapters_) rows << ch.zjm;
    rows << QStringLiteral("合计");

    TableBlueprint->clear();
    TableBlueprint->setRowCount(static_cast<int>(rows.size()));
    TableBlueprint->setColumnCount(static_cast<int>(headers.size()));
    TableBlueprint->setHorizontalHeaderLabels(headers);
    TableBlueprint->setVerticalHeaderLabels(rows);
    cells_ = QVector<QVector<CellWidgets>>(chapters_.size(), QVector<CellWidgets>(columns_.size()));
    rowTotals_.clear();
    columnTotals_.clear();
    for (int r = 0; r < chapters_.size(); ++r) {
        for (int c = 0; c < columns_.size(); ++c) {
            auto* box = new QWidget(TableBlueprint);
            auto* h = new QHBoxLayout(box);
            h->setContentsMargins(2, 1, 2, 1);
            h->setSpacing(1);
            CellWidgets& w = cells_[r][c];
            w.count = new QLineEdit(box);
            w.count->setObjectName(QStringLiteral("Count_%1_%2").arg(r).arg(c));
            w.count->setFixedWidth(34);
            w.count->setToolTip(QStringLiteral("题数"));
            w.points = new QLineEdit(box);
            w.points->setObjectName(QStringLiteral("Points_%1_%2").arg(r).arg(c));
            w.points->setFixedWidth(34);
            w.points->setToolTip(QStringLiteral("每题分数"));
            w.available = new QLabel(box);
            w.available->setObjectName(QStringLiteral("Available_%1_%2").arg(r).arg(c));
            w.available->setToolTip(QStringLiteral("题库中可选的题目数"));
            h->addWidget(w.count);
            h->addWidget(new QLabel(QStringLiteral("×"), box));
            h->addWidget(w.points);
            h->addWidget(w.available);
            const auto kept = typed.value(cellKey({chapters_.at(r).zjh, columns_.at(c).txh, columns_.at(c).nd, 0, 0}));
            w.count->setText(kept.first);
            w.points->setText(kept.second);
            for (QLineEdit* e : {w.count, w.points}) {
                connect(e, &QLineEdit::textEdited, this, ui::guard([this] {
                            dirty_ = true;
                            recount();
                        }));
            }
            TableBlueprint->setCellWidget(r, c, box);
        }
        auto* total = new QLabel(TableBlueprint);
        total->setObjectName(QStringLiteral("RowTotal_%1").arg(r));
        TableBlueprint->setCellWidget(r, static_cast<int>(columns_.size()), total);
        rowTotals_.append(total);
    }
    for (int c = 0; c <= columns_.size(); ++c) {
        auto* total = new QLabel(TableBlueprint);
        total->setObjectName(c < columns_.size() ? QStringLiteral("ColumnTotal_%1").arg(c)
                                                 : QStringLiteral("GrandTotal"));
        TableBlueprint->setCellWidget(static_cast<int>(chapters_.size()), c, total);
        columnTotals_.append(total);
    }
    TableBlueprint->horizontalHeader()->setDefaultSectionSize(130);
    TableBlueprint->verticalHeader()->setDefaultSectionSize(28);
    TableBlueprint->horizontalHeader()->setMinimumHeight(40);
    for (int r = 0; r < chapters_.size(); ++r) {
        for (int c = 0; c < columns_.size(); ++c) {
            cells_[r][c].available->setText(QStringLiteral("/%1").arg(
                counts_.available(chapters_.at(r).zjh, columns_.at(c).txh, columns_.at(c).nd)));
        }
    }
    recount();
}

void BlueprintWindow::refreshCounts()
{
    counts_.load(DM->db(), kmh_, rowKind_);
    for (int r = 0; r < cells_.size(); ++r) {
        for (int c = 0; c < cells_.at(r).size(); ++c) {
            cells_[r][c].available->setText(QStringLiteral("/%1").arg(
                counts_.available(chapters_.at(r).zjh, columns_.at(c).txh, columns_.at(c).nd)));
        }
    }
    recount();
}

void BlueprintWindow::recount()
{
    QVector<int> rowCount(chapters_.size(), 0);
    QVector<double> rowPoints(chapters_.size(), 0);
    QVector<int> columnCount(columns_.size(), 0);
    QVector<double> columnPoints(columns_.size(), 0);
    int count = 0;
    double sum = 0;
    QString problem;
    for (int r = 0; r < cells_.size(); ++r) {
        for (int c = 0; c < cells_.at(r).size(); ++c) {
            const CellWidgets& w = cells_.at(r).at(c);
            int n = 0;
            double p = 0;
            QString message;
            const bool countOk = parseCount(w.count->text(), &n, &message);
            const bool pointsOk = parsePoints(w.points->text(), &p, &message);
            if ((!countOk || !pointsOk) && problem.isEmpty()) {
                problem = QStringLiteral("%1：%2。")
                              .arg(cellName({kmh_, chapters_, chosenTypes(), {}, 0, {}, {}, rowKind_},
                                            {chapters_.at(r).zjh, columns_.at(c).txh, columns_.at(c).nd, 0, 0}),
                                   message);
            }
            const int available = counts_.available(chapters_.at(r).zjh, columns_.at(c).txh, columns_.at(c).nd);
            const bool tooMany = countOk && n > available;
            if (w.count->property("short").toBool() != tooMany || w.count->styleSheet().isEmpty() == tooMany) {
                w.count->setProperty("short", tooMany);
                w.count->setStyleSheet(tooMany ? QString::fromLatin1(kShortStyle) : QString());
                w.available->setStyleSheet(tooMany ? QStringLiteral("color: #c00000; font-weight: bold;") : QString());
            }
            w.count->setStyleSheet(countOk ? w.count->styleSheet() : QString::fromLatin1(kShortStyle));
            w.points->setStyleSheet(pointsOk ? QString() : QString::fromLatin1(kShortStyle));
            rowCount[r] += n;
            rowPoints[r] += n * p;
            columnCount[c] += n;
            columnPoints[c] += n * p;
            count += n;
            sum += n * p;
        }
    }
    for (int r = 0; r < rowTotals_.size(); ++r) {
        rowTotals_[r]->setText(QStringLiteral("%1题 %2分").arg(rowCount.value(r)).arg(points(rowPoints.value(r))));
    }
    for (int c = 0; c < columns_.size() && c < columnTotals_.size(); ++c) {
        columnTotals_[c]->setText(
            QStringLiteral("%1题 %2分").arg(columnCount.value(c)).arg(points(columnPoints.value(c))));
    }
    if (!columnTotals_.isEmpty())
        columnTotals_.last()->setText(QStringLiteral("%1题 %2分").arg(count).arg(points(sum)));

    int total = 0;
    QString totalMessage;
    QString text = QStringLiteral("合计：%1道题，%2分").arg(count).arg(points(sum));
    bool matches = false;
    if (parseTotal(EditZf->text(), &total, &totalMessage)) {
        matches = std::fabs(sum - total) < 1e-6;
        text += matches ? QStringLiteral("，与试卷总分%1分一致").arg(total)
                        : QStringLiteral("，试卷总分为%1分，相差%2分").arg(total).arg(points(std::fabs(sum - total)));
    } else {
        text += QStringLiteral("；") + totalMessage;
    }
    LabelTotal->setText(text);
    LabelTotal->setStyleSheet(matches ? QStringLiteral("color: #006000;") : QStringLiteral("color: #c00000;"));
    if (problem.isEmpty() && chapters_.isEmpty()) {
        // Nothing to fill in: say where the rows come from.
        problem = rowKind_ == RowKind::Points ? QStringLiteral("本科目还没有知识点，请先在“知识点设置”中添加知识点并为试题标注。")
                                              : QStringLiteral("本科目还没有章节，请先在“章节设置”中添加章节。");
    }
    LabelStatus->setText(problem);
}

int BlueprintWindow::columnOf(const QString& txh, const QString& nd) const
{
    for (int c = 0; c < columns_.size(); ++c) {
        if (columns_.at(c).txh == txh && columns_.at(c).nd == nd) return c;
    }
    return -1;
}

int BlueprintWindow::rowOf(const QString& zjm) const
{
    for (int r = 0; r < chapters_.size(); ++r) {
        if (chapters_.at(r).zjm == zjm) return r;
    }
    return -1;
}

QLineEdit* BlueprintWindow::countEdit(int row, int column) const
{
    return row >= 0 && row < cells_.size() && column >= 0 && column < cells_.at(row).size()
               ? cells_.at(row).at(column).count
               : nullptr;
}

QLineEdit* BlueprintWindow::pointsEdit(int row, int column) const
{
    return row >= 0 && row < cells_.size() && column >= 0 && column < cells_.at(row).size()
               ? cells_.at(row).at(column).points
               : nullptr;
}

QLabel* BlueprintWindow::availableLabel(int row, int column) const
{
    return row >= 0 && row < cells_.size() && column >= 0 && column < cells_.at(row).size()
               ? cells_.at(row).at(column).available
               : nullptr;
}

bool BlueprintWindow::isShort(int row, int column) const
{
    const QLineEdit* e = countEdit(row, column);
    return e && e->property("short").toBool();
}

bool BlueprintWindow::currentPlan(Plan* plan, QString* message) const
{
    plan->kmh = kmh_;
    plan->chapters = chapters_;
    plan->rows = rowKind_;
    plan->title = EditSjbt->text().trimmed();
    plan->duration = EditSj->text().trimmed();
    plan->types = chosenTypes();
    plan->cells.clear();
    if (!parseTotal(EditZf->text(), &plan->total, message)) return false;
    for (int r = 0; r < cells_.size(); ++r) {
        for (int c = 0; c < cells_.at(r).size(); ++c) {
            Cell cell{chapters_.at(r).zjh, columns_.at(c).txh, columns_.at(c).nd, 0, 0};
            QString problem;
            if (!parseCount(cells_.at(r).at(c).count->text(), &cell.count, &problem) ||
                !parsePoints(cells_.at(r).at(c).points->text(), &cell.points, &problem)) {
                *message = QStringLiteral("%1：%2。").arg(cellName(*plan, cell), problem);
                return false;
            }
            if (cell.count > 0 && cell.points <= 0) {
                *message = QStringLiteral("%1：请填写每题分数。").arg(cellName(*plan, cell));
                return false;
            }
            if (cell.count > 0) plan->cells.append(cell);
        }
    }
    return true;
}

void BlueprintWindow::setCount(const Cell& cell, int count)
{
    const int c = columnOf(cell.txh, cell.nd);
    for (int r = 0; r < chapters_.size(); ++r) {
        if (chapters_.at(r).zjh == cell.zjh && c >= 0) cells_[r][c].count->setText(QString::number(count));
    }
}

bool BlueprintWindow::compose()
{
    if (EditSjbt->text().isEmpty()) {
        MsgBox::show(QStringLiteral("试卷标题不能为空！"), this);
        return false;
    }
    if (kmh_.isEmpty()) {
        MsgBox::show(QStringLiteral("请先选择科目！"), this);
        return false;
    }
    Plan plan;
    QString message;
    if (!currentPlan(&plan, &message)) {
        MsgBox::show(message, this);
        return false;
    }
    if (plan.types.isEmpty()) {
        MsgBox::show(QStringLiteral("试卷应至少包含一种题型，请选择题型！"), this);
        return false;
    }
    for (const TypeColumn& t : plan.types) {
        bool any = false;
        for (const Cell& c : plan.cells) any = any || c.txh == t.txh;
        if (!any) {
            MsgBox::show(QStringLiteral("题型“%1”在细目表中还没有题目，请填写题数或取消选用该题型！").arg(t.txm), this);
            return false;
        }
    }
    // The bank as it is now decides what is short.
    refreshCounts();
    QHash<QString, Fix> fixes;
    const QVector<Shortage> shortList = shortages(plan, counts_);
    if (!shortList.isEmpty()) {
        ShortageReport report(plan, counts_, shortList, this);
        if (report.exec() != QDialog::Accepted) return false;
        fixes = report.fixes();
        for (const Shortage& s : shortList) {
            if (fixes.value(cellKey(s.cell)).remedy == Remedy::Fewer) setCount(s.cell, s.available);
        }
        recount();
        if (!currentPlan(&plan, &message)) {
            MsgBox::show(message, this);
            return false;
        }
    }
    if (std::fabs(plan.pointSum() - plan.total) >= 1e-6) {
        MsgBox::show(QStringLiteral("细目表各格分数之和为%1分，与试卷总分%2分不一致，请检查后重试！")
                         .arg(points(plan.pointSum()))
                         .arg(plan.total),
                     this);
        return false;
    }
    const Draw drawn = draw(DM->db(), plan, fixes, usageExclusions(DM->db(), kmh_));
    if (!drawn.unmet.isEmpty()) {
        MsgBox::show(QStringLiteral("题库中的题目不够，试卷没有生成：\n") + drawn.unmet.join(QLatin1Char('\n')), this);
        return false;
    }
    try {
        writePaper(DM->db(), plan, drawn);
    } catch (...) {
        for (Dataset* ds : {DM->ADOSjb, DM->ADOTxb, DM->ADOZjb}) ds->refresh();
        throw;
    }
    for (Dataset* ds : {DM->ADOSjb, DM->ADOTxb, DM->ADOZjb}) ds->refresh();
    composed_ = plan;
    accept();
    return true;
}

void BlueprintWindow::handOver(TZtszF* step1) const
{
    step1->InitComboBoxKm();
    step1->ComboBoxKm->setCurrentIndex(step1->ComboBoxKm->findText(ComboBoxKm->currentText()));
    step1->ListBoxSj->clear();
    step1->ListBoxTk->clear();
    const QVector<TypeColumn> types = chosenTypes();
    for (const TypeColumn& t : types) step1->ListBoxSj->addItem(t.txm);
    step1->EditSjbt->setText(EditSjbt->text());
    step1->EditSj->setText(EditSj->text());
    step1->EditZf->setText(QString::number(EditZf->text().trimmed().toInt()));
    // The plan as composed (after any shortage fixes) is what gets printed.
    step1->BlueprintTable = CheckPrintBlueprint->isChecked() ? tableRows(composed_) : QVector<QStringList>();
}

// ---- templates ----------------------------------------------------------------------------------

void BlueprintWindow::fillTemplates(const QString& current)
{
    ComboBoxTemplate->clear();
    ComboBoxTemplate->addItems(store::names(DM->db(), kmh_));
    const int i = ComboBoxTemplate->findText(current);
    if (i >= 0) ComboBoxTemplate->setCurrentIndex(i);
}

void BlueprintWindow::saveTemplate()
{
    const QString name = EditTemplateName->text().trimmed();
    if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("请输入模板名称！"), this);
        EditTemplateName->setFocus();
        return;
    }
    Plan plan;
    QString message;
    if (!currentPlan(&plan, &message)) {
        MsgBox::show(message + QStringLiteral("模板没有保存。"), this);
        return;
    }
    if (store::exists(DM->db(), kmh_, name) &&
        !MsgBox::confirm(QStringLiteral("模板“%1”已存在，是否覆盖？").arg(name), this)) {
        return;
    }
    store::save(DM->db(), plan, name);
    fillTemplates(name);
    dirty_ = false;
    MsgBox::show(QStringLiteral("模板“%1”已保存。").arg(name), this);
}

void BlueprintWindow::showPlan(const Plan& plan)
{
    QStringList names;
    for (const TypeColumn& t : plan.types) names << t.txm;
    {
        const QSignalBlocker block(TableBlueprint);
        cells_.clear();  // nothing typed is carried into the template's grid
    }
    fillTypes(names.isEmpty() ? QStringList{QString()} : names);
    rebuilding_ = true;
    for (int i = 0; i < TableTypes->rowCount(); ++i) {
        const QString txh = TableTypes->item(i, 0)->data(Qt::UserRole).toString();
        for (const TypeColumn& t : plan.types) {
            if (t.txh == txh) TableTypes->item(i, 1)->setCheckState(t.merged ? Qt::Checked : Qt::Unchecked);
        }
    }
    rebuilding_ = false;
    rebuildGrid();
    for (int r = 0; r < cells_.size(); ++r) {
        for (int c = 0; c < cells_.at(r).size(); ++c) {
            cells_[r][c].count->clear();
            cells_[r][c].points->clear();
        }
    }
    for (const Cell& cell : plan.cells) {
        const int c = columnOf(cell.txh, cell.nd);
        for (int r = 0; r < chapters_.size(); ++r) {
            if (chapters_.at(r).zjh != cell.zjh || c < 0) continue;
            cells_[r][c].count->setText(QString::number(cell.count));
            cells_[r][c].points->setText(points(cell.points));
        }
    }
    EditZf->setText(QString::number(plan.total));
    // A template saved before titles were kept (or without them) leaves the fields as typed.
    if (!plan.title.isEmpty()) EditSjbt->setText(plan.title);
    if (!plan.duration.isEmpty()) EditSj->setText(plan.duration);
    recount();
}

void BlueprintWindow::openTemplate()
{
    const QString name = ComboBoxTemplate->currentText();
    if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("请选择要打开的模板！"), this);
        return;
    }
    if (dirty_ &&
        !MsgBox::confirm(QStringLiteral("当前细目表尚未保存，打开模板将替换已填写的内容，是否继续？"), this)) {
        return;
    }
    if (!store::exists(DM->db(), kmh_, name)) {
        MsgBox::show(QStringLiteral("模板“%1”不存在！").arg(name), this);
        fillTemplates();
        return;
    }
    // The grid takes the template's rows before its cells are matched to them.
    const RowKind kind = store::rowKind(DM->db(), kmh_, name);
    if (kind != rowKind_) setRowKind(kind);
    Plan plan;
    plan.kmh = kmh_;
    plan.chapters = chapters_;
    QStringList vanished;
    if (!store::load(DM->db(), kmh_, name, &plan, &vanished)) {
        MsgBox::show(QStringLiteral("模板“%1”不存在！").arg(name), this);
        fillTemplates();
        return;
    }
    showPlan(plan);
    EditTemplateName->setText(name);
    dirty_ = false;
    // Chapters deleted since leave their cells behind silently, as they always did; a knowledge
    // point is more often reorganised, so its loss is told.
    if (kind == RowKind::Points && !vanished.isEmpty()) {
        MsgBox::show(QStringLiteral("模板“%1”中有%2个知识点已被删除，这些知识点所在行的题数没有打开，请检查细目表。")
                         .arg(name)
                         .arg(vanished.size()),
                     this);
    }
}

void BlueprintWindow::copyTemplate()
{
    const QString name = ComboBoxTemplate->currentText();
    if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("请选择要复制的模板！"), this);
        return;
    }
    const QString copied = store::copy(DM->db(), kmh_, name);
    fillTemplates(copied);
    EditTemplateName->setText(copied);
    MsgBox::show(QStringLiteral("已复制为模板“%1”。").arg(copied), this);
}

void BlueprintWindow::deleteTemplate()
{
    const QString name = ComboBoxTemplate->currentText();
    if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("请选择要删除的模板！"), this);
        return;
    }
    if (!MsgBox::confirmDestructive(QStringLiteral("确实要删除模板“%1”吗？").arg(name), this)) return;
    store::remove(DM->db(), kmh_, name);
    fillTemplates();
}

// ---- the menu command ---------------------------------------------------------------------------

namespace blueprint {

void openFromMenu(QWidget* parent)
{
    // Step 1 is created but not shown: step 2 reads the paper's settings from it as usual.
    auto* step1 = new TZtszF(parent);
    ZtszF = step1;
    BlueprintWindow window(parent);
    if (window.exec() == QDialog::Accepted) {
        window.handOver(step1);
        step1->openStepTwo(true);
    }
    if (!ui::terminating()) step1->deleteLater();
}

}  // namespace blueprint
