#include "windows/bank/chapter_settings.h"

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

#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>

// Remembers the editor of an in-place edit, so that the dialog can end the edit itself and keep
// the typed text, whether or not the editor has lost the focus yet.
class ChapterNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor->setObjectName(QStringLiteral("TreeViewZjEditor"));
        editor_ = editor;
        return editor;
    }
    QWidget* editor() const { return editor_; }

private:
    mutable QPointer<QWidget> editor_;
};

TZjxzF::TZjxzF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ZjxzF"));
    setWindowTitle(QStringLiteral("章节设置"));
    bank::useSystemMenuBorder(this);
    setFont(fonts::song(15));
    setFixedSize(480, 397);

    TreeViewZj = new QTreeWidget(this);
    TreeViewZj->setObjectName(QStringLiteral("TreeViewZj"));
    TreeViewZj->setColumnCount(1);
    TreeViewZj->header()->hide();
    TreeViewZj->setIndentation(19);
    TreeViewZj->setMouseTracking(true);  // hot-tracking
    TreeViewZj->setSelectionMode(QAbstractItemView::SingleSelection);
    delegate_ = new ChapterNameDelegate(TreeViewZj);
    TreeViewZj->setItemDelegate(delegate_);

    Panel4 = new QFrame(this);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setFrameShape(QFrame::StyledPanel);
    Panel4->setFrameShadow(QFrame::Raised);
    Panel4->setFocusPolicy(Qt::StrongFocus);
    BtnZjzj = new QPushButton(QStringLiteral("增加章节"), Panel4);
    BtnZjzj->setObjectName(QStringLiteral("BtnZjzj"));
    BtnSczj = new QPushButton(QStringLiteral("删除章节"), Panel4);
    BtnSczj->setObjectName(QStringLiteral("BtnSczj"));
    BtnCmm = new QPushButton(QStringLiteral("重命名"), Panel4);
    BtnCmm->setObjectName(QStringLiteral("BtnCmm"));
    BtnGb = new QPushButton(QStringLiteral("关闭"), Panel4);
    BtnGb->setObjectName(QStringLiteral("BtnGb"));
    for (QPushButton* b : {BtnZjzj, BtnSczj, BtnCmm, BtnGb}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    connect(BtnZjzj, &QPushButton::clicked, this, ui::guard([this] { BtnZjzjClick(); }));
    connect(BtnSczj, &QPushButton::clicked, this, ui::guard([this] { BtnSczjClick(); }));
    connect(BtnCmm, &QPushButton::clicked, this, ui::guard([this] { BtnCmmClick(); }));
    connect(BtnGb, &QPushButton::clicked, this, ui::guard([this] { BtnGbClick(); }));
    connect(TreeViewZj, &QTreeWidget::itemClicked, this, ui::guard([this] { TreeViewZjClick(); }));
    connect(delegate_, &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) { editorClosed(hint); });
    FormCreate();
    ui::centreOnScreen(this);
}

TZjxzF::State& TZjxzF::state()
{
    static State shared;
    return shared;
}

void TZjxzF::FormCreate()
{
    TreeViewZj->setGeometry(16, 40, 273, 305);
    Panel4->setGeometry(312, 40, 145, 305);
    BtnZjzj->setGeometry(22, 20, 100, 30);
    BtnSczj->setGeometry(22, 70, 100, 30);
    BtnCmm->setGeometry(22, 120, 100, 30);
    BtnGb->setGeometry(22, 255, 100, 30);
}

void TZjxzF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) ui::load(this, [this] { FormShow(); });
}

void TZjxzF::setTreeEditable(bool editable)
{
    TreeViewZj->setEditTriggers(editable ? QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
                                         : QAbstractItemView::NoEditTriggers);
    const Qt::ItemFlags base = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    QTreeWidgetItemIterator it(TreeViewZj);
    for (; *it; ++it) {
        // The root stays as it is: only chapters are ever renamed.
        const bool chapter = (*it)->parent() != nullptr;
        (*it)->setFlags(editable && chapter ? base | Qt::ItemIsEditable : base);
    }
}

void TZjxzF::editNode(QTreeWidgetItem* node)
{
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    TreeViewZj->setFocus();
    TreeViewZj->editItem(node, 0);
}

