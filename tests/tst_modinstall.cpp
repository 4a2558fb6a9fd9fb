#include "archivebuilder.h"
#include "launch/feedback.h"
#include "launch/gamelock.h"
#include "mods/modinfo.h"
#include "mods/modinstall.h"
#include "testutil.h"

#include <QStandardPaths>

#include <QCoreApplication>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using namespace vxtest;

Q_DECLARE_METATYPE(vxtest::ArchiveEntries)

namespace {

using Entry = ArchiveEntry;

const Files nightSky = {{u"info.txt"_s, "name=Night Sky\n"},
                        {u"Art/Sky/backdrop.txt"_s, "dark\n"},
                        {u"Tweak/World/Sky.twk"_s, "Color=@color 1 2 3\n"}};
// Every game starts with this mod, which nothing may touch.
const Files keep = {{u"Keep/info.txt"_s, "name=Keep\n"}, {u"Keep/Art/k.txt"_s, "k"}};

ArchiveEntries smallMod(const QString &prefix)
{
    return {{prefix + u"info.txt"_s, "name=M\n"}, {prefix + u"a.txt"_s, "a"}};
}

QByteArray noise(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

// Records what the install tells the person; cancels after the given number of steps.
struct Recorder : VxFeedback
{
    int cancelAfter = -1;
    QStringList calls;
    int steps = 0;
    void begin(int count) override { calls.append(u"begin %1"_s.arg(count)); }
    void setTitle(const QString &title) override { calls.append(u"title "_s + title); }
    void setLabel(const QString &label) override { calls.append(u"label "_s + label); }
    void step() override { ++steps; }
    bool cancelled() override { return cancelAfter >= 0 && steps >= cancelAfter; }
    Answer ask(const QString &, const QString &) override { return Answer::Abort; }
    void error(const QString &, const QString &) override {}
    void end() override { calls.append(u"end"_s); }
};

} // namespace

class TestModInstall : public QObject
{
    Q_OBJECT

private slots:
    void installs_data();
    void installs();
    void installsDemoArchives_data();
    void installsDemoArchives();
    void refuses_data();
    void refuses();
    void reportsProgress_data();
    void reportsProgress();
    void cleansLeftovers_data();
    void cleansLeftovers();
    void removes_data();
    void removes();
};

void TestModInstall::installs_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<Files>("content");
    QTest::addColumn<Files>("installed");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<Files>("expected"); // VexilMods afterwards, less Keep

