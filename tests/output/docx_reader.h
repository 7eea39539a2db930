#pragma once
// Reads a written .docx back the way a word processor would: unzips the package and walks
// word/document.xml paragraph by paragraph.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>

#include <zip.h>

namespace docxread {

struct Picture {
    QString name;    // wp:docPr name
    QString target;  // the part the picture comes from, e.g. word/media/image1.png
    qint64 cx = 0;
    qint64 cy = 0;
    bool floating = false;    // wp:anchor rather than wp:inline
    QString horizontalAlign;  // an anchor's wp:positionH/wp:align
    QString wrap;             // an anchor's wrapping element, e.g. "wp:wrapSquare"
};

struct Paragraph {
    QString text;  // w:t texts, "\n" for a line break, "\t" for a tab
    QVector<Picture> pictures;
    bool pageBreak = false;
    bool bold = false;   // some run is bold
    int halfPoints = 0;  // size of the first run that sets one
    QString alignment;   // w:jc
    // "[page]" + text, or "[ImageBiao1]" for a picture paragraph: one token per paragraph
    QString token() const
    {
        QString t = pageBreak ? QStringLiteral("[page]") : QString();
        for (const Picture& p : pictures) t += QLatin1Char('[') + p.name + QLatin1Char(']');
        return t + text;
    }
};

struct Package {
    QMap<QString, QByteArray> parts;
    QVector<Paragraph> paragraphs;
    QString error;  // empty when the package opened and parsed
    QStringList tokens() const
    {
        QStringList list;
        for (const Paragraph& p : paragraphs) list << p.token();
        return list;
    }
};

inline QMap<QString, QString> relationships(const QByteArray& xml)
{
    QMap<QString, QString> map;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("Relationship")) {
            map.insert(r.attributes().value(QLatin1String("Id")).toString(),
                       r.attributes().value(QLatin1String("Target")).toString());
        }
    }
    return map;
}

inline Package read(const QString& path)
{
    Package package;
    int code = 0;
    zip_t* archive = zip_open(path.toLocal8Bit().constData(), ZIP_RDONLY, &code);
    if (!archive) {
        package.error = QStringLiteral("zip_open failed: %1").arg(code);
        return package;
    }
    const zip_int64_t entries = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0) continue;
        zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (!file) continue;
        QByteArray data(qsizetype(st.size), '\0');
        const zip_int64_t n = zip_fread(file, data.data(), st.size);
        zip_fclose(file);
        if (n == zip_int64_t(st.size)) package.parts.insert(QString::fromUtf8(st.name), data);
    }
    zip_close(archive);

    const QMap<QString, QString> rels = relationships(package.parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    QXmlStreamReader r(package.parts.value(QStringLiteral("word/document.xml")));
    Paragraph* current = nullptr;
    bool inRunProperties = false;
    bool inParagraphProperties = false;
    Picture picture;
    while (!r.atEnd()) {
        r.readNext();
        const auto name = r.qualifiedName();
        if (r.isStartElement()) {
            if (name == QLatin1String("w:p")) {
                package.paragraphs.append(Paragraph());
                current = &package.paragraphs.last();
            } else if (!current) {
                continue;
            } else if (name == QLatin1String("w:pPr")) {
                inParagraphProperties = true;
            } else if (name == QLatin1String("w:rPr")) {
                inRunProperties = true;
            } else if (name == QLatin1String("w:jc")) {
                current->alignment = r.attributes().value(QLatin1String("w:val")).toString();
            } else if (name == QLatin1String("w:b") && inRunProperties && !inParagraphProperties) {
                current->bold = true;
            } else if (name == QLatin1String("w:sz") && inRunProperties && !inParagraphProperties &&
                       current->halfPoints == 0) {
                current->halfPoints = r.attributes().value(QLatin1String("w:val")).toInt();
            } else if (name == QLatin1String("w:t")) {
                current->text += r.readElementText();
            } else if (name == QLatin1String("w:tab")) {
                current->text += QLatin1Char('\t');
            } else if (name == QLatin1String("w:br")) {
                if (r.attributes().value(QLatin1String("w:type")) == QLatin1String("page")) {
                    current->pageBreak = true;
                } else {
                    current->text += QLatin1Char('\n');
                }
            } else if (name == QLatin1String("wp:inline")) {
                picture = Picture();
            } else if (name == QLatin1String("wp:anchor")) {
                picture = Picture();
                picture.floating = true;
            } else if (name == QLatin1String("wp:align") && picture.floating) {
                picture.horizontalAlign = r.readElementText();
            } else if (name.startsWith(QLatin1String("wp:wrap")) && picture.floating) {
                picture.wrap = name.toString();
            } else if (name == QLatin1String("wp:extent")) {
                picture.cx = r.attributes().value(QLatin1String("cx")).toLongLong();
                picture.cy = r.attributes().value(QLatin1String("cy")).toLongLong();
            } else if (name == QLatin1String("wp:docPr")) {
                picture.name = r.attributes().value(QLatin1String("name")).toString();
            } else if (name == QLatin1String("a:blip")) {
                picture.target = QStringLiteral("word/") + rels.value(r.attributes().value(QLatin1String("r:embed")).toString());
            }
        } else if (r.isEndElement()) {
            if (name == QLatin1String("w:pPr")) inParagraphProperties = false;
            if (name == QLatin1String("w:rPr")) inRunProperties = false;
            if ((name == QLatin1String("wp:inline") || name == QLatin1String("wp:anchor")) && current)
                current->pictures.append(picture);
            if (name == QLatin1String("w:p")) current = nullptr;
        }
    }
    if (r.hasError()) package.error = r.errorString();
    if (package.parts.isEmpty()) package.error = QStringLiteral("empty package");
    return package;
}

}  // namespace docxread
