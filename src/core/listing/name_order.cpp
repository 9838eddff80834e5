#include "core/listing/name_order.h"

#include "core/text/text_utils.h"

#include <QLocale>

#include <unicode/ucol.h>

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

// The collator QCollator makes for the default locale, with the same settings, so the keys are
// byte for byte those of QCollator::sortKey (less the closing NUL); nullptr where ICU has none
// (then, as with QCollator, every key is empty and the names' units alone decide).
UCollator* openCollator(bool caseSensitive)
{
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray locale = QLocale().bcp47Name().replace(u'-', u'_').toLatin1();
    UCollator* collator = ucol_open(locale.constData(), &status);
    if (U_FAILURE(status))
        return nullptr;
    const std::pair<UColAttribute, UColAttributeValue> settings[] = {
        {UCOL_NORMALIZATION_MODE, UCOL_ON},
        {UCOL_STRENGTH, caseSensitive ? UCOL_DEFAULT_STRENGTH : UCOL_SECONDARY},
        {UCOL_NUMERIC_COLLATION, UCOL_OFF},
        {UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE}};
    for (const auto& [attribute, value] : settings) {
        status = U_ZERO_ERROR;
        ucol_setAttribute(collator, attribute, value, &status);
    }
    return collator;
}

// QCollator's first guess of a sort key's length.
qsizetype keyRoom(qsizetype units)
{
    return 16 + units + units / 4;
}

// Appends name's sort key, written in room for the guess and again when it needs more. The key's
// closing NUL is left out: a key that is the beginning of another orders first anyway.
void appendSortKey(const UCollator* collator, QStringView name, TByteBuffer& bytes)
{
    const auto* units = reinterpret_cast<const UChar*>(Units(name));
    const auto length = std::int32_t(name.size());
    for (auto room = std::int32_t(keyRoom(length));;) {
        char* to = bytes.Reserve(room);
        const std::int32_t size =
            ucol_getSortKey(collator, units, length, reinterpret_cast<std::uint8_t*>(to), room);
        if (size <= room) {
            bytes.SetEnd(to + std::max(size - 1, 0));
            return;
        }
        room = size;
    }
}

} // namespace

TNameOrder::TNameOrder(bool caseSensitive)
    : m_caseSensitive(caseSensitive), m_plain(QLocale().language() == QLocale::C)
{
    if (!m_plain)
        m_collator = openCollator(caseSensitive);
}

TNameOrder::~TNameOrder()
{
    if (m_collator != nullptr)
        ucol_close(m_collator);
}

void TNameOrder::MakeKeys(const std::vector<QStringView>& names, TNameKeys& keys) const
{
    keys.m_names = &names;
    keys.m_keyBytes.Clear();
    keys.m_keyStarts.clear();
    if (m_plain) {
        keys.m_kind = m_caseSensitive ? TNameKeys::TKind::Units : TNameKeys::TKind::Folded;
        return;
    }
    keys.m_kind = TNameKeys::TKind::Collated;
    makeCollatedKeys(names, keys);
}

// ICU's sort keys order as its comparison does.
void TNameOrder::makeCollatedKeys(const std::vector<QStringView>& names, TNameKeys& keys) const
{
    if (m_collator == nullptr) {
        keys.m_keyStarts.assign(names.size() + 1, 0);
        return;
    }
    qsizetype room = 0;
    for (QStringView name : names)
        room += keyRoom(name.size());
    // Room for every key at once: the buffer never grows in steps that each leave the last one
    // behind, and room no key reaches is never touched, so it costs no memory.
    keys.m_keyBytes.Reserve(room);
    keys.m_keyStarts.reserve(names.size() + 1);
    keys.m_keyStarts.push_back(0);
    for (QStringView name : names) {
        appendSortKey(m_collator, name, keys.m_keyBytes);
        keys.m_keyStarts.push_back(std::uint32_t(keys.m_keyBytes.Size()));
    }
}

int TNameKeys::compareRest(int x, int y, bool unitsBreakTies) const
{
    const QStringView a = (*m_names)[std::size_t(x)];
    const QStringView b = (*m_names)[std::size_t(y)];
    int c = 0;
    if (m_kind == TKind::Folded)
        c = compareFolded(a, b);
    else if (m_kind == TKind::Collated)
        c = key(x).compare(key(y));
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
    sorted.reserve(order.size());
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
