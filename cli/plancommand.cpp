// vxmod plan: what a launch of the mods would change, file by file and field by field, and
// where two of them reach for the same thing. Reads the game folder, writes nothing.

#include "cli/commands.h"

#include "launch/launchplan.h"
#include "mods/modinfo.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int exitClean = 0;
constexpr int exitCollisions = 1;
constexpr int exitUsage = 2;

int usageError(const QString &message)
{
    QTextStream(stderr) << "vxmod: " << message << "\n"
                        << "Usage: vxmod plan [--game DIR] [--json] MOD...\n";
    return exitUsage;
}

QString operationName(VxPlannedEdit::Operation operation)
{
    switch (operation) {
    case VxPlannedEdit::Operation::Create:
        return u"create"_s;
    case VxPlannedEdit::Operation::Copy:
        return u"copy"_s;
    case VxPlannedEdit::Operation::Keep:
        return u"keep"_s;
    case VxPlannedEdit::Operation::Set:
        return u"set"_s;
    case VxPlannedEdit::Operation::Add:
        return u"add"_s;
    case VxPlannedEdit::Operation::Remove:
        return u"remove"_s;
    }
    return QString();
}

QString kindName(VxCollision::Kind kind)
{
    switch (kind) {
    case VxCollision::Kind::DataFile:
        return u"data-file"_s;
    case VxCollision::Kind::ElementCreated:
        return u"element-created"_s;
    case VxCollision::Kind::FieldSet:
        return u"field-set"_s;
    case VxCollision::Kind::FieldRemoved:
        return u"field-removed"_s;
    }
    return QString();
}

QString modName(const VxLaunchPlan &plan, int mod)
{
    return mod >= 0 && mod < plan.mods.size() ? plan.mods.at(mod).title : QString();
}

QStringList modNames(const VxLaunchPlan &plan, const QList<int> &mods)
{
    QStringList names;
    for (int mod : mods)
        names << modName(plan, mod);
    return names;
}

QJsonArray jsonNames(const VxLaunchPlan &plan, const QList<int> &mods)
{
    return QJsonArray::fromStringList(modNames(plan, mods));
}

