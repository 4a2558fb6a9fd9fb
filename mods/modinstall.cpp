#include "mods/modinstall.h"

#include "base/feedback.h"
#include "base/fileops.h"
#include "base/gamelock.h"
#include "texts/launchertexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <utility>

#ifdef Q_OS_UNIX
#include <locale.h>
#endif

namespace {

// Archives below this size unpack in a blink: no progress window for them.
constexpr qint64 largeArchiveBytes = qint64(8) << 20;
constexpr int progressSteps = 100;

using Problem = VxInstallProblem;

VxInstallResult refusal(Problem problem, const QString &detail = QString(),
                        const QString &other = QString())
{
    VxInstallResult result;
    result.problem = problem;
    result.detail = detail;
    result.other = other;
    return result;
}

// The file the unpack could not write, and what the system said about it.
QString writeFailure(const QString &path, const QFile &file)
{
    return QDir::toNativeSeparators(path) + QLatin1String(" (") +
           launcherText(VxText::SystemReason).arg(file.errorString()) + QLatin1Char(')');
}

QString modsFolder(const QString &installDir)
{
    return installDir + QLatin1String("/VexilMods");
}

// Windows refuses these whatever follows their first dot ("aux.txt" too).
bool isDeviceName(const QString &name)
{
    // Every device name has three or four letters before its first dot and blanks, which
    // most names are not: those need no copy.
    qsizetype length = name.indexOf(QLatin1Char('.'));
    if (length < 0)
        length = name.size();
    while (length > 0 && name.at(length - 1) == QLatin1Char(' '))
        --length;
    if (length != 3 && length != 4)
        return false;
    const QString stem = name.left(length).toUpper();
    static const QLatin1String fixed[] = {QLatin1String("CON"), QLatin1String("PRN"),
                                          QLatin1String("AUX"), QLatin1String("NUL")};
    for (const QLatin1String &device : fixed) {
        if (stem == device)
            return true;
    }
    return stem.size() == 4 &&
           (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))) &&
           stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}

// A mod is played on Windows: a name it cannot hold would be lost or merged there.
bool isWindowsName(const QString &name)
{
    if (name.isEmpty() || name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : name) {
        switch (c.unicode()) {
        case '<':
        case '>':
        case ':':
        case '"':
        case '|':
        case '?':
        case '*':
            return false;
        default:
            if (c.unicode() < 0x20)
                return false;
        }
    }
    return !isDeviceName(name);
}

// Splits an entry's name into the folder names and file name it lands at, or says why it
// may not land anywhere.
Problem splitEntryPath(const QString &raw, QStringList &parts)
{
    // A backslash is a separator on Windows: "..\x" would climb out there.
    if (raw.contains(QLatin1Char('\\')) || raw.startsWith(QLatin1Char('/')))
        return Problem::UnsafePath;
    if (raw.size() >= 2 && raw.at(1) == QLatin1Char(':') && raw.at(0).isLetter())
        return Problem::UnsafePath;
    parts.clear();
    for (const QString &part : raw.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String(".."))
            return Problem::UnsafePath;
        if (!isWindowsName(part))
            return Problem::WindowsName;
        parts.append(part);
    }
    return Problem::None;
}

QString entryName(archive_entry *entry)
{
    if (const char *utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
#ifdef Q_OS_WIN
    if (const wchar_t *wide = archive_entry_pathname_w(entry))
        return QString::fromWCharArray(wide);
#endif
    if (const char *raw = archive_entry_pathname(entry))
        return QString::fromLocal8Bit(raw);
    return QString();
}

// The bytes a name takes in UTF-8, as file systems count them.
qsizetype utf8Size(QStringView name)
{
    qsizetype size = 0;
    for (const QChar c : name)
        size += c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 || c.isSurrogate() ? 2 : 3;
    return size;
}

// A name too long to show whole in a message keeps both its ends, where a person finds it.
QString shortened(const QString &name)
{
    constexpr qsizetype head = 60;
    constexpr qsizetype tail = 40;
    if (name.size() <= head + tail + 1)
        return name;
    qsizetype end = head;
    if (name.at(end - 1).isHighSurrogate())
        --end;
    qsizetype start = name.size() - tail;
    if (name.at(start).isLowSurrogate())
        ++start;
    return name.left(end) + QChar(0x2026) + name.mid(start);
}

struct ArchiveCloser
{
    void operator()(archive *a) const { archive_read_free(a); }
};
using ArchivePointer = std::unique_ptr<archive, ArchiveCloser>;

#ifdef Q_OS_UNIX
// The library turns names into the C library's locale; in a locale of plain ASCII (LANG=C)
// every name beyond ASCII would come with a warning, which reads as damage. Qt takes file
// names as UTF-8 whatever the locale, so the library does the same while it reads, on this
// thread only.
class Utf8Names
{
public:
    Utf8Names() : m_utf8(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr)))
    {
        if (m_utf8)
            m_previous = uselocale(m_utf8);
    }
    ~Utf8Names()
    {
        if (!m_utf8)
            return;
        uselocale(m_previous);
        freelocale(m_utf8);
    }
    Utf8Names(const Utf8Names &) = delete;
    Utf8Names &operator=(const Utf8Names &) = delete;

