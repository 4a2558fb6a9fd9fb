#include "launch/launchplan.h"

#include "launch/feedback.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <future>
#include <map>
#include <memory>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

const QLatin1String tweakFolderName("Tweak");

bool isCancelled(const std::atomic_bool *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

QStringList subfoldersOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// The data overlay, on paper: the launch's own walk of each mod, and its rule that the first
// mod to lay a file keeps it.
class OverlayPlan
{
public:
    OverlayPlan(const QString &installDir, QList<VxPlannedFile> &files)
        : m_installDir(installDir), m_files(files)
    {
    }

    void addMod(int mod, const QString &modPath)
    {
        const qsizetype dataPrefix = m_installDir.size() + qsizetype(sizeof("/data/") - 1);
        for (const VxModDataFile &file : modDataFiles(m_installDir, modPath)) {
            const QFileInfo target(file.target);
            if (target.isDir())
                continue;
            const QString path = file.target.mid(dataPrefix);
            auto it = m_index.find(path);
            if (it == m_index.end()) {
                it = m_index.insert(path, int(m_files.size()));
                m_files.append({path, target.exists() || target.isSymLink(), {}, mod});
            }
            VxPlannedFile &planned = m_files[*it];
            if (!planned.mods.contains(mod))
                planned.mods.append(mod);
        }
    }

private:
    QString m_installDir;
    QList<VxPlannedFile> &m_files;
    QHash<QString, int> m_index;
};

// Writes down each change the compiler makes, for the mod and resource file at hand.
class EditRecorder : public VxTweakObserver
{
public:
    explicit EditRecorder(QList<VxPlannedEdit> &edits) : m_edits(edits) {}

    int mod = -1;
    QString resource;

    void fileStarted(const QString &fileName) override { m_file = fileName; }

    void elementChanged(ElementChange change, const VxResourceElement &element,
                        const QString &detail) override
    {
        using Op = VxPlannedEdit::Operation;
        record(change == ElementChange::Created  ? Op::Create
               : change == ElementChange::Copied ? Op::Copy
                                                 : Op::Keep,
               element, QString(), detail);
    }

    void fieldChanged(FieldChange change, const VxResourceElement &element, const QString &selector,
                      const QString &value, FieldEffect effect) override
    {
        using Op = VxPlannedEdit::Operation;
        using Effect = VxPlannedEdit::Effect;
        record(change == FieldChange::Set     ? Op::Set
               : change == FieldChange::Added ? Op::Add
                                              : Op::Remove,
               element, selector, value);
        m_edits.last().effect = effect == FieldEffect::Appended  ? Effect::Appended
                                : effect == FieldEffect::Cleared ? Effect::Cleared
                                                                 : Effect::Written;
        if (effect == FieldEffect::Appended)
            m_appended.append({m_edits.size() - 1, element});
    }

    // Once every mod is compiled: what each field that took appended text then reads.
    void readAppendedFields()
    {
        for (const auto &[index, element] : std::as_const(m_appended)) {
            VxPlannedEdit &edit = m_edits[index];
            edit.reads = readResourceField(element, edit.field);
        }
    }

private:
    void record(VxPlannedEdit::Operation operation, const VxResourceElement &element,
                const QString &field, const QString &value)
    {
        m_edits.append({mod,
                        resource,
                        m_file,
                        element.id(),
                        operation,
                        field,
                        value,
                        VxPlannedEdit::Effect::Written,
                        {}});
    }

    QList<VxPlannedEdit> &m_edits;
    QString m_file;
    QList<std::pair<qsizetype, VxResourceElement>> m_appended;
};

// Answers the compiler as the plan needs: the question is noted and answered Ignore (the
// answer that lets the launch go on), and the work stops when the caller calls it off.
class PlanFeedback : public VxSilentFeedback
{
public:
    PlanFeedback(const std::atomic_bool *cancel, QStringList &problems)
        : m_cancel(cancel), m_problems(problems)
    {
    }
    QString folder;

    bool cancelled() override { return isCancelled(m_cancel); }
    Answer ask(const QString &, const QString &text) override
    {
        m_problems.append(QDir::toNativeSeparators(folder) + ": "_L1 + text);
        return Answer::Ignore;
    }

private:
    const std::atomic_bool *m_cancel;
    QStringList &m_problems;
};

struct Documents
{
    VxResourceDocument pristine;
    VxResourceDocument working;
    VxResourceElement pristineTable;
    VxResourceElement workingTable;
};

// The two documents a launch compiles resource file X with: both hold the file as it stands,
// which is the game's own once every earlier launch has been undone, as every start does.
std::unique_ptr<Documents> loadDocuments(const QString &installDir, const QString &name,
                                         QString &error)
{
    const QString path = installDir + "/data/Tweak/"_L1 + name + ".xml"_L1;
    const QString &source = path;
    QFile file(source);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        error = QDir::toNativeSeparators(source) + ": cannot be read: "_L1 + file.errorString();
        return nullptr;
    }
    auto documents = std::make_unique<Documents>();
    // The pristine copy is parsed beside the working one; it is only read from then on.
    auto pristineParsed =
        std::async(std::launch::async, [&] { return documents->pristine.setContent(bytes); });
    const bool workingParsed = documents->working.setContent(bytes);
    if (!pristineParsed.get() || !workingParsed) {
        error = QDir::toNativeSeparators(source) + ": "_L1 + documents->working.errorString();
        return nullptr;
    }
    documents->pristineTable = documents->pristine.table();
    documents->workingTable = documents->working.table();
    return documents;
}

