#include "windows/blueprint/shortage_report.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "ui/message_box.h"

using namespace blueprint;

namespace {

// Item data of a choice: the remedy and, for another chapter, its code.
constexpr int kRemedyRole = Qt::UserRole;
constexpr int kChapterRole = Qt::UserRole + 1;

void addChoice(QComboBox* box, const QString& text, Remedy remedy, const QString& zjh, bool possible)
{
    box->addItem(text);
    const int i = box->count() - 1;
    box->setItemData(i, static_cast<int>(remedy), kRemedyRole);
    box->setItemData(i, zjh, kChapterRole);
    if (!possible) {
        if (auto* model = qobject_cast<QStandardItemModel*>(box->model())) model->item(i)->setEnabled(false);
    }
}

}  // namespace

ShortageReport::ShortageReport(const Plan& plan, const BankCounts& counts, const QVector<Shortage>& shortages,
                               QWidget* parent)
    : QDialog(parent), shortages_(shortages)
{
    setObjectName(QStringLiteral("ShortageReport"));
    setWindowTitle(QStringLiteral("题量不足"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("以下格子要求的题数超过题库中的题目。请为每一格选择处理方式；"
                                            "不会从细目表以外悄悄补题。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* holder = new QWidget(this);
    auto* grid = new QGridLayout(holder);
    for (int i = 0; i < shortages.size(); ++i) {
        const Shortage& s = shortages.at(i);
        const Cell& c = s.cell;
        auto* label = new QLabel(
            QStringLiteral("%1：需要%2道，题库只有%3道").arg(cellName(plan, c)).arg(c.count).arg(s.available), holder);
        label->setObjectName(QStringLiteral("LabelShort_%1").arg(i));
        auto* box = new QComboBox(holder);
        box->setObjectName(QStringLiteral("ComboFix_%1").arg(i));
        addChoice(box, QStringLiteral("（请选择处理方式）"), Remedy::None, QString(), true);
        addChoice(box, QStringLiteral("少出题：只出%1道").arg(s.available), Remedy::Fewer, QString(), true);
        const QStringList wider = widenedLevels(c.nd);
        if (!wider.isEmpty()) {
            const int spare = spareForWiden(plan, counts, c);
            addChoice(box,
                      QStringLiteral("放宽难度到%1：补%2道（可用%3道）")
                          .arg(wider.join(QStringLiteral("、")))
                          .arg(s.missing())
                          .arg(spare),
                      Remedy::Widen, QString(), spare >= s.missing());
        }
        for (const Chapter& ch : plan.chapters) {
            if (ch.zjh == c.zjh) continue;
            const int spare = spareInChapter(plan, counts, c, ch.zjh);
            // By knowledge point the offer names its kind: a path alone reads like a chapter.
            const QString source = plan.rows == RowKind::Points ? QStringLiteral("从知识点“%1”") : QStringLiteral("从“%1”");
            addChoice(box, (source + QStringLiteral("补%2道（可用%3道）")).arg(ch.zjm).arg(s.missing()).arg(spare),
                      Remedy::OtherChapter, ch.zjh, spare >= s.missing());
        }
        grid->addWidget(label, i, 0);
        grid->addWidget(box, i, 1);
        choices.append(box);
    }
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(holder);
    layout->addWidget(scroll);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    BtnFixOk = new QPushButton(QStringLiteral("按所选方式组卷"), this);
    BtnFixOk->setObjectName(QStringLiteral("BtnFixOk"));
    BtnFixCancel = new QPushButton(QStringLiteral("返回修改"), this);
    BtnFixCancel->setObjectName(QStringLiteral("BtnFixCancel"));
    buttons->addWidget(BtnFixOk);
    buttons->addWidget(BtnFixCancel);
    layout->addLayout(buttons);
    connect(BtnFixOk, &QPushButton::clicked, this, &ShortageReport::accept);
    connect(BtnFixCancel, &QPushButton::clicked, this, &ShortageReport::reject);
    resize(640, 360);
}

void ShortageReport::accept()
{
    for (QComboBox* box : choices) {
        if (static_cast<Remedy>(box->currentData(kRemedyRole).toInt()) == Remedy::None) {
            MsgBox::show(QStringLiteral("请为每个题量不足的格子选择处理方式！"), this);
            return;
        }
        auto* model = qobject_cast<QStandardItemModel*>(box->model());
        if (model && !model->item(box->currentIndex())->isEnabled()) {
            MsgBox::show(QStringLiteral("所选的补题来源题目不够，请另选处理方式！"), this);
            return;
        }
    }
    QDialog::accept();
}

QHash<QString, Fix> ShortageReport::fixes() const
{
    QHash<QString, Fix> out;
    for (int i = 0; i < shortages_.size() && i < choices.size(); ++i) {
        Fix fix;
        fix.remedy = static_cast<Remedy>(choices.at(i)->currentData(kRemedyRole).toInt());
        fix.zjh = choices.at(i)->currentData(kChapterRole).toString();
        out.insert(cellKey(shortages_.at(i).cell), fix);
    }
    return out;
}
