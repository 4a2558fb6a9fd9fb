#include "base/processes.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

#include <iterator>

bool isProcessRunning(qint64 processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(processId));
    if (!process)
        return false;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

qint64 processStartTime(qint64 processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(processId));
    if (!process)
        return 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    qint64 start = 0;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user))
        start = qint64((quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    CloseHandle(process);
    return start;
}

bool isGameProcessRunning(const QString &installDir, qint64 processId, qint64 startTime)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(processId));
    if (!process)
        return false;
    DWORD code = 0;
    bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (running && startTime > 0 && GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        // A process that started at another time is another process, whatever it runs.
        CloseHandle(process);
        return qint64((quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime) == startTime;
    }
    if (running) {
        // The program the process runs: a process id reused by another program is not the
        // game.
        wchar_t name[MAX_PATH * 4];
        DWORD size = DWORD(std::size(name));
        if (QueryFullProcessImageNameW(process, 0, name, &size)) {
            const QString program =
                QDir::fromNativeSeparators(QString::fromWCharArray(name, int(size)));
            const QString linked = QFileInfo(gameExecutablePath(installDir)).canonicalFilePath();
            running = program.startsWith(installDir + QLatin1Char('/'), Qt::CaseInsensitive) ||
                      (!linked.isEmpty() && program.compare(linked, Qt::CaseInsensitive) == 0);
        }
    }
    CloseHandle(process);
    return running;
}
