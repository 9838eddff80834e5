#include "cli/list_command.h"

#include "cli/output_writer.h"
#include "core/folder_walker.h"
#include "core/listing_run.h"
#include "core/result_line_store.h"
#include "core/result_text.h"
#include "core/settings_fields.h"
#include "core/settings_persistence.h"

#include <csignal>
#include <cstdio>

namespace dirka {

namespace {

constexpr int ExitDone = 0;
constexpr int ExitUsage = 2;
constexpr int ExitUnreadable = 3;
constexpr int ExitStopped = 130;

void printError(const QString& message)
{
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

class TCommandLineHost : public TListingHost {
public:
    TLinesTarget& Lines() override { return m_result; }
    void Warn(const QString& message) override { printError(message); }
    void FolderUnreadable(const QString& folder, const QString& reason) override
    {
        m_unreadable = true;
        printError(QStringLiteral("cannot read folder %1: %2").arg(folder, reason));
    }

    const TResultText& Result() const { return m_result; }
    bool SawUnreadable() const { return m_unreadable; }

private:
    TResultText m_result;
    bool m_unreadable = false;
};

extern "C" void stopOnInterrupt(int)
{
    RequestStop();
}

// Ctrl+C ends the walk the way Stop does in the window: what was listed is still written.
void installInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = stopOnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int RunListCommand(const TListCommand& command)
{
    const std::optional<TSettings> settings = settingsFor(command);
    if (!settings)
        return ExitUsage;

    SeedRandomFromClock();
    TabClear(0, true);
    installInterruptHandler();
    TCommandLineHost host;
    const TRunResult run = RunListing(*settings, command.Location, host);
    if (run.Outcome == TRunOutcome::Refused)
        return ExitUsage;

    WriteLines(stdout, host.Result());
    if (run.Outcome == TRunOutcome::Stopped)
        return ExitStopped;
    return host.SawUnreadable() ? ExitUnreadable : ExitDone;
}

} // namespace dirka
