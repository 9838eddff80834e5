#include "gui/widgets/save_dialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QStyle>

namespace dirka {

QString NameWithSuffix(const QString& typed, const QString& folder, const QString& suffix)
{
    if (typed.isEmpty() || suffix.isEmpty())
        return typed;
    const QFileInfo info(QFileInfo(typed).isAbsolute() ? typed : folder + u'/' + typed);
    if (info.fileName().contains(u'.') || info.isDir())
        return typed;
    if (info.exists() && !info.isFile())
        return typed; // a device or a FIFO is written as it is
    return typed + u'.' + suffix;
}

TNameOnlyIconProvider::TNameOnlyIconProvider()
    : m_folder(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
      m_file(QApplication::style()->standardIcon(QStyle::SP_FileIcon)),
      m_drive(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon))
{
}

QIcon TNameOnlyIconProvider::icon(IconType type) const
{
    switch (type) {
    case Folder:
        return m_folder;
    case Drive:
        return m_drive;
    default:
        return m_file;
    }
}

QIcon TNameOnlyIconProvider::icon(const QFileInfo& info) const
{
    if (info.isRoot())
        return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString TNameOnlyIconProvider::type(const QFileInfo& info) const
{
    if (info.isDir())
        return QStringLiteral("Folder");
    return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
}

void ReopenAt(QFileDialog& dialog, const QString& fileName)
{
    const QFileInfo chosen(fileName);
    dialog.setDirectory(chosen.absolutePath());
    dialog.selectFile(chosen.fileName());
}

TNameOnlyIconProvider* NameOnlyIcons()
{
    // A dialog's file model reads icons on a thread of its own, also while it is destroyed.
    static TNameOnlyIconProvider provider;
    return &provider;
}

TSaveDialog::TSaveDialog(QWidget* parent, const QString& title, const QStringList& filters,
                         const QString& suffix)
    : QFileDialog(parent, title), m_suffix(suffix)
{
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setOption(QFileDialog::DontUseNativeDialog);
    setNameFilters(filters);
    setIconProvider(NameOnlyIcons());
}

// The dialog's own default suffix looks for the typed name in the program's working folder and
// adds it to special files too: the suffix is added here, before the dialog checks the name
// and asks before replacing.
void TSaveDialog::accept()
{
    if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        const QString typed = edit->text();
        const QString fixed = NameWithSuffix(typed, directory().absolutePath(), m_suffix);
        if (fixed != typed)
            edit->setText(fixed);
    }
    QFileDialog::accept();
}

} // namespace dirka
