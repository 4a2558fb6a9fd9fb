#pragma once

#include "base/feedback.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

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

    // At most this often the window shows the latest label and value and events are
    // processed: a repaint and a turn of the event loop per tweak file made a launch of
    // thousands of small files many times slower than the work itself.
    static constexpr int refreshIntervalMs = 33;

private:
    // Shows what is pending and processes events, unless the last time was too recent;
    // always when forced.
    void refresh(bool force);

    QPointer<QWidget> m_boxParent;
    QProgressDialog *m_progress = nullptr;
    bool m_begun = false;
    bool m_shown = false;
    int m_steps = 0;
    QString m_title;
    QString m_label;
    bool m_pending = false;
    QElapsedTimer m_sinceRefresh;
};
