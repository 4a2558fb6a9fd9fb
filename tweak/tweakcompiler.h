#pragma once

#include "resources/resourcestore.h"

#include <QString>
#include <QStringList>

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

// Reads and normalises one tweak file. False when it cannot be opened.
bool readTweakFile(const QString &path, QList<VxTweakLine> &lines);

// Everything one mod resource folder X is compiled with.
struct VxTweakContext
{
    QString folderPath;        // the mod resource folder
    QString resourceName;      // X, naming X.xml
    VxResourceElement working; // resource table of the working document (edited)
    VxResourceElement pristine; // resource table of the pristine document (only read)
    VxFeedback *feedback = nullptr;
    VxTweakDiagnostics *diagnostics = nullptr; // optional
};

// Compiles every "*.twk" of the folder into the working document, in name order.
// Finished: save the working document. Abandoned: end the launch without saving it.
TweakOutcome compileTweakFolder(const VxTweakContext &context);

// The number of "*.twk" files compileTweakFolder would visit in folderPath.
int countTweakFiles(const QString &folderPath);
