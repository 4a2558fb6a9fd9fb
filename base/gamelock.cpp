#include "base/gamelock.h"

#include "base/processes.h"
#include "texts/launchertexts.h"

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
    if (m_file.isLocked())
        return Result::Acquired;
    m_why.clear();
    if (const Result way = clearWay(); way != Result::Acquired)
        return way;
    if (m_file.tryLock(0))
        return Result::Acquired;
    if (m_file.error() != QLockFile::LockFailedError)
        return Result::Failed;
    // Another launch took it in the instant since it was judged.
    m_judged = inspectLockFile(m_file.fileName());
    return Result::HeldByOther;
}

// QLockFile would read whatever lies at the lock path to the end, and wait on a FIFO: it is
// judged here first, and QLockFile only ever meets no file at all.
VxGameLock::Result VxGameLock::clearWay()
{
    m_judged = inspectLockFile(m_file.fileName());
    switch (m_judged.kind) {
    case VxLockFileState::Kind::None:
        return Result::Acquired;
    case VxLockFileState::Kind::Held:
        return Result::HeldByOther;
    case VxLockFileState::Kind::Hostile:
        m_why = launcherText(VxText::LockFileRefused)
                    .arg(QDir::toNativeSeparators(m_file.fileName()), m_judged.why);
        return Result::Failed;
    case VxLockFileState::Kind::Stale:
        break;
    }
    switch (removeStaleLockFile(m_file.fileName(), &m_why)) {
    case VxLockRemoval::Removed:
        return Result::Acquired;
    case VxLockRemoval::Held:
        m_judged = inspectLockFile(m_file.fileName());
        return Result::HeldByOther;
    case VxLockRemoval::Failed:
        break;
    }
    return Result::Failed;
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
    const VxLockFileState state = m_judged.kind == VxLockFileState::Kind::Held
                                      ? m_judged
                                      : inspectLockFile(m_file.fileName());
    if (state.processId <= 0)
        return launcherText(VxText::LockHolderStarting);
    if (state.application.isEmpty())
        return launcherText(VxText::LockHolder).arg(state.processId);
    return launcherText(VxText::LockHolderProgram).arg(state.processId).arg(state.application);
}

QString VxGameLock::errorString() const
{
    if (!m_why.isEmpty())
        return m_why;
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

VxLockFileState VxGameLock::inspect(const QString &installDir)
{
    return inspectLockFile(lockPath(installDir));
}

QString VxGameLock::problemText(const QString &installDir, const VxLockFileState &state)
{
    const QString path = QDir::toNativeSeparators(lockPath(installDir));
    switch (state.kind) {
    case VxLockFileState::Kind::None:
    case VxLockFileState::Kind::Held:
        break;
    case VxLockFileState::Kind::Stale:
        return QStringLiteral("the lock file %1 was %2; the next command that changes files "
                              "removes it")
            .arg(path, state.why);
    case VxLockFileState::Kind::Hostile:
        return QStringLiteral("the lock file %1 %2; every command that changes files refuses "
                              "until it is removed")
            .arg(path, state.why);
    }
    return QString();
}
