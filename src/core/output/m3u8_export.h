#pragma once

#include "core/listing/result_text.h"
#include "core/output/line_encoder.h"
#include "core/output/text_file_writer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The M3U8 playlist of a result: the full path of every listed file, in the order of the
// result lines, each followed by CR LF, in UTF-8 without a mark and without any "#" line.
// Paths are written as the file system knows them (undecodable names as their original bytes).
namespace dirka {

struct TM3u8Playlist {
    QByteArray Bytes;
    qsizetype Entries = 0;
    /// Paths holding CR or LF: they would split their entry (and could smuggle in another), so
    /// they are left out and named here for the caller to report.
    QStringList LeftOut;
};

/// Appends the playlist entry of one result line's path: nothing for an empty path or a folder
/// (ending in the delimiter); a path holding a line break is added to leftOut instead. Answers
/// whether an entry was written.
bool AppendM3u8Entry(QByteArray& out, QStringView path, QStringList& leftOut);
/// The same with pathBytes, EncodeFileName(path) (file_names.h), made once by a caller that
/// needs them for more than the playlist.
bool AppendM3u8Entry(QByteArray& out, QStringView path, QByteArrayView pathBytes,
                     QStringList& leftOut);

/// The playlist format: an entry for every line that shows a file. Entries() counts them;
/// LeftOut() names the paths left out for a line break.
class TM3u8Encoder : public TLineEncoder {
public:
    void AppendLine(QByteArray& out, const TPassedLine& line) override;
    TLineTextUse LineTextUse() const override { return TLineTextUse::Unused; }
    QString ErrorText(TWriteStage stage, QStringView message) const override;
    qsizetype Entries() const { return m_entries; }
    const QStringList& LeftOut() const { return m_leftOut; }

private:
    qsizetype m_entries = 0;
    QStringList m_leftOut;
};

/// Collects the files of lines from their line store (TabGet); lines without an item and
/// folder lines (ending in the delimiter) give no entry. Calls progress at every 1024th line.
TM3u8Playlist BuildM3u8Playlist(const TResultText& lines, const TExportProgress& progress = {});

/// How an export ended: an empty ErrorText means the file was written.
struct TM3u8Export : TLinesWritten {
    qsizetype Entries = 0;
    QStringList LeftOut;
};

/// Writes the playlist to fileName a piece at a time as the paths are read (replacing the file
/// only when complete); any failure is caught and described in ErrorText with the stage
/// reached. LeftOut names the paths left out up to where the export got.
TM3u8Export ExportToM3u8(const QString& fileName, const TResultText& lines,
                         const TExportProgress& progress = {});

/// "Error #4023/10. Problem during M3U8 export." CR LF message
QString M3u8ErrorText(TWriteStage stage, QStringView message);

} // namespace dirka
