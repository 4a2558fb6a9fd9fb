#include "archivebuilder.h"
#include "base/feedback.h"
#include "base/gamelock.h"
#include "mods/modinstall.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <clocale>

using namespace Qt::StringLiterals;
using namespace vxtest;

namespace {

const Files nightSky = {{u"info.txt"_s, "name=Night Sky\n"}, {u"Art/Sky/sky.txt"_s, "dark\n"}};
const Files newSky = under(u"NightSky/"_s, nightSky);
const Files oldSky = {{u"NightSky/info.txt"_s, "name=Old\n"}, {u"NightSky/old.txt"_s, "old"}};
// Every game starts with this mod, which nothing may touch, and with folders of the player's that
// only look like our temporary ones.
const Files keep = {
    {u"Keep/info.txt"_s, "name=Keep\n"}, {u".vxinstal-x/a"_s, "a"}, {u"vxinstall-y/a"_s, "a"}};

ArchiveEntries smallMod(const QString &prefix)
{
    return {{prefix + u"info.txt"_s, "name=M\n"}, {prefix + u"a.txt"_s, "a"}};
}

const QString held =
    u"the game folder is in use by another launch (process %1, tst_modinstall)"_s.arg(
        QCoreApplication::applicationPid());

// Records what the install tells the person; cancels after the given number of steps.
struct Recorder : VxSilentFeedback
{
    int cancelAfter = -1;
    QStringList calls;
    int steps = 0;
    void begin(int count) override { calls.append(u"begin %1"_s.arg(count)); }
    void setTitle(const QString &title) override { calls.append(u"title "_s + title); }
    void setLabel(const QString &label) override { calls.append(u"label "_s + label); }
    void step() override { ++steps; }
    bool cancelled() override { return cancelAfter >= 0 && steps >= cancelAfter; }
    void end() override { calls.append(u"end"_s); }
};

} // namespace

// Installing and removing mods, in the core and through vxmod as a player runs it, down to a kill
// at any moment of an install, which must leave either the old mod or the new one, whole.
class TestModInstall : public QObject
{
    Q_OBJECT

private slots:
    void install_data();
    void install();
    void limitsAndProgress_data();
    void limitsAndProgress();
    void vxmod_data();
    void vxmod();
    void interrupted_data();
    void interrupted();
};

