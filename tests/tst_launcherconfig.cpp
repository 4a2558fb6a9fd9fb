#include "base/gamelock.h"
#include "launch/gamelookup.h"
#include "testutil.h"
#include "texts/launchertexts.h"
#include "texts/stringtable.h"
#include "ui/displaymodes.h"
#include "ui/launcherconfig.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QSize>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

namespace {

// Every entry of the game's table, ids 0 to 23 split at '|', in English, French and Spanish, as
// the game shows them.
const char *const entries[3] = {
    "en|Vexil 4: Brask! Mod Launcher|Resolution|Refresh Rate|Play|No Movies|No Sounds|"
    "Automate Ports Settings (XP only)|Allow Screenshots|Allow Manual Camera (M)|Telnet|Mods|"
    "Check for Updates|Cancel|Author : |Description : |Error!|"
    "Could not find Vexil 4: Brask directory. Try reinstalling the game.|"
    "Loading resource objects|Loading |Could not load objects data from |Initializing |"
    "Loading custom files |The game has not been closed properly. Do you wish to see the log?",
    "fr|Lanceur de mods Vexil 4: Brask!|Résolution|Rafraîchissement|Jouer|"
    "Pas de cinématiques|Pas de son|Réglage automatique des ports|Autoriser captures d'écran|"
    "Autoriser caméra manuelle (M)|Telnet|Mods|Vérifier les mises à jour|Annuler|Auteur : |"
    "Description : |Erreur !|"
    "Impossible de localiser Vexil 4: Brask. Essayez de réinstaller le jeu.|"
    "Chargement des ressources|Chargement de |Impossible de charger les données depuis |"
    "Initialisation de |Chargement des fichiers personnalisés |"
    "Le jeu n'a pas été quitté correctement. Voulez vous voir le log ?",
    "sp|Lanzador de mods de Vexil 4: Brask|Resolución|Frecuencia de actualización|Jugar|"
    "Sin vídeos|Sin sónidos|Automatizar puertos (solo XP)|"
    "Permitir capturas de pantalla|Permitir cámara manual (M)|Telnet|Mods|"
    "Buscar actualizaciones|Cancelar|Autor : |Descripción : |¡Error!|"
    "No se pudo encontrar el directorio de Vexil 4 Brask. Intenta reinstalar el juego.|"
    "Cargando recursos|Cargando |No se pudieron cargar los datos de los objetos de |"
    "Initializing |Loading custom files |"
    "The game has not been closed properly. Do you wish to see the log?",
};

// Runs write as an account without root's right to ignore permissions: 1 when it succeeds,
// 0 when it fails, -1 when there is no such account to be.
int asOrdinaryUser(const std::function<bool()> &write)
{
#ifndef Q_OS_WIN
    if (::geteuid() == 0) {
        const pid_t child = ::fork();
        // "nobody": no folder of the test belongs to it.
        if (child == 0)
            ::_exit(::setgid(65534) != 0 || ::setuid(65534) != 0 ? 2 : write() ? 1 : 0);
        int status = 0;
        const bool ended = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status);
        return ended && WEXITSTATUS(status) < 2 ? WEXITSTATUS(status) : -1;
    }
#endif
    return write() ? 1 : 0;
}

// The lists the dialog would show, "640x480:60Hz/75Hz 800x600:60Hz", or, given a saved size,
// the resolution and refresh texts that choice selects.
QString chosenTexts(const ModeList &modes, QSize saved = {}, int refresh = 0)
{
    const VxDisplayModeLists lists = mergeDisplayModes(modes);
    QStringList shown;
    for (int i = 0; i < lists.resolutions.size(); ++i)
        shown.append(lists.resolutions.at(i) + u':' + lists.refreshLists.at(i).join(u'/'));
    if (!saved.isValid())
        return shown.join(u' ');
    const VxDisplayChoice choice = chooseDisplayMode(lists, saved.width(), saved.height(), refresh);
    if (choice.resolution < 0)
        return QString();
    return lists.resolutions.at(choice.resolution) + u' ' +
           lists.refreshLists.at(choice.resolution).at(choice.refresh);
}

} // namespace

