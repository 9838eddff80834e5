#pragma once

#include "core/listing/catalog.h"
#include "core/listing/folder_walker.h"
#include "core/listing/item_facts.h"
#include "core/listing/stop_token.h"
#include "core/settings/settings_records.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// Comparing two listings of a tree: each side a folder listed now or a saved listing. Both sides
// are walked at once, each on a thread of its own, with the same settings, so the "Search for"
// masks, the hidden and system switches and the depth limit apply to both alike; the walk gives
// each folder's entries together and the folders in one order, so the two streams are merged a
// folder at a time and neither side is ever held whole. Items are matched by their path below
// the location: a renamed or moved item is one removed and one added.
namespace dirka {

enum class TChange : std::uint8_t { Added, Removed, Changed };

/// What changed of an item found on both sides.
enum TChangedFacts : unsigned { TypeChanged = 1, SizeChanged = 2, TimeChanged = 4 };

struct TDifference {
    TChange Change = TChange::Added;
    unsigned What = 0; // TChangedFacts, for Changed
    QString Path;      // on the side that has it, the new side's when both do; a folder's ends
                       // in the delimiter
    TItemFacts Old;    // for Removed and Changed
    TItemFacts New;    // for Added and Changed
};

/// What a result line of a comparison shows beyond its item's record: the change, and for a
/// changed item what changed and the old side's facts. The line's record holds the facts of the
/// side that has the item (the new side's when both do).
struct TLineChange {
    qsizetype Line = 0;
    TChange Change = TChange::Added;
    unsigned What = 0;
    TItemFacts Old;
};

/// The changes of a result's lines, kept beside the result so that its records can be written
/// with them; lines rising.
class TLineChanges {
public:
    void Add(const TLineChange& change) { m_changes.push_back(change); }
    void Clear() { m_changes.clear(); }
    qsizetype Count() const { return qsizetype(m_changes.size()); }
    /// The change of line; nullptr for a line that shows none.
    const TLineChange* At(qsizetype line) const;

private:
    std::vector<TLineChange> m_changes;
};

/// The summary: counts, and bytes of files added and removed (growth and shrinking of files
/// that changed count as added and removed bytes).
struct TCompareTotals {
    std::int64_t Added = 0;
    std::int64_t Removed = 0;
    std::int64_t Changed = 0;
    std::int64_t BytesAdded = 0;
    std::int64_t BytesRemoved = 0;
    bool operator==(const TCompareTotals&) const = default;
    TCompareTotals& operator+=(const TCompareTotals& other)
    {
        Added += other.Added;
        Removed += other.Removed;
        Changed += other.Changed;
        BytesAdded += other.BytesAdded;
        BytesRemoved += other.BytesRemoved;
        return *this;
    }
};

class TDifferenceSink {
public:
    virtual ~TDifferenceSink() = default;
    virtual void Difference(const TDifference& difference) = 0;
};

/// One side: a folder (Catalog nullptr) or a location of a saved listing.
struct TCompareSide {
    QString Location; // ending in the delimiter
    std::shared_ptr<const TCatalog> Catalog;
};

/// The side a location text names: one folder, or a saved listing of one location. Answers why
/// it cannot be one, or empty.
QString ResolveCompareSide(const QString& locationText, TCompareSide& side);

/// Compares oldSide with newSide under settings (its style is not used: the comparison lists
/// in the order of names), giving every difference to sink in the listing's order: each folder's
/// subfolders, then its files, then each subfolder's own. Folders the sides could not read are
/// reported to reporter (from this thread, once the walks are done). Stop() ends both walks.
class TListingCompare {
public:
    TListingCompare(const TSettings& settings, TCompareSide oldSide, TCompareSide newSide);
    TCompareTotals Run(TDifferenceSink& sink, TWalkReporter& reporter);
    TStopToken& StopToken() { return m_stop; }

private:
    TSettings m_settings;
    TCompareSide m_old;
    TCompareSide m_new;
    TStopToken m_stop;
};

} // namespace dirka