    const Files none;
    QTest::newRow("zip wrapped in one folder keeps that folder's name, not the archive's")
        << u"zip"_s << u"night-sky-v2.zip"_s << under(u"NightSky/"_s, nightSky) << none << false
        << under(u"NightSky/"_s, nightSky);
    QTest::newRow("zip wrapped in two folders installs only the folder holding info.txt")
        << u"zip"_s << u"download.zip"_s
        << under(u"Download/NightSky/"_s, nightSky) + Files{{u"Download/readme.txt"_s, "read me"}}
        << none << false << under(u"NightSky/"_s, nightSky);
    QTest::newRow("7z with info.txt at its top is named after the archive")
        << u"7z"_s << u"Star.Field.7z"_s << nightSky << none << false
        << under(u"Star.Field/"_s, nightSky);
    QTest::newRow("7z wrapped in one folder keeps that folder's name")
        << u"7z"_s << u"x.7z"_s << under(u"NightSky/"_s, nightSky) << none << false
        << under(u"NightSky/"_s, nightSky);
    QTest::newRow("zip with info.txt at its top and an empty folder keeps the folder")
        << u"zip"_s << u"Flat.zip"_s << nightSky + Files{{u"Sound/Ambient/"_s, {}}} << none << false
        << under(u"Flat/"_s, nightSky) + Files{{u"Flat/Sound/Ambient/"_s, {}}};
    QTest::newRow("zip without info.txt installs its top folder, named after the archive inside")
        << u"zip"_s << u"Cool Mod 1.2.zip"_s << Files{{u"Cool/Art/a.txt"_s, "a"}} << none << false
        << Files{{u"Cool/Art/a.txt"_s, "a"}, {u"Cool/info.txt"_s, "name=Cool Mod 1.2\n"}};
    QTest::newRow("7z without info.txt and with several top entries becomes one mod")
        << u"7z"_s << u"Loose.7z"_s << Files{{u"Art/a.txt"_s, "a"}, {u"Sound/b.wav"_s, "b"}} << none
        << false
        << Files{{u"Loose/Art/a.txt"_s, "a"},
                 {u"Loose/Sound/b.wav"_s, "b"},
                 {u"Loose/info.txt"_s, "name=Loose\n"}};
    QTest::newRow("zip without info.txt whose one folder is a folder of the game's data")
        << u"zip"_s << u"Loose.zip"_s << Files{{u"art/a.txt"_s, "a"}} << none << false
        << Files{{u"Loose/art/a.txt"_s, "a"}, {u"Loose/info.txt"_s, "name=Loose\n"}};
    QTest::newRow("tar.gz loses both suffixes")
        << u"tar"_s << u"Pack.tar.gz"_s << nightSky << none << false << under(u"Pack/"_s, nightSky);
    QTest::newRow("INFO.TXT in capitals lands as info.txt, the name the mod scan reads")
        << u"zip"_s << u"m.zip"_s << Files{{u"Mod/INFO.TXT"_s, "name=Caps\n"}} << none << false
        << Files{{u"Mod/info.txt"_s, "name=Caps\n"}};
    QTest::newRow("replace leaves none of the old mod's files")
        << u"7z"_s << u"n.7z"_s << under(u"NightSky/"_s, nightSky)
        << Files{{u"NightSky/info.txt"_s, "name=Old\n"}, {u"NightSky/old.txt"_s, "old"}} << true
        << under(u"NightSky/"_s, nightSky);
    QTest::newRow("replace of a mod spelled in another case takes the archive's spelling")
        << u"zip"_s << u"n.zip"_s << under(u"NightSky/"_s, nightSky)
        << Files{{u"nightsky/info.txt"_s, "name=Old\n"}} << true << under(u"NightSky/"_s, nightSky);
    QTest::newRow("replace without a mod of that name installs it")
        << u"zip"_s << u"n.zip"_s << under(u"NightSky/"_s, nightSky) << none << true
        << under(u"NightSky/"_s, nightSky);
}

void TestModInstall::installs()
{
    QFETCH(QString, tool);
    QFETCH(QString, archive);
    QFETCH(Files, content);
    QFETCH(Files, installed);
    QFETCH(bool, replace);
    QFETCH(Files, expected);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    const QString mods = game + u"/VexilMods"_s;
    QVERIFY(writeTree(mods, keep + installed) && writeTree(game, {{u"data/Art/x.txt"_s, "x"}}));
    // A key ending in '/' stands for an empty folder.
    for (auto it = content.cbegin(); it != content.cend(); ++it) {
        const QString path = dir.filePath(u"src/"_s + it.key());
        QVERIFY(it.key().endsWith(u'/') ? QDir().mkpath(path)
                                        : writeTree(dir.filePath(u"src"_s), {{it.key(), *it}}));
    }
    const QString path = dir.filePath(archive);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP("the archive tools are the host's programs, which a Windows build cannot run");
    QVERIFY2(packWithTool(tool, dir.filePath(u"src"_s), path), qPrintable(tool));

    VxSilentFeedback feedback;
    const VxInstallResult result = installModArchive(game, path, feedback, replace);
    QVERIFY2(result.ok(), qPrintable(installProblemText(result)));
    QCOMPARE(readTree(mods), keep + expected);
    QCOMPARE(result.replaced, !installed.isEmpty());
    // The mod is listed, and no lock is left behind.
    QCOMPARE(scanModFolder(game).size(), 2);
    QVERIFY(!QFile::exists(VxGameLock::lockPath(game)));
}

void TestModInstall::installsDemoArchives_data()
{
    QTest::addColumn<QString>("archive");
    for (const char *mod : {"BetterUnits", "NightSky", "WarpDrive"}) {
        for (const char *suffix : {".zip", ".7z"}) {
            const QString name = QLatin1String(mod) + QLatin1String(suffix);
            QTest::newRow(qPrintable(name)) << name;
        }
    }
}

