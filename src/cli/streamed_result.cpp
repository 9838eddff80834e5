#include "cli/streamed_result.h"

#include "cli/cli_messages.h"
#include "core/listing/file_system.h"
#include "core/listing/line_composition.h"
#include "core/output/m3u8_export.h"
#include "core/output/text_file_writer.h"
#include "core/system/file_io.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <algorithm>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace dirka {

namespace {

// Bytes an output gathers before they are written: few system calls, little memory.
constexpr qsizetype ChunkBytes = 1 << 20;
constexpr qsizetype MaxUtf8PerUnit = 3;

} // namespace

/// A line passed on, with what the files share of it: its bytes when every unit is ASCII (so
/// its UTF-8 and per-unit UTF-8 alike) and its item's path's bytes (EncodeFileName), made once.
struct TPassedLine {
    QStringView Line;
    QStringView Path;
    bool IsAscii = false;
    QByteArrayView AsciiLine;
    QByteArrayView PathBytes; // empty without a path
};

/// A chunk of a file written by the background writer.
struct TWriteJob {
    TFileWriter* Writer = nullptr;
    QByteArray Bytes;
    bool Done = true;
    std::exception_ptr Error;
};

/// Writes the files' chunks on a thread of its own while the listing goes on, one at a time in
/// the order they came; started with the first chunk.
class TBackgroundWriter {
public:
    TBackgroundWriter() = default;
    TBackgroundWriter(const TBackgroundWriter&) = delete;
    TBackgroundWriter& operator=(const TBackgroundWriter&) = delete;
    ~TBackgroundWriter()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Submit(TWriteJob& job)
    {
        {
            const std::lock_guard lock(m_mutex);
            job.Done = false;
            m_queue.push_back(&job);
        }
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
        m_changed.notify_all();
    }

    void Wait(const TWriteJob& job)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&job] { return job.Done; });
    }

private:
    void run()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            TWriteJob* job = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            try {
                job->Writer->Write(job->Bytes);
            } catch (...) {
                job->Error = std::current_exception();
            }
            lock.lock();
            job->Done = true;
            lock.unlock();
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<TWriteJob*> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

/// One requested file: its bytes are gathered in chunks and written through one TFileWriter,
/// which is opened with the first chunk. A full chunk is written in the background while the
/// next one fills; a failure is taken up when that chunk is done, then the file is dropped and
/// reported once.
class TFileChannel {
public:
    TFileChannel(const QString& fileName, TBackgroundWriter& background)
        : m_fileName(fileName), m_background(background)
    {
    }
    virtual ~TFileChannel()
    {
        if (!m_job.Done)
            m_background.Wait(m_job);
    }

    void Put(const TPassedLine& line)
    {
        if (m_failed)
            return;
        encodeLine(m_buffer, line);
        if (m_buffer.size() >= ChunkBytes)
            writeInBackground();
    }

    bool IsCopy(std::uint64_t device, std::uint64_t inode) const
    {
        return m_writer && m_writer->IsCopy(device, inode);
    }

    bool Finish(bool keep)
    {
        settle();
        if (!keep) {
            m_writer.reset();
            return !m_failed;
        }
        if (!m_failed) {
            encodeEnd(m_buffer);
            writeBuffer();
        }
        if (!m_failed) {
            try {
                m_writer->Finish();
            } catch (const EFileError& error) {
                fail(error);
            }
        }
        reportLeftOut();
        return !m_failed;
    }

protected:
    QByteArray m_buffer;

    virtual void encodeLine(QByteArray& out, const TPassedLine& line) = 0;
    virtual void encodeEnd(QByteArray& out) { Q_UNUSED(out); }
    virtual QString errorText(const QString& message) const = 0;
    virtual void reportLeftOut() {}

private:
    // Hands the full buffer to the background writer once the chunk before is written.
    void writeInBackground()
    {
        settle();
        if (m_failed)
            return;
        try {
            if (!m_writer)
                m_writer.emplace(m_fileName);
        } catch (const EFileError& error) {
            fail(error);
            return;
        }
        std::swap(m_job.Bytes, m_buffer);
        m_buffer.truncate(0); // the chunk before's room
        m_job.Writer = &*m_writer;
        m_background.Submit(m_job);
    }

