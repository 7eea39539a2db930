#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/backup_actions.h"
#include "app/contact.h"
#include "content/fonts.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "ui/artwork.h"
#include "ui/forms.h"
#include "ui/handler.h"
#include "ui/message_box.h"
#include "ui/navigator.h"
#include "ui/platform.h"
#include "windows/bank/chapter_settings.h"
#include "windows/bank/knowledge_settings.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/question_type_settings.h"
#include "windows/bank/recycle_bin.h"
#include "windows/bank/subject_settings.h"
#include "windows/analysis/score_analysis_window.h"
#include "windows/blueprint/blueprint_window.h"
#include "windows/exchange/export_window.h"
#include "windows/exchange/import_window.h"
#include "windows/library/library_window.h"
#include "windows/users/user_admin.h"
#include "windows/wizard/overall_settings.h"

bool TMainF::runModalLoop = true;

TMainF::TMainF(QWidget* parent) : QMainWindow(parent, Qt::Window)
{
    setObjectName(QStringLiteral("MainF"));
    setWindowTitle(QStringLiteral("题库管理、Exavoro"));
    setWindowIcon(artwork::appIcon());
    setFont(fonts::song(12));
    resize(1024, 720);
    buildMenu();
    buildToolBar();
    buildPanels();
    buildStatusBar();
    FormCreate();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

void TMainF::buildMenu()
{
    auto item = [this](QMenu* menu, const char* name, const QString& caption, void (TMainF::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, ui::guard([this, handler] { (this->*handler)(); }));
        return action;
    };
    auto menu = [this](const char* name, const QString& caption) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    WJ = menu("WJ", QStringLiteral("文件(&F)"));
    // Backups of the whole bank, for super users only (see applyPermissions).
    BFTK = item(WJ, "BFTK", QStringLiteral("备份题库(&B)…"), &TMainF::BFTKClick);
    HFTK = item(WJ, "HFTK", QStringLiteral("恢复题库(&R)…"), &TMainF::HFTKClick);
    BFTK->setEnabled(false);
    HFTK->setEnabled(false);
    WJ->addSeparator()->setObjectName(QStringLiteral("N2"));
    ZX = item(WJ, "ZX", QStringLiteral("注销(&L)"), &TMainF::ZXClick);
    TC = item(WJ, "TC", QStringLiteral("退出(&X)"), &TMainF::TCClick);
    TC->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    TKGL = menu("TKGL", QStringLiteral("题库管理(&T)"));
    KMSZ = item(TKGL, "KMSZ", QStringLiteral("科目设置(&K)"), &TMainF::KMSZClick);
    XZKM = item(TKGL, "XZKM", QStringLiteral("选择科目(&C)"), &TMainF::XZKMClick);
    TXSZ = item(TKGL, "TXSZ", QStringLiteral("题型设置(&T)"), &TMainF::TXSZClick);
    ZJXZ = item(TKGL, "ZJXZ", QStringLiteral("章节设置(&Z)"), &TMainF::ZJXZClick);
    ZSDSZ = item(TKGL, "ZSDSZ", QStringLiteral("知识点设置(&D)"), &TMainF::ZSDSZClick);
    TKGL->addSeparator()->setObjectName(QStringLiteral("N1"));
    LRST = item(TKGL, "LRST", QStringLiteral("录入试题(&R)"), &TMainF::LRSTClick);
    HSZ = item(TKGL, "HSZ", QStringLiteral("回收站(&H)"), &TMainF::HSZClick);
    DRST = item(TKGL, "DRST", QStringLiteral("导入试题(&I)"), &TMainF::DRSTClick);
    DCST = item(TKGL, "DCST", QStringLiteral("导出试题(&E)"), &TMainF::DCSTClick);
    SJGL = menu("SJGL", QStringLiteral("试卷管理(&S)"));
    ZjXD = item(SJGL, "ZjXD", QStringLiteral("组卷向导(&D)"), &TMainF::ZjXDClick);
    XmbZj = item(SJGL, "XmbZj", QStringLiteral("按细目表组卷(&B)"), &TMainF::XmbZjClick);
    SJK = item(SJGL, "SJK", QStringLiteral("试卷库(&K)"), &TMainF::SJKClick);
    CJFX = item(SJGL, "CJFX", QStringLiteral("成绩分析(&A)"), &TMainF::CJFXClick);
    YHGL = menu("YHGL", QStringLiteral("用户管理(&Y)"));
    MMSZ = item(YHGL, "MMSZ", QStringLiteral("密码设置(&M)"), &TMainF::MMSZClick);
    BZ = menu("BZ", QStringLiteral("帮助(&H)"));
    NR = item(BZ, "NR", QStringLiteral("内容(&N)"), &TMainF::NRClick);
    GY = item(BZ, "GY", QStringLiteral("关于(&A)"), &TMainF::GYClick);
    Lxwm = item(BZ, "Lxwm", QStringLiteral("联系我们(&M)"), &TMainF::LxwmClick);
}

void TMainF::buildToolBar()
{
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    auto* holder = new QWidget(bar);
    auto* rows = new QVBoxLayout(holder);
    rows->setContentsMargins(2, 2, 2, 2);
    rows->setSpacing(2);
    QHBoxLayout* row = nullptr;
    auto newRow = [&] {
        row = new QHBoxLayout;
        row->setSpacing(1);
        rows->addLayout(row);
    };
    auto divider = [&] {
        auto* line = new QFrame(holder);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setFixedHeight(40);
        row->addWidget(line);
    };
    auto button = [&](const char* name, const QString& caption, const char* glyph, void (TMainF::*handler)()) {
        auto* b = new QToolButton(holder);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(caption);
        b->setIcon(artwork::glyph(QString::fromLatin1(glyph)));
        b->setIconSize(QSize(24, 24));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setFixedSize(60, 47);
        b->setFont(fonts::song(12));
        connect(b, &QToolButton::clicked, this, ui::guard([this, handler] { (this->*handler)(); }));
        row->addWidget(b);
        return b;
    };
    newRow();
    SBtnZX = button("SBtnZX", QStringLiteral("注销"), "logout", &TMainF::ZXClick);
    SBtnTC = button("SBtnTC", QStringLiteral("退出"), "exit", &TMainF::TCClick);
    divider();
    SBtnKmsz = button("SBtnKmsz", QStringLiteral("科目设置"), "subjects", &TMainF::KMSZClick);
    SBtnKmxz = button("SBtnKmxz", QStringLiteral("科目选择"), "choose", &TMainF::XZKMClick);
    SBtnTxsz = button("SBtnTxsz", QStringLiteral("题型设置"), "types", &TMainF::TXSZClick);
    SBtnZjsz = button("SBtnZjsz", QStringLiteral("章节设置"), "chapters", &TMainF::ZJXZClick);
    SBtnLrst = button("SBtnLrst", QStringLiteral("录入试题"), "entry", &TMainF::LRSTClick);
    divider();
    row->addStretch();
    newRow();
    SBtnZjxd = button("SBtnZjxd", QStringLiteral("组卷向导"), "wizard", &TMainF::ZjXDClick);
    divider();
    SBtnYhgl = button("SBtnYhgl", QStringLiteral("用户管理"), "users", &TMainF::MMSZClick);
    divider();
    SBtnBz = button("SBtnBz", QStringLiteral("帮助"), "help", &TMainF::NRClick);
    SBtnGy = button("SBtnGy", QStringLiteral("关于"), "about", &TMainF::GYClick);
    SBtnLxwm = button("SBtnLxwm", QStringLiteral("联系我们"), "contact", &TMainF::LxwmClick);
    row->addStretch();
    bar->addWidget(holder);
    addToolBar(Qt::TopToolBarArea, bar);
}

void TMainF::buildPanels()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    auto* stack = new QGridLayout(central);
    stack->setContentsMargins(0, 0, 0, 0);

    Panel2 = new QWidget(central);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* p2 = new QVBoxLayout(Panel2);
    p2->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel(Panel2);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setMinimumSize(1, 1);
    Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    p2->addWidget(Image1);

    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    auto* p1 = new QVBoxLayout(Panel1);
    p1->addStretch(2);
    for (const QString& line :
         {QStringLiteral("请选择科目，题型设置/章节设置/录入试题等操作"), QStringLiteral("只能对选定的科目进行。")}) {
        auto* l = new QLabel(line, Panel1);
        l->setFont(fonts::song(21, true));
        l->setAlignment(Qt::AlignCenter);
        p1->addWidget(l);
    }
    p1->addSpacing(24);
    ComboBoxKmm = new QComboBox(Panel1);
    ComboBoxKmm->setObjectName(QStringLiteral("ComboBoxKmm"));
    ComboBoxKmm->setEditable(true);
    ComboBoxKmm->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxKmm->setFixedWidth(260);
    ComboBoxKmm->setFont(fonts::song(15));
    p1->addWidget(ComboBoxKmm, 0, Qt::AlignHCenter);
    auto* current = new QHBoxLayout;
    current->addStretch();
    auto* caption = new QLabel(QStringLiteral("当前题库："), Panel1);
    LabelKmm = new QLabel(QStringLiteral("题库名"), Panel1);
    LabelKmm->setObjectName(QStringLiteral("LabelKmm"));
    for (QLabel* l : {caption, LabelKmm}) {
        l->setFont(fonts::song(18, true));
        l->setStyleSheet(QStringLiteral("color: red;"));
        current->addWidget(l);
    }
    current->addStretch();
    p1->addSpacing(12);
    p1->addLayout(current);
    p1->addStretch(3);
    // Picking from the list selects an entry; typing leaves no entry selected.
    connect(ComboBoxKmm, &QComboBox::activated, this, [this] { ComboBoxKmmChange(true); });
    connect(ComboBoxKmm->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBoxKmmChange(false); });

    stack->addWidget(Panel2, 0, 0);
    stack->addWidget(Panel1, 0, 0);
    setCentralWidget(central);
}

