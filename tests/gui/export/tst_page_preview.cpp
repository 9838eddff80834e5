#include "core/output/html_export.h"
#include "gui/desktop/desktop.h"
#include "gui/export/list_page_document.h"
#include "gui/export/page_preview.h"

#include "test_support.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace dirka;
using namespace testsupport;

namespace {

const QByteArray Head =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"\r\n"
    "    \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\r\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\">\r\n<head>\r\n"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\" />\r\n"
    "<title>File List</title>\r\n"
    "<meta name=\"generator\" content=\"Dirka 2.1.0.37; https://x.example/\" />\r\n"
    "</head>\r\n<body>\r\n<pre>\r\n";
const QByteArray Tail =
    "</pre>\r\n<hr /><small>Generated with <a href=\"https://x.example/us_Dirka.html\">"
    "Dirka - Create file list</a>.</small>\r\n</body>\r\n</html>\r\n\r\n";

QByteArray pageOf(const QByteArrayList& lines, const QByteArray& head = Head)
{
    QByteArray page = head;
    for (const QByteArray& line : lines)
        page += line + "\r\n";
    return page + Tail;
}

QString propertiesText(const QTextFormat& format)
{
    QStringList out;
    const auto all = format.properties();
    for (auto p = all.begin(); p != all.end(); ++p) {
        const QVariant& value = p.value();
        out << QString::number(p.key()) + u'=' +
                   (value.typeId() == QMetaType::QBrush ? value.value<QBrush>().color().name()
                                                        : value.toString());
    }
    return out.join(u' ');
}

// Every block with its formats, and every fragment with its text and format, so two documents
// compare as the view would show them.
QStringList describe(const QTextDocument& doc)
{
    QStringList out;
    for (QTextBlock block = doc.firstBlock(); block.isValid(); block = block.next()) {
        out << u"block " + propertiesText(block.blockFormat()) + u" / " +
                   propertiesText(block.charFormat());
        for (auto it = block.begin(); !it.atEnd(); ++it)
            out << u"  [" + it.fragment().text() + u"] " +
                       propertiesText(it.fragment().charFormat());
    }
    return out;
}

QStringList parsedByQt(const QByteArray& page)
{
    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(page));
    return describe(doc);
}

QStringList loadedFast(const QByteArray& page, qsizetype maxLines = MaxShownPageLines)
{
    QTextDocument doc;
    if (!LoadListPage(doc, page, maxLines))
        return {QStringLiteral("<not loaded>")};
    return describe(doc);
}

} // namespace

