#pragma once

#include "base/lockfile.h"

#include <QByteArray>
#include <QString>

// The system's side of judging a lock file (lockfile_posix.cpp, lockfile_win.cpp).
struct VxLockProbe
{
    enum class Type { Missing, Regular, Link, Folder, Special, TooLarge, Unreadable };
    Type type = Type::Missing;
    QByteArray bytes;       // Regular: the whole file
    bool lockedNow = false; // Regular: a live process holds the file's own lock
    QString error;          // Unreadable: why
};

// Looks at path without following a link or waiting on a FIFO; reads at most limit bytes.
VxLockProbe probeLockFile(const QString &path, qint64 limit);
// True while processId runs the program that wrote the lock as application.
bool lockOwnerRunning(qint64 processId, const QString &application);
// Removes path if it is still the unheld regular file it was.
VxLockRemoval removeUnheldLockFile(const QString &path, QString *error);
