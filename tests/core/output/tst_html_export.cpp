#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/output/html_export.h"
#include "core/system/program_info.h"
#include "core/system/web_addresses.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QFile>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>
#include <stdexcept>

using namespace dirka;
using namespace testsupport;

namespace {

THtmlExportOptions options(const TResultText& result)
{
    THtmlExportOptions o;
    o.Lines = &result;
    o.ListedLocation = QStringLiteral("/Music/");
    o.SiteRoot = QStringLiteral("https://www.pelmora.example/");
    o.FileVersion = QStringLiteral("2.1.0.37");
    o.LanguageCode = QStringLiteral("pl");
    o.Created = QDate(2024, 6, 1);
    return o;
}

const QByteArray Header =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"\r\n"
    "    \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\r\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en-US\" lang=\"en-US\">\r\n"
    "<head>\r\n"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\" />\r\n"
    "<title>File List</title>\r\n"
    "<meta name=\"created\" content=\"2024-06-01T\" />\r\n"
    "<meta name=\"generator\" content=\"Dirka 2.1.0.37; https://www.pelmora.example/\" />\r\n"
    "</head>\r\n"
    "<body>\r\n"
    "<pre>\r\n";

const QByteArray Footer = "</pre>\r\n"
                          "<hr /><small>Generated with <a "
                          "href=\"https://www.pelmora.example/pl_Dirka.html\">Dirka - Create file "
                          "list</a>.</small>\r\n"
                          "</body>\r\n"
                          "</html>\r\n"
                          "\r\n";

struct TParsedLink {
    QString Address;
    QString Text;
};

// Parses the page as XML; answers the links in page order, or the parser's complaint.
QList<TParsedLink> parseLinks(const QByteArray& page, QString& error)
{
    QList<TParsedLink> links;
    QXmlStreamReader reader(page);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"a") {
            const QString address = reader.attributes().value(QLatin1StringView("href")).toString();
            links.append({address, reader.readElementText()});
        }
    }
    if (reader.hasError())
        error = reader.errorString() + u" at line " + QString::number(reader.lineNumber());
    return links;
}

} // namespace

