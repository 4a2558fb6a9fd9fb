#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Mod sets: named lists of mod folders in launch order, kept in VexilMods/modsets.txt beside
// the mods they name, so that every launcher and vxmod on the game see the same ones and the
// file travels with the mods. The file is plain text a person can edit:
//
//   # a comment
//   [Set name]
//   FirstMod
//   SecondMod
//
// A line the reader cannot use is reported with its number and skipped, never fatal. Changes
// rewrite only the lines of the set they touch, so comments and lines a person still has to
// fix stay as they are, and every write replaces the whole file at once.

// Written by each launch that started the game, with its mods in launch order.
inline const QLatin1String lastGameSetName("last game");
// A file of 10,000 sets of a dozen mods each is a few megabytes.
inline constexpr qint64 modSetsSizeLimit = 16 * 1024 * 1024;
// Longer than anyone types; a menu shows names of this length whole.
inline constexpr int modSetNameLimit = 200;

struct VxModSet
{
    QString name; // empty for the mods of pasted text that come before any [name] line
    QStringList mods;
};

// What a set name, a line or the file has that the sets cannot use.
enum class VxModSetIssue {
    None,
    NameEmpty,
    NameTooLong,
    NameBracket,
    NameLineBreak,
    NameReserved,
    ModOutsideSet,  // a mod line before any [name] line (the lines up to the next are skipped)
    BadHeader,      // a [ line without its closing ], or with a ] inside
    BadModName,     // detail: the line
    DuplicateSet,   // detail: the name; the first set of that name is the one used
    DuplicateMod,   // detail: the mod
    ModUnsavable,   // detail: the mod, whose name would read as a comment or a [name] line
    FileNotRegular, // a link, a folder, a FIFO or a device
    FileTooLarge,
    FileUnreadable, // detail: why
};

struct VxModSetProblem
{
    int line = 0; // 1-based; 0 for the file as a whole
    VxModSetIssue issue = VxModSetIssue::None;
    QString detail;
};

struct VxModSets
{
    QList<VxModSet> sets; // in file order, each name once
    QList<VxModSetProblem> problems;

    const VxModSet *find(const QString &name) const;
};

QString modSetsPath(const QString &installDir);

// The sets of a text. Pasted text may begin with mod lines and no [name] line: they form a
// first set with an empty name, where the file would report them.
VxModSets parseModSets(const QString &text, bool pasted = false);
// The sets of installDir's modsets.txt; none, without a problem, when there is no file. A file
// that is not a regular file (a link included) or is larger than the limit is never read.
VxModSets readModSets(const QString &installDir);

// Why name cannot name a saved set (blanks at either end do not count); None when it can.
VxModSetIssue modSetNameIssue(const QString &name);
// The issue in the active language, in lower case and without a full stop.
QString modSetIssueText(VxModSetIssue issue, const QString &detail = QString());
// "path:line: why", or "path: why" for the file as a whole; path shown natively.
QString modSetProblemLine(const QString &path, const VxModSetProblem &problem);

// The mods as the text that pasted text reads: one folder name a line.
QString modListText(const QStringList &mods);
// The folder name of a mod path that ends in '/'.
QString modFolderName(const QString &modPath);

// Saves set under its name (the name trimmed), replacing a set of that name where it stands,
// else adding it at the end. The name must pass modSetNameIssue() unless it is the last game's.
// False, with error set, when the file cannot be read or written; nothing is changed then.
bool saveModSet(const QString &installDir, const VxModSet &set, QString *error = nullptr);
// Removes the set of that name; false with error set when it cannot (an unknown name is not
// an error: there is nothing to remove).
bool deleteModSet(const QString &installDir, const QString &name, QString *error = nullptr);
// The last game's mods, as a launch that started the game records them.
bool recordLastGame(const QString &installDir, const QStringList &mods, QString *error = nullptr);
