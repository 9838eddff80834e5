#include "gui/main_window/main_window.h"

#include "core/listing/drives.h"
#include "core/listing/folder_walker.h"
#include "core/listing/line_composition.h"
#include "core/output/compare_run.h"
#include "core/settings/locations.h"
#include "core/settings/settings_persistence.h"
#include "core/system/error_report.h"
#include "core/system/file_io.h"
#include "core/system/program_info.h"
#include "core/system/web_addresses.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"
#include "gui/desktop/desktop.h"
#include "gui/desktop/help.h"
#include "gui/dialogs/about_dialog.h"
#include "gui/dialogs/options_dialog.h"
#include "gui/dialogs/style_dialog.h"
#include "gui/error_report/application.h"
#include "gui/error_report/error_dialog.h"
#include "gui/export/export_dialog.h"
#include "gui/main_window/find_panel.h"
#include "gui/main_window/location_row.h"
#include "gui/main_window/write_outcome.h"
#include "gui/result_view/result_view.h"
#include "gui/widgets/shared_text_mime.h"
#include "gui/widgets/thin_line.h"
#include "gui/widgets/window_commands.h"
#include "version.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <iterator>

namespace dirka {

namespace {

using C = TCommand;

constexpr int HintMs = 6000;
constexpr int StartListDelayMs = 100;
constexpr QSize ToolButtonSize(80, 36);
constexpr QSize StopButtonSize(57, 41);

// A drop is taken as a copy or a link, never as a move: a source that moved would delete
// what it dropped. False when the source allows neither.
bool takeAsCopyOrLink(QDropEvent& event)
{
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event.possibleActions().testFlag(action)) {
            event.setDropAction(action);
            return true;
        }
    }
    return false;
}

} // namespace

TMainWindow::TMainWindow(TDesktop& desktop, const std::optional<QString>& commandLineLocation,
                         QWidget* parent)
    : QMainWindow(parent), m_desktop(desktop)
{
    setObjectName(QStringLiteral("FormMain"));
    const QString caption = QString::fromLatin1(ProgramTitle);
    // The caption alone: an application display name would be added to every window's title.
    setWindowTitle(caption);
    setAcceptDrops(true);
    setMinimumSize(320, 240);
    resize(540, 520);

    createActions();
    m_exports = new TExportCommands(m_desktop, m_result, m_settings, *this, this);
    createMenus();
    createToolBar();
    createCentralArea();

    LoadSettings(m_settings);
    m_settings.Filter = AllFilesFilter; // at every start, whatever was chosen before
    m_locationRow->comboFilter()->setCurrentIndex(AllFilesFilter);
    connect(m_locationRow->comboFilter(), &QComboBox::currentIndexChanged, this,
            &TMainWindow::comboFilterChange);
    m_locationRow->comboPath()->addItems(LocationList(SystemDriveList()));
    chooseInitialLocation();

    if (commandLineLocation)
        m_startList = takeLocationFromPath(*commandLineLocation);

    if (TApplication* app = TApplication::Instance())
        app->SetHelpHandler([this] { RunHelp(); });
    // Every box of the window lets the commands' shortcuts through (see eventFilter).
    qApp->installEventFilter(this);
    createDialogs();
    applyCommandStates();
}

// Each dialog is made once and kept; it edits a copy and hands it back on OK.
void TMainWindow::createDialogs()
{
    const auto runHelp = [this] { RunHelp(); };
    m_formOptions = new TOptionsDialog(m_desktop, runHelp, this);
    m_dlgAbout =
        new TAboutDialog([this](const QString& target) { m_desktop.OpenDocument(target); }, this);
    m_formSelectStyle = new TStyleDialog(runHelp, this);
    // From here on an unhandled error ends the program through the report.
    m_dialogException = new TErrorReportDialog(
        [this](const QString& address) { m_desktop.OpenDocument(address); }, this);
}

TMainWindow::~TMainWindow()
{
    qApp->removeEventFilter(this);
    if (TApplication* app = TApplication::Instance())
        app->SetHelpHandler(nullptr);
}

