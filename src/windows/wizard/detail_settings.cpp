#include "windows/wizard/detail_settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSet>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QSqlQuery>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include "analysis/difficulty_review.h"
#include "content/content.h"
#include "content/fonts.h"
#include "data/composition_state.h"
#include "data/convert.h"
#include "data/current_user.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/lookups.h"
#include "data/question_search.h"
#include "data/random_draw.h"
#include "data/sql.h"
#include "library/paper_store.h"
#include "output/paper_document.h"
#include "ui/controls.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "ui/handler.h"
#include "ui/key_filters.h"
#include "ui/message_box.h"
#include "ui/paper_output.h"
#include "ui/platform.h"
#include "ui/window_state.h"
#include "windows/content/content_preview.h"
#include "windows/output/layout_dialog.h"
#include "windows/wizard/overall_settings.h"

using wizard::selectedRow;
using wizard::selectRow;

namespace {

using ui::makeLabel;

const QString kAll = QStringLiteral("全部");
const QString kAllPoints = QStringLiteral("全部知识点");

QToolButton* makeSpeedButton(const QString& text, const QString& hint, QWidget* parent, const char* name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolTip(hint);
    return button;
}

QLineEdit* makeEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

// A question is identified within the paper by its type code and number.
using QuestionKey = QPair<QString, QString>;

// The eight fields of an sjb row that travel with a question when two questions change places.
const QStringList kMovedFields = {QStringLiteral("th"),  QStringLiteral("nd"), QStringLiteral("fs"),
                                  QStringLiteral("tm"),  QStringLiteral("da"), QStringLiteral("time"),
                                  QStringLiteral("zjh"), QStringLiteral("bz")};

QStringList readPaperRow(qint64 id)
{
    QSqlQuery q =
        sql::run(DM->db(), QStringLiteral("SELECT th, nd, fs, tm, da, \"time\", zjh, bz FROM sjb WHERE id=?"), {id});
    QStringList values;
    if (q.next()) {
        for (int i = 0; i < kMovedFields.size(); ++i) values << q.value(i).toString();
    }
    return values;
}

}  // namespace

