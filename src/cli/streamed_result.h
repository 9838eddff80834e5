#pragma once

#include "core/listing/lines_target.h"
#include "core/output/html_export.h"
#include "core/output/record_export.h"

#include <QString>
#include <QStringEncoder>

#include <cstdio>
#include <memory>
#include <vector>

namespace dirka {

class TFileChannel;

/// The command line's result. A line is held only until no skipped folder can take it back;
/// then it is printed and added to the requested files, which are written in pieces as the
/// listing goes on. Memory follows the largest folder, not the tree.
class TStreamedResult : public TLinesTarget {
public:
    explicit TStreamedResult(std::FILE* out);
    ~TStreamedResult() override;

    /// The files to write; each is created when its first piece is due.
    void AddTextFile(const QString& fileName, int saveCode);
    void AddPlaylist(const QString& fileName);
    void AddPage(const QString& fileName, THtmlExportOptions options);
    /// One record per listed item (record_export.h); locations give the depths.
    void AddRecords(const QString& fileName, TRecordFormat format, QStringList locations);

    qsizetype LineCount() const override { return m_base + qsizetype(m_starts.size()); }
    QStringView Line(qsizetype index) const override;
    void AppendLine(QStringView text) override;
    void AppendItemLine(QStringView text, QStringView folderPath, QStringView name) override;
    void RemoveLastLine() override { TruncateLines(LineCount() - 1); }
    void TruncateLines(qsizetype count) override;
    void LinesFinal(qsizetype count) override;
    bool IsOwnFile(std::uint64_t device, std::uint64_t inode) const override;

    /// Passes on every line left and ends the output. keepFiles makes the files what was
    /// written; otherwise they are dropped and the old ones stay. Answers whether everything
    /// requested was written (a reader that closed standard output is no failure).
    bool Finish(bool keepFiles);

private:
    void passOn(QStringView line, QStringView path);
    void print(QStringView line);
    void flushPrinted();

    std::FILE* m_out;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    QByteArray m_printed;
    bool m_printing = true; // false once standard output is closed or failed
    bool m_printFailed = false;

    std::vector<std::unique_ptr<TFileChannel>> m_files;
    bool m_keepPaths = false;

    // The lines not passed on yet: line m_base + k is m_text from m_starts[k] on, its item's
    // path m_paths from m_pathStarts[k] on.
    qsizetype m_base = 0;
    QString m_text;
    std::vector<qsizetype> m_starts;
    QString m_paths;
    std::vector<qsizetype> m_pathStarts;
    QString m_lastPassed; // line m_base - 1, which Line() still answers
};

} // namespace dirka
