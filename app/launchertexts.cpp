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
    {VxText::CollisionHeading, "Clashes with other ticked mods:",
     "Conflits avec d'autres mods cochés :", "Conflictos con otros mods marcados:"},
    {VxText::CollisionDataFile, "File %1 (%2): %3 wins", "Fichier %1 (%2) : %3 l'emporte",
     "Archivo %1 (%2): gana %3"},
    {VxText::CollisionElementCreated, "New element %1 in %2 (%3): %4 wins",
     "Nouvel élément %1 dans %2 (%3) : %4 l'emporte", "Nuevo elemento %1 en %2 (%3): gana %4"},
    {VxText::CollisionFieldSet, "Field %1 of %2 in %3 (%4): %5 wins",
     "Champ %1 de %2 dans %3 (%4) : %5 l'emporte", "Campo %1 de %2 en %3 (%4): gana %5"},
    {VxText::CollisionFieldRemoved, "Field %1 of %2 in %3, removed and changed (%4): %5 acts last",
     "Champ %1 de %2 dans %3, supprimé et modifié (%4) : %5 agit en dernier",
     "Campo %1 de %2 en %3, eliminado y modificado (%4): %5 actúa el último"},
    {VxText::CollisionMore, "... and %1 more", "... et %1 de plus", "... y %1 más"},
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
