#include "gui/dialogs/options_dialog.h"

#include "core/listing/listing_run.h"
#include "core/settings/locations.h"
#include "core/text/text_utils.h"
#include "gui/desktop/desktop.h"
#include "gui/desktop/help.h"
#include "gui/dialogs/mask_dialog.h"
#include "gui/dialogs/options_rules.h"
#include "gui/widgets/help_button.h"
#include "gui/widgets/named.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace dirka {

namespace {

QComboBox* locationBox(QWidget* parent, const char* name, const QStringList& choices)
{
    auto* box = named(new QComboBox(parent), name);
    box->setEditable(true);
    // Enter must not add the typed text to the drop-down: it holds the pseudo-locations only.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(choices);
    box->setMinimumContentsLength(24);
    return box;
}

} // namespace

TOptionsDialog::TOptionsDialog(TDesktop& desktop, std::function<void()> runHelp, QWidget* parent)
    : QDialog(parent), m_desktop(desktop), m_runHelp(std::move(runHelp)),
      m_dlgFilter(new TMaskDialog(desktop, this))
{
    setObjectName(QStringLiteral("FormOptions"));
    setWindowTitle(QStringLiteral("Dirka - Options"));
    SetHelpContext(this, OptionsHelpContext);
    createControls();
    loadControls();
}

