// How long the plan of the three demo mods takes: the dialog works it out again whenever a
// mod is ticked or moved, so it has to be there before the player looks. Always exits 0.

#include "launch/launchplan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString game = app.arguments().value(1, QStringLiteral(VX_DEMO_INSTALL));
    QList<VxModRef> mods;
    for (const char *name : {"BetterUnits", "NightSky", "WarpDrive"})
        mods.append({game + u"/VexilMods/"_s + QLatin1String(name) + u'/', QLatin1String(name)});

    QList<double> runs;
    qsizetype edits = 0;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        const VxLaunchPlan plan = planLaunch(game, mods);
        runs.append(double(timer.nsecsElapsed()) / 1e6);
        edits = plan.edits.size();
    }
    std::sort(runs.begin(), runs.end());
    const double median = runs.at(runs.size() / 2);
    QTextStream(stdout) << "bench_plan: the 3 demo mods, " << edits << " edits\n"
                        << "  plan (median of 21)   " << QString::number(median, 'f', 2)
                        << " ms  target <= 50 ms   " << (median <= 50 ? "PASS" : "FAIL") << '\n';
    return 0;
}
