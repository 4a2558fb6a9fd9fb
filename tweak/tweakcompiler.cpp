#include "tweak/tweakcompiler.h"

#include "texts/launchertexts.h"

#include "base/feedback.h"
#include "texts/stringtable.h"

#include <QDir>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString containerTag = u"XContainerResourceDetails"_s;
const QString containerSection = u"ContainerResources"_s;
const QString hrefPrefix = u"@href "_s;

// The typed resources a declaration file can make, by the directive that picks each. The
// directives are tested in this order, as prefixes.
struct ResourceType
{
    QLatin1StringView directive;
    QLatin1StringView tag;
    QLatin1StringView section;
};
constexpr ResourceType resourceTypes[] = {
    {"#int"_L1, "XIntResourceDetails"_L1, "IntResources"_L1},
    {"#uint"_L1, "XUintResourceDetails"_L1, "UintResources"_L1},
    {"#float"_L1, "XFloatResourceDetails"_L1, "FloatResources"_L1},
    {"#string"_L1, "XStringResourceDetails"_L1, "StringResources"_L1},
    {"#vector"_L1, "XVectorResourceDetails"_L1, "VectorResources"_L1},
    {"#color"_L1, "XColorResourceDetails"_L1, "ColorResources"_L1},
};

constexpr QLatin1StringView headerDirectives[] = {"#flags"_L1, "#class"_L1, "#copy"_L1, "#nodb"_L1};

VxFeedback &feedbackOf(const VxTweakContext &context)
{
    static VxSilentFeedback silent;
    return context.feedback ? *context.feedback : silent;
}

// Tells the author of one file what went wrong, when someone is listening.
class Reporter
{
public:
    Reporter(const VxTweakContext &context, const QString &fileName)
        : m_diagnostics(context.diagnostics), m_path(context.folderPath + u'/' + fileName)
    {
    }
    void operator()(int line, const QString &message) const
    {
        if (m_diagnostics)
            m_diagnostics->problem(m_path, line, message);
    }
    void warn(int line, const QString &message) const
    {
        if (m_diagnostics)
            m_diagnostics->warning(m_path, line, message);
    }
    explicit operator bool() const { return m_diagnostics != nullptr; }

private:
    VxTweakDiagnostics *m_diagnostics;
    QString m_path;
};

bool isHeaderDirective(const QString &line)
{
    for (const auto directive : headerDirectives) {
        if (line.startsWith(directive))
            return true;
    }
    return false;
}

// "#flags N": the number after the directive and its blank, in the signed 16-bit range;
// -1 when it cannot be read.
int flagsNumber(const QString &line)
{
    bool ok = false;
    const short number = QStringView(line).mid(7).toShort(&ok, 10);
    return ok ? number : -1;
}

