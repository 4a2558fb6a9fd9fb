#pragma once

// Archives written entry by entry with libarchive's writer, so a test can build the shapes no
// archiver would make on its own: names that climb out, links, device names, twins.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <archive.h>
#include <archive_entry.h>

namespace vxtest {

struct ArchiveEntry
{
    enum Kind { File, Folder, Symlink, Hardlink };
    ArchiveEntry(const QString &path_ = {}, const QByteArray &data_ = {}, Kind kind_ = File,
                 const QString &target_ = {})
        : path(path_), data(data_), kind(kind_), target(target_)
    {
    }
    QString path;
    QByteArray data;
    Kind kind = File;
    QString target; // of a link
};
using ArchiveEntries = QList<ArchiveEntry>;

// format: a libarchive writer name ("zip", "7zip", "pax"); options as archive_write_set_options
// takes them ("zip:compression=store").
inline bool writeArchive(const QString &path, const char *format, const ArchiveEntries &entries,
                         const char *options = nullptr)
{
    archive *a = archive_write_new();
    bool ok = archive_write_set_format_by_name(a, format) == ARCHIVE_OK &&
              (!options || archive_write_set_options(a, options) == ARCHIVE_OK) &&
              archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const ArchiveEntry &item : entries) {
        if (!ok)
            break;
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, item.path.toUtf8().constData());
        archive_entry_set_perm(entry, item.kind == ArchiveEntry::Folder ? 0755 : 0644);
        switch (item.kind) {
        case ArchiveEntry::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, item.data.size());
            break;
        case ArchiveEntry::Folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case ArchiveEntry::Symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink_utf8(entry, item.target.toUtf8().constData());
            break;
        case ArchiveEntry::Hardlink:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink_utf8(entry, item.target.toUtf8().constData());
            break;
        }
        ok = archive_write_header(a, entry) == ARCHIVE_OK &&
             (item.kind != ArchiveEntry::File ||
              archive_write_data(a, item.data.constData(), size_t(item.data.size())) ==
                  la_ssize_t(item.data.size()));
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

} // namespace vxtest

#include <QDir>
#include <QProcess>

namespace vxtest {

// Packs every top entry of folder into archive with an archiver a player would use: "zip",
// "7z" or "tar" (gzip), plus extra arguments such as a password.
inline bool packWithTool(const QString &tool, const QString &folder, const QString &archive,
                         const QStringList &extra = {})
{
    const QStringList top =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QStringList args;
    QString program = tool;
    if (tool == QLatin1String("zip")) {
        args = QStringList{QStringLiteral("-qr")} + extra + QStringList{archive} + top;
    } else if (tool == QLatin1String("7z")) {
        args = QStringList{QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-y")} +
               extra + QStringList{archive} + top;
    } else {
        args = QStringList{QStringLiteral("czf"), archive} + top;
    }
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace vxtest