TXxszF::TXxszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("XxszF"));
    setWindowTitle(QStringLiteral("组卷向导--详细设置"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(fonts::song(12));
    // Made larger, the candidates, the current question and the paper's list take the room.
    setMinimumSize(kBaseWidth, kBaseHeight);
    resize(kBaseWidth, kBaseHeight);

    Label1 = makeLabel(QStringLiteral("试卷包含的题型"), this, "Label1");
    ListBoxTx = new QListWidget(this);
    ListBoxTx->setObjectName(QStringLiteral("ListBoxTx"));
    Label2 = makeLabel(QStringLiteral("当前题型描述"), this, "Label2");
    MemoTxms = new QPlainTextEdit(this);
    MemoTxms->setObjectName(QStringLiteral("MemoTxms"));
    MemoTxms->setReadOnly(true);
    MemoTxms->document()->setDocumentMargin(2);

    GroupBox1 = new QGroupBox(QStringLiteral("分数设置"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Label3 = makeLabel(QStringLiteral("当前小题数"), GroupBox1, "Label3");
    EditTs = makeEdit(GroupBox1, "EditTs");
    Label4 = makeLabel(QStringLiteral("本大题总分"), GroupBox1, "Label4");
    EditZf = makeEdit(GroupBox1, "EditZf");
    for (QLineEdit* e : {EditTs, EditZf}) {
        e->setMaxLength(3);
        e->setText(QStringLiteral("0"));
        // Typed keys are filtered with a beep; the validator also keeps pasted text to digits.
        e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
        e->installEventFilter(this);
    }
    editTsPalette_ = EditTs->palette();

    RadioGroup1 = new QGroupBox(QStringLiteral("选题方式"), this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1Auto = new QRadioButton(QStringLiteral("自动选题"), RadioGroup1);
    RadioGroup1Auto->setObjectName(QStringLiteral("RadioGroup1Auto"));
    RadioGroup1Manual = new QRadioButton(QStringLiteral("人工选题"), RadioGroup1);
    RadioGroup1Manual->setObjectName(QStringLiteral("RadioGroup1Manual"));
    auto* modes = new QButtonGroup(this);
    modes->addButton(RadioGroup1Auto, 0);
    modes->addButton(RadioGroup1Manual, 1);
    RadioGroup1Auto->setChecked(true);

    Label5 = makeLabel(QStringLiteral("难度"), this, "Label5");
    ComboBoxNd = new QComboBox(this);
    ComboBoxNd->setObjectName(QStringLiteral("ComboBoxNd"));
    ComboBoxNd->setEditable(true);
    ComboBoxNd->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxNd->setCompleter(nullptr);
    ComboBoxNd->addItems({kAll, QStringLiteral("易"), QStringLiteral("较易"), QStringLiteral("中等"),
                          QStringLiteral("较难"), QStringLiteral("难")});
    ComboBoxNd->setCurrentIndex(0);
    Label8 = makeLabel(QStringLiteral("备选题数"), this, "Label8");
    EditBxTs = makeEdit(this, "EditBxTs");
    EditBxTs->setReadOnly(true);
    EditBxTs->setText(QStringLiteral("0"));

    CheckListBoxZj = new QListWidget(this);
    CheckListBoxZj->setObjectName(QStringLiteral("CheckListBoxZj"));
    ListZsd = new QListWidget(this);
    ListZsd->setObjectName(QStringLiteral("ListZsd"));
    ListZsd->setToolTip(QStringLiteral("只从勾选的知识点（含其下级知识点）的题目中选题；勾选“全部知识点”则不限"));
    ListZsd->setFixedWidth(kPointListWidth);
    ListZsd->hide();
    DBGridTm = new DBGrid(this);
    DBGridTm->setObjectName(QStringLiteral("DBGridTm"));
    DBGridTm->setDataset(DM->ADOQuerySt, {{QStringLiteral("TH"), QStringLiteral("题号"), 44},
                                          {QStringLiteral("ND"), QStringLiteral("难度"), 40},
                                          {QStringLiteral("zjm"), QStringLiteral("章节名"), 90},
                                          {QStringLiteral("TIME"), QStringLiteral("录入时间"), 64},
                                          {QStringLiteral("tmh"), QStringLiteral("题目"), 140,
                                           [](const QString& text) { return content::firstLine(text); }}});
    DBGridTm->horizontalHeader()->setStretchLastSection(true);
    // Questions already on the paper stand out among the candidates.
    DBGridTm->datasetModel()->rowBackground = [this](int row) -> QVariant {
        Dataset* st = DM->ADOQuerySt;
        const int txh = st->fieldIndex(QStringLiteral("txh"));
        const int th = st->fieldIndex(QStringLiteral("th"));
        if (onPaper_.isEmpty() || txh < 0 || th < 0) return {};
        if (!isOnPaper(st->valueAt(row, txh), st->valueAt(row, th))) return {};
        return QColor(200, 235, 200);
    };

    Label6 = makeLabel(QStringLiteral("当前题号："), this, "Label6");
    LabelTH = makeLabel(QStringLiteral("题号"), this, "LabelTH");
    MemoTm = new QPlainTextEdit(this);
    MemoTm->setObjectName(QStringLiteral("MemoTm"));
    MemoTm->setReadOnly(true);
    MemoTm->setFont(fonts::song(14));
    MemoTm->hide();
    // The current question as it will print: formulas typeset, pictures drawn.
    PreviewTm = new content::ContentPreview(this);
    PreviewTm->setObjectName(QStringLiteral("PreviewTm"));
    PreviewTm->setDatabase(DM->db());

    EditSsHx = new QLineEdit(this);
    EditSsHx->setObjectName(QStringLiteral("EditSsHx"));
    EditSsHx->setPlaceholderText(QStringLiteral("搜索候选题…"));
    EditSsHx->setClearButtonEnabled(true);
    EditSsHx->setToolTip(QStringLiteral("输入题目或答案中的文字，按回车或稍停即列出含有它的候选题；清空则列出全部"));
    LabelSsHx = makeLabel(QString(), this, "LabelSsHx");
    TimerSsHx = new QTimer(this);
    TimerSsHx->setObjectName(QStringLiteral("TimerSsHx"));
    TimerSsHx->setSingleShot(true);
    TimerSsHx->setInterval(300);

    // Above the handle: the search and the chapters (automatic choice) or the candidates (by
    // hand), one in the place of the other; below it the current question.
    SplitterHx = new QSplitter(Qt::Vertical, this);
    SplitterHx->setObjectName(QStringLiteral("SplitterHx"));
    SplitterHx->setChildrenCollapsible(false);
    PanelHx = new QWidget(SplitterHx);
    PanelHx->setObjectName(QStringLiteral("PanelHx"));
    auto* upper = new QGridLayout(PanelHx);
    upper->setContentsMargins(0, 0, 0, 0);
    upper->setSpacing(2);
    upper->addWidget(EditSsHx, 0, 0);
    upper->addWidget(LabelSsHx, 0, 1);
    upper->addWidget(CheckListBoxZj, 1, 0, 1, 2);
    upper->addWidget(DBGridTm, 1, 0, 1, 2);
    // Beside both, for either way of choosing; hidden (taking no room) when the subject has no points.
    upper->addWidget(ListZsd, 0, 2, 2, 1);
    upper->setColumnStretch(0, 3);
    upper->setColumnStretch(1, 2);
    upper->setRowStretch(1, 1);
    PanelYl = new QWidget(SplitterHx);
    PanelYl->setObjectName(QStringLiteral("PanelYl"));
    auto* lower = new QGridLayout(PanelYl);
    lower->setContentsMargins(0, 2, 0, 0);
    lower->setHorizontalSpacing(0);
    lower->setVerticalSpacing(2);
    lower->addWidget(Label6, 0, 0);
    lower->addWidget(LabelTH, 0, 1);
    lower->setColumnStretch(1, 1);
    lower->addWidget(MemoTm, 1, 0, 1, 2);
    lower->addWidget(PreviewTm, 1, 0, 1, 2);
    lower->setRowStretch(1, 1);
    LabelYqpjf = makeLabel(QString(), this, "LabelYqpjf");
    LabelYqpjf->setToolTip(
        QStringLiteral("各题实测难度 P（以往考试中学生得分占满分的比例）乘以它在本卷的分数之和；"
                       "没有实测数据的题目不作估计，未计入。"));
    LabelYqpjf->hide();
    lower->addWidget(LabelYqpjf, 2, 0, 1, 2);
    PreviewTm->setMinimumHeight(40);
    SplitterHx->addWidget(PanelHx);
    SplitterHx->addWidget(PanelYl);
    SplitterHx->setStretchFactor(0, 1);
    SplitterHx->setStretchFactor(1, 0);
    SplitterHx->setSizes({188, 70});
    ui::keepSplitterSizes(SplitterHx, QStringLiteral("XxszF"));
    EditSsHx->hide();
    LabelSsHx->hide();

    SBtnQbyr = makeSpeedButton(QStringLiteral(">>"), QStringLiteral("自动选够小题"), this, "SBtnQbyr");
    SBtnQbyc = makeSpeedButton(QStringLiteral("<<"), QStringLiteral("清除所有小题"), this, "SBtnQbyc");
    SBtnYr = makeSpeedButton(QStringLiteral(">"), QStringLiteral("添加一道小题"), this, "SBtnYr");
    SBtnYc = makeSpeedButton(QStringLiteral("<"), QStringLiteral("删除选定小题"), this, "SBtnYc");

    Label7 = makeLabel(QStringLiteral("试卷内容"), this, "Label7");
    LabelZt = makeLabel(QString(), this, "LabelZt");
    LabelZt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    {
        QPalette palette = LabelZt->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 96, 0));
        LabelZt->setPalette(palette);
    }
    ListBoxSj = new QListWidget(this);
    ListBoxSj->setObjectName(QStringLiteral("ListBoxSj"));
    // One line of the same font per question: laid out from the first line's size rather than
    // measuring every line whenever the selection moves (a paper may list hundreds).
    ListBoxSj->setUniformItemSizes(true);
    SBtnTmsy = makeSpeedButton(QStringLiteral("题目上移"), QStringLiteral("题目上移"), this, "SBtnTmsy");
    SBtnTmxy = makeSpeedButton(QStringLiteral("题目下移"), QStringLiteral("题目下移"), this, "SBtnTmxy");

    CheckBoxPcjq = new QCheckBox(QStringLiteral("排除最近"), this);
    CheckBoxPcjq->setObjectName(QStringLiteral("CheckBoxPcjq"));
    CheckBoxPcjq->setChecked(false);
    SpinBoxPcjq = new QSpinBox(this);
    SpinBoxPcjq->setObjectName(QStringLiteral("SpinBoxPcjq"));
    SpinBoxPcjq->setRange(1, 999);
    SpinBoxPcjq->setValue(3);
    LabelPcjq = makeLabel(QStringLiteral("份试卷用过的题目"), this, "LabelPcjq");

    BtnSyb = new QPushButton(QStringLiteral("使用帮助"), this);
    BtnSyb->setObjectName(QStringLiteral("BtnSyb"));
    Button2 = new QPushButton(QStringLiteral("组卷"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("取消"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    // The layout the paper is written in (版式), chosen before 组卷.
    BtnBs = new QPushButton(QStringLiteral("版式…"), this);
    BtnBs->setObjectName(QStringLiteral("BtnBs"));
    BtnBs->setAutoDefault(false);
    for (QPushButton* b : {BtnSyb, Button2, Button3}) {
        b->setFont(fonts::song(14, true));
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);

    ListBoxTx->viewport()->installEventFilter(this);
    connect(ListBoxTx, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) ui::run([this] { ListBoxTxClick(); });
    });
    // A click on the type that is already selected runs the handler again, as any click does.
    connect(ListBoxTx, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (ListBoxTx->row(item) == typeRowAtPress_) ui::run([this] { ListBoxTxClick(); });
    });
    connect(ComboBoxNd, &QComboBox::editTextChanged, this, ui::guard([this] { ListBoxTxClick(); }));
    connect(EditTs, &QLineEdit::textChanged, this, ui::guard([this] { InitMemoTxms(); }));
    connect(EditZf, &QLineEdit::textChanged, this, ui::guard([this] { InitMemoTxms(); }));
    connect(CheckListBoxZj, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = CheckListBoxZj->row(item);
        const bool checked = item->checkState() == Qt::Checked;
        ui::run([this, row, checked] { CheckListBoxZjClickCheck(row, checked); });
    });
    connect(ListZsd, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = ListZsd->row(item);
        const bool checked = item->checkState() == Qt::Checked;
        ui::run([this, row, checked] { ListZsdClickCheck(row, checked); });
    });
    connect(modes, &QButtonGroup::idClicked, this, ui::guard([this] { RadioGroup1Click(); }));
    connect(DBGridTm, &DBGrid::cellClicked, this, ui::guard([this] { DBGridTmCellClick(); }));
    connect(DBGridTm, &DBGrid::keyDown, this, [this](int key) { ui::run([this, key] { DBGridTmKeyUp(key); }); });
    connect(DBGridTm, &DBGrid::keyUp, this, [this](int key) { ui::run([this, key] { DBGridTmKeyUp(key); }); });
    connect(DBGridTm, &DBGrid::doubleClicked2, this, ui::guard([this] { DBGridTmDblClick(); }));
    // Enter on a candidate picks it, as a double click does.
    connect(DBGridTm, &DBGrid::keyDown, this, [this](int key) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) ui::run([this] { DBGridTmDblClick(); });
    });
    EditSsHx->installEventFilter(this);
    connect(EditSsHx, &QLineEdit::textChanged, this, [this](const QString& text) {
        // An emptied box gives the whole list back at once; a phrase waits for a pause in typing.
        if (text.trimmed().isEmpty()) {
            TimerSsHx->stop();
            ui::run([this] { EditSsHxSearch(); });
        } else {
            TimerSsHx->start();
        }
    });
    connect(TimerSsHx, &QTimer::timeout, this, ui::guard([this] { EditSsHxSearch(); }));
    connect(Timer1, &QTimer::timeout, this, ui::guard([this] { Timer1Timer(); }));
    connect(SBtnQbyr, &QToolButton::clicked, this, ui::guard([this] { SBtnQbyrClick(); }));
    connect(SBtnQbyc, &QToolButton::clicked, this, ui::guard([this] { SBtnQbycClick(); }));
    connect(SBtnYr, &QToolButton::clicked, this, ui::guard([this] { SBtnYrClick(); }));
    connect(SBtnYc, &QToolButton::clicked, this, ui::guard([this] { SBtnYcClick(); }));
    connect(ListBoxSj, &QListWidget::currentRowChanged, this, ui::guard([this] { ListBoxSjClick(); }));
    connect(SBtnTmsy, &QToolButton::clicked, this, ui::guard([this] { SBtnTmsyClick(); }));
    connect(SBtnTmxy, &QToolButton::clicked, this, ui::guard([this] { SBtnTmxyClick(); }));
    connect(BtnSyb, &QPushButton::clicked, this, ui::guard([this] { BtnSybClick(); }));
    connect(Button2, &QPushButton::clicked, this, ui::guard([this] { Button2Click(); }));
    connect(BtnBs, &QPushButton::clicked, this, ui::guard([this] {
                QStringList types;
                for (int i = 0; i < ListBoxTx->count(); ++i) types << ListBoxTx->item(i)->text();
                TBsszF(current_user::name(), types, this).exec();
            }));
    connect(Button3, &QPushButton::clicked, this, ui::guard([this] { Button3Click(); }));

    FormCreate();
    ui::centreOnScreen(this);
}

