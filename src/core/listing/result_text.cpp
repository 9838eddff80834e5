#include "core/listing/result_text.h"

#include <algorithm>

namespace dirka {

namespace {
constexpr qsizetype LineBreakLength = 2;
}

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

void TResultText::AppendItemLine(QStringView text, const TLineItem& item)
{
    const int line = int(LineCount());
    m_paths.TabAdd(line, item.Name, item.FolderPath);
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
    m_recordLines.clear();
    m_recordFacts.clear();
}

} // namespace dirka
