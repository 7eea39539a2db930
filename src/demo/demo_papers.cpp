#include "demo/demo_papers.h"

#include <QStringList>
#include <cmath>

#include "analysis/sitting_store.h"
#include "data/sql.h"
#include "library/paper_store.h"
#include "library/parallel_paper.h"

namespace demo {

namespace {

// A small deterministic generator: the demo's students are the same every time.
struct Random {
    quint64 state = 20261209;
    double uniform()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(state >> 11) / double(1ULL << 53);
    }
    double normal()
    {
        const double u = std::max(uniform(), 1e-12);
        return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * uniform());
    }
};

// The questions of one type of a subject, in number order, at most `count` of them.
library::StoredSection section(const QSqlDatabase& db, const QString& kmh, const QString& typeName, int count)
{
    library::StoredSection s;
    s.typeName = typeName;
    s.txh = sql::scalar(db, QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=?"), {kmh, typeName});
    sql::Reader r(db, QStringLiteral("SELECT id, th, zjh, nd, fs, tm, da FROM stb WHERE kmh=? AND txh=? ORDER BY th"),
                  {kmh, s.txh});
    double sum = 0;
    while (s.questions.size() < count && r.next()) {
        library::StoredQuestion q;
        q.questionId = r.int64(0);
        q.kmh = kmh;
        q.txh = s.txh;
        q.th = r.text(1);
        q.zjh = r.text(2);
        q.nd = r.text(3);
        q.fs = r.text(4);
        q.tm = r.text(5);
        q.da = r.text(6);
        sum += q.fs.toDouble();
        s.questions << q;
    }
    s.count = int(s.questions.size());
    s.points = std::llround(sum);
    return s;
}

// How hard a question of this difficulty is for the students' model (a higher value, fewer marks).
double hardness(const QString& nd)
{
    static const QStringList order = {QStringLiteral("易"), QStringLiteral("较易"), QStringLiteral("中等"),
                                      QStringLiteral("较难"), QStringLiteral("难")};
    const int at = std::max(0, int(order.indexOf(nd)));
    return -1.2 + 0.6 * at;
}

// Students answering as their ability and each question's hardness make likely: a choice
// question right or one of its wrong letters, points in steps of one otherwise.
QVector<analysis::Student> students(const QVector<analysis::SheetQuestion>& questions,
                                    const QVector<const library::StoredQuestion*>& copies)
{
    static const QStringList surnames = {QStringLiteral("王"), QStringLiteral("李"), QStringLiteral("张"),
                                         QStringLiteral("刘"), QStringLiteral("陈"), QStringLiteral("杨"),
                                         QStringLiteral("赵"), QStringLiteral("黄")};
    static const QStringList given = {QStringLiteral("子涵"), QStringLiteral("欣怡"), QStringLiteral("浩然"),
                                      QStringLiteral("梓轩"), QStringLiteral("雨桐"), QStringLiteral("宇航")};
    Random random;
    QVector<analysis::Student> list;
    for (int i = 0; i < 48; ++i) {
        analysis::Student s;
        s.id = QStringLiteral("2026%1").arg(i + 1, 3, 10, QLatin1Char('0'));
        s.name = surnames.at(i % surnames.size()) + given.at((i / surnames.size()) % given.size());
        s.group = i < 24 ? QStringLiteral("七年级（1）班") : QStringLiteral("七年级（2）班");
        const double ability = random.normal();
        bool anyChoice = false;
        for (int q = 0; q < questions.size(); ++q) {
            const analysis::SheetQuestion& question = questions.at(q);
            const double chance = 1 / (1 + std::exp(-1.7 * (ability - hardness(copies.at(q)->nd))));
            if (question.isChoice()) {
                anyChoice = true;
                QChar letter = question.key;
                if (random.uniform() > chance) {
                    // Wrong: the letter after the key is the most tempting one.
                    const int offset = random.uniform() < 0.6 ? 1 : 2 + int(random.uniform() * 2);
                    const int n = int(question.options.size());
                    letter = question.options.at((question.options.indexOf(question.key) + offset) % n);
                }
                s.choices += letter;
                s.scores << (letter == question.key ? question.fullMarks : 0);
            } else {
                s.choices += QLatin1Char(' ');
                double points = 0;
                for (int step = 0; step < int(question.fullMarks); ++step) points += random.uniform() < chance ? 1 : 0;
                s.scores << points;
            }
        }
        if (!anyChoice) s.choices.clear();
        list << s;
    }
    return list;
}

}  // namespace

void addDemoPapers(const QSqlDatabase& db)
{
    const QString kmh = sql::scalar(db, QStringLiteral("SELECT kmh FROM kmb WHERE kmm=?"), {QStringLiteral("数学")});
    if (kmh.isEmpty()) return;
    library::StoredPaper paper;
    paper.title = QStringLiteral("七年级数学单元测验（A卷）");
    paper.kmh = kmh;
    paper.kmm = QStringLiteral("数学");
    paper.duration = QStringLiteral("45");
    paper.createdBy = QStringLiteral("office");
    paper.sections = {section(db, kmh, QStringLiteral("选择题"), 8), section(db, kmh, QStringLiteral("填空题"), 4),
                      section(db, kmh, QStringLiteral("计算题"), 2)};
    long long total = 0;
    for (const library::StoredSection& s : paper.sections) total += s.points;
    paper.total = QString::number(total);
    library::notePoints(db, paper);
    library::insertPaper(db, paper);

    library::ParallelPaper parallel = library::composeParallel(db, paper, 25, 7, true);
    if (parallel.complete()) {
        parallel.paper.createdBy = paper.createdBy;
        library::insertPaper(db, parallel.paper);
    }

    analysis::StoredSitting sitting;
    sitting.info.heldOn = QStringLiteral("2026-11-20");
    sitting.info.group = QStringLiteral("七年级（1）班、七年级（2）班");
    sitting.info.createdBy = paper.createdBy;
    QVector<const library::StoredQuestion*> copies;
    for (const library::StoredSection& s : paper.sections) {
        for (const library::StoredQuestion& q : s.questions) copies << &q;
    }
    sitting.students = students(analysis::sheetQuestions(paper), copies);
    analysis::insertSitting(db, paper, sitting);
}

}  // namespace demo
