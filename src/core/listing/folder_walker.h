#pragma once

#include "core/listing/lines_target.h"
#include "core/settings/settings_records.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>
#include <cstdint>
#include <functional>

namespace dirka {

/// One set of counters for a whole listing run, so several locations add up.
struct TRunCounters {
    int FolderCount = 0;  // folders with at least one listed file
    int FileCount = 0;    // listed files
    int SkippedCount = 0; // files the "Search for" masks rejected
    std::int64_t TotalSize = 0;
    std::uint32_t StartTick = 0;
    std::uint32_t LastProgressTick = 0;
};
TRunCounters& RunCounters();

namespace detail {
extern std::atomic<bool> stopFlag;
}

/// The process-wide stop flag; safe to set from a signal handler.
void RequestStop();
void ClearStopRequest();
/// Asked for every entry and line, so it costs no call.
inline bool StopRequested()
{
    return detail::stopFlag.load(std::memory_order_relaxed);
}

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
/// to lines with its path (AppendItemLine). resetCounters starts the run counters anew,
/// and with them the run's record of entered folders, which keeps a folder reached through a link
/// from being entered twice.
/// Without wantSizes, files whose type the folder tells are not looked at, and sizes (and the
/// size in the statistics) are 0: for runs that show no size anywhere.
/// Answers the run's statistics text, which it also reports as the final status.
QString ListLocation(const TSettings& listSettings, const QString& location, TLinesTarget& lines,
                     TWalkReporter& reporter, bool resetCounters, bool wantSizes = true);

/// True when a listing with these settings shows a size somewhere: in the file lines, the
/// folder summaries, the footer's statistics, or the order of the files.
bool ListingShowsSizes(const TSettings& listSettings);

/// The generator behind the "Random" sort order.
void SeedRandom(std::uint32_t seed);
/// Seeds from the time of day in UTC, in milliseconds.
void SeedRandomFromClock();
/// A draw in 0..n-1.
std::uint32_t RandomBelow(std::uint32_t n);

} // namespace dirka
