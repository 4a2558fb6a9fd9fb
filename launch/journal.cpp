#include "launch/journal.h"

#include "base/fileops.h"
#include "base/modfile.h"
#include "base/replacefile.h"
#include "texts/launchertexts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <array>

namespace {

// Version 1 journals, from launchers before identities and CRC-32C, are still read.
const QByteArray headerV1 = "vxlaunch journal 1\n";
const QByteArray header = "vxlaunch journal 2\n";
constexpr qsizetype maximumSize = 64 * 1024 * 1024;

struct KindName
{
    VxJournalRecord::Kind kind;
    const char *name;
    int fields;
};

constexpr KindName kinds[] = {
    {VxJournalRecord::Kind::Begin, "begin", 3}, {VxJournalRecord::Kind::Mod, "mod", 1},
    {VxJournalRecord::Kind::Aside, "aside", 3}, {VxJournalRecord::Kind::Add, "add", 2},
    {VxJournalRecord::Kind::Edit, "edit", 4},   {VxJournalRecord::Kind::Game, "game", 2},
    {VxJournalRecord::Kind::Made, "made", 4},
};

int fieldCount(const KindName &kind, int version)
{
    // Version 1 knew the game's process by its id alone.
    return version == 1 && kind.kind == VxJournalRecord::Kind::Game ? 1 : kind.fields;
}

const KindName *kindNamed(QByteArrayView name)
{
    for (const KindName &kind : kinds) {
        if (name == kind.name)
            return &kind;
    }
    return nullptr;
}

const KindName &nameOf(VxJournalRecord::Kind kind)
{
    for (const KindName &entry : kinds) {
        if (entry.kind == kind)
            return entry;
    }
    return kinds[0];
}

QByteArray escaped(const QString &field)
{
    QByteArray out;
    for (const char c : field.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool unescape(QByteArrayView field, QString &out)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\') {
            if (++i == field.size())
                return false;
            switch (field[i]) {
            case '\\':
                c = '\\';
                break;
            case 't':
                c = '\t';
                break;
            case 'n':
                c = '\n';
                break;
            case 'r':
                c = '\r';
                break;
            default:
                return false;
            }
        }
        bytes += c;
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    out = utf8.decode(bytes);
    return !utf8.hasError();
}

// CRC-32C (Castagnoli), which lets about one damaged line in four thousand million through
// where version 1's CRC-16 let one in sixty-five thousand.
quint32 crc32c(QByteArrayView bytes)
{
    static const auto table = [] {
        std::array<quint32, 256> entries{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ ((crc & 1) ? 0x82F63B78u : 0);
            entries[i] = crc;
        }
        return entries;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes)
        crc = table[(crc ^ quint8(c)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray checksum(QByteArrayView body, int version)
{
    if (version == 1)
        return QByteArray::number(qChecksum(body), 16).rightJustified(4, '0');
    return QByteArray::number(crc32c(body), 16).rightJustified(8, '0');
}

// Only paths a launch makes: below data/, relative, with no way out of the game folder.
bool isDataPath(const QString &path)
{
    if (!path.startsWith(QLatin1String("data/")) || path.contains(QLatin1Char('\\')) ||
        path.contains(QLatin1Char(':')))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return parts.size() > 1;
}

bool parseLine(QByteArrayView line, int version, VxJournalRecord &record)
{
    const qsizetype mark = line.lastIndexOf(QByteArrayView("\t~"));
    if (mark < 0 || checksum(line.first(mark), version) != line.sliced(mark + 2))
        return false;
    const QList<QByteArray> parts = line.first(mark).toByteArray().split('\t');
    const KindName *kind = kindNamed(parts.constFirst());
    if (!kind || parts.size() != fieldCount(*kind, version) + 1 ||
        (version == 1 && kind->kind == VxJournalRecord::Kind::Made))
        return false;
    record.kind = kind->kind;
    record.fields.clear();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString field;
        if (!unescape(parts.at(i), field))
            return false;
        record.fields.append(field);
    }
    switch (record.kind) {
    case VxJournalRecord::Kind::Aside:
    case VxJournalRecord::Kind::Add:
    case VxJournalRecord::Kind::Edit:
        for (const QString &field : std::as_const(record.fields)) {
            if (!isDataPath(field))
                return false;
        }
        break;
    case VxJournalRecord::Kind::Made:
        return isDataPath(record.fields.constFirst()) &&
               (record.fields.mid(1).join(QLatin1Char(' ')) == VxFileIdentity().toText() ||
                VxFileIdentity::fromText(record.fields.mid(1).join(QLatin1Char(' '))).isValid());
    case VxJournalRecord::Kind::Game: {
        bool ok = false;
        bool startOk = true;
        if (record.fields.size() > 1)
            record.fields.at(1).toLongLong(&startOk);
        return record.fields.constFirst().toLongLong(&ok) > 0 && ok && startOk;
    }
    case VxJournalRecord::Kind::Begin:
    case VxJournalRecord::Kind::Mod:
        break;
    }
    return true;
}

// The journal's name is the launcher's; why it could not be written is the system's.
QString cannotWrite(const QString &file, const QString &why)
{
    return launcherText(VxText::JournalCannotWrite)
        .arg(QDir::toNativeSeparators(file), launcherText(VxText::SystemReason).arg(why));
}

} // namespace

QStringList VxJournal::mods() const
{
    QStringList titles;
    for (const VxJournalRecord &record : records) {
        if (record.kind == VxJournalRecord::Kind::Mod)
            titles.append(record.fields.constFirst());
    }
    return titles;
}

QString VxJournal::started() const
{
    for (const VxJournalRecord &record : records) {
        if (record.kind == VxJournalRecord::Kind::Begin)
            return record.fields.constFirst();
    }
    return QString();
}

qint64 VxJournal::gameProcessId() const
{
    for (const VxJournalRecord &record : records) {
        if (record.kind == VxJournalRecord::Kind::Game)
            return record.fields.constFirst().toLongLong();
    }
    return 0;
}

qint64 VxJournal::gameStartTime() const
{
    for (const VxJournalRecord &record : records) {
        if (record.kind == VxJournalRecord::Kind::Game && record.fields.size() > 1)
            return record.fields.at(1).toLongLong();
    }
    return 0;
}

QMap<QString, VxFileIdentity> VxJournal::identities() const
{
    QMap<QString, VxFileIdentity> made;
    for (const VxJournalRecord &record : records) {
        if (record.kind == VxJournalRecord::Kind::Made)
            made.insert(record.fields.constFirst(),
                        VxFileIdentity::fromText(record.fields.mid(1).join(QLatin1Char(' '))));
    }
    return made;
}

VxJournalRecord VxJournal::madeRecord(const QString &path, const VxFileIdentity &identity)
{
    return {VxJournalRecord::Kind::Made,
            QStringList{path} + identity.toText().split(QLatin1Char(' '))};
}

namespace VxJournalFile {

QString path(const QString &installDir)
{
    return installDir + QLatin1String("/vxlaunch.journal");
}

QByteArray encode(const VxJournalRecord &record)
{
    QByteArray line = nameOf(record.kind).name;
    for (const QString &field : record.fields)
        line += '\t' + escaped(field);
    return line + "\t~" + checksum(line, 2) + '\n';
}

VxJournal read(const QString &installDir)
{
    VxJournal journal;
    const QString name = path(installDir);
    const QFileInfo info(name);
    if (!info.exists() && !info.isSymLink())
        return journal;
    journal.state = VxJournal::State::Damaged;
    const auto damaged = [&](const QString &why) {
        journal.error = QStringLiteral("the launch journal %1 is damaged: %2")
                            .arg(QDir::toNativeSeparators(name), why);
        journal.records.clear();
        return journal;
    };
    // Anything but a file of ours under this name (a link, a FIFO, a folder, a device, a
    // file of gigabytes) is never followed or read to its end: it is something else.
    if (info.isSymLink() || info.isJunction())
        return damaged(QStringLiteral("it is a link"));
    QByteArray content;
    QString why;
    if (!readModFile(name, maximumSize, content, &why))
        return damaged(why);
    const int version = content.startsWith(headerV1) ? 1 : 2;
    if (!content.startsWith(version == 1 ? headerV1 : header)) {
        // The header is on disk before any change is made, so a short or empty file means
        // the launch died before it changed anything.
        if (header.startsWith(content) || headerV1.startsWith(content)) {
            journal.state = VxJournal::State::Valid;
            return journal;
        }
        return damaged(QStringLiteral("it does not begin with \"%1\"")
                           .arg(QString::fromLatin1(header.trimmed())));
    }
    journal.version = version;
    qsizetype at = header.size();
    int lineNumber = 1;
    while (at < content.size()) {
        ++lineNumber;
        const qsizetype end = content.indexOf('\n', at);
        const QByteArrayView line =
            QByteArrayView(content).sliced(at, (end < 0 ? content.size() : end) - at);
        at = end < 0 ? content.size() : end + 1;
        VxJournalRecord record;
        if (parseLine(line, version, record)) {
            journal.records.append(record);
            continue;
        }
        // The last line: whole when its checksum holds without its newline, or with a last
        // byte that was its newline before it was damaged; else torn while being written,
        // before its changes had begun.
        if (end < 0) {
            if (!line.isEmpty() && parseLine(line.chopped(1), version, record))
                journal.records.append(record);
            break;
        }
        return damaged(QStringLiteral("line %1 cannot be read").arg(lineNumber));
    }
    journal.state = VxJournal::State::Valid;
    return journal;
}

Writer::Writer(const QString &installDir) : m_file(path(installDir)) {}

Writer::~Writer()
{
    close();
}

bool Writer::open(QString *error)
{
    // A new file only: whatever has the name (left by a launch, or put there to be followed)
    // is never written through.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        m_file.write(header) != header.size() || !m_file.flush()) {
        if (error)
            *error = cannotWrite(m_file.fileName(), m_file.errorString());
        m_file.close();
        return false;
    }
    append({VxJournalRecord::Kind::Begin,
            {QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
             QCoreApplication::applicationName(),
             QString::number(QCoreApplication::applicationPid())}});
    if (sync(error))
        return true;
    // Nothing has changed yet, so nothing needs recording.
    m_file.remove();
    return false;
}

void Writer::append(const VxJournalRecord &record)
{
    const std::lock_guard lock(m_mutex);
    m_pending += encode(record);
}

bool Writer::sync(QString *error)
{
    const std::lock_guard lock(m_mutex);
    QString why;
    if (VxFileOps::mayProceed(&why)) {
        if (m_file.write(m_pending) != m_pending.size() || !m_file.flush())
            why = m_file.errorString();
        else if (!VxFileOps::syncToDisk(m_file.fileName(), &why) && why.isEmpty())
            why = QStringLiteral("cannot force it to disk");
    }
    VxFileOps::operationDone();
    m_pending.clear();
    if (why.isEmpty())
        return true;
    if (error)
        *error = cannotWrite(m_file.fileName(), why);
    return false;
}

void Writer::close()
{
    m_file.close();
}

bool rewrite(const QString &installDir, const QList<VxJournalRecord> &records, QString *error)
{
    const QString file = path(installDir);
    const QString temporary = VxFileOps::temporaryName(file);
    // Left by a restore that was killed while it rewrote the journal.
    if (QFileInfo::exists(temporary) || QFileInfo(temporary).isSymLink())
        VxFileOps::removeFile(temporary);
    if (records.isEmpty()) {
        const QFileInfo info(file);
        QString why;
        if ((!info.exists() && !info.isSymLink()) || VxFileOps::removeFile(file, &why))
            return true;
        if (error)
            *error = launcherText(VxText::JournalCannotRemove).arg(QDir::toNativeSeparators(file)) +
                     QStringLiteral(" (") + launcherText(VxText::SystemReason).arg(why) + u')';
        return false;
    }
    // Written whole beside it, on disk, then renamed over it: at every moment the journal is
    // the old one or the new one.
    QByteArray content = header;
    for (const VxJournalRecord &record : records)
        content += encode(record);
    QString why;
    QFile save(temporary);
    bool ok = VxFileOps::mayProceed(&why);
    if (ok) {
        VxFileOps::traceStep("write", temporary);
        ok = save.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
             save.write(content) == content.size() && save.flush();
        if (!ok)
            why = save.errorString();
        save.close();
    }
    VxFileOps::operationDone();
    ok = ok && VxFileOps::syncToDisk(temporary, &why) &&
         VxFileOps::replaceFile(temporary, file, &why);
    if (ok)
        return true;
    VxFileOps::removeFile(temporary);
    if (error)
        *error = cannotWrite(file, why);
    return false;
}

bool setAside(const QString &installDir, QString *error, QString *keptAs)
{
    const QString file = path(installDir);
    QString target = file + QLatin1String(".damaged");
    for (int n = 1; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = file + QStringLiteral(".damaged.%1").arg(n);
    // Whatever it is (a folder too), it is renamed, never followed or opened.
    if (QDir().rename(file, target)) {
        if (keptAs)
            *keptAs = target;
        return true;
    }
    if (error)
        *error = launcherText(VxText::JournalCannotSetAside).arg(QDir::toNativeSeparators(file));
    return false;
}

} // namespace VxJournalFile
