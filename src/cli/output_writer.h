#pragma once

#include <cstdio>

namespace dirka {

class TLinesTarget;

/// Writes every line in UTF-8, each followed by "\n", through one large buffer.
/// Returns false when the stream reported an error.
bool WriteLines(std::FILE* stream, const TLinesTarget& lines);

} // namespace dirka
