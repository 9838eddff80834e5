// A record of a saved listing, as a JSON line or a CSV row: whatever the bytes, reading one
// never fails but by a message; a record read is sound (a full path without NUL, a folder's
// ending in the delimiter); and written again in its format it reads back the same, so a
// catalogue saved from a catalogue keeps every path's bytes, size, time and depth. Where a CSV
// row ends in a stream of bytes is a line break outside quotes, with the breaks inside counted.

#include "core/listing/catalog_records.h"
#include "core/output/record_export.h"
#include "core/text/file_names.h"

#include "fuzz_support.h"

#include <QByteArray>

using namespace dirka;

namespace {

void checkSound(const TCatalogRecord& record)
{
    FUZZ_CHECK(!record.Path.empty() && record.Path.front() == '/');
    FUZZ_CHECK(record.Path.find('\0') == std::string::npos);
    FUZZ_CHECK(record.IsFolder == (record.Path.back() == '/'));
    FUZZ_CHECK(record.Depth >= 0);
}

// The record written as the exports write it, then read back.
void checkRoundTrip(const TCatalogRecord& record, bool csv)
{
    TItemRecord item;
    item.Type = record.Type;
    item.Path = DecodeFileName(record.Path.data(), qsizetype(record.Path.size()));
    if (record.HasFacts) {
        item.Size = record.Size;
        item.Modified = record.Modified;
    }
    item.Depth = record.Depth;
    QByteArray written;
    if (csv)
        AppendCsvRecord(written, item);
    else
        AppendJsonRecord(written, item);
    FUZZ_CHECK(written.endsWith('\n'));
    written.chop(1);
    TCatalogRecord again;
    const QString why =
        csv ? ParseCatalogCsvRow(written, again) : ParseCatalogRecord(written, again);
    FUZZ_CHECK(why.isEmpty());
    FUZZ_CHECK(again.Path == record.Path);
    FUZZ_CHECK(again.Type == record.Type);
    FUZZ_CHECK(again.HasFacts == record.HasFacts);
    FUZZ_CHECK(!record.HasFacts ||
               (again.Size == record.Size && again.Modified == record.Modified));
    FUZZ_CHECK(again.Depth == record.Depth);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    qsizetype lineBreaks = -1;
    const qsizetype end = CsvRowEnd(bytes, 0, lineBreaks);
    FUZZ_CHECK(end < 0 || bytes[end] == '\n');
    FUZZ_CHECK(lineBreaks == bytes.first(end < 0 ? bytes.size() : end).count('\n'));
    for (const bool csv : {false, true}) {
        TCatalogRecord record;
        const QString why =
            csv ? ParseCatalogCsvRow(bytes, record) : ParseCatalogRecord(bytes, record);
        if (!why.isEmpty())
            continue;
        checkSound(record);
        checkRoundTrip(record, csv);
    }
    return 0;
}
