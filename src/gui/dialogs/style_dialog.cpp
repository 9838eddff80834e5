#include "gui/dialogs/style_dialog.h"

#include "core/listing/folder_walker.h"
#include "core/system/program_info.h"
#include "gui/desktop/help.h"
#include "gui/widgets/help_button.h"
#include "gui/widgets/named.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace dirka {

namespace {

QComboBox* dropDown(QWidget* parent, const char* name, const QStringList& items)
{
    auto* box = named(new QComboBox(parent), name);
    box->addItems(items);
    return box;
}

QLabel* labelFor(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text, buddy->parentWidget());
    label->setBuddy(buddy);
    return label;
}

// The preview shows the listing as it grows and keeps the dialog answering while it runs.
class TPreviewReporter : public TWalkReporter {
public:
    explicit TPreviewReporter(std::function<void()> pump) : m_pump(std::move(pump)) {}
    void ProcessEvents() override { m_pump(); }

private:
    std::function<void()> m_pump;
};

} // namespace

TStyleDialog::TStyleDialog(std::function<void()> runHelp, QWidget* parent)
    : QDialog(parent), m_runHelp(std::move(runHelp))
{
    setObjectName(QStringLiteral("FormSelectStyle"));
    setWindowTitle(QStringLiteral("Dirka - List Style"));
    SetHelpContext(this, StyleHelpContext);
    createControls();
}

