#include "core/listing/result_text.h"

#include <algorithm>

namespace dirka {

namespace {

qsizetype indentOf(QStringView line)
{
    qsizetype indent = 0;
    while (indent < line.size() && (line[indent] == u'\t' || line[indent] == u' '))
        ++indent;
    return indent;
}

} // namespace

void TResultText::AppendLine(QStringView text)
{
    m_text.Append(text);
}

QString TResultText::PathOf(qsizetype line) const
{
    if (line >= m_pathInLine.size() || m_pathInLine[line].Length() == 0)
        return m_paths.TabGet(int(line));
    const TPathInLine path = m_pathInLine[line];
    QString whole;
    if (!path.Whole()) {
        const auto run =
            std::upper_bound(m_folderRuns.begin(), m_folderRuns.end(), line,
                             [](qsizetype l, const TFolderRun& r) { return l < r.FirstLine; });
        appendWholePath(whole, std::prev(run)->FolderLine);
    }
    const QChar delimiter = whole.isEmpty() ? QChar() : whole.back();
    m_text.AppendLinePart(whole, line, path.Start, path.Length());
    if (path.Delimited())
        whole.append(delimiter);
    return whole;
}

void TResultText::AppendItemLine(QStringView text, const TLineItem& item)
{
    const int line = int(LineCount());
    AppendLine(text);
    if (!keepPathInLine(line, text, item))
        m_paths.TabAdd(line, item.Name, item.FolderPath);
    if (item.Record != nullptr)
        m_records.Add(line, *item.Record);
}

// Keeps where text shows the item's path, if it does: the whole path after the indent, or the
// name below the folder line of the current run. A line that shows its folder's whole path
// starts a run.
bool TResultText::keepPathInLine(int line, QStringView text, const TLineItem& item)
{
    constexpr qsizetype MaxStart = 255;
    constexpr qsizetype MaxLength = (1 << 14) - 1;
    const qsizetype indent = indentOf(text);
    const QStringView shown = text.sliced(indent);
    const qsizetype pathLength = item.FolderPath.size() + item.Name.size();
    const auto keep = [&](qsizetype start, qsizetype length, bool whole, bool delimited) {
        if (length > MaxLength)
            return false;
        m_pathInLine.resize(line + 1);
        m_pathInLine.back() = {std::uint8_t(start),
                               std::uint16_t(length << 2 | int(delimited) << 1 | int(whole))};
        return true;
    };
    if (pathLength == 0 || indent > MaxStart)
        return false;
    if (shown.startsWith(item.FolderPath) &&
        shown.sliced(item.FolderPath.size()).startsWith(item.Name)) {
        if (!keep(indent, pathLength, true, false))
            return false;
        if (item.Name.isEmpty())
            startRun(line, item.FolderPath);
        return true;
    }
    if (item.Name.isEmpty() || m_folderRuns.empty() || m_runFolderPath != item.FolderPath)
        return false;
    // A folder's name ends in the delimiter its line need not show.
    const bool delimited = item.Name.size() > 1 && item.Name.back() == item.FolderPath.back();
    const QStringView name = delimited ? item.Name.chopped(1) : item.Name;
    const qsizetype at = shown.indexOf(name);
    if (at < 0 || indent + at > MaxStart)
        return false;
    return keep(indent + at, name.size(), false, delimited);
}

void TResultText::startRun(int line, QStringView folderPath)
{
    m_folderRuns.push_back({line, line});
    m_runFolderPath = folderPath.toString();
}

void TResultText::dropRunsFrom(qsizetype line)
{
    if (m_folderRuns.empty() || m_folderRuns.back().FirstLine < line)
        return;
    while (!m_folderRuns.empty() && m_folderRuns.back().FirstLine >= line)
        m_folderRuns.pop_back();
    m_runFolderPath.clear();
    if (!m_folderRuns.empty())
        appendWholePath(m_runFolderPath, m_folderRuns.back().FolderLine);
}

void TResultText::appendWholePath(QString& out, qsizetype line) const
{
    Assert(line < m_pathInLine.size() && m_pathInLine[line].Whole());
    const TPathInLine path = m_pathInLine[line];
    m_text.AppendLinePart(out, line, path.Start, path.Length());
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
    if (m_pathInLine.size() > count)
        m_pathInLine.resize(count);
    dropRunsFrom(count);
    m_records.TruncateLines(count);
    m_text.Truncate(count);
}

void TResultText::Clear()
{
    m_text.Clear();
    m_paths.TabClear(0, true);
    m_pathInLine = QList<TPathInLine>();
    m_folderRuns.clear();
    m_runFolderPath.clear();
    m_records.Clear();
}

} // namespace dirka
