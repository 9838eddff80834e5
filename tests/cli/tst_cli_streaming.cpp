// `dirka --list` writes its files while it lists. They must hold the bytes the window's
// whole-result builders make, and an interrupted or failed run must never leave half a file.
#include "cli/exit_status.h"
#include "cli_support.h"
#include "temp_tree.h"

#include "core/listing/listing_run.h"
#include "core/listing/result_text.h"
#include "core/output/html_export.h"
#include "core/output/m3u8_export.h"
#include "core/output/record_export.h"
#include "core/settings/settings_fields.h"
#include "core/system/program_info.h"
#include "core/system/web_addresses.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

using namespace dirka;
using testsupport::asUnprivileged;
using testsupport::contentOf;
using testsupport::signalChild;
using testsupport::TTempTree;

namespace {

// The window's way: the whole result in memory, the paths in the result line store.
class TWholeResultHost : public TListingHost {
public:
    TLinesTarget& Lines() override { return Result; }
    TResultText Result;
};

QByteArray printed(const TResultText& result)
{
    QByteArray out;
    for (qsizetype i = 0; i < result.LineCount(); ++i)
        out += result.Line(i).toUtf8() + '\n';
    return out;
}

// Thousands of files are made far quicker in memory than on a journalled disk.
QString treeFolder()
{
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    return memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
}

} // namespace

