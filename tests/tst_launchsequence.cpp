#include "base/feedback.h"
#include "launch/launchsequence.h"
#include "resources/resourcestore.h"
#include "testutil.h"

#include <QLockFile>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace vxtest;

// A launch of mods over a game folder, in process and through vxmod on a copy of the demo
// game: what the person sees, which files land where, what the game sees, and the restore,
// also from a journal cut short or damaged in any way.
class TestLaunchSequence : public QObject
{
    Q_OBJECT

private slots:
    void launch_data();
    void launch();
    void linkedFolders();
    void moreFilesThanOpenAtOnce();
    void withoutKernelCopy();
    void vxmod_data();
    void vxmod();
    void progressOnATerminal_data();
    void progressOnATerminal();
    void journalLines_data();
    void journalLines();
    void damagedJournal_data();
    void damagedJournal();
    void notOurs_data();
    void notOurs();
};

namespace {

// Answers from a script: "ignore" to the question, else Abort; "close" closes the window.
class AnsweringFeedback : public VxSilentFeedback
{
public:
    QString answer;
    int total = 0;
    int steps = 0;
    void begin(int count) override { total = count; }
    void step() override { ++steps; }
    bool cancelled() override { return answer == u"close"_s; }
    Answer ask(const QString &, const QString &) override
    {
        return answer == u"ignore"_s ? Answer::Ignore : Answer::Abort;
    }
};

// "path=content; path=content; ...", a later path replacing an earlier one.
Files files(const QString &entries)
{
    Files result;
    for (const QString &entry : entries.split(u"; "_s, Qt::SkipEmptyParts))
        result.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1).toUtf8());
    return result;
}

// The mods (each as for files()) written below root, in launch order, titled "Mod 0", ...
QList<VxModRef> writeMods(const QString &root, const QStringList &mods)
{
    QList<VxModRef> refs;
    for (qsizetype i = 0; i < mods.size(); ++i) {
        refs.append({root + u"/Mod%1/"_s.arg(i), u"Mod %1"_s.arg(i)});
        writeTree(refs.constLast().path, files(mods.at(i)));
    }
    return refs;
}

// The game's data folder: a resource file and a broken one, and files named like ours.
const Files game =
    files(u"Art/tank.pgm=game tank; Art/.shade=game; Maps/Sea/isle=map; Text/credits.txt=c; "
          u"Text/credits.txt.backup=gc; Text/readme.backup=r; Text/notes.vxpart.txt=n; "
          u"Tweak/Broken.xml=<XResourceFile><XResourceTable>"_s) +
    Files{{u"Tweak/Units.xml"_s,
           "<XResourceFile version='4'><XResourceTable><XIndexDetails id='id-0'>"
           "<IntResources href='Speed'/><IntResources href='Armor'/></XIndexDetails>"
           "<XIntResourceDetails id='Speed'><Value>3</Value><Flags>64</Flags>"
           "</XIntResourceDetails><XIntResourceDetails id='Armor'><Value>1</Value>"
           "<Flags>64</Flags></XIntResourceDetails></XResourceTable></XResourceFile>"}};

// The game as a launch of one mod left it in dir/game, and the journal it wrote, taken out.
Files launched(const QString &dir, QByteArray &journal)
{
    writeTree(dir + u"/game/data"_s, game);
    VxSilentFeedback silent;
    applyMods(dir + u"/game"_s,
              writeMods(dir, {u"Art/tank.pgm=mod; Art/medic=m; Tweak/Units/Speed.twk=Value=9"_s}),
              silent);
    Files modded = readTree(dir + u"/game"_s);
    journal = modded.take(u"vxlaunch.journal"_s);
    return modded;
}

// A copy of the launched game folder in dir whose files are the launch's own (see linkTree),
// with journal in place of the launch's.
bool launchedCopy(const QString &launchedDir, const QString &dir, const QByteArray &journal)
{
    return linkTree(launchedDir + u"/game"_s, dir) && QFile::remove(dir + u"/vxlaunch.journal"_s) &&
           writeTree(dir, {{u"vxlaunch.journal"_s, journal}});
}

} // namespace

void TestLaunchSequence::launch_data()
{
    QTest::addColumn<QStringList>("mods"); // each as for files()
    QTest::addColumn<QString>("changed");  // data files that differ after it; "*": any content
    // Speed, Armor, Fast and Zeta, as many as given; empty: not looked at
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("answer"); // to the question, or "close" the progress window

    const auto row = [](const char *name, const QStringList &mods, const QString &changed,
                        const QString &values = {}, const QString &answer = {}) {
        QTest::newRow(name) << mods << changed << values << answer;
    };
    const QString speed = u"Tweak/Units/Speed.twk=Value=9\n"_s;
    const QString armor = u"Tweak/Units/Armor.twk=Value=7\n"_s;
    const QString ghost = u"Tweak/Units/Ghost.twk=Value=1\n; "_s;
    const QString copy = u"Tweak/Units/Fast.twk=#nodb\n#copy "_s;
    const QString units = u"Tweak/Units.xml=*; Tweak/Units.xml.backup=*"_s;
    const QString broken = u"Tweak/Broken.xml.backup=<XResourceFile><XResourceTable>"_s;
    row("a data mod's file goes aside; a tweak folder with no resource file is skipped",
        {u"Art/tank.pgm=mod; Tweak/Nowhere/Speed.twk=Value=9\n"_s},
        u"Art/tank.pgm=mod; Art/tank.pgm.backup=game tank"_s, u"3|1|"_s);
    row("edits of two mods accumulate and the lower mod wins",
        {speed, armor + u"; Tweak/Units/Speed.twk=Value=5\n"_s}, units, u"5|7|"_s);
    row("a copy reads the game's element, not an earlier mod's edit", {speed, copy + u"Speed\n"_s},
        units, u"9|1|3"_s);
    row("a copy later in the same mod reads the game's element, not the mod's edit",
        {armor + u"; "_s + copy + u"Armor\n"_s}, units, u"3|7|1"_s);
    row("a copy reads the game's element after a declaration and a removal changed it",
        {u"Tweak/Units/resource.twk=#int\nArmor = 8\n"_s, u"Tweak/Units/Armor.twk=-Value\n"_s,
         copy + u"Armor\n"_s},
        units, u"3||1"_s);
    row("a copy of an element only an earlier mod made finds none",
        {u"Tweak/Units/Zeta.twk=#nodb\n#class XIntResourceDetails\nValue=5\n"_s,
         copy + u"Zeta\n"_s},
        units, u"3|1||5"_s, u"ignore"_s);
    row("after Abort the earlier mods are compiled again, their copy still the game's",
        {speed, copy + u"Speed\n"_s, u"Tweak/Units/Armor.twk=Value=2\n; "_s + ghost + speed}, units,
        u"9|1|3"_s, u"abort"_s);
    row("a malformed resource file stops the launch",
        {u"Tweak/Broken/Speed.twk=Value=9\n"_s, speed}, broken, u"3|1|"_s);
    row("Abort to the question ends the launch", {ghost + speed, speed},
        u"Tweak/Units.xml.backup=*"_s, u"3|1|"_s, u"abort"_s);
    row("Ignore skips the rest of the folder and the launch goes on", {ghost + speed, armor}, units,
        u"3|7|"_s, u"ignore"_s);
    row("a later mod's file that does not load leaves the earlier edits saved",
        {speed, armor, u"Tweak/Units/Armor.twk=Value=2\n; Tweak/Broken/Speed.twk=Value=9\n"_s},
        units + u"; "_s + broken, u"9|7|"_s);
    row("Abort in a later mod drops its edits and keeps the earlier mods' edits",
        {speed, armor, u"Tweak/Units/Armor.twk=Value=2\n; "_s + ghost + speed}, units, u"9|7|"_s,
        u"abort"_s);
    row("Ignore in a later mod keeps its edits before the question",
        {speed, armor,
         u"Tweak/Units/Armor.twk=Value=2\n; "_s + ghost + u"Tweak/Units/Speed.twk=Value=5\n"_s,
         copy + u"Speed\n"_s},
        units, u"9|2|3"_s, u"ignore"_s);
    row("a closed progress window stops before the first tweak file", {speed},
        u"Tweak/Units.xml.backup=*"_s, u"3|1|"_s, u"close"_s);
    row("of two mods the first keeps a file, whether it replaced or added it",
        {u"Art/tank.pgm=1; Art/medic=1"_s, u"Art/tank.pgm=2; Art/medic=2"_s},
        u"Art/tank.pgm=1; Art/tank.pgm.backup=game tank; Art/medic=1"_s);
    row("game files named like backups or temporaries are never taken for ours",
        {u"Text/credits.txt=mc; Text/credits.txt.backup=mb; Art/tank.pgm.vxpart=mt"_s},
        u"Text/credits.txt=mc; Text/credits.txt.backup=mb; Text/credits.txt.backup.1=c; "
        u"Text/credits.txt.backup.backup=gc; Art/tank.pgm.vxpart=mt"_s);
    row("a mod's file named like an earlier mod's backup or temporary is laid all the same; the "
        "backup takes the next name",
        {u"Art/tank.pgm=1"_s, u"Art/tank.pgm.backup=2; Art/tank.pgm.vxpart=3"_s},
        u"Art/tank.pgm=1; Art/tank.pgm.backup=2; Art/tank.pgm.backup.1=game tank; "
        u"Art/tank.pgm.vxpart=3"_s);
    row("no folder is created for one the game lacks, nor a file laid over a folder",
        {u"Music/t=x; Art/Deep/e=y; Maps/Sea=z"_s}, {});
    row("empty files replace and add like any other, and are undone",
        {u"Art/tank.pgm=; Art/medic="_s},
        u"Art/tank.pgm=; Art/tank.pgm.backup=game tank; Art/medic="_s);
    row("a hidden game file is replaced and comes back", {u"Art/.shade=mod"_s},
        u"Art/.shade=mod; Art/.shade.backup=game"_s);
}

