#include "cli/db_tool.h"

#include <termios.h>
#include <unistd.h>
#include "content/content.h"
#include "data/data_module.h"
#include "demo/demo.h"
#include "data/errors.h"
#include "data/sql.h"
#include "exchange/moodle.h"
#include "data/question_fields.h"
#include "exchange/knowledge_tags.h"
#include "exchange/paper_import.h"
#include "exchange/question_store.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

#include "data/backup.h"
#include "cli/analyse_command.h"
#include "cli/bank_copy.h"
#include "data/engine.h"
#include "data/question_search.h"
#include "data/knowledge_points.h"
#include "data/duplicates.h"
#include "data/passwords.h"
#include "data/server_roles.h"
#include "data/data_module.h"
#include "demo/demo.h"
#include "data/errors.h"

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

const char* const kUsage =
    "用法：\n"
    "  exavoro-db init --admin 用户名          新建空数据库 Data/examdb.db，含一个超级用户（密码在终端输入两次）\n"
    "  exavoro-db demo                        新建示例数据库 Data/examdb.db（三个示例账户与一个示例题库）\n"
    "                                         init 与 demo 加 --server 地址 时，在数据库服务器的空数据库中建立题库\n"
    "                                         （地址形如 postgresql://管理员@主机:端口/数据库名，管理员的密码放在\n"
    "                                         ~/.pgpass；每个 Exavoro 用户是服务器上的一个登录角色）\n"
    "  exavoro-db upgrade --server 地址         为服务器上已有的题库建立用户角色与各级权限（原有用户需重新设置密码）\n"
    "  exavoro-db password --user 用户名        设置用户的密码（在终端输入两次）；加 --server 地址 时设置服务器上的用户\n"
    "  exavoro-db copy --from 来源 --to 目标    在题库文件与数据库服务器之间复制整个题库（目标须为空），\n"
    "                                         复制后比较各表行数与校验和\n"
    "  exavoro-db generate --questions N      新建含 N 道试题的大型测试题库 Data/examdb.db\n"
    "                                         （科目1的题型1有 5000 道、题型2有 2000 道；N 不少于 1000000 时\n"
    "                                         分别为 N/10 与 N/50，题型1的试题依次分在 20 个章节，勾选第1至\n"
    "                                         第10章时恰有一半是备选题）\n"
    "  exavoro-db backup [-o 文件]            在程序运行时也能写出题库的一致副本\n"
    "                                         （默认 Data/backup/examdb-日期-时间.db，不覆盖已有文件）\n"
    "  exavoro-db restore 文件                检查文件后用它替换题库；原来的题库保留为\n"
    "                                         examdb.db.before-restore-日期-时间；程序使用题库时拒绝\n"
    "  exavoro-db analyse --paper 编号 --sheet 文件 [--force]\n"
    "                                         为试卷库中的试卷写出成绩登记表（.xlsx 或 .csv，按文件名）：学号、姓名、\n"
    "                                         班级，每题一列，列名如“1（3分）”；选择题填所选字母（A–D）\n"
    "  exavoro-db analyse --paper 编号 --scores 文件 [-o 报告.docx [--force]] [--pass 60] [--excellent 85]\n"
    "                     [--store [--date 日期] [--class 班级]]\n"
    "                                         读入填好的成绩表，列出每题的平均分、难度、区分度、题总相关与\n"
    "                                         整卷的统计（含 Cronbach α）；有错误的单元格时逐一列出，退出码为 1；\n"
    "                                         -o 写出分析报告（图表在程序的“成绩分析”窗口中生成）；\n"
    "                                         --store 把这次考试的成绩保存到试卷库\n"
    "  exavoro-db check                       检查题库：完整性、数据表与字段、孤立的记录；有问题时退出码为 1\n"
    "  exavoro-db import 文件 --subject 科目 [--type 题型] [--chapter 章节] [--difficulty 难度] [--score 分数]\n"
    "                     [--create] [--dry-run] [--encoding auto|utf-8|gb18030|utf-16le|utf-16be]\n"
    "                     [--knowledge \"知识点，上级/知识点\"]\n"
    "                                         从 .docx/.doc/.wps/.odt/.md/.txt、Moodle XML 或 GIFT（按内容识别）导入试题；\n"
    "                                         纯文本的编码默认自动识别（UTF-8、UTF-16、GB18030/GBK），--encoding 指定编码；\n"
    "                                         --type/--chapter/--score 用于文件未给出的试题（Moodle XML 与 GIFT 的\n"
    "                                         试题全部用 --type 的题型），--difficulty 用于全部试题，\n"
    "                                         --create 新建科目中缺少的题型和章节，--dry-run 只列出识别结果；\n"
    "                                         Moodle XML 的标签（难度以外）作为试题的知识点，--knowledge 的知识点\n"
    "                                         加到每道试题，没有的知识点导入时新建\n"
    "  exavoro-db export --subject 科目 --format moodle|gift [--type 题型] [--chapter 章节] -o 文件 [--force]\n"
    "                                         导出试题（--force 覆盖已有文件）\n"
    "  exavoro-db repair 文件 [-o 目标] [--yes]  把含有不是本程序建立的触发器、视图、索引或改建过的数据表的\n"
    "                                         题库文件复制为只含本程序结构与全部数据的新文件（先列出要去掉的内容并确认）\n"
    "  exavoro-db search 文字 [--subject 科目] [--limit N]\n"
    "                                         列出题目或答案中含有这段文字的试题（科目 题型 题号 题目的第一行，\n"
    "                                         默认前 50 道）及总数；加 --server 地址 时搜索服务器上的题库\n"
    "  exavoro-db knowledge --subject 科目      列出科目的知识点（按层级缩进）及各知识点直接关联的试题数\n"
    "  exavoro-db duplicates --subject 科目 [--threshold 0.85]\n"
    "                                         列出科目中疑似重复的试题，每组一段（题型 题号 相似度 题目的第一行）；\n"
    "                                         相似度阈值在 0 与 1 之间，默认 0.85\n"
    "  选项 --file 路径 可改用其他数据库文件。\n";

