#include "gui/export/export_dialog.h"

#include "core/listing/result_text.h"
#include "core/output/html_export.h"
#include "core/system/file_io.h"
#include "core/system/program_info.h"
#include "core/system/web_addresses.h"
#include "core/text/assertion.h"
#include "gui/desktop/help.h"
#include "gui/export/list_page_document.h"
#include "gui/export/page_preview.h"
#include "gui/export/progress_dialog.h"
#include "gui/widgets/help_button.h"
#include "gui/widgets/save_dialog.h"
#include "gui/widgets/window_commands.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QTextCursor>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace dirka {

namespace {

constexpr QSize DialogSize(620, 620);

// One bar runs over the three passes of a build, in proportion to what each costs on a large
// result: the page is built in a blink, filling the two views takes the time.
enum TPass { BuildPass, SourcePass, PreviewPass };
constexpr std::array<int, 3> PassShares{10, 30, 60}; // percent of the bar

// The sample web address among the prefixes names a server of ours.
QString samplePrefix()
{
    const QString host = QUrl(SiteRoot()).host();
    return u"http://" + (host.isEmpty() ? QStringLiteral("www.example.example") : host) + u'/';
}

QWidget* pageOf(QTabWidget* pages, QWidget* content, const char* name)
{
    auto* page = new QWidget(pages);
    page->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    return page;
}

// Hides the progress window and ends the build on every way out of it.
class TBuildScope {
public:
    explicit TBuildScope(std::function<void()> end) : m_end(std::move(end)) {}
    ~TBuildScope() { m_end(); }
    TBuildScope(const TBuildScope&) = delete;
    TBuildScope& operator=(const TBuildScope&) = delete;

private:
    std::function<void()> m_end;
};

} // namespace

TSaveDialog* CreateHtmlSaveDialog(QWidget* parent)
{
    auto* dialog =
        new TSaveDialog(parent, QString::fromUtf16(ExportToHtmlCaption) + u" As",
                        {QStringLiteral("HTML (*.html *.htm)"), QStringLiteral("All Files (*)")},
                        QStringLiteral("html"));
    dialog->setObjectName(QStringLiteral("saveDialogHTML"));
    dialog->setSizeGripEnabled(true);
    return dialog;
}

