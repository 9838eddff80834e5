#include "core/listing/folder_walker.h"

#include "core/listing/catalog.h"
#include "core/listing/file_system.h"
#include "core/listing/item_status.h"
#include "core/listing/line_composition.h"
#include "core/listing/name_order.h"
#include "core/listing/read_ahead.h"
#include "core/system/file_io.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/masks.h"
#include "core/text/text_utils.h"

#include <atomic>
#include <climits>
#include <numeric>

namespace dirka {

namespace {

constexpr int ProgressIntervalMs = 200;

// Open folders the walk holds at most. Every folder's entries are read before its subfolders are
// entered, so an older folder is needed again only to open its next subfolder; below this depth
// the walk closes older folders and finds them again later.
constexpr std::size_t MaxOpenFolders = 32;

// Buffers that grew past this many entries for a huge folder give their memory back when done
// with; smaller ones are kept for the next folders.
constexpr std::size_t KeptEntries = 1 << 16;

/// One listed file: its size, what its record says of it, and where its name lies in the
/// folder's name buffer (a folder's names take far fewer than 2^32 units).
struct TListedFile {
    std::int64_t Size = 0;
    std::int64_t Modified = 0; // with State Found
    std::uint32_t NameStart = 0;
    std::uint32_t NameLength = 0; // a name is at most a few hundred units
    std::uint32_t ExtLength = 0;  // the extension, dot included, is the name's last ExtLength units
                                  // (found only for the order by extension)
    TRecordType Type = TRecordType::File;
    TFactsState State = TFactsState::NotLookedAt;
    bool PrintableAscii = false; // every byte of the name is 0x20..0x7E
};

struct TSubfolder {
    TReadAhead::TTicket Ahead; // its folder read ahead, when planned
    qsizetype NameStart = 0;   // in TSubfolders::Names
    qsizetype RawStart = 0;    // in TSubfolders::RawNames
    std::uint32_t NameLength = 0;
    std::uint32_t RawLength = 0;
    bool IsLink = false;
    bool PrintableAscii = false;   // every byte of the name is 0x20..0x7E
    std::uint32_t CatalogItem = 0; // its item, when the walk reads a catalogue
};

/// A folder's subfolders, whose names, decoded and as bytes (each ending in NUL, for opening),
/// share two buffers: a folder costs no allocation per subfolder, and none at all once the
/// walker has buffers of finished folders to reuse.
struct TSubfolders {
    std::vector<TSubfolder> Items;
    TUnitBuffer Names;
    TByteBuffer RawNames;

    void Clear()
    {
        Items.clear();
        Names.Clear();
        RawNames.Clear();
    }
    QStringView Name(const TSubfolder& sub) const
    {
        return Names.View(sub.NameStart, sub.NameLength);
    }
    QByteArrayView RawName(const TSubfolder& sub) const
    {
        return RawNames.View(sub.RawStart, sub.RawLength);
    }
    const char* RawNameZ(const TSubfolder& sub) const { return RawNames.Data() + sub.RawStart; }
};

/// A folder whose subfolders are being walked. Its path and prefix are the first PathLength and
/// PrefixLength units of the walker's shared buffers.
struct TFrame {
    TFolderReader Folder; // closed when older than the open-folder budget allows
    TFolderIdentity Identity;
    TSubfolders Subfolders;
    std::size_t NextSubfolder = 0;
    qsizetype PathLength = 0;
    qsizetype ShownUtf8Length = 0; // of m_shownPathUtf8, when the walker keeps it
    qsizetype PrefixLength = 0;
    qsizetype SavedLines = 0;
    int SavedFolders = 0;
    int Depth = 0;
    int Result = 0; // files listed in it and below it
    bool Entered = false;
    bool Lost = false; // could not be found again: its remaining subfolders stay unread
};

// What a listed file's facts tell its record: a look that was not needed tells nothing.
TFactsState factsState(const TEntryFacts& facts, bool lookedUp)
{
    if (!lookedUp)
        return TFactsState::NotLookedAt;
    return facts.LookedAt ? TFactsState::Found : TFactsState::Unreadable;
}

TItemFacts recordFacts(const TListedFile& file)
{
    TItemFacts facts;
    facts.State = file.State;
    if (file.State == TFactsState::Found) {
        facts.Type = file.Type;
        facts.Size = file.Size;
        facts.Modified = file.Modified;
    }
    return facts;
}

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

// Random takes neither item into account and never answers 0, so the sort must stay inside the
// range however the answers fall; the bounds checks below make sure of that.
// Puts items[order[k]] at k for every k, one cycle of the permutation at a time, with no second
// array (a folder of a million files would need 32 MB more); order is used up.
template <typename T> void placeInOrder(std::vector<T>& items, std::vector<int>& order)
{
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start] < 0)
            continue;
        T first = std::move(items[start]);
        std::size_t to = start;
        for (;;) {
            const auto from = std::size_t(std::exchange(order[to], -1));
            if (from == start) {
                items[to] = std::move(first);
                break;
            }
            items[to] = std::move(items[from]);
            to = from;
        }
    }
}

void randomQuickSort(std::vector<int>& items, int left, int right, TRandomGenerator& random)
{
    const auto randomCompare = [&random] { return random.Below(2) == 0 ? -1 : 1; };
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
            randomQuickSort(items, left, j, random);
        left = i;
    }
}

