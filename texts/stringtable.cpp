#include "texts/stringtable.h"

#include <QCoreApplication>
#include <QStringList>

#include <array>

namespace {

// Every column has 24 entries: the language code, then messages 1 to 23. The texts are UTF-8
// source text; translate() decodes them as such.
using Column = std::array<const char *, 24>;

constexpr Column spanishColumn = {
    "sp",
    "Lanzador de mods de Vexil 4: Brask",
    "Resolución",
    "Frecuencia de actualización",
    "Jugar",
    "Sin vídeos",
    "Sin sónidos",
    // Shortened from the game's "Automatizar configuraciones de los puertos (solo XP)", which
    // no switch of the window's width can show whole.
    "Automatizar puertos (solo XP)",
    "Permitir capturas de pantalla",
    "Permitir cámara manual (M)",
    "Telnet",
    "Mods",
    "Buscar actualizaciones",
    "Cancelar",
    "Autor : ",
    "Descripción : ",
    "¡Error!",
    "No se pudo encontrar el directorio de Vexil 4 Brask. Intenta reinstalar el juego.",
    "Cargando recursos",
    "Cargando ",
    "No se pudieron cargar los datos de los objetos de ",
    // The Spanish build shipped these three in English; players know them that way.
    "Initializing ",
    "Loading custom files ",
    "The game has not been closed properly. Do you wish to see the log?",
};

constexpr Column englishColumn = {
    "en",
    "Vexil 4: Brask! Mod Launcher",
    "Resolution",
    "Refresh Rate",
    "Play",
    "No Movies",
    "No Sounds",
    "Automate Ports Settings (XP only)",
    "Allow Screenshots",
    "Allow Manual Camera (M)",
    "Telnet",
    "Mods",
    "Check for Updates",
    "Cancel",
    "Author : ",
    "Description : ",
    "Error!",
    "Could not find Vexil 4: Brask directory. Try reinstalling the game.",
    "Loading resource objects",
    "Loading ",
    "Could not load objects data from ",
    "Initializing ",
    "Loading custom files ",
    "The game has not been closed properly. Do you wish to see the log?",
};

constexpr Column frenchColumn = {
    "fr",
    "Lanceur de mods Vexil 4: Brask!",
    "Résolution",
    "Rafraîchissement",
    "Jouer",
    "Pas de cinématiques",
    "Pas de son",
    "Réglage automatique des ports",
    "Autoriser captures d'écran",
    "Autoriser caméra manuelle (M)",
    "Telnet",
    "Mods",
    "Vérifier les mises à jour",
    "Annuler",
    "Auteur : ",
    "Description : ",
    "Erreur !",
    "Impossible de localiser Vexil 4: Brask. Essayez de réinstaller le jeu.",
    "Chargement des ressources",
    "Chargement de ",
    "Impossible de charger les données depuis ",
    "Initialisation de ",
    "Chargement des fichiers personnalisés ",
    "Le jeu n'a pas été quitté correctement. Voulez vous voir le log ?",
};

// Filled once at start-up on the GUI thread and only read afterwards.
QStringList &activeTable()
{
    static QStringList table;
    return table;
}

quint8 &activeLanguage()
{
    static quint8 language = 1;
    return language;
}

} // namespace

quint8 activeLanguageIndex()
{
    return activeLanguage();
}

quint8 languageIndexFor(const QString &languageValue)
{
    if (languageValue == QLatin1String("FRE"))
        return 0;
    if (languageValue == QLatin1String("SPA"))
        return 2;
    return 1;
}

void loadStringTable(quint8 languageIndex, const char *context)
{
    const Column &column = languageIndex == 0   ? frenchColumn
                           : languageIndex == 2 ? spanishColumn
                                                : englishColumn;
    activeLanguage() = languageIndex == 0 || languageIndex == 2 ? languageIndex : 1;
    QStringList &table = activeTable();
    table.clear();
    table.reserve(int(column.size()));
    // Going through translate() lets a translator installed by a packager replace texts
    // without a rebuild; with none installed each entry comes back as written.
    for (const char *entry : column)
        table.append(QCoreApplication::translate(context, entry));
}

QString tableString(int id)
{
    const QStringList &table = activeTable();
    return id >= 0 && id < table.size() ? table.at(id) : QString();
}
