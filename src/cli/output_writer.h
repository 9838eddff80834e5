#pragma once

#include <cstdio>

namespace dirka {

class TLinesTarget;

enum class TStreamOutcome {
    Written,
    Closed, // the reader went away (a pipe into "head"): not an error
    Failed, // errno tells why
};

/// Writes every line in UTF-8, each followed by "\n", through one large buffer. Stops at the
/// first failed write.
TStreamOutcome WriteLines(std::FILE* stream, const TLinesTarget& lines);

} // namespace dirka
