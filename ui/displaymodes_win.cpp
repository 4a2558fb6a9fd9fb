#include "ui/displaymodes.h"

#include <qt_windows.h>

QList<VxDisplayMode> windowsDisplayModes()
{
    QList<VxDisplayMode> modes;
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    for (DWORD number = 0; EnumDisplaySettingsW(nullptr, number, &mode); ++number)
        modes.append({int(mode.dmPelsWidth), int(mode.dmPelsHeight), int(mode.dmDisplayFrequency)});
    return modes;
}
