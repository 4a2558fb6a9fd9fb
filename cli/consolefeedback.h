#pragma once

#include "launch/feedback.h"

#include <QTextStream>

// vxmod's side of a launch: progress and errors go to standard error, and the "Error loading
// file" question is answered by --on-error instead of a person.
class VxConsoleFeedback : public VxFeedback
{
public:
    explicit VxConsoleFeedback(Answer onError);

    void begin(int tweakFileCount) override;
    void setTitle(const QString &title) override;
    void setLabel(const QString &label) override;
    void step() override;
    bool cancelled() override { return false; }
    Answer ask(const QString &title, const QString &text) override;
    void error(const QString &title, const QString &text) override;
    void end() override;

private:
    QTextStream m_err;
    Answer m_onError;
    int m_total = 0;
    int m_done = 0;
};