// Reads a line from the terminal without echo; from a pipe it simply reads a line.
QString readSecret(const QString& prompt)
{
    err() << prompt << Qt::flush;
    termios old{};
    const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        err() << "\n" << Qt::flush;
    }
    if (!got) throw AppError(QStringLiteral("未能读取密码。"));
    return QString::fromStdString(line);
}

QString option(const QStringList& args, const QString& name)
{
    const int at = args.indexOf(name);
    if (at < 0) return QString();
    if (at + 1 >= args.size()) throw AppError(QStringLiteral("选项 %1 缺少取值。").arg(name));
    return args.at(at + 1);
}

// Progress of long work on a terminal: one line rewritten in place, cleared when done. Nothing is
// printed when standard error is not a terminal (scripts, tests).
class TerminalProgress {
public:
    explicit TerminalProgress(const QString& action) : action_(action), tty_(isatty(STDERR_FILENO)) {}
    ~TerminalProgress()
    {
        if (tty_ && shown_ >= 0) err() << "\r\033[K" << Qt::flush;
    }
    void operator()(qint64 done, qint64 total)
    {
        if (!tty_ || total <= 0) return;
        const int percent = static_cast<int>(100 * std::min(done, total) / total);
        if (percent == shown_) return;
        shown_ = percent;
        err() << QStringLiteral("\r%1…… %2%").arg(action_).arg(percent) << Qt::flush;
    }
    backup::Progress callback()
    {
        return [this](qint64 done, qint64 total) { (*this)(done, total); };
    }

private:
    QString action_;
    bool tty_;
    int shown_ = -1;
};

int runCheck(const QString& path)
{
    backup::CheckReport report;
    {
        TerminalProgress progress(QStringLiteral("正在检查题库"));
        report = backup::check(path, progress.callback());
    }
    if (report.clean()) {
        out() << QStringLiteral("题库 %1 检查通过：完整性、数据表与字段均正常，没有孤立的记录。\n").arg(path)
              << Qt::flush;
        return 0;
    }
    out() << QStringLiteral("题库 %1 有问题：\n").arg(path);
    for (const QString& line : report.damage) out() << QStringLiteral("  损坏：%1\n").arg(line);
    for (const QString& line : report.orphans) out() << QStringLiteral("  孤立记录：%1\n").arg(line);
    out() << Qt::flush;
    return 1;
}

// The value after a command's first argument (the file of "import"), empty when it is an option.
QString operand(const QStringList& args)
{
    const QString value = args.value(1);
    return value.startsWith(QLatin1String("--")) ? QString() : value;
}

