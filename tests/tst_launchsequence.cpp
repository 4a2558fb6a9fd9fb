#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "resources/resourcestore.h"
#include "testutil.h"
#include "tweak/tweakcompiler.h"

#include <QRegularExpression>

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
    void vxmod_data();
    void vxmod();
    void damagedJournal_data();
    void damagedJournal();
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

// The resource files as writing each one after every mod would leave them: each mod's
// folders compiled into the file as the mod before saved it, the game's own as the pristine
// document, and the first failed load or abandoned folder ending it all, unsaved.
Files savedAfterEveryMod(const QString &install, const QList<VxModRef> &mods, const QString &answer)
{
    AnsweringFeedback feedback;
    feedback.answer = answer;
    const QString tweak = install + u"/data/Tweak/"_s;
    const auto resources = [&] {
        Files xml = readTree(tweak);
        xml.removeIf([](auto it) { return !it.key().endsWith(u".xml"_s); });
        return xml;
    };
    for (const VxModRef &mod : mods) {
        for (const QString &name :
             QDir(mod.path + u"Tweak"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString file = tweak + name + u".xml"_s;
            VxResourceDocument pristine, working;
            VxResourceElement table;
            if (!QFile::exists(file))
                continue;
            if (!pristine.setContent(game.value(u"Tweak/"_s + name + u".xml"_s)) ||
                !loadResourceDocument(working, table, file))
                return resources();
            VxTweakContext context;
            context.folderPath = mod.path + u"Tweak/"_s + name;
            context.resourceName = name;
            context.working = table;
            context.pristine = pristine.table();
            context.feedback = &feedback;
            if (compileTweakFolder(context) == TweakOutcome::Abandoned)
                return resources();
            saveResourceDocument(working, file);
        }
    }
    return resources();
}

// The game as a launch of one mod left it, and the journal it wrote, taken out.
Files launched(QByteArray &journal)
{
    TestDir dir;
    writeTree(dir.path() + u"/game/data"_s, game);
    VxSilentFeedback silent;
    applyMods(
        dir.path() + u"/game"_s,
        writeMods(dir.path(), {u"Art/tank.pgm=mod; Art/medic=m; Tweak/Units/Speed.twk=Value=9"_s}),
        silent);
    Files modded = readTree(dir.path() + u"/game"_s);
    journal = modded.take(u"vxlaunch.journal"_s);
    return modded;
}

} // namespace

