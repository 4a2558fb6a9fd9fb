#include "launch/launchplan.h"

#include "base/feedback.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

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
    explicit EditRecorder(VxLaunchPlan &plan) : m_plan(plan) {}

    int mod = -1;
    QString resource;

    void fileStarted(const QString &fileName) override
    {
        m_file = fileName;
        m_siteKnown = false;
    }

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
               element, selector, value,
               effect == FieldEffect::Appended  ? Effect::Appended
               : effect == FieldEffect::Cleared ? Effect::Cleared
                                                : Effect::Written);
        if (effect == FieldEffect::Appended)
            m_appended.append({m_plan.edits.size() - 1, element});
    }

    // Once every mod is compiled: what each field that took appended text then reads.
    void readAppendedFields()
    {
        for (const auto &[index, element] : std::as_const(m_appended))
            m_plan.appendedReads.insert(index,
                                        readResourceField(element, m_plan.edits.at(index).field));
    }

private:
    void record(VxPlannedEdit::Operation operation, const VxResourceElement &element,
                const QString &field, const QString &value,
                VxPlannedEdit::Effect effect = VxPlannedEdit::Effect::Written)
    {
        // A file edits one element field after field: its id is read, and its site made,
        // once for the run.
        if (!m_siteKnown || !(element == m_element)) {
            m_element = element;
            m_siteKnown = true;
            const VxEditSite site{resource, m_file, element.id()};
            if (m_site < 0 || !sameSite(m_plan.sites.at(m_site), site)) {
                m_site = int(m_plan.sites.size());
                m_plan.sites.append(site);
            }
        }
        // Values repeat from edit to edit ("1", "64", "@href ..."): an equal one shares the
        // string kept already, and the compile's own copy goes at once.
        if (!(value == m_value))
            m_value = value;
        m_plan.edits.append({mod, m_site, operation, effect, field, m_value});
    }

    static bool sameSite(const VxEditSite &a, const VxEditSite &b)
    {
        return a.resource == b.resource && a.tweakFile == b.tweakFile && a.element == b.element;
    }

    VxLaunchPlan &m_plan;
    QString m_file;
    QList<std::pair<qsizetype, VxResourceElement>> m_appended;
    VxResourceElement m_element;
    int m_site = -1;
    bool m_siteKnown = false; // m_site is this file's, for m_element
    QString m_value; // the last edit's
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
    QString path;
    VxResourceDocument pristine;
    VxResourceDocument working;
    VxResourceElement pristineTable;
    VxResourceElement workingTable;
    bool pristineParsed = false;

    // What "#copy" reads: the working document keeps what it first held of every element it
    // changes, and the file is parsed a second time only if that could not tell.
    VxResourceElement pristineById(const QString &id)
    {
        VxResourceElement found;
        if (findOriginalById(working, id, found))
            return found;
        if (!pristineParsed) {
            pristineParsed = true;
            loadResourceDocument(pristine, pristineTable, path);
        }
        return findResourceById(pristineTable, id);
    }
};

// The documents a launch compiles resource file X with, read from the file as it stands, which
// is the game's own once every earlier launch has been undone, as every start does.
std::unique_ptr<Documents> loadDocuments(const QString &installDir, const QString &name,
                                         QString &error)
{
    auto documents = std::make_unique<Documents>();
    documents->path = installDir + "/data/Tweak/"_L1 + name + ".xml"_L1;
    if (!loadResourceDocument(documents->working, documents->workingTable, documents->path)) {
        error = documents->working.errorString();
        return nullptr;
    }
    // Only looked at: the edits are told as they are made, and the document is never saved.
    documents->working.dropUnreadText();
    documents->working.keepOriginals();
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
    friend bool operator==(const EditKey &a, const EditKey &b) = default;
    friend size_t qHash(const EditKey &key, size_t seed = 0)
    {
        return qHashMulti(seed, key.resource, key.element, key.field);
    }
};

// The mods that edit one field: one or two nearly always, so kept without an allocation.
using FieldMods = QVarLengthArray<int, 2>;

