#include "ui/displaymodes.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cmath>

// Asks the X server directly rather than through Qt, which only knows each screen's current
// mode. A connection of our own keeps this independent of how Qt holds its own.
QList<VxDisplayMode> randrDisplayModes()
{
    QList<VxDisplayMode> modes;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return modes;

    int eventBase = 0;
    int errorBase = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase)) {
        XRRScreenResources *resources =
            XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
        for (int o = 0; resources && o < resources->noutput; ++o) {
            XRROutputInfo *output = XRRGetOutputInfo(display, resources, resources->outputs[o]);
            if (output && output->connection == RR_Connected) {
                for (int m = 0; m < output->nmode; ++m) {
                    for (int k = 0; k < resources->nmode; ++k) {
                        const XRRModeInfo &info = resources->modes[k];
                        if (info.id != output->modes[m])
                            continue;
                        const double dots = double(info.hTotal) * double(info.vTotal);
                        const int frequency =
                            dots > 0 ? int(std::lround(double(info.dotClock) / dots)) : 0;
                        modes.append({int(info.width), int(info.height), frequency});
                        break;
                    }
                }
            }
            if (output)
                XRRFreeOutputInfo(output);
        }
        if (resources)
            XRRFreeScreenResources(resources);
    }
    XCloseDisplay(display);
    // RandR puts the preferred mode first and the rest largest first; the choice of the
    // nearest lower mode walks the list from its end, which only works in ascending order.
    sortDisplayModesAscending(modes);
    return modes;
}
