#include "content/zip_guard.h"

#include <zip.h>

#include <QFile>

#include "data/errors.h"

namespace packed {

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024));
}

// Unpacks entry `index`, counting its bytes and stopping past `maxBytes`. Returns the number of
// bytes, -1 when it cannot be unpacked, or maxBytes + 1 when it is larger. `out` receives the bytes
// when given.
qint64 unpack(zip_t* zip, zip_uint64_t index, qint64 maxBytes, QByteArray* out)
{
    zip_file_t* file = zip_fopen_index(zip, index, 0);
    if (!file) return -1;
    char buffer[64 * 1024];
    qint64 total = 0;
    while (true) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            zip_fclose(file);
            return -1;
        }
        if (n == 0) break;
        total += n;
        if (total > maxBytes) {
            zip_fclose(file);
            return maxBytes + 1;
        }
        if (out) out->append(buffer, qsizetype(n));
    }
    // libzip reports a wrong checksum or length only when the entry is closed.
    return zip_fclose(file) == 0 ? total : -1;
}

}  // namespace

Archive::Archive(const QString& path, const QString& subject) : subject_(subject)
{
    int error = 0;
    zip_ = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!zip_) {
        // Not a zip archive at all: an encrypted Word document is one of these too.
        throw AppError(QStringLiteral("无法读取“%1”：文件已损坏、受密码保护或不是所选格式的文档。").arg(subject));
    }
}

Archive::Archive(InMemory, const QByteArray& bytes, const QString& subject) : bytes_(bytes), subject_(subject)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes_.constData(), zip_uint64_t(bytes_.size()), 0, &error);
    if (source) {
        zip_ = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!zip_) zip_source_free(source);
    }
    zip_error_fini(&error);
    if (!zip_)
        throw AppError(QStringLiteral("无法读取“%1”：文件已损坏、受密码保护或不是所选格式的文档。").arg(subject));
}

Archive::~Archive()
{
    if (zip_) zip_discard(zip_);
}

void Archive::check(const Limits& limits) const
{
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    if (count < 0) throw AppError(QStringLiteral("无法读取“%1”：文件已损坏。").arg(subject_));
    if (count > limits.entries) {
        throw AppError(QStringLiteral("“%1”包含 %2 个文件，超过上限 %3 个，不予读取（可能是恶意构造的文档）。")
                           .arg(subject_)
                           .arg(count)
                           .arg(limits.entries));
    }
    const QString tooLarge =
        QStringLiteral("“%1”解压后太大：%2，超过上限 %3 MB，不予读取（可能是恶意构造的“压缩炸弹”）。");
    qint64 total = 0;
    for (zip_uint64_t i = 0; i < zip_uint64_t(count); ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip_, i, 0, &st) != 0)
            throw AppError(QStringLiteral("无法读取“%1”：文件已损坏。").arg(subject_));
        const QString name = QString::fromUtf8(st.name ? st.name : "");
        const bool xml = name.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) ||
                         name.endsWith(QLatin1String(".rels"), Qt::CaseInsensitive);
        const qint64 entryLimit = std::min(xml ? limits.xmlBytes : limits.entryBytes, limits.totalBytes - total);
        // The directory's own figures refuse the plain bombs at once; the unpacking below holds
        // even when the directory lies.
        const qint64 declared = (st.valid & ZIP_STAT_SIZE) ? qint64(std::min<zip_uint64_t>(st.size, INT64_MAX)) : 0;
        qint64 size = declared > entryLimit ? entryLimit + 1 : unpack(zip_, i, entryLimit, nullptr);
        if (size < 0) throw AppError(QStringLiteral("无法读取“%1”：文件已损坏（“%2”无法解压）。").arg(subject_, name));
        if (size > entryLimit) {
            if (entryLimit < (xml ? limits.xmlBytes : limits.entryBytes)) {
                throw AppError(tooLarge.arg(subject_, QStringLiteral("全部内容")).arg(megabytes(limits.totalBytes)));
            }
            throw AppError(tooLarge.arg(subject_, QStringLiteral("其中的“%1”").arg(name))
                               .arg(megabytes(xml ? limits.xmlBytes : limits.entryBytes)));
        }
        const qint64 packedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? qint64(st.comp_size) : 0;
        if (size >= limits.ratioFloorBytes && size > qint64(limits.ratio) * std::max<qint64>(packedSize, 1)) {
            throw AppError(QStringLiteral("“%1”中的“%2”压缩比异常（%3 倍），不予读取（可能是恶意构造的“压缩炸弹”）。")
                               .arg(subject_, name)
                               .arg(size / std::max<qint64>(packedSize, 1)));
        }
        total += size;
    }
}

std::optional<QByteArray> Archive::read(const QString& name, qint64 maxBytes) const
{
    const zip_int64_t index = zip_name_locate(zip_, name.toUtf8().constData(), 0);
    if (index < 0) return std::nullopt;
    QByteArray bytes;
    const qint64 size = unpack(zip_, zip_uint64_t(index), maxBytes, &bytes);
    if (size < 0 || size > maxBytes) return std::nullopt;
    return bytes;
}

bool Archive::contains(const QString& name) const
{
    return zip_name_locate(zip_, name.toUtf8().constData(), 0) >= 0;
}

void check(const QString& path, const QString& subject, const Limits& limits)
{
    Archive(path, subject).check(limits);
}

}  // namespace packed
