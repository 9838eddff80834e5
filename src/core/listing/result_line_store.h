#pragma once

#include <QString>
#include <QStringView>

#include <memory>

// The result line store: for every result line that shows an item, the full path of that item,
// indexed by the line's number. Paths are front-coded against earlier entries, and a text of
// characters below U+0100 is kept one byte a character; a 16-slot ring
// cache keeps sequential reads cheap. Each result holds its own store, used from one thread at
// a time: even a lookup moves the cache.
namespace dirka {

/// One entry as stored: Text is the whole path when PrefixLength is 0, otherwise the part after
/// the PrefixLength units taken from the path of entry Link (-1 for whole entries).
struct TTabView {
    QString Text;
    int Link = -1;
    int PrefixLength = 0;
};

/// What the store holds in memory; for tests and benchmarks.
struct TTabMemory {
    qsizetype TextUnits = 0;    // 16-bit units the stored text takes (a text of characters
                                // below U+0100 takes one unit for two)
    qsizetype TextReserved = 0; // units allocated for stored text
    int UsedEntries = 0;        // one past the highest recorded index
    int Capacity = 0;           // TabCapacity()
    int AllocatedEntries = 0;   // entries with memory behind them (allocated in pages)
    int EntryBytes = 0;         // bytes of one entry
};

namespace detail {
struct TLineStoreData;
}

class TResultLineStore {
public:
    TResultLineStore();
    ~TResultLineStore();
    TResultLineStore(TResultLineStore&&) noexcept;
    TResultLineStore& operator=(TResultLineStore&&) noexcept;
    TResultLineStore(const TResultLineStore&) = delete;
    TResultLineStore& operator=(const TResultLineStore&) = delete;

    /// Records that result line index shows the item folderPath + name (name may be empty).
    /// Indexes are added in increasing order; a negative index throws EAssertionFailed.
    /// Adding at or below an index already recorded first forgets that line and all after it.
    void TabAdd(int index, QStringView name, QStringView folderPath);

    /// The path recorded for line index; empty for lines that show no item and indexes out of
    /// range.
    QString TabGet(int index) const;

    /// Forgets every entry from fromIndex on; alsoCache also drops their cached paths.
    void TabClear(int fromIndex, bool alsoCache);

    /// Empties the 16 cache slots.
    void TabResetCache() const;

    /// Back to the first state (capacity 256, nothing recorded).
    void TabReset();

    /// The current capacity (256, then doubled as needed).
    int TabCapacity() const;

    /// The stored form of entry index (an empty view outside the capacity); for tests.
    TTabView TabEntry(int index) const;

    TTabMemory TabMemory() const;

private:
    std::unique_ptr<detail::TLineStoreData> m_data;
};

} // namespace dirka
