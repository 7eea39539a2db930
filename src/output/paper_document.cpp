#include "output/paper_document.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <optional>

#include "content/content.h"
#include "content/formulas.h"
#include "content/svg_safety.h"
#include "data/convert.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/lookups.h"
#include "data/sql.h"
#include "output/docx_package.h"
#include "output/paper_pictures.h"
#include "output/print_layout.h"

namespace {

bool hasMarkers(const PaperContent& paper)
{
    for (const PaperSection& section : paper.sections) {
        for (const PaperQuestion& q : section.questions) {
            if (content::hasMarkers(q.text) || content::hasMarkers(q.answer)) return true;
        }
    }
    return false;
}

// Where a formula stands in the paper, for messages: "一、第2题（答案）：x^{2".
struct FormulaPlace {
    QString where;
    QString latex;
};

QVector<FormulaPlace> formulaPlaces(const PaperContent& paper)
{
    QVector<FormulaPlace> places;
    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        for (int k = 0; k < section.questions.size(); ++k) {
            const PaperQuestion& q = section.questions.at(k);
            for (const auto& [text, part] :
                 {std::pair{&q.text, QStringLiteral("题目")}, std::pair{&q.answer, QStringLiteral("答案")}}) {
                for (const content::Segment& s : content::parse(*text)) {
                    if (s.kind != content::Segment::InlineMath && s.kind != content::Segment::DisplayMath) continue;
                    places.append(
                        {QStringLiteral("%1、第%2题（%3）").arg(NumConvert(i + 1)).arg(k + 1).arg(part), s.text});
                }
            }
        }
    }
    return places;
}

QString shownSource(const QString& latex)
{
    QString source = latex.simplified();
    if (source.size() > 80) source = source.left(80) + QStringLiteral("…");
    return source;
}

// At most 20 lines, then how many more.
QString listed(QStringList lines)
{
    if (lines.size() > 20) {
        const qsizetype more = lines.size() - 20;
        lines = lines.mid(0, 20);
        lines << QStringLiteral("……另有 %1 处").arg(more);
    }
    return lines.join(QLatin1Char('\n'));
}

// Converts every formula of the paper (from the cache, the rest with pandoc, one run per formula)
// and loads its pictures. A formula that may not be printed, that pandoc cannot convert or does
// not convert in time stops the paper: the message names each question (section numeral, number,
// question or answer) and the formula.
PaperMedia prepareMedia(const QSqlDatabase& db, const PaperContent& paper, const FormulaConverter& convert)
{
    PaperMedia media;
    QSet<QString> hashes;
    for (const PaperSection& section : paper.sections) {
        for (const PaperQuestion& q : section.questions) {
            for (const QString& hash : content::pictureHashes(q.text) + content::pictureHashes(q.answer)) {
                hashes.insert(hash);
            }
        }
    }
    const QVector<FormulaPlace> places = formulaPlaces(paper);

    // A formula that could end early or read a file never reaches pandoc.
    QStringList refused;
    for (const FormulaPlace& place : places) {
        const QString reason = content::formulaRefusal(place.latex);
        if (!reason.isEmpty())
            refused << place.where + QStringLiteral("：") + shownSource(place.latex) + QStringLiteral("（") + reason +
                           QStringLiteral("）");
    }
    if (!refused.isEmpty()) {
        throw AppError(QStringLiteral("下列公式不能使用，试卷没有生成。请在录入试题中改正后再试：\n") +
                       listed(refused));
    }

    QStringList latex;
    for (const FormulaPlace& place : places) latex << place.latex;
    formulas::Lookup found = formulas::lookup(db, latex);
    const formulas::Conversion fresh = found.missing.isEmpty() ? formulas::Conversion()
                                       : convert               ? convert(found.missing)
                                                               : formulas::convertWithPandoc(found.missing);
    formulas::remember(db, fresh);
    formulas::Conversion conversion = found.known;
    for (auto it = fresh.omml.constBegin(); it != fresh.omml.constEnd(); ++it)
        conversion.omml.insert(it.key(), it.value());
    conversion.failed << fresh.failed;
    conversion.timedOut << fresh.timedOut;

    if (!conversion.failed.isEmpty() || !conversion.timedOut.isEmpty()) {
        const QSet<QString> failed(conversion.failed.cbegin(), conversion.failed.cend());
        const QSet<QString> slow(conversion.timedOut.cbegin(), conversion.timedOut.cend());
        QStringList lines;
        for (const FormulaPlace& place : places) {
            if (failed.contains(place.latex)) {
                lines << place.where + QStringLiteral("：") + shownSource(place.latex);
            } else if (slow.contains(place.latex)) {
                lines << place.where + QStringLiteral("：") + shownSource(place.latex) +
                             QStringLiteral("（转换超过 %1 秒仍未完成，请简化这个公式）")
                                 .arg(formulas::kFormulaTimeoutMs / 1000);
            }
        }
        throw AppError(QStringLiteral("下列公式无法转换为 Word 公式，试卷没有生成。请在录入试题中改正后再试：\n") +
                       listed(lines));
    }
    media.omml = conversion.omml;
    for (const QString& hash : hashes) {
        if (auto picture = content::loadPicture(db, hash)) media.pictures.insert(hash, *picture);
    }
    return media;
}