// The build packs the sample mods (wrapped in a zip, at the top of a 7z); each installs as the
// very folder it was packed from.
void TestModInstall::installsDemoArchives()
{
    QFETCH(QString, archive);
    TestDir dir;
    VxSilentFeedback feedback;
    const VxInstallResult result = installModArchive(
        dir.path(), qEnvironmentVariable("VX_DEMO_ARCHIVES") + u'/' + archive, feedback);
    QVERIFY2(result.ok(), qPrintable(installProblemText(result)));
    const QString mod = archiveBaseName(archive);
    QCOMPARE(readTree(dir.filePath(u"VexilMods"_s)),
             under(mod + u'/',
                   readTree(qEnvironmentVariable("VX_DEMO_INSTALL") + u"/VexilMods/"_s + mod)));
}

void TestModInstall::refuses_data()
{
    QTest::addColumn<QString>("make");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<ArchiveEntries>("entries");
    QTest::addColumn<int>("maxEntries");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<QString>("text"); // ending in "(": only its start is known

    const auto row = [](const char *name, const QString &make, const ArchiveEntries &entries,
                        const QString &text, const QString &archive = u"m.zip"_s,
                        int maxEntries = 0, qint64 maxBytes = 0) {
        QTest::newRow(name) << make << archive << entries << maxEntries << maxBytes << text;
    };
    const ArchiveEntries mod = smallMod(u"M/"_s);
    const auto with = [&](const ArchiveEntries &extra) { return mod + extra; };
    const auto file = [](const QString &path) { return ArchiveEntries{{path, "x"}}; };

    row("a .. entry climbs out of the mod folder", u"zip"_s, with(file(u"M/../../evil.txt"_s)),
        u"the entry M/../../evil.txt would be written outside the mod's folder"_s);
    row("an absolute entry", u"pax"_s, with(file(u"/tmp/evil.txt"_s)),
        u"the entry /tmp/evil.txt would be written outside the mod's folder"_s);
    row("a drive letter", u"zip"_s, with(file(u"C:/evil.txt"_s)),
        u"the entry C:/evil.txt would be written outside the mod's folder"_s);
    // The zip reader takes a backslash for the separator that Windows archivers write.
    row("a backslash climbs out of a zip", u"zip"_s, with(file(u"M\\..\\..\\evil.txt"_s)),
        u"the entry M/../../evil.txt would be written outside the mod's folder"_s);
    row("a backslash would climb out on Windows", u"pax"_s, with(file(u"M\\..\\evil.txt"_s)),
        u"the entry M\\..\\evil.txt would be written outside the mod's folder"_s);
    row("a symbolic link in a tar", u"pax"_s, with({{u"M/etc"_s, {}, Entry::Symlink, u"/etc"_s}}),
        u"the entry M/etc is a link or a special file; a mod holds only files and folders"_s);
    row("a symbolic link in a zip", u"zip"_s, with({{u"M/up"_s, {}, Entry::Symlink, u".."_s}}),
        u"the entry M/up is a link or a special file; a mod holds only files and folders"_s);
    row("a hard link", u"pax"_s, with({{u"M/b.txt"_s, {}, Entry::Hardlink, u"M/a.txt"_s}}),
        u"the entry M/b.txt is a link or a special file; a mod holds only files and folders"_s);
    row("the device name CON", u"zip"_s, with(file(u"M/CON"_s)),
        u"the name M/CON cannot be used on Windows"_s);
    row("a device name with an extension", u"zip"_s, with(file(u"M/Sound/aux.txt"_s)),
        u"the name M/Sound/aux.txt cannot be used on Windows"_s);
    row("a numbered device name in lower case", u"7zip"_s, with(file(u"M/lpt1.wav"_s)),
        u"the name M/lpt1.wav cannot be used on Windows"_s);
    row("a trailing dot", u"zip"_s, with(file(u"M/readme."_s)),
        u"the name M/readme. cannot be used on Windows"_s);
    row("a folder with a trailing space", u"zip"_s, with(file(u"M/Art /a.txt"_s)),
        u"the name M/Art /a.txt cannot be used on Windows"_s);
    row("a question mark", u"zip"_s, with(file(u"M/what?.txt"_s)),
        u"the name M/what?.txt cannot be used on Windows"_s);
    row("angle brackets and a pipe", u"7zip"_s, with(file(u"M/a<b>|c.txt"_s)),
        u"the name M/a<b>|c.txt cannot be used on Windows"_s);
    row("two files differing only in case", u"zip"_s,
        with(file(u"M/Readme.txt"_s) + file(u"M/README.txt"_s)),
        u"the names M/Readme.txt and M/README.txt differ only in upper and lower case"_s);
    row("two folders differing only in case", u"7zip"_s,
        with(file(u"M/Art/a.txt"_s) + file(u"M/ART/b.txt"_s)),
        u"the names M/Art and M/ART differ only in upper and lower case"_s);
    row("the same file twice", u"zip"_s, with(file(u"M/b.txt"_s) + file(u"M/b.txt"_s)),
        u"the entry M/b.txt appears more than once"_s);
    row("a file and a folder of one name", u"zip"_s, with(file(u"M/x"_s) + file(u"M/x/y.txt"_s)),
        u"the entry M/x appears more than once"_s);
    row("two mods side by side", u"zip"_s, smallMod(u"A/"_s) + smallMod(u"B/"_s),
        u"the archive holds more than one mod: there is an info.txt in A and in B"_s);
    row("info.txt at the top and in a subfolder", u"7zip"_s,
        smallMod(QString()) + smallMod(u"Sub/"_s),
        u"the archive holds more than one mod: there is an info.txt in / and in Sub"_s);
    row("folders and no file", u"zip"_s,
        {{u"M/"_s, {}, Entry::Folder}, {u"M/Art/"_s, {}, Entry::Folder}},
        u"the archive holds no files"_s);
    row("more entries than the limit", u"zip"_s, with(file(u"M/b"_s) + file(u"M/c"_s)),
        u"the archive holds more than 3 files and folders"_s, u"m.zip"_s, 3);
    row("more bytes than the limit", u"zip"_s, with({{u"M/big.bin"_s, noise(1 << 20)}}),
        u"the archive unpacks to more than 1 MB"_s, u"m.zip"_s, 0, 1 << 20);
    row("a zip bomb of zeros", u"zip"_s, with({{u"M/zeros.bin"_s, QByteArray(40 << 20, '\0')}}),
        u"the archive unpacks to more than 100 times its own size, as no mod does"_s);
    row("a 7z bomb of zeros", u"7zip"_s, with({{u"M/zeros.bin"_s, QByteArray(40 << 20, '\0')}}),
        u"the archive unpacks to more than 100 times its own size, as no mod does"_s, u"m.7z"_s);
    row("a zip with a password", u"zip -P"_s, mod, u"the archive is protected by a password"_s);
    row("a 7z with a password", u"7z -p"_s, mod, u"the archive is protected by a password"_s,
        u"m.7z"_s);
    row("a 7z with its names behind a password", u"7z -mhe"_s, mod,
        u"the archive is protected by a password"_s, u"m.7z"_s);
    row("a zip cut in half", u"truncate"_s, with({{u"M/n.bin"_s, noise(1 << 16)}}),
        u"the archive is damaged, truncated or of an unknown kind ("_s);
    row("a 7z cut in half", u"truncate"_s, with({{u"M/n.bin"_s, noise(1 << 16)}}),
        u"the archive is damaged, truncated or of an unknown kind ("_s, u"m.7z"_s);
    row("a zip whose data is damaged past its first file", u"corrupt"_s,
        with({{u"M/z.txt"_s, QByteArray(1 << 16, 'z') + noise(1 << 16)}}),
        u"the archive is damaged, truncated or of an unknown kind ("_s);
    row("a text file named .zip", u"text"_s, mod,
        u"the archive is damaged, truncated or of an unknown kind ("_s);
    row("an installed mod of the same name", u"zip"_s, smallMod(u"Keep/"_s),
        u"a mod named Keep is already installed"_s);
    row("an installed mod of the same name in another case", u"zip"_s, smallMod(u"keep/"_s),
        u"a mod named Keep is already installed"_s);
    row("an archive named after a device", u"zip"_s, smallMod(QString()),
        u"CON cannot be the name of a mod folder"_s, u"CON.zip"_s);
    row("an archive whose name hides the folder", u"zip"_s, smallMod(QString()),
        u".hidden cannot be the name of a mod folder"_s, u".hidden.zip"_s);
    row("a launch holds the game folder", u"locked"_s, mod,
        u"the game folder is in use by another launch (process %1 (tst_modinstall))"_s.arg(
            QCoreApplication::applicationPid()));
}

