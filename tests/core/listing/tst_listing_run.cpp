#include "core/listing/drives.h"
#include "core/listing/folder_walker.h"
#include "core/listing/item_status.h"
#include "core/listing/listing_run.h"
#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/system/program_info.h"

#include "test_support.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <latch>
#include <thread>

using namespace dirka;
using namespace testsupport;
using namespace Qt::StringLiterals;

namespace {

// A result that presses Stop as soon as the line StopAfter is written.
class TStoppingResult : public TResultText {
public:
    void AppendLine(QStringView text) override
    {
        TResultText::AppendLine(text);
        if (!StopAfter.isEmpty() && text == StopAfter)
            Stop->Request();
    }
    QString StopAfter;
    TStopToken* Stop = nullptr;
};

class TFakeHost : public TListingHost {
public:
    TLinesTarget& Lines() override { return Result; }
    void Warn(const QString& message) override { Warnings << message; }
    void LocationAccepted(const QString& text, const QStringList& locations) override
    {
        Q_UNUSED(locations);
        Accepted << text;
    }
    void RunStarted() override { ++Started; }
    void RunFinished() override { ++Finished; }
    void ShowStatus(const QString& text) override { Status = text; }
    void ProcessEvents() override
    {
        if (StopOnEvents)
            Result.Stop->Request();
    }
    void CopyResult() override { Clipboard = Result.WholeText(); }
    void PlaySound(const QString& fileName) override { Sounds << fileName; }
    bool WantsRecords() const override { return Records; }

    TStoppingResult Result;
    bool Records = false;
    QStringList Warnings, Accepted, Sounds;
    QString Status, Clipboard;
    int Started = 0, Finished = 0;
    bool StopOnEvents = false;
};

// "{A}" and "{C}" in an expected line stand for the two locations.
QStringList at(QStringList lines, const QString& a, const QString& c = QString())
{
    for (QString& line : lines)
        line.replace(u"{A}"_s, a).replace(u"{C}"_s, c);
    return lines;
}

// Statistics end in "   Time: 0.0 s" only when the clock moved on during the run.
QStringList withoutTime(QStringList lines)
{
    static const QRegularExpression time(u"   Time: [0-9.]+ s$"_s);
    for (QString& line : lines)
        line.remove(time);
    return lines;
}

// A run of its own whose Stop the host presses.
TRunResult list(const TSettings& settings, const QString& locationText, TFakeHost& host)
{
    TListingRun run(settings, locationText, host);
    host.Result.Stop = &run.StopToken();
    return run.Run();
}

// A result that keeps its listing's pace with another one: at line MeetAt it waits until the
// other listing has got as far, so the two are under way at the same time, and at line StopAt it
// presses its own listing's Stop.
class TPacedResult : public TResultText {
public:
    void AppendLine(QStringView text) override
    {
        TResultText::AppendLine(text);
        if (Meeting != nullptr && !Met && LineCount() == MeetAt) {
            Meeting->arrive_and_wait();
            Met = true;
        }
        if (LineCount() == StopAt)
            Stop->Request();
    }
    std::latch* Meeting = nullptr;
    qsizetype MeetAt = 50;
    qsizetype StopAt = -1;
    TStopToken* Stop = nullptr;
    bool Met = false;
};

class TPacedHost : public TListingHost {
public:
    TLinesTarget& Lines() override { return Result; }
    TPacedResult Result;
};

// What a listing leaves: its lines and their paths, its status, how it ended.
struct TListed {
    QStringList Lines;
    QStringList Paths;
    QString Status;
    TRunOutcome Outcome = TRunOutcome::Refused;
};

// Lists location as a run of its own, its random order seeded with seed.
TListed listPaced(const TSettings& settings, const QString& location, std::uint32_t seed,
                  qsizetype stopAt, std::latch* meeting)
{
    TPacedHost host;
    TListingRun run(settings, location, host);
    run.Random().Seed(seed);
    host.Result.Stop = &run.StopToken();
    host.Result.StopAt = stopAt;
    host.Result.Meeting = meeting;
    const TRunResult result = run.Run();
    if (meeting != nullptr && !host.Result.Met)
        meeting->count_down(); // never got as far: the other listing must not wait for ever
    static const QRegularExpression time(u"   Time: [0-9.]+ s"_s);
    TListed listed;
    listed.Outcome = result.Outcome;
    listed.Status = QString(result.StatusText).remove(time);
    listed.Lines = withoutTime(linesOf(host.Result));
    for (int i = 0; i < host.Result.LineCount(); ++i)
        listed.Paths.append(host.Result.PathOf(i));
    return listed;
}

// Folders of files with varied sizes, a subfolder in each, and a link back up that is listed but
// never entered.
bool makeBusyTree(const TTempTree& tree, const QString& root, int folders, int files)
{
    bool made = tree.makeLink(QString(root + u"d00/up"), "..");
    for (int f = 0; f < folders; ++f) {
        const QString folder = root + QStringLiteral("d%1/").arg(f, 2, 10, QChar(u'0'));
        made = made && tree.makeFile(QString(folder + u"sub/s.log"), f);
        for (int k = 0; k < files && made; ++k)
            made = tree.makeFile(QString(folder + QStringLiteral("f%1.txt").arg(k)), k * 37 + f);
    }
    return made;
}

TSettings filesOnly()
{
    TSettings settings;
    settings.Style.Preset = 6; // "Files, full path"
    settings.Style.IsHeader = true;
    settings.IsSound = false;
    return settings;
}

} // namespace