    // Waits for the chunk in the background and takes up its failure.
    void settle()
    {
        if (m_job.Done)
            return;
        m_background.Wait(m_job);
        if (const std::exception_ptr error = std::exchange(m_job.Error, nullptr)) {
            try {
                std::rethrow_exception(error);
            } catch (const EFileError& fileError) {
                fail(fileError);
            }
        }
    }

    void writeBuffer()
    {
        settle();
        if (m_failed)
            return;
        try {
            if (!m_writer)
                m_writer.emplace(m_fileName);
            m_writer->Write(m_buffer);
            m_buffer.truncate(0);
        } catch (const EFileError& error) {
            fail(error);
        }
    }

    void fail(const EFileError& error)
    {
        m_failed = true;
        m_writer.reset();
        m_buffer = QByteArray();
        PrintError(errorText(error.Message()));
    }

    QString m_fileName;
    TBackgroundWriter& m_background;
    std::optional<TFileWriter> m_writer;
    TWriteJob m_job;
    bool m_failed = false;
};

namespace {

// The result as Save As writes it: the mark, then the lines with CR LF between them.
class TTextChannel : public TFileChannel {
public:
    TTextChannel(const QString& fileName, TBackgroundWriter& background, int saveCode)
        : TFileChannel(fileName, background), m_code(saveCode)
    {
        Assert(IsSaveCode(saveCode));
        m_buffer = SaveFileMark(saveCode);
    }

private:
    void encodeLine(QByteArray& out, const TPassedLine& line) override
    {
        if (line.IsAscii && m_code != SaveCodeUnicode) {
            const qsizetype size = line.AsciiLine.size();
            char* p = detail::ReserveTail(out, size + 2);
            if (!m_first) {
                *p++ = '\r';
                *p++ = '\n';
            }
            m_first = false;
            if (size > 0)
                std::memcpy(p, line.AsciiLine.data(), std::size_t(size));
            detail::FinishTail(out, p + size);
            return;
        }
        if (!m_first)
            AppendSaveEncoded(out, u"\r\n", m_code);
        m_first = false;
        AppendSaveEncoded(out, line.Line, m_code);
    }
    QString errorText(const QString& message) const override { return SaveErrorText(message); }

    int m_code;
    bool m_first = true;
};

class TPlaylistChannel : public TFileChannel {
public:
    using TFileChannel::TFileChannel;

private:
    void encodeLine(QByteArray& out, const TPassedLine& line) override
    {
        if (!line.Path.isEmpty())
            AppendM3u8Entry(out, line.Path, line.PathBytes, m_leftOut);
    }
    QString errorText(const QString& message) const override { return M3u8ErrorText(10, message); }
    void reportLeftOut() override
    {
        for (const QString& path : std::as_const(m_leftOut))
            PrintError(QStringLiteral("left out of the playlist (line break in the name): %1")
                           .arg(ShownText(path)));
    }

    QStringList m_leftOut;
};

class TPageChannel : public TFileChannel {
public:
    TPageChannel(const QString& fileName, TBackgroundWriter& background, THtmlExportOptions options)
        : TFileChannel(fileName, background), m_page(std::move(options))
    {
        m_page.AppendHead(m_buffer);
    }

private:
    void encodeLine(QByteArray& out, const TPassedLine& line) override
    {
        if (line.Path.isEmpty())
            m_page.AppendLine(out, line.Line, line.Path);
        else
            m_page.AppendLine(out, line.Line, line.Path, line.PathBytes,
                              line.IsAscii ? line.AsciiLine : QByteArrayView());
    }
    void encodeEnd(QByteArray& out) override { m_page.AppendFoot(out); }
    QString errorText(const QString& message) const override
    {
        return HtmlExportErrorText(THtmlStage::Write, message);
    }

