#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

// "Export to HTML Web Page": the dialog that writes the result as a linked XHTML page, shows it
// in a preview and as source, and rewrites it with other link options.
namespace dirka {

class TResultText;
class TSaveDialog;
class TProgressDialog;
class TPagePreview;

/// The main window's command caption, which the dialog and the save dialog are titled after.
inline constexpr char16_t ExportToHtmlCaption[] = u"Export to HTML Web Page";

/// What the dialog asks of the program around it.
struct TExportDialogHooks {
    /// An "Error" box with the error icon over parent.
    std::function<void(QWidget* parent, const QString& text)> ShowError;
    /// Opens a local path or a web address with the user's default program (links the preview
    /// does not show itself).
    std::function<void(const QString& target)> OpenDocument;
    /// The main window's Help command.
    std::function<void()> RunHelp;
};

/// `saveDialogHTML`: titled "Export to HTML Web Page As", HTML files or all files, "html" added
/// to a name without an extension, asking before it replaces a file, resizable. The caller
/// sets its start folder before each use.
TSaveDialog* CreateHtmlSaveDialog(QWidget* parent);

/// The export dialog, `THtmlExportDialog`. Made once and kept: the prefix and Link Folders keep
/// their values from one export to the next while the program runs.
class THtmlExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit THtmlExportDialog(TExportDialogHooks hooks, QWidget* parent = nullptr);
    ~THtmlExportDialog() override;

    /// Shows the dialog modally for lines (the result; their item paths come from the result
    /// line store) to be written to fileName. listedLocation: the single location the last
    /// listing run listed, or empty after a run of several. Opening writes the page at once.
    /// Answers whether the last build wrote the file.
    bool Run(const QString& fileName, const TResultText& lines, const QString& listedLocation);

    /// What Run does before it shows the dialog; for callers that show it themselves.
    void Prepare(const QString& fileName, const TResultText& lines, const QString& listedLocation);

    /// The Generate button's work: builds the page, shows it as source, writes the file and
    /// shows it in the preview; a failure is shown with its stage. Answers whether the file
    /// was written.
    bool Generate();

    /// The example address beside the link options.
    QString ExampleText() const;
    QString ExportFileName() const { return m_exportFileName; }

    /// Esc and the close box wait for a build that runs, then close the dialog.
    void reject() override;

Q_SIGNALS:
    /// A build ended; written tells whether the file was written.
    void Generated(bool written);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void createActions();
    void generateOnOpen();
    void radioClick();
    void comboPrefixChange();
    void refreshExample();
    void showSource(const QByteArray& page);
    void reportProgress(int pass, qsizetype done, qsizetype total);
    void selectAllExecute();
    void maximizeExecute();
    void switchPage(int step);

    TExportDialogHooks m_hooks;
    const TResultText* m_lines = nullptr;
    QString m_exportFileName;
    QString m_listedLocation;
    QString m_examplePath;
    bool m_generating = false;
    bool m_written = false;
    bool m_closeAfterBuild = false;

    QRadioButton* m_radioRelative;
    QRadioButton* m_radioFull;
    QLabel* m_labelListOneLocation;
    QLabel* m_labelPrefix;
    QComboBox* m_comboPrefix;
    QLabel* m_labelExample;
    QLineEdit* m_edExample;
    QPushButton* m_btnGenerate;
    QCheckBox* m_checkLinkFolders;
    QTabWidget* m_pages;
    TPagePreview* m_wb;
    QPlainTextEdit* m_memoSource;
    QPushButton* m_sbtnHelp;
    QPushButton* m_btnBack;
    QPushButton* m_btnOK;
    TProgressDialog* m_progress;
    QWidget* m_content = nullptr; // everything the dialog shows, disabled while a build runs
};

} // namespace dirka