void TestModInstall::refuses()
{
    QFETCH(QString, make);
    QFETCH(QString, archive);
    QFETCH(ArchiveEntries, entries);
    QFETCH(int, maxEntries);
    QFETCH(qint64, maxBytes);
    QFETCH(QString, text);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    QVERIFY(writeTree(game + u"/VexilMods"_s, keep));
    const QString path = dir.filePath(archive);
    const bool sevenZip = archive.endsWith(u".7z"_s);
    if (make.startsWith(u"7z -"_s) || make.startsWith(u"zip -"_s)) {
        QVERIFY(writeTree(dir.filePath(u"src"_s), {{u"M/info.txt"_s, "name=M\n"}}));
        const QStringList password = make == u"zip -P"_s ? QStringList{u"-P"_s, u"secret"_s}
                                     : make == u"7z -p"_s
                                         ? QStringList{u"-psecret"_s}
                                         : QStringList{u"-psecret"_s, u"-mhe=on"_s};
        if (QStandardPaths::findExecutable(make.section(u' ', 0, 0)).isEmpty())
            QSKIP("the archive tools are the host's programs, which a Windows build cannot run");
        QVERIFY(packWithTool(make.section(u' ', 0, 0), dir.filePath(u"src"_s), path, password));
    } else if (make == u"text"_s) {
        QVERIFY(writeTree(dir.path(), {{archive, "name=M\nnot an archive\n"}}));
    } else {
#ifdef Q_OS_WIN
        if (archive.startsWith(u"CON."_s))
            QSKIP("Windows cannot hold a file named after a device, so no such archive can come");
#endif
        const char *format = sevenZip ? "7zip" : make == u"pax"_s ? "pax" : "zip";
        QVERIFY(writeArchive(path, format, entries));
    }
    QFile file(path);
    if (make == u"truncate"_s)
        QVERIFY(file.resize(file.size() / 2));
    if (make == u"corrupt"_s) {
        // Past the first 32 KiB of the deflated data, where the zeros' run has ended.
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() / 2));
        QVERIFY(file.write(QByteArray(64, '\x55')) == 64);
        file.close();
    }
    std::unique_ptr<VxGameLock> lock;
    if (make == u"locked"_s) {
        lock = std::make_unique<VxGameLock>(game);
        QCOMPARE(lock->tryLock(), VxGameLock::Result::Acquired);
    }
    const Files before = readTree(game);

    VxInstallLimits limits;
    if (maxEntries > 0)
        limits.maxEntries = maxEntries;
    if (maxBytes > 0)
        limits.maxUnpackedBytes = maxBytes;
    VxSilentFeedback feedback;
    const VxInstallResult result = installModArchive(game, path, feedback, false, limits);
    QVERIFY(!result.ok());
    QString shown = installProblemText(result);
