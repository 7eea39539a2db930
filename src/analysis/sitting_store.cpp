#include "analysis/sitting_store.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>
#include <cmath>

#include "data/current_user.h"
#include "data/errors.h"
#include "data/question_fields.h"
#include "data/sql.h"
#include "library/paper_store.h"

namespace analysis {

namespace {

// A letter as a choice question's key or option: A–Z, upper case; full-width letters count too.
QChar optionLetter(QChar c)
{
    if (c.unicode() >= 0xFF21 && c.unicode() <= 0xFF3A) c = QChar(c.unicode() - 0xFF21 + 'A');
    if (c.unicode() >= 0xFF41 && c.unicode() <= 0xFF5A) c = QChar(c.unicode() - 0xFF41 + 'a');
    c = c.toUpper();
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? c : QChar();
}

// The key of a choice question: its answer begins with a single letter, after an optional "答案："
// and before any explanation ("C", "答案：C。因为…", "B，…"). Two letters ("AB") are no key: such a
// question is scored in points.
QChar choiceKey(const QString& answer)
{
    static const QRegularExpression lead(QStringLiteral("^\\s*(?:答案\\s*[:：]?)?\\s*"));
    const QString text = answer.mid(int(lead.match(answer).capturedLength()));
    if (text.isEmpty()) return QChar();
    const QChar key = optionLetter(text.at(0));
    if (key.isNull() || key > QLatin1Char('H')) return QChar();
    if (text.size() > 1) {
        const QChar next = text.at(1);
        if (next.isLetterOrNumber() && next.unicode() < 0x2E80) return QChar();  // a word, or "AB"
        if (!optionLetter(next).isNull()) return QChar();                        // full-width "ＡＢ"
    }
    return key;
}

// The letters from A up to the last one the question's text labels as an option ("A." "B．" "C、"
// "(D)" "（E）"), and at least up to the key and D.
QString optionLetters(const QString& text, QChar key)
{
    static const QRegularExpression labelled(
        QStringLiteral("(?:^|[\\s\\x{3000}])([A-Ha-h\\x{FF21}-\\x{FF28}])\\s*[.\\x{FF0E}\\x{3001}]|[(\\x{FF08}]\\s*([A-"
                       "Ha-h\\x{FF21}-\\x{FF28}])\\s*[)\\x{FF09}]"));
    QChar last = QLatin1Char('D');
    auto note = [&](QChar letter) {
        if (!letter.isNull() && letter > last) last = letter;
    };
    for (auto it = labelled.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString letter = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        note(optionLetter(letter.at(0)));
    }
    note(key);
    QString letters;
    for (QChar c = QLatin1Char('A'); c <= last; c = QChar(c.unicode() + 1)) letters += c;
    return letters;
}

QString joinScores(const QVector<double>& scores)
{
    QStringList parts;
    parts.reserve(scores.size());
    for (double s : scores) parts << QString::number(s, 'g', 12);
    return parts.join(QLatin1Char(';'));
}

QVector<double> splitScores(const QString& text)
{
    QVector<double> scores;
    if (text.isEmpty()) return scores;
    const QStringList parts = text.split(QLatin1Char(';'));
    scores.reserve(parts.size());
    for (const QString& p : parts) scores << p.toDouble();
    return scores;
}

// Checks that a sitting's scores fit the paper's questions, before anything is stored.
void checkFits(const QVector<SheetQuestion>& questions, const StoredSitting& sitting)
{
    if (sitting.students.isEmpty()) throw AppError(QStringLiteral("成绩表中没有学生，未保存。"));
    for (const Student& s : sitting.students) {
        if (s.scores.size() != questions.size()) {
            throw AppError(QStringLiteral("学生“%1”的成绩有 %2 项，试卷有 %3 道题，未保存。")
                               .arg(s.id)
                               .arg(s.scores.size())
                               .arg(questions.size()));
        }
        for (int q = 0; q < questions.size(); ++q) {
            const double v = s.scores.at(q);
            if (!(v >= 0 && v <= questions.at(q).fullMarks + 1e-9)) {
                throw AppError(QStringLiteral("学生“%1”第 %2 题的得分 %3 不在 0 到 %4 之间，未保存。")
                                   .arg(s.id)
                                   .arg(q + 1)
                                   .arg(v)
                                   .arg(questions.at(q).fullMarks));
            }
        }
    }
}

QVector<const library::StoredQuestion*> paperQuestions(const library::StoredPaper& paper)
{
    QVector<const library::StoredQuestion*> list;
    for (const library::StoredSection& section : paper.sections) {
        for (const library::StoredQuestion& q : section.questions) list << &q;
    }
    return list;
}

}  // namespace

QVector<SheetQuestion> sheetQuestions(const library::StoredPaper& paper)
{
    QVector<SheetQuestion> questions;
    for (const library::StoredSection& section : paper.sections) {
        const bool choiceType = section.typeName.contains(QStringLiteral("选择"));
        for (const library::StoredQuestion& q : section.questions) {
            SheetQuestion sheet;
            bool ok = false;
            sheet.fullMarks = q.fs.trimmed().toDouble(&ok);
            if (!ok || !(sheet.fullMarks > 0) || !std::isfinite(sheet.fullMarks)) {
                throw AppError(QStringLiteral("试卷第 %1 题的分值“%2”不是正数，无法制作成绩表。")
                                   .arg(questions.size() + 1)
                                   .arg(q.fs));
            }
            if (choiceType) {
                sheet.key = choiceKey(q.da);
                if (!sheet.key.isNull()) sheet.options = optionLetters(q.tm, sheet.key);
            }
            questions << sheet;
        }
    }
    return questions;
}

qint64 storeSitting(const QSqlDatabase& db, const library::StoredPaper& paper, StoredSitting& sitting)
{
    sql::transaction(db, [&] { insertSitting(db, paper, sitting); });
    return sitting.info.id;
}

qint64 insertSitting(const QSqlDatabase& db, const library::StoredPaper& paper, StoredSitting& sitting)
{
    const QVector<SheetQuestion> questions = sheetQuestions(paper);
    checkFits(questions, sitting);
    const Analysis analysis = analyse(combine(paper, {sitting}));
    SittingInfo& info = sitting.info;
    info.paperId = paper.id;
    info.students = int(sitting.students.size());
    if (info.heldOn.isEmpty()) info.heldOn = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    if (info.createdAt.isEmpty()) {
        info.createdAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    if (info.createdBy.isEmpty()) info.createdBy = current_user::name();
    const QVector<const library::StoredQuestion*> copies = paperQuestions(paper);
    {
        info.id = sql::exec(db,
                            QStringLiteral("INSERT INTO sittings (paper_id, held_on, class_name, students, created_at,"
                                           " created_by) VALUES (?,?,?,?,?,?)"),
                            {paper.id, info.heldOn, info.group, info.students, info.createdAt, info.createdBy});
        // Many rows per statement: a district's ten thousand students are a few dozen round trips on
        // a server rather than ten thousand.
        constexpr int kRowsPerStatement = 100;
        for (int start = 0; start < sitting.students.size(); start += kRowsPerStatement) {
            const int end = std::min<int>(start + kRowsPerStatement, int(sitting.students.size()));
            QStringList rows;
            QVariantList binds;
            for (int i = start; i < end; ++i) {
                const Student& s = sitting.students.at(i);
                const bool chose = !s.choices.trimmed().isEmpty();
                rows << QStringLiteral("(?,?,?,?,?,?)");
                binds << info.id << s.id << s.name << s.group << joinScores(s.scores)
                      << (chose ? QVariant(s.choices) : QVariant(QString()));
            }
            sql::exec(db,
                      QStringLiteral("INSERT INTO sitting_students (sitting_id, xh, xm, bj, scores, choices) VALUES ") +
                          rows.join(QLatin1Char(',')),
                      binds);
        }
        for (int q = 0; q < copies.size(); ++q) {
            const ItemStats& item = analysis.items.at(q);
            const qint64 questionId = copies.at(q)->questionId;
            // A correlation without spread is stored as no value rather than NaN, which a server refuses.
            auto number = [](double v) { return std::isfinite(v) ? QVariant(v) : QVariant(); };
            sql::exec(db,
                      QStringLiteral("INSERT INTO question_stats (sitting_id, question_id, position, full_marks, mean,"
                                     " difficulty, discrimination, item_rest, students) VALUES (?,?,?,?,?,?,?,?,?)"),
                      {info.id, questionId >= 0 ? QVariant(questionId) : QVariant(), q, questions.at(q).fullMarks,
                       number(item.mean), number(item.difficulty), number(item.discrimination), number(item.itemRest),
                       info.students});
        }
    }
    return info.id;
}

QVector<SittingInfo> listSittings(const QSqlDatabase& db, qint64 paperId)
{
    QVector<SittingInfo> list;
    sql::Reader r(db,
                  QStringLiteral("SELECT id, paper_id, held_on, class_name, students, created_at, created_by"
                                 " FROM sittings WHERE paper_id=? ORDER BY id"),
                  {paperId});
    while (r.next()) {
        list << SittingInfo{r.int64(0), r.int64(1), r.text(2), r.text(3), int(r.int64(4)), r.text(5), r.text(6)};
    }
    return list;
}

StoredSitting loadSitting(const QSqlDatabase& db, qint64 sittingId)
{
    StoredSitting sitting;
    {
        sql::Reader r(db,
                      QStringLiteral("SELECT id, paper_id, held_on, class_name, students, created_at, created_by"
                                     " FROM sittings WHERE id=?"),
                      {sittingId});
        if (!r.next()) throw DataError(QStringLiteral("这次考试的成绩已不在题库中，可能已被其他用户删除。"));
        sitting.info = SittingInfo{r.int64(0), r.int64(1), r.text(2), r.text(3), int(r.int64(4)), r.text(5), r.text(6)};
    }
    sql::Reader r(db,
                  QStringLiteral("SELECT xh, xm, bj, scores, choices FROM sitting_students WHERE sitting_id=?"
                                 " ORDER BY id"),
                  {sittingId});
    while (r.next()) {
        Student s;
        s.id = r.text(0);
        s.name = r.text(1);
        s.group = r.text(2);
        s.scores = splitScores(r.text(3));
        s.choices = r.text(4);
        sitting.students << s;
    }
    return sitting;
}

void deleteSitting(const QSqlDatabase& db, qint64 sittingId)
{
    sql::transaction(db, [&] {
        sql::exec(db, QStringLiteral("DELETE FROM question_stats WHERE sitting_id=?"), {sittingId});
        sql::exec(db, QStringLiteral("DELETE FROM sitting_students WHERE sitting_id=?"), {sittingId});
        sql::exec(db, QStringLiteral("DELETE FROM sittings WHERE id=?"), {sittingId});
    });
}

Sitting combine(const library::StoredPaper& paper, const QVector<StoredSitting>& sittings)
{
    const QVector<SheetQuestion> questions = sheetQuestions(paper);
    Sitting combined;
    bool anyChoice = false;
    for (const SheetQuestion& q : questions) {
        combined.fullMarks << q.fullMarks;
        combined.keys += q.isChoice() ? q.key : QLatin1Char(' ');
        anyChoice = anyChoice || q.isChoice();
    }
    if (!anyChoice) combined.keys.clear();
    for (const StoredSitting& sitting : sittings) {
        for (const Student& s : sitting.students) {
            if (s.scores.size() != questions.size()) {
                throw AppError(QStringLiteral("%1 %2 的成绩与试卷的题数不符，无法合并分析。")
                                   .arg(sitting.info.heldOn, sitting.info.group));
            }
            combined.scores << s.scores;
            if (anyChoice) {
                QString letters = s.choices.left(questions.size());
                letters += QString(questions.size() - letters.size(), QLatin1Char(' '));
                combined.choices << letters;
            }
        }
    }
    return combined;
}

QHash<qint64, Measured> measuredDifficulty(const QSqlDatabase& db, const QVector<qint64>& questionIds)
{
    QHash<qint64, Measured> measured;
    if (questionIds.isEmpty()) return measured;
    QHash<qint64, double> weighted;
    // In parts, so that no statement binds more values than an engine takes.
    constexpr int kIdsPerStatement = 500;
    for (int start = 0; start < questionIds.size(); start += kIdsPerStatement) {
        const int count = std::min<int>(kIdsPerStatement, int(questionIds.size()) - start);
        QVariantList binds;
        for (int i = start; i < start + count; ++i) binds << questionIds.at(i);
        sql::Reader r(db,
                      QStringLiteral("SELECT question_id, difficulty, students FROM question_stats"
                                     " WHERE difficulty IS NOT NULL AND question_id IN (%1)")
                          .arg(QStringList(count, QStringLiteral("?")).join(QLatin1Char(','))),
                      binds);
        while (r.next()) {
            const qint64 id = r.int64(0);
            const int students = int(r.int64(2));
            Measured& m = measured[id];
            m.sittings += 1;
            m.students += students;
            weighted[id] += r.text(1).toDouble() * students;
        }
    }
    for (auto it = measured.begin(); it != measured.end(); ++it) {
        it->difficulty = it->students > 0 ? weighted.value(it.key()) / it->students : 0;
    }
    return measured;
}

QString measuredText(const Measured& measured)
{
    return QStringLiteral("实测难度 %1（%2 次考试，%3 人）")
        .arg(QString::number(measured.difficulty, 'f', 2))
        .arg(measured.sittings)
        .arg(measured.students);
}

QString proposedDifficulty(double difficulty, const DifficultyLines& lines)
{
    if (difficulty >= lines.easy) return QStringLiteral("易");
    if (difficulty < lines.hard) return QStringLiteral("难");
    return QStringLiteral("中等");
}

int applyDifficulties(const QSqlDatabase& db, const QHash<qint64, QString>& difficulties)
{
    for (auto it = difficulties.cbegin(); it != difficulties.cend(); ++it) {
        if (it.value().isEmpty() || !fields::difficultyProblem(it.value()).isEmpty()) {
            throw AppError(QStringLiteral("“%1”不是题库的难度，未做任何更改。").arg(it.value()));
        }
    }
    int changed = 0;
    sql::transaction(db, [&] {
        for (auto it = difficulties.cbegin(); it != difficulties.cend(); ++it) {
            changed += sql::changes(db, QStringLiteral("UPDATE stb SET nd=? WHERE id=? AND (nd IS NULL OR nd<>?)"),
                                    {it.value(), it.key(), it.value()});
        }
    });
    return changed;
}

}  // namespace analysis
