#include "testutil.h"

using namespace Qt::StringLiterals;
using vxtest::Files;

namespace {

const QByteArray stuffXml =
    "<F><T><XIndexDetails id='id-0'/><XContainerResourceDetails id='Gadget'><Value "
    "href='Gadget-0'/></XContainerResourceDetails><XGadgetDetails id='Gadget-0'/></T></F>";

// "Mod/file" as the path of a file in that mod's folder for Stuff.xml.
QString stuff(const char *modFile)
{
    return u"VexilMods/"_s + QString::fromUtf8(modFile).replace(u"/"_s, u"/Tweak/Stuff/"_s);
}

} // namespace

class TestTweakCheck : public QObject
{
    Q_OBJECT
private slots:
    void reportsProblems_data();
    void reportsProblems();
};

void TestTweakCheck::reportsProblems_data()
{
    // Files of the game folder, the arguments after "check" (GAME stands for the game folder),
    // the exit code and the problems expected on standard output as "path:line: words".
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("broken statements are listed with their original lines")
        << Files{{stuff("Bad/Widget.twk"), "// new\n#copy Nope\n\nSpeed=5\n"},
                 {stuff("Bad/Gadget.twk"), "/* long\n comment */\nDamage=@vector 1"}}
        << u"--game=GAME Bad"_s << 1
        << QStringList{stuff("Bad/Gadget.twk:3: @vector"), stuff("Bad/Widget.twk:2: Nope"),
                       stuff("Bad/Widget.twk:4: does not exist")};
    QTest::newRow("resource files the game lacks or that do not load")
        << Files{{u"data/Tweak/Broken.xml"_s, "<a><b></a>"},
                 {u"VexilMods/Odd/Tweak/Broken/A.twk"_s, "X=1"},
                 {u"VexilMods/Odd/Tweak/Nothing/A.twk"_s, "X=1"}}
        << u"--game GAME Odd"_s << 1
        << QStringList{u"VexilMods/Odd/Tweak/Nothing:0: Nothing.xml"_s,
                       u"data/Tweak/Broken.xml:0: cannot load"_s};
    QTest::newRow("edits accumulate across the mods given, by name or by path")
        << Files{{stuff("First/Widget.twk"), "#class XWidget\nSpeed=1\n"},
                 {stuff("Second/Widget.twk"), "Speed=2\n"}}
        << u"--game GAME First GAME/VexilMods/Second"_s << 0 << QStringList{};
    QTest::newRow("a copy reads the pristine backup, not the edited file")
        << Files{{u"data/Tweak/Stuff.xml.backup"_s,
                  QByteArray(stuffXml).replace("Gadget-0", "Old")},
                 {stuff("Good/New.twk"), "#copy Old\n"},
                 {stuff("Good/Newer.twk"), "#copy Gadget-0\n"}}
        << u"--game GAME Good"_s << 1
        << QStringList{stuff("Good/Newer.twk:1: Gadget-0"),
                       stuff("Good/Newer.twk:1: does not exist")};
    QTest::newRow("an unknown mod is a usage error, before any mod is checked")
        << Files{{stuff("Bad/A.twk"), "X=1"}} << u"--game GAME Bad No"_s << 2 << QStringList{};
    QTest::newRow("a FIFO, a link to /dev/zero and a huge file are named, never read")
        << Files{{stuff("Bad/Pipe.twk"), "special:fifo"},
                 {stuff("Bad/Zero.twk"), "special:zero"},
                 {stuff("Bad/Huge.twk"), "special:huge:67108865"},
                 {u"VexilMods/Bad/info.txt"_s, "special:fifo"}}
        << u"--game GAME Bad"_s << 1
        << QStringList{stuff("Bad/Huge.twk:0: larger than 67108864 bytes"),
                       stuff("Bad/Pipe.twk:0: not a regular file"),
                       stuff("Bad/Zero.twk:0: not a regular file"),
                       u"VexilMods/Bad/info.txt:0: not a regular file"_s};
    // Document, table and element make three levels; the fields under it the rest.
    const auto deep = [](int levels) {
        return Files{{u"data/Tweak/Deep.xml"_s,
                      "<F><T><XIndexDetails id='id-0'/><XDeep id='Deep'>" +
                          QByteArray("<a>").repeated(levels - 3) +
                          QByteArray("</a>").repeated(levels - 3) + "</XDeep></T></F>"},
                     {u"VexilMods/Bad/Tweak/Deep/Deep.twk"_s, "Speed=1\n"}};
    };
    QTest::newRow("a resource file nested 256 levels deep is saved")
        << deep(256) << u"--game GAME Bad"_s << 0 << QStringList{};
    QTest::newRow("a resource file nested one level deeper than a launch can save")
        << deep(257) << u"--game GAME Bad"_s << 1
        << QStringList{u"data/Tweak/Deep.xml:0: nested more than 256 levels"_s};
    QTest::newRow("a field or class name the file's encoding cannot write")
        << Files{{u"data/Tweak/Old.xml"_s,
                  "<?xml version='1.0' encoding='ISO-8859-1'?><F><T><XIndexDetails id='id-0'/>"
                  "<XThing id='Thing'/></T></F>"},
                 {u"VexilMods/Bad/Tweak/Old/Thing.twk"_s, "\xce\xa9mega=1\nSpeed=2\n"},
                 {u"VexilMods/Bad/Tweak/Old/New.twk"_s, "#class X\xce\xa9\nSpeed=2\n"}}
        << u"--game GAME Bad"_s << 1
        << QStringList{u"VexilMods/Bad/Tweak/Old/New.twk:1: encoding"_s,
                       u"VexilMods/Bad/Tweak/Old/New.twk:2: does not exist"_s,
                       u"VexilMods/Bad/Tweak/Old/Thing.twk:1: encoding"_s};
}

void TestTweakCheck::reportsProblems()
{
    QFETCH(Files, files);
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, problems);
    vxtest::TestDir dir;
    files.insert(u"data/Tweak/Stuff.xml"_s, stuffXml);
    for (auto it = files.begin(); it != files.end();) {
        if (!it.value().startsWith("special:")) {
            ++it;
            continue;
        }
        if (!vxtest::makeSpecialFile(dir.filePath(it.key()), QString::fromUtf8(it.value().mid(8))))
            QSKIP("this system cannot make such a file");
        it = files.erase(it);
    }
    QVERIFY(vxtest::writeTree(dir.path(), files));
    const Files before = vxtest::hashTree(dir.path());

    const vxtest::Run run =
        vxtest::runVxmod(u"check "_s.append(args).replace(u"GAME"_s, dir.path()).split(u' '));
    // A summary or a usage message always goes to standard error.
    QVERIFY2(run.exitCode == exitCode && !run.err.trimmed().isEmpty(),
             qPrintable(run.out + run.err));

    // Each line must name the file and line expected and contain the words.
    QStringList lines = QDir::fromNativeSeparators(run.out)
                            .remove(dir.path() + u'/')
                            .split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    for (qsizetype i = 0; i < qMin(lines.size(), problems.size()); ++i)
        if (lines.at(i).startsWith(problems.at(i).section(u": "_s, 0, 0) + u": "_s) &&
            lines.at(i).contains(problems.at(i).section(u": "_s, 1)))
            lines[i] = problems.at(i);
    QCOMPARE(lines, problems);
    QCOMPARE(vxtest::hashTree(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestTweakCheck)
#include "tst_tweakcheck.moc"
