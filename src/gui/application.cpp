#include "gui/application.h"

namespace dirka {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TApplication* TApplication::Instance()
{
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::SetErrorReporter(TErrorReporter* reporter)
{
    m_reporter = reporter;
    m_reported = false;
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    if (m_reporter == nullptr)
        return QApplication::notify(receiver, event);
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        report(receiver, std::current_exception());
        return false;
    }
}

// noexcept: an error inside the reporter itself ends the program as Qt's default would.
void TApplication::report(QObject* receiver, std::exception_ptr error) noexcept
{
    // Every reported error ends the program, so one report is enough. Errors raised while the
    // report dialog runs its own event loop (another window's timer, a repaint) are dropped
    // instead of opening a second dialog inside the first.
    if (m_reported)
        return;
    m_reported = true;
    m_reporter->ReportException(receiver, std::move(error));
}

} // namespace dirka