void TestModInstall::install_data()
{
    QTest::addColumn<QString>("archive"); // its suffix picks the format
    QTest::addColumn<ArchiveEntries>("entries");
    QTest::addColumn<Files>("installed"); // in VexilMods before, besides Keep; replaced
    QTest::addColumn<QString>("make");    // how the archive is made or spoilt
    QTest::addColumn<QString>("text");    // the refusal; ending in "(": only its start is known
    QTest::addColumn<Files>("expected");  // VexilMods afterwards, less Keep

    const auto row = [](const char *name, const QString &archive, const ArchiveEntries &entries,
                        const QString &text, const QString &make = {}) {
        QTest::newRow(name) << archive << entries << Files{} << make << text << Files{};
    };
    const auto ok = [](const char *name, const QString &archive, const Files &content,
                       const Files &expected, const Files &installed = {}) {
        QTest::newRow(name) << archive << entriesOf(content) << installed << QString() << QString()
                            << expected;
    };
    ok("zip wrapped in two folders installs only the folder holding info.txt", u"download.zip"_s,
       under(u"Download/"_s, newSky) + Files{{u"Download/readme.txt"_s, "read me"}}, newSky);
    ok("info.txt at the top names the mod after the archive less its suffixes, not its dots",
       u"Star.Field.tar.gz"_s, nightSky, under(u"Star.Field/"_s, nightSky));
    ok("zip with info.txt at its top and an empty folder keeps the folder", u"Flat.zip"_s,
       nightSky + Files{{u"Sound/Ambient/"_s, {}}},
       under(u"Flat/"_s, nightSky + Files{{u"Sound/Ambient/"_s, {}}}));
    ok("zip without info.txt installs its top folder, named after the archive inside",
       u"Cool Mod 1.2.zip"_s, {{u"Cool/Art/a.txt"_s, "a"}},
       under(u"Cool/"_s, {{u"Art/a.txt"_s, "a"}, {u"info.txt"_s, "name=Cool Mod 1.2\n"}}));
    ok("7z without info.txt and with several top entries becomes one mod", u"Loose.7z"_s,
       {{u"Art/a.txt"_s, "a"}, {u"Sound/b.wav"_s, "b"}},
       under(u"Loose/"_s,
             {{u"Art/a.txt"_s, "a"}, {u"Sound/b.wav"_s, "b"}, {u"info.txt"_s, "name=Loose\n"}}));
    ok("zip without info.txt whose one folder is a folder of the game's data", u"Loose.zip"_s,
       {{u"art/a.txt"_s, "a"}},
       under(u"Loose/"_s, {{u"art/a.txt"_s, "a"}, {u"info.txt"_s, "name=Loose\n"}}));
    ok("INFO.TXT in capitals lands as info.txt, the name the mod scan reads", u"m.zip"_s,
       {{u"Mod/INFO.TXT"_s, "name=Caps\n"}}, {{u"Mod/info.txt"_s, "name=Caps\n"}});
    const Files nearDevices{{u"M/info.txt"_s, "name=M\n"},
                            {u"M/COM0.wav"_s, "c"},
                            {u"M/lpt10"_s, "l"},
                            {u"M/Coma.txt"_s, "m"},
                            {u"M/nul1"_s, "n"}};
    ok("names only like a device's install", u"m.zip"_s, nearDevices, nearDevices);
    ok("replace leaves none of the old mod's files", u"n.7z"_s, newSky, newSky, oldSky);
    ok("replace of a mod spelled in another case takes the archive's spelling", u"n.zip"_s, newSky,
       newSky, {{u"nightsky/info.txt"_s, "name=Old\n"}});

    const ArchiveEntries mod = smallMod(u"M/"_s);
    const auto with = [&](const QStringList &paths, const QByteArray &data = "x") {
        ArchiveEntries entries = mod;
        for (const QString &path : paths)
            entries.append({path, data});
        return entries;
    };
    // A good mod with one more entry, which the text names.
    const auto bad = [&](const char *name, const QString &archive, const QString &path,
                         const QString &text) { row(name, archive, with({path}), text.arg(path)); };
    const QString zip = u"m.zip"_s, sevenZip = u"m.7z"_s, tar = u"m.tar"_s;
    const QString outside = u"the entry %1 would be written outside the mod's folder"_s;
    const QString link =
        u"the entry %1 is a link or a special file; a mod holds only files and folders"_s;
    const QString windows = u"the name %1 cannot be used on Windows"_s;
    const QString damaged = u"the archive is damaged, truncated or of an unknown kind ("_s;
    const ArchiveEntries noisy = with({u"M/n.bin"_s}, noise(1 << 16));

    bad("a .. entry climbs out of the mod folder", zip, u"M/../../evil.txt"_s, outside);
    bad("an absolute entry", tar, u"/tmp/evil.txt"_s, outside);
    bad("a drive letter", zip, u"C:/evil.txt"_s, outside);
    bad("a backslash would climb out on Windows", tar, u"M\\..\\evil.txt"_s, outside);
    row("a symbolic link", tar, with({u"M/etc"_s}, "->/etc"), link.arg(u"M/etc"_s));
    row("a hard link", tar, with({u"M/b.txt"_s}, "=>M/a.txt"), link.arg(u"M/b.txt"_s));
    bad("the device name CON", zip, u"M/CON"_s, windows);
    bad("a numbered device name in lower case", zip, u"M/lpt1.wav"_s, windows);
    bad("a trailing dot", zip, u"M/readme."_s, windows);
    bad("a folder with a trailing space", zip, u"M/Art /a.txt"_s, windows);
    bad("a question mark", sevenZip, u"M/what?.txt"_s, windows);
    row("two files differing only in case", zip, with({u"M/Readme.txt"_s, u"M/README.txt"_s}),
        u"the names M/Readme.txt and M/README.txt differ only in upper and lower case"_s);
    row("two files differing only in case in a folder", zip,
        with({u"M/Art/a.txt"_s, u"M/Art/A.txt"_s}),
        u"the names M/Art/a.txt and M/Art/A.txt differ only in upper and lower case"_s);
    row("two folders differing only in case", sevenZip, with({u"M/Art/a"_s, u"M/ART/b"_s}),
        u"the names M/Art and M/ART differ only in upper and lower case"_s);
    row("the same file twice", zip, with({u"M/b.txt"_s, u"M/b.txt"_s}),
        u"the entry M/b.txt appears more than once"_s);
    row("a file and a folder of one name", zip, with({u"M/x"_s, u"M/x/y.txt"_s}),
        u"the entry M/x appears more than once"_s);
    row("info.txt at the top and in a subfolder", sevenZip, smallMod({}) + smallMod(u"Sub/"_s),
        u"the archive holds more than one mod: there is an info.txt in / and in Sub"_s);
    row("folders and no file", zip, {{u"M/"_s, {}}}, u"the archive holds no files"_s);
    // However well it packs, up to 32 MiB in all is no bomb.
    const Files dense{{u"M/info.txt"_s, "name=M\n"},
                      {u"M/zeros.bin"_s, QByteArray((32 << 20) - 7, 0)}};
    ok("32 MiB of zeros in all installs", zip, dense, dense);
    row("a byte past 32 MiB of zeros is a bomb", zip, entriesOf(dense + Files{{u"M/z"_s, "z"}}),
        u"the archive unpacks to more than 100 times its own size, as no mod does"_s);
    // 50,000 files and folders at most (installing that many takes long; the limit's edge is
    // measured at a small one in limitsAndProgress): M, info.txt and 49,999 folders are more.
    Files crowd = under(u"M/"_s, Files{{u"info.txt"_s, "name=M\n"}});
    for (int i = 0; i < 49999; ++i)
        crowd.insert(u"M/%1/"_s.arg(i), {});
    row("50,001 files and folders", tar, entriesOf(crowd),
        u"the archive holds more than 50000 files and folders"_s);
    row("a zip with a password", zip, mod, u"the archive is protected by a password"_s,
        u"password"_s);
    row("a zip cut in half", zip, noisy, damaged, u"truncate"_s);
    row("a zip whose data is damaged past its first file", zip,
        with({u"M/z.txt"_s}, QByteArray(1 << 16, 'z') + noise(1 << 16)), damaged, u"corrupt"_s);
    row("a 7z whose data is damaged past its first file", sevenZip,
        with({u"M/z.txt"_s}, QByteArray(1 << 16, 'z') + noise(1 << 16)), damaged, u"corrupt"_s);
    row("a text file named .zip", zip, mod, damaged, u"text"_s);
    row("an installed mod of the same name in another case", zip, smallMod(u"keep/"_s),
        u"a mod named Keep is already installed"_s);
    row("an archive named after a device", u"CON.zip"_s, smallMod({}),
        u"CON cannot be the name of a mod folder"_s);
    row("an archive whose name hides the folder", u".hidden.zip"_s, smallMod({}),
        u".hidden cannot be the name of a mod folder"_s);
    row("a launch holds the game folder", zip, mod, held, u"locked"_s);

    // Names at and one past what any mod needs: 1,024 characters, 255 bytes a name, 64 levels.
    const QString folders = u"M/"_s + (QString(100, u'd') + u'/').repeated(9); // 911 characters
    const auto installs = [&](const char *name, const QString &archive, const QString &path) {
        const Files content = {{u"M/info.txt"_s, "name=M\n"}, {path, "x"}};
        ok(name, archive, content, content);
    };
    installs("a path of 1,024 characters", tar, folders + QString(109, u'f') + u".txt"_s);
    const Files withEmpty{{u"M/info.txt"_s, "name=M\n"}, {u"M/Sound/silence.wav"_s, ""}};
    ok("an empty file announces no size to refuse, and installs empty", zip, withEmpty, withEmpty);
    // The archive library's Windows build cannot write 7z's UTF-16 names beyond ASCII, so
    // this test cannot make the archive there; reading them is the fixture row's.
#ifndef Q_OS_WIN
    installs("a name of 255 bytes in 128 characters", sevenZip,
             u"M/"_s + QString(127, u'é') + u'f');
#endif
    installs("a file 64 levels deep", zip, u"M/"_s + u"d/"_s.repeated(62) + u"f.txt"_s);
    row("a path of 1,025 characters", tar, with({folders + QString(110, u'f') + u".txt"_s}),
        u"the name of the entry M/"_s + QString(58, u'd') + u'…' + QString(36, u'f') +
            u".txt is longer than 1024 characters"_s);
    // Names with characters beyond the first 65,536, made by Python's zipfile (the archive
    // library's Windows build cannot write them): installed as they are on Windows too, and
    // shortened for a message without cutting such a character, two UTF-16 units, in half.
    QTest::newRow("a name beyond the BMP installs as it is")
        << zip << ArchiveEntries{} << Files{} << u"fixture emoji.zip"_s << QString()
        << Files{{u"M/info.txt"_s, "name=Emoji\n"}, {u"M/Lune \U0001F319.txt"_s, "nuit"}};
    row("a path of 1,035 characters with an emoji across the cut", zip, {},
        u"the name of the entry M/"_s + QString(57, u'd') + u'…' + QString(36, u'f') +
            u".txt is longer than 1024 characters"_s,
        u"fixture emoji-cut.zip"_s);
    row("a name of 256 bytes, two of them ASCII", zip,
        with({u"M/"_s + QString(127, u'é') + u"ff"_s}),
        u"the entry M/"_s + QString(58, u'é') + u'…' + QString(38, u'é') +
            u"ff holds a folder or file name longer than 255 bytes"_s);
    // The 4 GiB in all at its value, as the headers declare it: no byte of it need be written.
    // M/info.txt and M/a.txt come first with 8 bytes; M/big.bin declares the rest, in octal.
    row("4 GiB in all and one byte more", tar, with({u"M/big.bin"_s}),
        u"the archive unpacks to more than 4096 MB"_s, u"tar size 37777777771"_s);
    row("exactly 4 GiB in all is refused only by the ratio", tar, with({u"M/big.bin"_s}),
        u"the archive unpacks to more than 100 times its own size, as no mod does"_s,
        u"tar size 37777777770"_s);
    // A 7z made by 7-Zip itself, its names in UTF-16 as the format has them: installed with
    // its names on Windows too.
    QTest::newRow("a 7z with names beyond ASCII")
        << sevenZip << ArchiveEntries{} << Files{} << u"fixture beyond-ascii.7z"_s << QString()
        << Files{{u"M/info.txt"_s, "name=Ciel\n"}, {u"M/Ciel étoilé.txt"_s, "nuit"}};
    // Made by 7-Zip with its names encrypted too (-mhe=on): not one entry can be read.
    row("a 7z whose names are locked by a password", sevenZip, {},
        u"the archive is protected by a password"_s, u"fixture locked.7z"_s);
    // Made by GNU tar --sparse: the 64 KiB hole before "end" comes as a gap between blocks.
    QTest::newRow("a sparse file unpacks with its hole as zeros")
        << tar << ArchiveEntries{} << Files{} << u"fixture sparse.tar"_s << QString()
        << Files{{u"M/info.txt"_s, "name=Sparse\n"}, {u"M/s.bin"_s, QByteArray(1 << 16, 0) + "end"}};
    row("a file 65 levels deep", zip, with({u"M/"_s + u"d/"_s.repeated(63) + u"f.txt"_s}),
        u"the entry M/"_s + u"d/"_s.repeated(29) + u"…/"_s + u"d/"_s.repeated(17) +
            u"f.txt is nested more than 64 levels deep"_s);
    QTest::newRow("names beyond ASCII install whatever the locale")
        << zip << entriesOf(under(u"Ciel étoilé/"_s, nightSky)) << Files{} << u"C locale"_s
        << QString() << under(u"Ciel étoilé/"_s, nightSky);

    // One field damaged, as a bad disk or download leaves it; the make column says which.
    const QString damagedAt = u"the archive is damaged at the entry %1"_s;
    row("a zip whose directory points two entries at one header", zip, mod,
        damagedAt.arg(u"M/a.txt"_s), u"zip shared header"_s);
    row("a zip whose directory makes a file a folder", zip, mod, damagedAt.arg(u"M/a.txt/"_s),
        u"zip folder"_s);
    row("a zip whose directory makes an empty file a folder", zip, with({u"M/e.txt"_s}, {}),
        damagedAt.arg(u"M/e.txt/"_s), u"zip empty folder"_s);
    row("a zip whose local header gives another size than its directory", zip, mod,
        damagedAt.arg(u"M/a.txt"_s), u"zip local size"_s);
    row("a zip whose directory lists one file twice in place of another", zip, with({u"M/b.txt"_s}),
        damagedAt.arg(u"M/b.txt"_s), u"zip twice"_s);
    // Both of its headers say 1,000 bytes: only the bytes written can tell the bomb.
    row("a zip that declares far less than it unpacks to is stopped at its ratio", zip,
        with({u"M/z.bin"_s}, QByteArray(40 << 20, 0)),
        u"the archive unpacks to more than 100 times its own size, as no mod does"_s,
        u"zip under-declared"_s);
    row("a zip that declares less than it unpacks to, but no bomb, is damaged", zip,
        with({u"M/z.bin"_s}, noise(2000)), damaged, u"zip under-declared"_s);
    row("a tar whose record of a long name is damaged", tar,
        with({u"M/Art/"_s + QString(120, u'b') + u".txt"_s}),
        damagedAt.arg(u"M/Art/"_s + QString(54, u'b') + u'…' + QString(40, u'b')), u"pax length"_s);
    row("a tar.gz whose checksum does not match its data", u"m.tar.gz"_s, mod,
        u"the archive is damaged, truncated or of an unknown kind (System: gzip: "
        u"incorrect data check)"_s,
        u"gzip checksum"_s);
    row("a tar.gz whose recorded length does not match its data", u"m.tar.gz"_s, mod,
        u"the archive is damaged, truncated or of an unknown kind (System: gzip: "
        u"incorrect length check)"_s,
        u"gzip length"_s);
}

