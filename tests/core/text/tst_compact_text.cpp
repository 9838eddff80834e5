#include "core/text/compact_text.h"

#include <QTest>

using namespace dirka;

namespace {

// Every question the lines answer, against the same lines joined into one string.
void verifyAgainstJoined(const TCompactText& text, const QStringList& lines)
{
    const QString joined = lines.join(u"\r\n");
    QCOMPARE(text.LineCount(), lines.size());
    QCOMPARE(text.Size(), joined.size());
    QCOMPARE(text.IsEmpty(), joined.isEmpty());
    QString scratch;
    qsizetype start = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QCOMPARE(text.LineStart(i), start);
        QCOMPARE(text.LineLength(i), lines[i].size());
        QCOMPARE(text.Line(i, scratch).toString(), lines[i]);
        start += lines[i].size() + 2;
    }
    // Every offset of a short text; a sample of a long one, whose lines decode from their start.
    const qsizetype step = joined.size() < 5000 ? 1 : 997;
    for (qsizetype offset = 0; offset < joined.size(); offset += step) {
        QCOMPARE(text.UnitAt(offset), joined[offset].unicode());
        const qsizetype line = text.LineFromOffset(offset);
        QVERIFY(text.LineStart(line) <= offset);
        QVERIFY(line + 1 == lines.size() || text.LineStart(line + 1) > offset);
    }
    QCOMPARE(text.Mid(0, joined.size()), joined);
    for (qsizetype from = 0; from <= joined.size(); from += 3 * step)
        QCOMPARE(text.Mid(from, 5), joined.mid(from, 5));
}

QStringList manyLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        // Narrow, Latin-1, wide, a surrogate pair and empty lines, in turn.
        static const char16_t* const kinds[] = {u"file-", u"caf\u00E9 ", u"\u0141\u00F3d\u017A ",
                                                u"\U0001F3B5 ", u""};
        lines.append(QString::fromUtf16(kinds[i % 5]) +
                     (i % 5 == 4 ? QString() : QString::number(i)));
    }
    return lines;
}

} // namespace

class TestCompactText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answersAsJoined_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("none") << QStringList();
        QTest::newRow("one empty line") << QStringList{QString()};
        QTest::newRow("empty lines") << QStringList{QString(), QString(), QString()};
        QTest::newRow("narrow") << QStringList{u"a"_qs, u"bc"_qs};
        QTest::newRow("Latin-1 stays narrow") << QStringList{u"\u00FF\u00E9"_qs, u"x"_qs};
        QTest::newRow("wide after narrow") << QStringList{u"a"_qs, u"\u0100"_qs, u"b"_qs};
        QTest::newRow("tab and controls") << QStringList{u"\ta\u0001"_qs, u"\u007F\u0080"_qs};
        QTest::newRow("lone surrogates") << QStringList{u"\xDC80x"_qs, u"\xD800"_qs};
        QTest::newRow("several blocks") << manyLines(200);
        QTest::newRow("lines around 64 KiB")
            << QStringList{QString(0xFFFE, u'a'),
                           QString(0xFFFF, u'b'),
                           u"x"_qs,
                           QString(40000, u'\u0141'),
                           QString(0x7FFF, u'\u0141'),
                           QString(21845, u'\u6771'),
                           QString(21844, u'\u6771') + u"\U0001F3B5"_qs};
    }
    void answersAsJoined()
    {
        QFETCH(QStringList, lines);
        TCompactText text;
        for (const QString& line : lines)
            text.Append(line);
        verifyAgainstJoined(text, lines);
    }

    // Truncating drops whole lines, from inside a block or on a block's edge, and the lines
    // appended afterwards sit where they should.
    void truncate_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {0, 1, 63, 64, 65, 127, 128, 199, 200, 250})
            QTest::addRow("to %d", count) << count;
    }
    void truncate()
    {
        QFETCH(int, count);
        QStringList lines = manyLines(200);
        TCompactText text;
        for (const QString& line : lines)
            text.Append(line);
        const TCompactText before = text;
        text.Truncate(count);
        lines = lines.mid(0, count);
        verifyAgainstJoined(text, lines);
        for (const QString& more : {u"after \u0141"_qs, u"after"_qs, QString()}) {
            text.Append(more);
            lines.append(more);
        }
        verifyAgainstJoined(text, lines);
        // A copy taken before keeps what it had.
        QCOMPARE(before.LineCount(), 200);
        QCOMPARE(before.Mid(0, before.Size()), manyLines(200).join(u"\r\n"));
    }

    // Lines too long for their two-byte length are kept apart, and forgotten with their lines.
    void longLinesFollowTruncation()
    {
        const QStringList all{u"a"_qs, QString(70000, u'b'), u"\u0141"_qs,
                              QString(40000, u'\u0142'), u"c"_qs};
        for (qsizetype count = 0; count <= all.size(); ++count) {
            TCompactText text;
            for (const QString& line : all)
                text.Append(line);
            text.Truncate(count);
            QStringList lines = all.mid(0, count);
            for (const QString& more : {QString(66000, u'd'), u"e"_qs}) {
                text.Append(more);
                lines.append(more);
            }
            QCOMPARE(text.LineCount(), lines.size());
            QCOMPARE(text.Mid(0, text.Size()), lines.join(u"\r\n"));
        }
    }

    void copiesShareUntilChanged()
    {
        TCompactText text;
        text.Append(u"one");
        TCompactText copy = text;
        QVERIFY(copy.SharesMemoryWith(text));
        text.Append(u"two");
        QVERIFY(!copy.SharesMemoryWith(text));
        QCOMPARE(copy.Mid(0, 100), u"one"_qs);
        text.Clear();
        QCOMPARE(copy.LineCount(), 1);
    }

    void cutsOverlongLines()
    {
        TCompactText text;
        text.Append(QString(TCompactText::MaxLineUnits + 5, u'\u0141'));
        text.Append(u"next");
        QCOMPARE(text.LineLength(0), TCompactText::MaxLineUnits);
        QCOMPARE(text.LineStart(1), TCompactText::MaxLineUnits + 2);
        QCOMPARE(text.UnitAt(TCompactText::MaxLineUnits - 1), u'\u0141');
    }
};

QTEST_GUILESS_MAIN(TestCompactText)
#include "tst_compact_text.moc"