class TestCliStreaming : public QObject {
    Q_OBJECT
private:
    TTempTree m_tree{treeFolder()};
    TTempTree m_config; // stays empty: every run starts from the defaults
    QString m_small;
    QString m_big;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        return env;
    }

    static QStringList listArguments(const QString& location, const QStringList& sets)
    {
        QStringList arguments{"--list", location, "--set", "S.IsHeader=0"};
        for (const QString& set : sets)
            arguments << "--set" << set;
        return arguments;
    }

    // Starts the program, as a user whom permissions refuse when unprivileged is set, in the
    // tests' environment unless the process has one.
    void start(QProcess& process, const QStringList& arguments, bool unprivileged = false) const
    {
        const QStringList prefix = unprivileged ? asUnprivileged() : QStringList();
        if (process.processEnvironment().isEmpty())
            process.setProcessEnvironment(environment());
        if (prefix.isEmpty())
            process.start(QStringLiteral(DIRKA_BINARY), arguments);
        else
            process.start(prefix.front(), prefix.mid(1) << DIRKA_BINARY << arguments);
    }

    // A folder that takes no new file, holding targets that may be rewritten.
    static bool lockTargets(const TTempTree& out, const QStringList& targets)
    {
        for (const QString& name : targets) {
            if (!QFile::setPermissions(out.path(name), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ReadOther | QFile::WriteOther))
                return false;
        }
        return QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::ExeOwner |
                                                     QFile::ReadOther | QFile::ExeOther);
    }

    // The result the window would hold for the same settings as the command line's.
    static TSettings settingsFor(const QStringList& sets)
    {
        TSettings settings;
        settings.Filter = 0;
        for (const QString& set : QStringList{"S.IsHeader=0"} + sets) {
            const qsizetype equals = set.indexOf(u'=');
            const TSettingsField* field = FindSettingsField(set.left(equals));
            if (!field || !SetFieldFromText(*field, settings, set.mid(equals + 1)))
                qFatal("bad setting %s", qPrintable(set));
        }
        ClampStyleRanges(settings);
        settings.IsSound = false;
        settings.IsCopy = false;
        settings.IsClear = true;
        return settings;
    }

    // Every link of the page is a full address below the listed location, and a folder's link
    // names that folder alone: "file:///t/A/empty/" and never "file:///t/A/B//t/A/empty/".
    void checkFullLinks(const QByteArray& html) const
    {
        static const QRegularExpression link(QStringLiteral("<a href=\"(file://[^\"]*)\">"));
        const QString location = u"file://" + m_small;
        int folders = 0;
        for (const QRegularExpressionMatch& match : link.globalMatch(QString::fromUtf8(html))) {
            const QString address = match.captured(1);
            QVERIFY2(address.startsWith(location) && address.indexOf(u"//", 7) < 0 &&
                         address.indexOf(m_small, location.size()) < 0,
                     qPrintable(address));
            folders += address.endsWith(u'/');
        }
        QVERIFY(folders >= 5);
    }

    // Writes files 0, 1, 2 ... with long names into folders, for results of some megabytes.
    static bool makeWide(const TTempTree& tree, const QByteArray& top, int folders, int files)
    {
        const QByteArray tail(200, 'n');
        for (int f = 0; f < folders; ++f) {
            for (int i = 0; i < files; ++i) {
                if (!tree.makeFile(top + "/f" + QByteArray::number(f) + "/" +
                                   QByteArray::number(i) + tail + ".mp3"))
                    return false;
            }
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid() && m_config.isValid());
        // Some runs are made as another user, who must reach the tree and the settings.
        for (const QString& folder : {m_tree.path(), m_config.path()})
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
        CollectInfo();
        m_small = m_tree.path("A/");
        QVERIFY(m_tree.makeFile("A/x.txt", 10) && m_tree.makeFile("A/z.doc", 524288) &&
                m_tree.makeFile("A/B/y.log", 2621440) && m_tree.makeFile("A/.hidden/h.txt", 1) &&
                m_tree.makeFolder("A/empty") && m_tree.makeFolder("A/no files/below") &&
                m_tree.makeFolder("A/mixed/a empty/below") && m_tree.makeFile("A/mixed/b/f.txt") &&
                m_tree.makeFile("A/odd/a&b <c>.mp3", 3) &&
                m_tree.makeFile("A/odd/\xff raw\ttab.mp3", 2000000) &&
                m_tree.makeLink("A/to B", "B") && makeWide(m_tree, "A/wide", 2, 1500));
        m_big = m_tree.path("big/");
        QVERIFY(makeWide(m_tree, "big", 10, 1500));
    }

    // Printed lines, the saved text, the page and the playlist, byte for byte as the window
    // builds them from its whole result. The wide folder takes the files past several chunks;
    // the folders without files are listed and then taken back.
    void filesMatchTheWholeResult_data()
    {
        QTest::addColumn<QStringList>("sets");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<int>("saveCode");
        QTest::addColumn<bool>("fullFolderLinks"); // --html-full --html-link-folders
        QTest::newRow("full paths, hidden, no size looked up")
            << QStringList{"S.Preset=6", "IsHiddenFiles=1"} << "utf8bom" << SaveCodeUtf8Bom
            << false;
        QTest::newRow("rich list with summaries")
            << QStringList{"S.Preset=1"} << "utf16" << SaveCodeUnicode << false;
        QTest::newRow("tree, nothing skipped, sizes first")
            << QStringList{"S.Preset=10", "S.Mode=1",  "S.IsSkip=0",    "S.Base=2",
                           "S.Folder=3",  "S.File=12", "S.IsSummary=1", "S.IsNewLine=1"}
            << "utf8" << SaveCodeUtf8 << false;
        QTest::newRow("by size without showing it, masked")
            << QStringList{"S.Preset=10",
                           "S.File=10",
                           "S.Base=10",
                           "S.SortMode=3",
                           "S.IsSummary=0",
                           "Filter=18",
                           "FilterMask.19=*.mp3|*.log"}
            << "utf8" << SaveCodeUtf8 << false;
        // Folder links after the walk took back a folder (mixed/a empty/) while the lines
        // before it were still held: each link names its own folder only.
        QTest::newRow("rich list, full links to folders")
            << QStringList{"S.Preset=1"} << "utf8" << SaveCodeUtf8 << true;
        QTest::newRow("tree of item lines only, full links to folders")
            << QStringList{"S.Preset=10",   "S.Mode=1",  "S.IsSkip=1", "S.IsSummary=0",
                           "S.IsNewLine=0", "S.Base=10", "S.File=1"}
            << "utf8" << SaveCodeUtf8 << true;
        // Lines that are their items' full paths, folders taken back among them.
        QTest::newRow("full paths of folders and files, full links to folders")
            << QStringList{"S.Preset=10",   "S.Mode=0",      "S.IsSkip=1",
                           "S.IsSummary=0", "S.IsNewLine=0", "S.Base=10",
                           "S.Folder=10",   "S.File=10",     "S.IndentMode=2"}
            << "utf16" << SaveCodeUnicode << true;
    }
    void filesMatchTheWholeResult()
    {
        QFETCH(QStringList, sets);
        QFETCH(QString, encoding);
        QFETCH(int, saveCode);
        QFETCH(bool, fullFolderLinks);
        TTempTree out;
        QProcess process;
        process.setProcessEnvironment(environment());
        const QStringList pageOptions =
            fullFolderLinks ? QStringList{"--html-full", "--html-link-folders"} : QStringList();
        process.start(QStringLiteral(DIRKA_BINARY),
                      listArguments(m_small, sets)
                          << "--output" << out.path("t.txt") << "--encoding" << encoding << "--html"
                          << out.path("p.html") << pageOptions << "--m3u8" << out.path("p.m3u8")
                          << "--json" << out.path("r.json"));
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.readAllStandardError(), QByteArray());
        QCOMPARE(process.exitCode(), ExitDone);

        TWholeResultHost window;
        QCOMPARE(RunListing(settingsFor(sets), m_small, window).Outcome, TRunOutcome::Completed);
        QVERIFY(window.Result.LineCount() > 3000);
        QCOMPARE(process.readAllStandardOutput(), printed(window.Result));
        QByteArray text = SaveFileMark(saveCode);
        AppendSaveEncoded(text, window.Result.WholeText(), saveCode);
        QCOMPARE(contentOf(out.path("t.txt")), text);
        QCOMPARE(contentOf(out.path("p.m3u8")), BuildM3u8Playlist(window.Result).Bytes);
        // The walk's facts, passed along with the lines the walk took back and those it kept,
        // make the records the window makes from its result.
        QVERIFY(
            ExportRecords(out.path("w.json"), TRecordFormat::Json, window.Result, {m_small}).Ok());
        QCOMPARE(contentOf(out.path("r.json")), contentOf(out.path("w.json")));
        THtmlExportOptions page;
        page.Lines = &window.Result;
        page.ListedLocation = m_small;
        page.SiteRoot = SiteRoot();
        page.FileVersion = Info().VersionInfo.FileVersion;
        page.LanguageCode = Info().LanguageCode;
        page.Created = QDate::currentDate();
        page.IsRelative = !fullFolderLinks;
        page.IsLinkFolders = fullFolderLinks;
        const QByteArray html = contentOf(out.path("p.html"));
        QCOMPARE(html, BuildHtmlPage(page));
        if (fullFolderLinks)
            checkFullLinks(html);
    }

    // A file written into the listed tree is listed as it was before the run (here the old
    // t.txt), never as its unfinished copy, which exists by the time the walk reaches zz/.
    void ownCopyIsNotListed()
    {
        QVERIFY(m_tree.makeFile("big/zz/t.txt", "old contents"));
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(DIRKA_BINARY),
                      listArguments(m_big, {"S.Preset=6", "IsHiddenFiles=1"})
                          << "--output" << m_tree.path("big/zz/t.txt") << "--encoding"
                          << "utf8");
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), ExitDone);
        const QByteArray out = process.readAllStandardOutput();
        QCOMPARE(out.count("/zz/"), 1);
        QVERIFY(out.endsWith(QByteArray(m_tree.bytes("big/zz/t.txt") + "\n")));
        QVERIFY(contentOf(m_tree.path("big/zz/t.txt")).size() > 3'000'000);
        QVERIFY(QFile::remove(m_tree.path("big/zz/t.txt")) && QDir().rmdir(m_tree.path("big/zz")));
    }

    // Ctrl+C, SIGTERM (`timeout`) or SIGHUP while the files are being written: the listing
    // printed so far stays printed, but no file is replaced and no copy is left. A target whose
    // folder takes no new file is not touched either. The unread pipe holds the program mid-walk.
    void stoppedRunReplacesNoFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("locked");
        QTest::newRow("Ctrl+C") << SIGINT << ExitInterrupted << false;
        QTest::newRow("SIGTERM") << SIGTERM << ExitTerminated << false;
        QTest::newRow("SIGHUP") << SIGHUP << ExitHangUp << false;
        QTest::newRow("Ctrl+C, folder takes no new file") << SIGINT << ExitInterrupted << true;
    }
    void stoppedRunReplacesNoFile()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(bool, locked);
        TTempTree out;
        const QStringList targets{"p.html", "p.m3u8", "t.txt"}; // as QDir sorts them
        for (const QString& name : targets)
            QVERIFY(out.makeFile(name.toUtf8(), "old contents"));
        QVERIFY(!locked || lockTargets(out, targets));
        QProcess process;
        start(process,
              listArguments(m_big, {"S.Preset=6"})
                  << "--output" << out.path("t.txt") << "--encoding"
                  << "utf16"
                  << "--html" << out.path("p.html") << "--m3u8" << out.path("p.m3u8"),
              locked);
        QByteArray printedPart;
        while (printedPart.size() < 2'000'000 && process.waitForReadyRead(10000))
            printedPart += process.readAllStandardOutput();
        QTest::qSleep(300);
        // Copies beside the targets show the files were under way.
        QVERIFY(locked || QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size() > 3);
        QVERIFY(signalChild(process, signal));
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList(targets));
        for (const QString& name : targets)
            QCOMPARE(contentOf(out.path(name)), QByteArray("old contents"));
    }

    // Any other signal that ends a program (SIGQUIT, SIGUSR1, SIGALRM, a program error...) ends
    // it as usual, as a shell reports it (128 + the signal), but first removes the unfinished
    // copies: every target keeps its old content and no copy is left, beside the targets or,
    // for a folder that takes no new file, in the runtime folder. A program error raised in a
    // helper thread (here sent to each thread but the first) does the same.
    void endingSignalLeavesNoCopy_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("toHelpers");
        QTest::newRow("SIGQUIT") << SIGQUIT << false << false;
        QTest::newRow("SIGUSR1") << SIGUSR1 << false << false;
        QTest::newRow("SIGALRM") << SIGALRM << false << false;
        QTest::newRow("SIGUSR2") << SIGUSR2 << false << false;
        QTest::newRow("SIGXCPU") << SIGXCPU << false << false;
        QTest::newRow("SIGABRT") << SIGABRT << false << false;
        QTest::newRow("SIGRTMIN") << SIGRTMIN << false << false;
        QTest::newRow("SIGQUIT, folder takes no new file") << SIGQUIT << true << false;
