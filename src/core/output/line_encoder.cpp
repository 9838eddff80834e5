#include "core/output/line_encoder.h"

#include "core/system/file_io.h"
#include "core/text/assertion.h"
#include "core/text/text_utils.h"

#include <optional>

namespace dirka {

namespace {

// The record made by line, if any: records come rising, so one pass finds them all.
class TRecordCursor {
public:
    explicit TRecordCursor(const TResultText& lines) : m_lines(lines) {}

    const TItemFacts* At(qsizetype line)
    {
        const qsizetype count = m_lines.RecordCount();
        while (m_next < count && m_record.Line < line)
            m_record = m_lines.Record(m_next++);
        if (m_record.Line != line)
            return nullptr;
        m_facts = m_record.Facts();
        return &m_facts;
    }

private:
    const TResultText& m_lines;
    qsizetype m_next = 0;
    TLineRecord m_record{.Line = -1};
    TItemFacts m_facts;
};

// The line's text as the encoder takes it: its held bytes where they will do, else decoded.
void passText(TPassedLine& line, const TResultText& lines, qsizetype i,
              TLineEncoder::TLineTextUse use)
{
    const TCompactText::THeldLine held = lines.HeldLine(i);
    if (held.PerUnitUtf8)
        line.PerUnitUtf8Line = held.Bytes;
    else if (IsAscii(held.Bytes.data(), held.Bytes.size()))
        line.AsciiLine = held.Bytes;
    const bool bytesGiven = !line.AsciiLine.isEmpty() || !line.PerUnitUtf8Line.isEmpty();
    if (use == TLineEncoder::TLineTextUse::Text || !bytesGiven)
        line.Line = lines.Line(i);
}

} // namespace

void EncodeLines(TLineEncoder& encoder, const TResultText& lines,
                 const std::function<void(const QByteArray& piece)>& put,
                 const TExportProgress& progress)
{
    QByteArray piece;
    encoder.AppendHead(piece);
    const bool withPaths = encoder.NeedsPaths();
    const TLineEncoder::TLineTextUse textUse = encoder.LineTextUse();
    if (withPaths)
        lines.ResetPathCache(); // sequential look-ups start clean
    TRecordCursor records(lines);
    QString path;
    const qsizetype count = lines.LineCount();
    for (qsizetype i = 0; i < count; ++i) {
        if (i % ExportProgressInterval == 0 && progress)
            progress(i);
        if (withPaths)
            path = lines.PathOf(int(i));
        TPassedLine line;
        if (textUse != TLineEncoder::TLineTextUse::Unused)
            passText(line, lines, i, textUse);
        line.Path = path;
        line.Record = records.At(i);
        encoder.AppendLine(piece, line);
        if (piece.size() >= WritePieceBytes) {
            put(piece);
            piece.truncate(0);
        }
    }
    encoder.AppendFoot(piece);
    put(piece);
}

TLinesWritten WriteLines(const QString& fileName, TLineEncoder& encoder, const TResultText& lines,
                         const TExportProgress& progress)
{
    TLinesWritten result;
    try {
        std::optional<TFileWriter> file; // opened when the first piece is due
        const auto write = [&](const QByteArray& piece) {
            result.Stage = TWriteStage::Write;
            if (!file)
                file.emplace(fileName);
            file->Write(piece);
            result.Stage = TWriteStage::Read;
        };
        EncodeLines(encoder, lines, write, progress);
        result.Stage = TWriteStage::Write;
        file->Finish();
    } catch (const EAssertionFailed&) {
        throw; // a programming error belongs to the error report, not to this message
    } catch (const std::exception& error) {
        result.ErrorText = encoder.ErrorText(result.Stage, QString::fromUtf8(error.what()));
    }
    return result;
}

} // namespace dirka
