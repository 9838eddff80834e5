#pragma once

#include "core/listing/item_facts.h"

#include <QByteArray>
#include <QStringView>

#include <cstdint>

// What the file system says of one item, for the records of a listing (the CSV and JSON
// exports): named by its full path, or by its name in an open folder (the walk's way).
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

/// The same for the entry name (ending in NUL) of the open folder folderFd.
TItemStatus ItemStatusAt(int folderFd, const char* name);

/// The facts a record takes from a status; an item not found is a folder when folderPath.
TItemFacts FactsOfStatus(const TItemStatus& status, bool folderPath);

/// The facts of the item at a listed path (a folder's ends in the delimiter), looked up now; a
/// link to a folder is looked at as the link it is.
TItemFacts FactsOfPath(QStringView path);

} // namespace dirka
