#include "ui/launcherconfig.h"

#include <QFile>
#include <QSaveFile>

namespace {

quint16 numberAfter(const QString &word, qsizetype prefixLength)
{
    bool ok = false;
    const ushort value = QStringView(word).mid(prefixLength).toUShort(&ok, 10);
    return ok ? value : 0;
}

void applyWord(const QString &word, VxLauncherSettings &settings)
{
    if (word.startsWith(u"/W:"))
        settings.width = numberAfter(word, 3);
    else if (word.startsWith(u"/H:"))
        settings.height = numberAfter(word, 3);
    else if (word.startsWith(u"/REFRESH:"))
        settings.refreshRate = numberAfter(word, 9);
    else if (word == u"/NOMOVIES")
        settings.noMovies = true;
    else if (word == u"/NOSOUND")
        settings.noSounds = true;
    else if (word == u"/ENABLEPORTFORWARDING")
        settings.portForwarding = true;
    else if (word == u"/ALLOWSCREENSHOTS")
        settings.allowScreenshots = true;
    else if (word == u"/MANUALCAMERA")
        settings.manualCamera = true;
    else if (word == u"/TELNET")
        settings.telnet = true;
}

} // namespace

VxLauncherSettings parseLauncherSettings(const QByteArray &text)
{
    VxLauncherSettings settings;
    // Latin-1 maps every byte to one character, so a binary file decodes without surprises
    // and no token of ours can be formed by accident from a broken multi-byte sequence.
    const QString decoded = QString::fromLatin1(text);
    qsizetype start = -1;
    for (qsizetype i = 0; i <= decoded.size(); ++i) {
        const bool space = i == decoded.size() || decoded.at(i).isSpace();
        if (space && start >= 0) {
            applyWord(decoded.mid(start, i - start), settings);
            start = -1;
        } else if (!space && start < 0) {
            start = i;
        }
    }
    return settings;
}

QByteArray formatLauncherSettings(const VxLauncherSettings &settings)
{
    QByteArray line = "/W:" + QByteArray::number(settings.width) +
                      " /H:" + QByteArray::number(settings.height) +
                      " /REFRESH:" + QByteArray::number(settings.refreshRate);
    if (settings.noMovies)
        line += " /NOMOVIES";
    if (settings.noSounds)
        line += " /NOSOUND";
    if (settings.portForwarding)
        line += " /ENABLEPORTFORWARDING";
    if (settings.allowScreenshots)
        line += " /ALLOWSCREENSHOTS";
    if (settings.manualCamera)
        line += " /MANUALCAMERA";
    if (settings.telnet)
        line += " /TELNET";
    return line;
}

VxLauncherSettings readLauncherSettings(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseLauncherSettings(file.read(launcherConfigReadLimit));
}

bool writeLauncherSettings(const QString &path, const VxLauncherSettings &settings, QString *error)
{
    // The game takes every choice from this one line, so a crash or a full disk halfway
    // through must leave the previous file in place rather than a cut-off line.
    QSaveFile file(path);
    // A game folder the player may not write to can still hold a launcher.cfg they may
    // write (a common per-file permission on Windows installs): there the file is
    // rewritten in place, as the game's own launcher always did.
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(formatLauncherSettings(settings));
        if (file.commit())
            return true;
    }
    if (error)
        *error = file.errorString();
    return false;
}

int resolutionWidth(const QString &text)
{
    const qsizetype x = text.indexOf(QLatin1Char('x'));
    return QStringView(text).left(x < 0 ? text.size() : x).toInt();
}

int resolutionHeight(const QString &text)
{
    const qsizetype x = text.indexOf(QLatin1Char('x'));
    return x < 0 ? 0 : QStringView(text).mid(x + 1).toInt();
}

int refreshValue(const QString &text)
{
    return QStringView(text).chopped(qMin<qsizetype>(2, text.size())).toInt();
}
