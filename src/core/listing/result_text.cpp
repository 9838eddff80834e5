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
    if (std::size_t(line) >= m_pathInLine.size() || m_pathInLine[std::size_t(line)].Length == 0)
        return m_paths.TabGet(int(line));
    const TPathInLine path = m_pathInLine[std::size_t(line)];
    const QStringView shown = Line(line).sliced(path.Start, path.Length);
    if (path.Whole)
        return shown.toString();
    const auto run =
        std::upper_bound(m_folderRuns.begin(), m_folderRuns.end(), line,
                         [](qsizetype l, const TFolderRun& r) { return l < r.FirstLine; });
    const QStringView folder = wholePathIn(std::prev(run)->FolderLine);
    QString whole(folder.size() + shown.size() + path.Delimited, Qt::Uninitialized);
    const auto end = std::copy(shown.begin(), shown.end(),
                               std::copy(folder.begin(), folder.end(), whole.begin()));
    if (path.Delimited)
        *end = folder.back();
    return whole;
}

void TResultText::AppendItemLine(QStringView text, const TLineItem& item)
{
    const int line = int(LineCount());
    AppendLine(text);
    if (!keepPathInLine(line, Line(line), item))
        m_paths.TabAdd(line, item.Name, item.FolderPath);
    if (item.Record != nullptr)
        addRecord(line, *item.Record);
}

// Keeps where text shows the item's path, if it does: the whole path after the indent, or the
// name below the folder line of the current run. A line that shows its folder's whole path
// starts a run.
bool TResultText::keepPathInLine(int line, QStringView text, const TLineItem& item)
{
    constexpr qsizetype MaxStart = 255;
    constexpr qsizetype MaxLength = (1 << 22) - 1;
    const qsizetype indent = indentOf(text);
    const QStringView shown = text.sliced(indent);
    const qsizetype pathLength = item.FolderPath.size() + item.Name.size();
    const auto keep = [&](qsizetype start, qsizetype length, bool whole, bool delimited) {
        m_pathInLine.resize(std::size_t(line) + 1);
        m_pathInLine.back() = {std::uint32_t(start), whole, delimited, std::uint32_t(length)};
        return true;
    };
    if (pathLength == 0 || pathLength > MaxLength || indent > MaxStart)
        return false;
    if (shown.startsWith(item.FolderPath) &&
        shown.sliced(item.FolderPath.size()).startsWith(item.Name)) {
        if (item.Name.isEmpty())
            m_folderRuns.push_back({line, line});
        return keep(indent, pathLength, true, false);
    }
    if (item.Name.isEmpty() || m_folderRuns.empty() || runFolderPath() != item.FolderPath)
        return false;
    // A folder's name ends in the delimiter its line need not show.
    const bool delimited = item.Name.size() > 1 && item.Name.back() == item.FolderPath.back();
    const QStringView name = delimited ? item.Name.chopped(1) : item.Name;
    const qsizetype at = shown.indexOf(name);
    if (at < 0 || indent + at > MaxStart)
        return false;
    return keep(indent + at, name.size(), false, delimited);
}

QStringView TResultText::runFolderPath() const
{
    return wholePathIn(m_folderRuns.back().FolderLine);
}

QStringView TResultText::wholePathIn(qsizetype line) const
{
    Assert(std::size_t(line) < m_pathInLine.size() && m_pathInLine[std::size_t(line)].Whole);
    const TPathInLine path = m_pathInLine[std::size_t(line)];
    return Line(line).sliced(path.Start, path.Length);
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
    while (!m_folderRuns.empty() && m_folderRuns.back().FirstLine >= count)
        m_folderRuns.pop_back();
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
    m_folderRuns.clear();
    m_recordLines.clear();
    m_recordFacts.clear();
}

} // namespace dirka
