#include "cli/list_command.h"

#include "cli/cli_messages.h"
#include "cli/exit_status.h"
#include "cli/streamed_result.h"
#include "core/listing/folder_walker.h"
#include "core/listing/line_composition.h"
#include "core/listing/listing_compare.h"
#include "core/listing/listing_run.h"
#include "core/output/difference_export.h"
#include "core/output/html_export.h"
#include "core/settings/locations.h"
#include "core/settings/settings_fields.h"
#include "core/settings/settings_persistence.h"
#include "core/system/file_io.h"
#include "core/system/program_info.h"
#include "core/system/web_addresses.h"

#include <QDate>
#include <QDir>
#include <QScopeGuard>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace dirka {

namespace {

// Stored settings first, "All files" as at every start, then the overrides left to right.
std::optional<TSettings> settingsFor(const TListCommand& command)
{
    TSettings settings;
    // The run goes on with what was read, but a script learns why its stored style was not.
    if (const QString problem = LoadSettings(settings); !problem.isEmpty())
        PrintError(u"settings file " + QDir::cleanPath(SettingsFilePath()) + u' ' + problem);
    settings.Filter = 0;
    for (const auto& [name, value] : command.Sets) {
        const TSettingsField* field = FindSettingsField(name);
        if (!field) {
            PrintError(QStringLiteral("unknown setting '%1'").arg(name));
            return std::nullopt;
        }
        if (!SetFieldFromText(*field, settings, value)) {
            PrintError(QStringLiteral("'%1' is not a valid value for %2").arg(value, name));
            return std::nullopt;
        }
    }
    if (settings.Filter < 0 || settings.Filter >= FilterCount) {
        PrintError(QStringLiteral("Filter must be between 0 and %1").arg(FilterCount - 1));
        return std::nullopt;
    }
    ClampStyleRanges(settings);
    // A script's listing never plays a sound, never touches the clipboard, starts empty.
    settings.IsSound = false;
    settings.IsCopy = false;
    settings.IsClear = true;
    return settings;
}

volatile std::sig_atomic_t stoppingSignal = 0;
// The listing a stopping signal ends, while there is one: a handler reaches it with one
// lock-free load.
std::atomic<TStopToken*> signalledStop{nullptr};
static_assert(std::atomic<TStopToken*>::is_always_lock_free);

extern "C" void stopOnSignal(int signal)
{
    if (stoppingSignal == 0)
        stoppingSignal = signal;
    if (TStopToken* stop = signalledStop.load())
        stop->Request();
}

// Ctrl+C, a closed terminal and `timeout` or `kill` end the walk the way Stop does in the
// window, so the destructors can remove the unfinished copies; after the walk they let the
// files finish.
void installStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = stopOnSignal;
    action.sa_flags = SA_RESTART; // a write under way goes on; the walk polls the flag
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// 128 + the signal that stopped the walk, as a shell reports a program the signal ended.
int stoppedStatus()
{
    switch (stoppingSignal) {
    case SIGHUP:
        return ExitHangUp;
    case SIGTERM:
        return ExitTerminated;
    default:
        return ExitInterrupted;
    }
}

THtmlExportOptions pageOptions(const TListCommand& command, const QString& listedLocation)
{
    return HtmlPageOptions(listedLocation, !command.PageFullLinks && !listedLocation.isEmpty(),
                           command.PagePrefix, command.PageLinkFolders);
}

class TCommandLineHost : public TListingHost {
public:
    explicit TCommandLineHost(const TListCommand& command) : m_command(command) {}

    TLinesTarget& Lines() override { return m_result; }
    void Warn(const QString& message) override { PrintError(message); }
    void FolderUnreadable(const QString& folder, const QString& reason) override
    {
        m_unreadable = true;
        PrintError(QStringLiteral("cannot read folder %1: %2").arg(ShownText(folder), reason));
    }

    void LocationAccepted(const QString& text, const QStringList& locations) override
    {
        Q_UNUSED(text);
        m_locations = locations;
    }

    // The location passed its checks, so the page knows how to link. The stopping signals count
    // from here, the moment the walk can stop on them; before, they end the program as usual.
    void RunStarted() override
    {
        if (!m_command.OutputFile.isEmpty())
            m_result.AddTextFile(m_command.OutputFile, m_command.OutputEncoding);
        if (!m_command.PlaylistFile.isEmpty())
            m_result.AddPlaylist(m_command.PlaylistFile);
        if (!m_command.PageFile.isEmpty())
            m_result.AddPage(m_command.PageFile,
                             pageOptions(m_command, ListedLocationOf(m_locations)));
        if (!m_command.CsvFile.isEmpty())
            m_result.AddRecords(m_command.CsvFile, TRecordFormat::Csv, m_locations,
                                m_command.CsvRaw ? TCsvCells::Raw : TCsvCells::Guarded);
        if (!m_command.JsonFile.isEmpty())
            m_result.AddRecords(m_command.JsonFile, TRecordFormat::Json, m_locations);
        installStopHandlers();
    }
    // Only what the style shows is looked up.
    bool ShowsSizes() const override { return false; }
    bool WantsRecords() const override
    {
        return !m_command.CsvFile.isEmpty() || !m_command.JsonFile.isEmpty();
    }