// An error a command does not handle goes to the error report from here, before it could unwind
// through Qt's event dispatch. Without an application object of ours (tests) it goes on as is.
void TMainWindow::runCommand(QAction* action, void (TMainWindow::*handler)())
{
    // A disabled command does nothing, however it was reached (a button, a key, a timer).
    if (!action->isEnabled())
        return;
    TApplication* app = TApplication::Instance();
    if (!app) {
        (this->*handler)();
        return;
    }
    try {
        (this->*handler)();
    } catch (...) {
        app->ReportError(action, std::current_exception());
    }
}

// A row of the command table: the command, its action's object name, caption, shortcut, hint,
// handler.
struct TCommandRow {
    TCommand Command;
    const char* Name;
    const char16_t* Caption;
    int Key; // QKeyCombination::toCombined(), 0 for none
    const char16_t* Hint;
    void (TMainWindow::*Handler)();
};

namespace {

constexpr int key(QKeyCombination combination)
{
    return combination.toCombined();
}

// Row i is command i: the window keeps each command's action at the command's place.
template <std::size_t N> constexpr bool inCommandOrder(const TCommandRow (&rows)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        if (rows[i].Command != TCommand(i))
            return false;
    }
    return N == CommandCount;
}

} // namespace

const TCommandRow* TMainWindow::commandTable()
{
    using F = TMainWindow;
    static constexpr TCommandRow rows[] = {
        {C::ListNormal, "actionListNormal", u"List", key(Qt::Key_F6),
         u"Start listing files and folders", &F::actionListNormalExecute},
        {C::ListDepth1, "actionListDepth1", u"One Depth List", key(Qt::CTRL | Qt::Key_F6),
         u"Start listing files and folders (depth=1)", &F::actionListDepth1Execute},
        {C::Stop, "actionStop", u"Stop", 0, u"", &F::actionStopExecute},
        {C::Options, "actionOptions", u"Options...", key(Qt::CTRL | Qt::Key_Comma), u"Edit options",
         &F::actionOptionsExecute},
        {C::ListStyle, "actionListStyle", u"Select List Style...", key(Qt::CTRL | Qt::Key_T),
         u"Select list style", &F::actionListStyleExecute},
        {C::CopyResult, "actionCopyResult", u"Copy Results", key(Qt::Key_F7),
         u"Copy results into clipboard", &F::actionCopyResultExecute},
        {C::Clear, "actionClear", u"Clear", key(Qt::Key_F8), u"Clear results",
         &F::actionClearExecute},
        {C::SelectAll, "actionSelectAll", u"Select All", key(Qt::CTRL | Qt::Key_A), u"",
         &F::actionSelectAllExecute},
        {C::Find, "actionFind", u"Find", key(Qt::CTRL | Qt::Key_F), u"", &F::actionFindExecute},
        {C::FindNext, "actionFindNext", u"Find Next", key(Qt::Key_F3), u"Find Next",
         &F::actionFindNextExecute},
        {C::FindBack, "actionFindBack", u"Find Back", key(Qt::SHIFT | Qt::Key_F3), u"Find Back",
         &F::actionFindBackExecute},
        {C::ShowHideFindPanel, "actionShowHideFindPanel", u"Show Search Panel", 0, u"",
         &F::actionShowHideFindPanelExecute},
        {C::LocationSelect, "actionLocationSelect", u"Select Location...",
         key(Qt::CTRL | Qt::Key_O), u"Select location", &F::actionLocationSelectExecute},
        {C::OpenCatalog, "actionOpenCatalog", u"Open Catalog...",
         key(Qt::CTRL | Qt::SHIFT | Qt::Key_O), u"List a saved listing",
         &F::actionOpenCatalogExecute},
        {C::CompareWithCatalog, "actionCompareWithCatalog", u"Compare with Catalog...", 0,
         u"Show what changed since a saved listing", &F::actionCompareWithCatalogExecute},
        {C::LocationEnter, "actionLocationEnter", u"Enter Location", key(Qt::CTRL | Qt::Key_L), u"",
         &F::actionLocationEnterExecute},
        {C::FilterEnter, "actionFilterEnter", u"Enter Search for", key(Qt::CTRL | Qt::Key_K), u"",
         &F::actionFilterEnterExecute},
        {C::SaveAs, "actionSaveAs", u"Save As...", key(Qt::CTRL | Qt::Key_S), u"",
         &F::actionSaveAsExecute},
        {C::ExportToM3U8, "actionExportToM3U8", ExportToM3u8Caption, key(Qt::CTRL | Qt::Key_M), u"",
         &F::actionExportToM3U8Execute},
        {C::ExportToHTML, "actionExportToHTML", ExportToHtmlCaption, key(Qt::CTRL | Qt::Key_H), u"",
         &F::actionExportToHTMLExecute},
        {C::ExportToCSV, "actionExportToCSV", u"Export to CSV...", 0, u"",
         &F::actionExportToCSVExecute},
        {C::ExportToJSON, "actionExportToJSON", u"Export to JSON...", 0, u"",
         &F::actionExportToJSONExecute},
        {C::Print, "actionPrint", u"Print...", key(Qt::CTRL | Qt::Key_P), u"",
         &F::actionPrintExecute},
        {C::Exit, "actionExit", u"Exit", 0, u"", &F::actionExitExecute},
        {C::Open, "actionOpen", u"Open Selected", key(Qt::Key_F9), u"", &F::actionOpenExecute},
        {C::Explore, "actionExplore", u"Explore Selected", key(Qt::CTRL | Qt::Key_E), u"",
         &F::actionExploreExecute},
        {C::Maximize, "actionMaximize", u"Maximize / Restore", key(Qt::Key_F11), u"",
         &F::actionMaximizeExecute},
        {C::Minimize, "actionMinimize", u"Minimize", key(Qt::CTRL | Qt::Key_F11), u"",
         &F::actionMinimizeExecute},
        {C::HelpF1, "actionHelpF1", u"Help", key(Qt::Key_F1), u"", &F::actionHelpF1Execute},
        {C::OnlineHelp, "actionOnlineHelp", u"Online Help", 0, u"", &F::actionOnlineHelpExecute},
        {C::CheckLatest, "actionCheckLatest", u"Check Latest Version", 0, u"",
         &F::actionCheckLatestExecute},
        {C::Support, "actionSupport", u"Feedback and Support", 0, u"", &F::actionSupportExecute},
        {C::WebPage, "actionWebPage", u"Dirka Web Page", 0, u"", &F::actionWebPageExecute},
        {C::About, "actionAbout", u"About...", 0, u"", &F::actionAboutExecute},
        // Raises the test error, which reaches the error report like any unhandled one.
        {C::Error, "actionError", u"actionError", key(Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_Q),
         u"", &F::actionErrorExecute},
    };
    static_assert(inCommandOrder(rows), "one row a command, in the order of TCommand");
    return rows;
}

