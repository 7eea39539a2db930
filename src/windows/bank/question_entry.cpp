#include "windows/bank/question_entry.h"

#include <QBuffer>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QTimer>

#include "analysis/sitting_store.h"
#include "content/content.h"
#include "content/fonts.h"
#include "data/convert.h"
#include "data/current_user.h"
#include "data/data_module.h"
#include "data/knowledge_points.h"
#include "data/lookups.h"
#include "data/numbering.h"
#include "data/question_fields.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "library/paper_store.h"
#include "ui/controls.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "ui/handler.h"
#include "ui/key_filters.h"
#include "ui/message_box.h"
#include "ui/platform.h"
#include "ui/points_completer.h"
#include "windows/bank/bank_common.h"
#include "windows/bank/duplicate_dialog.h"
#include "windows/content/content_preview.h"
#include "windows/content/formula_editor.h"
#include "windows/content/picture_size_dialog.h"

namespace {

using ui::makeLabel;

// How much wider the left column (subject, type, searches, grid) is than it was before the grid
// showed the first line of each question; the right part moves over by as much.
constexpr int kLeftWider = 120;

QFrame* makePanel(QWidget* parent, const QString& name)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    return panel;
}

QComboBox* makeBox(QWidget* parent, const QString& name)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // No completion: a typed name must stay exactly as typed (names differing in case are distinct).
    box->setCompleter(nullptr);
    return box;
}

}  // namespace

