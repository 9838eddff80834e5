#include "core/listing/folder_walker.h"
#include "core/listing/listing_run.h"
#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/system/program_info.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace dirka;

namespace {

class TFakeHost : public TListingHost {
public:
    TLinesTarget& Lines() override { return Result; }
    void Warn(const QString& message) override { Warnings << message; }
    void LocationAccepted(const QString& text) override { Accepted << text; }
    void RunStarted() override { ++Started; }
    void RunFinished() override { ++Finished; }
    void ShowStatus(const QString& text) override { Status = text; }
    void ProcessEvents() override
    {
        if (StopOnEvents)
            RequestStop();
    }
    void CopyToClipboard(QStringView text) override { Clipboard = text.toString(); }
    void PlaySound(const QString& fileName) override { Sounds << fileName; }
    QString WholeText() const override { return Result.Text().toString(); }

    QStringList Lines_() const
    {
        QStringList lines;
        for (qsizetype i = 0; i < Result.LineCount(); ++i)
            lines << Result.Line(i).toString();
        return lines;
    }

    TResultText Result;
    QStringList Warnings, Accepted, Sounds;
    QString Status, Clipboard;
    int Started = 0, Finished = 0;
    bool StopOnEvents = false;
};

void makeFile(const QString& path, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
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
    QTemporaryDir m_dir;
    QString m_a; // ".../A/" with x.txt, B/y.log
    QString m_c; // ".../C/" with c.txt

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        m_a = m_dir.path() + u"/A/";
        m_c = m_dir.path() + u"/C/";
        QVERIFY(QDir().mkpath(m_a + u"B"));
        QVERIFY(QDir().mkpath(m_c));
        makeFile(m_a + u"x.txt", 10);
        makeFile(m_a + u"B/y.log", 1048576);
        makeFile(m_c + u"c.txt", 0);
        CollectInfo();
    }

    void init()
    {
        TabReset();
        ClearStopRequest();
    }

    void headerCodes_data()
    {
        QTest::addColumn<int>("header");
        QTest::addColumn<bool>("time");
        QTest::addColumn<bool>("searchFor");
        QTest::addColumn<bool>("location");
        for (int code = 0; code <= 7; ++code) {
            const bool time = code == 0 || code == 3 || code == 4 || code == 5 || code == 7;
            const bool searchFor = code == 1 || code == 3 || code == 5 || code == 6 || code == 7;
            const bool location = code == 2 || code == 4 || code == 5 || code == 6 || code == 7;
            QTest::addRow("%d", code) << code << time << searchFor << location;
        }
    }
    void headerCodes()
    {
        QFETCH(int, header);
        QFETCH(bool, time);
        QFETCH(bool, searchFor);
        QFETCH(bool, location);
        TSettings settings = filesOnly();
        settings.Style.Header = header;
        TFakeHost host;
        const TRunResult run = RunListing(settings, m_a, host);
        QCOMPARE(run.Outcome, TRunOutcome::Completed);

        QStringList lines = host.Lines_();
        int i = 0;
        if (time) {
            QVERIFY2(
                QRegularExpression(QStringLiteral("^:: Dirka 2\\.1; .+; \\d\\d:\\d\\d:\\d\\d$"))
                    .match(lines[i])
                    .hasMatch(),
                qPrintable(lines[i]));
            ++i;
        }
        if (searchFor)
            QCOMPARE(lines[i++], QStringLiteral(":: Search for: All files"));
        if (header == 7 && lines[i].startsWith(u":: Drive: "))
            QVERIFY(lines[i++].contains(u"; Size: "));
        if (location) {
            QCOMPARE(lines[i], QString(u":: " + m_a));
            QCOMPARE(TabGet(i), m_a);
            ++i;
        }
        QCOMPARE(lines.mid(i),
                 QStringList({"", m_a + u"x.txt", m_a + u"B/y.log", "",
                              QString(u":: " + run.StatusText), ":: Listing Completed.", ""}));
        QVERIFY(lines[lines.size() - 3].startsWith(u":: Files: 2 (1.00 MB; in 2 folders)"));
        QCOMPARE(TabGet(i + 1), QString(m_a + u"x.txt"));
        QCOMPARE(host.Started, 1);
        QCOMPARE(host.Finished, 1);
    }

    void severalLocationsAddUp()
    {
        TSettings settings = filesOnly();
        settings.Style.Header = 2;
        TFakeHost host;
        const TRunResult run = RunListing(settings, m_a + u" | " + m_c, host);
        QCOMPARE(run.Outcome, TRunOutcome::Completed);
        const QStringList lines = host.Lines_();
        QCOMPARE(lines,
                 QStringList({":: " + m_a, "", m_a + u"x.txt", m_a + u"B/y.log", "", ":: " + m_c,
                              "", m_c + u"c.txt", "", lines[9], ":: Listing Completed.", ""}));
        QVERIFY2(lines[9].startsWith(u":: Files: 3 (1.00 MB; in 3 folders)"), qPrintable(lines[9]));
        QCOMPARE(TabGet(5), m_c);
        QCOMPARE(ListedLocation(), QString());
        RunListing(settings, m_c, host);
        QCOMPARE(ListedLocation(), m_c);
    }

