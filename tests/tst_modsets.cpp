#include "mods/modsets.h"
#include "testutil.h"

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace vxtest;

// The mod sets file: what a reader takes from it and reports, how a change rewrites it, and
// files that are no files. (vxmod's set commands are rows of the launch tests' vxmod table.)
class TestModSets : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void edits_data();
    void edits();
    void atomicSave();
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
    // Refused: the file stays as it was.
    const auto refused = [](const char *name, const QString &change, const QString &error) {
        QTest::newRow(name) << "[A]\nClay\n"_ba << change << "[A]\nClay\n"_ba << error;
    };
    refused("a name with ] refused", u"save|a]b|Bolt"_s, u"a set name cannot hold ]"_s);
    refused("a name with a line break refused", u"save|a\nb|Bolt"_s,
            u"a set name cannot hold a line break"_s);
    refused("a name of 201 characters refused", u"save|"_s + QString(201, u'n') + u"|Bolt"_s,
            u"a set name holds at most 200 characters"_s);
    refused("a blank name refused", u"save|  |Bolt"_s, u"a set needs a name"_s);
    refused("the last game's name kept for it", u"save|last game|Bolt"_s,
            u"the name \"last game\" is kept for the mods of the last game"_s);
    refused("a mod whose name would read as a comment refused", u"save|B|Bolt|#Hash"_s,
            u"the mod folder '#Hash' cannot be kept in a set: its name begins with # or [ or a "
            u"blank"_s);
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

QTEST_GUILESS_MAIN(TestModSets)
#include "tst_modsets.moc"
