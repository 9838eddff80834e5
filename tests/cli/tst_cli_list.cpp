// Runs the real `dirka --list` on temporary trees and checks what it prints and returns.
#include "cli/exit_status.h"
#include "cli_support.h"
#include "temp_tree.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <atomic>
#include <csignal>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace dirka;
using testsupport::contentOf;
using testsupport::signalChild;
using testsupport::TTempTree;

class TestCliList : public QObject {
    Q_OBJECT
private:
    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    // limits: shell commands run before the program, such as "ulimit -s 1024".
    static Run dirka(const QStringList& arguments, const QString& home = QString(),
                     const QString& limits = QString())
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
        if (!home.isEmpty()) {
            env.insert(QStringLiteral("HOME"), home);
            env.remove(QStringLiteral("XDG_DESKTOP_DIR"));
        }
        process.setProcessEnvironment(env);
        const QStringList shell{"-c", limits + u"; exec \"$0\" \"$@\"", DIRKA_BINARY};
        process.start(limits.isEmpty() ? QStringLiteral(DIRKA_BINARY) : QStringLiteral("/bin/sh"),
                      limits.isEmpty() ? arguments : shell + arguments);
        if (!process.waitForFinished(30000))
            return {};
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    // Makes a chain of folders "name/name/..." below top, relative to each new folder since no
    // path can name its deep end, with a file near.txt at the bottom and in z/ at level 10.
    static bool makeChain(const QByteArray& top, int levels, const QByteArray& name)
    {
        int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY);
        for (int level = 1; fd >= 0 && level <= levels; ++level) {
            const int child = ::mkdirat(fd, name.constData(), 0755) == 0
                                  ? ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY)
                                  : -1;
            ::close(fd);
            fd = child;
            if (level == 10 && ::mkdirat(fd, "z", 0755) == 0)
                ::close(::openat(fd, "z/near.txt", O_CREAT, 0644));
        }
        return fd >= 0 && ::close(::openat(fd, "near.txt", O_CREAT, 0644)) == 0 && ::close(fd) == 0;
    }

    // Removes such a chain bottom-up through open folders (rm takes seconds on it).
    static void removeChain(const QString& top, const QByteArray& name)
    {
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        std::vector<int> chain{::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY)};
        for (int child;
             (child = ::openat(chain.back(), name.constData(), O_RDONLY | O_DIRECTORY)) >= 0;)
            chain.push_back(child);
        for (std::size_t i = chain.size() - 1; i > 0; --i) {
            ::unlinkat(chain[i], "near.txt", 0);
            ::unlinkat(chain[i], "z/near.txt", 0);
            ::unlinkat(chain[i], "z", AT_REMOVEDIR);
            ::close(chain[i]);
            ::unlinkat(chain[i - 1], name.constData(), AT_REMOVEDIR);
        }
        ::close(chain.front());
    }

    TTempTree m_tree;
    inline static TTempTree* m_config = nullptr;
    QString m_root; // ends in "/"

