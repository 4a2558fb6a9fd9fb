#include "mods/modsets.h"
#include "testutil.h"

#include <QLockFile>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace vxtest;

// The mod sets file: what a reader takes from it and reports, how a change rewrites it, files
// that are no files, and vxmod's set commands and --set, --last and --skip-missing.
class TestModSets : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void edits_data();
    void edits();
    void atomicSave();
    void vxmod_data();
    void vxmod();
};

namespace {

// "name: mod, mod | name: mod", the sets in their order.
QString summary(const VxModSets &sets)
{
    QStringList parts;
    for (const VxModSet &set : sets.sets)
        parts << set.name + u": "_s + set.mods.join(u", "_s);
    return parts.join(u" | "_s);
}

QStringList problemLines(const VxModSets &sets)
{
    QStringList lines;
    for (const VxModSetProblem &problem : sets.problems)
        lines << modSetProblemLine(u"P"_s, problem);
    return lines;
}

} // namespace

void TestModSets::reads_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("sets");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("comments, blank lines, CR LF and blanks around names are no part of them")
        << "# mine\r\n\r\n  [ Pair ]  \r\nBolt\r\n  # between\r\n Anvil \r\n[Solo]\r\nClay"_ba
        << false << u"Pair: Bolt, Anvil | Solo: Clay"_s << QStringList();
    QTest::newRow("each damaged line reported by number and skipped; the sets around them stay")
        << "Stray\n[Good]\nAnvil\n[Bad\nBolt\n[Al]so]\n[ ]\n[Good]\nClay\n[Two]\nClay\n"
           "../Up\nClay\nSub/Dir\nAnvil\n"_ba
        << false << u"Good: Anvil | Two: Clay, Anvil"_s
        << QStringList{u"P:1: mod names before the first [set name] line belong to no set"_s,
                       u"P:4: a [set name] line needs a name and one closing ] at its end"_s,
                       u"P:6: a [set name] line needs a name and one closing ] at its end"_s,
                       u"P:7: a [set name] line needs a name and one closing ] at its end"_s,
                       u"P:8: a second set named 'Good'; the first one is used"_s,
                       u"P:12: '../Up' cannot be the name of a mod folder"_s,
                       u"P:13: 'Clay' is named twice in this set; it is applied once"_s,
                       u"P:14: 'Sub/Dir' cannot be the name of a mod folder"_s};
    QTest::newRow("a name of 200 characters is read, one of 201 and a 1 MiB line are not")
        << "[" + QByteArray(200, 'n') + "]\nAnvil\n[" + QByteArray(201, 'x') + "]\nBolt\n[Big]\n" +
               QByteArray(1 << 20, 'y') + "\nClay\n"
        << false << QString(200, u'n') + u": Anvil | Big: Clay"_s
        << QStringList{u"P:3: a set name holds at most 200 characters"_s,
                       u"P:6: '"_s + QString(60, u'y') +
                           u"\u2026' cannot be the name of a mod folder"_s};
    QTest::newRow("a mod name of 255 characters is read, one of 256 is not")
        << "[A]\n" + QByteArray(255, 'm') + "\n" + QByteArray(256, 'w') + "\n"
        << false << u"A: "_s + QString(255, u'm')
        << QStringList{u"P:3: '"_s + QString(60, u'w') +
                       u"\u2026' cannot be the name of a mod folder"_s};
    QTest::newRow("a byte-order mark and accents")
        << "\xEF\xBB\xBF[\xC3\x89toiles]\nNightSky\n"_ba << false << u"\u00C9toiles: NightSky"_s
        << QStringList();
    QTest::newRow("pasted: the mods before any name are a set; a lone CR ends a line")
        << "Bolt\rAnvil\n[Other]\nClay\n"_ba << true << u": Bolt, Anvil | Other: Clay"_s
        << QStringList();
    // No file of sets: reported, never read, never saved over.
    const QString notRegular = u"P: it is not a regular file (a link, a folder, a FIFO or a "
                               u"device), so its sets are ignored"_s;
    for (const auto &[name, kind] : {std::pair{"a FIFO", "fifo"},
                                     {"a link to a device", "zero"},
                                     {"a folder", "folder"},
                                     {"a link to a file of sets", "link"}})
        QTest::newRow(name) << "special:"_ba + kind << false << QString()
                            << QStringList{notRegular};
    QTest::newRow("one byte over 16 MiB")
        << "special:huge:16777217"_ba << false << QString()
        << QStringList{u"P: it is larger than 16 MiB, so its sets are ignored"_s};
}

