#pragma once

#include "core/listing/lines_target.h"
#include "core/listing/result_text.h"
#include "core/output/html_export.h"
#include "core/output/record_export.h"
#include "core/text/byte_buffer.h"

#include <QString>
#include <QStringEncoder>

#include <cstdio>
#include <memory>
#include <vector>

namespace dirka {

class TBackgroundWork;
class TFileChannel;

/// The command line's result. A line is held only until no skipped folder can take it back;
/// then it is printed and added to the requested files, which are written in pieces as the
/// listing goes on. Memory follows the largest folder, not the tree. The files are encoded and
/// written on one thread of their own, a batch of lines at a time, while the walk goes on: the
/// only thread the command line starts. It takes no signal, and every exception it meets is passed
/// on to the listing's thread at the next hand-over.
class TStreamedResult : public TLinesTarget {
public:
    explicit TStreamedResult(std::FILE* out);
    ~TStreamedResult() override;

    /// The files to write; each is created when its first piece is due.
    void AddTextFile(const QString& fileName, int saveCode);
    void AddPlaylist(const QString& fileName);
    void AddPage(const QString& fileName, THtmlExportOptions options);
    /// One record per listed item (record_export.h); locations give the depths.
    void AddRecords(const QString& fileName, TRecordFormat format, QStringList locations,
                    TCsvCells cells = TCsvCells::Guarded);

    qsizetype LineCount() const override { return m_base + qsizetype(m_starts.size()); }
    QStringView Line(qsizetype index) const override;
    void AppendLine(QStringView text) override;
    void AppendItemLine(QStringView text, const TLineItem& item) override;
    /// Lines are kept as UTF-8, as they are printed; the files decode what they need of them.
    TByteBuffer* Utf8LineBuffer() override { return &m_utf8; }
    void CommitItemLineUtf8(qsizetype start, const TLineItem& item) override;
    void RemoveLastLine() override { TruncateLines(LineCount() - 1); }
    void TruncateLines(qsizetype count) override;
    void LinesFinal(qsizetype count) override;
    bool WritesFiles() const override { return !m_files.empty(); }
    bool IsOwnFile(std::uint64_t device, std::uint64_t inode) const override;

    /// Passes on every line left and ends the output. keepFiles makes the files what was
    /// written; otherwise they are dropped and the old ones stay. Answers whether everything
    /// requested was written (a reader that closed standard output is no failure).
    bool Finish(bool keepFiles);

private:
    // Lines passed on and waiting for the files: line k is Lines from Starts[k] on, followed by
    // "\n"; its item's path is Paths from PathStarts[k] on (no PathStarts when no file needs
    // paths); the records the lines make, numbered by k, rising.
    struct TBatch {
        TByteBuffer Lines;
        std::vector<qsizetype> Starts;
        QString Paths;
        std::vector<qsizetype> PathStarts;
        std::vector<unsigned char> PathIsLine; // the path is the line itself, not in Paths
        std::vector<TLineRecord> Records;
        void Clear();
    };

    void addFile(std::unique_ptr<TFileChannel> file);
    void keepRecord(const TItemFacts* facts);
    void keepPath(QStringView folderPath, QStringView name, bool isLine);
    void gather(std::size_t passed);
    void putBatch();
    void putLinesSoFar();
    void putLines(const TBatch& batch);
    void flushUtf8();
    bool writeOut(const char* bytes, qsizetype size);

    std::FILE* m_out;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    bool m_printing = true; // false once standard output is closed or failed
    bool m_printFailed = false;

    TBatch m_batch;
    TBatch m_putting; // the batch in the background
    // The text of the line being put, and its path's bytes, in the background.
    QString m_lineText;
    QByteArray m_pathBytes;
    std::unique_ptr<TBackgroundWork> m_background; // outlives the files
    std::vector<std::unique_ptr<TFileChannel>> m_files;
    bool m_keepPaths = false;
    int m_recordFiles = 0; // they share what they take of each record
    bool m_filesNeedLineText = false;

    // The lines are kept in UTF-8, each followed by "\n", as they are printed, in one buffer:
    // the first m_finalBytes are final and wait to be written, the lines held follow: line
    // m_base + k from m_starts[k] on, its item's path m_paths from m_pathStarts[k] on (while
    // paths are kept). Line() answers a line decoded into m_decodedLine; the last line passed
    // on is at m_lastStart..m_lastEnd, or in m_lastPassedUtf8 once written (m_lastStart < 0).
    qsizetype m_base = 0;
    std::vector<qsizetype> m_starts;
    QString m_paths;
    std::vector<qsizetype> m_pathStarts;
    std::vector<unsigned char> m_pathIsLine; // the path is the line, not kept in m_paths
    std::vector<TLineRecord> m_records;      // made by held lines, numbered from m_base, rising
    TByteBuffer m_utf8;
    qsizetype m_finalBytes = 0;
    qsizetype m_lastStart = -1;
    qsizetype m_lastEnd = -1;
    QByteArray m_lastPassedUtf8;
    mutable QString m_decodedLine;
};

} // namespace dirka
