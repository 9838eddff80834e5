#pragma once

#include <QByteArray>

#include <cstdint>

// What the file system says of one item named by its full path, for the records of a listing
// (the CSV and JSON exports). The walk itself never uses this: it looks at entries relative to
// their open folder (file_system.h).
namespace dirka {

/// What an item is on its own (lstat) and, for a link, what it leads to (stat).
struct TItemStatus {
    bool Found = false;        // lstat answered; nothing else is set otherwise
    bool IsLink = false;       // a symbolic link
    unsigned SelfMode = 0;     // st_mode of the item itself
    std::int64_t Size = 0;     // st_size, of the target for a link that leads somewhere
    std::int64_t Modified = 0; // st_mtime in seconds since 1970, of the target likewise
};

/// The status of the item at path (raw bytes, no trailing delimiter needed). A path longer
/// than the system takes in one call is resolved a folder at a time, so any listed item can
/// be looked at.
TItemStatus ItemStatus(const QByteArray& path);

} // namespace dirka