void TestModSets::reads()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, pasted);
    QFETCH(QString, sets);
    QFETCH(QStringList, problems);

    TestDir dir;
    const bool special = text.startsWith("special:");
    if (!special)
        QVERIFY(writeTree(dir.path(), {{u"VexilMods/modsets.txt"_s, text}}));
    else if (!makeSpecialFile(modSetsPath(dir.path()), QString::fromUtf8(text.mid(8))))
        QSKIP("this system cannot make such a file");
    const Files before = readTree(dir.path());
    const VxModSets read =
        pasted ? parseModSets(QString::fromUtf8(text), true) : readModSets(dir.path());
    QCOMPARE(summary(read), sets);
    QCOMPARE(problemLines(read), problems);
    if (!special)
        return;
    QString error;
    QVERIFY(!saveModSet(dir.path(), {u"B"_s, {u"Bolt"_s}}, &error));
    QCOMPARE(u"P: "_s + error, problems.value(0));
    QVERIFY(!recordLastGame(dir.path(), {u"Bolt"_s}, &error));
    // Left exactly as it was: what is there is not ours to replace.
    QCOMPARE(readTree(dir.path()), before);
}

void TestModSets::edits_data()
{
    QTest::addColumn<QByteArray>("before"); // "-": no file
    QTest::addColumn<QString>("change");    // "save|NAME|MOD|MOD", "delete|NAME", "last|MOD"
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("error"); // when refused, the file stays as before

    QTest::newRow("the first set makes the file")
        << "-"_ba << u"save|Pair|Bolt|Anvil"_s << "[Pair]\nBolt\nAnvil\n"_ba << QString();
    QTest::newRow("a new set goes at the end after a blank line; its name trimmed")
        << "[A]\nClay"_ba << u"save| Pair |Bolt"_s << "[A]\nClay\n\n[Pair]\nBolt\n"_ba << QString();
    QTest::newRow("a set replaced where it stands; comments, CR LF and damaged lines kept")
        << "# mine\r\n[A]\r\nClay\r\n# note\r\n[Pair]\r\nAnvil\r\n# after\r\n[Stray\r\nX\r\n"_ba
        << u"save|Pair|Bolt|Anvil"_s
        << "# mine\r\n[A]\r\nClay\r\n# note\r\n[Pair]\r\nBolt\r\nAnvil\r\n# after\r\n[Stray\r\nX\r\n"_ba
        << QString();
    QTest::newRow("a delete takes the set's lines and the blank line after them")
        << "[A]\nClay\n\n[B]\nBolt\nAnvil\n\n[C]\nAnvil\n"_ba << u"delete|B"_s
        << "[A]\nClay\n\n[C]\nAnvil\n"_ba << QString();
    QTest::newRow("the last game replaced in place, also by a launch of no mod")
        << "[last game]\nAnvil\n[B]\nBolt\n"_ba << u"last"_s << "[last game]\n[B]\nBolt\n"_ba
        << QString();
    QTest::newRow("a name of 200 characters is saved")
        << "-"_ba << u"save|"_s + QString(200, u'n') + u"|Bolt"_s
        << "[" + QByteArray(200, 'n') + "]\nBolt\n"
        << QString();
    const QByteArray kept = "[A]\nClay\n";
    QTest::newRow("a name with ] refused")
        << kept << u"save|a]b|Bolt"_s << kept << u"a set name cannot hold ]"_s;
    QTest::newRow("a name with a line break refused")
        << kept << u"save|a\nb|Bolt"_s << kept << u"a set name cannot hold a line break"_s;
    QTest::newRow("a name of 201 characters refused")
        << kept << u"save|"_s + QString(201, u'n') + u"|Bolt"_s << kept
        << u"a set name holds at most 200 characters"_s;
    QTest::newRow("a blank name refused")
        << kept << u"save|  |Bolt"_s << kept << u"a set needs a name"_s;
    QTest::newRow("the last game's name kept for it")
        << kept << u"save|last game|Bolt"_s << kept
        << u"the name \"last game\" is kept for the mods of the last game"_s;
    QTest::newRow("a mod whose name would read as a comment refused")
        << kept << u"save|B|Bolt|#Hash"_s << kept
        << u"the mod folder '#Hash' cannot be kept in a set: its name begins with # or [ or a "
           u"blank"_s;
}

