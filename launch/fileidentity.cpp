#include "launch/fileidentity.h"

#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_WIN
#include <QDir>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

QString VxFileIdentity::toText() const
{
    if (!isValid())
        return QStringLiteral("-1 0 -");
    return QStringLiteral("%1 %2 %3").arg(size).arg(modifiedNs).arg(fileId);
}

VxFileIdentity VxFileIdentity::fromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    VxFileIdentity identity;
    bool sizeOk = false;
    bool timeOk = false;
    if (parts.size() != 3 || parts.at(2).isEmpty())
        return identity;
    const qint64 size = parts.at(0).toLongLong(&sizeOk);
    const qint64 time = parts.at(1).toLongLong(&timeOk);
    if (!sizeOk || !timeOk || size < 0)
        return identity;
    identity.size = size;
    identity.modifiedNs = time;
    identity.fileId = parts.at(2);
    return identity;
}

#ifdef Q_OS_WIN
VxFileIdentity fileIdentity(const QString &path)
{
    VxFileIdentity identity;
    const QString native = QDir::toNativeSeparators(path);
    // The reparse point itself, like lstat: a link is a file of its own here.
    HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        identity.size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        // 100 ns steps, the finest Windows keeps.
        identity.modifiedNs = qint64((quint64(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                     info.ftLastWriteTime.dwLowDateTime) *
                              100;
        identity.fileId = QStringLiteral("%1:%2")
                              .arg(info.dwVolumeSerialNumber)
                              .arg((quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
    }
    CloseHandle(file);
    return identity;
}
#else
VxFileIdentity fileIdentity(const QString &path)
{
    VxFileIdentity identity;
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || S_ISDIR(info.st_mode))
        return identity;
    identity.size = qint64(info.st_size);
#ifdef Q_OS_MACOS
    identity.modifiedNs = qint64(info.st_mtimespec.tv_sec) * 1000000000 + info.st_mtimespec.tv_nsec;
#else
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
#endif
    identity.fileId = QStringLiteral("%1:%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
    return identity;
}
#endif

bool isInsideWithoutLinks(const QString &root, const QString &path)
{
    if (!path.startsWith(root + QLatin1Char('/')))
        return false;
    const QStringList parts = path.mid(root.size() + 1).split(QLatin1Char('/'));
    QString folder = root;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        folder += QLatin1Char('/') + parts.at(i);
        const QFileInfo info(folder);
        if (info.isSymLink() || info.isJunction() || !info.isDir())
            return false;
    }
    return true;
}