void TStyleDialog::createControls()
{
    // Widgets are created in reading order, which is also their tab order.
    auto* title = new QLabel(QStringLiteral("Select list style"), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    title->setFont(titleFont);
    m_checkHeader = named(new QCheckBox(QStringLiteral("&Header"), this), "checkHeader");
    m_comboHeader = dropDown(this, "comboHeader", HeaderChoices());

    m_listBoxStyle = named(new QListWidget(this), "listBoxStyle");
    for (const TListStyle& preset : ListStylePresets())
        m_listBoxStyle->addItem(preset.Name);
    m_listBoxStyle->addItem(QStringLiteral("Custom"));
    m_listBoxStyle->setSelectionMode(QAbstractItemView::SingleSelection);
    const QFontMetrics metrics(m_listBoxStyle->font());
    m_listBoxStyle->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("Folders, summarized")) +
                                  metrics.averageCharWidth() * 6);

    m_groupTitle = named(new QGroupBox(this), "groupTitle");
    m_pageControl = named(new QStackedWidget(m_groupTitle), "pageControl");
    m_tabPreview = named(new QWidget(m_pageControl), "tabPreview");
    m_memoPreview = named(new QPlainTextEdit(m_tabPreview), "memoPreview");
    m_memoPreview->setReadOnly(true);
    m_memoPreview->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memoPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memoPreview->setFrameShape(QFrame::NoFrame);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies({QStringLiteral("Courier New"), fixed.family()});
    fixed.setStyleHint(QFont::TypeWriter);
    m_memoPreview->setFont(fixed);
    const QFontMetrics fixedMetrics(fixed);
    m_memoPreview->setTabStopDistance(fixedMetrics.horizontalAdvance(u' ') * 8);
    m_memoPreview->setMinimumSize(fixedMetrics.horizontalAdvance(u'x') * 60,
                                  fixedMetrics.lineSpacing() * 18);
    QPalette memoPalette = m_memoPreview->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::Window));
    m_memoPreview->setPalette(memoPalette);
    auto* previewLayout = new QVBoxLayout(m_tabPreview);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(m_memoPreview);
    m_tabCustom = named(createCustomPage(), "tabCustom");
    m_pageControl->addWidget(m_tabPreview);
    m_pageControl->addWidget(m_tabCustom);
    auto* groupLayout = new QVBoxLayout(m_groupTitle);
    groupLayout->addWidget(m_pageControl);

    auto* sbtnHelp = HelpButton(this);
    m_btnCustomizePreview =
        named(new QPushButton(QStringLiteral("Customiz&e"), this), "btnCustomizePreview");
    auto* btnOK = named(new QPushButton(QStringLiteral("&OK"), this), "btnOK");
    btnOK->setDefault(true);
    auto* btnCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");

    auto* headerRow = new QHBoxLayout;
    headerRow->addStretch(1);
    headerRow->addWidget(m_checkHeader);
    headerRow->addWidget(m_comboHeader);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(sbtnHelp);
    bottom->addWidget(m_btnCustomizePreview);
    bottom->addStretch(1);
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);
    auto* layout = new QGridLayout(this);
    layout->addWidget(title, 0, 0);
    layout->addLayout(headerRow, 0, 1);
    // One grid row: the frame ends level with the bottom of the style list.
    layout->addWidget(m_listBoxStyle, 1, 0);
    layout->addWidget(m_groupTitle, 1, 1);
    layout->addLayout(bottom, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_checkHeader, &QCheckBox::toggled, this, &TStyleDialog::updateDependentStates);
    connect(m_listBoxStyle, &QListWidget::itemSelectionChanged, this,
            &TStyleDialog::listBoxStyleClick);
    connect(sbtnHelp, &QPushButton::clicked, this, [this] {
        if (m_runHelp)
            m_runHelp();
    });
    connect(m_btnCustomizePreview, &QPushButton::clicked, this,
            &TStyleDialog::btnCustomizePreviewClick);
    connect(btnOK, &QPushButton::clicked, this, &TStyleDialog::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* TStyleDialog::createCustomPage()
{
    auto* page = new QWidget(m_pageControl);

    auto* mode = new QGroupBox(QStringLiteral("Mode"), page);
    m_radioList = named(new QRadioButton(QStringLiteral("&List"), mode), "radioList");
    m_radioTree = named(new QRadioButton(QStringLiteral("&Tree"), mode), "radioTree");
    m_radioList->setChecked(true);
    auto* modeLayout = new QVBoxLayout(mode);
    modeLayout->addWidget(m_radioList);
    modeLayout->addWidget(m_radioTree);
    modeLayout->addStretch(1);

    auto* base = new QGroupBox(QStringLiteral("Base Folder"), page);
    m_comboBase = dropDown(base, "comboBase", FolderItemChoices());
    m_checkBaseEOL = named(new QCheckBox(QStringLiteral("&New line begins"), base), "checkBaseEOL");
    m_checkBaseSkip =
        named(new QCheckBox(QStringLiteral("Skip &when no files"), base), "checkBaseSkip");
    m_checkSummary = named(new QCheckBox(QStringLiteral("S&ummarize"), base), "checkSummary");
    auto* baseLayout = new QVBoxLayout(base);
    baseLayout->addWidget(m_comboBase);
    baseLayout->addWidget(m_checkBaseEOL);
    baseLayout->addWidget(m_checkBaseSkip);
    baseLayout->addWidget(m_checkSummary);

    auto* details = new QGroupBox(QStringLiteral("Details"), page);
    m_comboFolder = dropDown(details, "comboFolder", FolderItemChoices());
    m_labelFolder = labelFor(QStringLiteral("Folde&r item"), m_comboFolder);
    m_comboFile = dropDown(details, "comboFile", FileItemChoices());
    auto* labelFile = labelFor(QStringLiteral("&File item"), m_comboFile);
    auto* labelSeparator = new QLabel(QStringLiteral("Separator"), details);
    auto* radioSeparatorTab =
        named(new QRadioButton(QStringLiteral("Ta&b"), details), "radioSeparatorTab");
    auto* radioSeparatorSpace =
        named(new QRadioButton(QStringLiteral("S&pace"), details), "radioSeparatorSpace");
    m_separatorGroup = new QButtonGroup(this);
    m_separatorGroup->addButton(radioSeparatorTab, 0);
    m_separatorGroup->addButton(radioSeparatorSpace, 1);
    radioSeparatorTab->setChecked(true);
    auto* labelIndent = new QLabel(QStringLiteral("Indent"), details);
    auto* radioIndentTab =
        named(new QRadioButton(QStringLiteral("Tab"), details), "radioIndentTab");
    auto* radioIndentSpace =
        named(new QRadioButton(QStringLiteral("Space"), details), "radioIndentSpace");
    m_spinIndentSpace = named(new QSpinBox(details), "spinIndentSpace");
    m_spinIndentSpace->setRange(0, 20);
    auto* radioIndentNone =
        named(new QRadioButton(QStringLiteral("None"), details), "radioIndentNone");
    m_indentGroup = new QButtonGroup(this);
    m_indentGroup->addButton(radioIndentTab, 0);
    m_indentGroup->addButton(radioIndentSpace, 1);
    m_indentGroup->addButton(radioIndentNone, 2);
    radioIndentNone->setChecked(true);
    m_comboSort = dropDown(details, "comboSort", SortModeChoices());
    auto* labelSort = labelFor(QStringLiteral("&Sort by"), m_comboSort);

    auto* separatorRow = new QHBoxLayout;
    separatorRow->addWidget(radioSeparatorTab);
    separatorRow->addWidget(radioSeparatorSpace);
    separatorRow->addStretch(1);
    auto* indentRow = new QHBoxLayout;
    indentRow->addWidget(radioIndentTab);
    indentRow->addWidget(radioIndentSpace);
    indentRow->addWidget(m_spinIndentSpace);
    indentRow->addWidget(radioIndentNone);
    indentRow->addStretch(1);
    auto* detailsLayout = new QGridLayout(details);
    detailsLayout->addWidget(m_labelFolder, 0, 0);
    detailsLayout->addWidget(m_comboFolder, 0, 1);
    detailsLayout->addWidget(labelFile, 1, 0);
    detailsLayout->addWidget(m_comboFile, 1, 1);
    detailsLayout->addWidget(labelSeparator, 2, 0);
    detailsLayout->addLayout(separatorRow, 2, 1);
    detailsLayout->addWidget(labelIndent, 3, 0);
    detailsLayout->addLayout(indentRow, 3, 1);
    detailsLayout->addWidget(labelSort, 4, 0);
    detailsLayout->addWidget(m_comboSort, 4, 1);
    detailsLayout->setColumnStretch(1, 1);

    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mode, 0, 0);
    layout->addWidget(base, 0, 1);
    layout->addWidget(details, 1, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(2, 1);

    connect(m_radioList, &QRadioButton::toggled, this, &TStyleDialog::updateDependentStates);
    connect(m_indentGroup, &QButtonGroup::idToggled, this, &TStyleDialog::updateDependentStates);
    return page;
}

void TStyleDialog::SetStyle(const TListStyle& style)
{
    m_style = style;
}

std::optional<TListStyle> TStyleDialog::Edit(const TListStyle& style)
{
    SetStyle(style);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return m_style;
}

void TStyleDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window manager showing the dialog again must not undo what the user has changed.
    if (event->spontaneous())
        return;
    loadControls(m_style, true);
    listBoxStyleClick();
    m_listBoxStyle->setFocus();
}

