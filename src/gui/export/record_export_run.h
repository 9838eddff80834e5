#pragma once

#include "core/output/difference_export.h"
#include "core/output/record_export.h"

class QWidget;

// The CSV and JSON exports as the window runs them: a progress window while the records are
// written, pending events handled every 1024 lines.
namespace dirka {

/// Writes the records of lines to fileName (ExportResultRecords: a comparison's lines with their
/// changes), with a progress window over parent once the export takes more than a moment.
TRecordExport RunRecordExport(QWidget* parent, const QString& fileName, TRecordFormat format,
                              const TResultText& lines, const QStringList& locations,
                              const TLineChanges& changes);

} // namespace dirka