void TXxszF::FormCreate()
{
    Label1->setGeometry(16, 10, 120, 16);
    ListBoxTx->setGeometry(16, 28, 150, 96);
    Label2->setGeometry(180, 10, 120, 16);
    // The description wraps onto a second line at its 11-point size; both lines must show.
    MemoTxms->setGeometry(180, 26, 250, 50);
    GroupBox1->setGeometry(180, 76, 250, 50);
    Label3->setGeometry(10, 24, 64, 16);
    EditTs->setGeometry(76, 20, 40, 22);
    Label4->setGeometry(130, 24, 64, 16);
    EditZf->setGeometry(196, 20, 40, 22);
    RadioGroup1->setGeometry(16, 130, 414, 44);
    RadioGroup1Auto->setGeometry(20, 18, 100, 20);
    RadioGroup1Manual->setGeometry(160, 18, 100, 20);
    Label5->setGeometry(16, 186, 36, 16);
    ComboBoxNd->setGeometry(56, 182, 90, 22);
    Label8->setGeometry(180, 186, 60, 16);
    EditBxTs->setGeometry(244, 182, 60, 22);
    Label6->setFixedWidth(70);
    placeForSize();
}

// At the first size everything stands where it always has; a larger dialog gives the extra width
// and height to the candidates (or chapters) with the current question and to the paper's list,
// and keeps the buttons at the right and bottom edges.
void TXxszF::placeForSize()
{
    const int dx = std::max(0, width() - kBaseWidth);
    const int dy = std::max(0, height() - kBaseHeight);
    SplitterHx->setGeometry(16, 208, 414 + dx, 264 + dy);
    SBtnQbyr->setGeometry(440 + dx, 122, 34, 34);
    SBtnQbyc->setGeometry(440 + dx, 170, 34, 34);
    SBtnYr->setGeometry(440 + dx, 122, 34, 34);
    SBtnYc->setGeometry(440 + dx, 170, 34, 34);
    Label7->setGeometry(484 + dx, 10, 100, 16);
    LabelZt->setGeometry(584 + dx, 10, 116, 16);
    ListBoxSj->setGeometry(484 + dx, 28, 216, 404 + dy);
    SBtnTmsy->setGeometry(484 + dx, 438 + dy, 104, 26);
    SBtnTmxy->setGeometry(596 + dx, 438 + dy, 104, 26);
    CheckBoxPcjq->setGeometry(16, 484 + dy, 86, 22);
    SpinBoxPcjq->setGeometry(102, 483 + dy, 56, 24);
    LabelPcjq->setGeometry(164, 488 + dy, 140, 16);
    BtnBs->setGeometry(306 + dx, 480 + dy, 68, 28);
    BtnSyb->setGeometry(380 + dx, 480 + dy, 96, 28);
    Button2->setGeometry(490 + dx, 480 + dy, 96, 28);
    Button3->setGeometry(600 + dx, 480 + dy, 96, 28);
}

void TXxszF::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeForSize();
}

void TXxszF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) ui::load(this, [this] { FormShow(); });
}

void TXxszF::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    if (event->isAccepted()) closeWizard();
}

