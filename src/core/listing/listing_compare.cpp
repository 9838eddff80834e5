#include "core/listing/listing_compare.h"

#include "core/listing/name_order.h"
#include "core/settings/locations.h"
#include "core/system/file_io.h"
#include "core/system/quiet_thread.h"
#include "core/text/masks.h"
#include "core/text/text_utils.h"

#include <QHash>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace dirka {

namespace {

struct TCompareEntry {
    QString Name; // a folder's ends in the delimiter
    bool IsFolder = false;
    TItemFacts Facts;
};

/// One folder's entries as its walk listed them: subfolders, then files, each in name order.
struct TCompareBlock {
    QString Folder; // below the location, ending in the delimiter; empty for the location
    std::vector<TCompareEntry> Entries;
};

// Blocks handed from a side's walk to the merge. The walk waits while many entries are held,
// so a side that runs ahead of the other holds a bounded share of its tree.
class TBlockQueue {
public:
    bool Push(TCompareBlock&& block)
    {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_abandoned || !m_bounded || m_entries < MaxEntries; });
        if (m_abandoned)
            return false;
        m_entries += block.Entries.size();
        m_blocks.push_back(std::move(block));
        m_notEmpty.notify_one();
        return true;
    }
    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_notEmpty.notify_one();
    }
    std::optional<TCompareBlock> Pop()
    {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return !m_blocks.empty() || m_closed; });
        if (m_blocks.empty())
            return std::nullopt;
        TCompareBlock block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_entries -= block.Entries.size();
        m_notFull.notify_one();
        return block;
    }
    /// For a walk on the merge's own thread, which must never wait for the merge.
    void Unbound() { m_bounded = false; }
    /// The merge needs no more: a walk waiting to hand over goes on and ends.
    void Abandon()
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
        m_notFull.notify_all();
    }

private:
    static constexpr std::size_t MaxEntries = 32768;
    std::mutex m_mutex;
    std::condition_variable m_notFull;
    std::condition_variable m_notEmpty;
    std::deque<TCompareBlock> m_blocks;
    std::size_t m_entries = 0;
    bool m_closed = false;
    bool m_abandoned = false;
    bool m_bounded = true;
};

// Takes a side's item lines as its walk lists them (in the list style, so a folder's
// subfolders have lines in its own list) and passes them on a folder at a time.
class TSideTarget : public TLinesTarget {
public:
    TSideTarget(TBlockQueue& queue, qsizetype locationLength, const TSettings& settings)
        : m_queue(queue), m_locationLength(locationLength),
          m_masks(SplitMasks(settings.FilterMask[std::size_t(settings.Filter)])),
          m_skipList(IsSkipListFilter(settings.Filter))
    {
    }
    qsizetype LineCount() const override { return m_count; }
    QStringView Line(qsizetype index) const override
    {
        Q_UNUSED(index);
        return {};
    }
    void AppendLine(QStringView text) override
    {
        Q_UNUSED(text);
        ++m_count;
    }
    void AppendItemLine(QStringView text, const TLineItem& item) override;
    void RemoveLastLine() override { --m_count; }
    void Finish()
    {
        flush();
        m_queue.Close();
    }

private:
    void flush()
    {
        if (m_started && !m_block.Entries.empty() && !m_queue.Push(std::move(m_block)))
            m_abandoned = true;
        m_block.Entries.clear();
    }

    TBlockQueue& m_queue;
    const qsizetype m_locationLength;
    const QStringList m_masks;
    const bool m_skipList;
    TCompareBlock m_block;
    qsizetype m_count = 0;
    bool m_started = false;
    bool m_abandoned = false;
};

// The location's own line is no difference; a file the masks leave out is none either.
void TSideTarget::AppendItemLine(QStringView text, const TLineItem& item)
{
    Q_UNUSED(text);
    ++m_count;
    if (item.Record == nullptr || item.Name.isEmpty() || m_abandoned)
        return;
    const bool isFolder = item.Name.endsWith(PathDelimiter);
    if (!isFolder && !PassesFilter(item.Name, m_skipList, m_masks))
        return;
    const QStringView folder = item.FolderPath.sliced(m_locationLength);
    if (!m_started || folder != m_block.Folder) {
        flush();
        m_block.Folder = folder.toString();
        m_started = true;
    }
    m_block.Entries.push_back({item.Name.toString(), isFolder, *item.Record});
}

