#include "core/listing/name_order.h"

#include "core/text/text_utils.h"

#include <algorithm>
#include <numeric>

namespace dirka {

namespace {

// Few names sort faster by comparing directly than by building keys first.
constexpr std::size_t SortKeyThreshold = 12;

int compareFolded(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = FoldChar(a[i].unicode());
        const char16_t y = FoldChar(b[i].unicode());
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename Less> std::vector<int> ranksFromOrder(std::size_t count, Less less)
{
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), less);
    std::vector<int> ranks(count);
    int rank = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && less(order[i - 1], order[i]))
            ++rank;
        ranks[std::size_t(order[i])] = rank;
    }
    return ranks;
}

} // namespace

TNameOrder::TNameOrder(bool caseSensitive)
    : m_collator(QLocale()), m_caseSensitive(caseSensitive),
      m_plain(QLocale().language() == QLocale::C)
{
    m_collator.setCaseSensitivity(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
}

int TNameOrder::compare(QStringView a, QStringView b) const
{
    if (m_plain)
        return m_caseSensitive ? a.compare(b) : compareFolded(a, b);
    return m_collator.compare(a, b);
}

std::vector<int> TNameOrder::Ranks(const std::vector<QStringView>& names) const
{
    if (m_plain || names.size() < SortKeyThreshold) {
        return ranksFromOrder(names.size(), [&](int x, int y) {
            return compare(names[std::size_t(x)], names[std::size_t(y)]) < 0;
        });
    }
    std::vector<QCollatorSortKey> keys;
    keys.reserve(names.size());
    for (QStringView name : names)
        keys.push_back(m_collator.sortKey(name.toString()));
    return ranksFromOrder(names.size(), [&](int x, int y) {
        return keys[std::size_t(x)].compare(keys[std::size_t(y)]) < 0;
    });
}

void SortByRank(std::vector<int>& order, const std::vector<int>& ranks,
                const std::vector<QStringView>& names)
{
    std::sort(order.begin(), order.end(), [&](int x, int y) {
        const int rx = ranks[std::size_t(x)];
        const int ry = ranks[std::size_t(y)];
        if (rx != ry)
            return rx < ry;
        return names[std::size_t(x)].compare(names[std::size_t(y)]) < 0;
    });
}

} // namespace dirka
