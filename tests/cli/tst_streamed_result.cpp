#include "cli/streamed_result.h"
#include "temp_tree.h"

#include <QTest>

#include <cstdio>

using namespace dirka;
using namespace testsupport;
using namespace Qt::StringLiterals;

namespace {

TItemFacts sized(std::int64_t size)
{
    return {.Size = size, .Modified = 0, .Type = TRecordType::File, .State = TFactsState::Found};
}

} // namespace

// The command line's result holds lines until no skipped folder can take them back: the records
// of the lines it passes on, takes back and holds must stay with their own lines.
class TestStreamedResult : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recordsStayWithTheirLines_data()
    {
        QTest::addColumn<int>("passedFirst"); // lines passed on before the rest come
        QTest::newRow("lines held across a pass") << 2;
        QTest::newRow("every line passed at once") << 0;
    }
    void recordsStayWithTheirLines()
    {
        QFETCH(int, passedFirst);
        TTempTree out;
        std::FILE* sink = std::fopen("/dev/null", "w");
        QVERIFY(sink != nullptr);
        {
            TStreamedResult result(sink);
            result.AddRecords(out.path("r.json"), TRecordFormat::Json, {u"/t/"_s});
            const TItemFacts a = sized(1), c = sized(3), d = sized(4), e = sized(5);
            result.AppendItemLine(u"a", {u"/t/", u"a", &a});
            result.AppendItemLine(u"b", {u"/t/", u"b"}); // shown again: no record
            result.AppendItemLine(u"c", {u"/t/", u"c", &c});
            if (passedFirst > 0)
                result.LinesFinal(passedFirst);
            result.AppendItemLine(u"d", {u"/t/", u"d", &d});
            result.TruncateLines(3); // d's folder is taken back
            result.AppendLine(u":: summary");
            result.AppendItemLine(u"e", {u"/t/", u"e", &e});
            QVERIFY(result.Finish(true));
        }
        std::fclose(sink);
        QFile file(out.path("r.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QByteArray> paths;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                paths << line.mid(line.indexOf("\"path\""),
                                  line.indexOf(",\"name\"") - line.indexOf("\"path\"")) +
                             line.mid(line.indexOf("\"size\""), 9);
        }
        QCOMPARE(paths,
                 (QList<QByteArray>{"\"path\":\"/t/a\"\"size\":1,", "\"path\":\"/t/c\"\"size\":3,",
                                    "\"path\":\"/t/e\"\"size\":5,"}));
    }
};

QTEST_GUILESS_MAIN(TestStreamedResult)
#include "tst_streamed_result.moc"
