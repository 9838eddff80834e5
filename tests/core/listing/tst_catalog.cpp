#include "core/listing/catalog.h"
#include "core/listing/catalog_records.h"

#include <QTemporaryDir>
#include <QTest>

using namespace dirka;

namespace {

// The entries of a folder as the walk reads them: name bytes, kind, link flag, size.
QStringList entriesOf(const TCatalog& catalog, std::uint32_t folder)
{
    TFolderContent content = catalog.Content(folder);
    QStringList entries;
    TRawEntry entry;
    while (content.Folder.Next(entry)) {
        const TEntryFacts& facts = content.Facts[entry.Index];
        entries.append(
            QString::fromLatin1(
                QByteArray(entry.Name, qsizetype(entry.NameLength)).toPercentEncoding(" ")) +
            (facts.Kind == TEntryKind::Folder ? u"/" : u"") + (facts.IsLink ? u" link" : u"") +
            (facts.LookedAt ? QString(u' ' + QString::number(facts.Size)) : QStringLiteral(" ?")));
    }
    return entries;
}

} // namespace

class TestCatalog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What one line reads as: exact path bytes, type, folderness, facts, depth; or the problem.
    void records_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("hasFacts");
        QTest::addColumn<qint64>("modified");

        const int file = int(TRecordType::File);
        QTest::newRow("as written")
            << QByteArray(
                   "{\"type\":\"file\",\"path\":\"/m/a.txt\",\"name\":\"a.txt\",\"size\":3,"
                   "\"modified\":\"1970-01-01T01:00:00+01:00\",\"depth\":1,\"hidden\":false}")
            << QString() << QByteArray("/m/a.txt") << file << true << qint64(0);
        QTest::newRow("keys in another order, spaces, unknown keys")
            << QByteArray(" { \"depth\" : 1 , \"x\" : [1] , \"modified\": \"2000-02-29T12:00:00Z\","
                          " \"size\": 5, \"path\": \"/m/b\", \"type\": \"link\" } ")
            << QString() << QByteArray("/m/b") << int(TRecordType::Link) << true
            << qint64(951825600);
        QTest::newRow("bytes that are not UTF-8 come from path_bytes")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/\\ufffd\",\"path_bytes\":\"L20v/"
                          "w==\",\"size\":1,"
                          "\"modified\":null,\"depth\":1}")
            << QString() << QByteArray("/m/\xff") << file << false << qint64(0);
        QTest::newRow("escapes and a pair of surrogates")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/"
                          "\\\"\\\\\\n\\u00e9\\ud83d\\ude00\\ud800\",\"depth\":1}")
            << QString() << QByteArray("/m/\"\\\n\xc3\xa9\xf0\x9f\x98\x80\xef\xbf\xbd") << file
            << false << qint64(0);
        QTest::newRow("a time west of UTC before 1970")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/a\",\"size\":0,"
                          "\"modified\":\"1969-12-31T19:00:00-05:00\",\"depth\":1}")
            << QString() << QByteArray("/m/a") << file << true << qint64(0);
        QTest::newRow("a folder's path ends in the delimiter")
            << QByteArray("{\"type\":\"folder\",\"path\":\"/m/a\",\"depth\":1}") << u"delimiter"_qs
            << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("an unknown type")
            << QByteArray("{\"type\":\"disk\",\"path\":\"/m/a\",\"depth\":1}") << u"\"type\""_qs
            << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("no depth") << QByteArray("{\"type\":\"file\",\"path\":\"/m/a\"}")
                                  << u"\"depth\""_qs << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("a negative size")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/a\",\"size\":-1,\"depth\":1}")
            << u"\"size\""_qs << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("cut short in a string")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/a") << u"cut short"_qs << QByteArray()
            << 0 << false << qint64(0);
        QTest::newRow("cut short in an escape")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/\\u00") << u"cut short"_qs
            << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("two objects on a line")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/a\",\"depth\":1}{}")
            << u"does not end"_qs << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("a NUL in the path")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/\\u0000\",\"depth\":1}") << u"NUL"_qs
            << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("a time without its offset")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/"
                          "a\",\"size\":0,\"modified\":\"2000-01-01T00:00:00\","
                          "\"depth\":1}")
            << u"\"modified\""_qs << QByteArray() << 0 << false << qint64(0);
        QTest::newRow("the 13th month")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/"
                          "a\",\"size\":0,\"modified\":\"2000-13-01T00:00:00Z\","
                          "\"depth\":1}")
            << u"\"modified\""_qs << QByteArray() << 0 << false << qint64(0);
        // Its seconds would not fit in 64 bits.
        QTest::newRow("a year past a billion")
            << QByteArray("{\"type\":\"file\",\"path\":\"/m/a\",\"size\":0,"
                          "\"modified\":\"99999999999999-01-01T00:00:00Z\",\"depth\":1}")
            << u"\"modified\""_qs << QByteArray() << 0 << false << qint64(0);
    }
    void records()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, problem);
        TCatalogRecord record;
        const QString why = ParseCatalogRecord(line, record);
        if (!problem.isEmpty()) {
            QVERIFY2(why.contains(problem), qPrintable(why));
            return;
        }
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QTEST(QByteArray::fromStdString(record.Path), "path");
        QTEST(int(record.Type), "type");
        QTEST(record.HasFacts, "hasFacts");
        if (record.HasFacts)
            QTEST(qint64(record.Modified), "modified");
    }

    // A row of the CSV file: cells quoted or not, the path's bytes exact, a guarded time.
    void csvRows_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("hasFacts");
        QTest::addColumn<QByteArray>("modified"); // as ParseIsoTime reads it

        QTest::newRow("as written")
            << QByteArray("file,/m/a.txt,a.txt,3,1970-01-01T01:00:00+01:00,1,false\r") << QString()
            << QByteArray("/m/a.txt") << true << QByteArray("1970-01-01T01:00:00+01:00");
        QTest::newRow("quoted path: comma, quotes, line break")
            << QByteArray("file,\"/m/a,\"\"b\"\"\nc\",x,1,,1,false") << QString()
            << QByteArray("/m/a,\"b\"\nc") << false << QByteArray();
        QTest::newRow("a time before year 1, guarded")
            << QByteArray("file,/m/a,a,1,'-0001-03-01T00:00:00+00:00,1,false") << QString()
            << QByteArray("/m/a") << true << QByteArray("-0001-03-01T00:00:00+00:00");
        QTest::newRow("bytes that are not UTF-8, and more cells")
            << QByteArray("folder,/m/\xff/,\xff,4096,2000-01-01T00:00:00Z,1,false,x") << QString()
            << QByteArray("/m/\xff/") << true << QByteArray("2000-01-01T00:00:00Z");
        QTest::newRow("fewer cells") << QByteArray("file,/m/a,a,1,,1") << u"fewer than 7"_qs
                                     << QByteArray() << false << QByteArray();
        QTest::newRow("unclosed quote")
            << QByteArray("file,\"/m/a,a,1,,1,false") << u"does not end"_qs << QByteArray() << false
            << QByteArray();
        QTest::newRow("text after a quote")
            << QByteArray("file,\"/m/a\"b,a,1,,1,false") << u"more than a comma"_qs << QByteArray()
            << false << QByteArray();
        QTest::newRow("negative size") << QByteArray("file,/m/a,a,-1,,1,false") << u"\"size\""_qs
                                       << QByteArray() << false << QByteArray();
        QTest::newRow("no depth") << QByteArray("file,/m/a,a,1,,,false") << u"\"depth\""_qs
                                  << QByteArray() << false << QByteArray();
    }
    void csvRows()
    {
        QFETCH(QByteArray, row);
        QFETCH(QString, problem);
        TCatalogRecord record;
        const QString why = ParseCatalogCsvRow(row, record);
        if (!problem.isEmpty()) {
            QVERIFY2(why.contains(problem), qPrintable(why));
            return;
        }
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QTEST(QByteArray::fromStdString(record.Path), "path");
        QTEST(record.HasFacts, "hasFacts");
        QFETCH(QByteArray, modified);
        std::int64_t expected = 0;
        QVERIFY(modified.isEmpty() || ParseIsoTime(modified, expected));
        QCOMPARE(qint64(record.Modified), qint64(expected));
    }

    // Folders the records imply are made; a folder listed twice (a location inside another)
    // keeps its first record; entries keep the file's order with their facts.
    void treeOfRecords()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("saved.jsonl"));
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"type\":\"file\",\"path\":\"/m/deep/er/"
                   "z\",\"size\":7,\"modified\":null,\"depth\":3}\n"
                   "{\"type\":\"folder\",\"path\":\"/m/"
                   "\",\"size\":1,\"modified\":\"2000-01-01T00:00:00Z\",\"depth\":0}\n"
                   "\n"
                   "{\"type\":\"file\",\"path\":\"/m/"
                   "b\",\"path_bytes\":\"L20vYv8=\",\"size\":2,\"modified\":\"2000-01-01T00:00:"
                   "00Z\",\"depth\":1}\n"
                   "{\"type\":\"link\",\"path\":\"/m/l/"
                   "\",\"size\":9,\"modified\":\"2000-01-01T00:00:00Z\",\"depth\":1}\n"
                   "{\"type\":\"folder\",\"path\":\"/m/deep/"
                   "\",\"size\":4,\"modified\":\"2000-01-01T00:00:00Z\",\"depth\":1}\n"
                   "{\"type\":\"folder\",\"path\":\"/m/deep/"
                   "\",\"size\":5,\"modified\":\"2000-01-01T00:00:00Z\",\"depth\":0}\n"
                   "{\"type\":\"file\",\"path\":\"/m/"
                   "a\",\"size\":1,\"modified\":\"2000-01-01T00:00:00Z\",\"depth\":1}");
        file.close();
        QString problem;
        const auto catalog = TCatalog::Load(name, problem);
        QVERIFY2(catalog, qPrintable(problem));
        QCOMPARE(catalog->Locations(), QStringList({"/m/", "/m/deep/"}));
        const std::uint32_t root = catalog->LocationFolder(u"/m/").value();
        QCOMPARE(entriesOf(*catalog, root), QStringList({"deep/ 4", "b%FF 2", "l/ link 9", "a 1"}));
        const std::uint32_t deep = catalog->LocationFolder(u"/m/deep/").value();
        QCOMPARE(entriesOf(*catalog, deep), QStringList({"er/ ?"}));
        QCOMPARE(catalog->Facts(deep).Size, 4);
        QCOMPARE(catalog->ItemCount(), std::size_t(7));
    }

    // Thousands of folders, each named by a file before its own record, with names shared by
    // folders of different parents: every folder keeps its own children however the table of
    // folders grows. A location the other one's records never reach is a folder of its own.
    void manyFolders()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("saved.jsonl"));
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const auto record = [&file](const char* type, const QByteArray& path, int depth) {
            file.write("{\"type\":\"" + QByteArray(type) + "\",\"path\":\"" + path +
                       "\",\"size\":" + QByteArray::number(depth) +
                       ",\"modified\":\"2000-01-01T00:00:00Z\",\"depth\":" +
                       QByteArray::number(depth) + "}\n");
        };
        record("folder", "/m/", 0);
        constexpr int Folders = 3000;
        for (int i = 0; i < Folders; ++i) {
            const QByteArray outer = "/m/o" + QByteArray::number(i % 50) + "/";
            const QByteArray inner = outer + "s" + QByteArray::number(i / 50) + "/";
            record("file", inner + "f" + QByteArray::number(i), 3);
            record("folder", inner, 2);
        }
        record("folder", "/n/deep/", 0);
        record("file", "/n/deep/x", 1);
        file.close();
        QString problem;
        const auto catalog = TCatalog::Load(name, problem);
        QVERIFY2(catalog, qPrintable(problem));
        QCOMPARE(catalog->Locations(), QStringList({"/m/", "/n/deep/"}));
        QCOMPARE(catalog->ItemCount(), std::size_t(1 + 50 + 2 * Folders + 2));
        const std::uint32_t root = catalog->LocationFolder(u"/m/").value();
        QCOMPARE(entriesOf(*catalog, root).size(), 50);
        QCOMPARE(entriesOf(*catalog, root).at(7), u"o7/ ?"_qs); // implied, never recorded
        // o7/ holds s0/, s1/ ... s59/; s59/ of o7/ holds f2957 only.
        TFolderContent outer = catalog->Content(root);
        TRawEntry entry;
        std::uint32_t o7 = 0;
        while (outer.Folder.Next(entry))
            if (QByteArrayView(entry.Name, qsizetype(entry.NameLength)) == "o7")
                o7 = std::uint32_t(entry.Inode);
        const QStringList subfolders = entriesOf(*catalog, o7);
        QCOMPARE(subfolders.size(), Folders / 50);
        QCOMPARE(subfolders.last(), u"s59/ 2"_qs);
        TFolderContent inner = catalog->Content(o7);
        std::uint32_t s59 = 0;
        while (inner.Folder.Next(entry))
            if (QByteArrayView(entry.Name, qsizetype(entry.NameLength)) == "s59")
                s59 = std::uint32_t(entry.Inode);
        QCOMPARE(entriesOf(*catalog, s59), QStringList({"f2957 3"}));
        const std::uint32_t deep = catalog->LocationFolder(u"/n/deep/").value();
        QCOMPARE(entriesOf(*catalog, deep), QStringList({"x 1"}));
    }
};

QTEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