TLrstF::TLrstF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LrstF"));
    setWindowTitle(QStringLiteral("录入试题"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setFont(fonts::song(12));

    Panel1 = makePanel(this, QStringLiteral("Panel1"));
    LabelKm = makeLabel(QStringLiteral("科目："), Panel1, QStringLiteral("LabelKm"));
    ComboBoxKm = makeBox(Panel1, QStringLiteral("ComboBoxKm"));
    LabelTx = makeLabel(QStringLiteral("题型："), Panel1, QStringLiteral("LabelTx"));
    ComboBoxTx = makeBox(Panel1, QStringLiteral("ComboBoxTx"));
    LabelSs1 = makeLabel(QStringLiteral("搜索第"), Panel1, QStringLiteral("LabelSs1"));
    EditTh = new QLineEdit(Panel1);
    EditTh->setObjectName(QStringLiteral("EditTh"));
    // Numbers go past 999 as a type grows (a type may hold 100,000 questions and more), and every
    // one of them can be searched for.
    EditTh->setMaxLength(7);
    LabelSs2 = makeLabel(QStringLiteral("题"), Panel1, QStringLiteral("LabelSs2"));
    BtnSs = new QPushButton(QStringLiteral("搜索"), Panel1);
    BtnSs->setObjectName(QStringLiteral("BtnSs"));
    EditSs = new QLineEdit(Panel1);
    EditSs->setObjectName(QStringLiteral("EditSs"));
    EditSs->setPlaceholderText(QStringLiteral("搜索题目和答案…"));
    EditSs->setClearButtonEnabled(true);
    ComboBoxSsZj = new QComboBox(Panel1);
    ComboBoxSsZj->setObjectName(QStringLiteral("ComboBoxSsZj"));
    ComboBoxSsZj->addItem(QStringLiteral("全部章节"));
    ComboBoxSsNd = new QComboBox(Panel1);
    ComboBoxSsNd->setObjectName(QStringLiteral("ComboBoxSsNd"));
    ComboBoxSsNd->addItems({QStringLiteral("全部难度"), QStringLiteral("易"), QStringLiteral("较易"),
                            QStringLiteral("中等"), QStringLiteral("较难"), QStringLiteral("难")});
    LabelSsjg = makeLabel(QString(), Panel1, QStringLiteral("LabelSsjg"));
    LabelSsZsd = makeLabel(QStringLiteral("知识点："), Panel1, QStringLiteral("LabelSsZsd"));
    ComboBoxSsZsd = new QComboBox(Panel1);
    ComboBoxSsZsd->setObjectName(QStringLiteral("ComboBoxSsZsd"));
    ComboBoxSsZsd->addItem(QStringLiteral("全部知识点"), qint64(0));

    DBGrid1 = new DBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataset(DM->ADOQuerySt, {{QStringLiteral("TH"), QStringLiteral("题号"), 33},
                                         {QStringLiteral("ND"), QStringLiteral("难度"), 40},
                                         {QStringLiteral("FS"), QStringLiteral("分数"), 36},
                                         {QStringLiteral("TIME"), QStringLiteral("录入时间"), 70},
                                         {QStringLiteral("TMH"), QStringLiteral("题目"), 140,
                                          [](const QString& text) { return content::firstLine(text); }}});
    // The questions found by the search stand out in the grid.
    DBGrid1->datasetModel()->rowBackground = [this](int row) -> QVariant {
        if (matchIds_.isEmpty()) return {};
        Dataset* q = DM->ADOQuerySt;
        const int id = q->fieldIndex(QStringLiteral("id"));
        if (id < 0 || !matchIds_.contains(q->valueAt(row, id).toLongLong())) return {};
        return QColor(255, 236, 150);
    };

    Panel2 = makePanel(this, QStringLiteral("Panel2"));
    LabelZjxt = makeLabel(QStringLiteral("增加新题："), Panel2, QStringLiteral("LabelZjxt"));
    LabelZjxt1 = makeLabel(QStringLiteral("直接输入题目信息，按<新题"), Panel2, QStringLiteral("LabelZjxt1"));
    LabelZjxt2 = makeLabel(QStringLiteral("入库>；"), Panel2, QStringLiteral("LabelZjxt2"));
    LabelGgyt = makeLabel(QStringLiteral("更改原题："), Panel2, QStringLiteral("LabelGgyt"));
    LabelGgyt1 = makeLabel(QStringLiteral("输入新内容，按<原题更改>；"), Panel2, QStringLiteral("LabelGgyt1"));
    LabelScst = makeLabel(QStringLiteral("删除试题："), Panel2, QStringLiteral("LabelScst"));
    LabelScst1 = makeLabel(QStringLiteral("选中试题，按<试题删除>；"), Panel2, QStringLiteral("LabelScst1"));

    Panel3 = makePanel(this, QStringLiteral("Panel3"));
    LabelZj = makeLabel(QStringLiteral("章节："), Panel3, QStringLiteral("LabelZj"));
    ComboBoxZj = makeBox(Panel3, QStringLiteral("ComboBoxZj"));
    LabelFs = makeLabel(QStringLiteral("分数："), Panel3, QStringLiteral("LabelFs"));
    EditFs = new QLineEdit(Panel3);
    EditFs->setObjectName(QStringLiteral("EditFs"));
    EditFs->setMaxLength(fields::kScoreDigits);
    LabelNd = makeLabel(QStringLiteral("难度："), Panel3, QStringLiteral("LabelNd"));
    ComboBoxNd = makeBox(Panel3, QStringLiteral("ComboBoxNd"));
    ComboBoxNd->addItems(fields::difficulties());
    ComboBoxNd->setCurrentIndex(0);
    LabelSyqk = makeLabel(QString(), Panel3, QStringLiteral("LabelSyqk"));
    LabelSdNd = makeLabel(QString(), Panel3, QStringLiteral("LabelSdNd"));
    LabelZsd = makeLabel(QStringLiteral("知识点："), Panel3, QStringLiteral("LabelZsd"));
    EditZsd = new QLineEdit(Panel3);
    EditZsd->setObjectName(QStringLiteral("EditZsd"));
    EditZsd->setPlaceholderText(QStringLiteral("多个用“，”隔开"));
    attachCompleter();
    LabelZsdts = makeLabel(QString(), this, QStringLiteral("LabelZsdts"));
    {
        QPalette palette = LabelZsdts->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 100, 0));
        LabelZsdts->setPalette(palette);
    }

    LabelTm = makeLabel(QStringLiteral("题目内容：（请在下面编辑试题内容）"), this, QStringLiteral("LabelTm"));
    MemoTm = new QPlainTextEdit(this);
    MemoTm->setObjectName(QStringLiteral("MemoTm"));
    LabelDa = makeLabel(QStringLiteral("答案：（请在下面输入试题的解析和答案）"), this, QStringLiteral("LabelDa"));
    MemoDa = new QPlainTextEdit(this);
    MemoDa->setObjectName(QStringLiteral("MemoDa"));
    for (QPlainTextEdit* memo : {MemoTm, MemoDa}) memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    BtnXtrk = new QPushButton(QStringLiteral("新题入库"), this);
    BtnXtrk->setObjectName(QStringLiteral("BtnXtrk"));
    BtnYtgg = new QPushButton(QStringLiteral("原题更改"), this);
    BtnYtgg->setObjectName(QStringLiteral("BtnYtgg"));
    BtnStsc = new QPushButton(QStringLiteral("试题删除"), this);
    BtnStsc->setObjectName(QStringLiteral("BtnStsc"));
    BtnGb = new QPushButton(QStringLiteral("关闭退出"), this);
    BtnGb->setObjectName(QStringLiteral("BtnGb"));
    for (QPushButton* b : {BtnSs, BtnXtrk, BtnYtgg, BtnStsc, BtnGb}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);

    // Digits only, also for pasted text; typed characters are filtered (with a beep) by eventFilter.
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    EditTh->setValidator(new QRegularExpressionValidator(digits, EditTh));
    EditFs->setValidator(new QRegularExpressionValidator(digits, EditFs));
    EditTh->installEventFilter(this);
    EditFs->installEventFilter(this);
    EditSs->installEventFilter(this);
    auto filterChanged = ui::guard([this] {
        if (loading_) return;
        forgetSearch();
        if (!EditSs->text().trimmed().isEmpty()) EditSsReturn();
    });
    connect(ComboBoxSsZj, &QComboBox::activated, this, filterChanged);
    connect(ComboBoxSsNd, &QComboBox::activated, this, filterChanged);
    // A point limits the grid as well as the search.
    connect(ComboBoxSsZsd, &QComboBox::activated, this, ui::guard([this] {
                if (loading_) return;
                forgetSearch();
                ComboBoxTxChange();
                if (!EditSs->text().trimmed().isEmpty()) EditSsReturn();
            }));
    connect(EditSs, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.trimmed().isEmpty()) forgetSearch();
    });

    auto subjectChanged = ui::guard([this] {
        if (!loading_) ComboBoxKmChange();
    });
    connect(ComboBoxKm, &QComboBox::editTextChanged, this, subjectChanged);
    connect(ComboBoxKm, &QComboBox::activated, this, subjectChanged);
    auto typeChanged = ui::guard([this] {
        if (!loading_) ComboBoxTxChange();
    });
    connect(ComboBoxTx, &QComboBox::editTextChanged, this, typeChanged);
    connect(ComboBoxTx, &QComboBox::activated, this, typeChanged);
    connect(DBGrid1, &DBGrid::cellClicked, this, ui::guard([this] { DBGrid1CellClick(); }));
    connect(DBGrid1, &DBGrid::keyDown, this, ui::guard([this] { DBGrid1KeyUp(); }));
    connect(DBGrid1, &DBGrid::keyUp, this, ui::guard([this] { DBGrid1KeyUp(); }));
    connect(BtnSs, &QPushButton::clicked, this, ui::guard([this] { BtnSsClick(); }));
    connect(BtnXtrk, &QPushButton::clicked, this, ui::guard([this] { BtnXtrkClick(); }));
    connect(BtnYtgg, &QPushButton::clicked, this, ui::guard([this] { BtnYtggClick(); }));
    connect(BtnStsc, &QPushButton::clicked, this, ui::guard([this] { BtnStscClick(); }));
    connect(BtnGb, &QPushButton::clicked, this, ui::guard([this] { BtnGbClick(); }));
    auto edited = [this] { EditorChange(); };
    connect(MemoTm, &QPlainTextEdit::textChanged, this, edited);
    connect(MemoDa, &QPlainTextEdit::textChanged, this, edited);
    connect(ComboBoxZj, &QComboBox::editTextChanged, this, edited);
    connect(EditFs, &QLineEdit::textChanged, this, edited);
    connect(ComboBoxNd, &QComboBox::editTextChanged, this, edited);
    connect(EditZsd, &QLineEdit::textChanged, this, [this] {
        EditorChange();
        if (!loading_) showNewPoints();
    });
    connect(Timer1, &QTimer::timeout, this, ui::guard([this] { Timer1Timer(); }));

    FormCreate();
    createContentTools();
    move(0, 25);
}

TLrstF::~TLrstF()
{
    // The completer goes first: its popup lives as a child of the field, and a completer that
    // outlives them reaches for the popup when it is destroyed.
    delete EditZsd->completer();
}

void TLrstF::attachCompleter()
{
    if (EditZsd->completer()) return;
    auto* completer = new ui::PointsCompleter(this);
    completer->setPaths(knownPaths_);
    EditZsd->setCompleter(completer);
}

void TLrstF::hideEvent(QHideEvent* event)
{
    delete EditZsd->completer();
    QDialog::hideEvent(event);
}

