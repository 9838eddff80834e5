#pragma once

#include "core/listing/lines_target.h"

#include <QString>

#include <vector>

namespace dirka {

/// The result as one UTF-16 text whose lines are joined by CR LF, plus the start offset of every
/// line, so a million-line result is held once and a view can paint any line directly.
class TResultText : public TLinesTarget {
public:
    qsizetype LineCount() const override { return qsizetype(m_starts.size()); }
    QStringView Line(qsizetype index) const override;
    void AppendLine(QStringView text) override;
    void RemoveLastLine() override;
    void TruncateLines(qsizetype count) override;

    /// The whole text, lines joined by CR LF, without a final line break.
    QStringView Text() const { return m_text; }
    /// The same text as a string that shares this one's memory until either changes: the
    /// clipboard keeps a result this way without a copy.
    QString SharedText() const { return m_text; }
    /// The 0-based line that holds the unit at offset (a line break belongs to its line).
    qsizetype LineFromOffset(qsizetype offset) const;
    /// The offset of line index's first unit.
    qsizetype LineStart(qsizetype index) const { return m_starts[std::size_t(index)]; }
    void Clear();

private:
    QString m_text;
    std::vector<qsizetype> m_starts;
};

} // namespace dirka