void TXxszF::keyPressEvent(QKeyEvent* event)
{
    // Escape would leave step 1 hidden; the wizard closes through its buttons or close box.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TXxszF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListBoxTx->viewport() && event->type() == QEvent::MouseButtonPress) {
        typeRowAtPress_ = ListBoxTx->currentRow();
    }
    if (watched == EditSsHx && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter searches at once; Down goes on to the candidates found.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            TimerSsHx->stop();
            ui::run([this] { EditSsHxSearch(); });
            return true;
        }
        if (key == Qt::Key_Down && DBGridTm->model()->rowCount() > 0) {
            DBGridTm->setFocus();
            ui::run([this] { DBGridTmCellClick(); });
            return true;
        }
    }
    if ((watched == EditTs || watched == EditZf) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (watched == EditTs) {
                EditZf->setFocus();
                EditZf->selectAll();
            } else {
                ui::run([this] { SBtnQbyrClick(); });
            }
            platform::beep();  // Enter is not a digit either
            return true;
        }
        return digitKeyFilter(key);
    }
    return QDialog::eventFilter(watched, event);
}

// Count and total take digits and backspace; any other typed character is swallowed with a beep.
bool TXxszF::digitKeyFilter(QKeyEvent* event)
{
    return keys::refuseNonDigit(event);
}

// ---- lookups and flags ----------------------------------------------------------------------

QString TXxszF::KmmToKmh(const QString& name) const
{
    return ::KmmToKmh(name);
}

QString TXxszF::TxmToTxh(const QString& kmh, const QString& txm) const
{
    return ::TxmToTxh(kmh, txm);
}

QString TXxszF::currentTypeName() const
{
    const int row = ListBoxTx->currentRow();
    return row >= 0 ? ListBoxTx->item(row)->text() : QString();
}

void TXxszF::TxIsChosen(const QString& kmh, const QString& txm)
{
    composition::setTypeChosen(DM->db(), kmh, txm, true);
    DM->ADOTxb->refresh();
}

void TXxszF::TxNotChosen(const QString& kmh, const QString& txm)
{
    composition::setTypeChosen(DM->db(), kmh, txm, false);
    DM->ADOTxb->refresh();
}

// Only the first chapter of that name is marked, as names are unique within a subject.
void TXxszF::ZjIsChosen(const QString& kmh, const QString& zjm)
{
    composition::setChapterChosen(DM->db(), kmh, zjm, true);
    DM->ADOZjb->refresh();
}

void TXxszF::ZjNotChosen(const QString& kmh, const QString& zjm)
{
    composition::setChapterChosen(DM->db(), kmh, zjm, false);
    DM->ADOZjb->refresh();
}

void TXxszF::InitPaper()
{
    DM->transaction({DM->ADOZjb, DM->ADOSjb, DM->ADOTxb}, [] { composition::startPaper(DM->db()); });
}

// ---- showing the dialog ---------------------------------------------------------------------

bool TXxszF::draftLost()
{
    if (!DM->isServer()) return false;
    sql::confirmSession(DM->db());
    if (sql::sessionGeneration(DM->db()) == session_) return false;
    // The draft lived in the session the server ended: the window is set back to an empty paper,
    // so that what it shows is what 组卷 would write.
    MsgBox::show(
        QStringLiteral("与数据库服务器的连接曾经中断，正在组的试卷随之丢失，已重新开始，请重新设置各题型的小题。"),
        this);
    keepPaper_ = false;
    FormShow();
    clearPaperList();
    EditTs->setText(QStringLiteral("0"));
    EditZf->setText(QStringLiteral("0"));
    return true;
}

void TXxszF::FormShow()
{
    session_ = sql::sessionGeneration(DM->db());
    kmm_ = ZtszF ? ZtszF->ComboBoxKm->currentText() : QString();
    kmh_ = KmmToKmh(kmm_);
    InitCheckListBoxZj();
    if (!keepPaper_) InitPaper();
    InitListBoxTx();
    InitListZsd();
    InitMemoTxms();
    {
        // A new paper starts with every candidate listed.
        const QSignalBlocker block(EditSsHx);
        TimerSsHx->stop();
        EditSsHx->clear();
        searchPhrase_.clear();
    }
    InitDBGridST();
    DBGridTm->hide();
    SBtnYr->hide();
    SBtnYc->hide();
    EditTs->setFocus();
    EditTs->selectAll();
    if (keepPaper_ && ListBoxTx->count() > 0) ListBoxTxClick();
}

void TXxszF::InitCheckListBoxZj()
{
    const QSignalBlocker block(CheckListBoxZj);
    CheckListBoxZj->clear();
    for (const composition::ChapterFlag& chapter : composition::chapterFlags(DM->db(), kmh_)) {
        auto* item = new QListWidgetItem(chapter.zjm, CheckListBoxZj);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        // A kept paper keeps its chosen chapters; a new paper starts with none.
        const bool chosen = keepPaper_ && chapter.chosen;
        item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
    }
}

