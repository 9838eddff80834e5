// The command line's arguments read as a function: the mode, every value of --list, or the
// refusal's message, without starting the program.
#include "cli/command_parser.h"

#include <QTest>

using namespace dirka;

namespace {

// The parsed command as one line of text, so each row states its whole expectation.
QString described(const std::variant<TParsedCommand, TUsageError>& parsed)
{
    if (const auto* error = std::get_if<TUsageError>(&parsed))
        return u"error: " + error->Message;
    const TParsedCommand& command = std::get<TParsedCommand>(parsed);
    switch (command.Mode) {
    case TCommandMode::Window:
        return QStringLiteral("window");
    case TCommandMode::Help:
        return QStringLiteral("help");
    case TCommandMode::Version:
        return QStringLiteral("version");
    case TCommandMode::List:
    case TCommandMode::Compare:
        break;
    }
    const TListCommand& c = command.List;
    QString text = command.Mode == TCommandMode::Compare
                       ? QString(u"compare " + c.Location + u" with " + c.CompareWith)
                       : QString(u"list " + c.Location);
    for (const auto& [name, value] : c.Sets)
        text += u" set " + name + u'=' + value;
    if (!c.OutputFile.isEmpty())
        text += QStringLiteral(" output %1 code %2").arg(c.OutputFile).arg(c.OutputEncoding);
    if (!c.PlaylistFile.isEmpty())
        text += u" m3u8 " + c.PlaylistFile;
    if (!c.PageFile.isEmpty())
        text += u" html " + c.PageFile + (c.PageFullLinks ? u" full" : u"") + u" prefix '" +
                c.PagePrefix + u"'" + (c.PageLinkFolders ? u" folders" : u"");
    if (!c.CsvFile.isEmpty())
        text += u" csv " + c.CsvFile + (c.CsvRaw ? u" raw" : u"");
    if (!c.JsonFile.isEmpty())
        text += u" json " + c.JsonFile;
    return text;
}

} // namespace

