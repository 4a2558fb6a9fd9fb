#include "launch/gameprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

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
