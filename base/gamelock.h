#pragma once

#include "base/lockfile.h"

#include <QLockFile>
#include <QString>

// One launch per game folder. Whatever changes the game folder (a launch from Play or from
// vxmod, a restore, an install into VexilMods) holds this lock from its first change until
// its last, so two launchers never undo each other's work. The lock is a file in the game
// folder, so every program and every user account sees the same one. A lock whose owner
// process is gone is stale and taken over; whatever else lies under its name is left alone
// and refused.
class VxGameLock
{
public:
    explicit VxGameLock(const QString &installDir);
    ~VxGameLock();
    VxGameLock(const VxGameLock &) = delete;
    VxGameLock &operator=(const VxGameLock &) = delete;

    enum class Result {
        Acquired,
        HeldByOther, // another live launcher holds it: change nothing
        Failed,      // the lock file cannot be made (a read-only game folder, say), or
                     // something that is no lock file lies under its name
    };
    Result tryLock();
    bool isLocked() const;
    void unlock();

    // Who holds it, for messages, in the player's language: "process 1234, vxmod".
    QString holder() const;
    // Why tryLock() failed, for messages, in the player's language.
    QString errorString() const;

    static QString lockPath(const QString &installDir);
    // What lies at the lock path, for status: looked at only, never taken or removed.
    static VxLockFileState inspect(const QString &installDir);
    // What a status says of a lock file that is neither absent nor held; empty otherwise.
    static QString problemText(const QString &installDir, const VxLockFileState &state);

private:
    Result clearWay();

    QLockFile m_file;
    VxLockFileState m_judged; // what the last tryLock() found in its way
    QString m_why;            // why the last tryLock() failed, when QLockFile cannot say
};