class TestPagePreview : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadsAsTheParserDoes_data()
    {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("plain lines") << QByteArrayList{"a", "b", "c"};
        QTest::newRow("links, blanks and a marker")
            << QByteArrayList{":: <a href=\"file:///m/\">/m/</a>",
                              "    Rock/",
                              "        <a href=\"Rock/a%20b.mp3\">a b.mp3</a>",
                              "\t<a href=\"x\">tab</a>",
                              "",
                              "Files: 2",
                              "<a href=\"y\">last</a>"};
        QTest::newRow("entities") << QByteArrayList{"&lt;&amp;&gt;", "x &amp; y &lt;z&gt; \"q\"",
                                                    "<a href=\"a&amp;b&quot;&#9;c\">&amp;</a>",
                                                    "&#8364; &#x20AC;", "end"};
        QTest::newRow("non-ASCII") << QByteArrayList{
            "\xC5\xBC\xC3\xB3\xC5\x82w", "\xF0\x9F\x98\x80 <a href=\"%F0%9F\">\xE2\x82\xAC</a>",
            "\xEF\xBF\xBD", ""};
        QTest::newRow("empty first and last") << QByteArrayList{"", "mid", "", ""};
    }
    void loadsAsTheParserDoes()
    {
        QFETCH(QByteArrayList, lines);
        const QByteArray page = pageOf(lines);
        QCOMPARE(loadedFast(page), parsedByQt(page));
    }

    // A page the export wrote, from a result with links of every kind.
    void loadsAnExportedPage()
    {
        TResultText result;
        addLine(result, u":: /m/", u"/m/");
        addLine(result, u"    Rock/", u"/m/Rock/");
        addLine(result, u"        a&b <1>.mp3\t3 KB", u"/m/Rock/a&b <1>.mp3");
        addLine(result, u"");
        addLine(result, u"Files: 1");
        THtmlExportOptions options;
        options.Lines = &result;
        options.ListedLocation = QStringLiteral("/m/");
        options.Prefix = QStringLiteral("x \"y\"\tz/");
        options.IsLinkFolders = true;
        options.SiteRoot = QStringLiteral("https://x.example/");
        const QByteArray page = BuildHtmlPage(options);
        QCOMPARE(loadedFast(page), parsedByQt(page));
    }

    void cutsALongPage()
    {
        const QByteArray page = pageOf({"a", "<a href=\"b\">b</a>", "c", "d", "e"});
        const QByteArray expected =
            pageOf({"a", "<a href=\"b\">b</a>", "c",
                    "[The view ends here: it shows the first 3 of 5 lines. The file holds them "
                    "all.]"});
        QCOMPARE(loadedFast(page, 3), parsedByQt(expected));
    }

    // Keys to the window: Ctrl+End reaches the page's end, Ctrl+Home its start.
    void controlEndAndHome()
    {
        QByteArrayList lines;
        for (int i = 0; i < 500; ++i)
            lines << "line " + QByteArray::number(i);
        TTempTree dir;
        QVERIFY(dir.makeFile("p.html", pageOf(lines)));
        TPagePreview preview;
        preview.resize(300, 200);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        QApplication::setActiveWindow(&preview);
        preview.ShowPage(dir.path("p.html"));
        preview.setFocus();
        QScrollBar* bar = preview.verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QTest::keyClick(preview.windowHandle(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(bar->value(), bar->maximum());
        QTest::keyClick(preview.windowHandle(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(bar->value(), 0);
    }

    void leavesOtherPagesToTheParser_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::newRow("another generator")
            << pageOf({"a", "b", "c"}, QByteArray(Head).replace("Dirka", "Other"));
        QTest::newRow("two lines") << pageOf({"a", "b"});
        QTest::newRow("another element") << pageOf({"a", "<b>b</b>", "c"});
        QTest::newRow("unknown entity") << pageOf({"a", "&nbsp;", "c"});
        QTest::newRow("text after a link") << pageOf({"a", "<a href=\"x\">x</a> y", "c"});
        QTest::newRow("no block") << QByteArray(Head).replace("<pre>", "<div>") + "a\r\nb\r\nc\r\n";
    }
    void leavesOtherPagesToTheParser()
    {
        QFETCH(QByteArray, page);
        QTextDocument doc;
        QVERIFY(!LoadListPage(doc, page, MaxShownPageLines));
    }

    void reportsProgressEvery1024Lines()
    {
        QByteArrayList lines;
        for (int i = 0; i < 3000; ++i)
            lines << QByteArray::number(i);
        QList<qsizetype> seen;
        QTextDocument doc;
        QVERIFY(LoadListPage(doc, pageOf(lines), MaxShownPageLines,
                             [&](qsizetype done, qsizetype total) { seen << done << total; }));
        QCOMPARE(seen, (QList<qsizetype>{0, 3000, 1024, 3000, 2048, 3000, 3000, 3000}));
    }

    // Pages open inside the view with Back; files, folders and web addresses go outside.
    void followsLinks()
    {
        TTempTree tree;
        QVERIFY(tree.makeFile("list.html", pageOf({"<a href=\"other%20page.html\">next</a>",
                                                   "<a href=\"song.mp3\">song</a>",
                                                   "<a href=\"http://h.example/\">web</a>"})));
        QVERIFY(tree.makeFile("other page.html", QByteArray("<html><body>second</body></html>")));
        QVERIFY(tree.makeFile("song.mp3", QByteArray("ID3")));
        TPagePreview view;
        QStringList outside;
        view.SetOpenOutside([&](const QString& target) { outside << target; });
        QSignalSpy back(&view, &QTextBrowser::backwardAvailable);
        view.ShowPage(tree.path("list.html"));
        QVERIFY(view.toPlainText().contains(u"next\nsong\nweb"));
        QVERIFY(!view.isBackwardAvailable());

        const QUrl base = FileUrl(tree.path("list.html"));
        Q_EMIT view.anchorClicked(base.resolved(QUrl(QStringLiteral("song.mp3"))));
        Q_EMIT view.anchorClicked(QUrl(QStringLiteral("http://h.example/")));
        QCOMPARE(outside,
                 (QStringList{tree.path("song.mp3"), QStringLiteral("http://h.example/")}));
        QCOMPARE(view.source(), base);

        Q_EMIT view.anchorClicked(base.resolved(QUrl(QStringLiteral("other%20page.html"))));
        QCOMPARE(view.toPlainText(), QStringLiteral("second"));
        QVERIFY(view.isBackwardAvailable());
        view.backward();
        QVERIFY(view.toPlainText().contains(u"next\nsong\nweb"));
        QVERIFY(!view.isBackwardAvailable());
        QCOMPARE(back.last().first().toBool(), false);
    }

    // A tab reaches the next multiple of eight characters, in pages the view loads itself and
    // in pages Qt's parser reads.
    void tabsStopEveryEightCharacters_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("exported page") << Head;
        QTest::newRow("other page") << QByteArray(Head).replace("Dirka", "Other");
    }
    void tabsStopEveryEightCharacters()
    {
        QFETCH(QByteArray, head);
        TTempTree tree;
        QVERIFY(tree.makeFile(
            "p.html", pageOf({"a\tX", "12345678X", "123456789\tX", "1234567890123456X"}, head)));
        TPagePreview view;
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.ShowPage(tree.path("p.html"));
        const auto xOfX = [&view](int line) {
            const QTextBlock block = view.document()->findBlockByNumber(line);
            QTextCursor cursor(block);
            cursor.setPosition(block.position() + int(block.text().indexOf(u'X')));
            return view.cursorRect(cursor).left();
        };
        const int first = view.document()->find(QStringLiteral("a\tX")).blockNumber();
        QVERIFY(first >= 0);
        QCOMPARE(xOfX(first), xOfX(first + 1));
        QCOMPARE(xOfX(first + 2), xOfX(first + 3));
        QVERIFY(xOfX(first + 2) > xOfX(first));
    }

    // The same address shows the file as it is now, and Back has nothing to go to.
    void showsARewrittenPage()
    {
        TTempTree tree;
        QVERIFY(tree.makeFile("p.html", pageOf({"one", "two", "three"})));
        TPagePreview view;
        view.ShowPage(tree.path("p.html"));
        QVERIFY(tree.makeFile("p.html", pageOf({"four", "five", "six"})));
        view.ShowPage(tree.path("p.html"));
        QVERIFY(view.toPlainText().contains(u"four\nfive\nsix"));
        QVERIFY(!view.isBackwardAvailable());
        view.ShowNothing();
        QCOMPARE(view.toPlainText(), QString());
    }
};

QTEST_MAIN(TestPagePreview)
#include "tst_page_preview.moc"
