// The result line store with a million paths recorded as the folder walker records them: adds,
// sequential reads (the exports), random reads (Open Selected), rollbacks, and memory per path.
#include "core/listing/result_line_store.h"

#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace dirka;

namespace {

constexpr int PathCount = 1000 * 1000;

struct TListing {
    std::vector<QString> folders; // folder paths, ending in "/"
    std::vector<QString> names;   // pool of file names
    // One entry per result line: a name index, BaseLine for the folder's own line, Summary for a
    // line that shows no item. Folders follow each other in walk order.
    std::vector<int> lines;
    std::vector<int> lineFolder;
    qsizetype pathUnits = 0; // total length of all recorded paths
};
constexpr int BaseLine = -1;
constexpr int Summary = -2;

QString randomWord(std::mt19937& random, int minLength, int maxLength)
{
    static const char16_t letters[] = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      u"0123456789_- .ąęłóśżźćń";
    const int length = std::uniform_int_distribution<int>(minLength, maxLength)(random);
    QString word(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        word[i] = QChar(letters[random() % (std::size(letters) - 1)]);
    return word;
}

// A walk of folders 60..120 units long at varying depths, 1..50 files each, each folder
// followed by a summary line; files sorted by name as the walker writes them.
TListing makeListing()
{
    std::mt19937 random(20240601);
    TListing listing;
    for (int i = 0; i < 65536; ++i) {
        QString name = randomWord(random, 1, 36);
        static const char16_t* extensions[] = {u".jpg", u".txt", u".mp3", u".pdf"};
        name += QString::fromUtf16(extensions[random() % 4]);
        listing.names.push_back(name);
    }
    std::vector<QString> stack{QStringLiteral("/home/someone/Archive/Collection/")};
    int paths = 0;
    while (paths < PathCount) {
        const qsizetype length = stack.back().size();
        const int pick = int(random() % 100);
        if (length > 100 || (length >= 60 && pick < 20)) {
            const int up = 1 + int(random() % 3);
            for (int k = 0; k < up && stack.size() > 1; ++k)
                stack.pop_back();
        } else if (length >= 60 && pick < 50 && stack.size() > 1) {
            stack.pop_back();
        }
        stack.push_back(stack.back() + randomWord(random, 6, 20) + QLatin1Char('/'));
        const int folder = int(listing.folders.size());
        listing.folders.push_back(stack.back());

        const int files = std::min(1 + int(random() % 50), PathCount - paths - 1);
        std::vector<int> chosen(static_cast<std::size_t>(files));
        for (int& n : chosen)
            n = int(random() % listing.names.size());
        std::sort(chosen.begin(), chosen.end(),
                  [&](int a, int b) { return listing.names[a] < listing.names[b]; });
        listing.lines.push_back(BaseLine);
        listing.pathUnits += stack.back().size();
        for (int n : chosen) {
            listing.lines.push_back(n);
            listing.pathUnits += stack.back().size() + listing.names[n].size();
        }
        listing.lines.push_back(Summary);
        listing.lineFolder.resize(listing.lines.size(), folder);
        paths += 1 + files;
    }
    return listing;
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double perSecond(qsizetype count, const QElapsedTimer& timer)
{
    return count / (timer.nsecsElapsed() / 1e9);
}

} // namespace

int main()
{
    const TListing listing = makeListing();
    const int lineCount = int(listing.lines.size());
    std::mt19937 random(7);
    std::vector<int> order(1000 * 1000);
    for (int& i : order)
        i = int(random() % unsigned(lineCount));
    const long rssBefore = peakRssKiB();
    std::printf("%d result lines, %d paths, %zu folders, mean path %.1f units\n", lineCount,
                PathCount, listing.folders.size(), double(listing.pathUnits) / PathCount);

    TResultLineStore store;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lineCount; ++i) {
        const int line = listing.lines[std::size_t(i)];
        const QString& folder = listing.folders[std::size_t(listing.lineFolder[std::size_t(i)])];
        if (line == BaseLine)
            store.TabAdd(i, QStringView(), folder);
        else if (line >= 0)
            store.TabAdd(i, listing.names[std::size_t(line)], folder);
    }
    std::printf("TabAdd:               %6.2f M paths/s\n", perSecond(PathCount, timer) / 1e6);

    for (int pass = 0; pass < 2; ++pass) {
        store.TabResetCache();
        timer.start();
        qsizetype units = 0;
        for (int i = 0; i < lineCount; ++i)
            units += store.TabGet(i).size();
        std::printf("TabGet sequential:    %6.2f M lines/s%s\n", perSecond(lineCount, timer) / 1e6,
                    units == listing.pathUnits ? "" : "  WRONG TOTAL LENGTH");
    }

    timer.start();
    qsizetype units = 0;
    for (int i : order)
        units += store.TabGet(i).size();
    std::printf("TabGet random:        %6.2f M lines/s (%lld units)\n",
                perSecond(qsizetype(order.size()), timer) / 1e6, static_cast<long long>(units));

    const TTabMemory m = store.TabMemory();
    const double used = double(m.TextUnits) * 2 + double(m.UsedEntries) * m.EntryBytes;
    const double held = double(m.TextReserved) * 2 + double(m.AllocatedEntries) * m.EntryBytes;
    std::printf("text %lld units (%lld allocated), %d entries of %d bytes (%d allocated, "
                "capacity %d)\n",
                static_cast<long long>(m.TextUnits), static_cast<long long>(m.TextReserved),
                m.UsedEntries, m.EntryBytes, m.AllocatedEntries, m.Capacity);
    std::printf("memory per path:      %6.1f bytes used, %.1f bytes allocated\n", used / PathCount,
                held / PathCount);
    const long rssAfter = peakRssKiB();
    std::printf("peak RSS:             %ld KiB before adding, %ld KiB after (+%.1f bytes/path)\n",
                rssBefore, rssAfter, (rssAfter - rssBefore) * 1024.0 / PathCount);

    // The walker taking out an empty folder: its base line is added and cleared again.
    const int rollbacks = 1000 * 1000;
    timer.start();
    for (int k = 0; k < rollbacks; ++k) {
        store.TabAdd(lineCount, QStringView(),
                     listing.folders[std::size_t(k) % listing.folders.size()]);
        store.TabClear(lineCount, true);
    }
    std::printf("add + rollback:       %6.2f M pairs/s\n", perSecond(rollbacks, timer) / 1e6);
    return 0;
}
