#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include "core/text/compact_text.h"

#include <functional>
#include <limits>

class QMimeData;

// What a drag of the result's selected lines carries, built without widgets so it is tested as
// data: the items of the lines as file URLs (text/uri-list) and the selected text (text/plain).
namespace dirka {

/// The file URLs of the items of lines first..last (inclusive), in line order, each item once;
/// pathOf answers a line's item path (empty for a line without one, which adds nothing). The
/// URLs are percent-encoded from the raw bytes of the names (FileUrl, desktop.h):
/// lines showing "/a b/" and "/a b/\xFF" give file:///a%20b and file:///a%20b/%FF.
QList<QUrl> DragUrls(qsizetype first, qsizetype last, const std::function<QString(int)>& pathOf);

/// The data of the drag: text/uri-list of urls (when there are any) and the part of text from
/// start, length units long, as text/plain; the text is shared, not copied, until a target asks.
QMimeData* DragMimeData(const QList<QUrl>& urls, const TCompactText& text, qsizetype start = 0,
                        qsizetype length = std::numeric_limits<qsizetype>::max());

} // namespace dirka
