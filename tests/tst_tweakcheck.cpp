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
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("problems");

    const auto stuff = [](const QString &mod, const QString &file) {
        return u"VexilMods/%1/Tweak/Stuff/%2"_s.arg(mod, file);
    };
    const QString good = stuff(u"Good"_s, u"Gadget.twk"_s);
    QTest::newRow("a clean mod passes") << QStringList{good, u"#flags 2\nDamage=@color 1 2 3\n"_s}
                                        << u"--game GAME Good"_s << 0 << QStringList{};
    QTest::newRow("broken statements are listed with their original lines")
        << QStringList{stuff(u"Bad"_s, u"Widget.twk"_s), u"// new\n#copy Nope\n\nSpeed=5\n"_s,
                       stuff(u"Bad"_s, u"Gadget.twk"_s),
                       u"/* long\n comment */\nDamage=@vector 1"_s}
        << u"--game=GAME Bad"_s << 1
        << QStringList{stuff(u"Bad"_s, u"Gadget.twk:3: @vector"_s),
                       stuff(u"Bad"_s, u"Widget.twk:2: Nope"_s),
                       stuff(u"Bad"_s, u"Widget.twk:4: does not exist"_s)};
    QTest::newRow("resource files the game lacks or that do not load")
        << QStringList{u"data/Tweak/Broken.xml"_s,
                       u"<a><b></a>"_s,
                       u"VexilMods/Odd/Tweak/Broken/A.twk"_s,
                       u"X=1\n"_s,
                       u"VexilMods/Odd/Tweak/Nothing/A.twk"_s,
                       u"X=1\n"_s}
        << u"--game GAME Odd"_s << 1
        << QStringList{u"VexilMods/Odd/Tweak/Nothing:0: Nothing.xml"_s,
                       u"data/Tweak/Broken.xml:0: cannot load"_s};
    const QStringList twoMods{stuff(u"First"_s, u"Widget.twk"_s), u"#class XWidget\nSpeed=1\n"_s,
                              stuff(u"Second"_s, u"Widget.twk"_s), u"Speed=2\n"_s};
    QTest::newRow("edits accumulate across the mods given")
        << twoMods << u"--game GAME First Second"_s << 0 << QStringList{};
    QTest::newRow("a later mod alone misses what an earlier one makes")
        << twoMods << u"--game GAME Second"_s << 1
        << QStringList{stuff(u"Second"_s, u"Widget.twk:1: does not exist"_s)};
    QTest::newRow("a copy reads the pristine backup, not the edited file")
        << QStringList{u"data/Tweak/Stuff.xml.backup"_s,
                       QString(stuffXml).replace(u"Gadget-0"_s, u"Old"_s),
                       stuff(u"Good"_s, u"New.twk"_s),
                       u"#copy Old\n"_s,
                       stuff(u"Good"_s, u"Newer.twk"_s),
                       u"#copy Gadget-0\n"_s}
        << u"--game GAME Good"_s << 1
        << QStringList{stuff(u"Good"_s, u"Newer.twk:1: Gadget-0"_s),
                       stuff(u"Good"_s, u"Newer.twk:1: does not exist"_s)};
    QTest::newRow("a mod named by its path")
        << QStringList{u"Elsewhere/Tweak/Stuff/Widget.twk"_s, u"Speed=2\n"_s}
        << u"--game GAME GAME/Elsewhere"_s << 1
        << QStringList{u"Elsewhere/Tweak/Stuff/Widget.twk:1: does not exist"_s};
    QTest::newRow("no mod is a usage error")
        << QStringList{good, u""_s} << u"--game GAME"_s << 2 << QStringList{};
    QTest::newRow("an unknown mod is a usage error, before any mod is checked")
        << QStringList{stuff(u"Bad"_s, u"Widget.twk"_s), u"X=1"_s} << u"--game GAME Bad Missing"_s
        << 2 << QStringList{};
    QTest::newRow("a missing game folder is a usage error")
        << QStringList{good, u""_s} << u"--game GAME/nowhere Good"_s << 2 << QStringList{};
}

void TestTweakCheck::reportsProblems()
{
    QFETCH(QStringList, files);
    QFETCH(QString, args);
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
    for (const QString &arg : args.split(u' '))
        arguments << QString(arg).replace(u"GAME"_s, game);
    vxmod.start(qEnvironmentVariable("VX_VXMOD"), arguments);
    QVERIFY(vxmod.waitForFinished(60000));
    const QString out = QString::fromUtf8(vxmod.readAllStandardOutput());
    const QString err = QString::fromUtf8(vxmod.readAllStandardError());
    QCOMPARE(vxmod.exitStatus(), QProcess::NormalExit);
    QVERIFY2(vxmod.exitCode() == exitCode, qPrintable(out + err));
    QVERIFY2(!err.trimmed().isEmpty(), "a summary or a usage message goes to standard error");

    // Each line must name the file and line expected and contain the words.
    QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    for (qsizetype i = 0; i < qMin(lines.size(), problems.size()); ++i) {
        const qsizetype split = problems.at(i).indexOf(u": "_s);
        const QString where = QDir::toNativeSeparators(game + u'/' + problems.at(i).left(split));
        if (lines.at(i).startsWith(where + u": "_s) &&
            lines.at(i).contains(problems.at(i).mid(split + 2)))
            lines[i] = problems.at(i);
    }
    QCOMPARE(lines, problems);
    QCOMPARE(vxtest::hashTree(game), before);
}

QTEST_GUILESS_MAIN(TestTweakCheck)
#include "tst_tweakcheck.moc"
