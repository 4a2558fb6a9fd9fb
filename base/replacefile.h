#pragma once

#include <QString>

// Renames from onto to, replacing to atomically when it exists: at every moment the name to
// holds either its old content or the new one.
bool atomicReplaceFile(const QString &from, const QString &to, QString *error);

// Forces the file's content to disk, for the few files whose loss after a power cut would
// cost the game its own data.
bool syncFileToDisk(const QString &path, QString *error);

// Copies from to the new file to, which must not exist, and says why when it cannot (a full
// disk as a full disk, not as a failed read).
bool copyNewFile(const QString &from, const QString &to, QString *error);
