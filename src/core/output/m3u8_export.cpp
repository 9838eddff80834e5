#include "core/output/m3u8_export.h"
#include "core/text/assertion.h"

#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <cstring>

namespace dirka {

namespace {

bool holdsLineBreak(QStringView path)
{
    return path.contains(u'\r') || path.contains(u'\n');
}

} // namespace

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

void TM3u8Encoder::AppendLine(QByteArray& out, const TPassedLine& line)
{
    const bool added = line.PathBytes.isEmpty()
                           ? AppendM3u8Entry(out, line.Path, m_leftOut)
                           : AppendM3u8Entry(out, line.Path, line.PathBytes, m_leftOut);
    if (added)
        ++m_entries;
}

QString TM3u8Encoder::ErrorText(TWriteStage stage, QStringView message) const
{
    return M3u8ErrorText(stage, message);
}

TM3u8Playlist BuildM3u8Playlist(const TResultText& lines, const TExportProgress& progress)
{
    TM3u8Encoder encoder;
    TM3u8Playlist playlist;
    EncodeLines(
        encoder, lines, [&playlist](const QByteArray& piece) { playlist.Bytes.append(piece); },
        progress);
    playlist.Entries = encoder.Entries();
    playlist.LeftOut = encoder.LeftOut();
    return playlist;
}

// Written a piece at a time as the paths are read: a million entries never sit in memory at
// once.
TM3u8Export ExportToM3u8(const QString& fileName, const TResultText& lines,
                         const TExportProgress& progress)
{
    TM3u8Encoder encoder;
    TM3u8Export result;
    static_cast<TLinesWritten&>(result) = WriteLines(fileName, encoder, lines, progress);
    result.Entries = encoder.Entries();
    result.LeftOut = encoder.LeftOut();
    return result;
}

QString M3u8ErrorText(TWriteStage stage, QStringView message)
{
    return QStringLiteral("Error #4023/%1. Problem during M3U8 export.\r\n").arg(int(stage)) +
           message.toString();
}

} // namespace dirka
