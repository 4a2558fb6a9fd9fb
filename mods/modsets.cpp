#include "mods/modsets.h"

#include "base/modfile.h"
#include "texts/launchertexts.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSet>

namespace {

// A name or a line quoted in a problem: a 1 MiB line must not become a 1 MiB message.
QString quoted(QStringView text)
{
    constexpr qsizetype shown = 60;
    return text.size() <= shown ? text.toString() : text.left(shown).toString() + u'\u2026';
}

bool isModFolderName(QStringView name)
{
    if (name.isEmpty() || name.size() > 255 || name == u"." || name == u"..")
        return false;
    for (QChar c : name)
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20)
            return false;
    return true;
}

// One set's place in the text, for edits that leave every other line alone.
struct Span
{
    qsizetype header = 0;   // the [name] line
    qsizetype lastLine = 0; // its last mod line, or the header when it has none
};

struct Parsed
{
    VxModSets sets;
    QList<Span> spans; // one per set
};

Parsed parse(const QList<QStringView> &lines, bool pasted)
{
    Parsed parsed;
    VxModSets &result = parsed.sets;
    QSet<QString> names;
    QSet<QStringView> modsOfSet; // views into lines, which outlive the parse
    // The lines after an unusable [ line, or after a stray mod line, up to the next [ line:
    // they belong to no set the reader knows, and one report of them is enough.
    bool skipping = false;
    VxModSet *current = nullptr;
    const auto problem = [&](qsizetype index, VxModSetIssue issue, QStringView detail = {}) {
        result.problems.append({int(index + 1), issue, quoted(detail)});
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            current = nullptr;
            skipping = true;
            if (!line.endsWith(u']') || line.size() < 2 ||
                line.mid(1, line.size() - 2).contains(u']')) {
                problem(i, VxModSetIssue::BadHeader);
                continue;
            }
            const QString name = line.mid(1, line.size() - 2).trimmed().toString();
            if (name.isEmpty()) {
                problem(i, VxModSetIssue::BadHeader);
            } else if (name.size() > modSetNameLimit) {
                problem(i, VxModSetIssue::NameTooLong);
            } else if (names.contains(name)) {
                problem(i, VxModSetIssue::DuplicateSet, name);
            } else {
                names.insert(name);
                result.sets.append({name, {}});
                parsed.spans.append({i, i});
                current = &result.sets.last();
                modsOfSet.clear();
                skipping = false;
            }
            continue;
        }
        if (skipping)
            continue;
        if (!current) {
            if (!pasted) {
                problem(i, VxModSetIssue::ModOutsideSet);
                skipping = true;
                continue;
            }
            result.sets.append({QString(), {}});
            parsed.spans.append({i, i});
            current = &result.sets.last();
            modsOfSet.clear();
        }
        if (!isModFolderName(line)) {
            problem(i, VxModSetIssue::BadModName, line);
            continue;
        }
        if (modsOfSet.contains(line)) {
            problem(i, VxModSetIssue::DuplicateMod, line);
            continue;
        }
        modsOfSet.insert(line);
        current->mods.append(line.toString());
        parsed.spans.last().lastLine = i;
    }
    return parsed;
}

