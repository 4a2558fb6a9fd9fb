#include "demo/standin/gamestate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <algorithm>

using namespace Qt::StringLiterals;

QStringList standinSwitchNames()
{
    return {u"NOMOVIES"_s,         u"NOSOUND"_s,      u"ENABLEPORTFORWARDING"_s,
            u"ALLOWSCREENSHOTS"_s, u"MANUALCAMERA"_s, u"TELNET"_s};
}

namespace {

// "/W:1024" style words; a value that is not a positive number leaves the default alone
// and the word is reported as unknown, so a damaged file is visible rather than guessed at.
bool takeNumber(const QString &word, QLatin1String prefix, int &target)
{
    if (!word.startsWith(prefix))
        return false;
    bool ok = false;
    const int value = word.mid(prefix.size()).toInt(&ok);
    if (!ok || value <= 0 || value > 65535)
        return false;
    target = value;
    return true;
}

} // namespace

VxStandinSettings parseLauncherConfig(const QString &text)
{
    VxStandinSettings settings;
    settings.fileFound = true;
    settings.fileText = text;
    const QStringList known = standinSwitchNames();
    const QStringList words = text.split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (takeNumber(word, "/W:"_L1, settings.width) ||
            takeNumber(word, "/H:"_L1, settings.height) ||
            takeNumber(word, "/REFRESH:"_L1, settings.refreshRate))
            continue;
        if (word.startsWith(u'/') && known.contains(word.mid(1))) {
            if (!settings.switchesOn.contains(word.mid(1)))
                settings.switchesOn.append(word.mid(1));
            continue;
        }
        settings.unknownWords.append(word);
    }
    // Report switches in their canonical order whatever order the file used.
    std::sort(settings.switchesOn.begin(), settings.switchesOn.end(),
              [&known](const QString &a, const QString &b) {
                  return known.indexOf(a) < known.indexOf(b);
              });
    return settings;
}

namespace {

QString valueTextOf(const QXmlStreamAttributes &attributes, bool &isAttributeValue)
{
    auto has = [&attributes](const char *name) {
        return attributes.hasAttribute(QLatin1String(name));
    };
    auto get = [&attributes](const char *name) {
        return attributes.value(QLatin1String(name)).toString();
    };
    isAttributeValue = true;
    if (has("r") && has("g") && has("b")) {
        QString text = u"@color "_s + get("r") + u' ' + get("g") + u' ' + get("b");
        if (has("a"))
            text += u' ' + get("a");
        return text;
    }
    if (has("x") && has("y")) {
        QString text = u"@vector "_s + get("x") + u' ' + get("y");
        if (has("z"))
            text += u' ' + get("z");
        return text;
    }
    if (has("href"))
        return u"@href "_s + get("href");
    isAttributeValue = false;
    return {};
}

// Reads one field element whose start tag the reader stands on, with the fields nested in
// it, leaving the reader on its end tag.
void readField(QXmlStreamReader &xml, const VxStandinValue &owner, const QString &path,
               QList<VxStandinValue> &values)
{
    bool fromAttributes = false;
    const QString attributeText = valueTextOf(xml.attributes(), fromAttributes);
    const qsizetype slot = values.size();
    values.append(owner);
    values[slot].field = path;
    QString text;
    bool hasChildren = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            hasChildren = true;
            readField(xml, owner, path + u'/' + xml.name().toString(), values);
        } else if (token == QXmlStreamReader::Characters) {
            text += xml.text();
        } else if (token == QXmlStreamReader::EndElement) {
            break;
        }
    }
    // A field that only groups other fields has no value of its own worth a row.
    if (fromAttributes)
        values[slot].value = attributeText;
    else if (hasChildren && text.trimmed().isEmpty())
        values.remove(slot);
    else
        values[slot].value = hasChildren ? text.trimmed() : text;
}

} // namespace

