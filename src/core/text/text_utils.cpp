#include "core/text/text_utils.h"

#include <algorithm>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace dirka {

namespace {

bool fitsBoth(QStringView a, QStringView b, qsizetype count)
{
    return count <= a.size() && count <= b.size();
}

// Compares n folded units at a and b; the caller guarantees both hold n units.
bool equalFolded(const char16_t* a, const char16_t* b, qsizetype n,
                 const detail::CharTables& tables)
{
    for (qsizetype i = 0; i < n; ++i)
        if (a[i] != b[i] && tables.fold[a[i]] != tables.fold[b[i]])
            return false;
    return true;
}

// Whether a pattern of length n can start at any position from start on in a text of length m.
bool forwardSearchPossible(qsizetype n, qsizetype m, qsizetype start)
{
    return n > 0 && m >= n && start >= 1 && start <= m - n + 1;
}

// The units whose folded form is one given unit: "k" gathers k, K and the Kelvin sign.
struct TFoldClass {
    static constexpr int MaxUnits = 4;
    char16_t Folded = 0;
    int Count = -1; // -1: not computed yet
    char16_t Units[MaxUnits] = {};
};

// Kept for the last two units asked for (a pattern's first and last): whole-word searches call
// again after every rejected occurrence, and the table scan would cost more than a short search.
const TFoldClass& foldClassOf(char16_t folded, const detail::CharTables& tables)
{
    thread_local TFoldClass cache[2];
    thread_local int next = 0;
    for (const TFoldClass& known : cache) {
        if (known.Count >= 0 && known.Folded == folded)
            return known;
    }
    TFoldClass& computed = cache[next];
    next ^= 1;
    computed = TFoldClass{folded, 0, {}};
    for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
        if (tables.fold[u] != folded)
            continue;
        if (computed.Count < TFoldClass::MaxUnits)
            computed.Units[computed.Count] = char16_t(u);
        ++computed.Count;
    }
    return computed;
}

#ifdef __SSE2__
// Lanes of block equal to any unit of the class.
struct TClassMatcher {
    explicit TClassMatcher(const TFoldClass& c) : Count(c.Count)
    {
        for (int k = 0; k < TFoldClass::MaxUnits; ++k)
            Wanted[k] = _mm_set1_epi16(short(c.Units[k < c.Count ? k : 0]));
    }
    __m128i Match(__m128i block) const
    {
        __m128i hits = _mm_cmpeq_epi16(block, Wanted[0]);
        for (int k = 1; k < Count; ++k)
            hits = _mm_or_si128(hits, _mm_cmpeq_epi16(block, Wanted[k]));
        return hits;
    }
    int Count;
    __m128i Wanted[TFoldClass::MaxUnits];
};

bool isSmallClass(const TFoldClass& c)
{
    return c.Count > 0 && c.Count <= TFoldClass::MaxUnits;
}
#endif

TFoldClass exactClass(char16_t unit)
{
    return TFoldClass{unit, 1, {unit}};
}

bool equalExact(const char16_t* a, const char16_t* b, qsizetype n, const detail::CharTables&)
{
    return std::equal(a, a + n, b);
}