void TestLaunchSequence::launch_data()
{
    QTest::addColumn<QStringList>("mods"); // each as for files()
    QTest::addColumn<QString>("answer");   // to the question, or "close" the progress window
    QTest::addColumn<QString>("changed");  // data files that differ after it; "*": any content
    QTest::addColumn<QString>("values");   // Speed, Armor and Fast; empty: not looked at

    const QString speed = u"Tweak/Units/Speed.twk=Value=9\n"_s;
    const QString ghost = u"Tweak/Units/Ghost.twk=Value=1\n; "_s + speed;
    const QString units = u"Tweak/Units.xml=*; Tweak/Units.xml.backup=*"_s;
    QTest::newRow("a data mod's file goes aside; a tweak folder with no resource file is skipped")
        << QStringList{u"Art/tank.pgm=mod; Tweak/Nowhere/Speed.twk=Value=9\n"_s} << QString()
        << u"Art/tank.pgm=mod; Art/tank.pgm.backup=game tank"_s << u"3|1|"_s;
    QTest::newRow("edits of two mods accumulate and the lower mod wins")
        << QStringList{speed, u"Tweak/Units/Armor.twk=Value=7\n; Tweak/Units/Speed.twk=Value=5\n"_s}
        << QString() << units << u"5|7|"_s;
    QTest::newRow("a copy reads the game's element, not an earlier mod's edit")
        << QStringList{speed, u"Tweak/Units/Fast.twk=#nodb\n#copy Speed\n"_s} << QString() << units
        << u"9|1|3"_s;
    QTest::newRow("a malformed resource file stops the launch")
        << QStringList{u"Tweak/Broken/Speed.twk=Value=9\n"_s, speed} << QString()
        << u"Tweak/Broken.xml.backup=<XResourceFile><XResourceTable>"_s << u"3|1|"_s;
    QTest::newRow("Abort to the question ends the launch")
        << QStringList{ghost, speed} << u"abort"_s << u"Tweak/Units.xml.backup=*"_s << u"3|1|"_s;
    QTest::newRow("Ignore skips the rest of the folder and the launch goes on")
        << QStringList{ghost, u"Tweak/Units/Armor.twk=Value=7\n"_s} << u"ignore"_s << units
        << u"3|7|"_s;
    QTest::newRow("a later mod's file that does not load leaves the earlier edits saved")
        << QStringList{speed, u"Tweak/Units/Armor.twk=Value=7\n"_s,
                       u"Tweak/Units/Armor.twk=Value=2\n; Tweak/Broken/Speed.twk=Value=9\n"_s}
        << QString() << units + u"; Tweak/Broken.xml.backup=<XResourceFile><XResourceTable>"_s
        << u"9|7|"_s;
    QTest::newRow("Abort in a later mod drops its edits and keeps the earlier mods' edits")
        << QStringList{speed, u"Tweak/Units/Armor.twk=Value=7\n"_s,
                       u"Tweak/Units/Armor.twk=Value=2\n; "_s + ghost}
        << u"abort"_s << units << u"9|7|"_s;
    QTest::newRow("Ignore in a later mod keeps its edits before the question")
        << QStringList{speed, u"Tweak/Units/Armor.twk=Value=7\n"_s,
                       u"Tweak/Units/Armor.twk=Value=2\n; Tweak/Units/Ghost.twk=Value=1\n; "
                       u"Tweak/Units/Speed.twk=Value=5\n"_s,
                       u"Tweak/Units/Fast.twk=#nodb\n#copy Speed\n"_s}
        << u"ignore"_s << units << u"9|2|3"_s;
    QTest::newRow("a closed progress window stops before the first tweak file")
        << QStringList{speed} << u"close"_s << u"Tweak/Units.xml.backup=*"_s << u"3|1|"_s;
    QTest::newRow("of two mods the first keeps a file, whether it replaced or added it")
        << QStringList{u"Art/tank.pgm=1; Art/medic=1"_s, u"Art/tank.pgm=2; Art/medic=2"_s}
        << QString() << u"Art/tank.pgm=1; Art/tank.pgm.backup=game tank; Art/medic=1"_s
        << QString();
    QTest::newRow("game files named like backups or temporaries are never taken for ours")
        << QStringList{u"Text/credits.txt=mc; Text/credits.txt.backup=mb; Art/tank.pgm.vxpart=mt"_s}
        << QString()
        << u"Text/credits.txt=mc; Text/credits.txt.backup=mb; Text/credits.txt.backup.1=c; "
           u"Text/credits.txt.backup.backup=gc; Art/tank.pgm.vxpart=mt"_s
        << QString();
    QTest::newRow("no folder is created for one the game lacks, nor a file laid over a folder")
        << QStringList{u"Music/t=x; Art/Deep/e=y; Maps/Sea=z"_s} << QString() << QString()
        << QString();
    QTest::newRow("a hidden game file is replaced and comes back")
        << QStringList{u"Art/.shade=mod"_s} << QString()
        << u"Art/.shade=mod; Art/.shade.backup=game"_s << QString();
}

