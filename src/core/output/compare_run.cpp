#include "core/output/compare_run.h"

#include "core/listing/catalog.h"
#include "core/listing/line_composition.h"
#include "core/output/difference_export.h"
#include "core/settings/locations.h"
#include "core/system/file_io.h"
#include "core/system/quiet_thread.h"
#include "core/text/text_utils.h"

#include <QDateTime>
#include <QFileInfo>
#include <QScopeGuard>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace dirka {

namespace {

// As often as a listing lets events run.
constexpr std::chrono::milliseconds ProgressInterval(200);

struct TDifferenceLine {
    QString Text;
    QString Path;
    TItemFacts Facts; // of the side that has the item, the new side's when both do
    TLineChange Change;
};

// What the comparing thread hands to the host's: the lines and unreadable folders as they come,
// and the end with the error that ended it, if any.
class TDifferenceQueue : public TDifferenceSink, public TWalkReporter {
public:
    void Difference(const TDifference& d) override
    {
        TDifferenceLine line{DifferenceText(d),
                             d.Path,
                             d.Change == TChange::Removed ? d.Old : d.New,
                             {.Change = d.Change, .What = d.What, .Old = d.Old}};
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::move(line));
    }
    void FolderUnreadable(const QString& folder, const QString& reason) override
    {
        std::lock_guard lock(m_mutex);
        m_unreadable.emplace_back(folder, reason);
    }
    void Finish(std::exception_ptr error)
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_error = std::move(error);
        m_changed.notify_one();
    }
    /// Waits until the comparison ends, at most interval; answers whether it has.
    bool WaitFor(std::chrono::milliseconds interval)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, interval, [this] { return m_done; });
        return m_done;
    }
    std::vector<TDifferenceLine> TakeLines()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_lines, {});
    }
    std::vector<std::pair<QString, QString>> TakeUnreadable()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_unreadable, {});
    }
    void RethrowError() const
    {
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<TDifferenceLine> m_lines;
    std::vector<std::pair<QString, QString>> m_unreadable;
    bool m_done = false;
    std::exception_ptr m_error;
};

// The line's item as the result's line store keeps it: its folder and its name.
TLineItem lineItem(const TDifferenceLine& line)
{
    const QStringView path(line.Path);
    const qsizetype cut = path.chopped(1).lastIndexOf(PathDelimiter) + 1;
    return {path.first(cut), path.sliced(cut), &line.Facts};
}

// The host keeps each line's change, so that the result's records can say it.
void appendLines(TListingHost& host, const std::vector<TDifferenceLine>& differences)
{
    TLinesTarget& lines = host.Lines();
    for (const TDifferenceLine& line : differences) {
        TLineChange change = line.Change;
        change.Line = lines.LineCount();
        lines.AppendItemLine(line.Text, lineItem(line));
        host.LineChangeShown(change);
    }
}

} // namespace

QString DifferenceCountText(qsizetype count)
{
    return u"Differences: " + QString::number(count);
}

TCompareRun::TCompareRun(const TSettings& settings, const QString& catalogFile,
                         const QString& locationText, TListingHost& host)
    : m_settings(settings), m_catalogFile(catalogFile), m_locationText(locationText), m_host(host)
{
}

TRunResult TCompareRun::Run()
{
    TRunResult result;
    if (!checksPass())
        return result;
    result.ListedLocation = ListedLocationOf(newLocations());

    m_host.RunStarted();
    m_host.ShowWait(QString::fromUtf16(ComparingText));
    m_host.ShowStats(DifferenceCountText(0));
    m_host.ShowStatus(QString());
    m_host.ProcessEvents(); // the busy page shows what runs before the first lines come
    if (m_settings.IsClear)
        m_host.Lines().TruncateLines(0);
    writeHeader();
    m_firstLine = m_host.Lines().LineCount();
    TCompareTotals totals;
    for (const TSidePair& pair : m_pairs) {
        if (m_stop.Requested())
            break;
        totals += compare(pair);
    }
    finish(totals, result);
    m_host.RunFinished();
    return result;
}

QStringList TCompareRun::newLocations() const
{
    QStringList locations;
    for (const TSidePair& pair : m_pairs)
        locations << pair.New.Location;
    return locations;
}

bool TCompareRun::refuse(TRefusal reason, const QString& message)
{
    m_host.Refused(reason, message);
    return false;
}