void TestModInstall::install()
{
    QFETCH(QString, archive);
    QFETCH(ArchiveEntries, entries);
    QFETCH(Files, installed);
    QFETCH(QString, make);
    QFETCH(QString, text);
    QFETCH(Files, expected);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    const QString mods = game + u"/VexilMods"_s;
    const QString path = dir.filePath(archive);
    QVERIFY(writeTree(mods, keep + installed) && writeTree(game, {{u"data/Art/x.txt"_s, "x"}}));
#ifdef Q_OS_WIN
    if (archive.startsWith(u"CON."_s))
        QSKIP("Windows cannot hold a file named after a device, so no such archive can come");
#endif
    if (make == u"password"_s && !writeArchive(path, entries, "secret"))
        QSKIP("this build's libarchive encrypts nothing");
    if (make.startsWith(u"fixture "_s))
        QVERIFY(QFile::copy(qEnvironmentVariable("VX_TEST_DATA") + u'/' + make.mid(8), path));
    else
        QVERIFY(make == u"text"_s ? writeTree(dir.path(), {{archive, "name=M\nnot an archive\n"}})
                                  : make == u"password"_s || writeArchive(path, entries));
    // The archive damaged as the make column says, in one field where one is named.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // A zip's local header holds the first copy of a name, its central directory the second.
    const char *const name = make == u"zip empty folder"_s     ? "M/e.txt"
                             : make == u"zip under-declared"_s ? "M/z.bin"
                                                               : "M/a.txt";
    const qsizetype local = bytes.indexOf(name), central = bytes.indexOf(name, local + 1);
    if (make == u"truncate"_s) {
        bytes.truncate(bytes.size() / 2);
    } else if (make == u"corrupt"_s) {
        // Halfway through the file: in the noise, past the run of z's that packs to a few bytes.
        bytes.replace(bytes.size() / 2, 64, QByteArray(64, '\x55'));
    } else if (make.startsWith(u"gzip "_s)) {
        // The trailer: the CRC-32 of the data, then its length.
        bytes[bytes.size() - (make == u"gzip checksum"_s ? 8 : 4)] ^= 1;
    } else if (make == u"pax length"_s) {
        // "144 path=..." becomes "145 path=...", one byte longer than the record.
        const qsizetype record = bytes.indexOf(" path=");
        QVERIFY(record > 0);
        ++bytes[record - 1];
    } else if (make.startsWith(u"zip "_s)) {
        QVERIFY(local >= 30 && central >= 46);
        char *const entry = bytes.data() + central - 46;
        if (make == u"zip shared header"_s) {
            qToLittleEndian<quint32>(0, entry + 42); // M/info.txt's header
        } else if (make == u"zip folder"_s || make == u"zip empty folder"_s) {
            qToLittleEndian<quint16>(040755, entry + 40); // the Unix mode
        } else if (make == u"zip under-declared"_s) {
            qToLittleEndian<quint32>(1000, entry + 24);
            qToLittleEndian<quint32>(1000, bytes.data() + local - 30 + 22);
        } else if (make == u"zip twice"_s) {
            // M/b.txt's record names M/a.txt and points at its header.
            const qsizetype other = bytes.indexOf("M/b.txt", central);
            QVERIFY(other > central);
            bytes[other + 2] = 'a';
            qToLittleEndian<quint32>(quint32(local - 30), bytes.data() + other - 46 + 42);
        } else {
            qToLittleEndian<quint32>(2, bytes.data() + local - 30 + 22); // the local size
        }
    } else if (make.startsWith(u"tar size "_s)) {
        // The ustar header of M/big.bin: its size in octal at 124, its checksum at 148.
        const qsizetype at = bytes.indexOf("M/big.bin");
        QVERIFY(at >= 0 && at % 512 == 0);
        bytes.replace(at + 124, 11, make.mid(9).toLatin1());
        bytes.replace(at + 148, 8, QByteArray(8, ' '));
        int sum = 0;
        for (int i = 0; i < 512; ++i)
            sum += uchar(bytes.at(at + i));
        bytes.replace(at + 148, 7, QByteArray::number(sum, 8).rightJustified(6, '0') + '\0');
    }
    QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    file.close();
#ifdef Q_OS_UNIX
    // Names beyond ASCII, in a locale that has none.
    const QByteArray locale = setlocale(LC_ALL, nullptr);
    if (make == u"C locale"_s)
        setlocale(LC_ALL, "C");
    const auto restoreLocale = qScopeGuard([&locale] { setlocale(LC_ALL, locale.constData()); });
#endif
    VxGameLock lock(game);
    if (make == u"locked"_s)
        QCOMPARE(lock.tryLock(), VxGameLock::Result::Acquired);

    VxSilentFeedback feedback;
#ifdef Q_OS_UNIX
    const locale_t threadLocale = uselocale(locale_t(nullptr));
#endif
    const VxInstallResult result = installModArchive(game, path, feedback, !installed.isEmpty());
#ifdef Q_OS_UNIX
    // The install reads names as UTF-8 on this thread, and only while it reads.
    QCOMPARE(uselocale(locale_t(nullptr)), threadLocale);
#endif
    QString shown = installProblemText(result);
#ifdef Q_OS_WIN
    // Windows reads a backslash in an entry's name as the separator it is there.
    if (text.contains(u'\\'))
        shown.replace(u'/', u'\\');
#endif
    // The system's words, whatever they are, end the one line the refusal is.
    if (text.endsWith(u'('))
        QVERIFY2(shown.startsWith(text) && shown.size() > text.size() + 1 &&
                     shown.endsWith(u')') && !shown.contains(u'\n'),
                 qPrintable(shown));
    else
        QCOMPARE(shown, text);
    Files after = readTree(mods);
#ifdef Q_OS_WIN
    // Wine takes a rename that changes only the case for done and keeps the old spelling;
    // the scan there reads either.
    if (after.contains(u"Mod/INFO.TXT"_s))
        after.insert(u"Mod/info.txt"_s, after.take(u"Mod/INFO.TXT"_s));
#endif
    // Nothing of a refused archive is left, not even a temporary folder.
    QCOMPARE(after, keep + expected);
    QCOMPARE(result.replaced, text.isEmpty() && !installed.isEmpty());
}