void TestLaunchSequence::launch()
{
    QFETCH(QStringList, mods);
    QFETCH(QString, changed);
    QFETCH(QString, values);
    QFETCH(QString, answer);

    TestDir dir;
    const QString install = dir.path() + u"/Game Folder"_s;
    QVERIFY(writeTree(install + u"/data"_s, game));
    AnsweringFeedback feedback;
    feedback.answer = answer;
    // A mod that tweaks Broken.xml meets a resource file that does not load.
    const QList<VxModRef> refs = writeMods(dir.path() + u"/VexilMods"_s, mods);
    const VxLaunchResult result = applyMods(install, refs, feedback);
    QCOMPARE(result, mods.join(u';').contains(u"Broken"_s)          ? VxLaunchResult::LoadFailed
                     : answer == u"abort"_s || answer == u"close"_s ? VxLaunchResult::Abandoned
                                                                    : VxLaunchResult::Applied);
    // A launch that went its whole way fills the progress bar exactly.
    if (answer.isEmpty() && result == VxLaunchResult::Applied)
        QCOMPARE(feedback.steps, feedback.total);
    Files after = readTree(install + u"/data"_s);
    const Files expected = game + files(changed);
    for (const QString &path : expected.keys("*"))
        after[path] = after.contains(path) ? "*" : "missing";
    QCOMPARE(after, expected);
    VxResourceDocument document;
    VxResourceElement table;
    QVERIFY(loadResourceDocument(document, table, install + u"/data/Tweak/Units.xml"_s));
    QStringList found;
    for (const QString &id : {u"Speed"_s, u"Armor"_s, u"Fast"_s, u"Zeta"_s})
        found << readResourceField(findResourceById(table, id), u"Value"_s);
    QCOMPARE(found.mid(0, values.isEmpty() ? 0 : values.count(u'|') + 1).join(u'|'), values);
    // Whichever way the launch ended, the restore brings back the game exactly, and only it.
    QCOMPARE(restoreGame(install).failures, QStringList());
    QCOMPARE(readTree(install), under(u"data/"_s, game));
}

// Two names for one folder in the mod, folders linking to their parents in mod and game, a
// game folder linking outside the game, and a game file that is a dangling link: each file is
// laid once, no loop is followed, and nothing is laid through a link.
void TestLaunchSequence::linkedFolders()
{
#ifdef Q_OS_WIN
    QSKIP("QFile::link makes .lnk shortcuts on Windows, and Wine 8 has no directory junctions");
#endif
    TestDir dir;
    const QString art = dir.path() + u"/game/data/Art"_s, mod = dir.path() + u"/Mod0/"_s;
    QVERIFY(writeTree(art, files(u"A/tank=a; B/tank=b"_s)) && QDir().mkpath(art + u"/B/loop"_s) &&
            writeTree(mod, files(u"shared/tank=mod; Art/ghost.pgm=mod; Art/Out/x=mod"_s)) &&
            QDir().mkpath(dir.path() + u"/outside"_s) &&
            QFile::link(dir.path() + u"/outside"_s, art + u"/Out"_s) &&
            QFile::link(mod + u"shared"_s, mod + u"Art/A"_s) &&
            QFile::link(mod + u"shared"_s, mod + u"Art/B"_s) &&
            QFile::link(mod + u"Art"_s, mod + u"shared/loop"_s) &&
            QFile::link(art, art + u"/A/loop"_s) &&
            QFile::link(u"nowhere"_s, art + u"/ghost.pgm"_s));
    VxSilentFeedback silent;
    QCOMPARE(applyMods(dir.path() + u"/game"_s, {{mod, u"Mod"_s}}, silent),
             VxLaunchResult::Applied);
    // B/loop is a real folder of the game: the mod's loop back to Art would lay into it.
    QCOMPARE(readTree(art), files(u"A/tank=mod; A/tank.backup=a; B/tank=mod; B/tank.backup=b; "
                                  u"B/loop/=; ghost.pgm=mod; ghost.pgm.backup=<special>; Out/="_s));
    QVERIFY(restoreGame(dir.path() + u"/game"_s).ok());
    QCOMPARE(readTree(art), files(u"A/tank=a; B/tank=b; B/loop/=; ghost.pgm=<special>; Out/="_s));
    QCOMPARE(QFileInfo(art + u"/ghost.pgm"_s).symLinkTarget(), art + u"/nowhere"_s);
}

