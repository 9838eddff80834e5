#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/output/record_export.h"
#include "core/text/file_names.h"

#include "temp_tree.h"
#include "test_support.h"

#include <QTest>

using namespace dirka;
using namespace testsupport;

namespace {

TItemRecord record(QString path, std::optional<std::int64_t> size, int depth, bool hidden = false,
                   TRecordType type = TRecordType::File)
{
    TItemRecord r;
    r.Type = type;
    r.Path = std::move(path);
    r.Size = size;
    r.Modified = size ? std::optional<std::int64_t>(1700000000) : std::nullopt;
    r.Depth = depth;
    r.Hidden = hidden;
    return r;
}

const QString Bad = DecodeFileName(QByteArrayLiteral("/t/bad\xFF")); // ends in U+DCFF

} // namespace

Q_DECLARE_METATYPE(TItemRecord)

class TestRecordExport : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void csvRow_data()
    {
        QTest::addColumn<TItemRecord>("item");
        QTest::addColumn<QByteArray>("row");
        const QByteArray time = "2023-11-14T22:13:20+00:00";
        QTest::newRow("plain") << record(u"/t/a.txt"_qs, 12, 1)
                               << "file,/t/a.txt,a.txt,12," + time + ",1,false\r\n";
        QTest::newRow("comma quoted")
            << record(u"/t/a,b"_qs, 0, 1) << "file,\"/t/a,b\",\"a,b\",0," + time + ",1,false\r\n";
        QTest::newRow("quotes doubled")
            << record(u"/t/say \"hi\""_qs, 0, 1)
            << "file,\"/t/say \"\"hi\"\"\",\"say \"\"hi\"\"\",0," + time + ",1,false\r\n";
        QTest::newRow("line feed kept inside quotes")
            << record(u"/t/new\nline"_qs, 0, 1)
            << "file,\"/t/new\nline\",\"new\nline\",0," + time + ",1,false\r\n";
        QTest::newRow("carriage return quoted")
            << record(u"/t/cr\r"_qs, 0, 1)
            << "file,\"/t/cr\r\",\"cr\r\",0," + time + ",1,false\r\n";
        QTest::newRow("space and semicolon unquoted")
            << record(u"/t/ a;b "_qs, 0, 1) << "file,/t/ a;b , a;b ,0," + time + ",1,false\r\n";
        QTest::newRow("raw bytes that are not UTF-8")
            << record(Bad, 5, 1) << "file,/t/bad\xFF,bad\xFF,5," + time + ",1,false\r\n";
        QTest::newRow("folder, hidden, depth 0")
            << record(u"/t/.git/"_qs, 4096, 0, true, TRecordType::Folder)
            << "folder,/t/.git/,.git,4096," + time + ",0,true\r\n";
        QTest::newRow("size beyond 32 bits")
            << record(u"/t/big"_qs, 5000000000LL, 1)
            << "file,/t/big,big,5000000000," + time + ",1,false\r\n";
        QTest::newRow("unknown values empty")
            << record(u"/gone/x"_qs, std::nullopt, -1, false, TRecordType::Link)
            << QByteArray("link,/gone/x,x,,,,false\r\n");
    }
    void csvRow()
    {
        QFETCH(TItemRecord, item);
        QFETCH(QByteArray, row);
        QByteArray out;
        AppendCsvRecord(out, item);
        QCOMPARE(out, row);
    }

    // Text cells a spreadsheet would take for formulas get a "'"; numbers and paths stay exact.
    void csvFormulaCells_data()
    {
        QTest::addColumn<TItemRecord>("item");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QByteArray>("row");
        const QByteArray tail = ",0,2023-11-14T22:13:20+00:00,1,false\r\n";
        QTest::newRow("a link formula, quoted after the guard")
            << record(u"/t/=HYPERLINK(\"x\",\"y\")"_qs, 0, 1) << false
            << "file,\"/t/=HYPERLINK(\"\"x\"\",\"\"y\"\")\",\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\"" +
                   tail;
        QTest::newRow("plus") << record(u"/t/+1"_qs, 0, 1) << false << "file,/t/+1,'+1" + tail;
        QTest::newRow("minus") << record(u"/t/-x"_qs, 0, 1) << false << "file,/t/-x,'-x" + tail;
        QTest::newRow("at") << record(u"/t/@x"_qs, 0, 1) << false << "file,/t/@x,'@x" + tail;
        QTest::newRow("tab") << record(u"/t/\tx"_qs, 0, 1) << false << "file,/t/\tx,'\tx" + tail;
        QTest::newRow("carriage return, quoted")
            << record(u"/t/\rx"_qs, 0, 1) << false << "file,\"/t/\rx\",\"'\rx\"" + tail;
        QTest::newRow("the characters later in the name")
            << record(u"/t/a=b-c"_qs, 0, 1) << false << "file,/t/a=b-c,a=b-c" + tail;
        QTest::newRow("a blank first")
            << record(u"/t/ =x"_qs, 0, 1) << false << "file,/t/ =x, =x" + tail;
        QTest::newRow("a folder") << record(u"/t/=d/"_qs, 0, 1, false, TRecordType::Folder) << false
                                  << "folder,/t/=d/,'=d" + tail;
        TItemRecord ancient = record(u"/t/old"_qs, 0, 1);
        ancient.Modified = -93724128000; // 1001 BC, year -1000
        QTest::newRow("a time before year 0")
            << ancient << false
            << QByteArray("file,/t/old,old,0,'-1000-01-01T00:00:00+00:00,1,false\r\n");
        QTest::newRow("raw") << record(u"/t/=1+1"_qs, 0, 1) << true << "file,/t/=1+1,=1+1" + tail;
        QTest::newRow("raw, quoted as usual")
            << record(u"/t/=a,b"_qs, 0, 1) << true << "file,\"/t/=a,b\",\"=a,b\"" + tail;
    }
    void csvFormulaCells()
    {
        QFETCH(TItemRecord, item);
        QFETCH(bool, raw);
        QFETCH(QByteArray, row);
        QByteArray out;
        AppendCsvRecord(out, item, raw ? TCsvCells::Raw : TCsvCells::Guarded);
        QCOMPARE(out, row);
    }

    void csvHeader()
    {
        QByteArray out;
        AppendCsvHeader(out);
        QCOMPARE(out, QByteArray("\xEF\xBB\xBFtype,path,name,size,modified,depth,hidden\r\n"));
    }

    void jsonRow_data()
    {
        QTest::addColumn<TItemRecord>("item");
        QTest::addColumn<QByteArray>("line");
        const QByteArray tail = ",\"size\":1,\"modified\":\"2023-11-14T22:13:20+00:00\","
                                "\"depth\":1,\"hidden\":false}\n";
        QTest::newRow("plain") << record(u"/t/a.txt"_qs, 1, 1)
                               << "{\"type\":\"file\",\"path\":\"/t/a.txt\",\"name\":\"a.txt\"" +
                                      tail;
        QTest::newRow("quote and backslash")
            << record(u"/t/\"\\"_qs, 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/\\\"\\\\\",\"name\":\"\\\"\\\\\"" + tail;
        QTest::newRow("short control escapes")
            << record(u"/t/\n\r\t\b\f"_qs, 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/\\n\\r\\t\\b\\f\",\"name\":\"\\n\\r\\t\\b\\f\"" +
                   tail;
        QTest::newRow("other controls as \\u00XX")
            << record(u"/t/\x01\x1B\x7F\x85"_qs, 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/\\u0001\\u001B\\u007F\\u0085\",\"name\":"
               "\"\\u0001\\u001B\\u007F\\u0085\"" +
                   tail;
        QTest::newRow("line separators escaped")
            << record(u"/t/\u2028\u2029"_qs, 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/\\u2028\\u2029\",\"name\":\"\\u2028\\u2029\"" +
                   tail;
        QTest::newRow("bidirectional controls escaped, their neighbours not")
            << record(u"/t/\u2029\u202A\u202Eexe.txt\u202F\u2065\u2066\u2069\u206A"_qs, 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/\\u2029\\u202A\\u202Eexe.txt\xE2\x80\xAF"
               "\xE2\x81\xA5\\u2066\\u2069\xE2\x81\xAA\",\"name\":\"\\u2029\\u202A\\u202Eexe.txt"
               "\xE2\x80\xAF\xE2\x81\xA5\\u2066\\u2069\xE2\x81\xAA\"" +
                   tail;
        QTest::newRow("pair as one 4-byte sequence")
            << record(u"/t/\U0001F600"_qs, 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/\xF0\x9F\x98\x80\",\"name\":\"\xF0\x9F\x98\x80\"" +
                   tail;
        QTest::newRow("not UTF-8: U+FFFD and the exact bytes")
            << record(Bad, 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/bad\xEF\xBF\xBD\",\"path_bytes\":\"L3QvYmFk/w==\","
               "\"name\":\"bad\xEF\xBF\xBD\",\"name_bytes\":\"YmFk/w==\"" +
                   tail;
        QTest::newRow("a lone surrogate not from a byte is no byte")
            << record(u"/t/"_qs + QChar(0xD800), 1, 1)
            << "{\"type\":\"file\",\"path\":\"/t/\xEF\xBF\xBD\",\"name\":\"\xEF\xBF\xBD\"" + tail;
        QTest::newRow("unknown values null, special, hidden")
            << record(u"/t/.p"_qs, std::nullopt, -1, true, TRecordType::Special)
            << QByteArray("{\"type\":\"special\",\"path\":\"/t/.p\",\"name\":\".p\",\"size\":null,"
                          "\"modified\":null,\"depth\":null,\"hidden\":true}\n");
    }
    void jsonRow()
    {
        QFETCH(TItemRecord, item);
        QFETCH(QByteArray, line);
        QByteArray out;
        AppendJsonRecord(out, item);
        QCOMPARE(out, line);
    }

    void isoTime_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("epoch") << qint64(0) << 0 << QByteArray("1970-01-01T00:00:00+00:00");
        QTest::newRow("east") << qint64(0) << 3600 << QByteArray("1970-01-01T01:00:00+01:00");
        QTest::newRow("half hour east")
            << qint64(1700000000) << 19800 << QByteArray("2023-11-15T03:43:20+05:30");
        QTest::newRow("west across midnight")
            << qint64(1700000000) << -84600 << QByteArray("2023-11-13T22:43:20-23:30");
        QTest::newRow("before 1970") << qint64(-1) << 0 << QByteArray("1969-12-31T23:59:59+00:00");
        QTest::newRow("leap day") << qint64(1709208000) << 0
                                  << QByteArray("2024-02-29T12:00:00+00:00");
        QTest::newRow("2100 is no leap year")
            << qint64(4107542400) << 0 << QByteArray("2100-03-01T00:00:00+00:00");
        QTest::newRow("1900") << qint64(-2208988800) << 0
                              << QByteArray("1900-01-01T00:00:00+00:00");
    }
    void isoTime()
    {
        QFETCH(qint64, seconds);
        QFETCH(int, offset);
        QFETCH(QByteArray, text);
        QCOMPARE(IsoTime(seconds, offset), text);
    }

    void depthAndName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("locations");
        QTest::addColumn<int>("depth");
        QTest::addColumn<QString>("name");
        const QStringList m{u"/m/"_qs};
        QTest::newRow("location") << u"/m/"_qs << m << 0 << u"m"_qs;
        QTest::newRow("its file") << u"/m/a.txt"_qs << m << 1 << u"a.txt"_qs;
        QTest::newRow("its folder") << u"/m/b/"_qs << m << 1 << u"b"_qs;
        QTest::newRow("deeper") << u"/m/b/c/d.txt"_qs << m << 3 << u"d.txt"_qs;
        QTest::newRow("outside") << u"/n/a"_qs << m << -1 << u"a"_qs;
        QTest::newRow("longest location wins")
            << u"/m/b/x"_qs << QStringList{u"/m/"_qs, u"/m/b/"_qs} << 1 << u"x"_qs;
        QTest::newRow("root") << u"/"_qs << QStringList{u"/"_qs} << 0 << u"/"_qs;
        QTest::newRow("below root") << u"/etc/"_qs << QStringList{u"/"_qs} << 1 << u"etc"_qs;
    }
    void depthAndName()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, locations);
        QFETCH(int, depth);
        QFETCH(QString, name);
        QCOMPARE(RecordDepth(path, locations), depth);
        QCOMPARE(RecordName(path).toString(), name);
    }

    // Classified on a real tree: links are links, with their target's size.
    void lookUp_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("type");
        QTest::addColumn<qint64>("size");
        QTest::newRow("file") << u"f.bin"_qs << u"file"_qs << qint64(300);
        QTest::newRow("folder") << u"d/"_qs << u"folder"_qs << qint64(-1);
        QTest::newRow("fifo") << u"fifo"_qs << u"special"_qs << qint64(0);
        QTest::newRow("link to a file: the target's size")
            << u"to_f"_qs << u"link"_qs << qint64(300);
        QTest::newRow("dangling link: size 0") << u"dangling"_qs << u"link"_qs << qint64(0);
        QTest::newRow("folder link, named as a folder") << u"to_d/"_qs << u"link"_qs << qint64(-1);
        QTest::newRow("gone: the path decides") << u"gone/"_qs << u"folder"_qs << qint64(-2);
    }
    void lookUp()
    {
        QFETCH(QString, item);
        QFETCH(QString, type);
        QFETCH(qint64, size);
        TTempTree tree;
        QVERIFY(tree.makeFile("f.bin", 300) && tree.makeFolder("d") && tree.makeFifo("fifo") &&
                tree.makeLink("to_f", "f.bin") && tree.makeLink("dangling", "nowhere") &&
                tree.makeLink("to_d", "d"));
        const TItemRecord r = LookUpRecord(tree.path(item), {tree.path()});
        QCOMPARE(QString::fromLatin1(RecordTypeName(r.Type)), type);
        QCOMPARE(r.Depth, 1);
        if (size == -2) {
            QVERIFY(!r.Size && !r.Modified);
            return;
        }
        QVERIFY(r.Size && r.Modified);
        if (size >= 0)
            QCOMPARE(*r.Size, size);
        QCOMPARE(r.UtcOffset, LocalUtcOffset(*r.Modified));
    }

    // A record takes what the walk knew and looks up only what it did not look at; a line
    // without a record, or without a path, writes nothing.
    void recordFromFacts_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("makesRecord");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QByteArray>("json");
        const QByteArray tail = ",\"depth\":1,\"hidden\":false}\n";
        QTest::newRow("found: the walk's facts, not the disk's")
            << int(TFactsState::Found) << true << u"f.bin"_qs
            << "{\"type\":\"link\",\"path\":\"/t/f.bin\",\"name\":\"f.bin\",\"size\":5,"
               "\"modified\":\"@\"" +
                   tail;
        QTest::newRow("unreadable folder: no size, no time")
            << int(TFactsState::Unreadable) << true << u"d/"_qs
            << "{\"type\":\"folder\",\"path\":\"/t/d/\",\"name\":\"d\",\"size\":null,"
               "\"modified\":null" +
                   tail;
        QTest::newRow("unreadable file") << int(TFactsState::Unreadable) << true << u"f.bin"_qs
                                         << "{\"type\":\"file\",\"path\":\"/t/f.bin\",\"name\":"
                                            "\"f.bin\",\"size\":null,\"modified\":null" +
                                                tail;
        QTest::newRow("not looked at: looked up now (nothing there)")
            << int(TFactsState::NotLookedAt) << true << u"gone"_qs
            << "{\"type\":\"file\",\"path\":\"/t/gone\",\"name\":\"gone\",\"size\":null,"
               "\"modified\":null" +
                   tail;
        QTest::newRow("a line that makes no record")
            << int(TFactsState::Found) << false << u"f.bin"_qs << QByteArray();
        QTest::newRow("a line without an item")
            << int(TFactsState::Found) << true << QString() << QByteArray();
    }
    void recordFromFacts()
    {
        QFETCH(int, state);
        QFETCH(bool, makesRecord);
        QFETCH(QString, item);
        QFETCH(QByteArray, json);
        TItemFacts facts{
            .Size = 5, .Modified = 9, .Type = TRecordType::Link, .State = TFactsState(state)};
        TRecordEncoder records(TRecordFormat::Json, {u"/t/"_qs});
        const QString path = item.isEmpty() ? QString() : u"/t/" + item;
        TPassedLine line;
        line.Line = u"x";
        line.Path = path;
        line.Record = makesRecord ? &facts : nullptr;
        QByteArray out;
        records.AppendLine(out, line);
        QCOMPARE(out, QByteArray(json).replace('@', IsoTime(9, LocalUtcOffset(9))));
        QCOMPARE(records.Records(), json.isEmpty() ? 0 : 1);
    }

    // Records come folder by folder, and the encoder takes an item's depth from its folder's;
    // locations inside one another, and an item that is itself a location, still give the
    // depth the whole path does. The fields worked out once for several files change nothing.
    void depthsInWalkOrder_data()
    {
        QTest::addColumn<QStringList>("locations");
        QTest::newRow("one") << QStringList{u"/m/"_qs};
        QTest::newRow("nested") << QStringList{u"/m/"_qs, u"/m/a/"_qs};
        QTest::newRow("nested, inner first") << QStringList{u"/m/a/y/"_qs, u"/m/"_qs};
        QTest::newRow("root") << QStringList{u"/"_qs};
        QTest::newRow("siblings") << QStringList{u"/m/a/"_qs, u"/m/b/"_qs};
    }
    void depthsInWalkOrder()
    {
        QFETCH(QStringList, locations);
        const QStringList paths{u"/"_qs,       u"/m/"_qs,      u"/m/a/"_qs,     u"/m/a/x"_qs,
                                u"/m/a/y/"_qs, u"/m/a/y/z"_qs, u"/m/a/y/w/"_qs, u"/m/b"_qs,
                                u"/m/b/"_qs,   u"/m/b/c"_qs,   u"/n/q"_qs,      u"/m/a/x"_qs};
        TRecordEncoder alone(TRecordFormat::Json, locations);
        TRecordEncoder shared(TRecordFormat::Json, locations);
        const TItemFacts facts{.Size = 1, .Modified = 0, .State = TFactsState::Found};
        for (const QString& path : paths) {
            const QByteArray bytes = path.toUtf8();
            const TRecordFields fields = RecordFieldsOf(path, bytes, facts);
            TPassedLine line;
            line.Line = path;
            line.Path = path;
            line.Record = &facts;
            line.PathBytes = bytes;
            QByteArray out;
            alone.AppendLine(out, line);
            line.RecordFields = &fields;
            QByteArray viaFields;
            shared.AppendLine(viaFields, line);
            QCOMPARE(viaFields, out);
            const int depth = RecordDepth(path, locations);
            const QByteArray expected =
                depth < 0 ? QByteArray("\"depth\":null") : "\"depth\":" + QByteArray::number(depth);
            QVERIFY2(out.contains(expected), out.constData());
        }
    }

    // The window's export: one record per line that makes one, in line order, formulas guarded.
    void exportOfAResult()
    {
        TTempTree tree;
        QVERIFY(tree.makeFile("=a,b.txt", 7));
        TResultText result;
        addLine(result, u":: header");
        addLine(result, QString(u":: " + tree.path()), tree.path(), false);
        addLine(result, tree.path(), tree.path());
        addLine(result, u"=a,b.txt", tree.path("=a,b.txt"));
        addLine(result, u"Files: 1");
        const QString target = tree.path("out.csv");
        const TRecordExport exported =
            ExportRecords(target, TRecordFormat::Csv, result, {tree.path()});
        QVERIFY2(exported.Ok(), qPrintable(exported.ErrorText));
        QCOMPARE(exported.Records, 2);
        const QList<QByteArray> rows = readAll(target).split('\n');
        QCOMPARE(rows.size(), 4); // header, two records, the empty rest
        QVERIFY(rows[1].startsWith(QByteArray("folder," + tree.bytes() + ',')));
        QVERIFY(rows[2].startsWith(
            QByteArray("file,\"" + tree.bytes("=a,b.txt") + "\",\"'=a,b.txt\",7,")));
    }

    void failedExportNamesItsNumber_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("start");
        QTest::newRow("csv") << int(TRecordFormat::Csv)
                             << u"Error #4024/10. Problem during CSV export.\r\n"_qs;
        QTest::newRow("json") << int(TRecordFormat::Json)
                              << u"Error #4025/10. Problem during JSON export.\r\n"_qs;
    }
    void failedExportNamesItsNumber()
    {
        QFETCH(int, format);
        QFETCH(QString, start);
        TResultText result;
        addLine(result, u"x");
        const TRecordExport exported =
            ExportRecords(u"/nonexistent-dirka/out"_qs, TRecordFormat(format), result, {});
        QVERIFY(exported.ErrorText.startsWith(start));
        QVERIFY(exported.ErrorText.contains(u"/nonexistent-dirka/out"));
    }
};

QTEST_GUILESS_MAIN(TestRecordExport)
#include "tst_record_export.moc"
