#include "launch/journal.h"

#include "app/launchertexts.h"
#include "launch/fileops.h"
#include "launch/replacefile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

const QByteArray header = "vxlaunch journal 1\n";
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
    {VxJournalRecord::Kind::Edit, "edit", 4},   {VxJournalRecord::Kind::Game, "game", 1},
};

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

QByteArray checksum(QByteArrayView body)
{
    return QByteArray::number(qChecksum(body), 16).rightJustified(4, '0');
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

bool parseLine(QByteArrayView line, VxJournalRecord &record)
{
    const qsizetype mark = line.lastIndexOf(QByteArrayView("\t~"));
    if (mark < 0 || checksum(line.first(mark)) != line.sliced(mark + 2))
        return false;
    const QList<QByteArray> parts = line.first(mark).toByteArray().split('\t');
    const KindName *kind = kindNamed(parts.constFirst());
    if (!kind || parts.size() != kind->fields + 1)
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
    case VxJournalRecord::Kind::Game: {
        bool ok = false;
        return record.fields.constFirst().toLongLong(&ok) > 0 && ok;
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
    return line + "\t~" + checksum(line) + '\n';
}

VxJournal read(const QString &installDir)
{
    VxJournal journal;
    QFile file(path(installDir));
    if (!file.exists())
        return journal;
    journal.state = VxJournal::State::Damaged;
    const auto damaged = [&](const QString &why) {
        journal.error = QStringLiteral("the launch journal %1 is damaged: %2")
                            .arg(QDir::toNativeSeparators(file.fileName()), why);
        journal.records.clear();
        return journal;
    };
    // A journal is never this large; something else took its name.
    if (file.size() > maximumSize)
        return damaged(QStringLiteral("it is too large"));
    if (!file.open(QIODevice::ReadOnly)) {
        journal.error = QStringLiteral("the launch journal %1 cannot be read: %2")
                            .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return journal;
    }
    const QByteArray content = file.read(maximumSize + 1);
    if (!content.startsWith(header)) {
        // The header is on disk before any change is made, so a short or empty file means
        // the launch died before it changed anything.
        if (header.startsWith(content)) {
            journal.state = VxJournal::State::Valid;
            return journal;
        }
        return damaged(QStringLiteral("it does not begin with \"%1\"")
                           .arg(QString::fromLatin1(header.trimmed())));
    }
    qsizetype at = header.size();
    int lineNumber = 1;
    while (at < content.size()) {
        ++lineNumber;
        const qsizetype end = content.indexOf('\n', at);
        if (end < 0)
            break; // torn while being written: its changes had not begun
        const QByteArrayView line = QByteArrayView(content).sliced(at, end - at);
        at = end + 1;
        VxJournalRecord record;
        if (!parseLine(line, record))
            return damaged(QStringLiteral("line %1 cannot be read").arg(lineNumber));
        journal.records.append(record);
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
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
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
    m_pending += encode(record);
}

bool Writer::sync(QString *error)
{
    QString why;
    if (VxFileOps::mayProceed(&why)) {
        if (m_file.write(m_pending) != m_pending.size() || !m_file.flush())
            why = m_file.errorString();
        else if (!syncFileToDisk(m_file.fileName(), &why) && why.isEmpty())
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
    if (records.isEmpty()) {
        if (!QFile::exists(file) || QFile::remove(file))
            return true;
        if (error)
            *error = launcherText(VxText::JournalCannotRemove).arg(QDir::toNativeSeparators(file));
        return false;
    }
    QSaveFile save(file);
    QByteArray content = header;
    for (const VxJournalRecord &record : records)
        content += encode(record);
    if (save.open(QIODevice::WriteOnly) && save.write(content) == content.size() && save.commit())
        return true;
    if (error)
        *error = cannotWrite(file, save.errorString());
    return false;
}

bool setAside(const QString &installDir, QString *error, QString *keptAs)
{
    const QString file = path(installDir);
    QString target = file + QLatin1String(".damaged");
    for (int n = 1; QFile::exists(target); ++n)
        target = file + QStringLiteral(".damaged.%1").arg(n);
    if (QFile::rename(file, target)) {
        if (keptAs)
            *keptAs = target;
        return true;
    }
    if (error)
        *error = launcherText(VxText::JournalCannotSetAside).arg(QDir::toNativeSeparators(file));
    return false;
}

} // namespace VxJournalFile