QString heading(int index, const PaperSection& section)
{
    return NumConvert(index + 1) + QStringLiteral("、") + inParagraph(section.typeName) +
           QStringLiteral("（本题共%1道小题，共%2分。）").arg(section.count).arg(section.points);
}

// The paper, then after a page break its answer key. Built by appending text at the end of the
// document, each "\r" ending a paragraph, so the paragraphs fall where a word processor fed the
// same text would put them.
docx::Document buildPaperDocument(const PaperContent& paper, PaperMedia* media)
{
    // This document keeps showing a picture without a width of its own at the picture's own size.
    if (media) media->defaultSize = PaperMedia::Natural;
    docx::Document doc;
    const QString title = inParagraph(paper.title);
    doc.append(title + QStringLiteral("\r"));
    doc.append(QStringLiteral("（时间：") + inParagraph(paper.duration) + QStringLiteral("分钟  总分：") +
               inParagraph(paper.total) + QStringLiteral("分）\r\r"));
    doc.append(QStringLiteral(" "));
    doc.format(0, 16, true, true);
    doc.format(1, 11, true, true);

    // The score summary takes the place of the space just appended, in a paragraph of its own.
    doc.replaceLastParagraphWithPicture(doc.addPicture(QStringLiteral("ImageBiao1"), pictures::ImageBiao1()));
    doc.append(QStringLiteral("\r\r"));
    doc.append(QStringLiteral(" "));

    const int scoreBox = doc.addPicture(QStringLiteral("ImageBiao2"), pictures::ImageBiao2());
    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        doc.append(QStringLiteral(" \r"));
        doc.replaceLastParagraphWithPicture(scoreBox);
        doc.append(QStringLiteral("\r"));
        doc.append(heading(i, section) + QStringLiteral("\r"));
        int k = 0;
        for (const PaperQuestion& q : section.questions) {
            appendPaperContent(doc, QString::number(++k) + QStringLiteral(". "), q.text, media);
        }
        doc.append(QStringLiteral("\r"));
    }

    doc.insertPageBreak();
    doc.append(title + QStringLiteral("(参考答案)\r\r"));
    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        doc.append(heading(i, section) + QStringLiteral("\r"));
        int k = 0;
        for (const PaperQuestion& q : section.questions) {
            appendPaperContent(doc, QString::number(++k) + QStringLiteral(". "), q.answer, media);
        }
        doc.append(QStringLiteral("\r"));
    }

    // The blueprint, when asked for, on a page of its own after the answer key.
    appendBlueprint(doc, paper);
    return doc;
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A paper write killed before its rename leaves its temporary file behind. A running write touches
// its file within milliseconds, so one untouched for a minute belongs to no writer and goes.
void removeStaleTemporaryFiles(const QDir& dir)
{
    static const QRegularExpression kTemporary(QStringLiteral("^\\.exavoro-[A-Za-z0-9]{6}\\.part$"));
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList candidates = dir.entryInfoList({QStringLiteral(".exavoro-*.part")},
                                                       QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QFileInfo& file : candidates) {
        if (kTemporary.match(file.fileName()).hasMatch() && file.lastModified().toUTC() < cutoff) {
            QFile::remove(file.filePath());
        }
    }
}

