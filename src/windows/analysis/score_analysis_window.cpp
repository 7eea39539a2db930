#include "windows/analysis/score_analysis_window.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <stdexcept>

#include "content/fonts.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "output/paper_document.h"
#include "ui/busy.h"
#include "ui/controls.h"
#include "ui/handler.h"
#include "ui/message_box.h"
#include "ui/platform.h"
#include "windows/analysis/analysis_charts.h"
#include "windows/analysis/update_difficulty.h"

using namespace analysis;
using scoreanalysis::ItemTableModel;

namespace {

using ui::makeButton;

const char* const kHeaders[] = {"题号",  "题型",    "满分",     "平均分",
                                "难度P", "区分度D", "题总相关", "选项 高/低分组（*为答案）"};

// A sheet read through the busy window when it is this large; smaller ones take a blink.
constexpr qint64 kLargeSheetBytes = 512 * 1024;

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The program's own save dialog (not the desktop's): it asks before replacing a file and adds the
// suffix of the chosen type to a name typed without one.
QString askSavePath(QWidget* parent, const QString& caption, const QString& suggested,
                    const QVector<QPair<QString, QString>>& types)
{
    QFileDialog dialog(parent, caption);
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const auto& type : types) filters << type.first;
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(types.first().second);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, types](const QString& filter) {
        for (const auto& type : types) {
            if (type.first == filter) dialog.setDefaultSuffix(type.second);
        }
    });
    dialog.setDirectory(QFileInfo(suggested).absolutePath());
    dialog.selectFile(QFileInfo(suggested).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

QString groupsOf(const ReadSheet& sheet)
{
    QStringList groups;
    for (const Student& s : sheet.students) {
        if (!s.group.isEmpty() && !groups.contains(s.group)) groups << s.group;
    }
    return groups.join(QStringLiteral("、"));
}

}  // namespace

// ---- the per-question table -----------------------------------------------------------------

namespace scoreanalysis {

QColor ItemTableModel::flagColour()
{
    return QColor(0xFF, 0xC7, 0xCE);
}

void ItemTableModel::setAnalysis(const QVector<AnalysedQuestion>& questions, const Analysis* result)
{
    beginResetModel();
    questions_.clear();
    items_.clear();
    reasons_.clear();
    if (result && result->items.size() == questions.size()) {
        questions_ = questions;
        items_ = result->items;
        for (int i = 0; i < questions.size(); ++i) reasons_ << flagReasons(items_.at(i), questions.at(i).key);
    }
    endResetModel();
}

int ItemTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(questions_.size());
}

int ItemTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= questions_.size()) return {};
    const AnalysedQuestion& q = questions_.at(index.row());
    const ItemStats& item = items_.at(index.row());
    const FlagReasons& why = reasons_.at(index.row());
    const int column = index.column();
    const QString reason = column == Difficulty       ? why.difficulty
                           : column == Discrimination ? why.discrimination
                           : column == ItemRest       ? why.itemRest
                           : column == Options        ? why.options
                                                      : QString();
    switch (role) {
        case Qt::DisplayRole:
            switch (column) {
                case Number:
                    return q.number;
                case Type:
                    return q.typeName;
                case FullMarks:
                    return QString::number(q.fullMarks, 'g', 6);
                case Mean:
                    return figureText(item.mean);
                case Difficulty:
                    return figureText(item.difficulty);
                case Discrimination:
                    return figureText(item.discrimination);
                case ItemRest:
                    return figureText(item.itemRest);
                case Options:
                    return optionSharesText(item, q.key);
            }
            return {};
        case Qt::UserRole: {
            // Sorting: numbers as numbers, a figure that cannot be computed below every other.
            const auto number = [](double v) { return std::isfinite(v) ? v : -1e9; };
            switch (column) {
                case Number:
                    return q.number;
                case Type:
                    return q.typeName;
                case FullMarks:
                    return q.fullMarks;
                case Mean:
                    return number(item.mean);
                case Difficulty:
                    return number(item.difficulty);
                case Discrimination:
                    return number(item.discrimination);
                case ItemRest:
                    return number(item.itemRest);
                case Options:
                    return optionSharesText(item, q.key);
            }
            return {};
        }
        case Qt::BackgroundRole:
            if (!reason.isEmpty()) return flagColour();
            return {};
        case Qt::ToolTipRole:
            if (!reason.isEmpty()) return reason;
            if (column == Number && why.any()) return why.all().join(QLatin1Char('\n'));
            // The letters' shares are often wider than their column.
            if (column == Options && !item.options.isEmpty()) return optionSharesText(item, q.key);
            return {};
        case Qt::TextAlignmentRole:
            return int((column == Type || column == Options ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant ItemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return QString::fromUtf8(kHeaders[section]);
}

}  // namespace scoreanalysis

// ---- the window -----------------------------------------------------------------------------

TCjfxF::TCjfxF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CjfxF"));
    setWindowTitle(QStringLiteral("成绩分析"));
    setFont(fonts::song(12));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(1280, 820);

    EditBt = new QLineEdit(this);
    EditBt->setObjectName(QStringLiteral("EditBt"));
    EditKm = new QLineEdit(this);
    EditKm->setObjectName(QStringLiteral("EditKm"));
    ComboSj = new QComboBox(this);
    ComboSj->setObjectName(QStringLiteral("ComboSj"));
    ComboSj->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboSj->setMinimumContentsLength(30);
    LabelCount = new QLabel(this);
    LabelCount->setObjectName(QStringLiteral("LabelCount"));

    BtnDc = makeButton(QStringLiteral("导出成绩表…"), this, "BtnDc");
    BtnDr = makeButton(QStringLiteral("导入成绩…"), this, "BtnDr");
    BtnSck = makeButton(QStringLiteral("删除考试"), this, "BtnSck");
    BtnBg = makeButton(QStringLiteral("生成报告…"), this, "BtnBg");
    BtnGxnd = makeButton(QStringLiteral("更新难度…"), this, "BtnGxnd");
    BtnGb = makeButton(QStringLiteral("关闭"), this, "BtnGb");
    auto makeLine = [this](const char* name, int value) {
        auto* spin = new QSpinBox(this);
        spin->setObjectName(QString::fromLatin1(name));
        spin->setRange(1, 100);
        spin->setValue(value);
        spin->setSuffix(QStringLiteral(" %"));
        return spin;
    };
    SpinJgx = makeLine("SpinJgx", 60);
    SpinYxx = makeLine("SpinYxx", 85);

    TableKs = new QTableWidget(0, 3, this);
    TableKs->setObjectName(QStringLiteral("TableKs"));
    TableKs->setHorizontalHeaderLabels({QStringLiteral("考试日期"), QStringLiteral("班级"), QStringLiteral("人数")});
    TableKs->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableKs->setSelectionMode(QAbstractItemView::SingleSelection);
    TableKs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableKs->verticalHeader()->hide();
    TableKs->horizontalHeader()->setStretchLastSection(true);
    TableKs->setColumnWidth(0, 130);
    TableKs->setColumnWidth(1, 160);

    LabelTj = new QLabel(this);
    LabelTj->setObjectName(QStringLiteral("LabelTj"));
    LabelTj->setWordWrap(true);
    LabelTj->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelTj->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelTj->setFrameShape(QFrame::StyledPanel);
    LabelTj->setMargin(8);

    model_ = new ItemTableModel(this);
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(Qt::UserRole);
    TableTm = new QTableView(this);
    TableTm->setObjectName(QStringLiteral("TableTm"));
    TableTm->setModel(sorted_);
    TableTm->setSortingEnabled(true);
    TableTm->sortByColumn(scoreanalysis::Number, Qt::AscendingOrder);
    TableTm->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableTm->setSelectionMode(QAbstractItemView::SingleSelection);
    TableTm->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableTm->verticalHeader()->hide();
    TableTm->verticalHeader()->setDefaultSectionSize(24);
    const int widths[] = {44, 64, 44, 56, 54, 62, 66, 230};
    for (int c = 0; c < int(std::size(widths)); ++c) TableTm->setColumnWidth(c, widths[c]);
    TableTm->horizontalHeader()->setStretchLastSection(true);

    TabsTb = new QTabWidget(this);
    TabsTb->setObjectName(QStringLiteral("TabsTb"));
    ChartFb = scorecharts::makeView(new QChart, TabsTb);
    ChartFb->setObjectName(QStringLiteral("ChartFb"));
    ChartNd = scorecharts::makeView(new QChart, TabsTb);
    ChartNd->setObjectName(QStringLiteral("ChartNd"));
    ChartXx = scorecharts::makeView(new QChart, TabsTb);
    ChartXx->setObjectName(QStringLiteral("ChartXx"));
    TabsTb->addTab(ChartFb, QStringLiteral("分数分布"));
    TabsTb->addTab(ChartNd, QStringLiteral("难度—区分度"));
    TabsTb->addTab(ChartXx, QStringLiteral("选项分析"));

    // Layout: the paper and its actions on top; the sittings beside the paper's figures; the
    // per-question table beside the charts.
    auto* search = new QHBoxLayout;
    search->addWidget(new QLabel(QStringLiteral("标题："), this));
    search->addWidget(EditBt, 1);
    search->addWidget(new QLabel(QStringLiteral("科目："), this));
    search->addWidget(EditKm, 1);
    search->addWidget(new QLabel(QStringLiteral("试卷："), this));
    search->addWidget(ComboSj, 3);
    search->addWidget(LabelCount);
    auto* actions = new QHBoxLayout;
    for (QPushButton* b : {BtnDc, BtnDr, BtnSck}) actions->addWidget(b);
    actions->addSpacing(16);
    actions->addWidget(new QLabel(QStringLiteral("及格线："), this));
    actions->addWidget(SpinJgx);
    actions->addWidget(new QLabel(QStringLiteral("优秀线："), this));
    actions->addWidget(SpinYxx);
    actions->addStretch();
    actions->addWidget(BtnGxnd);
    actions->addWidget(BtnBg);
    actions->addWidget(BtnGb);
    auto* upper = new QHBoxLayout;
    upper->addWidget(TableKs, 2);
    upper->addWidget(LabelTj, 3);
    auto* lower = new QSplitter(Qt::Horizontal, this);
    lower->setObjectName(QStringLiteral("SplitterTb"));
    lower->addWidget(TableTm);
    lower->addWidget(TabsTb);
    lower->setStretchFactor(0, 1);
    lower->setStretchFactor(1, 1);
    lower->setSizes({640, 600});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addLayout(actions);
    layout->addLayout(upper);
    layout->addWidget(lower, 1);
    TableKs->setMaximumHeight(150);
    LabelTj->setMaximumHeight(150);

    connect(EditBt, &QLineEdit::textChanged, this, ui::guard([this] { Search(); }));
    connect(EditKm, &QLineEdit::textChanged, this, ui::guard([this] { Search(); }));
    connect(ComboSj, &QComboBox::currentIndexChanged, this, ui::guard([this] {
                if (!filling_) loadPaper();
            }));
    connect(TableKs, &QTableWidget::itemChanged, this, ui::guard([this] {
                if (!filling_) Analyse();
            }));
    connect(SpinJgx, &QSpinBox::valueChanged, this, ui::guard([this] { Analyse(); }));
    connect(SpinYxx, &QSpinBox::valueChanged, this, ui::guard([this] { Analyse(); }));
    connect(TableTm->selectionModel(), &QItemSelectionModel::currentRowChanged, this, ui::guard([this] {
                const QModelIndex index = sorted_->mapToSource(TableTm->currentIndex());
                if (index.isValid() && index.row() != optionsQuestion_) showOptionsOf(index.row());
            }));
    connect(BtnDc, &QPushButton::clicked, this, ui::guard([this] { BtnDcClick(); }));
    connect(BtnDr, &QPushButton::clicked, this, ui::guard([this] { BtnDrClick(); }));
    connect(BtnSck, &QPushButton::clicked, this, ui::guard([this] { BtnSckClick(); }));
    connect(BtnBg, &QPushButton::clicked, this, ui::guard([this] { BtnBgClick(); }));
    connect(BtnGxnd, &QPushButton::clicked, this, ui::guard([this] { BtnGxndClick(); }));
    connect(BtnGb, &QPushButton::clicked, this, &QDialog::close);

    ui::run([this] { Search(); });
}

