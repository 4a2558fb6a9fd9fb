// The plan against the launch, on random small games and mod sets: each set is planned, then
// applied to the folder, and what the plan says must be what the launch did. A fixed seed runs
// with the suite; `tst_planproperty --seed N --count M` runs other sets (each set's own seed
// is printed with any disagreement, so `--seed S --count 1` repeats it).

#include "base/feedback.h"
#include "launch/journal.h"
#include "launch/launchplan.h"
#include "launch/launchsequence.h"
#include "resources/resourcestore.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <map>
#include <tuple>

using namespace Qt::StringLiterals;
using vxtest::Files;

namespace {

quint32 firstSeed = 23;
quint32 setCount = 300;
// vxmod is run on every n-th set for its exit code: a process per set would cost most of the
// time the test has.
constexpr int vxmodEvery = 25;

// Gadget is a container over Gadget-0, whose Link holds an element and whose Tint is a colour
// with text; Widget a bare element, MaxLives a declared value.
const QByteArray stuffXml =
    "<F><T><XIndexDetails id='id-0'><ContainerResources href='Gadget'/></XIndexDetails>"
    "<XContainerResourceDetails id='Gadget'><Value href='Gadget-0'/><Flags>80</Flags>"
    "</XContainerResourceDetails><XGadgetDetails id='Gadget-0'><Damage>10</Damage>"
    "<Tint r='1' g='2' b='3'>red</Tint><Sound>boom</Sound><Link><Value>boom.wav</Value></Link>"
    "</XGadgetDetails><XWidgetDetails id='Widget'><Speed>4</Speed></XWidgetDetails>"
    "<XIntResourceDetails id='MaxLives'><Value>3</Value></XIntResourceDetails></T></F>";

// Names that replace, add and share, and names like our backups and temporaries.
const QStringList dataNames{
    u"Art/a.txt"_s,        u"Art/b.txt"_s,          u"Art/new.txt"_s,
    u"Art/a.txt.backup"_s, u"Art/a.txt.vxpart"_s,   u"Art/Deep/c.txt"_s,
    u"Snd/s.wav"_s,        u"Snd/s.wav.backup"_s,   u"Snd/s.wav.backup.1"_s,
    u"Snd/s.wav.vxpart"_s, u"Snd/s.wav.1.vxpart"_s, u"Snd/s.wav.backup.vxpart"_s,
    u"Nowhere/x.txt"_s,
};
const QStringList tweakFiles{u"Gadget.twk"_s, u"Gadget-0.twk"_s, u"Widget.twk"_s,
                             u"Fan.twk"_s,    u"Hat.twk"_s,      u"resource.twk"_s};
const QStringList fields{u"Damage"_s, u"Tint"_s,    u"Link"_s, u"Sound"_s,
                         u"Tag"_s,    u"Link(1)"_s, u"Speed"_s};
// Valid and invalid values of every kind; none that reads back otherwise than written.
const QStringList values = u"5|x||@color 1 2 3|@color 1 2 3 4|@vector 1 2|@href Widget|@|"
                           u"@colour 1 2 3|@color 17 173"_s.split(u'|');
const QStringList headers{u"#class XFan"_s, u"#copy Gadget"_s, u"#copy Widget"_s,
                          u"#nodb"_s,       u"#flags 3"_s,     u"#flags 300"_s};
const QStringList declarations{u"#int"_s,     u"#float"_s, u"#string"_s, u"#color"_s,
                               u"MaxLives"_s, u"Lives"_s,  u"Widget"_s};

template <typename T> const T &pick(QRandomGenerator &rng, const QList<T> &list)
{
    return list.at(rng.bounded(int(list.size())));
}

QByteArray tweakText(QRandomGenerator &rng, const QString &file)
{
    QStringList lines;
    const int statements = rng.bounded(1, 5);
    if (file == "resource.twk"_L1) {
        for (int i = 0; i < statements; ++i) {
            const QString &line = pick(rng, declarations);
            lines << (line.startsWith(u'#') ? line : line + u'=' + pick(rng, values));
        }
    } else {
        for (int i = rng.bounded(3); i > 0; --i)
            lines << pick(rng, headers);
        for (int i = 0; i < statements; ++i) {
            const int mode = rng.bounded(10);
            lines << (mode < 2   ? u"+"_s
                      : mode < 4 ? u"-"_s
                                 : QString()) +
                         pick(rng, fields) + u'=' + pick(rng, values);
        }
    }
    return lines.join(u'\n').toUtf8() + '\n';
}

struct MixedSet
{
    Files files;       // below the folder: the game in "game/", the mods in "game/VexilMods/"
    QList<Files> mods; // each mod's files below its folder
};

MixedSet generate(quint32 seed)
{
    QRandomGenerator rng(seed);
    MixedSet set;
    Files game{{u"data/Tweak/Stuff.xml"_s, stuffXml},
               {u"data/Art/a.txt"_s, "game a"},
               {u"data/Art/Deep/c.txt"_s, "game c"},
               {u"data/Snd/s.wav"_s, "game s"}};
    if (rng.bounded(2))
        game.insert(u"data/Art/b.txt"_s, "game b");
    if (rng.bounded(2))
        game.insert(u"data/Snd/s.wav.backup"_s, "the game's own backup-like file");
    set.files = vxtest::under(u"game/"_s, game);
    const int mods = rng.bounded(2, 5);
    for (int m = 0; m < mods; ++m) {
        Files mod{{u"info.txt"_s, "name=M" + QByteArray::number(m)}};
        for (int i = rng.bounded(4); i > 0; --i) {
            const QString &name = pick(rng, dataNames);
            mod.insert(name, name.toUtf8() + " of M" + QByteArray::number(m));
        }
        for (int i = rng.bounded(3); i > 0; --i) {
            const QString &file = pick(rng, tweakFiles);
            mod.insert(u"Tweak/Stuff/"_s + file, tweakText(rng, file));
        }
        set.mods.append(mod);
        set.files.insert(vxtest::under(u"game/VexilMods/M%1/"_s.arg(m), mod));
    }
    return set;
}

// What the saved resource file reads for a field.
QString savedField(const QString &installDir, const QString &resource, const QString &element,
                   const QString &field)
{
    VxResourceDocument document;
    VxResourceElement table;
    if (!loadResourceDocument(document, table,
                              installDir + u"/data/Tweak/"_s + resource + u".xml"_s))
        return u"(does not load)"_s;
    return readResourceField(findResourceById(table, element), field);
}

// The saved form of a resource file, for telling an edit from a file saved unchanged.
QByteArray reserialised(const QByteArray &bytes)
{
    VxResourceDocument document;
    return document.setContent(bytes) ? document.toByteArray() : bytes;
}

// The disagreements between the plan and the launch of one set; empty when they agree.
QStringList disagreements(const QString &root, const MixedSet &set, bool runVxmod)
{
    QStringList found;
    const QString installDir = root + u"/game"_s;
    QList<VxModRef> refs;
    for (qsizetype m = 0; m < set.mods.size(); ++m)
        refs.append({installDir + u"/VexilMods/M%1/"_s.arg(m), u"M%1"_s.arg(m)});

    const VxLaunchPlan plan = planLaunch(installDir, refs);
    // The plan's exit code is 1 exactly when it lists collisions.
    if (runVxmod) {
        QStringList args{u"plan"_s, u"--json"_s, u"--game"_s, installDir};
        for (const VxModRef &ref : refs)
            args << ref.title;
        const vxtest::Run run = vxtest::runVxmod(args);
        const qsizetype listed =
            QJsonDocument::fromJson(run.out.toUtf8())[u"collisions"_s].toArray().size();
        if (run.exitCode != (listed > 0 ? 1 : 0) || listed != plan.collisions.size())
            found << u"vxmod plan exits %1 listing %2 collision(s)"_s.arg(run.exitCode).arg(listed);
    }

    const Files before = vxtest::readTree(installDir);
    VxSilentFeedback feedback; // answers the question Ignore, as the plan does
    if (const VxLaunchResult result = applyMods(installDir, refs, feedback);
        result != VxLaunchResult::Applied)
        return {u"the launch ended with %1"_s.arg(int(result))};
    const Files after = vxtest::readTree(installDir);
    const VxJournal journal = VxJournalFile::read(installDir);

    // Every file the plan lists holds its winner's bytes.
    QSet<QString> planned;
    for (const VxPlannedFile &file : plan.files) {
        const QString path = u"data/"_s + file.path;
        planned.insert(path);
        const QByteArray winner = set.mods.value(file.winner).value(file.path, "(no winner)");
        if (after.value(path) != winner)
            found << u"%1: the plan says %2's copy, the game holds \"%3\""_s.arg(
                path, plan.mods.value(file.winner).title, QString::fromUtf8(after.value(path)));
    }

    // Every field the plan sets holds what its last set leaves, and a field-set collision's
    // winner is that set's mod: the value, the text after the field's elements (no one
    // winner), or, for an invalid value, no colour, vector or reference. A later removal of a
    // field of that name collides on its own and leaves nothing to compare. An index selector
    // may make a field it does not select (Link(1) with no Link there makes the first), so
    // values are compared where plain names alone reach a field.
    using Key = std::tuple<QString, QString, QString>;
    std::map<Key, qsizetype> lastSet;
    QSet<QString> indexed; // resource, element and tag some index selector reaches
    for (qsizetype i = 0; i < plan.edits.size(); ++i) {
        const VxPlannedEdit &edit = plan.edits.at(i);
        const VxEditSite &at = plan.siteOf(edit);
        const QString tag = fieldSelectorTag(edit.field);
        if (tag != edit.field)
            indexed.insert(at.resource + u'/' + at.element + u'/' + tag);
        if (edit.operation == VxPlannedEdit::Operation::Set)
            lastSet[{at.resource, at.element, edit.field}] = i;
        if (edit.operation == VxPlannedEdit::Operation::Remove)
            std::erase_if(lastSet, [&](const auto &entry) {
                const auto &[resource, element, field] = entry.first;
                return resource == at.resource && element == at.element &&
                       fieldSelectorTag(field) == fieldSelectorTag(edit.field);
            });
    }
    for (const auto &[key, index] : lastSet) {
        const auto &[resource, element, field] = key;
        const VxPlannedEdit &edit = plan.edits.at(index);
        if (indexed.contains(resource + u'/' + element + u'/' + fieldSelectorTag(field)))
            continue;
        const QString saved = savedField(installDir, resource, element, field);
        const QString where = element + u'/' + field + u" ("_s + plan.siteOf(edit).tweakFile +
                              u" of "_s + plan.mods.value(edit.mod).title + u')';
        if (edit.effect == VxPlannedEdit::Effect::Written && saved != edit.value)
            found << u"%1: the plan sets \"%2\", the game reads \"%3\""_s.arg(where, edit.value,
                                                                              saved);
        if (const QString reads = plan.appendedReads.value(index);
            edit.effect == VxPlannedEdit::Effect::Appended && saved != reads)
            found << u"%1: the plan says it reads \"%2\", the game reads \"%3\""_s.arg(where, reads,
                                                                                       saved);
        if (edit.effect == VxPlannedEdit::Effect::Cleared && saved.startsWith(u'@'))
            found << u"%1: the plan clears it, the game reads \"%2\""_s.arg(where, saved);
    }
    for (const VxCollision &collision : plan.collisions) {
        const auto last = lastSet.find({collision.resource, collision.element, collision.field});
        if (collision.kind != VxCollision::Kind::FieldSet || last == lastSet.end())
            continue;
        const VxPlannedEdit &edit = plan.edits.at(last->second);
        if (collision.winner != (edit.effect == VxPlannedEdit::Effect::Appended ? -1 : edit.mod))
            found << u"%1/%2: %3 wins, but the last set is %4's"_s.arg(
                collision.element, collision.field, plan.mods.value(collision.winner).title,
                plan.mods.value(edit.mod).title);
    }

    // Every file the launch touched is in the plan: a file laid, the backup or temporary of
    // one (by the journal), or a resource file the plan edits. A resource file that a mod's
    // folder compiled into without a change is saved all the same: it counts as untouched.
    QSet<QString> edited;
    for (const VxPlannedEdit &edit : plan.edits)
        edited.insert(u"data/Tweak/"_s + plan.siteOf(edit).resource + u".xml"_s);
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (it.key().startsWith("data/Tweak/"_L1) && before.contains(it.key()) &&
            reserialised(before.value(it.key())) == reserialised(it.value()))
            edited.insert(it.key());
    }
    QSet<QString> ours;
    for (const VxJournalRecord &record : journal.records) {
        if (!record.fields.isEmpty() &&
            (planned.contains(record.fields.at(0)) || edited.contains(record.fields.at(0))))
            for (const QString &field : record.fields.sliced(1))
                ours.insert(field);
    }
    QSet<QString> paths(before.keyBegin(), before.keyEnd());
    paths.unite(QSet<QString>(after.keyBegin(), after.keyEnd()));
    for (const QString &path : std::as_const(paths)) {
        if (!path.startsWith("data/"_L1) || before.value(path) == after.value(path) ||
            planned.contains(path) || ours.contains(path) || edited.contains(path))
            continue;
        found << path + u": changed by the launch, not in the plan"_s;
    }

