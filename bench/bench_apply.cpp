// How long applying mods takes next to plain XML round trips of the same resource file, and
// how much memory it needs. Generates a synthetic game, applies three mods of about 700
// tweak files each, and prints the figures with their targets. Always exits 0: the figures
// are for people, not for CI.
//
//   bench_apply [--elements N] [--keep DIR]
//   bench_apply --apply-only GAME     (internal: one apply, then prints its peak memory)
//   bench_apply --cold-apply GAME     (internal: one apply, nothing else)
//   bench_apply --cold-round-trip SOURCE TARGET   (internal: one pugixml round trip)

#include "base/feedback.h"
#include "base/fileops.h"
#include "launch/launchplan.h"
#include "launch/launchsequence.h"
#include "launch/overlay.h"
#include "peakmemory.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int modCount = 3;
constexpr int filesPerMod = 700;

struct GameShape
{
    int containers = 0; // each a container plus its data element
    int typed = 0;      // typed resources of the six kinds
    qint64 bytes = 0;
};

const char *const typedTags[] = {"XIntResourceDetails",    "XUintResourceDetails",
                                 "XFloatResourceDetails",  "XStringResourceDetails",
                                 "XVectorResourceDetails", "XColorResourceDetails"};
const char *const typedSections[] = {"IntResources",    "UintResources",   "FloatResources",
                                     "StringResources", "VectorResources", "ColorResources"};

const char *const typeDirectives[] = {"#int", "#uint", "#float", "#string", "#vector", "#color"};