private Q_SLOTS:
    void initTestCase()
    {
        static TTempTree config;
        m_config = &config;
        QVERIFY(m_tree.isValid());
        m_root = m_tree.path("A/");
        QVERIFY(m_tree.makeFile("A/x.txt", 10) && m_tree.makeFile("A/z.doc", 524288) &&
                m_tree.makeFile("A/B/y.log", 2621440) && m_tree.makeFile("A/.hidden/h.txt", 1));
    }

    void listsWithStyles_data()
    {
        QTest::addColumn<QStringList>("sets");
        QTest::addColumn<QString>("expected"); // "@" stands for the location
        QTest::newRow("files, full path")
            << QStringList{"S.Preset=6"} << "@x.txt\n@z.doc\n@B/y.log\n";
        QTest::newRow("custom tree")
            << QStringList{"S.Preset=10",    "S.Mode=1",      "S.Base=1",     "S.File=2",
                           "S.IndentMode=1", "S.IsNewLine=0", "S.IsSummary=0"}
            << "A\nx.txt\t.000 MB\nz.doc\t.500 MB\nB\n   y.log\t2.50 MB\n";
        QTest::newRow("list only text files")
            << QStringList{"S.Preset=6", "Filter=13"} << "@x.txt\n@B/y.log\n";
        QTest::newRow("user mask, depth 1")
            << QStringList{"S.Preset=6", "Filter=18", "FilterMask.19=*.LOG|*.doc|", "MaxDepth=1",
                           "IsMaxDepth=1"}
            << "@z.doc\n";
        QTest::newRow("hidden on") << QStringList{"S.Preset=6", "IsHiddenFiles=1"}
                                   << "@x.txt\n@z.doc\n@.hidden/h.txt\n@B/y.log\n";
        QTest::newRow("later set wins")
            << QStringList{"S.Preset=8", "S.Preset=6", "Filter=18", "FilterMask.19=*.txt"}
            << "@x.txt\n";
    }
    void listsWithStyles()
    {
        QFETCH(QStringList, sets);
        QFETCH(QString, expected);
        QStringList arguments{"--list", m_root, "--set", "S.IsHeader=0"};
        for (const QString& set : sets)
            arguments << "--set" << set;
        const Run run = dirka(arguments);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, ExitDone);
        QCOMPARE(QString::fromUtf8(run.out), QString(expected).replace(u'@', m_root));
    }

    void severalLocationsAndAnnotations()
    {
        const Run run = dirka({"--list", m_root + u"B  <Removable> | " + m_root + u"B/", "--set",
                               "S.Preset=6", "--set", "S.IsHeader=0"});
        QCOMPARE(run.exitCode, ExitDone);
        QCOMPARE(QString::fromUtf8(run.out),
                 QString(m_root + u"B/y.log\n" + m_root + u"B/y.log\n"));
    }

    void desktopPseudoLocation()
    {
        TTempTree home;
        QVERIFY(home.makeFile("Desktop/sub/d.txt", 1));
        const Run run =
            dirka({"--list", "<desktop>", "--set", "S.Preset=6", "--set", "S.IsHeader=0"},
                  home.path().chopped(1));
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, ExitDone);
        QCOMPARE(QString::fromUtf8(run.out), QString(home.path("Desktop/sub/d.txt") + u"\n"));
    }

    void storedSettingsAreUsed()
    {
        TTempTree config;
        QVERIFY(config.makeFile("Pelmora/Dirka/2.1.reg",
                                "Windows Registry Editor Version 5.00\r\n\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\r\n"
                                "\"Filter\"=dword:0000000d\r\n"
                                "\"FilterMask.1\"=\"*.doc\"\r\n"
                                "\"S.Preset\"=dword:00000006\r\n"));
        TTempTree* const saved = m_config;
        m_config = &config;
        const Run run = dirka({"--list", m_root, "--set", "S.IsHeader=0"});
        m_config = saved;
        // The stored Filter never counts: every run starts with "All files", whose stored
        // skip mask leaves z.doc out.
        QCOMPARE(run.exitCode, ExitDone);
        QCOMPARE(QString::fromUtf8(run.out), QString(m_root + u"x.txt\n" + m_root + u"B/y.log\n"));
    }

    void writesFiles_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("mark");
        QTest::newRow("default") << QString() << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("utf8bom") << "utf8bom" << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("utf8") << "utf8" << QByteArray();
        QTest::newRow("utf16") << "utf16" << QByteArray("\xFF\xFE");
    }
    void writesFiles()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, mark);
        TTempTree out;
        QStringList arguments{
            "--list",           m_root,   "--output",        out.path("r.txt"), "--m3u8",
            out.path("p.m3u8"), "--html", out.path("p.html")};
        if (!encoding.isEmpty())
            arguments << "--encoding" << encoding;
        const Run run = dirka(arguments);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, ExitDone);

        // The saved text is what was printed, lines joined by CR LF, no final line break.
        QString text = QString::fromUtf8(run.out);
        QVERIFY(text.endsWith(u":: Listing Completed.\n\n"));
        text.chop(1);
        text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        const QByteArray body =
            encoding == u"utf16"
                ? QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2)
                : text.toUtf8();
        QFile saved(out.path("r.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), mark + body);

        QFile playlist(out.path("p.m3u8"));
        QVERIFY(playlist.open(QIODevice::ReadOnly));
        QCOMPARE(playlist.readAll(),
                 QString(m_root + u"x.txt\r\n" + m_root + u"z.doc\r\n" + m_root + u"B/y.log\r\n")
                     .toUtf8());
        QFile page(out.path("p.html"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray html = page.readAll();
        QVERIFY(html.contains("<a href=\"B/y.log\">y.log</a>\r\n"));
        QVERIFY(html.endsWith("</html>\r\n\r\n"));
    }

    // The header names each location with its path, but lists no item: the records are the
    // same with it as without (the locations' own lines, full paths here, are items).
    void recordsLeaveOutTheHeader_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("header");
        QTest::newRow("csv, location") << "--csv" << 2;
        QTest::newRow("json, time, search for and location") << "--json" << 5;
        QTest::newRow("csv, drive and location") << "--csv" << 7;
    }
    void recordsLeaveOutTheHeader()
    {
        QFETCH(QString, option);
        QFETCH(int, header);
        TTempTree out;
        for (const QString& isHeader : QStringList{"0", "1"}) {
            const Run run =
                dirka({"--list", m_root + u'|' + m_root + u"B/", option, out.path(isHeader),
                       "--set", "S.Preset=10", "--set", "S.Base=10", "--set", "S.File=10", "--set",
                       u"S.Header=" + QString::number(header), "--set", u"S.IsHeader=" + isHeader});
            QCOMPARE(run.exitCode, ExitDone);
        }
        const QByteArray records = contentOf(out.path("0"));
        QVERIFY(records.contains(QFile::encodeName(m_root + u"B/y.log")));
        QCOMPARE(contentOf(out.path("1")), records);
    }

    void pageLinkOptions()
    {
        TTempTree out;
        const Run run =
            dirka({"--list", m_root, "--set", "S.IsHeader=0", "--html", out.path("p.html"),
                   "--html-prefix", "http://host/", "--html-link-folders"});
        QCOMPARE(run.exitCode, ExitDone);
        QFile page(out.path("p.html"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray html = page.readAll();
        QVERIFY(html.contains("<a href=\"http://host/B/y.log\">"));
        QVERIFY(html.contains("<a href=\"http://host/B/\">"));

        const Run full = dirka({"--list", m_root, "--set", "S.IsHeader=0", "--html",
                                out.path("f.html"), "--html-full"});
        QCOMPARE(full.exitCode, ExitDone);
        QFile fullPage(out.path("f.html"));
        QVERIFY(fullPage.open(QIODevice::ReadOnly));
        QVERIFY(fullPage.readAll().contains(
            QString(u"<a href=\"file://" + m_root + u"B/y.log\">").toUtf8()));
    }

    void failedWrite()
    {
        TTempTree out;
        QVERIFY(out.makeFile("keep.txt", "old contents"));
        const Run run = dirka({"--list", m_root, "--set", "S.IsHeader=0", "--output",
                               out.path("missing/r.txt"), "--m3u8", out.path("p.m3u8")});
        QCOMPARE(run.exitCode, ExitFailed);
        QVERIFY2(run.err.startsWith("dirka: Error #4021. Problem during saving file.\n"),
                 run.err.constData());
        QVERIFY(QFile::exists(out.path("p.m3u8"))); // the other file is still written
        QVERIFY(!run.out.isEmpty());
    }

    // An output that is a loop of symbolic links is an error, as for a shell's ">": exit 1
    // with the numbered text, the file and the system's reason; the links stay links and the
    // other outputs are written. A link to a file writes that file.
    void linkLoopOutput()
    {
        TTempTree out;
        QVERIFY(out.makeLink("d4", "d4") && out.makeLink("a", "b") && out.makeLink("b", "a") &&
                out.makeFile("real.txt", "old") && out.makeLink("to-real", "real.txt") &&
                out.makeLink("dangling", "later.txt"));
        const Run run =
            dirka({"--list", m_root, "--set", "S.IsHeader=0", "--output", out.path("d4"), "--csv",
                   out.path("a"), "--m3u8", out.path("to-real"), "--html", out.path("dangling")});
        QCOMPARE(run.exitCode, ExitFailed);
        QCOMPARE(run.err,
                 QByteArray("dirka: Error #4021. Problem during saving file.\n" + out.bytes("d4") +
                            ": Too many levels of symbolic links\n"
                            "dirka: Error #4024/10. Problem during CSV export.\n" +
                            out.bytes("a") + ": Too many levels of symbolic links\n"));
        QVERIFY(!run.out.isEmpty());
        for (const auto& [link, target] : {std::pair{"d4", "d4"},
                                           {"a", "b"},
                                           {"b", "a"},
                                           {"to-real", "real.txt"},
                                           {"dangling", "later.txt"}})
            QCOMPARE(QFileInfo(out.path(link)).symLinkTarget(), out.path(target));
        QVERIFY(
            contentOf(out.path("real.txt")).startsWith(QByteArray(m_root.toUtf8() + "x.txt\r\n")));
        QVERIFY(contentOf(out.path("later.txt")).startsWith("<!DOCTYPE html"));
    }

    void fullStandardOutputIsAFailedWrite()
    {
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(DIRKA_BINARY), {"--list", m_root});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), ExitFailed);
        QVERIFY(process.readAllStandardError().contains("cannot write standard output"));
    }

    // Deeper than any path can name at once; deeper than the walk had stack for in 1 MB; long
    // names that once took a copy of the whole path per level (1 GB here); deeper than the open
    // files allowed, with z/ listed once the folder above it is found again.
    void deepNesting_data()
    {
        QTest::addColumn<int>("levels");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("limits");
        QTest::newRow("4100 levels") << 4100 << QByteArray("d") << QString();
        QTest::newRow("3000 levels in 1 MB of stack")
            << 3000 << QByteArray("d") << "ulimit -s 1024";
        QTest::newRow("2000 names of 255 bytes in 300 MB")
            << 2000 << QByteArray(255, 'n') << "ulimit -v 300000";
        QTest::newRow("60 levels with 32 open files") << 60 << QByteArray("d") << "ulimit -n 32";
    }
    void deepNesting()
    {
        QFETCH(int, levels);
        QFETCH(QByteArray, name);
        QFETCH(QString, limits);
#ifdef __SANITIZE_ADDRESS__
        if (limits.startsWith(u"ulimit -v"))
            QSKIP("the address sanitizer's shadow memory does not fit in a limited address space");
#endif
        TTempTree deep;
        QVERIFY(makeChain(deep.bytes(), levels, name));
        const Run run =
            dirka({"--list", deep.path(), "--set", "S.Preset=6", "--set", "S.IsHeader=0"},
                  QString(), limits);
        removeChain(deep.path(), name);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, ExitDone);
        const QByteArray step = name + '/';
        QCOMPARE(run.out, deep.bytes() + step.repeated(levels) + "near.txt\n" + deep.bytes() +
                              step.repeated(10) + "z/near.txt\n");
    }

    // Nine folders that each link to all the others: a folder reached through a link is entered
    // once, so f1 leads through f2 ... f9 and each of them is listed again as itself.
    void linkMesh()
    {
        TTempTree tree;
        QByteArray through = tree.bytes("A/"), expected, itself;
        for (char a = '1'; a <= '9'; ++a) {
            const QByteArray folder = QByteArray("A/f") + a + '/';
            QVERIFY(tree.makeFile(folder + "x.txt"));
            for (char b = '1'; b <= '9'; ++b)
                QVERIFY(a == b || tree.makeLink(folder + 'f' + b, QByteArray("../f") + b));
            expected += (through += folder.mid(2)) + "x.txt\n";
            itself += a > '1' ? tree.bytes(folder) + "x.txt\n" : QByteArray();
        }
        const Run run =
            dirka({"--list", tree.path("A/"), "--set", "S.Preset=6", "--set", "S.IsHeader=0"});
        QCOMPARE(run.exitCode, ExitDone);
        QCOMPARE(run.out, expected + itself);
    }

    // What the program checks beyond the parser's rules (those have their rows in
    // tst_command_parser), and one of the parser's refusals for the status and the hint.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString missing = QStringLiteral("/no/such/folder/at/all");
        QTest::newRow("missing location")
            << QStringList{"--list", missing} << ExitUsage << "Specified location doesn't exists.";
        QTest::newRow("empty location")
            << QStringList{"--list", ""} << ExitUsage << "Specified location doesn't exists.";
        QTest::newRow("one of two missing") << QStringList{"--list", "/|" + missing} << ExitUsage
                                            << "Specified location doesn't exists.";
        QTest::newRow("separator entry") << QStringList{"--list", "/", "--set", "Filter=5"}
                                         << ExitUsage << "Choose what to search for.";
        QTest::newRow("filter out of range")
            << QStringList{"--list", "/", "--set", "Filter=21"} << ExitUsage << "Filter";
        QTest::newRow("unknown name")
            << QStringList{"--list", "/", "--set", "Colour=1"} << ExitUsage << "Colour";
        QTest::newRow("bad number")
            << QStringList{"--list", "/", "--set", "MaxDepth=x"} << ExitUsage << "MaxDepth";
        QTest::newRow("bad boolean")
            << QStringList{"--list", "/", "--set", "IsClear=2"} << ExitUsage << "IsClear";
        QTest::newRow("unknown option")
            << QStringList{"--list", "/", "--frobnicate", "1"} << ExitUsage << "unknown";
        QTest::newRow("two outputs on one file")
            << QStringList{"--list",         "/",      "--output",
                           "/tmp/dirka-one", "--html", "/tmp/./dirka-one"}
            << ExitUsage << "--output and --html name the same file";
        QTest::newRow("records on one file")
            << QStringList{"--list", "/", "--csv", "/tmp/dirka-one", "--json", "/tmp//dirka-one"}
            << ExitUsage << "--csv and --json name the same file";
        QTest::newRow("version with more")
            << QStringList{"--version", "extra"} << ExitUsage << "--version";
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run run = dirka(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    }

    void undecodableLocationRoundTrips()
    {
        QVERIFY(m_tree.makeFile("caf\xE9/f.txt"));
        const QByteArray folder = m_tree.bytes("caf\xE9/");
        // QProcess passes arguments as UTF-8, so let the shell's printf build the raw bytes.
        QString octal;
        for (const char c : folder)
            octal += QStringLiteral("\\%1").arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {"-c",
                     QStringLiteral("\"$0\" --list \"$(printf \"$1\")\" --set S.Preset=6 "
                                    "--set S.IsHeader=0"),
                     QStringLiteral(DIRKA_BINARY), octal});
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(shell.readAllStandardError(), QByteArray());
        QCOMPARE(shell.exitCode(), ExitDone);
        QCOMPARE(shell.readAllStandardOutput(), m_tree.bytes("caf\xEF\xBF\xBD/f.txt\n"));
    }

    // Output names are bytes too: two names that differ only in bytes that are not UTF-8 are
    // two files, each written under exactly its own name.
    void undecodableOutputNames()
    {
        QTemporaryDir out;
        const QByteArray folder = QFile::encodeName(out.path());
        for (const char* name : {"/o\xFF.txt", "/o\xFE.txt"}) {
            QProcess shell;
            shell.start(QStringLiteral("/bin/sh"),
                        {"-c", QStringLiteral("\"$0\" --list \"$1\" --output \"$(printf \"$2\")\""),
                         QStringLiteral(DIRKA_BINARY), m_tree.path(), octal(folder + name)});
            QVERIFY(shell.waitForFinished(30000));
            QCOMPARE(shell.exitCode(), ExitDone);
        }
        QStringList names;
        DIR* dir = ::opendir(folder.constData());
        QVERIFY(dir);
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                names << QString::fromLatin1(QByteArray(entry->d_name).toHex(' '));
        }
        ::closedir(dir);
        names.sort();
        QCOMPARE(names, (QStringList{"6f fe 2e 74 78 74", "6f ff 2e 74 78 74"}));
        for (const char* name : {"/o\xFF.txt", "/o\xFE.txt"})
            ::unlink(QByteArray(folder + name).constData());
    }

    // A reader that stops early ("| head") ends the printing quietly; the playlist is still
    // written and the exit status is the usual one.
    void closedStandardOutput()
    {
        const QString wide = m_tree.path("wide/");
        for (int i = 0; i < 1500; ++i)
            QVERIFY(
                m_tree.makeFile(QStringLiteral("wide/%1-a-long-enough-name.mp3").arg(i).toUtf8()));
        const QString playlist = m_tree.path("wide.m3u8");
        QProcess shell;
        shell.start(QStringLiteral("/bin/bash"),
                    {"-c",
                     QStringLiteral("\"$0\" --list \"$1\" --set S.Preset=6 --m3u8 \"$2\" | "
                                    "head -c 10 >/dev/null; echo \"${PIPESTATUS[0]}\""),
                     QStringLiteral(DIRKA_BINARY), wide, playlist});
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(shell.readAllStandardError(), QByteArray());
        QCOMPARE(shell.readAllStandardOutput(), QByteArray("0\n"));
        QFile written(playlist);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().count('\n'), 1500);
    }

    // Ctrl+C after the walk lets the file being written finish, and the status says it is
    // complete. The FIFO keeps the program waiting for its reader, which is when the signal
    // comes.
    void interruptAfterTheWalk()
    {
        const QString fifo = m_tree.path("out.fifo");
        QVERIFY(m_tree.makeFifo("out.fifo"));
        QProcess process;
        process.start(QStringLiteral(DIRKA_BINARY),
                      {"--list", m_root, "--set", "S.Preset=6", "--set", "S.IsHeader=0", "--output",
                       fifo, "--encoding", "utf8"});
        QVERIFY(process.waitForStarted());
        QTest::qWait(500);
        QVERIFY(signalChild(process, SIGINT));
        QFile reader(fifo);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        const QByteArray saved = reader.readAll();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), ExitDone);
        QCOMPARE(saved, QByteArray(m_root.toUtf8() + "x.txt\r\n" + m_root.toUtf8() + "z.doc\r\n" +
                                   m_root.toUtf8() + "B/y.log"));
    }

    // A standard descriptor the caller closed is no file for the program to reuse: the
    // listing would otherwise go into the requested file or a descriptor of Qt's.
    void closedStandardDescriptors_data()
    {
        QTest::addColumn<QString>("redirections");
        QTest::newRow("output") << ">&-";
        QTest::newRow("all three") << "<&- >&- 2>&-";
    }
    void closedStandardDescriptors()
    {
        QFETCH(QString, redirections);
        TTempTree out;
        const QStringList list{"--list", m_root,         "--set",   "S.Preset=6",
                               "--set",  "S.IsHeader=0", "--output"};
        QCOMPARE(dirka(list + QStringList{out.path("ref.txt")}).exitCode, ExitDone);
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    QStringList{"-c", u"exec \"$0\" \"$@\" " + redirections, DIRKA_BINARY} + list +
                        QStringList{out.path("t.txt")});
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(shell.readAllStandardError(), QByteArray());
        QCOMPARE(shell.exitCode(), ExitDone);
        QCOMPARE(contentOf(out.path("t.txt")), contentOf(out.path("ref.txt")));
    }

    // Memory that runs out mid-walk (every folder line of a deep chain is held until a file
    // below decides whether it stays) is an error with a message; the copy already under way
    // is removed and the old file stays.
    void outOfMemoryReplacesNoFile()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer's shadow memory does not fit in a limited address space");