int importQuestions(const QStringList& args, const QString& databasePath)
{
    const QString file = operand(args);
    if (file.isEmpty()) throw AppError(QStringLiteral("请指定要导入的文件：exavoro-db import 文件 --subject 科目"));
    const QString subject = option(args, QStringLiteral("--subject"));
    if (subject.isEmpty()) throw AppError(QStringLiteral("请用 --subject 指定导入到哪个科目。"));
    const QString type = option(args, QStringLiteral("--type"));
    const QString chapter = option(args, QStringLiteral("--chapter"));
    const QString difficulty = option(args, QStringLiteral("--difficulty"));
    const QString score = option(args, QStringLiteral("--score"));
    // The options are checked as 录入试题 checks what is typed there.
    if (!fields::scoreProblem(score).isEmpty()) throw AppError(fields::scoreProblem(score) + QStringLiteral("。"));
    if (!difficulty.isEmpty() && !fields::difficultyProblem(difficulty).isEmpty())
        throw AppError(fields::difficultyProblem(difficulty) + QStringLiteral("。"));
    const QString encodingOption = option(args, QStringLiteral("--encoding"));
    const exchange::TextEncoding encoding = encodingOption.isEmpty() ? exchange::TextEncoding::Automatic
                                                                     : exchange::encodingFromName(encodingOption);
    const bool dryRun = args.contains(QStringLiteral("--dry-run"));
    const bool create = args.contains(QStringLiteral("--create"));
    QStringList pointProblems;
    const QStringList points = exchange::pointPaths({option(args, QStringLiteral("--knowledge"))}, &pointProblems,
                                                        exchange::PointSource::Field);
    if (!pointProblems.isEmpty())
        throw AppError(QStringLiteral("--knowledge：") + pointProblems.join(QStringLiteral("；")) + QStringLiteral("。"));

    exchange::ImportedPaper paper = exchange::readDocument(QDir::current().absoluteFilePath(file), encoding);
    if (paper.questions.isEmpty()) {
        throw AppError(QStringLiteral("文件“%1”中没有找到可识别的试题，题库未改变。").arg(QFileInfo(file).fileName()));
    }
    TDM dm;
    dm.connectTo(databasePath);
    const QSqlDatabase db = dm.db();
    const QString kmh = exchange::subjectCode(db, subject);
    if (kmh.isEmpty()) throw AppError(QStringLiteral("科目“%1”不存在。").arg(subject));
    const QStringList types = exchange::typeNames(db, kmh);
    const QStringList chapters = exchange::chapterNames(db, kmh);
    if (!chapter.isEmpty() && !chapters.contains(chapter) && !create) {
        throw AppError(QStringLiteral("科目“%1”中没有章节“%2”。").arg(subject, chapter));
    }
    for (exchange::ImportedQuestion& q : paper.questions) {
        // A Moodle XML or GIFT question's type comes from its kind; --type overrides it for all of them.
        if (!q.sourceKind.isEmpty() && !type.isEmpty()) {
            q.typeName = type;
        } else {
            q.typeName = exchange::typeForSubject(q, q.typeName.isEmpty() ? type : q.typeName, types);
        }
        if (q.chapterName.isEmpty()) q.chapterName = chapter.isEmpty() ? chapters.value(0) : chapter;
        if (q.score.isEmpty()) q.score = score;
        if (!difficulty.isEmpty()) q.difficulty = difficulty;
    }
    if (dryRun) {
        for (const exchange::ImportedQuestion& q : paper.questions) {
            const QStringList warnings = exchange::rowWarnings(q, types, chapters);
            const QStringList rowPoints = exchange::pointPaths(q.knowledge + points);
            out() << QStringLiteral("第 %1 题\t%2\t%3\t%4\t%5\t%6%7\t答案：%8")
                         .arg(q.number, q.typeName, q.chapterName, q.difficulty, q.score,
                              content::shortForm(q.text).simplified().left(40),
                              warnings.isEmpty()
                                  ? QString()
                                  : QStringLiteral("\t[") + warnings.join(QStringLiteral("；")) + QStringLiteral("]"),
                              content::shortForm(q.answer).simplified().left(30))
                  << (rowPoints.isEmpty() ? QString() : QStringLiteral("\t知识点：") + rowPoints.join(QStringLiteral("，")))
                  << "\n";
        }
        for (const exchange::LooseParagraph& p : paper.loose)
            out() << QStringLiteral("未归入试题（第 %1 段）：%2\n").arg(p.paragraph).arg(p.text.left(60));
        for (const QString& reference : paper.skippedPictures)
            out() << QStringLiteral("图片未导入（只引用了本机文件或网址，不会读取）：%1\n").arg(reference.left(80));
        if (!paper.unsupported.isEmpty())
            out() << QStringLiteral("不会导入（本程序不支持的题型）：%1\n").arg(exchange::countsText(paper.unsupported));
        for (const exchange::LooseParagraph& entry : paper.unmatchedKeys)
            out() << QStringLiteral("答案没有对应的试题（第 %1 段）：%2\n").arg(entry.paragraph).arg(entry.text.left(60));
        if (!paper.encoding.isEmpty()) out() << QStringLiteral("文件编码：%1\n").arg(paper.encoding);
        out() << QStringLiteral("试运行：识别出 %1 道试题，题库未改变。\n").arg(paper.questions.size()) << Qt::flush;
        return 0;
    }
    exchange::StoreOptions options;
    options.createTypes = create;
    options.createChapters = create;
    options.knowledge = points;
    exchange::StoreSummary summary;
    sql::transaction(db,
                     [&] { summary = exchange::storeQuestions(db, kmh, paper.questions, paper.pictures, options); });
    summary.countUnstored(paper);
    out() << summary.text() << "\n";
    if (!paper.skippedPictures.isEmpty()) {
        out() << QStringLiteral("%1 张图片未导入（文件只引用了本机文件或网址，不会读取）。\n")
                     .arg(paper.skippedPictures.size());
    }
    for (const exchange::LooseParagraph& entry : paper.unmatchedKeys)
        out() << QStringLiteral("答案没有对应的试题（第 %1 段）：%2\n").arg(entry.paragraph).arg(entry.text.left(60));
    out() << Qt::flush;
    return 0;
}

