#include "core/listing/line_records.h"

#include <QTest>

#include <limits>

using namespace dirka;

class TestLineRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Sizes and times come back exactly, those too large for the packed form too.
    void valuesKept_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("modified");
        constexpr qint64 sizes = qint64(1) << 40;
        constexpr qint64 times = qint64(1) << 32;
        constexpr qint64 most = std::numeric_limits<qint64>::max();
        QTest::newRow("small") << qint64(7) << qint64(1'700'000'000);
        QTest::newRow("zero") << qint64(0) << qint64(0);
        QTest::newRow("largest packed") << sizes - 1 << times - 1;
        QTest::newRow("size just too large") << sizes << qint64(5);
        QTest::newRow("time just too late") << qint64(5) << times;
        QTest::newRow("before 1970") << qint64(1) << qint64(-1);
        QTest::newRow("negative size") << qint64(-1) << qint64(1);
        QTest::newRow("extremes") << most << std::numeric_limits<qint64>::min();
    }
    void valuesKept()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, modified);
        TLineRecords records;
        const TItemFacts odd{size, modified, TRecordType::Special, TFactsState::Found};
        const TItemFacts plain{3, 4, TRecordType::Link, TFactsState::Unreadable};
        records.Add(1, plain);
        records.Add(2, odd);
        records.Add(70, plain);
        records.Add(71, odd);
        for (qsizetype k : {1, 3}) {
            const TLineRecord r = records.At(k);
            QCOMPARE(r.Size, size);
            QCOMPARE(r.Modified, modified);
            QCOMPARE(int(r.Type), int(TRecordType::Special));
            QCOMPARE(int(r.State), int(TFactsState::Found));
        }
        const TLineRecord r = records.At(2);
        QCOMPARE(r.Line, 70);
        QCOMPARE(r.Size, 3);
        QCOMPARE(int(r.Type), int(TRecordType::Link));
        // A record taken back and another made in its place: each keeps its own values.
        records.TruncateLines(71);
        const TItemFacts huge{qint64(1) << 50, qint64(1) << 45, TRecordType::File,
                              TFactsState::Found};
        records.Add(80, huge);
        QCOMPARE(records.At(3).Line, 80);
        QCOMPARE(records.At(3).Size, huge.Size);
        QCOMPARE(records.At(3).Modified, huge.Modified);
        QCOMPARE(records.At(1).Size, size);
    }

    // Lines across the 64-line words, taken back at a word's edge or inside one.
    void linesFollowTruncation_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {0, 1, 63, 64, 65, 128, 129, 500, 2000})
            QTest::addRow("to %d", count) << count;
    }
    void linesFollowTruncation()
    {
        QFETCH(int, count);
        const std::vector<int> all{0, 1, 63, 64, 127, 128, 300, 1000};
        TLineRecords records;
        for (int line : all)
            records.Add(line, NotLookedAtFacts);
        records.TruncateLines(count);
        std::vector<int> expected;
        for (int line : all) {
            if (line < count)
                expected.push_back(line);
        }
        expected.push_back(std::max(count, 1000) + 5);
        records.Add(expected.back(), {9, 9, TRecordType::Folder, TFactsState::Found});
        QCOMPARE(records.Count(), qsizetype(expected.size()));
        for (qsizetype k = 0; k < records.Count(); ++k) {
            QCOMPARE(records.At(k).Line, expected[std::size_t(k)]);
            const bool last = k + 1 == records.Count();
            QCOMPARE(int(records.At(k).Type), int(last ? TRecordType::Folder : TRecordType::File));
            QCOMPARE(records.At(k).Size, last ? 9 : 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestLineRecords)
#include "tst_line_records.moc"
