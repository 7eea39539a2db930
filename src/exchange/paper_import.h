#pragma once
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include "exchange/text_encoding.h"

// Reading questions out of a document: old papers, exercise collections and answer keys written
// in Word or another word processor, in the layouts Chinese papers use.
namespace exchange {

// One question as found in a file, with what the importer will store for it. Texts use the
// content model (formulas between \( \) or \[ \], picture markers).
struct ImportedQuestion {
    QString number;       // its number in the file ("1", "12")
    int section = -1;     // index into ImportedPaper::sections, -1 before any heading
    int paragraph = 0;    // the paragraph of the file where it starts, counted from 1
    QString typeName;     // question type name (txb.txm)
    QString chapterName;  // chapter name (zjb.zjm)
    QString difficulty;   // stb.nd
    QString score;        // stb.fs
    QString text;         // stb.tm: the question with its options
    QString answer;       // stb.da: the answer, then the explanation
    int options = 0;      // option lines or option labels found
    QStringList warnings;
    // Moodle XML and GIFT: the platform's kind of question ("multichoice", "truefalse", …) that
    // decides the type, and the type a category path of three levels named (kept when the subject
    // has it). Both empty for documents.
    QString sourceKind;
    QString categoryType;
    // Knowledge points (知识点) as paths "上级/名称", from Moodle XML tags or set in 导入试题;
    // linked to the stored question, the missing ones created (knowledge::resolve).
    QStringList knowledge;
};

// A section heading such as "一、选择题（每小题3分，共30分）".
struct ImportedSection {
    QString heading;
    QString typeName;  // "选择题"
    QString score;     // "3", empty when the heading gives no points per question
};

// A paragraph that belongs to no question; listed for the user, never dropped silently.
struct LooseParagraph {
    int paragraph = 0;
    QString text;
};

struct ImportedPaper {
    QVector<ImportedSection> sections;
    QVector<ImportedQuestion> questions;
    QVector<LooseParagraph> loose;
    // Pictures the texts place, by content hash, each held once until the questions are stored.
    QHash<QString, QByteArray> pictures;
    // Pictures the file only refers to (a local path or a web address): never read nor fetched,
    // listed for the user; their place in the text says "[图片未导入]".
    QStringList skippedPictures;
    // Questions of kinds this program cannot store (Moodle's cloze, matching, …): the kind and how
    // many, in order of first appearance. Each is also listed as a loose paragraph.
    QVector<QPair<QString, int>> unsupported;
    // Entries of an answer key that name no question of the file ("12．B" in a paper of ten
    // questions), as written, with their paragraph; listed for the user, never stored.
    QVector<LooseParagraph> unmatchedKeys;
    // Lines of an answer key without a number of their own, joined to the answer before them.
    int keyLinesJoined = 0;
    // The encoding a plain-text file was read in ("GB18030"); empty for other documents.
    QString encoding;
};

// Recognises questions in the paragraphs of a document (one text per paragraph or line, in order):
// section headings, numbered questions, options, inline answers and explanations, and an answer
// key at the end. `pictures` are those the paragraphs place.
ImportedPaper recognise(const QStringList& paragraphs, const QHash<QString, QByteArray>& pictures = {});

// Where the pictures of a document tree come from: the packed document itself (a .docx or .odt,
// by the path the tree gives) and pictures written into the text as data: addresses. Nothing
// else is read: a path or web address a file names is only listed in `skipped`.
struct PictureSource {
    QString packedPath;  // the .docx or .odt the tree was read from; empty for Markdown and text
    QString packedRoot;  // the folder of the main document inside it ("word/" for .docx)
    QStringList* skipped = nullptr;
};

// The paragraphs of pandoc's JSON document tree as content-model texts: a paragraph per line
// break, list items numbered as the list numbers them, equations as LaTeX, pictures as markers
// with their bytes in `pictures`. A picture that cannot be read becomes "[图片无法读取]", one the
// file only refers to "[图片未导入]". Throws AppError when the tree is not pandoc's JSON.
QStringList paragraphsOfTree(const QByteArray& json, QHash<QString, QByteArray>* pictures,
                             const PictureSource& source = PictureSource());

// Reads a .docx, .odt, .md or .txt file through pandoc (a .doc or .wps after LibreOffice turned
// it into .docx) and recognises its questions. Plain text (.txt, .md, .gift, .xml without an
// encoding declaration) is decoded as `encoding` says, detected when Automatic. Throws AppError
// with a Chinese message when the file cannot be read.
ImportedPaper readDocument(const QString& path, TextEncoding encoding = TextEncoding::Automatic);

// The question type named by a heading or a type column: the subject's type of exactly this
// name, else the one subject type whose name contains it or is contained in it ("选择题" finds
// "单项选择题"), else the name itself (a type to create).
QString matchTypeName(const QString& name, const QStringList& subjectTypes);

}  // namespace exchange
