#include "base/modfile.h"

#include "texts/launchertexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// In the player's language: the launcher shows these in its boxes, vxmod in English.
QString tooLarge(qint64 limit)
{
    return launcherText(VxText::ModFileTooLarge).arg(limit);
}

QString notRegular()
{
    return launcherText(VxText::ModFileNotRegular);
}

QString systemSays(const QString &why)
{
    return launcherText(VxText::SystemReason).arg(why);
}

} // namespace

bool readModFile(const QString &path, qint64 limit, QByteArray &bytes, QString *error)
{
    bytes.clear();
    QFile file(path);
#ifdef Q_OS_WIN
    // Windows folders hold no FIFOs or devices under a file's name; a link, to whatever, is
    // refused here.
    const QFileInfo info(path);
    if ((info.exists() && !info.isFile()) || info.isSymLink())
        return fail(error, notRegular());
    const qint64 size = info.size();
    if (size > limit)
        return fail(error, tooLarge(limit));
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, systemSays(file.errorString()));
#else
    // Opened without blocking, so that a FIFO cannot hold us before the type is known; the
    // type is then taken from the open file, not the name, which could change in between. A
    // link is never followed: what a mod ships is read where it lies, or not at all.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && errno == ELOOP)
        return fail(error, notRegular());
    if (fd < 0)
        return fail(error, systemSays(qt_error_string(errno)));
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(error, notRegular());
    }
    const qint64 size = status.st_size;
    if (size > limit) {
        ::close(fd);
        return fail(error, tooLarge(limit));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(error, systemSays(file.errorString()));
    }
#endif
    // Asked for the size it has, not the limit: a read reserves what it is asked for. A file
    // that grows while it is read still stops one byte past the limit.
    const qint64 expected = qMin(size, limit);
    bytes = file.read(expected + 1);
    if (bytes.size() > expected && file.error() == QFileDevice::NoError)
        bytes += file.read(limit + 1 - bytes.size());
    if (file.error() != QFileDevice::NoError) {
        const QString why = systemSays(file.errorString());
        bytes.clear();
        return fail(error, why);
    }
    if (bytes.size() > limit) {
        bytes.clear();
        return fail(error, tooLarge(limit));
    }
    return true;
}

bool checkModTweakFiles(const QString &modPath, QString *error)
{
    const QDir tweak(modPath + QLatin1String("Tweak"));
    for (const QString &folder : tweak.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        // The same files the tweak compiler reads: FIFOs, devices and links to them included.
        for (const QFileInfo &file :
             QDir(tweak.filePath(folder))
                 .entryInfoList({QStringLiteral("*.twk")}, QDir::Files | QDir::System)) {
            QString why;
            if (!file.isFile())
                why = notRegular();
            else if (file.size() > tweakFileSizeLimit)
                why = tooLarge(tweakFileSizeLimit);
            else
                continue;
            return fail(error, launcherText(VxText::ModFileProblem)
                                   .arg(QDir::toNativeSeparators(file.filePath()), why));
        }
    }
    return true;
}
