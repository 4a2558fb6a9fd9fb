#pragma once

#include <QList>
#include <QStringList>

struct VxDisplayMode
{
    int width = 0;
    int height = 0;
    int frequency = 0;
};

// The modes the display offers, in ascending order as Windows lists them: the Windows
// display settings, X11 RandR for the connected outputs (sorted into that order), or else
// the current screen's own mode.
QList<VxDisplayMode> systemDisplayModes();

// The resolution texts ("1024x768") and, at the same index, the refresh texts ("60Hz") of
// each. Modes smaller than 640x480 are left out; the rest keep their order of first
// appearance, so the combo shows them as the system listed them.
struct VxDisplayModeLists
{
    QStringList resolutions;
    QList<QStringList> refreshLists;
};
VxDisplayModeLists mergeDisplayModes(const QList<VxDisplayMode> &modes);

// Which entries to select for a saved choice: the saved one when listed, otherwise the
// nearest one below it, otherwise the first. -1 when there is nothing to select.
struct VxDisplayChoice
{
    int resolution = -1;
    int refresh = -1;
};
VxDisplayChoice chooseDisplayMode(const VxDisplayModeLists &lists, int width, int height,
                                  int refreshRate);

// Brings modes into the order Windows lists them in: by width, then height, then frequency,
// each ascending. Equal modes keep their order.
void sortDisplayModesAscending(QList<VxDisplayMode> &modes);

// Platform sources; each returns nothing when its system is not there.
#ifdef Q_OS_WIN
QList<VxDisplayMode> windowsDisplayModes();
#else
QList<VxDisplayMode> randrDisplayModes();
#endif
QList<VxDisplayMode> screenDisplayModes();
