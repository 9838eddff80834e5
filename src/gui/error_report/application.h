#pragma once

#include <QApplication>

#include <exception>
#include <functional>

// The application object, and the way errors that no command caught reach the error report.
namespace dirka {

/// Takes the errors that reach the event loop unhandled.
class TErrorReporter {
public:
    virtual ~TErrorReporter() = default;
    /// sender received the event whose handling raised error. Called once per run at most.
    virtual void ReportException(QObject* sender, std::exception_ptr error) = 0;
};

/// The program's application object. Once a reporter is installed (the error report dialog
/// installs itself when it is created), every exception that reaches the event loop goes to it;
/// until then Qt's default applies, and the error ends the program.
///
///     dirka::TApplication app(argc, argv);
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    /// The running application object when it is a TApplication, else nullptr.
    static TApplication* Instance();

    /// Installs reporter (nullptr: Qt's default again). A new reporter starts a new run: the
    /// next error goes to it even when an earlier one was reported.
    void SetErrorReporter(TErrorReporter* reporter);
    TErrorReporter* ErrorReporter() const { return m_reporter; }
    /// True once an error went to the reporter: the program is on its way out.
    bool ErrorReported() const { return m_reported; }

    /// Runs help for F1 pressed anywhere in the program, modal dialogs included (not with Ctrl,
    /// Shift or Alt, and not again while help runs).
    void SetHelpHandler(std::function<void()> help);

    bool notify(QObject* receiver, QEvent* event) override;

    /// Hands an error that a command did not handle to the reporter, as notify() does for
    /// errors that reach the event loop. Commands catch at their own edge and call this: an
    /// exception that unwinds through Qt's event dispatch can leave it painting nothing more
    /// (seen with an application-wide event filter in place, as the menu bar installs).
    void ReportError(QObject* sender, std::exception_ptr error) noexcept;

private:
    bool handleHelpKey(QObject* receiver, QEvent* event);

    TErrorReporter* m_reporter = nullptr;
    bool m_reported = false;
    std::function<void()> m_help;
    bool m_helpRunning = false;
};

} // namespace dirka
