#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

// A small writer of Word documents (.docx, Office Open XML). Text is appended at the end of the
// document the way a word processor's "insert after" does it: a carriage return ends the current
// paragraph, a vertical tab (\v) is a line break inside it. The document always has a last,
// current paragraph, so a text ending in "\r" leaves an empty paragraph behind it.
namespace docx {

// Where and how large a picture run shows its picture. A size of 0 shows the picture at its own
// size (Picture::size); `floatRight` floats it at the right of its paragraph's column, the text
// wrapping round it on the left, instead of standing in line with the text.
struct PicturePlacement {
    qint64 cx = 0;  // width and height in EMU (914400 to the inch, 360000 to the centimetre)
    qint64 cy = 0;
    bool floatRight = false;
};

struct Run {
    enum Kind { Text, LineBreak, Tab, PageBreak, Picture, Math };
    Kind kind = Text;
    QString text;      // Text; Math: the formula as an m:oMath element (Office Math XML)
    int picture = -1;  // Picture: index into Document::pictures()
    PicturePlacement placement;  // Picture: its size and place in this run
};

struct Paragraph {
    QVector<Run> runs;
    int halfPoints = 0;  // font size in half points; 0 keeps the default
    bool bold = false;
    bool centred = false;
    bool keepNext = false;     // kept on the same page as the paragraph after it
    bool displayMath = false;  // holds one displayed formula (m:oMathPara) and nothing else
    QVector<int> tabStops;     // left-aligned tab stops, in twips from the left margin; empty: Word's defaults
    int table = -1;            // stands for the table with this index (Document::tables()) and holds no text
    QString bookmark;          // a bookmark round the paragraph, for a PAGEREF field to find its page
    int sectionEnd = -1;       // the last paragraph of the section with this index (Document::sections())
};

// A table spread over the printable width (or `widthTwips`, centred) with a thin border round
// every cell. Each cell is one centred paragraph of text; the first row is the header, bold and,
// unless `repeatHeader` is off, repeated on every page the table runs over.
struct Table {
    QVector<QStringList> rows;  // a row shorter than the longest gets empty cells at its end
    int widthTwips = 0;         // 0: the printable width of an A4 portrait page
    int rowHeightTwips = 0;     // 0: as high as the text needs
    bool repeatHeader = true;
    bool leftAligned = false;   // a narrow table at the start of the line rather than in the middle
    bool keepWithNext = false;  // kept on the page of the paragraph after the table
};

// The page of a section of the document. The defaults are the plain document: A4 portrait,
// one column, no header or footer.
struct PageSetup {
    int widthTwips = 11906;  // twentieths of a point, the page as it lies (landscape: the long side)
    int heightTwips = 16838;
    bool landscape = false;
    int columns = 1;
    int marginTop = 1440;
    int marginRight = 1800;
    int marginBottom = 1440;
    int marginLeft = 1800;
    // A footer "第 x 页 共 y 页" on every page, x and y being Word fields (PAGE, NUMPAGES).
    bool pageNumbers = false;
    // With page numbers: y is the page of this bookmark (the section's last page) rather than the
    // document's page count, so that pages after it are not counted.
    QString lastPageBookmark;
    // With page numbers on two columns: each column is numbered as a page, "第 2x−1 页" under the
    // left one and "第 2x 页" under the right one (formula fields over PAGE), y doubled.
    bool columnPageNumbers = false;
    // A sealing column (密封线) on the left margin of every odd page: a text box running bottom to
    // top holding these lines side by side. Empty: no sealing column.
    QStringList sealLines;
};


struct Picture {
    QString name;                               // shown as the picture's name in the word processor
    QByteArray png;                             // the picture's file (a PNG unless `extension` says otherwise)
    QSize size;                                 // its size in pixels, shown at 96 dpi
    QString extension = QStringLiteral("png");  // "png" or "jpeg"
};

// The width and height of the page's printable area, in pixels at 96 dpi (A4, the margins below).
constexpr int kPrintableWidthPixels = 553;
constexpr int kPrintableHeightPixels = 930;

// EMU (the drawing unit of Office documents) in a pixel at 96 dpi, a twip and a centimetre.
constexpr qint64 kEmuPerPixel = 9525;
constexpr qint64 kEmuPerTwip = 635;
constexpr qint64 kEmuPerCm = 360000;
// The space between two text columns, in twips.
constexpr int kColumnSpaceTwips = 850;

// The width of one text column of a page, and the height of its printable area, in twips.
int columnWidthTwips(const PageSetup& page);
int printableHeightTwips(const PageSetup& page);

class Document {
public:
    Document();

