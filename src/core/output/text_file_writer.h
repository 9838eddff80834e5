#pragma once

#include "core/output/line_encoder.h"
#include "core/system/file_io.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

// Text encodings and the file writer shared by Save As and both exports.
//
// Save As writes the result in "per-unit" UTF-8: every UTF-16 unit is encoded on its own, so a
// surrogate pair becomes two three-byte sequences. The exports write standard UTF-8 instead,
// because browsers and players need it. Files are written complete or not at all, through
// TFileWriter or WriteFileBytes (file_io.h).
namespace dirka {

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
void AppendPerUnitUtf8(QByteArray& out, QStringView text);

/// Every unit low byte first: u"a" gives 61 00.
void AppendUtf16Le(QByteArray& out, QStringView text);

/// True for the save codes that have a writer (5, 4 and 2).
bool IsSaveCode(int code);
/// What a saved file of code starts with: EF BB BF for 5, FF FE for 2, nothing for 4.
QByteArray SaveFileMark(int code);
/// Appends text in the encoding of save code 5, 4 or 2, without the mark, so a file can be
/// written a line at a time: SaveFileMark(code), then the lines with CR LF between them.
void AppendSaveEncoded(QByteArray& out, QStringView text, int code);

/// Appends standard UTF-8: a surrogate pair as one 4-byte sequence; a lone surrogate, U+FFFE
/// and U+FFFF as U+FFFD (EF BF BD), so the output is always valid UTF-8.
void AppendStandardUtf8(QByteArray& out, QStringView text);
QByteArray StandardUtf8(QStringView text);

/// Writes text in per-unit UTF-8, after EF BB BF when withMark is set, a piece at a time.
/// Throws EFileError.
void SaveUtf8TextFile(const QString& fileName, QStringView text, bool withMark);

/// Saves the result in the encoding of code (5, 4 or 2), a line at a time; any other code
/// writes nothing and answers BeepOnly. Throws EFileError.
TSaveOutcome SaveResultText(const QString& fileName, const TResultText& lines, int code);

/// "Error #4021. Problem during saving file." CR LF message
QString SaveErrorText(QStringView message);

/// The result as Save As writes it, a line at a time: the mark of save code 5, 4 or 2, then
/// the lines with CR LF between them.
class TSaveTextEncoder : public TLineEncoder {
public:
    explicit TSaveTextEncoder(int code);
    void AppendHead(QByteArray& out) override;
    void AppendLine(QByteArray& out, const TPassedLine& line) override;
    QString ErrorText(TWriteStage stage, QStringView message) const override;
    bool NeedsPaths() const override { return false; }
    // Per-unit UTF-8 is the UTF-8 codes' own form.
    TLineTextUse LineTextUse() const override
    {
        return m_code == SaveCodeUnicode ? TLineTextUse::Text : TLineTextUse::BytesWillDo;
    }

private:
    int m_code;
    bool m_first = true;
};

namespace detail {

/// Makes room for extra more bytes at the end of out (growing geometrically) and answers where
/// they start; the caller writes there and ends with FinishTail.
char* ReserveTail(QByteArray& out, qsizetype extra);
/// Cuts out back to end, the first byte not written after ReserveTail.
void FinishTail(QByteArray& out, const char* end);

} // namespace detail

} // namespace dirka
