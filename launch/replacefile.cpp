#include "launch/replacefile.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <QDir>

bool atomicReplaceFile(const QString &from, const QString &to, QString *error)
{
    const QString nativeFrom = QDir::toNativeSeparators(from);
    const QString nativeTo = QDir::toNativeSeparators(to);
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(nativeFrom.utf16()),
                    reinterpret_cast<const wchar_t *>(nativeTo.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (error)
        *error = qt_error_string(int(GetLastError()));
    return false;
}

bool syncFileToDisk(const QString &path, QString *error)
{
    const QString native = QDir::toNativeSeparators(path);
    HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), GENERIC_WRITE,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (error)
            *error = qt_error_string(int(GetLastError()));
        return false;
    }
    const bool ok = FlushFileBuffers(file);
    if (!ok && error)
        *error = qt_error_string(int(GetLastError()));
    CloseHandle(file);
    return ok;
}

#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>

bool atomicReplaceFile(const QString &from, const QString &to, QString *error)
{
    // POSIX rename replaces the target in one step.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (error)
        *error = qt_error_string(errno);
    return false;
}

bool syncFileToDisk(const QString &path, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        if (error)
            *error = qt_error_string(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}
#endif
