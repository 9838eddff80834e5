#include "core/listing/result_line_store.h"
#include "core/text/assertion.h"

#include "test_support.h"

#include <QTest>

#include <algorithm>
#include <random>
#include <vector>

using namespace dirka;
using namespace testsupport;

namespace {

// One folder listing as the walker records it: base line, two files, a subfolder line and the
// subfolder's file.
void addExample(TResultLineStore& store)
{
    store.TabAdd(0, u"", u"/D/A/");
    store.TabAdd(1, u"x.txt", u"/D/A/");
    store.TabAdd(2, u"z.doc", u"/D/A/");
    store.TabAdd(3, u"B/", u"/D/A/");
    store.TabAdd(4, u"y.log", u"/D/A/B/");
}

// Path of a made-up line i: seven files per folder, folders of three depths.
QString linePath(int i)
{
    const int folder = i / 7;
    return QStringLiteral("/data/f%1/g%2/").arg(folder % 5).arg(folder) +
           (i % 7 == 0 ? QString() : QStringLiteral("file%1.txt").arg(i));
}

} // namespace

class TestResultLineStore : public QObject {
    Q_OBJECT
    TResultLineStore m_store;

private Q_SLOTS:
    void init() { m_store.TabReset(); }

    // Each result has its own store: interleaved adds and reads never see the other's paths,
    // not even through the read cache, and clearing one leaves the other.
    void storesAreIndependent()
    {
        TResultLineStore other;
        for (int i = 0; i < 40; ++i) {
            m_store.TabAdd(i, QString::number(i), u"/one/");
            other.TabAdd(i, QString::number(i), u"/two/");
            QCOMPARE(m_store.TabGet(i / 2), QString(u"/one/" + QString::number(i / 2)));
            QCOMPARE(other.TabGet(i / 2), QString(u"/two/" + QString::number(i / 2)));
        }
        other.TabClear(0, true);
        QCOMPARE(other.TabGet(39), QString());
        QCOMPARE(m_store.TabGet(39), u16(u"/one/39"));
    }