private:
    locale_t m_utf8;
    locale_t m_previous = locale_t(nullptr);
};
#else
// Windows hands the library wide names: nothing to set.
struct Utf8Names
{
};
#endif

int openFile(archive *a, const QString &path)
{
#ifdef Q_OS_WIN
    return archive_read_open_filename_w(a, reinterpret_cast<const wchar_t *>(path.utf16()),
                                        1 << 16);
#else
    return archive_read_open_filename(a, QFile::encodeName(path).constData(), 1 << 16);
#endif
}

// The archive library unpacks a gzip stream without checking the CRC-32 and length at its
// end, and a tar inside stops reading before it gets there: damaged data would pass as a good
// file. zlib checks both for every member it reads, so the file is read through it once to its
// end.
bool gzipIntact(const QString &path, QString &why)
{
#ifdef Q_OS_WIN
    gzFile file = gzopen_w(reinterpret_cast<const wchar_t *>(path.utf16()), "rb");
#else
    gzFile file = gzopen(QFile::encodeName(path).constData(), "rb");
#endif
    if (!file) {
        why = QStringLiteral("cannot read it");
        return false;
    }
    const auto closer = qScopeGuard([file] { gzclose_r(file); });
    gzbuffer(file, 1 << 17);
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (;;) {
        const int read = gzread(file, block.data(), unsigned(block.size()));
        if (read > 0)
            continue;
        int code = Z_OK;
        const char *error = gzerror(file, &code);
        if (read == 0 && code == Z_OK)
            return true;
        // zlib puts the path before its message; the message is shown without it.
        const QString message = QString::fromLocal8Bit(error ? error : "");
        why = QStringLiteral("gzip: ") +
              message.mid(message.lastIndexOf(QLatin1String(": ")) + 1).trimmed();
        return false;
    }
}

// Every file and folder an archive unpacks to, a node each, found from its parent one name at
// a time: the cost follows the length of the names, not the square of their depth. Folders
// that only lead to a deeper entry are nodes too, and count against the limit like any other.
class NameTree
{
public:
    static constexpr qint32 top = -1;

    // Adds the path, or says why it may not be added.
    VxInstallResult claim(const QStringList &parts, bool isFile, int maxNodes, qint32 &node)
    {
        // Archives list the files of a folder together: the folders this path shares with the
        // last one are known already, and comparing names costs less than looking them up.
        qsizetype i = 0;
        const qsizetype shared = std::min(parts.size(), m_lastParts.size()) - 1;
        while (i < shared && parts.at(i) == m_lastParts.at(i))
            ++i;
        m_lastNodes.resize(i);
        node = i ? m_lastNodes.at(i - 1) : top;
        m_lastParts = parts;
        for (; i < parts.size(); ++i) {
            const QString &name = parts.at(i);
            const bool file = isFile && i == parts.size() - 1;
            const std::pair<qint32, QString> key(node, name.toCaseFolded());
            const auto found = m_children.constFind(key);
            if (found == m_children.cend()) {
                if (m_nodes.size() >= maxNodes)
                    return refusal(Problem::TooManyEntries, QString::number(maxNodes));
                m_nodes.append({name, node, file});
                node = qint32(m_nodes.size() - 1);
                m_children.insert(key, node);
                m_lastNodes.append(node);
                continue;
            }
            const Node &existing = m_nodes.at(*found);
            if (existing.name != name)
                return refusal(Problem::CaseClash, path(*found),
                               parts.mid(0, i + 1).join(QLatin1Char('/')));
            // A folder may be named again (as the parent of each of its files); a file may not.
            if (existing.isFile || file)
                return refusal(Problem::Duplicate, path(*found));
            node = *found;
            m_lastNodes.append(node);
        }
        return {};
    }

