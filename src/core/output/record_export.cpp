#include "core/output/record_export.h"

#include "core/listing/catalog_records.h"
#include "core/listing/item_status.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace dirka {

namespace {

bool hasEscapedByte(QStringView text)
{
    // Most paths hold no surrogate at all: one pass the compiler can vectorise tells.
    char16_t surrogates = 0;
    for (const QChar c : text)
        surrogates |= char16_t((c.unicode() & 0xF800) == 0xD800);
    if (surrogates == 0)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (QChar::isSurrogate(text[i].unicode()) && IsEscapedByte(text, i))
            return true;
    }
    return false;
}

// Days since 1970-01-01 to year, month, day (proleptic Gregorian; H. Hinnant's algorithm).
void civilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

char* putTwoDigits(char* p, int value)
{
    *p++ = char('0' + value / 10);
    *p++ = char('0' + value % 10);
    return p;
}

// "1970-01-01T01:00:00+01:00" at p; at most IsoTimeBytes.
constexpr int IsoTimeBytes = 48;
char* putIsoTime(char* p, std::int64_t seconds, int utcOffset)
{
    const std::int64_t local = seconds + utcOffset;
    const std::int64_t days = floorDiv(local, 86400);
    const int inDay = int(local - days * 86400);
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    const int offset = utcOffset < 0 ? -utcOffset : utcOffset;
    if (year < 0 || year > 9999) // rare: the general form
        return p + std::snprintf(p, IsoTimeBytes, "%04lld-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                                 static_cast<long long>(year), month, day, inDay / 3600,
                                 inDay / 60 % 60, inDay % 60, utcOffset < 0 ? '-' : '+',
                                 offset / 3600, offset / 60 % 60);
    p = putTwoDigits(p, int(year / 100));
    p = putTwoDigits(p, int(year % 100));
    *p++ = '-';
    p = putTwoDigits(p, month);
    *p++ = '-';
    p = putTwoDigits(p, day);
    *p++ = 'T';
    p = putTwoDigits(p, inDay / 3600);
    *p++ = ':';
    p = putTwoDigits(p, inDay / 60 % 60);
    *p++ = ':';
    p = putTwoDigits(p, inDay % 60);
    *p++ = utcOffset < 0 ? '-' : '+';
    p = putTwoDigits(p, offset / 3600 % 100);
    *p++ = ':';
    return putTwoDigits(p, offset / 60 % 60);
}

// A record as it is written: views of the caller's text and bytes, nothing copied.
struct TRecordView {
    TRecordType Type = TRecordType::File;
    QStringView Path;
    QStringView Name;
    QByteArrayView PathBytes; // EncodeFileName(Path)
    QByteArrayView NameBytes; // its end: a name's bytes are the path's after the last delimiter
    bool Escaped = false;     // Path holds bytes that are not UTF-8
    std::optional<std::int64_t> Size;
    std::optional<std::int64_t> Modified;
    int UtcOffset = 0;
    int Depth = -1;
    bool Hidden = false;
};

QByteArrayView nameBytesOf(QByteArrayView path)
{
    if (path.size() > 1 && path.back() == char(PathDelimiter))
        path.chop(1);
    if (path.size() <= 1)
        return path;
    return path.sliced(path.lastIndexOf(char(PathDelimiter)) + 1);
}

