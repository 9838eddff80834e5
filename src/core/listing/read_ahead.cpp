#include "core/listing/read_ahead.h"

#include "core/listing/folder_walker.h"
#include "core/listing/name_order.h"
#include "core/system/quiet_thread.h"
#include "core/text/file_names.h"
#include "core/text/masks.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>
#include <sys/resource.h>

namespace dirka {

namespace {

// Folders read ahead and not yet taken, counted in entries so that a few huge folders hold
// no more memory than many small ones (about 40 bytes an entry with its facts), and in
// folders, each of which holds a descriptor: a small share of what the process may open.
constexpr std::size_t WindowEntries = 1 << 17;
constexpr std::size_t MaxWindowFolders = 256;
// Folders planned and not begun at most: the rest the walk reads itself.
constexpr std::size_t MaxPlanned = 4096;
// One thread keeps the system's work of a warm cache beside the walk's; a thread that waited
// for the disk adds one, up to this many reads under way at once.
constexpr std::size_t MaxThreads = 8;
// Look-ups are shared in pieces of this many, and only for more than two pieces.
constexpr std::size_t LookUpPiece = 64;
// A folder the walk reads ahead itself while it waits is looked up there when it has at most
// this many files: a few milliseconds on a warm cache.
constexpr std::size_t MaxWalkLookUps = 2048;

std::size_t windowFolders()
{
    rlimit limit{};
    const std::size_t open =
        getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
            ? std::size_t(limit.rlim_cur)
            : 1024;
    return std::clamp<std::size_t>(open / 16, 2, MaxWindowFolders);
}

std::uint64_t blockReadsOfThisThread()
{
    rusage usage{};
    return getrusage(RUSAGE_THREAD, &usage) == 0 ? std::uint64_t(usage.ru_inblock) : 0;
}

// Puts the subfolders a thread found (raw names, their lengths and entry indexes) in the order
// the walk enters them, by name as the walk orders them: a thread that read them in the order
// of the folder's entries would fill the window with folders the walk needs much later, and
// the walk would read the ones it needs now itself.
void orderAsTheWalk(std::vector<const char*>& names, std::vector<std::uint32_t>& lengths,
                    std::vector<std::uint32_t>& indexes, const TNameOrder& order)
{
    if (names.size() < 2)
        return;
    // Room for every name at once, so the views stay valid as the names are decoded.
    std::size_t room = 0;
    for (const std::uint32_t length : lengths)
        room += length + DecodePadding;
    std::vector<char16_t> units(room);
    std::vector<QStringView> views;
    views.reserve(names.size());
    char16_t* at = units.data();
    for (std::size_t i = 0; i < names.size(); ++i) {
        bool ascii = false;
        const qsizetype length = DecodePaddedFileNameInto(at, names[i], lengths[i], &ascii);
        views.emplace_back(at, length);
        at += length;
    }
    TNameKeys keys;
    order.MakeKeys(views, keys);
    std::vector<int> sorted(names.size());
    std::iota(sorted.begin(), sorted.end(), 0);
    SortByName(sorted, keys);
    const auto permute = [&sorted](auto& values) {
        auto copy = values;
        for (std::size_t i = 0; i < sorted.size(); ++i)
            values[i] = copy[std::size_t(sorted[i])];
    };
    permute(names);
    permute(lengths);
    permute(indexes);
}

} // namespace

bool TEntryFilter::PassesName(QStringView name) const
{
    return EveryName ? *EveryName : PassesFilter(name, SkipList, Masks);
}

struct TReadAhead::TTask {
    explicit TTask(bool isRead) : IsRead(isRead) {}
    virtual ~TTask() = default;
    const bool IsRead;
};

struct TReadAheadJob : TReadAhead::TTask {
    enum class EState { Planned, Reading, Ready, Taken, Dropped };

    TReadAheadJob() : TTask(true) {}
    std::shared_ptr<const TFolderReader> Parent; // a descriptor of its own, for openat
    const char* Name = nullptr;                  // in Names, which the planning shares
    std::shared_ptr<const QByteArray> Names;
    int Depth = 0;
    EState State = EState::Planned;
    std::optional<TFolderContent> Content;
    std::size_t Entries = 0;
};

// Entries of one folder to look up, in pieces that any thread may claim.
struct TReadAhead::TLookUps : TTask {
    TLookUps() : TTask(false) {}
    const TFolderReader* Folder = nullptr;
    const TRawEntry* Entries = nullptr;
    std::size_t Count = 0;
    TEntryFacts* Facts = nullptr;
    bool ByIndex = false; // Facts[entry.Index] instead of Facts[i]
    std::atomic<std::size_t> Next{0};
    std::size_t Done = 0; // under the mutex

