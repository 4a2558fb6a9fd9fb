#pragma once

#include "launch/feedback.h"

#include <QPointer>

class QProgressDialog;
class QWidget;

// The launch's progress window and its message boxes. Boxes are parented to the launcher
// window; the progress window has no parent, so while it is up it blocks nothing.
class VxProgressFeedback : public VxFeedback
{
public:
    explicit VxProgressFeedback(QWidget *boxParent);
    ~VxProgressFeedback() override;
    VxProgressFeedback(const VxProgressFeedback &) = delete;
    VxProgressFeedback &operator=(const VxProgressFeedback &) = delete;

    // The window opens once per launch: a repeated call only adjusts the maximum.
    void begin(int tweakFileCount) override;
    void setTitle(const QString &title) override;
    void setLabel(const QString &label) override;
    void step() override;
    bool cancelled() override;
    Answer ask(const QString &title, const QString &text) override;
    void error(const QString &title, const QString &text) override;
    void end() override;

    // Sizes the window before its real labels arrive: wide enough for a long file name.
    static QString placeholderLabel();

private:
    QPointer<QWidget> m_boxParent;
    QProgressDialog *m_progress = nullptr;
    bool m_begun = false;
    bool m_shown = false;
    int m_steps = 0;
};