#endif
        TTempTree deep;
        for (int i = 0; i < 6000; ++i) // more than one chunk of the file before the chain
            QVERIFY(deep.makeFile("a/" + QByteArray::number(i) + QByteArray(200, 'n')));
        QVERIFY(makeChain(deep.bytes(), 1000, QByteArray(255, 'd')));
        QVERIFY(deep.makeFile("out/t.txt", "old contents"));
        const Run run = dirka({"--list", deep.path(), "--set", "S.Preset=10", "--set", "S.Mode=1",
                               "--set", "S.Base=10", "--set", "S.IsSkip=1", "--set", "S.IsHeader=0",
                               "--output", deep.path("out/t.txt")},
                              QString(), QStringLiteral("ulimit -v 250000"));
        removeChain(deep.path(), QByteArray(255, 'd'));
        QCOMPARE(run.exitCode, ExitFailed);
        QVERIFY2(run.err.contains("out of memory"), run.err.constData());
        QCOMPARE(QDir(deep.path("out")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"t.txt"});
        QCOMPARE(contentOf(deep.path("out/t.txt")), QByteArray("old contents"));
    }

    // The tests signal only a program that still runs: an ended one has no id, and the signal
    // would go to the whole process group. Signal 0 checks without sending.
    void signalReachesOnlyARunningChild()
    {
        QProcess process;
        process.start(QStringLiteral(DIRKA_BINARY), {"--version"});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(!signalChild(process, 0));
    }

    // Without a reader a FIFO would hold the program for ever; it gives up with the reason.
    void fifoWithoutReader()
    {
        QVERIFY(m_tree.makeFifo("lonely.fifo"));
        const Run run = dirka({"--list", m_root, "--output", m_tree.path("lonely.fifo")});
        QCOMPARE(run.exitCode, ExitFailed);
        QVERIFY2(run.err.contains("No such device or address"), run.err.constData());
    }

    // A location behind a folder the user may not enter keeps the usual message and names the
    // system's reason too. The temporary folder is closed to others, so nobody cannot pass.
    void unreachableLocationNamesTheReason()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("needs root and setpriv to run as another user");
        QProcess process;
        process.start(
            QStringLiteral("setpriv"),
            {"--reuid=65534", "--regid=65534", "--clear-groups", DIRKA_BINARY, "--list", m_root});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), ExitUsage);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.contains("Permission denied") &&
                     err.contains("Specified location doesn't exists."),
                 err.constData());
    }

    // Settings files the program never writes. Each is read as far as it makes sense, and the
    // style it stores (preset 6, set after the heavy part) is used. Long runs of values,
    // deletions and continuation lines took quadratic time once: the run's time limit is the
    // bound here; a file of many short lines once took 20 times its size in memory.
    void craftedSettingsFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("limits"); // as for dirka()
        const QByteArray head = "Windows Registry Editor Version 5.00\r\n\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\r\n";
        const QByteArray preset = "\"S.Preset\"=dword:00000006\r\n";
        QByteArray values, deletions;
        for (int i = 0; i < 20000; ++i) {
            values += "\"v" + QByteArray::number(i) + "\"=\"x\"\r\n";
            deletions += "\"v" + QByteArray::number(i) + "\"=-\r\n";
        }
        QTest::newRow("20000 values, then 20000 deletions")
            << head + values + deletions + preset << QString();
        QTest::newRow("hex value over 100000 lines")
            << head + "\"Blob\"=hex:00,\\\r\n" + QByteArray("  01,\\\r\n").repeated(100000) +
                   "  02\r\n" + preset
            << QString();
        QByteArray junk(1 << 20, '\0');
        std::uint32_t seed = 1;
        for (char& c : junk)
            c = char((seed = seed * 1103515245u + 12345u) >> 24);
        QTest::newRow("binary junk, then the section")
            << junk + "\r\n" + head + preset << QString();
        QTest::newRow("a line of 4 MB without its closing quote")
            << head + '"' + QByteArray(4 << 20, 'a') + "\r\n" + preset << QString();
        QTest::newRow("8 MB of empty lines in 300 MB")
            << head + preset + QByteArray(8 << 20, '\n') << "ulimit -v 300000";
        // Names the program does not know are kept for a save, in about the file's size.
        QByteArray unknown = head;
        for (int i = 0; i < 1'000'000; ++i)
            unknown += "\"unknown_" + QByteArray::number(i) + "\"=\"x\"\r\n";
        QTest::newRow("a million unknown names in 300 MB")
            << unknown + preset << "ulimit -v 300000";
        const QString text =
            QString::fromLatin1(head + preset) + u"\"PathList\"=\"a" + QChar(0xD800) + u"b\"\r\n";
        const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QTest::newRow("UTF-16 with a lone surrogate") << "\xFF\xFE" + utf16 << QString();
        QTest::newRow("UTF-16 cut inside a unit") << "\xFF\xFE" + utf16 + 'x' << QString();
        QTest::newRow("cut inside a continued hex value")
            << head + preset + "\"Blob\"=hex:00,01,\\" << QString();
        QTest::newRow("cut inside a name") << head + preset + "\"S.Mo" << QString();
        QTest::newRow("a value of the wrong type after the preset")
            << head + preset + "\"S.Mode\"=\"tree\"\r\n"
            << QString();
    }

    void craftedSettingsFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, limits);