bool TCompareRun::checksPass()
{
    if (FilterEntryTexts()[std::size_t(m_settings.Filter)].startsWith(u'-'))
        return refuse(TRefusal::SearchFor, QString::fromUtf16(SearchForRefusedText));
    QString problem;
    const std::shared_ptr<const TCatalog> catalog = TCatalog::Load(m_catalogFile, problem);
    if (!catalog)
        return refuse(TRefusal::Catalog, problem);
    const QStringList locations = ResolveLocations(m_locationText);
    for (const QString& location : locations) {
        if (!IsExistingFolder(location) && CatalogFileOf(location).isEmpty())
            return refuse(TRefusal::MissingLocation, QString::fromUtf16(MissingLocationText));
    }
    if (!pairSides({{}, catalog}, locations))
        return false;
    QStringList listed = catalog->Locations() + newLocations();
    listed.removeDuplicates();
    m_host.LocationAccepted(m_locationText, listed);
    // A removed item is seen in the saved listing only.
    m_host.CatalogListed(catalog->FileName(), catalog->Locations());
    for (const TSidePair& pair : m_pairs) {
        if (pair.New.Catalog)
            m_host.CatalogListed(pair.New.Catalog->FileName(), {pair.New.Location});
    }
    return true;
}

// The saved listing's locations and the location text's are paired by their places; a side
// that is itself a saved listing is read as one.
bool TCompareRun::pairSides(const TCompareSide& old, const QStringList& locations)
{
    const QStringList& saved = old.Catalog->Locations();
    if (saved.size() != locations.size())
        return refuse(TRefusal::Catalog,
                      QStringLiteral("The catalog %1 holds %2 location(s) and the location box "
                                     "names %3: each is compared with the one at its place.")
                          .arg(ShownText(old.Catalog->FileName()))
                          .arg(saved.size())
                          .arg(locations.size()));
    for (qsizetype i = 0; i < saved.size(); ++i) {
        TCompareSide now;
        if (const QString problem = ResolveCompareSide(locations[i], now); !problem.isEmpty())
            return refuse(TRefusal::Catalog, problem);
        // The location box completes a typed folder to a saved listing beside it; compared with
        // itself it would only ever say "No differences".
        if (now.Catalog && QFileInfo(now.Catalog->FileName()) == QFileInfo(old.Catalog->FileName()))
            return refuse(TRefusal::Catalog,
                          QStringLiteral("The location names the catalog itself: name the "
                                         "folder it was saved from to see what changed.\n"
                                         "Catalog: %1")
                              .arg(ShownText(old.Catalog->FileName())));
        m_pairs.push_back({{saved[i], old.Catalog}, std::move(now)});
    }
    return true;
}

// With the style's header, what was compared and how: a saved result says it.
void TCompareRun::writeHeader()
{
    if (!ApplyPreset(m_settings.Style).IsHeader)
        return;
    TLinesTarget& lines = m_host.Lines();
    lines.AppendLine(TimeLineText(QDateTime::currentDateTime()));
    lines.AppendLine(SearchForLineText(m_settings));
    lines.AppendLine(CatalogLineText(*m_pairs.front().Old.Catalog));
    lines.AppendLine(QStringView());
}

TCompareTotals TCompareRun::compare(const TSidePair& pair)
{
    TListingCompare comparison(m_settings, pair.Old, pair.New);
    TDifferenceQueue queue;
    TCompareTotals totals;
    const auto work = [&] {
        try {
            totals = comparison.Run(queue, queue);
            queue.Finish(nullptr);
        } catch (...) {
            queue.Finish(std::current_exception());
        }
    };
    std::optional<std::thread> thread = StartQuietThread(work);
    // Whatever ends the waiting here, the comparing thread is ended before its state goes.
    const auto join = qScopeGuard([&] {
        comparison.StopToken().Request();
        if (thread && thread->joinable())
            thread->join();
    });
    if (!thread)
        work(); // no thread to be had: the host waits for the whole comparison
    for (bool done = false; !done;) {
        done = queue.WaitFor(ProgressInterval);
        if (m_stop.Requested())
            comparison.StopToken().Request();
        appendLines(m_host, queue.TakeLines());
        for (const auto& [folder, reason] : queue.TakeUnreadable())
            m_host.FolderUnreadable(folder, reason);
        m_host.ShowStats(DifferenceCountText(m_host.Lines().LineCount() - m_firstLine));
        m_host.ProcessEvents();
    }
    queue.RethrowError();
    return totals;
}

void TCompareRun::finish(const TCompareTotals& totals, TRunResult& result)
{
    TLinesTarget& lines = m_host.Lines();
    if (m_stop.Requested()) {
        lines.AppendLine(u":: Stopped!");
        result.StatusText = QStringLiteral("(Stopped)");
        result.Outcome = TRunOutcome::Stopped;
    } else {
        const QString summary = CompareSummaryText(totals);
        lines.AppendLine(summary);
        result.StatusText = summary.sliced(3); // the summary without the line's ":: "
        result.Outcome = TRunOutcome::Completed;
    }
    m_host.ShowStatus(result.StatusText);
}

} // namespace dirka
