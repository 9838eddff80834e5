#include "core/text/file_names.h"

#include "core/text/text_utils.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace dirka {

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at s (1..4), or 0 when the byte at s starts none.
// Overlong forms, encoded surrogates and code points above U+10FFFF are invalid.
int validSequenceLength(const unsigned char* s, std::size_t available, char32_t& codePoint)
{
    const unsigned char b0 = s[0];
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    }
    int length = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        codePoint = b0 & 0x1F;
        minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        codePoint = b0 & 0x0F;
        minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        codePoint = b0 & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (std::size_t(length) > available)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(s[i]))
            return 0;
        codePoint = (codePoint << 6) | (s[i] & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// Decodes UTF-8 sequence by sequence; a byte that starts no valid sequence becomes its escape
// unit. Answers the units written.
qsizetype decodeUtf8Into(char16_t* out, const unsigned char* s, std::size_t length)
{
    char16_t* p = out;
    std::size_t i = 0;
    while (i < length) {
        char32_t c = 0;
        const int n = validSequenceLength(s + i, length - i, c);
        if (n == 0) {
            *p++ = char16_t(EscapeBase + s[i]);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            *p++ = QChar::highSurrogate(c);
            *p++ = QChar::lowSurrogate(c);
        } else {
            *p++ = char16_t(c);
        }
        i += std::size_t(n);
    }
    return p - out;
}

} // namespace

namespace {

// Widens ASCII bytes to units, eight at a time where there are eight. Answers whether every
// byte was ASCII and, in unprintable, whether a control byte (below 0x20, or 0x7F) was among them.
bool widenAscii(char16_t* out, const char* bytes, std::size_t length, bool& unprintable)
{
    std::size_t i = 0;
    unsigned other = 0;
    unsigned control = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i del = _mm_set1_epi8(0x7F);
    // The last block may overlap the one before: widening the same bytes twice is harmless.
    if (length >= 8) {
        for (;;) {
            const __m128i chunk = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i));
            // Only the low eight lanes hold bytes; the zeros above are ASCII and not controls
            // once masked.
            other |= unsigned(_mm_movemask_epi8(chunk)) & 0xFF;
            // Bytes from 0x80 on compare below 0x20 as signed bytes; they count as non-ASCII.
            control |= unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(chunk, space),
                                                               _mm_cmpeq_epi8(chunk, del)))) &
                       0xFF;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(chunk, zero));
            if (i + 8 >= length)
                break;
            i = std::min(i + 8, length - 8);
        }
        i = length;
    }
#endif
    for (; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        other |= b & 0x80;
        control |= unsigned(b < 0x20 || b == 0x7F);
        out[i] = b;
    }
    unprintable = control != 0;
    return other == 0;
}

} // namespace

qsizetype DecodeFileNameInto(char16_t* out, const char* bytes, std::size_t length,
                             bool* printableAscii)
{
    // Plain ASCII, the most common name, is widened in one pass that also looks for other bytes.
    bool unprintable = false;
    const bool ascii = widenAscii(out, bytes, length, unprintable);
    if (printableAscii != nullptr)
        *printableAscii = ascii && !unprintable;
    if (ascii)
        return qsizetype(length);
    return decodeUtf8Into(out, reinterpret_cast<const unsigned char*>(bytes), length);
}

qsizetype DecodePaddedFileNameInto(char16_t* out, const char* bytes, std::size_t length,
                                   bool* printableAscii)
{
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i del = _mm_set1_epi8(0x7F);
    unsigned other = 0;
    unsigned control = 0;
    for (std::size_t i = 0; i < length; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        // The lanes past the name's end hold whatever follows it: they do not count.
        const unsigned inName = length - i >= 16 ? 0xFFFFu : (1u << (length - i)) - 1;
        other |= unsigned(_mm_movemask_epi8(chunk)) & inName;
        // Bytes from 0x80 on compare below 0x20 as signed bytes; they count as non-ASCII.
        control |= unsigned(_mm_movemask_epi8(
                       _mm_or_si128(_mm_cmplt_epi8(chunk, space), _mm_cmpeq_epi8(chunk, del)))) &
                   inName;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(chunk, zero));
    }
    if (other == 0) {
        *printableAscii = control == 0;
        return qsizetype(length);
    }
    *printableAscii = false;
    return decodeUtf8Into(out, reinterpret_cast<const unsigned char*>(bytes), length);
#else
    return DecodeFileNameInto(out, bytes, length, printableAscii);
#endif
}

void AppendDecodedFileName(QString& out, const char* bytes, std::size_t length)
{
    const qsizetype size = out.size();
    out.resize(size + qsizetype(length));
    const qsizetype written =
        DecodeFileNameInto(reinterpret_cast<char16_t*>(out.data()) + size, bytes, length);
    out.truncate(size + written);
}

QString DecodeFileName(const char* bytes, std::size_t length)
{
    QString out;
    out.reserve(qsizetype(length));
    AppendDecodedFileName(out, bytes, length);
    return out;
}

QString DecodeFileName(const QByteArray& bytes)
{
    return DecodeFileName(bytes.constData(), std::size_t(bytes.size()));
}

bool IsEscapedByte(QStringView text, qsizetype index)
{
    const char16_t c = text[index].unicode();
    if (c < 0xDC80 || c > 0xDCFF)
        return false;
    return index == 0 || !QChar::isHighSurrogate(text[index - 1].unicode());
}

void AppendEncodedFileName(QByteArray& out, QStringView name)
{
    const char16_t* s = Units(name);
    const qsizetype n = name.size();
    const qsizetype size = out.size();
    // Three bytes per unit at most (a pair takes four for two); grown geometrically, since a
    // playlist appends a path per line.
    const qsizetype needed = size + 3 * n;
    if (needed > out.capacity())
        out.reserve(std::max(needed, 2 * out.capacity()));
    out.resize(needed);
    char* p = PutAsciiRuns<false>(out.data() + size, name, [s, n, name](char* at, qsizetype& i) {
        const char16_t c = s[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            ++i;
            return PutUtf8(at, QChar::surrogateToUcs4(c, s[i]));
        }
        if (IsEscapedByte(name, i)) {
            *at++ = char(c - EscapeBase);
            return at;
        }
        // Other lone surrogates cannot come from a file name; write them as their own
        // three-byte form so nothing is silently dropped.
        return PutUtf8(at, c);
    });
    out.truncate(p - out.constData());
}

QByteArray EncodeFileName(QStringView name)
{
    QByteArray out;
    AppendEncodedFileName(out, name);
    return out;
}

} // namespace dirka