// Lists the questions whose question or answer text holds a phrase: subject, type, number and
// the first line of the question, one a line, and how many there are.
int searchQuestions(const QStringList& args, const QString& databasePath, const QString& server)
{
    const QString phrase = args.value(1).trimmed();
    if (phrase.isEmpty() || args.value(1).startsWith(QLatin1String("--"))) {
        throw AppError(QStringLiteral("请指定要搜索的文字：exavoro-db search 文字 [--subject 科目] [--limit N]"));
    }
    int limit = 50;
    const QString limitText = option(args, QStringLiteral("--limit"));
    if (!limitText.isEmpty()) {
        bool ok = false;
        limit = limitText.toInt(&ok);
        if (!ok || limit < 1) throw AppError(QStringLiteral("--limit 应为正整数。"));
    }
    TDM dm;
    if (server.isEmpty()) {
        dm.connectTo(databasePath);
    } else {
        dm.connectToBank(engine::Location{QString(), server});
    }
    const QSqlDatabase db = dm.db();
    question_search::Filter filter;
    const QString subject = option(args, QStringLiteral("--subject"));
    if (!subject.isEmpty()) {
        filter.kmh = exchange::subjectCode(db, subject);
        if (filter.kmh.isEmpty()) throw AppError(QStringLiteral("科目“%1”不存在。").arg(subject));
    }
    const question_search::Result found = question_search::find(db, phrase, filter, limit);
    for (const question_search::Hit& hit : found.hits) {
        out() << QStringLiteral("%1\t%2\t%3\t%4\n").arg(hit.kmm, hit.txm, hit.th, content::firstLine(hit.tm));
    }
    out() << (found.exact ? QStringLiteral("共找到 %1 道试题").arg(found.total)
                          : QStringLiteral("找到 %1 道以上试题").arg(found.total));
    if (found.total > found.hits.size()) out() << QStringLiteral("，以上列出前 %1 道").arg(found.hits.size());
    out() << QStringLiteral("。\n") << Qt::flush;
    return 0;
}

// Prints a subject's knowledge points as an indented tree, each with the number of questions
// linked to it, and how many questions have points at all.
int listKnowledge(const QStringList& args, const QString& databasePath, const QString& server)
{
    const QString subject = option(args, QStringLiteral("--subject"));
    if (subject.isEmpty()) throw AppError(QStringLiteral("请用 --subject 指定科目。"));
    TDM dm;
    if (server.isEmpty()) {
        dm.connectTo(databasePath);
    } else {
        dm.connectToBank(engine::Location{QString(), server});
    }
    QSqlDatabase db = dm.db();
    const QString kmh = exchange::subjectCode(db, subject);
    if (kmh.isEmpty()) throw AppError(QStringLiteral("科目“%1”不存在。").arg(subject));
    const QList<knowledge::Point> points = knowledge::points(db, kmh);
    const QHash<qint64, int> counts = knowledge::questionCounts(db, kmh);
    QHash<qint64, int> depth;
    for (const knowledge::Point& p : points) {
        depth.insert(p.id, p.parent == 0 ? 0 : depth.value(p.parent) + 1);
        out() << QString(depth.value(p.id) * 2, QLatin1Char(' '))
              << QStringLiteral("%1（%2 道）\n").arg(p.name).arg(counts.value(p.id));
    }
    const QString linked = sql::scalar(db,
                                       QStringLiteral("SELECT COUNT(DISTINCT l.stid) FROM stzsd l JOIN zsdb p ON"
                                                      " p.id=l.zsdid JOIN stb s ON s.id=l.stid WHERE p.kmh=?"),
                                       {kmh});
    out() << QStringLiteral("科目“%1”共 %2 个知识点，%3 道试题关联了知识点。\n")
                 .arg(subject)
                 .arg(points.size())
                 .arg(linked.toInt())
          << Qt::flush;
    return 0;
}

