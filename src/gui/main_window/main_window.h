#pragma once

#include "core/listing/listing_compare.h"
#include "core/listing/listing_run.h"
#include "core/listing/result_text.h"
#include "core/settings/settings_records.h"
#include "gui/main_window/catalog_items.h"
#include "gui/main_window/command_states.h"
#include "gui/main_window/export_commands.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QToolBar;

namespace dirka {

class TDesktop;
class TErrorReportDialog;
class TAboutDialog;
class TFindPanel;
class TOptionsDialog;
class TStyleDialog;
class TLocationRow;
class TResultView;
struct TCommandRow;

/// The program's one main window: the location row, the result, the search panel, the status
/// line, the toolbar and the menus with every command. It drives listing runs as their host,
/// and hosts the commands that save, export and print the result.
class TMainWindow : public QMainWindow, public TListingHost, public TExportHost {
    Q_OBJECT
public:
    /// commandLineLocation: the first command-line argument, if the program was given one.
    explicit TMainWindow(TDesktop& desktop,
                         const std::optional<QString>& commandLineLocation = std::nullopt,
                         QWidget* parent = nullptr);
    ~TMainWindow() override;

    const TSettings& Settings() const { return m_settings; }
    const TResultText& Result() const { return m_result; }
    TResultView* ResultView() const { return m_resultView; }
    bool IsBusy() const { return m_busy; }
    /// The action of command, which its menu entry, button and shortcut all trigger.
    QAction* Action(TCommand command) const { return m_actions[std::size_t(command)]; }
    /// SaveCodeUtf8Bom, SaveCodeUtf8 or SaveCodeUnicode: what Save As writes.
    int SaveEncoding() const { return m_exports->SaveEncoding(); }
    /// The result's lines changed outside a run: the view and the result commands follow.
    void ResultChanged();

    // The listing run's host.
    TLinesTarget& Lines() override { return m_result; }
    void Warn(const QString& message) override;
    void Refused(TRefusal reason, const QString& message) override;
    void LocationAccepted(const QString& text, const QStringList& locations) override;
    void CatalogListed(const QString& fileName, const QStringList& locations) override;
    void LineChangeShown(const TLineChange& change) override { m_lineChanges.Add(change); }
    void RunStarted() override;
    void RunFinished() override;
    void ShowWait(const QString& text) override;
    void ShowStatus(const QString& text) override;
    void ShowStats(const QString& text) override;
    void ProcessEvents() override;
    void CopyResult() override;
    void PlaySound(const QString& fileName) override;

    // The export commands' host.
    void SetExporting(bool exporting) override;
    QString ListedLocation() const override { return m_listedLocation; }
    QStringList ListedLocations() const override { return m_listedLocations; }
    const TLineChanges& LineChanges() const override { return m_lineChanges; }
    QFont ResultFont() const override;
    void RunHelp() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createCentralArea();
    void chooseInitialLocation();
    bool takeLocationFromPath(const QString& path);

    static const TCommandRow* commandTable();
    QList<QAction*> commandActions(std::initializer_list<TCommand> commands) const;
    void runCommand(QAction* action, void (TMainWindow::*handler)());
    void applyCommandStates();
    bool isCommandKey(QKeyCombination key) const;
    void stopListing();
    void runListing(const TSettings& settings);
    template <typename TRun> void hostRun(TRun& run);
    std::optional<QString> chooseCatalog(const QString& title);
    void openOrExplore(bool explore);
    void find(bool backward);
    void openWebPage(int action);

    void createDialogs();
    void storeSettings();
    void actionOptionsExecute();
    void actionListStyleExecute();
    void actionAboutExecute();
    void actionExitExecute();
    void actionErrorExecute();
    void actionExportToHTMLExecute();
    void actionListNormalExecute();
    void actionListDepth1Execute();
    void actionStopExecute();
    void actionCopyResultExecute();
    void actionClearExecute();
    void actionSelectAllExecute();
    void actionFindExecute();
    void actionFindNextExecute();
    void actionFindBackExecute();
    void actionShowHideFindPanelExecute();
    void actionLocationSelectExecute();
    void actionOpenCatalogExecute();
    void actionCompareWithCatalogExecute();
    void actionLocationEnterExecute();
    void actionFilterEnterExecute();
    void actionSaveAsExecute();
    void actionExportToM3U8Execute();
    void actionExportToCSVExecute();
    void actionExportToJSONExecute();
    void actionPrintExecute();
    void actionOpenExecute();
    void actionExploreExecute();
    void actionMaximizeExecute();
    void actionMinimizeExecute();
    void actionHelpF1Execute();
    void actionOnlineHelpExecute();
    void actionCheckLatestExecute();
    void actionSupportExecute();
    void actionWebPageExecute();
    void comboFilterChange(int index);

    TDesktop& m_desktop;
    TSettings m_settings;
    TResultText m_result;
    QString m_listedLocation;        // of the last listing, where the page's relative links start
    TStopToken* m_runStop = nullptr; // of the listing or comparison under way
    bool m_startList = false;
    bool m_busy = false;
    bool m_exporting = false;
    bool m_shown = false;
    bool m_closePending = false;
    QPointer<QWidget> m_focusBeforeRun;

    std::array<QAction*, CommandCount> m_actions{}; // indexed by TCommand
    TExportCommands* m_exports = nullptr;

    QToolBar* m_toolBar = nullptr;
    TLocationRow* m_locationRow = nullptr;
    QStackedWidget* m_resultArea = nullptr;
    QPushButton* m_btnStop = nullptr;
    QLabel* m_labelWait = nullptr;
    QLabel* m_labelStats = nullptr;
    TResultView* m_resultView = nullptr;
    TFindPanel* m_findPanel = nullptr;
    QLabel* m_panelStatusBar = nullptr;
    TOptionsDialog* m_formOptions = nullptr;
    TStyleDialog* m_formSelectStyle = nullptr;
    TAboutDialog* m_dlgAbout = nullptr;
    TErrorReportDialog* m_dialogException = nullptr;
    QStringList m_listedLocations; // of the runs the result holds, for the records' depths
    TCatalogItems m_catalogItems;  // the saved listings the result's items were read from
    TLineChanges m_lineChanges;    // what the lines of a comparison in the result show
    QString m_catalogFolder;       // where the last saved listing was picked
};

} // namespace dirka