void TXxszF::InitListZsd()
{
    const QSignalBlocker block(ListZsd);
    ListZsd->clear();
    QSqlDatabase db = DM->db();
    const QList<knowledge::Point> points = knowledge::points(db, kmh_);
    const QHash<qint64, QString> paths = knowledge::paths(db, kmh_);
    const QList<qint64> chosen = composition::typePoints(db, kmh_, currentTypeName());
    auto* all = new QListWidgetItem(kAllPoints, ListZsd);
    all->setFlags(all->flags() | Qt::ItemIsUserCheckable);
    all->setData(Qt::UserRole, qint64(0));
    bool anyTicked = false;
    for (const knowledge::Point& point : points) {
        auto* item = new QListWidgetItem(paths.value(point.id), ListZsd);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setData(Qt::UserRole, point.id);
        item->setToolTip(item->text());
        const bool ticked = chosen.contains(point.id);
        anyTicked = anyTicked || ticked;
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    // A restriction to points deleted meanwhile shows as none ticked: the type then has no
    // candidates, which 备选题数 says, rather than silently drawing from every point.
    all->setCheckState(chosen.isEmpty() ? Qt::Checked : Qt::Unchecked);
    ListZsd->setVisible(!points.isEmpty());
}

QList<qint64> TXxszF::chosenPoints() const
{
    QList<qint64> ids;
    for (int i = 1; i < ListZsd->count(); ++i) {
        const QListWidgetItem* item = ListZsd->item(i);
        if (item->checkState() == Qt::Checked) ids.append(item->data(Qt::UserRole).toLongLong());
    }
    return ids;
}

void TXxszF::InitListBoxTx()
{
    const QSignalBlocker block(ListBoxTx);
    ListBoxTx->clear();
    if (ZtszF) {
        for (int i = 0; i < ZtszF->ListBoxSj->count(); ++i) ListBoxTx->addItem(ZtszF->ListBoxSj->item(i)->text());
    }
    selectRow(ListBoxTx, 0);
}

void TXxszF::InitMemoTxms()
{
    LabelZt->clear();
    MemoTxms->clear();
    QFont font = MemoTxms->font();
    font.setPointSize(11);
    MemoTxms->setFont(font);
    MemoTxms->appendPlainText(currentTypeName() + QStringLiteral("(本题共") + EditTs->text() +
                              QStringLiteral("道小题，共") + EditZf->text() + QStringLiteral("分。）"));
    // Appending leaves the view at the end; the description is read from its start, the type name.
    MemoTxms->moveCursor(QTextCursor::Start);
}

void TXxszF::InitDBGridST()
{
    SelectTm();
}

// The candidates: questions of the wizard subject whose type is the selected type of that subject,
// whose chapter is a ticked chapter of that subject and, unless "全部", of exactly that difficulty.
void TXxszF::SelectTm()
{
    QString statement =
        QStringLiteral(
            "SELECT stb.id, stb.kmh, stb.txh, stb.th, stb.zjh, stb.nd, stb.fs, stb.\"time\", stb.bz, zjb.zjm,"
            " substr(stb.tm, 1, 300) AS tmh"
            " FROM stb, zjb, txb WHERE stb.zjh=zjb.zjh AND stb.txh=txb.txh"
            " AND stb.kmh=? AND %1 AND txb.txm=? AND zjb.kmh=? AND txb.kmh=?")
            .arg(composition::chosenChapterCondition(DM->db()));
    QVariantList binds = {kmh_, currentTypeName(), kmh_, kmh_};
    const QString nd = ComboBoxNd->currentText();
    if (nd != kAll) {
        statement += QStringLiteral(" AND stb.nd=?");
        binds << nd;
    }
    // Restricted to knowledge points: the questions linked to one of them or to a descendant
    // (read through the index on stzsd(zsdid)).
    {
        QSqlDatabase db = DM->db();
        const QList<qint64> chosen = composition::typePoints(db, kmh_, currentTypeName());
        if (!chosen.isEmpty()) {
            const QList<qint64> branch = knowledge::withDescendants(db, chosen);
            QStringList marks;
            for (qint64 id : branch) {
                marks << QStringLiteral("?");
                binds << id;
            }
            statement += marks.isEmpty()
                             ? QStringLiteral(" AND 1=0")
                             : QStringLiteral(" AND stb.id IN (SELECT stzsd.stid FROM stzsd WHERE stzsd.zsdid IN (%1))")
                                   .arg(marks.join(QLatin1Char(',')));
        }
    }
    // A search lists only the candidates the bank's search finds in this subject, type and
    // difficulty; the count of all candidates (备选题数, and what a type may take) stays theirs.
    bool more = false;
    candidateCount_ = -1;
    if (!searchPhrase_.isEmpty()) {
        candidateCount_ =
            sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM (%1) AS candidates").arg(statement), binds)
                .toInt();
        question_search::Filter filter;
        filter.kmh = kmh_;
        filter.txh = TxmToTxh(kmh_, currentTypeName());
        if (nd != kAll) filter.nd = nd;
        const question_search::Result found = question_search::find(DM->db(), searchPhrase_, filter, kSearchLimit);
        more = !found.exact || found.total > found.hits.size();
        if (found.hits.isEmpty()) {
            statement += QStringLiteral(" AND 1=0");
        } else {
            QStringList marks;
            for (const question_search::Hit& hit : found.hits) {
                marks << QStringLiteral("?");
                binds << hit.id;
            }
            statement += QStringLiteral(" AND stb.id IN (%1)").arg(marks.join(QLatin1Char(',')));
        }
    }
    // Listed in the order of the questions' ids; only the ids of all candidates are read at once,
    // their rows a window at a time as the grid or the draw looks at them.
    Dataset* st = DM->ADOQuerySt;
    st->close();
    st->setKeyedSql(statement, QStringLiteral("id"), binds);
    // Question and answer texts are read only for the candidates that are shown or chosen.
    st->setDeferredFields(QStringLiteral("stb"), QStringLiteral("id"), {QStringLiteral("tm"), QStringLiteral("da")});
    st->open();
    if (candidateCount_ < 0) candidateCount_ = st->recordCount();
    showSearchResult(more);
}

void TXxszF::showSearchResult(bool more)
{
    if (searchPhrase_.isEmpty()) {
        LabelSsHx->clear();
        return;
    }
    const int found = DM->ADOQuerySt->recordCount();
    if (found == 0) {
        LabelSsHx->setText(QStringLiteral("没有找到含“%1”的候选题").arg(searchPhrase_));
    } else {
        LabelSsHx->setText(more ? QStringLiteral("找到 %1 道以上").arg(found)
                                : QStringLiteral("找到 %1 道").arg(found));
    }
    LabelSsHx->setToolTip(LabelSsHx->text());
}

void TXxszF::EditSsHxSearch()
{
    const QString phrase = EditSsHx->text().trimmed();
    if (phrase == searchPhrase_) return;
    searchPhrase_ = phrase;
    SelectTm();
    // The first candidate found is the current one, shown below the list.
    DBGridTmCellClick();
    if (DM->ADOQuerySt->recordCount() == 0) LabelTH->clear();
}

void TXxszF::clearCandidateSearch()
{
    TimerSsHx->stop();
    if (searchPhrase_.isEmpty() && EditSsHx->text().isEmpty()) return;
    {
        const QSignalBlocker block(EditSsHx);
        EditSsHx->clear();
    }
    const bool narrowed = !searchPhrase_.isEmpty();
    searchPhrase_.clear();
    if (narrowed) SelectTm();
    LabelSsHx->clear();
}

// ---- per-type settings ----------------------------------------------------------------------

void TXxszF::ListBoxTxClick()
{
    if (draftLost()) return;
    InitMemoTxms();
    InitListZsd();
    SelectTm();
    EditBxTs->setText(QString::number(candidateCount_));
    const QString txm = currentTypeName();
    if (composition::isTypeChosen(DM->db(), kmh_, txm)) {
        InitListBoxSj();
        const QString txh = TxmToTxh(kmh_, txm);
        Dataset* q = DM->ADOQuery1;
        q->close();
        q->setSql(QStringLiteral("SELECT * FROM sjb WHERE kmh=? AND txh=? ORDER BY id"), {kmh_, txh});
        q->open();
        EditTs->setText(QString::number(q->recordCount()));
        double sum = 0;
        q->first();
        while (!q->eof()) {
            sum += q->fieldByName(QStringLiteral("fs")).asFloat();
            q->next();
        }
        EditZf->setText(QString::number(convert::roundHalfEven(sum)));
    } else {
        clearPaperList();
        EditTs->setText(QStringLiteral("0"));
        EditTs->setFocus();
        EditTs->selectAll();
        EditZf->setText(QStringLiteral("0"));
    }
}

void TXxszF::CheckListBoxZjClickCheck(int row, bool checked)
{
    if (draftLost()) return;
    if (row < 0) return;
    {
        const QSignalBlocker block(CheckListBoxZj);
        CheckListBoxZj->setCurrentRow(row);
    }
    const QString name = CheckListBoxZj->item(row)->text();
    if (checked) {
        ZjIsChosen(kmh_, name);
    } else {
        ZjNotChosen(kmh_, name);
    }
    SelectTm();
    EditBxTs->setText(QString::number(candidateCount_));
}

void TXxszF::ListZsdClickCheck(int row, bool checked)
{
    if (draftLost()) return;
    if (row < 0 || row >= ListZsd->count()) return;
    {
        const QSignalBlocker block(ListZsd);
        ListZsd->setCurrentRow(row);
        if (row == 0) {
            // "全部知识点" clears the points; unticking it alone would leave nothing to draw from.
            for (int i = 1; i < ListZsd->count(); ++i) ListZsd->item(i)->setCheckState(Qt::Unchecked);
            ListZsd->item(0)->setCheckState(Qt::Checked);
        } else {
            ListZsd->item(0)->setCheckState(checked || !chosenPoints().isEmpty() ? Qt::Unchecked : Qt::Checked);
        }
    }
    composition::setTypePoints(DM->db(), kmh_, currentTypeName(), chosenPoints());
    SelectTm();
    EditBxTs->setText(QString::number(candidateCount_));
    if (RadioGroup1ItemIndex() == 1) DBGridTmCellClick();
}

int TXxszF::RadioGroup1ItemIndex() const
{
    return RadioGroup1Manual->isChecked() ? 1 : 0;
}

void TXxszF::RadioGroup1Click()
{
    const bool manual = RadioGroup1ItemIndex() == 1;
    CheckListBoxZj->setVisible(!manual);
    ComboBoxNd->setVisible(!manual);
    if (manual) {
        Label5->setText(QStringLiteral("满足条件的题目"));
        Label5->setGeometry(140, 186, 110, 16);
    } else {
        Label5->setText(QStringLiteral("难度"));
        Label5->setGeometry(16, 186, 36, 16);
    }
    Label8->setVisible(!manual);
    EditBxTs->setVisible(!manual);
    SBtnQbyr->setVisible(!manual);
    SBtnQbyc->setVisible(!manual);
    for (QWidget* w : std::initializer_list<QWidget*>{CheckBoxPcjq, SpinBoxPcjq, LabelPcjq}) w->setVisible(!manual);
    DBGridTm->setVisible(manual);
    SBtnYr->setVisible(manual);
    SBtnYc->setVisible(manual);
    EditSsHx->setVisible(manual);
    LabelSsHx->setVisible(manual);
    // Automatic choice draws from every candidate: a search made by hand ends with it.
    if (!manual) clearCandidateSearch();
}

void TXxszF::showQuestion(const QString& th, const QString& tm)
{
    // The hidden box keeps the short form (formulas as their source, pictures as "[图]"); the
    // preview shows the text rendered.
    MemoTm->setPlainText(content::shortForm(tm));
    PreviewTm->setContentText(tm);
    LabelTH->setText(th);
}

void TXxszF::DBGridTmCellClick()
{
    MemoTm->clear();
    PreviewTm->setContentText(QString());
    Dataset* st = DM->ADOQuerySt;
    if (!st->isActive() || st->recNo() < 0) return;
    showQuestion(st->str(QStringLiteral("th")), st->str(QStringLiteral("tm")));
}

void TXxszF::DBGridTmKeyUp(int key)
{
    // Every key that moves the grid's current row (arrows, pages, Home and End with or without
    // Ctrl) shows the question it moved to.
    switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            DBGridTmCellClick();
            break;
        default:
            break;
    }
}

