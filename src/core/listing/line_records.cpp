#include "core/listing/line_records.h"

#include "core/text/assertion.h"

#include <algorithm>
#include <bit>

namespace dirka {

namespace {

constexpr std::uint8_t OutsizedBit = 0x80;

template <std::size_t N> void putValue(std::uint8_t (&bytes)[N], std::int64_t value)
{
    auto bits = static_cast<std::uint64_t>(value);
    for (std::uint8_t& byte : bytes) {
        byte = std::uint8_t(bits);
        bits >>= 8;
    }
}

template <std::size_t N> std::int64_t valueOf(const std::uint8_t (&bytes)[N])
{
    std::uint64_t bits = 0;
    for (std::size_t k = N; k-- > 0;)
        bits = bits << 8 | bytes[k];
    return std::int64_t(bits);
}

// Whether value fits N bytes, unsigned.
template <std::size_t N> bool fits(std::int64_t value)
{
    return value >= 0 && value < (std::int64_t(1) << (8 * N));
}

// The position of the n-th set bit of bits (n from 0).
int nthSetBit(std::uint64_t bits, qsizetype n)
{
    for (; n > 0; --n)
        bits &= bits - 1;
    return std::countr_zero(bits);
}

} // namespace

TLineRecord TLineRecords::At(qsizetype k) const
{
    Assert(k >= 0 && k < m_count);
    // The last word with no more records before it than k holds the k-th.
    const auto after = std::upper_bound(m_words.begin(), m_words.end(), k,
                                        [](qsizetype n, const TWord& w) { return n < w.Before; });
    const qsizetype word = after - m_words.begin() - 1;
    TLineRecord record;
    record.Line =
        std::int32_t(word * 64 + nthSetBit(m_words[word].Lines, k - m_words[word].Before));
    if (k < qsizetype(m_facts.size()))
        putFacts(k, record);
    return record;
}

void TLineRecords::putFacts(qsizetype k, TLineRecord& record) const
{
    const TPackedFacts& packed = m_facts[std::size_t(k)];
    record.Type = TRecordType(packed.Kind & 0x0F);
    record.State = TFactsState(packed.Kind >> 4 & 0x07);
    if ((packed.Kind & OutsizedBit) == 0) {
        record.Size = valueOf(packed.Size);
        record.Modified = valueOf(packed.Modified);
        return;
    }
    const auto outsized =
        std::lower_bound(m_outsized.begin(), m_outsized.end(), k,
                         [](const TOutsized& o, qsizetype record) { return o.Record < record; });
    record.Size = outsized->Size;
    record.Modified = outsized->Modified;
}

TLineRecords::TPackedFacts TLineRecords::pack(const TItemFacts& facts, bool outsized)
{
    TPackedFacts packed;
    packed.Kind = std::uint8_t(std::uint8_t(facts.Type) | std::uint8_t(facts.State) << 4 |
                               (outsized ? OutsizedBit : 0));
    if (!outsized) {
        putValue(packed.Size, facts.Size);
        putValue(packed.Modified, facts.Modified);
    }
    return packed;
}

void TLineRecords::Add(qsizetype line, const TItemFacts& facts)
{
    const qsizetype word = line / 64;
    Assert(word >= m_words.size() - 1);
    while (m_words.size() <= word)
        m_words.append({0, m_count});
    Assert((m_words.back().Lines >> (line % 64)) == 0); // rising
    m_words.back().Lines |= std::uint64_t(1) << (line % 64);
    ++m_count;
    if (m_facts.empty() && facts.State == TFactsState::NotLookedAt)
        return;
    m_facts.resize(std::size_t(m_count - 1));
    const bool outsized = !fits<sizeof(TPackedFacts::Size)>(facts.Size) ||
                          !fits<sizeof(TPackedFacts::Modified)>(facts.Modified);
    if (outsized)
        m_outsized.push_back({m_count - 1, facts.Size, facts.Modified});
    m_facts.push_back(pack(facts, outsized));
}

void TLineRecords::TruncateLines(qsizetype count)
{
    const qsizetype word = count / 64;
    if (word >= m_words.size())
        return;
    m_words.resize(word + 1);
    TWord& last = m_words.back();
    last.Lines &= (std::uint64_t(1) << (count % 64)) - 1;
    m_count = last.Before + std::popcount(last.Lines);
    if (qsizetype(m_facts.size()) > m_count)
        m_facts.resize(std::size_t(m_count));
    while (!m_outsized.empty() && m_outsized.back().Record >= m_count)
        m_outsized.pop_back();
}

void TLineRecords::Clear()
{
    m_words = QList<TWord>();
    m_count = 0;
    m_facts.clear();
    m_outsized.clear();
}

} // namespace dirka
