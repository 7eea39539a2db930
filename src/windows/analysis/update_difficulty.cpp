#include "windows/analysis/update_difficulty.h"

#include <QBrush>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "data/errors.h"
#include "library/paper_store.h"
#include "ui/controls.h"
#include "ui/handler.h"
#include "ui/message_box.h"

namespace {

using ui::makeButton;
using ui::makeLabel;

constexpr int kIdRole = Qt::UserRole;

QDoubleSpinBox* makeLine(double value, QWidget* parent, const QString& name)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setDecimals(2);
    box->setRange(0.0, 1.0);
    box->setSingleStep(0.05);
    box->setValue(value);
    return box;
}

}  // namespace

UpdateDifficultyDialog::UpdateDifficultyDialog(const QSqlDatabase& db, const QVector<qint64>& questionIds,
                                               QWidget* parent)
    : QDialog(parent), db_(db)
{
    setObjectName(QStringLiteral("TGxndF"));
    setWindowTitle(QStringLiteral("更新难度"));
    resize(620, 440);

    auto* layout = new QVBoxLayout(this);
    LabelSm = makeLabel(QString(), this, QStringLiteral("LabelSm"));
    LabelSm->setWordWrap(true);
    layout->addWidget(LabelSm);

    auto* lines = new QHBoxLayout;
    LabelYi = makeLabel(QStringLiteral("易（P ≥）"), this, QStringLiteral("LabelYi"));
    SpinYi = makeLine(analysis::DifficultyLines{}.easy, this, QStringLiteral("SpinYi"));
    LabelNan = makeLabel(QStringLiteral("难（P <）"), this, QStringLiteral("LabelNan"));
    SpinNan = makeLine(analysis::DifficultyLines{}.hard, this, QStringLiteral("SpinNan"));
    LabelYi->setBuddy(SpinYi);
    LabelNan->setBuddy(SpinNan);
    lines->addWidget(LabelYi);
    lines->addWidget(SpinYi);
    lines->addSpacing(16);
    lines->addWidget(LabelNan);
    lines->addWidget(SpinNan);
    lines->addSpacing(16);
    LabelJx = makeLabel(QString(), this, QStringLiteral("LabelJx"));
    {
        QPalette palette = LabelJx->palette();
        palette.setColor(QPalette::WindowText, QColor(180, 0, 0));
        LabelJx->setPalette(palette);
    }
    lines->addWidget(LabelJx, 1);
    layout->addLayout(lines);

    GridGxnd = new QTableWidget(this);
    GridGxnd->setObjectName(QStringLiteral("GridGxnd"));
    GridGxnd->setColumnCount(ColumnCount);
    GridGxnd->setHorizontalHeaderLabels({QStringLiteral("题号"), QStringLiteral("题型"), QStringLiteral("实测难度 P"),
                                         QStringLiteral("原难度 → 建议难度")});
    GridGxnd->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridGxnd->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridGxnd->verticalHeader()->hide();
    GridGxnd->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(GridGxnd, 1);

    auto* buttons = new QHBoxLayout;
    BtnQx = makeButton(QStringLiteral("全选"), this, QStringLiteral("BtnQx"));
    BtnQbx = makeButton(QStringLiteral("全不选"), this, QStringLiteral("BtnQbx"));
    BtnYy = makeButton(QStringLiteral("应用"), this, QStringLiteral("BtnYy"));
    BtnQxiao = makeButton(QStringLiteral("取消"), this, QStringLiteral("BtnQxiao"));
    buttons->addWidget(BtnQx);
    buttons->addWidget(BtnQbx);
    buttons->addStretch(1);
    buttons->addWidget(BtnYy);
    buttons->addWidget(BtnQxiao);
    layout->addLayout(buttons);

    connect(SpinYi, &QDoubleSpinBox::valueChanged, this, [this] { propose(); });
    connect(SpinNan, &QDoubleSpinBox::valueChanged, this, [this] { propose(); });
    connect(BtnQx, &QPushButton::clicked, this, [this] { tickAll(true); });
    connect(BtnQbx, &QPushButton::clicked, this, [this] { tickAll(false); });
    connect(BtnYy, &QPushButton::clicked, this, ui::guard([this] {
                if (apply()) accept();
            }));
    connect(BtnQxiao, &QPushButton::clicked, this, &QDialog::reject);

    questions_ = analysis::readQuestionDifficulties(db_, questionIds);
    QSet<qint64> given;
    for (const qint64 id : questionIds) {
        if (id >= 0) given.insert(id);
    }
    leftOut_ = int(given.size()) - int(questions_.size());
    fillTable();
}