// An archive of M/info.txt, M/a.txt and files of noise, each 2 MiB with those two, measured against
// the limits by an installer that shows its progress and may be cancelled.
void TestModInstall::limitsAndProgress_data()
{
    QTest::addColumn<int>("maxEntries");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<int>("cancelAfter");
    QTest::addColumn<QString>("text");
    // The steps announced, for five files of noise, or none for one; all are made unless cancelled.
    QTest::addColumn<int>("begin");

    const qint64 mib = 1 << 20, all = qint64(4) << 30;
    // The folder M counts with the three files in it.
    QTest::newRow("exactly at both limits, a small archive shows no progress")
        << 4 << 2 * mib << -1 << QString() << 0;
    QTest::newRow("one entry past the limit, counting the folder the archive lists only in names")
        << 3 << 2 * mib << -1 << u"the archive holds more than 3 files and folders"_s << 0;
    QTest::newRow("one byte past the limit")
        << 4 << 2 * mib - 1 << -1 << u"the archive unpacks to more than 1 MB"_s << 0;
    QTest::newRow("a large archive steps to the end") << 9 << all << -1 << QString() << 100;
    QTest::newRow("a large archive cancelled halfway leaves nothing")
        << 9 << all << 40 << u"the install was cancelled"_s << 100;
}