// Lists the groups of similar questions of a subject, one paragraph a group.
int listDuplicates(const QStringList& args, const QString& databasePath, const QString& server)
{
    const QString subject = option(args, QStringLiteral("--subject"));
    if (subject.isEmpty()) throw AppError(QStringLiteral("请用 --subject 指定要查重的科目。"));
    double threshold = duplicates::kDefaultThreshold;
    const QString thresholdText = option(args, QStringLiteral("--threshold"));
    if (!thresholdText.isEmpty()) {
        bool ok = false;
        threshold = thresholdText.toDouble(&ok);
        if (!ok || threshold <= 0 || threshold > 1) {
            throw AppError(QStringLiteral("--threshold 应为大于 0、不大于 1 的小数，如 0.9。"));
        }
    }
    TDM dm;
    if (server.isEmpty()) {
        dm.connectTo(databasePath);
    } else {
        dm.connectToBank(engine::Location{QString(), server});
    }
    const QSqlDatabase db = dm.db();
    const QString kmh = exchange::subjectCode(db, subject);
    if (kmh.isEmpty()) throw AppError(QStringLiteral("科目“%1”不存在。").arg(subject));
    const QList<duplicates::Group> groups = duplicates::groups(db, kmh, threshold);
    int questions = 0;
    for (int g = 0; g < groups.size(); ++g) {
        out() << QStringLiteral("第 %1 组：\n").arg(g + 1);
        for (const duplicates::Match& m : groups.at(g).questions) {
            const QString type = sql::scalar(db, QStringLiteral("SELECT txm FROM txb WHERE kmh = ? AND txh = ? ORDER BY id LIMIT 1"),
                                             {kmh, m.txh});
            const QString text = sql::scalar(db, QStringLiteral("SELECT tm FROM stb WHERE id = ?"), {m.id});
            out() << QStringLiteral("  %1\t%2\t%3%\t%4\n")
                         .arg(type, m.th)
                         .arg(int(m.similarity * 100 + 1e-9))
                         .arg(content::firstLine(text));
            ++questions;
        }
    }
    out() << (groups.isEmpty() ? QStringLiteral("科目“%1”中没有疑似重复的试题。\n").arg(subject)
                               : QStringLiteral("共 %1 组，%2 道试题疑似重复。\n").arg(groups.size()).arg(questions))
          << Qt::flush;
    return 0;
}

int exportQuestions(const QStringList& args, const QString& databasePath)
{
    const QString subject = option(args, QStringLiteral("--subject"));
    const QString format = option(args, QStringLiteral("--format"));
    const QString target = option(args, QStringLiteral("-o"));
    if (subject.isEmpty()) throw AppError(QStringLiteral("请用 --subject 指定要导出的科目。"));
    if (format != QLatin1String("moodle") && format != QLatin1String("gift")) {
        throw AppError(QStringLiteral("请用 --format moodle 或 --format gift 指定导出格式。"));
    }
    if (target.isEmpty()) throw AppError(QStringLiteral("请用 -o 指定导出的文件。"));
    const QString path = QDir::current().absoluteFilePath(target);
    if (QFileInfo::exists(path) && !args.contains(QStringLiteral("--force"))) {
        throw AppError(QStringLiteral("文件“%1”已存在，不会覆盖（要覆盖请加 --force）。").arg(path));
    }
    TDM dm;
    dm.connectTo(databasePath);
    const QSqlDatabase db = dm.db();
    exchange::ExportScope scope;
    scope.kmh = exchange::subjectCode(db, subject);
    if (scope.kmh.isEmpty()) throw AppError(QStringLiteral("科目“%1”不存在。").arg(subject));
    const QString type = option(args, QStringLiteral("--type"));
    const QString chapter = option(args, QStringLiteral("--chapter"));
    if (!type.isEmpty()) {
        scope.txh =
            sql::scalar(db, QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1"),
                        {scope.kmh, type});
        if (scope.txh.isEmpty()) throw AppError(QStringLiteral("科目“%1”中没有题型“%2”。").arg(subject, type));
    }
    if (!chapter.isEmpty()) {
        scope.zjh =
            sql::scalar(db, QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjm=? ORDER BY id DESC LIMIT 1"),
                        {scope.kmh, chapter});
        if (scope.zjh.isEmpty()) throw AppError(QStringLiteral("科目“%1”中没有章节“%2”。").arg(subject, chapter));
    }
    exchange::ExportReport report;
    const QByteArray data = format == QLatin1String("moodle") ? exchange::exportMoodleXml(db, scope, &report)
                                                              : exchange::exportGift(db, scope, &report);
    // Written whole or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        throw AppError(QStringLiteral("无法写入文件“%1”：%2").arg(path, file.errorString()));
    }
    out() << QStringLiteral("已导出 %1 道试题到 %2\n").arg(report.count).arg(path);
    if (report.count > 0) out() << QStringLiteral("题型：%1\n").arg(report.types.summary());
    for (const QString& warning : report.warnings) out() << QStringLiteral("注意：%1\n").arg(warning);
    out() << Qt::flush;
    return 0;
}

// A file's path is taken from the current folder; a server's URI as it is.
QString bankArgument(const QString& value)
{
    return engine::isServerUri(value) ? value : QDir::current().absoluteFilePath(value);
}

// An administrator's connection to a server bank, closed when it goes.
class AdminConnection {
public:
    explicit AdminConnection(const QString& uri) : db_(engine::openServer(QStringLiteral("exavoro-admin"), uri)) {}
    ~AdminConnection()
    {
        engine::closeConnection(db_);
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("exavoro-admin"));
    }
    QSqlDatabase& db() { return db_; }

private:
    QSqlDatabase db_;
};

