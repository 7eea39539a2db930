#include "library/paper_store.h"

#include <QDateTime>
#include <QHash>

#include "data/convert.h"
#include "data/errors.h"
#include "data/lookups.h"
#include "data/engine.h"
#include "data/knowledge_points.h"
#include "data/sql.h"
#include "output/paper_document.h"
#include "data/current_user.h"

namespace library {

namespace {

// A LIKE pattern that finds `text` anywhere, its own % and _ taken literally.
QString containsPattern(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_')) escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

QString csvField(const QString& value)
{
    // Fields starting like a formula would be run by a spreadsheet; they are kept as text.
    QString text = value;
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front())) text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) ||
        text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

}  // namespace

int StoredPaper::questionCount() const
{
    int n = 0;
    for (const StoredSection& s : sections) n += int(s.questions.size());
    return n;
}

StoredPaper snapshotComposition(const QSqlDatabase& db, const QString& kmh, const QString& kmm,
                                const QStringList& typeNames, const QString& title, const QString& duration,
                                const QString& total)
{
    StoredPaper paper;
    paper.title = title;
    paper.kmh = kmh;
    paper.kmm = kmm;
    paper.duration = duration;
    paper.total = total;
    paper.layout = standardLayout();
    for (const QString& name : typeNames) {
        StoredSection section;
        section.typeName = name;
        section.txh = TxmToTxh(kmh, name);
        sql::Reader rows(
            db, QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da FROM sjb WHERE kmh=? AND txh=? ORDER BY id"),
            {kmh, section.txh});
        double sum = 0;
        while (rows.next()) {
            StoredQuestion q{rows.text(0), rows.text(1), rows.text(2), rows.text(3),
                             rows.text(4), rows.text(5), rows.text(6), rows.text(7)};
            q.questionId = findQuestionId(db, q);
            sum += convert::toFloat(q.fs);
            section.questions.append(q);
        }
        section.count = int(section.questions.size());
        section.points = convert::roundHalfEven(sum);
        paper.sections.append(section);
    }
    notePoints(db, paper);
    return paper;
}

void notePoints(const QSqlDatabase& db, StoredPaper& paper)
{
    QList<qint64> ids;
    for (const StoredSection& section : paper.sections) {
        for (const StoredQuestion& q : section.questions) {
            if (q.questionId >= 0) ids << q.questionId;
        }
    }
    if (ids.isEmpty()) return;
    QSqlDatabase conn = db;
    const QHash<qint64, QStringList> points = knowledge::pathsOfQuestions(conn, paper.kmh, ids);
    for (StoredSection& section : paper.sections) {
        for (StoredQuestion& q : section.questions) {
            if (q.questionId >= 0) q.points = points.value(q.questionId).join(QStringLiteral("；"));
        }
    }
}