class TestListingRun : public QObject {
    Q_OBJECT
private:
    const TLocaleScope m_locale{QLocale::c()};
    TTempTree m_tree;
    QString m_a; // ".../A/" with x.txt, B/y.log
    QString m_c; // ".../C/" with c.txt

private Q_SLOTS:
    void initTestCase()
    {
        m_a = m_tree.path("A/");
        m_c = m_tree.path("C/");
        QVERIFY(m_tree.makeFile("A/x.txt", 10));
        QVERIFY(m_tree.makeFile("A/B/y.log", 1048576));
        QVERIFY(m_tree.makeFile("C/c.txt", 0));
        CollectInfo();
    }

    // "{time}" stands for the time line and "{drive}" for the drive line of the location.
    void headerCodes_data()
    {
        QTest::addColumn<int>("header");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("0 time") << 0 << QStringList{"{time}"};
        QTest::newRow("1 search for") << 1 << QStringList{":: Search for: All files"};
        QTest::newRow("2 location") << 2 << QStringList{":: {A}"};
        QTest::newRow("3 time, search for")
            << 3 << QStringList{"{time}", ":: Search for: All files"};
        QTest::newRow("4 time, location") << 4 << QStringList{"{time}", ":: {A}"};
        QTest::newRow("5 all three")
            << 5 << QStringList{"{time}", ":: Search for: All files", ":: {A}"};
        QTest::newRow("6 search for, location")
            << 6 << QStringList{":: Search for: All files", ":: {A}"};
        QTest::newRow("7 full") << 7
                                << QStringList{"{time}", ":: Search for: All files", "{drive}",
                                               ":: {A}"};
    }
    void headerCodes()
    {
        QFETCH(int, header);
        QFETCH(QStringList, expected);
        TSettings settings = filesOnly();
        settings.Style.Header = header;
        TFakeHost host;
        const TRunResult run = list(settings, m_a, host);
        QCOMPARE(run.Outcome, TRunOutcome::Completed);

        static const QRegularExpression timeLine(u"^:: Dirka 2\\.1; .+; \\d\\d:\\d\\d:\\d\\d$"_s);
        QStringList lines = withoutTime(linesOf(host.Result));
        for (QString& line : lines) {
            if (timeLine.match(line).hasMatch())
                line = u"{time}"_s;
            else if (line.startsWith(u":: Drive: ") && line.contains(u"; Size: "))
                line = u"{drive}"_s;
        }
        const std::optional<TDriveInfo> drive = DriveInfoForPath(m_a);
        if (!drive || DriveLineText(*drive).isEmpty())
            expected.removeAll(u"{drive}"_s); // no size known for this mount: no drive line
        expected = at(expected + QStringList{"", "{A}x.txt", "{A}B/y.log", "",
                                             ":: Files: 2 (1.00 MB; in 2 folders)",
                                             ":: Listing Completed.", ""},
                      m_a);
        QCOMPARE(lines, expected);
        const qsizetype location = expected.indexOf(QString(u":: " + m_a));
        if (location >= 0)
            QCOMPARE(host.Result.PathOf(int(location)), m_a);
        QCOMPARE(host.Result.PathOf(int(expected.indexOf(QString(m_a + u"x.txt")))),
                 QString(m_a + u"x.txt"));
        QCOMPARE(host.Started, 1);
        QCOMPARE(host.Finished, 1);
    }