bool usableFlags(int flags)
{
    return flags >= 0 && flags <= 255;
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

// A statement line split at its first "=".
struct Statement
{
    QString key;
    QString value;

    explicit Statement(const QString &line)
    {
        const qsizetype eq = line.indexOf(u'=');
        key = eq < 0 ? line : line.left(eq);
        value = eq < 0 ? u""_s : line.mid(eq + 1);
    }
};

// The element and field operations a tweak file's own lines ask for, told to the observer
// when they took place. Containers and index entries the compiler adds for bookkeeping go
// untold: they come with the element whose creation is told.
void observeElement(const VxTweakContext &context, VxTweakObserver::ElementChange change,
                    const VxResourceElement &element, const QString &detail)
{
    if (context.observer && !element.isNull())
        context.observer->elementChanged(change, element, detail);
}

using FieldEffect = VxTweakObserver::FieldEffect;

// What the statement left in the document; nothing when it changed nothing.
std::optional<FieldEffect> editField(const VxTweakContext &context,
                                     VxTweakObserver::FieldChange change,
                                     const VxResourceElement &element, const QString &selector,
                                     const QString &value)
{
    using Change = VxTweakObserver::FieldChange;
    const VxValueKind kind = classifyResourceValue(value);
    bool appends = false;
    const bool done = change == Change::Set ? setResourceField(element, selector, value, &appends)
                      : change == Change::Added ? addResourceField(element, selector, value)
                                                : removeResourceField(element, selector);
    if (element.isNull())
        return std::nullopt;
    std::optional<FieldEffect> effect;
    if (done)
        effect = appends ? FieldEffect::Appended : FieldEffect::Written;
    // An invalid value lands nowhere, yet its statement has cleared or made the field.
    else if (change != Change::Removed && kind == VxValueKind::Invalid &&
             !selectResourceField(element, fieldSelectorTag(selector)).isNull())
        effect = FieldEffect::Cleared;
    if (effect && context.observer)
        context.observer->fieldChanged(change, element, selector,
                                       change == Change::Removed ? QString() : value, *effect);
    return effect;
}

void reportAppended(const Reporter &report, int line, const VxResourceElement &element,
                    const QString &selector)
{
    report.warn(line, u"field %1 holds child elements, so the text is appended after them and "
                      u"the field reads as all its text joined: %2"_s.arg(
                          quoted(selector), quoted(readResourceField(element, selector))));
}

void reportValue(const Reporter &report, int line, const QString &value)
{
    if (report && classifyResourceValue(value) == VxValueKind::Invalid)
        report(line,
               u"value %1 begins with \"@\" but is no \"@color r g b [a]\", "
               u"\"@vector x y [z]\" or \"@href id\"; nothing is written"_s.arg(quoted(value)));
}

VxResourceElement findPristineById(const VxTweakContext &context, const QString &id)
{
    if (context.pristineById)
        return context.pristineById(id);
    return findResourceById(context.pristine, id);
}

// A container for baseName, referring to the data element baseName-0 that follows it.
void makeContainer(const VxTweakContext &context, const QString &baseName, int flags)
{
    const VxResourceElement container =
        createResourceElement(context.working, baseName, containerTag);
    setResourceField(container, u"Value"_s, hrefPrefix + baseName + u"-0"_s);
    setResourceField(container, u"Name"_s, baseName);
    setResourceField(container, u"Flags"_s, usableFlags(flags) ? QString::number(flags) : u"80"_s);
}

VxTweakTarget resolveExisting(const VxTweakContext &context, const VxResourceElement &found,
                              const QString &baseName, const QList<VxTweakLine> &lines,
                              const Reporter &report)
{
    VxTweakTarget target;
    VxResourceElement flagsElement;
    if (found.tagName() == containerTag) {
        flagsElement = found;
        const QString value = readResourceField(found, u"Value"_s);
        target.element = value.startsWith(hrefPrefix)
                             ? findResourceById(context.working, value.mid(hrefPrefix.size()))
                             : found;
    } else {
        target.element = found;
        // A data element's flags live on its container: Gadget-0 belongs to Gadget.
        flagsElement = findResourceById(context.working, baseName.left(baseName.size() - 2));
    }

    qsizetype i = 0;
    bool kept = false;
    for (; i < lines.size() && lines.at(i).text.startsWith(u'#'); ++i) {
        const VxTweakLine &line = lines.at(i);
        // The file meant to make the element; the one already there is what it edits.
        const bool makes = line.text.startsWith("#class"_L1) || line.text.startsWith("#copy"_L1);
        if (makes && !kept) {
            kept = true;
            observeElement(context, VxTweakObserver::ElementChange::Kept, target.element,
                           line.text.mid(line.text.startsWith("#class"_L1) ? 7 : 6));
        }
        if (line.text.startsWith("#flags"_L1)) {
            const int flags = flagsNumber(line.text);
            if (!usableFlags(flags))
                report(line.sourceLine, u"flags must be a number from 0 to 255; the line is "
                                        u"ignored"_s);
            else if (flagsElement.isNull())
                report(line.sourceLine, u"element %1 has no container to take the flags; the "
                                        u"line is ignored"_s.arg(quoted(baseName)));
            else
                editField(context, VxTweakObserver::FieldChange::Set, flagsElement, u"Flags"_s,
                          QString::number(flags));
        } else if (!isHeaderDirective(line.text)) {
            report(line.sourceLine, u"unknown directive %1 is ignored"_s.arg(quoted(line.text)));
        }
    }
    target.firstStatement = i;
    return target;
}

} // namespace

