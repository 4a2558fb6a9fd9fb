#pragma once

// Helpers shared by the tests that drive vxmod over a whole game folder.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>

namespace launchtest {

// Relative path to content, every file below root (hidden ones too).
inline QMap<QString, QByteArray> readTree(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files.insert(QDir(root).relativeFilePath(path),
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
    const QMap<QString, QByteArray> now = readTree(data);
    const QMap<QString, QByteArray> pristine = readTree(pristineData);
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
