#include "content/svg_safety.h"

#include "content/content.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QVector>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "data/errors.h"

namespace content {

namespace {

constexpr int kMaxNesting = 256;
constexpr int kMaxReferenceChain = 1000;

[[noreturn]] void refuse(const QString& why)
{
    throw AppError(QStringLiteral("SVG 图片%1，不予使用。").arg(why));
}

// The part of an XML name after its prefix, in lower case: "xlink:href" -> "href". Prefixes are
// not trusted: any of them may be bound to any namespace.
QString localName(QStringView qualified)
{
    const qsizetype colon = qualified.lastIndexOf(u':');
    return qualified.mid(colon + 1).toString().toLower();
}

bool isEmbeddedRaster(QStringView value)
{
    static const QRegularExpression raster(QStringLiteral("^data:image/(png|jpeg|jpg|gif);base64,"),
                                           QRegularExpression::CaseInsensitiveOption);
    return raster.match(value.trimmed()).hasMatch();
}

// The "#id" targets of the url(…) references in a value; false when one of them points elsewhere
// or the value imports a style sheet.
bool urlTargets(QStringView value, QStringList* targets)
{
    static const QRegularExpression url(QStringLiteral("url\\s*\\(\\s*['\"]?\\s*([^'\")\\s]*)"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (value.contains(QLatin1String("@import"), Qt::CaseInsensitive)) return false;
    // CSS escapes could spell "url(" some other way: a value holding one is not trusted.
    if (value.contains(u'\\')) return false;
    const QString text = value.toString();
    for (auto it = url.globalMatch(text); it.hasNext();) {
        const QString target = it.next().captured(1);
        if (!target.startsWith(u'#')) return false;
        targets->append(target.mid(1));
    }
    return true;
}

struct Element {
    int parent = -1;
    QStringList references;  // ids this element draws again (<use>, url(#…), href="#…")
    QVector<int> children;
};

// Elements drawn for element `index`, counting every copy its references make; past the limit
// the picture is refused.
qint64 expandedCount(const QVector<Element>& elements, const QHash<QString, int>& ids, int index, QVector<qint64>& memo,
                     QVector<char>& state, int chain)
{
    if (chain > kMaxReferenceChain) refuse(QStringLiteral("的引用嵌套太深"));
    if (state[index] == 2) return memo[index];
    if (state[index] == 1) return 0;  // a reference back to itself: QtSvg draws it once at most
    state[index] = 1;
    qint64 count = 1;
    const Element& e = elements.at(index);
    for (int child : e.children) count += expandedCount(elements, ids, child, memo, state, chain + 1);
    for (const QString& id : e.references) {
        const auto target = ids.constFind(id);
        if (target != ids.constEnd()) count += expandedCount(elements, ids, *target, memo, state, chain + 1);
        if (count > kMaxSvgExpandedElements) break;
    }
    if (count > kMaxSvgExpandedElements) {
        refuse(QStringLiteral("绘制时要展开的元素太多（超过 %1 个，可能是恶意构造的重复引用）")
                   .arg(kMaxSvgExpandedElements));
    }
    state[index] = 2;
    memo[index] = count;
    return count;
}

}  // namespace

CleanSvg cleanSvg(const QByteArray& bytes)
{
    static const QStringList removed = {QStringLiteral("script"),  QStringLiteral("foreignobject"),
                                        QStringLiteral("handler"), QStringLiteral("listener"),
                                        QStringLiteral("iframe"),  QStringLiteral("audio"),
                                        QStringLiteral("video"),   QStringLiteral("animation")};
    if (bytes.startsWith("\x1f\x8b")) refuse(QStringLiteral("是压缩的 SVG（.svgz），请先存为未压缩的 .svg"));
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);  // names stay as written; references are judged by local name
    QByteArray out;
    QXmlStreamWriter writer(&out);
    CleanSvg result;
    QVector<Element> elements;
    QHash<QString, int> ids;
    QVector<int> open;  // indices of the open elements kept
    int skipping = 0;   // depth inside a removed element
    bool rooted = false;
    // A <style> sheet is held until its element ends: one that reaches outside is left out.
    bool inStyle = false;
    QString styleText;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        switch (token) {
            case QXmlStreamReader::StartDocument:
                writer.writeStartDocument();
                break;
            case QXmlStreamReader::DTD:
                refuse(QStringLiteral("含有文档类型（DOCTYPE）或实体（ENTITY）声明"));
            case QXmlStreamReader::EntityReference:
                refuse(QStringLiteral("含有实体引用"));
            case QXmlStreamReader::ProcessingInstruction:
                result.changed = true;  // e.g. <?xml-stylesheet href="…"?>
                break;
            case QXmlStreamReader::Comment:
                if (!skipping) writer.writeComment(reader.text().toString());
                break;
            case QXmlStreamReader::Characters:
                if (skipping) break;
                if (inStyle) {
                    styleText += reader.text();
                } else if (reader.isCDATA()) {
                    writer.writeCDATA(reader.text().toString());
                } else {
                    writer.writeCharacters(reader.text().toString());
                }
                break;
            case QXmlStreamReader::StartElement: {
                if (elements.size() >= kMaxSvgElements) {
                    refuse(QStringLiteral("的元素太多（超过 %1 个）").arg(kMaxSvgElements));
                }
                if (open.size() + skipping > kMaxNesting) refuse(QStringLiteral("的元素嵌套太深"));
                const QString name = localName(reader.qualifiedName());
                if (!rooted && name != QLatin1String("svg")) refuse(QStringLiteral("的根元素不是 svg"));
                rooted = true;
                if (skipping) {
                    ++skipping;
                    break;
                }
                QXmlStreamAttributes attributes = reader.attributes();
                QString href;
                for (const QXmlStreamAttribute& a : attributes) {
                    if (localName(a.qualifiedName()) == QLatin1String("href")) href = a.value().toString().trimmed();
                }
                const bool externalImage =
                    name == QLatin1String("image") && !isEmbeddedRaster(href) && !href.startsWith(u'#');
                if (removed.contains(name) || externalImage) {
                    result.changed = true;
                    skipping = 1;
                    break;
                }
                Element element;
                element.parent = open.isEmpty() ? -1 : open.last();
                QXmlStreamAttributes kept;
                for (const QXmlStreamAttribute& a : attributes) {
                    const QString attribute = localName(a.qualifiedName());
                    const QStringView value = a.value();
                    if (attribute.startsWith(QLatin1String("on"))) {
                        result.changed = true;
                        continue;
                    }
                    if (attribute == QLatin1String("href")) {
                        const QString target = value.trimmed().toString();
                        if (target.startsWith(u'#')) {
                            element.references << target.mid(1);
                        } else if (!(name == QLatin1String("image") && isEmbeddedRaster(target))) {
                            result.changed = true;
                            continue;
                        }
                    }
                    QStringList targets;
                    if (!urlTargets(value, &targets)) {
                        result.changed = true;
                        continue;
                    }
                    element.references << targets;
                    if (attribute == QLatin1String("id")) ids.insert(value.toString(), int(elements.size()));
                    kept.append(a);
                }
                const int index = int(elements.size());
                if (element.parent >= 0) elements[element.parent].children << index;
                elements.append(element);
                open.append(index);
                writer.writeStartElement(reader.qualifiedName().toString());
                for (const QXmlStreamAttribute& a : kept)
                    writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
                inStyle = name == QLatin1String("style");
                styleText.clear();
                break;
            }
            case QXmlStreamReader::EndElement:
                if (skipping) {
                    --skipping;
                    break;
                }
                if (inStyle) {
                    QStringList ignored;
                    if (urlTargets(styleText, &ignored)) {
                        writer.writeCharacters(styleText);
                    } else {
                        result.changed = true;
                    }
                    inStyle = false;
                }
                if (!open.isEmpty()) open.removeLast();
                writer.writeEndElement();
                break;
            default:
                break;
        }
    }
    if (reader.hasError()) refuse(QStringLiteral("已损坏（%1）").arg(reader.errorString()));
    if (!rooted) refuse(QStringLiteral("没有内容"));
    QVector<qint64> memo(elements.size(), 0);
    QVector<char> state(elements.size(), 0);
    qint64 total = 0;
    for (int i = 0; i < elements.size(); ++i) {
        if (elements.at(i).parent >= 0) continue;
        total += expandedCount(elements, ids, i, memo, state, 0);
    }
    if (total > kMaxSvgExpandedElements) {
        refuse(QStringLiteral("绘制时要展开的元素太多（超过 %1 个）").arg(kMaxSvgExpandedElements));
    }
    writer.writeEndDocument();
    result.data = result.changed ? out : bytes;
    return result;
}

QImage drawPicture(const QByteArray& bytes, const QString& mime, QSize size)
{
    const auto bounded = [](QSize s) {
        s = s.expandedTo(QSize(1, 1));
        if (s.width() > kMaxDrawnSide || s.height() > kMaxDrawnSide) {
            s = s.scaled(kMaxDrawnSide, kMaxDrawnSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        }
        return s;
    };
    if (mime == QLatin1String("image/svg+xml")) {
        CleanSvg clean;
        try {
            clean = cleanSvg(bytes);
        } catch (const AppError&) {
            return QImage();
        }
        QSvgRenderer renderer(clean.data);
        if (!renderer.isValid()) return QImage();
        if (size.isEmpty()) size = renderer.defaultSize();
        if (size.isEmpty()) size = renderer.viewBox().size();
        if (size.isEmpty()) return QImage();
        QImage image(bounded(size), QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) return image;
        image.fill(Qt::white);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
        return image;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kPictureAllocationMegabytes);
    const QSize own = reader.size();
    if (size.isEmpty()) size = own;
    if (size.isEmpty()) return QImage();
    const QSize target = bounded(size);
    // A picture larger than it is drawn is decoded at the drawn size where the format allows it.
    if (own.isValid() && target != own) reader.setScaledSize(target);
    QImage image;
    if (!reader.read(&image)) return QImage();
    if (image.size() != target) image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

}  // namespace content