void tellUsersWithoutPassword(const QString& uri, const QStringList& names)
{
    if (names.isEmpty()) return;
    out() << QStringLiteral("服务器不保留密码散列，以下用户还没有密码，请逐个设置：\n");
    for (const QString& name : names) {
        out() << QStringLiteral("  exavoro-db password --server %1 --user %2\n").arg(engine::describeServer(uri), name);
    }
    out() << Qt::flush;
}

int upgradeServer(const QString& uri)
{
    AdminConnection admin(uri);
    if (engine::schemaVersion(admin.db()) == 0) {
        throw AppError(QStringLiteral("数据库服务器上的数据库“%1”中还没有题库。").arg(engine::describeServer(uri)));
    }
    QStringList adopted;
    sql::transaction(admin.db(), [&] {
        server_roles::setUp(admin.db());
        adopted = server_roles::adoptUsers(admin.db());
    });
    out() << QStringLiteral("已为题库 %1 建立用户角色与各级权限。\n").arg(engine::describeServer(uri)) << Qt::flush;
    tellUsersWithoutPassword(uri, adopted);
    return 0;
}

int setPassword(const QStringList& args, const QString& path, const QString& server)
{
    const QString user = option(args, QStringLiteral("--user"));
    if (user.isEmpty()) throw AppError(QStringLiteral("请用 --user 指定用户名。"));
    const QString first = readSecret(QStringLiteral("请输入 %1 的新密码：").arg(user));
    const QString second = readSecret(QStringLiteral("请再次输入密码："));
    if (first != second) throw AppError(QStringLiteral("两次输入的密码不一致。"));
    if (first.size() > 10) throw AppError(QStringLiteral("密码最多 10 个字符（登录窗口只接受 10 个字符）。"));
    if (!server.isEmpty()) {
        if (first.isEmpty()) throw AppError(QStringLiteral("服务器上的用户必须设置密码。"));
        AdminConnection admin(server);
        server_roles::setPassword(admin.db(), user, first);
        out() << QStringLiteral("已设置服务器上用户 %1 的密码。\n").arg(user) << Qt::flush;
        return 0;
    }
    if (!QFileInfo::exists(path)) throw AppError(QStringLiteral("数据库文件“%1”不存在。").arg(path));
    const QString connection = QStringLiteral("exavoro-password");
    int changed = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) throw AppError(QStringLiteral("无法打开数据库文件“%1”。").arg(path));
        try {
            changed = sql::run(db, QStringLiteral("UPDATE mmb SET mm=? WHERE yhm=?"), {passwords::hash(first), user})
                          .numRowsAffected();
        } catch (...) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            throw;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (changed == 0) throw AppError(QStringLiteral("题库中没有用户“%1”。").arg(user));
    out() << QStringLiteral("已设置用户 %1 的密码。\n").arg(user) << Qt::flush;
    return 0;
}

int copyBank(const QStringList& args)
{
    const QString from = option(args, QStringLiteral("--from"));
    const QString to = option(args, QStringLiteral("--to"));
    if (from.isEmpty() || to.isEmpty()) {
        throw AppError(QStringLiteral("请用 --from 与 --to 指定来源与目标（题库文件或 postgresql:// 地址）。"));
    }
    bank_copy::Report report;
    {
        TerminalProgress progress(QStringLiteral("正在复制题库"));
        report = bank_copy::copy(bankArgument(from), bankArgument(to), progress.callback());
    }
    const auto name = [](const QString& value) {
        return engine::isServerUri(value) ? engine::describeServer(value) : QDir::current().absoluteFilePath(value);
    };
    out() << QStringLiteral("已把题库 %1 复制到 %2，共 %3 行，各表行数与校验和一致：\n").arg(name(from), name(to)).arg(report.rows);
    for (const QString& line : report.tables) out() << QStringLiteral("  %1\n").arg(line);
    out() << QStringLiteral("校验和（SHA-256）：%1\n").arg(report.checksum) << Qt::flush;
    if (engine::isServerUri(to)) {
        // The users came as roles without passwords; their hashes stayed behind.
        AdminConnection admin(to);
        tellUsersWithoutPassword(to, sql::column(admin.db(), QStringLiteral("SELECT yhm FROM mmb ORDER BY id")));
    } else if (engine::isServerUri(from)) {
        out() << QStringLiteral("服务器上的密码没有复制到文件中：请用 exavoro-db password --file %1 --user 用户名 为用户设置密码。\n")
                     .arg(QDir::current().absoluteFilePath(to))
              << Qt::flush;
    }
    return 0;
}

