#include "gui/print/print_layout.h"

#include "gui/result_view/line_layout.h"

#include <algorithm>

namespace dirka {

namespace {

constexpr qsizetype CheckInterval = 1024;

} // namespace

QString ExpandTabs(QStringView line)
{
    if (!line.contains(u'\t'))
        return line.toString();
    QString out;
    out.reserve(line.size() + TabColumns);
    for (const QChar c : line) {
        if (c == u'\t')
            out.append(QString(TabColumns - out.size() % TabColumns, u' '));
        else
            out.append(c);
    }
    return out;
}

qsizetype ExpandedLength(QStringView line)
{
    qsizetype length = 0;
    for (const QChar c : line)
        length += c == u'\t' ? TabColumns - length % TabColumns : 1;
    return length;
}

int RowCount(qsizetype length, int columns)
{
    if (length <= 0 || columns <= 0)
        return 1;
    return int(std::min<qsizetype>((length + columns - 1) / columns, INT_MAX));
}

std::vector<TPageStart> Paginate(const TLinesTarget& lines, int columns, int rowsPerPage,
                                 const std::function<bool(qsizetype line)>& mayGoOn)
{
    rowsPerPage = std::max(rowsPerPage, 1);
    std::vector<TPageStart> pages{TPageStart{}};
    int used = 0; // rows used on the last page
    const qsizetype count = lines.LineCount();
    for (qsizetype i = 0; i < count; ++i) {
        if (i % CheckInterval == 0 && mayGoOn && !mayGoOn(i))
            break;
        const int rows = RowCount(ExpandedLength(lines.Line(i)), columns);
        for (int row = 0; row < rows;) {
            if (used == rowsPerPage) {
                pages.push_back(TPageStart{i, row});
                used = 0;
            }
            const int taken = std::min(rows - row, rowsPerPage - used);
            used += taken;
            row += taken;
        }
    }
    return pages;
}

QString PageNumberText(int page, int pages)
{
    return QStringLiteral("Page %1 of %2").arg(page).arg(pages);
}

} // namespace dirka
