#pragma once

#include "core/listing/file_system.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

namespace dirka {

/// Looks at entries of one open folder with their sizes, sharing the work with a second thread
/// when the folder has enough of them and the process may run on more than one processor. A
/// look is one system call that spends nearly all its time in the kernel's name lookup, which
/// runs on two processors at once, so a sized listing takes little more than half as long.
/// The second thread waits a moment for the next folder before it sleeps: folders follow one
/// another every few microseconds, sooner than a sleeping thread wakes.
class TSizeLookup {
public:
    TSizeLookup() = default;
    ~TSizeLookup();
    TSizeLookup(const TSizeLookup&) = delete;
    TSizeLookup& operator=(const TSizeLookup&) = delete;

    /// facts[i] becomes folder.Examine(entries[from + i], true) for every entry from `from` to
    /// `to`; the entries' names stay valid meanwhile.
    void Examine(const TFolderReader& folder, const std::vector<TRawEntry>& entries,
                 std::size_t from, std::size_t to, std::vector<TEntryFacts>& facts);

private:
    bool hasHelper();
    void help();
    void examineShare();

    std::optional<std::thread> m_helper;
    bool m_alone = false; // no second thread: one processor, or none to be had
    // The share handed to the helper: written before m_posted moves on, read after.
    const TFolderReader* m_folder = nullptr;
    const TRawEntry* m_entries = nullptr;
    TEntryFacts* m_facts = nullptr;
    std::size_t m_count = 0;
    std::atomic<std::uint32_t> m_posted{0}; // shares handed over
    std::atomic<std::uint32_t> m_done{0};   // shares done
    std::atomic<bool> m_quit{false};
};

} // namespace dirka