    bool Claimable() const { return Next.load(std::memory_order_relaxed) < Count; }
};

TReadAhead::TReadAhead(TEntryFilter filter, bool wantSizes)
    : m_filter(std::move(filter)), m_wantSizes(wantSizes), m_windowFolders(windowFolders()),
      m_alone(qgetenv("DIRKA_READ_AHEAD") == "0"),
      m_active(wantSizes || qgetenv("DIRKA_READ_AHEAD") == "1"),
      m_walkBlockReads(blockReadsOfThisThread())
{
}

// Without sizes a warm walk does little beside the system's reading, and handing folders
// over would cost more than it saves: reading ahead starts once the walk's own reads wait
// for the disk. Looked at every few folders (a call of well under a microsecond).
bool TReadAhead::worthPlanning()
{
    constexpr std::uint32_t CheckEvery = 8;
    if (m_active || ++m_plansUnchecked < CheckEvery)
        return m_active;
    m_plansUnchecked = 0;
    m_active = blockReadsOfThisThread() != m_walkBlockReads;
    return m_active;
}

TReadAhead::~TReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_queue.clear();
    }
    m_work.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

// Under the mutex.
void TReadAhead::startThread()
{
    // Once the end has begun the threads are being joined: no thread may be added then.
    if (m_alone || m_quit || m_threads.size() >= m_maxThreads)
        return;
    std::optional<std::thread> thread = StartQuietThread([this] { work(); });
    if (thread)
        m_threads.push_back(std::move(*thread));
    else
        m_alone = m_threads.empty();
}

void TReadAhead::Plan(const TFolderReader& parent, const std::vector<const char*>& names, int depth,
                      std::vector<TTicket>& tickets)
{
    tickets.assign(names.size(), nullptr);
    if (names.empty() || m_alone || !worthPlanning())
        return;
    auto shared = std::make_shared<const TFolderReader>(TFolderReader::Duplicate(parent));
    if (!shared->IsOpen())
        return;
    const std::lock_guard lock(m_mutex);
    if (m_threads.empty())
        startThread();
    if (!m_threads.empty())
        queueJobs(shared, names, names.size(), depth, tickets);
}

// Under the mutex: one job for each of the first count names (as many as the plan may take),
// first to be entered first, ahead of the jobs queued before.
void TReadAhead::queueJobs(const std::shared_ptr<const TFolderReader>& parent,
                           const std::vector<const char*>& names, std::size_t count, int depth,
                           std::vector<TTicket>& tickets)
{
    tickets.assign(names.size(), nullptr);
    count = std::min(count, MaxPlanned - std::min(MaxPlanned, m_planned));
    if (count == 0)
        return;
    // The names live in buffers that change: the jobs keep a copy of their own.
    QByteArray copied;
    std::vector<qsizetype> starts(count);
    for (std::size_t i = 0; i < count; ++i) {
        starts[i] = copied.size();
        copied.append(names[i], qsizetype(std::strlen(names[i])) + 1);
    }
    auto sharedNames = std::make_shared<const QByteArray>(std::move(copied));
    // Jobs the walk took or dropped before a thread began them wait in the queue until a
    // thread passes them: now and then they are cleared out at once.
    if (m_queue.size() > 2 * m_planned + 1024)
        std::erase_if(m_queue, [](const std::shared_ptr<TTask>& task) {
            return !task->IsRead || static_cast<const TJob&>(*task).State != TJob::EState::Planned;
        });
    m_planned += count;
    for (std::size_t i = count; i-- > 0;) {
        auto job = std::make_shared<TJob>();
        job->Parent = parent;
        job->Names = sharedNames;
        job->Name = sharedNames->constData() + starts[i];
        job->Depth = depth;
        tickets[i] = job;
        m_queue.push_front(std::move(job));
    }
    wakeReaders(count);
}

