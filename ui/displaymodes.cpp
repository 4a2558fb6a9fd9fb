#include "ui/displaymodes.h"

#include "ui/launcherconfig.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <tuple>

#if !defined(Q_OS_WIN) && !defined(VX_HAVE_XRANDR)
// Built without the RandR library: only the screen's current mode is known.
QList<VxDisplayMode> randrDisplayModes()
{
    return {};
}
#endif

void sortDisplayModesAscending(QList<VxDisplayMode> &modes)
{
    std::stable_sort(modes.begin(), modes.end(),
                     [](const VxDisplayMode &a, const VxDisplayMode &b) {
                         return std::tie(a.width, a.height, a.frequency) <
                                std::tie(b.width, b.height, b.frequency);
                     });
}

QList<VxDisplayMode> screenDisplayModes()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    // The physical mode, not the scaled desktop the window system hands out.
    const QSize size = screen->size() * screen->devicePixelRatio();
    return {{size.width(), size.height(), qRound(screen->refreshRate())}};
}

QList<VxDisplayMode> systemDisplayModes()
{
    QList<VxDisplayMode> modes;
#ifdef Q_OS_WIN
    modes = windowsDisplayModes();
#else
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        modes = randrDisplayModes();
#endif
    // Virtual displays report no timings, and Windows reports 0 or 1 for "the hardware's
    // default"; either would reach the game as a refresh rate, so such modes take the rate
    // the screen reports instead.
    const QList<VxDisplayMode> current = screenDisplayModes();
    bool replaced = false;
    for (VxDisplayMode &mode : modes) {
        if (mode.frequency <= 1 && !current.isEmpty()) {
            mode.frequency = current.first().frequency;
            replaced = true;
        }
    }
#ifndef Q_OS_WIN
    // The rates taken over must not break the ascending order.
    if (replaced)
        sortDisplayModesAscending(modes);
#else
    Q_UNUSED(replaced);
#endif
    if (!modes.isEmpty())
        return modes;
    return current;
}

VxDisplayModeLists mergeDisplayModes(const QList<VxDisplayMode> &modes)
{
    VxDisplayModeLists lists;
    for (const VxDisplayMode &mode : modes) {
        if (mode.width <= 639 || mode.height <= 479)
            continue;
        const QString resolution =
            QString::number(mode.width) + QLatin1Char('x') + QString::number(mode.height);
        const QString refresh = QString::number(mode.frequency) + QStringLiteral("Hz");
        const qsizetype index = lists.resolutions.indexOf(resolution);
        if (index < 0) {
            lists.resolutions.append(resolution);
            lists.refreshLists.append(QStringList{refresh});
        } else if (!lists.refreshLists[index].contains(refresh)) {
            lists.refreshLists[index].append(refresh);
        }
    }
    return lists;
}

VxDisplayChoice chooseDisplayMode(const VxDisplayModeLists &lists, int width, int height,
                                  int refreshRate)
{
    VxDisplayChoice choice;
    if (lists.resolutions.isEmpty())
        return choice;

    const QString saved = QString::number(width) + QLatin1Char('x') + QString::number(height);
    choice.resolution = int(lists.resolutions.indexOf(saved));
    if (choice.resolution < 0) {
        choice.resolution = 0;
        for (int i = int(lists.resolutions.size()) - 1; i >= 0; --i) {
            const QString &text = lists.resolutions.at(i);
            if (resolutionWidth(text) <= width && resolutionHeight(text) <= height) {
                choice.resolution = i;
                break;
            }
        }
    }

    const QStringList &refreshes = lists.refreshLists.at(choice.resolution);
    choice.refresh = int(refreshes.indexOf(QString::number(refreshRate) + QStringLiteral("Hz")));
    if (choice.refresh < 0) {
        choice.refresh = 0;
        for (int j = int(refreshes.size()) - 1; j >= 0; --j) {
            if (refreshValue(refreshes.at(j)) <= refreshRate) {
                choice.refresh = j;
                break;
            }
        }
    }
    return choice;
}