    void headerOff()
    {
        TSettings settings = filesOnly();
        settings.Style.IsHeader = false;
        TFakeHost host;
        RunListing(settings, m_a, host);
        QCOMPARE(host.Lines_(), QStringList({m_a + u"x.txt", m_a + u"B/y.log"}));
        QVERIFY(host.Status.startsWith(u"Files: 2 (1.00 MB; in 2 folders)"));

        TFakeHost stopped;
        stopped.StopOnEvents = true;
        const TRunResult run = RunListing(settings, m_a, stopped);
        QCOMPARE(run.Outcome, TRunOutcome::Stopped);
        QCOMPARE(stopped.Lines_(), QStringList());
        QVERIFY2(stopped.Status.endsWith(u"   (Stopped)"), qPrintable(stopped.Status));
    }

    void stopWithHeader()
    {
        TSettings settings = filesOnly();
        settings.Style.Header = 1;
        settings.IsCopy = true;
        TFakeHost host;
        host.StopOnEvents = true;
        const TRunResult run = RunListing(settings, m_a + u"|" + m_c, host);
        QCOMPARE(run.Outcome, TRunOutcome::Stopped);
        const QStringList lines = host.Lines_();
        QCOMPARE(lines.mid(lines.size() - 2), QStringList({":: Stopped!", ""}));
        QVERIFY(!lines.contains(QString(m_c + u"c.txt")));
        QCOMPARE(host.Clipboard, QString()); // never after a stopped run
    }

    void clearOffAppends()
    {
        TSettings settings = filesOnly();
        settings.Style.IsHeader = false;
        settings.IsClear = false;
        TFakeHost host;
        RunListing(settings, m_a, host);
        RunListing(settings, m_c, host);
        QCOMPARE(host.Lines_(), QStringList({m_a + u"x.txt", m_a + u"B/y.log", m_c + u"c.txt"}));
        QCOMPARE(TabGet(0), QString(m_a + u"x.txt"));
        QCOMPARE(TabGet(2), QString(m_c + u"c.txt"));
        settings.IsClear = true;
        RunListing(settings, m_c, host);
        QCOMPARE(host.Lines_(), QStringList({m_c + u"c.txt"}));
        QCOMPARE(TabGet(1), QString());
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
        RunListing(one, m_a, host);
        QVERIFY(host.Lines_().contains(m_a + u"x.txt"));
        QVERIFY(!host.Lines_().contains(m_a + u"B/y.log"));
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
        QTest::newRow("a file") << 0 << "@x.txt" << missing;
        QTest::newRow("unknown pseudo-location") << 0 << "<Temp>" << missing;
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
        const TRunResult run = RunListing(
            settings, location.isEmpty() && filter ? m_a : location.replace(u'@', m_a), host);
        QCOMPARE(run.Outcome, TRunOutcome::Refused);
        QCOMPARE(host.Warnings, QStringList{warning});
        QCOMPARE(host.Lines_(), QStringList{"old line"});
        QCOMPARE(host.Started, 0);
        QCOMPARE(host.Accepted, QStringList());
    }

    void copyAndSound()
    {
        QTemporaryDir program;
        QVERIFY(QDir().mkpath(program.path() + u"/audio"));
        TInfo info = Info();
        info.ProgramFolder = program.path() + u'/';
        ReplaceInfo(info);

        TSettings settings = filesOnly();
        settings.IsCopy = true;
        settings.IsSound = true;
        TFakeHost host;
        RunListing(settings, m_a, host);
        QCOMPARE(host.Clipboard, host.Result.Text().toString());
        QCOMPARE(host.Sounds, QStringList()); // no sound file, no sound

        makeFile(program.path() + u"/audio/ListingCompleted.wav", 4);
        RunListing(settings, m_a, host);
        QCOMPARE(host.Sounds, QStringList{program.path() + u"/audio/ListingCompleted.wav"});
        RunListing(DepthOneSettings(settings), m_a, host);
        QCOMPARE(host.Sounds.size(), 1);
        CollectInfo();
    }

    void timeLineLeavesNoTraceOfTheZone()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(10, 15, 42));
        const QList<QLocale> locales = QLocale::matchingLocales(
            QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        for (const QLocale& locale : locales) {
            QLocale::setDefault(locale);
            const QString line = TimeLineText(when);
            const QString time = line.mid(line.lastIndexOf(u"; ") + 2);
            QVERIFY2(!time.contains(u"()") && !time.contains(u"[]") && !time.endsWith(u',') &&
                         !time.endsWith(u' '),
                     qPrintable(locale.name() + u": " + time));
        }
        QLocale::setDefault(QLocale::c());
    }

    void timeLineHasNoTimeZone()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(10, 15, 42));
        QCOMPARE(TimeLineText(when), QStringLiteral(":: Dirka 2.1; 6 Dec 2026; 10:15:42"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(TimeLineText(when), QStringLiteral(":: Dirka 2.1; 06.12.26; 10:15:42"));
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_GUILESS_MAIN(TestListingRun)
#include "tst_listing_run.moc"
