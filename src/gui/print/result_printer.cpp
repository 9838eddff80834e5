#include "gui/print/result_printer.h"

#include "gui/print/print_layout.h"
#include "gui/result_view/line_layout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

namespace dirka {

namespace {

// The header and footer take a row each, with half a row between them and the lines.
constexpr qreal GapRows = 0.5;

// Paints the rows of one page from start on; answers nothing (the layout decides the rows).
void paintRows(QPainter& painter, const TLinesTarget& lines, TPageStart start, int rowsPerPage,
               int columns, qreal top, qreal lineHeight, qreal ascent)
{
    qreal y = top + ascent;
    int used = 0;
    for (qsizetype i = start.Line; i < lines.LineCount() && used < rowsPerPage; ++i) {
        const QString text = ExpandTabs(lines.Line(i));
        const int rows = RowCount(text.size(), columns);
        for (int row = i == start.Line ? start.Row : 0; row < rows && used < rowsPerPage; ++row) {
            qsizetype from = qsizetype(row) * columns;
            qsizetype length = std::min<qsizetype>(columns, text.size() - from);
            // A character beyond U+FFFF is not cut in two.
            if (length > 0 && SplitsSurrogatePair(text, from + length))
                --length;
            if (row > 0 && SplitsSurrogatePair(text, from))
                --from, ++length;
            painter.drawText(QPointF(0, y), text.mid(from, std::max<qsizetype>(length, 0)));
            y += lineHeight;
            ++used;
        }
    }
}

} // namespace

int PrintResult(QPrinter& printer, const TPrintJob& job,
                const std::function<bool(int done, int pages)>& progress)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return -1;
    painter.setFont(job.Font);
    const QFontMetricsF metrics(job.Font, &printer);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal width = page.width();
    const qreal lineHeight = metrics.lineSpacing();
    const int columns =
        std::max(1, int(width / std::max<qreal>(metrics.horizontalAdvance(u'M'), 1)));
    const qreal linesTop = lineHeight * (1 + GapRows);
    const int rowsPerPage =
        std::max(1, int((page.height() - 2 * lineHeight * (1 + GapRows)) / lineHeight));

    const std::vector<TPageStart> pages =
        Paginate(*job.Lines, columns, rowsPerPage,
                 [&progress](qsizetype) { return !progress || progress(0, 0); });
    const int count = int(pages.size());
    // The header, the same on every page: the location on the left, the date on the right.
    const qreal dateWidth = metrics.horizontalAdvance(job.Date);
    const QString location =
        metrics.elidedText(job.Location, Qt::ElideMiddle, width - dateWidth - lineHeight);
    for (int p = 0; p < count; ++p) {
        if (progress && !progress(p, count)) {
            painter.end();
            return -1;
        }
        if (p > 0)
            printer.newPage();
        painter.drawText(QRectF(0, 0, width - dateWidth - lineHeight, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, location);
        painter.drawText(QPointF(width - dateWidth, metrics.ascent()), job.Date);
        painter.drawLine(QPointF(0, lineHeight * 1.2), QPointF(width, lineHeight * 1.2));
        paintRows(painter, *job.Lines, pages[std::size_t(p)], rowsPerPage, columns, linesTop,
                  lineHeight, metrics.ascent());
        painter.drawText(QRectF(0, page.height() - lineHeight, width, lineHeight),
                         Qt::AlignHCenter | Qt::AlignVCenter, PageNumberText(p + 1, count));
    }
    painter.end();
    return count;
}

} // namespace dirka
