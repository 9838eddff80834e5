#pragma once

#include <QDialog>
#include <QString>

#include <functional>

namespace dirka {

class TClickableLabel;

/// The about box: name, version, notice, and links to the maker's site, the program's web page
/// and the licence and FAQ pages beside the program.
///
///     TAboutDialog about(openDocument, mainWindow);
///     about.exec();
class TAboutDialog : public QDialog {
    Q_OBJECT
public:
    /// openDocument opens a local file path or a web address, as the shell would.
    explicit TAboutDialog(std::function<void(const QString&)> openDocument,
                          QWidget* parent = nullptr);

    /// ProgramFolder + "help/" + LanguageCode + suffix ("_License.html"), opened only when it
    /// exists: the pages are there for "us" only.
    void OpenHelpPage(const QString& suffix);

private:
    void makeClickable(TClickableLabel* label, const QString& hint, std::function<void()> action);

    std::function<void(const QString&)> m_openDocument;
};

} // namespace dirka