// What the launcher reads before it shows: where the game is, in which language, the saved
// settings and the display's modes.
class TestLauncherConfig : public QObject
{
    Q_OBJECT

private slots:
    void testEntries_data()
    {
        QTest::addColumn<QString>("language"); // the game's stored language value
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("expected"); // empty: no entry

        const char *const languages[3] = {"ENG", "FRE", "SPA"};
        for (int column = 0; column < 3; ++column) {
            const QStringList texts = QString::fromUtf8(entries[column]).split(u'|');
            // Ids outside the table, below it and at its terminator, have no entry.
            for (int id = -1; id <= 24; ++id)
                QTest::addRow("%s %d", languages[column], id)
                    << QString::fromLatin1(languages[column]) << id << texts.value(id);
        }
        QTest::newRow("missing value is english") << u"NONE"_s << 14 << u"Author : "_s;
        QTest::newRow("lower-case spa is not spanish") << u"spa"_s << 16 << u"Error!"_s;
    }

    void testEntries()
    {
        QFETCH(QString, language);
        QFETCH(int, id);
        QFETCH(QString, expected);

        loadStringTable(languageIndexFor(language));
        QCOMPARE(tableString(id), expected);
    }

    // The launcher's own texts as a player reads them: French print spacing, singular and
    // plural by each language's rule, one word for each thing, the system's words marked.
    void testTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("text");  // a VxText
        QTest::addColumn<int>("count"); // -1: not a counted text
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, const char *language, VxText text, int count,
                            const QStringList &args, const QString &expected) {
            QTest::newRow(name) << QString::fromLatin1(language) << int(text) << count << args
                                << expected;
        };
        row("French: no-break space before a colon, thin ones inside quotes", "FRE",
            VxText::InstallWroteInfo, -1, {u"Sky.zip"_s, u"Sky"_s, u"Night Sky"_s},
            u"L'archive Sky.zip ne contient pas de fichier info.txt. Elle a \u00e9t\u00e9 "
            u"install\u00e9e en tant que mod Sky, avec un nouveau fichier info.txt qui lui donne "
            u"le "
            u"nom \u00ab\u202fNight Sky\u202f\u00bb."_s);
        row("French: thin space before ; and ?", "FRE", VxText::BackupsByNameQuestion, 2,
            {u"a.backup\nb.backup"_s},
            u"Le dossier du jeu contient 2 fichiers nomm\u00e9s comme les copies de sauvegarde "
            u"laiss\u00e9es par un ancien lanceur\u00a0:\na.backup\nb.backup\n\nRemettre chacun "
            u"d'eux \u00e0 la place du fichier dont il porte le nom\u202f?"_s);
        row("French: one file is singular", "FRE", VxText::BackupsByNameQuestion, 1,
            {u"a.backup"_s},
            u"Le dossier du jeu contient 1 fichier nomm\u00e9 comme les copies de sauvegarde "
            u"laiss\u00e9es par un ancien lanceur\u00a0:\na.backup\n\nLe remettre \u00e0 la "
            u"place du fichier dont il porte le nom\u202f?"_s);
        row("French: zero is singular", "FRE", VxText::AddedFilesRemoved, 0, {},
            u"0 fichier ajout\u00e9 supprim\u00e9"_s);
        row("English: zero is plural", "ENG", VxText::AddedFilesRemoved, 0, {},
            u"0 added files removed"_s);
        row("English: one is singular", "ENG", VxText::FilesPutBack, 1, {}, u"1 file put back"_s);
        row("English: eleven is plural", "ENG", VxText::ListMore, 11, {}, u"and 11 more"_s);
        row("Spanish: one is singular", "SPA", VxText::AddedFilesRemoved, 1, {},
            u"1 archivo a\u00f1adido eliminado"_s);
        row("Spanish: zero is plural", "SPA", VxText::FilesPutBack, 0, {},
            u"0 archivos restaurados"_s);
        row("Spanish: tu, and an archive is an archivo comprimido", "SPA",
            VxText::InstallReplaceQuestion, -1, {u"Keep"_s},
            u"Ya hay un mod instalado con el nombre Keep. \u00bfQuieres sustituirlo por el del "
            u"archivo comprimido?"_s);
        row("Spanish: an archive's entry is an entrada", "SPA", VxText::InstallDuplicate, -1,
            {u"a.txt"_s}, u"la entrada a.txt aparece m\u00e1s de una vez"_s);
        row("French: an archive's entry is an entree", "FRE", VxText::InstallUnsafePath, -1,
            {u"../a.txt"_s}, u"l'entr\u00e9e ../a.txt serait \u00e9crite hors du dossier du mod"_s);
        row("the holder of the game folder, in French", "FRE", VxText::LockHolderProgram, -1,
            {u"42"_s, u"vxmod"_s}, u"processus 42, vxmod"_s);
        row("the system's words marked, in Spanish", "SPA", VxText::SystemReason, -1,
            {u"Permission denied"_s}, u"Sistema: Permission denied"_s);
        row("the system's words marked, in French", "FRE", VxText::SystemReason, -1,
            {u"Permission denied"_s}, u"Syst\u00e8me\u00a0: Permission denied"_s);
        row("the mod list's keys, in French", "FRE", VxText::ModListToolTip, -1, {},
            u"Cochez les mods avec lesquels jouer (Espace coche le mod en cours). Ctrl+Haut et "
            u"Ctrl+Bas d\u00e9placent le mod en cours\u00a0: les mods sont appliqu\u00e9s de haut "
            u"en bas."_s);
    }

    void testTexts()
    {
        QFETCH(QString, language);
        QFETCH(int, text);
        QFETCH(int, count);
        QFETCH(QStringList, args);
        QFETCH(QString, expected);

        loadStringTable(languageIndexFor(language));
        QString shown = count < 0 ? launcherText(VxText(text)) : launcherText(VxText(text), count);
        for (const QString &arg : std::as_const(args))
            shown = shown.arg(arg);
        QCOMPARE(shown, expected);
    }

    // Why a game folder cannot be used, as the dialog says it: the launcher's words, in the
    // player's language, not the lock's English.
    void testLockReason()
    {
#ifdef Q_OS_WIN
        QSKIP("a read-only folder on Windows still takes new files");
#else
        vxtest::TestDir dir;
        const QFile::Permissions was = QFile::permissions(dir.path());
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
        const int said = asOrdinaryUser([&] {
            loadStringTable(languageIndexFor(u"FRE"_s));
            VxGameLock lock(dir.path());
            return lock.tryLock() == VxGameLock::Result::Failed &&
                   launcherText(VxText::FolderUnusable).arg(lock.errorString()) ==
                       u"Le lanceur ne peut pas utiliser le dossier du jeu\u00a0: le dossier du "
                       u"jeu n'est pas accessible en \u00e9criture"_s;
        });
        QFile::setPermissions(dir.path(), was);
        if (said < 0)
            QSKIP("no account without the right to write everywhere");
        QCOMPARE(said, 1);
#endif
    }

    // The places that keep the game's location point at fresh ones. Elsewhere than on Windows
    // they are the XDG config folders "user" (the person's own), "system1" and "system2", in that
    // order of precedence. On Windows they are the registry's two views (a private Wine prefix in
    // the Windows lane): the installer is a 32-bit program, so its key lands in the 32-bit view;
    // a key in the 64-bit view is found only when that one has no folder.
    void testLookup_data()
    {
        QTest::addColumn<QByteArray>("stores"); // user|system1|system2, or 32-bit|64-bit view
        QTest::addColumn<QString>("installDir");
        QTest::addColumn<QString>("language");

#ifdef Q_OS_WIN
        if (lookupGame().found())
            QSKIP("the game's registry key exists on this machine; the test would overwrite it");
        QTest::newRow("no key in either view reads NONE for both")
            << "|"_ba << u"NONE"_s << u"NONE"_s;
        QTest::newRow("the 32-bit view wins over the 64-bit one")
            << "InstallDir=C:\\Games\\Vexil\nLanguage=FRE|InstallDir=D:\\Other\nLanguage=SPA"_ba
            << u"C:/Games/Vexil"_s << u"FRE"_s;
        QTest::newRow("the 64-bit view when the 32-bit key has no folder")
            << "Language=FRE|InstallDir=D:\\Vexil\\\nLanguage=SPA"_ba << u"D:/Vexil"_s << u"SPA"_s;
        QTest::newRow("a game under Program Files (x86), non-ASCII letters kept")
            << "InstallDir=C:\\Program Files (x86)\\KESTWYN\\Vexil 4 Br\xC3\xA4sk|"_ba
            << u"C:/Program Files (x86)/KESTWYN/Vexil 4 Br\u00E4sk"_s << u"NONE"_s;
        QTest::newRow("an empty folder value reads NONE, not the drive's root")
            << "InstallDir=\nLanguage=SPA|"_ba << u"NONE"_s << u"SPA"_s;
#else
        QTest::newRow("no store anywhere reads NONE for both") << "||"_ba << u"NONE"_s << u"NONE"_s;
        QTest::newRow("user store wins over the system one")
            << "InstallDir=/home/me|InstallDir=/opt\nLanguage=SPA|"_ba << u"/home/me"_s
            << u"NONE"_s;
        QTest::newRow("the first system folder wins over the second, its language read")
            << "|InstallDir=/opt/first\nLanguage=SPA|InstallDir=/opt/second"_ba << u"/opt/first"_s
            << u"SPA"_s;
        QTest::newRow("empty folder value reads NONE, not the root")
            << "InstallDir=\nLanguage=FRE||"_ba << u"NONE"_s << u"FRE"_s;
        QTest::newRow("trailing separators are dropped")
            << "InstallDir=/games/vexil//||"_ba << u"/games/vexil"_s << u"NONE"_s;
        QTest::newRow("the root folder stays the root")
            << "InstallDir=/||"_ba << u"/"_s << u"NONE"_s;
        QTest::newRow("spaces, non-ASCII letters and a comma survive")
            << "InstallDir=/home/j\xC3\xBCrgen/Vexil 4,Gold||"_ba
            << u"/home/j\u00FCrgen/Vexil 4,Gold"_s << u"NONE"_s;
#endif
    }

    void testLookup()
    {
        QFETCH(QByteArray, stores);
        QFETCH(QString, installDir);
        QFETCH(QString, language);

        const QList<QByteArray> places = stores.split('|');
#ifdef Q_OS_WIN
        const QString parent = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\KESTWYN"_s;
        const QString game = u"Vexil 4 Brask"_s;
        const QSettings::Format formats[] = {QSettings::Registry32Format,
                                             QSettings::Registry64Format};
        for (int i = 0; i < 2; ++i) {
            QSettings(parent, formats[i]).remove(game);
            if (places.at(i).isEmpty())
                continue;
            QSettings key(parent + u'\\' + game, formats[i]);
            for (const QByteArray &line : places.at(i).split('\n'))
                key.setValue(QString::fromUtf8(line.first(line.indexOf('='))),
                             QString::fromUtf8(line.sliced(line.indexOf('=') + 1)));
            key.sync();
            if (key.status() == QSettings::AccessError)
                QSKIP("writing HKEY_LOCAL_MACHINE needs an administrator");
        }

        const VxGameLocation location = lookupGame();
        for (const QSettings::Format format : formats)
            QSettings(parent, format).remove(game);
#else
        vxtest::TestDir dir;
        const QStringList folders = {u"user"_s, u"system1"_s, u"system2"_s};
        for (int i = 0; i < folders.size(); ++i)
            QVERIFY(places.at(i).isEmpty() ||
                    vxtest::writeTree(dir.filePath(folders.at(i)),
                                      {{u"KESTWYN/Vexil 4 Brask.conf"_s, places.at(i)}}));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(u"user"_s)));
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(dir.filePath(u"system1"_s) + u':' + dir.filePath(u"system2"_s)));

        const VxGameLocation location = lookupGame();
