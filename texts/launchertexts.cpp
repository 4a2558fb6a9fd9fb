#include "texts/launchertexts.h"

#include "texts/stringtable.h"

#include <iterator>
#include <utility>

namespace {

struct Row
{
    VxText id;
    const char *english;
    const char *french;
    const char *spanish;
    // A text with a count ("%n") has its singular here too.
    const char *englishOne = nullptr;
    const char *frenchOne = nullptr;
    const char *spanishOne = nullptr;
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
     "Le dossier du jeu est déjà utilisé par un autre lancement (%1). Attendez la fin de la "
     "partie en cours, puis cliquez à nouveau sur Jouer.",
     "Otro lanzamiento está usando la carpeta del juego (%1). Espera a que termine esa partida y "
     "vuelve a pulsar Jugar."},
    {VxText::GameStillRunning,
     "The game started by an earlier launch is still running (process %1). Its mods stay in "
     "place until it ends; start the launcher again after that.",
     "Le jeu démarré lors d'un lancement précédent est toujours en cours (processus %1). Ses "
     "mods restent en place jusqu'à sa fermeture ; relancez le lanceur ensuite.",
     "El juego iniciado en un lanzamiento anterior sigue en ejecución (proceso %1). Sus mods "
     "seguirán aplicados hasta que se cierre; vuelve a abrir el lanzador después."},
    {VxText::RecoveredAtStart,
     "The last launch was interrupted before it could put the game's files back. This has been "
     "done now: %1, %2.",
     "Le dernier lancement a été interrompu avant que les fichiers du jeu ne soient remis en "
     "place. C'est désormais chose faite : %1, %2.",
     "El último lanzamiento se interrumpió antes de restaurar los archivos del juego. Ya está "
     "hecho: %1, %2."},
    {VxText::FilesPutBack, "%n files put back", "%n fichiers remis en place",
     "%n archivos restaurados", "%n file put back", "%n fichier remis en place",
     "%n archivo restaurado"},
    {VxText::AddedFilesRemoved, "%n added files removed", "%n fichiers ajoutés supprimés",
     "%n archivos añadidos eliminados", "%n added file removed", "%n fichier ajouté supprimé",
     "%n archivo añadido eliminado"},
    {VxText::RestoreIncomplete,
     "Some of the game's files could not be put back:\n%1\nThe launcher will try again the "
     "next time it starts.",
     "Certains fichiers du jeu n'ont pas pu être remis en place :\n%1\nLe lanceur réessaiera "
     "à son prochain démarrage.",
     "No se pudieron restaurar algunos archivos del juego:\n%1\nEl lanzador lo volverá a "
     "intentar la próxima vez que se inicie."},
    {VxText::JournalDamaged,
     "The record of the last launch is damaged, so nothing was put back by it. It was kept as "
     "%1.",
     "Le journal du dernier lancement est endommagé ; rien n'a été remis en place d'après lui. "
     "Il a été conservé sous le nom %1.",
     "El registro del último lanzamiento está dañado, así que no se ha restaurado nada a "
     "partir de él. Se ha guardado como %1."},
    {VxText::BackupsByNameQuestion,
     "The game folder holds %n files named like the backups an older launcher left behind:"
     "\n%1\n\nPut each of them back over the file it is named after?",
     "Le dossier du jeu contient %n fichiers nommés comme les copies de sauvegarde laissées "
     "par un ancien lanceur :\n%1\n\nRemettre chacun d'eux à la place du fichier dont il "
     "porte le nom ?",
     "La carpeta del juego contiene %n archivos con nombres como los de las copias de "
     "seguridad que dejaba un lanzador antiguo:\n%1\n\n¿Quieres restaurar cada uno en lugar "
     "del archivo original (el mismo nombre sin «.backup»)?",
     "The game folder holds %n file named like the backups an older launcher left behind:"
     "\n%1\n\nPut it back over the file it is named after?",
     "Le dossier du jeu contient %n fichier nommé comme les copies de sauvegarde laissées "
     "par un ancien lanceur :\n%1\n\nLe remettre à la place du fichier dont il porte le "
     "nom ?",
     "La carpeta del juego contiene %n archivo con un nombre como los de las copias de "
     "seguridad que dejaba un lanzador antiguo:\n%1\n\n¿Quieres restaurarlo en lugar del "
     "archivo original (el mismo nombre sin «.backup»)?"},
    {VxText::ListMore, "and %n more", "et %n autres", "y %n más", "and %n more", "et %n autre",
     "y %n más"},
    {VxText::FolderUnusable, "The launcher cannot use the game folder: %1",
     "Le lanceur ne peut pas utiliser le dossier du jeu : %1",
     "El lanzador no puede usar la carpeta del juego: %1"},
    // What the system said, in its own words (often English): marked so a player can tell.
    {VxText::SystemReason, "System: %1", "Système : %1", "Sistema: %1"},
    {VxText::LockHolder, "process %1", "processus %1", "proceso %1"},
    {VxText::LockHolderProgram, "process %1, %2", "processus %1, %2", "proceso %1, %2"},
    {VxText::LockHolderStarting, "a launch that is starting", "un lancement qui démarre",
     "un lanzamiento que se está iniciando"},
    {VxText::LockFileRefused, "the lock file %1 %2; nothing is changed while it is there",
     "le fichier de verrou %1 %2 ; rien n'est modifié tant qu'il est là",
     "el archivo de bloqueo %1 %2; no se cambia nada mientras esté ahí"},
    {VxText::LockFileIsLink, "is a link, not a lock file", "est un lien, pas un fichier de verrou",
     "es un enlace, no un archivo de bloqueo"},
    {VxText::LockFileIsFolder, "is a folder, not a lock file",
     "est un dossier, pas un fichier de verrou", "es una carpeta, no un archivo de bloqueo"},
    {VxText::LockFileNotRegular, "is not a regular file", "n'est pas un fichier ordinaire",
     "no es un archivo normal"},
    {VxText::LockFileTooLarge, "is larger than %1 bytes, which no lock file is",
     "dépasse %1 octets, ce qu'aucun fichier de verrou ne fait",
     "ocupa más de %1 bytes, algo que ningún archivo de bloqueo hace"},
    {VxText::LockFileUnreadable, "cannot be read (%1)", "ne peut pas être lu (%1)",
     "no se puede leer (%1)"},
    {VxText::LockFileCannotRemove,
     "the lock file %1 was left by a launch that is no longer running, but cannot be removed "
     "(%2)",
     "le fichier de verrou %1 a été laissé par un lancement qui ne tourne plus, mais il ne peut "
     "pas être supprimé (%2)",
     "el archivo de bloqueo %1 lo dejó un lanzamiento que ya no se está ejecutando, pero no se "
     "puede eliminar (%2)"},
    {VxText::LockNotWritable, "the game folder cannot be written to",
     "le dossier du jeu n'est pas accessible en écriture",
     "no se puede escribir en la carpeta del juego"},
    {VxText::LockCannotMake, "the lock file %1 cannot be made",
     "impossible de créer le fichier de verrou %1", "no se puede crear el archivo de bloqueo %1"},
    {VxText::JournalCannotWrite, "cannot write the launch journal %1 (%2)",
     "impossible d'écrire le journal de lancement %1 (%2)",
     "no se puede escribir el registro de lanzamiento %1 (%2)"},
    {VxText::JournalCannotRemove, "cannot remove the launch journal %1",
     "impossible de supprimer le journal de lancement %1",
     "no se puede eliminar el registro de lanzamiento %1"},
    {VxText::JournalCannotSetAside, "cannot move the damaged launch journal %1 aside",
     "impossible de mettre de côté le journal de lancement endommagé %1",
     "no se puede apartar el registro de lanzamiento dañado %1"},
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
    {VxText::CannotBackUp, "Could not back up %1:\n%2",
     "Impossible de créer une copie de sauvegarde de %1 :\n%2",
     "No se pudo hacer una copia de seguridad de %1:\n%2"},
    {VxText::CannotPutBack, "Could not put back %1: %2", "Impossible de remettre en place %1 : %2",
     "No se pudo restaurar %1: %2"},
    {VxText::CannotRemove, "Could not remove %1: %2", "Impossible de supprimer %1 : %2",
     "No se pudo eliminar %1: %2"},
    {VxText::ChangedKept,
     "%1 was changed while the game was modded; the changed file is kept as %2 and the game's "
     "own file is back",
     "%1 a été modifié pendant que le jeu était moddé ; le fichier modifié est gardé sous le "
     "nom %2 et celui du jeu est remis en place",
     "%1 se modificó mientras el juego tenía mods; el archivo modificado se conserva como %2 y "
     "el del juego está de vuelta"},
    {VxText::ChangedAddedKept, "%1 was changed after a mod added it; it stays",
     "%1 a été modifié après avoir été ajouté par un mod ; il reste en place",
     "%1 se modificó después de que un mod lo añadiera; se queda"},
    {VxText::NotMadeByLaunch, "%1 is not the file the launch made; it is left as it is",
     "%1 n'est pas le fichier créé par le lancement ; il est laissé tel quel",
     "%1 no es el archivo que creó el lanzamiento; se deja como está"},
    {VxText::RecordRefused,
     "the launch journal names %1 in a way no launch does; it is left as it is",
     "le journal de lancement désigne %1 comme aucun lancement ne le fait ; il est laissé tel "
     "quel",
     "el diario de lanzamiento nombra %1 como ningún lanzamiento lo hace; se deja como está"},
    {VxText::ChangedFilesTold,
     "The game's files are back. Some files were not the ones the launch had placed, so they "
     "were kept:\n%1",
     "Les fichiers du jeu sont remis en place. Certains fichiers n'étaient plus ceux que le "
     "lancement avait placés ; ils ont été gardés :\n%1",
     "Los archivos del juego están de vuelta. Algunos archivos ya no eran los que había puesto "
     "el lanzamiento, así que se han conservado:\n%1"},
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
    {VxText::ModListToolTip,
     "Tick the mods to play with (Space ticks the current one). Ctrl+Up and Ctrl+Down move the "
     "current mod: the mods are applied from the top down.",
     "Cochez les mods avec lesquels jouer (Espace coche le mod en cours). Ctrl+Haut et Ctrl+Bas "
     "déplacent le mod en cours : les mods sont appliqués de haut en bas.",
     "Marca los mods con los que quieres jugar (Espacio marca el mod actual). Ctrl+Arriba y "
     "Ctrl+Abajo mueven el mod actual: los mods se aplican de arriba abajo."},
    {VxText::InstallTitle, "Installing mods", "Installation de mods", "Instalando mods"},
    {VxText::InstallFailed, "Could not install %1:\n%2", "Impossible d'installer %1 :\n%2",
     "No se pudo instalar %1:\n%2"},
    {VxText::InstallWroteInfo,
     "%1 has no info.txt. It was installed as the mod %2, with a new info.txt that names it "
     "\"%3\".",
     "L'archive %1 ne contient pas de fichier info.txt. Elle a été installée en tant que mod "
     "%2, avec un nouveau fichier info.txt qui lui donne le nom « %3 ».",
     "El archivo comprimido %1 no contiene ningún info.txt. Se ha instalado como el mod %2, "
     "con un info.txt nuevo que le da el nombre «%3»."},
    {VxText::InstallReplaceQuestion,
     "A mod named %1 is already installed. Replace it with the one from the archive?",
     "Un mod nommé %1 est déjà installé. Le remplacer par celui de l'archive ?",
     "Ya hay un mod instalado con el nombre %1. ¿Quieres sustituirlo por el del archivo "
     "comprimido?"},
    {VxText::InstallUnreadable, "the archive is damaged, truncated or of an unknown kind (%1)",
     "l'archive est endommagée, incomplète ou d'un type inconnu (%1)",
     "el archivo comprimido está dañado, incompleto o es de un tipo desconocido (%1)"},
    {VxText::InstallUnsafePath, "the entry %1 would be written outside the mod's folder",
     "l'entrée %1 serait écrite hors du dossier du mod",
     "la entrada %1 se escribiría fuera de la carpeta del mod"},
    {VxText::InstallLinkEntry,
     "the entry %1 is a link or a special file; a mod holds only "
     "files and folders",
     "l'entrée %1 est un lien ou un fichier spécial ; un mod ne contient que des "
     "fichiers et des dossiers",
     "la entrada %1 es un enlace o un archivo especial; un mod solo contiene archivos y "
     "carpetas"},
    {VxText::InstallWindowsName, "the name %1 cannot be used on Windows",
     "le nom %1 n'est pas utilisable sous Windows", "el nombre %1 no se puede usar en Windows"},
    {VxText::InstallCaseClash, "the names %1 and %2 differ only in upper and lower case",
     "les noms %1 et %2 ne diffèrent que par les majuscules et les minuscules",
     "los nombres %1 y %2 solo se diferencian en mayúsculas y minúsculas"},
    {VxText::InstallDuplicate, "the entry %1 appears more than once",
     "l'entrée %1 apparaît plusieurs fois", "la entrada %1 aparece más de una vez"},
    {VxText::InstallEncrypted, "the archive is protected by a password",
     "l'archive est protégée par un mot de passe",
     "el archivo comprimido está protegido con contraseña"},
    {VxText::InstallTooLarge, "the archive unpacks to more than %1 MB",
     "une fois décompressée, l'archive occupe plus de %1 Mo",
     "una vez descomprimido, el archivo comprimido ocupa más de %1 MB"},
    {VxText::InstallTooCompressed,
     "the archive unpacks to more than %1 times its own size, as no mod does",
     "une fois décompressée, l'archive occupe plus de %1 fois sa taille, ce qu'aucun mod ne "
     "fait",
     "una vez descomprimido, el archivo comprimido ocupa más de %1 veces su tamaño, algo que "
     "ningún mod hace"},
    {VxText::InstallTooManyEntries, "the archive holds more than %1 files and folders",
     "l'archive contient plus de %1 fichiers et dossiers",
     "el archivo comprimido contiene más de %1 archivos y carpetas"},
    {VxText::InstallSeveralInfoFiles,
     "the archive holds more than one mod: there is an info.txt in %1 and in %2",
     "l'archive contient plus d'un mod : il y a un fichier info.txt dans %1 et dans %2",
     "el archivo comprimido contiene más de un mod: hay un info.txt en %1 y en %2"},
    {VxText::InstallNoFiles, "the archive holds no files", "l'archive ne contient aucun fichier",
     "el archivo comprimido no contiene ningún archivo"},
    {VxText::InstallModExists, "a mod named %1 is already installed",
     "un mod nommé %1 est déjà installé", "ya hay un mod instalado con el nombre %1"},
    {VxText::InstallBadModName, "%1 cannot be the name of a mod folder",
     "%1 ne peut pas être le nom d'un dossier de mod",
     "%1 no puede ser el nombre de una carpeta de mod"},
    {VxText::InstallLocked, "the game folder is in use by another launch (%1)",
     "le dossier du jeu est utilisé par un autre lancement (%1)",
     "la carpeta del juego está en uso por otro lanzamiento (%1)"},
    {VxText::InstallFolderUnusable, "the game folder cannot be used: %1",
     "le dossier du jeu est inutilisable : %1", "no se puede usar la carpeta del juego: %1"},
    {VxText::ModsLeftOut, "Some mods are not listed, because a file of theirs cannot be read:\n%1",
     "Certains mods ne sont pas affichés, car un de leurs fichiers ne peut pas être lu :\n%1",
     "Algunos mods no aparecen en la lista porque no se puede leer uno de sus archivos:\n%1"},
    {VxText::ModFileUnreadable,
     "The mod %1 cannot be laid, because one of its files cannot be read:\n%2",
     "Le mod %1 ne peut pas être appliqué, car un de ses fichiers ne peut pas être lu :\n%2",
     "No se puede aplicar el mod %1 porque no se puede leer uno de sus archivos:\n%2"},
    {VxText::ModFileProblem, "%1: %2", "%1\u00a0: %2", "%1: %2"},
    {VxText::ModFileNotRegular, "not a regular file", "ce n'est pas un fichier ordinaire",
     "no es un archivo normal"},
    {VxText::ModFileTooLarge, "larger than %1 bytes", "plus de %1 octets", "más de %1 bytes"},
    {VxText::InstallWriteFailed, "could not write %1", "impossible d'écrire %1",
     "no se pudo escribir %1"},
    {VxText::InstallCancelled, "the install was cancelled", "l'installation a été annulée",
     "la instalación se ha cancelado"},
    {VxText::RemoveNotInstalled, "no mod folder named %1 is installed",
     "aucun dossier de mod nommé %1 n'est installé",
     "no hay instalada ninguna carpeta de mod con el nombre %1"},
    {VxText::InstallPathTooLong, "the name of the entry %1 is longer than %2 characters",
     "le nom de l'entrée %1 dépasse %2 caractères",
     "el nombre de la entrada %1 supera los %2 caracteres"},
    {VxText::InstallNameTooLong, "the entry %1 holds a folder or file name longer than %2 bytes",
     "l'entrée %1 contient un nom de dossier ou de fichier de plus de %2 octets",
     "la entrada %1 contiene un nombre de carpeta o de archivo de más de %2 bytes"},
    {VxText::InstallTooDeep, "the entry %1 is nested more than %2 levels deep",
     "l'entrée %1 est imbriquée sur plus de %2 niveaux",
     "la entrada %1 está anidada en más de %2 niveles"},
    {VxText::InstallDamaged, "the archive is damaged at the entry %1",
     "l'archive est endommagée à l'entrée %1",
     "el archivo comprimido está dañado en la entrada %1"},
    // Mod sets. French: U+00A0 before a colon, U+202F before ; ? ! and inside quotes.
    {VxText::SetsTickLastGame, "Tick the mods of the last game",
     "Cocher les mods de la dernière partie", "Marcar los mods de la última partida"},
    {VxText::SetsTickSet, "Tick a set", "Cocher un ensemble", "Marcar un conjunto"},
    {VxText::SetsSave, "Save the ticked mods as a set…",
     "Enregistrer les mods cochés comme ensemble…", "Guardar los mods marcados como conjunto…"},
    {VxText::SetsDelete, "Delete a set", "Supprimer un ensemble", "Eliminar un conjunto"},
    {VxText::SetsCopy, "Copy the ticked mods as text", "Copier les mods cochés en texte",
     "Copiar los mods marcados como texto"},
    {VxText::SetsPaste, "Tick mods from copied text", "Cocher les mods du texte copié",
     "Marcar los mods del texto copiado"},
    {VxText::SetsSavePrompt,
     "Name of the set:", "Nom de l'ensemble\u00a0:", "Nombre del conjunto:"},
    {VxText::SetsReplaceQuestion,
     "A set named \"%1\" already exists. Replace it with the ticked mods?",
     "Un ensemble nommé «\u202f%1\u202f» existe déjà. Le remplacer par les mods cochés\u202f?",
     "Ya existe un conjunto llamado «%1». ¿Quieres sustituirlo por los mods marcados?"},
    {VxText::SetsMissing, "These mods of the set are not installed, so they were not ticked:\n%1",
     "Ces mods de l'ensemble ne sont pas installés et n'ont donc pas été cochés\u00a0:\n%1",
     "Estos mods del conjunto no están instalados, así que no se han marcado:\n%1"},
    {VxText::SetsPasteEmpty, "The copied text names no mod, one folder name a line.",
     "Le texte copié ne nomme aucun mod, à raison d'un nom de dossier par ligne.",
     "El texto copiado no nombra ningún mod, con un nombre de carpeta por línea."},
    {VxText::SetsSaveFailed, "Could not save the sets in %1:\n%2",
     "Impossible d'enregistrer les ensembles dans %1\u00a0:\n%2",
     "No se pudieron guardar los conjuntos en %1:\n%2"},
    {VxText::SetsNameRefused, "This name cannot be used: %1",
     "Ce nom ne peut pas être utilisé\u00a0: %1", "No se puede usar este nombre: %1"},
    {VxText::SetsDamaged, "Parts of %1 cannot be used and were skipped:\n%2",
     "Certaines parties de %1 sont inutilisables et ont été ignorées\u00a0:\n%2",
     "Algunas partes de %1 no se pueden usar y se han omitido:\n%2"},
    {VxText::SetsLastGameFailed,
     "The mods of this game could not be recorded as the last game in %1:\n%2",
     "Les mods de cette partie n'ont pas pu être notés comme ceux de la dernière partie dans "
     "%1\u00a0:\n%2",
     "No se pudieron anotar los mods de esta partida como los de la última partida en %1:\n%2"},
    {VxText::SetsLocked, "another program is changing the sets; try again in a moment",
     "un autre programme modifie les ensembles\u202f; réessayez dans un instant",
     "otro programa está modificando los conjuntos; vuelve a intentarlo en un momento"},
    {VxText::SetsCannotLock, "cannot create %1", "impossible de créer %1", "no se puede crear %1"},
    {VxText::SetNameEmpty, "a set needs a name", "un ensemble doit avoir un nom",
     "un conjunto necesita un nombre"},
    {VxText::SetNameTooLong, "a set name holds at most %1 characters",
     "un nom d'ensemble compte au plus %1 caractères",
     "un nombre de conjunto tiene como máximo %1 caracteres"},
    {VxText::SetNameBracket, "a set name cannot hold ]", "un nom d'ensemble ne peut pas contenir ]",
     "un nombre de conjunto no puede contener ]"},
    {VxText::SetNameLineBreak, "a set name cannot hold a line break",
     "un nom d'ensemble ne peut pas contenir de saut de ligne",
     "un nombre de conjunto no puede contener saltos de línea"},
    {VxText::SetNameReserved, "the name \"%1\" is kept for the mods of the last game",
     "le nom «\u202f%1\u202f» est réservé aux mods de la dernière partie",
     "el nombre «%1» está reservado para los mods de la última partida"},
    {VxText::SetLineOutsideSet, "mod names before the first [set name] line belong to no set",
     "les noms de mods placés avant la première ligne [nom d'ensemble] n'appartiennent à aucun "
     "ensemble",
     "los nombres de mods anteriores a la primera línea [nombre del conjunto] no pertenecen a "
     "ningún conjunto"},
    {VxText::SetLineBadHeader, "a [set name] line needs a name and one closing ] at its end",
     "une ligne [nom d'ensemble] doit avoir un nom et un seul ] final",
     "una línea [nombre del conjunto] necesita un nombre y un solo ] al final"},
    {VxText::SetLineBadMod, "'%1' cannot be the name of a mod folder",
     "«\u202f%1\u202f» ne peut pas être le nom d'un dossier de mod",
     "«%1» no puede ser el nombre de una carpeta de mod"},
    {VxText::SetLineDuplicateSet, "a second set named '%1'; the first one is used",
     "un deuxième ensemble nommé «\u202f%1\u202f»\u202f; c'est le premier qui compte",
     "un segundo conjunto llamado «%1»; se usa el primero"},
    {VxText::SetLineDuplicateMod, "'%1' is named twice in this set; it is applied once",
     "«\u202f%1\u202f» figure deux fois dans cet ensemble\u202f; il n'est appliqué qu'une fois",
     "«%1» aparece dos veces en este conjunto; se aplica una sola vez"},
    {VxText::SetModUnsavable,
     "the mod folder '%1' cannot be kept in a set: its name begins with # or [ or a blank",
     "le dossier de mod «\u202f%1\u202f» ne peut pas figurer dans un ensemble\u00a0: son nom "
     "commence par #, [ ou une espace",
     "la carpeta de mod «%1» no puede figurar en un conjunto: su nombre empieza por #, [ o un "
     "espacio"},
    {VxText::SetFileNotRegular,
     "it is not a regular file (a link, a folder, a FIFO or a device), so its sets are ignored",
     "ce n'est pas un fichier ordinaire (un lien, un dossier, un FIFO ou un périphérique)\u202f; "
     "ses ensembles sont ignorés",
     "no es un archivo normal (un enlace, una carpeta, un FIFO o un dispositivo), así que se "
     "ignoran sus conjuntos"},
    {VxText::SetFileTooLarge, "it is larger than %1 MiB, so its sets are ignored",
     "il dépasse %1 Mio\u202f; ses ensembles sont ignorés",
     "supera los %1 MiB, así que se ignoran sus conjuntos"},
    {VxText::SetFileUnreadable, "it cannot be read (%1), so its sets are ignored",
     "il est illisible (%1)\u202f; ses ensembles sont ignorés",
     "no se puede leer (%1), así que se ignoran sus conjuntos"},
};

} // namespace