// A copy of a bank file without what this program did not create, after the user has seen the list.
int repairBank(const QStringList& args)
{
    const QString file = args.value(1);
    if (file.isEmpty() || file.startsWith(QLatin1String("-"))) throw AppError(QStringLiteral("请指定要修复的题库文件。"));
    const QString from = QDir::current().absoluteFilePath(file);
    if (!QFileInfo(from).isFile()) throw AppError(QStringLiteral("文件“%1”不存在。").arg(from));
    QString to = option(args, QStringLiteral("-o"));
    if (to.isEmpty()) {
        const QFileInfo info(from);
        to = info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-repaired.db"));
        for (int n = 2; QFileInfo::exists(to); ++n) {
            to = info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-repaired-%1.db").arg(n));
        }
    }
    to = QDir::current().absoluteFilePath(to);
    if (QFileInfo::exists(to)) throw AppError(QStringLiteral("文件“%1”已存在，不会覆盖。").arg(to));
    const QStringList foreign = bank_copy::foreignObjectsOf(from);
    if (foreign.isEmpty()) {
        out() << QStringLiteral("“%1”中没有不是本程序建立的内容，不需要修复。\n").arg(from) << Qt::flush;
        return 0;
    }
    out() << QStringLiteral("“%1”含有下列不是本程序建立的内容，修复后的副本中不会有它们：\n").arg(from);
    for (const QString& line : foreign) out() << QStringLiteral("  %1\n").arg(line);
    out() << Qt::flush;
    if (!args.contains(QStringLiteral("--yes"))) {
        err() << QStringLiteral("写入修复后的副本“%1”吗？（输入 y 确认）").arg(to) << Qt::flush;
        QTextStream in(stdin);
        const QString answer = in.readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes") && answer != QStringLiteral("是")) {
            out() << QStringLiteral("没有修复，什么也没有改变。\n") << Qt::flush;
            return 1;
        }
    }
    bank_copy::Report report;
    {
        TerminalProgress progress(QStringLiteral("正在写入修复后的副本"));
        report = bank_copy::copy(from, to, progress.callback(), true);
    }
    out() << QStringLiteral("已写入修复后的副本“%1”，共 %2 行；原来的文件没有改变。\n").arg(to).arg(report.rows)
          << Qt::flush;
    return 0;
}

// A share of the paper's total given in percent on the command line ("60" for 60 %).
double shareOption(const QStringList& args, const QString& name, double fallback)
{
    const QString text = option(args, name);
    if (text.isEmpty()) return fallback;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value > 0) || value > 100) {
        throw AppError(QStringLiteral("%1 应为 0 到 100 之间的百分数，如 60。").arg(name));
    }
    return value / 100;
}

int analyseScores(const QStringList& args, const QString& databasePath, const QString& server)
{
    AnalyseRequest request;
    const QString paper = option(args, QStringLiteral("--paper"));
    bool ok = false;
    request.paperId = paper.toLongLong(&ok);
    if (!paper.isEmpty() && (!ok || request.paperId < 1)) {
        throw AppError(QStringLiteral("--paper 应为试卷库中试卷的编号（正整数）。"));
    }
    if (paper.isEmpty()) request.paperId = -1;
    request.sheet = option(args, QStringLiteral("--sheet"));
    request.scores = option(args, QStringLiteral("--scores"));
    request.report = option(args, QStringLiteral("-o"));
    request.force = args.contains(QStringLiteral("--force"));
    request.store = args.contains(QStringLiteral("--store"));
    request.heldOn = option(args, QStringLiteral("--date"));
    if (!request.heldOn.isEmpty() && !QDate::fromString(request.heldOn, QStringLiteral("yyyy-MM-dd")).isValid()) {
        throw AppError(QStringLiteral("--date 应为形如 2026-12-01 的日期。"));
    }
    request.group = option(args, QStringLiteral("--class"));
    request.passShare = shareOption(args, QStringLiteral("--pass"), 0.6);
    request.excellentShare = shareOption(args, QStringLiteral("--excellent"), 0.85);
    TDM dm;
    if (server.isEmpty()) {
        dm.connectTo(databasePath);
    } else {
        dm.connectToBank(engine::Location{QString(), server});
    }
    return analyseCommand(dm.db(), request, out(), err());
}

}  // namespace

