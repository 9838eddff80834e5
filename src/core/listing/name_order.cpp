#include "core/listing/name_order.h"

#include "core/text/text_utils.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>

namespace dirka {

namespace {

constexpr qsizetype PrefixUnits = 8;

// Four units in memory order as one number, the first unit highest.
std::uint64_t highFirst(const char16_t* units)
{
    std::uint64_t v = 0;
    std::memcpy(&v, units, sizeof v);
    if constexpr (std::endian::native == std::endian::little) {
        v = ((v & 0xFFFF0000FFFF0000u) >> 16) | ((v & 0x0000FFFF0000FFFFu) << 16);
        v = (v >> 32) | (v << 32);
    }
    return v;
}

// The first eight units, padded with 0, in two numbers. Prefixes made so order as the names do
// where they differ: a shorter name's padding sorts before any unit the other has there, and a
// unit 0 that would tie with the padding leaves the prefixes equal, which sends the pair to the
// full compare.
template <bool Folded> TNameKeys::TPrefix prefixOf(QStringView name)
{
    const char16_t* units = Units(name);
    const qsizetype n = name.size();
    if (!Folded && n >= PrefixUnits)
        return {highFirst(units), highFirst(units + 4)};
    std::uint64_t parts[2] = {0, 0};
    for (qsizetype i = 0; i < PrefixUnits; ++i) {
        char16_t c = i < n ? units[i] : 0;
        if constexpr (Folded)
            c = FoldChar(c);
        parts[i / 4] = (parts[i / 4] << 16) | c;
    }
    return {parts[0], parts[1]};
}

// Qt compares the units many at a time (names the sort sends here share their first eight).
int compareUnits(QStringView a, QStringView b)
{
    const int c = a.compare(b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareFolded(QStringView a, QStringView b)
{
    const char16_t* x = Units(a);
    const char16_t* y = Units(b);
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t fx = FoldChar(x[i]);
        const char16_t fy = FoldChar(y[i]);
        if (fx != fy)
            return fx < fy ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

TNameOrder::TNameOrder(bool caseSensitive)
    : m_collator(QLocale()), m_caseSensitive(caseSensitive),
      m_plain(QLocale().language() == QLocale::C)
{
    m_collator.setCaseSensitivity(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
}

void TNameOrder::MakeKeys(const std::vector<QStringView>& names, TNameKeys& keys) const
{
    keys.m_names = &names;
    keys.m_collated.clear();
    if (m_plain) {
        keys.m_kind = m_caseSensitive ? TNameKeys::TKind::Units : TNameKeys::TKind::Folded;
        return;
    }
    // ICU's sort keys order as its comparison does; their bytes stay inside QCollatorSortKey, so
    // every pair compares whole keys.
    keys.m_kind = TNameKeys::TKind::Collated;
    keys.m_collated.reserve(names.size());
    for (QStringView name : names)
        keys.m_collated.push_back(m_collator.sortKey(name.toString()));
}

int TNameKeys::compareRest(int x, int y, bool unitsBreakTies) const
{
    const QStringView a = (*m_names)[std::size_t(x)];
    const QStringView b = (*m_names)[std::size_t(y)];
    int c = 0;
    if (m_kind == TKind::Folded)
        c = compareFolded(a, b);
    else if (m_kind == TKind::Collated)
        c = m_collated[std::size_t(x)].compare(m_collated[std::size_t(y)]);
    if (c != 0)
        return c < 0 ? -1 : 1;
    // Case-sensitive C order is the units' order already.
    return unitsBreakTies || m_kind == TKind::Units ? compareUnits(a, b) : 0;
}

// In the C locale each name's first units travel with its index, so most comparisons read
// neither the names nor another array. A large set is first dealt into buckets by the first unit,
// counted in one pass, which leaves the comparison sort a few names a bucket: its mispredicted
// branches are what sorting names costs most.
void SortByName(std::vector<int>& order, const TNameKeys& keys)
{
    if (keys.m_kind == TNameKeys::TKind::Collated) {
        std::sort(order.begin(), order.end(), [&keys](int x, int y) { return keys.Less(x, y); });
        return;
    }
    auto& sorted = keys.m_sorted;
    sorted.clear();
    const auto& names = *keys.m_names;
    if (keys.m_kind == TNameKeys::TKind::Folded) {
        for (int i : order)
            sorted.emplace_back(prefixOf<true>(names[std::size_t(i)]), i);
    } else {
        for (int i : order)
            sorted.emplace_back(prefixOf<false>(names[std::size_t(i)]), i);
    }
    const auto less = [&keys](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return keys.compareRest(a.second, b.second, true) < 0;
    };
    constexpr std::size_t BucketedFrom = 32;
    if (sorted.size() < BucketedFrom) {
        std::sort(sorted.begin(), sorted.end(), less);
    } else {
        // Units from 0xFF on share the last bucket, which keeps the buckets in the units' order.
        const auto bucketOf = [](const auto& item) {
            return std::size_t(std::min<std::uint64_t>(item.first.High >> 48, 0xFF));
        };
        std::array<std::uint32_t, 257> ends{};
        for (const auto& item : sorted)
            ++ends[bucketOf(item) + 1];
        std::partial_sum(ends.begin(), ends.end(), ends.begin());
        std::array<std::uint32_t, 256> next;
        std::copy_n(ends.begin(), next.size(), next.begin());
        auto& dealt = keys.m_dealt;
        dealt.resize(sorted.size());
        for (const auto& item : sorted)
            dealt[next[bucketOf(item)]++] = item;
        for (std::size_t b = 0; b < 256; ++b) {
            if (ends[b + 1] - ends[b] > 1)
                std::sort(dealt.begin() + ends[b], dealt.begin() + ends[b + 1], less);
        }
        sorted.swap(dealt);
    }
    for (std::size_t k = 0; k < sorted.size(); ++k)
        order[k] = sorted[k].second;
}

} // namespace dirka
