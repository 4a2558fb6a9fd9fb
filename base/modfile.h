#pragma once

#include <QByteArray>
#include <QString>

// A mod is anyone's download: its info.txt or a tweak file may be a link to a device, a FIFO
// or a file of gigabytes. Reading one of those would block the launcher for ever or fill its
// memory, so only regular files are read, and only up to a size no real one reaches.
inline constexpr qint64 modInfoSizeLimit = 1024 * 1024;
inline constexpr qint64 tweakFileSizeLimit = 64 * 1024 * 1024;

// The bytes of the regular file at path (after links), at most limit of them. False, with
// error set, for anything else: a missing or unreadable file, a folder, a device, a FIFO or
// socket, or a file larger than limit. Never blocks on a FIFO or device.
bool readModFile(const QString &path, qint64 limit, QByteArray &bytes, QString *error = nullptr);

// Whether every tweak file of the mod at modPath (ending in '/') could be read: each
// Tweak/<X>/*.twk a regular file (after links) of at most tweakFileSizeLimit bytes. Looks at
// the folder listing only, reading nothing. False, with error set to "file: why" for the
// first that is not; a launch leaves such a mod out rather than lay half of it.
bool checkModTweakFiles(const QString &modPath, QString *error = nullptr);