// Why a write into `folder` failed, in words a user can act on. `code` is errno right after the
// failing call; the file's own error text is used only when it names a cause.
QString writeFailureCause(const QFileDevice& file, int code, const QString& folder, qint64 needed)
{
    if (code == ENOSPC) return QStringLiteral("磁盘空间不足，请腾出空间后再试");
#ifdef EDQUOT
    if (code == EDQUOT) return QStringLiteral("已超出磁盘配额，请腾出空间后再试");
#endif
    if (code == EACCES || code == EPERM) return QStringLiteral("没有写入这个文件夹的权限");
    if (code == EROFS) return QStringLiteral("磁盘是只读的");
    if (code == EFBIG) return QStringLiteral("文件超出了系统允许的大小");
    if (code == EIO) return QStringLiteral("磁盘读写出错");
    QStorageInfo volume(folder);
    volume.refresh();
    if (file.error() == QFileDevice::ResourceError ||
        (volume.isValid() && volume.bytesAvailable() >= 0 && volume.bytesAvailable() < needed)) {
        return QStringLiteral("磁盘空间不足，请腾出空间后再试");
    }
    if (file.error() == QFileDevice::PermissionsError) return QStringLiteral("没有写入这个文件夹的权限");
    if (volume.isValid() && volume.isReadOnly()) return QStringLiteral("磁盘是只读的");
    if (file.error() != QFileDevice::NoError && file.error() != QFileDevice::UnspecifiedError &&
        !file.errorString().isEmpty()) {
        return file.errorString();
    }
    return QStringLiteral("写入失败");
}

[[noreturn]] void throwWriteFailure(const QFileDevice& file, int code, const QString& folder, qint64 needed)
{
    throw AppError(QStringLiteral("无法写入文件夹“%1”：%2。试卷没有保存。")
                       .arg(native(folder), writeFailureCause(file, code, folder, needed)));
}

// Writes all of `bytes`. A short write (the disk filled up part way) is followed by another for the
// rest, which then fails with the reason; Qt reports none for the short write itself.
void writeAll(QFileDevice& file, const QByteArray& bytes, const QString& folder)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) throwWriteFailure(file, errno, folder, bytes.size());
        done += written;
    }
    errno = 0;
    if (file.flush()) return;
    // The buffer keeps what a short flush left; flushing it again meets the failure itself.
    errno = 0;
    if (!file.flush()) throwWriteFailure(file, errno, folder, bytes.size());
}

}  // namespace

// The title as a file name: characters no file name may hold become "_", a leading dot would
// hide the file, and the name is kept short enough for any file system.
QString fileBaseName(const QString& title)
{
    static const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
    QString name;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title.at(i);
        // Half of a character (a surrogate without its partner) has no spelling in a file name.
        if (c.isHighSurrogate() && (i + 1 == title.size() || !title.at(i + 1).isLowSurrogate())) continue;
        if (c.isLowSurrogate() && (i == 0 || !title.at(i - 1).isHighSurrogate())) continue;
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
        name.append(control || kForbidden.contains(c) ? QLatin1Char('_') : c);
    }
    name = name.trimmed();
    if (name.startsWith(QLatin1Char('.'))) name[0] = QLatin1Char('_');
    constexpr int kMaxLength = 80;
    if (name.size() > kMaxLength) {
        name.truncate(kMaxLength);
        if (name.back().isHighSurrogate()) name.chop(1);
        name = name.trimmed();
    }
    return name.isEmpty() ? QStringLiteral("试卷") : name;
}

PaperContent collectPaper(const QString& kmh, const QStringList& typeNames, const QString& title,
                          const QString& duration, const QString& total)
{
    PaperContent paper;
    paper.title = title;
    paper.duration = duration;
    paper.total = total;
    for (const QString& name : typeNames) {
        PaperSection section;
        section.typeName = name;
        const QString txh = TxmToTxh(kmh, name);
        QSqlQuery rows = sql::run(
            DM->db(), QStringLiteral("SELECT fs, tm, da FROM sjb WHERE kmh=? AND txh=? ORDER BY id"), {kmh, txh});
        double sum = 0;
        while (rows.next()) {
            const double score = convert::toFloat(rows.value(0).toString());
            sum += score;
            section.questions.append(PaperQuestion{rows.value(1).toString(), rows.value(2).toString(), score});
        }
        section.count = int(section.questions.size());
        section.points = convert::roundHalfEven(sum);
        paper.sections.append(section);
    }
    return paper;
}