THtmlExportDialog::THtmlExportDialog(TExportDialogHooks hooks, QWidget* parent)
    : QDialog(parent), m_hooks(std::move(hooks)),
      m_radioRelative(new QRadioButton(QStringLiteral("&Relative Path"))),
      m_radioFull(new QRadioButton(QStringLiteral("&Full Path"))),
      m_labelListOneLocation(
          new QLabel(QStringLiteral("To enable Relative Path, list one location only."))),
      m_labelPrefix(new QLabel(QStringLiteral("&Prefix"))), m_comboPrefix(new QComboBox),
      m_labelExample(new QLabel(QStringLiteral("URL Example"))), m_edExample(new QLineEdit),
      m_btnGenerate(new QPushButton(QStringLiteral("Generate"))),
      m_checkLinkFolders(new QCheckBox(QStringLiteral("&Link Folders"))), m_pages(new QTabWidget),
      m_wb(new TPagePreview), m_memoSource(new QPlainTextEdit), m_sbtnHelp(HelpButton(nullptr)),
      m_btnBack(new QPushButton(QStringLiteral("< Back"))),
      m_btnOK(new QPushButton(QStringLiteral("&Close"))), m_progress(new TProgressDialog(this))
{
    setObjectName(QStringLiteral("dlgExport"));
    setWindowTitle(u"Dirka - " + QString::fromUtf16(ExportToHtmlCaption));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    SetHelpContext(this, ExportHelpContext);
    resize(DialogSize);

    m_radioRelative->setObjectName(QStringLiteral("radioRelative"));
    m_radioFull->setObjectName(QStringLiteral("radioFull"));
    m_labelListOneLocation->setObjectName(QStringLiteral("labelListOneLocation"));
    m_labelPrefix->setObjectName(QStringLiteral("labelPrefix"));
    m_comboPrefix->setObjectName(QStringLiteral("comboPrefix"));
    m_labelExample->setObjectName(QStringLiteral("labelExample"));
    m_edExample->setObjectName(QStringLiteral("edExample"));
    m_btnGenerate->setObjectName(QStringLiteral("btnGenerate"));
    m_checkLinkFolders->setObjectName(QStringLiteral("checkLinkFolders"));
    m_pages->setObjectName(QStringLiteral("pcPages"));
    m_wb->setObjectName(QStringLiteral("wb"));
    m_memoSource->setObjectName(QStringLiteral("memoSource"));
    m_btnBack->setObjectName(QStringLiteral("btnBack"));
    m_btnOK->setObjectName(QStringLiteral("btnOK"));

    // The note keeps its room when hidden, so the options do not jump between openings.
    QSizePolicy notePolicy = m_labelListOneLocation->sizePolicy();
    notePolicy.setRetainSizeWhenHidden(true);
    m_labelListOneLocation->setSizePolicy(notePolicy);
    m_labelPrefix->setBuddy(m_comboPrefix);
    m_labelExample->setBuddy(m_edExample);
    m_comboPrefix->setEditable(true);
    m_comboPrefix->setInsertPolicy(QComboBox::NoInsert);
    m_comboPrefix->addItems({QString(), QStringLiteral("/"), samplePrefix(),
                             QStringLiteral("http://"), QStringLiteral("file:///")});
    m_comboPrefix->setCurrentIndex(0);
    m_comboPrefix->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_edExample->setReadOnly(true);

    auto* group = new QGroupBox(QStringLiteral("URL Construction"));
    group->setObjectName(QStringLiteral("groupURLConstruction"));
    auto* options = new QGridLayout(group);
    auto* radios = new QHBoxLayout;
    radios->addWidget(m_radioRelative);
    radios->addWidget(m_radioFull);
    radios->addStretch(1);
    options->addLayout(radios, 0, 0, 1, 2);
    options->addWidget(m_labelListOneLocation, 1, 0, 1, 2);
    options->addWidget(m_labelPrefix, 2, 0);
    options->addWidget(m_comboPrefix, 2, 1);
    options->addWidget(m_labelExample, 3, 0);
    options->addWidget(m_edExample, 3, 1);
    options->setColumnStretch(1, 1);

    auto* commands = new QVBoxLayout;
    commands->addWidget(m_btnGenerate);
    commands->addWidget(m_checkLinkFolders);
    commands->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(group, 1);
    top->addLayout(commands);

    m_wb->SetOpenOutside([this](const QString& target) {
        if (m_hooks.OpenDocument)
            m_hooks.OpenDocument(target);
    });
    m_memoSource->setReadOnly(true);
    m_memoSource->setUndoRedoEnabled(false);
    m_memoSource->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memoSource->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pages->addTab(pageOf(m_pages, m_wb, "tsPagePreview"), QStringLiteral("Page Preview"));
    m_pages->addTab(pageOf(m_pages, m_memoSource, "tsHtmlSource"), QStringLiteral("HTML Source"));

    m_btnBack->setEnabled(false);
    m_btnOK->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_sbtnHelp);
    buttons->addWidget(m_btnBack);
    buttons->addStretch(1);
    buttons->addWidget(m_btnOK);

    m_content = new QWidget(this);
    auto* content = new QVBoxLayout(m_content);
    content->setContentsMargins(0, 0, 0, 0);
    content->addLayout(top);
    content->addWidget(m_pages, 1);
    content->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_content);

    // A click on the selected one counts too; arrow keys between the two click as well.
    connect(m_radioRelative, &QRadioButton::clicked, this, &THtmlExportDialog::radioClick);
    connect(m_radioFull, &QRadioButton::clicked, this, &THtmlExportDialog::radioClick);
    connect(m_comboPrefix, &QComboBox::editTextChanged, this,
            &THtmlExportDialog::comboPrefixChange);
    // Either way the page on disk no longer matches the options; only a build disables it.
    connect(m_checkLinkFolders, &QCheckBox::clicked, m_btnGenerate,
            [this] { m_btnGenerate->setEnabled(true); });
    connect(m_btnGenerate, &QPushButton::clicked, this, [this] { Generate(); });
    connect(m_wb, &QTextBrowser::backwardAvailable, m_btnBack, &QPushButton::setEnabled);
    connect(m_btnBack, &QPushButton::clicked, m_wb, &QTextBrowser::backward);
    connect(m_btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_sbtnHelp, &QPushButton::clicked, this, [this] {
        if (m_hooks.RunHelp)
            m_hooks.RunHelp();
    });
    createActions();
}