template <typename Mods> void appendOnce(Mods &mods, int mod)
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

    // Elements and fields collide only between mods.
    if (std::all_of(plan.edits.cbegin(), plan.edits.cend(), [&](const VxPlannedEdit &edit) {
            return edit.mod == plan.edits.constFirst().mod;
        }))
        return collisions;

    using Op = VxPlannedEdit::Operation;
    // Made by a mod, and then meant to be made by others, who find it already there.
    std::map<EditKey, VxCollision> made;
    // Set by mods, by field selector: the mods, whether they set more than one value, and who
    // set it last. Hashed: a mod may set 100,000 fields, and an ordered map of them cost more
    // than compiling them.
    struct Sets
    {
        FieldMods mods;
        QString value; // the first one set
        bool differs = false;
        int last = -1;
        QList<int> kept; // whose text stays after the field's child elements
        bool lastAppended = false;
        QString reads;
    };
    QHash<EditKey, Sets> sets;
    // Touched by mods, by field name, when one of them removes it.
    struct Touches
    {
        FieldMods mods;
        bool removed = false;
        int last = -1;
    };
    QHash<EditKey, Touches> touches;

    // Only the fields of an element that several mods edit can collide. A mod may set 100,000
    // fields of an element no other mod touches: those need no table.
    const auto editsField = [](const VxPlannedEdit &edit) {
        return edit.operation == Op::Set || edit.operation == Op::Add ||
               edit.operation == Op::Remove;
    };
    // The edits of one file share their site: told apart without comparing strings.
    const auto sameElement = [&](const VxPlannedEdit *a, const VxPlannedEdit &b) {
        if (!a)
            return false;
        if (a->site == b.site)
            return true;
        const VxEditSite &x = plan.siteOf(*a), &y = plan.siteOf(b);
        return x.element == y.element && x.resource == y.resource;
    };
    QSet<EditKey> sharedElements;
    QHash<EditKey, int> firstEditor;
    const VxPlannedEdit *previous = nullptr;
    for (const VxPlannedEdit &edit : plan.edits) {
        if (!editsField(edit) || (sameElement(previous, edit) && previous->mod == edit.mod))
            continue;
        previous = &edit;
        const VxEditSite &site = plan.siteOf(edit);
        const EditKey element{site.resource, site.element, {}};
        if (const auto it = firstEditor.constFind(element); it == firstEditor.cend())
            firstEditor.insert(element, edit.mod);
        else if (*it != edit.mod)
            sharedElements.insert(element);
    }
    previous = nullptr;
    bool shared = false;

    for (qsizetype index = 0; index < plan.edits.size(); ++index) {
        const VxPlannedEdit &edit = plan.edits.at(index);
        const VxEditSite &site = plan.siteOf(edit);
        if (editsField(edit)) {
            if (!sameElement(previous, edit))
                shared = sharedElements.contains({site.resource, site.element, {}});
            previous = &edit;
            if (!shared)
                continue;
        }
        switch (edit.operation) {
        case Op::Create:
        case Op::Copy: {
            QStringList ids{site.element};
            // Gadget.twk making Gadget-0 made its container Gadget as well.
            const QString base = site.tweakFile.chopped(qMin<qsizetype>(4, site.tweakFile.size()));
            if (site.element == base + "-0"_L1)
                ids << base;
            for (const QString &id : ids) {
                VxCollision collision;
                collision.kind = VxCollision::Kind::ElementCreated;
                collision.resource = site.resource;
                collision.element = id;
                collision.mods = {edit.mod};
                collision.winner = edit.mod;
                made.try_emplace({site.resource, id, {}}, collision);
            }
            break;
        }
        case Op::Keep:
            // An element of the game's own is no one's to win.
            if (auto it = made.find({site.resource, site.element, {}}); it != made.end())
                appendOnce(it->second.mods, edit.mod);
            break;
        case Op::Set: {
            Sets &s = sets[{site.resource, site.element, edit.field}];
            if (s.mods.isEmpty())
                s.value = edit.value;
            s.differs = s.differs || edit.value != s.value;
            appendOnce(s.mods, edit.mod);
            s.last = edit.mod;
            s.lastAppended = edit.effect == VxPlannedEdit::Effect::Appended;
            if (s.lastAppended) {
                appendOnce(s.kept, edit.mod);
                s.reads = plan.appendedReads.value(index);
            }
            [[fallthrough]];
        }
        case Op::Add:
        case Op::Remove: {
            Touches &t = touches[{site.resource, site.element, fieldSelectorTag(edit.field)}];
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
    // Told in the order of their keys, as for the elements made.
    const auto sorted = [](const auto &table, auto collides) {
        std::vector<std::pair<EditKey, typename std::decay_t<decltype(table)>::mapped_type>> found;
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            if (collides(it.value()))
                found.emplace_back(it.key(), it.value());
        }
        std::sort(found.begin(), found.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        return found;
    };
    QSet<QString> removedFields;
    for (const auto &[key, t] : sorted(touches, [](const Touches &entry) {
             return entry.removed && entry.mods.size() >= 2;
         })) {
        collisions.append({VxCollision::Kind::FieldRemoved,
                           {},
                           key.resource,
                           key.element,
                           key.field,
                           QList<int>(t.mods.cbegin(), t.mods.cend()),
                           t.last,
                           {},
                           {}});
        removedFields.insert(key.resource + u'\n' + key.element + u'\n' + key.field);
    }
    for (const auto &[key, s] :
         sorted(sets, [](const Sets &entry) { return entry.mods.size() >= 2; })) {
        // The same value from everyone leaves nothing to win, unless each one's text stays
        // beside the others'; a removal is told above.
        if ((!s.differs && s.kept.size() < 2) ||
            removedFields.contains(key.resource + u'\n' + key.element + u'\n' +
                                   fieldSelectorTag(key.field)))
            continue;
        collisions.append({VxCollision::Kind::FieldSet,
                           {},
                           key.resource,
                           key.element,
                           key.field,
                           QList<int>(s.mods.cbegin(), s.mods.cend()),
                           s.lastAppended ? -1 : s.last,
                           QList<int>(s.kept.cbegin(), s.kept.cend()),
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
    EditRecorder recorder(plan);
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
            context.pristineById = [documents = slot.get()](const QString &id) {
                return documents->pristineById(id);
            };
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
