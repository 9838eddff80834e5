#include "core/listing/size_lookup.h"

#include "core/system/quiet_thread.h"

#include <QThread>

#include <chrono>

#ifdef __SSE2__
#include <immintrin.h>
#endif

namespace dirka {

namespace {

// Fewer entries than this are looked at by the walk's thread alone: handing them over would
// cost about what it saves.
constexpr std::size_t MinShared = 4;
// How long the helper waits for the next share before it sleeps.
constexpr auto HelperPatience = std::chrono::microseconds(300);

void pause()
{
#ifdef __SSE2__
    _mm_pause();
#endif
}

// Waits until value differs from old: a short busy wait, then the system's wait.
void waitForChange(const std::atomic<std::uint32_t>& value, std::uint32_t old,
                   std::chrono::microseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    for (unsigned spins = 1; value.load(std::memory_order_acquire) == old; ++spins) {
        pause();
        if (spins % 64 == 0 && std::chrono::steady_clock::now() > until) {
            value.wait(old, std::memory_order_acquire);
            return;
        }
    }
}

} // namespace

TSizeLookup::~TSizeLookup()
{
    if (!m_helper)
        return;
    m_quit.store(true, std::memory_order_release);
    m_posted.fetch_add(1, std::memory_order_release);
    m_posted.notify_one();
    m_helper->join();
}

void TSizeLookup::Examine(const TFolderReader& folder, const std::vector<TRawEntry>& entries,
                          std::size_t from, std::size_t to, std::vector<TEntryFacts>& facts)
{
    const std::size_t count = to - from;
    facts.resize(count);
    std::size_t own = count;
    std::uint32_t posted = 0;
    if (count >= MinShared && hasHelper()) {
        // The helper takes the second half.
        own = count / 2;
        m_folder = &folder;
        m_entries = entries.data() + from + own;
        m_facts = facts.data() + own;
        m_count = count - own;
        posted = m_posted.load(std::memory_order_relaxed) + 1;
        m_posted.store(posted, std::memory_order_release);
        m_posted.notify_one();
    }
    for (std::size_t i = 0; i < own; ++i)
        facts[i] = folder.Examine(entries[from + i], true);
    if (own < count) {
        while (m_done.load(std::memory_order_acquire) != posted)
            waitForChange(m_done, posted - 1, std::chrono::microseconds(2000));
    }
}

bool TSizeLookup::hasHelper()
{
    if (m_helper || m_alone)
        return !m_alone;
    // Qt counts the processors this process may run on (its affinity mask).
    if (QThread::idealThreadCount() > 1)
        m_helper = StartQuietThread([this] { help(); });
    m_alone = !m_helper;
    return !m_alone;
}

void TSizeLookup::help()
{
    std::uint32_t seen = 0;
    for (;;) {
        while (m_posted.load(std::memory_order_acquire) == seen)
            waitForChange(m_posted, seen, HelperPatience);
        seen = m_posted.load(std::memory_order_acquire);
        if (m_quit.load(std::memory_order_acquire))
            return;
        examineShare();
        m_done.store(seen, std::memory_order_release);
        m_done.notify_one();
    }
}

void TSizeLookup::examineShare()
{
    for (std::size_t i = 0; i < m_count; ++i)
        m_facts[i] = m_folder->Examine(m_entries[i], true);
}

} // namespace dirka
