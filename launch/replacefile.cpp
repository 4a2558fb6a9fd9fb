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

#else
#include <cerrno>
#include <cstdio>

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
#endif