// A spreadsheet program takes a cell that begins with one of these for a formula, which can
// fetch addresses or run commands when the file is opened (some drop a leading tab or CR and
// read on); a "'" in front makes it text.
bool startsLikeFormula(QByteArrayView cell)
{
    if (cell.isEmpty())
        return false;
    switch (cell.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

bool needsCsvQuotes(QByteArrayView field)
{
    for (const char c : field) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

// A text cell: quoted when it holds a comma, a quote or a line break, its quotes doubled, and
// guarded by a "'" when a spreadsheet would take it for a formula. At most 2 * size + 3 bytes.
char* putCsvText(char* p, QByteArrayView text, TCsvCells cells)
{
    const bool guard = cells == TCsvCells::Guarded && startsLikeFormula(text);
    const bool quoted = needsCsvQuotes(text);
    if (quoted)
        *p++ = '"';
    if (guard)
        *p++ = '\'';
    if (!quoted) {
        std::memcpy(p, text.data(), std::size_t(text.size()));
        return p + text.size();
    }
    for (const char c : text) {
        if (c == '"')
            *p++ = '"';
        *p++ = c;
    }
    *p++ = '"';
    return p;
}

template <std::size_t N> char* putLiteral(char* p, const char (&text)[N])
{
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

char* putText(char* p, const char* text)
{
    const std::size_t length = std::strlen(text);
    std::memcpy(p, text, length);
    return p + length;
}

char* putNumber(char* p, std::int64_t value)
{
    return std::to_chars(p, p + 20, value).ptr;
}

// Controls and the line separators, so a line is one record and a terminal shows no surprises;
// the bidirectional controls, so no viewer shows "a\u202Etxt.exe" as "aexe.txt".
bool escapedInJson(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// A JSON string of text: standard UTF-8, a lone surrogate as U+FFFD. At most 6 * size + 2
// bytes. Runs of printable ASCII, most of any path, are copied eight units at a time.
char* putJsonString(char* p, QStringView text)
{
    *p++ = '"';
    const char16_t* s = Units(text);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        qsizetype run = PrintableAsciiPrefixLength(s + i, n - i);
        for (qsizetype k = 0; k < run; ++k) {
            if (s[i + k] == u'"' || s[i + k] == u'\\') {
                run = k;
                break;
            }
        }
        NarrowAscii(s + i, run, p);
        p += run;
        i += run;
        if (i == n)
            break;
        const char16_t c = s[i];
        if (c == u'"' || c == u'\\') {
            *p++ = '\\';
            *p++ = char(c);
        } else if (escapedInJson(c)) {
            const char* shortForm = c == u'\n'   ? "\\n"
                                    : c == u'\r' ? "\\r"
                                    : c == u'\t' ? "\\t"
                                    : c == u'\b' ? "\\b"
                                    : c == u'\f' ? "\\f"
                                                 : nullptr;
            if (shortForm) {
                *p++ = shortForm[0];
                *p++ = shortForm[1];
            } else {
                p += std::snprintf(p, 7, "\\u%04X", unsigned(c));
            }
        } else if (c < 0x80) {
            *p++ = char(c);
        } else if (!QChar::isSurrogate(c)) {
            p = PutUtf8(p, c);
        } else {
            p = PutSurrogateUtf8(p, s, i, n);
        }
    }
    *p++ = '"';
    return p;
}

constexpr qsizetype base64Length(qsizetype bytes)
{
    return (bytes + 2) / 3 * 4;
}

char* putJsonBytes(char* p, const char* key, QByteArrayView bytes)
{
    p = putLiteral(p, ",\"");
    p = putText(p, key);
    p = putLiteral(p, "\":\"");
    const QByteArray encoded = bytes.toByteArray().toBase64(); // rare: names that are not UTF-8
    std::memcpy(p, encoded.constData(), std::size_t(encoded.size()));
    p += encoded.size();
    *p++ = '"';
    return p;
}

// Room for every part of a record but its texts, in either format.
constexpr qsizetype RecordFrameBytes = 256 + IsoTimeBytes;

void appendCsvRow(QByteArray& out, const TRecordView& record, TCsvCells cells)
{
    char* p = detail::ReserveTail(out, 2 * (record.PathBytes.size() + record.NameBytes.size()) +
                                           RecordFrameBytes);
    p = putText(p, RecordTypeName(record.Type));
    *p++ = ',';
    p = putCsvText(p, record.PathBytes, cells);
    *p++ = ',';
    p = putCsvText(p, record.NameBytes, cells);
    *p++ = ',';
    if (record.Size)
        p = putNumber(p, *record.Size);
    *p++ = ',';
    if (record.Modified) { // a year before 1 begins with "-"
        char time[IsoTimeBytes];
        const char* end = putIsoTime(time, *record.Modified, record.UtcOffset);
        p = putCsvText(p, QByteArrayView(time, end - time), cells);
    }
    *p++ = ',';
    if (record.Depth >= 0)
        p = putNumber(p, record.Depth);
    p = record.Hidden ? putLiteral(p, ",true\r\n") : putLiteral(p, ",false\r\n");
    detail::FinishTail(out, p);
}

void appendJsonObject(QByteArray& out, const TRecordView& record)
{
    const bool nameEscaped = record.Escaped && hasEscapedByte(record.Name);
    const qsizetype bytes = (record.Escaped ? base64Length(record.PathBytes.size()) : 0) +
                            (nameEscaped ? base64Length(record.NameBytes.size()) : 0);
    char* p = detail::ReserveTail(out, 6 * (record.Path.size() + record.Name.size()) + bytes +
                                           RecordFrameBytes);
    p = putLiteral(p, "{\"type\":\"");
    p = putText(p, RecordTypeName(record.Type));
    p = putLiteral(p, "\",\"path\":");
    p = putJsonString(p, record.Path);
    if (record.Escaped)
        p = putJsonBytes(p, "path_bytes", record.PathBytes);
    p = putLiteral(p, ",\"name\":");
    p = putJsonString(p, record.Name);
    if (nameEscaped)
        p = putJsonBytes(p, "name_bytes", record.NameBytes);
    p = putLiteral(p, ",\"size\":");
    p = record.Size ? putNumber(p, *record.Size) : putLiteral(p, "null");
    p = putLiteral(p, ",\"modified\":");
    if (record.Modified) {
        *p++ = '"';
        p = putIsoTime(p, *record.Modified, record.UtcOffset);
        *p++ = '"';
    } else {
        p = putLiteral(p, "null");
    }
    p = putLiteral(p, ",\"depth\":");
    p = record.Depth >= 0 ? putNumber(p, record.Depth) : putLiteral(p, "null");
    p = record.Hidden ? putLiteral(p, ",\"hidden\":true}\n")
                      : putLiteral(p, ",\"hidden\":false}\n");
    detail::FinishTail(out, p);
}

// What could not be looked at is known only by how its path ends.
TRecordType typeOf(QStringView path, const TItemFacts& facts)
{
    if (facts.State == TFactsState::Found)
        return facts.Type;
    const bool folderPath = path.size() > 1 && path.back() == PathDelimiter;
    return folderPath ? TRecordType::Folder : TRecordType::File;
}

// A record's type, size and time, from what the walk knew of the item at path; looked up now
// when the walk did not look.
template <typename Record>
void fillFromFacts(Record& record, QStringView path, const TItemFacts& walkFacts)
{
    const TItemFacts facts =
        walkFacts.State == TFactsState::NotLookedAt ? FactsOfPath(path) : walkFacts;
    record.Type = typeOf(path, facts);
    if (facts.State == TFactsState::Found) {
        record.Size = facts.Size;
        record.Modified = facts.Modified;
        record.UtcOffset = LocalUtcOffset(facts.Modified);
    }
}

TRecordView viewOf(QStringView path, QByteArrayView pathBytes, const TRecordFields& fields,
                   int depth)
{
    TRecordView view;
    view.Type = fields.Type;
    view.Path = path;
    view.Name = path.sliced(fields.NameStart, fields.NameLength);
    view.PathBytes = pathBytes;
    view.NameBytes = pathBytes.sliced(fields.NameBytesStart, fields.NameBytesLength);
    view.Escaped = fields.Escaped;
    view.Size = fields.Size;
    view.Modified = fields.Modified;
    view.UtcOffset = fields.UtcOffset;
    view.Depth = depth;
    view.Hidden = fields.Hidden;
    return view;
}

// Where the name lies in path and in its bytes, and whether path holds bytes that are not UTF-8.
void putNameFields(TRecordFields& fields, QStringView path, QByteArrayView pathBytes)
{
    const QStringView name = RecordName(path);
    fields.NameStart = name.data() - path.data();
    fields.NameLength = name.size();
    const QByteArrayView nameBytes = nameBytesOf(pathBytes);
    fields.NameBytesStart = nameBytes.data() - pathBytes.data();
    fields.NameBytesLength = nameBytes.size();
    fields.Escaped = hasEscapedByte(path);
}

// The view of a record whose path's bytes are pathBytes.
TRecordView viewOf(const TItemRecord& record, QByteArrayView pathBytes)
{
    TRecordFields fields;
    putNameFields(fields, record.Path, pathBytes);
    fields.Type = record.Type;
    fields.Size = record.Size;
    fields.Modified = record.Modified;
    fields.UtcOffset = record.UtcOffset;
    fields.Hidden = record.Hidden;
    return viewOf(record.Path, pathBytes, fields, record.Depth);
}

} // namespace

const char* RecordTypeName(TRecordType type)
{
    switch (type) {
    case TRecordType::Folder:
        return "folder";
    case TRecordType::File:
        return "file";
    case TRecordType::Link:
        return "link";
    case TRecordType::Special:
        return "special";
    }
    return "file";
}

QStringView RecordName(QStringView path)
{
    if (path.size() > 1 && path.back() == PathDelimiter)
        path.chop(1);
    if (path.size() <= 1)
        return path;
    return path.sliced(path.lastIndexOf(PathDelimiter) + 1);
}

int RecordDepth(QStringView path, const QStringList& locations)
{
    qsizetype longest = -1;
    for (const QString& location : locations) {
        if (location.size() > longest && !location.isEmpty() && path.startsWith(location))
            longest = location.size();
        else if (location.size() - 1 > longest && location.size() > 1 &&
                 path == QStringView(location).chopped(1))
            longest = location.size() - 1; // the location itself, named without its delimiter
    }
    if (longest < 0)
        return -1;
    QStringView below = path.sliced(longest);
    if (below.endsWith(PathDelimiter))
        below.chop(1);
    if (below.isEmpty())
        return 0;
    return int(below.count(PathDelimiter)) + 1;
}

TRecordFields RecordFieldsOf(QStringView path, QByteArrayView pathBytes, const TItemFacts& facts)
{
    TRecordFields fields;
    fillFromFacts(fields, path, facts);
    putNameFields(fields, path, pathBytes);
    fields.Hidden = path.sliced(fields.NameStart, fields.NameLength).startsWith(u'.');
    return fields;
}

QByteArray IsoTime(std::int64_t seconds, int utcOffset)
{
    char text[IsoTimeBytes];
    return QByteArray(text, putIsoTime(text, seconds, utcOffset) - text);
}

int LocalUtcOffset(std::int64_t seconds)
{
    const std::time_t t = std::time_t(seconds);
    std::tm parts{};
    if (!::localtime_r(&t, &parts))
        return 0;
    return int(parts.tm_gmtoff);
}

TItemRecord LookUpRecord(QStringView path, const QStringList& locations)
{
    return RecordOf(path, FactsOfPath(path), locations);
}

TItemRecord RecordOf(QStringView path, const TItemFacts& facts, const QStringList& locations)
{
    TItemRecord record;
    record.Path = path.toString();
    fillFromFacts(record, path, facts);
    record.Depth = RecordDepth(path, locations);
    record.Hidden = RecordName(path).startsWith(u'.');
    return record;
}

void AppendCsvHeader(QByteArray& out)
{
    out.append("\xEF\xBB\xBF").append(CatalogCsvHead).append("\r\n");
}

void AppendCsvRecord(QByteArray& out, const TItemRecord& record, TCsvCells cells)
{
    appendCsvRow(out, viewOf(record, EncodeFileName(record.Path)), cells);
}

void AppendJsonRecord(QByteArray& out, const TItemRecord& record)
{
    appendJsonObject(out, viewOf(record, EncodeFileName(record.Path)));
}

void TRecordEncoder::AppendHead(QByteArray& out)
{
    if (m_format == TRecordFormat::Csv)
        AppendCsvHeader(out);
}

void TRecordEncoder::AppendLine(QByteArray& out, const TPassedLine& line)
{
    if (line.Record == nullptr || line.Path.isEmpty())
        return;
    QByteArrayView pathBytes = line.PathBytes;
    if (pathBytes.isEmpty()) {
        m_pathBytes.truncate(0);
        AppendEncodedFileName(m_pathBytes, line.Path);
        pathBytes = m_pathBytes;
    }
    const TRecordFields fields = line.RecordFields != nullptr
                                     ? *line.RecordFields
                                     : RecordFieldsOf(line.Path, pathBytes, *line.Record);
    const TRecordView view =
        viewOf(line.Path, pathBytes, fields, depthOf(line.Path, fields.NameStart));
    if (m_format == TRecordFormat::Csv)
        appendCsvRow(out, view, m_cells);
    else
        appendJsonObject(out, view);
    ++m_records;
}

// Records come folder by folder: an item lies one below its folder, unless a location lies
// below that folder (the item may be one).
int TRecordEncoder::depthOf(QStringView path, qsizetype nameStart)
{
    const QStringView folder = path.first(nameStart);
    if (folder != m_depthFolder) {
        m_depthFolder = folder.toString();
        m_folderDepth = RecordDepth(folder, m_locations);
        m_locationBelowFolder =
            std::any_of(m_locations.begin(), m_locations.end(), [folder](const QString& location) {
                return location.size() > folder.size() && location.startsWith(folder);
            });
    }
    if (m_locationBelowFolder)
        return RecordDepth(path, m_locations);
    return m_folderDepth < 0 ? -1 : m_folderDepth + 1;
}

QString TRecordEncoder::ErrorText(TWriteStage stage, QStringView message) const
{
    return RecordExportErrorText(m_format, stage, message);
}

TRecordExport ExportRecords(const QString& fileName, TRecordFormat format, const TResultText& lines,
                            const QStringList& locations, const TExportProgress& progress)
{
    TRecordEncoder encoder(format, locations);
    TRecordExport result;
    static_cast<TLinesWritten&>(result) = WriteLines(fileName, encoder, lines, progress);
    result.Records = encoder.Records();
    return result;
}

QString RecordExportErrorText(TRecordFormat format, TWriteStage stage, QStringView message)
{
    const bool csv = format == TRecordFormat::Csv;
    return QStringLiteral("Error #%1/%2. Problem during %3 export.\r\n")
               .arg(csv ? 4024 : 4025)
               .arg(int(stage))
               .arg(csv ? QStringLiteral("CSV") : QStringLiteral("JSON")) +
           message.toString();
}

} // namespace dirka