// The first i in [from, last] where the pattern occurs (exactly, or by folded units), as a
// 1-based position, or 0.
template <bool Folded>
qsizetype scanText(const char16_t* p, qsizetype n, const char16_t* t, qsizetype from,
                   qsizetype last, const detail::CharTables& tables)
{
    constexpr auto equalRest = Folded ? equalFolded : equalExact;
    const char16_t first = Folded ? tables.fold[p[0]] : p[0];
    qsizetype i = from;
#ifdef __SSE2__
    // Eight positions at a time: the unit there must match the pattern's first and the unit
    // n - 1 further on its last, so common letters rarely lead to a full comparison.
    const TFoldClass head = Folded ? foldClassOf(first, tables) : exactClass(first);
    const TFoldClass tail =
        Folded ? foldClassOf(tables.fold[p[n - 1]], tables) : exactClass(p[n - 1]);
    if (isSmallClass(head) && isSmallClass(tail)) {
        const TClassMatcher headMatch(head);
        const TClassMatcher tailMatch(tail);
        for (; i + 8 <= last + 1; i += 8) {
            const auto* at = reinterpret_cast<const __m128i*>(t + i);
            const auto* end = reinterpret_cast<const __m128i*>(t + i + n - 1);
            const __m128i hits = _mm_and_si128(headMatch.Match(_mm_loadu_si128(at)),
                                               tailMatch.Match(_mm_loadu_si128(end)));
            unsigned mask = unsigned(_mm_movemask_epi8(hits));
            while (mask) {
                const qsizetype j = i + qsizetype(__builtin_ctz(mask) / 2);
                if (equalRest(p + 1, t + j + 1, n - 1, tables))
                    return j + 1;
                mask &= mask - 1;
                mask &= mask - 1; // both bytes of the unit
            }
        }
    }
#endif
    for (; i <= last; ++i) {
        const char16_t c = Folded ? tables.fold[t[i]] : t[i];
        if (c == first && equalRest(p + 1, t + i + 1, n - 1, tables))
            return i + 1;
    }
    return 0;
}

// Eight units at a time while all of them pass Plain's test, then one by one up to the first
// that does not.
template <bool Plain> qsizetype copyAscii(const char16_t* src, qsizetype n, char* dst)
{
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi16(short(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i bad = _mm_cmpeq_epi16(_mm_and_si128(units, high), zero); // ASCII: all ones
        if constexpr (Plain) {
            // Controls (below 0x20), DEL and & < > " fail.
            const __m128i control = _mm_cmplt_epi16(units, _mm_set1_epi16(0x20));
            __m128i markup = _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('&')),
                                          _mm_cmpeq_epi16(units, _mm_set1_epi16('<')));
            markup = _mm_or_si128(markup, _mm_cmpeq_epi16(units, _mm_set1_epi16('>')));
            markup = _mm_or_si128(markup, _mm_cmpeq_epi16(units, _mm_set1_epi16('"')));
            markup = _mm_or_si128(markup, _mm_cmpeq_epi16(units, _mm_set1_epi16(0x7F)));
            bad = _mm_andnot_si128(_mm_or_si128(control, markup), bad);
        }
        // The eight bytes are written even when a unit fails: dst has room for them, and only
        // the ones before the first failing unit count.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(units, units));
        const unsigned good = unsigned(_mm_movemask_epi8(bad));
        if (good != 0xFFFF)
            return i + std::countr_one(good) / 2;
    }
#endif
    for (; i < n; ++i) {
        const char16_t c = src[i];
        if (c >= 0x80)
            break;
        if (Plain && (c < 0x20 || c == 0x7F || c == u'&' || c == u'<' || c == u'>' || c == u'"'))
            break;
        dst[i] = char(c);
    }
    return i;
}

} // namespace

QString IntToStrWidth(int value, int width)
{
    return QStringLiteral("%1").arg(value, std::max(width, 0));
}

QString ByteToHex(std::uint8_t value)
{
    const char16_t digits[2] = {char16_t(HexDigits[value >> 4]), char16_t(HexDigits[value & 15])};
    return QString(reinterpret_cast<const QChar*>(digits), 2);
}

QString WordToHex(std::uint16_t value)
{
    return ByteToHex(value >> 8) + ByteToHex(value & 0xFF);
}

QString DWordToHex(std::uint32_t value)
{
    return WordToHex(value >> 16) + WordToHex(value & 0xFFFF);
}

bool SameChars(QStringView a, QStringView b, qsizetype count)
{
    if (count < 0 || !fitsBoth(a, b, count))
        return false;
    return a.first(count) == b.first(count);
}