    QString path(qint32 node) const
    {
        QStringList names;
        for (; node != top; node = m_nodes.at(node).parent)
            names.prepend(m_nodes.at(node).name);
        return names.join(QLatin1Char('/'));
    }

private:
    struct Node
    {
        QString name;
        qint32 parent;
        bool isFile;
    };
    QList<Node> m_nodes;
    QHash<std::pair<qint32, QString>, qint32> m_children; // (parent, folded name) -> node
    QStringList m_lastParts;                              // the path claimed last
    QList<qint32> m_lastNodes;                            // its nodes, as far as they were found
};

// Reads one archive into a folder in two passes over it. The first reads every header and
// writes nothing, so a name, a limit or a damaged header refuses the archive before a byte of
// it is on disk; the library skips the data there, by seeking in 7z, plain tar and a zip's
// directory. (A zip's local headers are read as a stream, which must unpack an entry whose sizes
// follow its data to find the next header.) The second writes, and must meet the same entries in
// the same order.
class Unpacker
{
public:
    Unpacker(const QString &archivePath, const QString &target, const VxInstallLimits &limits,
             VxFeedback &feedback)
        : m_archivePath(archivePath), m_target(target), m_limits(limits), m_feedback(feedback)
    {
    }

    VxInstallResult run();

    bool hasInfo = false;
    QString infoFolder; // relative folder holding info.txt, empty for the archive's top
    QString infoName;   // its spelling there ("info.txt", or "INFO.TXT")
    QStringList topNames;
    bool topIsFolder = false;

private:
    struct Entry
    {
        qint32 node;      // in m_names; NameTree::top for the archive's own "./"
        size_t signature; // of the name and type the first pass read
    };

    VxInstallResult open(ArchivePointer &a) const;
    VxInstallResult pass(archive *a, bool writing);
    VxInstallResult examine(archive_entry *item, const QString &raw, QStringList &parts,
                            bool &isFile) const;
    VxInstallResult plan(archive_entry *item, const QStringList &parts, bool isFile);
    VxInstallResult write(archive *a, archive_entry *item, const QString &raw,
                          const QStringList &parts, bool isFile);
    VxInstallResult writeData(archive *a, archive_entry *item, const QString &path,
                              const QString &shown);
    VxInstallResult readFailure(archive *a, const QString &shown) const;
    VxInstallResult openLocalHeaders();
    VxInstallResult matchLocalHeader(archive_entry *item, const QString &raw);
    VxInstallResult headerFailure(archive *a, archive_entry *item, int status) const;
    void progress(archive *a);

    QString m_archivePath;
    QString m_target;
    VxInstallLimits m_limits;
    VxFeedback &m_feedback;
    qint64 m_archiveSize = 0;
    qint64 m_declared = 0; // bytes the headers announce
    qint64 m_written = 0;
    int m_files = 0;
    int m_steps = 0;
    bool m_progress = false;
    NameTree m_names;
    QList<Entry> m_entries;
    // A zip read a second time, as a stream of local headers: the main reading follows the
    // central directory, and the two must list the same entries.
    ArchivePointer m_localHeaders;
};

