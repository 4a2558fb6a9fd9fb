#include "base/fileops.h"

#include "base/replacefile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace VxFileOps {

namespace {

long long faultLimit()
{
    static const long long limit = [] {
        bool ok = false;
        const long long n = qEnvironmentVariable("VX_FAULT_AFTER_OPS").toLongLong(&ok);
        return ok && n > 0 ? n : 0;
    }();
    return limit;
}

long long failAt()
{
    static const long long at = [] {
        bool ok = false;
        const long long n = qEnvironmentVariable("VX_FAIL_OPERATION").toLongLong(&ok);
        return ok && n > 0 ? n : 0;
    }();
    return at;
}

struct PauseSetting
{
    QByteArray point;       // a named point, or empty
    long long afterOps = 0; // or after this many operations; 0: not
    QString file;
};

const PauseSetting &pauseSetting()
{
    static const PauseSetting setting = [] {
        PauseSetting read;
        read.file = qEnvironmentVariable("VX_PAUSE_FILE");
        const QByteArray at = qgetenv("VX_PAUSE_AT");
        if (read.file.isEmpty() || at.isEmpty())
            read.afterOps = 0;
        else if (at.startsWith("op:"))
            read.afterOps = std::max(0LL, at.mid(3).toLongLong());
        else
            read.point = at;
        if (read.file.isEmpty())
            read.point.clear();
        return read;
    }();
    return setting;
}

void pauseHere(const QByteArray &name)
{
    QFile marker(pauseSetting().file);
    if (!marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    marker.write(name + '\n');
    marker.close();
    // Never for ever: a test that forgot us must not leave a process behind.
    const QDeadlineTimer deadline(60000);
    while (QFileInfo::exists(pauseSetting().file) && !deadline.hasExpired())
        QThread::msleep(5);
}

} // namespace

void pausePoint(const char *point)
{
    // The first time only: a point a launch passes once per mod holds it once.
    static std::atomic<bool> paused = false;
    if (!pauseSetting().point.isEmpty() && pauseSetting().point == point && !paused.exchange(true))
        pauseHere(point);
}

bool mayProceed(QString *error)
{
    static std::atomic<long long> asked = 0;
    if (failAt() == 0 || ++asked != failAt())
        return true;
    if (error)
        *error = QStringLiteral("No space left on device");
    return false;
}

void traceStep(const char *step, const QString &path, const QString &to)
{
    static const QString traceFile = qEnvironmentVariable("VX_TRACE_OPERATIONS");
    if (traceFile.isEmpty())
        return;
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    QByteArray line = step + (' ' + QFileInfo(path).fileName().toUtf8());
    if (!to.isEmpty())
        line += ' ' + QFileInfo(to).fileName().toUtf8();
    QFile file(traceFile);
    if (file.open(QIODevice::Append))
        file.write(line + '\n');
}

bool syncToDisk(const QString &path, QString *error)
{
    traceStep("sync", path);
    return syncFileToDisk(path, error);
}

QString temporaryName(const QString &path)
{
    return path + temporarySuffix;
}

void operationDone()
{
    // Atomic: a resource file's backup may be made on a worker thread.
    static std::atomic<long long> done = 0;
    const long long limit = faultLimit();
    const long long pauseAt = pauseSetting().afterOps;
    const long long count = limit > 0 || pauseAt > 0 ? ++done : 0;
    if (pauseAt > 0 && count == pauseAt)
        pauseHere("op:" + QByteArray::number(count));
    if (limit > 0 && count == limit) {
#ifdef Q_OS_WIN
        // _Exit is ExitProcess there, which first runs every DLL's detach code; that can wait
        // for ever on a lock the other threads held when they were stopped. A crash does not.
        TerminateProcess(GetCurrentProcess(), 99);
#endif
        std::_Exit(99);
    }
}

bool copyToNew(const QString &from, const QString &to, QString *error)
{
    if (!mayProceed(error))
        return false;
    traceStep("copy", to);
    // Not the standard library's overwrite, which some of them do not honour.
    QFile::remove(to);
    const bool ok = copyNewFile(from, to, error);
    operationDone();
    return ok;
}

bool copyFile(const QString &from, const QString &to, QString *error, Durability durability)
{
    if (!copyToNew(from, temporaryName(to), error))
        return false;
    if ((durability == Durability::Durable && !syncToDisk(temporaryName(to), error)) ||
        !replaceFile(temporaryName(to), to, error)) {
        removeFile(temporaryName(to));
        return false;
    }
    return true;
}

bool replaceFile(const QString &from, const QString &to, QString *error)
{
    if (!mayProceed(error))
        return false;
    traceStep("rename", from, to);
    const bool ok = atomicReplaceFile(from, to, error);
    operationDone();
    return ok;
}

bool removeFile(const QString &path, QString *error)
{
    if (!mayProceed(error))
        return false;
    traceStep("remove", path);
    QFile file(path);
    bool ok = file.remove();
    if (!ok && QFileInfo(path).isFile() && !QFileInfo(path).isSymLink()) {
        file.setPermissions(file.permissions() | QFileDevice::WriteOwner);
        ok = file.remove();
    }
    if (!ok && error)
        *error = file.errorString();
    operationDone();
    return ok;
}

} // namespace VxFileOps
