#pragma once

#include "core/listing/file_system.h"
#include "core/listing/lines_target.h"
#include "core/listing/mount_table.h"
#include "core/listing/random_generator.h"
#include "core/listing/stop_token.h"
#include "core/settings/settings_records.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace dirka {

class TCatalog;

/// One set of counters for a whole listing run, so several locations add up.
struct TRunCounters {
    int FolderCount = 0;  // folders with at least one listed file
    int FileCount = 0;    // listed files
    int SkippedCount = 0; // files the "Search for" masks rejected
    std::int64_t TotalSize = 0;
    std::uint32_t StartTick = 0;
    std::uint32_t LastProgressTick = 0;
};

/// The folders entered so far in a listing, which may cover several locations. Only a link to a
/// folder asks whether one was entered, so they are kept in a plain list (a hash insert per
/// folder costs cache misses a walk without such links has no use for) and put in a hash set
/// when a link asks.
class TEnteredFolders {
public:
    void Add(const TFolderIdentity& id) { m_list.push_back(id); }
    bool Contains(const TFolderIdentity& id)
    {
        for (; m_indexed < m_list.size(); ++m_indexed)
            m_set.insert(m_list[m_indexed]);
        return m_set.contains(id);
    }

private:
    std::vector<TFolderIdentity> m_list;
    std::unordered_set<TFolderIdentity, TFolderIdentityHash> m_set; // the first m_indexed of them
    std::size_t m_indexed = 0;
};

/// What the walks of one listing share, however many locations it lists. Nothing of it is
/// shared with another listing, so two can walk at once in two threads.
struct TWalkState {
    TRunCounters Counters;
    TEnteredFolders Entered; // a folder reached through a link is entered once per listing
    TStopToken Stop;
    TRandomGenerator Random = TRandomGenerator::FromClock(); // behind the "Random" order
    TMountTypes MountTypes;
};

/// How ListLocation lists.
struct TLocationOptions {
    /// The listing's first location: counters, their clock and the entered folders start anew.
    bool StartsRun = true;
    /// Without sizes, files whose type the folder tells are not looked at, and sizes (and the
    /// size in the statistics) are 0: for listings that show no size anywhere.
    bool WantSizes = true;
    /// Every item line's record gets the item's facts as the walk lists it (sizes are looked
    /// up then whatever WantSizes says); otherwise only files looked up for their sizes have
    /// them, and the records look the others up.
    bool WantRecords = false;
    /// The saved listing the location is read from instead of the disk; nullptr for the disk.
    const TCatalog* Catalog = nullptr;
};

/// What a walk reports while it runs; every call does nothing unless overridden. The walker
/// calls it only every 200 ms and for folders it cannot read, never per entry.
class TWalkReporter {
public:
    virtual ~TWalkReporter() = default;
    /// "Searching PATH" while walking; the final statistics at the end of a location.
    virtual void ShowStatus(const QString& text) { Q_UNUSED(text); }
    /// The running statistics.
    virtual void ShowStats(const QString& text) { Q_UNUSED(text); }
    /// Pending events may run now (at most every 200 ms); this is when Stop is seen.
    virtual void ProcessEvents() {}
    virtual void FolderUnreadable(const QString& folder, const QString& reason)
    {
        Q_UNUSED(folder);
        Q_UNUSED(reason);
    }
};

/// Lists one location (an absolute folder path ending in the delimiter) into lines with the
/// given settings, whose Style the caller has already chosen (ApplyPreset). Each item line goes
/// to lines with its path (AppendItemLine). The listing's counters, entered folders, stop token
/// and random order are state's: with its stop token set, nothing is listed, and a walk under
/// way ends at the next entry.
/// Answers the listing's statistics text, which it also reports as the final status.
QString ListLocation(const TSettings& listSettings, const QString& location, TLinesTarget& lines,
                     TWalkReporter& reporter, TWalkState& state,
                     const TLocationOptions& options = {});

/// True when a listing with these settings shows a size somewhere: in the file lines, the
/// folder summaries, the footer's statistics, or the order of the files.
bool ListingShowsSizes(const TSettings& listSettings);

} // namespace dirka