QByteArray number(qint64 n)
{
    return QByteArray::number(n);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// A resource file in the game's own shape: an index listing every resource, typed
// resources, then containers each followed by its data element.
GameShape writeResourceFile(const QString &path, int elements)
{
    GameShape shape;
    shape.typed = elements * 2 / 5;
    shape.containers = (elements - shape.typed) / 2;
    QRandomGenerator random(1);
    QByteArray xml;
    xml.reserve(qsizetype(elements) * 260);
    xml += "<?xml version='1.0' encoding='UTF-8'?>\n<XResourceFile version='4'>\n"
           "  <XResourceTable>\n    <XIndexDetails id='id-0'>\n";
    for (int i = 0; i < shape.typed; ++i)
        xml += "      <" + QByteArray(typedSections[i % 6]) + " href='Value" + number(i) + "'/>\n";
    for (int i = 0; i < shape.containers; ++i)
        xml += "      <ContainerResources href='Unit" + number(i) + "'/>\n";
    xml += "    </XIndexDetails>\n";
    for (int i = 0; i < shape.typed; ++i) {
        const QByteArray tag = typedTags[i % 6];
        const QByteArray id = "Value" + number(i);
        QByteArray value;
        switch (i % 6) {
        case 4:
            value = "<Value x='" + number(random.bounded(100)) + "' y='1.5' z='-2'/>";
            break;
        case 5:
            value = "<Value r='" + number(random.bounded(256)) + "' g='20' b='30' a='255'/>";
            break;
        default:
            value = "<Value>" + number(random.bounded(100000)) + "</Value>";
        }
        xml += "    <" + tag + " id='" + id + "'>\n      " + value + "\n      <Name>" + id +
               "</Name>\n      <Flags>64</Flags>\n    </" + tag + ">\n";
    }
    for (int i = 0; i < shape.containers; ++i) {
        const QByteArray id = "Unit" + number(i);
        xml += "    <XContainerResourceDetails id='" + id + "'>\n      <Value href='" + id +
               "-0'/>\n      <Name>" + id +
               "</Name>\n      <Flags>80</Flags>\n"
               "    </XContainerResourceDetails>\n"
               "    <XUnitDetails id='" +
               id + "-0'>\n      <DisplayName>Unit number " + number(i) +
               "</DisplayName>\n      <Health>" + number(random.bounded(1000)) +
               "</Health>\n      <BannerColor r='" + number(random.bounded(256)) +
               "' g='90' b='40' a='255'/>\n      <SpawnOffset x='1' y='" +
               number(random.bounded(9)) + "' z='0'/>\n      <Weapon href='Unit" +
               number(random.bounded(shape.containers)) +
               "'/>\n      <Sound>hit.wav</Sound>\n    </XUnitDetails>\n";
    }
    xml += "  </XResourceTable>\n</XResourceFile>\n";
    shape.bytes = xml.size();
    writeFile(path, xml);
    return shape;
}

// Three mods over Big: edits of existing elements, new elements by "#class" and "#copy",
// and a declaration file.
void writeMods(const QString &game, const GameShape &shape)
{
    QRandomGenerator random(2);
    for (int m = 0; m < modCount; ++m) {
        const QString folder = game + u"/VexilMods/Mod%1/Tweak/Big/"_s.arg(m);
        QByteArray declarations = "// Numbers the mod retunes or adds.\n";
        for (int k = 0; k < 200; ++k) {
            if (k % 40 == 0)
                declarations += QByteArray(typeDirectives[k / 40 % 6]) + "\n";
            const int id = k < 150 ? int(random.bounded(shape.typed)) : shape.typed + m * 100 + k;
            declarations += "Value" + number(id) + " = " + number(k) + "\n";
        }
        writeFile(folder + u"resource.twk"_s, declarations);

        int files = 1;
        for (; files < 560; ++files) {
            // A stride through the units, so no two files of a mod edit the same one.
            const int unit = int((qint64(m) * 104729 + qint64(files) * 7919) % shape.containers);
            const bool data = files % 4 == 0;
            QByteArray text = "// Retuned by mod " + number(m) + "\n#flags " +
                              number(random.bounded(8)) +
                              "\nHealth = " + number(random.bounded(900)) +
                              "\nSpeed=" + number(files % 17) + "\n+Tag=mod" + number(m) +
                              "\n-Sound\nBannerColor=@color 200 30 30 255\n"
                              "SpawnOffset=@vector 0 4 1\nWeapon=@href Unit" +
                              number(random.bounded(shape.containers)) +
                              "\nDisplayName=Improved unit [[" + number(files) + "]]\n";
            writeFile(folder + u"Unit%1%2.twk"_s.arg(unit).arg(data ? u"-0"_s : QString()), text);
        }
        for (; files < 630; ++files) {
            QByteArray text = "#flags 1\n#class XUnitDetails\nDisplayName=New unit\nHealth=80\n"
                              "Speed=6\nBannerColor=@color 240 240 240\n"
                              "SpawnOffset=@vector 1 2\nWeapon=@href Unit1\nTag=support\n";
            writeFile(folder + u"New%1_%2.twk"_s.arg(m).arg(files), text);
        }
        for (; files < filesPerMod; ++files) {
            QByteArray text = "/* a copy */\n#copy Unit" +
                              number(random.bounded(shape.containers)) +
                              "\nDisplayName=Copied unit\nHealth=1\n";
            writeFile(folder + u"Copy%1_%2.twk"_s.arg(m).arg(files), text);
        }
    }
}

QList<VxModRef> modsOf(const QString &game)
{
    QList<VxModRef> mods;
    for (int m = 0; m < modCount; ++m)
        mods.append({game + u"/VexilMods/Mod%1/"_s.arg(m), u"Mod%1"_s.arg(m)});
    return mods;
}

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

double medianOf(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double pugixmlRoundTrip(const QString &source, const QString &target)
{
    QElapsedTimer timer;
    timer.start();
    pugi::xml_document document;
    document.load_file(QFile::encodeName(source).constData());
    document.save_file(QFile::encodeName(target).constData(), "  ");
    return seconds(timer);
}

double qtXmlRoundTrip(const QString &source, const QString &target)
{
    QElapsedTimer timer;
    timer.start();
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return 0;
    QDomDocument document;
    document.setContent(&in);
    QFile out(target);
    if (out.open(QIODevice::WriteOnly))
        out.write(document.toByteArray(2));
    return seconds(timer);
}

struct Phases
{
    double backup = 0;
    double loads = 0;
    double firstLookup = 0; // the store's first lookup in a freshly loaded table
    double compile = 0;
    double saves = 0;
};

// The same steps as a launch's compile of one resource file per mod, timed apart. As in a
// launch, the working document is parsed once, kept from mod to mod and saved once, after the
// last; "#copy" reads the originals it keeps, so the game's own is not parsed again.
Phases timedPhases(const QString &game)
{
    Phases phases;
    QElapsedTimer timer;
    const QString resource = game + u"/data/Tweak/Big.xml"_s;
    timer.start();
    VxFileOps::copyFile(resource, resource + u".backup"_s, nullptr,
                        VxFileOps::Durability::Durable);
    phases.backup = seconds(timer);

    VxResourceDocument working;
    VxResourceElement workingTable;
    timer.restart();
    loadResourceDocument(working, workingTable, resource);
    working.keepOriginals();
    phases.loads += seconds(timer);
    timer.restart();
    findResourceById(workingTable, u"id-0"_s);
    phases.firstLookup += seconds(timer);

    VxSilentFeedback feedback;
    for (const VxModRef &mod : modsOf(game)) {
        VxTweakContext context;
        context.folderPath = mod.path + u"Tweak/Big"_s;
        context.resourceName = u"Big"_s;
        context.working = workingTable;
        context.pristineById = [&working](const QString &id) {
            VxResourceElement found;
            findOriginalById(working, id, found);
            return found;
        };
        context.feedback = &feedback;
        timer.restart();
        compileTweakFolder(context);
        phases.compile += seconds(timer);
    }
    timer.restart();
    saveResourceDocument(working, resource);
    phases.saves += seconds(timer);
    VxFileOps::replaceFile(resource + u".backup"_s, resource);
    return phases;
}

// Seconds for one apply of all mods; negative when the apply did not go through, which
// would make every figure meaningless.
double applyOnce(const QString &game)
{
    VxSilentFeedback feedback;
    QElapsedTimer timer;
    timer.start();
    const VxLaunchResult result = applyMods(game, modsOf(game), feedback);
    const double time = seconds(timer);
    restoreGame(game);
    return result == VxLaunchResult::Applied ? time : -1;
}

// Seconds for the plan of the same mods (it reads the game and writes nothing); negative
// when it met a problem.
double planOnce(const QString &game)
{
    QElapsedTimer timer;
    timer.start();
    const VxLaunchPlan plan = planLaunch(game, modsOf(game));
    const double time = seconds(timer);
    return plan.problems.isEmpty() && !plan.edits.isEmpty() ? time : -1;
}

int applyOnly(const QString &game)
{
    VxSilentFeedback feedback;
    const VxLaunchResult result = applyMods(game, modsOf(game), feedback);
    std::printf("%lld\n", peakResidentKilobytes());
    restoreGame(game);
    return result == VxLaunchResult::Applied ? 0 : 1;
}

// Peak resident memory of a process that does nothing but the apply, in bytes.
qint64 applyPeakMemory(const QString &game)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {u"--apply-only"_s, game});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toLongLong() * 1024;
}

