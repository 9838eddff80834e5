#include "cli/list_command.h"

#include "cli/output_writer.h"
#include "core/listing/file_system.h"
#include "core/listing/folder_walker.h"
#include "core/listing/line_composition.h"
#include "core/listing/listing_run.h"
#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/output/html_export.h"
#include "core/output/m3u8_export.h"
#include "core/output/text_file_writer.h"
#include "core/settings/settings_fields.h"
#include "core/settings/settings_persistence.h"
#include "core/system/program_info.h"
#include "core/system/web_addresses.h"

#include <QDate>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace dirka {

namespace {

constexpr int ExitDone = 0;
constexpr int ExitWriteFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitUnreadable = 3;
constexpr int ExitStopped = 130;

void printError(QString message)
{
    // The numbered error texts put CR LF before the system's reason; a terminal wants LF.
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "dirka: %s\n", message.toUtf8().constData());
}

// Stored settings first, "All files" as at every start, then the overrides left to right.
std::optional<TSettings> settingsFor(const TListCommand& command)
{
    TSettings settings;
    LoadSettings(settings);
    settings.Filter = 0;
    for (const auto& [name, value] : command.Sets) {
        const TSettingsField* field = FindSettingsField(name);
        if (!field) {
            printError(QStringLiteral("unknown setting '%1'").arg(name));
            return std::nullopt;
        }
        if (!SetFieldFromText(*field, settings, value)) {
            printError(QStringLiteral("'%1' is not a valid value for %2").arg(value, name));
            return std::nullopt;
        }
    }
    if (settings.Filter < 0 || settings.Filter >= FilterCount) {
        printError(QStringLiteral("Filter must be between 0 and %1").arg(FilterCount - 1));
        return std::nullopt;
    }
    ClampStyleRanges(settings);
    // A script's listing never plays a sound, never touches the clipboard, starts empty.
    settings.IsSound = false;
    settings.IsCopy = false;
    settings.IsClear = true;
    return settings;
}

extern "C" void stopOnInterrupt(int)
{
    RequestStop();
}

// Ctrl+C ends the walk the way Stop does in the window: what was listed is still written.
void installInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = stopOnInterrupt;
    action.sa_flags = SA_RESTART; // a write under way goes on; the walk polls the flag
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool saveResult(const TListCommand& command, const TResultText& result)
{
    try {
        SaveResultText(command.OutputFile, result.Text(), command.OutputEncoding);
        return true;
    } catch (const EFileError& error) {
        printError(SaveErrorText(error.Message()));
        return false;
    }
}

bool writePlaylist(const TListCommand& command, const TResultText& result)
{
    const TM3u8Export written = ExportToM3u8(command.PlaylistFile, result);
    for (const QString& path : written.LeftOut)
        printError(QStringLiteral("left out of the playlist (line break in the name): %1")
                       .arg(ShownText(path)));
    if (!written.Ok())
        printError(written.ErrorText);
    return written.Ok();
}

bool writePage(const TListCommand& command, const TResultText& result)
{
    THtmlExportOptions options;
    options.Lines = &result;
    options.ListedLocation = ListedLocation();
    options.IsRelative = !command.PageFullLinks && !ListedLocation().isEmpty();
    options.Prefix = command.PagePrefix;
    options.IsLinkFolders = command.PageLinkFolders;
    options.SiteRoot = SiteRoot();
    options.FileVersion = Info().VersionInfo.FileVersion;
    options.LanguageCode = Info().LanguageCode;
    options.Created = QDate::currentDate();
    const THtmlExport written = ExportHtmlPage(command.PageFile, options);
    if (!written.Ok())
        printError(written.ErrorText);
    return written.Ok();
}

// Every requested file is attempted, also after one of them failed.
bool writeRequestedFiles(const TListCommand& command, const TResultText& result)
{
    bool ok = true;
    if (!command.OutputFile.isEmpty())
        ok = saveResult(command, result) && ok;
    if (!command.PlaylistFile.isEmpty())
        ok = writePlaylist(command, result) && ok;
    if (!command.PageFile.isEmpty())
        ok = writePage(command, result) && ok;
    return ok;
}

class TCommandLineHost : public TListingHost {
public:
    TLinesTarget& Lines() override { return m_result; }
    void Warn(const QString& message) override { printError(message); }
    void FolderUnreadable(const QString& folder, const QString& reason) override
    {
        m_unreadable = true;
        printError(QStringLiteral("cannot read folder %1: %2").arg(ShownText(folder), reason));
    }

    // Ctrl+C counts from the moment the walk can stop on it; before, it ends the program as usual.
    void RunStarted() override { installInterruptHandler(); }

    const TResultText& Result() const { return m_result; }
    bool SawUnreadable() const { return m_unreadable; }

private:
    TResultText m_result;
    bool m_unreadable = false;
};

} // namespace

int RunListCommand(const TListCommand& command)
{
    const std::optional<TSettings> settings = settingsFor(command);
    if (!settings)
        return ExitUsage;

    SeedRandomFromClock();
    TabClear(0, true);
    // A reader that goes away ("| head") shows as a failed write, not as a killed program, so
    // the requested files are still written.
    std::signal(SIGPIPE, SIG_IGN);
    TCommandLineHost host;
    // From here on Ctrl+C stops the walk, or lets the file being written finish.
    const TRunResult run = RunListing(*settings, command.Location, host);
    if (run.Outcome == TRunOutcome::Refused)
        return ExitUsage;

    bool written = true;
    if (WriteLines(stdout, host.Result()) == TStreamOutcome::Failed) {
        written = false;
        printError(QStringLiteral("cannot write standard output: %1").arg(ErrorText(errno)));
    }
    written = writeRequestedFiles(command, host.Result()) && written;
    if (StopRequested())
        return ExitStopped;
    if (!written)
        return ExitWriteFailed;
    return host.SawUnreadable() ? ExitUnreadable : ExitDone;
}

} // namespace dirka
