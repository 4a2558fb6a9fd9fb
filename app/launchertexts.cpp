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
    {VxText::CollisionFieldJoined,
     "Field %1 of %2 in %3 (%4): it holds child elements, so the text of %5 stays and it reads "
     "\"%6\"",
     "Champ %1 de %2 dans %3 (%4) : il contient des éléments, donc le texte de %5 reste et il se "
     "lit « %6 »",
     "Campo %1 de %2 en %3 (%4): contiene elementos, así que el texto de %5 se queda y se lee "
     "«%6»"},
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
    {VxText::InstallTitle, "Installing mods", "Installation de mods", "Instalando mods"},
    {VxText::InstallFailed, "Could not install %1:\n%2", "Impossible d'installer %1 :\n%2",
     "No se pudo instalar %1:\n%2"},
    {VxText::InstallWroteInfo,
     "%1 has no info.txt. It was installed as the mod %2, with a new info.txt that names it "
     "\"%3\".",
     "%1 ne contient pas de fichier info.txt. Il a été installé comme mod %2, avec un "
     "nouveau fichier info.txt qui le nomme « %3 ».",
     "%1 no contiene ningún info.txt. Se ha instalado como el mod %2, con un info.txt nuevo "
     "que lo llama «%3»."},
    {VxText::InstallReplaceQuestion,
     "A mod named %1 is already installed. Replace it with the one from the archive?",
     "Un mod nommé %1 est déjà installé. Le remplacer par celui de l'archive ?",
     "Ya hay un mod instalado con el nombre %1. ¿Quiere sustituirlo por el del archivo?"},
    {VxText::InstallUnreadable, "the archive is damaged, truncated or of an unknown kind (%1)",
     "l'archive est endommagée, incomplète ou d'un type inconnu (%1)",
     "el archivo está dañado, incompleto o es de un tipo desconocido (%1)"},
    {VxText::InstallUnsafePath, "the entry %1 would be written outside the mod's folder",
     "l'élément %1 serait écrit hors du dossier du mod",
     "el elemento %1 se escribiría fuera de la carpeta del mod"},
    {VxText::InstallLinkEntry,
     "the entry %1 is a link or a special file; a mod holds only "
     "files and folders",
     "l'élément %1 est un lien ou un fichier spécial ; un mod ne contient que des "
     "fichiers et des dossiers",
     "el elemento %1 es un enlace o un archivo especial; un mod solo contiene archivos y "
     "carpetas"},
    {VxText::InstallWindowsName, "the name %1 cannot be used on Windows",
     "le nom %1 n'est pas utilisable sous Windows", "el nombre %1 no se puede usar en Windows"},
    {VxText::InstallCaseClash, "the names %1 and %2 differ only in upper and lower case",
     "les noms %1 et %2 ne diffèrent que par les majuscules et les minuscules",
     "los nombres %1 y %2 solo se diferencian en mayúsculas y minúsculas"},
    {VxText::InstallDuplicate, "the entry %1 appears more than once",
     "l'élément %1 apparaît plusieurs fois", "el elemento %1 aparece más de una vez"},
    {VxText::InstallEncrypted, "the archive is protected by a password",
     "l'archive est protégée par un mot de passe", "el archivo está protegido con contraseña"},
    {VxText::InstallTooLarge, "the archive unpacks to more than %1 MB",
     "l'archive décompressée dépasse %1 Mo", "el archivo descomprimido supera los %1 MB"},
    {VxText::InstallTooCompressed,
     "the archive unpacks to more than %1 times its own size, as no mod does",
     "l'archive décompressée dépasse %1 fois sa propre taille, ce qu'aucun mod ne fait",
     "el archivo descomprimido supera %1 veces su propio tamaño, algo que ningún mod hace"},
    {VxText::InstallTooManyEntries, "the archive holds more than %1 files and folders",
     "l'archive contient plus de %1 fichiers et dossiers",
     "el archivo contiene más de %1 archivos y carpetas"},
    {VxText::InstallSeveralInfoFiles,
     "the archive holds more than one mod: there is an info.txt in %1 and in %2",
     "l'archive contient plus d'un mod : il y a un fichier info.txt dans %1 et dans %2",
     "el archivo contiene más de un mod: hay un info.txt en %1 y en %2"},
    {VxText::InstallNoFiles, "the archive holds no files", "l'archive ne contient aucun fichier",
     "el archivo no contiene ningún archivo"},
    {VxText::InstallModExists, "a mod named %1 is already installed",
     "un mod nommé %1 est déjà installé", "ya hay un mod instalado con el nombre %1"},
    {VxText::InstallBadModName, "%1 cannot be the name of a mod folder",
     "%1 ne peut pas être le nom d'un dossier de mod",
     "%1 no puede ser el nombre de una carpeta de mod"},
    {VxText::InstallLocked, "the game folder is in use by another launch (%1)",
     "le dossier du jeu est utilisé par un autre lancement (%1)",
     "la carpeta del juego está en uso por otro lanzamiento (%1)"},
    {VxText::InstallWriteFailed, "could not write %1", "impossible d'écrire %1",
     "no se pudo escribir %1"},
    {VxText::InstallCancelled, "the install was cancelled", "l'installation a été annulée",
     "la instalación se ha cancelado"},
    {VxText::RemoveNotInstalled, "no mod folder named %1 is installed",
     "aucun dossier de mod nommé %1 n'est installé",
     "no hay instalada ninguna carpeta de mod con el nombre %1"},
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