void TestModInstall::limitsAndProgress()
{
    QFETCH(int, maxEntries);
    QFETCH(qint64, maxBytes);
    QFETCH(int, cancelAfter);
    QFETCH(QString, text);
    QFETCH(int, begin);

    TestDir dir;
    const QString path = dir.filePath(u"m.zip"_s);
    Files mod = {{u"M/info.txt"_s, "name=M\n"}, {u"M/a.txt"_s, "a"}};
    for (int i = 0; i < (begin ? 5 : 1); ++i)
        mod.insert(u"M/n%1.bin"_s.arg(i), noise((2 << 20) - 8));
    QVERIFY(writeArchive(path, entriesOf(mod)));
    VxInstallLimits limits;
    limits.maxEntries = maxEntries;
    limits.maxUnpackedBytes = maxBytes;
    Recorder feedback;
    feedback.cancelAfter = cancelAfter;
    const VxInstallResult result = installModArchive(dir.path(), path, feedback, false, limits);
    QCOMPARE(installProblemText(result), text);
    QCOMPARE(feedback.calls, (QStringList{u"begin %1"_s.arg(begin), u"title Installing mods"_s,
                                          u"label m.zip"_s, u"end"_s}));
    // A cancel takes effect at the end of the entry being written.
    QVERIFY2(cancelAfter < 0 ? feedback.steps == begin
                             : feedback.steps >= cancelAfter && feedback.steps < begin,
             qPrintable(QString::number(feedback.steps)));
    QCOMPARE(readTree(dir.filePath(u"VexilMods"_s)), text.isEmpty() ? mod : Files{});
}