void TestLaunchSequence::launch()
{
    QFETCH(QStringList, mods);
    QFETCH(QString, answer);
    QFETCH(QString, changed);
    QFETCH(QString, values);

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
    // Each resource file is written once, after the last mod that edits it, and holds what
    // writing it after every mod would.
    TestDir everyMod;
    QVERIFY(writeTree(everyMod.path() + u"/data"_s, game));
    Files saved = readTree(install + u"/data/Tweak"_s);
    saved.removeIf([](auto it) { return !it.key().endsWith(u".xml"_s); });
    QCOMPARE(saved, savedAfterEveryMod(everyMod.path(), refs, answer));
    Files after = readTree(install + u"/data"_s);
    const Files expected = game + files(changed);
    for (const QString &path : expected.keys("*"))
        after[path] = after.contains(path) ? "*" : "missing";
    QCOMPARE(after, expected);
    VxResourceDocument document;
    VxResourceElement table;
    QVERIFY(loadResourceDocument(document, table, install + u"/data/Tweak/Units.xml"_s));
    QStringList found;
    for (const QString &id : {u"Speed"_s, u"Armor"_s, u"Fast"_s})
        found << readResourceField(findResourceById(table, id), u"Value"_s);
    QCOMPARE(values.isEmpty() ? values : found.join(u'|'), values);
    // Whichever way the launch ended, the restore brings back the game exactly, and only it.
    QCOMPARE(restoreGame(install).failures, QStringList());
    QCOMPARE(readTree(install), under(u"data/"_s, game));
}

// Two names for one folder in the mod, folders linking to their parents in mod and game, and
// a game file that is a dangling link: each file is laid once, and no loop is followed.
void TestLaunchSequence::linkedFolders()
{
#ifdef Q_OS_WIN
    QSKIP("QFile::link makes .lnk shortcuts on Windows, and Wine 8 has no directory junctions");
#endif
    TestDir dir;
    const QString art = dir.path() + u"/game/data/Art"_s, mod = dir.path() + u"/Mod0/"_s;
    QVERIFY(writeTree(art, files(u"A/tank=a; B/tank=b"_s)) &&
            writeTree(mod, files(u"shared/tank=mod; Art/ghost.pgm=mod"_s)) &&
            QFile::link(mod + u"shared"_s, mod + u"Art/A"_s) &&
            QFile::link(mod + u"shared"_s, mod + u"Art/B"_s) &&
            QFile::link(mod + u"Art"_s, mod + u"shared/loop"_s) &&
            QFile::link(art, art + u"/A/loop"_s) &&
            QFile::link(u"nowhere"_s, art + u"/ghost.pgm"_s));
    VxSilentFeedback silent;
    QCOMPARE(applyMods(dir.path() + u"/game"_s, {{mod, u"Mod"_s}}, silent),
             VxLaunchResult::Applied);
    QCOMPARE(readTree(art), files(u"A/tank=mod; A/tank.backup=a; B/tank=mod; B/tank.backup=b; "
                                  u"ghost.pgm=mod; ghost.pgm.backup=<special>"_s));
    QVERIFY(restoreGame(dir.path() + u"/game"_s).ok());
    QCOMPARE(readTree(art), files(u"A/tank=a; B/tank=b; ghost.pgm=<special>"_s));
    QCOMPARE(QFileInfo(art + u"/ghost.pgm"_s).symLinkTarget(), art + u"/nowhere"_s);
}