void TestModSets::edits()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, change);
    QFETCH(QByteArray, after);
    QFETCH(QString, error);

    TestDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"VexilMods"_s));
    if (before != "-")
        QVERIFY(writeTree(dir.path(), {{u"VexilMods/modsets.txt"_s, before}}));
    const QStringList parts = change.split(u'|');
    QString why;
    const bool done =
        parts.first() == u"save"_s     ? saveModSet(dir.path(), {parts.at(1), parts.mid(2)}, &why)
        : parts.first() == u"delete"_s ? deleteModSet(dir.path(), parts.at(1), &why)
                                       : recordLastGame(dir.path(), parts.mid(1), &why);
    QCOMPARE(why, error);
    QCOMPARE(done, error.isEmpty());
    // Nothing but the file itself: no temporary file, no lock left behind.
    QCOMPARE(readTree(dir.path()), Files({{u"VexilMods/modsets.txt"_s, after}}));
}

void TestModSets::atomicSave()
{
#ifdef Q_OS_WIN
    QSKIP("Windows makes a second name for a file with a hard link only");
#else
    // A reader holding the old file (here, by a second name) keeps it whole: the new text is a
    // new file put in its place, never the old one rewritten where it lies.
    TestDir dir;
    QVERIFY(writeTree(dir.path(), {{u"VexilMods/modsets.txt"_s, "[A]\nClay\n"}}));
    QVERIFY(::link(QFile::encodeName(modSetsPath(dir.path())).constData(),
                   QFile::encodeName(dir.filePath(u"held.txt"_s)).constData()) == 0);
    QVERIFY(saveModSet(dir.path(), {u"B"_s, {u"Bolt"_s}}));
    QCOMPARE(readTree(dir.path()),
             Files({{u"held.txt"_s, "[A]\nClay\n"},
                    {u"VexilMods/modsets.txt"_s, "[A]\nClay\n\n[B]\nBolt\n"}}));
#endif
}

void TestModSets::vxmod_data()
{
    QTest::addColumn<QStringList>("args"); // "GAME" stands for the game folder
    QTest::addColumn<QByteArray>("sets");  // modsets.txt before; "<fifo>": a FIFO; "held:"
                                           // before the text: its lock held by another
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");      // the whole standard output
    QTest::addColumn<QString>("err");      // in standard error
    QTest::addColumn<QByteArray>("after"); // modsets.txt after; "=": as before
    QTest::addColumn<bool>("modded");      // data/ left modded (by an apply)

    // The arguments split at blanks, "--game GAME" added; '_' stands for a blank in a name.
    const auto row = [](const char *name, const QString &args, const QByteArray &sets, int exitCode,
                        const QString &out, const QString &err, const QByteArray &after = "=",
                        bool modded = false) {
        QTest::newRow(name)
            << (args + u" --game GAME"_s).split(u' ').replaceInStrings(u"_"_s, u" "_s) << sets
            << exitCode << out << err << after << modded;
    };
    const QByteArray pair = "[Pair]\nWarpDrive\nNightSky\n[Lost]\nGone\nBetterUnits\n";
    const QString none;
    row("sets: a set a line, tab-separated, in file order; damaged lines: exit 1", u"sets"_s,
        "[Zed]\nNightSky\nBetterUnits\n[Al]\nWarpDrive\n[x\n", 1,
        u"Zed\tNightSky\tBetterUnits\nAl\tWarpDrive\n"_s,
        u"modsets.txt:6: a [set name] line needs a name and one closing ] at its end"_s);
    row("sets on a FIFO reports it and does not wait", u"sets"_s, "<fifo>", 1, none,
        u"modsets.txt: it is not a regular file"_s);
    row("set save keeps the mods in the order given", u"set save My_set WarpDrive NightSky"_s, "-",
        0, none, u"saved the set 'My set' of 2 mods"_s, "[My set]\nWarpDrive\nNightSky\n");
    row("set save where the sets cannot be written fails and says why", u"set save B NightSky"_s,
        "<fifo>", 1, none, u"could not save the sets in "_s);
    row("set save of an unknown mod is a usage error", u"set save B NightSky Nope"_s, pair, 2, none,
        u"unknown mod 'Nope'"_s);
    row("set save of a mod named twice is a usage error", u"set save B NightSky NightSky"_s, pair,
        2, none, u"mod 'NightSky' is named more than once"_s);
    row("set save of a name with ] is a usage error", u"set save a] NightSky"_s, pair, 2, none,
        u"cannot save the set: a set name cannot hold ]"_s);
    row("set delete", u"set delete Pair"_s, pair, 0, none, u"deleted the set 'Pair'"_s,
        "[Lost]\nGone\nBetterUnits\n");
    row("set delete while another program changes the sets fails and says why",
        u"set delete Pair"_s, "held:" + pair, 1, none,
        u"another program is changing the sets; try again in a moment"_s);
    row("set delete of an unknown set is a usage error", u"set delete Nope"_s, pair, 2, none,
        u"no set named 'Nope'"_s);
    row("plan --set plans the set's mods in its order", u"plan --set Pair"_s, pair, 0,
        u"Mods, in launch order: WarpDrive, NightSky\n"_s, none);
    row("plan --set with a missing mod names it and plans the rest", u"plan --set Lost"_s, pair, 0,
        u"Mods, in launch order: BetterUnits\n"_s,
        u"set 'Lost' names mods that are not installed: Gone"_s);
    row("check --set counts a missing mod as a problem", u"check --set Lost"_s, pair, 1, none,
        u"names mods that are not installed: Gone"_s);
    row("apply --set with a missing mod changes nothing", u"apply --set Lost"_s, pair, 1, none,
        u"nothing was changed"_s);
    row("apply --set --skip-missing applies the installed ones",
        u"apply --skip-missing --set Lost"_s, pair, 0, none,
        u"names mods that are not installed: Gone"_s, "=", true);
    row("play --set plays the set and records it as the last game", u"play --set Pair"_s, pair, 0,
        none, u"restored: "_s, pair + "\n[last game]\nWarpDrive\nNightSky\n");
    row("play --last with a missing mod plays nothing", u"play --last"_s,
        "[last game]\nNightSky\nGone\n", 1, none,
        u"set 'last game' names mods that are not installed: Gone"_s);
    row("play --last --skip-missing records what it played", u"play --last --skip-missing"_s,
        "[last game]\nNightSky\nGone\n", 0, none, u"restored: "_s, "[last game]\nNightSky\n");
    row("a last game that cannot be recorded is said, and the game played all the same",
        u"play NightSky"_s, "<fifo>", 0, none,
        u"could not record the mods of this game as the last game in "_s);
    row("a set and mods both is a usage error", u"apply --set Pair NightSky"_s, pair, 2, none,
        u"name either mods or a set"_s);
    row("--set and --last together is a usage error", u"plan --set Pair --last"_s, pair, 2, none,
        u"--set and --last cannot be given together"_s);
    row("--last before any game is a usage error", u"apply --last"_s, pair, 2, none,
        u"no game started by a launch is recorded in "_s);
    row("--skip-missing without a set is a usage error", u"apply --skip-missing NightSky"_s, pair,
        2, none, u"--skip-missing goes with --set or --last"_s);
    row("an unknown set is a usage error", u"apply --set Nope"_s, pair, 2, none,
        u"no set named 'Nope' in "_s);
}

