#pragma once

#include <QString>
#include <QStringView>

// The result line store: for every result line that shows an item, the full path of that item,
// indexed by the line's number. Paths are front-coded against earlier entries; a 16-slot ring
// cache keeps sequential reads cheap. One process-wide instance, used from one thread.
namespace dirka {

/// Records that result line index shows the item folderPath + name (name may be empty).
/// Indexes are added in increasing order; a negative index throws EAssertionFailed.
void TabAdd(int index, QStringView name, QStringView folderPath);

/// The path recorded for line index; empty for lines that show no item and indexes out of range.
QString TabGet(int index);

/// Forgets every entry from fromIndex on; alsoCache also drops their cached paths.
void TabClear(int fromIndex, bool alsoCache);

/// Empties the 16 cache slots.
void TabResetCache();

/// Back to the start-up state (capacity 256, nothing recorded); for tests and start-up.
void TabReset();

/// The current capacity (256, then doubled as needed).
int TabCapacity();

} // namespace dirka
