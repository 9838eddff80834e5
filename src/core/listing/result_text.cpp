#include "core/listing/result_text.h"

#include <algorithm>

namespace dirka {

namespace {

constexpr qsizetype LineBreakLength = 2;

qsizetype indentOf(QStringView line)
{
    qsizetype indent = 0;
    while (indent < line.size() && (line[indent] == u'\t' || line[indent] == u' '))
        ++indent;
    return indent;
}

} // namespace

QStringView TResultText::Line(qsizetype index) const
{
    const qsizetype start = m_starts[std::size_t(index)];
    const qsizetype end = index + 1 < LineCount()
                              ? m_starts[std::size_t(index + 1)] - LineBreakLength
                              : m_text.size();
    return QStringView(m_text).sliced(start, end - start);
}

void TResultText::AppendLine(QStringView text)
{
    reserveText(text.size() + LineBreakLength);
    if (!m_starts.empty())
        m_text.append(u"\r\n");
    m_starts.push_back(m_text.size());
    m_text.append(text);
}

QString TResultText::PathOf(qsizetype line) const
{
    if (std::size_t(line) < m_pathInLine.size()) {
        if (const TPathInLine path = m_pathInLine[std::size_t(line)]; path.Length > 0)
            return Line(line).sliced(path.Start, path.Length).toString();
    }
    return m_paths.TabGet(int(line));
}

void TResultText::AppendItemLine(QStringView text, const TLineItem& item)
{
    const int line = int(LineCount());
    const qsizetype indent = indentOf(text);
    const QStringView shown = text.sliced(indent);
    const qsizetype pathLength = item.FolderPath.size() + item.Name.size();
    constexpr qsizetype MaxIndent = 255;
    constexpr qsizetype MaxLength = (1 << 24) - 1;
    if (pathLength > 0 && indent <= MaxIndent && pathLength <= MaxLength &&
        shown.startsWith(item.FolderPath) &&
        shown.sliced(item.FolderPath.size()).startsWith(item.Name)) {
        m_pathInLine.resize(std::size_t(line) + 1);
        m_pathInLine.back() = {std::uint32_t(indent), std::uint32_t(pathLength)};
    } else {
        m_paths.TabAdd(line, item.Name, item.FolderPath);
    }
    if (item.Record != nullptr)
        addRecord(line, *item.Record);
    AppendLine(text);
}

void TResultText::RemoveLastLine()
{
    TruncateLines(LineCount() - 1);
}

void TResultText::TruncateLines(qsizetype count)
{
    if (count >= LineCount())
        return;
    if (count <= 0) {
        Clear();
        return;
    }
    m_paths.TabClear(int(count), true);
    if (m_pathInLine.size() > std::size_t(count))
        m_pathInLine.resize(std::size_t(count));
    while (!m_recordLines.empty() && m_recordLines.back() >= count)
        m_recordLines.pop_back();
    if (m_recordFacts.size() > m_recordLines.size())
        m_recordFacts.resize(m_recordLines.size());
    m_text.truncate(m_starts[std::size_t(count)] - LineBreakLength);
    m_starts.resize(std::size_t(count));
}

// The text grows by an eighth at a time: a large block is moved by the system, not copied, so
// small steps cost little, and the room reserved never runs far ahead of a large result.
void TResultText::reserveText(qsizetype more)
{
    const qsizetype needed = m_text.size() + more;
    if (needed <= m_text.capacity())
        return;
    m_text.reserve(std::max(needed, m_text.size() + m_text.size() / 8 + 4096));
}

void TResultText::addRecord(int line, const TItemFacts& facts)
{
    m_recordLines.push_back(line);
    if (m_recordFacts.empty() && facts.State == TFactsState::NotLookedAt)
        return;
    m_recordFacts.resize(m_recordLines.size() - 1);
    m_recordFacts.push_back({facts.Size, facts.Modified, facts.Type, facts.State});
}

TLineRecord TResultText::Record(qsizetype k) const
{
    TLineRecord record;
    record.Line = m_recordLines[std::size_t(k)];
    if (std::size_t(k) < m_recordFacts.size()) {
        const TStoredFacts& facts = m_recordFacts[std::size_t(k)];
        record.Size = facts.Size;
        record.Modified = facts.Modified;
        record.Type = facts.Type;
        record.State = facts.State;
    }
    return record;
}

qsizetype TResultText::LineFromOffset(qsizetype offset) const
{
    if (m_starts.empty() || offset <= 0)
        return 0;
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), offset);
    return qsizetype(after - m_starts.begin()) - 1;
}

void TResultText::Clear()
{
    m_text.clear();
    m_starts.clear();
    m_paths.TabClear(0, true);
    m_pathInLine.clear();
    m_recordLines.clear();
    m_recordFacts.clear();
}

} // namespace dirka
