#include "core/listing/name_order.h"
#include "core/text/char_tables.h"

#include "test_support.h"

#include <QCollator>
#include <QTest>

#include <algorithm>
#include <numeric>

using namespace dirka;
using namespace testsupport;

namespace {

// Names whose order a fault in the keys would change: case pairs, names the collation calls
// equal (two spellings of e-acute), shared beginnings longer than the eight units a key holds
// up front, Polish and German letters, a name that is a beginning of another, units of
// undecodable bytes (U+DC80..U+DCFF), a character beyond U+FFFF against U+FF01 (its high
// surrogate is the lower unit), and the empty extension.
QStringList hardNames()
{
    return {u16(u"b.txt"),
            u16(u"B.txt"),
            u16(u"a"),
            u16(u"A"),
            u16(u""),
            u16(u"e\u0301"),
            u16(u"\u00E9"),
            u16(u"E"),
            u16(u"photo_2019_0001.jpg"),
            u16(u"photo_2019_0001.JPG"),
            u16(u"photo_2019_000.jpg"),
            u16(u"photo_2019_00010.jpg"),
            u16(u"PHOTO_2019_0001.jpg"),
            u16(u"\u0142\u00F3d\u017A"),
            u16(u"lodz"),
            u16(u"\u015Bwit"),
            u16(u"swit"),
            u16(u"Stra\u00DFe"),
            u16(u"Strasse"),
            u16(u"\u00E4pfel"),
            u16(u"apfel"),
            u16(u"bad\xDCFF"),
            u16(u"bad\xDC80x"),
            u16(u"bad"),
            u16(u"\U0001F600"),
            u16(u"\uFF01"),
            u16(u"10"),
            u16(u"9"),
            u16(u"-x"),
            u16(u"_x"),
            u16(u"x y")};
}

// Names whose sort keys outgrow the room first made for them (Hangul and Han take several bytes
// a unit, the ligature U+FDFA hundreds), among names whose keys fit, so each key written again
// must still end where the next one starts; pairs differ only after a long shared beginning.
QStringList longKeyNames()
{
    const QString hangul = u16(u"\uC11C\uC6B8").repeated(12);
    const QString han = u16(u"\u6771\u4EAC").repeated(12);
    const QString ligature = u16(u"\uFDFA").repeated(12);
    return {hangul + u16(u"2"), u16(u"a"),       hangul + u16(u"1"),   han + u16(u"b"),
            u16(u"B"),          han + u16(u"a"), ligature + u16(u"x"), ligature,
            u16(u""),           hangul,          u16(u"\uC11C"),       ligature + u16(u"X")};
}

// Enough names that a set is dealt into buckets by its first unit before it is sorted: the hard
// names behind first units below 0xFF, at it (y with diaeresis, whose capital U+0178 folds to it)
// and above it (units that share the last bucket).
QStringList manyNames()
{
    QStringList names;
    for (const QString& start : {u16(u""), u16(u"a"), u16(u"A"), u16(u"\u00FF"), u16(u"\u0178"),
                                 u16(u"\u0100"), u16(u"\U0001F600"), u16(u"_")}) {
        for (const QString& name : hardNames())
            names << start + name;
    }
    names.removeDuplicates();
    return names;
}

// The order as it was made before keys: the collation's comparison of every pair (the C
// locale: code units, folded when case does not matter), then the code units.
QStringList referenceOrder(QStringList names, bool caseSensitive)
{
    const bool plain = QLocale().language() == QLocale::C;
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    const auto folded = [](const QString& s) {
        QString f = s;
        for (QChar& c : f)
            c = QChar(FoldChar(c.unicode()));
        return f;
    };
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        int c = 0;
        if (!plain)
            c = collator.compare(a, b);
        else if (!caseSensitive)
            c = QStringView(folded(a)).compare(QStringView(folded(b)));
        if (c != 0)
            return c < 0;
        return a < b;
    });
    return names;
}

} // namespace

