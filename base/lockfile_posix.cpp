#include "base/lockfile_p.h"

#include "base/processes.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

VxLockProbe::Type typeOf(mode_t mode)
{
    if (S_ISREG(mode))
        return VxLockProbe::Type::Regular;
    if (S_ISLNK(mode))
        return VxLockProbe::Type::Link;
    if (S_ISDIR(mode))
        return VxLockProbe::Type::Folder;
    return VxLockProbe::Type::Special;
}

VxLockProbe unreadable(int error)
{
    VxLockProbe probe;
    probe.type = VxLockProbe::Type::Unreadable;
    probe.error = qt_error_string(error);
    return probe;
}

} // namespace

VxLockProbe probeLockFile(const QString &path, qint64 limit)
{
    VxLockProbe probe;
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (::lstat(name.constData(), &status) != 0)
        return errno == ENOENT ? probe : unreadable(errno);
    probe.type = typeOf(status.st_mode);
    if (probe.type != VxLockProbe::Type::Regular)
        return probe;
    // The type is taken again from the open file: the name may have changed in between.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return VxLockProbe();
        if (errno != ELOOP)
            return unreadable(errno);
        probe.type = VxLockProbe::Type::Link;
        return probe;
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        probe.type = VxLockProbe::Type::Special;
        return probe;
    }
    if (status.st_size > limit) {
        ::close(fd);
        probe.type = VxLockProbe::Type::TooLarge;
        return probe;
    }
    // A live owner holds the file's own lock for as long as it holds the game folder, from
    // before it writes a byte of it; only the owner's end releases it. An empty file is not
    // asked: its owner may be about to take that lock, and would fail to while we held it.
    if (status.st_size > 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0)
        probe.lockedNow = errno == EWOULDBLOCK;
    probe.bytes.resize(limit + 1);
    qint64 total = 0;
    while (total <= limit) {
        const ssize_t got = ::read(fd, probe.bytes.data() + total, size_t(limit + 1 - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return unreadable(error);
        }
        if (got == 0)
            break;
        total += got;
    }
    ::close(fd);
    if (total > limit) {
        probe.type = VxLockProbe::Type::TooLarge;
        probe.bytes.clear();
        return probe;
    }
    probe.bytes.truncate(total);
    return probe;
}

bool lockOwnerRunning(qint64 processId, const QString &application)
{
    if (!isProcessRunning(processId))
        return false;
#ifdef Q_OS_LINUX
    // A process id the system has since given to another program is no owner. A live owner
    // holds the file's own lock besides, so a program that cannot be named (another user's)
    // counts as none, as QLockFile counts it.
    QString program = QFileInfo(QStringLiteral("/proc/%1/exe").arg(processId)).symLinkTarget();
    if (program.isEmpty())
        return false;
    program = QFileInfo(program).fileName();
    const QLatin1String deleted(" (deleted)"); // rebuilt while it ran
    if (program.endsWith(deleted))
        program.chop(deleted.size());
    return program == QFileInfo(application).fileName();
#else
    Q_UNUSED(application);
    return true;
#endif
}

VxLockRemoval removeUnheldLockFile(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return VxLockRemoval::Removed;
        *error = qt_error_string(errno);
        return VxLockRemoval::Failed;
    }
    // Held while it is removed, so that an owner that has it, or a launch that took it over
    // first, is never removed in its place.
    struct stat opened;
    struct stat named;
    VxLockRemoval result = VxLockRemoval::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        result = VxLockRemoval::Held;
    else if (::fstat(fd, &opened) != 0 || ::lstat(name.constData(), &named) != 0 ||
             opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        result = VxLockRemoval::Held; // another launch's lock file stands there now
    else if (::unlink(name.constData()) != 0)
        *error = qt_error_string(errno);
    else
        result = VxLockRemoval::Removed;
    ::close(fd);
    return result;
}
