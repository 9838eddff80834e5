#include "core/listing/file_system.h"
#include "core/listing/folder_walker.h"
#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/settings/settings_records.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirka;
using namespace testsupport;
using namespace Qt::StringLiterals;

// Styles below are designated initializers that name only the fields differing from the
// defaults, which is what makes each case readable.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

Q_DECLARE_METATYPE(dirka::TListStyle)

namespace {

constexpr qint64 DefaultFileSize = 10;

// Builds the expected lines from literals; QStringView keeps lone surrogates as they are.
QStringList lines(std::initializer_list<QStringView> items)
{
    QStringList out;
    for (QStringView item : items)
        out.append(item.toString());
    return out;
}

// "{L}" in an expected line or path stands for the listed location.
QStringList at(QStringList items, const QString& location)
{
    for (QString& item : items)
        item.replace(u"{L}"_s, location);
    return items;
}

QStringList storedPaths(const TResultText& result, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(result.PathOf(i));
    return paths;
}

// The fixture's tree, whose folder "A/" the walks list. Entries are given relative to that
// location: "name" makes a file of DefaultFileSize bytes, "name=size" one of size bytes, "name/"
// a folder; as bytes where a name must not be valid UTF-8.
class TTree : public TTempTree {
public:
    TTree() { makeFolder("A/"); }
    bool isValid() const { return TTempTree::isValid() && QFileInfo(location()).isDir(); }

    QString root() const { return path(); }
    QString location() const { return path("A/"); }
    QByteArray locationBytes() const { return bytes("A/"); }

    bool add(const QString& entry) const { return addBytes(entry.toUtf8()); }
    bool add(const QStringList& specs) const
    {
        return std::all_of(specs.begin(), specs.end(), [this](const QString& s) { return add(s); });
    }
    bool addBytes(const QByteArray& entry, const QByteArray& under = "A/") const
    {
        const qsizetype equals = entry.indexOf('=');
        const QByteArray name = under + (equals < 0 ? entry : entry.left(equals));
        if (name.endsWith('/'))
            return makeFolder(name);
        return makeFile(name, equals < 0 ? DefaultFileSize : entry.mid(equals + 1).toLongLong());
    }
    // The same beside the location, in the temporary folder itself.
    bool addOutside(const QString& entry) const { return addBytes(entry.toUtf8(), QByteArray()); }
    bool link(const QString& name, const QString& target) const
    {
        return makeLink(u"A/" + name, target);
    }
    bool fifo(const QString& name) const { return makeFifo(u"A/" + name); }
    bool socket(const QString& name) const { return makeSocket(u"A/" + name); }
};

// The result text, counting the repaint brackets around the walk.
class TTestLines : public TResultText {
public:
    void BeginUpdate() override { ++Begins; }
    void EndUpdate() override { ++Ends; }
    int Begins = 0;
    int Ends = 0;
};

// The result text, and beside it the path of every item line as the walk named it.
class TPathRecorder : public TResultText {
public:
    void AppendItemLine(QStringView text, const TLineItem& item) override
    {
        Expected.resize(LineCount());
        Expected.append(item.FolderPath + item.Name);
        TResultText::AppendItemLine(text, item);
    }
    void TruncateLines(qsizetype count) override
    {
        TResultText::TruncateLines(count);
        Expected.resize(std::min(Expected.size(), count));
    }
    QStringList Expected;
};

// One walk with a reporter that records what it is told.
class TRun : public TWalkReporter {
public:
    void list(const TSettings& settings, const QString& location, bool startsRun = true)
    {
        Final = ListLocation(settings, location, Lines, *this, State, {.StartsRun = startsRun});
    }
    void ShowStatus(const QString& text) override { Statuses.append(text); }
    void ShowStats(const QString& text) override { Stats.append(text); }
    void ProcessEvents() override
    {
        if (OnEvents)
            OnEvents();
    }
    void FolderUnreadable(const QString& folder, const QString& reason) override
    {
        Unreadable.append(folder);
        Reasons.append(reason);
    }
    QStringList lines() const { return linesOf(Lines); }

    TTestLines Lines;
    TWalkState State;
    QStringList Statuses;
    QStringList Stats;
    QStringList Unreadable;
    QStringList Reasons;
    std::function<void()> OnEvents;
    QString Final;
};

TSettings settingsFor(const TListStyle& style, int filter = 0)
{
    TSettings settings;
    SetDefaultSettings(settings);
    settings.Style = style;
    settings.Filter = filter;
    return settings;
}

// Only file names, one per line: no base lines, no summaries, no empty lines, no indentation.
TListStyle namesOnly(int sortMode = 1, int file = 1)
{
    return TListStyle{.Preset = CustomPreset,
                      .IsNewLine = false,
                      .IsSkip = false,
                      .IsSummary = false,
                      .Base = 0,
                      .Folder = 0,
                      .File = file,
                      .IndentMode = 2,
                      .SortMode = sortMode};
}

// The names of a folder's files in the order the file system returns them.
QStringList fileSystemOrder(const QByteArray& folder)
{
    QStringList names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        const QByteArray path = folder + entry->d_name;
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
            names.append(QString::fromUtf8(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

// The worked example: x.txt (10 bytes), z.doc (512 KB) and B/y.log (2.5 MB).
const QStringList WorkedExample{u"x.txt=10"_s, u"z.doc=524288"_s, u"B/y.log=2621440"_s};

} // namespace

class TestFolderWalker : public QObject {
    Q_OBJECT
private:
    const TLocaleScope m_locale{QLocale::c()}; // sizes and orders as the C locale gives them

private Q_SLOTS:

    void workedExample_data()
    {
        QTest::addColumn<TListStyle>("style");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("paths"); // what the store gives for each line

        QTest::newRow("list, tab, summaries")
            << TListStyle{.Preset = CustomPreset}
            << lines({u"Folder\t/", u"B/", u"x.txt", u"z.doc", u":: Files: 2 (.500 MB)", u"",
                      u"\tFolder\t/B/", u"\ty.log", u"\t:: Files: 1 (2.50 MB)"})
            << lines({u"{L}", u"{L}B/", u"{L}x.txt", u"{L}z.doc", u"", u"", u"{L}B/", u"{L}B/y.log",
                      u""});
        QTest::newRow("tree, three spaces")
            << TListStyle{.Preset = CustomPreset,
                          .Mode = 1,
                          .IsNewLine = false,
                          .IsSummary = false,
                          .Base = 1,
                          .File = 2,
                          .IndentMode = 1,
                          .IndentSpace = 3}
            << lines({u"A", u"x.txt\t.000 MB", u"z.doc\t.500 MB", u"B", u"   y.log\t2.50 MB"})
            << lines({u"{L}", u"{L}x.txt", u"{L}z.doc", u"{L}B/", u"{L}B/y.log"});
        QTest::newRow("sizes before relative paths")
            << TListStyle{.Preset = CustomPreset,
                          .IsNewLine = false,
                          .IsSkip = false,
                          .IsSummary = false,
                          .Base = 0,
                          .Folder = 0,
                          .File = 9,
                          .Separator = 1,
                          .IndentMode = 2}
            << lines({u".000 MB /x.txt", u".500 MB /z.doc", u"2.50 MB /B/y.log"})
            << lines({u"{L}x.txt", u"{L}z.doc", u"{L}B/y.log"});
    }
    void workedExample()
    {
        QFETCH(TListStyle, style);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, paths);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(WorkedExample));
        TRun run;
        run.list(settingsFor(style), tree.location());

        QCOMPARE(run.lines(), at(expected, tree.location()));
        QCOMPARE(storedPaths(run.Lines, int(expected.size()) + 3), at(paths, tree.location())
                                                                       << u""_s << u""_s << u""_s);
        const TRunCounters& counters = run.State.Counters;
        QCOMPARE(counters.FolderCount, 2);
        QCOMPARE(counters.FileCount, 3);
        QCOMPARE(counters.SkippedCount, 0);
        QCOMPARE(counters.TotalSize, std::int64_t(10 + 524288 + 2621440));
        QVERIFY(!run.Statuses.isEmpty());
        QCOMPARE(run.Final, run.Statuses.last());
        QVERIFY2(run.Statuses.last().startsWith(u"Files: 3 (3.00 MB; in 2 folders)"),
                 qPrintable(run.Statuses.last()));
        QVERIFY(run.Lines.Begins >= 1);
        QCOMPARE(run.Lines.Begins, run.Lines.Ends);
        QVERIFY(run.Unreadable.isEmpty());
    }

    void countersAddUpOverLocations()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(WorkedExample) && tree.addOutside(u"C/c.txt=1048576"_s));
        const TSettings settings = settingsFor(TListStyle{.Preset = CustomPreset});
        TRun run;
        run.list(settings, tree.location(), true);
        run.list(settings, tree.root() + u"C/", false);
        QCOMPARE(run.State.Counters.FolderCount, 3);
        QCOMPARE(run.State.Counters.FileCount, 4);
        QCOMPARE(run.State.Counters.TotalSize, std::int64_t(10 + 524288 + 2621440 + 1048576));
        QVERIFY2(run.Statuses.last().startsWith(u"Files: 4 (4.00 MB; in 3 folders)"),
                 qPrintable(run.Statuses.last()));

