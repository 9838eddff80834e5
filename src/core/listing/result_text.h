#pragma once

#include "core/listing/line_records.h"
#include "core/listing/lines_target.h"
#include "core/listing/result_line_store.h"
#include "core/text/compact_text.h"

#include <QList>
#include <QString>

#include <vector>

namespace dirka {

/// The result: its lines, held compactly (TCompactText), the offsets of its units as if the
/// lines were one string joined by CR LF, so a million-line result is held once and a view can
/// paint any line directly. The paths of its item lines go to its own line store, and the
/// records they make to a list, which forget them with their lines.
class TResultText : public TLinesTarget {
public:
    qsizetype LineCount() const override { return m_text.LineCount(); }
    /// The line's text, valid until the next call of Line on this result.
    QStringView Line(qsizetype index) const override { return m_text.Line(index, m_lineText); }
    void AppendLine(QStringView text) override;
    void AppendItemLine(QStringView text, const TLineItem& item) override;
    void RemoveLastLine() override;
    void TruncateLines(qsizetype count) override;

    /// The path of the item line shows; empty for a line that shows none.
    QString PathOf(qsizetype line) const;
    /// One past the last line whose path is kept apart from its text; for tests.
    int PathStoreEntries() const { return m_paths.TabMemory().UsedEntries; }
    /// Sequential look-ups of paths from the first line on start clean.
    void ResetPathCache() const { m_paths.TabResetCache(); }
    /// The lines that make records, rising: RecordCount() of them, Record(0) first.
    qsizetype RecordCount() const { return m_records.Count(); }
    TLineRecord Record(qsizetype k) const { return m_records.At(k); }

    /// The lines, to search them or hand them to a clipboard: a copy shares their memory
    /// until either side changes.
    const TCompactText& Lines() const { return m_text; }
    /// Units of the lines joined by CR LF.
    qsizetype Size() const { return m_text.Size(); }
    bool IsEmpty() const { return m_text.IsEmpty(); }
    qsizetype LineLength(qsizetype index) const { return m_text.LineLength(index); }
    /// Line index's bytes as the result holds them, for writers that can take them as they are.
    TCompactText::THeldLine HeldLine(qsizetype index) const { return m_text.Held(index); }
    /// Units [start, start + length) of the lines joined by CR LF, clamped to them.
    QString Mid(qsizetype start, qsizetype length) const { return m_text.Mid(start, length); }
    /// The whole text as one string, made now: for small results and tests.
    QString WholeText() const { return m_text.Mid(0, Size()); }
    /// The 0-based line that holds the unit at offset (a line break belongs to its line).
    qsizetype LineFromOffset(qsizetype offset) const { return m_text.LineFromOffset(offset); }
    /// The offset of line index's first unit.
    qsizetype LineStart(qsizetype index) const { return m_text.LineStart(index); }
    void Clear();

private:
    TCompactText m_text;
    mutable QString m_lineText; // what Line() answers

    // Most lines show their item's path, or its name below a line that shows its folder's
    // path; those keep where the text is (three bytes a line), not the path again in m_paths.
    // Whole: the line shows the whole path from Start on. Otherwise it shows the name from
    // Start on, and the folder's path is that of the folder line of the run it lies in, with
    // the delimiter after the name when Delimited.
#pragma pack(push, 1)
    struct TPathInLine {
        std::uint8_t Start = 0;
        std::uint16_t Bits = 0; // Length << 2 | Delimited << 1 | Whole; Length 0: in m_paths
        bool Whole() const { return (Bits & 1) != 0; }
        bool Delimited() const { return (Bits & 2) != 0; }
        qsizetype Length() const { return Bits >> 2; }
    };
#pragma pack(pop)
    static_assert(sizeof(TPathInLine) == 3);
    // Lines from FirstLine on lie below the folder whose whole path FolderLine shows.
    struct TFolderRun {
        std::int32_t FirstLine = 0;
        std::int32_t FolderLine = 0;
    };
    bool keepPathInLine(int line, QStringView text, const TLineItem& item);
    void appendWholePath(QString& out, qsizetype line) const;
    void startRun(int line, QStringView folderPath);
    void dropRunsFrom(qsizetype line);

    TResultLineStore m_paths;
    // As long as the last line that keeps one; a QList grows in place where it can.
    QList<TPathInLine> m_pathInLine;
    std::vector<TFolderRun> m_folderRuns;
    QString m_runFolderPath; // the whole path the last run's folder line shows
    TLineRecords m_records;
};

} // namespace dirka