void TMainF::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    const int widths[5] = {600, 35, 55, 55, 35};
    for (int i = 0; i < 5; ++i) {
        StatusPanels[i] = new QLabel(bar);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(i == 0 ? widths[i] : widths[i] + 12);
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(StatusPanels[i]);
    }
    StatusPanels[0]->setText(QStringLiteral("准备就绪"));
}

void TMainF::FormCreate()
{
    // The subject panel's background repeats the small tile picture.
    QPalette pal = Panel1->palette();
    pal.setBrush(QPalette::Window, QBrush(artwork::tile()));
    Panel1->setPalette(pal);
}

void TMainF::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (Image1->size().width() > 1) Image1->setPixmap(artwork::background(Image1->size()));
}

void TMainF::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) ui::run([this] { FormShow(); });
}

void TMainF::FormShow()
{
    Panel1->hide();
    Panel2->show();
    Image1->setPixmap(artwork::background(Image1->size().expandedTo(QSize(800, 500))));
    fillSubjectBox();
}

void TMainF::fillSubjectBox()
{
    ComboBoxKmm->clear();
    if (DM && DM->ADOKmb->isActive()) {
        Dataset* kmb = DM->ADOKmb;
        kmb->first();
        while (!kmb->eof()) {
            ComboBoxKmm->addItem(kmb->str(QStringLiteral("kmm")));
            kmb->next();
        }
    }
    ComboBoxKmm->setCurrentIndex(ComboBoxKmm->count() > 0 ? 0 : -1);
    if (ComboBoxKmm->count() == 0) ComboBoxKmm->setEditText(QString());
    LabelKmm->setText(ComboBoxKmm->count() > 0 ? ComboBoxKmm->itemText(0) : QString());
}

