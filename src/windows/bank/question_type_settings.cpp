#include "windows/bank/question_type_settings.h"

#include "ui/busy.h"
#include "ui/forms.h"
#include "ui/message_box.h"
#include "windows/bank/bank_common.h"
#include "data/lookups.h"
#include "data/data_module.h"
#include "data/numbering.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "ui/handler.h"
#include "content/fonts.h"
#include "data/current_user.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

TTxszF::TTxszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TxszF"));
    setWindowTitle(QStringLiteral("题型设置"));
    bank::useSystemMenuBorder(this);
    setFont(fonts::song(15));
    setFixedSize(442, 365);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    Label1 = new QLabel(QStringLiteral("题型名称（输入或从列表中选择）"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditTxm = new QLineEdit(Panel1);
    EditTxm->setObjectName(QStringLiteral("EditTxm"));
    Label2 = new QLabel(QStringLiteral("已存在的题型"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    ListBoxTxm = new QListWidget(Panel1);
    ListBoxTxm->setObjectName(QStringLiteral("ListBoxTxm"));

    BtnZjtx = new QPushButton(QStringLiteral("增加题型"), this);
    BtnZjtx->setObjectName(QStringLiteral("BtnZjtx"));
    BtnSctx = new QPushButton(QStringLiteral("删除题型"), this);
    BtnSctx->setObjectName(QStringLiteral("BtnSctx"));
    BtnGb = new QPushButton(QStringLiteral("关闭"), this);
    BtnGb->setObjectName(QStringLiteral("BtnGb"));
    for (QPushButton* b : {BtnZjtx, BtnSctx, BtnGb}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    EditTxm->installEventFilter(this);

    connect(ListBoxTxm, &QListWidget::itemClicked, this, ui::guard([this] { ListBoxTxmClick(); }));
    connect(BtnZjtx, &QPushButton::clicked, this, ui::guard([this] { BtnZjtxClick(); }));
    connect(BtnSctx, &QPushButton::clicked, this, ui::guard([this] { BtnSctxClick(); }));
    connect(BtnGb, &QPushButton::clicked, this, ui::guard([this] { BtnGbClick(); }));
    FormCreate();
    // Centred over the main window that opens it.
    if (parentWidget()) {
        move(parentWidget()->geometry().center() - rect().center());
    } else {
        ui::centreOnScreen(this);
    }
}

TTxszF::Subject& TTxszF::subject()
{
    static Subject current;
    return current;
}

void TTxszF::FormCreate()
{
    Panel1->setGeometry(12, 12, 251, 341);
    Label1->setGeometry(16, 16, 225, 17);
    EditTxm->setGeometry(16, 38, 219, 25);
    Label2->setGeometry(16, 80, 219, 17);
    ListBoxTxm->setGeometry(16, 102, 219, 181);
    BtnZjtx->setGeometry(304, 40, 100, 30);
    BtnSctx->setGeometry(304, 88, 100, 30);
    BtnGb->setGeometry(304, 311, 100, 30);
}

void TTxszF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) ui::load(this, [this] { FormShow(); });
}

bool TTxszF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == EditTxm && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui::run([this] { BtnZjtxClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TTxszF::FormShow()
{
    Subject& s = subject();
    const QString name = bank::currentSubject();
    setWindowTitle(QStringLiteral("题型设置--") + name);
    s.name = name;
    // A name that matches no subject leaves the dialog without a subject: it then lists nothing
    // and refuses to change anything, rather than working on a subject chosen earlier.
    QString code;
    s.exists = sql::firstValue(DM->db(), QStringLiteral("SELECT kmh FROM kmb WHERE kmm=? ORDER BY id DESC LIMIT 1"), {name},
                                &code);
    s.code = s.exists ? code : QString();
    ListBoxTxm->clear();
    if (s.exists) {
        ListBoxTxm->addItems(sql::column(DM->db(), QStringLiteral("SELECT txm FROM txb WHERE kmh=? ORDER BY id"), {s.code}));
    }
}

bool TTxszF::refuseMissingSubject()
{
    if (subject().exists) return false;
    MsgBox::show(QStringLiteral("当前科目不存在，请先选择科目！"), this);
    return true;
}

void TTxszF::ListBoxTxmClick()
{
    if (QListWidgetItem* item = ListBoxTxm->currentItem()) EditTxm->setText(item->text());
}

void TTxszF::BtnZjtxClick()
{
    const Subject& s = subject();
    const QString name = EditTxm->text();
    if (refuseMissingSubject()) {
        // nothing stored
    } else if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("题型名不能为空！"), this);
    } else if (!numbering::insertNewName(  // the subject's last type in read order decides the next code
                   DM->db(), numbering::typeCodes(DM->db(), s.code),
                   QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=? LIMIT 1"), {s.code, name},
                   [&](const QString& code) {
                       numbering::appendRow(DM->ADOTxb, {{QStringLiteral("kmh"), s.code},
                                                         {QStringLiteral("txh"), code},
                                                         {QStringLiteral("txm"), name}});
                   })) {
        MsgBox::show(QStringLiteral("此题型名已存在，请重新输入题型名！"), this);
    }
    FormShow();
    EditTxm->selectAll();
}

void TTxszF::BtnSctxClick()
{
    if (refuseMissingSubject()) return;
    const Subject s = subject();
    const QString name = EditTxm->text();
    QString code;
    if (!sql::firstValue(DM->db(), QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1"),
                          {s.code, name}, &code)) {
        MsgBox::show(QStringLiteral("对不起，此题型名不存在！"), this);
        return;
    }
    if (MsgBox::confirmDestructive(QStringLiteral("请确认是否删除“") + s.name + QStringLiteral("”题库中所有的") + name +
                                       QLatin1Char('\n') + recycle::deletionNote(DM->db(), s.code, code),
                                   this)) {
        ui::Busy busy(QStringLiteral("正在删除题型“") + name + QStringLiteral("”……"), this, false);
        DM->transaction({DM->ADOStb, DM->ADOTxb}, [&] {
            recycle::removeKept(DM->db(), recycle::keepType(DM->db(), s.code, code, current_user::name()));
        });
        EditTxm->clear();
    }
    FormShow();
}

void TTxszF::DelStb(const QString& kmh, const QString& txh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM stb WHERE kmh=? AND txh=?"), {kmh, txh});
}

void TTxszF::DelTxb(const QString& kmh, const QString& txh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM txb WHERE kmh=? AND txh=?"), {kmh, txh});
}

void TTxszF::BtnGbClick()
{
    close();
}