// The walk keeps no state on the call stack: m_frames holds the folders on the current path,
// m_path and m_prefix grow by one component on the way down and are cut back on the way up, so
// neither the stack nor memory grows with depth times path length.
class TFolderWalker {
public:
    TFolderWalker(const TSettings& settings, const QString& location, TLinesTarget& lines,
                  TWalkReporter& reporter, TWalkState& state, const TLocationOptions& options);
    void Run();

private:
    // Asked for every entry and line: an inline relaxed load.
    bool stopRequested() const { return m_stop.Requested(); }
    void enterNextSubfolder(TFrame& parent);
    void appendShownComponent(const TSubfolders& subfolders, const TSubfolder& sub);
    void listFolder(TFolderReader folder, bool isLink, int depth);
    void leaveFolder();
    TFolderReader openSubfolder(const char* rawName);
    TFolderReader openChildOfTop(const char* rawName);
    bool closeOne();
    bool findAgain(std::size_t index);
    void forgetOpen(std::size_t index);
    bool mayEnter(const TFolderReader& folder, bool isLink);
    TFolderReader takeReadAhead(TSubfolder& sub);
    TFolderReader adoptContent(TFolderContent& content);
    TFolderReader openRoot();
    TFolderReader catalogFolder(std::uint32_t folder);
    TItemFacts rootFacts() const;
    void planSubfolders(const TFolderReader& folder, TSubfolders& subfolders, int depth);
    void dropPlans(TSubfolders& subfolders);
    void readFolder(TFolderReader& folder, TSubfolders& subfolders);
    void addSubfolder(TSubfolders& subfolders, const TRawEntry& entry, bool isLink);
    TReadAhead::TTicket aheadTicketOf(const TRawEntry& entry);
    void lookUpSizes(const TFolderReader& folder);
    void clearFiles();
    void sortSubfolders(TSubfolders& subfolders);
    void sortFiles();
    void emitLine(QStringView line, QStringView name, const TItemFacts* record, bool passOn = true);
    void passOnEvery256(std::uint32_t lines);
    void emitUtf8Line(qsizetype start, QStringView name, const TItemFacts* record);
    TItemFacts subfolderFacts(const TFolderReader& parent, const TSubfolders& subfolders,
                              const TSubfolder& sub) const;
    void emitFileLines();
    void showProgress();
    void reportUnreadable(const QString& reason);
    QStringView fileName(const TListedFile& file) const;

    const TSettings& m_settings;
    const TListStyle& m_style;
    const QString m_location;
    TLinesTarget& m_lines;
    TWalkReporter& m_reporter;
    const bool m_wantSizes;       // false: files are not looked at when their type is known
    const bool m_wantRecords;     // folders are looked at for their records as they are listed
    const bool m_listsSubfolders; // a folder's subfolders have lines in its own list
    TByteBuffer* const m_utf8Out; // where the target keeps UTF-8 lines, if it does
    const bool m_targetWritesFiles;
    TRunCounters& m_counters;
    const TStopToken& m_stop;
    TRandomGenerator& m_random;
    TMountTypes& m_mountTypes;
    const TCatalog* const m_catalog; // read instead of the disk, when given

    const QStringList m_masks;
    const std::optional<bool> m_filterAnswer; // whether every file passes, when known beforehand
    TReadAhead m_readAhead;                   // before the frames, whose plans it holds
    const int m_depthLimit;
    const TLineFormat m_format;
    const TNameOrder m_folderOrder{false};
    const TNameOrder m_fileOrder{true};
    // Reused by every folder's sort, and sized from its count before they are filled: grown step by
    // step, a huge folder's would leave each smaller block behind in the heap, still resident.
    std::vector<QStringView> m_sortNames;
    std::vector<QStringView> m_sortExtensions;
    TNameKeys m_nameKeys;
    TNameKeys m_extensionKeys;
    std::vector<int> m_sortOrder;

    std::vector<TFolderIdentity> m_forbidden; // the location, folders above it, the current path
    TEnteredFolders& m_entered;

    std::vector<TFrame> m_frames;
    std::vector<TSubfolders> m_spareSubfolders; // of finished folders, for the next ones
    std::vector<std::size_t> m_openFrames; // indexes of the frames holding an open folder, rising
    QString m_path;                        // the folder in hand, ending in the delimiter
    QString m_prefix;                      // the indentation of its item lines

    // The folder in hand: its listed files, their names, its size sum and skipped count.
    std::vector<TListedFile> m_files;
    TUnitBuffer m_names;
    std::int64_t m_folderSize = 0;
    int m_folderSkipped = 0;
    // With sizes wanted: the raw names of m_files (each ending in NUL) and their entries, looked
    // at once the folder is read.
    TByteBuffer m_rawNames;
    std::vector<qsizetype> m_rawStarts;
    std::vector<TRawEntry> m_rawEntries;
    std::vector<TEntryFacts> m_sizedFacts;
    // The facts of the folder in hand when it was read ahead, by entry, sizes too when known.
    std::vector<TEntryFacts> m_aheadFacts;
    // Its subfolders planned by the thread that read it, by entry index, and the next to match.
    std::vector<std::pair<std::uint32_t, TReadAhead::TTicket>> m_aheadSubfolders;
    std::size_t m_nextAheadSubfolder = 0;
    bool m_readAheadUsed = false;
    bool m_aheadSizesKnown = false;
    std::vector<const char*> m_planNames; // reused by every plan
    std::vector<TReadAhead::TTicket> m_planTickets;