void TXxszF::DBGridTmDblClick()
{
    if (RadioGroup1ItemIndex() == 1) SBtnYrClick();
}

void TXxszF::BlinkEditTs()
{
    blink_ = 0;
    Timer1->start();
    Timer1Timer();
    EditTs->setFocus();
    EditTs->selectAll();
}

void TXxszF::Timer1Timer()
{
    ++blink_;
    if (blink_ > 9) Timer1->stop();
    QPalette palette = editTsPalette_;
    if (blink_ % 2 == 1) palette.setColor(QPalette::Base, QColor(255, 255, 0));
    EditTs->setPalette(palette);
}

void TXxszF::BtnSybClick()
{
    platform::showHelp(this);
}

void TXxszF::Button3Click()
{
    close();
}

void TXxszF::closeWizard()
{
    if (closing_) return;
    closing_ = true;
    if (isVisible()) close();
    if (ZtszF) ZtszF->reject();
}

// ---- selection ------------------------------------------------------------------------------

int TXxszF::checkedCount(int count)
{
    const int available = convert::toInt(EditBxTs->text());
    if (available < count) {
        EditTs->setText(QString::number(available));
        MsgBox::show(QStringLiteral("满足条件的题目数量不足，已修改当前小题数！"), this);
        BlinkEditTs();
        return available;
    }
    return count;
}

void TXxszF::appendPaperRows(const QVector<int>& candidateRows, const QString& fs)
{
    Dataset* st = DM->ADOQuerySt;
    const char* const fields[] = {"kmh", "txh", "th", "zjh", "nd", "time", "bz", "id"};
    int columns[8];
    for (int i = 0; i < 8; ++i) columns[i] = st->fieldIndex(QString::fromLatin1(fields[i]));
    // Many rows per statement, in the order drawn (the paper lists them by id); their long texts
    // are copied inside the database. A candidate deleted meanwhile adds no row, as one at a time.
    constexpr int kRowsPerStatement = 100;
    for (qsizetype first = 0; first < candidateRows.size(); first += kRowsPerStatement) {
        const qsizetype n = std::min<qsizetype>(kRowsPerStatement, candidateRows.size() - first);
        QStringList rows;
        QVariantList binds;
        for (qsizetype i = 0; i < n; ++i) {
            const int r = candidateRows[first + i];
            if (st->valueAt(r, columns[7]).isEmpty()) continue;  // deleted since the list was read
            rows << QStringLiteral("(?,?,?,?,?,?,?,?,CAST(? AS BIGINT),CAST(? AS INTEGER))");
            for (int c = 0; c < 7; ++c) binds << st->valueAt(r, columns[c]);
            binds << fs << st->valueAt(r, columns[7]) << int(first + i);
        }
        if (rows.isEmpty()) continue;
        sql::changes(DM->db(),
                     QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, \"time\", bz, fs, tm, da)"
                                    " SELECT v.column1, v.column2, v.column3, v.column4, v.column5, v.column6,"
                                    " v.column7, v.column8, s.tm, s.da FROM (VALUES %1) AS v"
                                    " JOIN stb s ON s.id = v.column9 ORDER BY v.column10")
                         .arg(rows.join(QLatin1Char(','))),
                     binds);
    }
}

void TXxszF::appendPaperRow(int candidateRow, const QString& fs)
{
    Dataset* st = DM->ADOQuerySt;
    auto value = [st, candidateRow](const char* field) {
        return st->valueAt(candidateRow, st->fieldIndex(QString::fromLatin1(field)));
    };
    // The candidate is a row of stb: its long texts are copied inside the database.
    sql::exec(DM->db(),
              QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)"
                             " SELECT ?, ?, ?, ?, ?, ?, tm, da, ?, ? FROM stb WHERE id=?"),
              {value("kmh"), value("txh"), value("th"), value("zjh"), value("nd"), fs, value("time"), value("bz"),
               value("id")});
}

