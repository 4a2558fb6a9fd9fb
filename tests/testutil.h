#pragma once

// Helpers shared by the tests: folder trees written, read and compared, a private copy of the
// demo game to work on, and vxmod run as the person would run it.

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QOperatingSystemVersion>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <filesystem>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace vxtest {

using Files = QMap<QString, QByteArray>;

// Left behind when the test fails, so the folder can be looked at.
struct TestDir : QTemporaryDir
{
    ~TestDir() { setAutoRemove(!QTest::currentTestFailed()); }
};

// The files moved below a folder: under("Mod/", {{"a.txt", ...}}) gives "Mod/a.txt".
inline Files under(const QString &prefix, const Files &files)
{
    Files moved;
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        moved.insert(prefix + it.key(), it.value());
    return moved;
}

// Both sets of files; b wins where both have a path.
inline Files operator+(Files a, const Files &b)
{
    a.insert(b);
    return a;
}

inline bool writeTree(const QString &root, const Files &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = root + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

// Something at path that is no ordinary small file, as a hostile download might hold:
// "fifo", "zero" (a link to /dev/zero), "link" (a link to a plain file beside it, named
// NAME.target), "folder", or "huge:N" (a file of N bytes, sparse).
// False where the system cannot make it (FIFOs and devices are Unix's).
inline bool makeSpecialFile(const QString &path, const QString &kind)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (kind == QLatin1String("folder"))
        return QDir().mkpath(path);
    if (kind.startsWith(QLatin1String("huge:"))) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(kind.mid(5).toLongLong());
    }
#ifdef Q_OS_WIN
    return false;
#else
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("zero"))
        return QFile::link(QStringLiteral("/dev/zero"), path);
    // A link to a plain file that a reader would accept where it lies.
    if (kind == QLatin1String("link"))
        return writeTree(QFileInfo(path).absolutePath(),
                         {{QFileInfo(path).fileName() + QLatin1String(".target"), "Speed=1\n"}}) &&
               QFile::link(QFileInfo(path).fileName() + QLatin1String(".target"), path);
    return false;
#endif
}

// Every file below root, hidden ones too, by relative path; an empty folder as "path/", so
// that a folder created by mistake shows.
inline Files readTree(const QString &root)
{
    Files files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = QDir(root).relativeFilePath(it.next());
        QFile file(it.filePath());
        // A FIFO or device would block or never end, and a dangling link has no content: each
        // shows as what it is.
        if (!it.fileInfo().isDir() && !it.fileInfo().isFile())
            files.insert(relative, "<special>");
        else if (!it.fileInfo().isDir())
            files.insert(relative, file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                  : QByteArray("<unreadable>"));
        else if (QDir(it.filePath())
                     .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                              QDir::NoDotAndDotDot))
            files.insert(relative + QLatin1Char('/'), {});
    }
    return files;
}

// Every file below root as relative path -> SHA-1 (hex), to compare before and after.
inline Files hashTree(const QString &root)
{
    Files hashes = readTree(root);
    hashes.removeIf([](Files::iterator it) { return it.key().endsWith(QLatin1Char('/')); });
    for (QByteArray &content : hashes)
        content = QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex();
    return hashes;
}

// Copies stay writable, whatever the source, so tests can change and remove them.
inline bool copyTree(const QString &source, const QString &target)
{
    bool ok = !source.isEmpty() && QDir(source).exists() && QDir().mkpath(target);
    for (QDirIterator it(source, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         ok && it.hasNext();) {
        const QString to = target + QLatin1Char('/') + QDir(source).relativeFilePath(it.next());
        ok = QDir().mkpath(QFileInfo(to).absolutePath()) && QFile::copy(it.filePath(), to) &&
             QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner);
    }
    return ok;
}

