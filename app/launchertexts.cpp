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

    {VxText::GameFolderBusy,
     "Another launch is using this game folder (%1). Wait until its game has ended, then press "
     "Play again.",
     "Un autre lancement utilise déjà le dossier du jeu (%1). Attendez la fin de cette partie, "
     "puis cliquez de nouveau sur Jouer.",
     "Otro lanzamiento está usando la carpeta del juego (%1). Espera a que termine esa partida y "
     "vuelve a pulsar Jugar."},
    {VxText::GameStillRunning,
     "The game started by an earlier launch is still running (process %1). Its mods stay in "
     "place until it ends; start the launcher again after that.",
     "Le jeu démarré lors d'un lancement précédent est toujours en cours (processus %1). Ses "
     "mods restent en place jusqu'à sa fermeture ; relancez le lanceur ensuite.",
     "El juego iniciado en un lanzamiento anterior sigue en ejecución (proceso %1). Sus mods "
     "seguirán instalados hasta que se cierre; vuelve a abrir el lanzador después."},
    {VxText::RecoveredAtStart,
     "The last launch was interrupted before it could put the game's files back. This has been "
     "done now: %1 files put back, %2 added files removed.",
     "Le dernier lancement a été interrompu avant de remettre en place les fichiers du jeu. "
     "C'est chose faite : %1 fichiers remis en place, %2 fichiers ajoutés supprimés.",
     "El último lanzamiento se interrumpió antes de restaurar los archivos del juego. Ya está "
     "hecho: %1 archivos restaurados, %2 archivos añadidos eliminados."},
    {VxText::RestoreIncomplete,
     "Some of the game's files could not be put back:\n%1\nThe launcher will try again the "
     "next time it starts.",
     "Certains fichiers du jeu n'ont pas pu être remis en place :\n%1\nLe lanceur réessaiera "
     "à son prochain démarrage.",
     "No se pudieron restaurar algunos archivos del juego:\n%1\nEl lanzador lo volverá a "
     "intentar la próxima vez que se inicie."},
    {VxText::JournalDamaged,
     "The record of the last launch is damaged, so nothing was put back by it:\n%1",
     "Le journal du dernier lancement est endommagé ; rien n'a été remis en place d'après "
     "lui :\n%1",
     "El registro del último lanzamiento está dañado, así que no se ha restaurado nada a "
     "partir de él:\n%1"},
    {VxText::BackupsByNameQuestion,
     "The game folder holds %1 files named like the backups an older launcher left behind, "
     "such as:\n%2\n\nPut each of them back over the file it is named after?",
     "Le dossier du jeu contient %1 fichiers nommés comme les sauvegardes laissées par un "
     "ancien lanceur, par exemple :\n%2\n\nRemettre chacun d'eux à la place du fichier dont "
     "il porte le nom ?",
     "La carpeta del juego contiene %1 archivos con nombre de copia de seguridad de un "
     "lanzador anterior, por ejemplo:\n%2\n\n¿Poner cada uno de ellos en lugar del archivo "
     "cuyo nombre lleva?"},
    {VxText::FolderUnusable, "The launcher cannot use the game folder: %1",
     "Le lanceur ne peut pas utiliser le dossier du jeu : %1",
     "El lanzador no puede usar la carpeta del juego: %1"},
    {VxText::CannotCopyModFile, "Could not copy a mod's file to %1:\n%2",
     "Impossible de copier un fichier de mod vers %1 :\n%2",
     "No se pudo copiar un archivo de mod a %1:\n%2"},
    {VxText::CannotMoveAside, "Could not move the game's file %1 aside:\n%2",
     "Impossible de mettre de côté le fichier du jeu %1 :\n%2",
     "No se pudo apartar el archivo del juego %1:\n%2"},
    {VxText::CannotReplace, "Could not replace %1:\n%2", "Impossible de remplacer %1 :\n%2",
     "No se pudo reemplazar %1:\n%2"},
    {VxText::CannotAdd, "Could not add %1:\n%2", "Impossible d'ajouter %1 :\n%2",
     "No se pudo añadir %1:\n%2"},
    {VxText::CannotBackUp, "Could not back up %1:\n%2", "Impossible de sauvegarder %1 :\n%2",
     "No se pudo hacer una copia de seguridad de %1:\n%2"},
    {VxText::CannotPutBack, "Could not put back %1: %2", "Impossible de remettre en place %1 : %2",
     "No se pudo restaurar %1: %2"},
    {VxText::CannotRemove, "Could not remove %1: %2", "Impossible de supprimer %1 : %2",
     "No se pudo eliminar %1: %2"},
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
    {VxText::ButtonYes, "Yes", "Oui", "Sí"},
    {VxText::ButtonNo, "No", "Non", "No"},
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
