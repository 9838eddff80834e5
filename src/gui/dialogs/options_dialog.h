#pragma once

#include "core/settings/settings_records.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace dirka {

class TDesktop;
class TMaskDialog;

/// The options: search range, actions after a listing, default locations and the masks of every
/// "Search for" entry. It edits a working copy of the settings; mask edits go into that copy at
/// once, so Cancel drops them with everything else. Help context 7.
///
///     TOptionsDialog options(desktop, runHelp, mainWindow);
///     if (const auto edited = options.Edit(settings)) { settings = *edited; ... }
class TOptionsDialog : public QDialog {
    Q_OBJECT
public:
    /// desktop shows the warnings; runHelp runs the main window's Help command (the "Help"
    /// button).
    explicit TOptionsDialog(TDesktop& desktop, std::function<void()> runHelp,
                            QWidget* parent = nullptr);

    /// Takes a copy of settings as the working copy and loads the controls from it.
    void SetSettings(const TSettings& settings);
    /// The working copy: after OK, the settings to keep.
    const TSettings& Settings() const { return m_settings; }

    /// SetSettings, then shows the dialog modally; the edited settings on OK, nothing on Cancel.
    std::optional<TSettings> Edit(const TSettings& settings);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void loadControls();
    void loadFilterGroup();
    void updateMaskButtons();
    void writeMaskListBack();
    std::optional<QString> askMask(const QString& text);
    int selectedFilter() const;

    void comboFilterChange(int index);
    void btnFilterAddClick();
    void btnFilterEditClick();
    void btnFilterDelClick();
    void btnFilterDefClick();
    void btnResetClick();
    void btnOKClick();

    TDesktop& m_desktop;
    std::function<void()> m_runHelp;
    TSettings m_settings;
    TMaskDialog* m_dlgFilter;

    QCheckBox* m_cbMaxDepth;
    QSpinBox* m_spinMaxDepth;
    QCheckBox* m_cbHidden;
    QCheckBox* m_cbSystem;
    QCheckBox* m_cbClearMemo;
    QCheckBox* m_cbCopyMemo;
    QCheckBox* m_cbPlaySound;
    QComboBox* m_comboPathList;
    QComboBox* m_comboPathSave;
    QComboBox* m_comboFilter;
    QLabel* m_labelFilter;
    QListWidget* m_lbFilter;
    QPushButton* m_btnFilterAdd;
    QPushButton* m_btnFilterEdit;
    QPushButton* m_btnFilterDel;
    QPushButton* m_btnFilterDef;
    QPushButton* m_btnOK;
};

} // namespace dirka
