#pragma once

#include <QByteArray>
#include <QString>

// What the game reads from launcher.cfg in its folder; the defaults are those of a first
// start, when no file exists yet.
struct VxLauncherSettings
{
    quint16 width = 640;
    quint16 height = 480;
    quint16 refreshRate = 60;
    bool noMovies = false;
    bool noSounds = false;
    bool portForwarding = true;
    bool manualCamera = false;
    bool allowScreenshots = false;
    bool telnet = false;

    friend bool operator==(const VxLauncherSettings &, const VxLauncherSettings &) = default;
};

// A real launcher.cfg is one short line; reading stops after this many bytes so that a huge
// or runaway file cannot stall the start-up.
inline constexpr qint64 launcherConfigReadLimit = 64 * 1024;

// The settings the words of text give, over the defaults. Words are separated by any white
// space; unknown words are ignored; a flag can only be switched on.
VxLauncherSettings parseLauncherSettings(const QByteArray &text);
// The one line the game expects, without a line end.
QByteArray formatLauncherSettings(const VxLauncherSettings &settings);

// The defaults when the file is missing or unreadable.
VxLauncherSettings readLauncherSettings(const QString &path);
// Replaces the file as a whole or not at all, or, where its folder allows no new file, writes
// it in place. False (and error, if given) when it could not.
bool writeLauncherSettings(const QString &path, const VxLauncherSettings &settings,
                           QString *error = nullptr);

// "1024x768" → 1024 and 768; "60Hz" → 60. A part that is no number gives 0.
int resolutionWidth(const QString &text);
int resolutionHeight(const QString &text);
int refreshValue(const QString &text);