void TStyleDialog::done(int result)
{
    // A preview still walking would only fill a hidden window: let it end at its next pump.
    if (m_previewRunning)
        m_previewWalk.Stop.Request();
    QDialog::done(result);
}

TStyleControls TStyleDialog::readControls() const
{
    TStyleControls c;
    const QList<QListWidgetItem*> selected = m_listBoxStyle->selectedItems();
    c.StylePosition = selected.isEmpty() ? -1 : m_listBoxStyle->row(selected.first());
    c.Tree = m_radioTree->isChecked();
    c.SeparatorSpace = m_separatorGroup->checkedId() == 1;
    c.IndentMode = std::max(m_indentGroup->checkedId(), 0);
    c.NewLine = m_checkBaseEOL->isChecked();
    c.Skip = m_checkBaseSkip->isChecked();
    c.Summary = m_checkSummary->isChecked();
    c.Base = m_comboBase->currentIndex();
    c.Folder = m_comboFolder->currentIndex();
    c.File = m_comboFile->currentIndex();
    c.SortMode = m_comboSort->currentIndex();
    c.IndentSpace = m_spinIndentSpace->value();
    c.Header = m_checkHeader->isChecked();
    c.HeaderPosition = m_comboHeader->currentIndex();
    return c;
}

void TStyleDialog::writeControls(const TStyleControls& c)
{
    {
        // Selecting from code is no click on the list.
        const QSignalBlocker blocker(m_listBoxStyle);
        if (c.StylePosition >= 0) {
            m_listBoxStyle->setCurrentRow(c.StylePosition);
        } else {
            m_listBoxStyle->clearSelection();
            m_listBoxStyle->setCurrentItem(nullptr);
        }
    }
    (c.Tree ? m_radioTree : m_radioList)->setChecked(true);
    m_separatorGroup->button(c.SeparatorSpace ? 1 : 0)->setChecked(true);
    m_indentGroup->button(c.IndentMode)->setChecked(true);
    m_checkBaseEOL->setChecked(c.NewLine);
    m_checkBaseSkip->setChecked(c.Skip);
    m_checkSummary->setChecked(c.Summary);
    m_comboBase->setCurrentIndex(c.Base);
    m_comboFolder->setCurrentIndex(c.Folder);
    m_comboFile->setCurrentIndex(c.File);
    m_comboSort->setCurrentIndex(c.SortMode);
    m_spinIndentSpace->setValue(c.IndentSpace);
    m_checkHeader->setChecked(c.Header);
    m_comboHeader->setCurrentIndex(c.HeaderPosition);
    updateDependentStates();
}