void TLrstF::FormCreate()
{
    constexpr int left = 232 + kLeftWider;
    constexpr int x = kLeftWider;
    // The left column's row of the 知识点 filter makes the window that much taller; the grid keeps its height.
    constexpr int y = 28;
    resize(800 + x, 535 + y);
    // Left column: subject, type and the two searches; the grid; the hints.
    Panel1->setGeometry(0, 0, left, 126 + y);
    LabelKm->setGeometry(8, 12, 40, 15);
    ComboBoxKm->setGeometry(50, 8, 174, 23);
    LabelTx->setGeometry(8, 40, 40, 15);
    ComboBoxTx->setGeometry(50, 36, 174, 23);
    LabelSs1->setGeometry(8, 70, 40, 15);
    EditTh->setGeometry(50, 66, 56, 23);
    LabelSs2->setGeometry(110, 70, 14, 15);
    BtnSs->setGeometry(149, 65, 75, 25);
    EditSs->setGeometry(8, 96, 144, 23);
    ComboBoxSsZj->setGeometry(156, 96, 98, 23);
    ComboBoxSsNd->setGeometry(258, 96, 86, 23);
    LabelSsjg->setGeometry(232, 70, 116, 15);
    LabelSsZsd->setGeometry(8, 128, 48, 15);
    ComboBoxSsZsd->setGeometry(56, 124, 288, 23);
    DBGrid1->setGeometry(0, 126 + y, left, 266);
    Panel2->setGeometry(0, 392 + y, left, 112);
    LabelZjxt->setGeometry(4, 12, 62, 15);
    LabelZjxt1->setGeometry(66, 12, 164, 15);
    LabelZjxt2->setGeometry(66, 30, 164, 15);
    LabelGgyt->setGeometry(4, 54, 62, 15);
    LabelGgyt1->setGeometry(66, 54, 164, 15);
    LabelScst->setGeometry(4, 82, 62, 15);
    LabelScst1->setGeometry(66, 82, 164, 15);
    // Right part: chapter, score and difficulty; question; answer; the buttons.
    Panel3->setGeometry(232 + x, 0, 568, 96);
    LabelZj->setGeometry(25, 16, 40, 15);
    ComboBoxZj->setGeometry(67, 12, 183, 23);
    LabelZsd->setGeometry(262, 16, 52, 15);
    EditZsd->setGeometry(314, 12, 246, 23);
    LabelFs->setGeometry(25, 58, 40, 15);
    EditFs->setGeometry(67, 54, 40, 23);
    LabelNd->setGeometry(140, 58, 40, 15);
    ComboBoxNd->setGeometry(182, 54, 90, 23);
    LabelSyqk->setGeometry(290, 58, 274, 15);
    // Below the usage, in the room the panel leaves under the difficulty's row.
    LabelSdNd->setGeometry(290, 77, 274, 15);
    LabelTm->setGeometry(257 + x, 104, 230, 15);
    LabelZsdts->setGeometry(487 + x, 104, 288, 15);
    MemoTm->setGeometry(257 + x, 122, 518, 150);
    LabelDa->setGeometry(257 + x, 280, 400, 15);
    MemoDa->setGeometry(257 + x, 298, 518, 150);
    BtnXtrk->setGeometry(257 + x, 466, 100, 30);
    BtnYtgg->setGeometry(396 + x, 466, 100, 30);
    BtnStsc->setGeometry(535 + x, 466, 100, 30);
    BtnGb->setGeometry(675 + x, 466, 100, 30);
}

int& TLrstF::flashCount()
{
    static int count = 0;
    return count;
}

void TLrstF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    attachCompleter();
    if (!event->spontaneous()) ui::load(this, [this] { FormShow(); });
}