// Unreadable folders of a side's walk, kept for the end; Stop of the comparison reaches the
// walk when it next shows progress.
class TSideReporter : public TWalkReporter {
public:
    TSideReporter(const TStopToken& compareStop, TStopToken& walkStop)
        : m_compareStop(compareStop), m_walkStop(walkStop)
    {
    }
    void ProcessEvents() override
    {
        if (m_compareStop.Requested())
            m_walkStop.Request();
    }
    void FolderUnreadable(const QString& folder, const QString& reason) override
    {
        Unreadable.emplace_back(folder, reason);
    }
    std::vector<std::pair<QString, QString>> Unreadable;

private:
    const TStopToken& m_compareStop;
    TStopToken& m_walkStop;
};

// Every item a line, in the order of names, nothing else: the comparison's own listing.
TSettings sideSettings(const TSettings& settings)
{
    TSettings side = settings;
    side.Filter = AllFilesFilter; // every folder has its line; the masks are the target's
    TListStyle& style = side.Style;
    style = TListStyle();
    style.Preset = CustomPreset;
    style.Mode = 0;
    style.IsNewLine = false;
    style.IsSkip = false;
    style.IsSummary = false;
    style.IsHeader = false;
    style.Base = 1;
    style.Folder = 1;
    style.File = 1;
    style.IndentMode = 2;
    style.SortMode = ByNameOrder;
    return side;
}

// One side's walk on a thread of its own, its blocks in queue.
class TSideWalk {
public:
    TSideWalk(const TSettings& settings, const TCompareSide& side, const TStopToken& stop)
        : m_settings(settings), m_side(side), m_reporter(stop, m_state.Stop),
          m_target(m_queue, side.Location.size(), settings)
    {
    }
    void Start()
    {
        m_thread = StartQuietThread([this] { walk(); });
        if (!m_thread)
            walkAlone();
    }
    void Join()
    {
        m_queue.Abandon();
        m_state.Stop.Request();
        if (m_thread && m_thread->joinable())
            m_thread->join();
    }
    TBlockQueue& Queue() { return m_queue; }
    const TSideReporter& Reporter() const { return m_reporter; }
    bool Failed() const { return m_failed; }

private:
    void walk()
    {
        try {
            ListLocation(sideSettings(m_settings), m_side.Location, m_target, m_reporter, m_state,
                         {.WantSizes = true, .WantRecords = true, .Catalog = m_side.Catalog.get()});
        } catch (...) {
            // Out of memory on this thread: the comparison reports it, not the runtime.
            m_failed = true;
        }
        m_target.Finish();
    }
    // Without a thread the side is walked before the merge, with no bound on what it holds.
    void walkAlone()
    {
        m_queue.Unbound();
        walk();
    }

    const TSettings& m_settings;
    const TCompareSide& m_side;
    TWalkState m_state;
    TBlockQueue m_queue;
    TSideReporter m_reporter;
    TSideTarget m_target;
    std::optional<std::thread> m_thread;
    bool m_failed = false;
};

// The order of the walk: a folder's subfolders by the folder order, a folder before what is
// in it, files (within a block) by the file order.
class TWalkOrder {
public:
    int CompareFolders(QStringView a, QStringView b) const;
    /// Sorts entries (subfolders first) as one block of the walk lists them.
    void Sort(std::vector<const TCompareEntry*>& entries) const;

private:
    int compareNames(const TNameOrder& order, QStringView a, QStringView b) const;

    const TNameOrder m_folderOrder{false};
    const TNameOrder m_fileOrder{true};
    mutable std::vector<QStringView> m_names;
    mutable TNameKeys m_keys;
};

int TWalkOrder::compareNames(const TNameOrder& order, QStringView a, QStringView b) const
{
    m_names = {a, b};
    order.MakeKeys(m_names, m_keys);
    return m_keys.Compare(0, 1);
}

int TWalkOrder::CompareFolders(QStringView a, QStringView b) const
{
    for (;;) {
        if (a.isEmpty() || b.isEmpty())
            return a.isEmpty() == b.isEmpty() ? 0 : a.isEmpty() ? -1 : 1;
        const qsizetype endA = a.indexOf(PathDelimiter);
        const qsizetype endB = b.indexOf(PathDelimiter);
        const QStringView nameA = a.first(endA);
        const QStringView nameB = b.first(endB);
        if (nameA != nameB)
            return compareNames(m_folderOrder, nameA, nameB);
        a = a.sliced(endA + 1);
        b = b.sliced(endB + 1);
    }
}

