#pragma once

#include <QString>

// Renames from onto to, replacing to atomically when it exists: at every moment the name to
// holds either its old content or the new one.
bool atomicReplaceFile(const QString &from, const QString &to, QString *error);

// Forces the file's content to disk, for the few files whose loss after a power cut would
// cost the game its own data.
bool syncFileToDisk(const QString &path, QString *error);
