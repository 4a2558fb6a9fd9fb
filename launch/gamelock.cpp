#include "launch/gamelock.h"

#include <QDir>

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
    return m_file.error() == QLockFile::LockFailedError ? Result::HeldByOther : Result::Failed;
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
    QString text = QStringLiteral("process %1").arg(pid);
    if (!application.isEmpty())
        text += QStringLiteral(" (%1)").arg(application);
    return text;
}

QString VxGameLock::errorString() const
{
    switch (m_file.error()) {
    case QLockFile::NoError:
        return QString();
    case QLockFile::LockFailedError:
        return QStringLiteral("the game folder is in use by another launch");
    case QLockFile::PermissionError:
        return QStringLiteral("the game folder cannot be written to");
    case QLockFile::UnknownError:
        break;
    }
    return QStringLiteral("the lock file %1 cannot be made")
        .arg(QDir::toNativeSeparators(m_file.fileName()));
}

bool VxGameLock::isHeldByOther(const QString &installDir)
{
    VxGameLock probe(installDir);
    if (probe.tryLock() != Result::HeldByOther)
        return false;
    return true;
}
