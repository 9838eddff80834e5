#include "gui/main_window/export_commands.h"

#include "core/listing/result_text.h"
#include "core/output/m3u8_export.h"
#include "core/settings/locations.h"
#include "core/system/file_io.h"
#include "core/system/program_info.h"
#include "core/text/text_utils.h"
#include "gui/desktop/desktop.h"
#include "gui/export/export_dialog.h"
#include "gui/export/record_export_run.h"
#include "gui/main_window/write_outcome.h"
#include "gui/print/print_command.h"
#include "gui/widgets/save_dialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QLocale>
#include <QMenu>
#include <QScopeGuard>

namespace dirka {

namespace {

// The encoding menu keeps two entries hidden; their codes are never saved with.
constexpr int HiddenCodeUnicodeBigEndian = 3;
constexpr int HiddenCodeAnsi = 1;

} // namespace

TExportCommands::TExportCommands(TDesktop& desktop, const TResultText& result,
                                 const TSettings& settings, TExportHost& host, QWidget* parent)
    : QObject(parent), m_desktop(desktop), m_result(result), m_settings(settings), m_host(host),
      m_parent(parent)
{
    createEncodingMenu();
    // Made once and kept: the prefix and Link Folders keep their values between exports.
    m_dlgExport = new THtmlExportDialog(
        TExportDialogHooks{
            [this](QWidget* over, const QString& text) { m_desktop.Error(over, text); },
            [this](const QString& target) { m_desktop.OpenDocument(target); },
            [this] { m_host.RunHelp(); }},
        m_parent);
}

void TExportCommands::createEncodingMenu()
{
    m_encodingMenu = new QMenu(QStringLiteral("Encoding (Save)"), m_parent);
    m_encodingMenu->setObjectName(QStringLiteral("miEncoding"));
    m_encodings = new QActionGroup(m_encodingMenu);
    const struct {
        const char* Name;
        const char* Caption;
        int Code;
        bool Shown;
    } entries[] = {
        {"miUTF8bom", "UTF-8 with BOM", SaveCodeUtf8Bom, true},
        {"miUTF8", "UTF-8", SaveCodeUtf8, true},
        {"miUnicode", "Unicode", SaveCodeUnicode, true},
        {"miUnicodeBigEndian", "Unicode Big Endian", HiddenCodeUnicodeBigEndian, false},
        {"miANSI", "ANSI", HiddenCodeAnsi, false},
    };
    for (const auto& e : entries) {
        QAction* entry = m_encodingMenu->addAction(QString::fromLatin1(e.Caption));
        entry->setObjectName(QLatin1String(e.Name));
        entry->setData(e.Code);
        entry->setCheckable(true);
        entry->setVisible(e.Shown);
        m_encodings->addAction(entry);
    }
    connect(m_encodings, &QActionGroup::triggered, this, &TExportCommands::chooseSaveEncoding);
    // Every start saves with the mark, chosen through the same path as a user's click.
    m_encodings->actions().first()->trigger();
}

void TExportCommands::chooseSaveEncoding(QAction* entry)
{
    entry->setChecked(true);
    m_saveEncoding = entry->data().toInt();
}

// The save and export dialogs are made at the first save or export and kept: each reads and
// watches its folder from the moment it exists, which a window that never saves need not pay for.
void TExportCommands::prepareSaveDialogs()
{
    if (m_saveDialog)
        return;
    const auto make = [this](const char* name, const QString& title, const QStringList& filters,
                             const QString& suffix) {
        auto* dialog = new TSaveDialog(m_parent, title, filters, suffix);
        dialog->setObjectName(QLatin1String(name));
        dialog->setDirectory(Info().DesktopFolder);
        return dialog;
    };
    m_saveDialog = make("saveDialog", QStringLiteral("Save As"),
                        {QStringLiteral("Text Documents (*.txt)"), QStringLiteral("All Files (*)")},
                        QStringLiteral("txt"));
    m_saveDialogM3U8 = make(
        "saveDialogM3U8", QString::fromUtf16(ExportToM3u8Caption) + u" As",
        {QStringLiteral("Multimedia Playlist UTF-8 (*.m3u8)"), QStringLiteral("All Files (*)")},
        QStringLiteral("m3u8"));
    m_saveDialogCSV = make("saveDialogCSV", QStringLiteral("Export to CSV As"),
                           {QStringLiteral("CSV (*.csv)"), QStringLiteral("All Files (*)")},
                           QStringLiteral("csv"));
    m_saveDialogJSON =
        make("saveDialogJSON", QStringLiteral("Export to JSON As"),
             {QStringLiteral("JSON Lines (*.jsonl)"), QStringLiteral("All Files (*)")},
             QStringLiteral("jsonl"));
    m_saveDialogHTML = CreateHtmlSaveDialog(m_parent);
    m_saveDialogHTML->setDirectory(Info().DesktopFolder);
}

// Save As and the page export start in the stored save folder, or on the desktop when that
// folder is gone.
QString TExportCommands::saveStartFolder() const
{
    const QString start = ResolveLocation(m_settings.PathSave);
    return IsExistingFolder(start) ? start : Info().DesktopFolder;
}

// The name chosen in a save dialog; nothing when it was cancelled, and a beep when it was
// confirmed without a name.
std::optional<QString> TExportCommands::askSaveName(QFileDialog& dialog)
{
    std::optional<QString> fileName = m_desktop.RunSaveDialog(dialog);
    if (fileName && fileName->isEmpty()) {
        m_desktop.Beep();
        return std::nullopt;
    }
    return fileName;
}

// Runs export with the window in its exporting state: the export lets events run, and nothing
// may change the result or start another export meanwhile.
template <typename F> auto TExportCommands::whileExporting(F export_)
{
    m_host.SetExporting(true);
    const auto restore = qScopeGuard([this] { m_host.SetExporting(false); });
    return export_();
}

void TExportCommands::ExportToHTML()
{
    prepareSaveDialogs();
    m_saveDialogHTML->setDirectory(saveStartFolder());
    const std::optional<QString> fileName = askSaveName(*m_saveDialogHTML);
    if (!fileName)
        return;
    whileExporting([this, &fileName] {
        return m_dlgExport->Run(*fileName, m_result, m_host.ListedLocation());
    });
}

void TExportCommands::SaveAs()
{
    prepareSaveDialogs();
    m_saveDialog->setDirectory(saveStartFolder());
    if (!m_lastSaveName.isEmpty())
        m_saveDialog->selectFile(m_lastSaveName);
    const std::optional<QString> fileName = askSaveName(*m_saveDialog);
    if (!fileName)
        return;
    m_lastSaveName = fileName->mid(fileName->lastIndexOf(PathDelimiter) + 1);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TWriteOutcome outcome = SaveAsOutcome(*fileName, m_result, m_saveEncoding);
    QApplication::restoreOverrideCursor();
    ShowOutcome(m_desktop, m_parent, outcome);
}

void TExportCommands::ExportToM3U8()
{
    prepareSaveDialogs();
    const std::optional<QString> fileName = m_desktop.RunSaveDialog(*m_saveDialogM3U8);
    if (!fileName || fileName->isEmpty())
        return;
    ReopenAt(*m_saveDialogM3U8, *fileName);
    const TM3u8Export written = whileExporting([this, &fileName] {
        return ExportToM3u8(*fileName, m_result,
                            [](qsizetype) { QCoreApplication::processEvents(); });
    });
    ShowOutcome(m_desktop, m_parent, PlaylistOutcome(written));
}

void TExportCommands::ExportToCSV()
{
    prepareSaveDialogs();
    exportRecords(*m_saveDialogCSV, TRecordFormat::Csv);
}

void TExportCommands::ExportToJSON()
{
    prepareSaveDialogs();
    exportRecords(*m_saveDialogJSON, TRecordFormat::Json);
}

// As the playlist: the dialog reopens where it was last used; events run every 1024 lines.
void TExportCommands::exportRecords(QFileDialog& dialog, TRecordFormat format)
{
    const std::optional<QString> fileName = askSaveName(dialog);
    if (!fileName)
        return;
    ReopenAt(dialog, *fileName);
    const TRecordExport written = whileExporting([this, &fileName, format] {
        return RunRecordExport(m_parent, *fileName, format, m_result, m_host.ListedLocations(),
                               m_host.LineChanges());
    });
    ShowOutcome(m_desktop, m_parent, TWriteOutcome::Error(written.ErrorText));
}

// The preview lets events run while it lays out and prints the pages, as an export does.
void TExportCommands::Print()
{
    const TPrintJob job{&m_result, m_host.ListedLocations().join(u" | "),
                        QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat),
                        m_host.ResultFont()};
    whileExporting([this, &job] { RunPrintPreview(m_parent, job); });
}

} // namespace dirka
