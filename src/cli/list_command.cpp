#include "cli/list_command.h"

#include "core/file_names.h"
#include "core/folder_walker.h"
#include "core/locations.h"
#include "core/result_line_store.h"
#include "core/result_text.h"
#include "core/settings_fields.h"
#include "core/settings_persistence.h"
#include "core/text_utils.h"
#include "cli/output_writer.h"


#include <cstdio>
#include <sys/stat.h>

namespace dirka {

namespace {

constexpr int ExitDone = 0;
constexpr int ExitUsage = 2;
constexpr int ExitUnreadable = 3;

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
    return settings;
}

bool isExistingFolder(const QString& location)
{
    struct stat st {};
    return !location.isEmpty() && ::stat(EncodeFileName(location).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

} // namespace

int RunListCommand(const TListCommand& command)
{
    std::optional<TSettings> settings = settingsFor(command);
    if (!settings)
        return ExitUsage;
    if (FilterEntryTexts()[std::size_t(settings->Filter)].startsWith(u'-')) {
        printError(QStringLiteral("Choose what to search for."));
        return ExitUsage;
    }
    const QStringList locations = ResolveLocations(command.Location);
    for (const QString& location : locations) {
        if (!isExistingFolder(location)) {
            printError(QStringLiteral("Specified location doesn't exists."));
            return ExitUsage;
        }
    }

    settings->Style = ApplyPreset(settings->Style);
    ClearStopRequest();
    TabClear(0, true);

    bool unreadable = false;
    TWalkObserver observer;
    observer.FolderUnreadable = [&unreadable](const QString& folder, const QString& reason) {
        unreadable = true;
        printError(QStringLiteral("cannot read folder %1: %2").arg(folder, reason));
    };
    TResultText result;
    for (qsizetype i = 0; i < locations.size(); ++i) {
        ListLocation(*settings, locations[i], result, observer, true, i == 0);
        if (StopRequested())
            break;
    }
    WriteLines(stdout, result);
    return unreadable ? ExitUnreadable : ExitDone;
}

} // namespace dirka