class TestCommandParser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString lacksValue = QStringLiteral(
            "error: an option lacks its value (a value may not begin with \"--\": write ./--name "
            "for such a file)");
        const QString pageOnly = QStringLiteral(
            "error: --html-full, --html-prefix and --html-link-folders go with --html");

        QTest::newRow("nothing") << QByteArrayList{} << "window";
        QTest::newRow("a location for the window") << QByteArrayList{"/home"} << "window";
        QTest::newRow("Qt's own option") << QByteArrayList{"-platform", "offscreen"} << "window";
        QTest::newRow("help") << QByteArrayList{"--help"} << "help";
        QTest::newRow("short help") << QByteArrayList{"-h"} << "help";
        QTest::newRow("version") << QByteArrayList{"--version"} << "version";
        QTest::newRow("version with more")
            << QByteArrayList{"--version", "extra"} << "error: --version takes no other argument";
        QTest::newRow("version, then help")
            << QByteArrayList{"--version", "--help"} << "error: --version takes no other argument";
        QTest::newRow("help with more")
            << QByteArrayList{"-h", "x"} << "error: -h takes no other argument";

        QTest::newRow("every option")
            << QByteArrayList{"--list",      "/a|/b",
                              "--set",       "S.Mode=1",
                              "--set",       "T=",
                              "--set",       "S.Mode=0",
                              "--output",    "o.txt",
                              "--encoding",  "utf16",
                              "--m3u8",      "p.m3u8",
                              "--html",      "h.html",
                              "--html-full", "--html-prefix",
                              "x/",          "--html-link-folders"}
            << "list /a|/b set S.Mode=1 set T= set S.Mode=0 output o.txt code 2 m3u8 p.m3u8 "
               "html h.html full prefix 'x/' folders";
        QTest::newRow("options before the location")
            << QByteArrayList{"--output", "o", "--encoding", "utf8", "--list", "/"}
            << "list / output o code 4";
        QTest::newRow("UTF-8 with a mark by default")
            << QByteArrayList{"--list", "/", "--output", "o"} << "list / output o code 5";
        QTest::newRow("a value holding '='")
            << QByteArrayList{"--list", "/", "--set", "FilterMask.18=a=b|"}
            << "list / set FilterMask.18=a=b|";
        QTest::newRow("bytes that are not UTF-8 keep their bytes")
            << QByteArrayList{"--list", "caf\xE9", "--m3u8", "\xFF"}
            << QStringLiteral("list caf%1 m3u8 %2").arg(QChar(0xDCE9), QChar(0xDCFF));
        QTest::newRow("records beside the other outputs")
            << QByteArrayList{"--json", "r.jsonl", "--list", "/", "--csv", "r.csv", "--m3u8", "p"}
            << "list / m3u8 p csv r.csv json r.jsonl";
        QTest::newRow("raw CSV cells")
            << QByteArrayList{"--csv-raw", "--list", "/", "--csv", "r.csv"}
            << "list / csv r.csv raw";
        QTest::newRow("raw CSV cells without CSV")
            << QByteArrayList{"--list", "/", "--json", "r", "--csv-raw"}
            << "error: --csv-raw goes with --csv";
        QTest::newRow("repeated --csv-raw")
            << QByteArrayList{"--list", "/", "--csv", "c", "--csv-raw", "--csv-raw"}
            << "error: an option is given twice";
        QTest::newRow("repeated --csv") << QByteArrayList{"--list", "/", "--csv", "a", "--csv", "b"}
                                        << "error: an option is given twice";
        QTest::newRow("--json without its file")
            << QByteArrayList{"--list", "/", "--json", "--csv", "c"} << lacksValue;

        QTest::newRow("no location")
            << QByteArrayList{"--output", "o"} << "error: --list takes a location";
        QTest::newRow("unknown option")
            << QByteArrayList{"--list", "/", "--frobnicate"} << "error: unknown argument";
        QTest::newRow("last value missing") << QByteArrayList{"--list", "/", "--set"} << lacksValue;
        QTest::newRow("an option taken for a value")
            << QByteArrayList{"--list", "/", "--html", "--html-full"} << lacksValue;
        QTest::newRow("repeated value option")
            << QByteArrayList{"--list", "/", "--m3u8", "a", "--m3u8", "b"}
            << "error: an option is given twice";
        QTest::newRow("repeated switch")
            << QByteArrayList{"--list", "/", "--html", "h", "--html-full", "--html-full"}
            << "error: an option is given twice";
        QTest::newRow("empty file name")
            << QByteArrayList{"--list", "/", "--html", ""} << "error: a file name may not be empty";
        QTest::newRow("set without name")
            << QByteArrayList{"--list", "/", "--set", "=1"} << "error: --set takes NAME=VALUE";
        QTest::newRow("set without '='")
            << QByteArrayList{"--list", "/", "--set", "S.Mode"} << "error: --set takes NAME=VALUE";
        QTest::newRow("unknown encoding")
            << QByteArrayList{"--list", "/", "--output", "o", "--encoding", "latin1"}
            << "error: --encoding takes utf8bom, utf8 or utf16";
        QTest::newRow("encoding without output")
            << QByteArrayList{"--list", "/", "--encoding", "utf8"}
            << "error: --encoding goes with --output";
        QTest::newRow("full links without page")
            << QByteArrayList{"--list", "/", "--html-full"} << pageOnly;
        QTest::newRow("compare") << QByteArrayList{"--compare", "old.jsonl", "/m", "--json", "d"}
                                 << "compare old.jsonl with /m json d";
        QTest::newRow("compare with masks")
            << QByteArrayList{"--set", "Filter=1", "--compare", "a", "b", "--csv", "c"}
            << "compare a with b set Filter=1 csv c";
        QTest::newRow("compare lacks NEW") << QByteArrayList{"--compare", "a"}
                                           << "error: --compare takes two locations, OLD and NEW";
        QTest::newRow("compare, NEW an option")
            << QByteArrayList{"--compare", "a", "--json", "x"}
            << "error: --compare takes two locations, OLD and NEW";
        QTest::newRow("compare and list") << QByteArrayList{"--compare", "a", "b", "--list", "c"}
                                          << "error: --list and --compare go alone";
        QTest::newRow("compare writes no page")
            << QByteArrayList{"--compare", "a", "b", "--html", "p"}
            << "error: --compare writes --csv and --json, not --output, --m3u8 or --html";
        QTest::newRow("prefix without page")
            << QByteArrayList{"--list", "/", "--html-prefix", "x/"} << pageOnly;
        QTest::newRow("empty prefix without page")
            << QByteArrayList{"--list", "/", "--html-prefix", ""} << pageOnly;
        QTest::newRow("linked folders without page")
            << QByteArrayList{"--list", "/", "--html-link-folders"} << pageOnly;
    }
    void parse()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(QString, expected);
        QCOMPARE(described(ParseCommandLine(arguments)), expected);
    }
};

QTEST_GUILESS_MAIN(TestCommandParser)
#include "tst_command_parser.moc"
