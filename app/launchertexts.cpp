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
    {VxText::GameStartFailed, "Could not start the game:\n%1",
     "Impossible de lancer le jeu :\n%1", "No se pudo iniciar el juego:\n%1"},
    {VxText::ResourceSaveFailed, "Could not save %1", "Impossible d'enregistrer %1",
     "No se pudo guardar %1"},
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