// Views into text, which must outlive them: a file of 10,000 sets is read each time the menu
// opens, and a string per line would cost more than the reading.
QList<QStringView> splitLines(const QString &text)
{
    QList<QStringView> lines = QStringView(text).split(u'\n');
    // The line end of the last line starts no line of its own.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QList<QStringView> views(const QStringList &lines)
{
    QList<QStringView> result;
    result.reserve(lines.size());
    for (const QString &line : lines)
        result.append(line);
    return result;
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// The file's text as lines, and the line end it uses; an absent file is an empty text.
bool readText(const QString &path, QString &text, bool &crlf, VxModSetProblem &problem)
{
    text.clear();
    crlf = false;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    // A link is followed by no reader of the game folder: what it points at is nobody's file.
    if (info.isSymLink() || !info.isFile()) {
        problem = {0, VxModSetIssue::FileNotRegular, {}};
        return false;
    }
    if (info.size() > modSetsSizeLimit) {
        problem = {0, VxModSetIssue::FileTooLarge, {}};
        return false;
    }
    // Bounded and regular again on what is opened, since the name may change in between.
    QByteArray bytes;
    QString why;
    if (!readModFile(path, modSetsSizeLimit, bytes, &why)) {
        problem = {0, VxModSetIssue::FileUnreadable, why};
        return false;
    }
    crlf = bytes.contains("\r\n");
    text = decodeTweakBytes(bytes);
    return true;
}

// Runs edit on the file's lines and writes them back, all under the sets' own lock, so two
// programs saving at once cannot lose each other's set.
template <typename Edit> bool editModSets(const QString &installDir, QString *error, Edit edit)
{
    const QString path = modSetsPath(installDir);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QLockFile lock(path + QLatin1String(".lock"));
    // A save takes an instant; a lock older than this was left by a program that was killed.
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(2000))
        return fail(error, lock.error() == QLockFile::LockFailedError
                               ? launcherText(VxText::SetsLocked)
                               : launcherText(VxText::SetsCannotLock)
                                     .arg(QDir::toNativeSeparators(lock.fileName())));
    QString text;
    bool crlf = false;
    VxModSetProblem problem;
    if (!readText(path, text, crlf, problem))
        return fail(error, modSetIssueText(problem.issue, problem.detail));
    QStringList lines;
    for (QStringView line : splitLines(text))
        lines.append(line.toString());
    const Parsed parsed = parse(views(lines), false);
    if (!edit(lines, parsed))
        return true;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(error, file.errorString());
    const QString end = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    text.clear();
    for (const QString &line : std::as_const(lines))
        text += line + end;
    file.write(text.toUtf8());
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

qsizetype indexOfSet(const Parsed &parsed, const QString &name)
{
    for (qsizetype i = 0; i < parsed.sets.sets.size(); ++i)
        if (parsed.sets.sets.at(i).name == name)
            return i;
    return -1;
}

bool writeSet(const QString &installDir, const QString &name, const QStringList &mods,
              QString *error)
{
    for (const QString &mod : mods) {
        if (mod.trimmed() != mod || mod.startsWith(u'#') || mod.startsWith(u'['))
            return fail(error, modSetIssueText(VxModSetIssue::ModUnsavable, mod));
        if (!isModFolderName(mod))
            return fail(error, modSetIssueText(VxModSetIssue::BadModName, mod));
    }
    QStringList block{u'[' + name + u']'};
    block += mods;
    return editModSets(installDir, error, [&](QStringList &lines, const Parsed &parsed) {
        if (const qsizetype index = indexOfSet(parsed, name); index >= 0) {
            const Span span = parsed.spans.at(index);
            lines.remove(span.header, span.lastLine - span.header + 1);
            for (qsizetype i = 0; i < block.size(); ++i)
                lines.insert(span.header + i, block.at(i));
            return true;
        }
        if (!lines.isEmpty() && !lines.constLast().trimmed().isEmpty())
            lines.append(QString());
        lines += block;
        return true;
    });
}

} // namespace

const VxModSet *VxModSets::find(const QString &name) const
{
    for (const VxModSet &set : sets)
        if (set.name == name)
            return &set;
    return nullptr;
}

QString modSetsPath(const QString &installDir)
{
    return installDir + QLatin1String("/VexilMods/modsets.txt");
}

VxModSets parseModSets(const QString &text, bool pasted)
{
    // Pasted text comes from anywhere: a lone CR ends a line as well.
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (pasted)
        normalized.replace(u'\r', u'\n');
    return parse(splitLines(normalized), pasted).sets;
}

VxModSets readModSets(const QString &installDir)
{
    QString text;
    bool crlf = false;
    VxModSetProblem problem;
    if (!readText(modSetsPath(installDir), text, crlf, problem))
        return {{}, {problem}};
    return parse(splitLines(text), false).sets;
}

VxModSetIssue modSetNameIssue(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return VxModSetIssue::NameEmpty;
    if (trimmed.contains(u'\n') || trimmed.contains(u'\r'))
        return VxModSetIssue::NameLineBreak;
    if (trimmed.contains(u']'))
        return VxModSetIssue::NameBracket;
    if (trimmed.size() > modSetNameLimit)
        return VxModSetIssue::NameTooLong;
    if (trimmed == lastGameSetName)
        return VxModSetIssue::NameReserved;
    return VxModSetIssue::None;
}

QString modSetIssueText(VxModSetIssue issue, const QString &detail)
{
    switch (issue) {
    case VxModSetIssue::None:
        return QString();
    case VxModSetIssue::NameEmpty:
        return launcherText(VxText::SetNameEmpty);
    case VxModSetIssue::NameTooLong:
        return launcherText(VxText::SetNameTooLong).arg(modSetNameLimit);
    case VxModSetIssue::NameBracket:
        return launcherText(VxText::SetNameBracket);
    case VxModSetIssue::NameLineBreak:
        return launcherText(VxText::SetNameLineBreak);
    case VxModSetIssue::NameReserved:
        return launcherText(VxText::SetNameReserved).arg(lastGameSetName);
    case VxModSetIssue::ModOutsideSet:
        return launcherText(VxText::SetLineOutsideSet);
    case VxModSetIssue::BadHeader:
        return launcherText(VxText::SetLineBadHeader);
    case VxModSetIssue::BadModName:
        return launcherText(VxText::SetLineBadMod).arg(detail);
    case VxModSetIssue::DuplicateSet:
        return launcherText(VxText::SetLineDuplicateSet).arg(detail);
    case VxModSetIssue::DuplicateMod:
        return launcherText(VxText::SetLineDuplicateMod).arg(detail);
    case VxModSetIssue::ModUnsavable:
        return launcherText(VxText::SetModUnsavable).arg(detail);
    case VxModSetIssue::FileNotRegular:
        return launcherText(VxText::SetFileNotRegular);
    case VxModSetIssue::FileTooLarge:
        return launcherText(VxText::SetFileTooLarge).arg(modSetsSizeLimit >> 20);
    case VxModSetIssue::FileUnreadable:
        return launcherText(VxText::SetFileUnreadable).arg(detail);
    }
    return QString();
}

QString modSetProblemLine(const QString &path, const VxModSetProblem &problem)
{
    const QString where =
        problem.line > 0
            ? QStringLiteral("%1:%2").arg(QDir::toNativeSeparators(path)).arg(problem.line)
            : QDir::toNativeSeparators(path);
    return where + QLatin1String(": ") + modSetIssueText(problem.issue, problem.detail);
}

QString modListText(const QStringList &mods)
{
    QString text;
    for (const QString &mod : mods)
        text += mod + u'\n';
    return text;
}

QString modFolderName(const QString &modPath)
{
    const QString folder = modPath.endsWith(u'/') ? modPath.chopped(1) : modPath;
    return folder.mid(folder.lastIndexOf(u'/') + 1);
}

bool saveModSet(const QString &installDir, const VxModSet &set, QString *error)
{
    if (const VxModSetIssue issue = modSetNameIssue(set.name); issue != VxModSetIssue::None)
        return fail(error, modSetIssueText(issue));
    return writeSet(installDir, set.name.trimmed(), set.mods, error);
}

bool deleteModSet(const QString &installDir, const QString &name, QString *error)
{
    return editModSets(installDir, error, [&](QStringList &lines, const Parsed &parsed) {
        const qsizetype index = indexOfSet(parsed, name.trimmed());
        if (index < 0)
            return false;
        const Span span = parsed.spans.at(index);
        lines.remove(span.header, span.lastLine - span.header + 1);
        // One of the blank lines that kept it apart from its neighbours goes with it.
        const qsizetype at = span.header;
        if (at < lines.size() && lines.at(at).trimmed().isEmpty() &&
            (at == 0 || lines.at(at - 1).trimmed().isEmpty()))
            lines.removeAt(at);
        else if (at == lines.size() && at > 0 && lines.at(at - 1).trimmed().isEmpty())
            lines.removeAt(at - 1);
        return true;
    });
}

bool recordLastGame(const QString &installDir, const QStringList &mods, QString *error)
{
    return writeSet(installDir, lastGameSetName, mods, error);
}
