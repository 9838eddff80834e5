#include "core/output/difference_export.h"

#include "core/listing/line_composition.h"

namespace dirka {

namespace {

constexpr char CsvHead[] = "\xEF\xBB\xBF"
                           "change,type,path,name,size,modified,depth,hidden,old_type,old_size,"
                           "old_modified\r\n";

QByteArray timeText(const TItemFacts& facts)
{
    return IsoTime(facts.Modified, LocalUtcOffset(facts.Modified));
}

QString factText(const TItemFacts& facts, TChangedFacts what)
{
    if (what == TypeChanged)
        return QString::fromLatin1(RecordTypeName(facts.Type));
    if (facts.State != TFactsState::Found)
        return QStringLiteral("?");
    return what == SizeChanged ? QString::number(facts.Size) : QString::fromLatin1(timeText(facts));
}

// The old side's facts of a changed item, each empty (CSV) or null (JSON) when unknown.
void appendOldFacts(QByteArray& out, TRecordFormat format, const TItemFacts& old)
{
    const bool known = old.State == TFactsState::Found;
    const bool json = format == TRecordFormat::Json;
    out.append(json ? ",\"old_type\":\"" : ",").append(RecordTypeName(old.Type));
    out.append(json ? "\",\"old_size\":" : ",");
    if (known)
        out.append(QByteArray::number(qlonglong(old.Size)));
    else if (json)
        out.append("null");
    out.append(json ? ",\"old_modified\":" : ",");
    if (known)
        out.append(json ? '"' + timeText(old) + '"' : timeText(old));
    else if (json)
        out.append("null");
}

} // namespace

const char* ChangeName(TChange change)
{
    switch (change) {
    case TChange::Added:
        return "added";
    case TChange::Removed:
        return "removed";
    case TChange::Changed:
        return "changed";
    }
    return "changed";
}

QString DifferenceText(const TDifference& difference)
{
    const char16_t sign = difference.Change == TChange::Added     ? u'+'
                          : difference.Change == TChange::Removed ? u'-'
                                                                  : u'~';
    QString text = QChar(sign) + u' ' + ShownText(difference.Path);
    const char16_t* separator = u"  ";
    for (const auto& [what, label] :
         {std::pair{TypeChanged, u"type: "}, std::pair{SizeChanged, u"size: "},
          std::pair{TimeChanged, u"modified: "}}) {
        if ((difference.What & what) == 0)
            continue;
        text += QStringView(separator) + QStringView(label) + factText(difference.Old, what) +
                u" -> " + factText(difference.New, what);
        separator = u"; ";
    }
    return text;
}

QString CompareSummaryText(const TCompareTotals& totals)
{
    if (totals == TCompareTotals())
        return QStringLiteral(":: No differences.");
    return QStringLiteral(":: Added: %1; Removed: %2; Changed: %3; Bytes added: %4; "
                          "Bytes removed: %5")
        .arg(totals.Added)
        .arg(totals.Removed)
        .arg(totals.Changed)
        .arg(totals.BytesAdded)
        .arg(totals.BytesRemoved);
}

void AppendDifferenceHead(QByteArray& out, TRecordFormat format)
{
    if (format == TRecordFormat::Csv)
        out.append(CsvHead, qsizetype(sizeof CsvHead) - 1);
}

void AppendDifferenceRecord(QByteArray& out, TRecordFormat format, const TDifference& difference,
                            const QStringList& locations, TCsvCells cells)
{
    const bool removed = difference.Change == TChange::Removed;
    const bool changed = difference.Change == TChange::Changed;
    const TItemRecord record =
        RecordOf(difference.Path, removed ? difference.Old : difference.New, locations);
    const qsizetype start = out.size();
    if (format == TRecordFormat::Csv) {
        out.append(ChangeName(difference.Change)).append(',');
        AppendCsvRecord(out, record, cells);
        out.chop(2); // CR LF, after which the old side's facts follow
        if (changed)
            appendOldFacts(out, format, difference.Old);
        else
            out.append(",,,");
        out.append("\r\n");
        return;
    }
    AppendJsonRecord(out, record);
    out.insert(start + 1, QByteArray("\"change\":\"") + ChangeName(difference.Change) + "\",");
    if (changed) {
        out.chop(2); // "}" LF
        appendOldFacts(out, format, difference.Old);
        out.append("}\n");
    }
}

void TDifferenceEncoder::AppendLine(QByteArray& out, const TPassedLine& line)
{
    const qsizetype index = m_line++;
    if (line.Record == nullptr || line.Path.isEmpty())
        return;
    const TLineChange* change = m_changes.At(index);
    if (change == nullptr)
        return;
    TDifference difference;
    difference.Change = change->Change;
    difference.What = change->What;
    difference.Path = line.Path.toString();
    difference.Old = change->Change == TChange::Removed ? *line.Record : change->Old;
    difference.New = *line.Record;
    AppendDifferenceRecord(out, m_format, difference, m_locations);
    ++m_records;
}

TRecordExport ExportResultRecords(const QString& fileName, TRecordFormat format,
                                  const TResultText& lines, const QStringList& locations,
                                  const TLineChanges& changes, const TExportProgress& progress)
{
    if (changes.Count() == 0 || changes.Count() != lines.RecordCount())
        return ExportRecords(fileName, format, lines, locations, progress);
    TDifferenceEncoder encoder(format, locations, changes);
    TRecordExport result;
    static_cast<TLinesWritten&>(result) = WriteLines(fileName, encoder, lines, progress);
    result.Records = encoder.Records();
    return result;
}

} // namespace dirka
