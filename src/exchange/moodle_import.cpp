#include "exchange/moodle.h"

#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include "content/content.h"
#include "data/errors.h"
#include "data/picture_refs.h"
#include "exchange/moodle_common.h"

// Reading Moodle XML and GIFT into imported questions.
namespace exchange {

namespace {

using namespace moodle_common;

// The placement text (picture_refs.h) an <img> tag's style asks for; empty when it gives no width
// in cm or % and does not float right, or gives a width the bank would not accept.
QString placementOfImage(const QString& tag)
{
    static const QRegularExpression width(QStringLiteral("\\bwidth\\s*:\\s*([0-9.]+)\\s*(cm|%)"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression floating(QStringLiteral("\\bfloat\\s*:\\s*right"),
                                             QRegularExpression::CaseInsensitiveOption);
    QStringList parts;
    const auto sized = width.match(tag);
    if (sized.hasMatch()) parts << sized.captured(1) + sized.captured(2).toLower();
    if (floating.match(tag).hasMatch()) parts << picture_refs::kRight;
    picture_refs::Placement placement;
    if (!picture_refs::readPlacement(parts.join(u'|'), &placement).isEmpty()) return QString();
    return picture_refs::placementText(placement);
}

QString decodeEntities(QString text)
{
    static const QRegularExpression numeric(QStringLiteral("&#(x?)([0-9a-fA-F]+);"));
    QString out;
    qsizetype last = 0;
    for (auto it = numeric.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        bool ok = false;
        const uint code = m.captured(2).toUInt(&ok, m.captured(1).isEmpty() ? 10 : 16);
        if (ok) out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    out.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    out.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    out.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    out.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    out.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    out.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return out;
}

// HTML from a platform back into a content-model text; pictures come from the embedded files (or
// data URIs) and are held by hash in `pictures`.
QString fromHtml(QString html, const QHash<QString, QByteArray>& files, QHash<QString, QByteArray>* pictures,
                 QStringList* warnings)
{
    static const QRegularExpression image(QStringLiteral("<img\\b[^>]*\\bsrc\\s*=\\s*\"([^\"]*)\"[^>]*>"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>|</p>\\s*<p[^>]*>|</div>\\s*<div[^>]*>"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression displayDollars(QStringLiteral("\\$\\$(.+?)\\$\\$"));
    html.replace(lineBreak, QStringLiteral("\n"));
    QString out;
    qsizetype last = 0;
    for (auto it = image.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(html).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString src = decodeEntities(m.captured(1));
        QByteArray bytes;
        if (src.startsWith(QLatin1String("@@PLUGINFILE@@/"))) {
            bytes = files.value(QUrl::fromPercentEncoding(src.mid(15).toUtf8()));
        } else if (src.startsWith(QLatin1String("data:")) && src.contains(QLatin1String(";base64,"))) {
            bytes = QByteArray::fromBase64(src.section(QLatin1Char(','), 1).toLatin1());
        }
        try {
            const content::StoredPicture picture = content::examinePicture(bytes);
            const QString& hash = picture.hash;
            if (!pictures->contains(hash)) pictures->insert(hash, picture.data);
            out += content::pictureMarker(hash, placementOfImage(m.captured(0)));
        } catch (const AppError&) {
            out += QStringLiteral("[图片无法读取]");
            if (!warnings->contains(QStringLiteral("有图片无法读取")))
                warnings->append(QStringLiteral("有图片无法读取"));
        }
    }
    out += QStringView(html).mid(last);
    out.remove(tag);
    out = decodeEntities(out);
    out.replace(displayDollars, QStringLiteral("\\[\\1\\]"));
    return out.trimmed();
}

QString cleanScore(const QString& grade)
{
    bool ok = false;
    const double value = grade.toDouble(&ok);
    if (!ok || value <= 0) return QString();
    return QString::number(value, 'g', 15);
}

// Category path below "top": subject, type, chapter (Moodle doubles a "/" inside a name).
QStringList categoryParts(const QString& path)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path.at(i) == QLatin1Char('/')) {
            if (i + 1 < path.size() && path.at(i + 1) == QLatin1Char('/')) {
                current += QLatin1Char('/');
                ++i;
            } else {
                parts << current.trimmed();
                current.clear();
            }
        } else {
            current += path.at(i);
        }
    }
    parts << current.trimmed();
    parts.removeAll(QString());
    if (!parts.isEmpty() && parts.first().startsWith(QLatin1Char('$'))) parts.removeFirst();
    if (!parts.isEmpty() && parts.first() == QLatin1String("top")) parts.removeFirst();
    return parts;
}

void applyCategory(const QStringList& parts, ImportedQuestion& q)
{
    if (parts.size() >= 3) {
        q.typeName = parts.at(1);
        q.chapterName = parts.at(2);
    } else if (parts.size() == 2) {
        q.typeName = parts.at(1);
    }
}

// A small element tree read with QXmlStreamReader (Qt's XML DOM is not linked).
struct Node {
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    QVector<Node> children;
    const Node* child(const QString& n) const
    {
        for (const Node& c : children)
            if (c.name == n) return &c;
        return nullptr;
    }
    QString childText(const QString& n) const
    {
        const Node* c = child(n);
        const Node* t = c ? c->child(QStringLiteral("text")) : nullptr;
        return t ? t->text : (c ? c->text : QString());
    }
};

// Bounds of a Moodle XML file's tree: Moodle writes a few levels and texts of a few kilobytes
// (a picture's base64 a few megabytes); a hostile file is stopped before it costs memory or stack.
constexpr int kMaxDepth = 32;
constexpr qsizetype kMaxElementText = 32 * 1024 * 1024;
constexpr qsizetype kMaxElements = 2000000;

struct TreeLimits {
    qsizetype elements = 0;
};

[[noreturn]] void refuseTree(const QString& why)
{
    throw AppError(QStringLiteral("文件不是有效的 Moodle XML（%1），不予读取。").arg(why));
}

Node readNode(QXmlStreamReader& reader, TreeLimits& limits, int depth)
{
    if (depth > kMaxDepth) refuseTree(QStringLiteral("元素嵌套超过 %1 层").arg(kMaxDepth));
    if (++limits.elements > kMaxElements) refuseTree(QStringLiteral("元素超过 %1 个").arg(kMaxElements));
    Node node;
    node.name = reader.name().toString();
    node.attributes = reader.attributes();
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            node.children.append(readNode(reader, limits, depth + 1));
        } else if (token == QXmlStreamReader::Characters) {
            if (node.text.size() + reader.text().size() > kMaxElementText) {
                refuseTree(QStringLiteral("“%1”元素的文字超过 %2 MB").arg(node.name).arg(kMaxElementText >> 20));
            }
            node.text += reader.text();
        } else if (token == QXmlStreamReader::EntityReference) {
            // Only declared entities come as references, and declarations are refused before.
            refuseTree(QStringLiteral("含有实体引用"));
        } else if (token == QXmlStreamReader::EndElement) {
            break;
        }
    }
    return node;
}

QHash<QString, QByteArray> filesOf(const Node* element)
{
    QHash<QString, QByteArray> files;
    if (!element) return files;
    for (const Node& c : element->children) {
        if (c.name == QLatin1String("file"))
            files.insert(c.attributes.value(QStringLiteral("name")).toString(),
                         QByteArray::fromBase64(c.text.toLatin1()));
    }
    return files;
}

QString giftUnescape(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size() && kGiftSpecial.contains(text.at(i + 1))) ++i;
        out += text.at(i);
    }
    return out;
}

