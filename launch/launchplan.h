#pragma once

#include "launch/launchsequence.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

// What a launch of some mods would do to the game, worked out without touching the game
// folder: the data files each mod lays over the game, each edit its tweak files make, and
// where two mods reach for the same thing. Mods are named by their index in `mods`.

// A data file that at least one mod brings.
struct VxPlannedFile
{
    QString path;                  // below the data folder, with '/': "Art/Sky/backdrop.txt"
    bool replacesGameFile = false; // false: the game has no such file and the mods add it
    QList<int> mods;               // every mod holding it, in list order
    int winner = -1;               // the mod whose copy the game sees
};

// Where an edit is made. The edits of a tweak file come element after element, so each of
// these serves a run of them.
struct VxEditSite
{
    QString resource;  // X, naming data/Tweak/X.xml
    QString tweakFile; // the file name in the mod's Tweak/X folder
    QString element;   // the id of the resource element edited
};

struct VxPlannedEdit
{
    enum class Operation : quint8 {
        Create, // a "#class" or a declaration makes the element; value: its tag
        Copy,   // "#copy" makes it; value: the id copied
        Keep,   // the file would make it, but it is already there; value: the tag or id meant
        Set,
        Add,
        Remove,
    };

    // What a Set or an Add leaves in the field.
    enum class Effect : quint8 {
        Written,  // the value
        Appended, // text after the field's child elements; it reads as all its text joined
        Cleared,  // nothing: the value is invalid, and a set clears the field's colour,
                  // vector and reference (making the field if missing), an add appends an
                  // empty field
    };

    int mod = -1;
    int site = -1; // in VxLaunchPlan::sites
    Operation operation = Operation::Set;
    Effect effect = Effect::Written;
    QString field; // the field selector; empty for Create, Copy and Keep
    QString value;
};
// Kept small, and moved as bytes when the list grows: a mod may make 100,000 edits, and every
// byte of a record is memory that a plan touches and an apply does not.
Q_DECLARE_TYPEINFO(VxPlannedEdit, Q_RELOCATABLE_TYPE);

struct VxCollision
{
    enum class Kind {
        DataFile,       // several mods hold one data file
        ElementCreated, // several mods make one element; the first one's stands
        FieldSet,       // several mods set one field to different values; the last one's stays
        FieldRemoved,   // one mod removes a field that another sets, adds or removes too
    };

    Kind kind = Kind::DataFile;
    QString path;     // DataFile: the file below the data folder
    QString resource; // the others: X of X.xml, the element's id and the field
    QString element;
    QString field;   // empty for ElementCreated
    QList<int> mods; // in list order
    int winner = -1; // FieldSet: -1 when the last set appends text, so no one value wins
    // FieldSet on a field that holds child elements: every mod whose text stays in it, in
    // list order, and what the field reads once the launch is done.
    QList<int> kept;
    QString reads;
};

struct VxLaunchPlan
{
    QList<VxModRef> mods;
    QList<VxPlannedFile> files; // by path
    QList<VxPlannedEdit> edits; // in the order the launch makes them
    QList<VxEditSite> sites;
    // By index in edits, for each Appended one: what the field reads once the whole launch
    // is done.
    QHash<qsizetype, QString> appendedReads;
    QList<VxCollision> collisions;
    // What would stop or question the launch: a resource file that does not load (the
    // launch stops there, and so does the plan), the "Error loading file" question (the plan
    // goes on as after Ignore). Native separators.
    QStringList problems;
    bool cancelled = false; // the work was called off before the end; the rest is partial

    const VxEditSite &siteOf(const VxPlannedEdit &edit) const { return sites.at(edit.site); }

    // The mods named by at least one collision.
    QList<int> collidingMods() const;
};

// Plans a launch of mods in list order on installDir, reading only. The resource files
// are compiled in memory by the tweak compiler, as a launch would compile them, starting
// from the game's own files as the launch does. cancel, when given and set, ends the work
// early (between files) with cancelled set.
VxLaunchPlan planLaunch(const QString &installDir, const QList<VxModRef> &mods,
                        const std::atomic_bool *cancel = nullptr);
