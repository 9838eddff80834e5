#pragma once

#include "core/listing/file_system.h"

#include <QStringList>
#include <QStringView>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Reading ahead of a walk: while the walk composes the lines of one folder, a few threads of
// its own open and read the folders it enters next and look their entries up, so the system's
// work and the walk's overlap, and on a cold disk several reads are under way at once. Every
// hand-over blocks (a mutex and condition variables): a thread that waits takes no processor
// time from the one it waits for, which matters most when the machine is busy. The
// environment variable DIRKA_READ_AHEAD=0 makes the walk read every folder itself when it
// enters it, DIRKA_READ_AHEAD=1 reads ahead from the start even when no size is wanted (for
// comparisons, and for tests).
namespace dirka {

class TNameOrder;

/// Which file entries a walk lists and so looks up for their sizes: the hidden switch and the
/// "Search for" masks, asked the same way on any thread.
struct TEntryFilter {
    bool HiddenFiles = false;
    bool SkipList = false;           // the masks name files to leave out
    QStringList Masks;               // read only, so shared between threads
    std::optional<bool> EveryName{}; // the masks' answer for every name, when known

    bool SkipsHidden(const TRawEntry& entry) const { return entry.Name[0] == '.' && !HiddenFiles; }
    bool PassesName(QStringView name) const;
};

struct TReadAheadJob;
using TReadAheadTicket = std::shared_ptr<TReadAheadJob>;

/// A folder as a thread read it ahead: open, every entry read (ReadAll), and what each entry
/// turned out to be, in entry order (TRawEntry::Index), as far as the walk will ask.
struct TFolderContent {
    TFolderReader Folder;
    std::vector<TEntryFacts> Facts;
    bool SizesKnown = false; // every listed file's size is in Facts
    // Its subfolders the thread planned in turn (not those reached through a link), by the
    // index of their entry, rising.
    std::vector<std::pair<std::uint32_t, TReadAheadTicket>> Subfolders;
};

class TReadAhead {
public:
    using TJob = TReadAheadJob;
    using TTicket = TReadAheadTicket;

    TReadAhead(TEntryFilter filter, bool wantSizes);
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    /// Plans the reading of subfolders (NUL-terminated names) of an open folder, in the order
    /// the walk enters them, ahead of everything planned before: a walk goes down first.
    /// tickets gets one per name, empty where none was made. depth is the subfolders' own, as
    /// the walk counts it (their subfolders are read ahead too while it is more than 1). Called
    /// on the walk's thread.
    void Plan(const TFolderReader& parent, const std::vector<const char*>& names, int depth,
              std::vector<TTicket>& tickets);
    /// The folder of ticket, waiting while a thread reads it; nothing when none has begun it
    /// (then the walk reads it itself). A long wait asks keepWaiting every 50 ms (the walk
    /// shows progress and sees Stop there) and gives up when it answers false. The ticket is
    /// used up either way.
    std::optional<TFolderContent> Take(TTicket& ticket, const std::function<bool()>& keepWaiting);
    /// Whether a thread has begun the folder of ticket; for tests.
    bool Begun(const TTicket& ticket);
    /// Gives up a ticket that will not be taken, and what was read for it.
    void Drop(TTicket& ticket);

    /// facts[i] becomes folder.Examine(entries[from + i], true) for every entry from `from` to
    /// `to`, shared with the threads when there are enough; the names stay valid meanwhile.
    void Examine(const TFolderReader& folder, const std::vector<TRawEntry>& entries,
                 std::size_t from, std::size_t to, std::vector<TEntryFacts>& facts);

    struct TTask;

private:
    struct TLookUps;

    void work();
    bool runOne(std::unique_lock<std::mutex>& lock, bool readsToo, const TNameOrder& order,
                bool onWalk);
    void read(TJob& job, const TNameOrder& order, bool onWalk);
    void planSubfoldersOf(TFolderContent& content, const std::vector<const char*>& names,
                          const std::vector<std::uint32_t>& indexes, int depth);
    static std::size_t lookUpPieces(TLookUps& lookUps);
    void lookUpShared(TLookUps& lookUps, std::unique_lock<std::mutex>& lock);
    void startThread();
    void unplan(TJob& job);
    void dropLocked(TJob& job);
    void dropSubfoldersLocked(TFolderContent& content);
    void queueJobs(const std::shared_ptr<const TFolderReader>& parent,
                   const std::vector<const char*>& names, std::size_t count, int depth,
                   std::vector<TTicket>& tickets);
    bool worthPlanning();
    void wakeReaders(std::size_t count);
    bool windowFull() const;

    const TEntryFilter m_filter;
    const bool m_wantSizes;
    std::mutex m_mutex;
    std::condition_variable m_work; // a task was queued, room came free, or the end
    std::condition_variable m_done; // a job was read or a share of look-ups done
    std::deque<std::shared_ptr<TTask>> m_queue;
    std::vector<std::thread> m_threads;
    std::size_t m_maxThreads = 1;
    const std::size_t m_windowFolders;
    std::size_t m_heldEntries = 0; // of folders read ahead and not yet taken
    std::size_t m_heldFolders = 0;
    std::size_t m_planned = 0; // jobs no thread has begun
    std::size_t m_idleThreads = 0;
    const TReadAheadJob* m_awaited = nullptr; // the job the walk waits for, if any
    bool m_quit = false;
    std::unique_ptr<TNameOrder> m_walkOrder; // the walk's thread's, made when it first reads
    bool m_alone;                            // no thread could be started, or DIRKA_READ_AHEAD=0
    // The walk's own thread: whether it plans, and its reads from the disk when it began.
    bool m_active;
    std::uint64_t m_walkBlockReads;
    std::uint32_t m_plansUnchecked = 0;
};

} // namespace dirka