void TCjfxF::Search()
{
    const qint64 current = currentPaperId();
    const library::PaperList rows = library::readPaperList(DM->db(), EditBt->text(), EditKm->text());
    filling_ = true;
    ComboSj->clear();
    paperIds_.clear();
    for (int r = 0; r < rows.size(); ++r) {
        // Title (subject, the day it was composed)
        ComboSj->addItem(
            QStringLiteral("%1（%2，%3）").arg(rows.field(r, 0), rows.field(r, 1), rows.field(r, 5).left(10)));
        paperIds_ << rows.id(r);
    }
    filling_ = false;
    LabelCount->setText(QStringLiteral("共 %1 份试卷").arg(rows.size()));
    selectPaper(current);
}

void TCjfxF::selectPaper(qint64 id)
{
    int index = paperIds_.indexOf(id);
    if (index < 0) index = paperIds_.isEmpty() ? -1 : 0;
    filling_ = true;
    ComboSj->setCurrentIndex(index);
    filling_ = false;
    if (currentPaperId() != paper_.id || paper_.id < 0) loadPaper();
}

qint64 TCjfxF::currentPaperId() const
{
    const int index = ComboSj->currentIndex();
    return index >= 0 && index < paperIds_.size() ? paperIds_.at(index) : -1;
}

