#pragma once

// Helpers shared by the tests that lay mods over a game folder and check what is left.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>

namespace launchtest {

using Files = QMap<QString, QByteArray>;

// Writes each relative path with its content below root; a path ending in '/' is an empty
// folder.
inline bool writeTree(const QString &root, const Files &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = root + QLatin1Char('/') + it.key();
        if (it.key().endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(path))
                return false;
            continue;
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

// Every file below root, hidden ones too, by relative path; an empty folder as "path/".
inline Files readTree(const QString &root)
{
    Files files;
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            if (QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                files.insert(relative + QLatin1Char('/'), {});
            continue;
        }
        QFile file(path);
        files.insert(relative,
                     file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return files;
}

inline bool copyTree(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(path);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(path, target))
            return false;
    }
    return true;
}

// Empty when data holds exactly the pristine files, byte for byte, plus files that one of the
// mods below modsRoot brings (which a restore leaves in place); else what is wrong.
inline QString compareRestored(const QString &data, const QString &pristineData,
                               const QString &modsRoot)
{
    const Files now = readTree(data);
    const Files pristine = readTree(pristineData);
    for (auto it = pristine.cbegin(); it != pristine.cend(); ++it) {
        if (!now.contains(it.key()))
            return QStringLiteral("missing: ") + it.key();
        if (now.value(it.key()) != it.value())
            return QStringLiteral("changed: ") + it.key();
    }
    const QStringList mods = QDir(modsRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (pristine.contains(it.key()))
            continue;
        const bool fromMod = std::any_of(mods.cbegin(), mods.cend(), [&](const QString &mod) {
            QFile file(modsRoot + QLatin1Char('/') + mod + QLatin1Char('/') + it.key());
            return file.open(QIODevice::ReadOnly) && file.readAll() == it.value();
        });
        if (!fromMod)
            return QStringLiteral("left over: ") + it.key();
    }
    return {};
}

struct Run
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::NormalExit;
    QString out;
    QString err;
};

inline Run runVxmod(const QStringList &args,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("VX_VXMOD"), args);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("vxmod did not finish");
        return run;
    }
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace launchtest
