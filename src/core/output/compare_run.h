#pragma once

#include "core/listing/listing_compare.h"
#include "core/listing/listing_run.h"
#include "core/listing/stop_token.h"

#include <QString>
#include <QStringList>

#include <vector>

// A comparison as the window runs it: a saved listing (old) against what a location text names
// now (new). Its result is the lines `--compare` prints, each keeping its item's path, then the
// summary; a style with a header puts the time, the "Search for" entry and the saved listing's
// line above them. The sides are walked and merged on a thread of their own while the host's thread
// takes the lines as they come, shows progress and lets events run, so Stop is seen and the
// window stays live.
namespace dirka {

inline constexpr char16_t ComparingText[] = u"Please wait, comparing...";

/// "Differences: 12" while a comparison runs.
QString DifferenceCountText(qsizetype count);

class TCompareRun {
public:
    /// Each location of the saved listing is paired with the location at the same place in
    /// locationText; both sides are listed with settings (its style is not used).
    TCompareRun(const TSettings& settings, const QString& catalogFile, const QString& locationText,
                TListingHost& host);
    TCompareRun(const TCompareRun&) = delete;
    TCompareRun& operator=(const TCompareRun&) = delete;

    /// Runs the comparison, once. A refused one (its reason to the host) changes no line.
    TRunResult Run();
    /// Stop: from the host's thread or any other.
    TStopToken& StopToken() { return m_stop; }

private:
    struct TSidePair {
        TCompareSide Old;
        TCompareSide New;
    };
    bool checksPass();
    QStringList newLocations() const;
    bool refuse(TRefusal reason, const QString& message);
    bool pairSides(const TCompareSide& old, const QStringList& locations);
    void writeHeader();
    TCompareTotals compare(const TSidePair& pair);
    void finish(const TCompareTotals& totals, TRunResult& result);

    const TSettings m_settings;
    const QString m_catalogFile;
    const QString m_locationText;
    TListingHost& m_host;
    std::vector<TSidePair> m_pairs;
    TStopToken m_stop;
    qsizetype m_firstLine = 0; // the comparison's first line in the host's lines
};

} // namespace dirka