void TMainWindow::createActions()
{
    for (std::size_t i = 0; i < CommandCount; ++i) {
        const TCommandRow& row = commandTable()[i];
        auto* action = new QAction(QString::fromUtf16(row.Caption), this);
        action->setObjectName(QLatin1String(row.Name));
        action->setShortcut(QKeySequence(row.Key));
        action->setToolTip(QString::fromUtf16(row.Hint));
        connect(action, &QAction::triggered, this,
                [this, action, handler = row.Handler] { runCommand(action, handler); });
        addAction(action); // shortcuts work wherever the window has the focus
        m_actions[i] = action;
    }
    Action(C::ShowHideFindPanel)->setCheckable(true);
}

QList<QAction*> TMainWindow::commandActions(std::initializer_list<TCommand> commands) const
{
    QList<QAction*> actions;
    for (const TCommand command : commands)
        actions << Action(command);
    return actions;
}

void TMainWindow::createMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addActions(commandActions({C::LocationSelect, C::LocationEnter, C::FilterEnter}));
    file->addSeparator();
    file->addActions(commandActions({C::OpenCatalog, C::CompareWithCatalog}));
    file->addSeparator();
    file->addActions(commandActions({C::SaveAs, C::ExportToM3U8, C::ExportToHTML}));
    file->addActions(commandActions({C::ExportToCSV, C::ExportToJSON}));
    file->addSeparator();
    file->addAction(Action(C::Print));
    file->addSeparator();
    file->addMenu(m_exports->EncodingMenu());
    file->addSeparator();
    file->addAction(Action(C::Exit));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addActions(commandActions({C::CopyResult, C::Clear}));
    edit->addSeparator();
    edit->addActions(commandActions({C::Find, C::FindNext, C::FindBack}));
    edit->addSeparator();
    edit->addAction(Action(C::SelectAll));

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->addActions(commandActions({C::ListNormal, C::ListDepth1, C::Stop}));
    tools->addSeparator();
    tools->addActions(commandActions({C::Open, C::Explore}));
    tools->addSeparator();
    tools->addAction(Action(C::Options));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addActions(commandActions({C::Maximize, C::Minimize}));
    view->addSeparator();
    view->addAction(Action(C::ShowHideFindPanel));
    view->addSeparator();
    view->addAction(Action(C::ListStyle));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addActions(commandActions({C::HelpF1, C::OnlineHelp}));
    help->addSeparator();
    help->addActions(commandActions({C::CheckLatest, C::Support}));
    help->addSeparator();
    QAction* website = help->addAction(QStringLiteral("Dirka Website"));
    connect(website, &QAction::triggered, Action(C::WebPage), &QAction::trigger);
    help->addAction(Action(C::About));
}

