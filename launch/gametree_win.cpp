#include "launch/gameprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

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

VxGameTree::VxGameTree(QProcess *process) : m_process(process)
{
    m_job = CreateJobObjectW(nullptr, nullptr);
    // Started suspended, so that it cannot start a process of its own before it is in the job.
    if (m_job) {
        m_process->setCreateProcessArgumentsModifier(
            [](QProcess::CreateProcessArguments *arguments) {
                arguments->flags |= CREATE_SUSPENDED;
            });
    }
}

VxGameTree::~VxGameTree()
{
    if (m_job)
        CloseHandle(m_job);
}

void VxGameTree::attach()
{
    if (!m_job)
        return;
    const DWORD processId = DWORD(m_process->processId());
    HANDLE process = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, processId);
    if (process) {
        AssignProcessToJobObject(HANDLE(m_job), process);
        CloseHandle(process);
    }
    // Its one thread was created suspended; let it run now that it is in the job.
    HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (threads == INVALID_HANDLE_VALUE)
        return;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(threads, &entry); more; more = Thread32Next(threads, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        if (HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
            ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(threads);
}

bool VxGameTree::othersRunning()
{
    if (!m_job)
        return false;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(HANDLE(m_job), JobObjectBasicAccountingInformation, &info,
                                   sizeof(info), nullptr))
        return false;
    return info.ActiveProcesses > 0;
}
