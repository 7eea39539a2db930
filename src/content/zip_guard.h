#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

typedef struct zip zip_t;

// Packed documents (.docx, .odt: zip archives) checked before anything unpacks them. A few hundred
// kilobytes of zip can unpack to gigabytes; pandoc and our own readers would then exhaust memory.
// The sizes are counted by unpacking, not taken from the archive's own directory, which a hostile
// file may fill with anything.
namespace packed {

struct Limits {
    qint64 totalBytes = 200LL << 20;     // all entries together, unpacked
    qint64 entryBytes = 100LL << 20;     // any one entry (a picture, a font)
    qint64 xmlBytes = 50LL << 20;        // any one XML entry (word/document.xml, content.xml)
    int entries = 10000;                 // entries in the archive
    qint64 ratioFloorBytes = 8LL << 20;  // entries this large must not have packed better than…
    int ratio = 200;                     // …this many times
};

// One packed document, open for reading while it lives.
class Archive {
public:
    // Opens the file; throws AppError ("…文件已损坏、受密码保护…") when it is not a zip archive.
    Archive(const QString& path, const QString& subject);
    // The same for an archive already read into memory (a file the user picked, read once).
    struct InMemory {};
    Archive(InMemory, const QByteArray& bytes, const QString& subject);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Unpacks every entry once, counting; throws AppError with a message naming the file and the
    // limit it passes (too many entries, one entry or all of them too large, absurdly packed) or
    // saying it is damaged.
    void check(const Limits& limits = Limits()) const;

    // The bytes of the entry with this name, or nothing when there is no such entry, it is larger
    // than `maxBytes` or cannot be unpacked.
    std::optional<QByteArray> read(const QString& name, qint64 maxBytes) const;

    // Whether the archive has an entry with this name (to tell a missing part from one too large).
    bool contains(const QString& name) const;

private:
    zip_t* zip_ = nullptr;
    QByteArray bytes_;  // an archive in memory: libzip reads from these while it is open
    QString subject_;
};

// Checks the packed document at `path` (see Archive::check).
void check(const QString& path, const QString& subject, const Limits& limits = Limits());

}  // namespace packed
