#pragma once

#include "resources/resourcestore.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class VxFeedback;

enum class TweakOutcome { Finished, SkipRest, Abandoned };

// Receives what a tweak file does that its author would want to know about. The launch
// passes none; `vxmod check` collects them. line is 1-based in the original file, 0 when
// it cannot be known.
class VxTweakDiagnostics
{
public:
    virtual ~VxTweakDiagnostics() = default;
    virtual void problem(const QString &filePath, int line, const QString &message) = 0;
    // What works as the rules say but may surprise the author; no fault of the file.
    virtual void warning(const QString &filePath, int line, const QString &message)
    {
        problem(filePath, line, message);
    }
};

// Told of every change a tweak file makes to the working document, as it is made (`vxmod plan`
// and the dialog's collision marks listen; a launch does not). Every statement that reaches
// the document is told, also one whose value is invalid (it still clears or makes a field);
// an edit of a missing element or a field that is not there is not.
class VxTweakObserver
{
public:
    enum class ElementChange {
        Created, // "#class" or a declaration made it; detail: its tag
        Copied,  // "#copy" made it; detail: the id of the pristine element copied
        Kept,    // a "#class", "#copy" or declaration found it already there and made nothing
    };
    enum class FieldChange { Set, Added, Removed };
    // What a statement left in the field.
    enum class FieldEffect {
        Written,  // the value is in the field (Removed: the field is gone)
        Appended, // text set on a field that starts with a child element: it goes in after
                  // the children, and the field reads as all its text joined
        Cleared,  // the value is invalid and nothing is written, but a set has cleared the
                  // field's value attributes (making the field when it was missing), and an
                  // add has appended an empty field
    };

    virtual ~VxTweakObserver() = default;
    // The changes told from here on come from this file of the folder.
    virtual void fileStarted(const QString &fileName) { Q_UNUSED(fileName); }
    // element is the one the file's statements go on to edit (a container's data element).
    virtual void elementChanged(ElementChange change, const VxResourceElement &element,
                                const QString &detail) = 0;
    // value is empty for Removed.
    virtual void fieldChanged(FieldChange change, const VxResourceElement &element,
                              const QString &selector, const QString &value,
                              FieldEffect effect) = 0;
};

// The comment, blank and escape rules, applied to a whole file's text.
QString normalizeTweakText(const QString &raw);

// One statement line of a normalised tweak file and the line of the original file it
// starts on (0 when unknown).
struct VxTweakLine
{
    QString text;
    int sourceLine = 0;
};

// Reads and normalises one tweak file. False when it cannot be opened; error, if given,
// says why. Without sourceLines every line's sourceLine is 0: a compile that reports to
// nobody has no use for them, and carrying them doubles the normalising's writes.
bool readTweakFile(const QString &path, QList<VxTweakLine> &lines, QString *error = nullptr,
                   bool sourceLines = true);

// The text of a tweak file's bytes: a byte-order mark picks its Unicode encoding, otherwise
// UTF-8 when the bytes are valid UTF-8, otherwise the local 8-bit encoding (Latin-1 where
// that is UTF-8). CR LF reads as LF.
QString decodeTweakBytes(const QByteArray &bytes);

// Normalises decoded tweak text and splits it into statement lines, each with the line of
// raw it starts on. The text is cut at its first U+0000.
QList<VxTweakLine> tweakStatementLines(const QString &raw);

// Everything one mod resource folder X is compiled with.
struct VxTweakContext
{
    QString folderPath;         // the mod resource folder
    QString resourceName;       // X, naming X.xml
    VxResourceElement working;  // resource table of the working document (edited)
    VxResourceElement pristine; // resource table of the pristine document (only read)
    VxFeedback *feedback = nullptr;
    VxTweakDiagnostics *diagnostics = nullptr; // optional
    VxTweakObserver *observer = nullptr;       // optional
    // Finds a pristine element by id in place of pristine, when given: a launch answers from
    // its working document for as long as that can tell what the game's elements held.
    std::function<VxResourceElement(const QString &id)> pristineById = nullptr;
};

// Compiles every "*.twk" of the folder into the working document, in name order.
// Finished: save the working document. Abandoned: end the launch without saving it.
TweakOutcome compileTweakFolder(const VxTweakContext &context);

// Where an element tweak file's header leaves its statements: the element they edit (null
// when there is none) and the index of the first statement line, or the person's answer to
// the "Error loading file" question when the header defined nothing.
struct VxTweakTarget
{
    TweakOutcome outcome = TweakOutcome::Finished; // SkipRest or Abandoned after the question
    VxResourceElement element;
    qsizetype firstStatement = 0;
};

// Reads the header directives of the element tweak file fileName (base name baseName) and
// finds, creates or copies the element its statements edit.
VxTweakTarget resolveElementTarget(const VxTweakContext &context, const VxResourceElement &index,
                                   const QString &baseName, const QString &fileName,
                                   const QList<VxTweakLine> &lines);

// Compiles one tweak file's statement lines (the declaration file when its base name is
// "resource") into the working document.
TweakOutcome compileTweakFile(const VxTweakContext &context, const VxResourceElement &index,
                              const QString &fileName, const QList<VxTweakLine> &lines);

// The number of "*.twk" files compileTweakFolder would visit in folderPath.
int countTweakFiles(const QString &folderPath);
