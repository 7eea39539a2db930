#include "windows/wizard/overall_settings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "content/fonts.h"
#include "data/data_module.h"
#include "data/lookups.h"
#include "data/sql.h"
#include "ui/controls.h"
#include "ui/forms.h"
#include "ui/handler.h"
#include "ui/message_box.h"
#include "ui/navigator.h"

namespace wizard {

int selectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

void selectRow(QListWidget* list, int row)
{
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    } else {
        list->setCurrentRow(-1);
        list->clearSelection();
    }
}

}  // namespace wizard

using wizard::selectedRow;
using wizard::selectRow;

namespace {

using ui::makeLabel;

QToolButton* makeSpeedButton(const QString& text, const QString& hint, QWidget* parent, const char* name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

TZtszF::TZtszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ZtszF"));
    setWindowTitle(QStringLiteral("组卷向导--总体设置"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(fonts::song(12));
    setFixedSize(474, 459);

    GroupBox2 = new QGroupBox(QStringLiteral("科目选择"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    Label1 = makeLabel(QStringLiteral(" 科目"), GroupBox2, "Label1");
    ComboBoxKm = new QComboBox(GroupBox2);
    ComboBoxKm->setObjectName(QStringLiteral("ComboBoxKm"));
    ComboBoxKm->setEditable(true);
    ComboBoxKm->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxKm->setCompleter(nullptr);  // typed text stays exactly as typed

    GroupBox1 = new QGroupBox(QStringLiteral("题型选择"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Label2 = makeLabel(QStringLiteral("待选题型  "), GroupBox1, "Label2");
    Label3 = makeLabel(QStringLiteral("试卷题型列表   "), GroupBox1, "Label3");
    ListBoxTk = new QListWidget(GroupBox1);
    ListBoxTk->setObjectName(QStringLiteral("ListBoxTk"));
    ListBoxSj = new QListWidget(GroupBox1);
    ListBoxSj->setObjectName(QStringLiteral("ListBoxSj"));
    SBtnYr = makeSpeedButton(QStringLiteral(">"), QStringLiteral("移入"), GroupBox1, "SBtnYr");
    SBtnYc = makeSpeedButton(QStringLiteral("<"), QStringLiteral("移出"), GroupBox1, "SBtnYc");
    SBtnQbyr = makeSpeedButton(QStringLiteral(">>"), QStringLiteral("全部移入"), GroupBox1, "SBtnQbyr");
    SBtnQbyc = makeSpeedButton(QStringLiteral("<<"), QStringLiteral("全部移出"), GroupBox1, "SBtnQbyc");
    SpeedButton5 = makeSpeedButton(QString(), QStringLiteral("题型上移"), GroupBox1, "SpeedButton5");
    SpeedButton5->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    SpeedButton6 = makeSpeedButton(QString(), QStringLiteral("题型下移"), GroupBox1, "SpeedButton6");
    SpeedButton6->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    Label8 = makeLabel(QStringLiteral("说明：点击试卷"), GroupBox1, "Label8");
    Label9 = makeLabel(QStringLiteral("题型列表框下的"), GroupBox1, "Label9");
    Label10 = makeLabel(QStringLiteral("上下箭头，可改"), GroupBox1, "Label10");
    Label11 = makeLabel(QStringLiteral("变各题型在试卷"), GroupBox1, "Label11");
    Label12 = makeLabel(QStringLiteral("中的先后顺序。"), GroupBox1, "Label12");

    GroupBox3 = new QGroupBox(QStringLiteral("试卷标题栏设置"), this);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    Label4 = makeLabel(QStringLiteral("试卷标题"), GroupBox3, "Label4");
    EditSjbt = new QLineEdit(GroupBox3);
    EditSjbt->setObjectName(QStringLiteral("EditSjbt"));
    Label5 = makeLabel(QStringLiteral("考试时间"), GroupBox3, "Label5");
    EditSj = new QLineEdit(GroupBox3);
    EditSj->setObjectName(QStringLiteral("EditSj"));
    Label6 = makeLabel(QStringLiteral("分钟"), GroupBox3, "Label6");
    Label7 = makeLabel(QStringLiteral("总分"), GroupBox3, "Label7");
    EditZf = new QLineEdit(GroupBox3);
    EditZf->setObjectName(QStringLiteral("EditZf"));

    BtnXyb = new QPushButton(QStringLiteral("下一步>>"), this);
    BtnXyb->setObjectName(QStringLiteral("BtnXyb"));
    BtnQx = new QPushButton(QStringLiteral("取消"), this);
    BtnQx->setObjectName(QStringLiteral("BtnQx"));
    BtnXmb = new QPushButton(QStringLiteral("按细目表组卷"), this);
    BtnXmb->setObjectName(QStringLiteral("BtnXmb"));
    BtnXmb->setToolTip(QStringLiteral("按双向细目表（章节 × 题型 × 难度）安排题数和分数，一次组成试卷"));
    for (QPushButton* b : {BtnXyb, BtnQx, BtnXmb}) {
        b->setFont(fonts::song(14, true));
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    EditSjbt->installEventFilter(this);
    EditSj->installEventFilter(this);

    connect(ComboBoxKm, &QComboBox::activated, this, ui::guard([this] { ComboBoxKmChange(true); }));
    connect(ComboBoxKm->lineEdit(), &QLineEdit::textEdited, this, ui::guard([this] { ComboBoxKmChange(false); }));
    connect(SBtnYr, &QToolButton::clicked, this, ui::guard([this] { SBtnYrClick(); }));
    connect(SBtnYc, &QToolButton::clicked, this, ui::guard([this] { SBtnYcClick(); }));
    connect(SBtnQbyr, &QToolButton::clicked, this, ui::guard([this] { SBtnQbyrClick(); }));
    connect(SBtnQbyc, &QToolButton::clicked, this, ui::guard([this] { SBtnQbycClick(); }));
    connect(SpeedButton5, &QToolButton::clicked, this, ui::guard([this] { SpeedButton5Click(); }));
    connect(SpeedButton6, &QToolButton::clicked, this, ui::guard([this] { SpeedButton6Click(); }));
    connect(BtnXyb, &QPushButton::clicked, this, ui::guard([this] { BtnXybClick(); }));
    connect(BtnQx, &QPushButton::clicked, this, ui::guard([this] { BtnQxClick(); }));
    connect(BtnXmb, &QPushButton::clicked, this, ui::guard([this] { BtnXmbClick(); }));

    FormCreate();
    ui::centreOnScreen(this);
}

void TZtszF::FormCreate()
{
    GroupBox2->setGeometry(16, 8, 442, 58);
    Label1->setGeometry(16, 26, 40, 16);
    ComboBoxKm->setGeometry(64, 22, 220, 24);

    GroupBox1->setGeometry(16, 74, 442, 246);
    Label2->setGeometry(16, 22, 110, 16);
    ListBoxTk->setGeometry(16, 40, 130, 194);
    SBtnYr->setGeometry(156, 56, 40, 26);
    SBtnYc->setGeometry(156, 92, 40, 26);
    SBtnQbyr->setGeometry(156, 128, 40, 26);
    SBtnQbyc->setGeometry(156, 164, 40, 26);
    Label3->setGeometry(206, 22, 120, 16);
    ListBoxSj->setGeometry(206, 40, 130, 194);
    SpeedButton5->setGeometry(346, 56, 26, 26);
    SpeedButton6->setGeometry(346, 92, 26, 26);
    QLabel* notes[] = {Label8, Label9, Label10, Label11, Label12};
    for (int i = 0; i < 5; ++i) notes[i]->setGeometry(346, 134 + 18 * i, 92, 16);

    GroupBox3->setGeometry(16, 328, 442, 84);
    Label4->setGeometry(16, 26, 60, 16);
    EditSjbt->setGeometry(80, 22, 346, 22);
    Label5->setGeometry(16, 56, 60, 16);
    EditSj->setGeometry(80, 52, 60, 22);
    Label6->setGeometry(146, 56, 30, 16);
    Label7->setGeometry(220, 56, 30, 16);
    EditZf->setGeometry(256, 52, 60, 22);

    BtnXyb->setGeometry(250, 420, 96, 30);
    BtnQx->setGeometry(362, 420, 96, 30);
    BtnXmb->setGeometry(16, 420, 140, 30);
}

void TZtszF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) ui::load(this, [this] { FormShow(); });
}

void TZtszF::keyPressEvent(QKeyEvent* event)
{
    // Escape would close the wizard behind the user's back; it closes only by its buttons.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TZtszF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == EditSjbt) {
                EditSj->setFocus();
                EditSj->selectAll();
                return true;
            }
            if (watched == EditSj) {
                EditZf->setFocus();
                EditZf->selectAll();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString TZtszF::KmmToKmh(const QString& name) const
{
    return ::KmmToKmh(name);
}

void TZtszF::InitComboBoxKm()
{
    const QString text = ComboBoxKm->currentText();
    ComboBoxKm->clear();
    Dataset* kmb = DM->ADOKmb;
    kmb->first();
    while (!kmb->eof()) {
        ComboBoxKm->addItem(kmb->str(QStringLiteral("kmm")));
        kmb->next();
    }
    if (ComboBoxKm->count() > 0) {
        ComboBoxKm->setCurrentIndex(0);
    } else {
        ComboBoxKm->setEditText(text);
    }
}

// The names of a subject's question types, in table order.
static QStringList typeNames(const QString& kmh)
{
    return sql::column(DM->db(), QStringLiteral("SELECT txm FROM txb WHERE kmh=? ORDER BY id"), {kmh});
}

void TZtszF::InitListBoxTk(const QString& name)
{
    const QString kmh = KmmToKmh(name);
    ListBoxTk->clear();
    ListBoxTk->addItems(typeNames(kmh));
}

void TZtszF::focusTitle()
{
    EditSjbt->setFocus();
    EditSjbt->selectAll();
}

void TZtszF::FormShow()
{
    InitComboBoxKm();
    InitListBoxTk(ComboBoxKm->currentText());
    EditSjbt->setText(ComboBoxKm->currentText() + QStringLiteral("试卷"));
    focusTitle();
    EditSj->setText(QStringLiteral("120"));
    EditZf->setText(QStringLiteral("100"));
    selectRow(ListBoxTk, 0);
    ListBoxSj->clear();
}

void TZtszF::ComboBoxKmChange(bool picked)
{
    const int index = ComboBoxKm->currentIndex();
    const QString name = picked && index >= 0 ? ComboBoxKm->itemText(index) : QString();
    InitListBoxTk(name);
    EditSjbt->setText(name + QStringLiteral("试卷"));
    focusTitle();
    selectRow(ListBoxTk, 0);
    ListBoxSj->clear();
}

void TZtszF::SBtnYrClick()
{
    const int row = selectedRow(ListBoxTk);
    if (row < 0) return;
    QListWidgetItem* item = ListBoxTk->takeItem(row);
    ListBoxSj->addItem(item);
    selectRow(ListBoxTk, 0);
}

void TZtszF::SBtnYcClick()
{
    const int row = selectedRow(ListBoxSj);
    if (row < 0) return;
    QListWidgetItem* item = ListBoxSj->takeItem(row);
    ListBoxTk->addItem(item);
    selectRow(ListBoxSj, -1);
}

void TZtszF::SBtnQbyrClick()
{
    const QString kmh = KmmToKmh(ComboBoxKm->currentText());
    ListBoxSj->clear();
    ListBoxSj->addItems(typeNames(kmh));
    ListBoxTk->clear();
}

void TZtszF::SBtnQbycClick()
{
    InitListBoxTk(ComboBoxKm->currentText());
    ListBoxSj->clear();
}

void TZtszF::SpeedButton5Click()
{
    const int row = selectedRow(ListBoxSj);
    if (row <= 0) return;
    const QString text = ListBoxSj->item(row)->text();
    ListBoxSj->item(row)->setText(ListBoxSj->item(row - 1)->text());
    ListBoxSj->item(row - 1)->setText(text);
    selectRow(ListBoxSj, row - 1);
}

void TZtszF::SpeedButton6Click()
{
    const int row = selectedRow(ListBoxSj);
    if (row < 0 || row >= ListBoxSj->count() - 1) return;
    const QString text = ListBoxSj->item(row)->text();
    ListBoxSj->item(row)->setText(ListBoxSj->item(row + 1)->text());
    ListBoxSj->item(row + 1)->setText(text);
    selectRow(ListBoxSj, row + 1);
}

void TZtszF::BtnXybClick()
{
    if (EditSjbt->text().isEmpty()) {
        MsgBox::show(QStringLiteral("试卷标题不能为空！"), this);
        return;
    }
    if (ListBoxSj->count() == 0) {
        MsgBox::show(QStringLiteral("试卷应至少包含一种题型，请选择题型！"), this);
        return;
    }
    openStepTwo(false);
}

void TZtszF::openStepTwo(bool keepPaper)
{
    if (!keepPaper) BlueprintTable.clear();
    hide();
    ui::navigator().openStepTwo(this, keepPaper);
    // Step 2 has closed this dialog as well; both are released with their owner.
}

void TZtszF::BtnXmbClick()
{
    if (!ui::navigator().composeFromBlueprint(this)) return;
    openStepTwo(true);
}

void TZtszF::BtnQxClick()
{
    close();
}
