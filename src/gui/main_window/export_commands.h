#pragma once

#include "core/output/text_file_writer.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QAction;
class QActionGroup;
class QFileDialog;
class QFont;
class QMenu;
class QWidget;

// The commands that write or print the result (Save As, the exports, Print) with their file
// dialogs and the encoding Save As writes. The main window makes one and its actions call it.
namespace dirka {

class TLineChanges;

class TDesktop;
class THtmlExportDialog;
class TResultText;
struct TSettings;
enum class TRecordFormat;

/// The playlist command's caption, which its save dialog is titled after.
inline constexpr char16_t ExportToM3u8Caption[] = u"Export to M3U8 Playlist";

/// What the export commands need of the window they run in.
class TExportHost {
public:
    virtual ~TExportHost() = default;
    /// An export that lets events run begins (true) and ends (false): meanwhile nothing may
    /// change the result or start another reader of it.
    virtual void SetExporting(bool exporting) = 0;
    /// The single location the last listing listed, or empty after several: the page's
    /// relative links start there.
    virtual QString ListedLocation() const = 0;
    /// The locations of the runs the result holds: the records count their depths from them,
    /// the printed pages name them.
    virtual QStringList ListedLocations() const = 0;
    /// The changes of the result's lines when it holds a comparison: its records say them.
    virtual const TLineChanges& LineChanges() const = 0;
    /// The font the result is shown in, which the printed pages use too.
    virtual QFont ResultFont() const = 0;
    /// The window's Help command, for the page dialog's Help button.
    virtual void RunHelp() = 0;
};

/// File > Save As, the exports to an M3U8 playlist, an HTML page, CSV and JSON, Print, and the
/// "Encoding (Save)" menu.
class TExportCommands : public QObject {
    Q_OBJECT
public:
    /// result and settings are the window's, read when a command runs; the dialogs and the
    /// messages stand over parent.
    TExportCommands(TDesktop& desktop, const TResultText& result, const TSettings& settings,
                    TExportHost& host, QWidget* parent);

    /// Its entries choose what Save As writes.
    QMenu* EncodingMenu() const { return m_encodingMenu; }
    /// SaveCodeUtf8Bom, SaveCodeUtf8 or SaveCodeUnicode.
    int SaveEncoding() const { return m_saveEncoding; }

    void SaveAs();
    void ExportToM3U8();
    void ExportToHTML();
    void ExportToCSV();
    void ExportToJSON();
    void Print();

private:
    void createEncodingMenu();
    void chooseSaveEncoding(QAction* entry);
    void prepareSaveDialogs();
    QString saveStartFolder() const;
    std::optional<QString> askSaveName(QFileDialog& dialog);
    void exportRecords(QFileDialog& dialog, TRecordFormat format);
    template <typename F> auto whileExporting(F export_);

    TDesktop& m_desktop;
    const TResultText& m_result;
    const TSettings& m_settings;
    TExportHost& m_host;
    QWidget* m_parent;
    QMenu* m_encodingMenu = nullptr;
    QActionGroup* m_encodings = nullptr;
    int m_saveEncoding = SaveCodeUtf8Bom;
    QString m_lastSaveName;
    THtmlExportDialog* m_dlgExport = nullptr;
    QFileDialog* m_saveDialog = nullptr;
    QFileDialog* m_saveDialogM3U8 = nullptr;
    QFileDialog* m_saveDialogHTML = nullptr;
    QFileDialog* m_saveDialogCSV = nullptr;
    QFileDialog* m_saveDialogJSON = nullptr;
};

} // namespace dirka
