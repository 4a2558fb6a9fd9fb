#pragma once

#include <QLockFile>
#include <QString>

// One launch per game folder. Whatever changes the game folder (a launch from Play or from
// vxmod, a restore, an install into VexilMods) holds this lock from its first change until
// its last, so two launchers never undo each other's work. The lock is a file in the game
// folder, so every program and every user account sees the same one. A lock whose owner
// process is gone is stale and taken over.
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
        Failed,      // the lock file cannot be made (a read-only game folder, say)
    };
    Result tryLock();
    bool isLocked() const;
    void unlock();

    // Who holds it, for messages, in the player's language: "process 1234, vxmod". Empty
    // when unknown.
    QString holder() const;
    // Why tryLock() failed, for messages, in the player's language.
    QString errorString() const;

    static QString lockPath(const QString &installDir);
    // True while a live process other than this one holds the lock of installDir.
    static bool isHeldByOther(const QString &installDir);

private:
    QLockFile m_file;
};