void TStyleDialog::loadControls(const TListStyle& style, bool withHeader)
{
    TStyleControls controls = readControls();
    LoadStyleControls(controls, style, withHeader);
    writeControls(controls);
}

void TStyleDialog::updateDependentStates()
{
    const TStyleControlStates states = StyleControlStates(readControls());
    m_spinIndentSpace->setEnabled(states.IndentSpace);
    m_comboFolder->setEnabled(states.FolderItem);
    m_labelFolder->setEnabled(states.FolderItem);
    m_comboHeader->setEnabled(states.HeaderList);
}

void TStyleDialog::listBoxStyleClick()
{
    m_groupTitle->setTitle(QString());
    const int position = readControls().StylePosition;
    if (position < 0 || position >= PresetCount) {
        showCustomView();
        return;
    }
    const TListStyle& preset = ListStylePresets()[std::size_t(position)];
    loadControls(preset, false);
    showPreview(preset.Name);
}

void TStyleDialog::showCustomView()
{
    {
        const QSignalBlocker blocker(m_listBoxStyle);
        m_listBoxStyle->setCurrentRow(CustomPreset);
    }
    m_pageControl->setCurrentWidget(m_tabCustom);
    m_groupTitle->setTitle(QStringLiteral("Customize"));
    m_btnCustomizePreview->setText(QStringLiteral("Pr&eview"));
}

void TStyleDialog::showPreview(const QString& name)
{
    m_memoPreview->clear();
    m_pageControl->setCurrentWidget(m_tabPreview);
    m_groupTitle->setTitle(PreviewCaption(name));
    m_btnCustomizePreview->setText(QStringLiteral("Customiz&e"));
    // The walk runs from the event loop, never inside a show or a click already on the stack.
    m_previewWanted = true;
    if (!m_previewRunning) {
        QMetaObject::invokeMethod(this, &TStyleDialog::buildPreview, Qt::QueuedConnection);
    } else {
        // The walk under way lists a style no longer wanted: cut it short.
        m_previewWalk.Stop.Request();
    }
}

void TStyleDialog::buildPreview()
{
    if (m_previewRunning || !m_previewWanted)
        return;
    m_previewRunning = true;
    const auto finished = qScopeGuard([this] {
        m_previewRunning = false;
        Q_EMIT PreviewBuilt();
    });
    const QString location = Info().ProgramFolder;
    // Each pass reads the controls as they are then, so the last change always wins.
    while (m_previewWanted && isVisible() && !location.isEmpty()) {
        m_previewWanted = false;
        m_previewWalk.Stop.Clear();
        TSettings settings;
        SetDefaultSettings(settings);
        settings.Style = ReadStyleControls(readControls());
        m_previewLines.Reset();
        m_memoPreview->clear();
        m_shownLines = 0;
        TPreviewReporter reporter([this] {
            QCoreApplication::processEvents();
            if (!m_previewWanted)
                showPreviewLines();
        });
        ListLocation(settings, location, m_previewLines, reporter, m_previewWalk);
        if (!m_previewWanted)
            showPreviewLines();
    }
}

void TStyleDialog::showPreviewLines()
{
    m_shownLines = RefreshPreview(*m_memoPreview->document(), m_shownLines, m_previewLines);
}

void TStyleDialog::btnCustomizePreviewClick()
{
    if (m_pageControl->currentWidget() == m_tabPreview)
        showCustomView();
    else
        showPreview(QString());
}

void TStyleDialog::btnOKClick()
{
    m_style = ReadStyleControls(readControls());
    accept();
}

} // namespace dirka