    void severalLocationsAddUp()
    {
        TSettings settings = filesOnly();
        settings.Style.Header = 2;
        TFakeHost host;
        const TRunResult run = list(settings, m_a + u" | " + m_c, host);
        QCOMPARE(run.Outcome, TRunOutcome::Completed);
        QCOMPARE(withoutTime(linesOf(host.Result)),
                 at({":: {A}", "", "{A}x.txt", "{A}B/y.log", "", ":: {C}", "", "{C}c.txt", "",
                     ":: Files: 3 (1.00 MB; in 3 folders)", ":: Listing Completed.", ""},
                    m_a, m_c));
        QCOMPARE(host.Result.PathOf(5), m_c);
        QCOMPARE(run.ListedLocation, QString());
        QCOMPARE(list(settings, m_c, host).ListedLocation, m_c);
    }

    void headerOff()
    {
        TSettings settings = filesOnly();
        settings.Style.IsHeader = false;
        TFakeHost host;
        list(settings, m_a, host);
        QCOMPARE(linesOf(host.Result), QStringList({m_a + u"x.txt", m_a + u"B/y.log"}));
        QVERIFY(host.Status.startsWith(u"Files: 2 (1.00 MB; in 2 folders)"));

        TFakeHost stopped;
        stopped.StopOnEvents = true;
        const TRunResult run = list(settings, m_a, stopped);
        QCOMPARE(run.Outcome, TRunOutcome::Stopped);
        QCOMPARE(linesOf(stopped.Result), QStringList());
        QVERIFY2(stopped.Status.endsWith(u"   (Stopped)"), qPrintable(stopped.Status));
    }

    // The footer, then the stop line; nothing of the second location.
    void stopWithHeader_data()
    {
        QTest::addColumn<QString>("stopAfter"); // empty: Stop is pressed before the walk
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("before the walk")
            << QString()
            << QStringList{":: Search for: All files", "", "", ":: Files: 0", ":: Stopped!", ""};
        QTest::newRow("after the first file") << "{A}x.txt"
                                              << QStringList{":: Search for: All files",
                                                             "",
                                                             "{A}x.txt",
                                                             "",
                                                             ":: Files: 1 (.000 MB; in 1 folders)",
                                                             ":: Stopped!",
                                                             ""};
    }
    void stopWithHeader()
    {
        QFETCH(QString, stopAfter);
        QFETCH(QStringList, expected);
        TSettings settings = filesOnly();
        settings.Style.Header = 1;
        settings.IsCopy = true;
        TFakeHost host;
        host.StopOnEvents = stopAfter.isEmpty();
        host.Result.StopAfter = stopAfter.replace(u"{A}"_s, m_a);
        const TRunResult run = list(settings, m_a + u"|" + m_c, host);
        QCOMPARE(run.Outcome, TRunOutcome::Stopped);
        const QStringList lines = linesOf(host.Result);
        QCOMPARE(withoutTime(lines), at(expected, m_a));
        // The status bar shows the footer's statistics, marked as stopped.
        QCOMPARE(host.Status, QString(lines[lines.size() - 3].mid(3) + u"   (Stopped)"));
        QCOMPARE(host.Clipboard, QString()); // never after a stopped run
    }