        run.list(settings, tree.root() + u"C/", true);
        QCOMPARE(run.State.Counters.FolderCount, 1);
        QCOMPARE(run.State.Counters.FileCount, 1);
        QCOMPARE(run.State.Counters.TotalSize, std::int64_t(1048576));
    }

    void presets_data()
    {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("0 List - simple")
            << 0
            << lines({u"{L}", u"<sub>", u"a.txt", u":: Files: 1 (.002 MB)", u"", u"{L}sub/",
                      u"b.txt", u":: Files: 1 (1.00 MB)"});
        QTest::newRow("1 List - rich")
            << 1
            << lines({u"{L}", u"<DIR>\tsub", u".002 MB\ta.txt", u":: Files: 1 (.002 MB)", u"",
                      u"{L}sub/", u"1.00 MB\tb.txt", u":: Files: 1 (1.00 MB)"});
        QTest::newRow("2 List - simple, indent")
            << 2
            << lines({u"{L}", u"<sub>", u"a.txt", u":: Files: 1 (.002 MB)", u"", u"\t{L}sub/",
                      u"\tb.txt", u"\t:: Files: 1 (1.00 MB)"});
        QTest::newRow("3 List - rich, indent")
            << 3
            << lines({u"{L}", u"<DIR>\tsub", u".002 MB\ta.txt", u":: Files: 1 (.002 MB)", u"",
                      u"\t{L}sub/", u"\t1.00 MB\tb.txt", u"\t:: Files: 1 (1.00 MB)"});
        QTest::newRow("4 Tree - simple")
            << 4
            << lines({u"</>", u"a.txt", u":: Files: 1 (.002 MB)", u"", u"</sub/>", u"\tb.txt",
                      u"\t:: Files: 1 (1.00 MB)"});
        QTest::newRow("5 Tree - rich")
            << 5
            << lines({u"<DIR>\t/", u".002 MB\ta.txt", u":: Files: 1 (.002 MB)", u"",
                      u"<DIR>\t/sub/", u"\t1.00 MB\tb.txt", u"\t:: Files: 1 (1.00 MB)"});
        QTest::newRow("6 Files, full path") << 6 << lines({u"{L}a.txt", u"{L}sub/b.txt"});
        QTest::newRow("7 Files, separated") << 7 << lines({u"{L}a.txt", u"", u"{L}sub/b.txt"});
        QTest::newRow("8 Folders, full path") << 8 << lines({u"{L}", u"{L}sub/"});
        QTest::newRow("9 Folders, summarized")
            << 9
            << lines({u"{L}", u":: Files: 1 (.002 MB)", u"", u"{L}sub/", u":: Files: 1 (1.00 MB)"});
    }
    void presets()
    {
        QFETCH(int, preset);
        QFETCH(QStringList, expected);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"a.txt=2048"_s, u"sub/b.txt=1048576"_s}));
        // A stored style whose own fields differ from every preset: the preset must win.
        TListStyle stored{.Preset = preset,
                          .Mode = 1,
                          .Base = 5,
                          .Folder = 5,
                          .File = 12,
                          .Separator = 1,
                          .IndentMode = 1,
                          .SortMode = 3,
                          .IsHeader = false};
        TRun run;
        run.list(settingsFor(ApplyPreset(stored)), tree.location());
        QCOMPARE(run.lines(), at(expected, tree.location()));
    }

    void filters_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("maskText");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("skipped");
        const QStringList all{u"/a.txt"_s, u"/b.log"_s, u"/c.doc"_s, u"/x.doc/in.txt"_s};
        QTest::newRow("all files, no masks") << 0 << QString() << all << 0;
        QTest::newRow("most files, empty mask text") << 1 << QString() << all << 0;
        QTest::newRow("skip list")
            << 1 << u"*.doc|"_s << QStringList{u"/a.txt"_s, u"/b.log"_s, u"/x.doc/in.txt"_s} << 1;
        QTest::newRow("list-only")
            << 13 << u"*.log|*.txt"_s << QStringList{u"/a.txt"_s, u"/b.log"_s, u"/x.doc/in.txt"_s}
            << 1;
        QTest::newRow("list-only, empty mask text") << 17 << QString() << QStringList() << 4;
        QTest::newRow("list-only, bar only") << 18 << u"|"_s << QStringList() << 4;
        QTest::newRow("list-only, double bar")
            << 19 << u"*.log||*.doc"_s << QStringList{u"/b.log"_s, u"/c.doc"_s} << 2;
        QTest::newRow("list-only, leading space") << 20 << u" *.txt"_s << QStringList() << 4;
        QTest::newRow("list-only, exact name") << 20 << u"A.TXT"_s << QStringList{u"/a.txt"_s} << 3;
    }
    void filters()
    {
        QFETCH(int, filter);
        QFETCH(QString, maskText);
        QFETCH(QStringList, expected);
        QFETCH(int, skipped);
        TTree tree;
        QVERIFY(tree.isValid() &&
                tree.add({u"a.txt"_s, u"b.log"_s, u"c.doc"_s, u"x.doc/in.txt"_s}));
        TListStyle style = namesOnly(1, 7);
        style.IsSkip = true;
        TSettings settings = settingsFor(style, filter);
        settings.FilterMask[std::size_t(filter)] = maskText;
        TRun run;
        run.list(settings, tree.location());
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.State.Counters.FileCount, int(expected.size()));
        QCOMPARE(run.State.Counters.SkippedCount, skipped);
    }

    void folderWithOnlySubfoldersUnderListOnly_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("list: no base line of its own")
            << 0 << lines({u"\tFolder\t/p/", u"\ta.txt", u"\t:: Files: 1 (.000 MB)"})
            << lines({u"{L}p/", u"{L}p/a.txt", u"", u"", u""});
        QTest::newRow("tree: base line stays")
            << 1
            << lines({u"Folder\t/", u"", u"Folder\t/p/", u"\ta.txt", u"\t:: Files: 1 (.000 MB)"})
            << lines({u"{L}", u"", u"{L}p/", u"{L}p/a.txt", u"", u"", u""});
    }
    void folderWithOnlySubfoldersUnderListOnly()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, paths);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"p/a.txt"_s, u"q/x.doc"_s, u"r/"_s}));
        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset, .Mode = mode}, 13),
                 tree.location());
        QCOMPARE(run.lines(), at(expected, tree.location()));
        QCOMPARE(storedPaths(run.Lines, int(paths.size())), at(paths, tree.location()));
        QCOMPARE(run.State.Counters.FolderCount, 1);
        QCOMPARE(run.State.Counters.FileCount, 1);
        QCOMPARE(run.State.Counters.SkippedCount, 1);
    }

    void noMatchingFileLeavesNoLine_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("mode");
        const QStringList docs{u"a.doc"_s, u"s/b.doc"_s, u"s/t/"_s};
        const QStringList folders{u"s/t/"_s, u"u/"_s, u"v/w/x/"_s};
        QTest::newRow("list-only, list") << docs << 13 << 0;
        QTest::newRow("list-only, tree") << docs << 13 << 1;
        // Here the folder lines are written first and taken out again.
        QTest::newRow("all files, only folders, list") << folders << 0 << 0;
        QTest::newRow("all files, only folders, tree") << folders << 0 << 1;
    }
    void noMatchingFileLeavesNoLine()
    {
        QFETCH(QStringList, entries);
        QFETCH(int, filter);
        QFETCH(int, mode);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(entries));
        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset, .Mode = mode}, filter),
                 tree.location());
        QCOMPARE(run.lines(), QStringList());
        QCOMPARE(storedPaths(run.Lines, 8), QStringList(8, QString()));
        QCOMPARE(run.State.Counters.FolderCount, 0);
        QCOMPARE(run.State.Counters.FileCount, 0);
    }

    // a.txt, b/c/ (nothing below), d/d.txt, e/f/ (nothing below).
    void rollback_data()
    {
        QTest::addColumn<bool>("skip");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("empty folders taken out")
            << true
            << lines({u"Folder\t/", u"b/", u"d/", u"e/", u"a.txt", u":: Files: 1 (.000 MB)", u"",
                      u"\tFolder\t/d/", u"\td.txt", u"\t:: Files: 1 (.000 MB)"})
            << lines({u"{L}", u"{L}b/", u"{L}d/", u"{L}e/", u"{L}a.txt", u"", u"", u"{L}d/",
                      u"{L}d/d.txt", u"", u"", u"", u"", u"", u""});
        QTest::newRow("empty folders shown")
            << false
            << lines({u"Folder\t/",
                      u"b/",
                      u"d/",
                      u"e/",
                      u"a.txt",
                      u":: Files: 1 (.000 MB)",
                      u"",
                      u"\tFolder\t/b/",
                      u"\tc/",
                      u"",
                      u"\t\tFolder\t/b/c/",
                      u"",
                      u"\tFolder\t/d/",
                      u"\td.txt",
                      u"\t:: Files: 1 (.000 MB)",
                      u"",
                      u"\tFolder\t/e/",
                      u"\tf/",
                      u"",
                      u"\t\tFolder\t/e/f/"})
            << lines({u"{L}",   u"{L}b/",      u"{L}d/",   u"{L}e/", u"{L}a.txt", u"",
                      u"",      u"{L}b/",      u"{L}b/c/", u"",      u"{L}b/c/",  u"",
                      u"{L}d/", u"{L}d/d.txt", u"",        u"",      u"{L}e/",    u"{L}e/f/",
                      u"",      u"{L}e/f/",    u"",        u""});
    }
    void rollback()
    {
        QFETCH(bool, skip);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, paths);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"a.txt"_s, u"b/c/"_s, u"d/d.txt"_s, u"e/f/"_s}));
        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset, .IsSkip = skip}), tree.location());
        QCOMPARE(run.lines(), at(expected, tree.location()));
        QCOMPARE(storedPaths(run.Lines, int(paths.size())), at(paths, tree.location()));
        QCOMPARE(run.State.Counters.FolderCount, 2);
        QCOMPARE(run.State.Counters.FileCount, 2);
    }

    void summaries_data()
    {
        QTest::addColumn<TListStyle>("style");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("with skipped counts")
            << TListStyle{.Preset = CustomPreset}
            << lines({u"Folder\t/", u"a.txt", u":: Files: 1 (.000 MB)   Skipped: 2", u"",
                      u"\tFolder\t/sub/", u"\tc.txt", u"\t:: Files: 1 (2.50 MB)   Skipped: 2"});
        QTest::newRow("folder of skipped files shown")
            << TListStyle{.Preset = CustomPreset, .IsSkip = false}
            << lines({u"Folder\t/", u"a.txt", u":: Files: 1 (.000 MB)   Skipped: 2", u"",
                      u"\tFolder\t/all/", u"", u"\tFolder\t/sub/", u"\tc.txt",
                      u"\t:: Files: 1 (2.50 MB)   Skipped: 2"});
        QTest::newRow("summaries off")
            << TListStyle{.Preset = CustomPreset, .IsSummary = false}
            << lines({u"Folder\t/", u"a.txt", u"", u"\tFolder\t/sub/", u"\tc.txt"});
        QTest::newRow("summaries without file lines")
            << TListStyle{.Preset = CustomPreset, .File = 0}
            << lines({u"Folder\t/", u":: Files: 1 (.000 MB)   Skipped: 2", u"", u"\tFolder\t/sub/",
                      u"\t:: Files: 1 (2.50 MB)   Skipped: 2"});
    }
    void summaries()
    {
        QFETCH(TListStyle, style);
        QFETCH(QStringList, expected);
        TTree tree;
        QVERIFY(tree.isValid() &&
                tree.add({u"a.txt"_s, u"b.bak=5242880"_s, u"thumbs.DB"_s, u"all/f.bak"_s,
                          u"sub/c.txt=2621440"_s, u"sub/d.BAK"_s, u"sub/e.~x"_s}));
        TRun run;
        run.list(settingsFor(style, 1), tree.location());
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.State.Counters.SkippedCount, 5);
        QCOMPARE(run.State.Counters.FileCount, 2);
        QCOMPARE(run.State.Counters.TotalSize, std::int64_t(DefaultFileSize + 2621440));
    }

    void newLines_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<TListStyle>("style");
        QTest::addColumn<QStringList>("expected");
        const TListStyle plain{.Preset = CustomPreset};
        const QStringList walked =
            lines({u"Folder\t/", u"b/", u"c/", u"a.txt", u":: Files: 1 (.000 MB)", u"",
                   u"\tFolder\t/c/", u"\tc.txt", u"\t:: Files: 1 (.000 MB)"});
        QTest::newRow("none at the start") << QStringList() << plain << walked;
        QTest::newRow("after a text line")
            << QStringList{u"header"_s} << plain << QStringList{u"header"_s, QString()} + walked;
        QTest::newRow("after an empty line") << QStringList{u"header"_s, QString()} << plain
                                             << QStringList{u"header"_s, QString()} + walked;
        QTest::newRow("off") << QStringList()
                             << TListStyle{.Preset = CustomPreset, .IsNewLine = false}
                             << lines({u"Folder\t/", u"b/", u"c/", u"a.txt",
                                       u":: Files: 1 (.000 MB)", u"\tFolder\t/c/", u"\tc.txt",
                                       u"\t:: Files: 1 (.000 MB)"});
        // An empty folder shown without a base line leaves its empty line; the next folder
        // does not add a second one.
        const TListStyle filesOnly{
            .Preset = CustomPreset, .IsSkip = false, .IsSummary = false, .Base = 0, .Folder = 0};
        QTest::newRow("never two in a row")
            << QStringList() << filesOnly << lines({u"a.txt", u"", u"\tc.txt"});
        QTest::newRow("never two in a row, after text")
            << QStringList{u"header"_s} << filesOnly
            << lines({u"header", u"", u"a.txt", u"", u"\tc.txt"});
    }
    void newLines()
    {
        QFETCH(QStringList, before);
        QFETCH(TListStyle, style);
        QFETCH(QStringList, expected);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"a.txt"_s, u"b/"_s, u"c/c.txt"_s}));
        TRun run;
        for (const QString& line : before)
            run.Lines.AppendLine(line);
        run.list(settingsFor(style), tree.location());
        QCOMPARE(run.lines(), expected);
    }

    void depth_data()
    {
        QTest::addColumn<bool>("rootFile");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("limited");
        QTest::addColumn<int>("maxDepth");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("files");
        const QStringList full =
            lines({u"Folder\t/", u"s/", u"a.txt", u":: Files: 1 (.000 MB)", u"", u"\tFolder\t/s/",
                   u"\tt/", u"\tb.txt", u"\t:: Files: 1 (.000 MB)", u"", u"\t\tFolder\t/s/t/",
                   u"\t\tc.txt", u"\t\t:: Files: 1 (.000 MB)"});
        QTest::newRow("unlimited") << true << 0 << false << 1 << full << 3;
        QTest::newRow("depth 1: folder items only") << true << 0 << true << 1 << full.first(4) << 1;
        QTest::newRow("depth 2") << true << 0 << true << 2 << full.first(9) << 2;
        QTest::newRow("depth 3") << true << 0 << true << 3 << full << 3;
        QTest::newRow("depth 0 as 1") << true << 0 << true << 0 << full.first(4) << 1;
        QTest::newRow("depth 1, tree")
            << true << 1 << true << 1 << lines({u"Folder\t/", u"a.txt", u":: Files: 1 (.000 MB)"})
            << 1;
        QTest::newRow("depth 1, no file in the location")
            << false << 0 << true << 1 << QStringList() << 0;
        QTest::newRow("depth 2, no file in the location")
            << false << 0 << true << 2
            << lines({u"Folder\t/", u"s/", u"", u"\tFolder\t/s/", u"\tt/", u"\tb.txt",
                      u"\t:: Files: 1 (.000 MB)"})
            << 1;
    }
    void depth()
    {
        QFETCH(bool, rootFile);
        QFETCH(int, mode);
        QFETCH(bool, limited);
        QFETCH(int, maxDepth);
        QFETCH(QStringList, expected);
        QFETCH(int, files);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"s/b.txt"_s, u"s/t/c.txt"_s}));
        if (rootFile)
            QVERIFY(tree.add(u"a.txt"_s));
        TSettings settings = settingsFor(TListStyle{.Preset = CustomPreset, .Mode = mode});
        settings.IsMaxDepth = limited;
        settings.MaxDepth = maxDepth;
        TRun run;
        run.list(settings, tree.location());
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.State.Counters.FileCount, files);
    }

    void hiddenEntries_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("skipped");
        QTest::newRow("off") << false << 0
                             << lines({u"Folder\t/", u"sub/", u"a.txt", u":: Files: 1 (.000 MB)",
                                       u"", u"\tFolder\t/sub/", u"\tb.txt",
                                       u"\t:: Files: 1 (.000 MB)"})
                             << 2 << 0;
        QTest::newRow("off, list-only: hidden files are not skipped ones")
            << false << 13
            << lines({u"Folder\t/", u"a.txt", u":: Files: 1 (.000 MB)", u"", u"\tFolder\t/sub/",
                      u"\tb.txt", u"\t:: Files: 1 (.000 MB)"})
            << 2 << 0;
        QTest::newRow("on") << true << 0
                            << lines({u"Folder\t/",
                                      u".hdir/",
                                      u"sub/",
                                      u".h.doc",
                                      u".h.txt",
                                      u"a.txt",
                                      u":: Files: 3 (.000 MB)",
                                      u"",
                                      u"\tFolder\t/.hdir/",
                                      u"\tx.txt",
                                      u"\t:: Files: 1 (.000 MB)",
                                      u"",
                                      u"\tFolder\t/sub/",
                                      u"\t.hsub/",
                                      u"\tb.txt",
                                      u"\t:: Files: 1 (.000 MB)",
                                      u"",
                                      u"\t\tFolder\t/sub/.hsub/",
                                      u"\t\ty.txt",
                                      u"\t\t:: Files: 1 (.000 MB)"})
                            << 6 << 0;
        QTest::newRow("on, list-only")
            << true << 13
            << lines({u"Folder\t/", u".h.txt", u"a.txt", u":: Files: 2 (.000 MB)   Skipped: 1", u"",
                      u"\tFolder\t/.hdir/", u"\tx.txt", u"\t:: Files: 1 (.000 MB)", u"",
                      u"\tFolder\t/sub/", u"\tb.txt", u"\t:: Files: 1 (.000 MB)", u"",
                      u"\t\tFolder\t/sub/.hsub/", u"\t\ty.txt", u"\t\t:: Files: 1 (.000 MB)"})
            << 5 << 1;
    }
    void hiddenEntries()
    {
        QFETCH(bool, hidden);
        QFETCH(int, filter);
        QFETCH(QStringList, expected);
        QFETCH(int, files);
        QFETCH(int, skipped);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"a.txt"_s, u".h.txt"_s, u".h.doc"_s, u".hdir/x.txt"_s,
                                            u"sub/b.txt"_s, u"sub/.hsub/y.txt"_s}));
        TSettings settings = settingsFor(TListStyle{.Preset = CustomPreset}, filter);
        settings.IsHiddenFiles = hidden;
        TRun run;
        run.list(settings, tree.location());
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.State.Counters.FileCount, files);
        QCOMPARE(run.State.Counters.SkippedCount, skipped);
    }

    void systemEntries_data()
    {
        QTest::addColumn<bool>("system");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("off") << false << lines({u"a.txt\t0"});
        QTest::newRow("on") << true
                            << lines(
                                   {u"a.txt\t0", u"fifo\t0", u"lfifo\t0", u"null\t0", u"sock\t0"});
    }
    void systemEntries()
    {
        QFETCH(bool, system);
        QFETCH(QStringList, expected);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(u"a.txt=0"_s));
        QVERIFY(tree.fifo(u"fifo"_s));
        QVERIFY(tree.socket(u"sock"_s));
        QVERIFY(tree.link(u"null"_s, u"/dev/null"_s)); // a link to a device is a device
        QVERIFY(tree.link(u"lfifo"_s, u"fifo"_s));
        TSettings settings = settingsFor(namesOnly(1, 2));
        settings.IsSystemFiles = system;
        TRun run;
        run.list(settings, tree.location());
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.State.Counters.FileCount, int(expected.size()));
        QCOMPARE(run.State.Counters.SkippedCount, 0);
    }

    void fileOrder_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("sortMode");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::addColumn<QStringList>("expected");
        const QStringList names{u"b.txt"_s, u"B.txt"_s, u"a.txt"_s,    u"A.txt"_s, u"c"_s,
                                u"d.doc"_s, u"f."_s,    u"g.tar.gz"_s, u"h.TXT"_s, u"x.b:c"_s};
        const QList<qint64> sizes{30, 10, 20, 20, 5, 40, 7, 8, 9, 6};
        const QStringList byName{u"a.txt"_s, u"A.txt"_s, u"b.txt"_s,    u"B.txt"_s, u"c"_s,
                                 u"d.doc"_s, u"f."_s,    u"g.tar.gz"_s, u"h.TXT"_s, u"x.b:c"_s};
        const QString en = u"en_US"_s;
        QTest::newRow("name") << en << 1 << names << sizes << byName;
        QTest::newRow("name, C locale")
            << u"C"_s << 1 << names << sizes
            << QStringList{u"A.txt"_s, u"B.txt"_s, u"a.txt"_s,    u"b.txt"_s, u"c"_s,
                           u"d.doc"_s, u"f."_s,    u"g.tar.gz"_s, u"h.TXT"_s, u"x.b:c"_s};
        // Only the delimiter ends an extension: ":" is an ordinary character here.
        QTest::newRow("extension")
            << en << 2 << names << sizes
            << QStringList{u"c"_s,     u"f."_s,    u"x.b:c"_s, u"d.doc"_s, u"g.tar.gz"_s,
                           u"a.txt"_s, u"A.txt"_s, u"b.txt"_s, u"B.txt"_s, u"h.TXT"_s};
        QTest::newRow("size, biggest on top")
            << en << 3 << names << sizes
            << QStringList{u"d.doc"_s, u"b.txt"_s,    u"a.txt"_s, u"A.txt"_s, u"B.txt"_s,
                           u"h.TXT"_s, u"g.tar.gz"_s, u"f."_s,    u"x.b:c"_s, u"c"_s};
        QTest::newRow("size, smallest on top")
            << en << 4 << names << sizes
            << QStringList{u"c"_s,     u"x.b:c"_s, u"f."_s,    u"g.tar.gz"_s, u"h.TXT"_s,
                           u"B.txt"_s, u"a.txt"_s, u"A.txt"_s, u"b.txt"_s,    u"d.doc"_s};
        const QStringList big{u"b4g"_s, u"b8g"_s, u"mid"_s};
        const QList<qint64> bigSizes{(qint64(1) << 32) + 10, (qint64(1) << 33) + 5, 20};
        QTest::newRow("sizes beyond 32 bits, biggest")
            << en << 3 << big << bigSizes << QStringList{u"b8g"_s, u"b4g"_s, u"mid"_s};
        QTest::newRow("sizes beyond 32 bits, smallest")
            << en << 4 << big << bigSizes << QStringList{u"mid"_s, u"b4g"_s, u"b8g"_s};
        QTest::newRow("unknown mode 6 sorts by name") << en << 6 << names << sizes << byName;
        QTest::newRow("unknown mode -1 sorts by name") << en << -1 << names << sizes << byName;

        QStringList many;
        QStringList manySorted;
        for (int i = 14; i >= 0; --i)
            many << QStringLiteral("F%1").arg(i, 2, 10, QChar(u'0'))
                 << QStringLiteral("f%1").arg(i, 2, 10, QChar(u'0'));
        for (int i = 0; i < 15; ++i)
            manySorted << QStringLiteral("f%1").arg(i, 2, 10, QChar(u'0'))
                       << QStringLiteral("F%1").arg(i, 2, 10, QChar(u'0'));
        QTest::newRow("many names, lower case first")
            << en << 1 << many << QList<qint64>(many.size(), 1) << manySorted;
    }
    void fileOrder()
    {
        QFETCH(QString, locale);
        QFETCH(int, sortMode);
        QFETCH(QStringList, names);
        QFETCH(QList<qint64>, sizes);
        QFETCH(QStringList, expected);
        TLocaleScope scope(locale);
        TTree tree;
        QVERIFY(tree.isValid());
        for (qsizetype i = 0; i < names.size(); ++i)
            QVERIFY(tree.add(names[i] + u'=' + QString::number(sizes[i])));
        TRun run;
        run.list(settingsFor(namesOnly(sortMode)), tree.location());
        QCOMPARE(run.lines(), expected);
    }

    // Names the collation calls equal are ordered by their UTF-16 units, files and folders alike.
    void collationTiesByCodeUnits()
    {
        TLocaleScope scope(u"en_US"_s);
        const QString decomposed = QStringView(u"e\u0301").toString();
        const QString composed = QStringView(u"\u00E9").toString();
        QCollator collator{QLocale()};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        if (collator.compare(decomposed, composed) != 0)
            QSKIP("this collation tells the two spellings of e-acute apart");

        TTree tree;
        QVERIFY(tree.isValid());
        for (const QString& name : {composed, u"E"_s, decomposed})
            QVERIFY(tree.add(name + u'/') && tree.add(name + u".log"));
        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset,
                                        .IsNewLine = false,
                                        .IsSkip = false,
                                        .IsSummary = false,
                                        .Base = 1,
                                        .Folder = 1,
                                        .IndentMode = 2}),
                 tree.location());
        const QStringList folders{u"E"_s, decomposed, composed};
        const QStringList files{u"E.log"_s, decomposed + u".log", composed + u".log"};
        QCOMPARE(run.lines(), QStringList{u"A"_s} + folders + files + folders);
    }

    void folderOrder_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("sortMode");
        for (int mode : {0, 1, 2, 3, 4, 5, 9})
            QTest::addRow("C, sort mode %d", mode) << u"C"_s << mode;
        for (int mode : {0, 1, 5})
            QTest::addRow("en_US, sort mode %d", mode) << u"en_US"_s << mode;
    }
    void folderOrder()
    {
        QFETCH(QString, locale);
        QFETCH(int, sortMode);
        TLocaleScope scope(locale);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"b/"_s, u"A/"_s, u"C/"_s, u"a/"_s, u"d/"_s}));
        TRun run;
        run.State.Random.Seed(42);
        run.list(settingsFor(TListStyle{.Preset = CustomPreset,
                                        .IsNewLine = false,
                                        .IsSkip = false,
                                        .IsSummary = false,
                                        .Base = 1,
                                        .Folder = 1,
                                        .File = 0,
                                        .IndentMode = 2,
                                        .SortMode = sortMode}),
                 tree.location());
        const QStringList folders{u"A"_s, u"a"_s, u"b"_s, u"C"_s, u"d"_s};
        QCOMPARE(run.lines(), QStringList{u"A"_s} + folders + folders);
    }

    void randomOrder()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"m/"_s, u"K/"_s, u"l/"_s}));
        QStringList names;
        for (int i = 0; i < 20; ++i)
            names.append(QStringLiteral("r%1").arg(i, 2, 10, QChar(u'0')));
        QVERIFY(tree.add(names));
        TListStyle style = namesOnly(5);
        style.Folder = 1;
        const auto walk = [&](std::uint32_t seed) {
            TRun run;
            run.State.Random.Seed(seed);
            run.list(settingsFor(style), tree.location());
            return run.lines();
        };
        QList<QStringList> orders;
        for (std::uint32_t seed = 1; seed <= 8; ++seed) {
            const QStringList walked = walk(seed);
            QCOMPARE(walked.first(3), (QStringList{u"K"_s, u"l"_s, u"m"_s}));
            QStringList files = walked.mid(3);
            QCOMPARE(walk(seed).mid(3), files); // the same seed, the same order
            if (!orders.contains(files))
                orders.append(files);
            files.sort();
            QCOMPARE(files, names); // every file exactly once
        }
        QVERIFY2(orders.size() >= 2, "every seed gave the same order");
    }

    void unsortedKeepsFileSystemOrder()
    {
        TTree tree;
        QVERIFY(tree.isValid());
        for (const char16_t* name : {u"m.txt", u"b.txt", u"Z.txt", u"a.txt", u"k", u"q.doc",
                                     u"c.txt", u"e", u"B.txt", u"y.log", u"x", u"n.n"})
            QVERIFY(tree.add(QStringView(name).toString()));
        const QStringList order = fileSystemOrder(tree.locationBytes());
        QCOMPARE(order.size(), 12);
        TRun run;
        run.list(settingsFor(namesOnly(0)), tree.location());
        QCOMPARE(run.lines(), order);
    }

    void randomGenerator()
    {
        TRandomGenerator random;
        random.Seed(12345);
        QCOMPARE(random.Below(10), 3u);
        QCOMPARE(random.Below(10), 2u);
        QCOMPARE(random.Below(10), 0u);
        QCOMPARE(random.Below(1000), 553u);
        QCOMPARE(random.Below(2), 1u);
        QCOMPARE(random.Below(2), 0u);
        QCOMPARE(random.Below(0xFFFFFFFFu), 1889648463u);
        random.Seed(0);
        QCOMPARE(random.Below(100), 0u);
        QCOMPARE(random.Below(100), 3u);
    }

    // Folders taken back (empty ones, skipped) never take lines or paths from before the walk.
    void rollbacksLeaveEarlierPaths()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.add({u"a.txt"_s, u"b/c/"_s, u"d/d.txt"_s, u"e/f/"_s}));
        TRun run;
        for (int i = 0; i < 30; ++i)
            addLine(run.Lines, u"earlier", QStringLiteral("/earlier/s%1").arg(i));
        run.list(settingsFor(TListStyle{.Preset = CustomPreset}), tree.location());
        // An empty line, then the walk's lines, written and taken out as usual.
        QCOMPARE(run.Lines.LineCount(), 41);
        for (int i = 0; i < 30; ++i)
            QCOMPARE(run.Lines.PathOf(i), QStringLiteral("/earlier/s%1").arg(i));
    }

    // Store entries are indexed by result line, also below lines that were there before.
    void storeFollowsExistingLines()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(WorkedExample));
        TRun run;
        run.Lines.AppendLine(u":: header");
        run.Lines.AppendLine(u"");
        run.list(settingsFor(TListStyle{.Preset = CustomPreset}), tree.location());
        QCOMPARE(run.Lines.LineCount(), 11);
        QCOMPARE(
            storedPaths(run.Lines, 6),
            at(lines({u"", u"", u"{L}", u"{L}B/", u"{L}x.txt", u"{L}z.doc"}), tree.location()));
        QCOMPARE(run.Lines.PathOf(9), QString(tree.location() + u"B/y.log"));
    }

    void stop_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("stopAfter"); // Stop is pressed when this line was written last
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("during file lines")
            << QStringList{u"1.txt"_s, u"2.txt"_s, u"3.txt"_s, u"4.txt"_s, u"5.txt"_s} << u"1.txt"_s
            << lines({u"Folder\t/", u"1.txt", u":: Files: 5 (.000 MB)"});
        QTest::newRow("after folder items")
            << QStringList{u"r.txt"_s, u"f1/x.txt"_s, u"f2/x.txt"_s, u"f3/x.txt"_s} << u"f3/"_s
            << lines({u"Folder\t/", u"f1/", u"f2/", u"f3/", u":: Files: 1 (.000 MB)"});
        QTest::newRow("after a subfolder's files")
            << QStringList{u"a/1.txt"_s, u"a/2.txt"_s, u"b/3.txt"_s, u"c/4.txt"_s} << u"\t2.txt"_s
            << lines({u"Folder\t/", u"a/", u"b/", u"c/", u"", u"\tFolder\t/a/", u"\t1.txt",
                      u"\t2.txt", u"\t:: Files: 2 (.000 MB)"});
    }
    void stop()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, stopAfter);
        QFETCH(QStringList, expected);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(entries));
        TRun run;
        // Every progress call lets events run, as if each came 200 ms after the last.
        run.OnEvents = [&run, &stopAfter] {
            run.State.Counters.LastProgressTick = TickCount() - 1000;
            const qsizetype count = run.Lines.LineCount();
            if (count > 0 && run.Lines.Line(count - 1) == stopAfter)
                run.State.Stop.Request();
        };
        run.State.Counters = TRunCounters();
        run.State.Counters.StartTick = TickCount();
        run.State.Counters.LastProgressTick = run.State.Counters.StartTick - 1000;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset}), tree.location(), false);
        QVERIFY(run.State.Stop.Requested());
        QCOMPARE(run.lines(), expected);
        QVERIFY(run.Statuses.last().startsWith(u"Files: "));
    }

    // Progress goes out when the last one is more than 200 ms old, and not again right after.
    void progressIsThrottled()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(WorkedExample));
        TRun run;
        int events = 0;
        run.OnEvents = [&events] { ++events; };
        run.State.Counters = TRunCounters();
        run.State.Counters.StartTick = TickCount();
        run.State.Counters.LastProgressTick = run.State.Counters.StartTick - 1000;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset}), tree.location(), false);
        QVERIFY(events >= 1 && events <= 2); // a walk of three files takes far less than 200 ms
        QCOMPARE(run.Statuses.first(), QString(u"Searching " + tree.location()));
        QVERIFY(!run.Stats.isEmpty());
        QVERIFY2(run.Stats.first().startsWith(u"Files: "), qPrintable(run.Stats.first()));
        QCOMPARE(run.lines().size(), 9);
    }

    void stopAlreadyRequested()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(WorkedExample));
        TRun run;
        run.State.Stop.Request();
        run.list(settingsFor(TListStyle{.Preset = CustomPreset}), tree.location());
        QCOMPARE(run.lines(), QStringList());
        QCOMPARE(run.Lines.PathOf(0), QString());
        QVERIFY(!run.Statuses.isEmpty());
        QVERIFY2(run.Statuses.last().startsWith(u"Files: 0"), qPrintable(run.Statuses.last()));
    }

    void hostileFileNames_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("decoded");
        const auto row = [](const char* tag, const QByteArray& raw, QStringView shown,
                            QStringView decoded) {
            QTest::newRow(tag) << raw << shown.toString() << decoded.toString();
        };
        row("newline and tab", "a\nb\tc.txt", u"a\uFFFDb\uFFFDc.txt", u"a\nb\tc.txt");
        row("carriage return", "r\r.txt", u"r\uFFFD.txt", u"r\r.txt");
        row("DEL", "d\x7F", u"d\uFFFD", u"d\x7F");
        row("C1 control", "n\xC2\x85", u"n\uFFFD", u"n\u0085");
        row("last C1 control", "x\xC2\x9F", u"x\uFFFD", u"x\u009F");
        row("no-break space stays", "nb\xC2\xA0sp", u"nb\u00A0sp", u"nb\u00A0sp");
        row("line separator", "l\xE2\x80\xA8", u"l\uFFFD", u"l\u2028");
        row("paragraph separator", "p\xE2\x80\xA9", u"p\uFFFD", u"p\u2029");
        row("U+FFFE", "f\xEF\xBF\xBE", u"f\uFFFD", u"f\uFFFE");
        row("U+FFFF", "f\xEF\xBF\xBF", u"f\uFFFD", u"f\uFFFF");
        row("undecodable 0x80", "bad\x80.txt", u"bad\uFFFD.txt", u"bad\xDC80.txt");
        row("undecodable 0xFF", "\xFF", u"\uFFFD", u"\xDCFF");
        row("overlong", "o\xC0\xAF", u"o\uFFFD\uFFFD", u"o\xDCC0\xDCAF");
        row("emoji", "\xF0\x9F\x98\x80.txt", u"\xD83D\xDE00.txt", u"\xD83D\xDE00.txt");
        row("pair ending in DC80", "\xF0\x9F\x92\x80", u"\xD83D\xDC80", u"\xD83D\xDC80");
        row("backslash and colon", "a\\b:c", u"a\\b:c", u"a\\b:c");
    }
    void hostileFileNames()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, shown);
        QFETCH(QString, decoded);
        TTree tree;
        QVERIFY(tree.isValid() && tree.addBytes(raw));
        TRun run;
        run.list(settingsFor(namesOnly()), tree.location());
        QCOMPARE(run.lines(), QStringList{shown});
        QCOMPARE(run.Lines.PathOf(0), QString(tree.location() + decoded));
        const QByteArray path = EncodeFileName(run.Lines.PathOf(0));
        QCOMPARE(path, tree.locationBytes() + raw);
        QCOMPARE(::access(path.constData(), F_OK), 0);
    }

    void hostileFolderNames()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.addBytes("d\xFF/f.txt") && tree.addBytes("n\ny/g.txt"));
        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset}), tree.location());
        QCOMPARE(run.lines(),
                 lines({u"Folder\t/", u"d\uFFFD/", u"n\uFFFDy/", u"", u"\tFolder\t/d\uFFFD/",
                        u"\tf.txt", u"\t:: Files: 1 (.000 MB)", u"", u"\tFolder\t/n\uFFFDy/",
                        u"\tg.txt", u"\t:: Files: 1 (.000 MB)"}));
        QCOMPARE(run.Lines.PathOf(1), QString(tree.location() + QStringView(u"d\xDCFF/")));
        QCOMPARE(run.Lines.PathOf(4), QString(tree.location() + QStringView(u"d\xDCFF/")));
        QCOMPARE(run.Lines.PathOf(5), QString(tree.location() + QStringView(u"d\xDCFF/f.txt")));
        QCOMPARE(run.Lines.PathOf(9), QString(tree.location() + u"n\ny/g.txt"));
        QCOMPARE(::access(EncodeFileName(run.Lines.PathOf(5)).constData(), F_OK), 0);
    }

    // Whatever a style shows, every line's path is its item's as the walk named it, also where
    // a name is shown otherwise than it is, or stands inside other text on its line.
    void everyStyleKeepsItemPaths_data()
    {
        QTest::addColumn<int>("preset");
        for (int preset = 0; preset < PresetCount; ++preset)
            QTest::addRow("preset %d", preset) << preset;
    }
    void everyStyleKeepsItemPaths()
    {
        QFETCH(int, preset);
        TTree tree;
        QVERIFY(tree.isValid() &&
                tree.add({u"a/a=1"_s, u"a/a.txt=22"_s, u"a/<x>"_s, u"a/1"_s, u"b c/deep/er/f"_s,
                          u"A"_s, u"b c/.h/a"_s}) &&
                tree.addBytes("d\xFF/f.txt") && tree.addBytes("n\ny/g.txt") &&
                tree.addBytes("a/e\xE9"));
        TSettings settings = settingsFor(ApplyPreset(TListStyle{.Preset = preset}));
        settings.IsHiddenFiles = true;
        TPathRecorder result;
        TRun run;
        ListLocation(settings, tree.location(), result, run, run.State);
        result.Expected.resize(result.LineCount());
        QVERIFY(result.LineCount() - result.Expected.count(QString()) >= 8);
        for (int i = 0; i < result.LineCount(); ++i)
            QCOMPARE(result.PathOf(i), result.Expected[i]);
    }

    void locationWithUndecodableByte()
    {
        TTree tree;
        QVERIFY(tree.isValid() && tree.addBytes("l\xFE/a.txt", QByteArray()));
        const QString location = DecodeFileName(EncodeFileName(tree.root()) + "l\xFE/");
        QCOMPARE(location, tree.root() + QStringView(u"l\xDCFE/"));
        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset, .Base = 10}), location);
        QCOMPARE(run.lines(), (QStringList{tree.root() + QStringView(u"l\uFFFD/"), u"a.txt"_s,
                                           u":: Files: 1 (.000 MB)"_s}));
        QCOMPARE(run.Lines.PathOf(0), location);
        QCOMPARE(run.Lines.PathOf(1), QString(location + u"a.txt"));
    }

    // Folders read ahead by other threads list exactly as folders the walk reads itself: the
    // same entries pass the hidden switch and the masks, files get their sizes, links are
    // followed or not entered, the depth limit holds, and every line keeps its path.
    void readAheadListsAsTheWalkAlone_data()
    {
        QTest::addColumn<int>("filter");  // with the masks "*.txt|"
        QTest::addColumn<bool>("hidden"); // IsHiddenFiles
        QTest::addColumn<int>("depth");   // 0: no limit
        QTest::addColumn<bool>("sizes");  // WantSizes
        QTest::addColumn<int>("preset");  // 0: names only
        QTest::newRow("all, sizes, default style") << 0 << false << 0 << true << 1;
        QTest::newRow("hidden, names only") << 0 << true << 0 << false << 0;
        QTest::newRow("list-only masks, sizes") << 3 << true << 0 << true << 6;
        QTest::newRow("skip list masks, sizes") << 1 << false << 0 << true << 10;
        QTest::newRow("depth 3, default style") << 0 << true << 3 << true << 1;
        QTest::newRow("depth 3, names") << 3 << false << 3 << false << 0;
    }
    void readAheadListsAsTheWalkAlone()
    {
        QFETCH(int, filter);
        QFETCH(bool, hidden);
        QFETCH(int, depth);
        QFETCH(bool, sizes);
        QFETCH(int, preset);
        TTree tree;
        QVERIFY(tree.isValid());
        for (int d = 0; d < 6; ++d) {
            for (int s = 0; s < 5; ++s) {
                const QString folder = u"d%1/s%2/"_s.arg(d).arg(s);
                QVERIFY(tree.add({folder + u"a.txt=" + QString::number(d * 100 + s),
                                  folder + u"b.mp3=7", folder + u".h.txt=3",
                                  folder + u".hid/in.txt=9", folder + u"deep/er/x.txt=11"}));
            }
        }
        QVERIFY(tree.link(u"d0/up"_s, u".."_s) && tree.link(u"d1/to_d2"_s, u"../d2"_s) &&
                tree.link(u"d2/f.txt"_s, u"s0/a.txt"_s) && tree.link(u"d3/none"_s, u"nowhere"_s));
        TSettings settings = settingsFor(
            preset == 0 ? namesOnly() : ApplyPreset(TListStyle{.Preset = preset}), filter);
        settings.FilterMask[std::size_t(filter)] = u"*.txt|"_s;
        settings.IsHiddenFiles = hidden;
        settings.IsMaxDepth = depth > 0;
        settings.MaxDepth = depth;
        QStringList results;
        for (const char* readAhead : {"0", "1"}) {
            qputenv("DIRKA_READ_AHEAD", readAhead);
            TRun run;
            run.Final = ListLocation(settings, tree.location(), run.Lines, run, run.State,
                                     {.WantSizes = sizes});
            QStringList paths;
            for (qsizetype i = 0; i < run.Lines.LineCount(); ++i)
                paths << run.Lines.PathOf(int(i));
            results << (run.lines() + paths).join(u'\n') + u'\n' +
                           QString::number(run.State.Counters.TotalSize);
        }
        qunsetenv("DIRKA_READ_AHEAD");
        QCOMPARE(results.last(), results.first());
        QVERIFY(results.first().count(u'\n') > 10);
    }

    // The user named it: a location on a pseudo file system is read, though the walk from
    // elsewhere never enters one.
    void pseudoFileSystemLocation()
    {
        if (!QFileInfo(u"/proc/sys/kernel/ostype"_s).exists())
            QSKIP("no /proc here");
        TSettings settings = settingsFor(TListStyle{.Preset = CustomPreset});
        settings.IsMaxDepth = true;
        settings.MaxDepth = 1;
        TRun run;
        run.list(settings, u"/proc/sys/kernel/"_s);
        QVERIFY2(run.lines().join(u'|').contains(u"ostype"), qPrintable(run.lines().join(u'|')));
        QVERIFY(run.State.Counters.FileCount > 10);
    }

    void links()
    {
        TTree tree;
        QVERIFY(tree.isValid());
        QVERIFY(tree.add({u"a.txt"_s, u"sub/b.txt"_s}));
        QVERIFY(tree.addOutside(u"Outside/o.txt"_s) &&
                tree.addOutside(u"Outside/big.bin=2097152"_s));
        QVERIFY(tree.link(u"self"_s, tree.location()));         // the location itself
        QVERIFY(tree.link(u"up"_s, u".."_s));                   // the folder above it
        QVERIFY(tree.link(u"root"_s, u"/"_s));                  // far above it
        QVERIFY(tree.link(u"proc"_s, u"/proc"_s));              // a pseudo file system
        QVERIFY(tree.link(u"sub/loop"_s, u".."_s));             // back to the location
        QVERIFY(tree.link(u"ext"_s, tree.root() + u"Outside")); // entered
        QVERIFY(tree.link(u"dang"_s, u"nowhere"_s));
        QVERIFY(tree.link(u"lnk"_s, tree.root() + u"Outside/big.bin"));
        // From outside back into the location, to a folder that is not on the current path.
        QVERIFY(tree.makeLink("Outside/back", tree.locationBytes() + "sub"));
        const bool haveProc = QFileInfo(u"/proc/self"_s).exists();

        TSettings settings = settingsFor(TListStyle{.Preset = CustomPreset,
                                                    .IsNewLine = false,
                                                    .IsSkip = false,
                                                    .IsSummary = false,
                                                    .File = 2});
        settings.IsMaxDepth = true; // were a link followed wrongly, this keeps the walk small
        settings.MaxDepth = 5;
        TRun run;
        run.list(settings, tree.location());
        QStringList expected = lines({u"Folder\t/",
                                      u"ext/",
                                      u"proc/",
                                      u"root/",
                                      u"self/",
                                      u"sub/",
                                      u"up/",
                                      u"a.txt\t.000 MB",
                                      u"dang\t0",
                                      u"lnk\t2.00 MB",
                                      u"\tFolder\t/ext/",
                                      u"\tback/",
                                      u"\tbig.bin\t2.00 MB",
                                      u"\to.txt\t.000 MB",
                                      u"\t\tFolder\t/ext/back/",
                                      u"\t\tloop/",
                                      u"\t\tb.txt\t.000 MB",
                                      u"\t\t\tFolder\t/ext/back/loop/",
                                      u"\tFolder\t/proc/",
                                      u"\tFolder\t/root/",
                                      u"\tFolder\t/self/",
                                      u"\tFolder\t/sub/",
                                      u"\tloop/",
                                      u"\tb.txt\t.000 MB",
                                      u"\t\tFolder\t/sub/loop/",
                                      u"\tFolder\t/up/"});
        if (!haveProc) {
            QCOMPARE(run.lines().size(), expected.size());
            QSKIP("no /proc here; the rest of the walk matched in size");
        }
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.Lines.PathOf(9), QString(tree.location() + u"lnk"));
        QCOMPARE(run.Lines.PathOf(16), QString(tree.location() + u"ext/back/b.txt"));
        QCOMPARE(run.Lines.PathOf(17), QString(tree.location() + u"ext/back/loop/"));
        QCOMPARE(run.State.Counters.FileCount, 7);
        QCOMPARE(run.State.Counters.FolderCount, 4);
    }

    void unreadableFolders()
    {
        TTree tree;
        QVERIFY(tree.isValid() &&
                tree.add({u"a.txt"_s, u"locked/inner.txt"_s, u"nox/f.txt=100"_s, u"nox/deep/"_s}));
        QVERIFY(tree.setMode("A/locked", 0));
        QVERIFY(tree.setMode("A/nox", 0444)); // names readable, entries not
        const TWithoutReadOverride asUser;
        if (!asUser.active())
            QSKIP("running as root without a way to give up the read override");
        if (DIR* dir = ::opendir(tree.bytes("A/locked").constData())) {
            ::closedir(dir);
            QSKIP("mode 000 does not keep this process out");
        }

        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset,
                                        .IsNewLine = false,
                                        .IsSkip = false,
                                        .IsSummary = false,
                                        .File = 2}),
                 tree.location());
        QCOMPARE(run.lines(),
                 lines({u"Folder\t/", u"locked/", u"nox/", u"a.txt\t.000 MB", u"\tFolder\t/locked/",
                        u"\tFolder\t/nox/", u"\tdeep/", u"\tf.txt\t0", u"\t\tFolder\t/nox/deep/"}));
        QStringList unreadable = run.Unreadable;
        unreadable.sort();
        QCOMPARE(unreadable,
                 (QStringList{tree.location() + u"locked/", tree.location() + u"nox/deep/"}));
        for (const QString& reason : run.Reasons)
            QVERIFY(!reason.isEmpty());
        QCOMPARE(run.State.Counters.FileCount, 2);
        QCOMPARE(run.State.Counters.SkippedCount, 0);
    }

    // When x.txt is listed, moved is moved out of the location and made is made. A subfolder
    // gone before it is entered is skipped without a report or a line, as a vanished file is. A
    // folder replaced while the walk was too deep to keep it open is not continued: the new one
    // is not the one that was read.
    void changesDuringTheWalk_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("moved");
        QTest::addColumn<QString>("made");
        QTest::addColumn<int>("base"); // 1: folder names too
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("reports");
        QTest::newRow("vanished") << QStringList{u"a/x.txt"_s, u"gone/y.txt"_s} << u"gone"_s
                                  << QString() << 1 << QStringList{u"A"_s, u"a"_s, u"x.txt"_s} << 0;
        QTest::newRow("replaced") << QStringList{u"d/d/d/z/y.txt"_s,
                                                 u"d/"_s.repeated(40) + u"x.txt"}
                                  << u"d/d/d"_s << u"d/d/d/z/new.txt"_s << 0
                                  << QStringList{u"x.txt"_s} << 1;
    }
    void changesDuringTheWalk()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, moved);
        QFETCH(QString, made);
        QFETCH(int, base);
        QFETCH(QStringList, expected);
        QFETCH(int, reports);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(entries));
        // The change must fall before the folders are read, which reading ahead would not wait for.
        qputenv("DIRKA_READ_AHEAD", "0");
        const auto readAheadAgain = qScopeGuard([] { qunsetenv("DIRKA_READ_AHEAD"); });
        TRun run;
        run.OnEvents = [&] {
            run.State.Counters.LastProgressTick = TickCount() - 1000;
            if (run.lines().endsWith(u"x.txt"_s) && ::rename(tree.bytes(u"A/" + moved).constData(),
                                                             tree.bytes("moved").constData()) == 0)
                QVERIFY(made.isEmpty() || tree.add(made));
        };
        run.State.Counters = TRunCounters();
        run.State.Counters.LastProgressTick = TickCount() - 1000;
        TListStyle style = namesOnly();
        style.Base = base;
        run.list(settingsFor(style), tree.location(), false);
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.Unreadable.size(), reports);
    }

    // Sizes are looked up once a folder is read, a few hundred files at a time: a file removed
    // by then is left out of the lines and the sums, and every other file keeps its own size.
    void fileRemovedBeforeItsSizeIsLookedUp()
    {
        TTree tree;
        QStringList entries;
        QStringList expected;
        std::int64_t total = 0;
        for (int i = 0; i < 600; ++i) {
            const QString name = QString::asprintf("f%03d", i);
            entries.append(name + u'=' + QString::number(i + 1));
            if (i != 400) {
                expected.append(name);
                total += i + 1;
            }
        }
        QVERIFY(tree.isValid() && tree.add(entries));
        TRun run;
        bool removed = false;
        run.OnEvents = [&] {
            run.State.Counters.LastProgressTick = TickCount() - 1000;
            // The folder is read in one piece before the first look at the clock.
            if (!removed)
                removed = ::unlink(tree.bytes("A/f400").constData()) == 0;
        };
        run.State.Counters = TRunCounters();
        run.State.Counters.LastProgressTick = TickCount() - 1000;
        run.list(settingsFor(namesOnly()), tree.location(), false);
        QVERIFY(removed);
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.State.Counters.FileCount, 599);
        QCOMPARE(run.State.Counters.TotalSize, total);
    }

    void missingLocation_data()
    {
        QTest::addColumn<bool>("skip");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("shown as empty") << false << QStringList{u"Folder\t/"_s};
        QTest::newRow("taken out") << true << QStringList();
    }
    void missingLocation()
    {
        QFETCH(bool, skip);
        QFETCH(QStringList, expected);
        TTree tree;
        QVERIFY(tree.isValid());
        const QString location = tree.root() + u"missing/";
        TRun run;
        run.list(settingsFor(TListStyle{.Preset = CustomPreset, .IsSkip = skip}), location);
        QCOMPARE(run.lines(), expected);
        QCOMPARE(run.Unreadable, QStringList{location});
        QCOMPARE(run.State.Counters.FileCount, 0);
    }

    void rootFolder_data()
    {
        QTest::addColumn<int>("base");
        QTest::addColumn<QString>("line");
        QTest::newRow("Name") << 1 << u"/"_s;
        QTest::newRow("Name/") << 2 << u"/"_s;
        QTest::newRow("<Name>") << 3 << u"</>"_s;
        QTest::newRow("Folder + Name") << 5 << u"Folder\t/"_s;
        QTest::newRow("Relative path") << 6 << u"/"_s;
        QTest::newRow("<Relative path>") << 7 << u"</>"_s;
        QTest::newRow("Full path") << 10 << u"/"_s;
    }
    void rootFolder()
    {
        QFETCH(int, base);
        QFETCH(QString, line);
        // One level, no file listed (an empty list-only mask text), so only "/" is read.
        TSettings settings = settingsFor(
            TListStyle{.Preset = CustomPreset, .IsNewLine = false, .IsSkip = false, .Base = base},
            17);
        settings.FilterMask[17].clear();
        settings.IsMaxDepth = true;
        settings.MaxDepth = 1;
        TRun run;
        run.list(settings, u"/"_s);
        QCOMPARE(run.lines(), QStringList{line});
        QCOMPARE(run.Lines.PathOf(0), u"/"_s);
    }

    void filterOutOfRange_data()
    {
        QTest::addColumn<int>("filter");
        QTest::newRow("-1") << -1;
        QTest::newRow("21") << 21;
        QTest::newRow("int max") << INT_MAX;
        QTest::newRow("int min") << INT_MIN;
    }
    void filterOutOfRange()
    {
        QFETCH(int, filter);
        TTree tree;
        QVERIFY(tree.isValid() && tree.add(WorkedExample));
        TSettings settings = settingsFor(TListStyle{.Preset = CustomPreset});
        settings.Filter = filter;
        TTestLines target;
        TWalkReporter silent;
        TWalkState state;
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed,
                                 ListLocation(settings, tree.location(), target, silent, state));
        QCOMPARE(target.LineCount(), 0);
        QCOMPARE(target.PathOf(0), QString());
    }
};

QTEST_GUILESS_MAIN(TestFolderWalker)
#include "tst_folder_walker.moc"