    QString m_line;           // reused for every composed line
    TItemFacts m_folderFacts; // of the folder in hand, for the record of its own line
    TItemFacts m_itemFacts;   // of the item line being composed
    QString m_itemName;
    // m_path as the file lines show it, and its UTF-8 for a target that takes UTF-8 lines: both
    // grow and shrink by a component with m_path, so no folder shows or encodes its whole path.
    // Showing keeps the length, so m_path's lengths hold for m_shownPath.
    QString m_shownPath;
    TByteBuffer m_shownPathUtf8;
    qsizetype m_relativeStartUtf8 = 0; // where the relative path starts in m_shownPathUtf8
    QByteArray m_encoded;              // scratch for one component's UTF-8
    // Whether the lines listed now are for good: no skipped folder can take them back.
    bool m_linesFinal = false;
};

TFolderWalker::TFolderWalker(const TSettings& settings, const QString& location,
                             TLinesTarget& lines, TWalkReporter& reporter, TWalkState& state,
                             const TLocationOptions& options)
    : m_settings(settings), m_style(settings.Style), m_location(location), m_lines(lines),
      m_reporter(reporter), m_wantSizes(options.WantSizes || options.WantRecords),
      m_wantRecords(options.WantRecords),
      m_listsSubfolders(settings.Style.Mode == ListMode && settings.Filter == AllFilesFilter &&
                        settings.Style.Folder > 0),
      m_utf8Out(lines.Utf8LineBuffer()), m_targetWritesFiles(lines.WritesFiles()),
      m_counters(state.Counters), m_stop(state.Stop), m_random(state.Random),
      m_mountTypes(state.MountTypes), m_catalog(options.Catalog),
      m_masks(SplitMasks(settings.FilterMask[std::size_t(settings.Filter)])),
      m_filterAnswer(FilterAnswerForEveryName(IsSkipListFilter(settings.Filter), m_masks)),
      m_readAhead({.HiddenFiles = settings.IsHiddenFiles,
                   .SkipList = IsSkipListFilter(settings.Filter),
                   .Masks = m_masks,
                   .EveryName = m_filterAnswer},
                  m_wantSizes),
      m_depthLimit(settings.IsMaxDepth ? settings.MaxDepth : INT_MAX),
      m_format(TLineFormat::FromStyle(settings.Style, location.size())), m_entered(state.Entered)
{
}

void TFolderWalker::Run()
{
    if (m_catalog == nullptr)
        m_forbidden = IdentitiesUpTo(EncodeFileName(m_location));
    m_path = m_location;
    m_shownPath = ShownText(m_location);
    if (m_utf8Out != nullptr) {
        m_shownPathUtf8.Append(EncodeFileName(m_shownPath));
        m_relativeStartUtf8 =
            EncodeFileName(QStringView(m_shownPath).first(RelativePathStart(m_format))).size();
    }
    m_prefix.clear();
    if (m_wantRecords)
        m_folderFacts = rootFacts();
    TFolderReader root = openRoot();
    if (!root.IsOpen())
        reportUnreadable(SystemErrorText(root.Error()));
    listFolder(std::move(root), false, m_depthLimit);
    while (!m_frames.empty()) {
        TFrame& frame = m_frames.back();
        if (frame.Depth > 1 && !frame.Lost && frame.NextSubfolder < frame.Subfolders.Items.size() &&
            !stopRequested())
            enterNextSubfolder(frame);
        else
            leaveFolder();
    }
}

QStringView TFolderWalker::fileName(const TListedFile& file) const
{
    return m_names.View(file.NameStart, file.NameLength);
}

void TFolderWalker::enterNextSubfolder(TFrame& parent)
{
    m_path.truncate(parent.PathLength);
    m_shownPath.truncate(parent.PathLength);
    m_shownPathUtf8.Truncate(parent.ShownUtf8Length);
    m_prefix.truncate(parent.PrefixLength);
    showProgress();
    const std::size_t parentIndex = m_frames.size() - 1;
    if (!parent.Folder.IsOpen() && !findAgain(parentIndex))
        return;
    // findAgain may have closed others but never moves frames, so parent is still valid.
    TSubfolders& subfolders = parent.Subfolders;
    TSubfolder& sub = subfolders.Items[parent.NextSubfolder++];
    // A subfolder with a line in its parent's list has its record there.
    if (m_wantRecords && !m_listsSubfolders)
        m_folderFacts = subfolderFacts(parent.Folder, subfolders, sub);
    m_path.append(subfolders.Name(sub));
    m_path.append(QChar(PathDelimiter));
    appendShownComponent(subfolders, sub);
    TFolderReader folder =
        m_catalog != nullptr ? catalogFolder(sub.CatalogItem) : takeReadAhead(sub);
    if (!folder.IsOpen())
        folder = openSubfolder(subfolders.RawNameZ(sub));
    if (!folder.IsOpen()) {
        // A subfolder removed or renamed since its parent was read is skipped like such a file.
        if (folder.Error() == ENOENT)
            return;
        reportUnreadable(SystemErrorText(folder.Error()));
    }
    listFolder(std::move(folder), sub.IsLink, parent.Depth - 1);
}

// Adds a subfolder's name and a delimiter to the shown path and its UTF-8. A name of printable
// ASCII, the common case, is shown as it is and its bytes are its UTF-8.
void TFolderWalker::appendShownComponent(const TSubfolders& subfolders, const TSubfolder& sub)
{
    const QStringView name = subfolders.Name(sub);
    if (sub.PrintableAscii) {
        m_shownPath.append(name);
        m_shownPath.append(QChar(PathDelimiter));
        if (m_utf8Out != nullptr) {
            m_shownPathUtf8.Append(subfolders.RawName(sub));
            m_shownPathUtf8.Append(char(PathDelimiter));
        }
        return;
    }
    const qsizetype shownStart = m_shownPath.size();
    AppendShown(m_shownPath, name);
    m_shownPath.append(QChar(PathDelimiter));
    if (m_utf8Out != nullptr) {
        m_encoded.truncate(0);
        AppendEncodedFileName(m_encoded, QStringView(m_shownPath).sliced(shownStart));
        m_shownPathUtf8.Append(m_encoded);
    }
}