UpdateDifficultyDialog* UpdateDifficultyDialog::forPaper(const QSqlDatabase& db, qint64 paperId, QWidget* parent)
{
    const library::StoredPaper paper = library::loadPaper(db, paperId);
    QVector<qint64> ids;
    for (const library::StoredSection& section : paper.sections) {
        for (const library::StoredQuestion& q : section.questions) {
            if (q.questionId >= 0) ids.append(q.questionId);
        }
    }
    return new UpdateDifficultyDialog(db, ids, parent);
}

void UpdateDifficultyDialog::fillTable()
{
    int measured = 0;
    GridGxnd->setRowCount(int(questions_.size()));
    for (int row = 0; row < questions_.size(); ++row) {
        const analysis::QuestionDifficulty& q = questions_.at(row);
        auto* th = new QTableWidgetItem(q.th);
        th->setData(kIdRole, q.id);
        auto* type = new QTableWidgetItem(q.typeName);
        auto* p = new QTableWidgetItem(q.measured ? analysis::measuredText(q.measure) : QStringLiteral("没有实测数据"));
        auto* change = new QTableWidgetItem(q.nd);
        if (q.measured) {
            ++measured;
            th->setFlags(th->flags() | Qt::ItemIsUserCheckable);
            th->setCheckState(Qt::Unchecked);
        } else {
            // Nothing to propose: shown for completeness, greyed, without a box.
            for (QTableWidgetItem* item : {th, type, p, change}) {
                item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable));
                item->setForeground(QBrush(Qt::gray));
            }
        }
        GridGxnd->setItem(row, ColumnTh, th);
        GridGxnd->setItem(row, ColumnType, type);
        GridGxnd->setItem(row, ColumnMeasured, p);
        GridGxnd->setItem(row, ColumnChange, change);
    }
    GridGxnd->resizeColumnsToContents();

    QString note = QStringLiteral(
        "按实测难度 P（学生得分占满分的比例）建议难度：P 不低于“易”的界线为易，"
        "低于“难”的界线为难，其余为中等。勾选的试题在按“应用”后改为建议的难度。");
    if (questions_.isEmpty()) {
        note = QStringLiteral("没有可更新难度的试题。");
    } else if (measured == 0) {
        note = QStringLiteral("这些试题都还没有实测数据（没有记录过考试成绩），无法建议难度。");
    } else if (measured < questions_.size()) {
        note += QStringLiteral("灰色的 %1 道试题没有实测数据，不作更改。").arg(questions_.size() - measured);
    }
    if (leftOut_ > 0) note += QStringLiteral("另有 %1 道试题已不在题库中，未列出。").arg(leftOut_);
    LabelSm->setText(note);
    propose();
}

bool UpdateDifficultyDialog::linesValid() const
{
    return SpinYi->value() > SpinNan->value();
}

