#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace dirka {

/// Lines of text, held one byte a unit when every unit of the line is below U+0100 (most
/// listing lines) and in per-unit UTF-8 otherwise (each UTF-16 unit on its own, in one to three
/// bytes): a million-line result takes about half the memory of one UTF-16 string. Offsets count
/// UTF-16 units of the lines joined by CR LF, as if they were one string. A copy shares the memory
/// until either side changes, so a clipboard can hold the text at no cost.
class TCompactText {
public:
    /// Longer lines are cut here; no listing line comes near it.
    static constexpr qsizetype MaxLineUnits = qsizetype(1) << 23;

    qsizetype LineCount() const { return m_lines.size(); }
    /// Units of the lines joined by CR LF.
    qsizetype Size() const { return m_lines.isEmpty() ? 0 : m_units + 2 * (m_lines.size() - 1); }
    bool IsEmpty() const { return Size() == 0; }

    void Append(QStringView line);
    /// Removes lines from the end until count remain.
    void Truncate(qsizetype count);
    void Clear();

    /// Line index's units, decoded into scratch.
    QStringView Line(qsizetype index, QString& scratch) const;
    qsizetype LineLength(qsizetype index) const;
    /// The offset of line index's first unit.
    qsizetype LineStart(qsizetype index) const;
    /// The 0-based line that holds the unit at offset (a line break belongs to its line); 0 for
    /// offsets before the text, the last line for offsets past it.
    qsizetype LineFromOffset(qsizetype offset) const;
    /// How line index is held: its bytes, Latin-1 or per-unit UTF-8.
    struct THeldLine {
        QByteArrayView Bytes;
        bool PerUnitUtf8 = false;
    };
    THeldLine Held(qsizetype index) const
    {
        return {QByteArrayView(m_bytes.constData() + byteStart(index), byteLength(index)),
                isPerUnitUtf8(index)};
    }
    /// Appends length units of line index from unit from on to out.
    void AppendLinePart(QString& out, qsizetype index, qsizetype from, qsizetype length) const;
    /// Units [start, start + length) of the joined text, clamped to it.
    QString Mid(qsizetype start, qsizetype length) const;
    /// The unit at offset (0 <= offset < Size()).
    char16_t UnitAt(qsizetype offset) const;

    /// Whether other holds the same memory, not a copy of it.
    bool SharesMemoryWith(const TCompactText& other) const
    {
        return m_bytes.constData() == other.m_bytes.constData();
    }

private:
    static constexpr int BlockShift = 6;
    static constexpr qsizetype BlockLines = qsizetype(1) << BlockShift;
    // A line's length in bytes, or LongLine when it is kept in m_longLines.
    static constexpr std::uint16_t LongLine = 0xFFFF;
    struct TBlock {
        qint64 Byte = 0;               // where the block's first line begins in m_bytes
        qint64 Start = 0;              // the offset of its first unit
        std::uint64_t PerUnitUtf8 = 0; // a bit for each of its lines held in per-unit UTF-8
    };
    struct TLongLine {
        qsizetype Line = 0;
        qsizetype Bytes = 0;
    };

    bool isPerUnitUtf8(qsizetype index) const
    {
        return (m_blocks[index >> BlockShift].PerUnitUtf8 >> (index & (BlockLines - 1)) & 1) != 0;
    }
    qsizetype byteLength(qsizetype index) const;
    qsizetype byteStart(qsizetype index) const;
    qsizetype sumOfLengths(qsizetype first, qsizetype end) const;
    void reserveBytes(qsizetype more);

    QByteArray m_bytes;
    QList<std::uint16_t> m_lines; // their lengths in bytes
    std::vector<TLongLine> m_longLines;
    QList<TBlock> m_blocks; // one for every BlockLines lines
    qsizetype m_units = 0;  // of all lines, without the line breaks
    // The line whose start was asked last, and that start.
    struct TLastRead {
        qsizetype Line = -2;
        qsizetype Byte = 0;
    };
    mutable TLastRead m_read;
};

} // namespace dirka