void TXxszF::SBtnQbyrClick()
{
    if (draftLost()) return;
    // The draw is over every candidate, never over a search's narrowed list.
    clearCandidateSearch();
    int count = convert::toInt(EditTs->text());
    if (count == 0) {
        MsgBox::show(QStringLiteral("请设置当前小题数！"), this);
        BlinkEditTs();
        return;
    }
    count = checkedCount(count);
    if (count == 0) return;
    const int total = convert::toInt(EditZf->text());
    const QString txm = currentTypeName();
    const QString txh = TxmToTxh(kmh_, txm);

    // Questions already on the paper in other types; this type's earlier choice is given up.
    QSet<QuestionKey> held;
    QSqlQuery q =
        sql::run(DM->db(), QStringLiteral("SELECT txh, th FROM sjb WHERE NOT (kmh=? AND txh=?)"), {kmh_, txh});
    while (q.next()) held.insert({q.value(0).toString(), q.value(1).toString()});
    // Questions of the newest stored papers, left out when the user asks (empty otherwise, and then
    // the draws are the usual ones).
    const QSet<qint64> excluded =
        CheckBoxPcjq->isChecked() ? library::usedInRecentPapers(DM->db(), kmh_, SpinBoxPcjq->value()) : QSet<qint64>();

    Dataset* st = DM->ADOQuerySt;
    const int n = st->recordCount();
    const int cTxh = st->fieldIndex(QStringLiteral("txh"));
    const int cTh = st->fieldIndex(QStringLiteral("th"));
    const int cId = st->fieldIndex(QStringLiteral("id"));
    // Rows that list one question twice would let the draw run forever; count distinct questions
    // (as far as the count needs: the draw can go on once that many are known).
    QSet<QuestionKey> distinct;
    QSet<QuestionKey> left;  // candidates left out as used in recent papers
    for (int r = 0; r < n && distinct.size() < count; ++r) {
        const QuestionKey key{st->valueAt(r, cTxh), st->valueAt(r, cTh)};
        if (held.contains(key)) continue;
        if (excluded.contains(st->valueAt(r, cId).toLongLong())) {
            left.insert(key);
        } else {
            distinct.insert(key);
        }
    }
    if (distinct.size() < count) {
        count = static_cast<int>(distinct.size());
        EditTs->setText(QString::number(count));
        QString text = QStringLiteral("满足条件的题目数量不足，已修改当前小题数！");
        if (!left.isEmpty()) {
            text += QStringLiteral("（已排除最近%1份试卷用过的题目%2道）").arg(SpinBoxPcjq->value()).arg(left.size());
        }
        MsgBox::show(text, this);
        BlinkEditTs();
        if (count == 0) return;
    }

    const QString fs = convert::floatToText(static_cast<double>(total) / count);
    // The draws come in batches of as many as are still wanted, and each batch's rows are read
    // with one statement; the sequence of draws is the same as drawing one at a time.
    QVector<int> drawn;
    QVector<int> batch;
    qsizetype next = 0;
    while (drawn.size() < count) {
        if (next == batch.size()) {
            batch.clear();
            next = 0;
            for (qsizetype i = drawn.size(); i < count; ++i) batch.append(randomdraw::below(n));
            st->prefetchRows(batch);
        }
        const int r = batch[next++];
        const QuestionKey key{st->valueAt(r, cTxh), st->valueAt(r, cTh)};
        // On the paper or left out: draw again.
        if (held.contains(key) || excluded.contains(st->valueAt(r, cId).toLongLong())) continue;
        held.insert(key);
        drawn.append(r);
    }
    const int lastDrawn = drawn.isEmpty() ? -1 : drawn.last();
    DM->transaction({DM->ADOSjb}, [&] {
        sql::run(DM->db(), QStringLiteral("DELETE FROM sjb WHERE kmh=? AND txh=?"), {kmh_, txh});
        appendPaperRows(drawn, fs);
        // The type is complete with the same commit that stores its questions.
        TxIsChosen(kmh_, txm);
    });
    if (lastDrawn >= 0) st->setRecNo(lastDrawn);
    InitListBoxSj();  // selects and shows the last question drawn
}

void TXxszF::SBtnYrClick()
{
    if (draftLost()) return;
    LabelZt->clear();
    const auto finish = [this] { InitListBoxSj(); };
    int count = convert::toInt(EditTs->text());
    if (count == 0) {
        MsgBox::show(QStringLiteral("请设置当前小题数！"), this);
        BlinkEditTs();
        return finish();
    }
    count = checkedCount(count);
    if (count == 0) return finish();
    const int total = convert::toInt(EditZf->text());
    const QString fs = convert::floatToText(static_cast<double>(total) / count);
    const QString txm = currentTypeName();
    const QString txh = TxmToTxh(kmh_, txm);
    const auto held = [this, &txh] {
        return sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM sjb WHERE kmh=? AND txh=?"), {kmh_, txh})
            .toInt();
    };
    if (held() >= count) {
        MsgBox::show(QStringLiteral("小题已设置完毕！"), this);
        TxIsChosen(kmh_, txm);
        return finish();
    }
    Dataset* st = DM->ADOQuerySt;
    const int row = st->isActive() ? st->recNo() : -1;
    if (row < 0) return finish();
    const QString candidateTxh = st->str(QStringLiteral("txh"));
    const QString candidateTh = st->str(QStringLiteral("th"));
    const int present = sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM sjb WHERE kmh=? AND txh=? AND th=?"),
                                    {kmh_, candidateTxh, candidateTh})
                            .toInt();
    if (present > 0) {
        MsgBox::show(QStringLiteral("该题已选入，请选择其它题目！"), this);
        return finish();
    }
    appendPaperRow(row, fs);
    DM->ADOSjb->refresh();
    const bool complete = held() >= count;
    if (complete) {
        TxIsChosen(kmh_, txm);
    } else {
        TxNotChosen(kmh_, txm);
    }
    finish();
    // The last question completes the type: said beside the list, since nothing was refused.
    if (complete) LabelZt->setText(QStringLiteral("小题已设置完毕！"));
}

void TXxszF::SBtnYcClick()
{
    if (draftLost()) return;
    LabelZt->clear();
    const int row = selectedRow(ListBoxSj);
    if (row < 0 || row >= sjIds_.size()) {
        MsgBox::show(QStringLiteral("请从右边的列表框中选择要删除的题目！"), this);
        return;
    }
    sql::run(DM->db(), QStringLiteral("DELETE FROM sjb WHERE id=?"), {sjIds_.at(row)});
    DM->ADOSjb->refresh();
    InitListBoxSj();
}

void TXxszF::SBtnQbycClick()
{
    if (draftLost()) return;
    LabelZt->clear();
    const QString txm = currentTypeName();
    const QString txh = TxmToTxh(kmh_, txm);
    sql::run(DM->db(), QStringLiteral("DELETE FROM sjb WHERE kmh=? AND txh=?"), {kmh_, txh});
    DM->ADOSjb->refresh();
    clearPaperList();
    TxNotChosen(kmh_, txm);
}

// ---- paper contents list --------------------------------------------------------------------

void TXxszF::clearPaperList()
{
    const QSignalBlocker block(ListBoxSj);
    ListBoxSj->clear();
    sjIds_.clear();
    // Every change of the paper's list comes through here: the candidates' marks follow it.
    readPaperMarks();
}

void TXxszF::readPaperMarks()
{
    onPaper_.clear();
    QSqlQuery q = sql::run(DM->db(), QStringLiteral("SELECT txh, th FROM sjb WHERE kmh=?"), {kmh_});
    while (q.next()) onPaper_.insert(q.value(0).toString() + QLatin1Char('\n') + q.value(1).toString());
    DBGridTm->datasetModel()->refreshRows();
    showExpectedMean();
}