void TestModInstall::vxmod_data()
{
    QTest::addColumn<QStringList>("args"); // GAME and DIR stand for the game and test folders
    // What is there first besides oldSky: "locked" (by this test), "links out" (temporary
    // folders of ours that are links, or hold one, to DIR/outside), "cut replace" (the old mod
    // set aside by a replace killed before its second rename).
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // standard output, then standard error
    QTest::addColumn<Files>("mods");     // VexilMods afterwards

    const auto row = [](const char *name, const QString &args, const char *before, int exitCode,
                        const QString &output, const Files &mods = oldSky) {
        QTest::newRow(name) << args.split(u' ') << QString::fromLatin1(before) << exitCode << output
                            << mods;
    };
    row("an installed mod is refused without --replace, the next archives go on",
        u"install --game GAME DIR/Old.zip DIR/Star.zip DIR/Loose.7z"_s, "", 1,
        u"installed StarField from Star.zip\ninstalled Loose from Loose.7z\n"
        u"vxmod: cannot install Old.zip: a mod named NightSky is already installed\n"
        u"vxmod: Loose.7z has no info.txt; wrote one with name=Loose\n"_s,
        oldSky + Files{{u"StarField/info.txt"_s, "name=Stars\n"},
                       {u"Loose/info.txt"_s, "name=Loose\n"},
                       {u"Loose/a.txt"_s, "a"}});
    row("--replace swaps the mod", u"install --replace --game GAME DIR/NightSky.zip"_s, "", 0,
        u"replaced NightSky from NightSky.zip\n"_s, newSky);
    row("an install while a launch holds the game folder stops at the first archive",
        u"install --game GAME DIR/Loose.7z DIR/Star.zip"_s, "locked", 2,
        u"vxmod: cannot install Loose.7z: "_s + held + u'\n');
    row("an archive that is not there stops before anything is installed",
        u"install --game GAME DIR/Loose.7z DIR/No.zip"_s, "", 2,
        u"vxmod: no archive DIR/No.zip\n"_s);
    row("a mod is removed", u"remove --game GAME NightSky"_s, "", 0, u"removed NightSky\n"_s, {});
    row("an unknown mod is a usage error, found before any removal",
        u"remove --game GAME NightSky Nope"_s, "", 2,
        u"vxmod: unknown mod 'Nope': no such folder in GAME/VexilMods\n"_s);
    row("a removal while a launch holds the game folder", u"remove --game GAME NightSky"_s,
        "locked", 2, u"vxmod: cannot remove NightSky: "_s + held + u'\n');
    row("remove of an empty name is a usage error", u"remove --game GAME "_s, "", 2,
        u"vxmod: unknown mod '': no such folder in GAME/VexilMods\n"_s);
    row("-q and --quiet are taken", u"remove -q --game GAME NightSky"_s, "", 0,
        u"removed NightSky\n"_s, {});
    row("a temporary folder that is a link, or holds one, is never followed",
        u"install --quiet --game GAME DIR/Star.zip"_s, "links out", 0,
        u"installed StarField from Star.zip\n"_s,
        oldSky + Files{{u"StarField/info.txt"_s, "name=Stars\n"}});
    row("a link among the mods set aside is never taken for one", u"list --game GAME"_s,
        "links out", 0, u"NightSky\tOld\t\tN/A\n"_s);
    row("a mod set aside by a replace cut short is back before it is listed", u"list --game GAME"_s,
        "cut replace", 0, u"NightSky\tOld\t\tN/A\n"_s);
    // The mods folder is made immutable after the cut: the old mod cannot go back, and must not
    // go with the rest of the leftover.
    Files keptAside;
    for (auto it = oldSky.cbegin(); it != oldSky.cend(); ++it)
        keptAside.insert(u".vxinstall-c/aside/"_s + it.key(), it.value());
    row("a mod set aside that cannot be put back stays aside for the next start",
        u"list --game GAME"_s, "cut replace, frozen", 0, QString(), keptAside);
}

