#include "demo/demo.h"

#include "content/content.h"
#include "data/convert.h"
#include "demo/demo_content.h"
#include "demo/demo_papers.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/passwords.h"
#include "data/question_fields.h"
#include "data/schema.h"
#include "data/server_roles.h"
#include "data/sql.h"

#include <algorithm>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSqlError>
#include <QSqlQuery>
#include <QFileInfo>
#include <QUuid>

namespace demo {

QVector<Account> accounts()
{
    return {{QStringLiteral("admin"), QStringLiteral("admin123"), 3},
            {QStringLiteral("teacher"), QStringLiteral("teacher1"), 1},
            {QStringLiteral("office"), QStringLiteral("office1"), 2}};
}

QString levelDescription(int level)
{
    switch (level) {
        case 1:
            return QStringLiteral("题库管理用户");
        case 2:
            return QStringLiteral("试卷管理用户");
        case 3:
            return QStringLiteral("超级用户");
        default:
            return QString();
    }
}

namespace {

// Builds a bank in an empty database on a server: the tables and their contents in one transaction,
// so that a failure leaves the database as empty as it was.
template <typename F>
void buildOnServer(const QString& uri, F&& fill)
{
    const QString connection = QStringLiteral("exavoro-build");
    auto finish = [&] {
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            engine::closeConnection(db);
        }
        QSqlDatabase::removeDatabase(connection);
    };
    try {
        QSqlDatabase db = engine::openServer(connection, uri);
        if (engine::schemaVersion(db) != 0 || engine::tables(db).contains(QStringLiteral("stb"))) {
            throw AppError(QStringLiteral("数据库服务器上的数据库“%1”中已有题库，不会覆盖。").arg(engine::describeServer(uri)));
        }
        sql::transaction(db, [&] {
            schema::create(db);
            // The levels are the server's own: group roles with their rights, a login role per user.
            server_roles::setUp(db);
            fill(db);
            // Users that came with their rows (a copied bank) get their roles here, without a
            // password, and mmb loses the hashes.
            server_roles::adoptUsers(db);
        });
        // A bank filled at once has no statistics for the planner and no pages marked all-visible
        // yet, so its first queries would plan blindly and read every row from the table; the
        // server's background vacuum comes later. Its rows are committed whatever this does.
        // Only the bank's own tables: a VACUUM of the whole database also names the system's
        // tables, and a role that is not a superuser gets a warning for each of them.
        try {
            QStringList tables;
            for (QString table : engine::tables(db)) {
                tables << QLatin1Char('"') + table.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
            }
            if (!tables.isEmpty()) sql::run(db, QStringLiteral("VACUUM (ANALYZE) ") + tables.join(QStringLiteral(", ")));
        } catch (const DataError&) {
            // Left to the server's background vacuum.
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

// Builds a database in a temporary file next to `path` and renames it into place when `fill`
// has finished, so that a failure never leaves a half-written database behind. A server's URI in
// place of the path builds the bank on the server.
template <typename F>
void buildFile(const QString& path, F&& fill)
{
    if (engine::isServerUri(path)) {
        buildOnServer(path, std::forward<F>(fill));
        return;
    }
    if (QFileInfo::exists(path)) {
        throw AppError(QStringLiteral("数据库文件“%1”已存在，不会覆盖。").arg(path));
    }
    const QString temp = path + QStringLiteral(".part");
    QFile::remove(temp);
    const QString connection = QStringLiteral("exavoro-build");
    try {
        {
            QSqlDatabase db = schema::createFile(temp, connection);
            sql::transaction(db, [&] {
                fill(db);
                // Users copied from a server come without a password (the server kept it): an
                // empty one would let anyone in, so they get one nobody knows until it is set
                // with exavoro-db password.
                if (sql::scalar(db, QStringLiteral("SELECT count(*) FROM mmb WHERE mm IS NULL")).toInt() > 0) {
                    const QByteArray random = QUuid::createUuid().toByteArray() + QUuid::createUuid().toByteArray();
                    sql::run(db, QStringLiteral("UPDATE mmb SET mm=? WHERE mm IS NULL"),
                             {passwords::hash(QString::fromLatin1(random.toHex()))});
                }
            });
            sql::releaseStatements(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    } catch (...) {
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            sql::releaseStatements(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        QFile::remove(temp);
        throw;
    }
    if (QFileInfo::exists(path) || !QFile::rename(temp, path)) {
        QFile::remove(temp);
        throw AppError(QStringLiteral("无法创建数据库文件“%1”。").arg(path));
    }
}

void insertUsers(QSqlDatabase& db, const QVector<Account>& users)
{
    if (engine::isServer(db)) {
        // On a server each user is a login role; PostgreSQL keeps the password.
        for (const Account& a : users) server_roles::addUser(db, a.name, a.password, a.level);
        return;
    }
    for (const Account& a : users) {
        sql::run(db, QStringLiteral("INSERT INTO mmb (yhm, mm, qx, bz) VALUES (?,?,?,?)"),
                 {a.name, passwords::hash(a.password), QString::number(a.level), levelDescription(a.level)});
    }
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Triangle ABC with its height from C, drawn with lines only (the command-line tool has no fonts).
QByteArray trianglePicture()
{
    QImage image(360, 240, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    const QPointF a(30, 210), b(330, 210), c(120, 30);
    p.drawPolygon(QPolygonF({a, b, c}));
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    p.drawLine(c, QPointF(120, 210));
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(QRectF(120, 198, 12, 12));  // the right angle at the foot of the height
    return pngBytes(image);
}

// The graph of y = x² − 2x − 3 with its axes, from x = −2 to 4.
QByteArray graphPicture()
{
    QImage image(320, 320, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const auto at = [](double x, double y) { return QPointF(100 + x * 40, 200 - y * 25); };
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(at(-2.4, 0), at(5, 0));
    p.drawLine(at(0, -4.6), at(0, 4.6));
    for (int x = -2; x <= 4; ++x) p.drawLine(at(x, 0) + QPointF(0, -3), at(x, 0) + QPointF(0, 3));
    for (int y = -4; y <= 4; ++y) p.drawLine(at(0, y) + QPointF(-3, 0), at(0, y) + QPointF(3, 0));
    QPainterPath curve(at(-1.9, 1.9 * 1.9 + 3.8 - 3));
    for (int i = -19; i <= 39; ++i) {
        const double x = i / 10.0;
        curve.lineTo(at(x, x * x - 2 * x - 3));
    }
    p.setPen(QPen(Qt::blue, 2));
    p.drawPath(curve);
    return pngBytes(image);
}

// Questions of the mathematics bank with formulas and pictures: they show a newcomer at once
// how formulas and figures print.
void addFormulaQuestions(QSqlDatabase& db, DemoSubject& subject)
{
    const QString triangle = content::storePicture(db, trianglePicture());
    const QString graph = content::storePicture(db, graphPicture());
    const QString type0 = subject.types.value(0), type1 = subject.types.value(1), type3 = subject.types.value(3);
    const QString equations = subject.chapters.value(2), geometry = subject.chapters.value(3);
    subject.questions.append(
        {type3, equations, QStringLiteral("中等"), QStringLiteral("10"),
         QStringLiteral("用求根公式解方程 \\(x^2-2x-3=0\\)。"),
         QStringLiteral("一元二次方程 \\(ax^2+bx+c=0\\) 的求根公式为\n"
                        "\\[x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}\\]\n"
                        "这里 \\(a=1,\\ b=-2,\\ c=-3\\)，\\(b^2-4ac=16\\)，所以 \\(x_1=3\\)，\\(x_2=-1\\)。")});
    subject.questions.append({type1, equations, QStringLiteral("较易"), QStringLiteral("4"),
                              QStringLiteral("计算：\\(\\frac{1}{2}+\\frac{1}{3}=\\)________。"),
                              QStringLiteral("\\(\\frac{5}{6}\\)。通分：\\(\\frac{3}{6}+\\frac{2}{6}=\\frac{5}{6}\\)。")});
    subject.questions.append({type1, equations, QStringLiteral("中等"), QStringLiteral("4"),
                              QStringLiteral("化简：\\(\\sqrt{12}+\\sqrt{27}=\\)________。"),
                              QStringLiteral("\\(5\\sqrt{3}\\)。\\(\\sqrt{12}=2\\sqrt{3}\\)，\\(\\sqrt{27}=3\\sqrt{3}\\)。")});
    subject.questions.append({type3, equations, QStringLiteral("较难"), QStringLiteral("8"),
                              QStringLiteral("计算定积分：\n\\[\\int_0^1 \\left(3x^2+2x\\right)\\,dx\\]"),
                              QStringLiteral("\\[\\int_0^1 \\left(3x^2+2x\\right)\\,dx=\\left.\\left(x^3+x^2\\right)\\right|_0^1=2\\]")});
    subject.questions.append({type0, geometry, QStringLiteral("中等"), QStringLiteral("3"),
                              QStringLiteral("如图所示，在 △ABC 中，CD ⊥ AB 于点 D，AB = 10，CD = 6，则 △ABC 的面积为（  ）\n%1\n"
                                             "A. 30    B. 60    C. 16    D. 32")
                                  .arg(content::pictureMarker(triangle)),
                              QStringLiteral("A。\\(S=\\frac{1}{2}\\times AB\\times CD=\\frac{1}{2}\\times10\\times6=30\\)。")});
    subject.questions.append({type1, equations, QStringLiteral("较难"), QStringLiteral("4"),
                              QStringLiteral("函数 \\(y=x^2-2x-3\\) 的图象如图所示，它与 x 轴交点的横坐标为________。\n%1")
                                  .arg(content::pictureMarker(graph)),
                              QStringLiteral("\\(-1\\) 和 \\(3\\)。令 \\(y=0\\)，得 \\((x+1)(x-3)=0\\)。")});
}

}  // namespace

void buildBank(const QString& target, const std::function<void(QSqlDatabase&)>& fill)
{
    buildFile(target, fill);
}

void createDatabase(const QString& path, const QVector<Account>& users)
{
    buildFile(path, [&](QSqlDatabase& db) { insertUsers(db, users); });
}

void createDemoDatabase(const QString& path)
{
    buildFile(path, [&](QSqlDatabase& db) {
        insertUsers(db, accounts());
        QVector<DemoSubject> subjects = demoSubjects();
        for (DemoSubject& subject : subjects) {
            if (subject.name == QStringLiteral("数学")) addFormulaQuestions(db, subject);
        }
        const QString now = fields::timeOfDay();
        for (int s = 0; s < subjects.size(); ++s) {
            const DemoSubject& subject = subjects[s];
            const QString kmh = convert::nextCode(QString::number(s), 2);
            sql::run(db, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES (?,?)"), {kmh, subject.name});
            for (int t = 0; t < subject.types.size(); ++t) {
                sql::run(db, QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES (?,?,?,'0')"),
                         {kmh, convert::nextCode(QString::number(t), 2), subject.types[t]});
            }
            for (int c = 0; c < subject.chapters.size(); ++c) {
                sql::run(db, QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES (?,?,?,'0')"),
                         {kmh, convert::nextCode(QString::number(c), 2), subject.chapters[c]});
            }
            QVector<int> numbers(subject.types.size(), 0);
            for (const DemoQuestion& q : subject.questions) {
                const int t = subject.types.indexOf(q.type);
                const int c = subject.chapters.indexOf(q.chapter);
                if (t < 0 || c < 0) continue;
                const QString th = convert::nextCode(QString::number(numbers[t]++), 3);
                sql::run(db,
                         QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                                        "VALUES (?,?,?,?,?,?,?,?,?,?)"),
                         {kmh, convert::nextCode(QString::number(t), 2), th, convert::nextCode(QString::number(c), 2),
                          q.difficulty, q.score, q.question, q.answer, now, QString()});
            }
        }
        addDemoPapers(db);
    });
}

}  // namespace demo

namespace demo {

namespace {
// A small deterministic generator for the synthetic bank (not the paper draw generator).
struct Lcg {
    quint64 state;
    quint32 next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<quint32>(state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<quint32>(n)); }
};

QString chineseText(Lcg& rng, int length)
{
    static const QString pool = QStringLiteral(
        "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多"
        "定"
        "行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由"
        "其些"
        "然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建"
        "月公"
        "无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知"
        "较将"
        "组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志"
        "世金"
        "增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗"
        "完类"
        "八离华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际"
        "商非");
    QString text;
    text.reserve(length + 8);
    int sinceMark = 0;
    while (text.size() < length) {
        text += pool.at(rng.below(static_cast<int>(pool.size())));
        if (++sinceMark > 8 + rng.below(12)) {
            text += rng.below(4) == 0 ? QStringLiteral("。") : QStringLiteral("，");
            sinceMark = 0;
        }
    }
    text.truncate(length - 1);
    text += QStringLiteral("。");
    return text;
}
}  // namespace

void createGeneratedDatabase(const QString& path, int questions, unsigned seed,
                             const std::function<void(qint64, qint64)>& progress)
{
    createGeneratedDatabase(path, GeneratedShape{questions, 0, 0}, seed, progress);
}

void createGeneratedDatabase(const QString& path, const GeneratedShape& shape, unsigned seed,
                             const std::function<void(qint64, qint64)>& progress)
{
    const int questions = shape.questions;
    static const QString difficulties[] = {QStringLiteral("易"), QStringLiteral("较易"), QStringLiteral("中等"),
                                           QStringLiteral("较难"), QStringLiteral("难")};
    constexpr int kSubjects = 10, kTypes = 8, kChapters = 20;
    buildFile(path, [&](QSqlDatabase& db) {
        insertUsers(db, accounts());
        for (int s = 0; s < kSubjects; ++s) {
            const QString kmh = convert::nextCode(QString::number(s), 2);
            sql::run(db, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES (?,?)"),
                     {kmh, QStringLiteral("科目%1").arg(s + 1)});
            for (int t = 0; t < kTypes; ++t) {
                sql::run(db, QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES (?,?,?,'0')"),
                         {kmh, convert::nextCode(QString::number(t), 2), QStringLiteral("题型%1").arg(t + 1)});
            }
            for (int c = 0; c < kChapters; ++c) {
                sql::run(db, QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES (?,?,?,'0')"),
                         {kmh, convert::nextCode(QString::number(c), 2), QStringLiteral("第%1章").arg(c + 1)});
            }
        }
        // The first type of the first subject holds up to 5,000 questions and its second type up
        // to 2,000, so that the large cases can be measured; the rest is spread over every type.
        // A bank of a million questions or more gives them a tenth and a fiftieth of the bank (a
        // type of 100,000 and one of 20,000 in a bank of 1,000,000), and the first type's
        // questions go round the 20 chapters in turn: ticking chapters 1 to 10 then makes exactly
        // half of that type the candidates (50,000 of the 100,000).
        const bool large = questions >= kLargeBank || shape.firstType > 0;
        const int firstType =
            shape.firstType > 0 ? std::min(shape.firstType, questions) : questions >= kLargeBank ? questions / 10 : 5000;
        const int firstTwo = firstType + (questions >= kLargeBank ? questions / 50 : 2000);
        QVector<int> numbers(kSubjects * kTypes, 0);
        Lcg rng{seed};
        auto textLength = [&] { return shape.textLength > 0 ? shape.textLength : 100 + rng.below(501); };
        // On a bank file the search index is filled in one go after the rows rather than row by
        // row by its triggers: the same index, made several times faster. The triggers come back
        // with it, inside the same transaction.
        const bool indexAfter = !engine::isServer(db);
        if (indexAfter) {
            for (const char* trigger : {"stb_search_insert", "stb_search_delete", "stb_search_update"})
                sql::run(db, QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(QLatin1String(trigger)));
        }
        QSqlQuery insert(db);
        if (!insert.prepare(QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                                           "VALUES (?,?,?,?,?,?,?,?,?,?)"))) {
            throw DataError(insert.lastError().text());
        }
        for (int i = 0; i < questions; ++i) {
            int s = 0, t = 0;
            if (i < firstType) {
                t = 0;
            } else if (i < firstTwo) {
                t = 1;
            } else {
                // Round-robin over the other 78 pairs of subject and type.
                const int pair = 2 + (i - firstTwo) % (kSubjects * kTypes - 2);
                s = pair / kTypes;
                t = pair % kTypes;
            }
            const int pair = s * kTypes + t;
            const int number = numbers[pair]++;
            int chapter = rng.below(kChapters);  // drawn in any case, so that the other values stay the same
            if (large && pair == 0) chapter = number % kChapters;
            const QVariantList values = {convert::nextCode(QString::number(s), 2),
                                         convert::nextCode(QString::number(t), 2),
                                         convert::nextCode(QString::number(number), 3),
                                         convert::nextCode(QString::number(chapter), 2),
                                         difficulties[rng.below(5)],
                                         QString::number(1 + rng.below(10)),
                                         chineseText(rng, textLength()),
                                         chineseText(rng, textLength()),
                                         QStringLiteral("%1:%2:%3")
                                             .arg(8 + rng.below(10))
                                             .arg(rng.below(60), 2, 10, QLatin1Char('0'))
                                             .arg(rng.below(60), 2, 10, QLatin1Char('0')),
                                         QString()};
            for (int v = 0; v < values.size(); ++v) insert.bindValue(v, values[v]);
            if (!insert.exec()) throw DataError(insert.lastError().text());
            if (progress && (i + 1) % 1000 == 0) progress(i + 1, questions);
        }
        insert.finish();
        if (indexAfter) {
            for (const QString& statement : engine::searchIndexStatements(db)) sql::run(db, statement);
        }
        if (progress) progress(questions, questions);
    });
}

}  // namespace demo
