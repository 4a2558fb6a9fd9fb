#include "mods/zipindex.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {

using Status = VxZipIndex::Status;

constexpr qint64 endRecordSize = 22;
constexpr qint64 maxCommentSize = 0xffff;
constexpr qint64 locatorSize = 20;
constexpr qint64 directoryRecordSize = 46;
constexpr qint64 localHeaderSize = 30;
constexpr quint32 unknown32 = 0xffffffff;
constexpr quint16 utf8NameFlag = 1 << 11;

quint16 u16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}
quint64 u64(const char *p)
{
    return qFromLittleEndian<quint64>(p);
}

bool readAt(QFile &file, qint64 offset, qint64 size, QByteArray &bytes)
{
    if (offset < 0 || !file.seek(offset))
        return false;
    bytes = file.read(size);
    return bytes.size() == size;
}

VxZipIndex result(Status status, qint64 entries = 0, const QString &entry = QString())
{
    VxZipIndex index;
    index.status = status;
    index.entries = entries;
    index.entry = entry;
    return index;
}

// Where the directory is, from the end record (or the zip64 one it points to); the end
// record's own offset is where the directory must end.
struct Directory
{
    qint64 end = -1;
    quint64 entries = 0;
    quint64 size = 0;
    quint64 offset = 0;
};

bool findDirectory(QFile &file, Directory &directory)
{
    const qint64 fileSize = file.size();
    const qint64 tailSize = std::min(fileSize, endRecordSize + maxCommentSize);
    QByteArray tail;
    if (!readAt(file, fileSize - tailSize, tailSize, tail))
        return false;
    // The last end record whose comment fits in the file: a comment may hold anything.
    qint64 at = tailSize - endRecordSize;
    for (; at >= 0; --at) {
        const char *p = tail.constData() + at;
        if (p[0] == 'P' && p[1] == 'K' && p[2] == 5 && p[3] == 6 &&
            at + endRecordSize + u16(p + 20) <= tailSize)
            break;
    }
    if (at < 0)
        return false;
    const char *end = tail.constData() + at;
    directory.end = fileSize - tailSize + at;
    directory.entries = u16(end + 10);
    directory.size = u32(end + 12);
    directory.offset = u32(end + 16);
    if (directory.entries != 0xffff && directory.size != unknown32 && directory.offset != unknown32)
        return true;
    // Zip64: a locator just before the end record points at the larger end record.
    QByteArray locator;
    if (!readAt(file, directory.end - locatorSize, locatorSize, locator) ||
        !locator.startsWith("PK\x06\x07"))
        return false;
    const qint64 end64 = qint64(std::min<quint64>(u64(locator.constData() + 8), quint64(fileSize)));
    QByteArray record;
    if (!readAt(file, end64, 56, record) || !record.startsWith("PK\x06\x06"))
        return false;
    directory.end = end64;
    directory.entries = u64(record.constData() + 32);
    directory.size = u64(record.constData() + 40);
    directory.offset = u64(record.constData() + 48);
    return true;
}

// The local header offset of a record, from the zip64 extra field where the record has none.
bool localOffset(const char *record, const QByteArray &extra, quint64 &offset)
{
    offset = u32(record + 42);
    if (offset != unknown32)
        return true;
    // The zip64 field holds the sizes first, each only where the record has none.
    qsizetype skip =
        (u32(record + 24) == unknown32 ? 8 : 0) + (u32(record + 20) == unknown32 ? 8 : 0);
    for (qsizetype at = 0; at + 4 <= extra.size();) {
        const quint16 id = u16(extra.constData() + at);
        const quint16 size = u16(extra.constData() + at + 2);
        if (id == 1 && skip + 8 <= size && at + 4 + skip + 8 <= extra.size()) {
            offset = u64(extra.constData() + at + 4 + skip);
            return true;
        }
        at += 4 + size;
    }
    return false;
}

} // namespace

VxZipIndex readZipIndex(const QString &path, qint64 maxEntries)
{
    QFile file(path);
    QFile local(path);
    if (!file.open(QIODevice::ReadOnly) || !local.open(QIODevice::ReadOnly))
        return result(Status::Unreadable);
    Directory directory;
    if (!findDirectory(file, directory) || directory.size > quint64(directory.end))
        return result(Status::Damaged);
    if (directory.entries > quint64(maxEntries))
        return result(Status::TooMany, qint64(directory.entries));
    // Data in front of the zip (a self-extractor's program) shifts every offset by its size.
    const qint64 start = directory.end - qint64(directory.size);
    const qint64 shift = start - qint64(std::min<quint64>(directory.offset, quint64(start)));
    if (!file.seek(start))
        return result(Status::Unreadable);

    // Each record's local header and name, to find two records that point at one header.
    std::vector<std::pair<quint64, QString>> offsets;
    offsets.reserve(size_t(directory.entries));
    for (quint64 i = 0; i < directory.entries; ++i) {
        const QByteArray record = file.read(directoryRecordSize);
        if (record.size() != directoryRecordSize || !record.startsWith("PK\x01\x02"))
            return result(Status::Damaged);
        const char *p = record.constData();
        const QByteArray name = file.read(u16(p + 28));
        const QByteArray extra = file.read(u16(p + 30));
        const bool utf8 = u16(p + 8) & utf8NameFlag;
        const QString shown = utf8 ? QString::fromUtf8(name) : QString::fromLatin1(name);
        quint64 offset = 0;
        if (name.size() != u16(p + 28) || extra.size() != u16(p + 30) ||
            file.skip(u16(p + 32)) != u16(p + 32) || !localOffset(p, extra, offset))
            return result(Status::Damaged, 0, shown);
        offset += quint64(shift);
        QByteArray header;
        if (offset > quint64(start) ||
            !readAt(local, qint64(offset), localHeaderSize + name.size(), header) ||
            !header.startsWith("PK\x03\x04") || u16(header.constData() + 26) != name.size() ||
            header.mid(localHeaderSize) != name)
            return result(Status::Damaged, 0, shown);
        offsets.emplace_back(offset, shown);
    }
    if (file.pos() != directory.end)
        return result(Status::Damaged);
    const auto byOffset = [](const auto &a, const auto &b) { return a.first < b.first; };
    std::sort(offsets.begin(), offsets.end(), byOffset);
    const auto twice =
        std::adjacent_find(offsets.begin(), offsets.end(),
                           [](const auto &a, const auto &b) { return a.first == b.first; });
    if (twice != offsets.end())
        return result(Status::Damaged, 0, std::next(twice)->second);
    return result(Status::Agrees, qint64(directory.entries));
}