void TXxszF::showExpectedMean()
{
    // Most banks have no sittings: their papers are then not read again for the line.
    if (!analysis::anyMeasured(DM->db())) {
        LabelYqpjf->clear();
        LabelYqpjf->hide();
        return;
    }
    const QVector<analysis::ComposedQuestion> questions = analysis::composedQuestions(DM->db(), kmh_);
    QVector<qint64> ids;
    for (const analysis::ComposedQuestion& q : questions) {
        if (q.id >= 0) ids.append(q.id);
    }
    const QString text = ids.isEmpty() ? QString()
                                       : analysis::expectedMeanText(analysis::expectedMean(
                                             questions, analysis::measuredDifficulty(DM->db(), ids)));
    LabelYqpjf->setText(text);
    LabelYqpjf->setVisible(!text.isEmpty());
    // Shown, the line's room below the current question comes from the part above: the splitter
    // keeps each part at least as high as its contents need.
}

bool TXxszF::isOnPaper(const QString& txh, const QString& th) const
{
    return onPaper_.contains(txh + QLatin1Char('\n') + th);
}

// One line per chosen question of the selected type, in paper order: " 1) 001----2.0分". Each
// line keeps the id of its row, so a line leads to its row by its position whatever its width.
void TXxszF::InitListBoxSj()
{
    const QString txh = TxmToTxh(kmh_, currentTypeName());
    clearPaperList();
    QSqlQuery q =
        sql::run(DM->db(), QStringLiteral("SELECT id, th, fs FROM sjb WHERE kmh=? AND txh=? ORDER BY id"), {kmh_, txh});
    QStringList lines;
    while (q.next()) {
        sjIds_.append(q.value(0).toLongLong());
        const double fs = convert::toFloat(q.value(2).toString());
        lines << QStringLiteral("%1) %2----%3分")
                     .arg(QString::number(sjIds_.size()).rightJustified(2, QLatin1Char(' ')), q.value(1).toString(),
                          QString::asprintf("%.1f", fs));
    }
    const QSignalBlocker block(ListBoxSj);
    ListBoxSj->addItems(lines);
    if (lines.isEmpty()) return;
    selectRow(ListBoxSj, static_cast<int>(lines.size()) - 1);
    const QStringList last = readPaperRow(sjIds_.last());
    if (!last.isEmpty()) showQuestion(last.at(0), last.at(3));
}

void TXxszF::ListBoxSjClick()
{
    const int row = selectedRow(ListBoxSj);
    if (row < 0 || row >= sjIds_.size()) return;
    const QStringList values = readPaperRow(sjIds_.at(row));
    if (!values.isEmpty()) showQuestion(values.at(0), values.at(3));
}

// Exchanges the contents of the rows behind lines a and b, so that each row keeps its place in
// sjb and the paper's order changes. Both rows change together or not at all.
void TXxszF::Swap(int a, int b)
{
    if (a < 0 || b < 0 || a >= sjIds_.size() || b >= sjIds_.size() || a == b) return;
    const qint64 idA = sjIds_.at(a);
    const qint64 idB = sjIds_.at(b);
    const QStringList recordA = readPaperRow(idA);
    const QStringList recordB = readPaperRow(idB);
    if (recordA.isEmpty() || recordB.isEmpty()) return;
    const QString update =
        QStringLiteral("UPDATE sjb SET th=?, nd=?, fs=?, tm=?, da=?, \"time\"=?, zjh=?, bz=? WHERE id=?");
    DM->transaction({DM->ADOSjb}, [&] {
        QVariantList toA, toB;
        for (const QString& v : recordB) toA << v;
        for (const QString& v : recordA) toB << v;
        toA << idA;
        toB << idB;
        sql::run(DM->db(), update, toA);
        sql::run(DM->db(), update, toB);
    });
    InitListBoxSj();
    showQuestion(recordA.at(0), recordA.at(3));
}

void TXxszF::SBtnTmsyClick()
{
    if (draftLost()) return;
    const int i = selectedRow(ListBoxSj);
    if (i < 0) {
        MsgBox::show(QStringLiteral("请选择要移动的题目！"), this);
        return;
    }
    if (i == 0) return;
    Swap(i, i - 1);
    const QSignalBlocker block(ListBoxSj);
    selectRow(ListBoxSj, i - 1);
}

void TXxszF::SBtnTmxyClick()
{
    if (draftLost()) return;
    const int i = selectedRow(ListBoxSj);
    if (i < 0) {
        MsgBox::show(QStringLiteral("请选择要移动的题目！"), this);
        return;
    }
    if (i >= ListBoxSj->count() - 1) return;
    Swap(i, i + 1);
    const QSignalBlocker block(ListBoxSj);
    selectRow(ListBoxSj, i + 1);
}

// ---- composition check ----------------------------------------------------------------------

void TXxszF::Button2Click()
{
    if (draftLost()) return;
    QSet<QString> paperTypes;
    for (int i = 0; i < ListBoxTx->count(); ++i) paperTypes.insert(ListBoxTx->item(i)->text());
    for (const QString& open : composition::openTypeNames(DM->db(), kmh_)) {
        if (paperTypes.contains(open)) {
            MsgBox::show(QStringLiteral("某些题型尚未设置题目，请检查后重新设置！"), this);
            return;
        }
    }
    double sum = 0;
    QSqlQuery scores = sql::run(DM->db(), QStringLiteral("SELECT fs FROM sjb ORDER BY id"));
    while (scores.next()) sum += convert::toFloat(scores.value(0).toString());
    const long long rounded = convert::roundHalfEven(sum);
    const int total = convert::toInt(ZtszF ? ZtszF->EditZf->text() : QString());
    if (rounded != total) {
        MsgBox::show(QStringLiteral("各题型分数之和为") + QString::number(rounded) +
                         QStringLiteral(",与前面设置的试卷总分") + QString::number(total) +
                         QStringLiteral("不一致，请检查后重试！"),
                     this);
        return;
    }
    // A paper that could not be written keeps the wizard open with the composed paper.
    if (Print()) closeWizard();
}

bool TXxszF::Print()
{
    QStringList types;
    for (int i = 0; i < ListBoxTx->count(); ++i) types << ListBoxTx->item(i)->text();
    if (!ZtszF) return false;
    // The paper goes into the library as it is printed; a paper whose document could not be
    // written is taken out again, so the library holds only papers that were given out. A paper
    // whose subject, types, chapters or questions another user deleted meanwhile is neither.
    const PrintLayout layout = PrintLayout::load(current_user::name());
    library::StoredPaper stored;
    try {
        stored = library::recordComposition(DM->db(), kmh_, kmm_, types, ZtszF->EditSjbt->text(), ZtszF->EditSj->text(),
                                            ZtszF->EditZf->text(), layout.name());
    } catch (const DataError&) {
        throw;
    } catch (const AppError& e) {
        MsgBox::show(e.text(), this);
        return false;
    }
    if (printPaper(kmh_, types, ZtszF->EditSjbt->text(), ZtszF->EditSj->text(), ZtszF->EditZf->text(), layout,
                   ZtszF->BlueprintTable)) {
        return true;
    }
    library::deletePaper(DM->db(), stored.id);
    return false;
}
