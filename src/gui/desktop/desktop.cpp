#include "gui/desktop/desktop.h"

#include "gui/widgets/save_dialog.h"

#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include <canberra.h>

namespace dirka {

namespace {

constexpr int FileManagerTimeoutMs = 3000;

QString containingFolder(const QString& path)
{
    QStringView item(path);
    if (item.size() > 1 && item.endsWith(PathDelimiter))
        item.chop(1);
    return item.left(item.lastIndexOf(PathDelimiter) + 1).toString();
}

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

QUrl FileUrl(const QString& path)
{
    QByteArray bytes = EncodeFileName(path);
    if (bytes.size() > 1 && bytes.endsWith('/'))
        bytes.chop(1);
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

TSystemDesktop::TSystemDesktop()
{
    if (ca_context_create(&m_sound) != CA_SUCCESS)
        m_sound = nullptr;
}

TSystemDesktop::~TSystemDesktop()
{
    if (m_sound)
        ca_context_destroy(m_sound);
}

void TSystemDesktop::OpenDocument(const QString& target)
{
    const bool isAddress = target.contains(u"://");
    QDesktopServices::openUrl(isAddress ? QUrl(target) : FileUrl(target));
}

// The file manager selects the item when it speaks the freedesktop interface; without a
// session bus, or when the call fails or takes too long, the containing folder is opened.
void TSystemDesktop::ShowInFileManager(const QString& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        OpenDocument(containingFolder(path));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QString::fromLatin1(FileUrl(path).toEncoded())} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, FileManagerTimeoutMs));
    const QString folder = containingFolder(path);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [this, folder](QDBusPendingCallWatcher* done) {
                         if (done->isError())
                             OpenDocument(folder);
                         done->deleteLater();
                     });
}

void TSystemDesktop::Beep()
{
    QApplication::beep();
}

void TSystemDesktop::PlaySound(const QString& fileName)
{
    if (!m_sound)
        return;
    ca_context_play(m_sound, 0, CA_PROP_MEDIA_FILENAME, EncodeFileName(fileName).constData(),
                    CA_PROP_EVENT_DESCRIPTION, "Listing completed", nullptr);
}

void TSystemDesktop::Warning(QWidget* parent, const QString& text)
{
    showBox(parent, QMessageBox::Warning, QStringLiteral("Warning"), text);
}

void TSystemDesktop::Error(QWidget* parent, const QString& text)
{
    showBox(parent, QMessageBox::Critical, QStringLiteral("Error"), text);
}

std::optional<QString> TSystemDesktop::RunSaveDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

std::optional<QString> TSystemDesktop::ChooseFolder(QWidget* parent, const QString& title,
                                                    const QString& start)
{
    QFileDialog dialog(parent, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(NameOnlyIcons());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<QString> TSystemDesktop::ChooseFile(QWidget* parent, const QString& title,
                                                  const QString& filters, const QString& start)
{
    QFileDialog dialog(parent, title, start, filters);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOptions(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(NameOnlyIcons());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

} // namespace dirka