void TMainWindow::createToolBar()
{
    m_toolBar = addToolBar(QStringLiteral("Commands"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_toolBar->toggleViewAction()->setEnabled(false);
    const struct {
        QAction* Action;
        const char* Caption;
    } buttons[] = {{Action(C::SaveAs), "Save As"},
                   {Action(C::ListStyle), "List Style"},
                   {Action(C::ListNormal), "List"},
                   {Action(C::CopyResult), "Copy Results"},
                   {Action(C::Clear), "Clear"}};
    for (const auto& b : buttons) {
        auto* button = new QToolButton(m_toolBar);
        button->setDefaultAction(b.Action);
        button->setText(QString::fromLatin1(b.Caption));
        button->setAutoRaise(true);
        button->setFixedSize(ToolButtonSize);
        button->setToolTipDuration(HintMs);
        // The button keeps its own caption when the action's changes.
        connect(b.Action, &QAction::changed, button,
                [button, caption = button->text()] { button->setText(caption); });
        m_toolBar->addWidget(button);
        m_toolBar->addSeparator();
    }
    auto* spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(spacer);
    auto* logo = new QToolButton(m_toolBar);
    logo->setObjectName(QStringLiteral("imageLogo"));
    logo->setIcon(QApplication::windowIcon());
    logo->setIconSize(QSize(32, 32));
    logo->setAutoRaise(true);
    logo->setToolTip(QStringLiteral("About Dirka"));
    logo->setToolTipDuration(HintMs);
    connect(logo, &QToolButton::clicked, Action(C::About), &QAction::trigger);
    m_toolBar->addWidget(logo);
}

void TMainWindow::createCentralArea()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_locationRow = new TLocationRow(central);
    m_locationRow->SetCommands(Action(C::LocationSelect), Action(C::Options),
                               Action(C::ListNormal));
    const auto hintOf = [](QAction* action) -> QString {
        return action->text() + u" (" + action->shortcut().toString(QKeySequence::NativeText) +
               u")";
    };
    m_locationRow->comboPath()->setToolTip(hintOf(Action(C::LocationEnter)) + u'\n' +
                                           QString::fromUtf16(LocationFormsHint));
    m_locationRow->comboFilter()->setToolTip(hintOf(Action(C::FilterEnter)));
    m_locationRow->comboPath()->setToolTipDuration(HintMs);
    m_locationRow->comboFilter()->setToolTipDuration(HintMs);

    // While a run lists, the Stop button and the two labels stand where the result was.
    m_resultArea = new QStackedWidget(central);
    m_resultView = new TResultView(m_resultArea);
    m_resultView->setObjectName(QStringLiteral("memo"));
    m_resultView->SetResult(&m_result);
    connect(m_resultView, &TResultView::LineDoubleClicked, this,
            [this](bool ctrlAtPress) { openOrExplore(ctrlAtPress); });
    auto* busyPage = new QWidget(m_resultArea);
    m_btnStop = new QPushButton(QStringLiteral("Stop"), busyPage);
    m_btnStop->setObjectName(QStringLiteral("btnStop"));
    m_btnStop->setFixedSize(StopButtonSize);
    connect(m_btnStop, &QPushButton::clicked, Action(C::Stop), &QAction::trigger);
    m_labelWait = new QLabel(busyPage);
    m_labelWait->setObjectName(QStringLiteral("labelWait"));
    QFont bold = m_labelWait->font();
    bold.setBold(true);
    m_labelWait->setFont(bold);
    m_labelStats = new QLabel(busyPage);
    m_labelStats->setObjectName(QStringLiteral("labelStats"));
    auto* labels = new QVBoxLayout;
    labels->addWidget(m_labelWait);
    labels->addWidget(m_labelStats);
    auto* busyRow = new QHBoxLayout;
    busyRow->addWidget(m_btnStop, 0, Qt::AlignTop);
    busyRow->addSpacing(8);
    busyRow->addLayout(labels, 1);
    auto* busyLayout = new QVBoxLayout(busyPage);
    busyLayout->setContentsMargins(8, 8, 8, 8);
    busyLayout->addLayout(busyRow);
    busyLayout->addStretch(1);
    m_resultArea->addWidget(m_resultView);
    m_resultArea->addWidget(busyPage);
    m_btnStop->hide();

    m_findPanel = new TFindPanel(central);
    m_findPanel->SetCommands(Action(C::ShowHideFindPanel), Action(C::FindNext),
                             Action(C::FindBack));
    m_findPanel->hide();

    m_panelStatusBar = new QLabel(central);
    m_panelStatusBar->setObjectName(QStringLiteral("panelStatusBar"));
    m_panelStatusBar->setFrameShape(QFrame::Panel);
    m_panelStatusBar->setFrameShadow(QFrame::Sunken);
    m_panelStatusBar->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont small = m_panelStatusBar->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_panelStatusBar->setFont(small);
    m_panelStatusBar->setContentsMargins(4, 1, 4, 1);

    layout->addWidget(ThinLine(central));
    layout->addWidget(m_locationRow);
    layout->addWidget(ThinLine(central));
    layout->addWidget(m_resultArea, 1);
    layout->addWidget(m_findPanel);
    layout->addWidget(m_panelStatusBar);
    setCentralWidget(central);
}

void TMainWindow::chooseInitialLocation()
{
    QComboBox* box = m_locationRow->comboPath();
    if (!TrimText(m_settings.PathList).isEmpty())
        box->setEditText(m_settings.PathList);
    else if (box->count() >= 2)
        box->setEditText(box->itemText(box->count() - 2));
    else
        box->setEditText(QString());
}

bool TMainWindow::takeLocationFromPath(const QString& path)
{
    const QString location = LocationFromPath(path);
    if (location.isEmpty())
        return false;
    m_locationRow->comboPath()->setEditText(location);
    return true;
}

void TMainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // Fits the screen, title bar included, whatever the scale.
    PlaceOnScreenAndKeepFramed(this);
    applyCommandStates();
    actionLocationEnterExecute();
    if (m_startList)
        QTimer::singleShot(StartListDelayMs, this, [this] { Action(C::ListDepth1)->trigger(); });
}

