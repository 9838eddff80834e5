#include "core/listing/listing_run.h"

#include "core/listing/drives.h"
#include "core/listing/file_system.h"
#include "core/listing/folder_walker.h"
#include "core/listing/line_composition.h"
#include "core/settings/locations.h"
#include "core/system/file_io.h"
#include "core/system/program_info.h"
#include "core/text/assertion.h"

#include "version.h"
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <iterator>

namespace dirka {

namespace {

// The lines of each header code (list D), by code: the program and time, the "Search for"
// entry, the location; the full header (7) adds the drive line.
enum THeaderPart : unsigned { HeaderTime = 1, HeaderSearchFor = 2, HeaderLocation = 4 };
constexpr int FullHeader = 7;
constexpr unsigned HeaderParts[] = {
    HeaderTime,                                    // 0
    HeaderSearchFor,                               // 1
    HeaderLocation,                                // 2
    HeaderTime | HeaderSearchFor,                  // 3
    HeaderTime | HeaderLocation,                   // 4
    HeaderTime | HeaderSearchFor | HeaderLocation, // 5
    HeaderSearchFor | HeaderLocation,              // 6
    HeaderTime | HeaderSearchFor | HeaderLocation, // 7, with the drive line
};

bool headerHas(int code, THeaderPart part)
{
    return code >= 0 && code < int(std::size(HeaderParts)) && (HeaderParts[code] & part) != 0;
}
bool headerHasTime(int code)
{
    return headerHas(code, HeaderTime);
}
bool headerHasSearchFor(int code)
{
    return headerHas(code, HeaderSearchFor);
}
bool headerHasLocation(int code)
{
    return headerHas(code, HeaderLocation);
}

// Appends text whose line breaks (CR LF) start new lines, as adding it to a text box would.
void appendText(TLinesTarget& lines, QStringView text)
{
    for (QStringView line : text.split(u"\r\n"))
        lines.AppendLine(line);
}

} // namespace

QString ListedLocationOf(const QStringList& locations)
{
    return locations.size() == 1 ? locations.first() : QString();
}

TListingRun::TListingRun(const TSettings& settings, const QString& locationText, TListingHost& host)
    : m_settings(settings), m_locationText(locationText), m_host(host)
{
}

TRunResult TListingRun::Run()
{
    TRunResult result;
    m_locations = ResolveLocations(m_locationText);
    if (!checksPass())
        return result;
    result.ListedLocation = ListedLocationOf(m_locations);

    m_host.RunStarted();
    m_host.ShowWait(QString());
    m_host.ShowStats(QString());
    m_host.ProcessEvents();
    m_host.ShowWait(QStringLiteral("Please wait, searching..."));
    m_host.ShowStats(QString());

    m_settings.Style = ApplyPreset(m_settings.Style);
    TLinesTarget& lines = m_host.Lines();
    if (m_settings.IsClear)
        lines.TruncateLines(0);
    writeHeader();

    const bool wantSizes = m_host.ShowsSizes() || ListingShowsSizes(m_settings);
    for (qsizetype i = 0; i < m_locations.size(); ++i) {
        writeLocationHeader(m_locations[i], i);
        m_status = ListLocation(m_settings, m_locations[i], lines, m_host, m_walk,
                                {.StartsRun = i == 0,
                                 .WantSizes = wantSizes,
                                 .WantRecords = m_host.WantsRecords(),
                                 .Catalog = m_catalogs[std::size_t(i)].get()});
        if (m_walk.Stop.Requested())
            break;
    }
    finish(result);
    m_host.RunFinished();
    return result;
}

bool TListingRun::checksPass()
{
    Assert(m_settings.Filter >= 0 && m_settings.Filter < FilterCount);
    if (FilterEntryTexts()[std::size_t(m_settings.Filter)].startsWith(u'-')) {
        m_host.Refused(TRefusal::SearchFor, QString::fromUtf16(SearchForRefusedText));
        return false;
    }
    // A location that names a file is a saved listing: its own locations take its place.
    QStringList locations;
    for (const QString& location : std::as_const(m_locations)) {
        if (IsExistingFolder(location)) {
            locations.append(location);
            m_catalogs.push_back(nullptr);
        } else if (const QString file = CatalogFileOf(location); !file.isEmpty()) {
            if (!addCatalog(file, locations))
                return false;
        } else {
            // The message stays the same; the system's reason, when there is one beyond
            // "missing", goes where the host shows unreadable folders.
            if (const QString reason = UnreachableReason(location); !reason.isEmpty())
                m_host.FolderUnreadable(location, reason);
            m_host.Refused(TRefusal::MissingLocation, QString::fromUtf16(MissingLocationText));
            return false;
        }
    }
    m_locations = locations;
    m_host.LocationAccepted(m_locationText, m_locations);
    for (std::size_t i = 0; i < m_catalogs.size(); ++i) {
        if (m_catalogs[i] && (i == 0 || m_catalogs[i] != m_catalogs[i - 1]))
            m_host.CatalogListed(m_catalogs[i]->FileName(), m_catalogs[i]->Locations());
    }
    return true;
}

bool TListingRun::addCatalog(const QString& fileName, QStringList& locations)
{
    QString problem;
    const std::shared_ptr<const TCatalog> catalog = TCatalog::Load(fileName, problem);
    if (!catalog) {
        m_host.Refused(TRefusal::Catalog, problem);
        return false;
    }
    for (const QString& location : catalog->Locations()) {
        locations.append(location);
        m_catalogs.push_back(catalog);
    }
    return true;
}

void TListingRun::writeHeader()
{
    const TListStyle& style = m_settings.Style;
    if (!style.IsHeader)
        return;
    TLinesTarget& lines = m_host.Lines();
    if (headerHasTime(style.Header))
        lines.AppendLine(TimeLineText(QDateTime::currentDateTime()));
    if (headerHasSearchFor(style.Header))
        lines.AppendLine(SearchForLineText(m_settings));
}

void TListingRun::writeLocationHeader(const QString& location, qsizetype index)
{
    const TListStyle& style = m_settings.Style;
    if (!style.IsHeader)
        return;
    TLinesTarget& lines = m_host.Lines();
    if (index > 0)
        lines.AppendLine(QStringView());
    if (style.Header == FullHeader && m_catalogs[std::size_t(index)]) {
        lines.AppendLine(CatalogLineText(*m_catalogs[std::size_t(index)]));
    } else if (style.Header == FullHeader) {
        if (const std::optional<TDriveInfo> drive = DriveInfoForPath(location)) {
            const QString line = DriveLineText(*drive);
            if (!line.isEmpty())
                lines.AppendLine(line);
        }
    }
    if (headerHasLocation(style.Header)) {
        // Its path lets the line be opened; the location's own line, if any, makes the record.
        lines.AppendItemLine(QString(u":: " + ShownText(location)), {location, QStringView()});
    }
    lines.AppendLine(QStringView());
}

void TListingRun::finish(TRunResult& result)
{
    TLinesTarget& lines = m_host.Lines();
    const bool header = m_settings.Style.IsHeader;
    if (header)
        appendText(lines, QString(u"\r\n:: " + m_status));
    if (m_walk.Stop.Requested()) {
        if (header)
            appendText(lines, u":: Stopped!\r\n");
        m_status += u"   (Stopped)";
        m_host.ShowStatus(m_status);
        result.Outcome = TRunOutcome::Stopped;
    } else {
        if (header)
            appendText(lines, u":: Listing Completed.\r\n");
        if (m_settings.IsCopy)
            m_host.CopyResult();
        if (m_settings.IsSound) {
            const QString sound = Info().ProgramFolder + u"audio/ListingCompleted.wav";
            if (QFileInfo(sound).isFile())
                m_host.PlaySound(sound);
        }
        result.Outcome = TRunOutcome::Completed;
    }
    result.StatusText = m_status;
}

TRunResult RunListing(const TSettings& settings, const QString& locationText, TListingHost& host)
{
    TListingRun run(settings, locationText, host);
    return run.Run();
}

TSettings DepthOneSettings(const TSettings& settings)
{
    TSettings copy = settings;
    copy.MaxDepth = 1;
    copy.IsMaxDepth = true;
    copy.IsSound = false;
    return copy;
}

QString TimeLineText(const QDateTime& when)
{
    const QLocale locale;
    // The long time format without its time-zone field, which Qt adds and the header never shows.
    // Some locales wrap it in brackets or put a comma before it ("H:mm:ss (t)", "h:mm:ss a, t").
    static const QRegularExpression zone(
        QStringLiteral("\\s*,?\\s*[(\\[]?\\s*\\bt+\\b\\s*[)\\]]?"));
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(zone);
    return u":: " + QLatin1StringView(ProgramTitle) + u"; " +
           locale.toString(when.date(), QLocale::ShortFormat) + u"; " +
           locale.toString(when.time(), timeFormat.trimmed());
}

QString SearchForLineText(const TSettings& settings)
{
    QString line = u":: Search for: " + FilterEntryTexts()[std::size_t(settings.Filter)];
    if (settings.IsMaxDepth)
        line += u"; Depth: " + QString::number(settings.MaxDepth);
    return line;
}

} // namespace dirka