// A launch of many mods with many files, in a process with few descriptors to spare:
// nothing a launch or its restore opens for one file or one mod stays open past it.
void TestLaunchSequence::moreFilesThanOpenAtOnce()
{
#ifdef Q_OS_LINUX
    TestDir dir;
    Files game, mods;
    QList<VxModRef> refs;
    for (int mod = 0; mod < 40; ++mod) {
        refs.append({dir.path() + u"/Mod%1/"_s.arg(mod), u"Mod %1"_s.arg(mod)});
        for (int i = 0; i < 10; ++i) {
            game.insert(u"data/Art/f%1-%2"_s.arg(mod).arg(i), "game");
            mods.insert(u"Mod%1/Art/f%1-%2"_s.arg(mod).arg(i), "mod");
        }
    }
    QVERIFY(writeTree(dir.path() + u"/game"_s, game) && writeTree(dir.path(), mods));
    rlimit limit{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
    const rlimit usual = limit;
    // What this process holds open now, and a few more.
    limit.rlim_cur =
        QDir(u"/proc/self/fd"_s).entryList(QDir::NoDotAndDotDot | QDir::System).size() + 24;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
    VxSilentFeedback silent;
    const VxLaunchResult result = applyMods(dir.path() + u"/game"_s, refs, silent);
    const Files modded = readTree(dir.path() + u"/game/data"_s);
    const VxRestoreReport report = restoreGame(dir.path() + u"/game"_s);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &usual) == 0);
    QCOMPARE(result, VxLaunchResult::Applied);
    QCOMPARE(modded.size(), 800);
    QCOMPARE(modded.value(u"Art/f39-9"_s), "mod");
    QCOMPARE(report.failures, QStringList());
    QCOMPARE(readTree(dir.path() + u"/game"_s), game);
#else
    QSKIP("what a process holds open is counted here in /proc");
#endif
}

// Where the file system has no kernel copy, each mod file and each backup is copied through
// memory instead, byte for byte, a megabyte at a time.
void TestLaunchSequence::withoutKernelCopy()
{
    const QString shim = qEnvironmentVariable("VX_NO_KERNEL_COPY");
    if (shim.isEmpty())
        QSKIP("the stand-in for such a file system is built for Linux only");
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QByteArray big;
    for (int i = 0; big.size() < (5 << 19); ++i)
        big += QByteArray::number(i * 2654435761u, 16) + ' ';
    QVERIFY(stageDemoGame(game) && writeTree(game, {{u"VexilMods/NightSky/Art/big.bin"_s, big}}));
    const Files pristine = readTree(game + u"/data"_s);
    QProcessEnvironment env = testEnvironment(dir.path());
    env.insert(u"LD_PRELOAD"_s, shim);
    const Run run = runVxmod({u"apply"_s, u"--game"_s, game, u"NightSky"_s}, env);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const Files modded = readTree(game + u"/data"_s);
    QCOMPARE(modded.value(u"Art/big.bin"_s), big);
    QCOMPARE(modded.value(u"Art/Sky/backdrop.txt"_s),
             readTree(game + u"/VexilMods/NightSky"_s).value(u"Art/Sky/backdrop.txt"_s));
    QCOMPARE(modded.value(u"Tweak/World.xml.backup"_s), pristine.value(u"Tweak/World.xml"_s));
    QCOMPARE(runVxmod({u"restore"_s, u"--game"_s, game}, env).exitCode, 0);
    QCOMPARE(readTree(game + u"/data"_s), pristine);
}

