#include "app/launchertexts.h"
#include "app/stringtable.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Every entry of the game's table, English, French, Spanish, as the game shows them.
const char *const entries[24][3] = {
    {"en", "fr", "sp"},
    {"Vexil 4: Brask! Mod Launcher", "Lanceur de mods Vexil 4: Brask!",
     "Lanzador de mods de Vexil 4: Brask"},
    {"Resolution", "Résolution", "Resolución"},
    {"Refresh Rate", "Rafraîchissement", "Frecuencia de actualización"},
    {"Play", "Jouer", "Jugar"},
    {"No Movies", "Pas de cinématiques", "Sin vídeos"},
    {"No Sounds", "Pas de son", "Sin sónidos"},
    {"Automate Ports Settings (XP only)", "Réglage automatique des ports",
     "Automatizar configuraciones de los puertos (solo XP)"},
    {"Allow Screenshots", "Autoriser captures d'écran", "Permitir capturas de pantalla"},
    {"Allow Manual Camera (M)", "Autoriser caméra manuelle (M)", "Permitir cámara manual (M)"},
    {"Telnet", "Telnet", "Telnet"},
    {"Mods", "Mods", "Mods"},
    {"Check for Updates", "Vérifier les mises à jour", "Buscar actualizaciones"},
    {"Cancel", "Annuler", "Cancelar"},
    {"Author : ", "Auteur : ", "Autor : "},
    {"Description : ", "Description : ", "Descripción : "},
    {"Error!", "Erreur !", "¡Error!"},
    {"Could not find Vexil 4: Brask directory. Try reinstalling the game.",
     "Impossible de localiser Vexil 4: Brask. Essayez de réinstaller le jeu.",
     "No se pudo encontrar el directorio de Vexil 4 Brask. Intenta reinstalar el juego."},
    {"Loading resource objects", "Chargement des ressources", "Cargando recursos"},
    {"Loading ", "Chargement de ", "Cargando "},
    {"Could not load objects data from ", "Impossible de charger les données depuis ",
     "No se pudieron cargar los datos de los objetos de "},
    {"Initializing ", "Initialisation de ", "Initializing "},
    {"Loading custom files ", "Chargement des fichiers personnalisés ", "Loading custom files "},
    {"The game has not been closed properly. Do you wish to see the log?",
     "Le jeu n'a pas été quitté correctement. Voulez vous voir le log ?",
     "The game has not been closed properly. Do you wish to see the log?"},
};

} // namespace

class TestStringTable : public QObject
{
    Q_OBJECT

private slots:
    void testEntries_data()
    {
        QTest::addColumn<QString>("language"); // the game's stored language value
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("expected"); // empty: no entry

        const char *const languages[3] = {"ENG", "FRE", "SPA"};
        for (int id = 0; id < 24; ++id)
            for (int column = 0; column < 3; ++column)
                QTest::addRow("%s %d", languages[column], id)
                    << QString::fromLatin1(languages[column]) << id
                    << QString::fromUtf8(entries[id][column]);
        QTest::newRow("missing value is english") << u"NONE"_s << 14 << u"Author : "_s;
        QTest::newRow("lower-case spa is not spanish") << u"spa"_s << 16 << u"Error!"_s;
        QTest::newRow("padded FRE is not french") << u" FRE"_s << 16 << u"Error!"_s;
        QTest::newRow("negative id") << u"ENG"_s << -1 << QString();
        QTest::newRow("terminator slot") << u"ENG"_s << 24 << QString();
    }

    void testEntries()
    {
        QFETCH(QString, language);
        QFETCH(int, id);
        QFETCH(QString, expected);

        loadStringTable(languageIndexFor(language));
        QCOMPARE(tableString(id), expected);
    }

    // The launcher's own texts follow the game's language choice, column for column.
    void testLauncherTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<VxText>("id");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first text, french")
            << u"FRE"_s << VxText::GameStartFailed << u"Impossible de lancer le jeu :\n%1"_s;
        QTest::newRow("save, spanish")
            << u"SPA"_s << VxText::ResourceSaveFailed << u"No se pudo guardar %1"_s;
        QTest::newRow("abort, english") << u"ENG"_s << VxText::ButtonAbort << u"Abort"_s;
        QTest::newRow("abort, french") << u"FRE"_s << VxText::ButtonAbort << u"Abandonner"_s;
        QTest::newRow("ignore, spanish") << u"SPA"_s << VxText::ButtonIgnore << u"Omitir"_s;
        QTest::newRow("last text, spanish") << u"SPA"_s << VxText::ButtonNo << u"No"_s;
        QTest::newRow("yes, spanish") << u"SPA"_s << VxText::ButtonYes << u"S\u00ed"_s;
    }

    void testLauncherTexts()
    {
        QFETCH(QString, language);
        QFETCH(VxText, id);
        QFETCH(QString, expected);

        loadStringTable(languageIndexFor(language));
        QCOMPARE(launcherText(id), expected);
    }
};

QTEST_GUILESS_MAIN(TestStringTable)
#include "tst_stringtable.moc"
