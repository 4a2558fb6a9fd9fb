#include "base/lockfile.h"

#include "base/lockfile_p.h"
#include "texts/launchertexts.h"

#include <QDir>
#include <QThread>

namespace {

// A launch writes its lock file in one write right after creating it; one still empty
// after this long was left by a process killed in between.
constexpr unsigned long emptyLockGraceMs = 100;

QString hostileText(const VxLockProbe &probe)
{
    switch (probe.type) {
    case VxLockProbe::Type::Link:
        return launcherText(VxText::LockFileIsLink);
    case VxLockProbe::Type::Folder:
        return launcherText(VxText::LockFileIsFolder);
    case VxLockProbe::Type::Special:
        return launcherText(VxText::LockFileNotRegular);
    case VxLockProbe::Type::TooLarge:
        return launcherText(VxText::LockFileTooLarge)
            .arg(lockFileSizeLimit);
    case VxLockProbe::Type::Unreadable:
        return launcherText(VxText::LockFileUnreadable).arg(launcherText(VxText::SystemReason).arg(probe.error));
    case VxLockProbe::Type::Missing:
    case VxLockProbe::Type::Regular:
        break;
    }
    return QString();
}

// The lock file's first two lines: the owner's process id and its program's name.
void parseOwner(const QByteArray &bytes, VxLockFileState &state)
{
    const QList<QByteArray> lines = bytes.split('\n');
    bool ok = false;
    const qint64 pid = lines.value(0).trimmed().toLongLong(&ok);
    state.processId = ok && pid > 0 ? pid : 0;
    if (state.processId > 0)
        state.application = QString::fromUtf8(lines.value(1).trimmed());
}

VxLockFileState judge(const VxLockProbe &probe)
{
    VxLockFileState state;
    if (probe.type == VxLockProbe::Type::Missing)
        return state;
    if (probe.type != VxLockProbe::Type::Regular) {
        state.kind = VxLockFileState::Kind::Hostile;
        state.why = hostileText(probe);
        return state;
    }
    parseOwner(probe.bytes, state);
    if (probe.lockedNow ||
        (state.processId > 0 && lockOwnerRunning(state.processId, state.application))) {
        state.kind = VxLockFileState::Kind::Held;
        return state;
    }
    state.kind = VxLockFileState::Kind::Stale;
    state.why = state.processId > 0
                    ? QStringLiteral("left by a launch that is no longer running (process %1)")
                          .arg(state.processId)
                    : QStringLiteral("left without an owner by a launch killed while writing it");
    return state;
}

} // namespace

VxLockFileState inspectLockFile(const QString &path)
{
    VxLockFileState state = judge(probeLockFile(path, lockFileSizeLimit));
    if (state.kind == VxLockFileState::Kind::Stale && state.processId == 0) {
        // Named no owner: perhaps it is being written this instant. Look once more.
        QThread::msleep(emptyLockGraceMs);
        state = judge(probeLockFile(path, lockFileSizeLimit));
    }
    return state;
}

VxLockRemoval removeStaleLockFile(const QString &path, QString *error)
{
    QString why;
    const VxLockRemoval removal = removeUnheldLockFile(path, &why);
    if (removal == VxLockRemoval::Failed && error)
        *error = launcherText(VxText::LockFileCannotRemove)
                     .arg(QDir::toNativeSeparators(path), launcherText(VxText::SystemReason).arg(why));
    return removal;
}