struct EditKey
{
    QString resource;
    QString element;
    QString field;
    friend bool operator<(const EditKey &a, const EditKey &b)
    {
        return std::tie(a.resource, a.element, a.field) < std::tie(b.resource, b.element, b.field);
    }
};

void appendOnce(QList<int> &mods, int mod)
{
    if (!mods.contains(mod))
        mods.append(mod);
}

QList<VxCollision> findCollisions(const VxLaunchPlan &plan)
{
    QList<VxCollision> collisions;
    for (const VxPlannedFile &file : plan.files) {
        if (file.mods.size() > 1)
            collisions.append({VxCollision::Kind::DataFile,
                               file.path,
                               {},
                               {},
                               {},
                               file.mods,
                               file.winner,
                               {},
                               {}});
    }

    using Op = VxPlannedEdit::Operation;
    // Made by a mod, and then meant to be made by others, who find it already there.
    std::map<EditKey, VxCollision> made;
    // Set by mods, by field selector: the mods, the values, and who set it last.
    struct Sets
    {
        QList<int> mods;
        QSet<QString> values;
        int last = -1;
        QList<int> kept; // whose text stays after the field's child elements
        bool lastAppended = false;
        QString reads;
    };
    std::map<EditKey, Sets> sets;
    // Touched by mods, by field name, when one of them removes it.
    struct Touches
    {
        QList<int> mods;
        bool removed = false;
        int last = -1;
    };
    std::map<EditKey, Touches> touches;

    for (const VxPlannedEdit &edit : plan.edits) {
        switch (edit.operation) {
        case Op::Create:
        case Op::Copy: {
            QStringList ids{edit.element};
            // Gadget.twk making Gadget-0 made its container Gadget as well.
            const QString base = edit.tweakFile.chopped(qMin<qsizetype>(4, edit.tweakFile.size()));
            if (edit.element == base + "-0"_L1)
                ids << base;
            for (const QString &id : ids) {
                VxCollision collision;
                collision.kind = VxCollision::Kind::ElementCreated;
                collision.resource = edit.resource;
                collision.element = id;
                collision.mods = {edit.mod};
                collision.winner = edit.mod;
                made.try_emplace({edit.resource, id, {}}, collision);
            }
            break;
        }
        case Op::Keep:
            // An element of the game's own is no one's to win.
            if (auto it = made.find({edit.resource, edit.element, {}}); it != made.end())
                appendOnce(it->second.mods, edit.mod);
            break;
        case Op::Set: {
            Sets &s = sets[{edit.resource, edit.element, edit.field}];
            appendOnce(s.mods, edit.mod);
            s.values.insert(edit.value);
            s.last = edit.mod;
            s.lastAppended = edit.effect == VxPlannedEdit::Effect::Appended;
            if (s.lastAppended) {
                appendOnce(s.kept, edit.mod);
                s.reads = edit.reads;
            }
            [[fallthrough]];
        }
        case Op::Add:
        case Op::Remove: {
            Touches &t = touches[{edit.resource, edit.element, fieldSelectorTag(edit.field)}];
            appendOnce(t.mods, edit.mod);
            t.removed = t.removed || edit.operation == Op::Remove;
            t.last = edit.mod;
            break;
        }
        }
    }

    for (const auto &[key, collision] : made) {
        if (collision.mods.size() > 1)
            collisions.append(collision);
    }
    QSet<QString> removedFields;
    for (const auto &[key, t] : touches) {
        if (!t.removed || t.mods.size() < 2)
            continue;
        collisions.append({VxCollision::Kind::FieldRemoved,
                           {},
                           key.resource,
                           key.element,
                           key.field,
                           t.mods,
                           t.last,
                           {},
                           {}});
        removedFields.insert(key.resource + u'\n' + key.element + u'\n' + key.field);
    }
    for (const auto &[key, s] : sets) {
        // The same value from everyone leaves nothing to win, unless each one's text stays
        // beside the others'; a removal is told above.
        if (s.mods.size() < 2 || (s.values.size() < 2 && s.kept.size() < 2) ||
            removedFields.contains(key.resource + u'\n' + key.element + u'\n' +
                                   fieldSelectorTag(key.field)))
            continue;
        collisions.append({VxCollision::Kind::FieldSet,
                           {},
                           key.resource,
                           key.element,
                           key.field,
                           s.mods,
                           s.lastAppended ? -1 : s.last,
                           s.kept,
                           s.kept.isEmpty() ? QString() : s.reads});
    }
    return collisions;
}

} // namespace