void TOptionsDialog::createControls()
{
    // Widgets are created in reading order, which is also their tab order.
    auto* range = new QGroupBox(QStringLiteral("Search Range"), this);
    m_cbMaxDepth = named(new QCheckBox(QStringLiteral("&Max. depth"), range), "cbMaxDepth");
    m_spinMaxDepth = named(new QSpinBox(range), "spinMaxDepth");
    m_spinMaxDepth->setRange(1, 999);
    m_cbHidden = named(new QCheckBox(QStringLiteral("H&idden folders/files"), range), "cbHidden");
    m_cbSystem = named(new QCheckBox(QStringLiteral("S&ystem folders/files"), range), "cbSystem");
    auto* rangeLayout = new QGridLayout(range);
    rangeLayout->addWidget(m_cbMaxDepth, 0, 0);
    rangeLayout->addWidget(m_spinMaxDepth, 0, 1, Qt::AlignLeft);
    rangeLayout->addWidget(m_cbHidden, 1, 0, 1, 2);
    rangeLayout->addWidget(m_cbSystem, 2, 0, 1, 2);
    rangeLayout->setColumnStretch(1, 1);

    auto* actions = new QGroupBox(QStringLiteral("Actions and Locations"), this);
    m_cbClearMemo =
        named(new QCheckBox(QStringLiteral("Clear &before list"), actions), "cbClearMemo");
    m_cbCopyMemo =
        named(new QCheckBox(QStringLiteral("&Copy results after list"), actions), "cbCopyMemo");
    m_cbPlaySound =
        named(new QCheckBox(QStringLiteral("&Play sound after list"), actions), "cbPlaySound");
    const QString desktop = QString::fromUtf16(DesktopLocationText);
    const QString documents = QString::fromUtf16(DocumentsLocationText);
    auto* labelPathList = new QLabel(QStringLiteral("Default &list location"), actions);
    m_comboPathList = locationBox(actions, "comboPathList",
                                  {desktop, documents, desktop + u" | " + documents,
                                   QString::fromUtf16(ProgramFilesLocationText)});
    labelPathList->setBuddy(m_comboPathList);
    auto* labelPathSave = new QLabel(QStringLiteral("Default sa&ve location"), actions);
    m_comboPathSave = locationBox(actions, "comboPathSave", {desktop, documents});
    labelPathSave->setBuddy(m_comboPathSave);
    auto* actionsLayout = new QVBoxLayout(actions);
    actionsLayout->addWidget(m_cbClearMemo);
    actionsLayout->addWidget(m_cbCopyMemo);
    actionsLayout->addWidget(m_cbPlaySound);
    actionsLayout->addSpacing(actionsLayout->spacing());
    actionsLayout->addWidget(labelPathList);
    actionsLayout->addWidget(m_comboPathList);
    actionsLayout->addWidget(labelPathSave);
    actionsLayout->addWidget(m_comboPathSave);

    auto* filter = new QGroupBox(QStringLiteral("Filter"), this);
    auto* labelSearchFor = new QLabel(QStringLiteral("&Search for"), filter);
    m_comboFilter = named(new QComboBox(filter), "comboFilter");
    for (const QString& text : FilterEntryTexts())
        m_comboFilter->addItem(text);
    m_comboFilter->setMaxVisibleItems(32);
    labelSearchFor->setBuddy(m_comboFilter);
    m_labelFilter = named(new QLabel(filter), "labelFilter");
    m_lbFilter = named(new QListWidget(filter), "lbFilter");
    m_lbFilter->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lbFilter->installEventFilter(this);
    m_labelFilter->setBuddy(m_lbFilter);
    m_btnFilterAdd = named(new QPushButton(QStringLiteral("&Add"), filter), "btnFilterAdd");
    m_btnFilterEdit = named(new QPushButton(QStringLiteral("&Edit"), filter), "btnFilterEdit");
    m_btnFilterDel = named(new QPushButton(QStringLiteral("&Del"), filter), "btnFilterDel");
    m_btnFilterDef = named(new QPushButton(QStringLiteral("Def."), filter), "btnFilterDef");
    m_btnFilterDef->setToolTip(QStringLiteral("Default values"));
    auto* filterLayout = new QGridLayout(filter);
    filterLayout->addWidget(labelSearchFor, 0, 0, 1, 2);
    filterLayout->addWidget(m_comboFilter, 1, 0, 1, 2);
    filterLayout->addWidget(m_labelFilter, 2, 0, 1, 2);
    filterLayout->addWidget(m_lbFilter, 3, 0, 5, 1);
    filterLayout->addWidget(m_btnFilterAdd, 3, 1);
    filterLayout->addWidget(m_btnFilterEdit, 4, 1);
    filterLayout->addWidget(m_btnFilterDel, 5, 1);
    filterLayout->addWidget(m_btnFilterDef, 6, 1);
    filterLayout->setRowStretch(7, 1);

    auto* sbtnHelp = HelpButton(this);
    auto* btnReset = named(new QPushButton(QStringLiteral("&Reset"), this), "btnReset");
    m_btnOK = named(new QPushButton(QStringLiteral("&OK"), this), "btnOK");
    m_btnOK->setDefault(true);
    auto* btnCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(sbtnHelp);
    bottom->addStretch(1);
    bottom->addWidget(btnReset);
    bottom->addWidget(m_btnOK);
    bottom->addWidget(btnCancel);

    auto* layout = new QGridLayout(this);
    layout->addWidget(range, 0, 0);
    layout->addWidget(actions, 1, 0);
    layout->addWidget(filter, 0, 1, 2, 1);
    layout->setRowStretch(1, 1);
    layout->addLayout(bottom, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_cbMaxDepth, &QCheckBox::toggled, m_spinMaxDepth, &QWidget::setEnabled);
    connect(m_comboFilter, &QComboBox::currentIndexChanged, this,
            &TOptionsDialog::comboFilterChange);
    connect(m_lbFilter, &QListWidget::itemSelectionChanged, this,
            &TOptionsDialog::updateMaskButtons);
    connect(m_lbFilter, &QListWidget::itemDoubleClicked, this, &TOptionsDialog::btnFilterEditClick);
    connect(m_btnFilterAdd, &QPushButton::clicked, this, &TOptionsDialog::btnFilterAddClick);
    connect(m_btnFilterEdit, &QPushButton::clicked, this, &TOptionsDialog::btnFilterEditClick);
    connect(m_btnFilterDel, &QPushButton::clicked, this, &TOptionsDialog::btnFilterDelClick);
    connect(m_btnFilterDef, &QPushButton::clicked, this, &TOptionsDialog::btnFilterDefClick);
    connect(sbtnHelp, &QPushButton::clicked, this, [this] {
        if (m_runHelp)
            m_runHelp();
    });
    connect(btnReset, &QPushButton::clicked, this, &TOptionsDialog::btnResetClick);
    connect(m_btnOK, &QPushButton::clicked, this, &TOptionsDialog::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptionsDialog::SetSettings(const TSettings& settings)
{
    m_settings = settings;
    loadControls();
}

std::optional<TSettings> TOptionsDialog::Edit(const TSettings& settings)
{
    SetSettings(settings);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return m_settings;
}

void TOptionsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window manager showing the dialog again must not undo what the user has changed.
    if (event->spontaneous())
        return;
    loadControls();
    m_btnOK->setFocus();
}

void TOptionsDialog::loadControls()
{
    m_cbMaxDepth->setChecked(m_settings.IsMaxDepth);
    m_spinMaxDepth->setValue(m_settings.MaxDepth);
    m_cbHidden->setChecked(m_settings.IsHiddenFiles);
    m_cbSystem->setChecked(m_settings.IsSystemFiles);
    m_cbClearMemo->setChecked(m_settings.IsClear);
    m_cbCopyMemo->setChecked(m_settings.IsCopy);
    m_cbPlaySound->setChecked(m_settings.IsSound);
    m_comboPathList->setEditText(m_settings.PathList);
    m_comboPathSave->setEditText(m_settings.PathSave);
    loadFilterGroup();
    m_spinMaxDepth->setEnabled(m_cbMaxDepth->isChecked());
}

void TOptionsDialog::loadFilterGroup()
{
    const int filter = m_settings.Filter;
    const bool inRange = filter >= 0 && filter < FilterCount;
    {
        const QSignalBlocker blocker(m_comboFilter);
        m_comboFilter->setCurrentIndex(inRange ? filter : -1);
    }
    m_lbFilter->clear();
    const QString& maskText = inRange ? m_settings.FilterMask[std::size_t(filter)] : QString();
    const bool editable = inRange && !IsSeparatorMaskText(maskText);
    if (inRange) {
        m_labelFilter->setText(MaskListCaption(filter));
        m_lbFilter->addItems(MaskRows(maskText));
    }
    m_labelFilter->setEnabled(editable);
    m_lbFilter->setEnabled(editable);
    m_btnFilterAdd->setEnabled(editable);
    m_btnFilterDef->setEnabled(editable);
    updateMaskButtons();
}

void TOptionsDialog::updateMaskButtons()
{
    const bool rowSelected = m_lbFilter->isEnabled() && !m_lbFilter->selectedItems().isEmpty();
    m_btnFilterEdit->setEnabled(rowSelected);
    m_btnFilterDel->setEnabled(rowSelected);
}

int TOptionsDialog::selectedFilter() const
{
    return m_comboFilter->currentIndex();
}

void TOptionsDialog::writeMaskListBack()
{
    const int filter = selectedFilter();
    if (filter < 0 || filter >= FilterCount)
        return;
    QString& maskText = m_settings.FilterMask[std::size_t(filter)];
    if (IsSeparatorMaskText(maskText))
        return;
    QStringList rows;
    for (int i = 0; i < m_lbFilter->count(); ++i)
        rows.append(m_lbFilter->item(i)->text());
    maskText = MaskTextOfRows(rows);
}

std::optional<QString> TOptionsDialog::askMask(const QString& text)
{
    return m_dlgFilter->Ask(m_labelFilter->text(), text);
}

void TOptionsDialog::comboFilterChange(int index)
{
    m_settings.Filter = index;
    loadFilterGroup();
}

void TOptionsDialog::btnFilterAddClick()
{
    if (const std::optional<QString> mask = askMask(QString())) {
        m_lbFilter->addItem(*mask);
        writeMaskListBack();
    }
}

void TOptionsDialog::btnFilterEditClick()
{
    const QList<QListWidgetItem*> selected = m_lbFilter->selectedItems();
    if (selected.isEmpty() || !m_btnFilterEdit->isEnabled())
        return;
    QListWidgetItem* item = selected.first();
    if (const std::optional<QString> mask = askMask(item->text())) {
        item->setText(*mask);
        writeMaskListBack();
    }
}

void TOptionsDialog::btnFilterDelClick()
{
    const QList<QListWidgetItem*> selected = m_lbFilter->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = m_lbFilter->row(selected.first());
    delete m_lbFilter->takeItem(row);
    const int next = RowAfterDelete(row, m_lbFilter->count());
    if (next >= 0)
        m_lbFilter->setCurrentRow(next);
    else
        m_lbFilter->clearSelection();
    writeMaskListBack();
    updateMaskButtons();
}

void TOptionsDialog::btnFilterDefClick()
{
    const int filter = selectedFilter();
    if (filter < 0 || filter >= FilterCount)
        return;
    m_settings.FilterMask[std::size_t(filter)] = DefaultFilterMasks()[std::size_t(filter)];
    loadFilterGroup();
}

void TOptionsDialog::btnResetClick()
{
    ResetOptions(m_settings);
    loadControls();
}

// A list reached by Tab or its accelerator shows its current row selected, so Edit and Del
// work at once; without a current row the first one is.
bool TOptionsDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lbFilter && event->type() == QEvent::FocusIn && m_lbFilter->count() > 0 &&
        m_lbFilter->selectedItems().isEmpty())
        m_lbFilter->setCurrentRow(std::max(m_lbFilter->currentRow(), 0));
    return QDialog::eventFilter(watched, event);
}

