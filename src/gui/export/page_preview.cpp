#include "gui/export/page_preview.h"

#include "core/system/file_io.h"
#include "core/text/file_names.h"
#include "gui/desktop/desktop.h"
#include "gui/result_view/line_layout.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/stat.h>

namespace dirka {

namespace {

const QUrl BlankUrl(QStringLiteral("about:blank"));
constexpr char BlankPage[] = "<html><body></body></html>";
// Pages of other makers go through Qt's parser whole: beyond this it would stall the window.
constexpr qsizetype MaxParsedPageBytes = 8 * 1024 * 1024;
// An export's page of a million long lines stays below this.
constexpr qsizetype MaxListPageBytes = qsizetype(1) << 30;
constexpr qsizetype HeadBytes = 4096;

bool isPageName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"html" || suffix == u"htm" || suffix == u"xhtml";
}

std::optional<qint64> regularFileSize(const QString& path)
{
    struct stat facts {};
    if (path.isEmpty() || ::stat(EncodeFileName(path).constData(), &facts) != 0 ||
        !S_ISREG(facts.st_mode))
        return std::nullopt;
    return qint64(facts.st_size);
}

QUrl withoutFragment(QUrl url)
{
    url.setFragment(QString());
    return url;
}

// A tab in the page's preformatted block moves to the next multiple of eight characters of
// its font, as a browser shows it and as the result view and print lay it out.
void useEightColumnTabs(QTextDocument& doc)
{
    for (QTextBlock block = doc.firstBlock(); block.isValid(); block = block.next()) {
        if (!block.blockFormat().nonBreakableLines())
            continue;
        const QFont font = block.charFormat().font().resolve(doc.defaultFont());
        QTextOption option = doc.defaultTextOption();
        option.setTabStopDistance(QFontMetricsF(font).horizontalAdvance(u' ') * TabColumns);
        doc.setDefaultTextOption(option);
        return;
    }
}

} // namespace

TPagePreview::TPagePreview(QWidget* parent) : QTextBrowser(parent)
{
    // Links are sorted out here: pages inside, everything else to the desktop.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &TPagePreview::followLink);
    connect(this, &QTextBrowser::sourceChanged, this, [this] {
        fillPendingPage();
        useEightColumnTabs(*document());
    });
}

void TPagePreview::SetOpenOutside(std::function<void(const QString&)> open)
{
    m_openOutside = std::move(open);
}

void TPagePreview::SetLoadProgress(TLoadProgress progress)
{
    m_loadProgress = std::move(progress);
}

// Going through the blank page makes the view read the file again, although its address is
// the one shown.
void TPagePreview::ShowPage(const QString& path)
{
    setSource(BlankUrl);
    setSource(FileUrl(path));
    clearHistory();
}

void TPagePreview::ShowNothing()
{
    setSource(BlankUrl);
    clearHistory();
}

QString TPagePreview::LocalPathOf(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    return DecodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

bool TPagePreview::ShowsInside(const QUrl& url) const
{
    if (url.hasFragment() && withoutFragment(url) == withoutFragment(source()))
        return true;
    const QString path = LocalPathOf(url);
    if (!isPageName(path))
        return false;
    const std::optional<qint64> size = regularFileSize(path);
    if (!size)
        return false;
    if (*size <= MaxParsedPageBytes)
        return true;
    const std::optional<QByteArray> head = ReadFileBytes(path, HeadBytes);
    return *size <= MaxListPageBytes && head && IsListPage(*head);
}

void TPagePreview::followLink(const QUrl& url)
{
    if (ShowsInside(url)) {
        setSource(url);
        return;
    }
    if (m_openOutside)
        m_openOutside(url.isLocalFile() ? LocalPathOf(url) : url.toString());
}

QVariant TPagePreview::loadResource(int type, const QUrl& name)
{
    if (type != QTextDocument::HtmlResource)
        return QTextBrowser::loadResource(type, name);
    if (name == BlankUrl)
        return QString::fromLatin1(BlankPage);
    const QString path = LocalPathOf(name);
    const std::optional<QByteArray> page = ReadFileBytes(path, MaxListPageBytes);
    if (!page)
        return {};
    if (!IsListPage(*page))
        return *page;
    // Blank until fillPendingPage, which the view's sourceChanged runs, has built the page.
    m_pendingPage = *page;
    return QString::fromLatin1(BlankPage);
}

void TPagePreview::fillPendingPage()
{
    if (m_pendingPage.isEmpty())
        return;
    const QByteArray page = std::exchange(m_pendingPage, {});
    // Filled apart from the view: a document that is shown lays out every insertion.
    auto* filled = new QTextDocument(this);
    filled->setDefaultFont(document()->defaultFont());
    filled->setDefaultStyleSheet(document()->defaultStyleSheet());
    filled->setDefaultTextOption(document()->defaultTextOption());
    filled->setDocumentMargin(document()->documentMargin());
    if (!LoadListPage(*filled, page, MaxShownPageLines, m_loadProgress)) {
        delete filled;
        setHtml(QStringDecoder::decoderForHtml(page).decode(page));
        return;
    }
    filled->setMetaInformation(QTextDocument::DocumentUrl, source().toString());
    const QPointer<QTextDocument> previous = document();
    setDocument(filled);
    if (previous && previous->parent() == this)
        delete previous;
}

// A read-only view has no caret to move: Ctrl+Home and Ctrl+End scroll to the page's ends, as
// Page Up and Page Down scroll through it.
void TPagePreview::keyPressEvent(QKeyEvent* event)
{
    const bool control = event->modifiers() == Qt::ControlModifier;
    if (control && (event->key() == Qt::Key_End || event->key() == Qt::Key_Home)) {
        QTextCursor cursor = textCursor();
        const bool end = event->key() == Qt::Key_End;
        cursor.movePosition(end ? QTextCursor::End : QTextCursor::Start);
        setTextCursor(cursor);
        verticalScrollBar()->setValue(end ? verticalScrollBar()->maximum() : 0);
        event->accept();
        return;
    }
    QTextBrowser::keyPressEvent(event);
}

} // namespace dirka