    // And the restore brings back the game, and only it.
    const VxRestoreReport report = restoreGame(installDir);
    if (!report.ok())
        found << u"the restore failed: "_s + report.failures.join(u"; "_s);
    if (vxtest::readTree(installDir) != before)
        found << u"the restore left the game folder changed"_s;
    return found;
}

} // namespace

class TestPlanProperty : public QObject
{
    Q_OBJECT
private slots:
    void planMatchesLaunch();
};

void TestPlanProperty::planMatchesLaunch()
{
    // A launch forces its journal and backups to disk; a RAM disk, where there is one, makes
    // that free, and the sets several times as fast. Each set prints its files when it fails.
    const QFileInfo shm(u"/dev/shm"_s);
    const QString pattern = (shm.isDir() && shm.isWritable() ? u"/dev/shm"_s : QDir::tempPath()) +
                            u"/tst_planproperty-XXXXXX"_s;
    int disagreeing = 0;
    for (quint32 i = 0; i < setCount; ++i) {
        const quint32 seed = firstSeed + i;
        const MixedSet set = generate(seed);
        const QTemporaryDir dir(pattern);
        QVERIFY(dir.isValid() && vxtest::writeTree(dir.path(), set.files));
        const QStringList found = disagreements(dir.path(), set, i % vxmodEvery == 0);
        if (found.isEmpty())
            continue;
        // The first few in full; a count of the rest.
        if (++disagreeing <= 3)
            qWarning().noquote() << u"set %1 (--seed %2 --count 1):"_s.arg(i).arg(seed) << set.files
                                 << u"\n    "_s + found.join(u"\n    "_s);
    }
    qInfo("%u random mod sets planned and launched, seeds %u to %u", setCount, firstSeed,
          firstSeed + setCount - 1);
    QVERIFY2(disagreeing == 0,
             qPrintable(u"%1 of %2 sets disagree"_s.arg(disagreeing).arg(setCount)));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    for (const auto &[option, value] :
         {std::pair{"--seed"_L1, &firstSeed}, std::pair{"--count"_L1, &setCount}}) {
        if (const qsizetype at = args.indexOf(option); at > 0) {
            bool ok = false;
            *value = args.value(at + 1).toUInt(&ok);
            if (!ok) {
                qCritical("--seed and --count take a whole number");
                return 2;
            }
            args.remove(at, 2);
        }
    }
    TestPlanProperty test;
    return QTest::qExec(&test, args);
}

#include "tst_planproperty.moc"
