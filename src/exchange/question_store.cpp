#include "exchange/question_store.h"

#include <algorithm>

#include <QSet>

#include "content/content.h"
#include "data/convert.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/lookups.h"
#include "data/numbering.h"
#include "data/question_fields.h"
#include "data/sql.h"
#include "exchange/knowledge_tags.h"

namespace exchange {

QString StoreSummary::text() const
{
    QStringList parts;
    for (const auto& [type, count] : perType) parts << QStringLiteral("%1 %2 道").arg(type).arg(count);
    QString result = QStringLiteral("已导入 %1 道试题").arg(stored);
    if (!parts.isEmpty()) result += QStringLiteral("：") + parts.join(QStringLiteral("，"));
    result += QStringLiteral("。");
    if (!createdTypes.isEmpty()) result += QStringLiteral("\n新建题型：") + createdTypes.join(QStringLiteral("、"));
    if (!createdChapters.isEmpty())
        result += QStringLiteral("\n新建章节：") + createdChapters.join(QStringLiteral("、"));
    if (!createdPoints.isEmpty())
        result += QStringLiteral("\n新建知识点：") + createdPoints.join(QStringLiteral("、"));
    if (!unsupported.isEmpty()) {
        QStringList kinds;
        for (const auto& [kind, count] : unsupported) kinds << QStringLiteral("%1 %2 道").arg(kind).arg(count);
        result += QStringLiteral("\n未导入（本程序不支持的题型）：") + kinds.join(QStringLiteral("，")) +
                  QStringLiteral("。");
    }
    QStringList left;
    if (looseParagraphs > 0) left << QStringLiteral("%1 个段落未归入试题").arg(looseParagraphs);
    if (unmatchedKeys > 0) left << QStringLiteral("%1 条答案没有对应的试题").arg(unmatchedKeys);
    if (skippedPictures > 0) left << QStringLiteral("%1 张图片未导入").arg(skippedPictures);
    if (skippedDuplicates > 0) left << QStringLiteral("跳过疑似重复的试题 %1 道").arg(skippedDuplicates);
    if (!left.isEmpty())
        result += QStringLiteral("\n未导入：") + left.join(QStringLiteral("，")) + QStringLiteral("。");
    if (keyLinesJoined > 0)
        result += QStringLiteral("\n答案中有 %1 行没有题号，已并入它前面的答案。").arg(keyLinesJoined);
    return result;
}

void StoreSummary::countUnstored(const ImportedPaper& paper)
{
    unsupported = paper.unsupported;
    // A question of a kind not supported is listed among the loose paragraphs too: counted once.
    int unsupportedQuestions = 0;
    for (const auto& kind : paper.unsupported) unsupportedQuestions += kind.second;
    looseParagraphs = std::max(0, static_cast<int>(paper.loose.size()) - unsupportedQuestions);
    unmatchedKeys = static_cast<int>(paper.unmatchedKeys.size());
    keyLinesJoined = paper.keyLinesJoined;
    skippedPictures = static_cast<int>(paper.skippedPictures.size());
}

QString subjectCode(const QSqlDatabase& db, const QString& subjectName)
{
    return sql::scalar(db, QStringLiteral("SELECT kmh FROM kmb WHERE kmm=? ORDER BY id DESC LIMIT 1"), {subjectName});
}

QStringList typeNames(const QSqlDatabase& db, const QString& kmh)
{
    return sql::column(db, QStringLiteral("SELECT txm FROM txb WHERE kmh=? ORDER BY id"), {kmh});
}

QStringList chapterNames(const QSqlDatabase& db, const QString& kmh)
{
    return sql::column(db, QStringLiteral("SELECT zjm FROM zjb WHERE kmh=? ORDER BY id"), {kmh});
}

namespace {

QStringList missing(const QStringList& known, const QVector<ImportedQuestion>& questions,
                    QString ImportedQuestion::*field)
{
    QStringList result;
    const QSet<QString> have(known.begin(), known.end());
    for (const ImportedQuestion& q : questions) {
        const QString& name = q.*field;
        if (!name.isEmpty() && !have.contains(name) && !result.contains(name)) result << name;
    }
    return result;
}

// A chapter added by an import goes at the top level of the subject's chapter tree: two digits
// after the subject's last top-level chapter.
QString nextTopChapterCode(const QSqlDatabase& db, const QString& kmh)
{
    QString last;
    sql::firstValue(db, QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND LENGTH(zjh)=2 ORDER BY id DESC LIMIT 1"),
                    {kmh}, &last);
    return convert::nextCode(last, 2);
}

// The knowledge points of the questions to store, resolved once per path: the paths of the file
// and of the options, cleaned, shortest first. A file exported from a bank names its points by
// their whole paths, so that a path is created as it stands before a longer one could end with
// it ("代数/函数" before "高中/代数/函数", which resolve() would otherwise take it for).
class PointLinks {
public:
    PointLinks(const QSqlDatabase& db, const QString& kmh, const QVector<ImportedQuestion>& questions,
               const QStringList& common)
        : db_(db), kmh_(kmh), common_(pointPaths(common))
    {
        QStringList all = common_;
        for (const ImportedQuestion& q : questions) {
            for (const QString& path : pointPaths(q.knowledge)) {
                if (!all.contains(path)) all << path;
            }
        }
        std::stable_sort(all.begin(), all.end(),
                         [](const QString& a, const QString& b) { return a.count(QLatin1Char('/')) < b.count(QLatin1Char('/')); });
        for (const QString& path : all) {
            const QList<qint64> found = knowledge::resolve(db_, kmh_, {path}, &created);
            if (!found.isEmpty()) ids_.insert(path, found.first());
        }
    }

