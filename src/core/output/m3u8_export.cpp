#include "core/output/m3u8_export.h"
#include "core/text/assertion.h"

#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <cstring>
#include <optional>

namespace dirka {

namespace {

bool holdsLineBreak(QStringView path)
{
    return path.contains(u'\r') || path.contains(u'\n');
}

} // namespace

TM3u8Playlist BuildM3u8Playlist(const TResultText& lines, const TExportProgress& progress)
{
    TM3u8Playlist playlist;
    const qsizetype count = lines.LineCount();
    for (qsizetype i = 0; i < count; ++i) {
        if (i % ExportProgressInterval == 0 && progress)
            progress(i);
        if (AppendM3u8Entry(playlist.Bytes, lines.Paths().TabGet(int(i)), playlist.LeftOut))
            ++playlist.Entries;
    }
    return playlist;
}

bool AppendM3u8Entry(QByteArray& out, QStringView path, QStringList& leftOut)
{
    if (path.isEmpty() || path.back() == PathDelimiter)
        return false;
    if (holdsLineBreak(path)) {
        leftOut.append(path.toString());
        return false;
    }
    AppendEncodedFileName(out, path);
    out.append("\r\n", 2);
    return true;
}

bool AppendM3u8Entry(QByteArray& out, QStringView path, QByteArrayView pathBytes,
                     QStringList& leftOut)
{
    if (path.isEmpty() || path.back() == PathDelimiter)
        return false;
    // CR and LF are bytes of their own: every other unit's bytes are from 0x80 on, or ASCII
    // units as they are.
    const auto size = std::size_t(pathBytes.size());
    if (std::memchr(pathBytes.data(), '\r', size) || std::memchr(pathBytes.data(), '\n', size)) {
        leftOut.append(path.toString());
        return false;
    }
    char* p = detail::ReserveTail(out, pathBytes.size() + 2);
    std::memcpy(p, pathBytes.data(), std::size_t(pathBytes.size()));
    p += pathBytes.size();
    *p++ = '\r';
    *p++ = '\n';
    detail::FinishTail(out, p);
    return true;
}

TM3u8Export ExportToM3u8(const QString& fileName, const TResultText& lines,
                         const TExportProgress& progress)
{
    // Written a piece at a time as the paths are read: a million entries never sit in memory
    // at once. The stage says which side failed: 0 reading the paths, 10 writing.
    TM3u8Export result;
    try {
        std::optional<TFileWriter> file; // opened when the first piece is due
        const auto write = [&](const QByteArray& bytes) {
            result.Stage = 10;
            if (!file)
                file.emplace(fileName);
            file->Write(bytes);
        };
        QByteArray piece;
        const qsizetype count = lines.LineCount();
        for (qsizetype i = 0; i < count; ++i) {
            result.Stage = 0;
            if (i % ExportProgressInterval == 0 && progress)
                progress(i);
            if (AppendM3u8Entry(piece, lines.Paths().TabGet(int(i)), result.LeftOut))
                ++result.Entries;
            if (piece.size() >= WritePieceBytes) {
                write(piece);
                piece.clear();
            }
        }
        write(piece);
        file->Finish();
    } catch (const EAssertionFailed&) {
        throw; // a programming error belongs to the error report, not to this message
    } catch (const std::exception& error) {
        result.ErrorText = M3u8ErrorText(result.Stage, QString::fromUtf8(error.what()));
    }
    return result;
}

QString M3u8ErrorText(int stage, QStringView message)
{
    return QStringLiteral("Error #4023/%1. Problem during M3U8 export.\r\n").arg(stage) +
           message.toString();
}

} // namespace dirka