#ifdef Q_OS_WIN
    // Windows reads a backslash in an entry's name as the separator it is there.
    if (text.contains(u'\\'))
        shown.replace(u'/', u'\\');
#endif
    if (text.endsWith(u'('))
        QVERIFY2(shown.startsWith(text) && shown.size() > text.size() + 1, qPrintable(shown));
    else
        QCOMPARE(shown, text);
    // Nothing of the archive is left, not even a temporary folder.
    QCOMPARE(readTree(game), before);
}

void TestModInstall::reportsProgress_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("cancelAfter");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("steps");

    const QStringList small = {u"begin 0"_s, u"title Installing mods"_s, u"label m.zip"_s,
                               u"end"_s};
    const QStringList large = {u"begin 100"_s, u"title Installing mods"_s, u"label m.zip"_s,
                               u"end"_s};
    QTest::newRow("a small archive shows no progress window") << 1 << -1 << small << 0;
    QTest::newRow("a large archive steps to the end") << 12 << -1 << large << 100;
    QTest::newRow("a large archive cancelled halfway leaves nothing") << 12 << 40 << large << -1;
}

void TestModInstall::reportsProgress()
{
    QFETCH(int, size);
    QFETCH(int, cancelAfter);
    QFETCH(QStringList, calls);
    QFETCH(int, steps);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    const QString path = dir.filePath(u"m.zip"_s);
    QVERIFY(QDir().mkpath(game));
    ArchiveEntries entries = smallMod(u"M/"_s);
    for (int i = 0; i < size; ++i)
        entries.append({u"M/n%1.bin"_s.arg(i), noise(1 << 20)});
    QVERIFY(writeArchive(path, "zip", entries, "zip:compression=store"));

    Recorder feedback;
    feedback.cancelAfter = cancelAfter;
    const VxInstallResult result = installModArchive(game, path, feedback);
    QCOMPARE(feedback.calls, calls);
    if (steps >= 0) {
        QVERIFY(result.ok());
        QCOMPARE(feedback.steps, steps);
    } else {
        QCOMPARE(installProblemText(result), u"the install was cancelled"_s);
        QVERIFY(feedback.steps >= cancelAfter && feedback.steps < 100);
        QCOMPARE(readTree(game + u"/VexilMods"_s), Files{});
    }
}