namespace {

// Writes a document's bytes into `folder` as "base.docx" ("base (2).docx", … when taken).
QString writeDocumentFile(const QByteArray& bytes, const QString& folder, const QString& base)
{
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        throw AppError(QStringLiteral("无法创建文件夹“%1”，试卷没有保存。").arg(native(folder)));
    }
    const QDir dir(folder);
    removeStaleTemporaryFiles(dir);
    // Written under a temporary name first; removed again by the destructor unless renamed.
    QTemporaryFile temp(dir.filePath(QStringLiteral(".exavoro-XXXXXX.part")));
    temp.setAutoRemove(true);
    errno = 0;
    if (!temp.open()) throwWriteFailure(temp, errno, folder, bytes.size());
    // A paper is an ordinary document of the user's: it gets the permissions the user's umask gives
    // new files (the temporary file itself starts as the owner's only).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(temp.handle(), 0666 & ~mask);
    writeAll(temp, bytes, folder);
    errno = 0;
    temp.close();
    if (temp.error() != QFileDevice::NoError) throwWriteFailure(temp, errno, folder, bytes.size());

    // Never overwrite: "标题.docx", then "标题 (2).docx", "标题 (3).docx", …
    for (int n = 1; n < 100000; ++n) {
        const QString name = n == 1 ? base + QStringLiteral(".docx") : QStringLiteral("%1 (%2).docx").arg(base).arg(n);
        const QString target = dir.filePath(name);
        const QFileInfo existing(target);
        if (existing.exists() || existing.isSymLink()) continue;
        if (QFile::rename(temp.fileName(), target)) {
            temp.setAutoRemove(false);
            return target;
        }
        const QFileInfo now(target);
        if (!now.exists() && !now.isSymLink()) {
            throw AppError(QStringLiteral("无法保存文件“%1”，试卷没有保存。").arg(native(target)));
        }
    }
    throw AppError(QStringLiteral("文件夹“%1”中同名的试卷太多，试卷没有保存。").arg(native(folder)));
}

}  // namespace

std::optional<PaperMedia> preparePaperMedia(const PaperContent& paper, const FormulaConverter& convert)
{
    // Formulas and pictures come from the bank; a paper of plain texts needs nothing but its texts.
    if (!hasMarkers(paper)) return std::nullopt;
    return prepareMedia(DM->db(), paper, convert);
}

QString writePaperDocument(const PaperContent& paper, const QString& folder, const FormulaConverter& convert)
{
    std::optional<PaperMedia> media = preparePaperMedia(paper, convert);
    const QByteArray bytes = buildPaperDocument(paper, media ? &*media : nullptr).package();
    return writeDocumentFile(bytes, folder, fileBaseName(paper.title));
}

QStringList writePaperDocuments(const PaperContent& paper, const QString& folder, const PrintLayout& layout,
                                const FormulaConverter& convert)
{
    if (layout.kind == PrintLayout::Standard) return {writePaperDocument(paper, folder, convert)};
    // Both documents are built before anything is written, so a failure to build leaves no file.
    std::optional<PaperMedia> media = preparePaperMedia(paper, convert);
    const QByteArray bytes = buildExamPaper(paper, layout, media ? &*media : nullptr).package();
    const bool separateKey = layout.answerKey == PrintLayout::KeySeparateFile;
    const QByteArray keyBytes =
        separateKey ? buildExamAnswerKey(paper, layout, media ? &*media : nullptr).package() : QByteArray();
    const QString base = fileBaseName(paper.title);
    const QString path = writeDocumentFile(bytes, folder, base);
    if (!separateKey) return {path};
    try {
        return {path, writeDocumentFile(keyBytes, folder, base + QStringLiteral("（参考答案）"))};
    } catch (const AppError&) {
        // A paper without its key is half a result: the paper goes again.
        QFile::remove(path);
        throw;
    }
}