    void exampleStoredForm_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("prefixLength");
        QTest::addColumn<int>("link");
        QTest::newRow("base line whole") << 0 << u16(u"/D/A/") << 0 << -1;
        QTest::newRow("file glues to base") << 1 << u16(u"x.txt") << 5 << 0;
        QTest::newRow("chain shortened past 1") << 2 << u16(u"z.doc") << 5 << 0;
        QTest::newRow("subfolder line") << 3 << u16(u"B/") << 5 << 0;
        QTest::newRow("subfolder file") << 4 << u16(u"y.log") << 7 << 3;
        QTest::newRow("never recorded") << 5 << QString() << 0 << -1;
    }
    void exampleStoredForm()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(int, prefixLength);
        QFETCH(int, link);
        addExample(m_store);
        const TTabView entry = m_store.TabEntry(index);
        QCOMPARE(entry.Text, text);
        QCOMPARE(entry.PrefixLength, prefixLength);
        QCOMPARE(entry.Link, link);
    }

    void exampleReadsBack()
    {
        addExample(m_store);
        QCOMPARE(m_store.TabGet(4), u16(u"/D/A/B/y.log"));
        QCOMPARE(m_store.TabGet(2), u16(u"/D/A/z.doc"));
        QCOMPARE(m_store.TabGet(0), u16(u"/D/A/"));
        QCOMPARE(m_store.TabGet(3), u16(u"/D/A/B/"));
        QCOMPARE(m_store.TabGet(1), u16(u"/D/A/x.txt"));
        QCOMPARE(m_store.TabGet(4), u16(u"/D/A/B/y.log"));
    }

    // Without alsoCache the forgotten lines' cached paths must go as well: line 4 is recorded
    // again below with another path and would otherwise read the old one.
    void clearAfterCachedReads_data()
    {
        QTest::addColumn<bool>("alsoCache");
        QTest::newRow("with cache") << true;
        QTest::newRow("without cache") << false;
    }
    void clearAfterCachedReads()
    {
        QFETCH(bool, alsoCache);
        addExample(m_store);
        for (int i = 4; i >= 0; --i)
            m_store.TabGet(i);
        const qsizetype textBefore = m_store.TabMemory().TextUnits;
        m_store.TabClear(3, alsoCache);
        QCOMPARE(m_store.TabGet(3), QString());
        QCOMPARE(m_store.TabGet(4), QString());
        QCOMPARE(m_store.TabGet(0), u16(u"/D/A/"));
        QCOMPARE(m_store.TabGet(1), u16(u"/D/A/x.txt"));
        QCOMPARE(m_store.TabGet(2), u16(u"/D/A/z.doc"));
        // "B/" and "y.log" released: 7 characters below U+0100, two to a unit.
        QCOMPARE(m_store.TabMemory().TextUnits, textBefore - 4);
        QCOMPARE(m_store.TabMemory().UsedEntries, 3);

        m_store.TabAdd(3, u"C/", u"/D/A/");
        QCOMPARE(m_store.TabEntry(3).PrefixLength, 0);
        QCOMPARE(m_store.TabEntry(3).Link, -1);
        m_store.TabAdd(4, u"w", u"/D/A/C/");
        QCOMPARE(m_store.TabEntry(4).PrefixLength, 7);
        QCOMPARE(m_store.TabGet(4), u16(u"/D/A/C/w"));
        QCOMPARE(m_store.TabGet(3), u16(u"/D/A/C/"));
    }

    void growth_data()
    {
        QTest::addColumn<QList<int>>("indexes");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QList<int>>("whole");
        QList<int> to256, to512;
        for (int i = 0; i <= 256; ++i)
            to256 << i;
        for (int i = 0; i <= 512; ++i)
            to512 << i;
        QTest::newRow("across 256") << to256 << 512 << QList<int>{256};
        QTest::newRow("across 512") << to512 << 1024 << QList<int>{256, 512};
        QTest::newRow("jump far") << QList<int>{0, 1, 2, 5000, 5001} << 8192 << QList<int>{5000};
        QTest::newRow("last slot no growth") << QList<int>{0, 1, 255} << 256 << QList<int>{};
    }
    void growth()
    {
        QFETCH(QList<int>, indexes);
        QFETCH(int, capacity);
        QFETCH(QList<int>, whole);
        QCOMPARE(m_store.TabCapacity(), 256);
        for (int i : indexes)
            m_store.TabAdd(i, QString(), linePath(i));
        QCOMPARE(m_store.TabCapacity(), capacity);
        for (int i : whole) {
            QCOMPARE(m_store.TabEntry(i).PrefixLength, 0);
            QCOMPARE(m_store.TabEntry(i).Text, linePath(i));
        }
        for (int i : indexes)
            QCOMPARE(m_store.TabGet(i), linePath(i));
        m_store.TabClear(0, true);
        QCOMPARE(m_store.TabCapacity(), capacity); // never shrinks
        QCOMPARE(m_store.TabMemory().TextUnits, 0);
    }

    void prefixSharing_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("prefixLength");
        QTest::newRow("nothing shared") << u16(u"/a/x") << u16(u"x/a") << 0;
        QTest::newRow("case-sensitive") << u16(u"/Data/a") << u16(u"/DATA/a") << 2;
        QTest::newRow("path is a prefix") << u16(u"/a/b/c.txt") << u16(u"/a/b/") << 5;
        QTest::newRow("same path") << u16(u"/a/b/") << u16(u"/a/b/") << 5;
        QTest::newRow("previous is a prefix") << u16(u"/a/") << u16(u"/a/b.txt") << 3;
        QTest::newRow("surrogate pair") << u16(u"/😀a") << u16(u"/😀b") << 3;
        QTest::newRow("empty previous") << QString() << u16(u"/a") << 0;
    }
    void prefixSharing()
    {
        QFETCH(QString, previous);
        QFETCH(QString, path);
        QFETCH(int, prefixLength);
        m_store.TabAdd(0, QString(), previous);
        m_store.TabAdd(1, QString(), path);
        QCOMPARE(m_store.TabEntry(1).PrefixLength, prefixLength);
        QCOMPARE(m_store.TabEntry(1).Link, prefixLength == 0 ? -1 : 0);
        QCOMPARE(m_store.TabGet(1), path);
        QCOMPARE(m_store.TabGet(0), previous);
    }

    // The split between folder and name must not matter to the sharing.
    void splitOfPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::newRow("all in folder") << u16(u"/m/a/b.txt") << QString();
        QTest::newRow("all in name") << QString() << u16(u"/m/a/b.txt");
        QTest::newRow("split in shared part") << u16(u"/m/") << u16(u"a/b.txt");
        QTest::newRow("split after shared part") << u16(u"/m/a/b") << u16(u".txt");
    }
    void splitOfPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        m_store.TabAdd(0, u"a/c.txt", u"/m/");
        m_store.TabAdd(1, name, folder);
        QCOMPARE(m_store.TabEntry(1).PrefixLength, 5);
        QCOMPARE(m_store.TabEntry(1).Text, u16(u"b.txt"));
        m_store.TabAdd(2, u"b.txt", u"/m/a/");
        QCOMPARE(m_store.TabEntry(2).PrefixLength, 10);
        QCOMPARE(m_store.TabGet(2), u16(u"/m/a/b.txt"));
        QCOMPARE(m_store.TabGet(1), u16(u"/m/a/b.txt"));
    }

    void emptyReads_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("gap") << 3;
        QTest::newRow("after the last") << 11;
        QTest::newRow("last of capacity") << 255;
        QTest::newRow("capacity") << 256;
        QTest::newRow("far beyond") << INT_MAX;
        QTest::newRow("negative") << -1;
        QTest::newRow("int min") << INT_MIN;
    }
    void emptyReads()
    {
        QFETCH(int, index);
        m_store.TabAdd(2, u"a", u"/x/");
        m_store.TabAdd(4, u"b", u"/x/");
        m_store.TabAdd(10, u"c", u"/x/");
        QCOMPARE(m_store.TabGet(index), QString());
        QCOMPARE(m_store.TabGet(4), u16(u"/x/b"));
        QCOMPARE(m_store.TabCapacity(), 256);
    }

    void negativeIndexAsserts()
    {
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, m_store.TabAdd(-1, u"a", u"/"));
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, m_store.TabClear(-1, true));
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, m_store.TabClear(INT_MIN, false));
        QCOMPARE(m_store.TabGet(0), QString());
    }

    // Recording a line again must neither loop nor leave later lines pointing at a changed text.
    void reAddingEarlierLine()
    {
        addExample(m_store);
        m_store.TabGet(4);
        m_store.TabAdd(4, u"q.log", u"/D/A/B/");
        QCOMPARE(m_store.TabGet(4), u16(u"/D/A/B/q.log"));
        m_store.TabAdd(1, u"v.txt", u"/D/A/");
        QCOMPARE(m_store.TabGet(1), u16(u"/D/A/v.txt"));
        QCOMPARE(m_store.TabGet(2), QString());
        QCOMPARE(m_store.TabGet(4), QString());
        QCOMPARE(m_store.TabGet(0), u16(u"/D/A/"));
    }

    void cacheRing()
    {
        std::vector<QString> expected;
        for (int i = 0; i < 60; ++i) {
            expected.push_back(linePath(i));
            m_store.TabAdd(i, QString(), expected.back());
        }
        // More than 16 distinct reads push every slot round the ring several times.
        for (int round = 0; round < 3; ++round) {
            for (int i = 59; i >= 0; i -= 2)
                QCOMPARE(m_store.TabGet(i), expected[i]);
            for (int i = 0; i < 60; i += 3)
                QCOMPARE(m_store.TabGet(i), expected[i]);
        }
        // A caller keeping a path must not see it change when its slot is reused.
        const QString kept = m_store.TabGet(13);
        for (int i = 20; i < 60; ++i)
            m_store.TabGet(i);
        QCOMPARE(kept, expected[13]);
        m_store.TabResetCache();
        for (int i = 59; i >= 0; --i)
            QCOMPARE(m_store.TabGet(i), expected[i]);
    }

    void longSharedPrefixCapped()
    {
        const QString folder =
            QLatin1Char('/') + QString(70000, QLatin1Char('a')) + QLatin1Char('/');
        m_store.TabAdd(0, u"x", folder);
        m_store.TabAdd(1, u"y", folder);
        m_store.TabAdd(2, u"z", folder);
        QCOMPARE(m_store.TabEntry(1).PrefixLength, 65535);
        QCOMPARE(m_store.TabEntry(1).Link, 0);
        QCOMPARE(m_store.TabEntry(1).Text.size(), folder.size() + 1 - 65535);
        QCOMPARE(m_store.TabEntry(2).Link, 0);
        QCOMPARE(m_store.TabGet(2), folder + QLatin1Char('z'));
        QCOMPARE(m_store.TabGet(1), folder + QLatin1Char('y'));
        QCOMPARE(m_store.TabGet(0), folder + QLatin1Char('x'));
    }

    // Each path one unit longer than the one before: every entry links to the previous one.
    void longLinkChain()
    {
        const int count = 60000;
        const QString all = QLatin1Char('/') + QString(count, QLatin1Char('k'));
        m_store.TabAdd(65535, u"", u"/"); // grow first: growth would restart the chain
        m_store.TabClear(0, true);
        for (int i = 0; i < count; ++i)
            m_store.TabAdd(i, QStringView(all).first(i + 1), QString());
        QCOMPARE(m_store.TabEntry(count - 1).Link, count - 2);
        QCOMPARE(m_store.TabEntry(count - 1).PrefixLength, count - 1);
        QCOMPARE(m_store.TabCapacity(), 65536);
        QCOMPARE(m_store.TabGet(count - 1), all.first(count));
        QCOMPARE(m_store.TabGet(count - 2), all.first(count - 1)); // left in the cache
        QCOMPARE(m_store.TabGet(30000), all.first(30001));
        QCOMPARE(m_store.TabGet(0), all.first(1));
    }

    // Random listings with the walker's rollbacks, against a plain list of the paths.
    void rollbacksAgainstModel_data()
    {
        QTest::addColumn<unsigned>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 7") << 7u;
        QTest::newRow("seed 2024") << 2024u;
    }
    void rollbacksAgainstModel()
    {
        QFETCH(unsigned, seed);
        std::mt19937 random(seed);
        auto pick = [&](int from, int to) {
            return std::uniform_int_distribution<int>(from, to)(random);
        };
        std::vector<QString> model; // one path per result line; empty: line without an item
        QList<QString> folders{u16(u"/r/")};
        for (int step = 0; step < 3000; ++step) {
            const int saved = int(model.size());
            if (pick(0, 3) == 0 && folders.size() > 1)
                folders.removeLast();
            else if (folders.size() < 12)
                folders << folders.last() + QStringLiteral("d%1/").arg(pick(0, 3));
            const QString& folder = folders.last();
            m_store.TabAdd(int(model.size()), QString(), folder);
            model.push_back(folder);
            const int files = pick(0, 4);
            for (int f = 0; f < files; ++f) {
                const QString name = QStringLiteral("n%1.txt").arg(pick(0, 99));
                m_store.TabAdd(int(model.size()), name, folder);
                model.push_back(folder + name);
            }
            if (pick(0, 1) == 0)
                model.emplace_back(); // summary or empty line
            if (pick(0, 4) == 0) {
                const int index = pick(0, int(model.size()) - 1);
                QCOMPARE(m_store.TabGet(index), model[std::size_t(index)]);
            }
            int back = -1;
            if (files == 0) // a folder without files is taken out again
                back = saved;
            else if (pick(0, 60) == 0)
                back = std::max(0, int(model.size()) - pick(0, 30));
            else if (pick(0, 1000) == 0) // the Clear command
                back = 0;
            if (back >= 0) {
                m_store.TabClear(back, true);
                model.resize(std::size_t(back));
            }
        }
        QVERIFY(m_store.TabCapacity() > 256);
        for (std::size_t i = 0; i < model.size(); ++i)
            QCOMPARE(m_store.TabGet(int(i)), model[i]);
        for (std::size_t i = model.size(); i-- > 0;)
            QCOMPARE(m_store.TabGet(int(i)), model[i]);
    }

    // Texts below U+0100 are kept a byte a character; wide and narrow entries link to each other
    // and read back whole, at odd and even lengths.
    void narrowAndWideTexts_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("narrow after wide")
            << QStringList{u16(u"/D/\u0105/"), u16(u"/D/\u0105/x.txt"), u16(u"/D/\u0105/yz.txt")};
        QTest::newRow("wide after narrow")
            << QStringList{u16(u"/D/a/"), u16(u"/D/a/\u017C.txt"), u16(u"/D/a/b.txt")};
        QTest::newRow("Latin-1 and surrogates")
            << QStringList{u16(u"/\u00FF\u00E9/"), u16(u"/\u00FF\u00E9/\U0001F600"),
                           u16(u"/\u00FF\u00E9/\u00FF"), u16(u"/\u00FF\u00E9/\u00FFa")};
        QTest::newRow("undecodable bytes")
            << QStringList{u16(u"/m/\xDCFF/"), u16(u"/m/\xDCFF/a"), u16(u"/m/b")};
    }
    void narrowAndWideTexts()
    {
        QFETCH(QStringList, paths);
        for (int i = 0; i < paths.size(); ++i) {
            const qsizetype split = paths[i].lastIndexOf(u'/', paths[i].size() - 2) + 1;
            m_store.TabAdd(i, QStringView(paths[i]).sliced(split),
                           QStringView(paths[i]).first(split));
        }
        for (int i = paths.size() - 1; i >= 0; --i)
            QCOMPARE(m_store.TabGet(i), paths[i]);
        m_store.TabResetCache();
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(m_store.TabGet(i), paths[i]);
    }

    // Clearing gives memory back (all but a page of entries and a block of text kept for the
    // rollbacks); the capacity stays, and lines recorded again read back.
    void clearReleasesMemory()
    {
        for (int i = 0; i < 100000; ++i)
            m_store.TabAdd(i, QStringLiteral("%1.txt").arg(i * 7919 % 100000), u"/big/");
        QVERIFY(m_store.TabMemory().TextUnits > 100000 * 2);
        m_store.TabClear(20000, true);
        QCOMPARE(m_store.TabMemory().AllocatedEntries, 3 * 16384); // pages 0 to 2
        QCOMPARE(m_store.TabGet(19999), QStringLiteral("/big/%1.txt").arg(19999 * 7919 % 100000));
        QCOMPARE(m_store.TabGet(20000), QString());
        QCOMPARE(m_store.TabGet(40000), QString());
        m_store.TabAdd(40000, u"again", u"/big/");
        QCOMPARE(m_store.TabGet(40000), u16(u"/big/again"));
        QCOMPARE(m_store.TabGet(20000), QString());
        m_store.TabClear(0, true);
        QCOMPARE(m_store.TabMemory().TextUnits, 0);
        QVERIFY(m_store.TabMemory().TextReserved <= 1 << 20);
        QCOMPARE(m_store.TabCapacity(), 131072);
        QCOMPARE(m_store.TabGet(5), QString());
        QCOMPARE(m_store.TabGet(40000), QString());
    }

    // Texts of 400000 units: two fill most of a text block, the third starts the next one, and
    // one of 1.1 million units needs a block of its own. Rollbacks cut across block ends.
    void textAcrossBlocks()
    {
        std::vector<QString> paths;
        // Characters beyond U+00FF: each takes a whole unit.
        for (char16_t c : {u'\u0105', u'\u0107', u'\u0119'})
            paths.push_back(QString(400000, QChar(c)));
        paths.push_back(QString(1100000, QChar(0x0142)));
        paths.push_back(QStringLiteral("/e"));
        auto addFrom = [&](int first) {
            for (int i = first; i < int(paths.size()); ++i)
                m_store.TabAdd(i, QString(), paths[std::size_t(i)]);
        };
        auto checkTo = [&](int end) {
            for (int i = 0; i < int(paths.size()); ++i)
                QCOMPARE(m_store.TabGet(i), i < end ? paths[std::size_t(i)] : QString());
        };
        addFrom(0);
        checkTo(5);
        QCOMPARE(m_store.TabMemory().TextUnits, 2300001); // "/e" takes one unit
        m_store.TabClear(3, true);
        checkTo(3);
        m_store.TabClear(1, true);
        checkTo(1);
        QCOMPARE(m_store.TabMemory().TextUnits, 400000);
        addFrom(1);
        checkTo(5);
        m_store.TabClear(4, true);
        addFrom(4);
        checkTo(5);
    }
};

QTEST_GUILESS_MAIN(TestResultLineStore)
#include "tst_result_line_store.moc"