void TWalkOrder::Sort(std::vector<const TCompareEntry*>& entries) const
{
    std::stable_partition(entries.begin(), entries.end(),
                          [](const TCompareEntry* e) { return e->IsFolder; });
    const auto files = std::find_if(entries.begin(), entries.end(),
                                    [](const TCompareEntry* e) { return !e->IsFolder; });
    const auto sortPart = [this](auto from, auto to, const TNameOrder& order) {
        if (to - from < 2)
            return;
        std::vector<const TCompareEntry*> part(from, to);
        m_names.clear();
        for (const TCompareEntry* e : part)
            m_names.push_back(e->Name);
        order.MakeKeys(m_names, m_keys);
        std::vector<int> index(part.size());
        for (std::size_t i = 0; i < index.size(); ++i)
            index[i] = int(i);
        SortByName(index, m_keys);
        for (std::size_t i = 0; i < index.size(); ++i)
            *(from + std::ptrdiff_t(i)) = part[std::size_t(index[i])];
    };
    sortPart(entries.begin(), files, m_folderOrder);
    sortPart(files, entries.end(), m_fileOrder);
}

QStringView bareName(const TCompareEntry& entry)
{
    return entry.IsFolder ? QStringView(entry.Name).chopped(1) : QStringView(entry.Name);
}

// What changed of an item on both sides: a folder only by its type, since its own time
// changes with whatever is added to it or removed.
unsigned changedFacts(const TCompareEntry& old, const TCompareEntry& now)
{
    if (old.IsFolder != now.IsFolder || old.Facts.Type != now.Facts.Type)
        return TypeChanged;
    if (now.IsFolder)
        return 0;
    if (old.Facts.State != now.Facts.State)
        return SizeChanged | TimeChanged;
    unsigned what = 0;
    if (old.Facts.Size != now.Facts.Size)
        what |= SizeChanged;
    if (old.Facts.Modified != now.Facts.Modified)
        what |= TimeChanged;
    return what;
}

// Merges the two sides' blocks, folder by folder.
class TMerge {
public:
    TMerge(const TCompareSide& oldSide, const TCompareSide& newSide, TDifferenceSink& sink)
        : m_oldLocation(oldSide.Location), m_newLocation(newSide.Location), m_sink(sink)
    {
    }
    void Run(TBlockQueue& oldBlocks, TBlockQueue& newBlocks, const TStopToken& stop);
    const TCompareTotals& Totals() const { return m_totals; }

private:
    void oneSide(const TCompareBlock& block, TChange change);
    void both(const TCompareBlock& old, const TCompareBlock& now);
    void report(const QString& folder, const TCompareEntry* old, const TCompareEntry* now);

    const QString& m_oldLocation;
    const QString& m_newLocation;
    TDifferenceSink& m_sink;
    TWalkOrder m_order;
    TCompareTotals m_totals;
    TDifference m_difference; // reused
};

void TMerge::Run(TBlockQueue& oldBlocks, TBlockQueue& newBlocks, const TStopToken& stop)
{
    std::optional<TCompareBlock> old = oldBlocks.Pop();
    std::optional<TCompareBlock> now = newBlocks.Pop();
    while ((old || now) && !stop.Requested()) {
        const int order = !old ? 1 : !now ? -1 : m_order.CompareFolders(old->Folder, now->Folder);
        if (order < 0) {
            oneSide(*old, TChange::Removed);
            old = oldBlocks.Pop();
        } else if (order > 0) {
            oneSide(*now, TChange::Added);
            now = newBlocks.Pop();
        } else {
            both(*old, *now);
            old = oldBlocks.Pop();
            now = newBlocks.Pop();
        }
    }
}

void TMerge::oneSide(const TCompareBlock& block, TChange change)
{
    for (const TCompareEntry& entry : block.Entries) {
        if (change == TChange::Added)
            report(block.Folder, nullptr, &entry);
        else
            report(block.Folder, &entry, nullptr);
    }
}