void TCjfxF::loadPaper()
{
    const qint64 id = currentPaperId();
    paper_ = library::StoredPaper();
    sheet_.clear();
    questions_.clear();
    loaded_.clear();
    optionsQuestion_ = -1;
    if (id >= 0) {
        paper_ = library::loadPaper(DM->db(), id);
        sheet_ = sheetQuestions(paper_);
        int number = 0;
        for (const library::StoredSection& section : paper_.sections) {
            for (int i = 0; i < section.questions.size() && number < sheet_.size(); ++i) {
                const SheetQuestion& column = sheet_.at(number);
                questions_.append({number + 1, section.typeName, column.fullMarks, column.key});
                ++number;
            }
        }
    }
    fillSittings();
    Analyse();
}

void TCjfxF::fillSittings(qint64 tick)
{
    // Ticks stay as the user left them; a sitting new to the list is ticked.
    QSet<qint64> unticked;
    for (int r = 0; r < TableKs->rowCount(); ++r) {
        const QTableWidgetItem* item = TableKs->item(r, 0);
        if (item && item->checkState() != Qt::Checked) unticked.insert(item->data(Qt::UserRole).toLongLong());
    }
    unticked.remove(tick);
    sittings_ = paper_.id >= 0 ? listSittings(DM->db(), paper_.id) : QVector<SittingInfo>();
    filling_ = true;
    TableKs->setRowCount(0);
    TableKs->setRowCount(int(sittings_.size()));
    for (int r = 0; r < sittings_.size(); ++r) {
        const SittingInfo& s = sittings_.at(r);
        auto* date = new QTableWidgetItem(s.heldOn);
        date->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        date->setCheckState(unticked.contains(s.id) ? Qt::Unchecked : Qt::Checked);
        date->setData(Qt::UserRole, s.id);
        date->setToolTip(QStringLiteral("导入：%1 %2").arg(s.createdAt, s.createdBy));
        auto* group = new QTableWidgetItem(s.group);
        auto* count = new QTableWidgetItem(QString::number(s.students));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        TableKs->setItem(r, 0, date);
        TableKs->setItem(r, 1, group);
        TableKs->setItem(r, 2, count);
    }
    filling_ = false;
    for (auto it = loaded_.begin(); it != loaded_.end();) {
        const bool listed =
            std::any_of(sittings_.cbegin(), sittings_.cend(), [&](const SittingInfo& s) { return s.id == it.key(); });
        it = listed ? std::next(it) : loaded_.erase(it);
    }
}