VxTweakTarget resolveElementTarget(const VxTweakContext &context, const VxResourceElement &index,
                                   const QString &baseName, const QString &fileName,
                                   const QList<VxTweakLine> &lines)
{
    const Reporter report(context, fileName);
    const VxResourceElement found = findResourceById(context.working, baseName);
    if (!found.isNull())
        return resolveExisting(context, found, baseName, lines, report);

    VxTweakTarget target;
    bool nodb = false;
    int flags = -1;
    bool defined = false;
    qsizetype i = 0;
    for (; i < lines.size(); ++i) {
        const QString &text = lines.at(i).text;
        const int line = lines.at(i).sourceLine;
        if (!text.startsWith(u'#'))
            break;
        if (!defined && text.startsWith("#class"_L1)) {
            const QString className = text.mid(7);
            // Checked before anything is made, so a bad name leaves no half-built container.
            if (!isValidXmlName(className)) {
                report(line, u"class name %1 is not a valid XML name; nothing is created"_s.arg(
                                 quoted(className)));
                continue;
            }
            if (nodb) {
                target.element = createResourceElement(context.working, baseName, className);
            } else {
                makeContainer(context, baseName, flags);
                target.element =
                    createResourceElement(context.working, baseName + u"-0"_s, className);
                addResourceField(index, containerSection, hrefPrefix + baseName);
            }
            observeElement(context, VxTweakObserver::ElementChange::Created, target.element,
                           className);
            if (target.element.isNull())
                report(line, u"class name %1 cannot be written in the resource file's encoding; "
                             u"no element is created"_s.arg(quoted(className)));
            defined = true;
        } else if (!defined && text.startsWith("#copy"_L1)) {
            const QString sourceId = text.mid(6);
            VxResourceElement source = findPristineById(context, sourceId);
            if (source.isNull()) {
                report(line, u"#copy: the game's %1.xml has no element %2"_s.arg(
                                 context.resourceName, quoted(sourceId)));
                continue;
            }
            if (nodb) {
                target.element = importResourceElement(context.working, source, baseName);
            } else {
                if (source.tagName() == containerTag) {
                    const QString value = readResourceField(source, u"Value"_s);
                    if (value.startsWith(hrefPrefix))
                        source = findPristineById(context, value.mid(hrefPrefix.size()));
                }
                makeContainer(context, baseName, flags);
                target.element = importResourceElement(context.working, source, baseName + u"-0"_s);
                addResourceField(index, containerSection, hrefPrefix + baseName);
            }
            observeElement(context, VxTweakObserver::ElementChange::Copied, target.element,
                           sourceId);
            defined = true;
        } else if (text.startsWith("#nodb"_L1) || text.startsWith("#flags"_L1)) {
            if (defined) {
                report(line, u"%1 comes after the element was created and changes nothing"_s.arg(
                                 quoted(text)));
            } else if (text.startsWith("#nodb"_L1)) {
                nodb = true;
            } else {
                flags = flagsNumber(text);
                if (!usableFlags(flags))
                    report(line, u"flags must be a number from 0 to 255; the container gets "
                                 u"80"_s);
            }
        } else if (defined && isHeaderDirective(text)) {
            report(line, u"the element is already created; %1 changes nothing"_s.arg(quoted(text)));
        } else if (!isHeaderDirective(text)) {
            report(line, u"unknown directive %1 is ignored"_s.arg(quoted(text)));
        }
    }

    if (!defined) {
        const int line = i < lines.size() ? lines.at(i).sourceLine
                                          : (lines.isEmpty() ? 0 : lines.constLast().sourceLine);
        report(line, u"element %1 does not exist and no \"#class\" or \"#copy\" creates it; "
                     u"a launch stops here to ask whether to go on"_s.arg(quoted(baseName)));
        const VxFeedback::Answer answer = feedbackOf(context).ask(
            tableString(16), launcherText(VxText::ElementFileFailed).arg(fileName));
        target.outcome =
            answer == VxFeedback::Answer::Abort ? TweakOutcome::Abandoned : TweakOutcome::SkipRest;
        return target;
    }
    target.firstStatement = i;
    return target;
}

