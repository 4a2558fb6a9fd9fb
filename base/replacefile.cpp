#include "base/replacefile.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <filesystem>
#include <system_error>

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
    // Shared with every other kind of access: the journal is forced to disk while it stays
    // open for appending.
    HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool copyNewFile(const QString &from, const QString &to, QString *error)
{
    std::error_code ec;
    std::filesystem::copy_file(std::filesystem::path(from.toStdU16String()),
                               std::filesystem::path(to.toStdU16String()), ec);
    if (ec) {
        if (error)
            *error = QString::fromStdString(ec.message());
        return false;
    }
    // A read-only mod file would be a copy the restore could not remove.
    const QString nativePath = QDir::toNativeSeparators(to);
    const auto *native = reinterpret_cast<const wchar_t *>(nativePath.utf16());
    const DWORD attributes = GetFileAttributesW(native);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(native, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return true;
}

#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

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
bool copyNewFile(const QString &from, const QString &to, QString *error)
{
    // Not blocking on a pipe or a device that a mod may hold under a file's name.
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        if (error)
            *error = qt_error_string(errno);
        return false;
    }
    struct stat info = {};
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        if (error)
            *error = QStringLiteral("not a regular file");
        return false;
    }
    const int out =
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
               (info.st_mode & 07777) | S_IWUSR);
    int failure = out < 0 ? errno : 0;
#ifdef Q_OS_LINUX
    // The kernel copies, without a trip through our memory, wherever it can.
    bool kernelCopy = true;
    while (!failure && kernelCopy) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied == 0)
            break;
        if (copied < 0) {
            if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)
                kernelCopy = false;
            else if (errno != EINTR)
                failure = errno;
        }
    }
    const bool done = !failure && kernelCopy;
#else
    const bool done = false;
#endif
    if (!failure && !done) {
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const ssize_t got = ::read(in, buffer.data(), buffer.size());
            if (got == 0)
                break;
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                failure = errno;
                break;
            }
            for (ssize_t written = 0; written < got && !failure;) {
                const ssize_t n = ::write(out, buffer.data() + written, size_t(got - written));
                if (n < 0 && errno != EINTR)
                    failure = errno;
                else if (n > 0)
                    written += n;
            }
            if (failure)
                break;
        }
    }
    ::close(in);
    if (out >= 0 && ::close(out) != 0 && !failure)
        failure = errno;
    if (!failure)
        return true;
    if (out >= 0)
        ::unlink(QFile::encodeName(to).constData());
    if (error)
        *error = qt_error_string(failure);
    return false;
}
#endif
