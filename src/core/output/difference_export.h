#pragma once

#include "core/listing/listing_compare.h"
#include "core/output/record_export.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// How the differences of a comparison are written: one text line each and a summary, or one
// record each in the format of the listing's records with the change in front.
namespace dirka {

/// "added", "removed" or "changed".
const char* ChangeName(TChange change);

/// "+ /m/a.txt", "- /m/b/", "~ /m/c.txt  size: 3 -> 5; modified: 2026-01-01T10:00:00+01:00 ->
/// 2026-02-01T10:00:00+01:00", "~ /m/d/  type: file -> folder".
QString DifferenceText(const TDifference& difference);

/// ":: Added: 2; Removed: 1; Changed: 1; Bytes added: 1234; Bytes removed: 5", or
/// ":: No differences." when there are none.
QString CompareSummaryText(const TCompareTotals& totals);

/// CSV: the UTF-8 mark, then
/// "change,type,path,name,size,modified,depth,hidden,old_type,old_size,old_modified" CR LF.
void AppendDifferenceHead(QByteArray& out, TRecordFormat format);

/// The record of the item as its side has it (the new side's when both do), with "change"
/// first and, for a changed item, the old side's type, size and time last ("old_type",
/// "old_size", "old_modified"; empty or left out otherwise). depth is below whichever of
/// locations holds the path.
void AppendDifferenceRecord(QByteArray& out, TRecordFormat format, const TDifference& difference,
                            const QStringList& locations, TCsvCells cells = TCsvCells::Guarded);

/// The differences format for a result whose lines are a comparison's: the head, then for each
/// line that makes a record and has a change in changes, the difference record.
class TDifferenceEncoder : public TLineEncoder {
public:
    TDifferenceEncoder(TRecordFormat format, QStringList locations, const TLineChanges& changes)
        : m_format(format), m_locations(std::move(locations)), m_changes(changes)
    {
    }
    void AppendHead(QByteArray& out) override { AppendDifferenceHead(out, m_format); }
    void AppendLine(QByteArray& out, const TPassedLine& line) override;
    TLineTextUse LineTextUse() const override { return TLineTextUse::Unused; }
    QString ErrorText(TWriteStage stage, QStringView message) const override
    {
        return RecordExportErrorText(m_format, stage, message);
    }
    qsizetype Records() const { return m_records; }

private:
    TRecordFormat m_format;
    QStringList m_locations;
    const TLineChanges& m_changes;
    qsizetype m_line = 0; // lines come one by one, from the first
    qsizetype m_records = 0;
};

/// Writes the records of lines to fileName as ExportRecords does; when changes has one for each
/// of its records (the result is a comparison's), in the differences format.
TRecordExport ExportResultRecords(const QString& fileName, TRecordFormat format,
                                  const TResultText& lines, const QStringList& locations,
                                  const TLineChanges& changes,
                                  const TExportProgress& progress = {});

} // namespace dirka
