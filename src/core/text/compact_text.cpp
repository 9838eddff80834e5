#include "core/text/compact_text.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dirka {

namespace {

constexpr qsizetype LineBreakLength = 2;

// One pass the compiler can vectorise: most lines are Latin-1, and all of each is looked at.
bool beyondLatin1(const char16_t* units, qsizetype count)
{
    char16_t high = 0;
    for (qsizetype k = 0; k < count; ++k)
        high |= char16_t(units[k] & 0xFF00);
    return high != 0;
}

// Lines with a unit from U+0100 on are held in per-unit UTF-8: each UTF-16 unit on its own,
// in one to three bytes (a lone surrogate too), so such a line decodes back exactly and takes
// less room than two bytes a unit when most of it is ASCII, as names are.
qsizetype perUnitUtf8Size(const char16_t* units, qsizetype count)
{
    qsizetype size = count;
    for (qsizetype k = 0; k < count; ++k)
        size += (units[k] >= 0x80) + (units[k] >= 0x800);
    return size;
}

void putPerUnitUtf8(char* out, const char16_t* units, qsizetype count)
{
    for (qsizetype k = 0; k < count; ++k) {
        const char16_t u = units[k];
        if (u < 0x80) {
            *out++ = char(u);
        } else if (u < 0x800) {
            *out++ = char(0xC0 | u >> 6);
            *out++ = char(0x80 | (u & 0x3F));
        } else {
            *out++ = char(0xE0 | u >> 12);
            *out++ = char(0x80 | (u >> 6 & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        }
    }
}

// The units of a per-unit UTF-8 line: its bytes that begin one.
qsizetype unitsInPerUnitUtf8(const unsigned char* bytes, qsizetype size)
{
    qsizetype units = 0;
    for (qsizetype k = 0; k < size; ++k)
        units += (bytes[k] & 0xC0) != 0x80;
    return units;
}

// Where the unit after skip units begins in a per-unit UTF-8 line.
const unsigned char* skipPerUnitUtf8(const unsigned char* bytes, qsizetype skip)
{
    for (; skip > 0; --skip)
        bytes += *bytes < 0x80 ? 1 : *bytes < 0xE0 ? 2 : 3;
    return bytes;
}

const unsigned char* decodePerUnitUtf8(const unsigned char* bytes, char16_t* out, qsizetype count)
{
    for (qsizetype k = 0; k < count; ++k) {
        const unsigned char lead = *bytes;
        if (lead < 0x80) {
            out[k] = lead;
            bytes += 1;
        } else if (lead < 0xE0) {
            out[k] = char16_t((lead & 0x1F) << 6 | (bytes[1] & 0x3F));
            bytes += 2;
        } else {
            out[k] = char16_t((lead & 0x0F) << 12 | (bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F));
            bytes += 3;
        }
    }
    return bytes;
}

} // namespace

void TCompactText::Append(QStringView line)
{
    line = line.first(std::min(line.size(), MaxLineUnits));
    const qsizetype count = line.size();
    const char16_t* units = line.utf16();
    const bool utf8 = count > 0 && beyondLatin1(units, count);
    const qsizetype index = LineCount();
    if ((index & (BlockLines - 1)) == 0)
        m_blocks.append({m_bytes.size(), m_units + LineBreakLength * index, 0});
    if (utf8)
        m_blocks.back().PerUnitUtf8 |= std::uint64_t(1) << (index & (BlockLines - 1));
    const qsizetype bytes = utf8 ? perUnitUtf8Size(units, count) : count;
    if (bytes < LongLine) {
        m_lines.append(std::uint16_t(bytes));
    } else {
        m_lines.append(LongLine);
        m_longLines.push_back({index, bytes});
    }
    reserveBytes(bytes);
    const qsizetype at = m_bytes.size();
    m_bytes.resize(at + bytes);
    char* out = m_bytes.data() + at;
    if (utf8) {
        putPerUnitUtf8(out, units, count);
    } else {
        for (qsizetype k = 0; k < count; ++k)
            out[k] = char(units[k]);
    }
    m_units += count;
}

qsizetype TCompactText::byteLength(qsizetype index) const
{
    const std::uint16_t bytes = m_lines[index];
    if (bytes != LongLine)
        return bytes;
    const auto line = std::lower_bound(m_longLines.begin(), m_longLines.end(), index,
                                       [](const TLongLine& l, qsizetype i) { return l.Line < i; });
    return line->Bytes;
}

// Lines keep only their lengths, two bytes each: a line's start is its block's plus the
// lengths of the block's lines before it, at most 63 of them. Lines read one after the other
// (a search, an export) take their start from the line before.
qsizetype TCompactText::byteStart(qsizetype index) const
{
    if (index == m_read.Line)
        return m_read.Byte;
    qsizetype start = 0;
    if (index == m_read.Line + 1 && (index & (BlockLines - 1)) != 0) {
        start = m_read.Byte + byteLength(m_read.Line);
    } else {
        const qsizetype first = index & ~(BlockLines - 1);
        start = m_blocks[index >> BlockShift].Byte + sumOfLengths(first, index);
    }
    m_read = {index, start};
    return start;
}

// The bytes of lines [first, end): the two-byte lengths summed at once, unless a long line
// is among them.
qsizetype TCompactText::sumOfLengths(qsizetype first, qsizetype end) const
{
    const std::uint16_t* lengths = m_lines.constData();
    qsizetype sum = 0;
    bool hasLong = false;
    for (qsizetype k = first; k < end; ++k) {
        sum += lengths[k];
        hasLong |= lengths[k] == LongLine;
    }
    if (!hasLong)
        return sum;
    sum = 0;
    for (qsizetype k = first; k < end; ++k)
        sum += byteLength(k);
    return sum;
}

// The bytes grow by an eighth at a time: a large block is moved by the system, not copied, so
// small steps cost little, and the room reserved never runs far ahead of a large text.
void TCompactText::reserveBytes(qsizetype more)
{
    const qsizetype needed = m_bytes.size() + more;
    if (needed <= m_bytes.capacity())
        return;
    m_bytes.reserve(std::max(needed, m_bytes.size() + m_bytes.size() / 8 + 4096));
}

void TCompactText::Truncate(qsizetype count)
{
    if (count >= LineCount())
        return;
    if (count <= 0) {
        Clear();
        return;
    }
    for (qsizetype k = count; k < LineCount(); ++k)
        m_units -= LineLength(k);
    m_bytes.truncate(byteStart(count));
    m_read = {};
    m_lines.resize(count);
    while (!m_longLines.empty() && m_longLines.back().Line >= count)
        m_longLines.pop_back();
    m_blocks.resize(((count - 1) >> BlockShift) + 1);
    const qsizetype kept = count - ((count - 1) & ~(BlockLines - 1));
    if (kept < BlockLines)
        m_blocks.back().PerUnitUtf8 &= (std::uint64_t(1) << kept) - 1;
}

void TCompactText::Clear()
{
    m_bytes = QByteArray();
    m_read = {};
    m_lines = QList<std::uint16_t>();
    m_longLines = std::vector<TLongLine>();
    m_blocks = QList<TBlock>();
    m_units = 0;
}

qsizetype TCompactText::LineLength(qsizetype index) const
{
    const qsizetype bytes = byteLength(index);
    if (!isPerUnitUtf8(index))
        return bytes;
    return unitsInPerUnitUtf8(
        reinterpret_cast<const unsigned char*>(m_bytes.constData() + byteStart(index)), bytes);
}

QStringView TCompactText::Line(qsizetype index, QString& scratch) const
{
    const qsizetype length = LineLength(index);
    scratch.resize(0);
    AppendLinePart(scratch, index, 0, length);
    return QStringView(scratch.constData(), length);
}

void TCompactText::AppendLinePart(QString& out, qsizetype index, qsizetype from,
                                  qsizetype length) const
{
    const char* bytes = m_bytes.constData() + byteStart(index);
    if (!isPerUnitUtf8(index)) {
        out.append(QLatin1StringView(bytes + from, length));
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + length);
    decodePerUnitUtf8(skipPerUnitUtf8(reinterpret_cast<const unsigned char*>(bytes), from),
                      reinterpret_cast<char16_t*>(out.data()) + at, length);
}

qsizetype TCompactText::LineStart(qsizetype index) const
{
    const qsizetype first = index & ~(BlockLines - 1);
    const TBlock& block = m_blocks[index >> BlockShift];
    const std::uint64_t utf8 = block.PerUnitUtf8 & ((std::uint64_t(1) << (index - first)) - 1);
    qsizetype start = block.Start + LineBreakLength * (index - first);
    if (utf8 == 0)
        return start + sumOfLengths(first, index);
    // A per-unit UTF-8 line has fewer units than bytes: count them.
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.constData() + block.Byte);
    for (qsizetype k = first; k < index; ++k) {
        const qsizetype size = byteLength(k);
        start += (utf8 >> (k - first) & 1) != 0 ? unitsInPerUnitUtf8(bytes, size) : size;
        bytes += size;
    }
    return start;
}

qsizetype TCompactText::LineFromOffset(qsizetype offset) const
{
    if (m_lines.isEmpty() || offset <= 0)
        return 0;
    const auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), offset,
                                        [](qsizetype o, const TBlock& b) { return o < b.Start; });
    qsizetype index = qsizetype(after - m_blocks.begin() - 1) << BlockShift;
    qsizetype start = std::prev(after)->Start;
    while (index + 1 < LineCount()) {
        const qsizetype next = start + LineLength(index) + LineBreakLength;
        if (next > offset)
            break;
        start = next;
        ++index;
    }
    return index;
}

