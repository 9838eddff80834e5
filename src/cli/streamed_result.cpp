#include "cli/streamed_result.h"

#include "cli/cli_messages.h"
#include "core/listing/file_system.h"
#include "core/listing/line_composition.h"
#include "core/output/m3u8_export.h"
#include "core/output/text_file_writer.h"
#include "core/system/background_work.h"
#include "core/system/file_io.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <algorithm>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace dirka {

namespace {

constexpr qsizetype MaxUtf8PerUnit = 3;
// Bytes of lines and paths the files are handed at once.
constexpr qsizetype BatchBytes = 1 << 19;

} // namespace

/// One requested file: its encoder's bytes are gathered in chunks and written through one
/// TFileWriter, which is opened with the first batch of lines (Open, on the listing's side, so
/// the listing knows the copy). The lines are put and written in the background; after a
/// failure the file is dropped and reported once, by Report on the listing's side.
class TFileChannel {
public:
    TFileChannel(const QString& fileName, std::unique_ptr<TLineEncoder> encoder,
                 std::function<void()> reportEnd = {})
        : m_fileName(fileName), m_encoder(std::move(encoder)), m_reportEnd(std::move(reportEnd))
    {
        m_encoder->AppendHead(m_buffer);
    }

    bool NeedsPaths() const { return m_encoder->NeedsPaths(); }
    bool NeedsLineText() const
    {
        return m_encoder->LineTextUse() != TLineEncoder::TLineTextUse::Unused;
    }

    void Open()
    {
        if (m_failed || m_writer)
            return;
        try {
            m_writer.emplace(m_fileName);
        } catch (const EFileError& error) {
            fail(error);
        }
    }

    void Put(const TPassedLine& line)
    {
        if (m_failed)
            return;
        m_encoder->AppendLine(m_buffer, line);
        if (m_buffer.size() >= WritePieceBytes)
            writeBuffer();
    }

    /// Prints the failure met in the background, and lets the file go.
    void Report()
    {
        if (!m_failure.isEmpty())
            PrintError(std::exchange(m_failure, QString()));
        if (m_failed)
            m_writer.reset();
    }

    bool IsCopy(std::uint64_t device, std::uint64_t inode) const
    {
        return m_writer && m_writer->IsCopy(device, inode);
    }

    bool Finish(bool keep)
    {
        Report();
        if (!keep) {
            m_writer.reset();
            return !m_failed;
        }
        if (!m_failed) {
            m_encoder->AppendFoot(m_buffer);
            writeBuffer();
        }
        if (!m_failed) {
            try {
                m_writer->Finish();
            } catch (const EFileError& error) {
                fail(error);
            }
        }
        Report();
        if (m_reportEnd)
            m_reportEnd();
        return !m_failed;
    }

private:
    void writeBuffer()
    {
        try {
            if (!m_writer)
                m_writer.emplace(m_fileName);
            m_writer->Write(m_buffer);
            m_buffer.truncate(0);
        } catch (const EFileError& error) {
            fail(error);
        }
    }

    // The writer stays until Report: the listing may be asking IsCopy meanwhile.
    void fail(const EFileError& error)
    {
        m_failed = true;
        m_buffer = QByteArray();
        m_failure = m_encoder->ErrorText(TWriteStage::Write, error.Message());
    }

    QString m_fileName;
    std::unique_ptr<TLineEncoder> m_encoder;
    std::function<void()> m_reportEnd; // after the file is finished
    QByteArray m_buffer;
    std::optional<TFileWriter> m_writer;
    bool m_failed = false;
    QString m_failure;
};

TStreamedResult::TStreamedResult(std::FILE* out)
    : m_out(out), m_background(std::make_unique<TBackgroundWork>())
{
}

TStreamedResult::~TStreamedResult()
{
    m_background->WaitQuietly(); // the work in the background uses the files
}

// The lines passed on so far went to the files there were; a new file starts with the next.
void TStreamedResult::addFile(std::unique_ptr<TFileChannel> file)
{
    putLinesSoFar();
    const bool needsPaths = file->NeedsPaths();
    m_filesNeedLineText = m_filesNeedLineText || file->NeedsLineText();
    m_files.push_back(std::move(file));
    if (needsPaths && !m_keepPaths) {
        m_keepPaths = true;
        // The lines held so far have no path: there was no file to take it.
        m_paths.clear();
        m_pathStarts.assign(m_starts.size(), 0);
        m_pathIsLine.assign(m_starts.size(), 0);
        m_records.clear();
    }
}

