// The document writer's formulas and tables: a stored formula reaches document.xml as the same
// XML whichever way it is copied, a broken one is refused with a message, and a table is written
// as a bordered Word table with a bold header row and the text after it below it.
#include <QTest>
#include <QXmlStreamReader>

#include "data/errors.h"
#include "output/docx_package.h"

namespace {

const QString kM = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/math");
const QString kW = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");

QString fragment(const QString& inner)
{
    return QStringLiteral("<m:oMath xmlns:m=\"%1\" xmlns:w=\"%2\">%3</m:oMath>").arg(kM, kW, inner);
}

// The events of every m:oMath element in `xml` (names with their namespaces, attributes, text),
// one string per formula; whitespace-only text is left out. Empty list when `xml` is not well formed.
QStringList mathEvents(const QByteArray& xml)
{
    QStringList formulas;
    QXmlStreamReader r(xml);
    int depth = 0;
    QString current;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            if (depth == 0 && r.namespaceUri() == kM && r.name() == u"oMath")
                depth = 1, current.clear();
            else if (depth > 0)
                ++depth;
            if (depth > 0) {
                current += QStringLiteral("<{%1}%2").arg(r.namespaceUri().toString(), r.name().toString());
                for (const QXmlStreamAttribute& a : r.attributes()) {
                    current += QStringLiteral(" {%1}%2=%3")
                                   .arg(a.namespaceUri().toString(), a.name().toString(), a.value().toString());
                }
                current += QLatin1Char('>');
            }
        } else if (r.isEndElement() && depth > 0) {
            current += QStringLiteral("</%1>").arg(r.name().toString());
            if (--depth == 0) formulas << current;
        } else if (r.isCharacters() && depth > 0 && !r.isWhitespace()) {
            current += r.text().toString();
        }
    }
    if (r.hasError()) return {QStringLiteral("error: ") + r.errorString()};
    return formulas;
}

}  // namespace

class DocxMathTableTest : public QObject {
    Q_OBJECT
private slots:
    void storedFormulasReachTheDocumentUnchanged_data()
    {
        QTest::addColumn<QString>("omml");
        QTest::newRow("as the cache holds it")
            << fragment("<m:sSup><m:e><m:r><m:t>x</m:t></m:r></m:e><m:sup><m:r><m:t>2</m:t></m:r></m:sup></m:sSup>");
        QTest::newRow("entities and attributes") << fragment(
            "<m:r><m:rPr><m:sty m:val=\"p\"/></m:rPr><m:t xml:space=\"preserve\">a &lt; b &amp;&amp; "
            "&#x3b1; &gt; &#946; &quot;</m:t></m:r>");
        QTest::newRow("another prefix declared inside") << fragment("<m:r><x:t xmlns:x=\"" + kM + "\">y</x:t></m:r>");
        QTest::newRow("a comment inside") << fragment("<m:r><!-- note --><m:t>z</m:t></m:r>");
        QTest::newRow("prefixes declared in another order")
            << QStringLiteral("<m:oMath xmlns:w=\"%2\" xmlns:m=\"%1\"><m:r><m:t>q</m:t></m:r></m:oMath>").arg(kM, kW);
        QTest::newRow("single quotes") << fragment("<m:r><m:rPr><m:sty m:val='p'/></m:rPr><m:t>p</m:t></m:r>");
    }

    void storedFormulasReachTheDocumentUnchanged()
    {
        QFETCH(QString, omml);
        docx::Document doc;
        doc.append(QStringLiteral("解："));
        doc.appendMath(omml);
        doc.append(QStringLiteral("，又"));
        doc.appendMath(omml);  // the same formula twice
        doc.appendDisplayMath(omml);
        doc.append(QStringLiteral("\r"));
        const QStringList expected = mathEvents(omml.toUtf8());
        QCOMPARE(expected.size(), 1);
        QCOMPARE(mathEvents(doc.documentXml()), QStringList(3, expected.first()));
    }

    // A formula declaring its prefixes in another order is copied element by element; the same
    // formula in the writer's own form goes in as it is. Both give the same document.
    void bothWaysOfCopyingWriteTheSameBytes_data()
    {
        QTest::addColumn<QString>("inner");
        QTest::newRow("plain") << QStringLiteral("<m:r><m:rPr><m:sty m:val=\"p\"/></m:rPr><m:t>+</m:t></m:r>");
        QTest::newRow("blank text alone in an element")
            << QStringLiteral("<m:r><m:t> </m:t></m:r><m:r><m:t>x</m:t></m:r>");
        QTest::newRow("blank text between elements") << QStringLiteral("<m:r>\n  <m:t>y</m:t>\t</m:r> <m:r/>");
        QTest::newRow("thin space kept") << QStringLiteral("<m:r><m:t>\u2009</m:t></m:r>");
        QTest::newRow("empty elements") << QStringLiteral("<m:rad><m:deg/><m:e><m:r><m:t>2</m:t></m:r></m:e></m:rad>");
    }

