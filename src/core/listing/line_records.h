#pragma once

#include "core/listing/item_facts.h"

#include <QList>
#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace dirka {

/// A result line that makes a record, with what the walk knew of its item.
struct TLineRecord {
    std::int64_t Size = 0;
    std::int64_t Modified = 0;
    std::int32_t Line = 0;
    TRecordType Type = TRecordType::File;
    TFactsState State = TFactsState::NotLookedAt;

    TItemFacts Facts() const { return {Size, Modified, Type, State}; }
};

/// The lines of a result that make records, rising, and what the walk knew of each item. A
/// million records are common: a line's mark takes a bit, and facts take ten bytes once the
/// walk has known anything (a listing that looks nothing up keeps none).
class TLineRecords {
public:
    qsizetype Count() const { return m_count; }
    /// The k-th record, 0 first.
    TLineRecord At(qsizetype k) const;
    /// Line makes a record; lines come rising.
    void Add(qsizetype line, const TItemFacts& facts);
    /// Forgets the records of lines from count on.
    void TruncateLines(qsizetype count);
    void Clear();

private:
    // Records of 64 lines: a bit for each line that makes one, and the records before them.
    struct TWord {
        std::uint64_t Lines = 0;
        qsizetype Before = 0;
    };
    // Size in five bytes and time in four, little end first, unsigned; values that do not fit
    // (a size of a terabyte or more, a time before 1970 or after 2105) are kept apart, by
    // record.
#pragma pack(push, 1)
    struct TPackedFacts {
        // Type, state, and whether the values are kept apart; as NotLookedAtFacts by default.
        std::uint8_t Kind = std::uint8_t(TRecordType::File);
        std::uint8_t Size[5] = {};
        std::uint8_t Modified[4] = {};
    };
#pragma pack(pop)
    static_assert(sizeof(TPackedFacts) == 10);
    struct TOutsized {
        qsizetype Record = 0;
        std::int64_t Size = 0;
        std::int64_t Modified = 0;
    };

    static TPackedFacts pack(const TItemFacts& facts, bool outsized);
    void putFacts(qsizetype k, TLineRecord& record) const;

    QList<TWord> m_words;
    qsizetype m_count = 0;
    std::deque<TPackedFacts> m_facts; // empty, or one for each record
    std::vector<TOutsized> m_outsized;
};

} // namespace dirka
