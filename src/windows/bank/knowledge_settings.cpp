#include "windows/bank/knowledge_settings.h"

#include "content/fonts.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/sql.h"
#include "ui/handler.h"
#include "ui/message_box.h"
#include "windows/bank/bank_common.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kIdRole = Qt::UserRole;

}  // namespace

TZsdszF::TZsdszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ZsdszF"));
    setWindowTitle(QStringLiteral("知识点设置"));
    bank::useSystemMenuBorder(this);
    setFont(fonts::song(15));
    setFixedSize(560, 430);

    TreeZsd = new QTreeWidget(this);
    TreeZsd->setObjectName(QStringLiteral("TreeZsd"));
    TreeZsd->setColumnCount(2);
    TreeZsd->setHeaderLabels({QStringLiteral("知识点"), QStringLiteral("试题数")});
    TreeZsd->header()->setStretchLastSection(false);
    TreeZsd->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    TreeZsd->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    TreeZsd->setIndentation(19);
    TreeZsd->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeZsd->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeZsd->setGeometry(16, 16, 360, 360);

    LabelTs = new QLabel(this);
    LabelTs->setObjectName(QStringLiteral("LabelTs"));
    LabelTs->setGeometry(16, 386, 528, 30);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setGeometry(392, 16, 152, 360);
    struct ButtonSpec {
        QPushButton** button;
        const char* name;
        QString caption;
        void (TZsdszF::*handler)();
        int y;
    };
    const ButtonSpec buttons[] = {
        {&BtnZj, "BtnZj", QStringLiteral("增加"), &TZsdszF::BtnZjClick, 20},
        {&BtnZjxj, "BtnZjxj", QStringLiteral("增加下级"), &TZsdszF::BtnZjxjClick, 65},
        {&BtnGm, "BtnGm", QStringLiteral("改名"), &TZsdszF::BtnGmClick, 110},
        {&BtnYd, "BtnYd", QStringLiteral("移动"), &TZsdszF::BtnYdClick, 155},
        {&BtnSc, "BtnSc", QStringLiteral("删除"), &TZsdszF::BtnScClick, 200},
        {&BtnGb, "BtnGb", QStringLiteral("关闭"), &TZsdszF::BtnGbClick, 310},
    };
    for (const ButtonSpec& spec : buttons) {
        auto* b = new QPushButton(spec.caption, Panel1);
        b->setObjectName(QString::fromLatin1(spec.name));
        b->setGeometry(26, spec.y, 100, 30);
        b->setAutoDefault(false);
        b->setDefault(false);
        const auto handler = spec.handler;
        connect(b, &QPushButton::clicked, this, ui::guard([this, handler] { (this->*handler)(); }));
        *spec.button = b;
    }
    ui::centreOnScreen(this);
}

void TZsdszF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) ui::load(this, [this] { FormShow(); });
}

void TZsdszF::FormShow()
{
    const qint64 keep = selectedPoint();
    QSet<qint64> open;
    for (QTreeWidgetItemIterator it(TreeZsd); *it; ++it) {
        if ((*it)->isExpanded()) open.insert((*it)->data(0, kIdRole).toLongLong());
    }
    const bool first = TreeZsd->topLevelItemCount() == 0 && subjectName_.isEmpty();
    subjectName_ = bank::currentSubject();
    setWindowTitle(QStringLiteral("知识点设置--") + subjectName_);
    // As 章节设置: a name that matches no subject lists nothing and changes nothing.
    QString code;
    subjectCode_ =
        sql::firstValue(DM->db(), QStringLiteral("SELECT kmh FROM kmb WHERE kmm=? ORDER BY id DESC LIMIT 1"),
                        {subjectName_}, &code)
            ? code
            : QString();
    TreeZsd->clear();
    if (subjectCode_.isEmpty()) return;
    QSqlDatabase db = DM->db();
    const QHash<qint64, int> counts = knowledge::questionCounts(db, subjectCode_);
    QHash<qint64, QTreeWidgetItem*> nodes;
    for (const knowledge::Point& p : knowledge::points(db, subjectCode_)) {
        const QStringList texts{p.name, QString::number(counts.value(p.id))};
        QTreeWidgetItem* node = p.parent == 0 ? new QTreeWidgetItem(TreeZsd, texts)
                                              : new QTreeWidgetItem(nodes.value(p.parent), texts);
        node->setData(0, kIdRole, p.id);
        node->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        nodes.insert(p.id, node);
    }
    // The tree opens fully the first time; afterwards the branches the user had open stay open.
    for (auto it = nodes.cbegin(); it != nodes.cend(); ++it) {
        it.value()->setExpanded(first || open.contains(it.key()));
    }
    if (keep != 0) selectPoint(keep);
}

qint64 TZsdszF::selectedPoint() const
{
    const QList<QTreeWidgetItem*> items = TreeZsd->selectedItems();
    return items.isEmpty() ? 0 : items.first()->data(0, kIdRole).toLongLong();
}

QTreeWidgetItem* TZsdszF::nodeOf(qint64 id) const
{
    for (QTreeWidgetItemIterator it(TreeZsd); *it; ++it) {
        if ((*it)->data(0, kIdRole).toLongLong() == id) return *it;
    }
    return nullptr;
}

bool TZsdszF::selectPoint(qint64 id)
{
    QTreeWidgetItem* node = nodeOf(id);
    if (!node) return false;
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent()) up->setExpanded(true);
    TreeZsd->clearSelection();
    TreeZsd->setCurrentItem(node);
    node->setSelected(true);
    TreeZsd->scrollToItem(node);
    return true;
}

