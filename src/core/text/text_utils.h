#pragma once

#include "core/text/char_tables.h"

#include <QString>
#include <QStringView>

#include <cstdint>

// Stateless text and number helpers. Texts are UTF-16; lengths and positions count code units,
// positions are 1-based and 0 means "not found". A null and an empty text behave the same.
namespace dirka {

/// The platform's path delimiter: folder paths end in it.
#ifdef Q_OS_WIN
inline constexpr char16_t PathDelimiter = u'\\';
#else
inline constexpr char16_t PathDelimiter = u'/';
#endif

/// The units of a text as a plain array, for loops that must not pay for QChar.
inline const char16_t* Units(QStringView text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

/// U+FFFD, shown for units that cannot be shown or written as they are.
inline constexpr char16_t ReplacementChar = 0xFFFD;

/// Upper-case hexadecimal digits: HexDigits[0xA] == 'A'.
inline constexpr char HexDigits[] = "0123456789ABCDEF";

/// Writes the code point c (below U+110000) as standard UTF-8 at p and answers the end.
inline char* PutUtf8(char* p, char32_t c)
{
    if (c < 0x80) {
        *p++ = char(c);
    } else if (c < 0x800) {
        *p++ = char(0xC0 | (c >> 6));
        *p++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = char(0xE0 | (c >> 12));
        *p++ = char(0x80 | ((c >> 6) & 0x3F));
        *p++ = char(0x80 | (c & 0x3F));
    } else {
        *p++ = char(0xF0 | (c >> 18));
        *p++ = char(0x80 | ((c >> 12) & 0x3F));
        *p++ = char(0x80 | ((c >> 6) & 0x3F));
        *p++ = char(0x80 | (c & 0x3F));
    }
    return p;
}

/// Writes the surrogate unit s[i] of n units as UTF-8: with its low half after it, the pair's
/// character (i moves onto the low half); alone, U+FFFD.
inline char* PutSurrogateUtf8(char* p, const char16_t* s, qsizetype& i, qsizetype n)
{
    if (QChar::isHighSurrogate(s[i]) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
        ++i;
        return PutUtf8(p, QChar::surrogateToUcs4(s[i - 1], s[i]));
    }
    return PutUtf8(p, ReplacementChar);
}

/// Copies the ASCII units at the start of src (n units) to dst as bytes and answers how many
/// there were; dst has room for n bytes, and the bytes after the ones counted may be written
/// too (the caller writes on from there). For u"ab\u00E9": "ab", 2.
qsizetype CopyAsciiPrefix(const char16_t* src, qsizetype n, char* dst);
/// Writes n units that are all ASCII to dst as n bytes: NarrowAscii(u"ab", 2, dst) writes "ab".
void NarrowAscii(const char16_t* src, qsizetype n, char* dst);
/// The same, stopping also at controls and at the characters markup escapes (& < > "):
/// for u"a b<c": "a b", 3.
qsizetype CopyPlainAsciiPrefix(const char16_t* src, qsizetype n, char* dst);

/// How many units at the start of src (n units) are printable ASCII (U+0020..U+007E), counted
/// eight at a time: PrintableAsciiPrefixLength(u"ab\tc", 4) == 2.
qsizetype PrintableAsciiPrefixLength(const char16_t* src, qsizetype n);
/// True when every byte is printable ASCII (0x20..0x7E), sixteen at a time:
/// IsPrintableAscii("a b", 3) is true, IsPrintableAscii("a\tb", 3) and IsPrintableAscii("\xC3\xA9",
/// 2) are false.
bool IsPrintableAscii(const char* bytes, qsizetype n);
/// True when no byte is from 0x80 on, sixteen at a time: IsAscii("a\tb", 3) is true,
/// IsAscii("\xC3\xA9", 2) is false.
bool IsAscii(const char* bytes, qsizetype n);

/// Writes text from p on: runs of ASCII units (of plain ones, with Plain) as bytes, eight at a
/// time, and every other unit through putOther(p, i), which answers where its writing ended and
/// may take a second unit by advancing i. Answers the end of all that was written.
template <bool Plain, typename PutOther>
char* PutAsciiRuns(char* p, QStringView text, PutOther&& putOther)
{
    const char16_t* s = Units(text);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype run =
            Plain ? CopyPlainAsciiPrefix(s + i, n - i, p) : CopyAsciiPrefix(s + i, n - i, p);
        p += run;
        i += run;
        if (i == n)
            break;
        p = putOther(p, i);
    }
    return p;
}

/// Max(1, 2) == 2
inline int Max(int a, int b)
{
    return a > b ? a : b;
}
/// Min(1, 2) == 1
inline int Min(int a, int b)
{
    return a < b ? a : b;
}
/// Sign(-7) == -1
inline int Sign(int v)
{
    return (v > 0) - (v < 0);
}
/// Sign64(1LL << 40) == 1
inline int Sign64(std::int64_t v)
{
    return (v > 0) - (v < 0);
}
/// BoolToInt(true) == 1
inline int BoolToInt(bool b)
{
    return b ? 1 : 0;
}

/// IntToStrWidth(3, 2) == " 3"; the number is never cut: IntToStrWidth(12345, 2) == "12345"
QString IntToStrWidth(int value, int width);
/// ByteToHex(0x0A) == "0A"
QString ByteToHex(std::uint8_t value);
/// WordToHex(0x0415) == "0415"
QString WordToHex(std::uint16_t value);
/// DWordToHex(-1) == "FFFFFFFF"
QString DWordToHex(std::uint32_t value);

/// True when the first count units of a and b are equal; true for count 0, false when count is
/// negative or more than either text holds.
bool SameChars(QStringView a, QStringView b, qsizetype count);
/// SameChars on folded units: SameCharsNoCase(u"Ł", u"ł", 1) is true.
bool SameCharsNoCase(QStringView a, QStringView b, qsizetype count);
/// Leading units that a and b share, at most count: CommonPrefixLength(u"abc", u"abd", 9) == 2
qsizetype CommonPrefixLength(QStringView a, QStringView b, qsizetype count);

/// count units of pattern from patternPos equal count units of text from textPos, optionally
/// ignoring case and requiring non-word neighbours: MatchAt(u"ab", 1, u"1ab2", 2, 2, true, true)
bool MatchAt(QStringView pattern, qsizetype patternPos, QStringView text, qsizetype textPos,
             qsizetype count, bool caseSensitive, bool wholeWord);

/// PosExact(u"noga", u"stonoga", 2) == 4
qsizetype PosExact(QStringView pattern, QStringView text, qsizetype start);
/// PosNoCase(u"NOGA", u"stonoga", 1) == 4
qsizetype PosNoCase(QStringView pattern, QStringView text, qsizetype start);
/// Last match starting at or before start: PosBackExact(u"ab", u"abab", 4) == 3
qsizetype PosBackExact(QStringView pattern, QStringView text, qsizetype start);
/// PosBackNoCase(u"AB", u"abab", 4) == 3
qsizetype PosBackNoCase(QStringView pattern, QStringView text, qsizetype start);

/// Overlapping occurrences count: CountOccurrences(u"aa", u"aaaa") == 3
qsizetype CountOccurrences(QStringView pattern, QStringView text);
/// GetField(1, u" a | b ", u'|', true) == "b"
QString GetField(int index, QStringView text, QChar delimiter, bool trim);
/// ReplaceAll(u"&", u"&amp;", u"a&b") == "a&amp;b"; inserted text is never searched again.
QString ReplaceAll(QStringView pattern, QStringView replacement, QStringView text);
/// Drops white space and control units at both ends: TrimText(u"\tx\u3000") == "x"
QString TrimText(QStringView text);
/// The component that ends at the last delimiter: "/music/rock/a.mp3" and "/music/rock/" give
/// "rock"
QString ParentFolderName(QStringView path);

/// IncludeTrailingChar(u"/home/ann", u'/') == "/home/ann/"; an empty text gives "/".
QString IncludeTrailingChar(QStringView text, QChar c);

} // namespace dirka