QVector<qint64> TCjfxF::tickedSittings() const
{
    QVector<qint64> ids;
    for (int r = 0; r < TableKs->rowCount(); ++r) {
        const QTableWidgetItem* item = TableKs->item(r, 0);
        if (item && item->checkState() == Qt::Checked) ids << item->data(Qt::UserRole).toLongLong();
    }
    return ids;
}

void TCjfxF::setTicked(qint64 sittingId, bool ticked)
{
    for (int r = 0; r < TableKs->rowCount(); ++r) {
        QTableWidgetItem* item = TableKs->item(r, 0);
        if (item && item->data(Qt::UserRole).toLongLong() == sittingId) {
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        }
    }
}

void TCjfxF::clearAnalysis(const QString& why)
{
    result_.reset();
    sitting_ = Sitting();
    model_->setAnalysis({}, nullptr);
    LabelTj->setText(why);
    for (QChartView* view : {ChartFb, ChartNd, ChartXx}) {
        auto* chart = new QChart;
        chart->setTitle(why);
        QChart* old = view->chart();
        view->setChart(chart);
        delete old;
    }
}

void TCjfxF::Analyse()
{
    if (paper_.id < 0) {
        const bool filtered = !EditBt->text().isEmpty() || !EditKm->text().isEmpty();
        clearAnalysis(filtered ? QStringLiteral("没有标题和科目符合条件的试卷。")
                               : QStringLiteral("试卷库中没有试卷。成绩分析针对试卷库中保存的试卷。"));
        return;
    }
    if (questions_.isEmpty()) {
        clearAnalysis(QStringLiteral("这份试卷没有题目，无法分析。"));
        return;
    }
    if (sittings_.isEmpty()) {
        clearAnalysis(
            QStringLiteral("这份试卷还没有成绩。请按“导出成绩表…”写出成绩表，由老师填好后按“导入成绩…”读入。"));
        return;
    }
    const QVector<qint64> ids = tickedSittings();
    if (ids.isEmpty()) {
        clearAnalysis(QStringLiteral("请在左边的考试列表中勾选要分析的考试。"));
        return;
    }
    QVector<StoredSitting> chosen;
    for (qint64 id : ids) {
        if (!loaded_.contains(id)) loaded_.insert(id, loadSitting(DM->db(), id));
        chosen << loaded_.value(id);
    }
    Sitting combined = combine(paper_, chosen);
    Analysis analysed;
    try {
        analysed = analyse(combined, SpinJgx->value() / 100.0, SpinYxx->value() / 100.0);
    } catch (const std::invalid_argument& e) {
        clearAnalysis(QStringLiteral("所选考试的成绩无法分析。"));
        throw AppError(
            QStringLiteral("所选考试的成绩与试卷的题目不符，无法分析（%1）。").arg(QString::fromUtf8(e.what())));
    }
    sitting_ = std::move(combined);
    result_ = std::move(analysed);
    model_->setAnalysis(questions_, &*result_);

    QStringList figures;
    for (const auto& [label, value] : paperFigures(result_->paper)) {
        figures << (label.startsWith(QStringLiteral("Cronbach")) ? QStringLiteral("%1 = %2").arg(label, value)
                                                                 : QStringLiteral("%1 %2").arg(label, value));
    }
    int flagged = 0;
    for (int i = 0; i < questions_.size(); ++i) {
        if (flagReasons(result_->items.at(i), questions_.at(i).key).any()) ++flagged;
    }
    QString text = QStringLiteral("<b>%1</b>　（%2 次考试，总分 %3 分）<br>")
                       .arg(paper_.title.toHtmlEscaped())
                       .arg(ids.size())
                       .arg(QString::number(result_->paper.total, 'g', 6));
    text += figures.mid(0, 6).join(QStringLiteral("　")) + QStringLiteral("<br>");
    text += figures.mid(6).join(QStringLiteral("　")) + QStringLiteral("<br>");
    text += flagged == 0
                ? QStringLiteral("没有需要注意的题目。")
                : QStringLiteral(
                      "<span style=\"background:%1\">　　</span> %2 道题需要注意：把鼠标停在着色的格子上可看原因。")
                      .arg(ItemTableModel::flagColour().name())
                      .arg(flagged);
    LabelTj->setText(text);

    // The options chart keeps its question while it is a choice question; else the first one.
    if (optionsQuestion_ < 0 || optionsQuestion_ >= questions_.size() || questions_.at(optionsQuestion_).key.isNull()) {
        optionsQuestion_ = -1;
        for (int i = 0; i < questions_.size() && optionsQuestion_ < 0; ++i) {
            if (!questions_.at(i).key.isNull()) optionsQuestion_ = i;
        }
    }
    showCharts();
}

