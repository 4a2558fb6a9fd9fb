#pragma once

#include "base/feedback.h"

#include <QTextStream>

// vxmod's side of a launch: progress and errors go to standard error, and the "Error loading
// file" question is answered by --on-error instead of a person. On a terminal the progress is
// one line that is rewritten in place; into a file or a pipe it is a line per step, so a log
// keeps every file. Quiet leaves only the faults.
class VxConsoleFeedback : public VxFeedback
{
public:
    enum class Progress { Quiet, Lines, InPlace };

    explicit VxConsoleFeedback(Answer onError, bool quiet = false);
    VxConsoleFeedback(Answer onError, Progress progress, int width);

    void begin(int tweakFileCount) override;
    void setTitle(const QString &title) override;
    void setLabel(const QString &label) override;
    void step() override;
    bool cancelled() override { return false; }
    Answer ask(const QString &title, const QString &text) override;
    void error(const QString &title, const QString &text) override;
    void end() override;

    // "vxmod: " and the fault, with our message style (lower-case start, no full stop).
    static QString faultLine(const QString &title, const QString &text);

private:
    void progressLine(const QString &text);
    void closeLine();

    QTextStream m_err;
    Answer m_onError;
    Progress m_progress;
    int m_width;
    bool m_lineOpen = false;
    int m_total = 0;
    int m_done = 0;
};
