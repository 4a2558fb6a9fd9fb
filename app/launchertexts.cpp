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