void TCjfxF::showOptionsOf(int question)
{
    if (!result_ || question < 0 || question >= questions_.size()) return;
    optionsQuestion_ = question;
    QChart* old = ChartXx->chart();
    ChartXx->setChart(scorecharts::optionsChart(result_->items.at(question), questions_.at(question)));
    delete old;
}

void TCjfxF::showCharts()
{
    const auto replace = [](QChartView* view, QChart* chart) {
        QChart* old = view->chart();
        view->setChart(chart);
        delete old;
    };
    replace(ChartFb, scorecharts::distributionChart(sitting_, result_->paper));
    replace(ChartNd, scorecharts::scatterChart(*result_, questions_));
    if (optionsQuestion_ >= 0) {
        showOptionsOf(optionsQuestion_);
    } else {
        auto* chart = new QChart;
        chart->setTitle(QStringLiteral("这份试卷没有选择题，没有选项分析。"));
        replace(ChartXx, chart);
    }
}

QString TCjfxF::defaultFileName(const QString& suffix) const
{
    return QDir::current().filePath(fileBaseName(paper_.title) + suffix);
}

void TCjfxF::BtnDcClick()
{
    if (paper_.id < 0) {
        MsgBox::show(QStringLiteral("请先选择一份试卷！"), this);
        return;
    }
    if (sheet_.isEmpty()) {
        MsgBox::show(QStringLiteral("这份试卷没有题目，没有成绩表可以导出！"), this);
        return;
    }
    const QString path = askSavePath(this, QStringLiteral("导出成绩表"), defaultFileName(QStringLiteral("成绩表.xlsx")),
                                     {{QStringLiteral("Excel 工作簿 (*.xlsx)"), QStringLiteral("xlsx")},
                                      {QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("csv")}});
    if (path.isEmpty()) return;
    writeEmptySheet(path, sheet_);
    MsgBox::show(QStringLiteral("成绩表已导出到：%1\n请在表中每名学生填一行：学号、姓名、班级和各题得分"
                                "（选择题可填所选字母），填好后用“导入成绩…”读入。")
                     .arg(native(path)),
                 this);
}

