#pragma once

#include "core/system/error_report.h"
#include "gui/error_report/application.h"

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTextBrowser;

namespace dirka {

/// The error report dialog: apologises for an error that no command caught, lets the user add
/// an e-mail address and a description, shows what will be sent, sends the report to the
/// maker's bug-report address and shows the answer page. Creating it makes it the reporter of
/// the running TApplication; closing it after an error ends the program.
///
///     TErrorReportDialog errorDialog([&](const QString& a) { desktop.OpenDocument(a); });
class TErrorReportDialog : public QDialog, public TErrorReporter {
    Q_OBJECT
public:
    /// The exit status of a program ended by an error report (EX_SOFTWARE).
    static constexpr int ExitStatus = 70;
    static constexpr int EmailLimit = 100;
    static constexpr int CommentLimit = 300;

    /// openDocument opens a web address, as the desktop's OpenDocument does.
    explicit TErrorReportDialog(std::function<void(const QString&)> openDocument,
                                QWidget* parent = nullptr);
    ~TErrorReportDialog() override;

    /// Gathers the error's details and the call stack, shows the dialog modally and, when it
    /// closes, ends the program with ExitStatus.
    void ReportException(QObject* sender, std::exception_ptr error) override;

    /// Builds the report that Send will send and "See what will be sent" shows.
    void SetReport(const TExceptionDetails& details, const TInfo& info = Info());
    const QString& ReportQuery() const { return m_reportQuery; }
    const QString& ReportText() const { return m_reportText; }

    /// What ends the program once the dialog has closed; tests record the status instead.
    void SetEndProgram(std::function<void(int status)> endProgram);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createPleaseSendPage();
    void createAfterSendPage();
    void createNotePage();
    void fixSize();
    void FormShow();
    void btnSendClick();
    void btnSeeClick();
    void btnNoteBackClick();
    void labelWwwClick();
    void EditSelectAllExecute();
    void request(const QString& address);
    void WebBrowserDownloadComplete(const QByteArray& body, const QString& contentType,
                                    const QString& error);
    void WebBrowserAnchorClicked(const QUrl& link);
    void memoCommentChange();

    std::function<void(const QString&)> m_openDocument;
    std::function<void(int)> m_endProgram;
    QUrl m_pageAddress;
    QNetworkAccessManager* m_network = nullptr; // made with the first report
    QString m_reportQuery;
    QString m_reportText;

    QLabel* labelTitle = nullptr;
    QLabel* labelSending = nullptr;
    QLabel* imageLogo40 = nullptr;
    QLabel* labelHelpImprove = nullptr;
    QPushButton* btnSend = nullptr;
    QPushButton* btnCancel = nullptr;
    QStackedWidget* PageControl = nullptr;
    QWidget* tsPleaseSend = nullptr;
    QLabel* labelPleaseSend = nullptr;
    QLabel* labelWww = nullptr;
    QLabel* labelAnyData = nullptr;
    QLabel* labelDescribeSteps = nullptr;
    QPlainTextEdit* memoComment = nullptr;
    QLabel* labelYourEmail = nullptr;
    QLineEdit* edEmail = nullptr;
    QPushButton* btnSee = nullptr;
    QWidget* tsAfterSend = nullptr;
    QTextBrowser* WebBrowser = nullptr;
    QWidget* tsNote = nullptr;
    QPlainTextEdit* memoNote = nullptr;
    QPushButton* btnNoteBack = nullptr;
};

} // namespace dirka
