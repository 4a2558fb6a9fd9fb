#pragma once

#include <QString>

// Which process is the game. The folder lock asks too, and it is taken by commands that never
// start the game.

// The game's executable in the install folder.
QString gameExecutablePath(const QString &installDir);

bool isProcessRunning(qint64 processId);
// When the process started, in the system's own units (0 when it cannot be told): with its
// id, what names one process for good, since ids are given out again.
qint64 processStartTime(qint64 processId);
// True while the process is the game: it started at startTime (when that is known, not 0), or
// runs the game's program, from the game folder or the file the game's program links to (a
// process id the system has given to some other program since does not count).
bool isGameProcessRunning(const QString &installDir, qint64 processId, qint64 startTime = 0);
