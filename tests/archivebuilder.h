#pragma once

// Archives written entry by entry with libarchive's writer, so a test can build the shapes no
// archiver would make on its own: names that climb out, links, device names, twins.

#include "testutil.h"

#include <QRandomGenerator>

#include <archive.h>
#include <archive_entry.h>

namespace vxtest {

// Entries in the order written, twins allowed. A path ending in '/' is a folder, as readTree gives
// it; data starting with "->" makes a symbolic link to the rest of it, "=>" a hard link.
using ArchiveEntries = QList<std::pair<QString, QByteArray>>;

inline ArchiveEntries entriesOf(const Files &files)
{
    return {files.keyValueBegin(), files.keyValueEnd()};
}

// Bytes that do not compress, the same on every run.
inline QByteArray noise(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

// The format and compression follow the suffix of archivePath: .zip, .7z, .tar, .tar.gz. A password
// encrypts a zip as most archivers do by default.
inline bool writeArchive(const QString &archivePath, const ArchiveEntries &entries,
                         const char *password = nullptr)
{
    archive *a = archive_write_new();
    const QByteArray name = QFile::encodeName(archivePath);
    bool ok =
        archive_write_set_format_filter_by_ext(a, name.constData()) == ARCHIVE_OK &&
        (!password || (archive_write_set_options(a, "zip:encryption=zipcrypt") == ARCHIVE_OK &&
                       archive_write_set_passphrase(a, password) == ARCHIVE_OK)) &&
        archive_write_open_filename(a, name.constData()) == ARCHIVE_OK;
    for (const auto &[path, data] : entries) {
        const bool folder = path.endsWith(u'/'), symlink = data.startsWith("->");
        const bool file = !folder && !symlink && !data.startsWith("=>");
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, path.toUtf8().constData());
        archive_entry_set_perm(entry, 0755);
        archive_entry_set_filetype(entry, folder ? AE_IFDIR : symlink ? AE_IFLNK : AE_IFREG);
        if (symlink)
            archive_entry_set_symlink_utf8(entry, data.mid(2).constData());
        else if (!file && !folder)
            archive_entry_set_hardlink_utf8(entry, data.mid(2).constData());
        archive_entry_set_size(entry, file ? data.size() : 0);
        ok = ok && archive_write_header(a, entry) == ARCHIVE_OK &&
             (!file || archive_write_data(a, data.constData(), size_t(data.size())) ==
                           la_ssize_t(data.size()));
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

} // namespace vxtest
