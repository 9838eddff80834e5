#pragma once

#include "gui/export/list_page_document.h"

#include <QByteArray>
#include <QTextBrowser>

#include <functional>

// The export dialog's "Page Preview": a browser view that follows links to pages inside itself
// and hands every other link (files, folders, web addresses) to the desktop, as a web browser
// hands on what it cannot show. Pages written by the HTML export load without the HTML parser
// (list_page_document.h).
namespace dirka {

class TPagePreview : public QTextBrowser {
    Q_OBJECT
public:
    explicit TPagePreview(QWidget* parent = nullptr);

    /// Where links the view does not show go: a local path or a web address.
    void SetOpenOutside(std::function<void(const QString& target)> open);
    /// Called while an export's page loads; it may let events run. Without it a page loads in
    /// one go.
    void SetLoadProgress(TLoadProgress progress);

    /// Shows the page file at path, read anew even when it is shown already, with an empty
    /// history.
    void ShowPage(const QString& path);
    /// An empty view with an empty history; the memory of a large page is given back.
    void ShowNothing();

    /// Whether a link to url opens inside the view: a local .html, .htm or .xhtml file, or a
    /// place in the page shown.
    bool ShowsInside(const QUrl& url) const;

    /// The local path a file URL names, undecodable bytes kept (see FileUrl in desktop.h).
    static QString LocalPathOf(const QUrl& url);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void followLink(const QUrl& url);
    void fillPendingPage();

    std::function<void(const QString&)> m_openOutside;
    TLoadProgress m_loadProgress;
    QByteArray m_pendingPage; // an export's page read by loadResource, shown once its frame is
};

} // namespace dirka
