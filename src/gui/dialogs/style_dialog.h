#pragma once

#include "core/listing/folder_walker.h"
#include "core/settings/settings_records.h"
#include "gui/dialogs/style_rules.h"

#include <QDialog>

#include <functional>
#include <optional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace dirka {

/// The list style: one of the ten presets or a custom style, with a preview that lists the
/// program's own folder with the real walker. It edits a working style, handed back on OK.
/// Help context 6.
///
///     TStyleDialog dialog(runHelp, mainWindow);
///     if (const auto style = dialog.Edit(settings.Style)) { settings.Style = *style; ... }
class TStyleDialog : public QDialog {
    Q_OBJECT
public:
    /// runHelp runs the main window's Help command (the "Help" button).
    explicit TStyleDialog(std::function<void()> runHelp, QWidget* parent = nullptr);

    /// Takes a copy of style as the working style; the controls load from it when shown.
    void SetStyle(const TListStyle& style);
    /// The working style: after OK, the style to keep (Preset 0..9, or 10 for "Custom").
    const TListStyle& Style() const { return m_style; }

    /// SetStyle, then shows the dialog modally; the chosen style on OK, nothing on Cancel.
    std::optional<TListStyle> Edit(const TListStyle& style);

Q_SIGNALS:
    /// A preview listing has been written (or dropped because the dialog was closed).
    void PreviewBuilt();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void createControls();
    QWidget* createCustomPage();
    TStyleControls readControls() const;
    void writeControls(const TStyleControls& controls);
    void loadControls(const TListStyle& style, bool withHeader);
    void updateDependentStates();

    void listBoxStyleClick();
    void showCustomView();
    void showPreview(const QString& name);
    void buildPreview();
    void showPreviewLines();
    void btnCustomizePreviewClick();
    void btnOKClick();

    std::function<void()> m_runHelp;
    TListStyle m_style;

    // The preview walk lets events run; a request that arrives meanwhile is kept here and
    // served by one more walk once the running one returns, never by a nested walk.
    TPreviewLines m_previewLines;
    TWalkState m_previewWalk;
    qsizetype m_shownLines = 0; // lines in the text area
    bool m_previewWanted = false;
    bool m_previewRunning = false;

    QCheckBox* m_checkHeader;
    QComboBox* m_comboHeader;
    QListWidget* m_listBoxStyle;
    QGroupBox* m_groupTitle;
    QStackedWidget* m_pageControl;
    QWidget* m_tabPreview;
    QWidget* m_tabCustom;
    QPlainTextEdit* m_memoPreview;
    QRadioButton* m_radioList;
    QRadioButton* m_radioTree;
    QComboBox* m_comboBase;
    QCheckBox* m_checkBaseEOL;
    QCheckBox* m_checkBaseSkip;
    QCheckBox* m_checkSummary;
    QLabel* m_labelFolder;
    QComboBox* m_comboFolder;
    QComboBox* m_comboFile;
    QButtonGroup* m_separatorGroup;
    QButtonGroup* m_indentGroup;
    QSpinBox* m_spinIndentSpace;
    QComboBox* m_comboSort;
    QPushButton* m_btnCustomizePreview;
};

} // namespace dirka