    THtmlPageBuilder m_page;
};

// The records of the listed items, each looked up as its line is passed on.
class TRecordChannel : public TFileChannel {
public:
    TRecordChannel(const QString& fileName, TBackgroundWriter& background, TRecordFormat format,
                   QStringList locations)
        : TFileChannel(fileName, background), m_format(format),
          m_records(format, std::move(locations))
    {
        m_records.AppendHead(m_buffer);
    }

private:
    void encodeLine(QByteArray& out, const TPassedLine& line) override
    {
        m_records.AppendItem(out, line.Path);
    }
    QString errorText(const QString& message) const override
    {
        return RecordExportErrorText(m_format, 10, message);
    }

    TRecordFormat m_format;
    TRecordWriter m_records;
};

} // namespace

TStreamedResult::TStreamedResult(std::FILE* out)
    : m_out(out), m_background(std::make_unique<TBackgroundWriter>())
{
}

TStreamedResult::~TStreamedResult() = default;

void TStreamedResult::AddTextFile(const QString& fileName, int saveCode)
{
    leaveUtf8();
    m_files.push_back(std::make_unique<TTextChannel>(fileName, *m_background, saveCode));
}

void TStreamedResult::AddPlaylist(const QString& fileName)
{
    leaveUtf8();
    m_files.push_back(std::make_unique<TPlaylistChannel>(fileName, *m_background));
    m_keepPaths = true;
}

void TStreamedResult::AddPage(const QString& fileName, THtmlExportOptions options)
{
    leaveUtf8();
    m_files.push_back(std::make_unique<TPageChannel>(fileName, *m_background, std::move(options)));
    m_keepPaths = true;
}

void TStreamedResult::AddRecords(const QString& fileName, TRecordFormat format,
                                 QStringList locations)
{
    leaveUtf8();
    m_files.push_back(
        std::make_unique<TRecordChannel>(fileName, *m_background, format, std::move(locations)));
    m_keepPaths = true;
}

// Files requested after lines came: the lines held in UTF-8 go back to the text they were and
// the final ones wait in the print buffer.
void TStreamedResult::leaveUtf8()
{
    if (!holdsUtf8())
        return;
    m_printed.append(m_utf8.Data(), m_finalBytes);
    m_lastPassed =
        QString::fromUtf8(m_lastStart >= 0 ? m_utf8.View(m_lastStart, m_lastEnd - m_lastStart)
                                           : QByteArrayView(m_lastPassedUtf8));
    m_text.clear();
    for (std::size_t k = 0; k < m_starts.size(); ++k) {
        const qsizetype end = k + 1 < m_starts.size() ? m_starts[k + 1] : m_utf8.Size();
        const qsizetype start = m_text.size();
        m_text.append(QString::fromUtf8(m_utf8.View(m_starts[k], end - 1 - m_starts[k])));
        m_starts[k] = start;
    }
    m_utf8.Clear();
    m_finalBytes = 0;
    m_lastStart = -1;
    m_lastPassedUtf8.clear();
    // The lines held so far have no path: there was no file to take it.
    m_pathStarts.assign(m_starts.size(), 0);
}