// Entries are matched by name; an item whose type changed is shown where the new side lists
// it. When nothing was removed, the new side's order is the order of the result as it is.
void TMerge::both(const TCompareBlock& old, const TCompareBlock& now)
{
    QHash<QStringView, const TCompareEntry*> olds;
    olds.reserve(qsizetype(old.Entries.size()));
    for (const TCompareEntry& entry : old.Entries)
        olds.insert(bareName(entry), &entry);
    std::vector<std::pair<const TCompareEntry*, const TCompareEntry*>> pairs;
    pairs.reserve(now.Entries.size());
    for (const TCompareEntry& entry : now.Entries) {
        const auto found = olds.find(bareName(entry));
        const TCompareEntry* match = found != olds.end() ? *found : nullptr;
        if (match)
            olds.erase(found);
        pairs.emplace_back(match, &entry);
    }
    if (!olds.isEmpty()) {
        std::vector<const TCompareEntry*> shown;
        QHash<const TCompareEntry*, const TCompareEntry*> oldOf;
        for (const auto& [match, entry] : pairs) {
            shown.push_back(entry);
            oldOf.insert(entry, match);
        }
        for (const TCompareEntry& entry : old.Entries) {
            if (olds.contains(bareName(entry)) && olds.value(bareName(entry)) == &entry)
                shown.push_back(&entry);
        }
        m_order.Sort(shown);
        pairs.clear();
        for (const TCompareEntry* entry : shown) {
            const bool isNew = oldOf.contains(entry);
            pairs.emplace_back(isNew ? oldOf.value(entry) : entry, isNew ? entry : nullptr);
        }
    }
    for (const auto& [match, entry] : pairs)
        report(now.Folder, match, entry);
}

void TMerge::report(const QString& folder, const TCompareEntry* old, const TCompareEntry* now)
{
    TDifference& d = m_difference;
    d.What = old && now ? changedFacts(*old, *now) : 0;
    if (old && now && d.What == 0)
        return;
    d.Change = !old ? TChange::Added : !now ? TChange::Removed : TChange::Changed;
    const TCompareEntry& shown = now ? *now : *old;
    d.Path = (now ? m_newLocation : m_oldLocation) + folder + shown.Name;
    d.Old = old ? old->Facts : TItemFacts();
    d.New = now ? now->Facts : TItemFacts();
    // Bytes are those of files (and links to them), as the listing's totals count them.
    const std::int64_t oldBytes = old && !old->IsFolder ? old->Facts.Size : 0;
    const std::int64_t newBytes = now && !now->IsFolder ? now->Facts.Size : 0;
    m_totals.BytesAdded += std::max<std::int64_t>(0, newBytes - oldBytes);
    m_totals.BytesRemoved += std::max<std::int64_t>(0, oldBytes - newBytes);
    ++(d.Change == TChange::Added     ? m_totals.Added
       : d.Change == TChange::Removed ? m_totals.Removed
                                      : m_totals.Changed);
    m_sink.Difference(d);
}

} // namespace

const TLineChange* TLineChanges::At(qsizetype line) const
{
    const auto found = std::lower_bound(
        m_changes.begin(), m_changes.end(), line,
        [](const TLineChange& change, qsizetype wanted) { return change.Line < wanted; });
    return found != m_changes.end() && found->Line == line ? &*found : nullptr;
}

QString ResolveCompareSide(const QString& locationText, TCompareSide& side)
{
    const QStringList locations = ResolveLocations(locationText);
    if (locations.size() != 1)
        return u"a comparison takes one location on each side: " + locationText;
    const QString& location = locations.first();
    if (IsExistingFolder(location)) {
        side = {location, nullptr};
        return {};
    }
    const QString file = CatalogFileOf(location);
    if (file.isEmpty())
        return QString::fromUtf16(u"Specified location doesn't exists.") + u' ' + locationText;
    QString problem;
    side.Catalog = TCatalog::Load(file, problem);
    if (!side.Catalog)
        return problem;
    if (side.Catalog->Locations().size() != 1)
        return u"a comparison takes one location on each side; the saved listing " + file +
               u" holds " + QString::number(side.Catalog->Locations().size());
    side.Location = side.Catalog->Locations().first();
    return {};
}

TListingCompare::TListingCompare(const TSettings& settings, TCompareSide oldSide,
                                 TCompareSide newSide)
    : m_settings(settings), m_old(std::move(oldSide)), m_new(std::move(newSide))
{
}

TCompareTotals TListingCompare::Run(TDifferenceSink& sink, TWalkReporter& reporter)
{
    TSideWalk oldWalk(m_settings, m_old, m_stop);
    TSideWalk newWalk(m_settings, m_new, m_stop);
    oldWalk.Start();
    newWalk.Start();
    TMerge merge(m_old, m_new, sink);
    try {
        merge.Run(oldWalk.Queue(), newWalk.Queue(), m_stop);
    } catch (...) {
        m_stop.Request();
        oldWalk.Join();
        newWalk.Join();
        throw;
    }
    oldWalk.Join();
    newWalk.Join();
    for (const TSideWalk* walk : {&oldWalk, &newWalk}) {
        for (const auto& [folder, reason] : walk->Reporter().Unreadable)
            reporter.FolderUnreadable(folder, reason);
        if (walk->Failed())
            throw std::bad_alloc();
    }
    return merge.Totals();
}

} // namespace dirka