void TestLaunchSequence::vxmod_data()
{
    // Split at blanks; "GAME" stands for the game folder; "VX_...=value" goes to the stand-in
    // game's environment
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Files>("written"); // into the game folder first
    QTest::addColumn<int>("exitCode");
    // All of stdout for status, all of stderr for restore, what stdout or stderr starts with for
    // help or no command, else in stderr
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("seen");    // a line of what the game saw, by its start
    QTest::addColumn<bool>("modded");     // data/ left modded by an apply
    QTest::addColumn<bool>("lockKept");   // what was at the lock's name is there as it was
    QTest::addColumn<QString>("out");     // what stdout starts with; empty: nothing; "*": any
    QTest::addColumn<QByteArray>("sets"); // VexilMods/modsets.txt after; "=": as before; "*": any

    const auto row = [](const char *name, const QString &args, const Files &written, int exitCode,
                        const QString &message, const QString &seen = {}, bool modded = false,
                        bool lockKept = true) {
        QTest::newRow(name) << args.split(u' ', Qt::SkipEmptyParts) << written << exitCode
                            << message << seen << modded << lockKept << u"*"_s << "*"_ba;
    };
    // The mod sets' commands and options: "--game GAME" added, '_' a blank in a set's name; sets
    // is modsets.txt before ("-": none), and a stdout not said is empty but for a play.
    const auto setRow = [](const char *name, const QString &args, const QByteArray &sets,
                           int exitCode, const QString &err, const QString &out = {},
                           const QByteArray &after = "=", bool modded = false) {
        QTest::newRow(name)
            << (args + u" --game GAME"_s).split(u' ').replaceInStrings(u"_"_s, u" "_s)
            << (sets == "-" ? Files() : Files{{u"VexilMods/modsets.txt"_s, sets}}) << exitCode
            << err << QString() << modded << true << (args.startsWith(u"play"_s) ? u"*"_s : out)
            << after;
    };
    const auto lock = [](const QByteArray &content) {
        return Files{{u"vxlaunch.lock"_s, content}};
    };
    const Files broken{{u"data/Tweak/Units.xml"_s, "<XResourceFile>"}};
    // Older launchers kept no journal; the game may have a file of such a name of its own.
    const Files oldLauncher{{u"data/Art/Sky/backdrop.txt.backup"_s, "old sky"},
                            {u"data/Tweak/Gone.xml.backup"_s, "<gone/>"},
                            {u"data/Text/readme.backup"_s, "the game's own"}};
    const QString tankBackup = u"file\tdata/Art/Units/tank.pgm.backup\t"_s;
    const QString restored = u"vxmod: restored: 0 files put back, 0 added files removed\n"_s;
    const QString usage = u"Usage: vxmod COMMAND [OPTIONS] [MOD...]\n"_s;
    row("an unknown mod is refused before anything changes",
        u"apply --game GAME BetterUnits NoSuchMod"_s, {}, 2,
        u"unknown mod 'NoSuchMod': no mod of that name in "_s);
    row("a play whose launch fails puts the game's files back itself",
        u"play --game GAME NightSky BetterUnits"_s, broken, 1, u"restored: "_s);
    // Haunted's Ghost.twk names an element that does not exist and defines none, so the
    // compiler asks. Into a pipe, progress is a line a step; an apply that ended early leaves
    // its work to a restore, as a whole one does.
    const QString question =
        u"vxmod: error loading file Ghost.twk, continue anyway? -> abort (--on-error)\n"_s;
    const QString endedEarly =
        u"vxmod: the launch ended early; 'vxmod restore' puts the game's files back\n"_s;
    row("the question answered by the default abort", u"apply --game GAME Haunted"_s, {}, 1,
        u"== Haunted \n[0/1] Initializing Units.xml\n[0/1] Loading Units.xml (Ghost.twk)\n"_s +
            question + u"[0/1] done\n"_s + endedEarly,
        {}, true);
    row("-q shows the faults and no progress", u"apply --game GAME -q Haunted"_s, {}, 1,
        question + endedEarly, {}, true);
    row("the question answered by --on-error ignore",
        u"apply --game GAME --on-error ignore Haunted"_s, {}, 0, u"error loading file Ghost.twk"_s,
        {}, true);
    row("the game ends with an error code, the game's files come back",
        u"play --game GAME VX_STANDIN_EXIT_CODE=5 BetterUnits"_s, {}, 3,
        u"the game exited with code 5"_s, tankBackup);
    row("the game crashes, the game's files come back",
        u"play --game GAME VX_STANDIN_CRASH=1 BetterUnits"_s, {}, 3, u"crashed"_s, tankBackup);
    row("a game that hands over to another process is waited for to the end",
        u"play --game GAME VX_STANDIN_HANDOVER_MS=1500 NightSky"_s, {}, 0,
        u"restored: 2 files put back, 1 added file removed"_s,
        u"file\tdata/Art/Sky/backdrop.txt.backup\t"_s);
    row("line ends, tabs and blanks in launcher.cfg reach the game as words", u"play --game GAME"_s,
        {{u"launcher.cfg"_s, " /W:1024\r\n\t/H:tall  /LOUD /NOMOVIES\n"}}, 0, {},
        u"setting\twidth\t1024"_s);
    row("a restore leaves an older launcher's backups, which nothing records",
        u"restore --game GAME"_s, oldLauncher, 0,
        restored +
            u"vxmod: 2 files are named like the backups an older launcher made (such as "
            u"GAME/"_s +
            QDir::toNativeSeparators(u"data/Art/Sky/backdrop.txt.backup"_s) +
            u"); nothing records them, so they stay; 'vxmod restore --by-name' puts them back "
            u"over the files they are named after\n"_s);
    row("restore --by-name puts them back, and says so once", u"restore --game GAME --by-name"_s,
        oldLauncher, 0, u"vxmod: restored: 2 files put back, 0 added files removed\n"_s, {}, true);
    row("the status of an untouched game", u"status --game GAME"_s, {}, 0, u"clean\n"_s);
    row("the status tells of an older launcher's backups", u"status --game GAME"_s, oldLauncher, 1,
        u"modded by an older launcher, or holding files named like its backups: 2 (such as GAME/"_s +
            QDir::toNativeSeparators(u"data/Art/Sky/backdrop.txt.backup"_s) +
            u"); 'vxmod restore --by-name' puts them back\n"_s);
    row("an unknown option is refused", u"apply --game GAME --frobnicate"_s, {}, 2,
        u"vxmod: unknown option 'frobnicate'\n"_s);
    row("an unknown command is refused", u"frobnicate"_s, {}, 2,
        u"vxmod: unknown command 'frobnicate'\n\n"_s + usage);
    row("no command: the usage, as a usage error", {}, {}, 2, usage);
    row("help: the usage, as asked for", u"help"_s, {}, 0, usage);
    row("no game named and none installed", u"list"_s, {}, 2,
        u"vxmod: no installed game found; pass --game DIR to name the game folder\n"_s);
    row("a folder without data is no game", u"list --game GAME/VexilMods"_s, {}, 2,
        u"VexilMods is not a game folder: it has no data folder\n"_s);
    // A mod with a tweak file that cannot be read would be laid without its edits.
    row("list leaves out a mod whose tweak file is a FIFO, and says why", u"list --game GAME"_s,
        {{u"VexilMods/Haunted/Tweak/Units/Tank.twk"_s, "special:fifo"}}, 1,
        u"vxmod: no mod: GAME/VexilMods/Haunted/Tweak/Units/Tank.twk: not a regular file\n"_s);
    row("apply refuses a mod whose resource.twk is a link to /dev/zero",
        u"apply --game GAME Haunted"_s,
        {{u"VexilMods/Haunted/Tweak/Units/resource.twk"_s, "special:zero"}}, 2,
        u"unknown mod 'Haunted': GAME/VexilMods/Haunted/Tweak/Units/resource.twk: not a "
        u"regular file\n"_s);
    row("play refuses a mod with a tweak file one byte past 64 MiB",
        u"play --game GAME NightSky BetterUnits"_s,
        {{u"VexilMods/BetterUnits/Tweak/Units/Medic.twk"_s, "special:huge:67108865"}}, 2,
        QDir::toNativeSeparators(u"BetterUnits/Tweak/Units/Medic.twk"_s) +
            u": larger than 67108864 bytes\n"_s);
    // Loaded, but nested deeper than a save writes: the launch fails at the save.
    const QByteArray deep = "<XResourceFile><XResourceTable><XIndexDetails id='id-0'/>"
                            "<XUnitDetails id='Tank'>" +
                            QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300) +
                            "</XUnitDetails></XResourceTable></XResourceFile>";
    row("a resource file that cannot be saved is told once", u"apply --game GAME Deep"_s,
        {{u"data/Tweak/Units.xml"_s, deep},
         {u"VexilMods/Deep/info.txt"_s, "name=Deep\n"},
         {u"VexilMods/Deep/Tweak/Units/Tank.twk"_s, "Speed=1\n"}},
        1, u"elements nested more than 256 levels deep"_s, {}, true);
    row("a game that cannot start is reported", u"play --game GAME BetterUnits"_s,
        {{gameExecutableName(), "not a program"}}, 1, u"could not start the game"_s);

    // Whatever lies at the lock's name, no command waits on it or reads it to its end; what no
    // live launch holds is taken over, and what is no lock file is refused, said and left.
    const QString lockFile = u"the lock file GAME/vxlaunch.lock "_s;
    const QString refused = u"; nothing is changed while it is there\n"_s;
    const QString stale = u"; the next command that changes files removes it\n"_s;
    const QByteArray ended = "2147483647\nvxmod\nhost\n";
    row("a FIFO: status tells what it is and waits on nothing", u"status --game GAME"_s,
        lock("special:fifo"), 0,
        u"clean; "_s + lockFile +
            u"is not a regular file; every command that changes files refuses until it is "
            u"removed\n"_s);
    row("a link to /dev/zero: apply refuses and reads nothing", u"apply --game GAME BetterUnits"_s,
        lock("special:zero"), 1, lockFile + u"is a link, not a lock file"_s + refused);
    row("a folder: restore refuses and leaves it", u"restore --game GAME"_s, lock("special:folder"),
        1, u"vxmod: "_s + lockFile + u"is a folder, not a lock file"_s + refused);
    row("one byte larger than any lock file: remove refuses", u"remove --game GAME NightSky"_s,
        lock("special:huge:4097"), 1,
        u"vxmod: cannot remove NightSky: the game folder cannot be used: "_s + lockFile +
            u"is larger than 4096 bytes, which no lock file is"_s + refused);
    row("a lock of the largest size, of an owner that has ended, is taken over",
        u"restore --game GAME"_s, lock(ended.leftJustified(4096, ' ')), 0, restored, {}, false,
        false);
    row("an owner that has ended: status tells, and leaves it", u"status --game GAME"_s,
        lock(ended), 0,
        u"clean; "_s + lockFile +
            u"was left by a launch that is no longer running (process 2147483647)"_s + stale);
    row("an empty lock, left by a kill while it was written, is taken over at once",
        u"restore --game GAME"_s, lock({}), 0, restored, {}, false, false);
    row("an empty lock is no running launch to status", u"status --game GAME"_s, lock({}), 0,
        u"clean; "_s + lockFile +
            u"was left without an owner by a launch killed while writing it"_s + stale);
    row("a live lock is a running launch, and refuses a removal", u"remove --game GAME NightSky"_s,
        lock("special:held"), 2,
        u"vxmod: cannot remove NightSky: the game folder is in use by another launch (process "
        u"PID, tst_launchsequence)\n"_s);
    row("a live lock, to status", u"status --game GAME"_s, lock("special:held"), 0,
        u"clean; a launch is running\n"_s);
