#include "gui/export/record_export_run.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>
#include <climits>

namespace dirka {

namespace {

constexpr int ShowAfterMs = 400;

} // namespace

TRecordExport RunRecordExport(QWidget* parent, const QString& fileName, TRecordFormat format,
                              const TResultText& lines, const QStringList& locations,
                              const TLineChanges& changes)
{
    QProgressDialog progress(format == TRecordFormat::Csv ? QStringLiteral("Exporting to CSV...")
                                                          : QStringLiteral("Exporting to JSON..."),
                             QString(), 0, int(std::min<qsizetype>(lines.LineCount(), INT_MAX)),
                             parent);
    progress.setObjectName(QStringLiteral("dlgRecordProgress"));
    progress.setWindowTitle(QStringLiteral("Please Wait"));
    // The window is in its exporting state: it takes input, but nothing that changes the result.
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(ShowAfterMs);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const TRecordExport result = ExportResultRecords(fileName, format, lines, locations, changes,
                                                     [&progress](qsizetype line) {
                                                         progress.setValue(int(line));
                                                         QCoreApplication::processEvents();
                                                     });
    progress.hide();
    return result;
}

} // namespace dirka
