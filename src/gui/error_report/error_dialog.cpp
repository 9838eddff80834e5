#include "gui/error_report/error_dialog.h"

#include "core/system/web_addresses.h"
#include "core/text/text_utils.h"
#include "gui/widgets/clickable_label.h"
#include "gui/widgets/named.h"
#include "gui/widgets/thin_line.h"
#include "gui/widgets/window_commands.h"

#include "gui/widgets/program_logo.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace dirka {

namespace {

constexpr int LogoSize = 40;
constexpr int ClientWidth = 452;
constexpr int ClientHeight = 406;
// A report server that accepts the connection and never answers must not leave "Sending
// report..." up for ever.
constexpr int TransferTimeoutMs = 30000;
constexpr int MaxRedirections = 5;
const QString MakerName = QStringLiteral("Pelmora");

QLabel* boldLabel(const QString& text, QWidget* parent, const char* name)
{
    auto* label = named(new QLabel(text, parent), name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A text area takes the room the page leaves it, at least a few lines: its own size hint would
// make the dialog taller than designed.
void fillRemainingHeight(QAbstractScrollArea* area)
{
    area->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    area->setMinimumHeight(area->fontMetrics().lineSpacing() * 4 + 2 * area->frameWidth());
}

// The answer page in the character set its header or its meta line names; UTF-8 otherwise.
QString decodePage(const QByteArray& body, const QString& contentType)
{
    static const QRegularExpression charset(QStringLiteral("charset\\s*=\\s*\"?([^\";\\s]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    std::optional<QStringConverter::Encoding> encoding;
    const QRegularExpressionMatch match = charset.match(contentType);
    if (match.hasMatch())
        encoding = QStringConverter::encodingForName(match.captured(1).toLatin1().constData());
    if (!encoding)
        encoding = QStringConverter::encodingForHtml(body);
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    return decoder(body);
}

// The report is done and nothing of the program's is left to keep: the process ends at once.
// Unwinding through the toolkit's shutdown would wait for any host lookup still running (a
// report sent to an unreachable site), seconds without a window.
void endProgram(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace

TErrorReportDialog::TErrorReportDialog(std::function<void(const QString&)> openDocument,
                                       QWidget* parent)
    : QDialog(parent), m_openDocument(std::move(openDocument)), m_endProgram(endProgram)
{
    createControls();
}

TErrorReportDialog::~TErrorReportDialog()
{
    TApplication* app = TApplication::Instance();
    if (app != nullptr && app->ErrorReporter() == this)
        app->SetErrorReporter(nullptr);
}

void TErrorReportDialog::createControls()
{
    if (TApplication* app = TApplication::Instance())
        app->SetErrorReporter(this);
    setObjectName(QStringLiteral("DialogException"));
    setWindowTitle(QStringLiteral("Dirka"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    auto* panelTop = named(new QFrame(this), "panelTop");
    panelTop->setAutoFillBackground(true);
    panelTop->setBackgroundRole(QPalette::Base);
    labelTitle = boldLabel(QStringLiteral("Dirka causes Error"), panelTop, "labelTitle");
    labelSending = named(new QLabel(panelTop), "labelSending");
    imageLogo40 = named(new QLabel(panelTop), "imageLogo40");
    imageLogo40->setFixedSize(LogoSize, LogoSize);
    imageLogo40->setAlignment(Qt::AlignCenter);
    imageLogo40->setPixmap(ProgramLogo(LogoSize, devicePixelRatio()));
    auto* topText = new QVBoxLayout;
    topText->addWidget(labelTitle);
    topText->addWidget(labelSending);
    auto* topLayout = new QHBoxLayout(panelTop);
    topLayout->addLayout(topText, 1);
    topLayout->addWidget(imageLogo40, 0, Qt::AlignVCenter);

    PageControl = named(new QStackedWidget(this), "PageControl");
    createPleaseSendPage();
    createAfterSendPage();
    createNotePage();

    auto* panelBottom = named(new QWidget(this), "panelBottom");
    labelHelpImprove =
        named(new QLabel(QStringLiteral("You can help to fix it. Send a report."), panelBottom),
              "labelHelpImprove");
    btnSend = named(new QPushButton(QStringLiteral("Send"), panelBottom), "btnSend");
    btnSend->setDefault(true);
    btnCancel = named(new QPushButton(QStringLiteral("&Don't Send"), panelBottom), "btnCancel");
    connect(btnSend, &QPushButton::clicked, this, &TErrorReportDialog::btnSendClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* bottomLayout = new QHBoxLayout(panelBottom);
    bottomLayout->addWidget(labelHelpImprove);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(btnSend);
    bottomLayout->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panelTop);
    layout->addWidget(ThinLine(this));
    layout->addWidget(PageControl, 1);
    layout->addWidget(ThinLine(this));
    layout->addWidget(panelBottom);

    auto* EditSelectAll = new QAction(QStringLiteral("Select &All"), this);
    EditSelectAll->setObjectName(QStringLiteral("EditSelectAll"));
    EditSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    EditSelectAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(EditSelectAll, &QAction::triggered, this, &TErrorReportDialog::EditSelectAllExecute);
    addAction(EditSelectAll);

    m_reportQuery.clear();
    m_reportText.clear();
    fixSize();
}

void TErrorReportDialog::createPleaseSendPage()
{
    tsPleaseSend = named(new QWidget(PageControl), "tsPleaseSend");
    labelPleaseSend =
        boldLabel(QStringLiteral("Please send error report to "), tsPleaseSend, "labelPleaseSend");
    auto* link = LinkLabel(MakerName, tsPleaseSend, "labelWww");
    link->setToolTip(u"Open web page " + MakerPageAddress());
    connect(link, &TClickableLabel::Clicked, this, &TErrorReportDialog::labelWwwClick);
    labelWww = link;
    labelAnyData = named(new QLabel(QStringLiteral("Any data you send us is confidential and will "
                                                   "not be used for any other purpose than fixing "
                                                   "the problem."),
                                    tsPleaseSend),
                         "labelAnyData");
    labelAnyData->setWordWrap(true);
    labelDescribeSteps = named(
        new QLabel(QStringLiteral("Describe steps leading to this error (optional)"), tsPleaseSend),
        "labelDescribeSteps");
    memoComment = named(new QPlainTextEdit(tsPleaseSend), "memoComment");
    memoComment->setTabChangesFocus(true);
    fillRemainingHeight(memoComment);
    labelDescribeSteps->setBuddy(memoComment);
    connect(memoComment, &QPlainTextEdit::textChanged, this,
            &TErrorReportDialog::memoCommentChange);
    labelYourEmail =
        named(new QLabel(QStringLiteral("Your Email Address (optional)"), tsPleaseSend),
              "labelYourEmail");
    edEmail = named(new QLineEdit(tsPleaseSend), "edEmail");
    edEmail->setMaxLength(EmailLimit);
    labelYourEmail->setBuddy(edEmail);
    btnSee =
        named(new QPushButton(QStringLiteral("See &what will be sent"), tsPleaseSend), "btnSee");
    btnSee->setAutoDefault(false);
    connect(btnSee, &QPushButton::clicked, this, &TErrorReportDialog::btnSeeClick);

    // The maker's name starts where the request ends, on the same line.
    auto* pleaseRow = new QHBoxLayout;
    pleaseRow->setSpacing(0);
    pleaseRow->addWidget(labelPleaseSend);
    pleaseRow->addWidget(labelWww);
    pleaseRow->addStretch(1);
    auto* emailRow = new QHBoxLayout;
    emailRow->addWidget(labelYourEmail);
    emailRow->addWidget(edEmail, 1);
    auto* seeRow = new QHBoxLayout;
    seeRow->addStretch(1);
    seeRow->addWidget(btnSee);
    auto* layout = new QVBoxLayout(tsPleaseSend);
    layout->addLayout(pleaseRow);
    layout->addWidget(labelAnyData);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addWidget(labelDescribeSteps);
    layout->addWidget(memoComment, 1);
    layout->addLayout(emailRow);
    layout->addLayout(seeRow);
    PageControl->addWidget(tsPleaseSend);
}

void TErrorReportDialog::createAfterSendPage()
{
    tsAfterSend = named(new QWidget(PageControl), "tsAfterSend");
    WebBrowser = named(new QTextBrowser(tsAfterSend), "WebBrowser");
    // The answer page comes from the web: its links open in the user's browser.
    WebBrowser->setOpenLinks(false);
    fillRemainingHeight(WebBrowser);
    connect(WebBrowser, &QTextBrowser::anchorClicked, this,
            &TErrorReportDialog::WebBrowserAnchorClicked);
    auto* layout = new QVBoxLayout(tsAfterSend);
    layout->addWidget(WebBrowser);
    PageControl->addWidget(tsAfterSend);
}

void TErrorReportDialog::createNotePage()
{
    tsNote = named(new QWidget(PageControl), "tsNote");
    memoNote = named(new QPlainTextEdit(tsNote), "memoNote");
    memoNote->setReadOnly(true);
    memoNote->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoNote->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memoNote->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    fillRemainingHeight(memoNote);
    // One tab lines up every value of the report, whose longest name is "Error message:".
    memoNote->setTabStopDistance(
        memoNote->fontMetrics().horizontalAdvance(QStringLiteral("Error message:")) +
        memoNote->fontMetrics().averageCharWidth() * 2);
    btnNoteBack = named(new QPushButton(QStringLiteral("Back"), tsNote), "btnNoteBack");
    btnNoteBack->setAutoDefault(false);
    connect(btnNoteBack, &QPushButton::clicked, this, &TErrorReportDialog::btnNoteBackClick);
    auto* backRow = new QHBoxLayout;
    backRow->addStretch(1);
    backRow->addWidget(btnNoteBack);
    auto* layout = new QVBoxLayout(tsNote);
    layout->addWidget(memoNote, 1);
    layout->addLayout(backRow);
    PageControl->addWidget(tsNote);
}

// A fixed border, at least the designed client area; larger fonts make it larger rather than
// cutting texts off.
void TErrorReportDialog::fixSize()
{
    const int width = qMax(ClientWidth, sizeHint().width());
    const int height =
        layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
    setFixedSize(width, qMax(ClientHeight, height));
}

void TErrorReportDialog::SetReport(const TExceptionDetails& details, const TInfo& info)
{
    const TReport report = BuildReport(details, info);
    m_reportQuery = report.Query;
    m_reportText = report.Text;
}

void TErrorReportDialog::SetEndProgram(std::function<void(int)> endProgram)
{
    m_endProgram = std::move(endProgram);
}

void TErrorReportDialog::ReportException(QObject* sender, std::exception_ptr error)
{
    Q_UNUSED(sender);
    TExceptionDetails details = DetailsOf(error);
    // Skip 1: the stack begins with the caller of this handler.
    details.CallStack = FormatCallStack(CollectCallStack(1));
    SetReport(details);
    exec();
    if (m_endProgram)
        m_endProgram(ExitStatus);
}

void TErrorReportDialog::showEvent(QShowEvent* event)
{
    // A window restored by the user is no new showing.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TErrorReportDialog::FormShow()
{
    QApplication::beep();
    btnCancel->setEnabled(true);
    btnSend->setText(QStringLiteral("&Send"));
    labelHelpImprove->show();
    labelSending->setText(QStringLiteral("We are sorry for the inconvenience."));
    PageControl->setCurrentWidget(tsPleaseSend);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TErrorReportDialog::btnSendClick()
{
    if (btnSend->text() == u"&Close") {
        accept();
        return;
    }
    m_reportQuery += ReportSenderQuery(edEmail->text(), memoComment->toPlainText());
    btnCancel->setEnabled(false);
    btnSend->setText(QStringLiteral("&Close"));
    labelHelpImprove->hide();
    labelSending->setText(QStringLiteral("Sending report..."));
    try {
        request(BugReportAddress(m_reportQuery));
    } catch (...) {
        // Whatever goes wrong on the way out, the dialog still shows its (empty) answer page.
    }
    PageControl->setCurrentWidget(tsAfterSend);
}

// One GET of the report's address through Qt's network access (proxies, redirections, a time
// limit); the URL classes write its escapes in upper case ("%3b" goes out as "%3B"), which is
// the same octet to every server.
void TErrorReportDialog::request(const QString& address)
{
    m_pageAddress = QUrl(address);
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest get(m_pageAddress);
    get.setTransferTimeout(TransferTimeoutMs);
    get.setMaximumRedirectsAllowed(MaxRedirections);
    get.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(get);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        m_pageAddress = reply->url(); // after any redirection, for the page's links
        const QByteArray body = reply->readAll();
        WebBrowserDownloadComplete(
            body, reply->header(QNetworkRequest::ContentTypeHeader).toString(),
            reply->error() == QNetworkReply::NoError ? QString() : reply->errorString());
    });
}

void TErrorReportDialog::WebBrowserDownloadComplete(const QByteArray& body,
                                                    const QString& contentType,
                                                    const QString& error)
{
    if (!body.isEmpty())
        WebBrowser->setHtml(decodePage(body, contentType));
    else if (!error.isEmpty())
        WebBrowser->setPlainText(error); // what a browser shows for a page that never came
    labelSending->clear();
}

void TErrorReportDialog::WebBrowserAnchorClicked(const QUrl& link)
{
    if (m_openDocument)
        m_openDocument(m_pageAddress.resolved(link).toString());
}

void TErrorReportDialog::btnSeeClick()
{
    // The note shows the e-mail and the comment as typed; only the sent form is encoded.
    const QString text = ReportNoteText(m_reportText, edEmail->text(), memoComment->toPlainText());
    // The text view would take each CR for a line break of its own.
    memoNote->setPlainText(ReplaceAll(u"\r\n", u"\n", text));
    PageControl->setCurrentWidget(tsNote);
}

void TErrorReportDialog::btnNoteBackClick()
{
    PageControl->setCurrentWidget(tsPleaseSend);
}

void TErrorReportDialog::labelWwwClick()
{
    if (m_openDocument)
        m_openDocument(MakerPageAddress());
}

void TErrorReportDialog::EditSelectAllExecute()
{
    SelectAllInEditor(focusWidget());
}

// The comment takes at most CommentLimit units: what goes past it is taken out of the text just
// typed or pasted (it ends at the cursor), as an edit with a length limit refuses it.
void TErrorReportDialog::memoCommentChange()
{
    const QString text = memoComment->toPlainText();
    const qsizetype excess = text.size() - CommentLimit;
    if (excess <= 0)
        return;
    QTextCursor cursor = memoComment->textCursor();
    qsizetype end = cursor.position();
    qsizetype start = end - excess;
    if (start < 0) {
        start = CommentLimit;
        end = text.size();
    }
    // Never leave half of a surrogate pair behind.
    if (start > 0 && text[start].isLowSurrogate())
        --start;
    if (end < text.size() && text[end].isLowSurrogate())
        ++end;
    cursor.setPosition(int(start));
    cursor.setPosition(int(end), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

} // namespace dirka
