#include "ui/progressfeedback.h"

#include <QCoreApplication>
#include <QMessageBox>
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
}

void VxProgressFeedback::setTitle(const QString &title)
{
    if (m_progress)
        m_progress->setWindowTitle(title);
    QCoreApplication::processEvents();
}

void VxProgressFeedback::setLabel(const QString &label)
{
    if (m_progress)
        m_progress->setLabelText(label);
    QCoreApplication::processEvents();
}

void VxProgressFeedback::step()
{
    ++m_steps;
    // Once the person has closed the window it stays closed: setting a value could bring it
    // back, and the launch would then not see that it was meant to stop.
    if (m_progress && m_progress->isVisible())
        m_progress->setValue(m_steps);
    QCoreApplication::processEvents();
}

bool VxProgressFeedback::cancelled()
{
    return m_shown && (!m_progress || !m_progress->isVisible());
}

VxFeedback::Answer VxProgressFeedback::ask(const QString &title, const QString &text)
{
    const auto button = QMessageBox::critical(
        m_boxParent, title, text, QMessageBox::Abort | QMessageBox::Ignore, QMessageBox::NoButton);
    // Escape or the close button count as Abort: only an explicit Ignore goes on.
    return button == QMessageBox::Ignore ? Answer::Ignore : Answer::Abort;
}

void VxProgressFeedback::error(const QString &title, const QString &text)
{
    QMessageBox::critical(m_boxParent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

void VxProgressFeedback::end()
{
    delete m_progress;
    m_progress = nullptr;
}
