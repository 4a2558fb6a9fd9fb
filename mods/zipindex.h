#pragma once

#include <QString>

// A zip's central directory held against its local headers. The archive library reads a zip
// through its central directory, but takes each entry's name from the local header the
// directory points at and never compares the two, so a name damaged in either place goes
// through unseen, and two records that point at one header make one entry of two. This reads
// the records around the data only (the end record, the directory and each local header up to
// its name), never the data itself, which the library reads and checks.
struct VxZipIndex
{
    enum class Status {
        Agrees,     // every record points at its own local header, of the same name
        TooMany,    // more records than the caller allows; entries is what the directory says
        Damaged,    // entry: the first record that disagrees, or empty for the directory itself
        Unreadable, // the file could not be opened or read
    };
    Status status = Status::Unreadable;
    qint64 entries = 0; // records in the directory
    QString entry;      // as the directory spells it
};

VxZipIndex readZipIndex(const QString &path, qint64 maxEntries);