    // Appends text at the end; "\r" ends a paragraph, "\v" breaks the line. Tabs are kept and
    // characters that a document cannot hold (other control characters) are left out.
    void append(const QString& text);
    // Registers a picture (stored once however often it is placed) and returns its index.
    int addPicture(const QString& name, const QImage& image);
    // Registers a picture file as it is (PNG or JPEG bytes), shown at `size` pixels at 96 dpi.
    int addPictureFile(const QString& name, const QByteArray& bytes, const QString& extension, QSize size);
    // Places a registered picture at the end of the last paragraph, inline with its text, or as
    // `placement` says.
    void appendPicture(int picture, const PicturePlacement& placement = {});
    // An inline formula (an m:oMath element) at the end of the last paragraph.
    void appendMath(const QString& omml);
    // A displayed formula: a centred paragraph of its own. The text after it starts a new
    // paragraph; a paragraph end appended right after it adds no empty paragraph.
    void appendDisplayMath(const QString& omml);
    // A table after the last paragraph (which is kept when it holds anything); text appended
    // later goes into a new paragraph below the table.
    void appendTable(const Table& table);
    // Puts a picture in place of the last paragraph's contents, as pasting it over the
    // document's last sentence does.
    void replaceLastParagraphWithPicture(int picture);
    // A page break at the end of the last paragraph; text appended later follows it on the next page.
    void insertPageBreak();
    // Formats the paragraph with the given index (0 = the first).
    void format(int paragraph, double points, bool bold, bool centred);
    // Keeps the paragraph with the given index on the page of the paragraph after it.
    void keepWithNext(int paragraph);
    // Names the last paragraph for a PAGEREF field.
    void bookmarkLastParagraph(const QString& name);
    // Ends the current section with the last paragraph; what is appended later starts a new page
    // in a section set up as `next`, with headers and footers of its own.
    void startSection(const PageSetup& next);
    // The page of the current (last) section.
    // Left-aligned tab stops for the paragraph with the given index, in twips from the left margin.
    void setTabStops(int paragraph, const QVector<int>& twips);
    void setPageSetup(const PageSetup& page) { page_ = page; }
    const PageSetup& pageSetup() const { return page_; }
    // The sections before the current one, in order.
    const QVector<PageSetup>& sections() const { return sections_; }

    const QVector<Paragraph>& paragraphs() const { return paragraphs_; }
    const QVector<Picture>& pictures() const { return pictures_; }
    const QVector<Table>& tables() const { return tables_; }

    // The complete package as the bytes of a .docx file. Throws AppError when it cannot be built.
    QByteArray package() const;

    // The parts of the package, exposed for the package builder and for inspection.
    QByteArray contentTypesXml() const;
    QByteArray packageRelationshipsXml() const;
    QByteArray documentXml() const;
    QByteArray documentRelationshipsXml() const;
    QByteArray stylesXml() const;
    // Headers, footers and settings exist only when a section's page setup asks for them; then
    // every section has its own (header1/2 and footer1/2 for the first section, 3/4 the second…).
    bool hasHeadersAndFooters() const;
    QByteArray settingsXml() const;
    QByteArray headerXml(bool odd, int section = 0) const;
    QByteArray footerXml(int section = 0) const;


private:
    void appendText(const QString& text);
    QVector<Paragraph> paragraphs_;
    QVector<Picture> pictures_;
    QVector<Table> tables_;
    const PageSetup& sectionPage(int section) const;
    PageSetup page_;
    QVector<PageSetup> sections_;
    bool afterDisplayMath_ = false;
};

// Packs named parts into a zip archive in memory (libzip). Throws AppError with libzip's text.
QByteArray zipParts(const QVector<QPair<QString, QByteArray>>& parts);

}  // namespace docx
