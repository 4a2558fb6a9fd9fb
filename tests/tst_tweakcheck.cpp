#include "testutil.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString stuffXml = uR"(<?xml version="1.0" encoding="UTF-8"?>
<XResourceFile><XResourceTable>
  <XIndexDetails id="id-0"><ContainerResources href="Gadget"/></XIndexDetails>
  <XContainerResourceDetails id="Gadget"><Value href="Gadget-0"/><Name>Gadget</Name><Flags>80</Flags></XContainerResourceDetails>
  <XGadgetDetails id="Gadget-0"><Damage>10</Damage></XGadgetDetails>
</XResourceTable></XResourceFile>
)"_s;

bool writeFile(const QString &path, const QString &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content.toUtf8()) >= 0;
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
    // Files of the game folder (path, content, ...), the arguments after "check" (GAME
    // stands for the game folder), the exit code and the problems expected on standard
    // output as "path:line: words of the message".
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("problems");

    const QString good = u"VexilMods/Good/Tweak/Stuff/Gadget.twk"_s;
    QTest::newRow("a clean mod passes")
        << QStringList{good, u"#flags 2\nDamage=@color 1 2 3\n"_s}
        << QStringList{u"--game"_s, u"GAME"_s, u"Good"_s} << 0 << QStringList{};
    QTest::newRow("broken statements are listed with their original lines")
        << QStringList{u"VexilMods/Bad/Tweak/Stuff/Widget.twk"_s,
                       u"// a new widget\n#copy Nope\n\nSpeed=5\n"_s,
                       u"VexilMods/Bad/Tweak/Stuff/Gadget.twk"_s,
                       u"/* long\n comment */\nDamage=@vector 1\n"_s}
        << QStringList{u"--game=GAME"_s, u"Bad"_s} << 1
        << QStringList{u"VexilMods/Bad/Tweak/Stuff/Gadget.twk:3: @vector"_s,
                       u"VexilMods/Bad/Tweak/Stuff/Widget.twk:2: Nope"_s,
                       u"VexilMods/Bad/Tweak/Stuff/Widget.twk:4: does not exist"_s};
    QTest::newRow("a folder for a resource file the game lacks")
        << QStringList{u"VexilMods/Odd/Tweak/Nothing/A.twk"_s, u"X=1\n"_s}
        << QStringList{u"--game"_s, u"GAME"_s, u"Odd"_s} << 1
        << QStringList{u"VexilMods/Odd/Tweak/Nothing:0: Nothing.xml"_s};
    QTest::newRow("a resource file that does not load")
        << QStringList{u"data/Tweak/Broken.xml"_s, u"<a><b></a>"_s,
                       u"VexilMods/Odd/Tweak/Broken/A.twk"_s, u"X=1\n"_s}
        << QStringList{u"--game"_s, u"GAME"_s, u"Odd"_s} << 1
        << QStringList{u"data/Tweak/Broken.xml:0: cannot load"_s};
    const QStringList twoMods{u"VexilMods/First/Tweak/Stuff/Widget.twk"_s,
                              u"#class XWidget\nSpeed=1\n"_s,
                              u"VexilMods/Second/Tweak/Stuff/Widget.twk"_s, u"Speed=2\n"_s};
    QTest::newRow("edits accumulate across the mods given")
        << twoMods << QStringList{u"--game"_s, u"GAME"_s, u"First"_s, u"Second"_s} << 0
        << QStringList{};
    QTest::newRow("a later mod alone misses what an earlier one makes")
        << twoMods << QStringList{u"--game"_s, u"GAME"_s, u"Second"_s} << 1
        << QStringList{u"VexilMods/Second/Tweak/Stuff/Widget.twk:1: does not exist"_s};
    QTest::newRow("a copy reads the pristine backup, not the edited file")
        << QStringList{u"data/Tweak/Stuff.xml.backup"_s,
                       QString(stuffXml).replace(u"Gadget-0"_s, u"Old"_s),
                       u"VexilMods/Good/Tweak/Stuff/New.twk"_s,
                       u"#copy Old\n"_s,
                       u"VexilMods/Good/Tweak/Stuff/Newer.twk"_s,
                       u"#copy Gadget-0\n"_s}
        << QStringList{u"--game"_s, u"GAME"_s, u"Good"_s} << 1
        << QStringList{u"VexilMods/Good/Tweak/Stuff/Newer.twk:1: Gadget-0"_s,
                       u"VexilMods/Good/Tweak/Stuff/Newer.twk:1: does not exist"_s};
    QTest::newRow("a mod named by its path")
        << QStringList{u"Elsewhere/Tweak/Stuff/Widget.twk"_s, u"Speed=2\n"_s}
        << QStringList{u"--game"_s, u"GAME"_s, u"GAME/Elsewhere"_s} << 1
        << QStringList{u"Elsewhere/Tweak/Stuff/Widget.twk:1: does not exist"_s};
    QTest::newRow("no mod is a usage error")
        << QStringList{good, u""_s} << QStringList{u"--game"_s, u"GAME"_s} << 2 << QStringList{};
    QTest::newRow("an unknown option is a usage error")
        << QStringList{good, u""_s} << QStringList{u"--gmae"_s, u"GAME"_s, u"Good"_s} << 2
        << QStringList{};
    QTest::newRow("an unknown mod is a usage error, before any mod is checked")
        << QStringList{u"VexilMods/Bad/Tweak/Stuff/Widget.twk"_s, u"X=1"_s}
        << QStringList{u"--game"_s, u"GAME"_s, u"Bad"_s, u"Missing"_s} << 2 << QStringList{};
    QTest::newRow("a missing game folder is a usage error")
        << QStringList{good, u""_s} << QStringList{u"--game"_s, u"GAME/nowhere"_s, u"Good"_s} << 2
        << QStringList{};
    QTest::newRow("--game without a folder is a usage error")
        << QStringList{good, u""_s} << QStringList{u"Good"_s, u"--game"_s} << 2 << QStringList{};
}

