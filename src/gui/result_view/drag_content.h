#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class QMimeData;

// What a drag of the result's selected lines carries, built without widgets so it is tested as
// data: the items of the lines as file URLs (text/uri-list) and the selected text (text/plain).
namespace dirka {

/// The file URLs of the items of lines first..last (inclusive), in line order, each item once;
/// pathOf answers a line's item path (empty for a line without one, which adds nothing). The
/// URLs are percent-encoded from the raw bytes of the names (FileUrl, desktop.h):
/// lines showing "/a b/" and "/a b/\xFF" give file:///a%20b and file:///a%20b/%FF.
QList<QUrl> DragUrls(qsizetype first, qsizetype last, const std::function<QString(int)>& pathOf);

/// The data of the drag: text/uri-list of urls (when there are any) and text as text/plain.
QMimeData* DragMimeData(const QList<QUrl>& urls, const QString& text);

} // namespace dirka
