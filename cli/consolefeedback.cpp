#include "cli/consolefeedback.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// The columns of the terminal standard error writes to, or 0 when it is no terminal.
int terminalWidth()
{
#ifdef Q_OS_WIN
    if (!_isatty(_fileno(stderr)))
        return 0;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
#else
    if (!::isatty(STDERR_FILENO))
        return 0;
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
#endif
}

QString withoutFullStop(QString text)
{
    text = text.trimmed();
    while (text.endsWith(u'.') || text.endsWith(u'!'))
        text.chop(1);
    return text;
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

} // namespace

VxConsoleFeedback::VxConsoleFeedback(Answer onError, bool quiet)
    : VxConsoleFeedback(onError, Progress::Lines, terminalWidth())
{
    if (quiet)
        m_progress = Progress::Quiet;
    else if (terminalWidth() > 0)
        m_progress = Progress::InPlace;
}

VxConsoleFeedback::VxConsoleFeedback(Answer onError, Progress progress, int width)
    : m_err(stderr), m_onError(onError), m_progress(progress), m_width(width > 0 ? width : 80)
{
}

QString VxConsoleFeedback::faultLine(const QString &title, const QString &text)
{
    // One line a fault: the dialog's boxes put the reason on a line of its own.
    QString what = withoutFullStop(text);
    what.replace(QStringLiteral(":\n"), QStringLiteral(": ")).replace(u'\n', QStringLiteral("; "));
    // The launch's titles are the box titles of the dialog ("Error!"): the line's "vxmod:"
    // says as much, so only a title with more to say stays.
    const QString heading = withoutFullStop(title);
    const bool plain = heading.isEmpty() || heading.compare(u"error", Qt::CaseInsensitive) == 0;
    return QStringLiteral("vxmod: ") +
           lowerFirst(plain ? what : heading + QStringLiteral(": ") + what);
}

void VxConsoleFeedback::progressLine(const QString &text)
{
    if (m_progress == Progress::Quiet)
        return;
    if (m_progress == Progress::Lines) {
        m_err << text << Qt::endl;
        return;
    }
    // Cut to the terminal's width: a line that wraps cannot be rewritten in place.
    QString line = text;
    if (line.size() >= m_width)
        line = line.left(qMax(0, m_width - 4)) + QStringLiteral("...");
    m_err << '\r' << line << "\x1b[K" << Qt::flush;
    m_lineOpen = true;
}

void VxConsoleFeedback::closeLine()
{
    if (m_lineOpen)
        m_err << Qt::endl;
    m_lineOpen = false;
}

void VxConsoleFeedback::begin(int tweakFileCount)
{
    m_total = tweakFileCount;
    m_done = 0;
}

void VxConsoleFeedback::setTitle(const QString &title)
{
    if (m_progress == Progress::Quiet)
        return;
    closeLine();
    m_err << "== " << title << Qt::endl;
}

void VxConsoleFeedback::setLabel(const QString &label)
{
    if (m_total > 0)
        progressLine(QStringLiteral("[%1/%2] %3").arg(m_done).arg(m_total).arg(label));
    else
        progressLine(label);
}

void VxConsoleFeedback::step()
{
    ++m_done;
}

VxFeedback::Answer VxConsoleFeedback::ask(const QString &title, const QString &text)
{
    closeLine();
    m_err << faultLine(title, text) << " -> " << (m_onError == Answer::Abort ? "abort" : "ignore")
          << " (--on-error)" << Qt::endl;
    return m_onError;
}

void VxConsoleFeedback::error(const QString &title, const QString &text)
{
    closeLine();
    m_err << faultLine(title, text) << Qt::endl;
}

void VxConsoleFeedback::end()
{
    // The tweak compiler may close the launch itself before the launch does.
    if (m_total > 0)
        progressLine(QStringLiteral("[%1/%2] done").arg(m_done).arg(m_total));
    closeLine();
    m_total = 0;
}