    void clearOffAppends()
    {
        TSettings settings = filesOnly();
        settings.Style.IsHeader = false;
        settings.IsClear = false;
        TFakeHost host;
        list(settings, m_a, host);
        list(settings, m_c, host);
        QCOMPARE(linesOf(host.Result),
                 QStringList({m_a + u"x.txt", m_a + u"B/y.log", m_c + u"c.txt"}));
        QCOMPARE(host.Result.PathOf(0), QString(m_a + u"x.txt"));
        QCOMPARE(host.Result.PathOf(2), QString(m_c + u"c.txt"));
        settings.IsClear = true;
        list(settings, m_c, host);
        QCOMPARE(linesOf(host.Result), QStringList({m_c + u"c.txt"}));
        QCOMPARE(host.Result.PathOf(1), QString());
    }

    void depthOne()
    {
        TSettings settings = filesOnly();
        settings.IsSound = true;
        settings.MaxDepth = 7;
        const TSettings one = DepthOneSettings(settings);
        QCOMPARE(one.MaxDepth, 1);
        QVERIFY(one.IsMaxDepth);
        QVERIFY(!one.IsSound);
        QCOMPARE(settings.MaxDepth, 7);
        QCOMPARE(SearchForLineText(one), QStringLiteral(":: Search for: All files; Depth: 1"));
        TFakeHost host;
        list(one, m_a, host);
        QVERIFY(linesOf(host.Result).contains(m_a + u"x.txt"));
        QVERIFY(!linesOf(host.Result).contains(m_a + u"B/y.log"));
    }