void TOptionsDialog::btnOKClick()
{
    m_settings.IsMaxDepth = m_cbMaxDepth->isChecked();
    // Text that is no number counts as the smallest depth.
    bool isNumber = false;
    const int depth = m_spinMaxDepth->cleanText().toInt(&isNumber);
    m_settings.MaxDepth = isNumber ? std::clamp(depth, 1, 999) : 1;
    m_settings.IsHiddenFiles = m_cbHidden->isChecked();
    m_settings.IsSystemFiles = m_cbSystem->isChecked();
    m_settings.IsClear = m_cbClearMemo->isChecked();
    m_settings.IsCopy = m_cbCopyMemo->isChecked();
    m_settings.IsSound = m_cbPlaySound->isChecked();
    m_settings.PathList = TrimText(m_comboPathList->currentText());
    m_settings.PathSave = TrimText(m_comboPathSave->currentText());
    if (const int filter = selectedFilter(); filter >= 0)
        m_settings.Filter = filter;
    writeMaskListBack();

    const TMissingLocation missing = MissingLocation(m_settings);
    if (missing != TMissingLocation::None) {
        (missing == TMissingLocation::PathList ? m_comboPathList : m_comboPathSave)->setFocus();
        m_desktop.Warning(this, QString::fromUtf16(MissingLocationText));
        return;
    }
    accept();
}

} // namespace dirka