QList<int> VxLaunchPlan::collidingMods() const
{
    QList<int> result;
    for (const VxCollision &collision : collisions) {
        for (int mod : collision.mods)
            appendOnce(result, mod);
    }
    std::sort(result.begin(), result.end());
    return result;
}

VxLaunchPlan planLaunch(const QString &installDir, const QList<VxModRef> &mods,
                        const std::atomic_bool *cancel)
{
    VxLaunchPlan plan;
    plan.mods = mods;
    OverlayPlan overlay(installDir, plan.files);
    EditRecorder recorder(plan.edits);
    PlanFeedback feedback(cancel, plan.problems);
    std::map<QString, std::unique_ptr<Documents>> documents;
    bool stopped = false;

    for (int mod = 0; mod < mods.size() && !stopped; ++mod) {
        if (isCancelled(cancel))
            break;
        const QString &modPath = mods.at(mod).path;
        overlay.addMod(mod, modPath);

        const QString tweakDir = modPath + tweakFolderName;
        for (const QString &name : subfoldersOf(tweakDir)) {
            const QString resource = installDir + "/data/Tweak/"_L1 + name + ".xml"_L1;
            if (!QFileInfo(resource).isFile())
                continue;
            auto &slot = documents[name];
            if (!slot) {
                QString error;
                slot = loadDocuments(installDir, name, error);
                if (!slot) {
                    plan.problems.append(error + "; the launch stops here"_L1);
                    stopped = true;
                    break;
                }
            }
            VxTweakContext context;
            context.folderPath = tweakDir + u'/' + name;
            context.resourceName = name;
            context.working = slot->workingTable;
            context.pristine = slot->pristineTable;
            context.feedback = &feedback;
            context.observer = &recorder;
            recorder.mod = mod;
            recorder.resource = name;
            feedback.folder = context.folderPath;
            if (compileTweakFolder(context) == TweakOutcome::Abandoned)
                break;
        }
    }
    recorder.readAppendedFields();
    plan.cancelled = isCancelled(cancel);

    std::sort(plan.files.begin(), plan.files.end(),
              [](const VxPlannedFile &a, const VxPlannedFile &b) { return a.path < b.path; });
    plan.collisions = findCollisions(plan);
    return plan;
}