QStringView TStreamedResult::Line(qsizetype index) const
{
    if (holdsUtf8()) {
        if (index == m_base - 1) {
            m_decodedLine = QString::fromUtf8(
                m_lastStart >= 0 ? m_utf8.View(m_lastStart, m_lastEnd - m_lastStart)
                                 : QByteArrayView(m_lastPassedUtf8));
            return m_decodedLine;
        }
        Assert(index >= m_base && index < LineCount());
        const std::size_t k = std::size_t(index - m_base);
        const qsizetype end = k + 1 < m_starts.size() ? m_starts[k + 1] : m_utf8.Size();
        m_decodedLine = QString::fromUtf8(m_utf8.View(m_starts[k], end - 1 - m_starts[k]));
        return m_decodedLine;
    }
    if (index == m_base - 1)
        return m_lastPassed;
    Assert(index >= m_base && index < LineCount());
    const std::size_t k = std::size_t(index - m_base);
    const qsizetype end = k + 1 < m_starts.size() ? m_starts[k + 1] : m_text.size();
    return QStringView(m_text).sliced(m_starts[k], end - m_starts[k]);
}

void TStreamedResult::AppendLine(QStringView text)
{
    AppendItemLine(text, QStringView(), QStringView());
}

void TStreamedResult::AppendItemLineUtf8(QByteArrayView text, QStringView folderPath,
                                         QStringView name)
{
    if (!holdsUtf8()) {
        TLinesTarget::AppendItemLineUtf8(text, folderPath, name);
        return;
    }
    m_starts.push_back(m_utf8.Size());
    char* p = m_utf8.Reserve(text.size() + 1);
    std::memcpy(p, text.data(), std::size_t(text.size()));
    p[text.size()] = '\n';
    m_utf8.SetEnd(p + text.size() + 1);
}