    void refusals_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("warning");
        const QString missing = QStringLiteral("Specified location doesn't exists.");
        QTest::newRow("separator") << 2 << QString() << "Choose what to search for.";
        QTest::newRow("separator 16") << 16 << QString() << "Choose what to search for.";
        QTest::newRow("missing") << 0 << "/no/such/dirka/folder" << missing;
        QTest::newRow("empty") << 0 << "" << missing;
        QTest::newRow("empty second field") << 0 << "@|" << missing;
        // A file is read as a saved listing; one that is not is refused by its first line.
        QTest::newRow("a file that is no saved listing")
            << 0 << "@x.txt"
            << "@x.txt, line 1: not a record of a saved listing (no JSON object)";
        QTest::newRow("a folder after it stays unlisted")
            << 0 << "@x.txt|@"
            << "@x.txt, line 1: not a record of a saved listing (no JSON object)";
        QTest::newRow("unknown pseudo-location") << 0 << "<Temp>" << missing;
        // A stored text can hold a NUL; the system would test only the part before it.
        QTest::newRow("NUL after an existing folder")
            << 0 << QString(u"@" + QChar(u'\0') + u"x") << missing;
    }
    void refusals()
    {
        QFETCH(int, filter);
        QFETCH(QString, location);
        QFETCH(QString, warning);
        TSettings settings = filesOnly();
        settings.Filter = filter;
        TFakeHost host;
        host.Result.AppendLine(u"old line");
        const TRunResult run =
            list(settings, location.isEmpty() && filter ? m_a : location.replace(u'@', m_a), host);
        QCOMPARE(run.Outcome, TRunOutcome::Refused);
        QCOMPARE(host.Warnings, QStringList{warning.replace(u'@', m_a)});
        QCOMPARE(linesOf(host.Result), QStringList{"old line"});
        QCOMPARE(host.Started, 0);
        QCOMPARE(host.Accepted, QStringList());
    }

    // The sound plays only when the sound file is a file; "{P}" is the program folder.
    void copyAndSound_data()
    {
        QTest::addColumn<QString>("standing"); // what is at audio/ListingCompleted.wav
        QTest::addColumn<bool>("sound");
        QTest::addColumn<bool>("depthOne");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no sound file") << "" << true << false << QStringList();
        QTest::newRow("a folder in its place") << "folder" << true << false << QStringList();
        QTest::newRow("the sound file")
            << "file" << true << false << QStringList{"{P}audio/ListingCompleted.wav"};
        QTest::newRow("sound off") << "file" << false << false << QStringList();
        QTest::newRow("one depth list") << "file" << true << true << QStringList();
    }
    void copyAndSound()
    {
        QFETCH(QString, standing);
        QFETCH(bool, sound);
        QFETCH(bool, depthOne);
        QFETCH(QStringList, expected);
        TTempTree program;
        QVERIFY(program.makeFolder("audio"));
        if (standing == u"folder")
            QVERIFY(program.makeFolder("audio/ListingCompleted.wav"));
        else if (standing == u"file")
            QVERIFY(program.makeFile("audio/ListingCompleted.wav", 4));
        TInfo info = Info();
        info.ProgramFolder = program.path();
        ReplaceInfo(info);
        const auto restore = qScopeGuard([] { CollectInfo(); });

        TSettings settings = filesOnly();
        settings.IsCopy = true;
        settings.IsSound = sound;
        TFakeHost host;
        list(depthOne ? DepthOneSettings(settings) : settings, m_a, host);
        QCOMPARE(host.Clipboard, host.Result.WholeText());
        QCOMPARE(host.Sounds, expected.replaceInStrings(u"{P}"_s, program.path()));
    }

    void timeLineLeavesNoTraceOfTheZone()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(10, 15, 42));
        const QList<QLocale> locales = QLocale::matchingLocales(
            QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        for (const QLocale& locale : locales) {
            const TLocaleScope scope(locale);
            const QString line = TimeLineText(when);
            const QString time = line.mid(line.lastIndexOf(u"; ") + 2);
            QVERIFY2(!time.contains(u"()") && !time.contains(u"[]") && !time.endsWith(u',') &&
                         !time.endsWith(u' '),
                     qPrintable(locale.name() + u": " + time));
        }
    }

    void timeLineHasNoTimeZone()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(10, 15, 42));
        QCOMPARE(TimeLineText(when), QStringLiteral(":: Dirka 2.1; 6 Dec 2026; 10:15:42"));
        const TLocaleScope german(u"de_DE"_s);
        QCOMPARE(TimeLineText(when), QStringLiteral(":: Dirka 2.1; 06.12.26; 10:15:42"));
    }

    // Two listings at once in two threads, each with its own counters, entered folders, random
    // order and Stop, give exactly what each gives alone.
    void twoRunsAtOnce_data()
    {
        QTest::addColumn<int>("sortMode");
        QTest::addColumn<int>("stopAt"); // the first listing's Stop is pressed at this line
        QTest::newRow("by name") << 1 << -1;
        QTest::newRow("random order") << 5 << -1;
        QTest::newRow("first one stopped") << 5 << 300;
    }
    void twoRunsAtOnce()
    {
        QFETCH(int, sortMode);
        QFETCH(int, stopAt);
        TTempTree tree;
        QVERIFY(makeBusyTree(tree, u"P/"_s, 20, 30) && makeBusyTree(tree, u"Q/"_s, 12, 50));
        TSettings settings = filesOnly();
        settings.Style.Preset = CustomPreset;
        settings.Style.SortMode = sortMode;
        settings.Style.Header = 6;
        const QString p = tree.path("P/");
        const QString q = tree.path("Q/");
        const TListed first = listPaced(settings, p, 7, stopAt, nullptr);
        const TListed second = listPaced(settings, q, 9, -1, nullptr);
        QCOMPARE(first.Outcome, stopAt < 0 ? TRunOutcome::Completed : TRunOutcome::Stopped);
        QCOMPARE(second.Outcome, TRunOutcome::Completed);
        QVERIFY(first.Lines.size() > 300 && second.Lines.size() > 300);

        std::latch meeting(2);
        TListed secondAtOnce;
        std::thread other([&] { secondAtOnce = listPaced(settings, q, 9, -1, &meeting); });
        const TListed firstAtOnce = listPaced(settings, p, 7, stopAt, &meeting);
        other.join();
        const TListed* alone[] = {&first, &second};
        const TListed* atOnce[] = {&firstAtOnce, &secondAtOnce};
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(atOnce[i]->Outcome, alone[i]->Outcome);
            QCOMPARE(atOnce[i]->Lines, alone[i]->Lines);
            QCOMPARE(atOnce[i]->Paths, alone[i]->Paths);
            QCOMPARE(atOnce[i]->Status, alone[i]->Status);
        }
    }

    // Every item has one record, at the first line that shows it (a folder in its parent's list
    // before its own line, never the header's location line), with what the walk looked up: the
    // facts a look at the item gives now. Without records asked for up front, what the walk did
    // not look at is left to the record.
    void oneRecordPerItem_data()
    {
        QTest::addColumn<int>("preset");
        QTest::addColumn<bool>("records");
        QTest::addColumn<int>("depth");
        for (int preset = 0; preset < PresetCount; ++preset) {
            const QByteArray name = "preset " + QByteArray::number(preset);
            QTest::newRow(QByteArray(name + ", records asked").constData()) << preset << true << 0;
            QTest::newRow(QByteArray(name + ", looked up later").constData())
                << preset << false << 0;
        }
        QTest::newRow("list - rich, depth 1") << 1 << true << 1;
        QTest::newRow("tree - rich, depth 2") << 5 << true << 2;
    }
    void oneRecordPerItem()
    {
        QFETCH(int, preset);
        QFETCH(bool, records);
        QFETCH(int, depth);
        TTempTree tree;
        QVERIFY(tree.makeFile("T/x.txt", 10) && tree.makeFile("T/B/y.log", 4097) &&
                tree.makeFile("T/B/C/.z", 3) && tree.makeFolder("T/E") &&
                tree.makeLink("T/toB", "B") && tree.makeLink("T/toX", "x.txt") &&
                tree.makeLink("T/nowhere", "gone") && tree.makeFifo("T/pipe"));
        TFakeHost host;
        host.Records = records;
        TSettings settings;
        settings.Style.Preset = preset;
        settings.Style.IsHeader = true;
        settings.Style.Header = 6; // the location line
        settings.IsHiddenFiles = true;
        settings.IsSystemFiles = true;
        settings.IsSound = false;
        settings.IsMaxDepth = depth > 0;
        settings.MaxDepth = depth;
        const QString location = tree.path("T/");
        QCOMPARE(RunListing(settings, location, host).Outcome, TRunOutcome::Completed);

        const TResultText& result = host.Result;
        std::map<QString, qsizetype> firstLine;
        for (qsizetype i = 0; i < result.LineCount(); ++i) {
            const QString path = result.PathOf(int(i));
            if (!path.isEmpty() && result.Line(i) != QString(u":: " + location))
                firstLine.try_emplace(path, i);
        }
        QVERIFY(firstLine.size() >= 3);
        std::map<QString, qsizetype> recorded;
        for (qsizetype k = 0; k < result.RecordCount(); ++k) {
            const TLineRecord record = result.Record(k);
            const QString path = result.PathOf(record.Line);
            QVERIFY2(recorded.emplace(path, record.Line).second, qPrintable(path));
            const TItemFacts now = FactsOfPath(path);
            const TItemFacts walk = record.Facts();
            if (walk.State == TFactsState::NotLookedAt) {
                QVERIFY2(!records, qPrintable(path));
                continue;
            }
            QCOMPARE(int(walk.State), int(now.State));
            QCOMPARE(int(walk.Type), int(now.Type));
            QCOMPARE(walk.Size, now.Size);
            QCOMPARE(walk.Modified, now.Modified);
        }
        QCOMPARE(recorded, firstLine);
    }
};

QTEST_GUILESS_MAIN(TestListingRun)
#include "tst_listing_run.moc"