QByteArray planJson(const VxLaunchPlan &plan, const QString &installDir)
{
    QJsonArray mods;
    for (const VxModRef &mod : plan.mods)
        mods.append(
            QJsonObject{{u"name"_s, mod.title}, {u"path"_s, QDir::toNativeSeparators(mod.path)}});
    QJsonArray files;
    for (const VxPlannedFile &file : plan.files)
        files.append(QJsonObject{{u"path"_s, file.path},
                                 {u"action"_s, file.replacesGameFile ? u"replace"_s : u"add"_s},
                                 {u"mods"_s, jsonNames(plan, file.mods)},
                                 {u"winner"_s, modName(plan, file.winner)}});
    QJsonArray edits;
    for (qsizetype index = 0; index < plan.edits.size(); ++index) {
        const VxPlannedEdit &edit = plan.edits.at(index);
        const VxEditSite &site = plan.siteOf(edit);
        QJsonObject object{{u"mod"_s, modName(plan, edit.mod)},
                           {u"resource"_s, site.resource + u".xml"_s},
                           {u"file"_s, site.tweakFile},
                           {u"element"_s, site.element},
                           {u"operation"_s, operationName(edit.operation)},
                           {u"value"_s, edit.value}};
        if (!edit.field.isEmpty())
            object.insert(u"field"_s, edit.field);
        if (edit.effect == VxPlannedEdit::Effect::Cleared) {
            object.insert(u"effect"_s, u"cleared"_s);
        } else if (edit.effect == VxPlannedEdit::Effect::Appended) {
            object.insert(u"effect"_s, u"appended"_s);
            object.insert(u"reads"_s, plan.appendedReads.value(index));
        }
        edits.append(object);
    }
    QJsonArray collisions;
    for (const VxCollision &collision : plan.collisions) {
        QJsonObject object{{u"kind"_s, kindName(collision.kind)},
                           {u"mods"_s, jsonNames(plan, collision.mods)}};
        if (collision.winner >= 0)
            object.insert(u"winner"_s, modName(plan, collision.winner));
        if (!collision.kept.isEmpty()) {
            object.insert(u"kept"_s, jsonNames(plan, collision.kept));
            object.insert(u"reads"_s, collision.reads);
        }
        if (collision.kind == VxCollision::Kind::DataFile) {
            object.insert(u"path"_s, collision.path);
        } else {
            object.insert(u"resource"_s, collision.resource + u".xml"_s);
            object.insert(u"element"_s, collision.element);
            if (!collision.field.isEmpty())
                object.insert(u"field"_s, collision.field);
        }
        collisions.append(object);
    }
    const QJsonObject root{{u"game"_s, QDir::toNativeSeparators(installDir)},
                           {u"mods"_s, mods},
                           {u"files"_s, files},
                           {u"edits"_s, edits},
                           {u"collisions"_s, collisions},
                           {u"problems"_s, QJsonArray::fromStringList(plan.problems)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString describeCollision(const VxLaunchPlan &plan, const VxCollision &collision)
{
    QString what;
    switch (collision.kind) {
    case VxCollision::Kind::DataFile:
        what = u"data file %1"_s.arg(collision.path);
        break;
    case VxCollision::Kind::ElementCreated:
        what = u"element %1 of %2.xml created"_s.arg(collision.element, collision.resource);
        break;
    case VxCollision::Kind::FieldSet:
        what = u"field %1 of %2 in %3.xml set"_s.arg(collision.field, collision.element,
                                                     collision.resource);
        break;
    case VxCollision::Kind::FieldRemoved:
        what = u"field %1 of %2 in %3.xml removed and edited"_s.arg(
            collision.field, collision.element, collision.resource);
        break;
    }
    what += u" by "_s + modNames(plan, collision.mods).join(u", "_s) + u": "_s;
    if (!collision.kept.isEmpty())
        what += u"it holds child elements, so the text of %1 stays and it reads \"%2\""_s.arg(
            modNames(plan, collision.kept).join(u", "_s), collision.reads);
    if (collision.winner >= 0)
        what += (collision.kept.isEmpty() ? QString() : u"; "_s) + modName(plan, collision.winner) +
                u" wins"_s;
    return what;
}

// The end of an edit's line, "  [mod, file]\n": the same for every edit of one file, so made
// once for them all.
struct LineTail
{
    int mod = -1;
    QString file;
    QString text;
};

// Appended piece by piece: a mod may make 100,000 edits, and a string per edit, or a text
// stream's work per piece, cost more than working the edits out.
void appendEdit(QString &text, const VxLaunchPlan &plan, qsizetype index, LineTail &tail)
{
    using Op = VxPlannedEdit::Operation;
    const VxPlannedEdit &edit = plan.edits.at(index);
    if (const QString &file = plan.siteOf(edit).tweakFile;
        tail.mod != edit.mod || tail.file != file) {
        tail.mod = edit.mod;
        tail.file = file;
        tail.text = "  ["_L1 + modName(plan, edit.mod) + ", "_L1 + file + "]\n"_L1;
    }
    // The line nearly every edit makes, copied in at once.
    if ((edit.operation == Op::Set || edit.operation == Op::Add) &&
        edit.effect == VxPlannedEdit::Effect::Written) {
        const QStringView head(edit.operation == Op::Set ? u"      set " : u"      add ");
        const QStringView equals(u" = ");
        const qsizetype at = text.size();
        text.resize(at + head.size() + edit.field.size() + equals.size() + edit.value.size() +
                    tail.text.size());
        QChar *out = text.data() + at;
        for (const QStringView piece : {head, QStringView(edit.field), equals,
                                        QStringView(edit.value), QStringView(tail.text)}) {
            std::copy(piece.cbegin(), piece.cend(), out);
            out += piece.size();
        }
        return;
    }
    switch (edit.operation) {
    case Op::Create:
        text += "      create as "_L1 + edit.value;
        break;
    case Op::Copy:
        text += "      create as a copy of "_L1 + edit.value;
        break;
    case Op::Keep:
        text += "      create: there already, so not made again"_L1;
        break;
    case Op::Set:
    case Op::Add:
        text += QStringView(edit.operation == Op::Set ? u"      set " : u"      add ");
        text += edit.field;
        text += QStringView(u" = ");
        text += edit.value;
        if (edit.effect == VxPlannedEdit::Effect::Appended)
            text += u"  (it holds child elements: the text goes after them, and after the "
                    u"launch it reads \"%1\")"_s.arg(plan.appendedReads.value(index));
        else if (edit.effect == VxPlannedEdit::Effect::Cleared)
            text += edit.operation == Op::Set
                        ? "  (not a valid value: writes nothing, and clears the field's colour, "
                          "vector and reference)"_L1
                        : "  (not a valid value: adds an empty field)"_L1;
        break;
    case Op::Remove:
        text += QStringView(u"      remove ");
        text += edit.field;
        break;
    }
    text += tail.text;
}

// Grouped for a person reading a terminal: data files, then each resource file, each element
// in the order the launch first reaches it, and its edits in the order they are made. A '!'
// in the first column marks what a collision names. Written to device a stretch at a time:
// the text of 100,000 edits is megabytes, and holding all of it, and then its encoding,
// touched more memory than the plan itself.
void writePlanText(const VxLaunchPlan &plan, QIODevice &device)
{
    QSet<QString> collided; // "path" or "resource\nelement"
    for (const VxCollision &collision : plan.collisions)
        collided.insert(collision.kind == VxCollision::Kind::DataFile
                            ? collision.path
                            : collision.resource + u'\n' + collision.element);

    QString text;
    constexpr qsizetype stretch = 1 << 18;
    text.reserve(stretch + 4096);
    QTextStream out(&text);
    const auto writeOut = [&] {
        out.flush();
        device.write(text.toUtf8());
        text.resize(0);
    };
    out << "Mods, in launch order: "
        << modNames(plan,
                    [&] {
                        QList<int> all;
                        for (int i = 0; i < plan.mods.size(); ++i)
                            all << i;
                        return all;
                    }())
               .join(u", "_s)
        << "\n";

    if (!plan.files.isEmpty()) {
        out << "\nData files\n";
        for (const VxPlannedFile &file : plan.files) {
            out << (collided.contains(file.path) ? "! " : "  ") << file.path << "  "
                << (file.replacesGameFile ? "replaced by " : "added by ")
                << modNames(plan, file.mods).join(u", "_s);
            if (file.mods.size() > 1)
                out << " (" << modName(plan, file.winner) << " wins)";
            out << "\n";
        }
    }

    QStringList resources;
    QHash<QString, QStringList> elements; // by resource, in first-reached order
    // By "resource\nelement": the runs of consecutive edits of it, [first, last). Edits come
    // element after element, so an element edited 100,000 times is one run.
    QHash<QString, QList<std::pair<qsizetype, qsizetype>>> runsOf;
    for (qsizetype i = 0; i < plan.edits.size();) {
        const VxEditSite &site = plan.siteOf(plan.edits.at(i));
        qsizetype end = i + 1;
        while (end < plan.edits.size()) {
            const VxEditSite &next = plan.siteOf(plan.edits.at(end));
            if (&next != &site && (next.element != site.element || next.resource != site.resource))
                break;
            ++end;
        }
        if (!elements.contains(site.resource))
            resources << site.resource;
        auto &runs = runsOf[site.resource + u'\n' + site.element];
        if (runs.isEmpty())
            elements[site.resource] << site.element;
        runs.append({i, end});
        i = end;
    }
    LineTail tail;
    for (const QString &resource : std::as_const(resources)) {
        out << "\n" << resource << ".xml\n";
        for (const QString &element : elements.value(resource)) {
            const QString key = resource + u'\n' + element;
            out << (collided.contains(key) ? "! " : "  ") << element << "\n";
            out.flush();
            for (const auto &[first, last] : runsOf.value(key)) {
                for (qsizetype i = first; i < last; ++i) {
                    appendEdit(text, plan, i, tail);
                    if (text.size() >= stretch)
                        writeOut();
                }
            }
        }
    }

    if (!plan.collisions.isEmpty()) {
        out << "\nCollisions\n";
        for (const VxCollision &collision : plan.collisions)
            out << "  " << describeCollision(plan, collision) << "\n";
    }
    if (!plan.problems.isEmpty()) {
        out << "\nProblems\n";
        for (const QString &problem : plan.problems)
            out << "  " << problem << "\n";
    }
    writeOut();
}

} // namespace

int runPlanCommand(const QStringList &args)
{
    bool json = false;
    QStringList rest;
    bool optionsEnded = false;
    for (const QString &arg : args) {
        if (!optionsEnded && arg == "--"_L1)
            optionsEnded = true;
        if (!optionsEnded && (arg == "--json"_L1 || arg == "-json"_L1)) {
            json = true;
            continue;
        }
        if (!optionsEnded && (arg.startsWith("--on-error"_L1) || arg.startsWith("-on-error"_L1)))
            return usageError(u"plan takes no --on-error: it asks nothing and changes nothing"_s);
        rest << arg;
    }

    QString installDir;
    QList<VxModInfo> infos;
    if (const int code = parseModArguments(u"plan"_s, rest, installDir, infos); code >= 0)
        return code;
    if (infos.isEmpty())
        return usageError(u"name at least one mod"_s);

    QList<VxModRef> mods;
    for (const VxModInfo &info : std::as_const(infos))
        mods.append({info.path, info.folderName});
    const VxLaunchPlan plan = planLaunch(installDir, mods);

    QTextStream out(stdout);
    if (json) {
        out << planJson(plan, installDir);
    } else {
        QFile file;
        if (file.open(stdout, QIODevice::WriteOnly))
            writePlanText(plan, file);
        QTextStream(stderr) << "vxmod plan: "
                            << counted(plan.collisions.size(), "collision", "collisions")
                            << " among " << counted(plan.mods.size(), "mod", "mods") << "\n";
    }
    return plan.collisions.isEmpty() ? exitClean : exitCollisions;
}