bool readResourceValues(const QString &path, const QString &fileName, QList<VxStandinValue> &values,
                        QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QXmlStreamReader xml(&file);
    // Document element, then the resource table as its first child element.
    if (xml.readNextStartElement() && xml.readNextStartElement()) {
        while (xml.readNextStartElement()) {
            VxStandinValue owner;
            owner.file = fileName;
            owner.id = xml.attributes().value("id"_L1).toString();
            owner.tag = xml.name().toString();
            while (xml.readNextStartElement())
                readField(xml, owner, xml.name().toString(), values);
        }
    }
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError()) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    return true;
}

VxStandinState readGameState(const QString &installDir, const QStringList &arguments)
{
    VxStandinState state;
    state.arguments = arguments;
    state.workingDirectory = QDir(installDir).absolutePath();

    QFile config(installDir + u"/launcher.cfg"_s);
    if (config.open(QIODevice::ReadOnly))
        state.settings = parseLauncherConfig(QString::fromLatin1(config.readAll()));
    else if (config.exists())
        state.problems.append(u"launcher.cfg: "_s + config.errorString());

    const QDir tweakDir(installDir + u"/data/Tweak"_s);
    const QStringList resourceFiles =
        tweakDir.entryList({u"*.xml"_s}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : resourceFiles) {
        QString error;
        if (!readResourceValues(tweakDir.filePath(name), name, state.values, &error))
            state.problems.append(name + u": "_s + error);
    }

    const QString dataRoot = installDir + u"/data"_s;
    if (!QFileInfo(dataRoot).isDir())
        state.problems.append(
            u"no data folder in %1; the game starts from its install folder"_s.arg(
                QDir::toNativeSeparators(state.workingDirectory)));
    QDirIterator it(dataRoot, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        VxStandinFile entry;
        entry.relativePath = u"data/"_s + QDir(dataRoot).relativeFilePath(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            state.problems.append(entry.relativePath + u": "_s + file.errorString());
            continue;
        }
        entry.size = file.size();
        QCryptographicHash hash(QCryptographicHash::Sha1);
        hash.addData(&file);
        entry.sha1Hex = hash.result().toHex();
        state.files.append(entry);
    }
    std::sort(state.files.begin(), state.files.end(),
              [](const VxStandinFile &a, const VxStandinFile &b) {
                  return a.relativePath < b.relativePath;
              });
    return state;
}

namespace {

QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void record(QByteArray &out, std::initializer_list<QString> fields)
{
    bool first = true;
    for (const QString &field : fields) {
        if (!first)
            out += '\t';
        out += escaped(field);
        first = false;
    }
    out += '\n';
}

} // namespace

QByteArray snapshotText(const VxStandinState &state)
{
    QByteArray out;
    record(out, {u"snapshot"_s, u"1"_s});
    record(out, {u"argc"_s, QString::number(state.arguments.size())});
    for (const QString &argument : state.arguments)
        record(out, {u"arg"_s, argument});
    record(out, {u"cwd"_s, state.workingDirectory});
    const VxStandinSettings &s = state.settings;
    if (s.fileFound)
        record(out, {u"config"_s, s.fileText});
    else
        record(out, {u"config-missing"_s});
    record(out, {u"setting"_s, u"width"_s, QString::number(s.width)});
    record(out, {u"setting"_s, u"height"_s, QString::number(s.height)});
    record(out, {u"setting"_s, u"refresh"_s, QString::number(s.refreshRate)});
    for (const QString &name : standinSwitchNames())
        record(out, {u"switch"_s, name, s.switchesOn.contains(name) ? u"on"_s : u"off"_s});
    for (const QString &word : s.unknownWords)
        record(out, {u"unknown"_s, word});
    for (const VxStandinFile &file : state.files)
        record(out, {u"file"_s, file.relativePath, QString::fromLatin1(file.sha1Hex)});
    for (const VxStandinValue &v : state.values)
        record(out, {u"value"_s, v.file, v.id, v.field, v.value});
    for (const QString &problem : state.problems)
        record(out, {u"problem"_s, problem});
    return out;
}

bool writeSnapshot(const QString &path, const VxStandinState &state, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(snapshotText(state)) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
