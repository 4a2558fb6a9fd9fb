#include "cli/consolefeedback.h"

#include <cstdio>

VxConsoleFeedback::VxConsoleFeedback(Answer onError) : m_err(stderr), m_onError(onError) {}

void VxConsoleFeedback::begin(int tweakFileCount)
{
    m_total = tweakFileCount;
    m_done = 0;
}

void VxConsoleFeedback::setTitle(const QString &title)
{
    m_err << "== " << title << Qt::endl;
}

void VxConsoleFeedback::setLabel(const QString &label)
{
    if (m_total > 0)
        m_err << '[' << m_done << '/' << m_total << "] ";
    m_err << label << Qt::endl;
}

void VxConsoleFeedback::step()
{
    ++m_done;
}

VxFeedback::Answer VxConsoleFeedback::ask(const QString &title, const QString &text)
{
    m_err << "vxmod: " << title << ' ' << text << " -> "
          << (m_onError == Answer::Abort ? "abort" : "ignore") << " (--on-error)" << Qt::endl;
    return m_onError;
}

void VxConsoleFeedback::error(const QString &title, const QString &text)
{
    m_err << "vxmod: " << title << ' ' << text << Qt::endl;
}

void VxConsoleFeedback::end()
{
    // The tweak compiler may close the launch itself before the launch does.
    if (m_total > 0)
        m_err << '[' << m_done << '/' << m_total << "] done" << Qt::endl;
    m_total = 0;
}