#ifndef Q_OS_WIN // where the name a process runs under is known
    row("process 1, which runs another program, is no running launch to status",
        u"status --game GAME"_s, lock("1\nvxmod\nhost\n"), 0,
        u"clean; "_s + lockFile + u"was left by a launch that is no longer running (process 1)"_s +
            stale);
#endif

    const QByteArray pair = "[Pair]\nWarpDrive\nNightSky\n[Lost]\nGone\nBetterUnits\n";
    setRow("sets: a set a line, tab-separated, in file order; damaged lines: exit 1", u"sets"_s,
           "[Zed]\nNightSky\nBetterUnits\n[Al]\nWarpDrive\n[x\n", 1,
           u"modsets.txt:6: a [set name] line needs a name and one closing ] at its end"_s,
           u"Zed\tNightSky\tBetterUnits\nAl\tWarpDrive\n"_s);
    setRow("sets on a FIFO reports it and does not wait", u"sets"_s, "special:fifo", 1,
           u"modsets.txt: it is not a regular file"_s);
    setRow("set save keeps the mods in the order given", u"set save My_set WarpDrive NightSky"_s,
           "-", 0, u"saved the set 'My set' of 2 mods"_s, {}, "[My set]\nWarpDrive\nNightSky\n");
    setRow("set save where the sets cannot be written fails and says why", u"set save B NightSky"_s,
           "special:fifo", 1, u"could not save the sets in "_s);
    setRow("set save of an unknown mod is a usage error", u"set save B NightSky Nope"_s, pair, 2,
           u"unknown mod 'Nope'"_s);
    setRow("set save of a mod named twice is a usage error", u"set save B NightSky NightSky"_s,
           pair, 2, u"mod 'NightSky' is named more than once"_s);
    setRow("set save of a name with ] is a usage error", u"set save a] NightSky"_s, pair, 2,
           u"cannot save the set: a set name cannot hold ]"_s);
    setRow("set delete", u"set delete Pair"_s, pair, 0, u"deleted the set 'Pair'"_s, {},
           "[Lost]\nGone\nBetterUnits\n");
    setRow("set delete while another program changes the sets fails and says why",
           u"set delete Pair"_s, "held:" + pair, 1,
           u"another program is changing the sets; try again in a moment"_s);
    setRow("set delete of an unknown set is a usage error", u"set delete Nope"_s, pair, 2,
           u"no set named 'Nope'"_s);
    setRow("plan --set plans the set's mods in its order", u"plan --set Pair"_s, pair, 0, {},
           u"Mods, in launch order: WarpDrive, NightSky\n"_s);
    setRow("plan --set with a missing mod names it and plans the rest", u"plan --set Lost"_s, pair,
           0, u"set 'Lost' names mods that are not installed: Gone"_s,
           u"Mods, in launch order: BetterUnits\n"_s);
    setRow("check --set counts a missing mod as a problem", u"check --set Lost"_s, pair, 1,
           u"names mods that are not installed: Gone"_s);
    setRow("apply --set with a missing mod changes nothing", u"apply --set Lost"_s, pair, 1,
           u"nothing was changed"_s);
    setRow("apply --set --skip-missing applies the installed ones",
           u"apply --skip-missing --set Lost"_s, pair, 0,
           u"names mods that are not installed: Gone"_s, {}, "=", true);
    setRow("play --set plays the set and records it as the last game", u"play --set Pair"_s, pair,
           0, u"restored: "_s, {}, pair + "\n[last game]\nWarpDrive\nNightSky\n");
    setRow("play --last with a missing mod plays nothing", u"play --last"_s,
           "[last game]\nNightSky\nGone\n", 1,
           u"set 'last game' names mods that are not installed: Gone"_s);
    setRow("play --last --skip-missing records what it played", u"play --last --skip-missing"_s,
           "[last game]\nNightSky\nGone\n", 0, u"restored: "_s, {}, "[last game]\nNightSky\n");
    setRow("a last game that cannot be recorded is said, and the game played all the same",
           u"play NightSky"_s, "special:fifo", 0,
           u"could not record the mods of this game as the last game in "_s);
    setRow("a set and mods both is a usage error", u"apply --set Pair NightSky"_s, pair, 2,
           u"name either mods or a set"_s);
    setRow("--set and --last together is a usage error", u"plan --set Pair --last"_s, pair, 2,
           u"--set and --last cannot be given together"_s);
    setRow("--last before any game is a usage error", u"apply --last"_s, pair, 2,
           u"no game started by a launch is recorded in "_s);
    setRow("--skip-missing without a set is a usage error", u"apply --skip-missing NightSky"_s,
           pair, 2, u"--skip-missing goes with --set or --last"_s);
    setRow("an unknown set is a usage error", u"apply --set Nope"_s, pair, 2,
           u"no set named 'Nope' in "_s);
}

