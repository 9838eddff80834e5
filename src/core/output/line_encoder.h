#pragma once

#include "core/listing/item_facts.h"
#include "core/listing/result_text.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <functional>

// Every file a result is written to has one format, and one encoder turns result lines into the
// bytes of that format: its head, each line, its foot. The window writes its result through an
// encoder with WriteLines; the command line's files feed the same encoders as the lines come.
namespace dirka {

struct TRecordFields;

/// The bytes an export or the command line gathers before it writes them: few system calls,
/// little memory.
inline constexpr qsizetype WritePieceBytes = qsizetype(1) << 20;

/// How often the exports report progress: every this many lines.
inline constexpr qsizetype ExportProgressInterval = 1024;

/// Called by the exports with the line index at every multiple of ExportProgressInterval, so a
/// window can show progress and let pending events run.
using TExportProgress = std::function<void(qsizetype line)>;

/// What a failed export was doing, as its error message numbers it.
enum class TWriteStage {
    Read = 0,   // reading the result and the file system
    Write = 10, // writing the file
};

/// A result line as the encoders take it. The bytes are made once by a caller that feeds
/// several encoders; empty views mean "not made", and an encoder makes what it needs.
struct TPassedLine {
    QStringView Line;
    QStringView Path;                   // of the item the line shows; empty when it shows none
    const TItemFacts* Record = nullptr; // for the one line that makes the item's record
    QByteArrayView AsciiLine;           // the line's bytes when every unit is ASCII
    QByteArrayView PerUnitUtf8Line;     // or its per-unit UTF-8, when the caller holds that
    QByteArrayView PathBytes;           // EncodeFileName(Path)
    // What every records file takes from Record and Path, worked out once by a caller that
    // feeds several; nullptr: each works it out.
    const TRecordFields* RecordFields = nullptr;
};

/// One file format, written a line at a time.
class TLineEncoder {
public:
    virtual ~TLineEncoder() = default;
    virtual void AppendHead(QByteArray& out) { Q_UNUSED(out); }
    virtual void AppendLine(QByteArray& out, const TPassedLine& line) = 0;
    virtual void AppendFoot(QByteArray& out) { Q_UNUSED(out); }
    /// The message of a failure at stage, the system's message following the format's own.
    virtual QString ErrorText(TWriteStage stage, QStringView message) const = 0;
    /// Whether lines must come with their items' paths.
    virtual bool NeedsPaths() const { return true; }
    /// What the encoder takes of a line's text.
    enum class TLineTextUse {
        Text,        // Line
        BytesWillDo, // AsciiLine or PerUnitUtf8Line when given, else Line
        Unused,      // nothing: the encoder writes what it makes of the path and the record
    };
    virtual TLineTextUse LineTextUse() const { return TLineTextUse::Text; }
};

/// How a written export ended: an empty ErrorText means the file was written.
struct TLinesWritten {
    TWriteStage Stage = TWriteStage::Read; // the stage reached
    QString ErrorText;
    bool Ok() const { return ErrorText.isEmpty(); }
};

/// Encodes every line of lines (with its path and record) and hands the bytes to put a piece of
/// about WritePieceBytes at a time, head and foot included. Calls progress at every
/// ExportProgressInterval-th line.
void EncodeLines(TLineEncoder& encoder, const TResultText& lines,
                 const std::function<void(const QByteArray& piece)>& put,
                 const TExportProgress& progress = {});

/// Writes lines through encoder to fileName, replacing the file only when it is complete; any
/// failure is caught and described by the encoder, with the stage reached.
TLinesWritten WriteLines(const QString& fileName, TLineEncoder& encoder, const TResultText& lines,
                         const TExportProgress& progress = {});

} // namespace dirka
