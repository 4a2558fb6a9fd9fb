#pragma once

#include "launch/fileidentity.h"

#include <QFile>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <mutex>

// The record of every change one launch makes to a game folder, kept in the game folder so
// that the dialog, vxmod and every user account see the same one. Each record is written and
// forced to disk before the change it describes, so whatever moment a launch dies at, the
// record covers everything it changed; and each record can be undone whether or not its
// change happened, so the restore simply undoes every record.
//
// The file is text a person can read, one record a line, fields separated by tabs:
//
//   vxlaunch journal 2
//   begin   <UTC time>  <program>  <process id>
//   mod     <the mod's title>
//   aside   <game file>  <its backup>  <temporary copy of the mod's file>
//   add     <file the launch added>  <temporary copy>
//   edit    <resource file>  <its backup>  <temporary backup copy>  <temporary save>
//   made    <file>  <size>  <modification time, ns>  <file id>
//   game    <process id of the started game>  <its start time, or 0>
//
// A "made" record gives the identity a file has when the launch has placed it (a mod's copy
// under the name it takes, a backup, a saved resource file); the last one for a path counts.
// The restore removes or overwrites only a file that still has it.
//
// Paths are relative to the game folder and lie below data/. Every record line ends in a tab
// and "~" with a CRC-32C of the line, so damage is found, never acted on. Version 1 (CRC-16,
// no "made" records, a game by its id alone) is read as well.
struct VxJournalRecord
{
    enum class Kind { Begin, Mod, Aside, Add, Edit, Game, Made };
    Kind kind = Kind::Begin;
    QStringList fields;
};

struct VxJournal
{
    enum class State {
        Missing, // no journal: nothing to undo
        Valid,   // every record is whole (a torn last line, from a crash while writing it, is
                 // dropped: its changes had not begun)
        Damaged, // anything else; never acted on
    };
    State state = State::Missing;
    int version = 2;
    QList<VxJournalRecord> records;
    QString error; // why it is damaged, or why it could not be read

    QStringList mods() const;
    QString started() const; // UTC time of the launch, ISO 8601
    qint64 gameProcessId() const;
    qint64 gameStartTime() const; // 0 when not recorded
    // The last identity recorded for each path.
    QMap<QString, VxFileIdentity> identities() const;

    static VxJournalRecord madeRecord(const QString &path, const VxFileIdentity &identity);
};

namespace VxJournalFile {

QString path(const QString &installDir);

VxJournal read(const QString &installDir);
QByteArray encode(const VxJournalRecord &record);

// Appends to the journal of one launch. The header is written and on disk when open()
// returns true. A resource file's backup is made on a worker thread, which records it too.
class Writer
{
public:
    explicit Writer(const QString &installDir);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    bool open(QString *error);
    // Queued until sync(): the records of one batch reach the disk together.
    void append(const VxJournalRecord &record);
    // Everything appended is on disk when this returns true.
    bool sync(QString *error);
    void close();

private:
    QFile m_file;
    QByteArray m_pending;
    std::mutex m_mutex;
};

// Replaces the journal with just these records (a restore that could not finish keeps what
// is still to do), or removes it when there are none.
bool rewrite(const QString &installDir, const QList<VxJournalRecord> &records, QString *error);
// Moves a damaged journal out of the way, keeping it for a person to read at keptAs.
bool setAside(const QString &installDir, QString *error, QString *keptAs = nullptr);

} // namespace VxJournalFile