bool TLrstF::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == EditTh || watched == EditFs) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == EditTh && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            ui::run([this] { BtnSsClick(); });
            return true;
        }
        if (keys::refuseNonDigit(key)) return true;
    }
    if (watched == EditSs && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui::run([this] { EditSsReturn(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TLrstF::fillBox(QComboBox* box, const QStringList& items)
{
    box->clear();
    box->addItems(items);
    if (box->count() > 0) {
        box->setCurrentIndex(0);
    } else {
        box->setEditText(QString());
    }
}

void TLrstF::setBoxText(QComboBox* box, const QString& text)
{
    const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) box->setCurrentIndex(index);
    box->setEditText(text);
}

void TLrstF::FormShow()
{
    const bool wasLoading = loading_;
    loading_ = true;
    try {
        fillBox(ComboBoxKm, sql::column(DM->db(), QStringLiteral("SELECT kmm FROM kmb ORDER BY id")));
        setBoxText(ComboBoxKm, bank::currentSubject());
        loadSubject();
    } catch (...) {
        loading_ = wasLoading;
        throw;
    }
    loading_ = wasLoading;
    BtnYtgg->setEnabled(false);
    flashCount() = 0;
    Timer1->start();
}

void TLrstF::loadSubject()
{
    const bool wasLoading = loading_;
    loading_ = true;
    try {
        kmh_ = KmmToKmh(ComboBoxKm->currentText());
        fillBox(ComboBoxTx,
                sql::column(DM->db(), QStringLiteral("SELECT txm FROM txb WHERE kmh=? ORDER BY id"), {kmh_}));
        fillBox(ComboBoxZj,
                sql::column(DM->db(), QStringLiteral("SELECT zjm FROM zjb WHERE kmh=? ORDER BY id"), {kmh_}));
        fillSearchChapters();
        fillPoints();
        txh_ = TxmToTxh(kmh_, ComboBoxTx->currentText());
        openGrid();
    } catch (...) {
        loading_ = wasLoading;
        throw;
    }
    loading_ = wasLoading;
}

namespace {
// The columns of a loaded question that a change compares with the bank before it writes.
const QStringList kLoadedColumns = {QStringLiteral("zjh"), QStringLiteral("nd"), QStringLiteral("fs"),
                                    QStringLiteral("tm"),  QStringLiteral("da"), QStringLiteral("time"),
                                    QStringLiteral("bz")};
// The grid lists this in the order of the ids: opening reads the rows on screen and the count,
// and further ids and rows are read as the grid scrolls.
// tmh: the start of the question text, for the grid's first line of it.
const QString kGridQuery = QStringLiteral(
    "SELECT id, kmh, txh, th, zjh, nd, fs, \"time\", bz, substr(tm, 1, 300) AS tmh FROM stb WHERE kmh=? AND txh=?");
// The grid's row count: kept by the bank, or counted where an older read-only bank keeps none.
const QString kGridCountKept =
    QStringLiteral("SELECT COALESCE((SELECT n FROM question_counts WHERE kmh=? AND txh=?), 0)");
const QString kGridCount = QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=? AND txh=?");
}  // namespace

void TLrstF::openGrid()
{
    Dataset* q = DM->ADOQuerySt;
    q->close();
    // Rows are read a window at a time as the grid shows them; question and answer texts only for
    // the question loaded into the editor.
    const QList<qint64> points = chosenPoints();
    if (points.isEmpty()) {
        q->setKeyedSql(kGridQuery, QStringLiteral("id"), {kmh_, txh_},
                       DM->keepsQuestionCounts() ? kGridCountKept : kGridCount);
    } else {
        // Only the questions of the chosen point and of the points below it.
        QVariantList binds{kmh_, txh_};
        for (const qint64 id : points) binds << id;
        const QString linked = QStringLiteral(" AND id IN (SELECT stid FROM stzsd WHERE zsdid IN (%1))")
                                   .arg(QStringList(points.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        q->setKeyedSql(kGridQuery + linked, QStringLiteral("id"), binds, kGridCount + linked);
    }
    q->setDeferredFields(QStringLiteral("stb"), QStringLiteral("id"), {QStringLiteral("tm"), QStringLiteral("da")});
    // Opening reads the rows the grid shows (and a little more); scrolling reads the rest.
    const int rowHeight = std::max(1, DBGrid1->verticalHeader()->defaultSectionSize());
    q->setFirstRows(std::max(16, DBGrid1->viewport()->height() / rowHeight + 3));
    q->open();
    // Numbers pass three digits in a large type: the number column widens to show them whole
    // (numbered in turn, a type's numbers have about as many digits as it has questions).
    const QString widest(QString::number(q->recordCount()).size(), QLatin1Char('0'));
    DBGrid1->setColumnWidth(
        0, widest.size() <= 3 ? 33 : std::max(33, DBGrid1->fontMetrics().horizontalAdvance(widest) + 10));
}

void TLrstF::ComboBoxKmChange()
{
    forgetSearch();  // the search looks through one subject
    loadSubject();
}

void TLrstF::ComboBoxTxChange()
{
    const SubjectAndType codes = KmmTxmToCodes(ComboBoxKm->currentText(), ComboBoxTx->currentText());
    kmh_ = codes.kmh;
    txh_ = codes.txh;
    openGrid();
}

void TLrstF::loadQuestion(const QString& kmh)
{
    Dataset* q = DM->ADOQuerySt;
    // An empty grid has no current row: its fields read as empty texts.
    auto field = [q](const char* name) {
        return q->isActive() && q->recNo() >= 0 ? q->str(QString::fromLatin1(name)) : QString();
    };
    const bool onRow = q->isActive() && q->recNo() >= 0;
    loadedId_ = onRow ? q->str(QStringLiteral("id")).toLongLong() : -1;
    loadedKmh_ = field("kmh");
    loadedTxh_ = field("txh");
    loadedTh_ = field("th");
    loadedValues_.clear();
    for (const QString& column : kLoadedColumns) loadedValues_ << field(column.toLatin1().constData());
    setBoxText(ComboBoxZj, ZjhToZjm(kmh, field("zjh")));
    EditFs->setText(field("fs"));
    setBoxText(ComboBoxNd, field("nd"));
    MemoTm->setPlainText(field("tm"));
    MemoDa->setPlainText(field("da"));
    {
        const bool wasLoading = loading_;
        loading_ = true;
        QSqlDatabase db = DM->db();
        EditZsd->setText(onRow ? knowledge::namesOfQuestion(db, loadedId_).join(QStringLiteral("，")) : QString());
        loading_ = wasLoading;
    }
    LabelZsdts->clear();
    LabelSyqk->setText(onRow ? library::usageText(library::usage(DM->db(), loadedId_)) : QString());
    // The measured difficulty of this question alone: one statement when the current row changes.
    QString measured;
    if (onRow) {
        const QHash<qint64, analysis::Measured> found = analysis::measuredDifficulty(DM->db(), {loadedId_});
        if (found.contains(loadedId_)) measured = analysis::measuredText(found.value(loadedId_));
    }
    LabelSdNd->setText(measured);
    LabelSdNd->setVisible(!measured.isEmpty());
}

void TLrstF::DBGrid1CellClick()
{
    Dataset* q = DM->ADOQuerySt;
    loadQuestion(q->isActive() && q->recNo() >= 0 ? q->str(QStringLiteral("kmh")) : QString());
    BtnYtgg->setEnabled(false);
}

void TLrstF::DBGrid1KeyUp()
{
    DBGrid1CellClick();
}

void TLrstF::BtnSsClick()
{
    kmh_ = KmmToKmh(ComboBoxKm->currentText());
    txh_ = TxmToTxh(kmh_, ComboBoxTx->currentText());
    const int n = convert::toInt(EditTh->text());
    Dataset* q = DM->ADOQuerySt;
    // Rows are compared in place, so the grid moves only once, to the row found.
    const int found = q->findRow(
        {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("TH")},
        [this, n](const QStringList& row) { return row[0] == kmh_ && row[1] == txh_ && convert::toInt(row[2]) == n; });
    if (found >= 0) {
        q->setRecNo(found);
        loadQuestion(kmh_);
    } else {
        if (q->recordCount() > 0) q->setRecNo(q->recordCount() - 1);
        MsgBox::show(QStringLiteral("题号“") + QString::number(n) + QStringLiteral("”不存在，请重新输入题号！"), this);
    }
    EditTh->selectAll();
}

QString TLrstF::Zdbh(const QString& kmh, const QString& txh)
{
    return nextQuestionNumber(DM->db(), kmh, txh);
}

bool TLrstF::refuseMissingCodes(const QString& kmh, const QString& txh, const QString& zjh)
{
    // A name that matches nothing would file the question under an empty code, where no list
    // ever shows it.
    QString text;
    if (kmh.isEmpty()) {
        text = QStringLiteral("科目不存在！");
    } else if (txh.isEmpty()) {
        text = QStringLiteral("题型不存在！");
    } else if (zjh.isEmpty()) {
        text = QStringLiteral("章节不存在！");
    } else {
        return false;
    }
    MsgBox::show(text, this);
    return true;
}

bool TLrstF::refuseBadFormulas()
{
    // A formula that could end early, read a file or hang the paper's conversion is refused here,
    // before it is stored, so that it never reaches a preview or a paper of anyone.
    for (const auto& [memo, part] :
         {std::pair{MemoTm, QStringLiteral("题目")}, std::pair{MemoDa, QStringLiteral("答案")}}) {
        const QString refused = content::textEntryRefusal(memo->toPlainText());
        if (refused.isEmpty()) continue;
        MsgBox::show(part + QStringLiteral("中的") + refused + QStringLiteral("请改正后再保存。"), this);
        memo->setFocus();
        return true;
    }
    return false;
}

bool TLrstF::storeDespiteDuplicates(const QString& kmh, const QString& txh, qint64 excludeId)
{
    // The question itself (原题更改) is never its own duplicate.
    const QList<duplicates::Match> matches =
        duplicates::check(DM->db(), kmh, MemoTm->toPlainText(), duplicates::kDefaultThreshold, excludeId);
    if (matches.isEmpty()) return true;
    TCfF dialog(matches, kmh, txh, this);
    return dialog.exec() == QDialog::Accepted;
}

void TLrstF::BtnXtrkClick()
{
    searched_.clear();  // what the search found may change
    if (MemoTm->toPlainText().isEmpty()) {
        MsgBox::show(QStringLiteral("题目不能为空！"), this);
    } else if (EditFs->text().trimmed().isEmpty()) {
        // A question without a score cannot be given its points in a paper.
        MsgBox::show(QStringLiteral("分数不能为空！"), this);
        EditFs->setFocus();
        return;
    } else {
        if (refuseBadFormulas()) return;
        kmh_ = KmmToKmh(ComboBoxKm->currentText());
        txh_ = TxmToTxh(kmh_, ComboBoxTx->currentText());
        const QString zjh = ZjmToZjh(kmh_, ComboBoxZj->currentText());
        if (refuseMissingCodes(kmh_, txh_, zjh)) return;
        if (!storeDespiteDuplicates(kmh_, txh_, 0)) return;
        // The number is Zdbh's; when another user stores the same number first, the next one is taken.
        const QString time = fields::timeOfDay();
        auto store = [&] {
            return numbering::storeQuestion(DM->db(), DM->ADOStb, kmh_, txh_,
                                            {{QStringLiteral("nd"), ComboBoxNd->currentText()},
                                             {QStringLiteral("fs"), EditFs->text()},
                                             {QStringLiteral("tm"), MemoTm->toPlainText()},
                                             {QStringLiteral("da"), MemoDa->toPlainText()},
                                             {QStringLiteral("zjh"), zjh},
                                             {QStringLiteral("time"), time}});
        };
        madePoints_.clear();
        if (knowledge::splitNames(EditZsd->text()).isEmpty()) {
            store();
        } else {
            // The question and its links to knowledge points stand or fall together.
            try {
                DM->transaction({}, [&] {
                    const QString th = store();
                    const qint64 id = sql::scalar(DM->db(),
                                                  QStringLiteral("SELECT id FROM stb WHERE kmh=? AND txh=? AND th=?"
                                                                 " ORDER BY id DESC LIMIT 1"),
                                                  {kmh_, txh_, th})
                                          .toLongLong();
                    storePoints(id, kmh_);
                });
            } catch (...) {
                // The row the dataset posted went with the rolled-back transaction.
                if (DM->ADOStb->isActive()) DM->ADOStb->refresh();
                throw;
            }
            fillPoints();
        }
        // Chapter, score and difficulty stay for the next question.
        MemoTm->clear();
        MemoDa->clear();
        forgetLoadedQuestion();  // the editor now holds the next new question
        // The points stay for the next question too; those just made are named.
        LabelZsdts->setText(madePoints_.isEmpty()
                                ? QString()
                                : QStringLiteral("已新建知识点：") + madePoints_.join(QStringLiteral("、")));
    }
    reopenGridAfterAppend();
    BtnYtgg->setEnabled(false);
}

// Reopens the grid after a question was stored. When the grid already lists the same subject and
// type, only the new row is read: the result is the same as reading the whole type again.
void TLrstF::reopenGridAfterAppend()
{
    const auto [kmh, txh] = KmmTxmToCodes(ComboBoxKm->currentText(), ComboBoxTx->currentText());
    Dataset* q = DM->ADOQuerySt;
    if (q->isActive() && q->sql() == kGridQuery && q->binds() == QVariantList{kmh, txh}) {
        kmh_ = kmh;
        txh_ = txh;
        q->reopenWithNewRows(QStringLiteral("id"));
    } else {
        ComboBoxTxChange();
    }
}

void TLrstF::forgetLoadedQuestion()
{
    loadedId_ = -1;
    loadedKmh_.clear();
    loadedTxh_.clear();
    loadedTh_.clear();
    loadedValues_.clear();
}

void TLrstF::reloadLoadedQuestion()
{
    const qint64 id = loadedId_;
    ComboBoxTxChange();
    Dataset* q = DM->ADOQuerySt;
    const int row = q->rowOfKey(id);
    if (row >= 0) q->setRecNo(row);
    DBGrid1CellClick();
}

bool TLrstF::gridStandsOnLoadedQuestion()
{
    Dataset* q = DM->ADOQuerySt;
    return loadedId_ >= 0 && q->isActive() && q->recNo() >= 0 && q->str(QStringLiteral("id")).toLongLong() == loadedId_;
}

void TLrstF::BtnYtggClick()
{
    searched_.clear();  // what the search found may change
    // An emptied question text would leave a question that no paper can show.
    if (MemoTm->toPlainText().isEmpty()) {
        MsgBox::show(QStringLiteral("题目不能为空！"), this);
        return;
    }
    // A score may not be taken away (a question stored without one by an older version keeps
    // being changeable as it is).
    if (EditFs->text().trimmed().isEmpty() && loadedId_ >= 0 && !loadedValues_.value(2).trimmed().isEmpty()) {
        MsgBox::show(QStringLiteral("分数不能为空！"), this);
        EditFs->setFocus();
        return;
    }
    // The change belongs to the question the editor was loaded from. Once the grid stands
    // elsewhere (another type or subject, a failed search) the editor's texts would land on a
    // question the user never opened, so the change is refused and the editor kept.
    if (loadedId_ < 0) {
        MsgBox::show(QStringLiteral("请先在表格中选中要更改的试题！"), this);
        return;
    }
    if (!gridStandsOnLoadedQuestion()) {
        MsgBox::show(QStringLiteral("表格中选中的已不是编辑框中的第") + loadedTh_ +
                         QStringLiteral("题，请在表格中重新选中要更改的试题！"),
                     this);
        return;
    }
    if (refuseBadFormulas()) return;
    const QString boxKmh = KmmToKmh(ComboBoxKm->currentText());
    const QString boxTxh = boxKmh.isEmpty() ? QString() : TxmToTxh(boxKmh, ComboBoxTx->currentText());
    const QString zjh = ZjmToZjh(loadedKmh_, ComboBoxZj->currentText());
    if (refuseMissingCodes(boxKmh, boxTxh, zjh)) return;
    // Only a changed question text can have become like another question.
    if (MemoTm->toPlainText() != loadedValues_.value(kLoadedColumns.indexOf(QStringLiteral("tm"))) &&
        !storeDespiteDuplicates(loadedKmh_, loadedTxh_, loadedId_))
        return;
    const qint64 id = loadedId_;
    // The row is found by its id; its subject, type and number must still be the loaded ones, and
    // so must everything else that was loaded: another user's change since is never overwritten.
    // The new values, in the order of kLoadedColumns; the last of them (bz) is not edited here.
    const QStringList values = {zjh,
                                ComboBoxNd->currentText(),
                                EditFs->text(),
                                MemoTm->toPlainText(),
                                MemoDa->toPlainText(),
                                fields::timeOfDay(),
                                loadedValues_.value(kLoadedColumns.size() - 1)};
    QStringList sets, same;
    QVariantList binds;
    for (int i = 0; i + 1 < kLoadedColumns.size(); ++i) {
        sets << QStringLiteral("\"%1\"=?").arg(kLoadedColumns.at(i));
        binds << values.at(i);
    }
    binds << id << loadedKmh_ << loadedTxh_ << loadedTh_;
    for (int i = 0; i < kLoadedColumns.size(); ++i) {
        same << QStringLiteral("COALESCE(\"%1\",'')=?").arg(kLoadedColumns.at(i));
        binds << loadedValues_.value(i);
    }
    int changed = 0;
    madePoints_.clear();
    // The question and its links to knowledge points change together.
    DM->transaction({}, [&] {
        changed = sql::changes(DM->db(),
                               QStringLiteral("UPDATE stb SET %1 WHERE id=? AND kmh=? AND txh=? AND"
                                              " COALESCE(th,'')=? AND %2")
                                   .arg(sets.join(QStringLiteral(", ")), same.join(QStringLiteral(" AND "))),
                               binds);
        if (changed > 0) storePoints(id, loadedKmh_);
    });
    if (changed == 0) {
        QString th;
        const bool found =
            sql::firstValue(DM->db(), QStringLiteral("SELECT th FROM stb WHERE id=? AND kmh=? AND txh=?"),
                            {id, loadedKmh_, loadedTxh_}, &th) &&
            th == loadedTh_;
        if (!found) {
            MsgBox::show(QStringLiteral("第") + loadedTh_ + QStringLiteral("题已不在题库中，无法更改！"), this);
            ComboBoxTxChange();
            return;
        }
        // The other user's version is shown, so that the user decides knowing what an overwrite
        // replaces.
        QStringList theirs;
        {
            QStringList columns;
            for (const QString& column : kLoadedColumns) columns << QStringLiteral("\"%1\"").arg(column);
            sql::Reader row(DM->db(),
                            QStringLiteral("SELECT %1 FROM stb WHERE id=?").arg(columns.join(QStringLiteral(", "))),
                            {id});
            if (row.next()) {
                for (int i = 0; i < kLoadedColumns.size(); ++i) theirs << row.text(i);
            }
        }
        auto clip = [](const QString& text) { return text.size() > 300 ? text.left(300) + QStringLiteral("…") : text; };
        const QString question =
            QStringLiteral("第") + loadedTh_ +
            QStringLiteral(
                "题已被其他用户更改，是否重新载入该题？（选“否”保留编辑框中的内容）\n"
                "选“覆盖”则用编辑框中的内容替换其他用户的更改。\n\n其他用户更改后的内容：\n难度：%1　分数：%2\n题目：%"
                "3\n答案：%4")
                .arg(theirs.value(1), theirs.value(2), clip(theirs.value(3)), clip(theirs.value(4)));
        const auto answer =
            MsgBox::chooseOfThree(question, QStringLiteral("是"), QStringLiteral("否"), QStringLiteral("覆盖"), this);
        if (answer == QMessageBox::Yes) {
            reloadLoadedQuestion();
        } else if (answer == QMessageBox::Save && theirs.size() == kLoadedColumns.size()) {
            // The version just shown becomes the one this change replaces; should a third change
            // have come in since, the user is asked again.
            loadedValues_ = theirs;
            BtnYtggClick();
        }
        return;
    }
    // The editor now holds what the bank holds: a further change compares with that.
    loadedValues_ = values;
    if (!madePoints_.isEmpty()) fillPoints();
    const QString made =
        madePoints_.isEmpty() ? QString() : QStringLiteral("已新建知识点：") + madePoints_.join(QStringLiteral("、"));
    // The whole-table dataset reads the changed row afresh when it is next looked at.
    DM->ADOStb->forgetCachedRow(id);
    ComboBoxTxChange();
    // The changed question becomes current again.
    Dataset* q = DM->ADOQuerySt;
    const int row = q->rowOfKey(id);
    if (row >= 0) q->setRecNo(row);
    LabelZsdts->setText(made);
}

void TLrstF::BtnStscClick()
{
    searched_.clear();  // what the search found may change
    Dataset* q = DM->ADOQuerySt;
    // With an empty grid there is no question to delete (and nothing to ask about).
    if (q->isActive() && q->recNo() >= 0) {
        const QString kmh = q->str(QStringLiteral("kmh"));
        const QString txh = q->str(QStringLiteral("txh"));
        const QString th = q->str(QStringLiteral("TH"));
        if (MsgBox::confirmDestructive(QStringLiteral("是否删除第") + th + QStringLiteral("题？"), this)) {
            // The question goes into the recycle bin in the same transaction as its deletion, and
            // exactly the rows copied there are deleted.
            DM->transaction({DM->ADOStb}, [&] {
                recycle::removeKept(DM->db(), recycle::keepQuestion(DM->db(), kmh, txh, th, current_user::name()));
            });
        }
    }
    MemoTm->clear();
    MemoDa->clear();
    forgetLoadedQuestion();
    ComboBoxTxChange();
    BtnYtgg->setEnabled(false);
}

void TLrstF::EditorChange()
{
    if (!loading_) BtnYtgg->setEnabled(true);
}

void TLrstF::Timer1Timer()
{
    int& count = flashCount();
    ++count;
    if (count > 5) Timer1->stop();
    const QColor colour = count % 2 == 1 ? QColor(Qt::yellow) : QColor(Qt::black);
    for (QLabel* label : {LabelZjxt, LabelGgyt, LabelScst}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
}

void TLrstF::fillSearchChapters()
{
    const QString chosen = ComboBoxSsZj->currentIndex() > 0 ? ComboBoxSsZj->currentText() : QString();
    ComboBoxSsZj->clear();
    ComboBoxSsZj->addItem(QStringLiteral("全部章节"));
    ComboBoxSsZj->addItems(
        sql::column(DM->db(), QStringLiteral("SELECT zjm FROM zjb WHERE kmh=? ORDER BY id"), {kmh_}));
    const int index = chosen.isEmpty() ? 0 : ComboBoxSsZj->findText(chosen, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ComboBoxSsZj->setCurrentIndex(std::max(0, index));
}

void TLrstF::forgetSearch()
{
    searched_.clear();
    matches_.clear();
    matchIds_.clear();
    matchAt_ = -1;
    LabelSsjg->clear();
    DBGrid1->datasetModel()->refreshRows();
}

void TLrstF::runSearch()
{
    question_search::Filter filter;
    filter.kmh = KmmToKmh(ComboBoxKm->currentText());
    if (ComboBoxSsZj->currentIndex() > 0) filter.zjh = ZjmToZjh(filter.kmh, ComboBoxSsZj->currentText());
    if (ComboBoxSsNd->currentIndex() > 0) filter.nd = ComboBoxSsNd->currentText();
    if (ComboBoxSsZsd->currentIndex() > 0) filter.points = {ComboBoxSsZsd->currentData().toLongLong()};
    const QString text = EditSs->text().trimmed();
    const QString asked =
        QStringList{text, filter.kmh, filter.zjh, filter.nd, ComboBoxSsZsd->currentData().toString()}.join(
            QLatin1Char('\n'));
    if (asked == searched_) return;
    // Enough to mark every match a grid of one type shows at once, and to step through them.
    constexpr int kMarked = 1000;
    const question_search::Result found = question_search::find(DM->db(), text, filter, kMarked);
    searched_ = asked;
    matches_ = found.hits;
    matchIds_.clear();
    for (const question_search::Hit& hit : matches_) matchIds_.insert(hit.id);
    matchAt_ = -1;
    LabelSsjg->setText(found.exact ? QStringLiteral("找到 %1 道").arg(found.total)
                                   : QStringLiteral("找到 %1 道以上").arg(found.total));
}

void TLrstF::EditSsReturn()
{
    if (EditSs->text().trimmed().isEmpty()) {
        forgetSearch();
        return;
    }
    runSearch();
    if (matches_.isEmpty()) {
        DBGrid1->datasetModel()->refreshRows();
        return;
    }
    matchAt_ = (matchAt_ + 1) % int(matches_.size());
    showMatch(matchAt_);
}

void TLrstF::showMatch(int index)
{
    const question_search::Hit hit = matches_.value(index);
    const bool wasLoading = loading_;
    loading_ = true;
    try {
        // A match of another type (or, with no subject chosen, of another subject) opens its list.
        if (hit.kmh != kmh_) {
            setBoxText(ComboBoxKm, hit.kmm);
            loadSubject();
        }
        if (hit.txh != txh_) {
            setBoxText(ComboBoxTx, hit.txm);
            kmh_ = hit.kmh;
            txh_ = hit.txh;
            openGrid();
        }
    } catch (...) {
        loading_ = wasLoading;
        throw;
    }
    loading_ = wasLoading;
    Dataset* q = DM->ADOQuerySt;
    const int row = q->rowOfKey(hit.id);
    if (row >= 0) {
        q->setRecNo(row);
        loadQuestion(kmh_);
        BtnYtgg->setEnabled(false);
    }
    DBGrid1->datasetModel()->refreshRows();
}

void TLrstF::fillPoints()
{
    QSqlDatabase db = DM->db();
    const qint64 chosen = pointsSubject_ == kmh_ ? ComboBoxSsZsd->currentData().toLongLong() : 0;
    pointsSubject_ = kmh_;
    knownPaths_.clear();
    ComboBoxSsZsd->clear();
    ComboBoxSsZsd->addItem(QStringLiteral("全部知识点"), qint64(0));
    if (!kmh_.isEmpty()) {
        const QHash<qint64, QString> paths = knowledge::paths(db, kmh_);
        for (const knowledge::Point& p : knowledge::points(db, kmh_)) {
            knownPaths_ << paths.value(p.id);
            ComboBoxSsZsd->addItem(paths.value(p.id), p.id);
        }
    }
    ComboBoxSsZsd->setCurrentIndex(std::max(0, ComboBoxSsZsd->findData(chosen)));
    if (auto* completer = static_cast<ui::PointsCompleter*>(EditZsd->completer())) completer->setPaths(knownPaths_);
}

QList<qint64> TLrstF::chosenPoints() const
{
    if (ComboBoxSsZsd->currentIndex() <= 0) return {};
    QSqlDatabase db = DM->db();
    return knowledge::withDescendants(db, {ComboBoxSsZsd->currentData().toLongLong()});
}

void TLrstF::showNewPoints()
{
    // As knowledge::resolve finds them: a path, or the end of one.
    QStringList unknown;
    for (const QString& name : knowledge::splitNames(EditZsd->text())) {
        QStringList parts = name.split(QLatin1Char('/'));
        for (QString& part : parts) part = part.trimmed();
        parts.removeAll(QString());
        const QString path = parts.join(QLatin1Char('/'));
        if (path.isEmpty()) continue;
        const bool known = std::any_of(knownPaths_.cbegin(), knownPaths_.cend(), [&](const QString& p) {
            return p == path || p.endsWith(QLatin1Char('/') + path);
        });
        if (!known) unknown << path;
    }
    LabelZsdts->setText(unknown.isEmpty()
                            ? QString()
                            : QStringLiteral("新知识点（入库时建立）：") + unknown.join(QStringLiteral("、")));
}

void TLrstF::storePoints(qint64 questionId, const QString& kmh)
{
    QSqlDatabase db = DM->db();
    QStringList created;
    const QList<qint64> ids = knowledge::resolve(db, kmh, knowledge::splitNames(EditZsd->text()), &created);
    knowledge::setForQuestion(db, questionId, ids);
    madePoints_ = created;
}

void TLrstF::BtnGbClick()
{
    close();
}

// ---- formulas, pictures and the previews -------------------------------------------------------

namespace {

// Where each segment of a text starts and ends, when the segments spell the text exactly.
struct Span {
    content::Segment segment;
    int start = 0;
    int end = 0;
};

QVector<Span> spansOf(const QString& text)
{
    QVector<Span> spans;
    QString spelled;
    for (const content::Segment& segment : content::parse(text)) {
        QString piece;
        switch (segment.kind) {
            case content::Segment::Text:
                piece = segment.text;
                break;
            case content::Segment::InlineMath:
                piece = QStringLiteral("\\(") + segment.text + QStringLiteral("\\)");
                break;
            case content::Segment::DisplayMath:
                piece = QStringLiteral("\\[") + segment.text + QStringLiteral("\\]");
                break;
            case content::Segment::Picture:
                piece = content::pictureMarker(segment.text, segment.options);
                break;
        }
        spans.append({segment, int(spelled.size()), int(spelled.size() + piece.size())});
        spelled += piece;
    }
    return spelled == text ? spans : QVector<Span>();
}

// Larger files are refused before they are read into memory.
constexpr qint64 kLargestPictureFile = 64 * 1024 * 1024;

}  // namespace

void TLrstF::createContentTools()
{
    resize(1180 + kLeftWider, 535);
    Panel3->setGeometry(232 + kLeftWider, 0, 948, 96);
    const struct {
        QPlainTextEdit* memo;
        QLabel* label;
        QPushButton** formula;
        QPushButton** picture;
        QLabel** previewLabel;
        content::ContentPreview** preview;
        const char* suffix;
        const char* previewCaption;
    } rows[] = {
        {MemoTm, LabelTm, &BtnGsTm, &BtnTpTm, &LabelYlTm, &PreviewTm, "Tm", "题目预览："},
        {MemoDa, LabelDa, &BtnGsDa, &BtnTpDa, &LabelYlDa, &PreviewDa, "Da", "答案预览："},
    };
    for (const auto& row : rows) {
        QPlainTextEdit* memo = row.memo;
        const QString suffix = QString::fromLatin1(row.suffix);
        const int top = row.label->y() - 4;  // the buttons stand at the right end of the memo's caption line

        auto* formula = new QPushButton(QStringLiteral("插入公式"), this);
        formula->setObjectName(QStringLiteral("BtnGs") + suffix);
        formula->setGeometry(617 + kLeftWider, top, 78, 22);
        auto* picture = new QPushButton(QStringLiteral("插入图片"), this);
        picture->setObjectName(QStringLiteral("BtnTp") + suffix);
        picture->setGeometry(697 + kLeftWider, top, 78, 22);
        for (QPushButton* b : {formula, picture}) {
            b->setAutoDefault(false);
            b->setDefault(false);
        }
        auto* menu = new QMenu(picture);
        QAction* fromFile = menu->addAction(QStringLiteral("从文件插入(&F)…"));
        fromFile->setObjectName(QStringLiteral("ActionTpWj"));
        QAction* fromClipboard = menu->addAction(QStringLiteral("从剪贴板粘贴(&V)"));
        fromClipboard->setObjectName(QStringLiteral("ActionTpJtb"));
        menu->addSeparator();
        QAction* size = menu->addAction(QStringLiteral("图片大小(&S)…"));
        size->setObjectName(QStringLiteral("ActionTpDx"));
        picture->setMenu(menu);
        // The memo's own context menu offers the same, for the picture under the cursor.
        memo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(memo, &QWidget::customContextMenuRequested, this, [this, memo](const QPoint& at) {
            QMenu* context = memo->createStandardContextMenu(at);
            context->setAttribute(Qt::WA_DeleteOnClose);
            context->addSeparator();
            QAction* resize = context->addAction(QStringLiteral("图片大小(&S)…"));
            resize->setObjectName(QStringLiteral("ActionTpDxMemo"));
            // A right click on a marker works on that marker.
            const QTextCursor clicked = memo->cursorForPosition(at);
            if (!memo->textCursor().hasSelection()) memo->setTextCursor(clicked);
            connect(resize, &QAction::triggered, this, ui::guard([this, memo] { resizePictureAtCursor(memo); }));
            context->popup(memo->viewport()->mapToGlobal(at));
        });
        connect(size, &QAction::triggered, this, ui::guard([this, memo] { resizePictureAtCursor(memo); }));

        auto* caption = makeLabel(QString::fromUtf8(row.previewCaption), this, QStringLiteral("LabelYl") + suffix);
        caption->setGeometry(790 + kLeftWider, row.label->y(), 375, 15);
        auto* preview = new content::ContentPreview(this);
        preview->setObjectName(QStringLiteral("Preview") + suffix);
        preview->setGeometry(790 + kLeftWider, memo->y(), 375, memo->height());
        preview->setDatabase(DM->db());

        connect(formula, &QPushButton::clicked, this, ui::guard([this, memo] { insertFormula(memo); }));
        connect(fromFile, &QAction::triggered, this, ui::guard([this, memo] { insertPictureFromFile(memo); }));
        connect(fromClipboard, &QAction::triggered, this,
                ui::guard([this, memo] { insertPictureFromClipboard(memo); }));
        connect(memo, &QPlainTextEdit::textChanged, preview,
                [memo, preview] { preview->setContentText(memo->toPlainText()); });
        *row.formula = formula;
        *row.picture = picture;
        *row.previewLabel = caption;
        *row.preview = preview;
    }
}

void TLrstF::insertFormula(QPlainTextEdit* memo)
{
    QTextCursor cursor = memo->textCursor();
    content::FormulaEditor editor(this);
    // With the cursor inside a formula, that formula is edited and replaced; a selection becomes
    // the source of a new formula and is replaced by it.
    const int position = cursor.position();
    bool inside = false;
    if (!cursor.hasSelection()) {
        for (const Span& span : spansOf(memo->toPlainText())) {
            const bool math =
                span.segment.kind == content::Segment::InlineMath || span.segment.kind == content::Segment::DisplayMath;
            if (math && span.start < position && position < span.end) {
                editor.setFormula(span.segment.text, span.segment.kind == content::Segment::DisplayMath);
                cursor.setPosition(span.start);
                cursor.setPosition(span.end, QTextCursor::KeepAnchor);
                inside = true;
                break;
            }
        }
    }
    if (!inside && cursor.hasSelection()) {
        editor.setFormula(cursor.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')), false);
    }
    if (editor.exec() != QDialog::Accepted) return;
    cursor.insertText(editor.text());
    memo->setTextCursor(cursor);
    memo->setFocus();
}

void TLrstF::insertPictureFromFile(QPlainTextEdit* memo)
{
    QFileDialog dialog(this, QStringLiteral("插入图片"));
    dialog.setObjectName(QStringLiteral("OpenPictureDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(
        {QStringLiteral("图片 (*.png *.jpg *.jpeg *.gif *.bmp *.svg)"), QStringLiteral("所有文件 (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    QFile file(path);
    if (file.size() > kLargestPictureFile) {
        MsgBox::show(QStringLiteral("图片文件“") + QFileInfo(path).fileName() + QStringLiteral("”太大，无法插入！"),
                     this);
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        MsgBox::show(
            QStringLiteral("无法读取文件“") + QFileInfo(path).fileName() + QStringLiteral("”：") + file.errorString(),
            this);
        return;
    }
    insertPictureBytes(memo, file.readAll());
}

void TLrstF::insertPictureFromClipboard(QPlainTextEdit* memo)
{
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime && mime->hasImage()) {
        // A copied image is stored as PNG, whatever it came from.
        const QImage image = qvariant_cast<QImage>(mime->imageData());
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.isNull() && image.save(&buffer, "PNG")) {
            insertPictureBytes(memo, bytes);
            return;
        }
    }
    if (mime && mime->hasUrls() && !mime->urls().isEmpty() && mime->urls().first().isLocalFile()) {
        // A picture file copied in a file manager.
        QFile file(mime->urls().first().toLocalFile());
        if (file.size() <= kLargestPictureFile && file.open(QIODevice::ReadOnly)) {
            insertPictureBytes(memo, file.readAll());
            return;
        }
    }
    MsgBox::show(QStringLiteral("剪贴板中没有图片！"), this);
}

void TLrstF::insertPictureBytes(QPlainTextEdit* memo, const QByteArray& bytes)
{
    // storePicture refuses what is not a readable picture, with its own message.
    const QString hash = content::storePicture(DM->db(), bytes);
    // Its width and place: left as they are, the picture prints at the size the layout gives it.
    // A picture not placed after all is deleted with the other unused ones.
    content::PictureSizeDialog size(this);
    if (size.exec() != QDialog::Accepted) return;
    memo->insertPlainText(content::pictureMarker(hash, picture_refs::placementText(size.placement())));
    memo->setFocus();
}

void TLrstF::resizePictureAtCursor(QPlainTextEdit* memo)
{
    QTextCursor cursor = memo->textCursor();
    const int position = cursor.position();
    for (const Span& span : spansOf(memo->toPlainText())) {
        // The cursor inside the marker or right after it (where inserting it left the cursor).
        if (span.segment.kind != content::Segment::Picture || position <= span.start || position > span.end) continue;
        content::PictureSizeDialog size(this);
        size.setPlacement(picture_refs::placementOf(span.segment.options));
        if (size.exec() != QDialog::Accepted) return;
        cursor.setPosition(span.start);
        cursor.setPosition(span.end, QTextCursor::KeepAnchor);
        cursor.insertText(content::pictureMarker(span.segment.text, picture_refs::placementText(size.placement())));
        memo->setTextCursor(cursor);
        memo->setFocus();
        return;
    }
    MsgBox::show(QStringLiteral("请先把光标放在要调整大小的图片上！"), this);
}
