#pragma once

#include "core/text/byte_buffer.h"

#include <QStringView>

#include <cstdint>
#include <string_view>
#include <vector>

struct UCollator; // ICU's

namespace dirka {

class TNameKeys;

/// The user's locale collation of names, with or without regard to letter case.
class TNameOrder {
public:
    explicit TNameOrder(bool caseSensitive);
    ~TNameOrder();
    TNameOrder(const TNameOrder&) = delete;
    TNameOrder& operator=(const TNameOrder&) = delete;

    /// Fills keys for names (which must outlive them), reusing the keys' memory.
    void MakeKeys(const std::vector<QStringView>& names, TNameKeys& keys) const;

private:
    void makeCollatedKeys(const std::vector<QStringView>& names, TNameKeys& keys) const;

    UCollator* m_collator = nullptr; // as QCollator's for the locale; none in the C locale
    bool m_caseSensitive;
    bool m_plain; // the C locale: code units, folded when case does not matter
};

/// One set of names ready to be ordered: in a locale other than C, ICU's sort key of each name,
/// made once so a sort compares keys instead of collating the same pair again and again; in the
/// C locale, SortByName makes its own keys from the names' first units. The keys lie end to end
/// in one buffer: a folder of a million names costs two allocations, not two million.
class TNameKeys {
public:
    /// Negative, 0 or positive as name x orders before, like or after name y: by the collation,
    /// then by UTF-16 code units, so only equal names compare equal and every run gives the same
    /// order whatever the collation calls equal.
    int Compare(int x, int y) const { return compareRest(x, y, true); }
    /// The collation's answer alone: 0 for different names the collation calls equal.
    int CompareCollation(int x, int y) const { return compareRest(x, y, false); }
    bool Less(int x, int y) const { return Compare(x, y) < 0; }
    std::size_t Size() const { return m_names != nullptr ? m_names->size() : 0; }

    /// A name's first eight units (folded when case does not matter), four to a number, the
    /// first unit highest.
    struct TPrefix {
        std::uint64_t High = 0;
        std::uint64_t Low = 0;
        bool operator==(const TPrefix&) const = default;
        bool operator<(const TPrefix& other) const
        {
            return High != other.High ? High < other.High : Low < other.Low;
        }
    };

private:
    friend class TNameOrder;
    friend void SortByName(std::vector<int>& order, const TNameKeys& keys);
    enum class TKind { Units, Folded, Collated };

    int compareRest(int x, int y, bool unitsBreakTies) const;
    std::string_view key(int i) const
    {
        const std::uint32_t start = m_keyStarts[std::size_t(i)];
        return {m_keyBytes.Data() + start, m_keyStarts[std::size_t(i) + 1] - start};
    }

    TKind m_kind = TKind::Units;
    const std::vector<QStringView>* m_names = nullptr;
    mutable std::vector<std::pair<TPrefix, int>> m_sorted; // SortByName's work space
    mutable std::vector<std::pair<TPrefix, int>> m_dealt;
    // For a locale other than C: key i is m_keyBytes from m_keyStarts[i] to m_keyStarts[i + 1].
    TByteBuffer m_keyBytes;
    std::vector<std::uint32_t> m_keyStarts;
};

/// Sorts order (indexes into the keys' names) by the keys.
void SortByName(std::vector<int>& order, const TNameKeys& keys);

} // namespace dirka
