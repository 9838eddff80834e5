#pragma once

#include <QStringList>
#include <QStringView>

#include <optional>

// File-name masks of the "Search for" entries: "*.txt|*.log|" and their matching rules.
namespace dirka {

/// A mask text cut at every "|"; nothing trimmed, an empty last piece dropped:
/// SplitMasks(u"*.txt|") == {"*.txt"}, SplitMasks(u"|") == {""}, SplitMasks(u"") == {}
QStringList SplitMasks(QStringView maskText);

/// MatchMask(u"A.JPG", u"*.jpg") is true; at most two stars count, the middle between them is
/// matched case-sensitively: MatchMask(u"axby", u"a*B*") is false.
bool MatchMask(QStringView name, QStringView mask);

/// Whether a file is listed: a skip list lists the names no mask matches, a list-only list
/// the names one mask matches. PassesFilter(u"a.TXT", false, {"*.txt"}) is true.
bool PassesFilter(QStringView name, bool isSkipList, const QStringList& masks);

/// PassesFilter's answer for every name when the masks give it without looking at one (no masks,
/// or the mask "*"), else nothing: FilterAnswerForEveryName(true, {}) == true.
std::optional<bool> FilterAnswerForEveryName(bool isSkipList, const QStringList& masks);

} // namespace dirka
