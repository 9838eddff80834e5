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
    if (!m_starts.empty())
        m_text.append(u"\r\n");
    m_starts.push_back(m_text.size());
    m_text.append(text);
}

void TResultText::AppendItemLine(QStringView text, const TLineItem& item)
{
    const int line = int(LineCount());
    m_paths.TabAdd(line, item.Name, item.FolderPath);
    if (const TItemFacts* facts = item.Record)
        m_records.push_back({facts->Size, facts->Modified, line, facts->Type, facts->State});
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
    while (!m_records.empty() && m_records.back().Line >= count)
        m_records.pop_back();
    m_text.truncate(m_starts[std::size_t(count)] - LineBreakLength);
    m_starts.resize(std::size_t(count));
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
    m_records.clear();
}

} // namespace dirka
