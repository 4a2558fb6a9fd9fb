#pragma once

#include "base/feedback.h"
#include "mods/modinfo.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

// What every vxmod command shares: its exit codes, its standard error, and the parsing and
// checking of the game folder and the mods it is given, so that the same fault reads the
// same in every command.

constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

QTextStream &err();
QString shown(const QString &path);
// Prints "vxmod: message" and returns exitUsage.
int usageError(const QString &message);
// The same for a fault QCommandLineParser found, in vxmod's way of writing faults.
int optionError(QString qtText);

struct Invocation
{
    QString installDir;
    VxFeedback::Answer onError = VxFeedback::Answer::Abort;
    bool quiet = false;    // no progress, only faults
    QList<VxModInfo> mods; // in the order named
    // Mods that the set named by --set or --last lists but VexilMods does not hold. Only with
    // --skip-missing, or for the commands that change nothing, does the command go on without.
    QStringList missingMods;
    bool skipMissing = false;
};

enum class Accepts {
    Nothing,
    Mods,        // names of mods under VexilMods, with --on-error; or a set
    ModsToCheck, // names of mod folders under VexilMods (info.txt or not) or folder paths; or
                 // a set
};

// The game folder: dir as --game gave it when given, else the installed game's; made absolute
// and checked to exist. Returns -1 when the command can go on, or the exit code to stop with.
int resolveGameFolder(bool given, QString &dir);

// Parses and checks everything a command needs before it may touch the game folder; returns
// -1 when the command can go on, or the exit code to stop with.
int parseInvocation(const QString &command, const QStringList &args, Accepts accepts,
                    bool needsData, Invocation &invocation);
