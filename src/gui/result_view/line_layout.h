#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QStringView>

class QPainter;

namespace dirka {

/// A tab advances to the next multiple of this many character widths, on screen and on paper.
inline constexpr int TabColumns = 8;

/// Whether position lies between the halves of a surrogate pair.
bool SplitsSurrogatePair(QStringView text, qsizetype position);

/// Where the units of one result line sit across: a tab advances to the next multiple of eight
/// character widths, other text is measured with the font and its fallbacks, so wide and
/// proportional glyphs paint and hit-test alike. Columns are units of the line; none falls
/// between the halves of a surrogate pair.
class TLineLayout {
public:
    explicit TLineLayout(const QFont& font);

    qreal CharWidth() const { return m_charWidth; }
    qreal Ascent() const { return m_metrics.ascent(); }
    int LineHeight() const { return m_lineHeight; }

    /// XOfColumn(u"a\tb", 2) == 8 * CharWidth().
    qreal XOfColumn(QStringView text, qsizetype column) const;
    qreal Width(QStringView text) const { return XOfColumn(text, text.size()); }
    /// The column whose left edge is nearest x: ColumnAtX(u"a\tb", 6 * CharWidth()) == 2.
    qsizetype ColumnAtX(QStringView text, qreal x) const;
    /// Paints text with its baseline starting at origin; answers its width.
    qreal Draw(QPainter& painter, QStringView text, QPointF origin) const;

private:
    qreal advance(QStringView run, qsizetype length) const;
    qreal nextTabStop(qreal x) const;
    qsizetype columnInRun(QStringView run, qreal x) const;

    QFontMetricsF m_metrics;
    qreal m_charWidth;
    int m_lineHeight;
};

} // namespace dirka
