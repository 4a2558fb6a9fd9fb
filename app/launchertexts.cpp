#include "app/launchertexts.h"

#include "app/stringtable.h"

#include <iterator>

namespace {

struct Row
{
    VxText id;
    const char *english;
    const char *french;
    const char *spanish;
};

// UTF-8 source text. French and Spanish are written for players, as the game's own columns
// are: the same register, the same words for the same things ("jeu", "mods", "juego").
constexpr Row rows[] = {
    {VxText::GameStartFailed, "Could not start the game:\n%1", "Impossible de lancer le jeu :\n%1",
     "No se pudo iniciar el juego:\n%1"},
    {VxText::ResourceSaveFailed, "Could not save %1", "Impossible d'enregistrer %1",
     "No se pudo guardar %1"},
    {VxText::SettingsSaveFailed,
     "Could not save your settings in %1:\n%2\n\nThe game will start with the settings it "
     "used last time.",
     "Impossible d'enregistrer vos réglages dans %1 :\n%2\n\nLe jeu démarrera avec les "
     "réglages de la dernière fois.",
     "No se pudieron guardar tus ajustes en %1:\n%2\n\nEl juego se iniciará con los ajustes "
     "de la última vez."},
    // The English text is the one the launcher always showed; mod authors search for it.
    {VxText::ElementFileFailed, "Error loading file %1, continue anyway?",
     "Erreur au chargement du fichier %1, continuer quand même ?",
     "Error al cargar el archivo %1, ¿continuar de todos modos?"},
    // The buttons of the launcher's boxes, as Windows names them in each language.
    {VxText::ButtonOk, "OK", "OK", "Aceptar"},
    {VxText::ButtonAbort, "Abort", "Abandonner", "Anular"},
    {VxText::ButtonIgnore, "Ignore", "Ignorer", "Omitir"},
};

} // namespace

QString launcherText(VxText id)
{
    for (const Row &row : rows) {
        if (row.id != id)
            continue;
        const int language = activeLanguageIndex();
        return QString::fromUtf8(language == 0   ? row.french
                                 : language == 2 ? row.spanish
                                                 : row.english);
    }
    return QString();
}
