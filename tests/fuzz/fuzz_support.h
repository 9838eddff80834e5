#pragma once

// Shared by the fuzz harnesses: a check that stops the run (libFuzzer then keeps the input as a
// crash file), and a reader that turns the fuzzer's bytes into texts, flags and numbers.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void() : fuzzsupport::Fail(#condition, __FILE__, __LINE__))

namespace fuzzsupport {

[[noreturn]] inline void Fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

/// Reads the input front to back; past its end every read answers 0 or an empty text.
class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_end(data + size) {}

    bool AtEnd() const { return m_data == m_end; }
    std::uint8_t Byte() { return AtEnd() ? 0 : *m_data++; }
    bool Flag() { return Byte() & 1; }

    /// A text up to the next 0 byte. Bytes below 0x80 are themselves; 0x80..0xBF pick one of the
    /// units that case folding, word tests, escaping and surrogate handling treat specially (so
    /// the fuzzer finds them without guessing 16 bits); 0xC0..0xFF take the next two bytes as
    /// any unit.
    QString Text()
    {
        static constexpr char16_t Special[] = {
            0x212A, 0x212B, 0x00C5, 0x00E5, 0x0130, 0x0131, 0x017F, 0x00DF, 0x1E9E, 0x03A3,
            0x03C3, 0x03C2, 0x0141, 0x0142, 0x00B5, 0x039C, 0x03BC, 0x2126, 0x03A9, 0x03C9,
            0x00C4, 0x00E4, 0x0410, 0x0430, 0x4E2D, 0x3000, 0x00A0, 0x0085, 0x2028, 0x2029,
            0xFEFF, 0xFFFD, 0xFFFE, 0xFFFF, 0xD83D, 0xDE00, 0xD800, 0xDBFF, 0xDC00, 0xDFFF,
            0xDC80, 0xDCFF, 0xDCC3, 0xDCA9, 0x007F, 0x0080, 0x009F, 0x01C4, 0x01C5, 0x01C6,
            0x0345, 0x03B9, 0x0399, 0x1FBE, 0x023A, 0x2C65, 0x03F4, 0x03B8, 0x0398, 0x0000};
        QString text;
        while (!AtEnd()) {
            const std::uint8_t b = Byte();
            if (b == 0)
                break;
            if (b < 0x80) {
                text += QChar(char16_t(b));
            } else if (b < 0xC0) {
                text += QChar(Special[(b - 0x80) % std::size(Special)]);
            } else {
                const std::uint8_t low = Byte();
                text += QChar(char16_t(Byte() << 8 | low));
            }
        }
        return text;
    }

private:
    const std::uint8_t* m_data;
    const std::uint8_t* m_end;
};

} // namespace fuzzsupport
