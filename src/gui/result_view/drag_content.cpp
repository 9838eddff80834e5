#include "gui/result_view/drag_content.h"

#include "gui/main_window/desktop.h"

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

QMimeData* DragMimeData(const QList<QUrl>& urls, const QString& text)
{
    auto* data = new QMimeData;
    if (!urls.isEmpty())
        data->setUrls(urls);
    // setUrls also offers the URLs as text; the text of the lines is what a text target wants.
    data->setText(text);
    return data;
}

} // namespace dirka