// The index of the next unescaped `c` from `from`, or -1.
qsizetype giftFind(const QString& text, QChar c, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\')) {
            ++i;
        } else if (text.at(i) == c) {
            return i;
        }
    }
    return -1;
}

}  // namespace

ImportedPaper readMoodleXml(const QByteArray& data)
{
    if (data.size() > kMaxMoodleBytes) {
        throw AppError(QStringLiteral("Moodle XML 文件太大（%1 MB），最多允许 %2 MB。")
                           .arg(data.size() >> 20)
                           .arg(kMaxMoodleBytes >> 20));
    }
    QXmlStreamReader reader(data);
    Node quiz;
    TreeLimits limits;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        // Moodle never writes a document type; its entity declarations are how a few hundred
        // kilobytes expand to gigabytes, so any is refused before a single one is expanded.
        if (token == QXmlStreamReader::DTD) {
            throw AppError(
                QStringLiteral("文件含有文档类型（DOCTYPE）或实体（ENTITY）声明，Moodle 导出的文件不会有这些，"
                               "可能是恶意构造的文件，不予读取。"));
        }
        if (token == QXmlStreamReader::StartElement) {
            quiz = readNode(reader, limits, 0);
            break;
        }
    }
    if (reader.hasError() || quiz.name != QLatin1String("quiz")) {
        throw AppError(QStringLiteral("文件不是有效的 Moodle XML（%1）。")
                           .arg(reader.hasError() ? reader.errorString() : QStringLiteral("缺少 quiz 元素")));
    }
    ImportedPaper paper;
    QStringList category;
    int number = 0;
    int index = 0;
    for (const Node& question : quiz.children) {
        ++index;
        if (question.name != QLatin1String("question")) continue;
        const QString type = question.attributes.value(QStringLiteral("type")).toString();
        if (type == QLatin1String("category")) {
            category = categoryParts(question.childText(QStringLiteral("category")));
            continue;
        }
        ImportedQuestion q;
        q.paragraph = index;
        q.number = QString::number(++number);
        q.difficulty = QStringLiteral("中等");
        applyCategory(category, q);
        const Node* textNode = question.child(QStringLiteral("questiontext"));
        q.text = fromHtml(question.childText(QStringLiteral("questiontext")), filesOf(textNode), &paper.pictures,
                          &q.warnings);
        q.score = cleanScore(question.childText(QStringLiteral("defaultgrade")));
        if (const Node* tags = question.child(QStringLiteral("tags"))) {
            for (const Node& tag : tags->children) {
                const QString t = tag.childText(QStringLiteral("text")).trimmed();
                if (t.startsWith(kDifficultyTag)) q.difficulty = t.mid(kDifficultyTag.size());
            }
        }
        QVector<const Node*> answers;
        for (const Node& c : question.children)
            if (c.name == QLatin1String("answer")) answers << &c;
        auto answerText = [&](const Node* a) {
            return fromHtml(a->childText(QStringLiteral("text")), filesOf(a), &paper.pictures, &q.warnings);
        };
        auto right = [](const Node* a) { return a->attributes.value(QStringLiteral("fraction")).toDouble() > 0; };
        QString defaultType;
        if (type == QLatin1String("essay")) {
            defaultType = QStringLiteral("解答题");
            const Node* grader = question.child(QStringLiteral("graderinfo"));
            q.answer = fromHtml(question.childText(QStringLiteral("graderinfo")), filesOf(grader), &paper.pictures,
                                &q.warnings);
        } else if (type == QLatin1String("multichoice")) {
            defaultType = QStringLiteral("选择题");
            QString letters;
            for (int i = 0; i < answers.size(); ++i) {
                q.text += QLatin1Char('\n') + optionLetter(i) + QStringLiteral(". ") + answerText(answers[i]);
                if (right(answers[i])) letters += optionLetter(i);
            }
            q.options = static_cast<int>(answers.size());
            q.answer = letters;
        } else if (type == QLatin1String("truefalse")) {
            defaultType = QStringLiteral("判断题");
            for (const Node* a : answers) {
                if (right(a)) {
                    q.answer = answerText(a).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
                                   ? QStringLiteral("对")
                                   : QStringLiteral("错");
                }
            }
        } else if (type == QLatin1String("shortanswer")) {
            defaultType = QStringLiteral("填空题");
            QStringList accepted;
            for (const Node* a : answers)
                if (a->attributes.value(QStringLiteral("fraction")).toDouble() >= 100) accepted << answerText(a);
            q.answer = accepted.join(QStringLiteral("；"));
        } else {
            paper.loose.append({index, QStringLiteral("不支持的题目类型“%1”：%2").arg(type, q.text.left(60))});
            continue;
        }
        if (q.answer.isEmpty()) {
            const Node* feedback = question.child(QStringLiteral("generalfeedback"));
            q.answer = fromHtml(question.childText(QStringLiteral("generalfeedback")), filesOf(feedback),
                                &paper.pictures, &q.warnings);
        }
        if (q.typeName.isEmpty()) q.typeName = defaultType;
        if (q.text.isEmpty()) q.warnings << QStringLiteral("题目为空");
        if (q.answer.isEmpty()) q.warnings << QStringLiteral("未找到答案");
        paper.questions.append(q);
    }
    return paper;
}