bool SameCharsNoCase(QStringView a, QStringView b, qsizetype count)
{
    if (count < 0 || !fitsBoth(a, b, count))
        return false;
    return equalFolded(Units(a), Units(b), count, detail::charTables());
}

qsizetype CommonPrefixLength(QStringView a, QStringView b, qsizetype count)
{
    const qsizetype limit = std::min({count, a.size(), b.size()});
    qsizetype n = 0;
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

bool MatchAt(QStringView pattern, qsizetype patternPos, QStringView text, qsizetype textPos,
             qsizetype count, bool caseSensitive, bool wholeWord)
{
    if (count < 1)
        return false;
    if (patternPos < 1 || patternPos > pattern.size() || patternPos + count - 1 > pattern.size())
        return false;
    if (textPos < 1 || textPos > text.size() || textPos + count - 1 > text.size())
        return false;
    if (wholeWord) {
        if (textPos > 1 && IsWordChar(text[textPos - 2].unicode()))
            return false;
        const qsizetype end = textPos + count - 1;
        if (end < text.size() && IsWordChar(text[end].unicode()))
            return false;
    }
    const QStringView a = pattern.sliced(patternPos - 1, count);
    const QStringView b = text.sliced(textPos - 1, count);
    return caseSensitive ? SameChars(a, b, count) : SameCharsNoCase(a, b, count);
}

qsizetype PosExact(QStringView pattern, QStringView text, qsizetype start)
{
    if (!forwardSearchPossible(pattern.size(), text.size(), start))
        return 0;
    return scanText<false>(Units(pattern), pattern.size(), Units(text), start - 1,
                           text.size() - pattern.size(), detail::charTables());
}

qsizetype PosNoCase(QStringView pattern, QStringView text, qsizetype start)
{
    const qsizetype n = pattern.size();
    const qsizetype m = text.size();
    if (!forwardSearchPossible(n, m, start))
        return 0;
    return scanText<true>(Units(pattern), n, Units(text), start - 1, m - n, detail::charTables());
}

qsizetype PosBackExact(QStringView pattern, QStringView text, qsizetype start)
{
    const qsizetype n = pattern.size();
    const qsizetype m = text.size();
    if (n == 0 || m < n || start < 1)
        return 0;
    const qsizetype from = std::min(start, m - n + 1) - 1;
    return text.lastIndexOf(pattern, from, Qt::CaseSensitive) + 1;
}

qsizetype PosBackNoCase(QStringView pattern, QStringView text, qsizetype start)
{
    const qsizetype n = pattern.size();
    const qsizetype m = text.size();
    if (n == 0 || m < n || start < 1)
        return 0;
    const detail::CharTables& tables = detail::charTables();
    const char16_t* p = Units(pattern);
    const char16_t* t = Units(text);
    const char16_t first = tables.fold[p[0]];
    for (qsizetype i = std::min(start, m - n + 1) - 1; i >= 0; --i) {
        if (tables.fold[t[i]] == first && equalFolded(p + 1, t + i + 1, n - 1, tables))
            return i + 1;
    }
    return 0;
}

qsizetype CountOccurrences(QStringView pattern, QStringView text)
{
    if (pattern.size() == 1)
        return text.count(pattern[0], Qt::CaseSensitive);
    qsizetype count = 0;
    for (qsizetype p = PosExact(pattern, text, 1); p > 0; p = PosExact(pattern, text, p + 1))
        ++count;
    return count;
}

QString GetField(int index, QStringView text, QChar delimiter, bool trim)
{
    qsizetype fieldStart = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype d = text.indexOf(delimiter, fieldStart);
        if (d < 0)
            return QString();
        fieldStart = d + 1;
    }
    qsizetype fieldEnd = text.indexOf(delimiter, fieldStart);
    if (fieldEnd < 0)
        fieldEnd = text.size();
    const QStringView field = text.sliced(fieldStart, fieldEnd - fieldStart);
    return trim ? TrimText(field) : field.toString();
}

