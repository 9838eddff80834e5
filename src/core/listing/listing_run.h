#pragma once

#include "core/listing/catalog.h"
#include "core/listing/folder_walker.h"
#include "core/listing/lines_target.h"
#include "core/settings/settings_records.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace dirka {

struct TLineChange;

/// The warnings of a refused run.
inline constexpr char16_t SearchForRefusedText[] = u"Choose what to search for.";
inline constexpr char16_t MissingLocationText[] = u"Specified location doesn't exists.";

/// Why a run was refused: a host can put the focus where the user makes the change.
/// Catalog: a location names a file that is not a saved listing, or a damaged one.
enum class TRefusal { SearchFor, MissingLocation, Catalog };

/// What a listing run needs of the window (or of the command line) that drives it.
/// Everything but Lines() has a do-nothing default; the walk reports through the same object.
class TListingHost : public TWalkReporter {
public:
    virtual TLinesTarget& Lines() = 0;
    /// A refused run: "Choose what to search for." or "Specified location doesn't exists."
    virtual void Warn(const QString& message) { Q_UNUSED(message); }
    /// A refused run with its reason; by default its warning alone.
    virtual void Refused(TRefusal reason, const QString& message)
    {
        Q_UNUSED(reason);
        Warn(message);
    }
    /// The checks passed; the location text may join the location box's list. locations are the
    /// folders it names, as the run lists them.
    virtual void LocationAccepted(const QString& text, const QStringList& locations)
    {
        Q_UNUSED(text);
        Q_UNUSED(locations);
    }
    /// After LocationAccepted: these of its locations are read from the saved listing
    /// fileName, not from the disk, so their items need not exist now.
    virtual void CatalogListed(const QString& fileName, const QStringList& locations)
    {
        Q_UNUSED(fileName);
        Q_UNUSED(locations);
    }
    /// A comparison's line was appended: what changed of its item.
    virtual void LineChangeShown(const TLineChange& change) { Q_UNUSED(change); }
    /// The busy state begins and ends.
    virtual void RunStarted() {}
    virtual void RunFinished() {}
    virtual void ShowWait(const QString& text) { Q_UNUSED(text); }
    /// The run asks for its result on the clipboard ("Copy results after list"): the whole
    /// result text, lines joined by CR LF. The host hands over the text it holds.
    virtual void CopyResult() {}
    virtual void PlaySound(const QString& fileName) { Q_UNUSED(fileName); }
    /// Whether the host shows the sizes whatever the style (a status line does). When neither
    /// host nor style needs them, files are not looked at beyond what their folder tells.
    virtual bool ShowsSizes() const { return true; }
    /// Whether the host writes records as the lines come: the walk then looks every item up
    /// for its record as it lists it.
    virtual bool WantsRecords() const { return false; }
};

enum class TRunOutcome { Refused, Completed, Stopped };

struct TRunResult {
    TRunOutcome Outcome = TRunOutcome::Refused;
    QString StatusText;     // what the status bar shows afterwards
    QString ListedLocation; // ListedLocationOf the locations listed; empty when refused
};

/// The location relative links start from: the only one listed, or empty after several.
/// ListedLocationOf({"/m/"}) == "/m/", ListedLocationOf({"/a/", "/b/"}) == ""
QString ListedLocationOf(const QStringList& locations);

/// One listing: checks, header lines, every location of locationText, footer and end line,
/// then the copy and the sound the settings ask for. The run owns everything the listing needs
/// (settings, locations, counters, entered folders, stop token, random order) and writes its
/// lines with their paths to the host's lines target, so two runs never share anything and can
/// list at once in two threads.
class TListingRun {
public:
    TListingRun(const TSettings& settings, const QString& locationText, TListingHost& host);
    TListingRun(const TListingRun&) = delete;
    TListingRun& operator=(const TListingRun&) = delete;

    /// Runs the listing, once. A Stop requested before it ends it after the header, as Stopped.
    TRunResult Run();

    /// Stop: may be requested from any thread or a signal handler.
    TStopToken& StopToken() { return m_walk.Stop; }
    /// The generator of the "Random" order, seeded from the clock.
    TRandomGenerator& Random() { return m_walk.Random; }
    const TRunCounters& Counters() const { return m_walk.Counters; }

private:
    bool checksPass();
    bool addCatalog(const QString& fileName, QStringList& locations);
    void writeHeader();
    void writeLocationHeader(const QString& location, qsizetype index);
    void finish(TRunResult& result);

    TSettings m_settings;
    const QString m_locationText;
    TListingHost& m_host;
    QStringList m_locations;
    // The saved listing each location is read from; nullptr for one on the disk.
    std::vector<std::shared_ptr<const TCatalog>> m_catalogs;
    TWalkState m_walk;
    QString m_status;
};

/// A run of its own: RunListing(s, text, host) lists as TListingRun(s, text, host).Run().
TRunResult RunListing(const TSettings& settings, const QString& locationText, TListingHost& host);

/// The settings of "One Depth List": depth 1, no sound.
TSettings DepthOneSettings(const TSettings& settings);

/// The header's time line, ":: Dirka 2.1; " + short date + "; " + long time.
QString TimeLineText(const QDateTime& when);
/// ":: Search for: All files" + "; Depth: N" when the depth is limited.
QString SearchForLineText(const TSettings& settings);

} // namespace dirka