void TestLaunchSequence::vxmod_data()
{
    // "GAME" stands for the game folder; "VX_...=value" goes to the stand-in game's environment
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Files>("written"); // into the game folder first
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // what stdout starts with for status, else in stderr
    QTest::addColumn<QString>("seen");    // a line of what the game saw, by its start

    const QStringList apply{u"apply"_s, u"--game"_s, u"GAME"_s};
    const QStringList play{u"play"_s, u"--game"_s, u"GAME"_s};
    const Files broken{{u"data/Tweak/Units.xml"_s, "<XResourceFile>"}};
    // Older launchers kept no journal; the game may have a file of such a name of its own.
    const Files oldLauncher{{u"data/Art/Sky/backdrop.txt.backup"_s, "old sky"},
                            {u"data/Tweak/Gone.xml.backup"_s, "<gone/>"},
                            {u"data/Text/readme.backup"_s, "the game's own"}};
    const QString tankBackup = u"file\tdata/Art/Units/tank.pgm.backup\t"_s;
    // Haunted's Ghost.twk names an element that does not exist and defines none, so the
    // compiler asks.
    QTest::newRow("an unknown mod is refused before anything changes")
        << apply + QStringList{u"BetterUnits"_s, u"NoSuchMod"_s} << Files() << 2
        << u"unknown mod 'NoSuchMod': no mod of that name in "_s << QString();
    QTest::newRow("a play whose launch fails puts the game's files back itself")
        << play + QStringList{u"NightSky"_s, u"BetterUnits"_s} << broken << 1 << u"restored: "_s
        << QString();
    QTest::newRow("the question answered by the default abort")
        << apply + QStringList{u"Haunted"_s} << Files() << 1 << u"Ghost.twk"_s << QString();
    QTest::newRow("the question answered by --on-error ignore")
        << apply + QStringList{u"--on-error"_s, u"ignore"_s, u"Haunted"_s} << Files() << 0
        << u"Ghost.twk"_s << QString();
    QTest::newRow("the game ends with an error code, the game's files come back")
        << play + QStringList{u"VX_STANDIN_EXIT_CODE=5"_s, u"BetterUnits"_s} << Files() << 3
        << u"the game exited with code 5"_s << tankBackup;
    QTest::newRow("the game crashes, the game's files come back")
        << play + QStringList{u"VX_STANDIN_CRASH=1"_s, u"BetterUnits"_s} << Files() << 3
        << u"crashed"_s << tankBackup;
    QTest::newRow("a game that hands over to another process is waited for to the end")
        << play + QStringList{u"VX_STANDIN_HANDOVER_MS=1500"_s, u"NightSky"_s} << Files() << 0
        << u"restored: 2 files put back, 1 added file removed"_s
        << u"file\tdata/Art/Sky/backdrop.txt.backup\t"_s;
    QTest::newRow("line ends, tabs and blanks in launcher.cfg reach the game as words")
        << play << Files{{u"launcher.cfg"_s, " /W:1024\r\n\t/H:tall  /LOUD /NOMOVIES\n"}} << 0
        << QString() << u"setting\twidth\t1024"_s;
    QTest::newRow("a restore leaves an older launcher's backups, which nothing records")
        << QStringList{u"restore"_s, u"--game"_s, u"GAME"_s} << oldLauncher << 0
        << u"restore --by-name' puts them back"_s << QString();
    QTest::newRow("the status of an untouched game")
        << QStringList{u"status"_s, u"--game"_s, u"GAME"_s} << Files() << 0 << u"clean\n"_s
        << QString();
    QTest::newRow("the status tells of an older launcher's backups")
        << QStringList{u"status"_s, u"--game"_s, u"GAME"_s} << oldLauncher << 1
        << u"modded by an older launcher, or holding files named like its backups: 2 "_s
        << QString();
    QTest::newRow("an unknown option is refused")
        << apply + QStringList{u"--frobnicate"_s} << Files() << 2
        << u"vxmod: unknown option 'frobnicate'\n"_s << QString();
    QTest::newRow("a folder without data is no game")
        << QStringList{u"list"_s, u"--game"_s, u"GAME/VexilMods"_s} << Files() << 2
        << u"VexilMods is not a game folder: it has no data folder\n"_s << QString();
    QTest::newRow("a game that cannot start is reported")
        << play + QStringList{u"BetterUnits"_s} << Files{{gameExecutableName(), "not a program"}}
        << 1 << u"could not start the game"_s << QString();
}