void UpdateDifficultyDialog::propose()
{
    const bool valid = linesValid();
    LabelJx->setText(valid ? QString()
                           : QStringLiteral("“易”的界线须高于“难”的界线（现为 %1 和 %2），请修改。")
                                 .arg(SpinYi->value(), 0, 'f', 2)
                                 .arg(SpinNan->value(), 0, 'f', 2));
    BtnYy->setEnabled(valid);
    if (!valid) return;  // the last proposals stay until the lines are usable again
    const analysis::DifficultyLines lines{SpinYi->value(), SpinNan->value()};
    proposed_.clear();
    for (int row = 0; row < questions_.size(); ++row) {
        const analysis::QuestionDifficulty& q = questions_.at(row);
        if (!q.measured) {
            proposed_ << QString();
            continue;
        }
        // P as shown (two decimals) meets the lines as typed: a P shown as 0.39 is not 难 below 0.39
        // for a rounding error of the average.
        const double shown = std::round(q.measure.difficulty * 100.0) / 100.0;
        const QString proposal = analysis::proposedDifficulty(shown, lines);
        proposed_ << proposal;
        GridGxnd->item(row, ColumnChange)
            ->setText(q.nd == proposal
                          ? QStringLiteral("%1（不变）").arg(q.nd)
                          : QStringLiteral("%1 → %2").arg(q.nd.isEmpty() ? QStringLiteral("（无）") : q.nd, proposal));
        GridGxnd->item(row, ColumnTh)->setCheckState(q.nd != proposal ? Qt::Checked : Qt::Unchecked);
    }
}

QString UpdateDifficultyDialog::proposedAt(int row) const
{
    return row >= 0 && row < proposed_.size() ? proposed_.at(row) : QString();
}

bool UpdateDifficultyDialog::isTicked(int row) const
{
    const QTableWidgetItem* item = GridGxnd->item(row, ColumnTh);
    return item && (item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked;
}

void UpdateDifficultyDialog::tickAll(bool on)
{
    for (int row = 0; row < GridGxnd->rowCount(); ++row) {
        QTableWidgetItem* item = GridGxnd->item(row, ColumnTh);
        if (item && (item->flags() & Qt::ItemIsUserCheckable)) item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
}

bool UpdateDifficultyDialog::apply()
{
    if (!linesValid()) {
        MsgBox::show(QStringLiteral("“易”的界线须高于“难”的界线，请先修改界线。"), this);
        return false;
    }
    QHash<qint64, QString> wanted;
    QVector<qint64> order;
    for (int row = 0; row < questions_.size(); ++row) {
        if (!isTicked(row) || proposedAt(row).isEmpty()) continue;
        wanted.insert(questions_.at(row).id, proposedAt(row));
        order.append(questions_.at(row).id);
    }
    if (wanted.isEmpty()) {
        MsgBox::show(QStringLiteral("没有勾选要更新难度的试题。"), this);
        return false;
    }
    // Questions another user deleted (or put in the recycle bin) since the list was read.
    QStringList skipped;
    for (const qint64 id : analysis::missingQuestions(db_, order)) {
        wanted.remove(id);
        for (const analysis::QuestionDifficulty& q : questions_) {
            if (q.id == id) skipped << QStringLiteral("%1第%2题").arg(q.typeName, q.th);
        }
    }
    const QString skippedText =
        skipped.isEmpty() ? QString() : QStringLiteral("%1已被删除，已跳过。").arg(skipped.join(QStringLiteral("、")));
    if (wanted.isEmpty()) {
        MsgBox::show(skippedText + QStringLiteral("没有更新任何试题的难度。"), this);
        return false;
    }
    // One transaction: an error leaves every question as it was.
    int changed = 0;
    try {
        changed = analysis::applyDifficulties(db_, wanted);
    } catch (const AppError& e) {
        const ui::ErrorReport report = ui::explainError(e.text());
        MsgBox::error(QStringLiteral("难度没有更新，所有试题保持原样。\n") + report.text, this, report.detail);
        return false;
    }
    QString text = QStringLiteral("已更新 %1 道试题的难度。").arg(changed);
    if (!skippedText.isEmpty()) text += QLatin1Char('\n') + skippedText;
    MsgBox::show(text, this);
    emit difficultiesApplied(changed);
    return true;
}