void TCjfxF::BtnDrClick()
{
    if (paper_.id < 0) {
        MsgBox::show(QStringLiteral("请先选择一份试卷！"), this);
        return;
    }
    if (sheet_.isEmpty()) {
        MsgBox::show(QStringLiteral("这份试卷没有题目，无法导入成绩！"), this);
        return;
    }
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("导入成绩"), QDir::currentPath(),
                                                      QStringLiteral("成绩表 (*.xlsx *.csv);;所有文件 (*)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return;
    const QString name = QFileInfo(path).fileName();
    ReadSheet sheet;
    {
        ui::Busy busy(QStringLiteral("正在读取成绩表“%1”……").arg(name), this,
                      QFileInfo(path).size() >= kLargeSheetBytes);
        sheet = readSheetFile(path, sheet_);
    }
    int skipped = 0;
    if (!sheet.clean()) {
        TCjwtF problems(sheet, name, this);
        if (problems.exec() != QDialog::Accepted || sheet.students.isEmpty()) return;
        QSet<int> rows;
        for (const Problem& p : sheet.problems) rows.insert(p.row);
        skipped = int(rows.size());
    }
    if (sheet.students.isEmpty()) {
        MsgBox::show(QStringLiteral("成绩表“%1”中没有学生的成绩，没有导入。").arg(name), this);
        return;
    }
    TKsxxF info(sheet, this);
    if (info.exec() != QDialog::Accepted) return;

    StoredSitting sitting;
    sitting.info.paperId = paper_.id;
    sitting.info.heldOn = info.heldOn().toString(QStringLiteral("yyyy-MM-dd"));
    sitting.info.group = info.group();
    sitting.students = sheet.students;
    const qint64 id = storeSitting(DM->db(), paper_, sitting);
    fillSittings(id);
    Analyse();
    QString note =
        QStringLiteral("已导入 %1 名学生的成绩（%2）。").arg(sitting.students.size()).arg(sittingText(sitting.info));
    if (skipped > 0) note += QStringLiteral("\n有错误的 %1 行没有导入。").arg(skipped);
    MsgBox::show(note, this);
}

void TCjfxF::BtnSckClick()
{
    const int row = TableKs->currentRow();
    if (row < 0 || row >= sittings_.size()) {
        MsgBox::show(QStringLiteral("请先在考试列表中选择要删除的考试！"), this);
        return;
    }
    const SittingInfo sitting = sittings_.at(row);
    if (!MsgBox::confirmDestructive(
            QStringLiteral("确实要删除考试“%1”的全部成绩吗？删除后无法恢复。").arg(sittingText(sitting)), this)) {
        return;
    }
    deleteSitting(DM->db(), sitting.id);
    loaded_.remove(sitting.id);
    fillSittings();
    Analyse();
}

analysis::ReportData TCjfxF::reportData() const
{
    ReportData report;
    report.paperTitle = paper_.title;
    const QVector<qint64> ids = tickedSittings();
    for (const SittingInfo& s : sittings_) {
        if (ids.contains(s.id)) report.sittings << s;
    }
    report.passShare = SpinJgx->value() / 100.0;
    report.excellentShare = SpinYxx->value() / 100.0;
    report.questions = questions_;
    report.analysis = *result_;
    report.charts.append({QStringLiteral("总分分布与正态曲线"),
                          scorecharts::render(scorecharts::distributionChart(sitting_, result_->paper))});
    report.charts.append(
        {QStringLiteral("各题难度与区分度"), scorecharts::render(scorecharts::scatterChart(*result_, questions_))});
    // The choice question shown in the window, else the first one with letters; none when no
    // choice question was answered by letters.
    const auto hasLetters = [this](int i) {
        return !questions_.at(i).key.isNull() && !result_->items.at(i).options.isEmpty();
    };
    int choice = optionsQuestion_ >= 0 && hasLetters(optionsQuestion_) ? optionsQuestion_ : -1;
    for (int i = 0; i < questions_.size() && choice < 0; ++i) {
        if (hasLetters(i)) choice = i;
    }
    if (choice >= 0) {
        report.charts.append(
            {QStringLiteral("第 %1 题的选项分析").arg(questions_.at(choice).number),
             scorecharts::render(scorecharts::optionsChart(result_->items.at(choice), questions_.at(choice)))});
    }
    return report;
}

void TCjfxF::BtnGxndClick()
{
    if (currentPaperId() < 0) {
        MsgBox::show(QStringLiteral("请先选择一份试卷！"), this);
        return;
    }
    // The measurements of every stored sitting of the paper's questions, as 录入试题 shows them.
    UpdateDifficultyDialog* dialog = UpdateDifficultyDialog::forPaper(DM->db(), currentPaperId(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->exec();
}

void TCjfxF::BtnBgClick()
{
    if (!result_) {
        MsgBox::show(QStringLiteral("还没有可以写进报告的分析：请先导入成绩并勾选要分析的考试！"), this);
        return;
    }
    const QString path =
        askSavePath(this, QStringLiteral("生成成绩分析报告"), defaultFileName(QStringLiteral("成绩分析.docx")),
                    {{QStringLiteral("Word 文档 (*.docx)"), QStringLiteral("docx")}});
    if (path.isEmpty()) return;
    {
        ui::Busy busy(QStringLiteral("正在生成成绩分析报告……"), this, false);
        writeReport(path, reportData());
    }
    if (!platform::openDocument(path)) {
        MsgBox::show(QStringLiteral("成绩分析报告已保存到：%1").arg(native(path)), this);
    }
}

// ---- the problems of a sheet ----------------------------------------------------------------

TCjwtF::TCjwtF(const ReadSheet& sheet, const QString& fileName, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CjwtF"));
    setWindowTitle(QStringLiteral("成绩表有错误"));
    setFont(fonts::song(12));
    resize(640, 420);
    QSet<int> rows;
    for (const Problem& p : sheet.problems) rows.insert(p.row);
    // A sheet wrong throughout lists its first bad cells only (the reader keeps a thousand).
    QString text = sheet.problemCount > sheet.problems.size()
                       ? QStringLiteral("成绩表“%1”中有 %2 处错误，下面列出前 %3 处。")
                             .arg(fileName)
                             .arg(sheet.problemCount)
                             .arg(sheet.problems.size())
                       : QStringLiteral("成绩表“%1”中有 %2 处错误（%3 行）。")
                             .arg(fileName)
                             .arg(sheet.problemCount)
                             .arg(rows.size());
    text += sheet.students.isEmpty()
                ? QStringLiteral("\n没有一行是完全正确的，请改正后重新导入。")
                : QStringLiteral("\n可以取消导入，改正后重新导入；也可以跳过这些行，只导入其余 %1 名学生的成绩。")
                      .arg(sheet.students.size());
    LabelWt = new QLabel(text, this);
    LabelWt->setObjectName(QStringLiteral("LabelWt"));
    LabelWt->setWordWrap(true);
    MemoWt = new QPlainTextEdit(this);
    MemoWt->setObjectName(QStringLiteral("MemoWt"));
    MemoWt->setReadOnly(true);
    QStringList lines;
    for (const Problem& p : sheet.problems)
        lines << QStringLiteral("第%1行第%2列：%3").arg(p.row).arg(p.column).arg(p.message);
    MemoWt->setPlainText(lines.join(QLatin1Char('\n')));
    BtnTg = nullptr;
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    if (!sheet.students.isEmpty()) {
        BtnTg = makeButton(QStringLiteral("跳过这些行"), this, "BtnTg");
        buttons->addWidget(BtnTg);
        connect(BtnTg, &QPushButton::clicked, this, &QDialog::accept);
    }
    BtnQx = makeButton(QStringLiteral("取消"), this, "BtnQx");
    BtnQx->setDefault(true);
    buttons->addWidget(BtnQx);
    connect(BtnQx, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelWt);
    layout->addWidget(MemoWt, 1);
    layout->addLayout(buttons);
}

// ---- the date and group of a sitting --------------------------------------------------------

TKsxxF::TKsxxF(const ReadSheet& sheet, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("KsxxF"));
    setWindowTitle(QStringLiteral("考试信息"));
    setFont(fonts::song(12));
    LabelRs = new QLabel(QStringLiteral("成绩表中有 %1 名学生的成绩。").arg(sheet.students.size()), this);
    LabelRs->setObjectName(QStringLiteral("LabelRs"));
    DateKs = new QDateEdit(QDate::currentDate(), this);
    DateKs->setObjectName(QStringLiteral("DateKs"));
    DateKs->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DateKs->setCalendarPopup(true);
    EditBj = new QLineEdit(groupsOf(sheet), this);
    EditBj->setObjectName(QStringLiteral("EditBj"));
    EditBj->setMaxLength(100);
    EditBj->setPlaceholderText(QStringLiteral("如：高一（1）班"));
    EditBj->setMinimumWidth(280);
    BtnOk = makeButton(QStringLiteral("确定"), this, "BtnOk");
    BtnOk->setDefault(true);
    BtnCancel = makeButton(QStringLiteral("取消"), this, "BtnCancel");
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("考试日期："), this), 0, 0);
    grid->addWidget(DateKs, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("班级："), this), 1, 0);
    grid->addWidget(EditBj, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelRs);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QDate TKsxxF::heldOn() const
{
    return DateKs->date();
}

QString TKsxxF::group() const
{
    return EditBj->text().simplified();
}