void TestModInstall::vxmod()
{
    QFETCH(QStringList, args);
    QFETCH(QString, before);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(Files, mods);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    const QString outside = dir.filePath(u"outside"_s);
    const Files theirs{{u"Theirs/info.txt"_s, "name=Theirs\n"}};
    QVERIFY(writeTree(game + u"/VexilMods"_s, oldSky) && QDir().mkpath(game + u"/data"_s) &&
            writeTree(outside, theirs));
    if (before == u"links out"_s) {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shortcut here, which no folder listing follows");
#endif
        const QString aside = game + u"/VexilMods/.vxinstall-b/aside"_s;
        // A mod "set aside" that is a link: a leftover of ours holds folders only.
        const QString setAside = game + u"/VexilMods/.vxinstall-d/aside/Theirs"_s;
        if (!QFile::link(outside, game + u"/VexilMods/.vxinstall-a"_s) ||
            !QDir().mkpath(QFileInfo(aside).path()) || !QFile::link(outside, aside) ||
            !QFileInfo(aside).isDir() || !QDir().mkpath(QFileInfo(setAside).path()) ||
            !QFile::link(outside + u"/Theirs"_s, setAside))
            QSKIP("this system cannot link to a folder");
    } else if (before.startsWith(u"cut replace"_s)) {
        QVERIFY(QDir().mkpath(game + u"/VexilMods/.vxinstall-c/aside"_s) &&
                QDir().rename(game + u"/VexilMods/NightSky"_s,
                              game + u"/VexilMods/.vxinstall-c/aside/NightSky"_s) &&
                writeTree(game + u"/VexilMods/.vxinstall-c/unpacked"_s, newSky));
    }
    const QStringList frozen{u"chattr"_s, game + u"/VexilMods"_s};
    if (before.endsWith(u"frozen"_s) &&
        QProcess::execute(frozen.first(), {u"+i"_s, frozen.last()}) != 0)
        QSKIP("chattr cannot make a folder immutable here");
    const auto thaw = qScopeGuard([&] {
        if (before.endsWith(u"frozen"_s))
            QProcess::execute(frozen.first(), {u"-i"_s, frozen.last()});
    });
    QVERIFY(writeArchive(dir.filePath(u"NightSky.zip"_s), entriesOf(newSky)));
    QVERIFY(writeArchive(dir.filePath(u"Old.zip"_s), entriesOf(oldSky)));
    QVERIFY(writeArchive(dir.filePath(u"Star.zip"_s), {{u"StarField/info.txt"_s, "name=Stars\n"}}));
    QVERIFY(writeArchive(dir.filePath(u"Loose.7z"_s), {{u"a.txt"_s, "a"}}));
    VxGameLock lock(game);
    if (before == u"locked"_s)
        QCOMPARE(lock.tryLock(), VxGameLock::Result::Acquired);
    args.replaceInStrings(u"GAME"_s, game).replaceInStrings(u"DIR"_s, dir.path());

    const Run result = runVxmod(args);
    // The folders, and paths below them, as the platform shows them.
    const QString expected = QString(output)
                                 .replace(u"GAME/"_s, QDir::toNativeSeparators(game + u'/'))
                                 .replace(u"DIR/"_s, QDir::toNativeSeparators(dir.path() + u'/'));
    QCOMPARE(result.out + result.err, expected);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(readTree(game + u"/VexilMods"_s), mods);
    QCOMPARE(readTree(outside), theirs);
    if (before.endsWith(u"frozen"_s)) {
        // Thawed, the next start puts it back.
        QCOMPARE(QProcess::execute(frozen.first(), {u"-i"_s, frozen.last()}), 0);
        QCOMPARE(runVxmod(args).out, u"NightSky\tOld\t\tN/A\n"_s);
        QCOMPARE(readTree(game + u"/VexilMods"_s), oldSky);
    }
}

