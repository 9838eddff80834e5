#pragma once

#include "core/listing/item_facts.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <string>

// Reading back one record of a saved listing: a line of the JSON Lines file that `--json`
// writes, or a row of the CSV file `--csv` writes
// ({"type":"file","path":"/m/a.txt","size":3,"modified":"...","depth":1,...}). Keys may come in any
// order and keys the catalogue does not use are passed over, so records written by a later version,
// or edited by hand, still read.
namespace dirka {

struct TCatalogRecord {
    std::string Path; // the exact bytes of the path: "path_bytes" when given, else "path"
    TRecordType Type = TRecordType::File;
    bool IsFolder = false; // a folder, or a link to one (its path ends in the delimiter)
    bool HasFacts = false; // size and time were known when the listing was made
    std::int64_t Size = 0;
    std::int64_t Modified = 0; // seconds since 1970 (UTC)
    int Depth = 0;             // below the listed location
};

/// Reads one record into record; answers why the line is not one ("no \"path\""), or empty.
QString ParseCatalogRecord(QByteArrayView line, TCatalogRecord& record);

/// The head of the records file `--csv` writes, after the UTF-8 mark, before CR LF; what reads
/// such a file back knows it by these cells.
inline constexpr char CatalogCsvHead[] = "type,path,name,size,modified,depth,hidden";

/// Whether line is CatalogCsvHead (after the UTF-8 mark or not, cells after these allowed): its
/// rows are read with ParseCatalogCsvRow.
bool IsCatalogCsvHead(QByteArrayView line);
/// Where the CSV row that begins at from ends: the LF that ends it outside quotes (a name may
/// hold line breaks), or -1 when text holds no end of it yet. lineBreaks counts the LFs inside.
qsizetype CsvRowEnd(QByteArrayView text, qsizetype from, qsizetype& lineBreaks);
/// Reads one CSV row (without its LF) into record, as ParseCatalogRecord reads a JSON line. A
/// "'" a guarded cell was given is taken off the time; the path's cell, which always begins with
/// the delimiter, is never guarded.
QString ParseCatalogCsvRow(QByteArrayView row, TCatalogRecord& record);

/// Seconds since 1970 of an ISO 8601 time with its offset, as the records write it:
/// ParseIsoTime("1970-01-01T01:00:00+01:00", s) sets s = 0. False when it is not such a time.
bool ParseIsoTime(QByteArrayView text, std::int64_t& seconds);

} // namespace dirka
