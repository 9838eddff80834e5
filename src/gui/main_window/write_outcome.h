#pragma once

#include "core/output/m3u8_export.h"
#include "core/settings/settings_persistence.h"

#include <QString>
#include <QStringView>

#include <utility>

class QWidget;

// How a write the user asked for ended, in the one shape the window shows: an "Error" box, a
// "Warning" box, a beep, or nothing. Save As, the exports and the settings save all end here.
namespace dirka {

class TDesktop;
class TResultText;

struct TWriteOutcome {
    QString ErrorText;   // the write failed; what was there before is still there
    QString WarningText; // the write completed, with something the user should know
    bool Beep = false;   // nothing was written and there is nothing to say

    static TWriteOutcome Error(QString text) { return {std::move(text), QString(), false}; }
    static TWriteOutcome Warning(QString text) { return {QString(), std::move(text), false}; }
    static TWriteOutcome BeepIf(bool beep) { return {QString(), QString(), beep}; }
    bool operator==(const TWriteOutcome&) const = default;
};

/// Saves the result as Save As does in the encoding of code.
TWriteOutcome SaveAsOutcome(const QString& fileName, const TResultText& result, int code);
/// A written playlist: its error, or a warning naming how many names were left out.
TWriteOutcome PlaylistOutcome(const TM3u8Export& written);
/// A settings save: the settings stay in force for this run; the warning says why they were
/// not kept.
TWriteOutcome SettingsOutcome(const TSaveResult& saved);

/// Shows outcome over parent: its error or warning box, or its beep.
void ShowOutcome(TDesktop& desktop, QWidget* parent, const TWriteOutcome& outcome);

} // namespace dirka