// A line edit claims keys such as Ctrl+E (end of line) or Ctrl+K (delete to the end) before
// shortcuts are looked at. In this window an enabled command's shortcut wins from every control:
// leaving the override unaccepted lets the shortcut run.
bool TMainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this &&
        isCommandKey(static_cast<QKeyEvent*>(event)->keyCombination()))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

bool TMainWindow::isCommandKey(QKeyCombination key) const
{
    const QKeySequence pressed(key);
    for (const QAction* action : m_actions) {
        if (action->isEnabled() && !action->shortcut().isEmpty() && action->shortcut() == pressed)
            return true;
    }
    return false;
}

void TMainWindow::closeEvent(QCloseEvent* event)
{
    stopListing();
    setAcceptDrops(false);
    if (m_busy) {
        // The run is still on the call stack: let it end, then close.
        m_closePending = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    // The result's own items dragged out and back are no location to list; a drop that would
    // do nothing is refused, so its source is told so.
    if (!m_busy && !event->source() && !DroppedLocation(*event->mimeData()).isEmpty() &&
        takeAsCopyOrLink(*event))
        event->accept();
    else
        event->ignore();
}

void TMainWindow::dropEvent(QDropEvent* event)
{
    const QString location = m_busy ? QString() : DroppedLocation(*event->mimeData());
    if (location.isEmpty() || !takeAsCopyOrLink(*event)) {
        event->ignore();
        return;
    }
    event->accept();
    m_locationRow->comboPath()->setEditText(location);
    Action(C::ListDepth1)->trigger();
}

// --- states ---------------------------------------------------------------------------------

// The one place where commands are enabled or disabled: after every change of the state.
void TMainWindow::applyCommandStates()
{
    const TCommandStates states =
        CommandStates({.Busy = m_busy, .HasResult = !m_result.IsEmpty(), .Exporting = m_exporting});
    for (std::size_t i = 0; i < CommandCount; ++i)
        m_actions[i]->setEnabled(states.Enabled[i]);
    m_locationRow->setEnabled(states.LocationRow);
    m_findPanel->setEnabled(states.FindPanel);
}

void TMainWindow::RunStarted()
{
    m_busy = true;
    // The window's own: a run started from a file dialog begins before the window is active
    // again, when the application has no focus widget yet.
    m_focusBeforeRun = focusWidget();
    // A new result starts at its top with nothing selected, whatever the old one showed.
    m_resultView->ShowFromTop();
    Action(C::Stop)->setShortcut(QKeySequence(Qt::Key_Escape));
    applyCommandStates();
    m_labelWait->clear();
    m_labelStats->clear();
    m_resultArea->setCurrentIndex(1);
    m_btnStop->show();
    m_btnStop->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
}

void TMainWindow::RunFinished()
{
    m_btnStop->hide();
    m_resultArea->setCurrentIndex(0);
    m_resultView->ResultChanged();
    Action(C::Stop)->setShortcut(QKeySequence());
    m_busy = false;
    applyCommandStates();
    if (m_focusBeforeRun && m_focusBeforeRun->isEnabled() && m_focusBeforeRun->isVisible())
        m_focusBeforeRun->setFocus(Qt::OtherFocusReason);
    if (m_closePending)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TMainWindow::ResultChanged()
{
    m_resultView->ResultChanged();
    applyCommandStates();
}

// --- the listing run's host -----------------------------------------------------------------

void TMainWindow::Warn(const QString& message)
{
    m_desktop.Warning(this, message);
}

// Once the warning is dismissed, the focus is on the box the user has to change.
void TMainWindow::Refused(TRefusal reason, const QString& message)
{
    if (reason == TRefusal::SearchFor && m_locationRow->comboFilter()->isEnabled())
        m_locationRow->comboFilter()->setFocus(Qt::OtherFocusReason);
    Warn(message);
}

void TMainWindow::LocationAccepted(const QString& text, const QStringList& locations)
{
    m_locationRow->RememberLocation(text);
    // Records count their depth from these; a result kept from earlier runs keeps theirs.
    if (m_settings.IsClear) {
        m_listedLocations.clear();
        m_catalogItems.Clear();
        m_lineChanges.Clear();
    }
    m_listedLocations += locations;
}

void TMainWindow::CatalogListed(const QString& fileName, const QStringList& locations)
{
    m_catalogItems.Add(fileName, locations);
}

void TMainWindow::ShowWait(const QString& text)
{
    m_labelWait->setText(text);
}

void TMainWindow::ShowStatus(const QString& text)
{
    m_panelStatusBar->setText(ShownText(text));
}

void TMainWindow::ShowStats(const QString& text)
{
    m_labelStats->setText(text);
}

void TMainWindow::ProcessEvents()
{
    QCoreApplication::processEvents();
    // The program is ending through the error report: the run ends too.
    if (const TApplication* app = TApplication::Instance(); app && app->ErrorReported())
        stopListing();
}

// The clipboard shares the result's text: nothing is copied until a program pastes.
void TMainWindow::CopyResult()
{
    m_resultView->SelectAll();
    QGuiApplication::clipboard()->setMimeData(new TSharedTextMimeData(m_result.Lines()));
}

void TMainWindow::PlaySound(const QString& fileName)
{
    m_desktop.PlaySound(fileName);
}

// --- the export commands' host --------------------------------------------------------------

void TMainWindow::SetExporting(bool exporting)
{
    m_exporting = exporting;
    applyCommandStates();
}

QFont TMainWindow::ResultFont() const
{
    return m_resultView->font();
}

void TMainWindow::RunHelp()
{
    Action(C::HelpF1)->trigger();
}

// --- commands -------------------------------------------------------------------------------

void TMainWindow::runListing(const TSettings& settings)
{
    if (m_busy)
        return;
    TListingRun run(settings, m_locationRow->comboPath()->currentText(), *this);
    hostRun(run);
}

// A listing or a comparison: Stop reaches it while it runs.
template <typename TRun> void TMainWindow::hostRun(TRun& run)
{
    m_runStop = &run.StopToken();
    const auto forget = qScopeGuard([this] { m_runStop = nullptr; });
    const TRunResult result = run.Run();
    if (result.Outcome != TRunOutcome::Refused)
        m_listedLocation = result.ListedLocation;
}

void TMainWindow::stopListing()
{
    if (m_runStop != nullptr)
        m_runStop->Request();
}

// A failed save keeps the settings in force for this run and says why they were not kept.
void TMainWindow::storeSettings()
{
    ShowOutcome(m_desktop, this, SettingsOutcome(SaveSettings(m_settings)));
}

void TMainWindow::actionOptionsExecute()
{
    const std::optional<TSettings> edited = m_formOptions->Edit(m_settings);
    if (!edited)
        return;
    m_settings = *edited;
    m_locationRow->comboFilter()->setCurrentIndex(m_settings.Filter);
    storeSettings();
}

void TMainWindow::actionListStyleExecute()
{
    const std::optional<TListStyle> style = m_formSelectStyle->Edit(m_settings.Style);
    if (!style)
        return;
    m_settings.Style = *style;
    storeSettings();
}

void TMainWindow::actionAboutExecute()
{
    m_dlgAbout->exec();
}

void TMainWindow::actionExitExecute()
{
    close();
}

void TMainWindow::actionErrorExecute()
{
    RaiseTestError();
}

void TMainWindow::actionListNormalExecute()
{
    if (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) {
        actionListDepth1Execute();
        return;
    }
    runListing(m_settings);
}

void TMainWindow::actionListDepth1Execute()
{
    runListing(DepthOneSettings(m_settings));
}

void TMainWindow::actionStopExecute()
{
    stopListing();
}

void TMainWindow::actionCopyResultExecute()
{
    CopyResult();
}

void TMainWindow::actionClearExecute()
{
    m_result.Clear();
    m_listedLocations.clear(); // their lines are gone; the records' depths count from the next
    m_catalogItems.Clear();
    m_lineChanges.Clear();
    m_panelStatusBar->clear();
    ResultChanged();
}

void TMainWindow::actionSelectAllExecute()
{
    QWidget* focused = QApplication::focusWidget();
    if (SelectAllInEditor(focused))
        return;
    if (focused == m_resultView || (focused && m_resultView->isAncestorOf(focused)))
        m_resultView->SelectAll();
}

void TMainWindow::actionShowHideFindPanelExecute()
{
    const bool show = Action(C::ShowHideFindPanel)->isChecked();
    m_findPanel->setVisible(show);
    if (show)
        m_findPanel->EnterFindText();
    else if (m_resultView->isVisible())
        m_resultView->setFocus(Qt::OtherFocusReason);
}

void TMainWindow::actionFindExecute()
{
    if (m_findPanel->isVisible()) {
        m_findPanel->EnterFindText();
        return;
    }
    Action(C::ShowHideFindPanel)->setChecked(true);
    actionShowHideFindPanelExecute();
}

void TMainWindow::actionFindNextExecute()
{
    find(false);
}

void TMainWindow::actionFindBackExecute()
{
    find(true);
}

// The window takes no input while a search runs through a long result.
void TMainWindow::find(bool backward)
{
    QPointer<QWidget> focused = QApplication::focusWidget();
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString pattern = m_findPanel->FindText();
    TFindOptions options = m_findPanel->Options();
    options.Backward = backward;
    const TFindStep step = FindStep(m_result.Lines(), pattern, m_resultView->SelectionStart(),
                                    m_resultView->SelectionLength(), options);
    if (step.Start >= 0)
        m_resultView->Select(step.Start, pattern.size());
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    if (focused)
        focused->setFocus(Qt::OtherFocusReason);
    if (step.Beep)
        m_desktop.Beep();
}

void TMainWindow::actionLocationSelectExecute()
{
    const QString start = ResolveLocation(m_locationRow->comboPath()->currentText());
    const std::optional<QString> folder = m_desktop.ChooseFolder(
        this, QStringLiteral("Select Location"), IsExistingFolder(start) ? start : QString());
    if (folder)
        m_locationRow->comboPath()->setEditText(QDir::toNativeSeparators(*folder));
}

// A saved listing is picked where the last one was, else beside the one the location names.
std::optional<QString> TMainWindow::chooseCatalog(const QString& title)
{
    QString start = m_catalogFolder;
    if (start.isEmpty()) {
        const QString named =
            CatalogFileOf(ResolveLocation(m_locationRow->comboPath()->currentText()));
        start = named.isEmpty() ? Info().DesktopFolder : QFileInfo(named).path();
    }
    const std::optional<QString> file =
        m_desktop.ChooseFile(this, title, QString::fromUtf16(CatalogFileFilters), start);
    if (file)
        m_catalogFolder = QFileInfo(*file).path();
    return file;
}

void TMainWindow::actionOpenCatalogExecute()
{
    const std::optional<QString> file = chooseCatalog(QStringLiteral("Open Catalog"));
    if (!file)
        return;
    m_locationRow->comboPath()->setEditText(QDir::toNativeSeparators(*file));
    runListing(m_settings);
}

// The saved listing is the old side, the location as it is now the new one.
void TMainWindow::actionCompareWithCatalogExecute()
{
    const std::optional<QString> file = chooseCatalog(QStringLiteral("Compare with Catalog"));
    if (!file || m_busy)
        return;
    TCompareRun run(m_settings, *file, m_locationRow->comboPath()->currentText(), *this);
    hostRun(run);
}

void TMainWindow::actionLocationEnterExecute()
{
    QComboBox* box = m_locationRow->comboPath();
    if (!box->isEnabled() || !box->isVisible())
        return;
    box->lineEdit()->selectAll();
    box->setFocus(Qt::ShortcutFocusReason);
}

void TMainWindow::actionFilterEnterExecute()
{
    QComboBox* box = m_locationRow->comboFilter();
    if (!box->isEnabled() || !box->isVisible())
        return;
    box->setFocus(Qt::ShortcutFocusReason);
}

void TMainWindow::comboFilterChange(int index)
{
    if (index >= 0)
        m_settings.Filter = index;
}

void TMainWindow::actionSaveAsExecute()
{
    m_exports->SaveAs();
}

void TMainWindow::actionExportToM3U8Execute()
{
    m_exports->ExportToM3U8();
}

void TMainWindow::actionExportToHTMLExecute()
{
    m_exports->ExportToHTML();
}

void TMainWindow::actionExportToCSVExecute()
{
    m_exports->ExportToCSV();
}

void TMainWindow::actionExportToJSONExecute()
{
    m_exports->ExportToJSON();
}

void TMainWindow::actionPrintExecute()
{
    m_exports->Print();
}

void TMainWindow::actionOpenExecute()
{
    openOrExplore(false);
}

void TMainWindow::actionExploreExecute()
{
    openOrExplore(true);
}

void TMainWindow::openOrExplore(bool explore)
{
    const qsizetype line = m_resultView->LineFromChar(m_resultView->SelectionStart());
    m_resultView->SelectLine(line);
    const QString path = m_result.PathOf(int(line));
    if (!IsExistingItem(path)) {
        // An item seen only in a saved listing: saying nothing would look like a fault.
        if (const QString catalog = m_catalogItems.CatalogOf(path); !catalog.isEmpty())
            m_desktop.Warning(this, ItemInCatalogText(path, catalog));
        return;
    }
    if (explore)
        m_desktop.ShowInFileManager(path);
    else
        m_desktop.OpenDocument(path);
}

void TMainWindow::actionMaximizeExecute()
{
    ToggleMaximized(this);
}

void TMainWindow::actionMinimizeExecute()
{
    showMinimized();
}

void TMainWindow::actionHelpF1Execute()
{
    const QString page = HelpPagePath(CurrentHelpContext(), Info().LanguageCode,
                                      Info().ProgramFolder + u"help" + QChar(PathDelimiter));
    if (!page.isEmpty())
        m_desktop.OpenDocument(page);
}

void TMainWindow::openWebPage(int action)
{
    m_desktop.OpenDocument(ProductPageAddress(TWebAction(action)));
}

void TMainWindow::actionOnlineHelpExecute()
{
    openWebPage(int(TWebAction::Help));
}

void TMainWindow::actionCheckLatestExecute()
{
    openWebPage(int(TWebAction::Version));
}

void TMainWindow::actionSupportExecute()
{
    openWebPage(int(TWebAction::Support));
}

void TMainWindow::actionWebPageExecute()
{
    openWebPage(int(TWebAction::Website));
}

} // namespace dirka