int runDbTool(const QStringList& arguments)
{
    const QStringList args = arguments.mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        (args.isEmpty() ? err() : out()) << QString::fromUtf8(kUsage) << Qt::flush;
        return args.isEmpty() ? 2 : 0;
    }
    try {
        QString path = option(args, QStringLiteral("--file"));
        path = path.isEmpty() ? TDM::defaultDatabasePath() : QDir::current().absoluteFilePath(path);
        const QString command = args.first();
        // A server in place of the file: the bank is made in that (empty) database.
        const QString server = option(args, QStringLiteral("--server"));
        if (!server.isEmpty() && !engine::isServerUri(server)) {
            throw AppError(QStringLiteral("数据库服务器地址“%1”无效：应为 postgresql://用户@主机:端口/数据库名 的形式。")
                               .arg(engine::describeServer(server)));
        }
        const QString target = server.isEmpty() ? path : server;
        const QString targetName = server.isEmpty() ? path : engine::describeServer(server);
        if (!server.isEmpty() && command != QLatin1String("init") && command != QLatin1String("demo") &&
            command != QLatin1String("upgrade") && command != QLatin1String("password") &&
            command != QLatin1String("search") && command != QLatin1String("knowledge") &&
            command != QLatin1String("duplicates") && command != QLatin1String("analyse")) {
            throw AppError(QStringLiteral("命令 %1 只能用于题库文件；服务器上的题库请用 copy 复制到文件，或用 PostgreSQL 的 pg_dump 备份。")
                               .arg(command));
        }
        if (command == QLatin1String("init")) {
            const QString admin = option(args, QStringLiteral("--admin"));
            if (admin.isEmpty()) throw AppError(QStringLiteral("请用 --admin 指定超级用户的用户名。"));
            if (admin.size() > 20) throw AppError(QStringLiteral("用户名最多 20 个字符。"));
            if (server.isEmpty() && QFileInfo::exists(path)) {
                throw AppError(QStringLiteral("数据库文件“%1”已存在，不会覆盖。").arg(path));
            }
            const QString first = readSecret(QStringLiteral("请输入 %1 的密码：").arg(admin));
            const QString second = readSecret(QStringLiteral("请再次输入密码："));
            if (first != second) throw AppError(QStringLiteral("两次输入的密码不一致。"));
            if (first.size() > 10) throw AppError(QStringLiteral("密码最多 10 个字符（登录窗口只接受 10 个字符）。"));
            demo::createDatabase(target, {{admin, first, 3}});
            out() << QStringLiteral("已创建数据库 %1，超级用户：%2\n").arg(targetName, admin) << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("demo")) {
            demo::createDemoDatabase(target);
            out() << QStringLiteral("已创建示例数据库 %1\n示例账户（用户名 / 密码 / 权限）：\n").arg(targetName);
            for (const demo::Account& a : demo::accounts()) {
                out() << QStringLiteral("  %1 / %2 / %3\n").arg(a.name, a.password, demo::levelDescription(a.level));
            }
            out() << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("generate")) {
            bool ok = false;
            const int n = option(args, QStringLiteral("--questions")).toInt(&ok);
            if (!ok || n < 0) throw AppError(QStringLiteral("请用 --questions N 指定试题数量（非负整数）。"));
            {
                TerminalProgress progress(QStringLiteral("正在生成题库"));
                demo::createGeneratedDatabase(path, n, 1, progress.callback());
            }
            out() << QStringLiteral("已创建含 %1 道试题的数据库 %2\n").arg(n).arg(path) << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("backup")) {
            QString copy = option(args, QStringLiteral("-o"));
            copy = copy.isEmpty() ? backup::defaultBackupPath(path) : QDir::current().absoluteFilePath(copy);
            {
                TerminalProgress progress(QStringLiteral("正在备份题库"));
                backup::backupTo(path, copy, progress.callback());
            }
            out() << QStringLiteral("已备份题库 %1 到 %2\n").arg(path, copy) << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("restore")) {
            const QString file = args.value(1);
            if (file.isEmpty() || file.startsWith(QLatin1Char('-'))) {
                throw AppError(QStringLiteral("请指定用来恢复的备份文件：exavoro-db restore 文件"));
            }
            QString kept;
            {
                TerminalProgress progress(QStringLiteral("正在恢复题库"));
                kept = backup::restore(path, QDir::current().absoluteFilePath(file), progress.callback());
            }
            out() << QStringLiteral("已用 %1 恢复题库 %2\n").arg(QDir::current().absoluteFilePath(file), path);
            if (!kept.isEmpty()) out() << QStringLiteral("原来的题库保留为 %1\n").arg(kept);
            out() << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("upgrade")) {
            if (server.isEmpty()) throw AppError(QStringLiteral("请用 --server 指定数据库服务器上的题库。"));
            return upgradeServer(server);
        }
        if (command == QLatin1String("password")) return setPassword(args, path, server);
        if (command == QLatin1String("copy")) return copyBank(args);
        if (command == QLatin1String("repair")) return repairBank(args);
        if (command == QLatin1String("check")) return runCheck(path);
        if (command == QLatin1String("import")) return importQuestions(args, path);
        if (command == QLatin1String("export")) return exportQuestions(args, path);
        if (command == QLatin1String("search")) return searchQuestions(args, path, server);
        if (command == QLatin1String("knowledge")) return listKnowledge(args, path, server);
        if (command == QLatin1String("duplicates")) return listDuplicates(args, path, server);
        if (command == QLatin1String("analyse")) return analyseScores(args, path, server);
        err() << QStringLiteral("未知命令：%1\n").arg(command) << QString::fromUtf8(kUsage) << Qt::flush;
        return 2;
    } catch (const AppError& e) {
        err() << QStringLiteral("错误：%1\n").arg(QString(e.text()).replace(QLatin1Char('\n'), QLatin1Char(' ')))
              << Qt::flush;
        return 1;
    }
}
