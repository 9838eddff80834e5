#pragma once

#include "core/listing/lines_target.h"

#include <QString>
#include <QStringView>

#include <vector>

// How a result is laid out on paper, as plain functions of the text: tabs expanded as the
// result view shows them, long lines wrapped, rows counted into pages.
namespace dirka {

/// The line with each tab replaced by spaces up to the next multiple of eight columns, as the
/// result view advances tabs in its fixed-width font: ExpandTabs(u"ab\tc") == "ab      c".
QString ExpandTabs(QStringView line);

/// ExpandTabs(line).size(), without making the line: ExpandedLength(u"ab\tc") == 9.
qsizetype ExpandedLength(QStringView line);

/// How many rows of columns units an expanded line takes (at least one, for an empty line):
/// RowCount(0, 80) == 1, RowCount(81, 80) == 2.
int RowCount(qsizetype length, int columns);

/// Where a page starts: its first line and the row of that line it starts with.
struct TPageStart {
    qsizetype Line = 0;
    int Row = 0;
    bool operator==(const TPageStart&) const = default;
};

/// The pages of lines, rowsPerPage rows a page, each line wrapped at columns: one page for an
/// empty result. Reads each line once; mayGoOn is asked every 1024 lines and a false answer
/// ends the count (the pages so far are answered).
std::vector<TPageStart> Paginate(const TLinesTarget& lines, int columns, int rowsPerPage,
                                 const std::function<bool(qsizetype line)>& mayGoOn = {});

/// "Page 3 of 17"
QString PageNumberText(int page, int pages);

} // namespace dirka
