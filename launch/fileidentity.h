#pragma once

#include <QString>

// What makes a file the one a launch placed: its size, its modification time to the
// nanosecond and the system's id of it (device and inode; on Windows the volume and file
// index). A rename keeps all three, so a file keeps its identity from the moment it is made
// under a temporary name to the moment the restore takes it away; anyone who writes to it, or
// puts another file in its place, changes it.
struct VxFileIdentity
{
    qint64 size = -1; // -1: nothing there, or it could not be looked at
    qint64 modifiedNs = 0;
    QString fileId;

    bool isValid() const { return size >= 0; }
    bool operator==(const VxFileIdentity &) const = default;

    // "size mtime id", as the journal keeps it ("-1 0 -" for no identity: a file about to
    // change); the reverse gives an invalid identity for anything else.
    QString toText() const;
    static VxFileIdentity fromText(const QString &text);
};

// The identity of path itself: a link is looked at, never followed.
VxFileIdentity fileIdentity(const QString &path);

// True when path is a file or link of its own (not a folder) below root whose every folder
// from root down is a real folder, not a link: a name that cannot lead out of root.
bool isInsideWithoutLinks(const QString &root, const QString &path);