qint64 insertPaper(const QSqlDatabase& db, StoredPaper& paper)
{
    if (paper.createdAt.isEmpty()) {
        paper.createdAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    if (paper.createdBy.isEmpty()) paper.createdBy = current_user::name();
    if (paper.layout.isEmpty()) paper.layout = standardLayout();
    paper.id =
        sql::exec(db,
                  QStringLiteral("INSERT INTO papers (title, kmh, kmm, duration, total, layout, created_at,"
                                 " created_by, question_count, source_id, variant, seed, overlap_percent)"
                                 " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"),
                  {paper.title, paper.kmh, paper.kmm, paper.duration, paper.total, paper.layout, paper.createdAt,
                   paper.createdBy, paper.questionCount(), paper.sourceId >= 0 ? QVariant(paper.sourceId) : QVariant(),
                   paper.variant, paper.seed, paper.overlapPercent});
    for (int s = 0; s < paper.sections.size(); ++s) {
        const StoredSection& section = paper.sections.at(s);
        sql::exec(db,
                  QStringLiteral("INSERT INTO paper_sections (paper_id, position, txh, txm, question_count, points)"
                                 " VALUES (?,?,?,?,?,?)"),
                  {paper.id, s, section.txh, section.typeName, section.count, section.points});
        for (int i = 0; i < section.questions.size(); ++i) {
            const StoredQuestion& q = section.questions.at(i);
            sql::exec(db,
                      QStringLiteral("INSERT INTO paper_questions (paper_id, section_position, position, kmh, txh,"
                                     " th, zjh, nd, fs, tm, da, question_id, zsd) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"),
                      {paper.id, s, i, q.kmh, q.txh, q.th, q.zjh, q.nd, q.fs, q.tm, q.da,
                       q.questionId >= 0 ? QVariant(q.questionId) : QVariant(), q.points});
        }
    }
    return paper.id;
}

qint64 storePaper(const QSqlDatabase& db, StoredPaper& paper)
{
    sql::transaction(db, [&] { insertPaper(db, paper); });
    return paper.id;
}

QString PaperList::field(int row, int field) const
{
    const int at = row * (kFields + 1) + field;
    const int start = starts_.at(at);
    return QString::fromUtf8(text_.constData() + start, starts_.at(at + 1) - start);
}

PaperRow PaperList::row(int r) const
{
    return PaperRow{id(r),       field(r, 0), field(r, 1), field(r, 2),     field(r, 3),
                    field(r, 4), field(r, 5), field(r, 6), questionCount(r)};
}

void PaperList::append(qint64 paperId, const char* const* texts, const int* sizes, int questionCount)
{
    for (int f = 0; f < kFields; ++f) {
        starts_.append(int(text_.size()));
        text_.append(texts[f], sizes[f]);
    }
    starts_.append(int(text_.size()));
    ids_.append(paperId);
    counts_.append(questionCount);
}

PaperList readPaperList(const QSqlDatabase& db, const QString& titleFilter, const QString& subjectFilter)
{
    QString statement = QStringLiteral(
        "SELECT id, title, kmm, duration, total, layout, created_at, created_by, question_count FROM papers");
    QStringList conditions;
    QVariantList binds;
    // Letter case does not matter on either engine: "unit" finds "Unit 3".
    const QString like = engine::caseBlindLike(db);
    if (!titleFilter.trimmed().isEmpty()) {
        conditions << QStringLiteral("title %1 ? ESCAPE '\\'").arg(like);
        binds << containsPattern(titleFilter.trimmed());
    }
    if (!subjectFilter.trimmed().isEmpty()) {
        conditions << QStringLiteral("kmm %1 ? ESCAPE '\\'").arg(like);
        binds << containsPattern(subjectFilter.trimmed());
    }
    if (!conditions.isEmpty()) statement += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    statement += QStringLiteral(" ORDER BY id DESC");
    PaperList list;
    sql::Reader q(db, statement, binds);
    const char* texts[PaperList::kFields];
    int sizes[PaperList::kFields];
    QByteArray held[PaperList::kFields];  // copies where the reader has no raw access
    while (q.next()) {
        for (int f = 0; f < PaperList::kFields; ++f) {
            texts[f] = q.rawText(f + 1, &sizes[f]);
            if (!texts[f]) {
                held[f] = q.utf8(f + 1);
                texts[f] = held[f].constData();
                sizes[f] = int(held[f].size());
            }
        }
        list.append(q.int64(0), texts, sizes, static_cast<int>(q.int64(8)));
    }
    return list;
}

QVector<PaperRow> listPapers(const QSqlDatabase& db, const QString& titleFilter, const QString& subjectFilter)
{
    const PaperList list = readPaperList(db, titleFilter, subjectFilter);
    QVector<PaperRow> rows;
    rows.reserve(list.size());
    for (int r = 0; r < list.size(); ++r) rows.append(list.row(r));
    return rows;
}

StoredPaper loadPaper(const QSqlDatabase& db, qint64 id)
{
    // The paper, its sections and their questions in one statement (one round trip to a server):
    // a row per question, or per section without questions, each carrying the paper's columns.
    sql::Reader q(db,
                  QStringLiteral("SELECT p.title, p.kmh, p.kmm, p.duration, p.total, p.layout, p.created_at,"
                                 " p.created_by, p.source_id, p.variant, p.seed, p.overlap_percent,"
                                 " s.position, s.txh, s.txm, s.question_count, s.points,"
                                 " pq.id, pq.kmh, pq.txh, pq.th, pq.zjh, pq.nd, pq.fs, pq.tm, pq.da, pq.question_id, pq.zsd"
                                 " FROM papers p"
                                 " LEFT JOIN paper_sections s ON s.paper_id = p.id"
                                 " LEFT JOIN paper_questions pq ON pq.paper_id = p.id AND pq.section_position = s.position"
                                 " WHERE p.id=? ORDER BY s.position, pq.position"),
                  {id});
    if (!q.next()) throw DataError(QStringLiteral("试卷库中没有这份试卷，它可能已被删除。"));
    StoredPaper paper;
    paper.id = id;
    paper.title = q.text(0);
    paper.kmh = q.text(1);
    paper.kmm = q.text(2);
    paper.duration = q.text(3);
    paper.total = q.text(4);
    paper.layout = q.text(5);
    paper.createdAt = q.text(6);
    paper.createdBy = q.text(7);
    paper.sourceId = q.text(8).isEmpty() ? -1 : q.int64(8);
    paper.variant = q.text(9);
    paper.seed = q.text(10);
    paper.overlapPercent = static_cast<int>(q.int64(11));
    QString position;  // of the section read last
    do {
        if (q.text(12).isEmpty()) break;  // a paper without sections
        if (paper.sections.isEmpty() || q.text(12) != position) {
            position = q.text(12);
            StoredSection section;
            section.txh = q.text(13);
            section.typeName = q.text(14);
            section.count = static_cast<int>(q.int64(15));
            section.points = q.int64(16);
            paper.sections.append(section);
        }
        if (!q.text(17).isEmpty()) {
            StoredQuestion question{q.text(18), q.text(19), q.text(20), q.text(21),
                                    q.text(22), q.text(23), q.text(24), q.text(25)};
            question.questionId = q.text(26).isEmpty() ? -1 : q.int64(26);
            question.points = q.text(27);
            paper.sections.last().questions.append(question);
        }
    } while (q.next());
    return paper;
}

void deletePaper(const QSqlDatabase& db, qint64 id)
{
    sql::transaction(db, [&] {
        // The paper's sittings go with it: their scores mean nothing without the paper.
        const QString sittings = QStringLiteral("(SELECT id FROM sittings WHERE paper_id=?)");
        sql::exec(db, QStringLiteral("DELETE FROM question_stats WHERE sitting_id IN %1").arg(sittings), {id});
        sql::exec(db, QStringLiteral("DELETE FROM sitting_students WHERE sitting_id IN %1").arg(sittings), {id});
        sql::exec(db, QStringLiteral("DELETE FROM sittings WHERE paper_id=?"), {id});
        sql::exec(db, QStringLiteral("DELETE FROM paper_questions WHERE paper_id=?"), {id});
        sql::exec(db, QStringLiteral("DELETE FROM paper_sections WHERE paper_id=?"), {id});
        sql::exec(db, QStringLiteral("DELETE FROM papers WHERE id=?"), {id});
    });
}

PaperContent toContent(const StoredPaper& paper)
{
    PaperContent content;
    content.title = paper.title;
    content.duration = paper.duration;
    content.total = paper.total;
    for (const StoredSection& s : paper.sections) {
        PaperSection section;
        section.typeName = s.typeName;
        section.count = s.count;
        section.points = s.points;
        for (const StoredQuestion& q : s.questions)
            section.questions.append(PaperQuestion{q.tm, q.da, convert::toFloat(q.fs)});
        content.sections.append(section);
    }
    return content;
}

QString describe(const StoredPaper& paper)
{
    QStringList lines;
    lines << paper.title;
    lines << QStringLiteral("科目：%1  时间：%2分钟  总分：%3分  版式：%4")
                 .arg(paper.kmm, paper.duration, paper.total, paper.layout);
    lines << QStringLiteral("组卷时间：%1  组卷人：%2").arg(paper.createdAt, paper.createdBy);
    if (paper.variant == QLatin1String("B")) {
        lines
            << QStringLiteral("B卷：随机种子 %1，与原卷相同的题目不超过 %2%").arg(paper.seed).arg(paper.overlapPercent);
    }
    for (int s = 0; s < paper.sections.size(); ++s) {
        const StoredSection& section = paper.sections.at(s);
        lines << QString();
        lines << NumConvert(s + 1) + QStringLiteral("、") + section.typeName +
                     QStringLiteral("（本题共%1道小题，共%2分。）").arg(section.count).arg(section.points);
        int k = 0;
        for (const StoredQuestion& q : section.questions) {
            const QString points = q.points.isEmpty() ? QString() : QStringLiteral("  知识点 ") + q.points;
            lines << QStringLiteral("%1. [题号 %2  章节 %3  难度 %4  %5分%6] %7")
                         .arg(++k)
                         .arg(q.th, ZjhToZjm(paper.kmh, q.zjh), q.nd, q.fs, points, q.tm);
            lines << QStringLiteral("    答案：") + q.da;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QByteArray toCsv(const PaperList& list)
{
    QVector<PaperRow> rows;
    for (int r = 0; r < list.size(); ++r) rows.append(list.row(r));
    return toCsv(rows);
}

QByteArray toCsv(const QVector<PaperRow>& rows)
{
    QStringList lines;
    lines << QStringLiteral("标题,科目,时间(分钟),总分,题数,版式,组卷时间,组卷人");
    for (const PaperRow& r : rows) {
        lines << QStringList{csvField(r.title),
                             csvField(r.kmm),
                             csvField(r.duration),
                             csvField(r.total),
                             QString::number(r.questionCount),
                             csvField(r.layout),
                             csvField(r.createdAt),
                             csvField(r.createdBy)}
                     .join(QLatin1Char(','));
    }
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + QByteArray("\r\n");
}

Usage usage(const QSqlDatabase& db, qint64 questionId)
{
    Usage use;
    if (questionId < 0) return use;
    sql::Reader q(db,
                  QStringLiteral("SELECT COUNT(DISTINCT p.id), MAX(p.created_at) FROM paper_questions q"
                                 " JOIN papers p ON p.id=q.paper_id WHERE q.question_id=?"),
                  {questionId});
    if (q.next()) {
        use.papers = static_cast<int>(q.int64(0));
        use.lastDate = q.text(1).left(10);
    }
    return use;
}

QString usageText(const Usage& use)
{
    if (use.papers == 0) return QStringLiteral("尚未用于试卷");
    return QStringLiteral("已用于 %1 份试卷，最近 %2").arg(use.papers).arg(use.lastDate);
}

QSet<qint64> usedInRecentPapers(const QSqlDatabase& db, const QString& kmh, int count)
{
    QSet<qint64> used;
    if (count <= 0) return used;
    sql::Reader q(db,
                  QStringLiteral("SELECT question_id FROM paper_questions WHERE question_id IS NOT NULL AND paper_id IN"
                                 " (SELECT id FROM papers WHERE kmh=? ORDER BY id DESC LIMIT ?)"),
                  {kmh, count});
    while (q.next()) used.insert(q.int64(0));
    return used;
}

qint64 findQuestionId(const QSqlDatabase& db, const StoredQuestion& copy)
{
    // The number with the text first; the text alone finds a question renumbered meanwhile; the
    // number alone in the same chapter finds a question another user has edited since it was drawn.
    const std::pair<const char*, QVariantList> tries[] = {
        {"SELECT id FROM stb WHERE kmh=? AND txh=? AND th=? AND tm=? ORDER BY id LIMIT 1",
         {copy.kmh, copy.txh, copy.th, copy.tm}},
        {"SELECT id FROM stb WHERE kmh=? AND txh=? AND tm=? ORDER BY id LIMIT 1", {copy.kmh, copy.txh, copy.tm}},
        {"SELECT id FROM stb WHERE kmh=? AND tm=? ORDER BY id LIMIT 1", {copy.kmh, copy.tm}},
        {"SELECT id FROM stb WHERE kmh=? AND txh=? AND th=? AND zjh=? ORDER BY id LIMIT 1",
         {copy.kmh, copy.txh, copy.th, copy.zjh}},
    };
    for (const auto& [statement, binds] : tries) {
        QString id;
        if (sql::firstValue(db, QString::fromLatin1(statement), binds, &id) && !id.isEmpty()) return id.toLongLong();
    }
    return -1;
}

namespace {

// The name a deleted chapter had, from the recycle bin's record of its deletion.
QString deletedChapterName(const QSqlDatabase& db, const QString& kmh, const QString& zjh)
{
    QString name;
    if (sql::firstValue(db,
                        QStringLiteral("SELECT zjm FROM recycle_items WHERE kind='zjb' AND kmh=? AND zjh=?"
                                       " ORDER BY id DESC LIMIT 1"),
                        {kmh, zjh}, &name) &&
        !name.isEmpty()) {
        return name;
    }
    return QStringLiteral("编号 %1").arg(zjh);
}

}  // namespace

QString compositionProblem(const QSqlDatabase& db, const QString& kmh, const QString& kmm,
                           const QStringList& typeNames)
{
    const QString notWritten = QStringLiteral("试卷没有生成，也没有记入试卷库。请返回重新选择题目后再组卷。");
    QString ignored;
    if (!sql::firstValue(db, QStringLiteral("SELECT kmh FROM kmb WHERE kmh=?"), {kmh}, &ignored)) {
        return QStringLiteral("科目“%1”已被其他用户删除，").arg(kmm) + notWritten;
    }
    for (const QString& name : typeNames) {
        QString txh;
        if (!sql::firstValue(db, QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1"),
                             {kmh, name}, &txh)) {
            return QStringLiteral("科目“%1”的题型“%2”已被其他用户删除，").arg(kmm, name) + notWritten;
        }
        QVector<StoredQuestion> copies;
        {
            sql::Reader rows(db,
                             QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da FROM sjb WHERE kmh=? AND txh=?"
                                            " ORDER BY id"),
                             {kmh, txh});
            while (rows.next()) {
                copies.append(StoredQuestion{rows.text(0), rows.text(1), rows.text(2), rows.text(3), rows.text(4),
                                             rows.text(5), rows.text(6), rows.text(7)});
            }
        }
        if (copies.isEmpty()) {
            return QStringLiteral("题型“%1”中选好的题目已被其他用户删除，").arg(name) + notWritten;
        }
        for (const StoredQuestion& copy : copies) {
            if (!sql::firstValue(db, QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjh=?"), {kmh, copy.zjh},
                                 &ignored)) {
                return QStringLiteral("科目“%1”的章节“%2”已被其他用户删除，")
                           .arg(kmm, deletedChapterName(db, kmh, copy.zjh)) +
                       notWritten;
            }
            if (findQuestionId(db, copy) < 0) {
                return QStringLiteral("题型“%1”的第%2题已被其他用户删除，").arg(name, copy.th) + notWritten;
            }
        }
    }
    return QString();
}

StoredPaper recordComposition(const QSqlDatabase& db, const QString& kmh, const QString& kmm,
                              const QStringList& typeNames, const QString& title, const QString& duration,
                              const QString& total, const QString& layout)
{
    StoredPaper paper;
    sql::transaction(db, [&] {
        // A deletion of the subject, a type or a chapter under way finishes first and is seen by
        // the check; one that starts later waits until the paper is recorded.
        engine::keepRowsUntilCommit(db, QStringLiteral("SELECT id FROM kmb WHERE kmh=?"), {kmh});
        engine::keepRowsUntilCommit(db, QStringLiteral("SELECT id FROM txb WHERE kmh=?"), {kmh});
        engine::keepRowsUntilCommit(db, QStringLiteral("SELECT id FROM zjb WHERE kmh=?"), {kmh});
        const QString problem = compositionProblem(db, kmh, kmm, typeNames);
        if (!problem.isEmpty()) throw AppError(problem);
        paper = snapshotComposition(db, kmh, kmm, typeNames, title, duration, total);
        paper.layout = layout;
        insertPaper(db, paper);
    });
    return paper;
}

}  // namespace library