// Under the mutex.
bool TReadAhead::windowFull() const
{
    return m_heldEntries >= WindowEntries || m_heldFolders >= m_windowFolders;
}

// Under the mutex: a thread waiting for work is woken for each of count new tasks, and no
// more: a woken thread that finds nothing to do costs two switches of the processor.
void TReadAhead::wakeReaders(std::size_t count)
{
    if (count >= m_idleThreads)
        m_work.notify_all();
    else
        while (count-- > 0)
            m_work.notify_one();
}

std::optional<TFolderContent> TReadAhead::Take(TTicket& ticket,
                                               const std::function<bool()>& keepWaiting)
{
    constexpr auto Patience = std::chrono::milliseconds(50);
    const TTicket job = std::exchange(ticket, nullptr);
    if (!job)
        return std::nullopt;
    std::unique_lock lock(m_mutex);
    if (job->State == TJob::EState::Planned)
        unplan(*job);
    while (job->State == TJob::EState::Reading) {
        // Waiting, the walk takes what there is: look-ups a thread shares and, while one
        // thread keeps up with a warm cache, the next folder too, so both processors work.
        // Once the disk is read, the threads keep the reads and the walk stays free for its
        // folder the moment it is ready.
        if (!m_walkOrder)
            m_walkOrder = std::make_unique<TNameOrder>(false);
        if (runOne(lock, m_maxThreads == 1, *m_walkOrder, true))
            continue;
        m_awaited = job.get();
        const std::cv_status waited = m_done.wait_for(lock, Patience);
        m_awaited = nullptr;
        if (waited == std::cv_status::no_timeout)
            continue;
        lock.unlock();
        const bool wait = keepWaiting();
        lock.lock();
        if (!wait && job->State == TJob::EState::Reading) {
            job->State = TJob::EState::Dropped; // its thread lets go of it when done
            return std::nullopt;
        }
    }
    std::optional<TFolderContent> content;
    if (job->State == TJob::EState::Ready) {
        const bool wasFull = windowFull();
        m_heldEntries -= job->Entries;
        --m_heldFolders;
        content = std::move(job->Content);
        if (wasFull)
            m_work.notify_one();
    }
    job->State = TJob::EState::Taken;
    return content;
}

bool TReadAhead::Begun(const TTicket& ticket)
{
    const std::lock_guard lock(m_mutex);
    return ticket && ticket->State != TJob::EState::Planned;
}

void TReadAhead::Drop(TTicket& ticket)
{
    const TTicket job = std::exchange(ticket, nullptr);
    if (!job)
        return;
    const std::lock_guard lock(m_mutex);
    dropLocked(*job);
}

// Under the mutex: what was read for job is let go of, and so is what its thread planned
// below it.
void TReadAhead::dropLocked(TJob& job)
{
    if (job.State == TJob::EState::Planned)
        unplan(job);
    if (job.State == TJob::EState::Ready) {
        const bool wasFull = windowFull();
        m_heldEntries -= job.Entries;
        --m_heldFolders;
        if (job.Content)
            dropSubfoldersLocked(*job.Content);
        job.Content.reset();
        if (wasFull)
            m_work.notify_one();
    }
    if (job.State != TJob::EState::Taken)
        job.State = TJob::EState::Dropped;
}

void TReadAhead::dropSubfoldersLocked(TFolderContent& content)
{
    for (auto& [index, ticket] : content.Subfolders) {
        if (ticket)
            dropLocked(*std::exchange(ticket, nullptr));
    }
    content.Subfolders.clear();
}

// Under the mutex: a planned job the walk takes or drops before a thread began it gives its
// descriptor back at once; the queue lets go of it later.
void TReadAhead::unplan(TJob& job)
{
    --m_planned;
    job.Parent.reset();
    job.Names.reset();
    job.State = TJob::EState::Dropped;
}

