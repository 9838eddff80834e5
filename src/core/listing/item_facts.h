#pragma once

#include <cstdint>

// What a listing knows of the item one of its lines shows, for that item's record (the CSV and
// JSON exports). The walk keeps what it looked up as it listed, so a record needs no second
// look, and tells which one line makes the record when an item is shown on several.
namespace dirka {

/// What a record says an item is: a link whatever it leads to, otherwise by its mode.
enum class TRecordType : std::uint8_t { Folder, File, Link, Special };

/// How much the walk knows of an item.
enum class TFactsState : std::uint8_t {
    NotLookedAt, // the walk had no need to look: the record looks the item up when it is made
    Found,       // Type, Size and Modified are what the system said
    Unreadable,  // the system would not say: the record has no size and no time
};

struct TItemFacts {
    std::int64_t Size = 0;     // of what a link leads to; 0 for a dangling link
    std::int64_t Modified = 0; // seconds since 1970 (UTC); a dangling link's own time
    TRecordType Type = TRecordType::File;
    TFactsState State = TFactsState::NotLookedAt;
};

/// Facts for a line whose item the walk did not look at.
inline constexpr TItemFacts NotLookedAtFacts{};

} // namespace dirka