// Lists the folder at m_path (open, or not when it could not be opened) and pushes its frame,
// whose subfolders the loop in Run() then enters.
void TFolderWalker::listFolder(TFolderReader folder, bool isLink, int depth)
{
    TFrame frame;
    frame.SavedLines = m_lines.LineCount();
    frame.SavedFolders = m_counters.FolderCount;
    frame.Depth = depth;
    frame.PathLength = m_path.size();
    frame.ShownUtf8Length = m_shownPathUtf8.Size();
    frame.Identity = folder.Identity();
    frame.Entered = folder.IsOpen() && mayEnter(folder, isLink);
    if (frame.Entered) {
        m_forbidden.push_back(frame.Identity);
        m_entered.Add(frame.Identity);
    }
    m_files.clear();
    m_names.Clear();
    m_folderSize = 0;
    m_folderSkipped = 0;
    if (!m_spareSubfolders.empty()) {
        frame.Subfolders = std::move(m_spareSubfolders.back());
        m_spareSubfolders.pop_back();
    }
    if (frame.Entered)
        readFolder(folder, frame.Subfolders);
    if (m_readAheadUsed) {
        // Plans for subfolders the walk did not take up (a folder not entered, a Stop).
        for (auto& [index, ticket] : m_aheadSubfolders)
            m_readAhead.Drop(ticket);
        m_aheadSubfolders.clear();
        m_readAheadUsed = false;
    }
    // Planned before the lines are composed, so the reading goes on meanwhile.
    if (frame.Entered && depth > 1 && m_catalog == nullptr)
        planSubfolders(folder, frame.Subfolders, depth - 1);
    frame.Result = int(m_files.size());
    const TSubfolders& subfolders = frame.Subfolders;
    // A folder with files keeps the folders above it too, so everything listed so far stays.
    m_linesFinal = !m_style.IsSkip || frame.Result > 0;

    const bool shown = !m_style.IsSkip || frame.Result > 0 ||
                       (!subfolders.Items.empty() &&
                        (m_style.Mode == TreeMode || m_settings.Filter == AllFilesFilter));
    if (shown) {
        const qsizetype count = m_lines.LineCount();
        if (m_style.IsNewLine && count > 0 && !m_lines.Line(count - 1).isEmpty())
            m_lines.AppendLine(QStringView());
        if (m_style.Base > 0) {
            m_line.truncate(0);
            if (m_frames.empty()) {
                AppendFolderItemText(m_line, m_format, m_location, rootName(m_location),
                                     m_style.Base);
            } else {
                const TFrame& parent = m_frames.back();
                const QStringView name =
                    parent.Subfolders.Name(parent.Subfolders.Items[parent.NextSubfolder - 1]);
                m_line.append(m_prefix);
                m_line.append(m_format.ListIndent);
                AppendFolderItemText(m_line, m_format, m_path, name, m_style.Base);
            }
            const bool makesRecord = m_frames.empty() || !m_listsSubfolders;
            emitLine(m_line, QStringView(), makesRecord ? &m_folderFacts : nullptr);
        }
    }
    if (!m_frames.empty())
        m_prefix.append(m_format.IndentUnit);
    frame.PrefixLength = m_prefix.size();

    if (m_listsSubfolders && !stopRequested()) {
        for (const TSubfolder& sub : subfolders.Items) {
            if (stopRequested())
                break;
            const QStringView name = subfolders.Name(sub);
            m_path.append(name);
            m_path.append(QChar(PathDelimiter));
            m_line.truncate(0);
            m_line.append(m_prefix);
            AppendFolderItemText(m_line, m_format, m_path, name, m_style.Folder);
            m_path.truncate(frame.PathLength);
            m_itemName.truncate(0);
            m_itemName.append(name);
            m_itemName.append(QChar(PathDelimiter));
            m_itemFacts =
                m_wantRecords ? subfolderFacts(folder, subfolders, sub) : NotLookedAtFacts;
            emitLine(m_line, m_itemName, &m_itemFacts);
        }
    }
    showProgress();

    if (!m_files.empty()) {
        ++m_counters.FolderCount;
        if (!stopRequested() && m_style.File > 0)
            emitFileLines();
        if (m_style.IsSummary) {
            m_line.truncate(0);
            m_line.append(m_prefix);
            m_line.append(u":: ");
            m_line.append(
                StatisticsText(m_format, 0, int(m_files.size()), m_folderSkipped, m_folderSize, 0));
            m_lines.AppendLine(m_line);
        }
    }
    clearFiles();
    if (m_linesFinal)
        m_lines.LinesFinal(m_lines.LineCount());

    if (frame.Entered && depth > 1 && !frame.Subfolders.Items.empty()) {
        frame.Folder = std::move(folder);
        m_openFrames.push_back(m_frames.size());
    }
    m_frames.push_back(std::move(frame));
}

void TFolderWalker::leaveFolder()
{
    TFrame& frame = m_frames.back();
    if (frame.Entered)
        m_forbidden.pop_back();
    if (m_style.IsSkip && frame.Result < 1) {
        m_counters.FolderCount = frame.SavedFolders;
        m_lines.TruncateLines(frame.SavedLines);
    }
    const int result = frame.Result;
    dropPlans(frame.Subfolders);
    frame.Subfolders.Clear();
    m_spareSubfolders.push_back(std::move(frame.Subfolders));
    forgetOpen(m_frames.size() - 1);
    m_frames.pop_back();
    if (!m_frames.empty())
        m_frames.back().Result += result;
}

