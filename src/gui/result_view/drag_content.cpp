#include "gui/result_view/drag_content.h"

#include "gui/desktop/desktop.h"
#include "gui/widgets/shared_text_mime.h"

#include <QMimeData>
#include <QSet>

namespace dirka {

QList<QUrl> DragUrls(qsizetype first, qsizetype last, const std::function<QString(int)>& pathOf)
{
    QList<QUrl> urls;
    QSet<QString> seen;
    for (qsizetype line = std::max<qsizetype>(first, 0); line <= last; ++line) {
        const QString path = pathOf(int(line));
        if (path.isEmpty() || seen.contains(path))
            continue;
        seen.insert(path);
        urls.append(FileUrl(path));
    }
    return urls;
}

QMimeData* DragMimeData(const QList<QUrl>& urls, const TCompactText& text, qsizetype start,
                        qsizetype length)
{
    // The text of the lines, not the URLs as text, is what a text target wants.
    auto* data = new TSharedTextMimeData(text, start, length);
    if (!urls.isEmpty())
        data->setUrls(urls);
    return data;
}

} // namespace dirka
