#include "windows/bank/duplicate_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "data/data_module.h"
#include "data/sql.h"
#include "ui/handler.h"
#include "windows/content/content_preview.h"

TCfF::TCfF(const QList<duplicates::Match>& matches, const QString& kmh, const QString& txh, QWidget* parent)
    : QDialog(parent), matches_(matches)
{
    setObjectName(QStringLiteral("TCfF"));
    setWindowTitle(QStringLiteral("查重"));
    auto* intro = new QLabel(QStringLiteral("题库中已有与这道题相似的试题："), this);
    intro->setObjectName(QStringLiteral("LabelTs"));
    ListYs = new QListWidget(this);
    ListYs->setObjectName(QStringLiteral("ListYs"));
    for (const duplicates::Match& m : matches_) {
        QString typeName;
        if (m.txh != txh) {
            typeName = sql::scalar(DM->db(),
                                   QStringLiteral("SELECT txm FROM txb WHERE kmh = ? AND txh = ? ORDER BY id LIMIT 1"),
                                   {kmh, m.txh});
            if (typeName.isEmpty()) typeName = m.txh;
        }
        ListYs->addItem(lineOf(m, typeName));
    }
    ListYs->setCurrentRow(0);

    auto* labelTm = new QLabel(QStringLiteral("题目："), this);
    auto* labelDa = new QLabel(QStringLiteral("答案："), this);
    PreviewTm = new content::ContentPreview(this);
    PreviewTm->setObjectName(QStringLiteral("PreviewTm"));
    PreviewDa = new content::ContentPreview(this);
    PreviewDa->setObjectName(QStringLiteral("PreviewDa"));
    for (content::ContentPreview* p : {PreviewTm, PreviewDa}) {
        p->setDatabase(DM->db());
        p->setReadOnly(true);
    }

    BtnRrcr = new QPushButton(QStringLiteral("仍然存入"), this);
    BtnRrcr->setObjectName(QStringLiteral("BtnRrcr"));
    BtnBcr = new QPushButton(QStringLiteral("不存入"), this);
    BtnBcr->setObjectName(QStringLiteral("BtnBcr"));
    BtnCk = new QPushButton(QStringLiteral("查看"), this);
    BtnCk->setObjectName(QStringLiteral("BtnCk"));
    // Enter by habit keeps the question out: storing it is the choice that needs a click.
    BtnBcr->setDefault(true);
    BtnRrcr->setAutoDefault(false);
    BtnCk->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(labelTm, 0, 0);
    grid->addWidget(PreviewTm, 1, 0);
    grid->addWidget(labelDa, 2, 0);
    grid->addWidget(PreviewDa, 3, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnCk);
    buttons->addStretch();
    buttons->addWidget(BtnRrcr);
    buttons->addWidget(BtnBcr);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(ListYs);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(560, 520);

    connect(BtnRrcr, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnBcr, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnCk, &QPushButton::clicked, this, ui::guard([this] { BtnCkClick(); }));
    connect(ListYs, &QListWidget::itemDoubleClicked, this, ui::guard([this] { BtnCkClick(); }));
}

QString TCfF::lineOf(const duplicates::Match& match, const QString& typeName)
{
    const int percent = int(std::floor(match.similarity * 100 + 1e-9));
    return QStringLiteral("疑似重复：%1第%2题（相似度 %3%）").arg(typeName, match.th).arg(percent);
}

void TCfF::BtnCkClick()
{
    const int row = ListYs->currentRow();
    if (row < 0 || row >= matches_.size()) return;
    QString tm, da;
    sql::Reader q(DM->db(), QStringLiteral("SELECT tm, da FROM stb WHERE id = ?"), {matches_.at(row).id});
    if (q.next()) {
        tm = q.text(0);
        da = q.text(1);
    } else {
        tm = QStringLiteral("（这道题已不在题库中）");
    }
    PreviewTm->setContentText(tm);
    PreviewDa->setContentText(da);
    PreviewTm->refreshNow();
    PreviewDa->refreshNow();
}
