#include "cli/streamed_result.h"

#include "cli/cli_messages.h"
#include "core/listing/file_system.h"
#include "core/listing/line_composition.h"
#include "core/output/m3u8_export.h"
#include "core/output/text_file_writer.h"
#include "core/system/file_io.h"
#include "core/text/assertion.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace dirka {

namespace {

// Bytes an output gathers before they are written: few system calls, little memory.
constexpr qsizetype ChunkBytes = 1 << 20;
constexpr qsizetype MaxUtf8PerUnit = 3;

} // namespace

/// One requested file: its bytes are gathered in chunks and written through one TFileWriter,
/// which is opened with the first chunk. After a failure the file is dropped and reported once.
class TFileChannel {
public:
    explicit TFileChannel(const QString& fileName) : m_fileName(fileName) {}
    virtual ~TFileChannel() = default;

    void Put(QStringView line, QStringView path)
    {
        if (m_failed)
            return;
        encodeLine(m_buffer, line, path);
        if (m_buffer.size() >= ChunkBytes)
            writeBuffer();
    }

    bool IsCopy(std::uint64_t device, std::uint64_t inode) const
    {
        return m_writer && m_writer->IsCopy(device, inode);
    }

    bool Finish(bool keep)
    {
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

    virtual void encodeLine(QByteArray& out, QStringView line, QStringView path) = 0;
    virtual void encodeEnd(QByteArray& out) { Q_UNUSED(out); }
    virtual QString errorText(const QString& message) const = 0;
    virtual void reportLeftOut() {}

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

    void fail(const EFileError& error)
    {
        m_failed = true;
        m_writer.reset();
        m_buffer = QByteArray();
        PrintError(errorText(error.Message()));
    }

    QString m_fileName;
    std::optional<TFileWriter> m_writer;
    bool m_failed = false;
};

namespace {

// The result as Save As writes it: the mark, then the lines with CR LF between them.
class TTextChannel : public TFileChannel {
public:
    TTextChannel(const QString& fileName, int saveCode) : TFileChannel(fileName), m_code(saveCode)
    {
        Assert(IsSaveCode(saveCode));
        m_buffer = SaveFileMark(saveCode);
    }

private:
    void encodeLine(QByteArray& out, QStringView line, QStringView) override
    {
        if (!m_first)
            AppendSaveEncoded(out, u"\r\n", m_code);
        m_first = false;
        AppendSaveEncoded(out, line, m_code);
    }
    QString errorText(const QString& message) const override { return SaveErrorText(message); }

    int m_code;
    bool m_first = true;
};

class TPlaylistChannel : public TFileChannel {
public:
    using TFileChannel::TFileChannel;

private:
    void encodeLine(QByteArray& out, QStringView, QStringView path) override
    {
        AppendM3u8Entry(out, path, m_leftOut);
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
    TPageChannel(const QString& fileName, THtmlExportOptions options)
        : TFileChannel(fileName), m_page(std::move(options))
    {
        m_page.AppendHead(m_buffer);
    }

private:
    void encodeLine(QByteArray& out, QStringView line, QStringView path) override
    {
        m_page.AppendLine(out, line, path);
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
    TRecordChannel(const QString& fileName, TRecordFormat format, QStringList locations)
        : TFileChannel(fileName), m_format(format), m_records(format, std::move(locations))
    {
        m_records.AppendHead(m_buffer);
    }

private:
    void encodeLine(QByteArray& out, QStringView, QStringView path) override
    {
        m_records.AppendItem(out, path);
    }
    QString errorText(const QString& message) const override
    {
        return RecordExportErrorText(m_format, 10, message);
    }

    TRecordFormat m_format;
    TRecordWriter m_records;
};

} // namespace

TStreamedResult::TStreamedResult(std::FILE* out) : m_out(out) {}

TStreamedResult::~TStreamedResult() = default;

void TStreamedResult::AddTextFile(const QString& fileName, int saveCode)
{
    leaveUtf8();
    m_files.push_back(std::make_unique<TTextChannel>(fileName, saveCode));
}

void TStreamedResult::AddPlaylist(const QString& fileName)
{
    leaveUtf8();
    m_files.push_back(std::make_unique<TPlaylistChannel>(fileName));
    m_keepPaths = true;
}

void TStreamedResult::AddPage(const QString& fileName, THtmlExportOptions options)
{
    leaveUtf8();
    m_files.push_back(std::make_unique<TPageChannel>(fileName, std::move(options)));
    m_keepPaths = true;
}

void TStreamedResult::AddRecords(const QString& fileName, TRecordFormat format,
                                 QStringList locations)
{
    leaveUtf8();
    m_files.push_back(std::make_unique<TRecordChannel>(fileName, format, std::move(locations)));
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
        char* end =
            m_encoder.appendToBuffer(m_utf8.Reserve(text.size() * MaxUtf8PerUnit + 1), text);
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
    if (m_printing)
        print(line);
    for (const std::unique_ptr<TFileChannel>& file : m_files)
        file->Put(line, path);
}

void TStreamedResult::print(QStringView line)
{
    const qsizetype needed = line.size() * MaxUtf8PerUnit + 1;
    if (m_printed.size() + needed > ChunkBytes)
        flushPrinted();
    const qsizetype used = m_printed.size();
    m_printed.resize(used + needed);
    char* end = m_encoder.appendToBuffer(m_printed.data() + used, line);
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