void TStreamedResult::AddTextFile(const QString& fileName, int saveCode)
{
    addFile(std::make_unique<TFileChannel>(fileName, std::make_unique<TSaveTextEncoder>(saveCode)));
}

void TStreamedResult::AddPlaylist(const QString& fileName)
{
    auto encoder = std::make_unique<TM3u8Encoder>();
    const TM3u8Encoder& playlist = *encoder;
    addFile(std::make_unique<TFileChannel>(fileName, std::move(encoder), [&playlist] {
        for (const QString& path : playlist.LeftOut())
            PrintError(QStringLiteral("left out of the playlist (line break in the name): %1")
                           .arg(ShownText(path)));
    }));
}

void TStreamedResult::AddPage(const QString& fileName, THtmlExportOptions options)
{
    addFile(std::make_unique<TFileChannel>(fileName,
                                           std::make_unique<THtmlPageEncoder>(std::move(options))));
}

void TStreamedResult::AddRecords(const QString& fileName, TRecordFormat format,
                                 QStringList locations, TCsvCells cells)
{
    addFile(std::make_unique<TFileChannel>(
        fileName, std::make_unique<TRecordEncoder>(format, std::move(locations), cells)));
    ++m_recordFiles;
}

QStringView TStreamedResult::Line(qsizetype index) const
{
    if (index == m_base - 1) {
        m_decodedLine =
            QString::fromUtf8(m_lastStart >= 0 ? m_utf8.View(m_lastStart, m_lastEnd - m_lastStart)
                                               : QByteArrayView(m_lastPassedUtf8));
        return m_decodedLine;
    }
    Assert(index >= m_base && index < LineCount());
    const std::size_t k = std::size_t(index - m_base);
    const qsizetype end = k + 1 < m_starts.size() ? m_starts[k + 1] : m_utf8.Size();
    m_decodedLine = QString::fromUtf8(m_utf8.View(m_starts[k], end - 1 - m_starts[k]));
    return m_decodedLine;
}

void TStreamedResult::AppendLine(QStringView text)
{
    AppendItemLine(text, {});
}

void TStreamedResult::CommitItemLineUtf8(qsizetype start, const TLineItem& item)
{
    const QStringView folderPath = item.FolderPath;
    const QStringView name = item.Name;
    m_starts.push_back(start);
    if (m_keepPaths) {
        keepRecord(item.Record);
        const QByteArrayView text = m_utf8.View(start, m_utf8.Size() - start);
        // A listing of full paths shows the path itself: it is kept once, as the line.
        const qsizetype n = folderPath.size();
        const bool isLine = text.size() == n + name.size() && IsAscii(text.data(), text.size()) &&
                            QLatin1StringView(text.first(n)) == folderPath &&
                            QLatin1StringView(text.sliced(n)) == name;
        keepPath(folderPath, name, isLine);
    }
    m_utf8.Append('\n');
}

void TStreamedResult::AppendItemLine(QStringView text, const TLineItem& item)
{
    m_starts.push_back(m_utf8.Size());
    char* end = m_encoder.appendToBuffer(m_utf8.Reserve(text.size() * MaxUtf8PerUnit + 1), text);
    *end++ = '\n';
    m_utf8.SetEnd(end);
    if (m_keepPaths) {
        keepRecord(item.Record);
        keepPath(item.FolderPath, item.Name, false);
    }
}

// The record of the line just added, numbered among the lines held.
void TStreamedResult::keepRecord(const TItemFacts* facts)
{
    if (facts != nullptr)
        m_records.push_back({facts->Size, facts->Modified, std::int32_t(m_starts.size() - 1),
                             facts->Type, facts->State});
}

void TStreamedResult::keepPath(QStringView folderPath, QStringView name, bool isLine)
{
    m_pathStarts.push_back(m_paths.size());
    m_pathIsLine.push_back(isLine);
    if (!isLine) {
        m_paths.append(folderPath);
        m_paths.append(name);
    }
}

