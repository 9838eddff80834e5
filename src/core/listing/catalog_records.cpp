#include "core/listing/catalog_records.h"

#include "core/text/text_utils.h"

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

namespace dirka {

namespace {

// A cursor over one line. Every read checks the end, so no line, however cut short, is read
// past.
class TJsonCursor {
public:
    explicit TJsonCursor(QByteArrayView text) : m_p(text.data()), m_end(text.data() + text.size())
    {
    }
    void SkipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\r' || *m_p == '\n'))
            ++m_p;
    }
    bool Take(char c)
    {
        SkipSpace();
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    bool AtEnd()
    {
        SkipSpace();
        return m_p == m_end;
    }
    char Peek()
    {
        SkipSpace();
        return m_p < m_end ? *m_p : '\0';
    }
    bool String(std::string& out);
    /// Passes over an array or object, for keys a record has no use for.
    bool SkipNested();
    /// A number, true, false or null as its text (a nested value is not a record's).
    bool Scalar(QByteArrayView& out);

private:
    bool hex4(char32_t& value);
    bool escape(std::string& out);

    const char* m_p;
    const char* m_end;
};

bool TJsonCursor::hex4(char32_t& value)
{
    if (m_end - m_p < 4)
        return false;
    value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = *m_p++;
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        value = value * 16 + char32_t(digit);
    }
    return true;
}

bool TJsonCursor::escape(std::string& out)
{
    if (m_p >= m_end)
        return false;
    const char c = *m_p++;
    switch (c) {
    case '"':
    case '\\':
    case '/':
        out += c;
        return true;
    case 'b':
        out += '\b';
        return true;
    case 'f':
        out += '\f';
        return true;
    case 'n':
        out += '\n';
        return true;
    case 'r':
        out += '\r';
        return true;
    case 't':
        out += '\t';
        return true;
    case 'u':
        break;
    default:
        return false;
    }
    char32_t code = 0;
    if (!hex4(code))
        return false;
    // A pair of escapes is one character; half of one alone has no UTF-8 and reads as U+FFFD.
    if (QChar::isHighSurrogate(code) && m_end - m_p >= 6 && m_p[0] == '\\' && m_p[1] == 'u') {
        const char* back = m_p;
        m_p += 2;
        char32_t low = 0;
        if (hex4(low) && QChar::isLowSurrogate(low))
            code = QChar::surrogateToUcs4(char16_t(code), char16_t(low));
        else
            m_p = back;
    }
    if (QChar::isSurrogate(code))
        code = ReplacementChar;
    char bytes[4];
    out.append(bytes, std::size_t(PutUtf8(bytes, code) - bytes));
    return true;
}

bool TJsonCursor::String(std::string& out)
{
    out.clear();
    if (!Take('"'))
        return false;
    while (m_p < m_end) {
        const char c = *m_p++;
        if (c == '"')
            return true;
        if (c == '\\') {
            if (!escape(out))
                return false;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        } else {
            out += c;
        }
    }
    return false;
}

bool TJsonCursor::SkipNested()
{
    int depth = 0;
    std::string scratch;
    do {
        const char c = Peek();
        if (c == '"') {
            if (!String(scratch))
                return false;
            continue;
        }
        if (m_p >= m_end)
            return false;
        ++m_p;
        depth += c == '[' || c == '{' ? 1 : c == ']' || c == '}' ? -1 : 0;
    } while (depth > 0);
    return true;
}

bool TJsonCursor::Scalar(QByteArrayView& out)
{
    SkipSpace();
    const char* start = m_p;
    while (m_p < m_end && *m_p != ',' && *m_p != '}' && *m_p != ' ' && *m_p != '\t' &&
           *m_p != '{' && *m_p != '[' && *m_p != '"')
        ++m_p;
    out = QByteArrayView(start, m_p - start);
    return !out.isEmpty();
}

std::optional<std::int64_t> integerOf(QByteArrayView text)
{
    bool ok = false;
    const qlonglong value = QByteArray(text.data(), text.size()).toLongLong(&ok);
    return ok ? std::optional<std::int64_t>(value) : std::nullopt;
}

bool typeOf(const std::string& name, TRecordType& type)
{
    static constexpr std::pair<const char*, TRecordType> Types[] = {
        {"folder", TRecordType::Folder},
        {"file", TRecordType::File},
        {"link", TRecordType::Link},
        {"special", TRecordType::Special}};
    for (const auto& [text, value] : Types) {
        if (name == text) {
            type = value;
            return true;
        }
    }
    return false;
}

// Days from 1970-01-01 to a date (proleptic Gregorian; the inverse of the records' own).
std::int64_t daysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Fixed-width digits at text[at..at+count), or -1.
int digitsAt(QByteArrayView text, qsizetype at, int count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// What each key sets, once the whole object has been read.
struct TFields {
    std::string Type, Path, PathBytes, Modified;
    std::optional<std::int64_t> Size, Depth;
    bool HasType = false, HasPath = false, HasPathBytes = false, HasModified = false;
};

QString readValue(TJsonCursor& cursor, const std::string& key, TFields& fields)
{
    std::string* text = key == "type"         ? &fields.Type
                        : key == "path"       ? &fields.Path
                        : key == "path_bytes" ? &fields.PathBytes
                        : key == "modified"   ? &fields.Modified
                                              : nullptr;
    if (cursor.Peek() == '"') {
        std::string scratch;
        if (!cursor.String(text ? *text : scratch))
            return QStringLiteral("a text value is cut short or holds a bad escape");
        if (text == &fields.Type)
            fields.HasType = true;
        else if (text == &fields.Path)
            fields.HasPath = true;
        else if (text == &fields.PathBytes)
            fields.HasPathBytes = true;
        else if (text == &fields.Modified)
            fields.HasModified = true;
        return {};
    }
    const bool used = text != nullptr || key == "size" || key == "depth";
    if (!used && (cursor.Peek() == '[' || cursor.Peek() == '{'))
        return cursor.SkipNested() ? QString() : QStringLiteral("a value is cut short");
    QByteArrayView scalar;
    if (!cursor.Scalar(scalar))
        return u"the value of \"" + QString::fromStdString(key) + u"\" is not a plain value";
    if (scalar == "null")
        return {};
    if (key == "size" || key == "depth") {
        const std::optional<std::int64_t> number = integerOf(scalar);
        if (!number || *number < 0)
            return u"\"" + QString::fromStdString(key) + u"\" is not a whole number";
        (key == "size" ? fields.Size : fields.Depth) = number;
    } else if (text != nullptr) {
        return u"\"" + QString::fromStdString(key) + u"\" is not a text";
    }
    return {};
}

QString readObject(QByteArrayView line, TFields& fields)
{
    TJsonCursor cursor(line);
    if (!cursor.Take('{'))
        return QStringLiteral("not a record of a saved listing (no JSON object)");
    if (cursor.Take('}'))
        return QStringLiteral("an empty record");
    std::string key;
    do {
        if (!cursor.String(key) || !cursor.Take(':'))
            return QStringLiteral("not a record of a saved listing (a key is not followed by :)");
        if (const QString problem = readValue(cursor, key, fields); !problem.isEmpty())
            return problem;
    } while (cursor.Take(','));
    if (!cursor.Take('}') || !cursor.AtEnd())
        return QStringLiteral("the record does not end where its line does");
    return {};
}

QString recordOf(TFields& fields, TCatalogRecord& record)
{
    if (!fields.HasType || !typeOf(fields.Type, record.Type))
        return QStringLiteral("no \"type\" of folder, file, link or special");
    if (!fields.HasPath)
        return QStringLiteral("no \"path\"");
    if (fields.HasPathBytes) {
        const auto decoded = QByteArray::fromBase64Encoding(
            QByteArray::fromStdString(fields.PathBytes), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return QStringLiteral("\"path_bytes\" is not base64");
        record.Path.assign(decoded.decoded.constData(), std::size_t(decoded.decoded.size()));
    } else {
        record.Path = std::move(fields.Path);
    }
    if (record.Path.empty() || record.Path.front() != char(PathDelimiter))
        return QStringLiteral("the path is not a full path");
    if (record.Path.find('\0') != std::string::npos)
        return QStringLiteral("the path holds a NUL");
    if (!fields.Depth)
        return QStringLiteral("no \"depth\" below a listed location");
    record.Depth = int(std::min<std::int64_t>(*fields.Depth, 1 << 20));
    record.IsFolder = record.Path.back() == char(PathDelimiter);
    if (record.Type == TRecordType::Folder && !record.IsFolder)
        return QStringLiteral("a folder's path does not end in the delimiter");
    record.HasFacts = fields.Size.has_value() && fields.HasModified;
    record.Size = fields.Size.value_or(0);
    record.Modified = 0;
    if (fields.HasModified && !ParseIsoTime(QByteArrayView(fields.Modified), record.Modified))
        return u"\"modified\" is not a time: " + QString::fromStdString(fields.Modified);
    return {};
}

} // namespace

bool ParseIsoTime(QByteArrayView text, std::int64_t& seconds)
{
    // [-]YYYY...-MM-DDTHH:MM:SS then +HH:MM, -HH:MM or Z
    const qsizetype dash = text.indexOf('-', text.startsWith('-') ? 1 : 0);
    if (dash < 4)
        return false;
    const std::optional<std::int64_t> year = integerOf(text.first(dash));
    const QByteArrayView rest = text.sliced(dash);
    // A billion years either way: its seconds stay far inside 64 bits.
    constexpr std::int64_t MaxYear = 1'000'000'000;
    if (!year || *year < -MaxYear || *year > MaxYear || (rest.size() != 16 && rest.size() != 21) ||
        rest[0] != '-' || rest[3] != '-' || rest[6] != 'T' || rest[9] != ':' || rest[12] != ':')
        return false;
    const int month = digitsAt(rest, 1, 2);
    const int day = digitsAt(rest, 4, 2);
    const int hour = digitsAt(rest, 7, 2);
    const int minute = digitsAt(rest, 10, 2);
    const int second = digitsAt(rest, 13, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60)
        return false;
    int offset = 0;
    if (rest.size() == 16) {
        if (rest[15] != 'Z')
            return false;
    } else {
        const int offsetHours = digitsAt(rest, 16, 2);
        const int offsetMinutes = digitsAt(rest, 19, 2);
        if ((rest[15] != '+' && rest[15] != '-') || rest[18] != ':' || offsetHours < 0 ||
            offsetMinutes < 0)
            return false;
        offset = (offsetHours * 3600 + offsetMinutes * 60) * (rest[15] == '-' ? -1 : 1);
    }
    seconds =
        daysFromCivil(*year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
    return true;
}

QString ParseCatalogRecord(QByteArrayView line, TCatalogRecord& record)
{
    TFields fields;
    if (QString problem = readObject(line, fields); !problem.isEmpty())
        return problem;
    return recordOf(fields, record);
}

namespace {

// The cells of a CSV row: quoted ones unquoted, their doubled quotes single.
QString csvCells(QByteArrayView row, std::vector<std::string>& cells)
{
    cells.clear();
    qsizetype at = 0;
    for (;;) {
        std::string& cell = cells.emplace_back();
        if (at < row.size() && row[at] == '"') {
            for (++at;; ++at) {
                if (at >= row.size())
                    return QStringLiteral("a quoted cell does not end");
                if (row[at] == '"') {
                    if (at + 1 < row.size() && row[at + 1] == '"')
                        ++at;
                    else
                        break;
                }
                cell.push_back(row[at]);
            }
            ++at;
            if (at < row.size() && row[at] != ',')
                return QStringLiteral("a quoted cell is followed by more than a comma");
        } else {
            const qsizetype comma = row.indexOf(',', at);
            const qsizetype end = comma < 0 ? row.size() : comma;
            cell.assign(row.data() + at, std::size_t(end - at));
            at = end;
        }
        if (at >= row.size())
            return {};
        ++at; // the comma
    }
}

} // namespace

bool IsCatalogCsvHead(QByteArrayView line)
{
    if (line.startsWith("\xEF\xBB\xBF"))
        line = line.sliced(3);
    if (line.endsWith('\r'))
        line.chop(1);
    const QByteArrayView Head(CatalogCsvHead, qsizetype(sizeof CatalogCsvHead) - 1);
    return line == Head || (line.startsWith(Head) && line[Head.size()] == ',');
}

qsizetype CsvRowEnd(QByteArrayView text, qsizetype from, qsizetype& lineBreaks)
{
    bool quoted = false;
    lineBreaks = 0;
    for (qsizetype at = from; at < text.size(); ++at) {
        if (text[at] == '"')
            quoted = !quoted; // a doubled quote turns it off and on again
        else if (text[at] == '\n' && !quoted)
            return at;
        else if (text[at] == '\n')
            ++lineBreaks;
    }
    return -1;
}

QString ParseCatalogCsvRow(QByteArrayView row, TCatalogRecord& record)
{
    if (row.endsWith('\r'))
        row.chop(1);
    thread_local std::vector<std::string> cells;
    if (QString problem = csvCells(row, cells); !problem.isEmpty())
        return problem;
    if (cells.size() < 7)
        return QStringLiteral("a row of fewer than 7 cells");
    TFields fields;
    fields.Type = cells[0];
    fields.HasType = true;
    fields.Path = cells[1];
    fields.HasPath = true;
    if (!cells[3].empty()) {
        fields.Size = integerOf(QByteArrayView(cells[3]));
        if (!fields.Size || *fields.Size < 0)
            return QStringLiteral("\"size\" is not a whole number");
    }
    std::string& modified = cells[4];
    if (modified.starts_with('\''))
        modified.erase(0, 1);
    fields.Modified = modified;
    fields.HasModified = !modified.empty();
    if (!cells[5].empty()) {
        fields.Depth = integerOf(QByteArrayView(cells[5]));
        if (!fields.Depth || *fields.Depth < 0)
            return QStringLiteral("\"depth\" is not a whole number");
    }
    return recordOf(fields, record);
}

} // namespace dirka