void TestLaunchSequence::vxmod()
{
    QFETCH(QStringList, args);
    QFETCH(Files, written);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, seen);
    QFETCH(bool, modded);
    QFETCH(bool, lockKept);
    QFETCH(QString, out);
    QFETCH(QByteArray, sets);

    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    const QString command = args.value(0);
    // "special:KIND" makes what makeSpecialFile() makes of KIND; "special:held", a lock held here.
    Files special = written;
    special.removeIf([](Files::iterator it) { return !it.value().startsWith("special:"); });
    QVERIFY(stageDemoGame(game) &&
            writeTree(game, written + Files{{u"VexilMods/Haunted/info.txt"_s, "name=Haunted\n"},
                                            {u"VexilMods/Haunted/Tweak/Units/Ghost.twk"_s,
                                             "Speed=1\n"}}));
    VxGameLock held(game);
    // "held:" before a sets file's text: its save lock is held by another program.
    const QByteArray setsText = written.value(u"VexilMods/modsets.txt"_s);
    QLockFile other(game + u"/VexilMods/modsets.txt.lock"_s);
    if (setsText.startsWith("held:"))
        QVERIFY(writeTree(game, {{u"VexilMods/modsets.txt"_s, setsText.mid(5)}}));
    for (auto it = special.cbegin(); it != special.cend(); ++it) {
        const QString path = game + u'/' + it.key(), kind = QString::fromUtf8(it.value().mid(8));
        QVERIFY(QFile::remove(path));
        if (kind == u"held"_s)
            QCOMPARE(held.tryLock(), VxGameLock::Result::Acquired);
        else if (!makeSpecialFile(path, kind))
            QSKIP("this system cannot make such a file");
    }
    const Files pristine = readTree(game + u"/data"_s);
    const Files mods = readTree(game + u"/VexilMods"_s);
    const auto lockNow = [&] {
        Files all = readTree(game);
        all.removeIf([](Files::iterator it) { return !it.key().startsWith(u"vxlaunch.lock"_s); });
        return all;
    };
    const Files lock = lockNow();
    const QProcessEnvironment env = testEnvironment(dir.path(), args.filter(u"VX_"_s));
    args.removeIf([](const QString &arg) { return arg.startsWith(u"VX_"_s); });
    args.replaceInStrings(u"GAME"_s, game);

    QVERIFY(!setsText.startsWith("held:") || other.tryLock(0));
    const Run run = runVxmod(args, env);
    other.unlock();
    QCOMPARE(run.exitCode, exitCode);
    message.replace(u"GAME/"_s, QDir::toNativeSeparators(game + u'/'))
        .replace(u"PID"_s, QString::number(QCoreApplication::applicationPid()));
    const bool toStdout = command == u"status"_s || command == u"help"_s;
    const QString &said = toStdout ? run.out : run.err;
    QVERIFY2(command == u"status"_s || command == u"restore"_s ? said == message
             : command.isEmpty() || command == u"help"_s       ? said.startsWith(message)
                                                               : said.contains(message),
             qPrintable(run.out + run.err));
    if (out != u"*"_s)
        QCOMPARE(run.out.left(out.isEmpty() ? run.out.size() : out.size()), out);
    Files setsAfter = mods;
    if (sets != "=")
        setsAfter.insert(u"modsets.txt"_s, sets);
    if (sets != "*")
        QCOMPARE(readTree(game + u"/VexilMods"_s), setsAfter);
    // Each fault is told once.
    QVERIFY2(message.isEmpty() || run.err.count(message) <= 1, qPrintable(run.err));
    // The game gets no arguments, starts in its folder, and sees its mods in place however
    // long its last process runs.
    const QString snapshot = QString::fromUtf8(readTree(dir.path()).value(u"snapshot.txt"_s));
    for (const QString &line : {seen, u"argc\t0\n"_s, u"cwd\t"_s + game + u'\n'})
        QVERIFY2(seen.isEmpty() || snapshot.contains(u'\n' + line), qPrintable(line + snapshot));
    // One style for every fault: "vxmod: ", a lower-case start (a path may begin it, with its
    // drive letter) and no full stop; a usage error with no command shows the usage alone.
    static const QRegularExpression badStyle(u"^vxmod: ([A-Z](?!:)|.*[.!]\\s*$)"_s,
                                             QRegularExpression::MultilineOption);
    QVERIFY2(!run.err.contains(badStyle) &&
                 (exitCode != 2 || command.isEmpty() || run.err.startsWith(u"vxmod: "_s)),
             qPrintable(run.err));
    QCOMPARE(lockNow(), lockKept ? lock : Files());
    // Untouched by a refusal and put back by a play, as the command left it; left modded by an
    // apply, which the status tells and the next start undoes; an older launcher's backups only
    // on request.
    if (!modded)
        QCOMPARE(readTree(game + u"/data"_s), pristine);
    if (command == u"apply"_s)
        QCOMPARE(exitOf(runVxmod({u"status"_s, u"--game"_s, game}, env)),
                 QString::number(modded ? 1 : 0));
    held.unlock();
    QFile::remove(VxGameLock::lockPath(game));
    QDir(VxGameLock::lockPath(game)).removeRecursively();
    QCOMPARE(exitOf(runVxmod({u"restore"_s, u"--game"_s, game, u"--by-name"_s}, env)), u"0"_s);
    Files restored = pristine;
    for (const QString &backup : {u"Art/Sky/backdrop.txt.backup"_s, u"Tweak/Gone.xml.backup"_s})
        if (restored.contains(backup))
            restored.insert(backup.chopped(7), restored.take(backup));
    QCOMPARE(readTree(game + u"/data"_s), restored);
}

void TestLaunchSequence::progressOnATerminal_data()
{
    QTest::addColumn<QString>("mod");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("four tweak files, counted") << u"BetterUnits"_s
                                               << QByteArray("== Better Units 1.2\n"
                                                             "\r[0/4] Loading custom files...\x1b[K"
                                                             "\r[0/4] Initializing Units.xml\x1b[K"
                                                             "\r[0/4] Loading Units.xml (H...\x1b[K"
                                                             "\r[1/4] Loading Units.xml (M...\x1b[K"
                                                             "\r[2/4] Loading Units.xml (r...\x1b[K"
                                                             "\r[3/4] Loading Units.xml (T...\x1b[K"
                                                             "\r[4/4] done\x1b[K\n");
    // Nothing to count: no count, and no line for the end of it.
    QTest::newRow("no tweak file") << u"Plain"_s
                                   << QByteArray("== Plain \n"
                                                 "\rLoading custom files (/Art...\x1b[K\n");
}

// On a terminal the progress is one line rewritten in place, cut to the terminal's width so
// that it never wraps, and closed before what comes after it.
void TestLaunchSequence::progressOnATerminal()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, mod);
    QFETCH(QByteArray, written);
    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    QVERIFY(stageDemoGame(game) &&
            writeTree(game + u"/VexilMods/Plain"_s,
                      {{u"info.txt"_s, "name=Plain\n"}, {u"Art/Sky/backdrop.txt"_s, "plain sky"}}));
    // A raw terminal 30 columns wide: what arrives is what vxmod wrote.
    termios raw{};
    ::cfmakeraw(&raw);
    winsize size{};
    size.ws_col = 30;
    size.ws_row = 24;
    int master = -1;
    int terminal = -1;
    QVERIFY(::openpty(&master, &terminal, nullptr, &raw, &size) == 0);
    QProcess process;
    process.setProcessEnvironment(testEnvironment(dir.path()));
    process.setChildProcessModifier([terminal] { ::dup2(terminal, STDERR_FILENO); });
    process.start(qEnvironmentVariable("VX_VXMOD"), {u"apply"_s, u"--game"_s, game, mod});
    ::close(terminal);
    QByteArray seen;
    char buffer[4096];
    // Read while it runs, so that a full terminal never stalls it; a read fails once it is gone.
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 120000) <= 0)
            break;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        seen.append(buffer, n);
    }
    ::close(master);
    QVERIFY(waitForExit(process));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(seen, written);
    QCOMPARE(exitOf(runVxmod({u"restore"_s, u"--game"_s, game}, testEnvironment(dir.path()))),
             u"0"_s);