void TMainF::ComboBoxKmmChange(bool picked)
{
    LabelKmm->setText(picked && ComboBoxKmm->currentIndex() >= 0 ? ComboBoxKmm->itemText(ComboBoxKmm->currentIndex())
                                                                 : QString());
}

void TMainF::applyPermissions(int level)
{
    const bool bank = level == 1 || level == 3;
    const bool paper = level == 2 || level == 3;
    const bool users = level == 3;
    TKGL->menuAction()->setEnabled(bank);
    SJGL->menuAction()->setEnabled(paper);
    YHGL->menuAction()->setEnabled(users);
    // A disabled top-level entry makes everything below it unreachable, also by shortcut.
    for (QAction* a : TKGL->actions()) a->setEnabled(bank);
    for (QAction* a : SJGL->actions()) a->setEnabled(paper);
    for (QAction* a : YHGL->actions()) a->setEnabled(users);
    for (QToolButton* b : {SBtnKmsz, SBtnKmxz, SBtnTxsz, SBtnZjsz, SBtnLrst}) b->setEnabled(bank);
    SBtnZjxd->setEnabled(paper);
    SBtnYhgl->setEnabled(users);
    BFTK->setEnabled(users);
    HFTK->setEnabled(users);
}

void TMainF::showModal()
{
    setWindowModality(Qt::ApplicationModal);
    showMaximized();
    if (!runModalLoop || ui::terminating()) return;
    QEventLoop loop;
    loop.exec(QEventLoop::DialogExec);
}