void TestModSets::vxmod()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sets);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QByteArray, after);
    QFETCH(bool, modded);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    QVERIFY(stageDemoGame(game));
    const QString path = modSetsPath(game);
    if (sets == "<fifo>") {
        if (!makeSpecialFile(path, u"fifo"_s))
            QSKIP("this system has no FIFOs");
    } else if (sets != "-") {
        const bool held = sets.startsWith("held:");
        QVERIFY(writeTree(game, {{u"VexilMods/modsets.txt"_s, held ? sets.sliced(5) : sets}}));
    }
    const Files pristine = readTree(game + u"/data"_s);
    const Files before = readTree(game + u"/VexilMods"_s);
    QLockFile other(path + u".lock"_s);
    if (sets.startsWith("held:"))
        QVERIFY(other.tryLock(0));
    args.replaceInStrings(u"GAME"_s, game);
    const QProcessEnvironment env = testEnvironment(dir.path());

    const Run run = runVxmod(args, env);
    other.unlock();
    QCOMPARE(run.exitCode, exitCode);
    if (args.first() != u"play"_s)
        QCOMPARE(run.out.left(out.isEmpty() ? run.out.size() : out.size()), out);
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
    Files expected = before;
    if (after != "=")
        expected.insert(u"modsets.txt"_s, after);
    QCOMPARE(readTree(game + u"/VexilMods"_s), expected);
    // Exactly as the command left it: modded by an apply that ran, else the game's own.
    QCOMPARE(readTree(game + u"/data"_s) == pristine, !modded);
    QCOMPARE(exitOf(runVxmod({u"status"_s, u"--game"_s, game}, env)),
             QString::number(modded ? 1 : 0));
}

QTEST_GUILESS_MAIN(TestModSets)
#include "tst_modsets.moc"