QString ReplaceAll(QStringView pattern, QStringView replacement, QStringView text)
{
    QString result = text.toString();
    if (pattern.isEmpty() || pattern == replacement)
        return result;
    // Left to right without overlap: text that a replacement inserted is never searched again.
    return result.replace(pattern.toString(), replacement.toString(), Qt::CaseSensitive);
}

QString TrimText(QStringView text)
{
    const auto trimmable = [](QChar c) {
        return IsWhiteSpace(c.unicode()) || IsControlChar(c.unicode());
    };
    qsizetype end = text.size();
    while (end > 0 && trimmable(text[end - 1]))
        --end;
    qsizetype begin = 0;
    while (begin < end && trimmable(text[begin]))
        ++begin;
    return text.sliced(begin, end - begin).toString();
}

QString ParentFolderName(QStringView path)
{
    const qsizetype b = path.lastIndexOf(QChar(PathDelimiter));
    if (b < 0)
        return QString();
    const qsizetype a = b > 0 ? path.lastIndexOf(QChar(PathDelimiter), b - 1) : -1;
    return path.sliced(a + 1, b - a - 1).toString();
}

QString IncludeTrailingChar(QStringView text, QChar c)
{
    if (text.endsWith(c))
        return text.toString();
    return text.toString() + c;
}

qsizetype CopyAsciiPrefix(const char16_t* src, qsizetype n, char* dst)
{
    return copyAscii<false>(src, n, dst);
}

// Eight units at a time; the last eight may overlap those before, which writes their bytes again.
void NarrowAscii(const char16_t* src, qsizetype n, char* dst)
{
    qsizetype i = 0;
#ifdef __SSE2__
    if (n >= 8) {
        for (;;) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(units, units));
            if (i + 8 == n)
                return;
            i = std::min(i + 8, n - 8);
        }
    }
#endif
    for (; i < n; ++i)
        dst[i] = char(src[i]);
}

qsizetype CopyPlainAsciiPrefix(const char16_t* src, qsizetype n, char* dst)
{
    return copyAscii<true>(src, n, dst);
}

qsizetype PrintableAsciiPrefixLength(const char16_t* src, qsizetype n)
{
    qsizetype i = 0;
#ifdef __SSE2__
    // Units below 0x20 or above 0x7E, taken as signed, fall outside (0x1F, 0x7F).
    const __m128i low = _mm_set1_epi16(0x1F);
    const __m128i high = _mm_set1_epi16(0x7F);
    for (; i + 8 <= n; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i inside =
            _mm_and_si128(_mm_cmpgt_epi16(units, low), _mm_cmplt_epi16(units, high));
        if (_mm_movemask_epi8(inside) != 0xFFFF)
            break;
    }
#endif
    while (i < n && src[i] >= 0x20 && src[i] < 0x7F)
        ++i;
    return i;
}

bool IsPrintableAscii(const char* bytes, qsizetype n)
{
    qsizetype i = 0;
#ifdef __SSE2__
    // Bytes from 0x80 on are negative as signed bytes, so one range test covers them.
    const __m128i low = _mm_set1_epi8(0x1F);
    const __m128i high = _mm_set1_epi8(0x7F);
    for (; i + 16 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i inside =
            _mm_and_si128(_mm_cmpgt_epi8(chunk, low), _mm_cmplt_epi8(chunk, high));
        if (_mm_movemask_epi8(inside) != 0xFFFF)
            return false;
    }
#endif
    unsigned outside = 0;
    for (; i < n; ++i)
        outside |= unsigned(static_cast<unsigned char>(bytes[i] - 0x20) >= 0x5F);
    return outside == 0;
}

bool IsAscii(const char* bytes, qsizetype n)
{
    qsizetype i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        if (_mm_movemask_epi8(chunk) != 0)
            return false;
    }
#endif
    unsigned char high = 0;
    for (; i < n; ++i)
        high |= static_cast<unsigned char>(bytes[i]);
    return high < 0x80;
}

} // namespace dirka
