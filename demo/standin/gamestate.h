#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the stand-in game takes from launcher.cfg. Anything missing keeps the game's own
// default; words it does not know are kept so they can be shown.
struct VxStandinSettings
{
    bool fileFound = false;
    QString fileText;
    int width = 640;
    int height = 480;
    int refreshRate = 60;
    QStringList switchesOn;
    QStringList unknownWords;
};

// The switches in the order the launcher writes them.
QStringList standinSwitchNames();
VxStandinSettings parseLauncherConfig(const QString &text);

// One field of one resource element, as value text ("@color r g b", "@href id", plain text).
// Fields nested inside a field are named with a '/' path ("Projectile/Speed").
struct VxStandinValue
{
    QString file; // "Units.xml"
    QString id;
    QString tag;
    QString field;
    QString value;
};

// Reads the resource elements of one resource file. False with error set when the file
// cannot be read or is not well-formed; values then holds what came before the fault.
bool readResourceValues(const QString &path, const QString &fileName, QList<VxStandinValue> &values,
                        QString *error);

struct VxStandinFile
{
    QString relativePath; // below the install folder, "data/Art/Units/tank.pgm"
    qint64 size = 0;
    QByteArray sha1Hex;
};

struct VxStandinState
{
    QStringList arguments;
    QString workingDirectory;
    VxStandinSettings settings;
    QList<VxStandinValue> values;
    QList<VxStandinFile> files;
    QStringList problems;
};

// Everything the game sees when started in installDir.
VxStandinState readGameState(const QString &installDir, const QStringList &arguments);

// The line-based record tests compare: one tab-separated record per line, with backslash,
// tab, CR and LF in texts escaped as \\, \t, \r and \n.
QByteArray snapshotText(const VxStandinState &state);
bool writeSnapshot(const QString &path, const VxStandinState &state, QString *error);