void TStreamedResult::TruncateLines(qsizetype count)
{
    Assert(count >= m_base);
    if (count >= LineCount())
        return;
    const std::size_t kept = std::size_t(count - m_base);
    m_utf8.Truncate(m_starts[kept]);
    m_starts.resize(kept);
    if (m_keepPaths) {
        m_paths.truncate(m_pathStarts[kept]);
        m_pathStarts.resize(kept);
        m_pathIsLine.resize(kept);
        while (!m_records.empty() && std::size_t(m_records.back().Line) >= kept)
            m_records.pop_back();
    }
}

void TStreamedResult::LinesFinal(qsizetype count)
{
    Assert(count >= m_base && count <= LineCount());
    const std::size_t passed = std::size_t(count - m_base);
    if (passed == 0)
        return;
    if (!m_files.empty())
        gather(passed);
    // Passing on is moving the line between final and held.
    const bool all = passed == m_starts.size();
    m_finalBytes = all ? m_utf8.Size() : m_starts[passed];
    m_lastStart = m_starts[passed - 1];
    m_lastEnd = m_finalBytes - 1;
    if (all)
        m_starts.clear();
    else
        m_starts.erase(m_starts.begin(), m_starts.begin() + std::ptrdiff_t(passed));
    if (m_keepPaths) {
        const qsizetype pathCut = all ? m_paths.size() : m_pathStarts[passed];
        m_paths.remove(0, pathCut);
        m_pathStarts.erase(m_pathStarts.begin(), m_pathStarts.begin() + std::ptrdiff_t(passed));
        m_pathIsLine.erase(m_pathIsLine.begin(), m_pathIsLine.begin() + std::ptrdiff_t(passed));
        for (qsizetype& start : m_pathStarts)
            start -= pathCut;
        const auto held = std::find_if(m_records.begin(), m_records.end(), [passed](const auto& r) {
            return std::size_t(r.Line) >= passed;
        });
        m_records.erase(m_records.begin(), held);
        for (TLineRecord& record : m_records)
            record.Line -= std::int32_t(passed);
    }
    m_base = count;
    if (m_finalBytes >= WritePieceBytes || !m_printing)
        flushUtf8();
}

// Writes the final bytes and moves the held lines to the front.
void TStreamedResult::flushUtf8()
{
    if (m_lastStart >= 0) {
        m_lastPassedUtf8 = m_utf8.View(m_lastStart, m_lastEnd - m_lastStart).toByteArray();
        m_lastStart = -1;
    }
    if (m_printing)
        writeOut(m_utf8.Data(), m_finalBytes);
    m_utf8.RemoveFront(m_finalBytes);
    for (qsizetype& start : m_starts)
        start -= m_finalBytes;
    m_finalBytes = 0;
}

void TStreamedResult::TBatch::Clear()
{
    Lines.Clear();
    Starts.clear();
    Paths.truncate(0);
    PathStarts.clear();
    PathIsLine.clear();
    Records.clear();
}

// The files take the lines in batches, in the background: the first passed lines held join
// the batch, with their paths.
void TStreamedResult::gather(std::size_t passed)
{
    const qsizetype from = m_starts[0];
    const qsizetype to = passed < m_starts.size() ? m_starts[passed] : m_utf8.Size();
    const qsizetype lineBase = m_batch.Lines.Size() - from;
    const auto firstLine = std::int32_t(m_batch.Starts.size());
    m_batch.Lines.Append(m_utf8.Data() + from, to - from);
    for (std::size_t k = 0; k < passed; ++k)
        m_batch.Starts.push_back(lineBase + m_starts[k]);
    if (m_keepPaths) {
        const qsizetype pathCut =
            passed < m_pathStarts.size() ? m_pathStarts[passed] : m_paths.size();
        const qsizetype pathBase = m_batch.Paths.size();
        m_batch.Paths.append(QStringView(m_paths).first(pathCut));
        for (std::size_t k = 0; k < passed; ++k)
            m_batch.PathStarts.push_back(pathBase + m_pathStarts[k]);
        m_batch.PathIsLine.insert(m_batch.PathIsLine.end(), m_pathIsLine.begin(),
                                  m_pathIsLine.begin() + std::ptrdiff_t(passed));
        for (TLineRecord record : m_records) {
            if (std::size_t(record.Line) >= passed)
                break;
            record.Line += firstLine;
            m_batch.Records.push_back(record);
        }
    }
    if (m_batch.Lines.Size() + 2 * m_batch.Paths.size() >= BatchBytes)
        putBatch();
}