void TMainF::ZXClick()
{
    if (!MsgBox::confirm(QStringLiteral("确实要注销吗？"), this)) return;
    relogin();
}

void TMainF::relogin()
{
    ui::navigator().logInAgain(this);
    if (ui::terminating()) return;
    // Back in this window after the login dialog was closed: it is the current main window again.
    MainF = this;
}

void TMainF::TCClick()
{
    if (MsgBox::confirm(QStringLiteral("确实要退出题库管理、Exavoro吗？"), this)) ui::terminate();
}

void TMainF::closeEvent(QCloseEvent* event)
{
    if (ui::terminating()) {
        event->accept();
        return;
    }
    bool ok = false;
    ui::run([&] { ok = MsgBox::confirm(QStringLiteral("确实要退出题库管理、Exavoro吗？"), this); });
    if (ok) {
        ui::terminate();
        event->accept();
    } else {
        event->ignore();
    }
}

template <typename Dialog, typename Pointer>
void TMainF::openDialog(Pointer& global)
{
    auto* dialog = new Dialog(this);
    global = dialog;
    dialog->exec();
    if (!ui::terminating()) dialog->deleteLater();
}

void TMainF::KMSZClick()
{
    openDialog<TKmszF>(KmszF);
}
void TMainF::TXSZClick()
{
    openDialog<TTxszF>(TxszF);
}
void TMainF::ZJXZClick()
{
    openDialog<TZjxzF>(ZjxzF);
}
void TMainF::ZSDSZClick()
{
    openDialog<TZsdszF>(ZsdszF);
}
void TMainF::LRSTClick()
{
    openDialog<TLrstF>(LrstF);
}
void TMainF::HSZClick()
{
    openDialog<THszF>(HszF);
}
void TMainF::DRSTClick()
{
    exchange::openImportWindow(this);
}
void TMainF::DCSTClick()
{
    exchange::openExportWindow(this);
}
void TMainF::ZjXDClick()
{
    openDialog<TZtszF>(ZtszF);
}
void TMainF::XmbZjClick()
{
    blueprint::openFromMenu(this);
}
void TMainF::MMSZClick()
{
    openDialog<TMmszF>(MmszF);
}

void TMainF::SJKClick()
{
    QPointer<TSjkF> window;
    openDialog<TSjkF>(window);
}
void TMainF::CJFXClick()
{
    QPointer<TCjfxF> window;
    openDialog<TCjfxF>(window);
}
void TMainF::LxwmClick()
{
    openDialog<TLxwmF>(LxwmF);
}

void TMainF::XZKMClick()
{
    Panel1->show();
    Panel2->hide();
    fillSubjectBox();
}

void TMainF::BFTKClick()
{
    backupui::makeBackup(this);
}

void TMainF::HFTKClick()
{
    const backupui::Restore restore = backupui::restoreBackup(this);
    if (restore.outcome == backupui::Restore::Unchanged) return;
    applyPermissions(0);
    if (restore.outcome == backupui::Restore::BankLost) throw AppError(restore.text);
    fillSubjectBox();
    StatusPanels[0]->setText(QStringLiteral("题库已恢复，请注销后重新登录。"));
    MsgBox::show(
        QStringLiteral("题库已恢复。原来的题库保留为“%1”。\n请重新登录。").arg(QDir::toNativeSeparators(restore.text)),
        this);
    relogin();
}

void TMainF::NRClick()
{
    platform::showHelp(this);
}

void TMainF::GYClick()
{
    Panel2->show();
    Panel1->hide();
    platform::showAbout(this);
}

void TMainF::Timer1Timer()
{
    const platform::LockKeys keys = platform::lockKeys();
    StatusPanels[1]->setText(keys.num ? QStringLiteral("NUM") : QString());
    StatusPanels[2]->setText(keys.insert ? QStringLiteral("INSERT") : QString());
    StatusPanels[3]->setText(keys.caps ? QStringLiteral("CAPITAL") : QString());
    StatusPanels[4]->setText(keys.scroll ? QStringLiteral("SCROLL") : QString());
}
