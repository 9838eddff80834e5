#pragma once

#include <QString>
#include <QUrl>

#include <optional>

class QFileDialog;
class QWidget;
struct ca_context;

// Everything the window asks of the desktop around it: opening documents, the file manager,
// sounds, message boxes and the file dialogs. Tests put a fake in its place.
namespace dirka {

class TDesktop {
public:
    virtual ~TDesktop() = default;

    /// Opens a file, a folder or a web address with the user's default program; failures are
    /// ignored.
    virtual void OpenDocument(const QString& target) = 0;
    /// Shows the file manager with the item at path selected.
    virtual void ShowInFileManager(const QString& path) = 0;
    virtual void Beep() = 0;
    /// Plays a sound file without waiting for it; no sound device means no sound.
    virtual void PlaySound(const QString& fileName) = 0;
    /// A "Warning" box with the warning icon, or an "Error" box with the error icon.
    virtual void Warning(QWidget* parent, const QString& text) = 0;
    virtual void Error(QWidget* parent, const QString& text) = 0;
    /// Runs a save dialog: the chosen file, an empty text for an empty choice, nothing when the
    /// user cancelled.
    virtual std::optional<QString> RunSaveDialog(QFileDialog& dialog) = 0;
    /// Asks for a folder; nothing when the user cancelled.
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                                const QString& start) = 0;
    /// Asks for an existing file, offering the name filters filters ("Text (*.txt);;All files
    /// (*)"), starting in the folder start; nothing when the user cancelled.
    virtual std::optional<QString> ChooseFile(QWidget* parent, const QString& title,
                                              const QString& filters, const QString& start) = 0;
};

/// The real desktop: the desktop services, the file manager over D-Bus, libcanberra.
class TSystemDesktop : public TDesktop {
public:
    TSystemDesktop();
    ~TSystemDesktop() override;
    void OpenDocument(const QString& target) override;
    void ShowInFileManager(const QString& path) override;
    void Beep() override;
    void PlaySound(const QString& fileName) override;
    void Warning(QWidget* parent, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    std::optional<QString> RunSaveDialog(QFileDialog& dialog) override;
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                        const QString& start) override;
    std::optional<QString> ChooseFile(QWidget* parent, const QString& title, const QString& filters,
                                      const QString& start) override;

private:
    ::ca_context* m_sound = nullptr;
};

/// A local path as a file URL from the bytes the file system knows it by, so a name that is
/// not UTF-8 still names its file: "/a b/\xFF" gives file:///a%20b/%FF.
QUrl FileUrl(const QString& path);

} // namespace dirka