// Peak memory of the same program started to do nothing, to tell the apply's share.
qint64 idlePeakMemory()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {u"--idle"_s});
    if (!child.waitForFinished(-1))
        return -1;
    return child.readAllStandardOutput().trimmed().toLongLong() * 1024;
}

// Wall time of a fresh process of this program started with args, from its start to its
// end; negative when it failed.
double coldRun(const QStringList &args)
{
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        return -1;
    return seconds(timer);
}

const char *verdict(bool pass)
{
    return pass ? "PASS" : "FAIL";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args.at(0) == "--apply-only"_L1)
        return applyOnly(args.at(1));
    if (args.size() == 2 && args.at(0) == "--cold-apply"_L1) {
        VxSilentFeedback feedback;
        return applyMods(args.at(1), modsOf(args.at(1)), feedback) == VxLaunchResult::Applied ? 0
                                                                                              : 1;
    }
    if (args.size() == 3 && args.at(0) == "--cold-round-trip"_L1) {
        pugixmlRoundTrip(args.at(1), args.at(2));
        return 0;
    }
    if (args.value(0) == "--idle"_L1) {
        std::printf("%lld\n", peakResidentKilobytes());
        return 0;
    }

    int elements = 100000;
    QString keep;
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        if (args.at(i) == "--elements"_L1)
            elements = args.at(i + 1).toInt();
        else if (args.at(i) == "--keep"_L1)
            keep = args.at(i + 1);
    }
    QTemporaryDir temporary;
    const QString game = keep.isEmpty() ? temporary.path() : keep;
    QTextStream out(stdout);

    const QString resource = game + u"/data/Tweak/Big.xml"_s;
    const GameShape shape = writeResourceFile(resource, elements);
    writeMods(game, shape);
    const double megabytes = double(shape.bytes) / 1e6;
    out << "bench_apply: Big.xml " << QString::number(megabytes, 'f', 1) << " MB, "
        << shape.typed + 2 * shape.containers << " resource elements; " << modCount << " mods of "
        << filesPerMod << " tweak files\n";
    out.flush();

    const QString scratch = game + u"/scratch.xml"_s;
    // The disk's write-back makes single timings swing; a warm-up and the median of runs
    // taken in turns keep the two sides of the ratio under the same conditions.
    pugixmlRoundTrip(resource, scratch);
    applyOnce(game);
    QList<double> pugiRuns;
    QList<double> applyRuns;
    QList<double> planRuns;
    for (int run = 0; run < 5; ++run) {
        pugiRuns.append(pugixmlRoundTrip(resource, scratch));
        applyRuns.append(applyOnce(game));
        planRuns.append(planOnce(game));
    }
    const double plan = std::ranges::min(planRuns) < 0 ? -1 : medianOf(planRuns);
    const double pugi = medianOf(pugiRuns);
    const double apply = std::ranges::min(applyRuns) < 0 ? -1 : medianOf(applyRuns);
    // Each side as a process of its own, started afresh, as a person meets them: the apply
    // as vxmod apply runs it, the round trip as the smallest program that does it.
    QList<double> coldTrips;
    QList<double> coldApplies;
    for (int run = 0; run < 3; ++run) {
        coldTrips.append(coldRun({u"--cold-round-trip"_s, resource, scratch}));
        coldApplies.append(coldRun({u"--cold-apply"_s, game}));
        restoreGame(game);
    }
    const double coldTrip = medianOf(coldTrips);
    const double coldApply = std::ranges::min(coldApplies) < 0 || std::ranges::min(coldTrips) < 0
                                 ? -1
                                 : medianOf(coldApplies);
    const double dom = qtXmlRoundTrip(resource, scratch);
    QFile::remove(scratch);
    if (apply < 0) {
        out << "bench_apply: the apply did not go through; no figures\n";
        return 0;
    }
    const Phases phases = timedPhases(game);
    const qint64 peak = applyPeakMemory(game);
    const qint64 idle = idlePeakMemory();

    const double pugiRatio = apply / pugi;
    const double domRatio = apply / dom;
    const double memoryRatio = double(peak) / double(shape.bytes);
    auto f = [](double v, int digits = 3) { return QString::number(v, 'f', digits); };
    out << "  pugixml load + indented save (median of 5) " << f(pugi) << " s\n"
        << "  QtXml setContent + toByteArray(2) " << f(dom) << " s\n"
        << "  apply of all mods (median of 5)   " << f(apply) << " s\n"
        << "  plan of all mods (median of 5)    " << f(plan) << " s\n"
        << "    phases: backup " << f(phases.backup) << " s, loads " << f(phases.loads)
        << " s, first lookups " << f(phases.firstLookup) << " s, compile " << f(phases.compile)
        << " s, saves " << f(phases.saves) << " s\n"
        << "  peak memory of the apply          " << f(double(peak) / 1e6, 1) << " MB (idle "
        << f(double(idle) / 1e6, 1) << " MB)\n\n"
        << "  apply / pugixml round trip   " << f(pugiRatio, 2) << "  target <= 4.0   "
        << verdict(pugiRatio <= 4.0) << '\n'
        << "  the same, cold processes (median of 3): apply " << f(coldApply) << " s, round trip "
        << f(coldTrip) << " s\n"
        << "  cold apply / cold round trip " << f(coldApply / coldTrip, 2) << "  target <= 2.5   "
        << verdict(coldApply > 0 && coldApply / coldTrip <= 2.5) << '\n'
        << "  apply / QtXml round trip     " << f(domRatio, 2) << "  target <= 0.4   "
        << verdict(domRatio <= 0.4) << '\n'
        << "  peak memory / file size      " << f(memoryRatio, 2) << "  target <= 12    "
        << verdict(peak > 0 && memoryRatio <= 12) << '\n'
        << "  plan / apply                 " << f(plan / apply, 2) << "  target <= 1.0   "
        << verdict(plan > 0 && plan <= apply) << '\n';
    return 0;
}