ImportedPaper readGift(const QString& text)
{
    ImportedPaper paper;
    QStringList category;
    QString score;
    QString difficulty;
    int number = 0;
    static const QRegularExpression meta(QStringLiteral("^//\\s*分数:(\\S*)\\s+难度:(\\S*)"));
    // Questions are separated by blank lines; comment and $CATEGORY lines stand alone.
    QStringList block;
    int blockStart = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto flush = [&](int paragraph) {
        QString body = block.join(QLatin1Char('\n')).trimmed();
        block.clear();
        if (body.isEmpty()) return;
        ImportedQuestion q;
        q.paragraph = paragraph;
        q.number = QString::number(++number);
        q.difficulty = difficulty.isEmpty() ? QStringLiteral("中等") : difficulty;
        q.score = score;
        score.clear();
        difficulty.clear();
        applyCategory(category, q);
        if (body.startsWith(QLatin1String("::"))) {
            const qsizetype end = body.indexOf(QLatin1String("::"), 2);
            if (end > 0) body = body.mid(end + 2);
        }
        bool html = false;
        if (body.startsWith(QLatin1Char('['))) {
            const qsizetype end = body.indexOf(QLatin1Char(']'));
            html = body.mid(1, end - 1).compare(QLatin1String("html"), Qt::CaseInsensitive) == 0;
            body = body.mid(end + 1);
        }
        const qsizetype open = giftFind(body, QLatin1Char('{'), 0);
        const qsizetype close = open < 0 ? -1 : giftFind(body, QLatin1Char('}'), open + 1);
        if (open < 0 || close < 0) {
            paper.loose.append({paragraph, body.left(80)});
            --number;
            return;
        }
        auto convert = [&](const QString& part) {
            const QString plain = giftUnescape(part).trimmed();
            return html ? fromHtml(plain, {}, &paper.pictures, &q.warnings) : plain;
        };
        q.text = convert(body.left(open) + QLatin1Char(' ') + body.mid(close + 1));
        QString answers = body.mid(open + 1, close - open - 1);
        QString feedback;
        const qsizetype general = answers.indexOf(QLatin1String("####"));
        if (general >= 0) {
            feedback = convert(answers.mid(general + 4));
            answers.truncate(general);
        }
        answers = answers.trimmed();
        QString defaultType;
        if (answers.isEmpty()) {
            defaultType = QStringLiteral("解答题");
        } else if (QStringList{QStringLiteral("T"), QStringLiteral("TRUE"), QStringLiteral("F"),
                               QStringLiteral("FALSE")}
                       .contains(answers.toUpper())) {
            defaultType = QStringLiteral("判断题");
            q.answer = answers.toUpper().startsWith(QLatin1Char('T')) ? QStringLiteral("对") : QStringLiteral("错");
        } else {
            // Choices start at an unescaped "=" (right) or "~" (wrong, or "~%50%" partly right).
            QVector<QPair<bool, QString>> choices;
            bool anyWrong = false;
            for (qsizetype i = 0; i < answers.size();) {
                const QChar c = answers.at(i);
                if (c != QLatin1Char('=') && c != QLatin1Char('~')) {
                    ++i;
                    continue;
                }
                qsizetype next = i + 1;
                while (next < answers.size() &&
                       !((answers.at(next) == QLatin1Char('=') || answers.at(next) == QLatin1Char('~')) &&
                         answers.at(next - 1) != QLatin1Char('\\')))
                    ++next;
                QString choice = answers.mid(i + 1, next - i - 1);
                const qsizetype fb = giftFind(choice, QLatin1Char('#'), 0);
                if (fb >= 0) choice.truncate(fb);
                bool isRight = c == QLatin1Char('=');
                static const QRegularExpression weight(QStringLiteral("^%(-?\\d+(?:\\.\\d+)?)%"));
                const auto w = weight.match(choice);
                if (w.hasMatch()) {
                    isRight = w.captured(1).toDouble() > 0;
                    choice = choice.mid(w.capturedLength());
                }
                anyWrong = anyWrong || c == QLatin1Char('~');
                choices.append({isRight, convert(choice)});
                i = next;
            }
            if (anyWrong) {
                defaultType = QStringLiteral("选择题");
                QString letters;
                for (int i = 0; i < choices.size(); ++i) {
                    q.text += QLatin1Char('\n') + optionLetter(i) + QStringLiteral(". ") + choices[i].second;
                    if (choices[i].first) letters += optionLetter(i);
                }
                q.options = static_cast<int>(choices.size());
                q.answer = letters;
            } else {
                defaultType = QStringLiteral("填空题");
                QStringList accepted;
                for (const auto& choice : choices) accepted << choice.second;
                q.answer = accepted.join(QStringLiteral("；"));
            }
        }
        if (q.answer.isEmpty()) q.answer = feedback;
        if (q.typeName.isEmpty()) q.typeName = defaultType;
        if (q.text.isEmpty()) q.warnings << QStringLiteral("题目为空");
        if (q.answer.isEmpty()) q.warnings << QStringLiteral("未找到答案");
        paper.questions.append(q);
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty()) {
            flush(blockStart);
            continue;
        }
        if (block.isEmpty() && line.startsWith(QLatin1String("//"))) {
            const auto m = meta.match(line);
            if (m.hasMatch()) {
                score = m.captured(1);
                difficulty = m.captured(2);
            }
            continue;
        }
        if (block.isEmpty() && line.startsWith(QLatin1String("$CATEGORY:"))) {
            category = categoryParts(line.mid(10).trimmed());
            continue;
        }
        if (block.isEmpty()) blockStart = i + 1;
        block << line;
    }
    flush(blockStart);
    return paper;
}

}  // namespace exchange