TFolderReader TFolderWalker::openSubfolder(const char* rawName)
{
    TFolderReader folder = openChildOfTop(rawName);
    if (!folder.IsOpen() && (folder.Error() == EMFILE || folder.Error() == ENFILE))
        folder = TFolderReader::OpenPath(EncodeFileName(m_path));
    return folder;
}

// Opens a subfolder of the deepest open folder (the last frame's, or the one being found
// again) within the budget of open folders.
TFolderReader TFolderWalker::openChildOfTop(const char* rawName)
{
    const TFolderReader& parent = m_frames[m_openFrames.back()].Folder;
    if (m_openFrames.size() >= MaxOpenFolders)
        closeOne();
    TFolderReader folder = TFolderReader::OpenChild(parent, rawName);
    // Other parts of the program hold descriptors too: when the system says no, give one back.
    while (!folder.IsOpen() && (folder.Error() == EMFILE || folder.Error() == ENFILE) && closeOne())
        folder = TFolderReader::OpenChild(parent, rawName);
    return folder;
}

// Closes one open folder other than the location's and the deepest: the one nearest to the open
// folder above it, so the open folders stay spread along the path and a closed one is found
// again in few steps from its nearest open ancestor.
bool TFolderWalker::closeOne()
{
    const std::size_t count = m_openFrames.size();
    if (count < 3)
        return false;
    const auto gap = [this](std::size_t p) { return m_openFrames[p] - m_openFrames[p - 1]; };
    std::size_t victim = 1;
    for (std::size_t p = 2; p + 1 < count; ++p) {
        if (gap(p) < gap(victim))
            victim = p;
    }
    m_frames[m_openFrames[victim]].Folder = TFolderReader();
    m_openFrames.erase(m_openFrames.begin() + std::ptrdiff_t(victim));
    return true;
}

// Opens the folder of frame index again, one component at a time from its nearest open
// ancestor, each checked to be the folder that was there before. A folder replaced meanwhile
// cannot be continued: what is left of it is reported unread. One that is gone is skipped.
bool TFolderWalker::findAgain(std::size_t index)
{
    // Deeper frames are gone and the location's folder is never closed, so the last open frame
    // is the nearest open ancestor.
    for (std::size_t i = m_openFrames.back() + 1; i <= index; ++i) {
        const TFrame& parent = m_frames[i - 1];
        const TSubfolders& subfolders = parent.Subfolders;
        TFolderReader folder =
            openChildOfTop(subfolders.RawNameZ(subfolders.Items[parent.NextSubfolder - 1]));
        if (!folder.IsOpen() || folder.Identity() != m_frames[i].Identity) {
            m_frames[index].Lost = true;
            // Gone or moved away, like a subfolder that vanished before it was opened.
            if (!folder.IsOpen() && folder.Error() == ENOENT)
                return false;
            reportUnreadable(folder.IsOpen()
                                 ? QStringLiteral("the folder was replaced while it was listed")
                                 : SystemErrorText(folder.Error()));
            return false;
        }
        m_frames[i].Folder = std::move(folder);
        m_openFrames.push_back(i);
    }
    return true;
}

void TFolderWalker::forgetOpen(std::size_t index)
{
    if (!m_openFrames.empty() && m_openFrames.back() == index)
        m_openFrames.pop_back();
}

// A folder already on the way down (a link or a bind mount leading back), the location or a
// folder above it, and a pseudo file system reached from another one are listed but not
// entered. So is a folder reached through a link once it has been entered in this run: links
// between sibling folders would otherwise walk every order of them. A location the user named
// is read whatever its file system (/proc, /sys, /dev).
bool TFolderWalker::mayEnter(const TFolderReader& folder, bool isLink)
{
    if (m_frames.empty())
        return true;
    const TFolderIdentity id = folder.Identity();
    if (std::find(m_forbidden.begin(), m_forbidden.end(), id) != m_forbidden.end())
        return false;
    if (isLink && m_entered.Contains(id))
        return false;
    if (id.Device != m_frames.back().Identity.Device)
        return !IsPseudoFileSystem(m_mountTypes.TypeOf(id.Device));
    return true;
}

// The subfolder's folder as a thread read it ahead, its facts kept for readFolder; a closed
// reader when none was read (then the walk opens it itself, with its usual error handling).
TFolderReader TFolderWalker::takeReadAhead(TSubfolder& sub)
{
    std::optional<TFolderContent> content = m_readAhead.Take(sub.Ahead, [this] {
        showProgress();
        return !stopRequested();
    });
    if (!content)
        return {};
    return adoptContent(*content);
}

// A folder whose entries and their facts were read elsewhere (by a thread ahead of the walk, or
// from a catalogue): readFolder takes them as they are.
TFolderReader TFolderWalker::adoptContent(TFolderContent& content)
{
    m_aheadFacts = std::move(content.Facts);
    m_aheadSubfolders = std::move(content.Subfolders);
    m_nextAheadSubfolder = 0;
    m_aheadSizesKnown = content.SizesKnown;
    m_readAheadUsed = true;
    return std::move(content.Folder);
}

TFolderReader TFolderWalker::openRoot()
{
    if (m_catalog == nullptr)
        return TFolderReader::OpenPath(EncodeFileName(m_location));
    return catalogFolder(m_catalog->LocationFolder(m_location).value());
}

TFolderReader TFolderWalker::catalogFolder(std::uint32_t folder)
{
    TFolderContent content = m_catalog->Content(folder);
    return adoptContent(content);
}

