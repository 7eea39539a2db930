#include "content/formula_edges.h"

#include <QHash>
#include <QVector>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "content/formulas.h"

namespace formulas {

namespace {

struct Token {
    QXmlStreamReader::TokenType type = QXmlStreamReader::NoToken;
    QString namespaceUri;
    QString name;
    QString qualifiedName;
    QXmlStreamAttributes attributes;
    QXmlStreamNamespaceDeclarations declarations;
    QString text;
};

// How one run at the formula's edge is split: signs before, the rest, signs after.
struct Split {
    QString lead;
    QString middle;
    QString trail;
};

bool readTokens(const QString& omml, QVector<Token>& tokens)
{
    QXmlStreamReader r(omml);
    while (!r.atEnd()) {
        r.readNext();
        Token t;
        t.type = r.tokenType();
        if (r.isStartElement()) {
            t.namespaceUri = r.namespaceUri().toString();
            t.name = r.name().toString();
            t.qualifiedName = r.qualifiedName().toString();
            t.attributes = r.attributes();
            t.declarations = r.namespaceDeclarations();
        } else if (r.isEndElement()) {
            t.namespaceUri = r.namespaceUri().toString();
            t.name = r.name().toString();
        } else if (r.isCharacters()) {
            t.text = r.text().toString();
        } else {
            continue;
        }
        tokens.append(t);
    }
    return !r.hasError();
}

bool isMath(const Token& t, const char* name)
{
    return t.namespaceUri == QLatin1String(kMathNamespace) && t.name == QLatin1String(name);
}

// The index of the end token matching the start token at `begin`.
int endOf(const QVector<Token>& tokens, int begin)
{
    int depth = 0;
    for (int i = begin; i < tokens.size(); ++i) {
        if (tokens.at(i).type == QXmlStreamReader::StartElement) ++depth;
        if (tokens.at(i).type == QXmlStreamReader::EndElement && --depth == 0) return i;
    }
    return int(tokens.size()) - 1;
}

// The text of a run [begin, end] that holds one m:t and is not normal text already; null otherwise.
QString runText(const QVector<Token>& tokens, int begin, int end)
{
    if (!isMath(tokens.at(begin), "r")) return QString();
    int texts = 0;
    QString text;
    bool inText = false;
    for (int i = begin + 1; i < end; ++i) {
        const Token& t = tokens.at(i);
        if (t.type == QXmlStreamReader::StartElement && isMath(t, "nor")) return QString();
        if (t.type == QXmlStreamReader::StartElement && isMath(t, "t")) {
            ++texts;
            inText = true;
        } else if (t.type == QXmlStreamReader::EndElement && isMath(t, "t")) {
            inText = false;
        } else if (inText && t.type == QXmlStreamReader::Characters) {
            text += t.text;
        }
    }
    return texts == 1 ? text : QString();
}

void writeTextRun(QXmlStreamWriter& w, const QString& text)
{
    const QString m = QLatin1String(kMathNamespace);
    w.writeStartElement(m, QStringLiteral("r"));
    w.writeStartElement(m, QStringLiteral("rPr"));
    w.writeEmptyElement(m, QStringLiteral("nor"));
    w.writeEmptyElement(m, QStringLiteral("sty"));
    w.writeAttribute(m, QStringLiteral("val"), QStringLiteral("p"));
    w.writeEndElement();  // rPr
    w.writeStartElement(m, QStringLiteral("t"));
    w.writeCharacters(text);
    w.writeEndElement();  // t
    w.writeEndElement();  // r
}

void writeToken(QXmlStreamWriter& w, const Token& t, bool root)
{
    if (t.type == QXmlStreamReader::StartElement) {
        if (root) {
            // The root keeps its prefix and declarations, so its children keep theirs.
            w.writeStartElement(t.qualifiedName);
            for (const QXmlStreamNamespaceDeclaration& d : t.declarations)
                w.writeNamespace(d.namespaceUri().toString(), d.prefix().toString());
        } else {
            w.writeStartElement(t.namespaceUri, t.name);
        }
        for (const QXmlStreamAttribute& a : t.attributes) w.writeAttribute(a);
    } else if (t.type == QXmlStreamReader::EndElement) {
        w.writeEndElement();
    } else if (t.type == QXmlStreamReader::Characters) {
        w.writeCharacters(t.text);
    }
}

}  // namespace

bool isRelationSign(QChar c)
{
    static const QString signs = QStringLiteral("=<>≤≥≠≈≡≦≧⩽⩾≪≫∼≃≅∝∈∉∋⊂⊃⊆⊇⊊⊋→←↔⇒⇐⇔∥⊥≐");
    return signs.contains(c);
}

QString withTextRelationsAtEdges(const QString& omml)
{
    QVector<Token> tokens;
    if (omml.isEmpty() || !readTokens(omml, tokens) || tokens.isEmpty() || !isMath(tokens.first(), "oMath"))
        return omml;
    const int rootEnd = endOf(tokens, 0);
    QVector<QPair<int, int>> children;
    for (int i = 1; i < rootEnd; ++i) {
        if (tokens.at(i).type != QXmlStreamReader::StartElement) continue;
        const int end = endOf(tokens, i);
        children.append({i, end});
        i = end;
    }
    if (children.isEmpty()) return omml;

    // The first and the last run (the same one in a formula of one run) lose their edge signs.
    QHash<int, Split> splits;
    const auto consider = [&](int child, bool leading, bool trailing) {
        const auto [begin, end] = children.at(child);
        const QString text = runText(tokens, begin, end);
        if (text.isEmpty()) return;
        Split s = splits.value(begin, Split{QString(), text, QString()});
        if (leading) {
            qsizetype n = 0;
            while (n < s.middle.size() && isRelationSign(s.middle.at(n))) ++n;
            s.lead = s.middle.left(n);
            s.middle = s.middle.mid(n);
        }
        if (trailing) {
            qsizetype n = s.middle.size();
            while (n > 0 && isRelationSign(s.middle.at(n - 1))) --n;
            s.trail = s.middle.mid(n);
            s.middle = s.middle.left(n);
        }
        if (!s.lead.isEmpty() || !s.trail.isEmpty()) splits.insert(begin, s);
    };
    consider(0, true, children.size() == 1);
    if (children.size() > 1) consider(int(children.size()) - 1, false, true);
    if (splits.isEmpty()) return omml;

    QString out;
    QXmlStreamWriter w(&out);
    for (int i = 0; i < tokens.size(); ++i) {
        const auto found = splits.constFind(i);
        if (found == splits.constEnd()) {
            writeToken(w, tokens.at(i), i == 0);
            continue;
        }
        const Split& s = found.value();
        const int end = endOf(tokens, i);
        if (!s.lead.isEmpty()) writeTextRun(w, s.lead);
        if (!s.middle.isEmpty()) {
            // The run as it was, its text without the signs at its edges.
            bool inText = false;
            bool written = false;
            for (int k = i; k <= end; ++k) {
                const Token& t = tokens.at(k);
                if (t.type == QXmlStreamReader::StartElement && isMath(t, "t")) inText = true;
                if (t.type == QXmlStreamReader::EndElement && isMath(t, "t")) {
                    if (!written) w.writeCharacters(s.middle);
                    written = true;
                    inText = false;
                }
                if (inText && t.type == QXmlStreamReader::Characters) {
                    if (!written) w.writeCharacters(s.middle);
                    written = true;
                    continue;
                }
                writeToken(w, t, false);
            }
        }
        if (!s.trail.isEmpty()) writeTextRun(w, s.trail);
        i = end;
    }
    return w.hasError() ? omml : out;
}

}  // namespace formulas
