#include "core/listing/line_composition.h"

#include "core/text/assertion.h"
#include "core/text/text_utils.h"

#include <QLatin1String>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <memory>
#include <string_view>
#include <type_traits>

namespace dirka {

namespace {

constexpr std::int64_t BytesPerMB = 1048576;

// The number separators a size or time is written with; views into a TLineFormat or into
// texts the caller keeps alive.
// Views: the line format's own separators are appended per line and must cost no copy.
struct TSeparators {
    QStringView Group;
    QStringView Decimal;
};

// The locale's separators, held: QLocale may hand out temporaries, which a view must not outlive.
struct TLocaleSeparators {
    QString Group = QLocale().groupSeparator();
    QString Decimal = QLocale().decimalPoint();
    operator TSeparators() const { return {Group, Decimal}; }
};

bool isHighSurrogate(char16_t c)
{
    return (c & 0xFC00) == 0xD800;
}
bool isLowSurrogate(char16_t c)
{
    return (c & 0xFC00) == 0xDC00;
}

// Index of the first unit from `from` on that is shown as U+FFFD, or n when there is none.
// Plain ASCII and most letters take the first two tests only.
qsizetype firstHiddenUnit(const char16_t* p, qsizetype n, qsizetype from)
{
    for (qsizetype i = from + PrintableAsciiPrefixLength(p + from, n - from); i < n; ++i) {
        const char16_t c = p[i];
        if (c < 0x7F) {
            if (c < 0x20)
                return i;
            continue;
        }
        if (c <= 0x9F)
            return i;
        if (c < 0xD800) {
            // Line and paragraph separators, then the bidirectional embeddings, overrides and
            // isolates, which would make "rlo_\u202Etxt.exe" show as "rlo_exe.txt".
            if ((c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
                return i;
            continue;
        }
        if (isHighSurrogate(c)) {
            if (i + 1 < n && isLowSurrogate(p[i + 1])) {
                ++i;
                continue;
            }
            return i;
        }
        // A low surrogate here has no high one before it: a pair was skipped whole above.
        if (isLowSurrogate(c) || c >= 0xFFFE)
            return i;
    }
    return n;
}

void appendDelimiter(QString& out)
{
    out.append(QChar(PathDelimiter));
}

void appendAscii(QString& out, const char* first, const char* last)
{
    out.append(QLatin1String(first, last - first));
}

void appendInteger(QString& out, std::int64_t value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    appendAscii(out, digits, result.ptr);
}

// Number texts are written by hand into a small array, then appended at once: the same code
// writes UTF-16 for the result text and UTF-8 for lines that are printed as they come.
template <typename Char> struct TNumberSeparators {
    std::basic_string_view<Char> Group;
    std::basic_string_view<Char> Decimal;
};

TNumberSeparators<char16_t> unitsOf(TSeparators separators)
{
    return {{Units(separators.Group), std::size_t(separators.Group.size())},
            {Units(separators.Decimal), std::size_t(separators.Decimal.size())}};
}

template <typename Char> Char* putText(Char* p, std::basic_string_view<Char> text)
{
    return std::copy(text.begin(), text.end(), p);
}

template <typename Char> Char* putAscii(Char* p, const char* text)
{
    while (*text != 0)
        *p++ = Char(*text++);
    return p;
}

// The whole part grouped by three as "%.*n" groups it: "8,796,093,022,208".
template <typename Char>
Char* putGrouped(Char* p, std::uint64_t value, std::basic_string_view<Char> group)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n - 1; i >= 0; --i) {
        *p++ = Char(digits[i]);
        if (i > 0 && i % 3 == 0)
            p = putText(p, group);
    }
    return p;
}

// Room for the longest number text: 20 digits, 6 group separators, a decimal point, 3 decimals
// and the unit.
template <typename Char> std::size_t numberRoom(TNumberSeparators<Char> separators)
{
    return 20 + 6 * separators.Group.size() + separators.Decimal.size() + 3 + 8;
}

// scaled / 10^decimals like "%.*n": ASCII digits, the whole part grouped by three.
// dropLeadingZero leaves out a whole part of 0 (".123" instead of "0.123").
template <typename Char>
Char* putFixed(Char* p, std::uint64_t scaled, int decimals, TNumberSeparators<Char> separators,
               bool dropLeadingZero)
{
    static constexpr std::uint64_t Powers[] = {1, 10, 100, 1000};
    const std::uint64_t whole = scaled / Powers[decimals];
    const std::uint64_t fraction = scaled % Powers[decimals];
    if (!(dropLeadingZero && whole == 0))
        p = putGrouped(p, whole, separators.Group);
    if (decimals == 0)
        return p;
    p = putText(p, separators.Decimal);
    for (int k = decimals - 1; k >= 0; --k)
        *p++ = Char('0' + (fraction / Powers[k]) % 10);
    return p;
}

// bytes / 2^shift rounded half away from zero to `decimals` places, as an integer count of the
// last place. Exact for every positive 64-bit size: the whole units times 1000 stay below 2^54.
std::uint64_t scaledUnits(std::int64_t size, int shift, int decimals)
{
    static constexpr std::uint64_t Powers[] = {1, 10, 100, 1000};
    const auto bytes = static_cast<std::uint64_t>(size);
    const std::uint64_t unit = std::uint64_t(1) << shift;
    const std::uint64_t whole = bytes >> shift;
    const std::uint64_t rest = bytes & (unit - 1);
    return whole * Powers[decimals] + ((rest * Powers[decimals] + unit / 2) >> shift);
}

template <typename Char>
Char* putSize(Char* p, TNumberSeparators<Char> separators, bool compact, std::int64_t size)
{
    if (size <= 0)
        return putAscii(p, compact ? "0" : "0      ");
    // The decimals follow the unrounded value: 1048575 bytes are "1.000 MB", not "1.00 MB".
    const int decimals = size < BytesPerMB         ? 3
                         : size < 10 * BytesPerMB  ? 2
                         : size < 100 * BytesPerMB ? 1
                                                   : 0;
    p = putFixed(p, scaledUnits(size, 20, decimals), decimals, separators, decimals == 3);
    return putAscii(p, decimals == 0 ? "  MB" : " MB");
}

// Runs put(p) on a stack array with room for a number text and appends what it wrote.
template <typename Char, typename Out, typename Put>
void appendNumber(Out& out, TNumberSeparators<Char> separators, Put&& put)
{
    Char small[128];
    std::unique_ptr<Char[]> large;
    const std::size_t room = numberRoom(separators);
    Char* first = small;
    if (room > std::size(small)) {
        large = std::make_unique<Char[]>(room);
        first = large.get();
    }
    const Char* last = put(first);
    if constexpr (std::is_same_v<Char, char16_t>)
        out.append(reinterpret_cast<const QChar*>(first), last - first);
    else
        out.append(first, last - first);
}

void appendFixed(QString& out, std::uint64_t scaled, int decimals, TSeparators separators,
                 bool dropLeadingZero)
{
    const TNumberSeparators<char16_t> units = unitsOf(separators);
    appendNumber(out, units, [&](char16_t* p) {
        return putFixed(p, scaled, decimals, units, dropLeadingZero);
    });
}

void appendSize(QString& out, TSeparators separators, bool compact, std::int64_t size)
{
    const TNumberSeparators<char16_t> units = unitsOf(separators);
    appendNumber(out, units, [&](char16_t* p) { return putSize(p, units, compact, size); });
}

void appendStatistics(QString& out, TSeparators separators, int folders, int files, int skipped,
                      std::int64_t size, std::int64_t elapsedMs)
{
    out.append(QLatin1String("Files: "));
    appendInteger(out, files);
    if (files > 0) {
        out.append(QLatin1String(" ("));
        appendSize(out, separators, true, size);
        if (folders > 0) {
            out.append(QLatin1String("; in "));
            appendInteger(out, folders);
            out.append(QLatin1String(" folders"));
        }
        out.append(QLatin1Char(')'));
    }
    if (skipped > 0) {
        out.append(QLatin1String("   Skipped: "));
        appendInteger(out, skipped);
    }
    if (elapsedMs >= 10000) {
        out.append(QLatin1String("   Time: "));
        appendInteger(out, elapsedMs / 1000);
        out.append(QLatin1String(" s"));
    } else if (elapsedMs > 0) {
        out.append(QLatin1String("   Time: "));
        appendFixed(out, static_cast<std::uint64_t>(elapsedMs + 50) / 100, 1, separators, false);
        out.append(QLatin1String(" s"));
    }
}

TSeparators separatorsOf(const TLineFormat& format)
{
    return {format.GroupSeparator, format.DecimalPoint};
}

// The part of a path from 0-based index `from` on; empty when the path is shorter.
QStringView tailFrom(QStringView path, qsizetype from)
{
    return path.sliced(std::min(from, path.size()));
}

qsizetype relativeStart(const TLineFormat& format)
{
    return std::max<qsizetype>(format.RootLength, 1) - 1;
}

// A folder path as shown: passed through AppendShown unless that was done already.
template <bool FolderShown> void appendFolderPart(QString& out, QStringView folderPath)
{
    if constexpr (FolderShown)
        out.append(folderPath);
    else
        AppendShown(out, folderPath);
}

// The relative path of the file folderPath + name, without joining the two. Showing a text
// keeps its length unit for unit, so the shown folder path is cut where the path would be.
template <bool FolderShown>
void appendFileRelativePath(QString& out, const TLineFormat& format, QStringView folderPath,
                            QStringView name)
{
    const qsizetype from = relativeStart(format);
    appendFolderPart<FolderShown>(out, tailFrom(folderPath, from));
    AppendShown(out, tailFrom(name, std::max<qsizetype>(from - folderPath.size(), 0)));
}

template <bool FolderShown>
void appendFileFullPath(QString& out, QStringView folderPath, QStringView name)
{
    appendFolderPart<FolderShown>(out, folderPath);
    AppendShown(out, name);
}

} // namespace

TLineFormat TLineFormat::FromStyle(const TListStyle& style, qsizetype rootLength)
{
    Assert(rootLength >= 1);
    TLineFormat format;
    format.RootLength = rootLength;
    format.SeparatorChar = style.Separator == 0 ? u'\t' : u' ';
    if (style.IndentMode == TabIndent)
        format.IndentUnit = QStringLiteral("\t");
    else if (style.IndentMode == SpaceIndent)
        format.IndentUnit = QString(std::clamp(style.IndentSpace, 0, MaxIndentSpace), u' ');
    format.ListIndent = style.Mode == ListMode ? format.IndentUnit : QString();
    // Taken once here, so the per-item texts never ask the locale. The C locale's option to omit
    // grouping is not followed: sizes always group their thousands.
    const QLocale locale;
    format.GroupSeparator = locale.groupSeparator();
    format.DecimalPoint = locale.decimalPoint();
    format.GroupSeparatorUtf8 = format.GroupSeparator.toUtf8();
    format.DecimalPointUtf8 = format.DecimalPoint.toUtf8();
    return format;
}

void AppendShown(QString& out, QStringView text)
{
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (;;) {
        const qsizetype hidden = firstHiddenUnit(units, n, start);
        if (hidden > start)
            out.append(text.sliced(start, hidden - start));
        if (hidden == n)
            return;
        out.append(QChar(ReplacementChar));
        start = hidden + 1;
    }
}

QString ShownText(QStringView text)
{
    QString out;
    AppendShown(out, text);
    return out;
}

QString FolderItemText(const TLineFormat& format, QStringView fullPath, QStringView name, int code)
{
    QString text;
    AppendFolderItemText(text, format, fullPath, name, code);
    return text;
}

namespace {

// Codes 1 to 5 dress the name and codes 6 to 9 the relative path in the same ways.
enum class TFolderDress { Plain, Angled, DirMarked, FolderMarked };

void appendDressed(QString& out, TFolderDress dress, QStringView text, QChar sep)
{
    switch (dress) {
    case TFolderDress::Plain:
        AppendShown(out, text);
        break;
    case TFolderDress::Angled:
        out.append(QLatin1Char('<'));
        AppendShown(out, text);
        out.append(QLatin1Char('>'));
        break;
    case TFolderDress::DirMarked:
    case TFolderDress::FolderMarked:
        out.append(dress == TFolderDress::DirMarked ? QLatin1String("<DIR>")
                                                    : QLatin1String("Folder"));
        out.append(sep);
        AppendShown(out, text);
        break;
    }
}

} // namespace

void AppendFolderItemText(QString& out, const TLineFormat& format, QStringView fullPath,
                          QStringView name, int code)
{
    const QChar sep = format.SeparatorChar;
    switch (code) {
    case 1:
    case 3:
    case 4:
    case 5: {
        static constexpr TFolderDress dresses[] = {TFolderDress::Plain, TFolderDress::Plain,
                                                   TFolderDress::Angled, TFolderDress::DirMarked,
                                                   TFolderDress::FolderMarked};
        appendDressed(out, dresses[code - 1], name, sep);
        break;
    }
    case 2:
        AppendShown(out, name);
        // The root folder's name is the delimiter itself; it is never doubled.
        if (!name.endsWith(QChar(PathDelimiter)))
            appendDelimiter(out);
        break;
    case 6:
    case 7:
    case 8:
    case 9: {
        static constexpr TFolderDress dresses[] = {TFolderDress::Plain, TFolderDress::Angled,
                                                   TFolderDress::DirMarked,
                                                   TFolderDress::FolderMarked};
        appendDressed(out, dresses[code - 6], tailFrom(fullPath, relativeStart(format)), sep);
        break;
    }
    case 10:
        AppendShown(out, fullPath);
        break;
    default:
        break;
    }
}

QString FileItemText(const TLineFormat& format, QStringView fullPath, QStringView name, int code,
                     std::int64_t size)
{
    Assert(fullPath.endsWith(name));
    QString text;
    AppendFileItemText(text, format, fullPath.chopped(name.size()), name, code, size);
    return text;
}

namespace {

// How each file item code lays its line out: the word "File" first, the size before or after,
// and which part of the path goes with the name. Both composers, UTF-16 and UTF-8, read it.
enum class ESizePlace { None, Before, After };
enum class EPathPart { Name, Relative, Full };
struct TFileItemLayout {
    bool FileWord = false;
    ESizePlace Size = ESizePlace::None;
    EPathPart Path = EPathPart::Name;
};
constexpr TFileItemLayout FileItemLayouts[] = {
    {},                                               // 0: no line
    {false, ESizePlace::None, EPathPart::Name},       // 1: Name
    {false, ESizePlace::After, EPathPart::Name},      // 2: Name, Size
    {false, ESizePlace::Before, EPathPart::Name},     // 3: Size, Name
    {true, ESizePlace::None, EPathPart::Name},        // 4: File, Name
    {true, ESizePlace::After, EPathPart::Name},       // 5: File, Name, Size
    {true, ESizePlace::Before, EPathPart::Name},      // 6: File, Size, Name
    {false, ESizePlace::None, EPathPart::Relative},   // 7: Relative path
    {false, ESizePlace::After, EPathPart::Relative},  // 8: Relative path, Size
    {false, ESizePlace::Before, EPathPart::Relative}, // 9: Size, Relative path
    {false, ESizePlace::None, EPathPart::Full},       // 10: Full path
    {false, ESizePlace::After, EPathPart::Full},      // 11: Full path, Size
    {false, ESizePlace::Before, EPathPart::Full},     // 12: Size, Full path
};
constexpr int FileItemCodes = int(std::size(FileItemLayouts));

// Nothing for a code without a line (0 or out of range).
const TFileItemLayout* fileItemLayout(int code)
{
    return code >= 1 && code < FileItemCodes ? &FileItemLayouts[code] : nullptr;
}

template <bool FolderShown>
void appendFileItem(QString& out, const TLineFormat& format, QStringView folderPath,
                    QStringView name, int code, std::int64_t size)
{
    const TFileItemLayout* layout = fileItemLayout(code);
    if (!layout)
        return;
    const QChar sep = format.SeparatorChar;
    const TSeparators separators = separatorsOf(format);
    if (layout->FileWord) {
        out.append(QLatin1String("File"));
        out.append(sep);
    }
    if (layout->Size == ESizePlace::Before) {
        appendSize(out, separators, false, size);
        out.append(sep);
    }
    switch (layout->Path) {
    case EPathPart::Name:
        AppendShown(out, name);
        break;
    case EPathPart::Relative:
        appendFileRelativePath<FolderShown>(out, format, folderPath, name);
        break;
    case EPathPart::Full:
        appendFileFullPath<FolderShown>(out, folderPath, name);
        break;
    }
    if (layout->Size == ESizePlace::After) {
        out.append(sep);
        appendSize(out, separators, true, size);
    }
}

} // namespace

void AppendFileItemText(QString& out, const TLineFormat& format, QStringView folderPath,
                        QStringView name, int code, std::int64_t size)
{
    appendFileItem<false>(out, format, folderPath, name, code, size);
}

void AppendFileItemTextInShownFolder(QString& out, const TLineFormat& format,
                                     QStringView shownFolderPath, QStringView name, int code,
                                     std::int64_t size)
{
    appendFileItem<true>(out, format, shownFolderPath, name, code, size);
}

namespace {

// True when the name is shown as it is: no unit of it is shown as U+FFFD, so it holds no lone
// surrogate. Such a name was decoded from valid UTF-8, and its UTF-8 is those bytes (names that
// are not valid UTF-8 decode to lone surrogates).
bool shownAsItIs(QStringView name, bool printableAscii)
{
    return printableAscii || firstHiddenUnit(Units(name), name.size(), 0) == name.size();
}

// The UTF-8 of a name shownAsItIs accepts. Printable ASCII, the common case, is narrowed unit by
// unit.
void appendNameUtf8(TByteBuffer& out, QStringView name, bool printableAscii)
{
    const char16_t* units = Units(name);
    const qsizetype n = name.size();
    if (printableAscii) {
        char* p = out.Reserve(n);
        NarrowAscii(units, n, p);
        out.SetEnd(p + n);
        return;
    }
    char* p = out.Reserve(3 * n);
    p = PutAsciiRuns<false>(p, name, [units, n](char* at, qsizetype& i) {
        const char16_t c = units[i];
        return QChar::isSurrogate(c) ? PutSurrogateUtf8(at, units, i, n) : PutUtf8(at, c);
    });
    out.SetEnd(p);
}

void putSizeUtf8(TByteBuffer& out, const TLineFormat& format, bool compact, std::int64_t size)
{
    const TNumberSeparators<char> separators{
        {format.GroupSeparatorUtf8.constData(), std::size_t(format.GroupSeparatorUtf8.size())},
        {format.DecimalPointUtf8.constData(), std::size_t(format.DecimalPointUtf8.size())}};
    char* p = out.Reserve(qsizetype(numberRoom(separators)));
    out.SetEnd(putSize(p, separators, compact, size));
}

} // namespace

qsizetype RelativePathStart(const TLineFormat& format)
{
    return relativeStart(format);
}

QStringView FileFolderPart(const TLineFormat& format, QStringView shownFolderPath, int code)
{
    const TFileItemLayout* layout = fileItemLayout(code);
    if (layout && layout->Path == EPathPart::Relative)
        return tailFrom(shownFolderPath, relativeStart(format));
    if (layout && layout->Path == EPathPart::Full)
        return shownFolderPath;
    return {};
}

bool detail::AppendOtherFileItemUtf8(TByteBuffer& out, const TLineFormat& format,
                                     QByteArrayView folderPartUtf8, QStringView name, int code,
                                     std::int64_t size, bool printableAscii)
{
    if (!shownAsItIs(name, printableAscii))
        return false;
    const TFileItemLayout* layout = fileItemLayout(code);
    if (!layout)
        return true;
    const char sep = char(format.SeparatorChar.unicode());
    if (layout->FileWord) {
        out.Append("File", 4);
        out.Append(sep);
    }
    if (layout->Size == ESizePlace::Before) {
        putSizeUtf8(out, format, false, size);
        out.Append(sep);
    }
    if (layout->Path != EPathPart::Name)
        out.Append(folderPartUtf8);
    appendNameUtf8(out, name, printableAscii);
    if (layout->Size == ESizePlace::After) {
        out.Append(sep);
        putSizeUtf8(out, format, true, size);
    }
    return true;
}

bool FileCodeShowsPath(int code)
{
    const TFileItemLayout* layout = fileItemLayout(code);
    return layout && layout->Path != EPathPart::Name;
}

bool FileCodeShowsSize(int code)
{
    const TFileItemLayout* layout = fileItemLayout(code);
    return layout && layout->Size != ESizePlace::None;
}

QString SizeText(bool compact, std::int64_t size)
{
    QString text;
    const TLocaleSeparators separators;
    appendSize(text, separators, compact, size);
    return text;
}

QString BinaryUnitsText(std::int64_t bytes, int shift, int decimals)
{
    QString text;
    appendFixed(text, bytes > 0 ? scaledUnits(bytes, shift, decimals) : 0, decimals,
                TLocaleSeparators(), false);
    return text;
}

QString SizeText(const TLineFormat& format, bool compact, std::int64_t size)
{
    QString text;
    appendSize(text, separatorsOf(format), compact, size);
    return text;
}

QString StatisticsText(int folders, int files, int skipped, std::int64_t size,
                       std::int64_t elapsedMs)
{
    const QLocale locale;
    const QString group = locale.groupSeparator();
    const QString decimal = locale.decimalPoint();
    QString text;
    appendStatistics(text, {group, decimal}, folders, files, skipped, size, elapsedMs);
    return text;
}

QString StatisticsText(const TLineFormat& format, int folders, int files, int skipped,
                       std::int64_t size, std::int64_t elapsedMs)
{
    QString text;
    appendStatistics(text, separatorsOf(format), folders, files, skipped, size, elapsedMs);
    return text;
}

} // namespace dirka