#else
    QSKIP("a terminal for the child is made here with the POSIX pseudo-terminal calls");
#endif
}

void TestLaunchSequence::journalLines_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("line"); // its checksum worked out apart from the program
    QTest::newRow("a title with every escaped character and more than ASCII")
        << int(VxJournalRecord::Kind::Mod) << QStringList{u"Sky\\Tab\tNew\nLine\r é"_s}
        << QByteArray("mod\tSky\\\\Tab\\tNew\\nLine\\r \xc3\xa9\t~944109f0\n");
    QTest::newRow("a name with a tab in a record of two paths")
        << int(VxJournalRecord::Kind::Add)
        << QStringList{u"data/Text/a\tb é"_s, u"data/Text/a\tb é.vxpart"_s}
        << QByteArray(
               "add\tdata/Text/a\\tb \xc3\xa9\tdata/Text/a\\tb \xc3\xa9.vxpart\t~dbd64d8a\n");
    QTest::newRow("a checksum with leading zeros")
        << int(VxJournalRecord::Kind::Game) << QStringList{u"1020"_s, u"0"_s}
        << QByteArray("game\t1020\t0\t~006ef489\n");
}

// A journal outlives the launcher that wrote it: a launch cut off by a power cut is finished
// by whatever launcher starts next, so each line is exactly what this one writes and reads.
void TestLaunchSequence::journalLines()
{
    QFETCH(int, kind);
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, line);
    QCOMPARE(VxJournalFile::encode({VxJournalRecord::Kind(kind), fields}), line);
    TestDir dir;
    QVERIFY(writeTree(dir.path(), {{u"vxlaunch.journal"_s, "vxlaunch journal 2\n" + line}}));
    const VxJournal journal = VxJournalFile::read(dir.path());
    QCOMPARE(int(journal.state), int(VxJournal::State::Valid));
    QCOMPARE(journal.records.size(), 1);
    QCOMPARE(int(journal.records.constFirst().kind), kind);
    QCOMPARE(journal.records.constFirst().fields, fields);
}

void TestLaunchSequence::damagedJournal_data()
{
    QTest::addColumn<QList<QByteArray>>("journals");
    QTest::addColumn<QByteArray>("base"); // the journal they are made from
    QByteArray journal;
    TestDir dir;
    launched(dir.path(), journal);
    QList<QByteArray> cut, flipped;
    for (qsizetype n = 0; n < journal.size(); ++n) {
        cut.append(journal.left(n));
        flipped.append(journal);
        flipped.last()[n] = char(journal[n] ^ 0x01);
    }
    QTest::newRow("cut at every byte, and whole") << (cut << journal) << journal;
    QTest::newRow("one bit changed at every byte") << flipped << journal;
    QTest::newRow("a path that climbs back into a game file, with a right checksum")
        << QList<QByteArray>{
               journal + VxJournalFile::encode({VxJournalRecord::Kind::Add,
                                                {u"data/Art/../Tweak/Broken.xml"_s, u"data/x"_s}})}
        << journal;
}

// A journal cut short or damaged never costs the game a file: what cannot be trusted is
// reported and left alone, the journal kept aside for a person to read.
void TestLaunchSequence::damagedJournal()
{
    QFETCH(QList<QByteArray>, journals);
    QFETCH(QByteArray, base);
    QByteArray whole;
    TestDir launchedDir;
    const Files modded = launched(launchedDir.path(), whole), installed = under(u"data/"_s, game);
    TestDir wholeDir;
    QVERIFY(writeTree(wholeDir.path(), {{u"vxlaunch.journal"_s, base}}));
    const QList<VxJournalRecord> written = VxJournalFile::read(wholeDir.path()).records;
    QVERIFY(written.size() > 5);
    for (const QByteArray &journal : journals) {
        TestDir dir;
        QVERIFY(launchedCopy(launchedDir.path(), dir.path(), journal));
        const VxJournal read = VxJournalFile::read(dir.path());
        const bool damaged = read.state == VxJournal::State::Damaged;
        // Trusted, a journal holds only what the launch wrote, in its order: a torn last line
        // may be missing, never changed.
        for (qsizetype i = 0; !damaged && i < read.records.size(); ++i)
            QVERIFY2(i < written.size() && read.records.at(i).kind == written.at(i).kind &&
                         read.records.at(i).fields == written.at(i).fields,
                     journal.toPercentEncoding().constData());
        const bool restored = restoreGame(dir.path()).ok();
        const Files now = readTree(dir.path());
        const QByteArray context = journal.toPercentEncoding();
        // Each game file in its place or in the backup beside it.
        for (auto it = installed.cbegin(); it != installed.cend(); ++it)
            QVERIFY2(now.value(it.key()) == it.value() ||
                         now.value(it.key() + u".backup"_s) == it.value(),
                     (it.key().toUtf8() + " lost by " + context).constData());
        QVERIFY2(!damaged || now == (modded + Files{{u"vxlaunch.journal.damaged"_s, journal}}),
                 context.constData());
        // A last line whose checksum holds is whole, newline or not.
        QVERIFY2((journal != whole && journal != whole.chopped(1)) ||
                     (restored && now == installed),
                 context.constData());
    }
}

