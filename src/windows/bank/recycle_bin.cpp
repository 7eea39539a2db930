#include "windows/bank/recycle_bin.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/busy.h"
#include "ui/forms.h"
#include "ui/message_box.h"
#include "windows/bank/bank_common.h"
#include "data/data_module.h"
#include "data/recycle.h"
#include "ui/handler.h"
#include "content/fonts.h"
#include "ui/navigator.h"

// From this many questions on, a restore shows a window naming it while it runs.
static constexpr int kBusyQuestions = 5000;

THszF::THszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HszF"));
    setWindowTitle(QStringLiteral("回收站"));
    bank::useSystemMenuBorder(this);
    setFont(fonts::song(12));
    resize(720, 440);

    Label1 = new QLabel(QStringLiteral("已删除的内容（最近删除的在前）："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    GridHsz = new QTableWidget(0, 3, this);
    GridHsz->setObjectName(QStringLiteral("GridHsz"));
    GridHsz->setHorizontalHeaderLabels({QStringLiteral("内容"), QStringLiteral("删除时间"), QStringLiteral("删除人")});
    GridHsz->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridHsz->setSelectionMode(QAbstractItemView::SingleSelection);
    GridHsz->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridHsz->verticalHeader()->hide();
    GridHsz->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    GridHsz->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    GridHsz->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);

    BtnHy = new QPushButton(QStringLiteral("恢复"), this);
    BtnHy->setObjectName(QStringLiteral("BtnHy"));
    BtnQk = new QPushButton(QStringLiteral("清空回收站"), this);
    BtnQk->setObjectName(QStringLiteral("BtnQk"));
    Label2 = new QLabel(QStringLiteral("清除"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    EditTs = new QSpinBox(this);
    EditTs->setObjectName(QStringLiteral("EditTs"));
    EditTs->setRange(1, 3650);
    EditTs->setValue(30);
    Label3 = new QLabel(QStringLiteral("天以前删除的项目"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    BtnQc = new QPushButton(QStringLiteral("清除"), this);
    BtnQc->setObjectName(QStringLiteral("BtnQc"));
    LabelZt = new QLabel(this);
    LabelZt->setObjectName(QStringLiteral("LabelZt"));
    LabelZt->setWordWrap(true);
    BtnGb = new QPushButton(QStringLiteral("关闭"), this);
    BtnGb->setObjectName(QStringLiteral("BtnGb"));
    for (QPushButton* b : {BtnHy, BtnQk, BtnQc, BtnGb}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BtnHy);
    buttons->addSpacing(16);
    buttons->addWidget(BtnQk);
    buttons->addStretch();
    buttons->addWidget(BtnGb);
    auto* older = new QHBoxLayout;
    older->addWidget(Label2);
    older->addWidget(EditTs);
    older->addWidget(Label3);
    older->addWidget(BtnQc);
    older->addStretch();
    auto* left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addWidget(GridHsz, 1);
    left->addLayout(older);
    left->addWidget(LabelZt);
    auto* all = new QHBoxLayout(this);
    all->addLayout(left, 1);
    all->addLayout(buttons);

    connect(BtnHy, &QPushButton::clicked, this, ui::guard([this] { BtnHyClick(); }));
    connect(GridHsz, &QTableWidget::cellDoubleClicked, this, ui::guard([this] { BtnHyClick(); }));
    connect(BtnQk, &QPushButton::clicked, this, ui::guard([this] { BtnQkClick(); }));
    connect(BtnQc, &QPushButton::clicked, this, ui::guard([this] { BtnQcClick(); }));
    connect(BtnGb, &QPushButton::clicked, this, ui::guard([this] { BtnGbClick(); }));
    ui::centreOnScreen(this);
}

void THszF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) ui::load(this, [this] { FormShow(); });
}

void THszF::FormShow()
{
    const QVector<recycle::Item> items = recycle::items(DM->db());
    GridHsz->setRowCount(0);
    GridHsz->setRowCount(items.size());
    for (int row = 0; row < items.size(); ++row) {
        const recycle::Item& item = items[row];
        auto* what = new QTableWidgetItem(item.summary);
        what->setData(Qt::UserRole, item.id);
        what->setData(Qt::UserRole + 1, item.kind);
        what->setData(Qt::UserRole + 2, item.questions);
        GridHsz->setItem(row, 0, what);
        GridHsz->setItem(row, 1, new QTableWidgetItem(item.deletedAt));
        GridHsz->setItem(row, 2, new QTableWidgetItem(item.deletedBy));
    }
    if (!items.isEmpty()) GridHsz->selectRow(0);
    BtnHy->setEnabled(!items.isEmpty());
    BtnQk->setEnabled(!items.isEmpty());
    BtnQc->setEnabled(!items.isEmpty());
}

bool THszF::chooseName(qint64 itemId, const QString& kind, QString* name)
{
    QString taken = recycle::takenName(DM->db(), itemId);
    while (!taken.isEmpty()) {
        QInputDialog ask(this);
        ask.setObjectName(QStringLiteral("NameDialog"));
        ask.setWindowTitle(QStringLiteral("恢复") + kind);
        ask.setLabelText(QStringLiteral("%1名称“%2”已被使用，请输入恢复后的新名称：").arg(kind, taken));
        ask.setTextValue(taken);
        if (ask.exec() != QDialog::Accepted) return false;
        const QString wanted = ask.textValue();
        if (wanted.isEmpty()) {
            MsgBox::show(kind + QStringLiteral("名称不能为空！"), this);
            continue;
        }
        *name = wanted;
        taken = recycle::takenName(DM->db(), itemId, wanted);
    }
    return true;
}

void THszF::BtnHyClick()
{
    const int row = GridHsz->currentRow();
    QTableWidgetItem* what = row >= 0 ? GridHsz->item(row, 0) : nullptr;
    if (!what) {
        MsgBox::show(QStringLiteral("请选择要恢复的项目！"), this);
        return;
    }
    const qint64 id = what->data(Qt::UserRole).toLongLong();
    const QString kind = what->data(Qt::UserRole + 1).toString();
    const QString summary = what->text();
    QString name;
    if (!chooseName(id, recycle::kindName(kind), &name)) return;
    QStringList notes;
    {
        ui::Busy busy(QStringLiteral("正在恢复“") + summary + QStringLiteral("”……"), this,
                       what->data(Qt::UserRole + 2).toInt() >= kBusyQuestions);
        DM->transaction({DM->ADOKmb, DM->ADOTxb, DM->ADOZjb, DM->ADOStb},
                        [&] { notes = recycle::restore(DM->db(), id, name); });
    }
    if (kind == QLatin1String("kmb")) subjectRestored_ = true;
    QString text = QStringLiteral("已恢复：") + summary;
    if (!name.isEmpty()) text += QStringLiteral("\n恢复后的名称为“%1”。").arg(name);
    if (!notes.isEmpty()) text += QLatin1Char('\n') + notes.join(QLatin1Char('\n'));
    FormShow();
    LabelZt->setText(text);
    MsgBox::show(text, this);
}

void THszF::BtnQkClick()
{
    const int count = recycle::countBefore(DM->db());
    if (count == 0) {
        MsgBox::show(QStringLiteral("回收站是空的。"), this);
        return;
    }
    if (!MsgBox::confirmDestructive(QStringLiteral("确认清空回收站吗？其中的 %1 项将被永久删除，无法恢复。").arg(count),
                                    this)) {
        return;
    }
    {
        ui::Busy busy(QStringLiteral("正在清空回收站……"), this, false);
        DM->transaction({}, [&] { recycle::purgeBefore(DM->db()); });
    }
    FormShow();
    LabelZt->setText(QStringLiteral("回收站已清空，永久删除了 %1 项。").arg(count));
}

void THszF::BtnQcClick()
{
    const int days = EditTs->value();
    const QString cutoff = recycle::timestamp(QDateTime::currentDateTime().addDays(-days));
    const int count = recycle::countBefore(DM->db(), cutoff);
    if (count == 0) {
        MsgBox::show(QStringLiteral("回收站中没有 %1 天以前删除的项目。").arg(days), this);
        return;
    }
    if (!MsgBox::confirmDestructive(
            QStringLiteral("确认永久删除回收站中 %1 天以前删除的 %2 项吗？删除后无法恢复。").arg(days).arg(count),
            this)) {
        return;
    }
    {
        ui::Busy busy(QStringLiteral("正在清除回收站中的旧项目……"), this, false);
        DM->transaction({}, [&] { recycle::purgeBefore(DM->db(), cutoff); });
    }
    FormShow();
    LabelZt->setText(QStringLiteral("已永久删除 %1 天以前删除的 %2 项。").arg(days).arg(count));
}

void THszF::done(int result)
{
    // A subject that came back belongs in the main window's subject box (as after 科目设置).
    if (subjectRestored_) {
        subjectRestored_ = false;
        ui::run([] { ui::navigator().subjectsChanged(); });
    }
    QDialog::done(result);
}

void THszF::BtnGbClick()
{
    close();
}
