#pragma once

#include <cstdint>

namespace dirka {

namespace detail {
struct CharTables {
    char16_t fold[0x10000];
    std::uint8_t alphabetic[0x10000 / 8];
};
const CharTables& charTables();
} // namespace detail

/// One-way case folding of a single UTF-16 code unit: FoldChar(u'Ä') == u'ä', FoldChar(0x212A) ==
/// u'k'.
inline char16_t FoldChar(char16_t c)
{
    return detail::charTables().fold[c];
}

/// A code unit with the Unicode Alphabetic property: IsWordChar(u'ł') is true, IsWordChar(u'7')
/// false.
inline bool IsWordChar(char16_t c)
{
    return (detail::charTables().alphabetic[c >> 3] >> (c & 7)) & 1;
}

/// The white-space set shared by trimming: tab to CR, blank, U+0085, no-break space, U+1680,
/// U+2000..U+200A, U+2028, U+2029, U+202F, U+3000.
bool IsWhiteSpace(char16_t c);

/// U+0000..U+001F and U+007F..U+009F.
inline bool IsControlChar(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace dirka
