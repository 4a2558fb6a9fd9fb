#include "base/lockfile_p.h"

#include "base/processes.h"

#include <QFile>
#include <QFileInfo>

// Windows folders hold no FIFOs or devices under a file's name, and a live owner keeps its
// lock file open without sharing it for deletion; what is left to check is the type, the
// size and whether the owner still runs.
VxLockProbe probeLockFile(const QString &path, qint64 limit)
{
    VxLockProbe probe;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return probe;
    if (info.isSymLink() || info.isJunction()) {
        probe.type = VxLockProbe::Type::Link;
        return probe;
    }
    if (info.isDir()) {
        probe.type = VxLockProbe::Type::Folder;
        return probe;
    }
    if (!info.isFile()) {
        probe.type = VxLockProbe::Type::Special;
        return probe;
    }
    if (info.size() > limit) {
        probe.type = VxLockProbe::Type::TooLarge;
        return probe;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            return VxLockProbe();
        probe.type = VxLockProbe::Type::Unreadable;
        probe.error = file.errorString();
        return probe;
    }
    probe.type = VxLockProbe::Type::Regular;
    probe.bytes = file.read(limit + 1);
    if (probe.bytes.size() > limit) {
        probe.type = VxLockProbe::Type::TooLarge;
        probe.bytes.clear();
    }
    return probe;
}

bool lockOwnerRunning(qint64 processId, const QString &application)
{
    Q_UNUSED(application);
    return isProcessRunning(processId);
}

VxLockRemoval removeUnheldLockFile(const QString &path, QString *error)
{
    QFile file(path);
    if (file.remove() || !file.exists())
        return VxLockRemoval::Removed;
    *error = file.errorString();
    return VxLockRemoval::Failed;
}