void TestLaunchSequence::notOurs_data()
{
    QTest::addColumn<QStringList>("records"); // added to the launch's, fields split by '|'
    QTest::addColumn<Files>("written");       // as someone else, into the game folder
    QTest::addColumn<QString>("status");      // in vxmod status's line, before the restore
    QTest::addColumn<int>("exitCode");        // of vxmod restore
    QTest::addColumn<QString>("said");        // in its standard error
    // data files that differ from the game's after it; "launch": all as the launch left them
    QTest::addColumn<QString>("changed");
    QTest::addColumn<QString>("link");     // a folder link put into the game folder
    QTest::addColumn<QString>("lastLine"); // the journal line moved last, its newline lost
    QTest::addColumn<bool>("version1");    // the journal as a launcher before identities

    const auto row = [](const char *name, const QStringList &records, const Files &written,
                        const QString &status, int exitCode, const QString &said,
                        const QString &changed = {}, const QString &link = {},
                        const QString &lastLine = {}, bool version1 = false) {
        QTest::newRow(name) << records << written << status << exitCode << said << changed << link
                            << lastLine << version1;
    };
    const QString notMade = u"is not the file the launch made; it is left as it is"_s;
    const QString refused = u"in a way no launch does; it is left as it is"_s;
    const QString undone = u"restored: 2 files put back, 1 added file removed"_s;
    row("an added file someone changed stays", {}, {{u"data/Art/medic"_s, "their medic"}},
        u"kept by the restore: data/Art/medic;"_s, 1,
        u"was changed after a mod added it; it stays"_s, u"Art/medic=their medic"_s);
    row("a replaced file someone changed is kept as F.changed", {},
        {{u"data/Art/tank.pgm"_s, "their tank"}}, u"restore: data/Art/tank.pgm;"_s, 1,
        u"tank.pgm.changed and the game's own file is back"_s,
        u"Art/tank.pgm.changed=their tank"_s);
    row("a changed resource file is kept as .changed.1 when .changed is taken", {},
        {{u"data/Tweak/Units.xml"_s, "<theirs/>"}, {u"data/Tweak/Units.xml.changed"_s, "older"}},
        u"restore: data/Tweak/Units.xml;"_s, 1, u"Units.xml.changed.1"_s,
        u"Tweak/Units.xml.changed=older; Tweak/Units.xml.changed.1=<theirs/>"_s);
    row("an added game file the launch never made is left",
        {u"add|data/Maps/Sea/isle|data/Maps/Sea/isle.vxpart"_s}, {}, {}, 1, u"isle "_s + notMade);
    row("a game's own file named like a backup is not put back",
        {u"aside|data/Text/credits.txt|data/Text/credits.txt.backup|data/Text/credits.txt.vxpart"_s},
        {}, {}, 1, u"credits.txt.backup "_s + notMade);
    row("a temporary named like no temporary is refused",
        {u"add|data/Text/readme.backup|data/Text/credits.txt"_s}, {}, {}, 1,
        u"readme.backup "_s + refused);
    row("a resource backup named like no backup is refused",
        {u"edit|data/Tweak/Units.xml|data/Text/readme.backup|data/Text/readme.backup.vxpart|"
         u"data/Tweak/Units.xml.vxpart"_s},
        {}, {}, 1, u"Units.xml "_s + refused);
    row("a record through a folder link is refused", {u"add|data/Out/x|data/Out/x.vxpart"_s}, {},
        {}, 1, u"x "_s + refused, {}, u"data/Out"_s);
    row("the last record counts without its newline", {}, {}, {}, 0, undone, {}, {},
        u"made\tdata/Art/medic\t"_s);
    row("a version 1 journal removes an added file whatever it holds", {},
        {{u"data/Art/medic"_s, "their medic"}}, {}, 0, undone, {}, {}, {}, true);
    // Whatever has taken the journal's name is never followed, waited on or read whole: status
    // and restore say what it is, at once, and nothing is undone by it.
    for (const auto &[name, kind, why] :
         {std::tuple{"a FIFO", "fifo", "not a regular file"},
          {"a link to /dev/zero", "zero", "it is a link"},
          {"a folder", "folder", "not a regular file"},
          {"a huge file", "huge:100000000", "larger than 67108864 bytes"},
          {"a link to a file", "link", "it is a link"}})
        row(name, {}, {{u"vxlaunch.journal"_s, "special:"_ba + kind}},
            u"is damaged: "_s + QLatin1String(why), 1, QLatin1String(why), u"launch"_s);
}

// A restore removes or overwrites only what the launch made and still is as it made it: a
// file someone changed since is kept, a record naming anything else is left alone; both are
// said, a line each, and the rest of the journal is undone.
void TestLaunchSequence::notOurs()
{
    QFETCH(QStringList, records);
    QFETCH(Files, written);
    QFETCH(QString, status);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QString, changed);
    QFETCH(QString, link);
    QFETCH(QString, lastLine);
    QFETCH(bool, version1);

    TestDir launchedDir, dir;
    QByteArray journal;
    Files modded = launched(launchedDir.path(), journal);
    for (const QString &record : records) {
        QStringList fields = record.split(u'|');
        const QString kind = fields.takeFirst();
        journal += VxJournalFile::encode({kind == u"add"_s     ? VxJournalRecord::Kind::Add
                                          : kind == u"aside"_s ? VxJournalRecord::Kind::Aside
                                                               : VxJournalRecord::Kind::Edit,
                                          fields});
    }
    QList<QByteArray> lines = journal.split('\n');
    lines.removeLast();
    for (qsizetype i = 0; !lastLine.isEmpty() && i < lines.size(); ++i) {
        if (lines.at(i).startsWith(lastLine.toUtf8())) {
            lines.append(lines.takeAt(i));
            break;
        }
    }
    if (version1) {
        // The same records as an older launcher wrote them: no identities, CRC-16.
        lines.removeIf([](const QByteArray &line) { return line.startsWith("made\t"); });
        lines[0] = "vxlaunch journal 1";
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray body = lines[i].left(lines[i].lastIndexOf("\t~"));
            lines[i] =
                body + "\t~" + QByteArray::number(qChecksum(body), 16).rightJustified(4, '0');
        }
    }
    journal = lines.join('\n') + (lastLine.isEmpty() ? "\n" : "");
    QVERIFY(launchedCopy(launchedDir.path(), dir.path(), journal));
    // New files, not the launch's; "special:KIND" what makeSpecialFile() makes of KIND.
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const QString path = dir.path() + u'/' + it.key();
        QFile::remove(path);
        if (!it.value().startsWith("special:"))
            QVERIFY(writeTree(dir.path(), {{it.key(), it.value()}}));
        else if (!makeSpecialFile(path, QString::fromUtf8(it.value().mid(8))))
            QSKIP("this system cannot make such a file");
    }
    if (!link.isEmpty()) {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes .lnk shortcuts on Windows");
#endif
        QVERIFY(writeTree(launchedDir.path() + u"/outside"_s, {{u"x"_s, "outside"}}) &&
                QFile::link(launchedDir.path() + u"/outside"_s, dir.path() + u'/' + link));
    }
    const QProcessEnvironment env = testEnvironment(launchedDir.path());
    const Run statusRun = runVxmod({u"status"_s, u"--game"_s, dir.path()}, env);
    QVERIFY2(statusRun.exitCode == 1 && statusRun.out.contains(status),
             qPrintable(statusRun.out + statusRun.err));

    const Run run = runVxmod({u"restore"_s, u"--game"_s, dir.path()}, env);
    QVERIFY2(run.exitCode == exitCode && run.err.contains(said), qPrintable(run.err));
    if (!link.isEmpty()) {
        QCOMPARE(readTree(launchedDir.path() + u"/outside"_s), (Files{{u"x"_s, "outside"}}));
        QVERIFY(QFile::remove(dir.path() + u'/' + link));
    }
    if (changed == u"launch"_s) {
        // Kept aside as it is, and the launch's files as they were.
        const QString name = dir.path() + u"/vxlaunch.journal"_s,
                      kind = QString::fromUtf8(written.value(u"vxlaunch.journal"_s).mid(8));
        const QFileInfo aside(name + u".damaged"_s);
        QVERIFY(!QFileInfo(name).exists() && !QFileInfo(name).isSymLink() &&
                aside.isSymLink() == (kind == u"link"_s || kind == u"zero"_s) &&
                aside.isDir() == (kind == u"folder"_s));
        QVERIFY(aside.isDir() ? QDir(aside.filePath()).removeRecursively()
                              : QFile::remove(aside.filePath()));
        if (kind == u"link"_s)
            modded.insert(u"vxlaunch.journal.target"_s, "Speed=1\n");
    }
    QCOMPARE(readTree(dir.path()),
             changed == u"launch"_s ? modded : under(u"data/"_s, game + files(changed)));
}

QTEST_GUILESS_MAIN(TestLaunchSequence)
#include "tst_launchsequence.moc"