class TestHtmlExport : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void frameOfEmptyResult()
    {
        const TResultText result;
        QCOMPARE(BuildHtmlPage(options(result)), Header + Footer);
    }

    void frameTakesSiteRootAndLanguage()
    {
        const TResultText result;
        THtmlExportOptions o = options(result);
        o.SiteRoot = QStringLiteral("http://127.0.0.1:8080/?a&b/");
        o.LanguageCode = QStringLiteral("us");
        o.FileVersion = QStringLiteral("9.8.7.6");
        o.Created = QDate(1999, 12, 31);
        const QByteArray page = BuildHtmlPage(o);
        QVERIFY(page.contains("<meta name=\"created\" content=\"1999-12-31T\" />\r\n"));
        QVERIFY(page.contains("content=\"Dirka 9.8.7.6; http://127.0.0.1:8080/?a&amp;b/\" />"));
        QVERIFY(page.contains("href=\"http://127.0.0.1:8080/?a&amp;b/us_Dirka.html\">"));
    }

    void items_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("linkFolders");
        QTest::addColumn<QByteArray>("item");
        const QString song = QStringLiteral("    song.mp3");
        const QString songPath = QStringLiteral("/Music/Rock/song.mp3");
        const QString music = QStringLiteral("/Music/");
        const QString none;

        QTest::newRow("relative, empty prefix")
            << song << songPath << music << true << none << false
            << QByteArray("    <a href=\"Rock/song.mp3\">song.mp3</a>");
        QTest::newRow("relative, prefix /")
            << song << songPath << music << true << QStringLiteral("/") << false
            << QByteArray("    <a href=\"/Rock/song.mp3\">song.mp3</a>");
        QTest::newRow("relative, web server")
            << song << songPath << music << true << QStringLiteral("http://host/") << false
            << QByteArray("    <a href=\"http://host/Rock/song.mp3\">song.mp3</a>");
        QTest::newRow("relative, http://")
            << song << songPath << music << true << QStringLiteral("http://") << false
            << QByteArray("    <a href=\"http://Rock/song.mp3\">song.mp3</a>");
        QTest::newRow("relative, file:///")
            << song << songPath << music << true << QStringLiteral("file:///") << false
            << QByteArray("    <a href=\"file:///Rock/song.mp3\">song.mp3</a>");
        QTest::newRow("full") << song << songPath << music << false << QStringLiteral("x/") << false
                              << QByteArray(
                                     "    <a href=\"file:///Music/Rock/song.mp3\">song.mp3</a>");
        QTest::newRow("outside the listed location")
            << song << QStringLiteral("/Musical/song.mp3") << music << true << none << false
            << QByteArray("    <a href=\"file:///Musical/song.mp3\">song.mp3</a>");
        QTest::newRow("no listed location")
            << song << songPath << none << true << QStringLiteral("/") << false
            << QByteArray("    <a href=\"file:///Music/Rock/song.mp3\">song.mp3</a>");

        const QString rock = QStringLiteral("\tRock/");
        const QString rockPath = QStringLiteral("/Music/Rock/");
        QTest::newRow("folder, link folders off")
            << rock << rockPath << music << true << none << false << QByteArray("\tRock/");
        QTest::newRow("folder, link folders on")
            << rock << rockPath << music << true << none << true
            << QByteArray("\t<a href=\"Rock/\">Rock/</a>");
        QTest::newRow("location line, off") << QStringLiteral(":: /Music/") << music << music
                                            << true << none << false << QByteArray(":: /Music/");
        QTest::newRow("location line, relative")
            << QStringLiteral(":: /Music/") << music << music << true << none << true
            << QByteArray(":: <a href=\"./\">/Music/</a>");
        QTest::newRow("location line, prefix")
            << QStringLiteral(":: /Music/") << music << music << true
            << QStringLiteral("http://host/") << true
            << QByteArray(":: <a href=\"http://host/\">/Music/</a>");
        QTest::newRow("location line, full")
            << QStringLiteral(":: /Music/") << music << music << false << none << true
            << QByteArray(":: <a href=\"file:///Music/\">/Music/</a>");

        QTest::newRow("blanks and marker outside")
            << QStringLiteral(" \t :: a.txt") << QStringLiteral("/Music/a.txt") << music << true
            << none << false << QByteArray(" \t :: <a href=\"a.txt\">a.txt</a>");
        QTest::newRow("no space after the colons")
            << QStringLiteral("  ::x.txt") << QStringLiteral("/Music/::x.txt") << music << true
            << none << false << QByteArray("  <a href=\"%3A%3Ax.txt\">::x.txt</a>");
        QTest::newRow("marker only once")
            << QStringLiteral(":: :: y.txt") << QStringLiteral("/Music/:: y.txt") << music << true
            << none << false << QByteArray(":: <a href=\"%3A%3A%20y.txt\">:: y.txt</a>");
        QTest::newRow("link with empty text")
            << QStringLiteral("  ") << QStringLiteral("/Music/z.txt") << music << true << none
            << false << QByteArray("  <a href=\"z.txt\"></a>");
        QTest::newRow("no item, escaped")
            << QStringLiteral("Files: 3 & <dirs> \"q\"") << none << music << true << none << true
            << QByteArray("Files: 3 &amp; &lt;dirs&gt; \"q\"");

        QTest::newRow("ampersand")
            << QStringLiteral("a&b.mp3") << QStringLiteral("/Music/a&b.mp3") << music << true
            << none << false << QByteArray("<a href=\"a&amp;b.mp3\">a&amp;b.mp3</a>");
        QTest::newRow("encoded characters")
            << QStringLiteral("<\"#%: x?>.mp3") << QStringLiteral("/Music/<\"#%: x?>.mp3") << music
            << true << none << false
            << QByteArray("<a href=\"%3C%22%23%25%3A%20x%3F%3E.mp3\">&lt;\"#%: x?&gt;.mp3</a>");
        QTest::newRow("kept characters")
            << QStringLiteral("-._~!$'()*+,;=@") << QStringLiteral("/Music/-._~!$'()*+,;=@")
            << music << true << none << false
            << QByteArray("<a href=\"-._~!$'()*+,;=@\">-._~!$'()*+,;=@</a>");
        QTest::newRow("backslash is a character")
            << QStringLiteral("a\\b") << QStringLiteral("/Music/a\\b") << music << true << none
            << false << QByteArray("<a href=\"a%5Cb\">a\\b</a>");
        QTest::newRow("non-ascii")
            << u16(u"za\u017C\u00F3\u0142\u0107.mp3")
            << u16(u"/Music/za\u017C\u00F3\u0142\u0107.mp3") << music << true << none << false
            << QByteArray("<a href=\"za%C5%BC%C3%B3%C5%82%C4%87.mp3\">"
                          "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87.mp3</a>");
        QTest::newRow("emoji") << u16(u"\U0001F600.ogg") << u16(u"/Music/\U0001F600.ogg") << music
                               << false << none << false
                               << QByteArray("<a href=\"file:///Music/%F0%9F%98%80.ogg\">"
                                             "\xF0\x9F\x98\x80.ogg</a>");
        QTest::newRow("undecodable name")
            << u16(u"caf\uFFFD.mp3") << DecodeFileName(QByteArray("/Music/caf\xE9.mp3")) << music
            << true << none << false
            << QByteArray("<a href=\"caf%E9.mp3\">caf\xEF\xBF\xBD.mp3</a>");
        QTest::newRow("prefix escaped for the attribute")
            << QStringLiteral("a.mp3") << QStringLiteral("/Music/a.mp3") << music << true
            << u16(u"h/?a=1&b=\"<\u00E9>\"\t") << false
            << QByteArray("<a href=\"h/?a=1&amp;b=&quot;&lt;\xC3\xA9&gt;&quot;&#9;a.mp3\">"
                          "a.mp3</a>");
        QTest::newRow("long name, escapes in every part")
            << QStringLiteral("    a long name & <tag> with spaces.mp3")
            << QStringLiteral("/Music/Rock/a long name & <tag> with spaces.mp3") << music << true
            << none << false
            << QByteArray(
                   "    <a href=\"Rock/a%20long%20name%20&amp;%20%3Ctag%3E%20with%20spaces.mp3\">"
                   "a long name &amp; &lt;tag&gt; with spaces.mp3</a>");
        QTest::newRow("escape in the last byte after sixteen")
            << QStringLiteral("0123456789abcdefgh&") << QStringLiteral("/Music/0123456789abcdefgh&")
            << music << true << none << false
            << QByteArray("<a href=\"0123456789abcdefgh&amp;\">0123456789abcdefgh&amp;</a>");
        QTest::newRow("escapes in the last bytes after sixteen")
            << QStringLiteral("0123456789abcdefghij k>")
            << QStringLiteral("/Music/0123456789abcdefghij k>") << music << true << none << false
            << QByteArray("<a href=\"0123456789abcdefghij%20k%3E\">0123456789abcdefghij k&gt;</a>");
        QTest::newRow("sixteen bytes, the last escaped")
            << QStringLiteral("abcdefghijklmno ") << QStringLiteral("/Music/abcdefghijklmno ")
            << music << true << none << false
            << QByteArray("<a href=\"abcdefghijklmno%20\">abcdefghijklmno </a>");
        QTest::newRow("controls and tab after sixteen")
            << u16(u"0123456789abcdefgh\x01\t<") << QStringLiteral("/Music/x") << music << true
            << none << false
            << QByteArray("<a href=\"x\">0123456789abcdefgh\xEF\xBF\xBD\t&lt;</a>");
        QTest::newRow("long full path, non-ascii")
            << u16(u"/Music/Rock/za\u017C\u00F3\u0142\u0107 long name.mp3")
            << u16(u"/Music/Rock/za\u017C\u00F3\u0142\u0107 long name.mp3") << music << false
            << none << false
            << QByteArray(
                   "<a href=\"file:///Music/Rock/za%C5%BC%C3%B3%C5%82%C4%87%20long%20name.mp3\">"
                   "/Music/Rock/za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 long name.mp3</a>");
        QTest::newRow("units that are no XML characters")
            << u16(u"a\uFFFE\uFFFF\xD800\x01\x1F\tb") << none << music << true << none << false
            << QByteArray("a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\tb");
    }
    void items()
    {
        QFETCH(QString, line);
        QFETCH(QString, path);
        QFETCH(QString, listed);
        QFETCH(bool, relative);
        QFETCH(QString, prefix);
        QFETCH(bool, linkFolders);
        QFETCH(QByteArray, item);
        TResultText result;
        addLine(result, line, path);
        THtmlExportOptions o = options(result);
        o.ListedLocation = listed;
        o.IsRelative = relative;
        o.Prefix = prefix;
        o.IsLinkFolders = linkFolders;
        QCOMPARE(BuildHtmlPage(o), Header + item + "\r\n" + Footer);

        // The same from the path's bytes and, for an ASCII line, the line's bytes.
        if (path.isEmpty())
            return;
        const bool ascii =
            std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() < 0x80; });
        const THtmlPageEncoder page(o);
        QByteArray out;
        page.AppendLine(out, line, path, EncodeFileName(path),
                        ascii ? line.toLatin1() : QByteArray());
        QCOMPARE(out, item + "\r\n");
    }

    // Every tricky name, as a relative and a full link: the page parses, and the parser reads
    // back each address and each link text exactly.
    void pageIsWellFormed_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("relative") << true << u16(u"http://h/?q=\"&<>\u00E9");
        QTest::newRow("full") << false << QString();
    }
    void pageIsWellFormed()
    {
        QFETCH(bool, relative);
        QFETCH(QString, prefix);
        const QString location = QStringLiteral("/tmp/a&b <\"c\">/");
        const QList<QString> names = {
            u16(u"&amp;.txt"),  u16(u"<b>.txt"),    u16(u"\"q\".txt"),        u16(u"#1.txt"),
            u16(u"100%.txt"),   u16(u"a:b.txt"),    u16(u"a b.txt"),          u16(u"]]>.txt"),
            u16(u"\u00E9.txt"), u16(u"\U0001F600"), u16(u"\u65E5\u672C.txt"), u16(u"'.txt"),
        };
        TResultText result;
        addLine(result, QString(u":: " + location), location);
        QList<TParsedLink> expected{{LinkAddress(location, location, relative, prefix), location}};
        for (const QString& name : names) {
            const QString path = location + name;
            addLine(result, QString(u"\t" + name), path);
            expected.append({LinkAddress(path, location, relative, prefix), name});
        }
        const QString undecodable = location + DecodeFileName(QByteArray("x\xFF\xC3.txt"));
        addLine(result, u"\tx\uFFFD\uFFFD.txt", undecodable);
        expected.append(
            {LinkAddress(undecodable, location, relative, prefix), u16(u"x\uFFFD\uFFFD.txt")});
        addLine(result, u"Files: 14 & <more>");

        THtmlExportOptions o = options(result);
        o.ListedLocation = location;
        o.IsRelative = relative;
        o.Prefix = prefix;
        o.IsLinkFolders = true;
        QString error;
        const QList<TParsedLink> links = parseLinks(BuildHtmlPage(o), error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(links.size(), expected.size() + 1); // the footer link
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(links[i].Address, expected[i].Address);
            QCOMPARE(links[i].Text, expected[i].Text);
        }
        QCOMPARE(LinkAddress(QString(location + u"a b.txt"), location, false, {}),
                 QStringLiteral("file:///tmp/a&b%20%3C%22c%22%3E/a%20b.txt"));
    }

    void progressEvery1024Lines()
    {
        TResultText result;
        for (int i = 0; i < 2049; ++i)
            addLine(result, u"x", u"/Music/x");
        THtmlExportOptions o = options(result);
        QList<qsizetype> calls;
        o.Progress = [&](qsizetype line) { calls.append(line); };
        BuildHtmlPage(o);
        QCOMPARE(calls, (QList<qsizetype>{0, 1024, 2048}));
    }

    void exportWritesPage()
    {
        TResultText result;
        addLine(result, u"a.txt", u"/Music/a.txt");
        TTempTree dir;
        const QString target = dir.path("list.html");
        QVERIFY(dir.makeFile("list.html", QByteArray(5000, 'o')));
        const THtmlExport exported = ExportHtmlPage(target, options(result));
        QVERIFY2(exported.Ok(), qPrintable(exported.ErrorText));
        QCOMPARE(readAll(target), BuildHtmlPage(options(result)));
    }

    void exportErrors()
    {
        TResultText result;
        TTempTree dir;
        const QString target = dir.path("missing/list.html");
        THtmlExport exported = ExportHtmlPage(target, options(result));
        QCOMPARE(exported.Stage, THtmlStage::Write);
        QVERIFY(!exported.Written);
        QCOMPARE(exported.ErrorText, u"Error #4022/30. Problem during HTML export.\r\n" + target +
                                         u": No such file or directory");
        THtmlExportOptions noLines = options(result);
        noLines.Lines = nullptr;
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, BuildHtmlPage(noLines));
        // A programming error is not an export problem: it goes on to the error report.
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, ExportHtmlPage(target, noLines));
    }

    // A failing hook ends the export at its own stage; the file is kept only from Write on.
    void exportStages_data()
    {
        QTest::addColumn<int>("failing");
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("calls");
        QTest::newRow("none") << 0 << int(THtmlStage::Preview) << true << "show preview ";
        QTest::newRow("show") << 20 << int(THtmlStage::Show) << false << "show ";
        QTest::newRow("preview") << 40 << int(THtmlStage::Preview) << true << "show preview ";
    }
    void exportStages()
    {
        QFETCH(int, failing);
        QFETCH(int, stage);
        QFETCH(bool, written);
        QFETCH(QString, calls);
        TResultText result;
        addLine(result, u"a.txt", u"/Music/a.txt");
        TTempTree dir;
        const QString target = dir.path("list.html");
        QVERIFY(dir.makeFile("list.html", "old"));
        QString called;
        QByteArray shown;
        THtmlExportHooks hooks;
        hooks.Show = [&](const QByteArray& page) {
            called += u"show ";
            shown = page;
            if (failing == 20)
                throw std::runtime_error("no view");
        };
        hooks.Preview = [&] {
            called += u"preview ";
            // The file is complete when the preview reads it.
            QCOMPARE(readAll(target), shown);
            if (failing == 40)
                throw std::runtime_error("no preview");
        };
        const THtmlExport exported = ExportHtmlPage(target, options(result), hooks);
        QCOMPARE(called, calls);
        QCOMPARE(int(exported.Stage), stage);
        QCOMPARE(exported.Written, written);
        QCOMPARE(readAll(target), written ? BuildHtmlPage(options(result)) : QByteArray("old"));
        if (failing)
            QVERIFY(exported.ErrorText.startsWith(
                QStringLiteral("Error #4022/%1. Problem during HTML export.\r\nno ").arg(stage)));
        else
            QVERIFY(exported.Ok());
    }

    void pageOptionsCarryTheProgramsFacts()
    {
        const THtmlExportOptions o =
            HtmlPageOptions(QStringLiteral("/m/"), true, QStringLiteral("http://h/"), true);
        QCOMPARE(o.ListedLocation, u"/m/");
        QVERIFY(o.IsRelative && o.IsLinkFolders);
        QCOMPARE(o.Prefix, u"http://h/");
        QCOMPARE(o.SiteRoot, SiteRoot());
        QCOMPARE(o.FileVersion, Info().VersionInfo.FileVersion);
        QCOMPARE(o.LanguageCode, Info().LanguageCode);
        QCOMPARE(o.Created, QDate::currentDate());
        QCOMPARE(o.Lines, nullptr);
    }

    void examplePath_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first file with an extension")
            << QStringList{QString(), u"/m/a.b/"_qs, u"/m/a.b/README"_qs, u"/m/x.txt"_qs,
                           u"/m/y.txt"_qs}
            << u"/m/x.txt"_qs;
        QTest::newRow("hidden name counts") << QStringList{u"/m/.profile"_qs} << u"/m/.profile"_qs;
        QTest::newRow("none") << QStringList{QString(), u"/m/"_qs, u"/m/Makefile"_qs} << QString();
        QTest::newRow("empty result") << QStringList{} << QString();
    }
    void examplePath()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, expected);
        TResultText result;
        for (const QString& path : paths)
            addLine(result, u"line", path);
        QCOMPARE(ExamplePathOf(result), expected);
    }

    void exampleAddress_data()
    {
        QTest::addColumn<QString>("examplePath");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("expected");
        const QString path = QStringLiteral("/m/Rock/a b&c.mp3");
        QTest::newRow("relative") << path << true << u"http://h/"_qs
                                  << u"http://h/Rock/a%20b&c.mp3"_qs;
        QTest::newRow("relative, no prefix") << path << true << QString() << u"Rock/a%20b&c.mp3"_qs;
        QTest::newRow("full") << path << false << u"x"_qs << u"file:///m/Rock/a%20b&c.mp3"_qs;
        QTest::newRow("outside the location")
            << u"/n/a.mp3"_qs << true << u"/"_qs << u"file:///n/a.mp3"_qs;
        QTest::newRow("no example, relative") << QString() << true << u"pre/"_qs << u"pre/"_qs;
        QTest::newRow("no example, full") << QString() << false << u"pre/"_qs << u"file:///"_qs;
    }
    void exampleAddress()
    {
        QFETCH(QString, examplePath);
        QFETCH(bool, relative);
        QFETCH(QString, prefix);
        QFETCH(QString, expected);
        QCOMPARE(ExampleAddress(examplePath, u"/m/", relative, prefix), expected);
    }
};

QTEST_GUILESS_MAIN(TestHtmlExport)
#include "tst_html_export.moc"