#endif
        QCOMPARE(location.installDir, installDir);
        QCOMPARE(location.language, language);
    }

    void testRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected"); // the settings read, as the launcher writes them

        const QByteArray defaults = "/W:640 /H:480 /REFRESH:60 /ENABLEPORTFORWARDING";
        const QByteArray token = " /W:1024 /H:768 /REFRESH:85 ";
        QTest::newRow("tokens over lines, tabs and blanks, in any order")
            << " /TELNET\r\n\t/MANUALCAMERA /W:1024\n\n/H:768 \t /REFRESH:85 /NOSOUND\n"
               "/ALLOWSCREENSHOTS /NOMOVIES"_ba
            << "/W:1024 /H:768 /REFRESH:85 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
               "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET"_ba;
        QTest::newRow("lower-case, suffixed and NUL- or high-byte-glued words are ignored")
            << "/w:1024 /telnet /TELNETX /NOMOVIES2 /TELNET\0/NOSOUND \xff/MANUALCAMERA"_ba
            << defaults;
        // 70000 rather than 65536: cut to 16 bits it would not read as 0 by chance.
        QTest::newRow("numbers beyond 16 bits, negative or with letters read 0, 65535 is kept")
            << "/W:800 /W:65535 /H:-600 /H:70000 /REFRESH:0x3C"_ba
            << "/W:65535 /H:0 /REFRESH:0 /ENABLEPORTFORWARDING"_ba;
        QTest::newRow("a token inside the read limit counts, one after it is ignored")
            << QByteArray(launcherConfigReadLimit - 100, ' ') + token + QByteArray(100, ' ') +
                   "/TELNET"
            << "/W:1024 /H:768 /REFRESH:85 /ENABLEPORTFORWARDING"_ba;
    }

    void testRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);

        vxtest::TestDir dir;
        QVERIFY(vxtest::writeTree(dir.path(), {{u"launcher.cfg"_s, content}}));
        QCOMPARE(formatLauncherSettings(readLauncherSettings(dir.filePath(u"launcher.cfg"_s))),
                 expected);
    }

    void testWrite_data()
    {
        QTest::addColumn<QString>("inTheWay"); // what stands at launcher.cfg before
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("left"); // what the game folder holds after

        QTest::newRow("shorter line replaces a longer one completely")
            << u"file"_s << true << u"launcher.cfg"_s;
        QTest::newRow("the file is replaced, not written into: a hard link keeps the old bytes")
            << u"file, linked"_s << true << u"launcher.cfg old"_s;
        QTest::newRow("a folder in the way fails cleanly")
            << u"folder"_s << false << u"launcher.cfg/"_s;
        QTest::newRow("a missing game folder is not created")
            << u"no folder"_s << false << QString();
        QTest::newRow("a writable file in a read-only folder is written in place")
            << u"file, folder read-only"_s << true << u"launcher.cfg"_s;
        QTest::newRow("a read-only file in a read-only folder fails cleanly")
            << u"read-only file, folder read-only"_s << false << u"launcher.cfg"_s;
    }

    void testWrite()
    {
        QFETCH(QString, inTheWay);
        QFETCH(bool, written);
        QFETCH(QString, left);

        vxtest::TestDir dir;
        const QString path = dir.filePath(inTheWay == u"no folder"_s ? u"missing/launcher.cfg"_s
                                                                     : u"launcher.cfg"_s);
        const QByteArray old = "/W:1600 /H:1200 /REFRESH:85 /TELNET";
        if (inTheWay == u"folder"_s)
            QVERIFY(QDir().mkdir(path));
        else if (inTheWay.contains(u"file"_s))
            QVERIFY(vxtest::writeTree(dir.path(), {{u"launcher.cfg"_s, old}}));
        if (inTheWay.endsWith(u"linked"_s)) {
#ifdef Q_OS_WIN
            QSKIP("the hard link is made with POSIX link()");
#else
            QCOMPARE(::link(QFile::encodeName(path), QFile::encodeName(dir.filePath(u"old"_s))), 0);
#endif
        }
        // Port forwarding off is the one choice that reading can never give back.
        VxLauncherSettings settings;
        settings.noSounds = true;
        settings.portForwarding = false;
        if (inTheWay.endsWith(u"folder read-only"_s)) {
            const auto rx = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                            QFileDevice::ReadOther | QFileDevice::ExeOther;
            QVERIFY(QFile::setPermissions(
                path, inTheWay.startsWith(u"read-only"_s) ? rx : rx | QFileDevice::WriteOther));
            QVERIFY(QFile::setPermissions(dir.path(), rx));
            // Permissions hold for an ordinary account only.
            const int result =
                asOrdinaryUser([&] { return writeLauncherSettings(path, settings); });
            QVERIFY(QFile::setPermissions(dir.path(), rx | QFileDevice::WriteOwner));
            if (result < 0)
                QSKIP("no ordinary account to write as");
            QCOMPARE(result, int(written));
        } else {
            QString error;
            QCOMPARE(writeLauncherSettings(path, settings, &error), written);
            QCOMPARE(error.isEmpty(), written);
        }
        // Nothing but the file, or what stood in its way, is left in the game folder.
        const vxtest::Files after = vxtest::readTree(dir.path());
        QCOMPARE(after.keys().join(u' '), left);
        QCOMPARE(after.value(u"launcher.cfg"_s),
                 written ? "/W:640 /H:480 /REFRESH:60 /NOSOUND"_ba
                         : (inTheWay.contains(u"file"_s) ? old : QByteArray()));
        QCOMPARE(after.value(u"old"_s), inTheWay.endsWith(u"linked"_s) ? old : QByteArray());
    }

    void testChoice_data()
    {
        QTest::addColumn<ModeList>("input");
        QTest::addColumn<QSize>("saved"); // none: the merged lists
        QTest::addColumn<int>("refresh");
        QTest::addColumn<QString>("chosen");

        QTest::newRow("639 wide and 479 high are dropped, 640x480 is kept")
            << ModeList{{639, 480, 60}, {640, 479, 60}, {640, 480, 60}} << QSize() << 0
            << u"640x480:60Hz"_s;
        QTest::newRow("sizes and rates keep their order of first appearance, colour depths merge")
            << ModeList{{1024, 768, 85}, {800, 600, 60}, {1024, 768, 60}, {1024, 768, 85}}
            << QSize() << 0 << u"1024x768:85Hz/60Hz 800x600:60Hz"_s;
        const ModeList ladder = {{640, 480, 60},  {800, 600, 60},  {1024, 768, 60}, {1024, 768, 75},
                                 {1024, 768, 85}, {1280, 960, 60}, {1600, 1200, 60}};
        QTest::newRow("saved mode listed")
            << ladder << QSize(1024, 768) << 75 << u"1024x768 75Hz"_s;
        QTest::newRow("saved smaller than every mode keeps the first")
            << ladder << QSize(320, 200) << 60 << u"640x480 60Hz"_s;
        QTest::newRow("width fits but height does not walks further down")
            << ladder << QSize(1600, 700) << 60 << u"800x600 60Hz"_s;
        QTest::newRow("nothing to choose from") << ModeList() << QSize(640, 480) << 60 << QString();
        QTest::newRow("saved refresh 50 keeps the lowest rate")
            << ladder << QSize(1024, 768) << 50 << u"1024x768 60Hz"_s;
#ifdef Q_OS_WIN
        // The system's own list, from EnumDisplaySettingsW, unsorted. Without a display, Wine's
        // null driver lists 640x480, 800x600 and 1024x768 at 60Hz, in 32 and then 16 bits per
        // pixel; a real display's modes depend on its monitor.
        if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") &&
            !qEnvironmentVariableIsSet("DISPLAY")) {
            const ModeList system = systemDisplayModes();
            QTest::newRow("Windows: saved mode listed")
                << system << QSize(800, 600) << 60 << u"800x600 60Hz"_s;
            QTest::newRow("Windows: saved 1280x1024 picks 1024x768, the last in Windows' order")
                << system << QSize(1280, 1024) << 60 << u"1024x768 60Hz"_s;
            QTest::newRow("Windows: saved 1000x700 picks 800x600 below it, not 1024x768 above")
                << system << QSize(1000, 700) << 75 << u"800x600 60Hz"_s;
        }