void TStreamedResult::AppendItemLine(QStringView text, QStringView folderPath, QStringView name)
{
    if (holdsUtf8()) {
        // Encoded as print() encodes, with the same encoder, in the same order of lines.
        m_starts.push_back(m_utf8.Size());
        char* end = encodeUtf8(m_utf8.Reserve(text.size() * MaxUtf8PerUnit + 1), text);
        *end++ = '\n';
        m_utf8.SetEnd(end);
        return;
    }
    m_starts.push_back(m_text.size());
    m_text.append(text);
    if (m_keepPaths) {
        m_pathStarts.push_back(m_paths.size());
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
    if (holdsUtf8()) {
        m_utf8.Truncate(m_starts[kept]);
        m_starts.resize(kept);
        return;
    }
    m_text.truncate(m_starts[kept]);
    m_starts.resize(kept);
    if (m_keepPaths) {
        m_paths.truncate(m_pathStarts[kept]);
        m_pathStarts.resize(kept);
    }
}

void TStreamedResult::LinesFinal(qsizetype count)
{
    Assert(count >= m_base && count <= LineCount());
    const std::size_t passed = std::size_t(count - m_base);
    if (passed == 0)
        return;
    if (holdsUtf8()) {
        // Passing on is moving the line between final and held.
        const bool all = passed == m_starts.size();
        m_finalBytes = all ? m_utf8.Size() : m_starts[passed];
        m_lastStart = m_starts[passed - 1];
        m_lastEnd = m_finalBytes - 1;
        if (all)
            m_starts.clear();
        else
            m_starts.erase(m_starts.begin(), m_starts.begin() + std::ptrdiff_t(passed));
        m_base = count;
        if (m_finalBytes >= ChunkBytes || !m_printing)
            flushUtf8();
        return;
    }
    for (std::size_t k = 0; k < passed; ++k) {
        const qsizetype end = k + 1 < m_starts.size() ? m_starts[k + 1] : m_text.size();
        const QStringView line = QStringView(m_text).sliced(m_starts[k], end - m_starts[k]);
        QStringView path;
        if (m_keepPaths) {
            const qsizetype pathEnd =
                k + 1 < m_pathStarts.size() ? m_pathStarts[k + 1] : m_paths.size();
            path = QStringView(m_paths).sliced(m_pathStarts[k], pathEnd - m_pathStarts[k]);
        }
        passOn(line, path);
        if (k + 1 == passed) {
            m_lastPassed.truncate(0);
            m_lastPassed.append(line);
        }
    }
    // Usually every line is passed on; otherwise the rest moves to the front.
    const qsizetype textCut = passed < m_starts.size() ? m_starts[passed] : m_text.size();
    m_text.remove(0, textCut);
    m_starts.erase(m_starts.begin(), m_starts.begin() + std::ptrdiff_t(passed));
    for (qsizetype& start : m_starts)
        start -= textCut;
    if (m_keepPaths) {
        const qsizetype pathCut =
            passed < m_pathStarts.size() ? m_pathStarts[passed] : m_paths.size();
        m_paths.remove(0, pathCut);
        m_pathStarts.erase(m_pathStarts.begin(), m_pathStarts.begin() + std::ptrdiff_t(passed));
        for (qsizetype& start : m_pathStarts)
            start -= pathCut;
    }
    m_base = count;
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

void TStreamedResult::passOn(QStringView line, QStringView path)
{
    TPassedLine passed;
    passed.Line = line;
    passed.Path = path;
    // Most lines are ASCII: their bytes serve standard output and the saved text alike.
    const qsizetype n = line.size();
    if (m_lineBytes.size() < n + 16)
        m_lineBytes.resize(std::max(n + 16, 2 * m_lineBytes.size()));
    passed.IsAscii = n == 0 || CopyAsciiPrefix(Units(line), n, m_lineBytes.data()) == n;
    if (passed.IsAscii)
        passed.AsciiLine = QByteArrayView(m_lineBytes.constData(), n);
    if (!path.isEmpty()) {
        // A listing of full paths shows the path itself: an ASCII line is its bytes then.
        if (passed.IsAscii && path == line) {
            passed.PathBytes = passed.AsciiLine;
        } else {
            m_pathBytes.truncate(0);
            AppendEncodedFileName(m_pathBytes, path);
            passed.PathBytes = m_pathBytes;
        }
    }
    if (m_printing)
        print(passed);
    for (const std::unique_ptr<TFileChannel>& file : m_files)
        file->Put(passed);
}

char* TStreamedResult::encodeUtf8(char* out, QStringView text)
{
    // The encoder keeps a high surrogate at the end for the text that follows.
    if (!text.isEmpty())
        m_encoderHolds = QChar::isHighSurrogate(text.back().unicode());
    return m_encoder.appendToBuffer(out, text);
}

void TStreamedResult::print(const TPassedLine& line)
{
    const qsizetype needed = line.Line.size() * MaxUtf8PerUnit + 1;
    if (m_printed.size() + needed > ChunkBytes)
        flushPrinted();
    const qsizetype used = m_printed.size();
    if (line.IsAscii && !m_encoderHolds) {
        const qsizetype size = line.AsciiLine.size();
        m_printed.resize(used + size + 1);
        char* p = m_printed.data() + used;
        if (size > 0)
            std::memcpy(p, line.AsciiLine.data(), std::size_t(size));
        p[size] = '\n';
        return;
    }
    m_printed.resize(used + needed);
    char* end = encodeUtf8(m_printed.data() + used, line.Line);
    *end++ = '\n';
    m_printed.truncate(end - m_printed.constData());
}

void TStreamedResult::flushPrinted()
{
    if (holdsUtf8())
        flushUtf8();
    if (!m_printing || m_printed.isEmpty())
        return;
    writeOut(m_printed.constData(), m_printed.size());
    m_printed.truncate(0);
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
        PrintError(QStringLiteral("cannot write standard output: %1").arg(ErrorText(errno)));
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
    flushPrinted();
    if (m_printing && (std::fflush(m_out) != 0 || std::ferror(m_out))) {
        m_printing = false;
        if (errno != EPIPE) {
            m_printFailed = true;
            PrintError(QStringLiteral("cannot write standard output: %1").arg(ErrorText(errno)));
        }
    }
    bool ok = !m_printFailed;
    for (const std::unique_ptr<TFileChannel>& file : m_files)
        ok = file->Finish(keepFiles) && ok;
    m_files.clear();
    return ok;
}

} // namespace dirka
