#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstddef>

// File names are bytes; the program works on UTF-16. Names that are valid UTF-8 decode as
// usual; every byte that does not decode becomes one lone surrogate U+DC80..U+DCFF, and
// encoding turns that unit back into the byte, so every name round-trips.
namespace dirka {

/// Appends the decoded name: "caf\xC3\xA9" gives "café", "a\xFF" gives "a" U+DCFF.
void AppendDecodedFileName(QString& out, const char* bytes, std::size_t length);
/// The same written at out, which has room for length units; answers how many it wrote.
/// printableAscii, when given, tells whether every byte was printable ASCII (0x20..0x7E).
qsizetype DecodeFileNameInto(char16_t* out, const char* bytes, std::size_t length,
                             bool* printableAscii = nullptr);
/// Bytes past a name's end that DecodePaddedFileNameInto may read, and units past its length it
/// may write.
inline constexpr std::size_t DecodePadding = 16;
/// DecodeFileNameInto for a name followed by DecodePadding readable bytes, into out with room for
/// length + DecodePadding units: plain ASCII, the common name, is widened 16 bytes at a time
/// without a look at where the name ends.
qsizetype DecodePaddedFileNameInto(char16_t* out, const char* bytes, std::size_t length,
                                   bool* printableAscii);
QString DecodeFileName(const char* bytes, std::size_t length);
QString DecodeFileName(const QByteArray& bytes);

/// The bytes of a decoded name or path: the inverse of DecodeFileName. Surrogate pairs become
/// 4-byte UTF-8, U+DC80..U+DCFF alone become their original byte.
QByteArray EncodeFileName(QStringView name);
/// EncodeFileName appended to out, for loops that reuse one buffer.
void AppendEncodedFileName(QByteArray& out, QStringView name);

/// True for the lone units that stand for undecodable bytes.
bool IsEscapedByte(QStringView text, qsizetype index);

} // namespace dirka
