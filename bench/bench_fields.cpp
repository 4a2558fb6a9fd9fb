// How long one tweak file that sets many distinct fields of one element takes to compile.
// A walk over the element's children for every statement made 100,000 fields take minutes;
// the target is under a second. Then the plan of a mod made of that file against its apply:
// the dialog plans again at every tick, so the plan may cost no more than the apply. Always
// exits 0: the figures are for people, not for CI.
//
//   bench_fields [--fields N]

#include "base/feedback.h"
#include "launch/launchplan.h"
#include "launch/launchsequence.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Milliseconds to compile a file of count lines "F<n>=1" into a fresh element, or -1.
qint64 compileFields(const QString &dir, int count)
{
    const QString folder = dir + u"/Tweak/Units"_s;
    QDir().mkpath(folder);
    QByteArray text;
    text.reserve(qsizetype(count) * 10);
    for (int i = 0; i < count; ++i)
        text += "F" + QByteArray::number(i) + "=1\n";
    QFile file(folder + u"/Tank.twk"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return -1;
    file.close();

    VxResourceDocument document;
    if (!document.setContent("<XResourceFile><XResourceTable><XIndexDetails id='id-0'/>"
                             "<XUnitDetails id='Tank'/></XResourceTable></XResourceFile>"))
        return -1;
    VxSilentFeedback feedback;
    VxTweakContext context;
    context.folderPath = folder;
    context.resourceName = u"Units"_s;
    context.working = document.table();
    context.pristine = document.table();
    context.feedback = &feedback;

    QElapsedTimer timer;
    timer.start();
    const TweakOutcome outcome = compileTweakFolder(context);
    const qint64 elapsed = timer.elapsed();
    const VxResourceElement tank = findResourceById(document.table(), u"Tank"_s);
    // The last field must be there, once: otherwise the figure measured the wrong thing.
    if (outcome != TweakOutcome::Finished ||
        readResourceField(tank, u"F%1"_s.arg(count - 1)) != u"1"_s ||
        !readResourceField(tank, u"F%1(1)"_s.arg(count - 1)).isNull())
        return -1;
    return elapsed;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray fieldLines(int count)
{
    QByteArray text;
    text.reserve(qsizetype(count) * 10);
    for (int i = 0; i < count; ++i)
        text += "F" + QByteArray::number(i) + "=1\n";
    return text;
}

// A game whose Units.xml holds Tank, and the mod Fields setting count fields of it.
bool writeFieldsGame(const QString &game, int count)
{
    return writeFile(game + u"/data/Tweak/Units.xml"_s,
                     "<XResourceFile><XResourceTable><XIndexDetails id='id-0'/>"
                     "<XUnitDetails id='Tank'/></XResourceTable></XResourceFile>") &&
           writeFile(game + u"/VexilMods/Fields/info.txt"_s, "name=Fields\n") &&
           writeFile(game + u"/VexilMods/Fields/Tweak/Units/Tank.twk"_s, fieldLines(count));
}

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double medianOf(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

// Milliseconds of a vxmod command run as a process of its own, or -1 when it failed.
double vxmod(const QStringList &args, int expectedExit = 0)
{
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.setStandardOutputFile(QProcess::nullDevice());
    child.start(QStringLiteral(VX_VXMOD), args);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != expectedExit)
        return -1;
    return milliseconds(timer);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int fields = 100000;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(u"--fields"_s); at > 0 && at + 1 < args.size())
        fields = args.at(at + 1).toInt();

    QTextStream out(stdout);
    QTemporaryDir dir;
    // First the plan against the apply, on a machine not yet warmed by the compiles below.
    const QString game = dir.path() + u"/game"_s;
    if (!writeFieldsGame(game, fields)) {
        out << "bench_fields: cannot write the game\n";
        return 0;
    }
    const QList<VxModRef> mods{{game + u"/VexilMods/Fields/"_s, u"Fields"_s}};
    QList<double> plans, applies, planCommands, applyCommands;
    for (int run = 0; run < 5; ++run) {
        VxSilentFeedback feedback;
        QElapsedTimer timer;
        timer.start();
        const bool applied = applyMods(game, mods, feedback) == VxLaunchResult::Applied;
        applies.append(applied ? milliseconds(timer) : -1);
        restoreGame(game);
        timer.restart();
        const VxLaunchPlan plan = planLaunch(game, mods);
        plans.append(plan.edits.size() == fields ? milliseconds(timer) : -1);
    }
    // Processes are noisier than calls: more of them, each plan against the apply beside it,
    // so that a machine that slows down for a while moves both sides of a pair.
    QList<double> commandPairs;
    for (int run = 0; run < 9; ++run) {
        applyCommands.append(vxmod({u"apply"_s, u"-q"_s, u"--game"_s, game, u"Fields"_s}));
        vxmod({u"restore"_s, u"-q"_s, u"--game"_s, game});
        planCommands.append(vxmod({u"plan"_s, u"-q"_s, u"--game"_s, game, u"Fields"_s}));
        commandPairs.append(planCommands.constLast() < 0 || applyCommands.constLast() <= 0
                                ? -1.0
                                : planCommands.constLast() / applyCommands.constLast());
    }
    const auto ratio = [](const QList<double> &plan, const QList<double> &apply) {
        return std::ranges::min(plan) < 0 || std::ranges::min(apply) < 0
                   ? -1.0
                   : medianOf(plan) / medianOf(apply);
    };
    const double inProcess = ratio(plans, applies);
    const double commands = std::ranges::min(commandPairs) < 0 ? -1.0 : medianOf(commandPairs);
    auto f = [](double v) { return QString::number(v, 'f', 2); };
    out << "Plan and apply of a mod setting " << fields << " fields of one element\n"
        << "  planLaunch " << f(medianOf(plans)) << " ms, applyMods " << f(medianOf(applies))
        << " ms (median of 5)\n"
        << "  vxmod plan " << f(medianOf(planCommands)) << " ms, vxmod apply "
        << f(medianOf(applyCommands)) << " ms (median of 9, each a process of its own)\n"
        << "  plan / apply in process      " << f(inProcess) << "  target <= 1.0   "
        << (inProcess >= 0 && inProcess <= 1.0 ? "PASS" : "FAIL") << '\n'
        << "  vxmod plan / vxmod apply     " << f(commands) << "  target <= 1.0   "
        << (commands >= 0 && commands <= 1.0 ? "PASS" : "FAIL") << "  (median of the pairs)\n\n";
    out << "Distinct fields of one element in one tweak file\n";
    for (const int count : {fields / 4, fields / 2, fields}) {
        const qint64 ms = compileFields(dir.path() + u'/' + QString::number(count), count);
        out << "  " << count
            << " fields: " << (ms < 0 ? u"FAILED"_s : QString::number(ms) + u" ms"_s) << '\n';
        if (count == fields)
            out << "  target: " << fields << " fields under 1000 ms -> "
                << (ms >= 0 && ms < 1000 ? "met" : "MISSED") << '\n';
    }
    return 0;
}