QString TCompactText::Mid(qsizetype start, qsizetype length) const
{
    const qsizetype size = Size();
    start = std::clamp<qsizetype>(start, 0, size);
    const qsizetype end = start + std::clamp<qsizetype>(length, 0, size - start);
    QString out;
    if (start == end)
        return out;
    out.reserve(end - start);
    qsizetype index = LineFromOffset(start);
    qsizetype lineStart = LineStart(index);
    for (qsizetype at = start; at < end; ++index) {
        const qsizetype lineEnd = lineStart + LineLength(index);
        if (at < lineEnd) {
            const qsizetype taken = std::min(end, lineEnd) - at;
            AppendLinePart(out, index, at - lineStart, taken);
            at += taken;
        }
        for (; at < end && at < lineEnd + LineBreakLength; ++at)
            out.append(at == lineEnd ? u'\r' : u'\n');
        lineStart = lineEnd + LineBreakLength;
    }
    return out;
}

char16_t TCompactText::UnitAt(qsizetype offset) const
{
    const qsizetype index = LineFromOffset(offset);
    const qsizetype column = offset - LineStart(index);
    const qsizetype length = LineLength(index);
    if (column >= length)
        return column == length ? u'\r' : u'\n';
    const auto* bytes =
        reinterpret_cast<const unsigned char*>(m_bytes.constData() + byteStart(index));
    if (!isPerUnitUtf8(index))
        return bytes[column];
    char16_t unit = 0;
    decodePerUnitUtf8(skipPerUnitUtf8(bytes, column), &unit, 1);
    return unit;
}

} // namespace dirka
