#include "windows/bank/subject_settings.h"

#include "ui/busy.h"
#include "ui/forms.h"
#include "ui/message_box.h"
#include "windows/bank/bank_common.h"
#include "data/data_module.h"
#include "data/numbering.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "ui/handler.h"
#include "content/fonts.h"
#include "data/current_user.h"
#include "ui/navigator.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

// From this many questions on, a deletion shows a window naming it while it runs.
static constexpr int kBusyQuestions = 5000;

TKmszF::TKmszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("KmszF"));
    setWindowTitle(QStringLiteral("科目设置"));
    bank::useSystemMenuBorder(this);
    setFont(fonts::song(12));
    setFixedSize(442, 365);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    Label1 = new QLabel(QStringLiteral("科目名称（输入或从列表中选择）"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditKm = new QLineEdit(Panel1);
    EditKm->setObjectName(QStringLiteral("EditKm"));
    Label2 = new QLabel(QStringLiteral("已存在的科目（题库）"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    ListBoxKm = new QListWidget(Panel1);
    ListBoxKm->setObjectName(QStringLiteral("ListBoxKm"));

    BtnZJKM = new QPushButton(QStringLiteral("增加科目"), this);
    BtnZJKM->setObjectName(QStringLiteral("BtnZJKM"));
    BtnSCKM = new QPushButton(QStringLiteral("删除科目"), this);
    BtnSCKM->setObjectName(QStringLiteral("BtnSCKM"));
    BtnGB = new QPushButton(QStringLiteral("关闭"), this);
    BtnGB->setObjectName(QStringLiteral("BtnGB"));
    for (QPushButton* b : {BtnZJKM, BtnSCKM, BtnGB}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    EditKm->installEventFilter(this);

    connect(ListBoxKm, &QListWidget::itemClicked, this, ui::guard([this] { ListBoxKmClick(); }));
    connect(BtnZJKM, &QPushButton::clicked, this, ui::guard([this] { BtnZJKMClick(); }));
    connect(BtnSCKM, &QPushButton::clicked, this, ui::guard([this] { BtnSCKMClick(); }));
    connect(BtnGB, &QPushButton::clicked, this, ui::guard([this] { BtnGBClick(); }));
    FormCreate();
    ui::centreOnScreen(this);
}

void TKmszF::FormCreate()
{
    Panel1->setGeometry(12, 12, 251, 341);
    Label1->setGeometry(16, 16, 219, 15);
    EditKm->setGeometry(16, 36, 219, 23);
    Label2->setGeometry(16, 80, 219, 15);
    ListBoxKm->setGeometry(16, 100, 219, 181);
    BtnZJKM->setGeometry(304, 40, 100, 28);
    BtnSCKM->setGeometry(304, 88, 100, 28);
    BtnGB->setGeometry(304, 313, 100, 28);
}

void TKmszF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        closing_ = false;
        ui::load(this, [this] { FormShow(); });
    }
}

bool TKmszF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == EditKm && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui::run([this] { BtnZJKMClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TKmszF::FormShow()
{
    ListBoxKm->clear();
    Dataset* kmb = DM->ADOKmb;
    // Subjects other users added or deleted since the table was read are listed as they are now.
    if (kmb->isActive()) kmb->refresh();
    kmb->first();
    while (!kmb->eof()) {
        ListBoxKm->addItem(kmb->str(QStringLiteral("kmm")));
        kmb->next();
    }
}

void TKmszF::ListBoxKmClick()
{
    QListWidgetItem* item = ListBoxKm->currentItem();
    EditKm->clear();
    if (item) EditKm->setText(item->text());
}

void TKmszF::BtnZJKMClick()
{
    const QString name = EditKm->text();
    if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("科目名称不能为空！"), this);
        return;
    }
    for (int i = 0; i < ListBoxKm->count(); ++i) {
        if (ListBoxKm->item(i)->text() == name) {
            MsgBox::show(QStringLiteral("此科目名称已存在，请重新输入科目名称！"), this);
            return;
        }
    }
    // The list may lack a subject another user added since it was shown, or is adding right now.
    // The next code follows the last row's code, not the largest one.
    if (!numbering::insertNewName(DM->db(), numbering::subjectCodes(DM->db()),
                                  QStringLiteral("SELECT kmh FROM kmb WHERE kmm=? LIMIT 1"), {name},
                                  [&](const QString& code) {
                                      numbering::appendRow(DM->ADOKmb,
                                                           {{QStringLiteral("kmh"), code}, {QStringLiteral("kmm"), name}});
                                  })) {
        MsgBox::show(QStringLiteral("此科目名称已存在，请重新输入科目名称！"), this);
        FormShow();
        return;
    }
    FormShow();
    EditKm->selectAll();
}

void TKmszF::BtnSCKMClick()
{
    const QString name = EditKm->text();
    // "00" marks "not found"; with duplicate names the last row wins.
    QString code = QStringLiteral("00");
    Dataset* kmb = DM->ADOKmb;
    kmb->first();
    while (!kmb->eof()) {
        if (kmb->str(QStringLiteral("kmm")) == name) code = kmb->str(QStringLiteral("kmh"));
        kmb->next();
    }
    if (code == QLatin1String("00")) {
        MsgBox::show(QStringLiteral("对不起，题库中无此科目名！"), this);
        return;
    }
    if (MsgBox::confirmDestructive(QStringLiteral("请确认是否删除科目“") + name + QStringLiteral("”及其所有题目？\n") +
                                       recycle::deletionNote(DM->db(), code),
                                   this)) {
        // A subject of many questions takes a moment: say what is going on.
        const int questions =
            sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=?"), {code}).toInt();
        ui::Busy busy(QStringLiteral("正在删除科目“") + name + QStringLiteral("”……"), this, questions >= kBusyQuestions);
        // Everything goes into the recycle bin first; the copy and the four deletions stand or
        // fall together.
        // Exactly the rows copied are deleted, so that nothing leaves the bank without its copy.
        DM->transaction({DM->ADOStb, DM->ADOZjb, DM->ADOTxb, DM->ADOKmb}, [&] {
            recycle::removeKept(DM->db(), recycle::keepSubject(DM->db(), code, current_user::name()));
        });
        EditKm->clear();
    }
    FormShow();
}

void TKmszF::DelStb(const QString& kmh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM stb WHERE kmh=?"), {kmh});
}

void TKmszF::DelZjb(const QString& kmh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM zjb WHERE kmh=?"), {kmh});
}

void TKmszF::DelTxb(const QString& kmh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM txb WHERE kmh=?"), {kmh});
}

void TKmszF::Delkmb(const QString& kmh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM kmb WHERE kmh=?"), {kmh});
}

void TKmszF::FormClose()
{
    // The main window's subject box lists the subjects afresh; the first one becomes current.
    ui::navigator().subjectsChanged();
}

void TKmszF::done(int result)
{
    // Every way of closing (button, close box, Escape) ends here once.
    if (!closing_) {
        closing_ = true;
        ui::run([this] { FormClose(); });
    }
    QDialog::done(result);
}

void TKmszF::BtnGBClick()
{
    close();
}
