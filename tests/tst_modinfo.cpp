#include "mods/modinfo.h"
#include "testutil.h"

using namespace Qt::StringLiterals;

class TestModInfo : public QObject
{
    Q_OBJECT

private slots:
    void readsInfoText_data();
    void readsInfoText();
    void scansModFolder_data();
    void scansModFolder();
};

void TestModInfo::readsInfoText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // display text|author|desc|priority

    QTest::newRow("name and version join with one blank; CR LF and a last line without an end")
        << "name=Big Guns\r\nversion=1.2\r\nauthor=Ann"_ba << u"Big Guns 1.2|Ann|N/A|0"_s;
    QTest::newRow("lines without exactly one =, blanks around it belong to key and value")
        << "just some words\ndesc=a=b\nname = X\nauthor= Ann \n"_ba << u"<no name> | Ann |N/A|0"_s;
    QTest::newRow("a later line wins, even with an empty value; 8-bit text reads as Latin-1")
        << "name=A\nname=Caf\xe9\nauthor=x\nauthor=\ndesc=d"_ba << u"Caf\u00e9 ||d|0"_s;
    QTest::newRow("the highest priority is read")
        << "priority=65535\n"_ba << u"<no name> |N/A|N/A|65535"_s;
    QTest::newRow("a later priority out of range gives 0, not the earlier one")
        << "priority=7\npriority=65536\n"_ba << u"<no name> |N/A|N/A|0"_s;
}

void TestModInfo::readsInfoText()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), {{u"Mod/info.txt"_s, content}}));
    VxModInfo info;
    QVERIFY(readModInfo(dir.path() + u"/Mod/"_s, info));
    QCOMPARE(u"%1|%2|%3|%4"_s.arg(info.displayText(), info.author, info.desc).arg(info.priority),
             expected);
}

void TestModInfo::scansModFolder_data()
{
    QTest::addColumn<QString>("kind"); // of Bad/info.txt, as vxtest::makeSpecialFile takes it
    QTest::addColumn<QString>("why");

    QTest::newRow("a FIFO would block for ever") << u"fifo"_s << u"not a regular file"_s;
    QTest::newRow("a link to /dev/zero would fill memory") << u"zero"_s << u"not a regular file"_s;
    QTest::newRow("a folder named info.txt") << u"folder"_s << u"not a regular file"_s;
    QTest::newRow("a file of exactly the size limit is read") << u"huge:1048576"_s << QString();
    QTest::newRow("one byte over the size limit")
        << u"huge:1048577"_s << u"larger than 1048576 bytes"_s;
}

void TestModInfo::scansModFolder()
{
    QFETCH(QString, kind);
    QFETCH(QString, why);
    vxtest::TestDir dir;
    const QString mods = dir.path() + u"/VexilMods/"_s;
    // Mods sort by folder name without regard to case; a folder without info.txt is no mod,
    // even with data and tweaks, and neither is a file lying in the mods folder.
    QVERIFY(vxtest::writeTree(mods, {{u"gamma/info.txt"_s, "name=gamma"},
                                     {u"alpha/info.txt"_s, "name=alpha"},
                                     {u"Can/info.txt"_s, "name=Can"},
                                     {u"Almost/Art/Units/tank.pgm"_s, "P2"},
                                     {u"Almost/Tweak/Units/Tank.twk"_s, "Armor=1\n"},
                                     {u"readme.txt"_s, "name=Nope\n"}}));
    if (!vxtest::makeSpecialFile(mods + u"Bad/info.txt"_s, kind))
        QSKIP("this system cannot make such a file");

    VxModInfo info;
    QString error;
    QCOMPARE(readModInfo(mods + u"Bad/"_s, info, &error), why.isEmpty());
    QCOMPARE(error, why);
    QStringList problems, found;
    for (const VxModInfo &mod : scanModFolder(dir.path(), &problems)) {
        found << mod.name;
        QCOMPARE(mod.path, mods + mod.folderName + u'/');
    }
    QCOMPARE(found.join(u','),
             why.isEmpty() ? u"alpha,<no name>,Can,gamma"_s : u"alpha,Can,gamma"_s);
    QCOMPARE(problems,
             why.isEmpty()
                 ? QStringList()
                 : QStringList{QDir::toNativeSeparators(mods + u"Bad/info.txt: "_s) + why});
}

QTEST_GUILESS_MAIN(TestModInfo)
#include "tst_modinfo.moc"