VxInstallResult Unpacker::open(ArchivePointer &a) const
{
    a.reset(archive_read_new());
    // Only archive formats: mtree, for one, would read files named inside it off the disk. And
    // only compressions the library decodes itself: for some others it runs an outside program.
    // A zip is read through its central directory, the index every archiver lists it by; the
    // streaming reader would take a zip whose index is lost for whole.
    archive_read_support_format_zip_seekable(a.get());
    archive_read_support_format_7zip(a.get());
    archive_read_support_format_rar(a.get());
    archive_read_support_format_rar5(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_filter_gzip(a.get());
    archive_read_support_filter_bzip2(a.get());
    archive_read_support_filter_xz(a.get());
    archive_read_support_filter_zstd(a.get());
    const int opened = openFile(a.get(), m_archivePath);
    if (opened == ARCHIVE_OK)
        return {};
    const char *why = archive_error_string(a.get());
    return refusal(Problem::Unreadable,
                   why ? QString::fromLocal8Bit(why).trimmed() : QStringLiteral("cannot open"));
}

VxInstallResult Unpacker::run()
{
    [[maybe_unused]] const Utf8Names utf8Names; // an empty object on Windows
    m_archiveSize = QFileInfo(m_archivePath).size();
    ArchivePointer a;
    if (VxInstallResult result = open(a); !result.ok())
        return result;

    m_progress = m_archiveSize >= largeArchiveBytes;
    m_feedback.begin(m_progress ? progressSteps : 0);
    m_feedback.setTitle(launcherText(VxText::InstallTitle));
    m_feedback.setLabel(QFileInfo(m_archivePath).fileName());
    if (VxInstallResult result = pass(a.get(), false); !result.ok())
        return result;
    if (m_files == 0)
        return refusal(Problem::NoFiles);
    if (QString why;
        archive_filter_code(a.get(), 0) == ARCHIVE_FILTER_GZIP && !gzipIntact(m_archivePath, why))
        return refusal(Problem::Unreadable, why);
    if (VxInstallResult result = open(a); !result.ok())
        return result;
    if (VxInstallResult result = pass(a.get(), true); !result.ok())
        return result;
    // The archive's index at its end is read without a block of data to count.
    for (; m_progress && m_steps < progressSteps; ++m_steps)
        m_feedback.step();
    return {};
}

VxInstallResult Unpacker::pass(archive *a, bool writing)
{
    qsizetype index = 0;
    for (;; ++index) {
        archive_entry *item = nullptr;
        const int status = archive_read_next_header(a, &item);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            return headerFailure(a, item, status);
        const QString raw = entryName(item);
        QStringList parts;
        bool isFile = false;
        if (VxInstallResult result = examine(item, raw, parts, isFile); !result.ok())
            return result;
        const size_t signature = qHashMulti(0, raw, isFile);
        if (!writing) {
            if (index == 0 && (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP)
                if (VxInstallResult result = openLocalHeaders(); !result.ok())
                    return result;
            if (m_localHeaders)
                if (VxInstallResult result = matchLocalHeader(item, raw); !result.ok())
                    return result;
            if (VxInstallResult result = plan(item, parts, isFile); !result.ok())
                return result;
            m_entries.last().signature = signature;
        } else {
            // The same file read twice must give the same entries; a second read that differs
            // is an archive that cannot be trusted.
            if (index >= m_entries.size() || m_entries.at(index).signature != signature)
                return refusal(Problem::Damaged, shortened(raw));
            if (VxInstallResult result = write(a, item, raw, parts, isFile); !result.ok())
                return result;
            progress(a);
        }
        if (m_feedback.cancelled())
            return refusal(Problem::Cancelled);
    }
    if (writing && index != m_entries.size())
        return refusal(Problem::Damaged, m_names.path(m_entries.at(index).node));
    // A local header the directory does not lead to: two records that point at one header,
    // for one, which the directory's reading makes one entry of.
    if (!writing && m_localHeaders) {
        archive_entry *local = nullptr;
        if (archive_read_next_header(m_localHeaders.get(), &local) != ARCHIVE_EOF)
            return refusal(Problem::Damaged, local ? shortened(entryName(local)) : QString());
        m_localHeaders.reset(); // its work is done: the data comes through the directory
    }
    return {};
}

VxInstallResult Unpacker::openLocalHeaders()
{
    m_localHeaders.reset(archive_read_new());
    archive_read_support_format_zip_streamable(m_localHeaders.get());
    if (openFile(m_localHeaders.get(), m_archivePath) == ARCHIVE_OK)
        return {};
    return readFailure(m_localHeaders.get(), QString());
}

VxInstallResult Unpacker::matchLocalHeader(archive_entry *item, const QString &raw)
{
    archive_entry *local = nullptr;
    if (archive_read_next_header(m_localHeaders.get(), &local) != ARCHIVE_OK || !local ||
        entryName(local) != raw || archive_entry_filetype(local) != archive_entry_filetype(item))
        return refusal(Problem::Damaged, shortened(raw));
    // A local header may leave the sizes to a record after the data; where both readings
    // know the size, it must be the same.
    if (archive_entry_size_is_set(local) && archive_entry_size_is_set(item) &&
        archive_entry_size(local) != archive_entry_size(item))
        return refusal(Problem::Damaged, shortened(raw));
    return {};
}

VxInstallResult Unpacker::headerFailure(archive *a, archive_entry *item, int status) const
{
    // A warning comes with an entry the library could read only in part, a retry after a
    // header it could not read at all and skips: either way something of the mod is missing
    // or changed.
    if (status == ARCHIVE_WARN && item && archive_read_has_encrypted_entries(a) <= 0) {
        if (const QString name = entryName(item); !name.isEmpty())
            return refusal(Problem::Damaged, shortened(name));
    }
    return readFailure(a, QString());
}

VxInstallResult Unpacker::examine(archive_entry *item, const QString &raw, QStringList &parts,
                                  bool &isFile) const
{
    if (raw.isEmpty())
        return refusal(Problem::Unreadable, QStringLiteral("an entry has no name"));
    if (archive_entry_is_encrypted(item))
        return refusal(Problem::Encrypted, raw);
    const auto type = archive_entry_filetype(item);
    if (archive_entry_hardlink(item) || (type != AE_IFREG && type != AE_IFDIR))
        return refusal(Problem::LinkEntry, raw);
    // The limits come before anything that walks the name.
    if (raw.size() > m_limits.maxPathChars)
        return refusal(Problem::PathTooLong, shortened(raw),
                       QString::number(m_limits.maxPathChars));
    if (const Problem problem = splitEntryPath(raw, parts); problem != Problem::None)
        return refusal(problem, raw);
    if (parts.size() > m_limits.maxDepth)
        return refusal(Problem::TooDeep, shortened(raw), QString::number(m_limits.maxDepth));
    for (const QString &part : parts) {
        if (utf8Size(part) > m_limits.maxNameBytes)
            return refusal(Problem::NameTooLong, shortened(raw),
                           QString::number(m_limits.maxNameBytes));
    }
    isFile = type == AE_IFREG;
    // A folder has no data: one that announces some was a file before its header was damaged.
    if (!isFile && archive_entry_size_is_set(item) && archive_entry_size(item) != 0)
        return refusal(Problem::Damaged, raw);
    return {};
}

VxInstallResult Unpacker::plan(archive_entry *item, const QStringList &parts, bool isFile)
{
    m_entries.append({NameTree::top, 0});
    if (parts.isEmpty())
        return {}; // "./", the archive's own top
    if (VxInstallResult result =
            m_names.claim(parts, isFile, m_limits.maxEntries, m_entries.last().node);
        !result.ok())
        return result;
    if (!topNames.contains(parts.constFirst())) {
        topNames.append(parts.constFirst());
        topIsFolder = !isFile || parts.size() > 1;
    }
    if (!isFile)
        return {};
    ++m_files;
    if (parts.constLast().compare(QLatin1String("info.txt"), Qt::CaseInsensitive) == 0) {
        const QString folder = parts.mid(0, parts.size() - 1).join(QLatin1Char('/'));
        if (hasInfo && infoFolder != folder)
            return refusal(Problem::SeveralInfoFiles,
                           infoFolder.isEmpty() ? QStringLiteral("/") : infoFolder,
                           folder.isEmpty() ? QStringLiteral("/") : folder);
        hasInfo = true;
        infoFolder = folder;
        infoName = parts.constLast();
    }
    // The sizes the headers announce refuse a bomb before it is written; the bytes written are
    // counted again, and must come to the same.
    if (archive_entry_size_is_set(item)) {
        const qint64 size = archive_entry_size(item);
        if (size < 0 || size > m_limits.maxUnpackedBytes - m_declared)
            return refusal(Problem::TooLarge, QString::number(m_limits.maxUnpackedBytes >> 20));
        m_declared += size;
        if (m_declared > m_limits.ratioFreeBytes && m_declared / m_limits.maxRatio > m_archiveSize)
            return refusal(Problem::TooCompressed, QString::number(m_limits.maxRatio));
    }
    return {};
}

VxInstallResult Unpacker::write(archive *a, archive_entry *item, const QString &raw,
                                const QStringList &parts, bool isFile)
{
    if (parts.isEmpty())
        return {};
    const QString path = m_target + QLatin1Char('/') + parts.join(QLatin1Char('/'));
    if (isFile)
        return writeData(a, item, path, raw);
    if (!QDir().mkpath(path))
        return refusal(Problem::WriteFailed, QDir::toNativeSeparators(path));
    return {};
}

void Unpacker::progress(archive *a)
{
    if (!m_progress)
        return;
    const qint64 read = archive_filter_bytes(a, -1);
    const int reached = int(qMin<qint64>(progressSteps, read * progressSteps / m_archiveSize));
    for (; m_steps < reached; ++m_steps)
        m_feedback.step();
}

// Some of the library's messages end in a line break, which would split the line it goes into.
VxInstallResult Unpacker::readFailure(archive *a, const QString &shown) const
{
    if (archive_read_has_encrypted_entries(a) > 0)
        return refusal(Problem::Encrypted, shown);
    const char *why = archive_error_string(a);
    return refusal(Problem::Unreadable,
                   why ? QString::fromLocal8Bit(why).trimmed() : QStringLiteral("unknown error"));
}

VxInstallResult Unpacker::writeData(archive *a, archive_entry *item, const QString &path,
                                    const QString &shown)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return refusal(Problem::WriteFailed, QDir::toNativeSeparators(path));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return refusal(Problem::WriteFailed, writeFailure(path, file));
    // The library's own blocks, written as they come: no copy through a buffer of ours, and
    // each block is still in the processor's cache when it is written.
    qint64 position = 0;
    for (;;) {
        const void *block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(a, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            break;
        // A bad checksum is only a warning to the library; to us it is a damaged file.
        if (status != ARCHIVE_OK || offset < position)
            return readFailure(a, shown);
        // A gap before the block (a sparse file) unpacks to zeros like any other byte.
        m_written += offset + qint64(size) - position;
        if (m_written > m_limits.maxUnpackedBytes)
            return refusal(Problem::TooLarge, QString::number(m_limits.maxUnpackedBytes >> 20));
        if (m_written > m_limits.ratioFreeBytes && m_written / m_limits.maxRatio > m_archiveSize)
            return refusal(Problem::TooCompressed, QString::number(m_limits.maxRatio));
        if ((offset != position && !file.seek(offset)) ||
            file.write(static_cast<const char *>(block), qint64(size)) != qint64(size))
            return refusal(Problem::WriteFailed, writeFailure(path, file));
        position = offset + qint64(size);
        progress(a);
    }
    // Where the format records a file's size, the data must come to it: a stream that ends
    // early or runs on is damaged even when no checksum covers it.
    if (archive_entry_size_is_set(item) && position != archive_entry_size(item))
        return refusal(Problem::Damaged, shortened(shown));
    // A file that ends in a gap still has its full length.
    if (file.size() < position && !file.resize(position))
        return refusal(Problem::WriteFailed, writeFailure(path, file));
    if (!file.flush())
        return refusal(Problem::WriteFailed, writeFailure(path, file));
    file.close();
    VxFileOps::operationDone();
    return {};
}

// The entry of VexilMods that stands for name on Windows, whatever its case; empty if none.
QString existingEntry(const QString &mods, const QString &name)
{
    for (const QString &entry : QDir(mods).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return QString();
}

bool renamePath(const QString &from, const QString &to, VxInstallResult &result)
{
    // Asked like every other file operation, so that a test can fail any one of the moves.
    if (VxFileOps::mayProceed(nullptr) && QDir().rename(from, to)) {
        VxFileOps::operationDone();
        return true;
    }
    result = refusal(Problem::WriteFailed, QDir::toNativeSeparators(from) + QLatin1String(" -> ") +
                                               QDir::toNativeSeparators(to));
    return false;
}

// The subfolder of a temporary folder that holds mods moved aside, to be put back when the
// move that was to follow never happened.
const QLatin1String asideFolder("aside");

// A real folder, not a link to one: whatever a link leads to is no leftover of ours.
bool isRealFolder(const QFileInfo &info)
{
    return info.isDir() && !info.isSymLink() && !info.isJunction();
}

// Removes a folder of ours and everything in it, never what a link inside it leads to.
void removeOurFolder(const QString &path)
{
    if (isRealFolder(QFileInfo(path)))
        QDir(path).removeRecursively();
}

// The subfolder of a temporary folder that an archive unpacks into.
const QLatin1String unpackedFolder("unpacked");

// Removes an install's temporary folder; only what it unpacked when a mod set aside in it
// could not be put back, which must stay for the next start to put back, not be lost.
void removeTemporary(const QString &temporary, bool keepAside)
{
    removeOurFolder(keepAside ? temporary + QLatin1Char('/') + unpackedFolder : temporary);
}

void cleanLeftovers(const QString &mods)
{
    const QDir dir(mods);
    for (const QFileInfo &temporary :
         dir.entryInfoList({installTemporaryPrefix + QLatin1Char('*')},
                           QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (!isRealFolder(temporary))
            continue;
        const QString aside = temporary.filePath() + QLatin1Char('/') + asideFolder;
        bool kept = false;
        if (isRealFolder(QFileInfo(aside))) {
            for (const QFileInfo &mod :
                 QDir(aside).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
                if (isRealFolder(mod) && existingEntry(mods, mod.fileName()).isEmpty() &&
                    !QDir().rename(mod.filePath(), mods + QLatin1Char('/') + mod.fileName()))
                    kept = true;
            }
        }
        removeTemporary(temporary.filePath(), kept);
    }
}

// Takes the lock, or says why not.
bool lockGame(VxGameLock &lock, VxInstallResult &result)
{
    switch (lock.tryLock()) {
    case VxGameLock::Result::Acquired:
        return true;
    case VxGameLock::Result::HeldByOther:
        result = refusal(Problem::Locked, lock.holder());
        return false;
    case VxGameLock::Result::Failed:
        break;
    }
    result = refusal(Problem::FolderUnusable, lock.errorString());
    return false;
}

// A fresh temporary folder in mods, or a null string.
QString makeTemporary(const QString &mods)
{
    QTemporaryDir temporary(mods + QLatin1Char('/') + installTemporaryPrefix +
                            QLatin1String("XXXXXX"));
    if (!temporary.isValid())
        return QString();
    temporary.setAutoRemove(false);
    return temporary.path();
}

// A mod's own folders mirror the game's data folder: an archive holding nothing but Art/ is
// a mod of art, not a mod named Art.
bool mirrorsDataFolder(const QString &installDir, const QString &name)
{
    return name.compare(QLatin1String("Tweak"), Qt::CaseInsensitive) == 0 ||
           !existingEntry(installDir + QLatin1String("/data"), name).isEmpty();
}

VxInstallResult install(const QString &installDir, const QString &archivePath, VxFeedback &feedback,
                        bool replace, const VxInstallLimits &limits,
                        const VxReplaceQuestion &askReplace)
{
    const QString mods = modsFolder(installDir);
    const QString temporary = makeTemporary(mods);
    if (temporary.isNull())
        return refusal(Problem::WriteFailed, QDir::toNativeSeparators(mods));
    // Whatever happens below, nothing of this install stays but the mod itself, and an old mod
    // that a failed replace could not put back, left aside for the next start to put back.
    bool keepAside = false;
    const auto cleanup = qScopeGuard([&] { removeTemporary(temporary, keepAside); });

    const QString unpacked = temporary + QLatin1Char('/') + unpackedFolder;
    Unpacker unpacker(archivePath, unpacked, limits, feedback);
    if (VxInstallResult result = unpacker.run(); !result.ok())
        return result;

    const QString baseName = archiveBaseName(archivePath);
    VxInstallResult result;
    QString root = unpacked;
    if (unpacker.hasInfo) {
        if (!unpacker.infoFolder.isEmpty())
            root += QLatin1Char('/') + unpacker.infoFolder;
        result.modFolder = unpacker.infoFolder.isEmpty()
                               ? baseName
                               : unpacker.infoFolder.section(QLatin1Char('/'), -1);
        // The mod scan reads "info.txt" by that name; Windows would find any spelling.
        if (unpacker.infoName != QLatin1String("info.txt") &&
            !renamePath(root + QLatin1Char('/') + unpacker.infoName,
                        root + QLatin1String("/info.txt"), result))
            return result;
    } else {
        const bool wrapped = unpacker.topNames.size() == 1 && unpacker.topIsFolder &&
                             !mirrorsDataFolder(installDir, unpacker.topNames.constFirst());
        if (wrapped)
            root += QLatin1Char('/') + unpacker.topNames.constFirst();
        result.modFolder = wrapped ? unpacker.topNames.constFirst() : baseName;
        QFile info(root + QLatin1String("/info.txt"));
        const QByteArray text = "name=" + baseName.toUtf8() + '\n';
        if (!info.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            info.write(text) != text.size() || !info.flush())
            return refusal(Problem::WriteFailed, QDir::toNativeSeparators(info.fileName()));
        info.close();
        result.wroteInfo = true;
    }

    if (!isWindowsName(result.modFolder) || result.modFolder.startsWith(QLatin1Char('.'))) {
        result.problem = Problem::BadModName;
        result.detail = result.modFolder;
        return result;
    }
    const QString existing = existingEntry(mods, result.modFolder);
    if (!existing.isEmpty()) {
        if (!QFileInfo(mods + QLatin1Char('/') + existing).isDir() ||
            (!replace && !(askReplace && askReplace(existing)))) {
            result.problem = Problem::ModExists;
            result.detail = existing;
            return result;
        }
        // The old mod goes aside into the temporary folder, where the next start finds it
        // and puts it back should the new one not follow.
        const QString aside = temporary + QLatin1Char('/') + asideFolder;
        if (!QDir().mkpath(aside) || !renamePath(mods + QLatin1Char('/') + existing,
                                                 aside + QLatin1Char('/') + existing, result))
            return result;
        if (!renamePath(root, mods + QLatin1Char('/') + result.modFolder, result)) {
            keepAside = !QDir().rename(aside + QLatin1Char('/') + existing,
                                       mods + QLatin1Char('/') + existing);
            return result;
        }
        result.replaced = true;
        return result;
    }
    renamePath(root, mods + QLatin1Char('/') + result.modFolder, result);
    return result;
}

} // namespace

QString archiveBaseName(const QString &archivePath)
{
    QString name = QFileInfo(archivePath).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    if (name.endsWith(QLatin1String(".tar"), Qt::CaseInsensitive) && name.size() > 4)
        name.chop(4);
    return name;
}

QString installProblemText(const VxInstallResult &result)
{
    const auto text = [&](VxText id) { return launcherText(id).arg(result.detail); };
    switch (result.problem) {
    case Problem::None:
        return QString();
    case Problem::Unreadable:
        // The archive library's own words.
        return launcherText(VxText::InstallUnreadable)
            .arg(launcherText(VxText::SystemReason).arg(result.detail));
    case Problem::UnsafePath:
        return text(VxText::InstallUnsafePath);
    case Problem::LinkEntry:
        return text(VxText::InstallLinkEntry);
    case Problem::WindowsName:
        return text(VxText::InstallWindowsName);
    case Problem::CaseClash:
        return launcherText(VxText::InstallCaseClash).arg(result.detail, result.other);
    case Problem::Duplicate:
        return text(VxText::InstallDuplicate);
    case Problem::Encrypted:
        return launcherText(VxText::InstallEncrypted);
    case Problem::TooLarge:
        return text(VxText::InstallTooLarge);
    case Problem::TooCompressed:
        return text(VxText::InstallTooCompressed);
    case Problem::TooManyEntries:
        return text(VxText::InstallTooManyEntries);
    case Problem::PathTooLong:
        return launcherText(VxText::InstallPathTooLong).arg(result.detail, result.other);
    case Problem::NameTooLong:
        return launcherText(VxText::InstallNameTooLong).arg(result.detail, result.other);
    case Problem::TooDeep:
        return launcherText(VxText::InstallTooDeep).arg(result.detail, result.other);
    case Problem::Damaged:
        return text(VxText::InstallDamaged);
    case Problem::SeveralInfoFiles:
        return launcherText(VxText::InstallSeveralInfoFiles).arg(result.detail, result.other);
    case Problem::NoFiles:
        return launcherText(VxText::InstallNoFiles);
    case Problem::ModExists:
        return text(VxText::InstallModExists);
    case Problem::BadModName:
        return text(VxText::InstallBadModName);
    case Problem::Locked:
        return text(VxText::InstallLocked);
    case Problem::FolderUnusable:
        return text(VxText::InstallFolderUnusable);
    case Problem::WriteFailed:
        return text(VxText::InstallWriteFailed);
    case Problem::NotInstalled:
        return text(VxText::RemoveNotInstalled);
    case Problem::Cancelled:
        return launcherText(VxText::InstallCancelled);
    }
    return QString();
}

VxInstallResult installModArchive(const QString &installDir, const QString &archivePath,
                                  VxFeedback &feedback, bool replace, const VxInstallLimits &limits,
                                  const VxReplaceQuestion &askReplace)
{
    VxGameLock lock(installDir);
    VxInstallResult result;
    if (!lockGame(lock, result))
        return result;
    const QString mods = modsFolder(installDir);
    if (!QDir().mkpath(mods))
        return refusal(Problem::WriteFailed, QDir::toNativeSeparators(mods));
    cleanLeftovers(mods);
    result = install(installDir, archivePath, feedback, replace, limits, askReplace);
    feedback.end();
    return result;
}

VxInstallResult removeMod(const QString &installDir, const QString &folderName)
{
    VxGameLock lock(installDir);
    VxInstallResult result;
    if (!lockGame(lock, result))
        return result;
    const QString mods = modsFolder(installDir);
    cleanLeftovers(mods);
    QStringList parts;
    if (folderName.startsWith(QLatin1Char('.')) ||
        splitEntryPath(folderName, parts) != Problem::None || parts != QStringList{folderName} ||
        !QFileInfo(mods + QLatin1Char('/') + folderName).isDir())
        return refusal(Problem::NotInstalled, folderName);
    const QString temporary = makeTemporary(mods);
    if (temporary.isNull())
        return refusal(Problem::WriteFailed, QDir::toNativeSeparators(mods));
    result.modFolder = folderName;
    // Out of the list in one rename; a deletion cut short leaves only a temporary folder.
    renamePath(mods + QLatin1Char('/') + folderName, temporary + QLatin1Char('/') + folderName,
               result);
    removeOurFolder(temporary);
    return result;
}

void removeInstallLeftovers(const QString &installDir)
{
    // Most starts find nothing to do: they need not touch the lock for that.
    if (QDir(modsFolder(installDir))
            .entryList({installTemporaryPrefix + QLatin1Char('*')},
                       QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            .isEmpty())
        return;
    VxGameLock lock(installDir);
    if (lock.tryLock() == VxGameLock::Result::Acquired)
        cleanLeftovers(modsFolder(installDir));
}
