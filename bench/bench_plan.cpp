// How long the plan of some mods takes, and how long the mod list stops answering while the
// collision marks follow a tick: the plan runs on a worker thread, so the list should never
// wait on it. With no arguments, the three demo mods; `bench_plan GAME` takes every folder of
// GAME/VexilMods (bench_apply --keep GAME leaves its perf game there). Always exits 0.
//
// Targets: the plan of the demo mods <= 50 ms; the longest stall of the list <= 50 ms.

#include "launch/launchplan.h"
#include "ui/collisionmarks.h"
#include "ui/moditem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The longest gap between the turns of the event loop while every mod is ticked one after
// another and the marks catch up with each tick.
double longestStall(const QString &game, const QList<VxModRef> &mods, int &collisions)
{
    QListWidget list;
    for (const VxModRef &mod : mods) {
        VxModInfo info;
        info.path = mod.path;
        info.name = mod.title;
        new VxModItem(info, &list);
    }
    auto *marks = new VxCollisionMarks(&list, game);

    double longest = 0;
    QElapsedTimer sinceTurn;
    QTimer pulse;
    pulse.setInterval(1);
    QObject::connect(&pulse, &QTimer::timeout, [&] {
        longest = std::max(longest, milliseconds(sinceTurn));
        sinceTurn.restart();
    });
    QEventLoop loop;
    int row = 0;
    QObject::connect(marks, &VxCollisionMarks::marksUpdated, &loop, [&] {
        if (row == list.count())
            loop.quit();
        else
            list.item(row++)->setCheckState(Qt::Checked);
    });
    sinceTurn.start();
    pulse.start();
    list.item(row++)->setCheckState(Qt::Checked);
    loop.exec();

    collisions = 0;
    for (int i = 0; i < list.count(); ++i)
        collisions += list.item(i)->data(Qt::DecorationRole).isNull() ? 0 : 1;
    return longest;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString game = app.arguments().value(1, QStringLiteral(VX_DEMO_INSTALL));
    QList<VxModRef> mods;
    for (const QString &name :
         QDir(game + u"/VexilMods"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        mods.append({game + u"/VexilMods/"_s + name + u'/', name});

    const int runs = app.arguments().size() > 1 ? 5 : 21;
    QList<double> times;
    qsizetype edits = 0;
    qsizetype collisions = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const VxLaunchPlan plan = planLaunch(game, mods);
        times.append(milliseconds(timer));
        edits = plan.edits.size();
        collisions = plan.collisions.size();
    }
    std::sort(times.begin(), times.end());
    const double median = times.at(times.size() / 2);
    int marked = 0;
    const double stall = longestStall(game, mods, marked);

    auto f = [](double v) { return QString::number(v, 'f', 1); };
    QTextStream(stdout) << "bench_plan: " << QDir::toNativeSeparators(game) << ", " << mods.size()
                        << " mods, " << edits << " edits, " << collisions << " collisions\n"
                        << "  plan (median of " << runs << ")          " << f(median) << " ms"
                        << (app.arguments().size() > 1 ? QString()
                                                       : u"  target <= 50 ms   "_s +
                                                             (median <= 50 ? u"PASS"_s : u"FAIL"_s))
                        << "\n  longest stall of the list   " << f(stall)
                        << " ms  target <= 50 ms   " << (stall <= 50 ? "PASS" : "FAIL") << " ("
                        << marked << " rows marked)\n";
    return 0;
}