#ifndef __SANITIZE_ADDRESS__ // the address sanitizer reports SIGSEGV and SIGBUS itself
        QTest::newRow("SIGSEGV") << SIGSEGV << false << false;
        QTest::newRow("SIGBUS in the helper threads") << SIGBUS << false << true;
#endif
    }
    void endingSignalLeavesNoCopy()
    {
        QFETCH(int, signal);
        QFETCH(bool, locked);
        QFETCH(bool, toHelpers);
        TTempTree out;
        TTempTree runtime; // where a folder that takes no new file has its copies made
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ExeOwner | QFile::ReadOther |
                                                          QFile::WriteOther | QFile::ExeOther));
        const QStringList targets{"a.csv", "b.json", "c.txt", "d.html", "e.m3u8"};
        for (const QString& name : targets)
            QVERIFY(out.makeFile(name.toUtf8(), "old contents"));
        QVERIFY(!locked || lockTargets(out, targets));
        QProcess process;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("TMPDIR"), runtime.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        process.setProcessEnvironment(env);
        // No core file for the signals that would write one; exec keeps the program's id.
        const QStringList command = (locked ? asUnprivileged() : QStringList())
                                    << "/bin/sh"
                                    << "-c"
                                    << "ulimit -c 0; exec \"$0\" \"$@\"" << DIRKA_BINARY
                                    << listArguments(m_big, {"S.Preset=6"}) << "--csv"
                                    << out.path("a.csv") << "--json" << out.path("b.json")
                                    << "--output" << out.path("c.txt") << "--html"
                                    << out.path("d.html") << "--m3u8" << out.path("e.m3u8");
        process.start(command.front(), command.mid(1));
        QByteArray printedPart;
        while (printedPart.size() < 2'000'000 && process.waitForReadyRead(10000))
            printedPart += process.readAllStandardOutput();
        QTest::qSleep(300);
        const QDir::Filters all =
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        const QDir copies(locked ? runtime.path() : out.path());
        // The copies show the files were under way.
        QCOMPARE(copies.entryList(all).size(), locked ? 5 : 10);
        if (toHelpers) {
            const QString tasks = QStringLiteral("/proc/%1/task").arg(process.processId());
            int sent = 0;
            for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                if (task.toLongLong() != process.processId())
                    sent += ::syscall(SYS_tgkill, pid_t(process.processId()), pid_t(task.toInt()),
                                      signal) == 0;
            }
            QVERIFY(sent > 0);
        } else {
            QVERIFY(signalChild(process, signal));
        }
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        QCOMPARE(process.exitCode(), signal);
        QCOMPARE(QDir(out.path()).entryList(all), targets);
        QCOMPARE(QDir(runtime.path()).entryList(all), QStringList());
        for (const QString& name : targets)
            QCOMPARE(contentOf(out.path(name)), QByteArray("old contents"));
    }

    // Two runs on one target whose folder takes no new file: a short run starts and ends
    // while a long one is held mid-walk by its unread pipe. Each writes its whole result in one
    // step, so the file ends as the long run's result, not a mix of both.
    void overlappingRunsOnALockedFolder()
    {
        TTempTree out;
        QVERIFY(out.makeFile("t.txt", "old contents") && out.makeFile("long.txt"));
        const QStringList longRun = listArguments(m_big, {"S.Preset=6"}) << "--output";
        QProcess reference;
        start(reference, longRun + QStringList{out.path("long.txt")});
        QVERIFY(reference.waitForFinished(30000));
        QVERIFY(lockTargets(out, {"t.txt"}));
        QProcess first;
        start(first, longRun + QStringList{out.path("t.txt")}, true);
        QByteArray printedPart;
        while (printedPart.size() < 2'000'000 && first.waitForReadyRead(10000))
            printedPart += first.readAllStandardOutput();
        QProcess second;
        start(second, listArguments(m_small, {"S.Preset=6"}) << "--output" << out.path("t.txt"),
              true);
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), ExitDone);
        QVERIFY(first.waitForFinished(30000)); // reads the rest of its output
        QCOMPARE(first.exitCode(), ExitDone);
        const QByteArray expected = contentOf(out.path("long.txt"));
        QVERIFY(expected.size() > 3'000'000);
        QVERIFY(contentOf(out.path("t.txt")) == expected);
    }

    // With neither the target's folder nor a temporary folder to take the complete copy, the
    // run refuses to write the file rather than write half of it.
    void noRoomForTheCopy()
    {
        TTempTree out;
        QVERIFY(out.makeFile("t.txt", "old contents") && lockTargets(out, {"t.txt"}));
        QProcess process;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("TMPDIR"), out.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), out.path());
        process.setProcessEnvironment(env);
        start(process, listArguments(m_small, {"S.Preset=6"}) << "--output" << out.path("t.txt"),
              true);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), ExitFailed);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.contains("no folder takes the copy"), err.constData());
        QCOMPARE(contentOf(out.path("t.txt")), QByteArray("old contents"));
    }

    // A write that fails half-way (here at the file-size limit) keeps the old file, leaves no
    // copy, names the reason, and ends with 1.
    void failedWriteKeepsTheOldFile()
    {
        TTempTree out;
        QVERIFY(out.makeFile("t.txt", "old contents"));
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral("/bin/sh"),
                      QStringList{"-c", "ulimit -f 2048; exec \"$0\" \"$@\"", DIRKA_BINARY}
                          << listArguments(m_big, {"S.Preset=6"}) << "--output" << out.path("t.txt")
                          << "--encoding"
                          << "utf16");
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), ExitFailed);
        QVERIFY(process.readAllStandardOutput().size() > 3'000'000);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.startsWith("dirka: Error #4021. Problem during saving file.\n") &&
                     err.contains("File too large"),
                 err.constData());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.txt"});
        QCOMPARE(contentOf(out.path("t.txt")), QByteArray("old contents"));
    }
};

QTEST_GUILESS_MAIN(TestCliStreaming)
#include "tst_cli_streaming.moc"