TItemFacts TFolderWalker::rootFacts() const
{
    if (m_catalog == nullptr)
        return FactsOfPath(m_location);
    return m_catalog->Facts(m_catalog->LocationFolder(m_location).value());
}

// The subfolders that have no plan yet: all of a folder the walk read itself, those reached
// through a link of a folder read ahead.
void TFolderWalker::planSubfolders(const TFolderReader& folder, TSubfolders& subfolders, int depth)
{
    m_planNames.clear();
    for (const TSubfolder& sub : subfolders.Items) {
        if (!sub.Ahead)
            m_planNames.push_back(subfolders.RawNameZ(sub));
    }
    if (m_planNames.empty())
        return;
    m_readAhead.Plan(folder, m_planNames, depth, m_planTickets);
    std::size_t next = 0;
    for (TSubfolder& sub : subfolders.Items) {
        if (!sub.Ahead)
            sub.Ahead = std::move(m_planTickets[next++]);
    }
}

// The plan the reading thread made for the subfolder of entry: entries come in the order the
// thread saw them, so the plans are matched in one pass.
TReadAhead::TTicket TFolderWalker::aheadTicketOf(const TRawEntry& entry)
{
    while (m_nextAheadSubfolder < m_aheadSubfolders.size() &&
           m_aheadSubfolders[m_nextAheadSubfolder].first < entry.Index)
        m_readAhead.Drop(m_aheadSubfolders[m_nextAheadSubfolder++].second);
    if (m_nextAheadSubfolder < m_aheadSubfolders.size() &&
        m_aheadSubfolders[m_nextAheadSubfolder].first == entry.Index)
        return std::move(m_aheadSubfolders[m_nextAheadSubfolder++].second);
    return nullptr;
}

void TFolderWalker::dropPlans(TSubfolders& subfolders)
{
    for (TSubfolder& sub : subfolders.Items) {
        if (sub.Ahead)
            m_readAhead.Drop(sub.Ahead);
    }
}

void TFolderWalker::readFolder(TFolderReader& folder, TSubfolders& subfolders)
{
    TRawEntry entry;
    std::uint32_t entries = 0;
    while (!stopRequested() && folder.Next(entry)) {
        // An entry whose type the folder tells costs no system call (sizes are looked up once the
        // folder is read): the clock is looked at for every 32nd, which take microseconds together.
        if ((++entries & 31) == 0)
            showProgress();
        if (IsDotOrDotDot(entry))
            continue;
        if (entry.Name[0] == '.' && !m_settings.IsHiddenFiles)
            continue;
        const TEntryFacts facts =
            m_readAheadUsed ? m_aheadFacts[entry.Index] : folder.Examine(entry, false);
        if (facts.Vanished || (facts.Kind == TEntryKind::Special && !m_settings.IsSystemFiles))
            continue;
        if (facts.Kind == TEntryKind::Folder) {
            addSubfolder(subfolders, entry, facts.IsLink);
            continue;
        }
        if (m_targetWritesFiles && m_lines.IsOwnFile(folder.Identity().Device, entry.Inode))
            continue;
        const qsizetype nameStart = m_names.Size();
        char16_t* decoded = m_names.Reserve(qsizetype(entry.NameLength + DecodePadding));
        bool printableAscii = false;
        m_names.SetEnd(decoded + DecodePaddedFileNameInto(decoded, entry.Name, entry.NameLength,
                                                          &printableAscii));
        const QStringView name = m_names.View(nameStart, m_names.Size() - nameStart);
        if (!(m_filterAnswer ? *m_filterAnswer
                             : PassesFilter(name, IsSkipListFilter(m_settings.Filter), m_masks))) {
            m_names.Truncate(nameStart);
            ++m_counters.SkippedCount;
            ++m_folderSkipped;
            continue;
        }
        if (m_wantSizes) {
            // Names are needed to look the files up; a folder read ahead has their facts.
            if (!m_readAheadUsed || !m_aheadSizesKnown) {
                m_rawStarts.push_back(m_rawNames.Size());
                m_rawNames.Append(entry.Name, qsizetype(entry.NameLength));
                m_rawNames.Append('\0');
            }
            m_rawEntries.push_back(entry);
        }
        const qsizetype extension =
            m_style.SortMode == ByExtensionOrder ? extensionLength(name) : 0;
        m_files.push_back({.Size = facts.Size,
                           .Modified = facts.Modified,
                           .NameStart = std::uint32_t(nameStart),
                           .NameLength = std::uint32_t(name.size()),
                           .ExtLength = std::uint32_t(extension),
                           .Type = facts.IsLink                        ? TRecordType::Link
                                   : facts.Kind == TEntryKind::Special ? TRecordType::Special
                                                                       : TRecordType::File,
                           .State = factsState(facts, m_wantSizes),
                           .PrintableAscii = printableAscii});
        m_folderSize += facts.Size;
    }
    if (folder.Error() != 0)
        reportUnreadable(SystemErrorText(folder.Error()));
    if (m_wantSizes)
        lookUpSizes(folder);
    m_counters.FileCount += int(m_files.size());
    m_counters.TotalSize += m_folderSize;
    sortSubfolders(subfolders);
    if (m_style.SortMode != UnsortedOrder)
        sortFiles();
}

