#include "core/listing/folder_walker.h"

#include "core/listing/file_system.h"
#include "core/listing/line_composition.h"
#include "core/listing/name_order.h"
#include "core/listing/result_line_store.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/masks.h"
#include "core/text/text_utils.h"

#include <QDateTime>

#include <atomic>
#include <climits>
#include <numeric>

namespace dirka {

namespace {

std::atomic<bool> stopFlag{false};
std::uint32_t randomSeed = 0;

// Deeper folders are listed but not entered: the walk recurses once per level, and this keeps
// its stack use far below the usual 8 MB.
constexpr int MaxNesting = 4000;

constexpr int ProgressIntervalMs = 200;

/// One listed file: its size and where its name lies in the folder's name buffer.
struct TMyObject {
    std::int64_t Size = 0;
    qsizetype NameStart = 0;
    qsizetype NameLength = 0;
    qsizetype ExtLength = 0; // the extension, dot included, is the name's last ExtLength units
};

struct TSubfolder {
    QString Name;
    QByteArray RawName;
};

qsizetype extensionLength(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype delimiter = name.lastIndexOf(QChar(PathDelimiter));
    return dot >= 0 && dot > delimiter ? name.size() - dot : 0;
}

QString rootName(const QString& location)
{
    const QString name = ParentFolderName(location);
    return name.isEmpty() ? location : name;
}

bool isDotOrDotDot(const TRawEntry& e)
{
    return e.Name[0] == '.' && (e.NameLength == 1 || (e.NameLength == 2 && e.Name[1] == '.'));
}

// Random takes neither item into account and never answers 0, so the sort must stay inside the
// range however the answers fall; the bounds checks below make sure of that.
void randomQuickSort(std::vector<int>& items, int left, int right)
{
    const auto randomCompare = [] { return RandomBelow(2) == 0 ? -1 : 1; };
    while (left < right) {
        int i = left;
        int j = right;
        int pivot = (left + right) / 2;
        do {
            while (i < right && randomCompare() < 0)
                ++i;
            while (j > left && randomCompare() > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(items[std::size_t(i)], items[std::size_t(j)]);
                if (pivot == i)
                    pivot = j;
                else if (pivot == j)
                    pivot = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j)
            randomQuickSort(items, left, j);
        left = i;
    }
}

class TFolderWalker {
public:
    TFolderWalker(const TSettings& settings, const QString& location, TLinesTarget& lines,
                  TWalkReporter& reporter, bool storePaths);
    void Run();

private:
    int listFolder(const QString& baseLine, const QString& folderPath, const TFolderReader* parent,
                   const QByteArray& rawName, const QString& prefix, int depth);
    TFolderReader openFolder(const QString& folderPath, const TFolderReader* parent,
                             const QByteArray& rawName);
    bool mayEnter(const TFolderReader& folder, const TFolderReader* parent) const;
    void readFolder(TFolderReader& folder, const QString& folderPath,
                    std::vector<TSubfolder>& subfolders);
    void sortSubfolders(std::vector<TSubfolder>& subfolders) const;
    void sortFiles();
    void emitLine(QStringView line, QStringView name, const QString& folderPath);
    void showProgress(const QString& folderPath);
    void reportUnreadable(const QString& folderPath, const QString& reason);
    QStringView fileName(const TMyObject& file) const;

    const TSettings& m_settings;
    const TListStyle& m_style;
    const QString m_location;
    TLinesTarget& m_lines;
    TWalkReporter& m_reporter;
    const bool m_storePaths;
    TRunCounters& m_counters;

    const QStringList m_masks;
    const int m_depthLimit;
    const TLineFormat m_format;
    const TNameOrder m_folderOrder{false};
    const TNameOrder m_fileOrder{true};

    std::vector<TFolderIdentity> m_forbidden; // the location, folders above it, the current path
    int m_nesting = 0;

    // The folder in hand: its listed files, their names, its size sum and skipped count.
    std::vector<TMyObject> m_files;
    QString m_names;
    std::int64_t m_folderSize = 0;
    int m_folderSkipped = 0;

    QString m_line; // reused for every composed line
};

TFolderWalker::TFolderWalker(const TSettings& settings, const QString& location,
                             TLinesTarget& lines, TWalkReporter& reporter, bool storePaths)
    : m_settings(settings), m_style(settings.Style), m_location(location), m_lines(lines),
      m_reporter(reporter), m_storePaths(storePaths), m_counters(RunCounters()),
      m_masks(SplitMasks(settings.FilterMask[std::size_t(settings.Filter)])),
      m_depthLimit(settings.IsMaxDepth ? settings.MaxDepth : INT_MAX),
      m_format(TLineFormat::FromStyle(settings.Style, location.size()))
{
}

void TFolderWalker::Run()
{
    m_forbidden = IdentitiesUpTo(EncodeFileName(m_location));
    QString rootBase;
    AppendFolderItemText(rootBase, m_format, m_location, rootName(m_location), m_style.Base);
    listFolder(rootBase, m_location, nullptr, QByteArray(), QString(), m_depthLimit);
}

QStringView TFolderWalker::fileName(const TMyObject& file) const
{
    return QStringView(m_names).sliced(file.NameStart, file.NameLength);
}

int TFolderWalker::listFolder(const QString& baseLine, const QString& folderPath,
                              const TFolderReader* parent, const QByteArray& rawName,
                              const QString& prefix, int depth)
{
    std::vector<TSubfolder> subfolders;
    const qsizetype savedLines = m_lines.LineCount();
    const int savedFolders = m_counters.FolderCount;

    TFolderReader folder = openFolder(folderPath, parent, rawName);
    const bool entered = folder.IsOpen() && mayEnter(folder, parent);
    if (entered)
        m_forbidden.push_back(folder.Identity());
    m_files.clear();
    m_names.truncate(0);
    m_folderSize = 0;
    m_folderSkipped = 0;
    if (entered)
        readFolder(folder, folderPath, subfolders);
    int result = int(m_files.size());

    const bool shown = !m_style.IsSkip || result > 0 ||
                       (!subfolders.empty() && (m_style.Mode == 1 || m_settings.Filter == 0));
    if (shown) {
        const qsizetype count = m_lines.LineCount();
        if (m_style.IsNewLine && count > 0 && !m_lines.Line(count - 1).isEmpty())
            m_lines.AppendLine(QStringView());
        if (m_style.Base > 0)
            emitLine(baseLine, QStringView(), folderPath);
    }

    if (m_style.Mode == 0 && m_settings.Filter == 0 && !StopRequested() && m_style.Folder > 0) {
        for (const TSubfolder& sub : subfolders) {
            if (StopRequested())
                break;
            const QString subPath = folderPath + sub.Name + QChar(PathDelimiter);
            m_line.truncate(0);
            m_line.append(prefix);
            AppendFolderItemText(m_line, m_format, subPath, sub.Name, m_style.Folder);
            emitLine(m_line, QString(sub.Name + QChar(PathDelimiter)), folderPath);
        }
    }
    showProgress(folderPath);

    if (!m_files.empty()) {
        ++m_counters.FolderCount;
        if (!StopRequested() && m_style.File > 0) {
            for (const TMyObject& file : m_files) {
                if (StopRequested())
                    break;
                m_line.truncate(0);
                m_line.append(prefix);
                AppendFileItemText(m_line, m_format, folderPath, fileName(file), m_style.File,
                                   file.Size);
                emitLine(m_line, fileName(file), folderPath);
                showProgress(folderPath);
            }
        }
        if (m_style.IsSummary) {
            const QString summary =
                prefix + u":: " +
                StatisticsText(m_format, 0, int(m_files.size()), m_folderSkipped, m_folderSize, 0);
            m_lines.AppendLine(summary);
        }
    }
    m_files.clear();
    m_names.truncate(0);

    if (depth > 1) {
        for (const TSubfolder& sub : subfolders) {
            if (StopRequested())
                break;
            showProgress(folderPath);
            const QString subPath = folderPath + sub.Name + QChar(PathDelimiter);
            QString childBase = prefix + m_format.ListIndent;
            AppendFolderItemText(childBase, m_format, subPath, sub.Name, m_style.Base);
            ++m_nesting;
            result += listFolder(childBase, subPath, entered ? &folder : nullptr, sub.RawName,
                                 prefix + m_format.IndentUnit, depth - 1);
            --m_nesting;
        }
    }

    if (entered)
        m_forbidden.pop_back();
    if (m_style.IsSkip && result < 1) {
        if (m_storePaths)
            TabClear(int(savedLines), true);
        m_counters.FolderCount = savedFolders;
        m_lines.TruncateLines(savedLines);
    }
    return result;
}

TFolderReader TFolderWalker::openFolder(const QString& folderPath, const TFolderReader* parent,
                                        const QByteArray& rawName)
{
    if (m_nesting >= MaxNesting) {
        reportUnreadable(folderPath, QStringLiteral("folders nested more than %1 deep are not "
                                                    "entered")
                                         .arg(MaxNesting));
        return TFolderReader();
    }
    TFolderReader folder;
    if (parent)
        folder = TFolderReader::OpenChild(*parent, rawName);
    if (!folder.IsOpen() && (!parent || folder.Error() == EMFILE || folder.Error() == ENFILE))
        folder = TFolderReader::OpenPath(EncodeFileName(folderPath));
    if (!folder.IsOpen())
        reportUnreadable(folderPath, ErrorText(folder.Error()));
    return folder;
}

// A folder already on the way down (a link or a bind mount leading back), the location or a
// folder above it, and a pseudo file system are listed but not entered.
bool TFolderWalker::mayEnter(const TFolderReader& folder, const TFolderReader* parent) const
{
    const TFolderIdentity id = folder.Identity();
    const bool isLocation = parent == nullptr;
    if (!isLocation && std::find(m_forbidden.begin(), m_forbidden.end(), id) != m_forbidden.end())
        return false;
    if (isLocation || id.Device != parent->Identity().Device)
        return !IsPseudoFileSystem(folder.FileSystemType());
    return true;
}

void TFolderWalker::readFolder(TFolderReader& folder, const QString& folderPath,
                               std::vector<TSubfolder>& subfolders)
{
    TRawEntry entry;
    while (!StopRequested() && folder.Next(entry)) {
        showProgress(folderPath);
        if (isDotOrDotDot(entry))
            continue;
        if (entry.Name[0] == '.' && !m_settings.IsHiddenFiles)
            continue;
        TEntryFacts facts = folder.Examine(entry, false);
        if (facts.Vanished || (facts.Kind == TEntryKind::Special && !m_settings.IsSystemFiles))
            continue;
        if (facts.Kind == TEntryKind::Folder) {
            const QByteArray raw(entry.Name, qsizetype(entry.NameLength));
            subfolders.push_back({DecodeFileName(raw), raw});
            continue;
        }
        const qsizetype nameStart = m_names.size();
        AppendDecodedFileName(m_names, entry.Name, entry.NameLength);
        const QStringView name = QStringView(m_names).sliced(nameStart);
        if (!PassesFilter(name, IsSkipListFilter(m_settings.Filter), m_masks)) {
            m_names.truncate(nameStart);
            ++m_counters.SkippedCount;
            ++m_folderSkipped;
            continue;
        }
        facts = folder.Examine(entry, true);
        if (facts.Vanished) {
            m_names.truncate(nameStart);
            continue;
        }
        m_files.push_back({facts.Size, nameStart, name.size(), extensionLength(name)});
        m_folderSize += facts.Size;
    }
    if (folder.Error() != 0)
        reportUnreadable(folderPath, ErrorText(folder.Error()));
    m_counters.FileCount += int(m_files.size());
    m_counters.TotalSize += m_folderSize;
    sortSubfolders(subfolders);
    if (m_style.SortMode != 0)
        sortFiles();
}

void TFolderWalker::sortSubfolders(std::vector<TSubfolder>& subfolders) const
{
    if (subfolders.size() < 2)
        return;
    std::vector<QStringView> names;
    names.reserve(subfolders.size());
    for (const TSubfolder& sub : subfolders)
        names.emplace_back(sub.Name);
    std::vector<int> order(subfolders.size());
    std::iota(order.begin(), order.end(), 0);
    SortByRank(order, m_folderOrder.Ranks(names), names);
    std::vector<TSubfolder> sorted;
    sorted.reserve(subfolders.size());
    for (int i : order)
        sorted.push_back(std::move(subfolders[std::size_t(i)]));
    subfolders = std::move(sorted);
}

void TFolderWalker::sortFiles()
{
    const std::size_t count = m_files.size();
    if (count < 2)
        return;
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    if (m_style.SortMode == 5) {
        randomQuickSort(order, 0, int(count) - 1);
    } else {
        std::vector<QStringView> names;
        names.reserve(count);
        for (const TMyObject& file : m_files)
            names.push_back(fileName(file));
        const std::vector<int> nameRanks = m_fileOrder.Ranks(names);
        std::vector<int> primary(count, 0);
        if (m_style.SortMode == 2) {
            std::vector<QStringView> extensions;
            for (std::size_t i = 0; i < count; ++i)
                extensions.push_back(names[i].last(m_files[i].ExtLength));
            primary = m_fileOrder.Ranks(extensions);
        }
        const int mode = m_style.SortMode;
        std::sort(order.begin(), order.end(), [&](int x, int y) {
            const TMyObject& a = m_files[std::size_t(x)];
            const TMyObject& b = m_files[std::size_t(y)];
            if (mode == 3 && a.Size != b.Size)
                return a.Size > b.Size;
            if (mode == 4 && a.Size != b.Size)
                return a.Size < b.Size;
            if (primary[std::size_t(x)] != primary[std::size_t(y)])
                return primary[std::size_t(x)] < primary[std::size_t(y)];
            if (nameRanks[std::size_t(x)] != nameRanks[std::size_t(y)])
                return nameRanks[std::size_t(x)] < nameRanks[std::size_t(y)];
            return names[std::size_t(x)].compare(names[std::size_t(y)]) < 0;
        });
    }
    std::vector<TMyObject> sorted;
    sorted.reserve(count);
    for (int i : order)
        sorted.push_back(m_files[std::size_t(i)]);
    m_files = std::move(sorted);
}

void TFolderWalker::emitLine(QStringView line, QStringView name, const QString& folderPath)
{
    if (m_storePaths)
        TabAdd(int(m_lines.LineCount()), name, folderPath);
    m_lines.AppendLine(line);
}

void TFolderWalker::showProgress(const QString& folderPath)
{
    const std::uint32_t now = TickCount();
    if (std::uint32_t(now - m_counters.LastProgressTick) <= ProgressIntervalMs)
        return;
    m_reporter.ShowStatus(u"Searching " + folderPath);
    m_reporter.ShowStats(StatisticsText(m_format, m_counters.FolderCount, m_counters.FileCount,
                                        m_counters.SkippedCount, m_counters.TotalSize,
                                        std::uint32_t(now - m_counters.StartTick)));
    m_counters.LastProgressTick = now;
    m_reporter.ProcessEvents();
}

void TFolderWalker::reportUnreadable(const QString& folderPath, const QString& reason)
{
    m_reporter.FolderUnreadable(folderPath, reason);
}

} // namespace

TRunCounters& RunCounters()
{
    static TRunCounters counters;
    return counters;
}

void RequestStop()
{
    stopFlag.store(true, std::memory_order_relaxed);
}

void ClearStopRequest()
{
    stopFlag.store(false, std::memory_order_relaxed);
}

bool StopRequested()
{
    return stopFlag.load(std::memory_order_relaxed);
}

QString ListLocation(const TSettings& listSettings, const QString& location, TLinesTarget& lines,
                     TWalkReporter& reporter, bool storePaths, bool resetCounters)
{
    Assert(listSettings.Filter >= 0 && listSettings.Filter < FilterCount);
    TRunCounters& counters = RunCounters();
    if (resetCounters) {
        counters = TRunCounters();
        counters.StartTick = TickCount();
        counters.LastProgressTick = counters.StartTick - ProgressIntervalMs;
    }
    if (!StopRequested()) {
        RaiseOpenFileLimit();
        lines.BeginUpdate();
        TFolderWalker walker(listSettings, location, lines, reporter, storePaths);
        walker.Run();
        lines.EndUpdate();
    }
    const QString statistics =
        StatisticsText(counters.FolderCount, counters.FileCount, counters.SkippedCount,
                       counters.TotalSize, std::uint32_t(TickCount() - counters.StartTick));
    reporter.ShowStatus(statistics);
    return statistics;
}

void SeedRandom(std::uint32_t seed)
{
    randomSeed = seed;
}

void SeedRandomFromClock()
{
    const QTime now = QDateTime::currentDateTimeUtc().time();
    SeedRandom(
        std::uint32_t(((now.hour() * 60 + now.minute()) * 60 + now.second()) * 1000 + now.msec()));
}

std::uint32_t RandomBelow(std::uint32_t n)
{
    randomSeed = randomSeed * 134775813u + 1u;
    return std::uint32_t((std::uint64_t(randomSeed) * n) >> 32);
}

} // namespace dirka