namespace {

// French print puts a thin no-break space before ; ? ! and inside « », and a no-break space
// before a colon, so that none of them can start a line of its own. The rows are written
// with plain spaces, which keeps them easy to edit; the spaces are set here.
QString withFrenchSpacing(QString text)
{
    static const std::pair<const char16_t *, const char16_t *> spacings[] = {
        {u" :", u"\u00A0:"}, {u" ;", u"\u202F;"}, {u" ?", u"\u202F?"},
        {u" !", u"\u202F!"}, {u"« ", u"«\u202F"}, {u" »", u"\u202F»"},
    };
    for (const auto &[plain, printed] : spacings)
        text.replace(QString::fromUtf16(plain), QString::fromUtf16(printed));
    return text;
}

QString textOf(VxText id, bool one)
{
    for (const Row &row : rows) {
        if (row.id != id)
            continue;
        const int language = activeLanguageIndex();
        if (language == 0)
            return withFrenchSpacing(
                QString::fromUtf8(one && row.frenchOne ? row.frenchOne : row.french));
        if (language == 2)
            return QString::fromUtf8(one && row.spanishOne ? row.spanishOne : row.spanish);
        return QString::fromUtf8(one && row.englishOne ? row.englishOne : row.english);
    }
    return QString();
}

} // namespace

QString launcherText(VxText id)
{
    return textOf(id, false);
}

QString launcherText(VxText id, qint64 count)
{
    // French counts zero as singular ("0 fichier"); English and Spanish only one.
    const bool one = count == 1 || (count == 0 && activeLanguageIndex() == 0);
    return textOf(id, one).replace(QLatin1String("%n"), QString::number(count));
}