THtmlExportDialog::~THtmlExportDialog() = default;

void THtmlExportDialog::createActions()
{
    const auto make = [this](const char* name, const QString& caption,
                             const QList<QKeySequence>& keys,
                             void (THtmlExportDialog::*handler)()) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    make("actionSelectAll", QStringLiteral("Select &All"), {QKeySequence(Qt::CTRL | Qt::Key_A)},
         &THtmlExportDialog::selectAllExecute);
    make("actionMaximize", QStringLiteral("Maximize / Restore"), {QKeySequence(Qt::Key_F11)},
         &THtmlExportDialog::maximizeExecute);
    auto* next = new QAction(this);
    next->setObjectName(QStringLiteral("actionNextPage"));
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
    connect(next, &QAction::triggered, this, [this] { switchPage(1); });
    addAction(next);
    auto* previous = new QAction(this);
    previous->setObjectName(QStringLiteral("actionPreviousPage"));
    // Shift+Tab arrives as Backtab on most platforms.
    previous->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
    connect(previous, &QAction::triggered, this, [this] { switchPage(-1); });
    addAction(previous);
}

void THtmlExportDialog::Prepare(const QString& fileName, const TResultText& lines,
                                const QString& listedLocation)
{
    m_exportFileName = fileName;
    m_lines = &lines;
    m_listedLocation = listedLocation;
    m_written = false;
}

bool THtmlExportDialog::Run(const QString& fileName, const TResultText& lines,
                            const QString& listedLocation)
{
    Prepare(fileName, lines, listedLocation);
    if (!isMaximized()) {
        const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
        if (screen)
            move(screen->availableGeometry().center() - rect().center());
    }
    exec();
    return m_written;
}

void THtmlExportDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // back from minimized: not an opening
    m_pages->setCurrentIndex(0);
    // At a large scale the dialog's size may not fit the screen: it is made to, title bar
    // included once the window manager has told the frame's size.
    PlaceOnScreenAndKeepFramed(this);
    const bool oneLocation = !m_listedLocation.isEmpty();
    m_radioRelative->setEnabled(oneLocation);
    m_labelListOneLocation->setVisible(!oneLocation);
    (oneLocation ? m_radioRelative : m_radioFull)->setChecked(true);
    radioClick();
    m_examplePath = m_lines ? ExamplePathOf(*m_lines) : QString();
    refreshExample();
    // The build starts once the dialog has been drawn, so the progress window stands over it.
    QMetaObject::invokeMethod(this, &THtmlExportDialog::generateOnOpen, Qt::QueuedConnection);
}

// A hidden dialog lets go of the result and of what its views hold, which for a large page is
// a lot of memory.
void THtmlExportDialog::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (event->spontaneous() || m_generating)
        return;
    m_lines = nullptr;
    m_wb->ShowNothing();
    m_memoSource->clear();
}

// Esc and the close box wait for a build that runs (it still reads the result and fills the
// views), then close the dialog.
void THtmlExportDialog::reject()
{
    if (m_generating) {
        m_closeAfterBuild = true;
        return;
    }
    QDialog::reject();
}

void THtmlExportDialog::generateOnOpen()
{
    if (isVisible() && m_lines && !m_generating)
        Generate();
}

void THtmlExportDialog::radioClick()
{
    m_btnGenerate->setEnabled(true);
    const bool relative = m_radioRelative->isChecked();
    m_labelPrefix->setEnabled(relative);
    m_comboPrefix->setEnabled(relative);
    refreshExample();
}

void THtmlExportDialog::comboPrefixChange()
{
    m_btnGenerate->setEnabled(true);
    refreshExample();
}

void THtmlExportDialog::refreshExample()
{
    m_edExample->setText(ExampleAddress(m_examplePath, m_listedLocation,
                                        m_radioRelative->isChecked(),
                                        m_comboPrefix->currentText()));
    // The start tells the link kind and the prefix; a long address would show only its end.
    m_edExample->setCursorPosition(0);
}

