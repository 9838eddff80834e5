#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>
#include <stdexcept>

// Text encodings and the file writer shared by Save As and both exports.
//
// Save As writes the result in "per-unit" UTF-8: every UTF-16 unit is encoded on its own, so a
// surrogate pair becomes two three-byte sequences. The exports write standard UTF-8 instead,
// because browsers and players need it. Every write goes through QSaveFile when the target is
// absent or a regular file (a failed write leaves the old file as it was); a device, FIFO or
// stream alias such as /dev/stdout is written in place and never replaced.
namespace dirka {

/// A file that could not be written; the message is the system's reason.
class EFileError : public std::runtime_error {
public:
    explicit EFileError(const QString& message);
    QString Message() const { return QString::fromUtf8(what()); }
};

/// Called by the exports with the line index at every multiple of 1024 lines, so a window can
/// show progress and let pending events run.
using TExportProgress = std::function<void(qsizetype line)>;

/// The save encoding codes of the "Encoding (Save)" menu that have a writer.
inline constexpr int SaveCodeUtf8Bom = 5;
inline constexpr int SaveCodeUtf8 = 4;
inline constexpr int SaveCodeUnicode = 2;

enum class TSaveOutcome {
    Written,
    BeepOnly, // a code without a writer: nothing was written, the caller beeps
};

/// Bytes of the per-unit UTF-8 form: PerUnitUtf8Length(u"a\u00E9\u20AC") == 6, and a
/// character beyond U+FFFF counts 6.
qsizetype PerUnitUtf8Length(QStringView text);

/// Per-unit UTF-8, optionally after EF BB BF: u"a\r\n\u00E9" gives 61 0D 0A C3 A9.
QByteArray EncodePerUnitUtf8(QStringView text, bool withMark);

/// FF FE, then every unit low byte first: u"a" gives FF FE 61 00.
QByteArray EncodeUtf16Le(QStringView text);

/// Appends standard UTF-8: a surrogate pair as one 4-byte sequence; a lone surrogate, U+FFFE
/// and U+FFFF as U+FFFD (EF BF BD), so the output is always valid UTF-8.
void AppendStandardUtf8(QByteArray& out, QStringView text);
QByteArray StandardUtf8(QStringView text);

/// Appends the bytes of a stored path as the file system knows it: standard UTF-8, with each
/// lone U+DC80..U+DCFF written as the byte it stands for (the same bytes as EncodeFileName).
void AppendPathBytes(QByteArray& out, QStringView path);

/// Makes bytes the whole content of fileName; throws EFileError with the system's reason.
void WriteFileBytes(const QString& fileName, const QByteArray& bytes);

/// Writes text in per-unit UTF-8, after EF BB BF when withMark is set. The buffer is sized in
/// a first pass, filled in a second and written at once. Throws EFileError.
void SaveUtf8TextFile(const QString& fileName, QStringView text, bool withMark);

/// Saves the result text in the encoding of code (5, 4 or 2); any other code writes nothing
/// and answers BeepOnly. Throws EFileError.
TSaveOutcome SaveResultText(const QString& fileName, QStringView text, int code);

/// "Error #4021. Problem during saving file." CR LF message
QString SaveErrorText(QStringView message);

namespace detail {

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

/// Makes room for extra more bytes at the end of out (growing geometrically) and answers where
/// they start; the caller writes there and ends with FinishTail.
char* ReserveTail(QByteArray& out, qsizetype extra);
/// Cuts out back to end, the first byte not written after ReserveTail.
void FinishTail(QByteArray& out, const char* end);

} // namespace detail

} // namespace dirka
