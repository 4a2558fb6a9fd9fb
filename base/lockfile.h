#pragma once

#include <QString>

// What lies at a game folder's lock path, judged without trusting it: anyone may have left
// anything under that name (a folder, a FIFO, a link to a device, a file of gigabytes), so it
// is opened without following links or blocking, read only as far as a lock file goes, and
// its owner is checked to be alive and to be the program that wrote it.
struct VxLockFileState
{
    enum class Kind {
        None,    // no lock file
        Held,    // a live launch holds it
        Stale,   // its owner has ended (or it was left empty); any command may take it over
        Hostile, // not a lock file this program could have written: left alone, and refused
    };
    Kind kind = Kind::None;
    qint64 processId = 0; // 0 when the file names none
    QString application;
    QString why; // Stale: why it is taken over; Hostile: what it is
};

// No real lock file comes near this: a process id, a program name and a host name.
inline constexpr qint64 lockFileSizeLimit = 4096;

VxLockFileState inspectLockFile(const QString &path);

// Removes a stale lock file, unless a live launch holds it by now (its owner was slow to
// write it, or another command took it over first). Failed, with error set, when it could
// not be removed (an immutable file, say).
enum class VxLockRemoval { Removed, Held, Failed };
VxLockRemoval removeStaleLockFile(const QString &path, QString *error);