void TestModInstall::cleansLeftovers_data()
{
    QTest::addColumn<Files>("left");
    QTest::addColumn<Files>("expected");

    const Files old = {{u"Old/info.txt"_s, "name=Old\n"}};
    QTest::newRow("a mod set aside whose successor never arrived goes back")
        << under(u".vxinstall-a1b2c3/aside/"_s, old) + keep << old + keep;
    QTest::newRow("a mod set aside whose successor arrived goes")
        << under(u".vxinstall-a1b2c3/aside/"_s, old) + Files{{u"old/info.txt"_s, "new"}}
        << Files{{u"old/info.txt"_s, "new"}};
    QTest::newRow("a half unpacked archive and a half removed mod go")
        << under(u".vxinstall-x/unpacked/N/"_s, nightSky) + under(u".vxinstall-y/Gone/"_s, old) +
               keep
        << keep;
    QTest::newRow("a folder of the player's that only looks like ours stays")
        << under(u".vxinstal-x/"_s, old) + under(u"vxinstall-y/"_s, old)
        << under(u".vxinstal-x/"_s, old) + under(u"vxinstall-y/"_s, old);
}

void TestModInstall::cleansLeftovers()
{
    QFETCH(Files, left);
    QFETCH(Files, expected);

    TestDir dir;
    const QString game = dir.path();
    QVERIFY(writeTree(game + u"/VexilMods"_s, left));
    removeInstallLeftovers(game);
    QCOMPARE(readTree(game + u"/VexilMods"_s), expected);
}

void TestModInstall::removes_data()
{
    QTest::addColumn<QString>("mod");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Files>("expected");

    QTest::newRow("a mod goes whole") << u"NightSky"_s << false << QString() << keep;
    QTest::newRow("a name that is no folder")
        << u"Nope"_s << false << u"no mod folder named Nope is installed"_s
        << keep + under(u"NightSky/"_s, nightSky);
    QTest::newRow("a name that climbs out")
        << u"../VexilMods"_s << false << u"no mod folder named ../VexilMods is installed"_s
        << keep + under(u"NightSky/"_s, nightSky);
    QTest::newRow("a launch holds the game folder")
        << u"NightSky"_s << true
        << u"the game folder is in use by another launch (process %1 (tst_modinstall))"_s.arg(
               QCoreApplication::applicationPid())
        << keep + under(u"NightSky/"_s, nightSky);
}

void TestModInstall::removes()
{
    QFETCH(QString, mod);
    QFETCH(bool, locked);
    QFETCH(QString, text);
    QFETCH(Files, expected);

    TestDir dir;
    const QString game = dir.path();
    QVERIFY(writeTree(game + u"/VexilMods"_s, keep + under(u"NightSky/"_s, nightSky)));
    VxGameLock lock(game);
    if (locked)
        QCOMPARE(lock.tryLock(), VxGameLock::Result::Acquired);
    const VxInstallResult result = removeMod(game, mod);
    QCOMPARE(installProblemText(result), text);
    QCOMPARE(readTree(game + u"/VexilMods"_s), expected);
}

QTEST_GUILESS_MAIN(TestModInstall)
#include "tst_modinstall.moc"