// A copy of a tree whose files are the same files (hard links): each keeps the identity a
// launch recorded for it, as a restore finds it in place. Only renames and removals may be done
// in the copy then, as a restore does.
inline bool linkTree(const QString &source, const QString &target)
{
    bool ok = QDir().mkpath(target);
    for (QDirIterator it(source, QDir::Files | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
         ok && it.hasNext();) {
        const QString to = target + QLatin1Char('/') + QDir(source).relativeFilePath(it.next());
        std::error_code error;
        ok = QDir().mkpath(QFileInfo(to).absolutePath());
        std::filesystem::create_hard_link(it.filePath().toStdU16String(), to.toStdU16String(),
                                          error);
        ok = ok && !error;
    }
    return ok;
}

inline QString gameExecutableName()
{
    const bool windows = QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows;
    return QStringLiteral("VEXIL 4 BRASK") + QLatin1String(windows ? ".exe" : "");
}

// The demo game copied into target, with the stand-in game as its executable.
inline bool stageDemoGame(const QString &target, QString *error = nullptr)
{
    if (copyTree(qEnvironmentVariable("VX_DEMO_INSTALL"), target) &&
        QFile::copy(qEnvironmentVariable("VX_STANDIN"), target + u'/' + gameExecutableName()))
        return true;
    if (error)
        *error = QStringLiteral("cannot stage $VX_DEMO_INSTALL and $VX_STANDIN in ") + target;
    return false;
}

// Waits up to ms for process to end; false while it still runs. By the clock: under Wine one
// waitForFinished() can give up long before its time, the process still running, and a test
// that went on then would race it (or kill it when its QProcess goes).
inline bool waitForExit(QProcess &process, int ms = 120000)
{
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning) {
        if (timer.hasExpired(ms))
            return false;
        if (!process.waitForFinished(50) && process.state() != QProcess::NotRunning)
            QThread::msleep(5);
    }
    return true;
}

struct Run
{
    int exitCode = -1; // -1 when vxmod did not start, crashed or hung; err then says which
    QString out, err;
};

inline Run runVxmod(const QStringList &args,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("VX_VXMOD"), args);
    // Wine under load now and then refuses to create a process ("Internal error"). vxmod never
    // ran then, so one more try tests the same thing; a second refusal fails the test.
    if (!process.waitForStarted(30000) && process.error() == QProcess::FailedToStart)
        process.start(qEnvironmentVariable("VX_VXMOD"), args);
    // A hung vxmod is killed when process goes out of scope.
    const bool finished = waitForExit(process);
    // A Windows console program ends its lines with CR LF, as it should.
    const auto text = [](const QByteArray &bytes) {
        return QString::fromLocal8Bit(bytes).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    };
    Run run{-1, text(process.readAllStandardOutput()), text(process.readAllStandardError())};
    if (process.error() == QProcess::FailedToStart)
        run.err += QStringLiteral("[vxmod did not start: %1]").arg(process.errorString());
    else if (!finished)
        run.err += QStringLiteral("[vxmod still running after 120 s]");
    else if (process.exitStatus() == QProcess::CrashExit)
        run.err +=
            QStringLiteral("[vxmod crashed, exit code %1]").arg(uint(process.exitCode()), 0, 16);
    else
        run.exitCode = process.exitCode();
    return run;
}

// A run's exit code to compare, with what it said when it has none, so that a vxmod that did
// not start, crashed or hung tells which in the failure.
inline QString exitOf(const Run &run)
{
    return run.exitCode == -1 ? QStringLiteral("-1 ") + run.err : QString::number(run.exitCode);
}

// vxmod's environment in a test: no installed game to fall back on, and a stand-in game
// without a window that writes what it saw to dir/snapshot.txt; extra as "NAME=value".
inline QProcessEnvironment testEnvironment(const QString &dir, const QStringList &extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir);
    env.insert(QStringLiteral("VX_STANDIN_HEADLESS"), QStringLiteral("1"));
    env.insert(QStringLiteral("VX_STANDIN_SNAPSHOT"), dir + QStringLiteral("/snapshot.txt"));
    for (const QString &setting : extra)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    return env;
}

// Each line that starts like its expected "where: words" and contains the words becomes the
// expected line, so a failed comparison shows only the lines that differ.
inline QStringList matchedLines(QStringList got, const QStringList &want)
{
    for (qsizetype i = 0; i < qMin(got.size(), want.size()); ++i)
        if (const qsizetype split = want.at(i).indexOf(QLatin1String(": ")) + 2;
            split > 1 && got.at(i).startsWith(want.at(i).left(split)) &&
            got.at(i).contains(want.at(i).mid(split)))
            got[i] = want.at(i);
    return got;
}

// A written resource file without its line ends and indentation, to compare with literal XML.
inline QByteArray compactXml(const QByteArray &xml)
{
    return QString::fromUtf8(xml).remove(QRegularExpression(QStringLiteral("\r?\n *"))).toUtf8();
}

} // namespace vxtest