void TestModInstall::interrupted_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("bigFiles"); // none: stopped after each step in turn
    QTest::addColumn<bool>("failing"); // each step fails in turn instead, as on a full disk
    QTest::newRow("a fresh install stopped after each step") << false << 0 << false;
    QTest::newRow("a replacing install stopped after each step") << true << 0 << false;
    QTest::newRow("a replacing install whose each step fails in turn") << true << 0 << true;
    QTest::newRow("a replacing install of 24 MiB killed at random moments") << true << 24 << false;
}

// An install cut short anywhere leaves the old mod or the new one, whole, and the next start clears
// the rest away.
void TestModInstall::interrupted()
{
    QFETCH(bool, replace);
    QFETCH(int, bigFiles);
    QFETCH(bool, failing);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    const QString mods = game + u"/VexilMods"_s;
    const QString archive = dir.filePath(u"NightSky.zip"_s);
    Files after = newSky;
    for (int i = 0; i < bigFiles; ++i)
        after.insert(u"NightSky/Art/n%1.bin"_s.arg(i), noise(1 << 20));
    QVERIFY(writeArchive(archive, entriesOf(after)));
    const Files before = replace ? oldSky : keep;
    after = replace ? after : before + after;
    const QStringList args = QStringList{u"install"_s, u"--game"_s, game, archive} +
                             (replace ? QStringList{u"--replace"_s} : QStringList{});
    // Set VX_TEST_SEED to replay a failure.
    const quint32 seed = qEnvironmentVariableIsSet("VX_TEST_SEED")
                             ? quint32(qEnvironmentVariableIntValue("VX_TEST_SEED"))
                             : QRandomGenerator::global()->bounded(1u << 30);
    QRandomGenerator random(seed);
    qInfo("VX_TEST_SEED=%u", seed);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(writeTree(mods, before) && runVxmod(args).exitCode == 0 && readTree(mods) == after);
    const int duration = int(timer.elapsed());

    // Each file written and each rename is one step; stepping ends with the first run that gets to
    // its end.
    int cutWhileUnpacking = 0;
    // Kills land at random in [low, high] ms. Past the 16th round, until one has cut the
    // unpacking short, the window closes in on it: a busy machine's install may take far more
    // or far less than the first one measured.
    int low = 0, high = duration;
    for (int round = 1; round <= 16 || !bigFiles || (cutWhileUnpacking == 0 && round <= 64);
         ++round) {
        QVERIFY2(bigFiles || round < 20, "the install never got to its end");
        QDir(mods).removeRecursively();
        QVERIFY(writeTree(mods, before));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!bigFiles)
            env.insert(failing ? u"VX_FAIL_OPERATION"_s : u"VX_FAULT_AFTER_OPS"_s,
                       QString::number(round));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("VX_VXMOD"), args);
        const int killAt = low + int(random.bounded(quint32(high - low + 1)));
        if (bigFiles) {
            QThread::msleep(killAt);
            process.kill();
        }
        QVERIFY(waitForExit(process));
        const bool done = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        QVERIFY(bigFiles || done || process.exitCode() == (failing ? 1 : 99));
        // Between the two renames of a replace the old mod is set aside, whole, and the new one is
        // complete: the next start puts the old one back.
        Files seen = readTree(mods);
        const qsizetype all = seen.size();
        seen.removeIf([](Files::iterator it) { return it.key().startsWith(u".vxinstall-"_s); });
        // A failed install has put everything back, and left nothing, before it ends.
        QVERIFY2(seen == before || seen == after || (replace && !failing && seen.isEmpty()),
                 qPrintable(u"a half mod in round %1: "_s.arg(round) + seen.keys().join(u' ')));
        QVERIFY(!failing || all == seen.size());
        cutWhileUnpacking += all > seen.size();
        if (bigFiles && cutWhileUnpacking == 0 && round >= 16) {
            if (done)
                high = std::max(low, killAt); // finished first: kill sooner
            else if (seen == before)
                low = std::min(high, killAt); // nothing begun: kill later
        }
        removeInstallLeftovers(game);
        const Files next = readTree(mods);
        QVERIFY2(next == before || next == after,
                 qPrintable(u"after round %1: "_s.arg(round) + next.keys().join(u' ')));
        if (!bigFiles && done) {
            QCOMPARE(next, after);
            break;
        }
    }
    QVERIFY2(!bigFiles || cutWhileUnpacking > 0, "no install was cut short while unpacking");
}

QTEST_GUILESS_MAIN(TestModInstall)
#include "tst_modinstall.moc"