namespace {

TweakOutcome compileElementFile(const VxTweakContext &context, const VxResourceElement &index,
                                const QString &baseName, const QString &fileName,
                                const QList<VxTweakLine> &lines)
{
    const VxTweakTarget target = resolveElementTarget(context, index, baseName, fileName, lines);
    if (target.outcome != TweakOutcome::Finished)
        return target.outcome;

    const Reporter report(context, fileName);
    if (target.element.isNull() && target.firstStatement < lines.size())
        report(lines.at(target.firstStatement).sourceLine,
               u"the element these statements edit does not exist (a reference leads nowhere); "
               u"they have no effect"_s);

    for (qsizetype i = target.firstStatement; i < lines.size(); ++i) {
        const VxTweakLine &line = lines.at(i);
        Statement statement(line.text);
        const bool add = statement.key.startsWith(u'+');
        if (add)
            statement.key.remove(0, 1);
        const bool remove = statement.key.startsWith(u'-');
        if (remove)
            statement.key.remove(0, 1);

        using Change = VxTweakObserver::FieldChange;
        // A removal of nothing is no fault of the encoding.
        const std::optional<FieldEffect> effect =
            editField(context,
                      add      ? Change::Added
                      : remove ? Change::Removed
                               : Change::Set,
                      target.element, statement.key, statement.value);
        const bool written = (effect && *effect != FieldEffect::Cleared) || (remove && !add);

        if (!report)
            continue;
        if (line.text.startsWith(u'#'))
            report(line.sourceLine, u"%1 comes after the first statement, so it is read as a "
                                    u"statement, not as a directive"_s.arg(quoted(line.text)));
        else if (!isValidXmlName(fieldSelectorTag(statement.key)))
            report(line.sourceLine, u"field name %1 is not a valid XML name; the statement is "
                                    u"skipped"_s.arg(quoted(statement.key)));
        else if ((add || !remove) && classifyResourceValue(statement.value) == VxValueKind::Invalid)
            reportValue(report, line.sourceLine, statement.value);
        else if (effect == FieldEffect::Appended)
            reportAppended(report, line.sourceLine, target.element, statement.key);
        else if (!written && !target.element.isNull())
            report(line.sourceLine,
                   u"field name %1 cannot be written in the resource file's "
                   u"encoding; the statement is skipped"_s.arg(quoted(statement.key)));
    }
    return TweakOutcome::Finished;
}

TweakOutcome compileDeclarationFile(const VxTweakContext &context, const VxResourceElement &index,
                                    const QString &fileName, const QList<VxTweakLine> &lines)
{
    const Reporter report(context, fileName);
    const ResourceType *type = &resourceTypes[0];
    for (const VxTweakLine &line : lines) {
        if (line.text.startsWith(u'#')) {
            const auto picked = std::find_if(
                std::begin(resourceTypes), std::end(resourceTypes),
                [&](const ResourceType &t) { return line.text.startsWith(t.directive); });
            if (picked != std::end(resourceTypes))
                type = picked;
            else
                report(line.sourceLine,
                       u"unknown directive %1 is ignored"_s.arg(quoted(line.text)));
            continue;
        }
        const Statement statement(line.text);
        const QString &name = statement.key;
        if (name.isEmpty()) {
            report(line.sourceLine, u"a declaration needs a name before \"=\"; the line is "
                                    u"skipped"_s);
            continue;
        }
        using Change = VxTweakObserver::ElementChange;
        VxResourceElement element = findResourceById(context.working, name);
        if (element.isNull()) {
            element = createResourceElement(context.working, name, type->tag);
            addResourceField(index, type->section, hrefPrefix + name);
            observeElement(context, Change::Created, element, type->tag);
        } else {
            observeElement(context, Change::Kept, element, type->tag);
        }
        if (editField(context, VxTweakObserver::FieldChange::Set, element, u"Value"_s,
                      statement.value) == FieldEffect::Appended)
            reportAppended(report, line.sourceLine, element, u"Value"_s);
        editField(context, VxTweakObserver::FieldChange::Set, element, u"Name"_s, name);
        editField(context, VxTweakObserver::FieldChange::Set, element, u"Flags"_s, u"64"_s);
        reportValue(report, line.sourceLine, statement.value);
    }
    return TweakOutcome::Finished;
}

QStringList tweakFileNames(const QString &folderPath)
{
    // FIFOs and devices too: reading refuses them, and check then names them.
    return QDir(folderPath)
        .entryList({u"*.twk"_s}, QDir::Files | QDir::System, QDir::Name | QDir::IgnoreCase);
}

} // namespace

TweakOutcome compileTweakFile(const VxTweakContext &context, const VxResourceElement &index,
                              const QString &fileName, const QList<VxTweakLine> &lines)
{
    const QString baseName = fileName.chopped(qMin<qsizetype>(4, fileName.size()));
    if (baseName == "resource"_L1)
        return compileDeclarationFile(context, index, fileName, lines);
    return compileElementFile(context, index, baseName, fileName, lines);
}

TweakOutcome compileTweakFolder(const VxTweakContext &context)
{
    VxFeedback &feedback = feedbackOf(context);
    const VxResourceElement index = findResourceById(context.working, u"id-0"_s);
    for (const QString &fileName : tweakFileNames(context.folderPath)) {
        if (feedback.cancelled())
            return TweakOutcome::Abandoned;
        feedback.setLabel(tableString(19) + context.resourceName + u".xml ("_s + fileName + u')');

        QList<VxTweakLine> lines;
        QString error;
        if (!readTweakFile(context.folderPath + u'/' + fileName, lines, &error,
                           context.diagnostics != nullptr)) {
            Reporter(context, fileName)(0, u"cannot read the file: "_s + error);
            continue;
        }
        if (context.observer)
            context.observer->fileStarted(fileName);
        switch (compileTweakFile(context, index, fileName, lines)) {
        case TweakOutcome::Finished:
            break;
        case TweakOutcome::SkipRest:
            return TweakOutcome::Finished;
        case TweakOutcome::Abandoned:
            feedback.end();
            return TweakOutcome::Abandoned;
        }
        feedback.step();
    }
    return TweakOutcome::Finished;
}

int countTweakFiles(const QString &folderPath)
{
    return int(tweakFileNames(folderPath).size());
}
