#pragma once

#include <QString>

// How the core talks to the person while it works. The dialog answers with its progress
// dialog and message boxes, vxmod with standard error and its --on-error flag, tests with
// a few lines that record calls and answer from a script.
class VxFeedback
{
public:
    enum class Answer { Abort, Ignore };

    virtual ~VxFeedback() = default;

    // The launch is about to work through this many tweak files (the progress maximum).
    // A count of 0 means nothing will step the progress; the dialog stays hidden then.
    virtual void begin(int tweakFileCount) = 0;
    virtual void setTitle(const QString &title) = 0;
    virtual void setLabel(const QString &label) = 0;
    // One more tweak file compiled to its end.
    virtual void step() = 0;
    // True once the person has closed the progress window (checked before each tweak file).
    virtual bool cancelled() = 0;
    // The "Error loading file" question: Abort ends the launch, Ignore skips the folder.
    virtual Answer ask(const QString &title, const QString &text) = 0;
    // A critical message the person must acknowledge (a resource file that does not load).
    virtual void error(const QString &title, const QString &text) = 0;
    // The launch is over, whichever way; the progress window goes away.
    virtual void end() = 0;
};

// For callers that want no feedback at all: never cancelled, answers Ignore.
class VxSilentFeedback : public VxFeedback
{
public:
    void begin(int) override {}
    void setTitle(const QString &) override {}
    void setLabel(const QString &) override {}
    void step() override {}
    bool cancelled() override { return false; }
    Answer ask(const QString &, const QString &) override { return Answer::Ignore; }
    void error(const QString &, const QString &) override {}
    void end() override {}
};
