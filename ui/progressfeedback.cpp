#include "ui/progressfeedback.h"

#include "ui/messagebox.h"

#include <QCoreApplication>
#include <QProgressDialog>

VxProgressFeedback::VxProgressFeedback(QWidget *boxParent) : m_boxParent(boxParent) {}

VxProgressFeedback::~VxProgressFeedback()
{
    delete m_progress;
}

QString VxProgressFeedback::placeholderLabel()
{
    QString label;
    for (int i = 0; i < 69; ++i)
        label += i % 2 == 0 ? QLatin1Char('L') : QLatin1Char('O');
    return label;
}

void VxProgressFeedback::begin(int tweakFileCount)
{
    if (m_begun) {
        if (m_progress)
            m_progress->setMaximum(tweakFileCount);
        return;
    }
    m_begun = true;
    // With nothing to step, a window would only flash up empty (or pop up by itself after
    // the progress dialog's delay during a long copy), so none is made.
    if (tweakFileCount == 0)
        return;
    m_progress = new QProgressDialog(placeholderLabel(), QString(), 0, tweakFileCount);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->show();
    m_shown = true;
    // The window has taken its width from the placeholder; the real labels follow.
    m_progress->setLabelText(QString());
    QCoreApplication::processEvents();
    // The first title and label show at once, however quick the work behind them.
    m_sinceRefresh.invalidate();
}

void VxProgressFeedback::refresh(bool force)
{
    if (!force && m_sinceRefresh.isValid() && m_sinceRefresh.elapsed() < refreshIntervalMs)
        return;
    // Once the person has closed the window it stays closed: setting a value could bring it
    // back, and the launch would then not see that it was meant to stop.
    if (m_pending && m_progress && m_progress->isVisible()) {
        m_progress->setWindowTitle(m_title);
        m_progress->setLabelText(m_label);
        m_progress->setValue(m_steps);
    }
    m_pending = false;
    QCoreApplication::processEvents();
    // Until a label has been shown, every change shows at once.
    if (!m_label.isEmpty())
        m_sinceRefresh.start();
}

void VxProgressFeedback::setTitle(const QString &title)
{
    m_title = title;
    m_pending = true;
    refresh(false);
}

void VxProgressFeedback::setLabel(const QString &label)
{
    m_label = label;
    m_pending = true;
    refresh(false);
}

void VxProgressFeedback::step()
{
    ++m_steps;
    m_pending = true;
    refresh(false);
}

bool VxProgressFeedback::cancelled()
{
    return m_shown && (!m_progress || !m_progress->isVisible());
}

VxFeedback::Answer VxProgressFeedback::ask(const QString &title, const QString &text)
{
    // The window shows the file the question is about.
    refresh(true);
    const auto button =
        showCriticalBox(m_boxParent, title, text, QMessageBox::Abort | QMessageBox::Ignore);
    // Escape or the close button count as Abort: only an explicit Ignore goes on.
    return button == QMessageBox::Ignore ? Answer::Ignore : Answer::Abort;
}

void VxProgressFeedback::error(const QString &title, const QString &text)
{
    refresh(true);
    showCriticalBox(m_boxParent, title, text, QMessageBox::Ok);
}

void VxProgressFeedback::end()
{
    delete m_progress;
    m_progress = nullptr;
}