#endif
    }

    void testChoice()
    {
        QFETCH(ModeList, input);
        QFETCH(QSize, saved);
        QFETCH(int, refresh);
        QFETCH(QString, chosen);

        QCOMPARE(chosenTexts(input, saved, refresh), chosen);
    }

    // The modes of a real X server with many of them, as the dialog gets them.
    void testDummyXServer()
    {
#ifdef Q_OS_WIN
        QSKIP("RandR is X11's");
#else
        // An X server with the dummy video driver and a monitor wide enough for dozens of
        // modes, listed the way X servers list them (preferred first, then largest first).
        vxtest::TestDir dir;
        QVERIFY(vxtest::writeTree(
            dir.path(),
            {{u"xorg.conf"_s,
              "Section \"Device\" Identifier \"d\" Driver \"dummy\" VideoRam 65536 EndSection "
              "Section \"Monitor\" Identifier \"m\" HorizSync 28-110 VertRefresh 50-100 EndSection "
              "Section \"Screen\" Identifier \"s\" Device \"d\" Monitor \"m\" DefaultDepth 24 "
              "SubSection \"Display\" Depth 24 Virtual 1600 1200 Modes \"1600x1200\" \"1280x1024\" "
              "\"1280x960\" \"1024x768\" \"800x600\" \"640x480\" EndSubSection EndSection"}}));
        // A display number of our own, away from the low ones other X servers take first
        // and from the range scripts/run picks from. Sandboxes beside ours may share the
        // abstract sockets without sharing /tmp, so the number is also left to chance.
        int number = 1000 + int(QRandomGenerator::global()->bounded(1000));
        while (QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(number)) ||
               QFile::exists(u"/tmp/.X%1-lock"_s.arg(number)))
            ++number;
        QProcess server;
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(u"Xorg"_s, {u":%1"_s.arg(number), u"-config"_s, dir.filePath(u"xorg.conf"_s),
                                 u"-noreset"_s, u"-nolisten"_s, u"tcp"_s, u"-logfile"_s,
                                 dir.filePath(u"xorg.log"_s)});
        const auto stop = qScopeGuard([&server] {
            // One that will not end is killed when the process object goes.
            server.terminate();
            server.waitForFinished(5000);
        });
        for (int i = 0; i < 100 && server.waitForStarted(5000) &&
                        !QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(number));
             ++i)
            server.waitForFinished(100);
        if (!QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(number)))
            QSKIP(qPrintable(u"no X server with the dummy driver (it needs root and "
                             "xserver-xorg-video-dummy): "_s +
                             server.errorString() + QString::fromLocal8Bit(server.readAll())));
        const QByteArray previous = qgetenv("DISPLAY");
        qputenv("DISPLAY", u":%1"_s.arg(number).toLatin1());
        const ModeList modes = randrDisplayModes();
        qputenv("DISPLAY", previous);

        // Dozens of modes, in the launcher's order.
        const QString lists = chosenTexts(modes);
        QVERIFY2(lists.startsWith(u"640x480:"_s) &&
                     lists.endsWith(u" 1600x1200:60Hz/65Hz/70Hz/75Hz/85Hz"_s),
                 qPrintable(lists));
        QCOMPARE(chosenTexts(modes, QSize(1280, 1000), 100), u"1280x960 85Hz"_s);
#endif
    }
};

QTEST_GUILESS_MAIN(TestLauncherConfig)
#include "tst_launcherconfig.moc"