void TFolderWalker::addSubfolder(TSubfolders& subfolders, const TRawEntry& entry, bool isLink)
{
    TSubfolder sub;
    if (m_readAheadUsed)
        sub.Ahead = aheadTicketOf(entry);
    sub.IsLink = isLink;
    sub.CatalogItem = std::uint32_t(entry.Inode); // a catalogue's entries carry their items there
    sub.RawStart = subfolders.RawNames.Size();
    sub.RawLength = std::uint32_t(entry.NameLength);
    subfolders.RawNames.Append(entry.Name, qsizetype(entry.NameLength));
    subfolders.RawNames.Append('\0');
    sub.NameStart = subfolders.Names.Size();
    char16_t* decoded = subfolders.Names.Reserve(qsizetype(entry.NameLength + DecodePadding));
    const qsizetype length =
        DecodePaddedFileNameInto(decoded, entry.Name, entry.NameLength, &sub.PrintableAscii);
    subfolders.Names.SetEnd(decoded + length);
    sub.NameLength = std::uint32_t(length);
    subfolders.Items.push_back(sub);
}

// The files' sizes, a few hundred at a time between looks at the clock; a file gone since the
// folder was read is left out.
void TFolderWalker::lookUpSizes(const TFolderReader& folder)
{
    constexpr std::size_t Piece = 256;
    const bool known = m_readAheadUsed && m_aheadSizesKnown;
    if (!known) {
        for (std::size_t i = 0; i < m_rawEntries.size(); ++i)
            m_rawEntries[i].Name = m_rawNames.Data() + m_rawStarts[i];
    }
    m_folderSize = 0;
    std::size_t kept = 0;
    for (std::size_t from = 0; from < m_files.size() && !stopRequested(); from += Piece) {
        const std::size_t to = std::min(m_files.size(), from + Piece);
        if (!known)
            m_readAhead.Examine(folder, m_rawEntries, from, to, m_sizedFacts);
        for (std::size_t i = from; i < to; ++i) {
            const TEntryFacts& facts =
                known ? m_aheadFacts[m_rawEntries[i].Index] : m_sizedFacts[i - from];
            if (facts.Vanished)
                continue;
            m_files[kept] = m_files[i];
            m_files[kept].Size = facts.Size;
            m_files[kept].Modified = facts.Modified;
            m_files[kept].State = factsState(facts, true);
            m_folderSize += facts.Size;
            ++kept;
        }
        showProgress();
    }
    m_files.resize(kept);
    // Of no use once the sizes are known: a huge folder's would stay through its sort, when its
    // memory peaks, and through the rest of the walk.
    if (m_rawEntries.capacity() > KeptEntries) {
        m_rawNames = TByteBuffer();
        m_rawStarts = std::vector<qsizetype>();
        m_rawEntries = std::vector<TRawEntry>();
    }
    m_rawNames.Clear();
    m_rawStarts.clear();
    m_rawEntries.clear();
}

// A huge folder's buffers give their memory back once its lines are made: the folders after it
// would otherwise hold all of it through the rest of the walk.
void TFolderWalker::clearFiles()
{
    if (m_files.capacity() > KeptEntries) {
        m_files = std::vector<TListedFile>();
        m_names = TUnitBuffer();
        m_sortNames = std::vector<QStringView>();
        m_sortExtensions = std::vector<QStringView>();
        m_sortOrder = std::vector<int>();
        m_nameKeys = TNameKeys();
        m_extensionKeys = TNameKeys();
    }
    m_files.clear();
    m_names.Clear();
}

void TFolderWalker::sortSubfolders(TSubfolders& subfolders)
{
    if (subfolders.Items.size() < 2)
        return;
    m_sortNames.clear();
    m_sortNames.reserve(subfolders.Items.size());
    for (const TSubfolder& sub : subfolders.Items)
        m_sortNames.push_back(subfolders.Name(sub));
    m_folderOrder.MakeKeys(m_sortNames, m_nameKeys);
    std::vector<int>& order = m_sortOrder;
    order.resize(subfolders.Items.size());
    std::iota(order.begin(), order.end(), 0);
    SortByName(order, m_nameKeys);
    placeInOrder(subfolders.Items, order);
}

void TFolderWalker::sortFiles()
{
    const std::size_t count = m_files.size();
    if (count < 2)
        return;
    m_sortOrder.resize(count);
    std::iota(m_sortOrder.begin(), m_sortOrder.end(), 0);
    std::vector<int>& order = m_sortOrder;
    if (m_style.SortMode == RandomOrder) {
        randomQuickSort(order, 0, int(count) - 1, m_random);
    } else {
        m_sortNames.clear();
        m_sortNames.reserve(count);
        for (const TListedFile& file : m_files)
            m_sortNames.push_back(fileName(file));
        m_fileOrder.MakeKeys(m_sortNames, m_nameKeys);
        const int mode = m_style.SortMode;
        if (mode == ByExtensionOrder) {
            m_sortExtensions.clear();
            m_sortExtensions.reserve(count);
            for (std::size_t i = 0; i < count; ++i)
                m_sortExtensions.push_back(m_sortNames[i].last(m_files[i].ExtLength));
            m_fileOrder.MakeKeys(m_sortExtensions, m_extensionKeys);
        }
        if (mode == LargestFirstOrder || mode == SmallestFirstOrder || mode == ByExtensionOrder) {
            std::sort(order.begin(), order.end(), [&](int x, int y) {
                const std::int64_t a = m_files[std::size_t(x)].Size;
                const std::int64_t b = m_files[std::size_t(y)].Size;
                if (mode == LargestFirstOrder && a != b)
                    return a > b;
                if (mode == SmallestFirstOrder && a != b)
                    return a < b;
                // Extensions the collation calls equal leave the order to the whole names.
                if (mode == ByExtensionOrder) {
                    const int c = m_extensionKeys.CompareCollation(x, y);
                    if (c != 0)
                        return c < 0;
                }
                return m_nameKeys.Less(x, y);
            });
        } else {
            SortByName(order, m_nameKeys);
        }
    }
    placeInOrder(m_files, order);
}

