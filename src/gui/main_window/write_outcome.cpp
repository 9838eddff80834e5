#include "gui/main_window/write_outcome.h"

#include "core/output/text_file_writer.h"
#include "core/system/file_io.h"
#include "gui/desktop/desktop.h"

#include <QCoreApplication>

namespace dirka {

TWriteOutcome SaveAsOutcome(const QString& fileName, const TResultText& result, int code)
{
    try {
        return TWriteOutcome::BeepIf(SaveResultText(fileName, result, code) ==
                                     TSaveOutcome::BeepOnly);
    } catch (const EFileError& e) {
        return TWriteOutcome::Error(SaveErrorText(e.Message()));
    }
}

TWriteOutcome PlaylistOutcome(const TM3u8Export& written)
{
    if (!written.Ok())
        return TWriteOutcome::Error(written.ErrorText);
    if (written.LeftOut.isEmpty())
        return {};
    return TWriteOutcome::Warning(QCoreApplication::translate(
        "TMainWindow", "%n file(s) whose names hold a line break were left out of the playlist.",
        nullptr, int(written.LeftOut.size())));
}

TWriteOutcome SettingsOutcome(const TSaveResult& saved)
{
    if (saved.Ok)
        return {};
    return TWriteOutcome::Warning(u"The settings could not be saved.\r\n" + saved.Reason);
}

void ShowOutcome(TDesktop& desktop, QWidget* parent, const TWriteOutcome& outcome)
{
    if (!outcome.ErrorText.isEmpty())
        desktop.Error(parent, outcome.ErrorText);
    else if (!outcome.WarningText.isEmpty())
        desktop.Warning(parent, outcome.WarningText);
    else if (outcome.Beep)
        desktop.Beep();
}

} // namespace dirka