void TReadAhead::Examine(const TFolderReader& folder, const std::vector<TRawEntry>& entries,
                         std::size_t from, std::size_t to, std::vector<TEntryFacts>& facts)
{
    facts.resize(to - from);
    const auto describe = [&](TLookUps& lookUps) {
        lookUps.Folder = &folder;
        lookUps.Entries = entries.data() + from;
        lookUps.Count = to - from;
        lookUps.Facts = facts.data();
    };
    // A few are looked up here at once: handing them over would cost about what it saves.
    if (to - from <= 2 * LookUpPiece) {
        TLookUps lookUps;
        describe(lookUps);
        lookUpPieces(lookUps);
        return;
    }
    auto lookUps = std::make_shared<TLookUps>();
    describe(*lookUps);
    std::unique_lock lock(m_mutex);
    if (m_threads.empty())
        startThread();
    m_queue.push_front(lookUps);
    wakeReaders(lookUps->Count / LookUpPiece);
    lookUpShared(*lookUps, lock);
}

// Looks up the pieces of lookUps that no thread has claimed yet; answers how many entries.
std::size_t TReadAhead::lookUpPieces(TLookUps& lookUps)
{
    std::size_t done = 0;
    for (;;) {
        const std::size_t from = lookUps.Next.fetch_add(LookUpPiece, std::memory_order_relaxed);
        if (from >= lookUps.Count)
            return done;
        const std::size_t to = std::min(lookUps.Count, from + LookUpPiece);
        for (std::size_t i = from; i < to; ++i) {
            const TRawEntry& entry = lookUps.Entries[i];
            lookUps.Facts[lookUps.ByIndex ? entry.Index : i] = lookUps.Folder->Examine(entry, true);
        }
        done += to - from;
    }
}

// Takes part in lookUps (lock held on entry and on return) and waits until the pieces that
// other threads claimed are done too.
void TReadAhead::lookUpShared(TLookUps& lookUps, std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    const std::size_t done = lookUpPieces(lookUps);
    lock.lock();
    lookUps.Done += done;
    if (lookUps.Done == lookUps.Count)
        m_done.notify_all();
    m_done.wait(lock, [&lookUps] { return lookUps.Done == lookUps.Count; });
}

void TReadAhead::work()
{
    const TNameOrder order(false);
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (runOne(lock, true, order, false))
            continue;
        ++m_idleThreads;
        m_work.wait(lock);
        --m_idleThreads;
    }
}

// Runs the first task there is (held: the mutex, on entry and on return): a share of look-ups
// first, then, when the window has room and readsToo, the next folder. False when there was
// none to run.
bool TReadAhead::runOne(std::unique_lock<std::mutex>& lock, bool readsToo, const TNameOrder& order,
                        bool onWalk)
{
    while (!m_queue.empty() && !m_quit) {
        const std::shared_ptr<TTask> task = m_queue.front();
        if (!task->IsRead) {
            auto lookUps = std::static_pointer_cast<TLookUps>(task);
            if (!lookUps->Claimable()) {
                m_queue.pop_front();
                continue;
            }
            // The owner waits for every piece: it is there until this thread reports.
            lock.unlock();
            const std::size_t done = lookUpPieces(*lookUps);
            lock.lock();
            lookUps->Done += done;
            if (lookUps->Done == lookUps->Count)
                m_done.notify_all();
            return true;
        }
        auto job = std::static_pointer_cast<TJob>(task);
        if (job->State != TJob::EState::Planned) {
            m_queue.pop_front();
            continue;
        }
        if (!readsToo || windowFull())
            return false;
        m_queue.pop_front();
        --m_planned;
        job->State = TJob::EState::Reading;
        ++m_heldFolders;
        lock.unlock();
        // Once every thread there may be is there, whether a read waited no longer matters.
        const bool mayAddThread = m_maxThreads < MaxThreads;
        const std::uint64_t blockReads = mayAddThread ? blockReadsOfThisThread() : 0;
        read(*job, order, onWalk);
        const std::uint64_t readFromDisk = mayAddThread ? blockReadsOfThisThread() - blockReads : 0;
        lock.lock();
        if (job->State == TJob::EState::Dropped) {
            --m_heldFolders;
            if (job->Content)
                dropSubfoldersLocked(*job->Content);
            job->Content.reset();
        } else {
            job->State = TJob::EState::Ready;
            m_heldEntries += job->Entries;
        }
        if (m_awaited == job.get())
            m_done.notify_all();
        // A read that had to wait for the disk is better served by more reads under way at once.
        if (readFromDisk > 0 && m_maxThreads < MaxThreads) {
            ++m_maxThreads;
            startThread();
        }
        return true;
    }
    return false;
}

