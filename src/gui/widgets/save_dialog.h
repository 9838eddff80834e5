#pragma once

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QString>

namespace dirka {

/// The name a save dialog writes to when the user typed typed in folder: typed with
/// "." + suffix added when its name has no extension and it names neither an existing folder
/// (the dialog opens that) nor an existing special file such as /dev/null (written as it is).
/// A relative name counts from folder, never from the program's working folder:
/// NameWithSuffix(u"list", u"/tmp", u"txt") == "list.txt".
QString NameWithSuffix(const QString& typed, const QString& folder, const QString& suffix);

/// Icons and type names by file name alone: a file dialog never opens a file to guess them,
/// so a folder that holds a FIFO or /proc/kmsg cannot stop it.
class TNameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    TNameOnlyIconProvider();
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;

private:
    // Made once: a dialog asks for every entry of every folder it shows.
    QIcon m_folder;
    QIcon m_file;
    QIcon m_drive;
};

/// Makes dialog open next time in fileName's folder with fileName's name alone in the name field.
void ReopenAt(QFileDialog& dialog, const QString& fileName);

/// The one provider every file dialog uses; it lives as long as the program.
TNameOnlyIconProvider* NameOnlyIcons();

/// A save dialog that asks before it replaces a file, adds its default suffix by
/// NameWithSuffix and guesses icons from names only.
class TSaveDialog : public QFileDialog {
    Q_OBJECT
public:
    TSaveDialog(QWidget* parent, const QString& title, const QStringList& filters,
                const QString& suffix);

    QString DefaultSuffix() const { return m_suffix; }
    void accept() override;

private:
    QString m_suffix;
};

} // namespace dirka