#ifdef __SANITIZE_ADDRESS__
        if (!limits.isEmpty())
            QSKIP("the address sanitizer's shadow memory does not fit in a limited address space");
#endif
        TTempTree config;
        QVERIFY(config.makeFile("Pelmora/Dirka/2.1.reg", file));
        TTempTree* const saved = m_config;
        m_config = &config;
        const Run run = dirka({"--list", m_root, "--set", "S.IsHeader=0"}, QString(), limits);
        m_config = saved;
        const QByteArray warning = file.contains("\"S.Mode\"=\"tree\"")
                                       ? "dirka: settings file " +
                                             config.path("Pelmora/Dirka/2.1.reg").toUtf8() +
                                             " read in part: Invalid data type for 'S.Mode'\n"
                                       : QByteArray();
        QCOMPARE(run.err, warning);
        QCOMPARE(run.exitCode, ExitDone);
        QCOMPARE(QString::fromUtf8(run.out),
                 QString(m_root + u"x.txt\n" + m_root + u"z.doc\n" + m_root + u"B/y.log\n"));
    }

    // A settings file that is not read is named on standard error; the run goes on with the
    // defaults, as it would without the file.
    void unreadSettingsFileIsNamed()
    {
        const Run plain = dirka({"--list", m_root});
        TTempTree config;
        QVERIFY(config.makeFile("Pelmora/Dirka/2.1.reg",
                                "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\r\n"
                                "\"S.Preset\"=dword:00000006\r\n"));
        QVERIFY(QFile::resize(config.path("Pelmora/Dirka/2.1.reg"), (qint64(64) << 20) + 1));
        TTempTree* const saved = m_config;
        m_config = &config;
        const Run run = dirka({"--list", m_root});
        m_config = saved;
        QCOMPARE(run.err, "dirka: settings file " + config.path("Pelmora/Dirka/2.1.reg").toUtf8() +
                              " not read: larger than 64 MiB\n");
        QCOMPARE(run.exitCode, ExitDone);
        // Times in the header and footer may differ; preset 6 would give other lines.
        QCOMPARE(run.out.count('\n'), plain.out.count('\n'));
        QVERIFY(run.out.startsWith(":: "));
    }

    // Files and folders are made, renamed into other folders and removed while the program
    // lists them. Every run ends on its own with 0 or 3, lists no path twice, lists every entry
    // that stays, and says nothing of entries that vanished. No name is ever used twice, so a
    // path listed twice is the program's doing.
    void entriesChangeDuringTheWalk()
    {
        // In memory where there is room: changes there are quick enough to fall inside a walk.
        const QFileInfo memory(QStringLiteral("/dev/shm"));
        TTempTree tree(memory.isDir() && memory.isWritable() ? memory.filePath()
                                                             : QDir::tempPath());
        QVERIFY(tree.isValid());
        constexpr int Folders = 8, Files = 150;
        for (int f = 0; f < Folders; ++f) {
            for (int i = 0; i < Files; ++i)
                QVERIFY(tree.makeFile(QStringLiteral("A/d%1/stay%2.txt").arg(f).arg(i)));
        }
        std::atomic<bool> stop{false};
        std::thread changer([&] {
            const auto folder = [&](unsigned n) -> QByteArray {
                return tree.bytes("A/d") + QByteArray::number(n % Folders) + '/';
            };
            std::deque<std::pair<QByteArray, bool>> made; // a path and whether it is a folder
            for (unsigned n = 0; !stop; ++n) {
                const QByteArray id = QByteArray::number(n);
                const QByteArray file = folder(n) + "new" + id, dir = folder(n + 1) + "dir" + id;
                ::close(::open(file.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
                ::mkdir(dir.constData(), 0755);
                ::close(::open(QByteArray(dir + "/in").constData(), O_CREAT | O_WRONLY | O_CLOEXEC,
                               0644));
                made.push_back({file, false});
                made.push_back({dir, true});
                // The oldest two move to other folders under new names.
                for (int k = 0; k < 2; ++k) {
                    auto [path, isFolder] = made.front();
                    made.pop_front();
                    const QByteArray moved = folder(n + 3 + k) + "moved" + id + char('a' + k);
                    if (::rename(path.constData(), moved.constData()) == 0)
                        path = moved;
                    made.push_back({path, isFolder});
                }
                while (made.size() > 100) {
                    const auto [path, isFolder] = made.front();
                    made.pop_front();
                    if (isFolder)
                        ::unlink(QByteArray(path + "/in").constData());
                    ::remove(path.constData());
                }
            }
        });
        QStringList problems;
        for (int round = 0; round < 20; ++round) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
            process.setProcessEnvironment(env);
            process.start(QStringLiteral(DIRKA_BINARY),
                          {"--list", tree.path("A/"), "--set", "S.Preset=10", "--set", "S.Base=10",
                           "--set", "S.Folder=0", "--set", "S.File=10", "--set", "S.IsSkip=0",
                           "--set", "S.IsSummary=0", "--set", "S.IsNewLine=0", "--set",
                           "S.IsHeader=0"});
            if (!process.waitForFinished(30000)) {
                problems << QStringLiteral("round %1 did not end").arg(round);
                process.kill();
                process.waitForFinished();
                continue;
            }
            const QByteArray err = process.readAllStandardError();
            QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
            const auto stays = std::count_if(lines.begin(), lines.end(), [](const QByteArray& l) {
                return l.contains("/stay");
            });
            std::sort(lines.begin(), lines.end());
            const bool twice = std::adjacent_find(lines.begin(), lines.end()) != lines.end();
            if (process.exitStatus() != QProcess::NormalExit ||
                (process.exitCode() != ExitDone && process.exitCode() != ExitUnreadable) || twice ||
                stays != Folders * Files || err.contains("No such file or directory"))
                problems << QStringLiteral("round %1: exit %2/%3, %4 lines of staying files, "
                                           "a line twice: %5, %6")
                                .arg(round)
                                .arg(int(process.exitStatus()))
                                .arg(process.exitCode())
                                .arg(stays)
                                .arg(twice)
                                .arg(QString::fromUtf8(err));
        }
        stop = true;
        changer.join();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    // Runs script with the program ($0), out's folder ($1) and the mount point $m = $1/small, in
    // a mount namespace of its own, so a small file system mounted there is gone when the script
    // ends, however it ends. list/ holds 1,500 files. Afterwards code holds the status of the
    // script's last command, left the names on the small disk and kept/ copies of them. Answers
    // the shell's exit status, or -1 when it ran too long; 77 when it could not mount.
    static int runWithSmallDisk(const TTempTree& out, const char* script, QByteArray* err)
    {
        const QByteArray whole = QByteArray("m=\"$1/small\"\n") + script +
                                 "\necho $? >\"$1/code\"\nLC_ALL=C ls -A \"$m\" >\"$1/left\"\n"
                                 "cp \"$m\"/* \"$1/kept/\"\numount \"$m\"";
        for (int i = 0; i < 1500; ++i) {
            if (!out.makeFile(QStringLiteral("list/%1-a-long-enough-name.mp3").arg(i).toUtf8()))
                return -1;
        }
        if (!out.makeFolder("small") || !out.makeFolder("kept"))
            return -1;
        QProcess process;
        process.start(QStringLiteral("unshare"), {"-m", "/bin/sh", "-c", QString::fromUtf8(whole),
                                                  DIRKA_BINARY, out.path().chopped(1)});
        if (!process.waitForFinished(30000))
            return -1;
        *err = process.readAllStandardError();
        return process.exitCode();
    }
    static bool canMountSmallDisks()
    {
        return ::geteuid() == 0 &&
               !QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty();
    }

    // On a full disk each file is refused with the system's reason, the file it would have
    // replaced stays as it was, and no unfinished copy is left beside it.
    void fullDisk()
    {
        if (!canMountSmallDisks())
            QSKIP("needs root and unshare to mount a small file system");
        TTempTree out;
        const QList<QByteArray> names{"p.html", "p.m3u8", "r.txt"};
        for (const QByteArray& name : names)
            QVERIFY(out.makeFile("old/" + name, "old " + name + "\r\n"));
        const char* script = R"(mount -t tmpfs -o size=32k tmpfs "$m" || exit 77
cp "$1"/old/* "$m"/
"$0" --list "$1/list/" --output "$m/r.txt" --html "$m/p.html" --m3u8 "$m/p.m3u8" \
  >/dev/null 2>"$1/err"
)";
        QByteArray mountErr;
        const int status = runWithSmallDisk(out, script, &mountErr);
        if (status == 77)
            QSKIP(qPrintable(u"cannot mount a small file system here: " +
                             QString::fromUtf8(mountErr)));
        QCOMPARE(status, ExitDone);
        const auto contents = [&](const QByteArray& name) { return contentOf(out.path(name)); };
        QCOMPARE(contents("code"), QByteArray("1\n"));
        const QByteArray err = contents("err");
        QVERIFY2(err.count("No space left on device") == 3, err.constData());
        QCOMPARE(contents("left"), QByteArray("p.html\np.m3u8\nr.txt\n"));
        for (const QByteArray& name : names)
            QCOMPARE(contents("kept/" + name), QByteArray("old " + name + "\r\n"));
    }

    // A target with other hard links is rewritten in place from a complete copy beside it. On
    // a disk that holds that copy but not the target's growth, the full disk is found before
    // the old content is touched: both names keep it and neither copy is left.
    void fullDiskInPlace()
    {
        if (!canMountSmallDisks())
            QSKIP("needs root and unshare to mount a small file system");
        TTempTree out;
        // The disk takes the whole new content once and a half.
        const char* script = R"("$0" --list "$1/list/" --output "$1/ref.txt" >/dev/null || exit 78
size=$(( $(stat -c %s "$1/ref.txt") * 3 / 2 ))
mount -t tmpfs -o size=$size tmpfs "$m" || exit 77
echo old >"$m/r.txt"
ln "$m/r.txt" "$m/other.txt"
"$0" --list "$1/list/" --output "$m/r.txt" >/dev/null 2>"$1/err"
)";
        QByteArray mountErr;
        const int status = runWithSmallDisk(out, script, &mountErr);
        if (status == 77)
            QSKIP(qPrintable(u"cannot mount a small file system here: " +
                             QString::fromUtf8(mountErr)));
        QCOMPARE(status, ExitDone);
        QCOMPARE(contentOf(out.path("code")), QByteArray("1\n"));
        const QByteArray err = contentOf(out.path("err"));
        QVERIFY2(err.contains("r.txt: No space left on device\n"), err.constData());
        QCOMPARE(contentOf(out.path("left")), QByteArray("other.txt\nr.txt\n"));
        QCOMPARE(contentOf(out.path("kept/r.txt")), QByteArray("old\n"));
        QCOMPARE(contentOf(out.path("kept/other.txt")), QByteArray("old\n"));
    }

    // Without a display the window cannot open: one line that names --list, and exit 2.
    void windowWithoutDisplay()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QLatin1String(name));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(DIRKA_BINARY), {m_tree.path()});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), ExitUsage);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.contains("dirka --list LOCATION") && err.count('\n') == 1, err.constData());
    }

    // Without a home the special folders are unknown: "<Desktop>" is refused, never "/".
    void pseudoLocationWithoutHome()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("HOME"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(DIRKA_BINARY), {"--list", "<Desktop>"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), ExitUsage);
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
    }

private:
    static QString octal(const QByteArray& bytes)
    {
        QString text;
        for (const char c : bytes)
            text += QStringLiteral("\\%1").arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
        return text;
    }
};

QTEST_GUILESS_MAIN(TestCliList)
#include "tst_cli_list.moc"
