#include "core/text/file_names.h"
#include "gui/result_view/drag_content.h"

#include <QMimeData>
#include <QTest>

#include <memory>

using namespace dirka;

namespace {

// Line i shows the item Paths[i]; an empty entry is a line without one.
QStringList Paths;

QString pathOf(int line)
{
    return Paths.value(line);
}

QByteArray encoded(const QList<QUrl>& urls)
{
    QByteArray out;
    for (const QUrl& url : urls)
        out += url.toEncoded() + ' ';
    return out.trimmed();
}

} // namespace

class TestDragContent : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void urls_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QByteArray>("urls");
        const QStringList plain{u":: header"_qs, u"/m/a.txt"_qs, u""_qs, u"/m/b/"_qs};
        QTest::newRow("lines without an item add nothing")
            << plain << 0 << 3 << QByteArray("file:///m/a.txt file:///m/b");
        QTest::newRow("only the selected lines")
            << plain << 1 << 2 << QByteArray("file:///m/a.txt");
        QTest::newRow("no item at all") << plain << 2 << 2 << QByteArray();
        QTest::newRow("bytes that are not UTF-8 as %XX")
            << QStringList{DecodeFileName(QByteArrayLiteral("/m/bad\xFF"))} << 0 << 0
            << QByteArray("file:///m/bad%FF");
        QTest::newRow("characters a URL reserves") << QStringList{u"/m/a b#c%d?e"_qs} << 0 << 0
                                                   << QByteArray("file:///m/a%20b%23c%25d%3Fe");
        QTest::newRow("a line break in a name")
            << QStringList{u"/m/new\nline"_qs} << 0 << 0 << QByteArray("file:///m/new%0Aline");
        QTest::newRow("UTF-8 names percent-encoded")
            << QStringList{u"/m/caf\u00e9"_qs} << 0 << 0 << QByteArray("file:///m/caf%C3%A9");
        QTest::newRow("an item shown twice goes once")
            << QStringList{u"/m/b/"_qs, u"/m/b/"_qs, u"/m/c"_qs} << 0 << 2
            << QByteArray("file:///m/b file:///m/c");
    }
    void urls()
    {
        QFETCH(QStringList, paths);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QByteArray, urls);
        Paths = paths;
        QCOMPARE(encoded(DragUrls(first, last, pathOf)), urls);
    }

    static TCompactText lines(std::initializer_list<QStringView> texts)
    {
        TCompactText text;
        for (const QStringView line : texts)
            text.Append(line);
        return text;
    }

    void mimeData()
    {
        const std::unique_ptr<QMimeData> data(
            DragMimeData({QUrl::fromEncoded("file:///m/a%20b"), QUrl::fromEncoded("file:///m/%FF")},
                         lines({u"a b", u"\uFFFD"})));
        QCOMPARE(data->data(u"text/uri-list"_qs),
                 QByteArray("file:///m/a%20b\r\nfile:///m/%FF\r\n"));
        QCOMPARE(data->text(), u"a b\r\n\uFFFD"_qs);
        // Text alone when the lines show no item.
        const std::unique_ptr<QMimeData> textOnly(DragMimeData({}, lines({u"Files: 2"})));
        QVERIFY(!textOnly->hasUrls());
        QCOMPARE(textOnly->text(), u"Files: 2"_qs);
    }
};

QTEST_GUILESS_MAIN(TestDragContent)
#include "tst_drag_content.moc"
