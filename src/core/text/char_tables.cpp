#include "core/text/char_tables.h"

#include <unicode/uchar.h>

#include <memory>

namespace dirka {

namespace {

std::unique_ptr<detail::CharTables> buildTables()
{
    auto tables = std::make_unique<detail::CharTables>();
    for (UChar32 c = 0; c < 0x10000; ++c) {
        char16_t folded = static_cast<char16_t>(c);
        if (c >= 'A' && c <= 'Z') {
            folded = static_cast<char16_t>(c + ('a' - 'A'));
        } else if (c >= 0x80) {
            // Simple (one-to-one) lower-case mapping; a mapping outside the BMP would not fit a
            // single unit, so such a unit stays as it is.
            const UChar32 lower = u_tolower(c);
            if (lower < 0x10000)
                folded = static_cast<char16_t>(lower);
        }
        tables->fold[c] = folded;
        // Surrogate halves are classified on their own and are never alphabetic.
        if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC))
            tables->alphabetic[c >> 3] |= static_cast<std::uint8_t>(1u << (c & 7));
    }
    return tables;
}

} // namespace

const detail::CharTables& detail::charTables()
{
    static const std::unique_ptr<CharTables> tables = buildTables();
    return *tables;
}

bool IsWhiteSpace(char16_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x3000;
}

} // namespace dirka