// Hands the lines gathered to the background once the batch before is put.
void TStreamedResult::putBatch()
{
    if (m_batch.Starts.empty())
        return;
    m_background->Wait();
    for (const std::unique_ptr<TFileChannel>& file : m_files) {
        file->Report();
        file->Open();
    }
    std::swap(m_batch, m_putting);
    m_batch.Clear();
    m_background->Start([this] { putLines(m_putting); });
}

void TStreamedResult::putLinesSoFar()
{
    putBatch();
    m_background->Wait();
}

// In the background: every line of batch to every file, with what the files share of it.
void TStreamedResult::putLines(const TBatch& batch)
{
    const std::size_t count = batch.Starts.size();
    const bool hasPaths = !batch.PathStarts.empty();
    std::size_t nextRecord = 0;
    TItemFacts facts;
    TRecordFields fields;
    for (std::size_t k = 0; k < count; ++k) {
        const qsizetype end = k + 1 < count ? batch.Starts[k + 1] : batch.Lines.Size();
        const QByteArrayView bytes = batch.Lines.View(batch.Starts[k], end - 1 - batch.Starts[k]);
        TPassedLine passed;
        const bool pathIsLine = hasPaths && batch.PathIsLine[k] != 0;
        // Records and playlists take nothing of the text but a path that is the line.
        if (m_filesNeedLineText || pathIsLine) {
            m_lineText.truncate(0);
            if (IsAscii(bytes.data(), bytes.size())) {
                m_lineText.append(QLatin1StringView(bytes));
                passed.AsciiLine = bytes;
            } else {
                m_lineText.append(QString::fromUtf8(bytes));
            }
            passed.Line = m_lineText;
        }
        if (pathIsLine) {
            passed.Path = m_lineText;
            passed.PathBytes = bytes;
        } else if (hasPaths) {
            const qsizetype pathEnd = k + 1 < count ? batch.PathStarts[k + 1] : batch.Paths.size();
            passed.Path =
                QStringView(batch.Paths).sliced(batch.PathStarts[k], pathEnd - batch.PathStarts[k]);
            if (!passed.Path.isEmpty()) {
                m_pathBytes.truncate(0);
                AppendEncodedFileName(m_pathBytes, passed.Path);
                passed.PathBytes = m_pathBytes;
            }
        }
        if (nextRecord < batch.Records.size() && std::size_t(batch.Records[nextRecord].Line) == k) {
            facts = batch.Records[nextRecord++].Facts();
            passed.Record = &facts;
            if (m_recordFiles > 1 && !passed.Path.isEmpty()) {
                fields = RecordFieldsOf(passed.Path, passed.PathBytes, facts);
                passed.RecordFields = &fields;
            }
        }
        for (const std::unique_ptr<TFileChannel>& file : m_files)
            file->Put(passed);
    }
}

// Answers false once standard output is closed or failed.
bool TStreamedResult::writeOut(const char* bytes, qsizetype size)
{
    if (!m_printing)
        return false;
    if (size == 0 || std::fwrite(bytes, 1, std::size_t(size), m_out) == std::size_t(size))
        return true;
    // A reader that went away ("| head") ends the printing quietly; the files go on.
    m_printing = false;
    if (errno != EPIPE) {
        m_printFailed = true;
        PrintError(QStringLiteral("cannot write standard output: %1").arg(SystemErrorText(errno)));
    }
    return false;
}

bool TStreamedResult::IsOwnFile(std::uint64_t device, std::uint64_t inode) const
{
    for (const std::unique_ptr<TFileChannel>& file : m_files) {
        if (file->IsCopy(device, inode))
            return true;
    }
    return false;
}

bool TStreamedResult::Finish(bool keepFiles)
{
    LinesFinal(LineCount());
    putLinesSoFar();
    flushUtf8();
    if (m_printing && (std::fflush(m_out) != 0 || std::ferror(m_out))) {
        m_printing = false;
        if (errno != EPIPE) {
            m_printFailed = true;
            PrintError(
                QStringLiteral("cannot write standard output: %1").arg(SystemErrorText(errno)));
        }
    }
    bool ok = !m_printFailed;
    for (const std::unique_ptr<TFileChannel>& file : m_files)
        ok = file->Finish(keepFiles) && ok;
    m_files.clear();
    return ok;
}

} // namespace dirka
