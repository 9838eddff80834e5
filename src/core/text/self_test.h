#pragma once

namespace dirka {

/// The start-up self-test of the text utilities and the find operations. Runs every case in a
/// fixed order; the first case that does not hold throws EAssertionFailed naming its line.
void RunSelfTest();

} // namespace dirka