bool TZsdszF::refuseMissingSubject()
{
    if (!subjectCode_.isEmpty()) return false;
    MsgBox::show(QStringLiteral("当前科目不存在，请先选择科目！"), this);
    return true;
}

bool TZsdszF::askName(const QString& title, const QString& label, QString* name)
{
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("NameDialog"));
    ask.setWindowTitle(title);
    ask.setLabelText(label);
    ask.setTextValue(*name);
    if (ask.exec() != QDialog::Accepted) return false;
    *name = ask.textValue();
    return true;
}

// Runs a change of the tree. A refusal (a name taken, a move under itself) is shown and the tree
// stays as it was; a failure of the database itself goes on to the window's own handler.
bool TZsdszF::changed(const std::function<void()>& change)
{
    try {
        change();
    } catch (const DataError&) {
        throw;
    } catch (const AppError& e) {
        MsgBox::show(e.text(), this);
        return false;
    }
    return true;
}

void TZsdszF::addUnder(qint64 parent)
{
    QSqlDatabase db = DM->db();
    const QString where =
        parent == 0 ? QStringLiteral("顶层") : QStringLiteral("“%1”下").arg(knowledge::pathOf(db, parent));
    QString name;
    if (!askName(QStringLiteral("增加知识点"), QStringLiteral("在%1增加知识点，名称：").arg(where), &name)) return;
    qint64 id = 0;
    if (!changed([&] { id = knowledge::add(db, subjectCode_, name, parent); })) return;
    FormShow();
    selectPoint(id);
    LabelTs->setText(QStringLiteral("已增加知识点“%1”。").arg(knowledge::pathOf(db, id)));
}

void TZsdszF::BtnZjClick()
{
    if (refuseMissingSubject()) return;
    qint64 parent = 0;
    if (const qint64 selected = selectedPoint(); selected != 0) {
        if (QTreeWidgetItem* node = nodeOf(selected); node && node->parent()) {
            parent = node->parent()->data(0, kIdRole).toLongLong();
        }
    }
    addUnder(parent);
}

void TZsdszF::BtnZjxjClick()
{
    if (refuseMissingSubject()) return;
    const qint64 selected = selectedPoint();
    if (selected == 0) {
        MsgBox::show(QStringLiteral("请先选择上级知识点！"), this);
        return;
    }
    addUnder(selected);
}

void TZsdszF::BtnGmClick()
{
    if (refuseMissingSubject()) return;
    const qint64 selected = selectedPoint();
    if (selected == 0) {
        MsgBox::show(QStringLiteral("请选择要改名的知识点！"), this);
        return;
    }
    QString name = nodeOf(selected)->text(0);
    const QString before = name;
    if (!askName(QStringLiteral("知识点改名"), QStringLiteral("知识点“%1”的新名称：").arg(before), &name)) return;
    QSqlDatabase db = DM->db();
    if (!changed([&] { knowledge::rename(db, selected, name); })) return;
    FormShow();
    LabelTs->setText(QStringLiteral("知识点“%1”已改名为“%2”。").arg(before, name.trimmed()));
}

void TZsdszF::BtnYdClick()
{
    if (refuseMissingSubject()) return;
    const qint64 selected = selectedPoint();
    if (selected == 0) {
        MsgBox::show(QStringLiteral("请选择要移动的知识点！"), this);
        return;
    }
    QSqlDatabase db = DM->db();
    // The targets: the top and every point outside the moved one's own branch.
    const QList<qint64> branch = knowledge::withDescendants(db, {selected});
    const QHash<qint64, QString> paths = knowledge::paths(db, subjectCode_);
    QDialog ask(this);
    ask.setObjectName(QStringLiteral("MoveDialog"));
    ask.setWindowTitle(QStringLiteral("移动知识点"));
    auto* layout = new QVBoxLayout(&ask);
    auto* label = new QLabel(QStringLiteral("把知识点“%1”移到：").arg(paths.value(selected)), &ask);
    auto* target = new QComboBox(&ask);
    target->setObjectName(QStringLiteral("ComboBoxSj"));
    target->addItem(QStringLiteral("（顶层）"), qint64(0));
    for (const knowledge::Point& p : knowledge::points(db, subjectCode_)) {
        if (!branch.contains(p.id)) target->addItem(paths.value(p.id), p.id);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(target);
    layout->addWidget(buttons);
    ask.resize(420, ask.sizeHint().height());
    if (ask.exec() != QDialog::Accepted) return;
    const qint64 parent = target->currentData().toLongLong();
    if (!changed([&] { knowledge::move(db, selected, parent); })) return;
    FormShow();
    selectPoint(selected);
    LabelTs->setText(QStringLiteral("知识点已移到“%1”。").arg(knowledge::pathOf(db, selected)));
}

void TZsdszF::BtnScClick()
{
    if (refuseMissingSubject()) return;
    const qint64 selected = selectedPoint();
    if (selected == 0) {
        MsgBox::show(QStringLiteral("请选择要删除的知识点！"), this);
        return;
    }
    const QString name = nodeOf(selected)->text(0);
    if (!MsgBox::confirmDestructive(QStringLiteral("删除知识点“%1”及其下级？试题保留。").arg(name), this)) return;
    QSqlDatabase db = DM->db();
    knowledge::remove(db, selected);
    FormShow();
    LabelTs->setText(QStringLiteral("已删除知识点“%1”及其下级。").arg(name));
}

void TZsdszF::BtnGbClick()
{
    close();
}