// Plans the subfolders a thread found in content (names in its buffer, which the jobs copy).
void TReadAhead::planSubfoldersOf(TFolderContent& content, const std::vector<const char*>& names,
                                  const std::vector<std::uint32_t>& indexes, int depth)
{
    if (names.empty())
        return;
    auto shared = std::make_shared<const TFolderReader>(TFolderReader::Duplicate(content.Folder));
    if (!shared->IsOpen())
        return;
    std::vector<TTicket> tickets;
    {
        const std::lock_guard lock(m_mutex);
        queueJobs(shared, names, names.size(), depth, tickets);
    }
    for (std::size_t i = 0; i < tickets.size(); ++i) {
        if (tickets[i])
            content.Subfolders.emplace_back(indexes[i], std::move(tickets[i]));
    }
    // The walk matches them to its entries in the entries' order.
    std::sort(content.Subfolders.begin(), content.Subfolders.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
}

// Opens and reads the folder of job and looks up what the walk will ask of its entries. Not
// under the mutex; job is this thread's until it is marked read.
void TReadAhead::read(TJob& job, const TNameOrder& order, bool onWalk)
{
    TFolderContent content;
    content.Folder = TFolderReader::OpenChild(*job.Parent, job.Name);
    if (!content.Folder.IsOpen()) {
        job.Parent.reset();
        job.Names.reset();
        return; // the walk opens it again and tells why it cannot
    }
    content.Folder.ReadAll();
    // Its subfolders are planned in turn when the walk will enter them, unless reached through
    // a link (the walk decides on those) or on a pseudo file system reached from another one.
    const bool planSubfolders =
        job.Depth > 1 && (content.Folder.Identity().Device == job.Parent->Identity().Device ||
                          !IsPseudoFileSystem(content.Folder.FileSystemType()));
    job.Parent.reset();
    job.Names.reset();
    std::vector<TRawEntry> toLookUp;
    std::vector<const char*> subfolders;
    std::vector<std::uint32_t> subfolderLengths;
    std::vector<std::uint32_t> subfolderIndexes;
    std::vector<char16_t> decoded;
    TRawEntry entry;
    while (content.Folder.Next(entry)) {
        content.Facts.emplace_back();
        if (IsDotOrDotDot(entry) || m_filter.SkipsHidden(entry))
            continue;
        const bool looked = entry.Type == DT_LNK || entry.Type == DT_UNKNOWN;
        TEntryFacts facts = content.Folder.Examine(entry, false);
        content.Facts.back() = facts;
        if (facts.Kind == TEntryKind::Folder && !facts.IsLink && planSubfolders) {
            subfolders.push_back(entry.Name);
            subfolderLengths.push_back(std::uint32_t(entry.NameLength));
            subfolderIndexes.push_back(entry.Index);
        }
        if (!m_wantSizes || looked || facts.Vanished || facts.Kind == TEntryKind::Folder)
            continue;
        if (!m_filter.EveryName) {
            decoded.resize(entry.NameLength + DecodePadding);
            bool ascii = false;
            const qsizetype length =
                DecodePaddedFileNameInto(decoded.data(), entry.Name, entry.NameLength, &ascii);
            if (!m_filter.PassesName(QStringView(decoded.data(), length)))
                continue;
        }
        toLookUp.push_back(entry);
    }
    content.Folder.Rewind();
    // The walk's thread leaves a big folder's look-ups to the walk, which shows progress and
    // sees Stop between them (in the window it keeps the interface alive).
    const bool lookUpHere = !onWalk || toLookUp.size() <= MaxWalkLookUps;
    if (lookUpHere) {
        TLookUps lookUps;
        lookUps.Folder = &content.Folder;
        lookUps.Entries = toLookUp.data();
        lookUps.Count = toLookUp.size();
        lookUps.Facts = content.Facts.data();
        lookUps.ByIndex = true;
        lookUpPieces(lookUps);
    }
    content.SizesKnown = m_wantSizes && lookUpHere;
    orderAsTheWalk(subfolders, subfolderLengths, subfolderIndexes, order);
    planSubfoldersOf(content, subfolders, subfolderIndexes, job.Depth - 1);
    job.Entries = content.Facts.size();
    job.Content = std::move(content);
}

} // namespace dirka
