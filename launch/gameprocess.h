#pragma once

#include <QString>

class QProcess;

// The game's executable in the install folder.
QString gameExecutablePath(const QString &installDir);

// A new, unstarted process for the game: its program the executable, no arguments, the
// install folder as working directory. The caller owns it.
QProcess *createGameProcess(const QString &installDir);
