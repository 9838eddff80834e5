#include "gui/result_view/line_layout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace dirka {

namespace {

// Painting and measuring read the result's own units: no copy of a line.
QString rawString(QStringView text)
{
    return QString::fromRawData(text.constData(), text.size());
}

bool isPrintableAscii(QStringView run)
{
    for (const QChar c : run) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

// Calls visit(run, runStart, x) for each stretch between tabs, left to right, until it answers
// false.
template <typename Visit> void forEachRun(QStringView text, Visit visit)
{
    qsizetype runStart = 0;
    for (;;) {
        const qsizetype tab = text.indexOf(u'\t', runStart);
        const qsizetype runEnd = tab < 0 ? text.size() : tab;
        if (!visit(text.sliced(runStart, runEnd - runStart), runStart) || tab < 0)
            return;
        runStart = runEnd + 1;
    }
}

} // namespace

bool SplitsSurrogatePair(QStringView text, qsizetype position)
{
    return position > 0 && position < text.size() && text[position - 1].isHighSurrogate() &&
           text[position].isLowSurrogate();
}

TLineLayout::TLineLayout(const QFont& font)
    : m_metrics(font), m_charWidth(std::max<qreal>(1, m_metrics.horizontalAdvance(u'x'))),
      m_lineHeight(std::max(1, int(std::ceil(m_metrics.lineSpacing()))))
{
}

qreal TLineLayout::advance(QStringView run, qsizetype length) const
{
    // Monospace ASCII needs no shaping; anything else may come from a proportional fallback font.
    if (isPrintableAscii(run))
        return qreal(length) * m_charWidth;
    return m_metrics.horizontalAdvance(rawString(run), int(length));
}

qreal TLineLayout::nextTabStop(qreal x) const
{
    // A tab always advances; the small slack keeps rounding from swallowing a whole tab.
    const qreal tab = TabColumns * m_charWidth;
    return (std::floor((x + 0.01) / tab) + 1) * tab;
}

qreal TLineLayout::XOfColumn(QStringView text, qsizetype column) const
{
    column = std::clamp<qsizetype>(column, 0, text.size());
    qreal x = 0;
    forEachRun(text, [&](QStringView run, qsizetype runStart) {
        if (column <= runStart + run.size()) {
            x += advance(run, column - runStart);
            return false;
        }
        x = nextTabStop(x + advance(run, run.size()));
        return true;
    });
    return x;
}

qsizetype TLineLayout::ColumnAtX(QStringView text, qreal x) const
{
    qsizetype column = text.size();
    qreal runX = 0;
    forEachRun(text, [&](QStringView run, qsizetype runStart) {
        const qreal width = advance(run, run.size());
        const qsizetype runEnd = runStart + run.size();
        if (x < runX + width) {
            column = runStart + columnInRun(run, x - runX);
            return false;
        }
        const qreal stop = nextTabStop(runX + width);
        if (runEnd < text.size() && x < stop) {
            column = x - (runX + width) <= stop - x ? runEnd : runEnd + 1;
            return false;
        }
        runX = stop;
        return true;
    });
    return column;
}

qsizetype TLineLayout::columnInRun(QStringView run, qreal x) const
{
    if (x <= 0)
        return 0;
    if (isPrintableAscii(run))
        return std::min(qsizetype(std::lround(x / m_charWidth)), run.size());
    // The longest prefix that fits; one ending inside a surrogate pair is measured with the whole
    // pair, so the search never stops between its halves.
    const auto prefix = [&](qsizetype length) {
        return advance(run, SplitsSurrogatePair(run, length) ? length + 1 : length);
    };
    qsizetype low = 0;
    qsizetype high = run.size();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (prefix(middle) <= x)
            low = middle;
        else
            high = middle - 1;
    }
    if (low >= run.size())
        return low;
    const qsizetype next = low + (SplitsSurrogatePair(run, low + 1) ? 2 : 1);
    return x - prefix(low) <= prefix(next) - x ? low : next;
}

qreal TLineLayout::Draw(QPainter& painter, QStringView text, QPointF origin) const
{
    qreal x = 0;
    forEachRun(text, [&](QStringView run, qsizetype runStart) {
        if (!run.isEmpty())
            painter.drawText(QPointF(origin.x() + x, origin.y()), rawString(run));
        x += advance(run, run.size());
        if (runStart + run.size() < text.size())
            x = nextTabStop(x);
        return true;
    });
    return x;
}

} // namespace dirka
