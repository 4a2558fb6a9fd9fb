#pragma once

#include <QString>

// The few file operations the launch and the restore are made of. Each one is all-or-nothing
// on disk: a copy lands under a temporary name first and a replace is a single rename, so an
// interrupted launch leaves either the old file or the new one, never half of one.
namespace VxFileOps {

// The suffix of the temporary files we write into the game folder; the launch journals each
// one, so that its restore removes a leftover (the resource store saves through
// "<name>.vxpart" too).
inline const QLatin1String temporarySuffix(".vxpart");

QString temporaryName(const QString &path);

// Copies from to the new file to (a leftover of ours there is replaced), writable whatever
// the source's attributes, so that the restore can always replace or remove it.
bool copyToNew(const QString &from, const QString &to, QString *error = nullptr);
// copyToNew into temporaryName(to), then the temporary renamed onto to (replacing it). A durable
// copy is forced to disk before the rename, so the name never stands for a copy a power cut could
// still empty: backups need this, since the file they protect is about to change.
enum class Durability { Buffered, Durable };
bool copyFile(const QString &from, const QString &to, QString *error = nullptr,
              Durability durability = Durability::Buffered);
// syncFileToDisk, as a step of the trace below.
bool syncToDisk(const QString &path, QString *error = nullptr);
// Renames from onto to in one step, replacing to when it exists.
bool replaceFile(const QString &from, const QString &to, QString *error = nullptr);
// Removes path; a read-only file too, since only our own files are ever removed.
bool removeFile(const QString &path, QString *error = nullptr);

// Test hook for the crash-safety test: when the environment variable VX_FAULT_AFTER_OPS holds
// n > 0, the process ends with exit code 99 right after its n-th file operation, as if it had
// been killed there. Read once; unset, it costs one comparison per operation.
void operationDone();
// Test hook for failures: when VX_FAIL_OPERATION holds n > 0, the n-th file operation that
// asks here fails as a full disk would make it fail, without doing anything. False then, with
// error set.
bool mayProceed(QString *error);
// Test hook for the order of steps: when VX_TRACE_OPERATIONS names a file, each copy, sync,
// rename, removal and resource save appends a line to it ("rename a.vxpart a"; file names
// only), so a test can see that a backup is on disk before it takes its name.
void traceStep(const char *step, const QString &path, const QString &to = {});
// Test hook for races between two processes: when VX_PAUSE_AT names point (or is "op:N",
// reached right after the N-th file operation) the first time it gets there, the process
// writes the file VX_PAUSE_FILE,
// holding the point's name, and waits while that file exists (a minute at most), so that a
// test can run a second command at exactly this moment, or kill this one there.
void pausePoint(const char *point);

} // namespace VxFileOps
