#pragma once

// Helpers shared by the tests: a private copy of the demo game to work on, and a fingerprint
// of a folder tree to prove that something changed or that nothing did.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

namespace vxtest {

// Copies every file and folder below source into target (created as needed). False, with
// error set, at the first thing that cannot be copied.
inline bool copyTree(const QString &source, const QString &target, QString *error = nullptr)
{
    const QDir sourceDir(source);
    if (!sourceDir.exists()) {
        if (error)
            *error = QStringLiteral("no folder %1").arg(QDir::toNativeSeparators(source));
        return false;
    }
    if (!QDir().mkpath(target)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(target));
        return false;
    }
    QDirIterator it(source, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = target + QLatin1Char('/') + sourceDir.relativeFilePath(from);
        const bool ok = it.fileInfo().isDir()
                            ? QDir().mkpath(to)
                            : ((!QFile::exists(to) || QFile::remove(to)) && QFile::copy(from, to));
        if (!ok) {
            if (error)
                *error = QStringLiteral("cannot copy %1").arg(QDir::toNativeSeparators(from));
            return false;
        }
        // Copies of read-only sources must stay writable so the test can change and remove them.
        if (!it.fileInfo().isDir())
            QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner);
    }
    return true;
}

// The demo game's executable name inside an install folder.
inline QString gameExecutableName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("VEXIL 4 BRASK.exe");
#else
    return QStringLiteral("VEXIL 4 BRASK");
#endif
}

// Stages the demo game ($VX_DEMO_INSTALL) into target, with the stand-in game ($VX_STANDIN)
// as its executable. Never touches the repository's copy.
inline bool stageDemoGame(const QString &target, QString *error = nullptr)
{
    const QString install = qEnvironmentVariable("VX_DEMO_INSTALL");
    const QString standin = qEnvironmentVariable("VX_STANDIN");
    if (install.isEmpty() || standin.isEmpty()) {
        if (error)
            *error = QStringLiteral("VX_DEMO_INSTALL and VX_STANDIN must be set");
        return false;
    }
    if (!copyTree(install, target, error))
        return false;
    const QString executable = target + QLatin1Char('/') + gameExecutableName();
    QFile::remove(executable);
    if (!QFile::copy(standin, executable)) {
        if (error)
            *error = QStringLiteral("cannot copy the stand-in game to %1")
                         .arg(QDir::toNativeSeparators(executable));
        return false;
    }
    QFile::setPermissions(executable, QFile::permissions(standin) | QFileDevice::WriteOwner);
    return true;
}

// Every file below root as relative path -> SHA-1 (hex). Compare two of these to see what
// an operation added, removed or changed.
inline QMap<QString, QByteArray> hashTree(const QString &root)
{
    QMap<QString, QByteArray> hashes;
    const QDir rootDir(root);
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QByteArray digest = QByteArrayLiteral("<unreadable>");
        if (file.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Sha1);
            hash.addData(&file);
            digest = hash.result().toHex();
        }
        hashes.insert(rootDir.relativeFilePath(path), digest);
    }
    return hashes;
}

} // namespace vxtest
