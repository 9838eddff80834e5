#pragma once

#include "gui/desktop/desktop.h"

#include <QFileDialog>
#include <QStringList>

#include <optional>

namespace testsupport {

// Records what the window asks of the desktop; the save dialog answers with a set name.
class TFakeDesktop : public dirka::TDesktop {
public:
    void OpenDocument(const QString& target) override { Calls << u"open " + target; }
    void ShowInFileManager(const QString& path) override { Calls << u"show " + path; }
    void Beep() override { Calls << QStringLiteral("beep"); }
    void PlaySound(const QString& fileName) override { Calls << u"sound " + fileName; }
    void Warning(QWidget*, const QString& text) override { Calls << u"warning " + text; }
    void Error(QWidget*, const QString& text) override { Calls << u"error " + text; }
    std::optional<QString> RunSaveDialog(QFileDialog& dialog) override
    {
        Calls << u"dialog " + dialog.windowTitle() + u" in " + dialog.directory().path();
        return SaveName;
    }
    std::optional<QString> ChooseFolder(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> ChooseFile(QWidget*, const QString& title, const QString& filters,
                                      const QString& start) override
    {
        Calls << u"choose " + title + u" (" + filters + u") in " + start;
        return ChosenFile;
    }

    /// The one warning shown since the last call as "Warning: text", or empty when none.
    QString TakeWarning()
    {
        QString warning;
        for (qsizetype i = Calls.size() - 1; i >= 0; --i) {
            if (Calls[i].startsWith(u"warning ")) {
                warning = u"Warning: " + Calls.takeAt(i).mid(8);
                break;
            }
        }
        return warning;
    }

    QStringList Calls;
    std::optional<QString> SaveName;
    std::optional<QString> ChosenFile;
};

} // namespace testsupport