void TestLaunchSequence::vxmod()
{
    QFETCH(QStringList, args);
    QFETCH(Files, written);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, seen);

    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    QVERIFY(stageDemoGame(game) &&
            writeTree(game, written + Files{{u"VexilMods/Haunted/info.txt"_s, "name=Haunted\n"},
                                            {u"VexilMods/Haunted/Tweak/Units/Ghost.twk"_s,
                                             "Speed=1\n"}}));
    const Files pristine = readTree(game + u"/data"_s);
    const QProcessEnvironment env = testEnvironment(dir.path(), args.filter(u"VX_"_s));
    args.removeIf([](const QString &arg) { return arg.startsWith(u"VX_"_s); });
    args.replaceInStrings(u"GAME"_s, game);

    const Run run = runVxmod(args, env);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(args.first() == u"status"_s ? run.out.startsWith(message) : run.err.contains(message),
             qPrintable(run.out + run.err));
    // The game gets no arguments, starts in its folder, and sees its mods in place however
    // long its last process runs.
    const QString snapshot = QString::fromUtf8(readTree(dir.path()).value(u"snapshot.txt"_s));
    for (const QString &line : {seen, u"argc\t0\n"_s, u"cwd\t"_s + game + u'\n'})
        QVERIFY2(seen.isEmpty() || snapshot.contains(u'\n' + line), qPrintable(line + snapshot));
    // One style for every fault: "vxmod: ", a lower-case start (a path may begin it, with its
    // drive letter) and no full stop.
    static const QRegularExpression badStyle(u"^vxmod: ([A-Z](?!:)|.*[.!]\\s*$)"_s,
                                             QRegularExpression::MultilineOption);
    QVERIFY2(!run.err.contains(badStyle) && (exitCode != 2 || run.err.startsWith(u"vxmod: "_s)),
             qPrintable(run.err));
    // Untouched by a refusal and put back by a play, as the command left it; left modded by an
    // apply, which the status tells and the next start undoes; an older launcher's backups only
    // on request.
    if (exitCode == 2 || args.first() != u"apply"_s)
        QCOMPARE(readTree(game + u"/data"_s), pristine);
    if (args.first() == u"apply"_s)
        QCOMPARE(runVxmod({u"status"_s, u"--game"_s, game}, env).exitCode, exitCode == 2 ? 0 : 1);
    QCOMPARE(runVxmod({u"restore"_s, u"--game"_s, game, u"--by-name"_s}, env).exitCode, 0);
    Files restored = pristine;
    for (const QString &backup : {u"Art/Sky/backdrop.txt.backup"_s, u"Tweak/Gone.xml.backup"_s})
        if (restored.contains(backup))
            restored.insert(backup.chopped(7), restored.take(backup));
    QCOMPARE(readTree(game + u"/data"_s), restored);
}

void TestLaunchSequence::damagedJournal_data()
{
    QTest::addColumn<QList<QByteArray>>("journals");
    QByteArray journal;
    launched(journal);
    QList<QByteArray> cut, flipped;
    for (qsizetype n = 0; n < journal.size(); ++n) {
        cut.append(journal.left(n));
        flipped.append(journal);
        flipped.last()[n] = char(journal[n] ^ 0x01);
    }
    QTest::newRow("cut at every byte, and whole") << (cut << journal);
    QTest::newRow("one bit changed at every byte") << flipped;
    QTest::newRow("a path that climbs back into a game file, with a right checksum")
        << QList<QByteArray>{
               journal + VxJournalFile::encode({VxJournalRecord::Kind::Add,
                                                {u"data/Art/../Tweak/Broken.xml"_s, u"data/x"_s}})};
}

// A journal cut short or damaged never costs the game a file: what cannot be trusted is
// reported and left alone, the journal kept aside for a person to read.
void TestLaunchSequence::damagedJournal()
{
    QFETCH(QList<QByteArray>, journals);
    QByteArray whole;
    const Files modded = launched(whole), installed = under(u"data/"_s, game);
    for (const QByteArray &journal : journals) {
        TestDir dir;
        QVERIFY(writeTree(dir.path(), modded + Files{{u"vxlaunch.journal"_s, journal}}));
        const bool damaged = VxJournalFile::read(dir.path()).state == VxJournal::State::Damaged;
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
        QVERIFY(journal != whole || (restored && now == installed));
    }
}

QTEST_GUILESS_MAIN(TestLaunchSequence)
#include "tst_launchsequence.moc"
