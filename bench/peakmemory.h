#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

#ifdef Q_OS_WIN
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

// The process's own peak resident size. Linux keeps getrusage's ru_maxrss across fork and
// exec, so a child started by a big parent would report the parent's size; the memory
// map's high-water mark starts afresh at exec.
inline long long peakResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<long long>(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}