class TestNameOrder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sortByName_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<QStringList>("names");
        for (const QString& locale : {u16(u"C"), u16(u"en_US"), u16(u"pl_PL"), u16(u"de_DE")}) {
            QTest::addRow("%s, files", qPrintable(locale)) << locale << true << hardNames();
            QTest::addRow("%s, folders", qPrintable(locale)) << locale << false << hardNames();
        }
        for (const QString& locale : {u16(u"en_US"), u16(u"ko_KR")}) {
            QTest::addRow("%s, long keys, files", qPrintable(locale))
                << locale << true << longKeyNames();
            QTest::addRow("%s, long keys, folders", qPrintable(locale))
                << locale << false << longKeyNames();
        }
        QStringList mixed = manyNames() + longKeyNames();
        mixed.removeDuplicates();
        QTest::addRow("en_US, many files") << u16(u"en_US") << true << mixed;
        QTest::addRow("C, many files") << u16(u"C") << true << manyNames();
        QTest::addRow("C, many folders") << u16(u"C") << false << manyNames();
    }
    void sortByName()
    {
        QFETCH(QString, locale);
        QFETCH(bool, caseSensitive);
        QFETCH(QStringList, names);
        const TLocaleScope scope(locale);
        std::vector<QStringView> views(names.begin(), names.end());
        TNameKeys keys;
        TNameOrder(caseSensitive).MakeKeys(views, keys);
        std::vector<int> order(views.size());
        std::iota(order.begin(), order.end(), 0);
        SortByName(order, keys);
        QStringList sorted;
        for (int i : order)
            sorted << names[i];
        QCOMPARE(sorted, referenceOrder(names, caseSensitive));
        // Compare agrees with the sort and calls no two different names equal.
        for (std::size_t k = 1; k < order.size(); ++k)
            QVERIFY(keys.Compare(order[k - 1], order[k]) < 0);
    }

    // The order by extension leaves extensions the collation calls equal to the whole names.
    void compareCollation_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("collation");
        QTest::addColumn<int>("full");
        QTest::newRow("C, case") << u16(u"C") << u16(u".TXT") << u16(u".txt") << -1 << -1;
        QTest::newRow("C, equal") << u16(u"C") << u16(u".txt") << u16(u".txt") << 0 << 0;
        QTest::newRow("en_US, lower first")
            << u16(u"en_US") << u16(u".txt") << u16(u".TXT") << -1 << -1;
        QTest::newRow("en_US, e-acute spellings")
            << u16(u"en_US") << u16(u".e\u0301") << u16(u".\u00E9") << 0 << -1;
        QTest::newRow("en_US, long shared beginning")
            << u16(u"en_US") << u16(u".abcdefghij2") << u16(u".abcdefghij1") << 1 << 1;
    }
    void compareCollation()
    {
        QFETCH(QString, locale);
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, collation);
        QFETCH(int, full);
        const TLocaleScope scope(locale);
        QCollator collator{QLocale()};
        if (locale != u16(u"C") && collation == 0 && collator.compare(a, b) != 0)
            QSKIP("this collation tells the two spellings apart");
        const std::vector<QStringView> views{a, b};
        TNameKeys keys;
        TNameOrder(true).MakeKeys(views, keys);
        QCOMPARE(keys.CompareCollation(0, 1), collation);
        QCOMPARE(keys.CompareCollation(1, 0), -collation);
        QCOMPARE(keys.Compare(0, 1), full);
        QCOMPARE(keys.Compare(1, 0), -full);
    }

    // Keys made again for other names forget the earlier ones.
    void keysAreReused()
    {
        const TLocaleScope scope(u16(u"en_US"));
        const QStringList first{u16(u"b"), u16(u"a"), u16(u"c")};
        const QStringList second{u16(u"z"), u16(u"y")};
        const std::vector<QStringView> v1(first.begin(), first.end());
        const std::vector<QStringView> v2(second.begin(), second.end());
        TNameKeys keys;
        const TNameOrder order(true);
        order.MakeKeys(v1, keys);
        order.MakeKeys(v2, keys);
        QCOMPARE(keys.Size(), std::size_t(2));
        QCOMPARE(keys.Compare(0, 1), 1);
    }
};

QTEST_GUILESS_MAIN(TestNameOrder)
#include "tst_name_order.moc"