    // Links the stored question to the points of `q` and the common ones.
    void link(qint64 questionId, const ImportedQuestion& q)
    {
        const QStringList paths = pointPaths(q.knowledge + common_);
        if (paths.isEmpty()) return;
        QList<qint64> ids;
        for (const QString& path : paths) ids << ids_.value(path);
        knowledge::setForQuestion(db_, questionId, ids);
    }

    QStringList created;

private:
    QSqlDatabase db_;
    QString kmh_;
    QStringList common_;
    QHash<QString, qint64> ids_;
};

}  // namespace

QStringList missingTypes(const QSqlDatabase& db, const QString& kmh, const QVector<ImportedQuestion>& questions)
{
    return missing(typeNames(db, kmh), questions, &ImportedQuestion::typeName);
}

QStringList missingChapters(const QSqlDatabase& db, const QString& kmh, const QVector<ImportedQuestion>& questions)
{
    return missing(chapterNames(db, kmh), questions, &ImportedQuestion::chapterName);
}

QStringList rowWarnings(const ImportedQuestion& q, const QStringList& subjectTypes, const QStringList& subjectChapters)
{
    QStringList result = q.warnings;
    if (q.typeName.isEmpty()) {
        result << QStringLiteral("未指定题型");
    } else if (!subjectTypes.contains(q.typeName)) {
        result << QStringLiteral("新题型（导入时新建）");
    }
    if (q.chapterName.isEmpty()) {
        result << QStringLiteral("未指定章节");
    } else if (!subjectChapters.contains(q.chapterName)) {
        result << QStringLiteral("新章节（导入时新建）");
    }
    if (q.score.isEmpty()) result << QStringLiteral("未给出分数");
    if (q.difficulty.isEmpty()) result << QStringLiteral("未给出难度");
    // Checked as 录入试题 checks them: a value it would not store is not stored from a file either.
    const QString score = fields::scoreProblem(q.score);
    if (!score.isEmpty()) result << score;
    const QString difficulty = fields::difficultyProblem(q.difficulty);
    if (!difficulty.isEmpty()) result << difficulty;
    return result;
}

void checkStorable(const QVector<ImportedQuestion>& questions)
{
    for (int i = 0; i < questions.size(); ++i) {
        const ImportedQuestion& q = questions.at(i);
        const QString which = QStringLiteral("第 %1 行（文件中的第 %2 题）").arg(i + 1).arg(q.number);
        if (q.text.trimmed().isEmpty()) throw AppError(which + QStringLiteral("的题目为空，请删除此行或补上题目。"));
        if (q.typeName.isEmpty()) throw AppError(which + QStringLiteral("没有题型，请为它选择题型。"));
        if (q.chapterName.isEmpty()) throw AppError(which + QStringLiteral("没有章节，请为它选择章节。"));
        for (const QString& problem : {fields::scoreProblem(q.score), fields::difficultyProblem(q.difficulty)}) {
            if (!problem.isEmpty())
                throw AppError(which + QStringLiteral("的") + problem + QStringLiteral("，请改正后再导入。"));
        }
        // A formula that 录入试题 would refuse is refused here too: the row can be corrected in place.
        for (const auto& [part, text] :
             {std::pair{QStringLiteral("题目"), &q.text}, {QStringLiteral("答案"), &q.answer}}) {
            const QString refused = content::textEntryRefusal(*text);
            if (!refused.isEmpty())
                throw AppError(which + QStringLiteral("的") + part + QStringLiteral("无法导入：") + refused);
        }
    }
}

StoreSummary storeQuestions(const QSqlDatabase& db, const QString& kmh, const QVector<ImportedQuestion>& questions,
                            const QHash<QString, QByteArray>& pictures, const StoreOptions& options)
{
    if (kmh.isEmpty()) throw AppError(QStringLiteral("科目不存在！"));
    checkStorable(questions);
    StoreSummary summary;
    QStringList newTypes = missingTypes(db, kmh, questions);
    QStringList newChapters = missingChapters(db, kmh, questions);
    // Names to create are looked for again after this program's turn at the subject's types and
    // chapters: another user adding one of them at the same moment has then stored it, and the
    // import uses it instead of adding the name a second time. The turn lasts until the commit.
    if ((!newTypes.isEmpty() && options.createTypes) || (!newChapters.isEmpty() && options.createChapters)) {
        engine::takeTurnUntilCommit(db, numbering::typeCodes(db, kmh).scope);
        engine::takeTurnUntilCommit(db, numbering::chapterCodes(db, kmh).scope);
        newTypes = missingTypes(db, kmh, questions);
        newChapters = missingChapters(db, kmh, questions);
    }
    if (!newTypes.isEmpty() && !options.createTypes) {
        throw AppError(QStringLiteral("科目中没有题型：%1。").arg(newTypes.join(QStringLiteral("、"))));
    }
    if (!newChapters.isEmpty() && !options.createChapters) {
        throw AppError(QStringLiteral("科目中没有章节：%1。").arg(newChapters.join(QStringLiteral("、"))));
    }
    // Codes and numbers come from what the bank holds; one another user takes first is given again.
    for (const QString& name : newTypes) {
        numbering::insertWithFreshCode(db, numbering::typeCodes(db, kmh), [&](const QString& txh) {
            sql::exec(db, QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES (?, ?, ?)"), {kmh, txh, name});
        });
    }
    numbering::Sequence topChapters = numbering::chapterCodes(db, kmh);
    topChapters.next = [&] { return nextTopChapterCode(db, kmh); };
    for (const QString& name : newChapters) {
        numbering::insertWithFreshCode(db, topChapters, [&](const QString& zjh) {
            sql::exec(db, QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES (?, ?, ?)"), {kmh, zjh, name});
        });
    }
    summary.createdTypes = newTypes;
    summary.createdChapters = newChapters;

    // Names resolve to codes once; the last row of a name wins, as in the lookups of the forms.
    QHash<QString, QString> typeCodes;
    QHash<QString, QString> chapterCodes;
    for (sql::Reader r(db, QStringLiteral("SELECT txm, txh FROM txb WHERE kmh=? ORDER BY id"), {kmh}); r.next();)
        typeCodes.insert(r.text(0), r.text(1));
    for (sql::Reader r(db, QStringLiteral("SELECT zjm, zjh FROM zjb WHERE kmh=? ORDER BY id"), {kmh}); r.next();)
        chapterCodes.insert(r.text(0), r.text(1));

    PointLinks points(db, kmh, questions, options.knowledge);
    summary.createdPoints = points.created;

    QSet<QString> storedPictures;
    QSet<QString> kept;  // type/chapter pairs kept from deletion by other users until the commit
    const QString time = fields::timeOfDay();
    for (int i = 0; i < questions.size(); ++i) {
        if (options.progress && i % 20 == 0 && !options.progress(i)) throw ImportCancelled();
        const ImportedQuestion& q = questions.at(i);
        for (const QString& hash : content::pictureHashes(q.text) + content::pictureHashes(q.answer)) {
            if (storedPictures.contains(hash)) continue;
            const auto bytes = pictures.constFind(hash);
            // A marker whose picture the file did not bring must already be in the bank.
            if (bytes != pictures.constEnd()) {
                content::storePicture(db, bytes.value());
            } else if (!content::loadPicture(db, hash)) {
                throw AppError(QStringLiteral("第 %1 题的图片缺失。").arg(q.number));
            }
            storedPictures.insert(hash);
        }
        const QString txh = typeCodes.value(q.typeName);
        const QString zjh = chapterCodes.value(q.chapterName);
        if (!kept.contains(txh + QLatin1Char('/') + zjh)) {
            numbering::keepWhereStored(db, kmh, txh, zjh);
            kept.insert(txh + QLatin1Char('/') + zjh);
        }
        qint64 id = 0;
        numbering::insertWithFreshCode(db, numbering::questionNumbers(db, kmh, txh), [&](const QString& th) {
            id = sql::exec(db,
                      QStringLiteral("INSERT INTO stb (kmh, txh, th, nd, fs, tm, da, zjh, \"time\") "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                      {kmh, txh, th, q.difficulty, q.score, q.text, q.answer, zjh, time});
        });
        points.link(id, q);
        ++summary.stored;
        auto it = std::find_if(summary.perType.begin(), summary.perType.end(),
                               [&](const QPair<QString, int>& p) { return p.first == q.typeName; });
        if (it == summary.perType.end()) {
            summary.perType.append({q.typeName, 1});
        } else {
            ++it->second;
        }
    }
    if (options.progress && !options.progress(static_cast<int>(questions.size()))) throw ImportCancelled();
    return summary;
}

}  // namespace exchange