    void bothWaysOfCopyingWriteTheSameBytes()
    {
        QFETCH(QString, inner);
        const auto written = [](const QString& omml) {
            docx::Document doc;
            doc.append(QStringLiteral("设"));
            doc.appendMath(omml);
            doc.appendDisplayMath(omml);
            return doc.documentXml();
        };
        const QByteArray fast = written(fragment(inner));
        const QByteArray slow =
            written(QStringLiteral("<m:oMath xmlns:w=\"%2\" xmlns:m=\"%1\">%3</m:oMath>").arg(kM, kW, inner));
        QCOMPARE(QString::fromUtf8(fast), QString::fromUtf8(slow));
        QCOMPARE(mathEvents(fast).size(), 2);
    }

    void brokenStoredFormulasAreRefused_data()
    {
        QTest::addColumn<QString>("omml");
        QTest::newRow("cut short") << fragment("<m:r><m:t>x</m:t>").chopped(10);
        QTest::newRow("tags crossed") << fragment("<m:r><m:t>x</m:r></m:t>");
        QTest::newRow("unknown entity") << fragment("<m:r><m:t>&bogus;</m:t></m:r>");
        QTest::newRow("markup in a value") << fragment("<m:r><m:sty m:val=\"<\"/></m:r>");
        QTest::newRow("a second root") << fragment("<m:r/>") + QStringLiteral("<m:r/>");
    }

    void brokenStoredFormulasAreRefused()
    {
        QFETCH(QString, omml);
        docx::Document doc;
        doc.appendMath(omml);
        try {
            doc.package();
            QFAIL("a broken formula was written");
        } catch (const AppError& e) {
            QCOMPARE(e.text(), QString("公式的 Word 格式已损坏，无法写入文档。"));
        }
    }

    void tablesAreBorderedWithABoldHeaderAndTextBelow()
    {
        docx::Document doc;
        doc.append(QStringLiteral("细目表\r"));
        doc.appendTable(
            docx::Table{{{"章节", "选择题·易", "合计"}, {"第一章", "2题 10分"}, {"合\u0001计\n", "", "2题 10分"}}});
        doc.append(QStringLiteral("签名"));
        const QByteArray xml = doc.documentXml();
        QXmlStreamReader r(xml);
        QStringList body;  // top-level blocks of the body: "p:<text>" or "tbl"
        QVector<QStringList> rows;
        QVector<bool> boldRows;
        int tableDepth = 0;
        bool header = false, borders = false;
        QString text;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement() && r.name() == u"tbl") {
                ++tableDepth;
                body << "tbl";
            } else if (r.isEndElement() && r.name() == u"tbl") {
                --tableDepth;
            } else if (r.isStartElement() && r.name() == u"tblBorders") {
                borders = true;
            } else if (r.isStartElement() && r.name() == u"tr") {
                rows.append(QStringList());
                boldRows.append(false);
            } else if (r.isStartElement() && r.name() == u"tblHeader") {
                header = rows.size() == 1;
            } else if (r.isStartElement() && r.name() == u"b" && tableDepth > 0) {
                boldRows.last() = true;
            } else if (r.isStartElement() && r.name() == u"p") {
                text.clear();
            } else if (r.isStartElement() && r.name() == u"t") {
                text += r.readElementText();
            } else if (r.isEndElement() && r.name() == u"p") {
                if (tableDepth > 0) {
                    rows.last() << text;
                } else {
                    body << "p:" + text;
                }
            }
        }
        QVERIFY2(!r.hasError(), qPrintable(r.errorString()));
        QCOMPARE(body, (QStringList{"p:细目表", "tbl", "p:签名"}));
        QVERIFY(borders);
        QVERIFY(header);
        // Short rows are filled up to the widest; characters a document cannot hold are left out.
        QCOMPARE(rows, (QVector<QStringList>{
                           {"章节", "选择题·易", "合计"}, {"第一章", "2题 10分", ""}, {"合计 ", "", "2题 10分"}}));
        QCOMPARE(boldRows, (QVector<bool>{true, false, false}));
    }
};

QTEST_MAIN(DocxMathTableTest)
#include "test_docx_math_table.moc"
