#include "launch/gamelock.h"

#include "app/launchertexts.h"
#include "launch/gameprocess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

VxGameLock::VxGameLock(const QString &installDir) : m_file(lockPath(installDir))
{
    // A game may run for hours: only a dead owner makes the lock stale, never its age.
    m_file.setStaleLockTime(0);
}

VxGameLock::~VxGameLock() = default;

QString VxGameLock::lockPath(const QString &installDir)
{
    return installDir + QLatin1String("/vxlaunch.lock");
}

VxGameLock::Result VxGameLock::tryLock()
{
    if (m_file.isLocked() || m_file.tryLock(0))
        return Result::Acquired;
    if (m_file.error() != QLockFile::LockFailedError)
        return Result::Failed;
    // A lock file that names no owner was left by a process killed while it wrote the file,
    // which takes an instant; once it is older than that, nobody holds it.
    qint64 pid = 0;
    QString host;
    QString application;
    const QDateTime written = QFileInfo(m_file.fileName()).lastModified();
    if (!m_file.getLockInfo(&pid, &host, &application) && written.isValid() &&
        qAbs(written.msecsTo(QDateTime::currentDateTime())) > 2000 &&
        m_file.removeStaleLockFile() && m_file.tryLock(0))
        return Result::Acquired;
    return Result::HeldByOther;
}

bool VxGameLock::isLocked() const
{
    return m_file.isLocked();
}

void VxGameLock::unlock()
{
    m_file.unlock();
}

QString VxGameLock::holder() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (!m_file.getLockInfo(&pid, &host, &application))
        return QString();
    if (application.isEmpty())
        return launcherText(VxText::LockHolder).arg(pid);
    return launcherText(VxText::LockHolderProgram).arg(pid).arg(application);
}

QString VxGameLock::errorString() const
{
    switch (m_file.error()) {
    case QLockFile::NoError:
        return QString();
    case QLockFile::LockFailedError:
        return launcherText(VxText::InstallLocked).arg(holder());
    case QLockFile::PermissionError:
        return launcherText(VxText::LockNotWritable);
    case QLockFile::UnknownError:
        break;
    }
    return launcherText(VxText::LockCannotMake).arg(QDir::toNativeSeparators(m_file.fileName()));
}

bool VxGameLock::isHeldByOther(const QString &installDir)
{
    // Only looked at, never taken: a look must not make a launch starting now fail.
    const VxGameLock probe(installDir);
    if (!QFileInfo::exists(probe.m_file.fileName()))
        return false;
    qint64 pid = 0;
    QString host;
    QString application;
    if (!probe.m_file.getLockInfo(&pid, &host, &application))
        return true; // being written this instant
    return pid != QCoreApplication::applicationPid() && isProcessRunning(pid);
}