void TFolderWalker::emitFileLines()
{
    const int code = m_style.File;
    // The part of the shown path the lines show ends where the path does; its start in the UTF-8
    // is the start of the path, of the relative path, or the end.
    const qsizetype partStart =
        m_shownPath.size() - FileFolderPart(m_format, m_shownPath, code).size();
    const qsizetype partStartUtf8 = partStart == 0                    ? 0
                                    : partStart == m_shownPath.size() ? m_shownPathUtf8.Size()
                                                                      : m_relativeStartUtf8;
    const QByteArrayView folderPartUtf8 =
        m_shownPathUtf8.View(partStartUtf8, m_shownPathUtf8.Size() - partStartUtf8);
    // The indentation is tabs or spaces, one byte each, the same for all the folder's lines.
    const QByteArray prefixUtf8 = m_prefix.toLatin1();
    std::uint32_t lines = 0;
    for (const TListedFile& file : m_files) {
        if (stopRequested())
            break;
        const QStringView name = fileName(file);
        if (m_utf8Out != nullptr) {
            // Lines whose names print as their bytes skip the round trip through UTF-16 and are
            // composed where the target keeps them.
            const qsizetype start = m_utf8Out->Size();
            m_utf8Out->Append(prefixUtf8.constData(), prefixUtf8.size());
            if (AppendFileItemUtf8(*m_utf8Out, m_format, folderPartUtf8, name, code, file.Size,
                                   file.PrintableAscii)) {
                m_itemFacts = recordFacts(file);
                emitUtf8Line(start, name, &m_itemFacts);
                // A tenth of a microsecond a line: the clock is looked at every 32 lines.
                if ((++lines & 31) == 0) {
                    showProgress();
                    passOnEvery256(lines);
                }
                continue;
            }
            m_utf8Out->Truncate(start);
        }
        m_line.truncate(0);
        m_line.append(m_prefix);
        AppendFileItemTextInShownFolder(m_line, m_format, m_shownPath, name, code, file.Size);
        m_itemFacts = recordFacts(file);
        emitLine(m_line, name, &m_itemFacts, false);
        showProgress();
        passOnEvery256(++lines);
    }
}

// File lines are passed on a few hundred at a time (and the rest at the folder's end): often
// enough that a large folder's lines are not all held, seldom enough to cost nothing per line.
void TFolderWalker::passOnEvery256(std::uint32_t lines)
{
    if (m_linesFinal && (lines & 255) == 0)
        m_lines.LinesFinal(m_lines.LineCount());
}

// The caller passes the lines on (passOnEvery256).
void TFolderWalker::emitUtf8Line(qsizetype start, QStringView name, const TItemFacts* record)
{
    m_lines.CommitItemLineUtf8(start, {m_path, name, record});
}

// A line whose record is made elsewhere gives record nullptr.
void TFolderWalker::emitLine(QStringView line, QStringView name, const TItemFacts* record,
                             bool passOn)
{
    m_lines.AppendItemLine(line, {m_path, name, record});
    if (passOn && m_linesFinal)
        m_lines.LinesFinal(m_lines.LineCount());
}

TItemFacts TFolderWalker::subfolderFacts(const TFolderReader& parent, const TSubfolders& subfolders,
                                         const TSubfolder& sub) const
{
    if (m_catalog != nullptr)
        return m_catalog->Facts(sub.CatalogItem);
    return FactsOfStatus(ItemStatusAt(parent.Descriptor(), subfolders.RawNameZ(sub)), true);
}

void TFolderWalker::showProgress()
{
    const std::uint32_t now = TickCount();
    if (std::uint32_t(now - m_counters.LastProgressTick) <= ProgressIntervalMs)
        return;
    m_reporter.ShowStatus(u"Searching " + m_path);
    m_reporter.ShowStats(StatisticsText(m_format, m_counters.FolderCount, m_counters.FileCount,
                                        m_counters.SkippedCount, m_counters.TotalSize,
                                        std::uint32_t(now - m_counters.StartTick)));
    m_counters.LastProgressTick = now;
    m_reporter.ProcessEvents();
}

void TFolderWalker::reportUnreadable(const QString& reason)
{
    m_reporter.FolderUnreadable(m_path, reason);
}

} // namespace

QString ListLocation(const TSettings& listSettings, const QString& location, TLinesTarget& lines,
                     TWalkReporter& reporter, TWalkState& state, const TLocationOptions& options)
{
    Assert(listSettings.Filter >= 0 && listSettings.Filter < FilterCount);
    TRunCounters& counters = state.Counters;
    if (options.StartsRun) {
        state.Entered = {};
        counters = TRunCounters();
        counters.StartTick = TickCount();
        counters.LastProgressTick = counters.StartTick - ProgressIntervalMs;
    }
    if (!state.Stop.Requested()) {
        RaiseOpenFileLimit();
        lines.BeginUpdate();
        TFolderWalker walker(listSettings, location, lines, reporter, state, options);
        walker.Run();
        lines.EndUpdate();
    }
    const QString statistics =
        StatisticsText(counters.FolderCount, counters.FileCount, counters.SkippedCount,
                       counters.TotalSize, std::uint32_t(TickCount() - counters.StartTick));
    reporter.ShowStatus(statistics);
    return statistics;
}

bool ListingShowsSizes(const TSettings& listSettings)
{
    const TListStyle& style = listSettings.Style;
    return FileCodeShowsSize(style.File) || style.IsSummary || style.IsHeader ||
           style.SortMode == LargestFirstOrder || style.SortMode == SmallestFirstOrder;
}

} // namespace dirka
