#include "core/output/text_file_writer.h"

#include "core/text/assertion.h"
#include "core/text/text_utils.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace dirka {

namespace {

constexpr char Utf8Mark[] = "\xEF\xBB\xBF";
constexpr qsizetype Utf8MarkLength = 3;

// Display text: lone surrogates, U+FFFE and U+FFFF become U+FFFD.
void appendUtf8(QByteArray& out, QStringView text)
{
    const char16_t* s = Units(text);
    const qsizetype n = text.size();
    // Three bytes per unit is the most any unit needs (a pair takes four for two units).
    char* p = detail::ReserveTail(out, 3 * n);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            *p++ = char(c);
        } else if (!QChar::isSurrogate(c)) {
            p = PutUtf8(p, c >= 0xFFFE ? ReplacementChar : c);
        } else {
            p = PutSurrogateUtf8(p, s, i, n);
        }
    }
    detail::FinishTail(out, p);
}

// Every unit on its own, surrogate halves too: at most three bytes each.
char* putPerUnitUtf8(char* p, QStringView text)
{
    const char16_t* s = Units(text);
    return PutAsciiRuns<false>(p, text, [s](char* at, qsizetype& i) {
        const char16_t c = s[i];
        if (c < 0x800) {
            *at++ = char(0xC0 | (c >> 6));
            *at++ = char(0x80 | (c & 0x3F));
        } else {
            *at++ = char(0xE0 | (c >> 12));
            *at++ = char(0x80 | ((c >> 6) & 0x3F));
            *at++ = char(0x80 | (c & 0x3F));
        }
        return at;
    });
}

} // namespace

namespace detail {

char* ReserveTail(QByteArray& out, qsizetype extra)
{
    const qsizetype size = out.size();
    const qsizetype needed = size + extra;
    if (needed > out.capacity())
        out.reserve(std::max(needed, 2 * out.capacity()));
    out.resize(needed);
    return out.data() + size;
}

void FinishTail(QByteArray& out, const char* end)
{
    out.truncate(end - out.constData());
}

} // namespace detail

qsizetype PerUnitUtf8Length(QStringView text)
{
    const char16_t* s = Units(text);
    qsizetype length = text.size();
    for (qsizetype i = 0; i < text.size(); ++i)
        length += qsizetype(s[i] >= 0x80) + qsizetype(s[i] >= 0x800);
    return length;
}

void AppendPerUnitUtf8(QByteArray& out, QStringView text)
{
    char* p = detail::ReserveTail(out, 3 * text.size());
    detail::FinishTail(out, putPerUnitUtf8(p, text));
}

QByteArray EncodePerUnitUtf8(QStringView text, bool withMark)
{
    // Sized exactly: a whole result may be hundreds of megabytes.
    const qsizetype markLength = withMark ? Utf8MarkLength : 0;
    QByteArray out(markLength + PerUnitUtf8Length(text), Qt::Uninitialized);
    char* p = std::copy_n(Utf8Mark, markLength, out.data());
    p = putPerUnitUtf8(p, text);
    Assert(p == out.constData() + out.size());
    return out;
}

void AppendUtf16Le(QByteArray& out, QStringView text)
{
    char* p = detail::ReserveTail(out, 2 * text.size());
    if (!text.isEmpty()) // an empty view may hold no pointer at all
        qToLittleEndian<char16_t>(text.utf16(), text.size(), p);
}

bool IsSaveCode(int code)
{
    return code == SaveCodeUtf8Bom || code == SaveCodeUtf8 || code == SaveCodeUnicode;
}

QByteArray SaveFileMark(int code)
{
    if (code == SaveCodeUtf8Bom)
        return QByteArray(Utf8Mark, Utf8MarkLength);
    if (code == SaveCodeUnicode)
        return QByteArrayLiteral("\xFF\xFE");
    return {};
}

void AppendSaveEncoded(QByteArray& out, QStringView text, int code)
{
    Assert(IsSaveCode(code));
    if (code == SaveCodeUnicode)
        AppendUtf16Le(out, text);
    else
        AppendPerUnitUtf8(out, text);
}

void AppendStandardUtf8(QByteArray& out, QStringView text)
{
    appendUtf8(out, text);
}

QByteArray StandardUtf8(QStringView text)
{
    QByteArray out;
    AppendStandardUtf8(out, text);
    return out;
}

namespace {

// A million-line result is encoded and written a piece at a time: the file never needs a
// second whole copy of the text in memory. Every encoding here writes each unit on its own, so
// the pieces may end anywhere.
constexpr qsizetype PieceUnits = qsizetype(1) << 20;

void writeEncoded(const QString& fileName, QStringView text, int code)
{
    TFileWriter file(fileName);
    QByteArray piece = SaveFileMark(code);
    for (qsizetype at = 0; at < text.size(); at += PieceUnits) {
        AppendSaveEncoded(piece, text.sliced(at, std::min(PieceUnits, text.size() - at)), code);
        file.Write(piece);
        piece.clear();
    }
    file.Write(piece);
    file.Finish();
}

} // namespace

void SaveUtf8TextFile(const QString& fileName, QStringView text, bool withMark)
{
    writeEncoded(fileName, text, withMark ? SaveCodeUtf8Bom : SaveCodeUtf8);
}

TSaveOutcome SaveResultText(const QString& fileName, const TResultText& lines, int code)
{
    if (!IsSaveCode(code))
        return TSaveOutcome::BeepOnly;
    TFileWriter file(fileName);
    TSaveTextEncoder encoder(code);
    EncodeLines(encoder, lines, [&file](const QByteArray& piece) { file.Write(piece); });
    file.Finish();
    return TSaveOutcome::Written;
}

QString SaveErrorText(QStringView message)
{
    return u"Error #4021. Problem during saving file.\r\n" + message.toString();
}

TSaveTextEncoder::TSaveTextEncoder(int code) : m_code(code)
{
    Assert(IsSaveCode(code));
}

void TSaveTextEncoder::AppendHead(QByteArray& out)
{
    out.append(SaveFileMark(m_code));
}

void TSaveTextEncoder::AppendLine(QByteArray& out, const TPassedLine& line)
{
    // An ASCII line's per-unit UTF-8 is its bytes.
    const QByteArrayView bytes = !line.AsciiLine.isEmpty() ? line.AsciiLine : line.PerUnitUtf8Line;
    if (!bytes.isEmpty() && m_code != SaveCodeUnicode) {
        const qsizetype size = bytes.size();
        char* p = detail::ReserveTail(out, size + 2);
        if (!m_first) {
            *p++ = '\r';
            *p++ = '\n';
        }
        m_first = false;
        std::memcpy(p, bytes.data(), std::size_t(size));
        detail::FinishTail(out, p + size);
        return;
    }
    if (!m_first)
        AppendSaveEncoded(out, u"\r\n", m_code);
    m_first = false;
    AppendSaveEncoded(out, line.Line, m_code);
}

QString TSaveTextEncoder::ErrorText(TWriteStage stage, QStringView message) const
{
    Q_UNUSED(stage);
    return SaveErrorText(message);
}

} // namespace dirka
