#include "gui/error_report/application.h"

#include "gui/desktop/help.h"

#include <QKeyEvent>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace dirka {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
#ifdef __GLIBC__
    // A listing's read-ahead threads allocate short-lived folder buffers. With an allocator
    // arena for each thread, every arena keeps its own high water resident beside the window's
    // large result (about 6 MB over eight threads on a million-file tree); two shared keep less.
    mallopt(M_ARENA_MAX, 2);
#endif
}

TApplication* TApplication::Instance()
{
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::SetErrorReporter(TErrorReporter* reporter)
{
    m_reporter = reporter;
    m_reported = false;
}

void TApplication::SetHelpHandler(std::function<void()> help)
{
    m_help = std::move(help);
}

// F1 is looked at here rather than in an application event filter: with such a filter in
// place, an exception caught below left Qt painting nothing any more, so the error report
// could not be seen.
bool TApplication::handleHelpKey(QObject* receiver, QEvent* event)
{
    if (!m_help || !receiver->isWidgetType() || !IsHelpKey(event))
        return false;
    event->accept();
    // The shortcut check comes first: taking it keeps a control or the Help command's own
    // shortcut from acting on the key as well.
    if (event->type() == QEvent::KeyPress && !m_helpRunning &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        m_helpRunning = true;
        m_help();
        m_helpRunning = false;
    }
    return true;
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    if (handleHelpKey(receiver, event))
        return true;
    if (m_reporter == nullptr)
        return QApplication::notify(receiver, event);
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportError(receiver, std::current_exception());
        return false;
    }
}

// noexcept: an error inside the reporter itself ends the program as Qt's default would.
void TApplication::ReportError(QObject* receiver, std::exception_ptr error) noexcept
{
    // Every reported error ends the program, so one report is enough. Errors raised while the
    // report dialog runs its own event loop (another window's timer, a repaint) are dropped
    // instead of opening a second dialog inside the first.
    if (m_reported || !m_reporter)
        return;
    m_reported = true;
    m_reporter->ReportException(receiver, std::move(error));
}

} // namespace dirka