    TStreamedResult& Result() { return m_result; }
    bool SawUnreadable() const { return m_unreadable; }

private:
    const TListCommand& m_command;
    QStringList m_locations; // the folders the run lists, for the records' depths
    TStreamedResult m_result{stdout};
    bool m_unreadable = false;
};

// The differences as they come: a line each on standard output, a record each in the files,
// which replace their targets only when the comparison is complete.
class TCompareOutput : public TDifferenceSink, public TWalkReporter {
public:
    TCompareOutput(const TListCommand& command, QStringList locations)
        : m_locations(std::move(locations))
    {
        addFile(command.CsvFile, TRecordFormat::Csv,
                command.CsvRaw ? TCsvCells::Raw : TCsvCells::Guarded);
        addFile(command.JsonFile, TRecordFormat::Json, TCsvCells::Guarded);
    }
    void Difference(const TDifference& difference) override
    {
        printLine(DifferenceText(difference));
        for (TFile& file : m_files) {
            AppendDifferenceRecord(file.Pending, file.Format, difference, m_locations, file.Cells);
            if (file.Pending.size() >= FlushBytes)
                flush(file);
        }
    }
    void FolderUnreadable(const QString& folder, const QString& reason) override
    {
        m_unreadable = true;
        PrintError(QStringLiteral("cannot read folder %1: %2").arg(ShownText(folder), reason));
    }
    void Finish(const TCompareTotals& totals)
    {
        printLine(CompareSummaryText(totals));
        for (TFile& file : m_files) {
            flush(file);
            file.Writer->Finish();
        }
    }
    bool SawUnreadable() const { return m_unreadable; }

private:
    static constexpr qsizetype FlushBytes = 1 << 16;
    struct TFile {
        std::unique_ptr<TFileWriter> Writer;
        TRecordFormat Format;
        TCsvCells Cells;
        QByteArray Pending;
    };
    void addFile(const QString& name, TRecordFormat format, TCsvCells cells)
    {
        if (name.isEmpty())
            return;
        TFile file{std::make_unique<TFileWriter>(name), format, cells, {}};
        AppendDifferenceHead(file.Pending, format);
        m_files.push_back(std::move(file));
    }
    static void flush(TFile& file)
    {
        file.Writer->Write(file.Pending);
        file.Pending.clear();
    }
    // A closed standard output ends the printing quietly; the files are still written.
    void printLine(const QString& text)
    {
        if (m_printing) {
            const QByteArray line = StandardUtf8(text) + '\n';
            m_printing = std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout) ==
                         std::size_t(line.size());
        }
    }

    const QStringList m_locations;
    std::vector<TFile> m_files;
    bool m_printing = true;
    bool m_unreadable = false;
};

} // namespace

int RunCompareCommand(const TListCommand& command)
{
    const std::optional<TSettings> settings = settingsFor(command);
    if (!settings)
        return ExitUsage;
    TCompareSide sides[2];
    const QString texts[2] = {command.Location, command.CompareWith};
    for (int i = 0; i < 2; ++i) {
        if (const QString problem = ResolveCompareSide(texts[i], sides[i]); !problem.isEmpty()) {
            PrintError(problem);
            return ExitUsage;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    RemoveCopiesOnEndingSignals();
    TListingCompare compare(*settings, sides[0], sides[1]);
    signalledStop.store(&compare.StopToken());
    const auto forget = qScopeGuard([] { signalledStop.store(nullptr); });
    try {
        TCompareOutput output(command, {sides[0].Location, sides[1].Location});
        installStopHandlers();
        const TCompareTotals totals = compare.Run(output, output);
        // A stopped comparison is printed as far as it went, but writes no file.
        if (compare.StopToken().Requested())
            return stoppedStatus();
        output.Finish(totals);
        std::fflush(stdout);
        if (output.SawUnreadable())
            return ExitUnreadable;
        return totals == TCompareTotals() ? ExitDone : ExitDifferent;
    } catch (const EFileError& error) {
        PrintError(error.Message());
        return ExitFailed;
    }
}

int RunListCommand(const TListCommand& command)
{
    const std::optional<TSettings> settings = settingsFor(command);
    if (!settings)
        return ExitUsage;

    // A reader that goes away ("| head") and a file-size limit show as failed writes, not as a
    // killed program, so the other requested files are still written.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // Any other signal that ends the program (SIGQUIT, SIGUSR1, SIGALRM, a program error...)
    // still ends it, with 128 + the signal, but removes the unfinished copies first.
    RemoveCopiesOnEndingSignals();
    TCommandLineHost host(command);
    // From here on a stopping signal ends the walk, or lets the file being written finish.
    TListingRun listing(*settings, command.Location, host);
    signalledStop.store(&listing.StopToken());
    const auto forget = qScopeGuard([] { signalledStop.store(nullptr); });
    const TRunResult run = listing.Run();
    if (run.Outcome == TRunOutcome::Refused)
        return ExitUsage;
    // A stopped listing is printed as far as it went, but replaces no file. A signal after the
    // walk let the files finish, so the status says they are complete.
    const bool written = host.Result().Finish(run.Outcome == TRunOutcome::Completed);
    if (run.Outcome == TRunOutcome::Stopped)
        return stoppedStatus();
    if (!written)
        return ExitFailed;
    return host.SawUnreadable() ? ExitUnreadable : ExitDone;
}

} // namespace dirka