void TZjxzF::endPendingEdit()
{
    // Moving the focus to the button panel is how the edit ends for the user; the editor is
    // also committed and closed explicitly, since a window without the focus never sees it move.
    Panel4->setFocus();
    // A closed editor is hidden at once and deleted later; only an open one is ended here.
    QWidget* editor = delegate_->editor();
    if (editor && editor->isVisible()) {
        emit delegate_->commitData(editor);
        emit delegate_->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

QTreeWidgetItem* TZjxzF::selectedNode() const
{
    const QList<QTreeWidgetItem*> items = TreeViewZj->selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

void TZjxzF::FormShow()
{
    State& s = state();
    const QString name = bank::currentSubject();
    setWindowTitle(QStringLiteral("章节设置--") + name);
    s.subjectName = name;
    // A name that matches no subject: the root shows it, but no chapters are listed and nothing
    // can be changed, rather than working on a subject chosen earlier.
    QString code;
    s.subjectExists = sql::firstValue(DM->db(), QStringLiteral("SELECT kmh FROM kmb WHERE kmm=? ORDER BY id DESC LIMIT 1"),
                                       {name}, &code);
    s.subjectCode = s.subjectExists ? code : QString();

    if (QWidget* editor = delegate_->editor(); editor && editor->isVisible()) {
        emit delegate_->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    newNode_ = nullptr;
    TreeViewZj->clear();
    auto* root = new QTreeWidgetItem(TreeViewZj, QStringList{name});
    if (s.subjectExists) {
        const QStringList chapters =
            sql::column(DM->db(), QStringLiteral("SELECT zjm FROM zjb WHERE kmh=? ORDER BY id"), {s.subjectCode});
        for (const QString& chapter : chapters) new QTreeWidgetItem(root, QStringList{chapter});
    }
    TreeViewZj->expandAll();
    TreeViewZj->clearSelection();
    setTreeEditable(false);
}

bool TZjxzF::refuseMissingSubject()
{
    if (state().subjectExists) return false;
    MsgBox::show(QStringLiteral("当前科目不存在，请先选择科目！"), this);
    return true;
}

void TZjxzF::BtnZjzjClick()
{
    State& s = state();
    if (refuseMissingSubject()) return;  // the press does not count
    ++s.addPresses;
    if (s.addPresses % 2 == 0 && !selectedNode()) {
        // A second press with nothing selected (the dialog was closed between the presses): there
        // is no edited node to store, so this press starts a new addition instead.
        ++s.addPresses;
    }
    if (s.addPresses % 2 == 1) {
        setTreeEditable(true);
        QTreeWidgetItem* root = TreeViewZj->topLevelItem(0);
        auto* node = new QTreeWidgetItem(root, QStringList{QStringLiteral("新章节")});
        TreeViewZj->expandItem(root);
        TreeViewZj->clearSelection();
        TreeViewZj->setCurrentItem(node);
        node->setSelected(true);
        newNode_ = node;
        editNode(node);
        return;
    }

    endPendingEdit();
    const QString name = selectedNode()->text(0);
    if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("章节名不能为空！"), this);
    } else if (!numbering::insertNewName(  // the subject's last chapter in read order decides the next code
                   DM->db(), numbering::chapterCodes(DM->db(), s.subjectCode),
                   QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjm=? LIMIT 1"), {s.subjectCode, name},
                   [&](const QString& code) {
                       numbering::appendRow(DM->ADOZjb, {{QStringLiteral("kmh"), s.subjectCode},
                                                         {QStringLiteral("zjh"), code},
                                                         {QStringLiteral("zjm"), name}});
                   })) {
        MsgBox::show(QStringLiteral("此章节名已存在，请输入新的章节名！"), this);
    }
    FormShow();
}

void TZjxzF::BtnSczjClick()
{
    State& s = state();
    if (refuseMissingSubject()) return;
    QTreeWidgetItem* node = selectedNode();
    if (!node) {
        MsgBox::show(QStringLiteral("请选择要删除的章节！"), this);
    } else if (node->text(0) == s.subjectName) {
        MsgBox::show(QStringLiteral("课程名不能删除，请选择要删除的章节！"), this);
    } else {
        const QString name = node->text(0);
        QString code;
        const bool exists = sql::firstValue(DM->db(), 
            QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjm=? ORDER BY id DESC LIMIT 1"), {s.subjectCode, name},
            &code);
        // How many questions go and how many stored papers used them (a chapter that is gone has none).
        const QString note =
            exists ? QStringLiteral("\n") + recycle::deletionNote(DM->db(), s.subjectCode, QString(), code) : QString();
        if (MsgBox::confirmDestructive(QStringLiteral("请确认是否删除“") + s.subjectName +
                                           QStringLiteral("”题库中章节为“") + name + QStringLiteral("”的所有试题？") +
                                           note,
                                       this) &&
            exists) {
            ui::Busy busy(QStringLiteral("正在删除章节“") + name + QStringLiteral("”……"), this, false);
            DM->transaction({DM->ADOStb, DM->ADOZjb}, [&] {
                recycle::removeKept(DM->db(), recycle::keepChapter(DM->db(), s.subjectCode, code, current_user::name()));
            });
        }
    }
    FormShow();
}

void TZjxzF::BtnCmmClick()
{
    State& s = state();
    if (refuseMissingSubject()) return;
    ++s.renamePresses;
    QTreeWidgetItem* node = selectedNode();
    if (!node) {
        MsgBox::show(QStringLiteral("请选择要被重命名的章节！"), this);
        --s.renamePresses;
        return;
    }
    if (node->text(0) == s.subjectName) {
        MsgBox::show(QStringLiteral("不能对科目重命名，请选择要被重命名的章节！"), this);
        --s.renamePresses;
        return;
    }
    if (s.renamePresses % 2 == 1) {
        s.renameCode.clear();
        s.renameFrom = node->text(0);
        sql::firstValue(DM->db(), QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjm=? ORDER BY id DESC LIMIT 1"),
                         {s.subjectCode, node->text(0)}, &s.renameCode);
        setTreeEditable(true);
        editNode(node);
        return;
    }

    endPendingEdit();
    const QString name = node->text(0);
    QString found;
    // The chapter itself does not count as a clash.
    if (sql::firstValue(
            DM->db(),
            QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjm=? AND COALESCE(zjh,'')<>COALESCE(?,'') LIMIT 1"),
            {s.subjectCode, name, s.renameCode}, &found)) {
        MsgBox::show(QStringLiteral("同一科目内不能存在相同的章节名"), this);
        FormShow();
        return;
    }
    if (name.isEmpty()) {
        MsgBox::show(QStringLiteral("章节名不能为空！"), this);
        FormShow();
        return;
    }
    QString id;
    if (!sql::firstValue(DM->db(), QStringLiteral("SELECT id FROM zjb WHERE kmh=? AND zjh=? ORDER BY id LIMIT 1"),
                          {s.subjectCode, s.renameCode}, &id) ||
        bank::locateId(DM->ADOZjb, id.toLongLong()) < 0) {
        FormShow();  // the chapter is gone: show the names the file holds
        return;
    }
    // The name changes only while it is still the one the rename started from: another user may
    // have renamed the chapter meanwhile.
    if (sql::changes(DM->db(), QStringLiteral("UPDATE zjb SET zjm=? WHERE id=? AND COALESCE(zjm,'')=?"),
                     {name, id.toLongLong(), s.renameFrom}) == 0) {
        if (MsgBox::askYesNo(
                QStringLiteral("章节“") + s.renameFrom +
                    QStringLiteral("”已被其他用户更改，是否重新载入章节列表？（选“否”保留树中输入的名称）"),
                this)) {
            FormShow();
        }
        return;
    }
    DM->ADOZjb->refresh();
    // The tree already shows the new name and stays editable until it is next rebuilt.
}

void TZjxzF::TreeViewZjClick()
{
    // The tree's own selection is all a click does.
}

void TZjxzF::DelStb(const QString& kmh, const QString& zjh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM stb WHERE kmh=? AND zjh=?"), {kmh, zjh});
}

void TZjxzF::DelZjb(const QString& kmh, const QString& zjh)
{
    sql::run(DM->db(), QStringLiteral("DELETE FROM zjb WHERE kmh=? AND zjh=?"), {kmh, zjh});
}

bool TZjxzF::newChapterPending() const
{
    return newNode_ && state().addPresses % 2 == 1;
}

void TZjxzF::editorClosed(QAbstractItemDelegate::EndEditHint hint)
{
    // Enter in the new chapter's in-place edit stores it, as the second press would: the tree
    // would otherwise show a name that is not in the bank. Run after the editor has closed.
    if (hint != QAbstractItemDelegate::SubmitModelCache || !newChapterPending()) return;
    QTimer::singleShot(0, this, [this] {
        ui::run([this] {
            if (newChapterPending() && selectedNode() == newNode_) BtnZjzjClick();
        });
    });
}

void TZjxzF::askToKeepNewChapter()
{
    if (!newChapterPending()) return;
    endPendingEdit();
    const QString name = newNode_->text(0);
    if (MsgBox::confirm(
            QStringLiteral("新章节“") + name + QStringLiteral("”还没有保存，是否保存？\n（确定：保存；取消：放弃）"),
            this)) {
        TreeViewZj->clearSelection();
        TreeViewZj->setCurrentItem(newNode_);
        newNode_->setSelected(true);
        BtnZjzjClick();
    } else {
        ++state().addPresses;  // the addition is given up: the next press starts a new one
        newNode_ = nullptr;
    }
}

void TZjxzF::reject()
{
    ui::run([this] { askToKeepNewChapter(); });
    QDialog::reject();
}

void TZjxzF::BtnGbClick()
{
    close();
}