QString THtmlExportDialog::ExampleText() const
{
    return m_edExample->text();
}

bool THtmlExportDialog::Generate()
{
    if (m_generating || !m_lines)
        return false;
    m_generating = true;
    m_written = false;
    m_btnGenerate->setEnabled(false);
    m_memoSource->clear();
    m_wb->ShowNothing();
    const qsizetype lineCount = m_lines->LineCount();
    // The build lets events run: the dialog takes no input meanwhile, and gets its focus back
    // from itself afterwards, not from the window manager.
    const QPointer<QWidget> focused = focusWidget();
    m_content->setEnabled(false);
    m_progress->Start(lineCount);
    m_wb->SetLoadProgress(
        [this](qsizetype done, qsizetype total) { reportProgress(PreviewPass, done, total); });
    const TBuildScope scope([this, focused] {
        m_wb->SetLoadProgress({});
        m_progress->Finish();
        m_content->setEnabled(true);
        if (focused && focused->isEnabled())
            focused->setFocus(Qt::OtherFocusReason);
        m_generating = false;
    });

    THtmlExportOptions options =
        HtmlPageOptions(m_listedLocation, m_radioRelative->isChecked(),
                        m_comboPrefix->currentText(), m_checkLinkFolders->isChecked());
    options.Lines = m_lines;
    options.Progress = [this, lineCount](qsizetype line) {
        reportProgress(BuildPass, line, lineCount);
    };
    THtmlExportHooks hooks;
    hooks.Show = [this](const QByteArray& page) { showSource(page); };
    hooks.Preview = [this] {
        reportProgress(PreviewPass, 0, 1); // a large file takes a moment to write and to read
        m_wb->ShowPage(m_exportFileName);
    };
    const THtmlExport exported = ExportHtmlPage(m_exportFileName, options, hooks);
    m_written = exported.Written;
    if (!exported.Ok() && m_hooks.ShowError) {
        m_progress->Finish();
        m_hooks.ShowError(this, exported.ErrorText);
    }
    Q_EMIT Generated(m_written);
    if (std::exchange(m_closeAfterBuild, false))
        QMetaObject::invokeMethod(this, &THtmlExportDialog::reject, Qt::QueuedConnection);
    return m_written;
}

// The source view gets the page a chunk of lines at a time, so the windows repaint meanwhile;
// a page too long to hold in a text view is cut with a note.
void THtmlExportDialog::showSource(const QByteArray& page)
{
    const QByteArrayView lineEnd("\r\n");
    const qsizetype total = page.count(lineEnd) + 1;
    const qsizetype shown = std::min(total, MaxShownPageLines);
    QTextCursor cursor(m_memoSource->document());
    qsizetype at = 0;
    qsizetype line = 0;
    while (line < shown) {
        qsizetype end = at;
        const qsizetype chunkEnd = std::min(shown, line + ExportProgressInterval);
        for (; line < chunkEnd; ++line) {
            const qsizetype found = page.indexOf(lineEnd, end);
            end = found < 0 ? page.size() : found + lineEnd.size();
        }
        cursor.insertText(QString::fromUtf8(page.constData() + at, end - at));
        at = end;
        reportProgress(SourcePass, line, shown);
    }
    if (shown < total)
        cursor.insertText(CutNoticeText(shown, total));
}

void THtmlExportDialog::reportProgress(int pass, qsizetype done, qsizetype total)
{
    int before = 0;
    for (int i = 0; i < pass; ++i)
        before += PassShares[std::size_t(i)];
    const double maximum = m_progress->ProgressBar()->maximum();
    const double share = total > 0 ? double(done) / double(total) : 1.0;
    m_progress->SetPosition(qsizetype(maximum * before / 100.0 +
                                      maximum * PassShares[std::size_t(pass)] / 100.0 * share));
}

void THtmlExportDialog::selectAllExecute()
{
    SelectAllInEditor(focusWidget());
}

void THtmlExportDialog::maximizeExecute()
{
    ToggleMaximized(this);
}

void THtmlExportDialog::switchPage(int step)
{
    const int count = m_pages->count();
    m_pages->setCurrentIndex((m_pages->currentIndex() + step + count) % count);
}

} // namespace dirka
