#include "mods/modinfo.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

class TestModInfo : public QObject
{
    Q_OBJECT

private slots:
    void readsInfoText_data();
    void readsInfoText();
    void decodesInfoText_data();
    void decodesInfoText();
    void scansModFolder_data();
    void scansModFolder();
};

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray utf16le(const QString &text)
{
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

} // namespace

void TestModInfo::readsInfoText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("displayText");
    QTest::addColumn<QString>("author");
    QTest::addColumn<QString>("desc");
    QTest::addColumn<quint16>("priority");

    QTest::newRow("name and version join with one blank")
        << QByteArray("name=Big Guns\nversion=1.2\n") << u"Big Guns 1.2"_s << u"N/A"_s << u"N/A"_s
        << quint16(0);
    QTest::newRow("without a version the name keeps a trailing blank")
        << QByteArray("name=Big Guns\n") << u"Big Guns "_s << u"N/A"_s << u"N/A"_s << quint16(0);
    QTest::newRow("no usable line leaves every default")
        << QByteArray("just some words\n\n") << u"<no name> "_s << u"N/A"_s << u"N/A"_s
        << quint16(0);
    QTest::newRow("blanks around the equals sign belong to key and value")
        << QByteArray("name = Big Guns\nauthor= Ann \n") << u"<no name> "_s << u" Ann "_s
        << u"N/A"_s << quint16(0);
    QTest::newRow("a second equals sign makes the line unusable")
        << QByteArray("desc=a=b\n") << u"<no name> "_s << u"N/A"_s << u"N/A"_s << quint16(0);
    QTest::newRow("an empty value is still a value")
        << QByteArray("desc=\n") << u"<no name> "_s << u"N/A"_s << QString() << quint16(0);
    QTest::newRow("keys are case-sensitive") << QByteArray("Name=X\nAUTHOR=Y\n") << u"<no name> "_s
                                             << u"N/A"_s << u"N/A"_s << quint16(0);
    QTest::newRow("a later line wins") << QByteArray("name=A\nname=B\nauthor=x\nauthor=y\n")
                                       << u"B "_s << u"y"_s << u"N/A"_s << quint16(0);
    QTest::newRow("Windows line ends are not part of the value")
        << QByteArray("name=Big Guns\r\nversion=1.2\r\nauthor=Ann\r\n") << u"Big Guns 1.2"_s
        << u"Ann"_s << u"N/A"_s << quint16(0);
    QTest::newRow("last line without a line end counts")
        << QByteArray("author=Ann\ndesc=Last") << u"<no name> "_s << u"Ann"_s << u"Last"_s
        << quint16(0);
    QTest::newRow("priority in range is read") << QByteArray("priority=65535\n") << u"<no name> "_s
                                               << u"N/A"_s << u"N/A"_s << quint16(65535);
    QTest::newRow("priority out of range gives 0")
        << QByteArray("priority=65536\n") << u"<no name> "_s << u"N/A"_s << u"N/A"_s << quint16(0);
    QTest::newRow("a bad priority after a good one gives 0")
        << QByteArray("priority=7\npriority=high\n") << u"<no name> "_s << u"N/A"_s << u"N/A"_s
        << quint16(0);
}

void TestModInfo::readsInfoText()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, displayText);
    QFETCH(QString, author);
    QFETCH(QString, desc);
    QFETCH(quint16, priority);

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString modPath = dir.path() + u"/Mod/"_s;
    QVERIFY(writeFile(modPath + u"info.txt"_s, content));

    VxModInfo info;
    QVERIFY(readModInfo(modPath, info));
    QCOMPARE(info.displayText(), displayText);
    QCOMPARE(info.author, author);
    QCOMPARE(info.desc, desc);
    QCOMPARE(info.priority, priority);
    QCOMPARE(info.path, modPath);
}

void TestModInfo::decodesInfoText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");

    QTest::newRow("UTF-8 without a mark")
        << QByteArray("name=Caf\xc3\xa9 Cr\xc3\xa8me\n") << u"Caf\u00e9 Cr\u00e8me"_s;
    QTest::newRow("UTF-8 mark is not part of the first key")
        << QByteArray("\xef\xbb\xbfname=Caf\xc3\xa9\n") << u"Caf\u00e9"_s;
    QTest::newRow("UTF-16 with its mark")
        << utf16le(u"name=\u0141\u00f3d\u017a\n"_s) << u"\u0141\u00f3d\u017a"_s;
    QTest::newRow("8-bit text that is no UTF-8 reads as Latin-1")
        << QByteArray("name=Caf\xe9 Cr\xe8me\n") << u"Caf\u00e9 Cr\u00e8me"_s;
}

void TestModInfo::decodesInfoText()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString modPath = dir.path() + u"/Mod/"_s;
    QVERIFY(writeFile(modPath + u"info.txt"_s, content));

    VxModInfo info;
    QVERIFY(readModInfo(modPath, info));
    QCOMPARE(info.name, name);
}

void TestModInfo::scansModFolder_data()
{
    QTest::addColumn<QStringList>("withInfo");
    QTest::addColumn<QStringList>("withoutInfo");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("folders sort by name without regard to case")
        << QStringList{u"gamma"_s, u"alpha"_s, u"Beta"_s} << QStringList{}
        << QStringList{u"alpha"_s, u"Beta"_s, u"gamma"_s};
    QTest::newRow("a folder without info.txt is no mod, even with data and tweaks")
        << QStringList{u"Real"_s} << QStringList{u"Almost"_s} << QStringList{u"Real"_s};
    QTest::newRow("an empty mods folder lists nothing")
        << QStringList{} << QStringList{} << QStringList{};
}

void TestModInfo::scansModFolder()
{
    QFETCH(QStringList, withInfo);
    QFETCH(QStringList, withoutInfo);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString mods = dir.path() + u"/VexilMods/"_s;
    QVERIFY(QDir().mkpath(mods));
    for (const QString &name : withInfo)
        QVERIFY(writeFile(mods + name + u"/info.txt"_s, "name=" + name.toUtf8() + '\n'));
    for (const QString &name : withoutInfo) {
        QVERIFY(writeFile(mods + name + u"/Art/Units/tank.pgm"_s, "P2"));
        QVERIFY(writeFile(mods + name + u"/Tweak/Units/Tank.twk"_s, "Armor=1\n"));
    }
    // A file lying in the mods folder is no mod either.
    QVERIFY(writeFile(mods + u"readme.txt"_s, "name=Nope\n"));

    QStringList found;
    for (const VxModInfo &mod : scanModFolder(dir.path())) {
        found.append(mod.folderName);
        QCOMPARE(mod.path, mods + mod.folderName + u'/');
        QCOMPARE(mod.name, mod.folderName);
    }
    QCOMPARE(found, expected);
}

QTEST_GUILESS_MAIN(TestModInfo)
#include "tst_modinfo.moc"