void TestTweakCheck::reportsProblems()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, problems);

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString game = dir.path();
    QVERIFY(writeFile(game + u"/data/Tweak/Stuff.xml"_s, stuffXml));
    for (qsizetype i = 0; i + 1 < files.size(); i += 2)
        QVERIFY(writeFile(game + u'/' + files.at(i), files.at(i + 1)));
    const auto before = vxtest::hashTree(game);

    QProcess vxmod;
    QStringList arguments{u"check"_s};
    for (const QString &arg : args)
        arguments << QString(arg).replace(u"GAME"_s, game);
    vxmod.start(qEnvironmentVariable("VX_VXMOD"), arguments);
    QVERIFY(vxmod.waitForFinished(60000));
    const QString out = QString::fromUtf8(vxmod.readAllStandardOutput());
    const QString err = QString::fromUtf8(vxmod.readAllStandardError());
    QCOMPARE(vxmod.exitStatus(), QProcess::NormalExit);
    QVERIFY2(vxmod.exitCode() == exitCode, qPrintable(out + err));
    QVERIFY2(!err.trimmed().isEmpty(), "a summary or a usage message goes to standard error");

    QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    QVERIFY2(lines.size() == problems.size(), qPrintable(out));
    for (qsizetype i = 0; i < problems.size(); ++i) {
        const QString &want = problems.at(i);
        const qsizetype split = want.indexOf(u": "_s);
        const QString where = QDir::toNativeSeparators(game + u'/' + want.left(split)) + u": "_s;
        QVERIFY2(lines.at(i).startsWith(where) && lines.at(i).contains(want.mid(split + 2)),
                 qPrintable(u"expected %1, got %2"_s.arg(want, lines.at(i))));
    }
    QCOMPARE(vxtest::hashTree(game), before);
}

QTEST_GUILESS_MAIN(TestTweakCheck)
#include "tst_tweakcheck.moc"
