#pragma once

#include "core/listing/item_facts.h"
#include "core/listing/result_text.h"
#include "core/output/line_encoder.h"
#include "core/output/text_file_writer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>

// The records of a listing, one per listed item, for spreadsheets (CSV) and scripts (JSON Lines).
// An item shown on several lines (a folder in its parent's list and atop its own) has its
// record at the first. Every record holds the item's type, path, name, size in bytes,
// modification time, depth below its location and hidden flag, as the walk found them (or, for
// what it did not look at, as the file system tells them when the record is written). Links are
// reported as links, with the size and time of what they lead to (a dangling link: size 0, its
// own time), as the listing counts them.
namespace dirka {

enum class TRecordFormat { Csv, Json };

/// How CSV writes a text cell that a spreadsheet program would take for a formula (one that
/// begins with "=", "+", "-", "@", tab or CR): Guarded puts "'" in front, Raw keeps it exact.
enum class TCsvCells { Guarded, Raw };

/// One record as written.
struct TItemRecord {
    TRecordType Type = TRecordType::File;
    QString Path;                         // as stored: undecodable bytes as U+DC80..U+DCFF
    std::optional<std::int64_t> Size;     // nothing when the item could not be looked at
    std::optional<std::int64_t> Modified; // seconds since 1970 (UTC)
    int UtcOffset = 0;                    // seconds east of UTC of local time at Modified
    int Depth = -1;                       // -1: below none of the listed locations
    bool Hidden = false;
};

/// What a record says of its item besides its path and depth, from the walk's facts and the
/// path (see RecordFieldsOf).
struct TRecordFields {
    TRecordType Type = TRecordType::File;
    std::optional<std::int64_t> Size;
    std::optional<std::int64_t> Modified;
    int UtcOffset = 0;
    qsizetype NameStart = 0;      // where the name begins in the path
    qsizetype NameLength = 0;     // without a folder's final delimiter
    qsizetype NameBytesStart = 0; // the same in the path's bytes
    qsizetype NameBytesLength = 0;
    bool Escaped = false; // the path holds bytes that are not UTF-8
    bool Hidden = false;
};

/// The fields of the record of the item at path, whose bytes are pathBytes, from what the walk
/// knew of it; looked up now when the walk did not look.
TRecordFields RecordFieldsOf(QStringView path, QByteArrayView pathBytes, const TItemFacts& facts);

/// "folder", "file", "link" or "special".
const char* RecordTypeName(TRecordType type);

/// The last component of a path, without a folder's final delimiter:
/// RecordName(u"/a/b/") == "b", RecordName(u"/a/c.txt") == "c.txt", RecordName(u"/") == "/".
QStringView RecordName(QStringView path);

/// How far below the longest of locations (each ending in the delimiter) that holds it path
/// lies: the location itself 0, its files and folders 1 ...; -1 when none holds it.
/// RecordDepth(u"/m/a/b.txt", {"/m/"}) == 2.
int RecordDepth(QStringView path, const QStringList& locations);

/// ISO 8601 local time with its offset: IsoTime(0, 3600) == "1970-01-01T01:00:00+01:00".
QByteArray IsoTime(std::int64_t seconds, int utcOffset);

/// The offset of local time from UTC at a moment, in seconds (+3600 for CET in winter).
int LocalUtcOffset(std::int64_t seconds);

/// The record of the item at path, looked up now.
TItemRecord LookUpRecord(QStringView path, const QStringList& locations);
/// The record of the item at path from what the walk knew of it; looked up now when the walk
/// did not look.
TItemRecord RecordOf(QStringView path, const TItemFacts& facts, const QStringList& locations);

/// CSV (RFC 4180): the UTF-8 mark, then "type,path,name,size,modified,depth,hidden" CR LF.
void AppendCsvHeader(QByteArray& out);
/// One CSV row ending in CR LF: a field holding a comma, a quote, CR or LF is quoted, its
/// quotes doubled; path and name are the raw bytes of the name; an unknown value is empty.
/// Guarded: "=x" gives the name cell "'=x" (a path begins with "/", so it is always exact).
void AppendCsvRecord(QByteArray& out, const TItemRecord& record,
                     TCsvCells cells = TCsvCells::Guarded);

/// One JSON object on one line ending in LF. Strings are standard UTF-8 with controls,
/// U+2028, U+2029 and the bidirectional controls (U+202A..U+202E, U+2066..U+2069) escaped; a path
/// holding bytes that are not UTF-8 has them as U+FFFD in "path" and "name", and the exact bytes,
/// base64-encoded, in "path_bytes" and "name_bytes". An unknown value is null.
void AppendJsonRecord(QByteArray& out, const TItemRecord& record);

/// The records format: the head, then a record for each line that makes one.
class TRecordEncoder : public TLineEncoder {
public:
    TRecordEncoder(TRecordFormat format, QStringList locations,
                   TCsvCells cells = TCsvCells::Guarded)
        : m_format(format), m_cells(cells), m_locations(std::move(locations))
    {
    }
    void AppendHead(QByteArray& out) override;
    void AppendLine(QByteArray& out, const TPassedLine& line) override;
    TLineTextUse LineTextUse() const override { return TLineTextUse::Unused; }
    QString ErrorText(TWriteStage stage, QStringView message) const override;
    qsizetype Records() const { return m_records; }

private:
    TRecordFormat m_format;
    TCsvCells m_cells;
    QStringList m_locations;
    int depthOf(QStringView path, qsizetype nameStart);

    qsizetype m_records = 0;
    QByteArray m_pathBytes; // a line's path's bytes, when the line comes without them
    // The folder of the last record, its depth, and whether a location lies below it (then an
    // item's depth is not its folder's plus one).
    QString m_depthFolder;
    int m_folderDepth = -1;
    bool m_locationBelowFolder = true;
};

/// How an export of records ended: an empty ErrorText means the file was written.
struct TRecordExport : TLinesWritten {
    qsizetype Records = 0;
};

/// Writes the records of lines to fileName in pieces, replacing it only when complete, CSV
/// cells guarded. Calls progress at every 1024th line.
TRecordExport ExportRecords(const QString& fileName, TRecordFormat format, const TResultText& lines,
                            const QStringList& locations, const TExportProgress& progress = {});

/// "Error #4024/10. Problem during CSV export." CR LF message, or #4025 and JSON.
QString RecordExportErrorText(TRecordFormat format, TWriteStage stage, QStringView message);

} // namespace dirka
