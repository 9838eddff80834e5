#include "core/listing/result_text.h"

#include "test_support.h"

#include <QTest>

#include <algorithm>
#include <iterator>

using namespace dirka;
using namespace testsupport;
using namespace Qt::StringLiterals;

namespace {

// Every line's start, text and the CR LF between lines agree with the whole text.
void verifyConsistent(const TResultText& text, const QStringList& lines)
{
    QCOMPARE(text.LineCount(), lines.size());
    QCOMPARE(text.WholeText(), lines.join(u"\r\n"));
    qsizetype start = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QCOMPARE(text.LineStart(i), start);
        QCOMPARE(text.Line(i).toString(), lines[i]);
        start += lines[i].size() + 2;
    }
}

} // namespace

class TestResultText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsEmpty()
    {
        TResultText text;
        QCOMPARE(text.LineCount(), 0);
        QVERIFY(text.IsEmpty());
    }

    void append_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("joined");
        QTest::newRow("one") << QStringList{u"a"_s} << u"a"_s;
        QTest::newRow("two") << QStringList{u"ab"_s, u"c"_s} << u"ab\r\nc"_s;
        QTest::newRow("one empty line") << QStringList{QString()} << QString();
        QTest::newRow("two empty lines") << QStringList{QString(), QString()} << u"\r\n"_s;
        QTest::newRow("empty first") << QStringList{QString(), u"x"_s} << u"\r\nx"_s;
        QTest::newRow("empty last") << QStringList{u"x"_s, QString()} << u"x\r\n"_s;
        QTest::newRow("empty between") << QStringList{u"a"_s, QString(), u"b"_s} << u"a\r\n\r\nb"_s;
        QTest::newRow("surrogate pair and U+FFFD")
            << QStringList{u16(u"\xD83D\xDE00"), u16(u"\uFFFD")} << u16(u"\xD83D\xDE00\r\n\uFFFD");
    }
    void append()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, joined);
        const TResultText text = resultOf(lines);
        QCOMPARE(text.WholeText(), joined);
        verifyConsistent(text, lines);
    }

    void truncate_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("remaining");
        const QStringList abc{u"a"_s, u"bb"_s, u"ccc"_s};
        QTest::newRow("more than held") << abc << 5 << abc;
        QTest::newRow("as many as held") << abc << 3 << abc;
        QTest::newRow("one fewer") << abc << 2 << QStringList{u"a"_s, u"bb"_s};
        QTest::newRow("to one") << abc << 1 << QStringList{u"a"_s};
        QTest::newRow("to none") << abc << 0 << QStringList();
        QTest::newRow("to an empty first line")
            << QStringList{QString(), u"x"_s} << 1 << QStringList{QString()};
        QTest::newRow("drops an empty last line")
            << QStringList{u"x"_s, QString()} << 1 << QStringList{u"x"_s};
        QTest::newRow("keeps an empty last line")
            << QStringList{u"x"_s, QString(), u"y"_s} << 2 << QStringList{u"x"_s, QString()};
    }
    void truncate()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, count);
        QFETCH(QStringList, remaining);
        TResultText text = resultOf(lines);
        text.TruncateLines(count);
        verifyConsistent(text, remaining);

        // The same through the walker's view of a lines target, one line at a time.
        TResultText byLines = resultOf(lines);
        TLinesTarget& target = byLines;
        while (target.LineCount() > count)
            target.RemoveLastLine();
        verifyConsistent(byLines, remaining);

        // Lines appended afterwards start where they should.
        text.AppendLine(u"new");
        verifyConsistent(text, remaining + QStringList{u"new"_s});
    }

    // Item lines keep their paths in the result's own store (a line that is its item's path, as
    // in the full-path styles, is not stored twice), which forgets them with the lines, however
    // they go: a line recorded again at a forgotten index shows its new item.
    void pathsFollowLines_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("oneByOne");
        // 0: other text, 1: the path, 2: every other line the path, 3: indented, with its size
        QTest::addColumn<int>("shown");
        for (int shown = 0; shown <= 3; ++shown) {
            for (int count = 0; count <= 5; ++count) {
                QTest::addRow("shown %d, truncate to %d", shown, count) << count << false << shown;
                QTest::addRow("shown %d, remove down to %d", shown, count)
                    << count << true << shown;
            }
        }
    }
    void pathsFollowLines()
    {
        QFETCH(int, count);
        QFETCH(bool, oneByOne);
        QFETCH(int, shown);
        const QStringList paths{u"/d/"_s, u"/d/x"_s, QString(), u"/d/e/y"_s, u"/d/e/z"_s};
        TResultText text;
        for (int i = 0; i < paths.size(); ++i) {
            const bool asPath = shown == 1 || shown == 3 || (shown == 2 && i % 2 == 0);
            const QString line = shown == 3 ? u"\t " + paths[i] + u"  12 KB" : paths[i];
            addLine(text, asPath && !paths[i].isEmpty() ? QStringView(line) : u"line", paths[i]);
        }
        if (oneByOne) {
            while (text.LineCount() > count)
                text.RemoveLastLine();
        } else {
            text.TruncateLines(count);
        }
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(text.PathOf(i), i < count ? paths[i] : QString());
        addLine(text, u"new", u"/n/w");
        QCOMPARE(text.PathOf(int(text.LineCount()) - 1), u"/n/w"_s);
        addLine(text, u"/n/v", u"/n/v");
        QCOMPARE(text.PathOf(int(text.LineCount()) - 1), u"/n/v"_s);
        addLine(text, u"/n/vw 1 KB", u"/n/v"); // begins with the path, and more of the name
        QCOMPARE(text.PathOf(int(text.LineCount()) - 1), u"/n/v"_s);
        addLine(text, u"/n/x", u"/n/xy"); // shorter than the path
        QCOMPARE(text.PathOf(int(text.LineCount()) - 1), u"/n/xy"_s);
        addLine(text, QString(QString(300, u'\t') + u"/n/deep"),
                u"/n/deep"); // a deep tree's indent
        QCOMPARE(text.PathOf(int(text.LineCount()) - 1), u"/n/deep"_s);
        text.Clear();
        QCOMPARE(text.PathOf(0), QString());
        addLine(text, u"after", u"/a/b");
        QCOMPARE(text.PathOf(0), u"/a/b"_s);
    }

    // Below a line that shows its folder's path, a line that shows its item's name keeps only
    // where the name is; its path is the folder line's plus the name, through any truncation.
    // Lines given as "text|folder path|name" as the walk gives them (a folder's name ends in the
    // delimiter); "" ends the lines before truncating to count, those after it are appended
    // then. stored: one past the last line whose path went to the line store.
    void pathsBelowFolderLines_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("stored");
        const QStringList block{u":: /d/|/d/|"_s, u"/d/|/d/|"_s,       u"<e>|/d/|e/"_s,
                                u"x|/d/|x"_s,     u":: Files: 1||"_s,  u"/d/e/|/d/e/|"_s,
                                u"y|/d/e/|y"_s,   u"1  1 KB|/d/e/|1"_s};
        QTest::newRow("the default style") << block << 8 << 1;
        QTest::newRow("a name after its size")
            << QStringList{u"/d/|/d/|"_s, u"  12 KB  x.txt|/d/|x.txt"_s} << 2 << 0;
        QTest::newRow("a folder line that shows the delimiter")
            << QStringList{u"/d/|/d/|"_s, u"[e/]|/d/|e/"_s} << 2 << 0;
        QTest::newRow("a one-letter name in a line of others")
            << QStringList{u"/d/|/d/|"_s, u"<a>|/d/|a/"_s, u"<b>  a|/d/|b/"_s} << 3 << 0;
        QTest::newRow("before any folder line") << QStringList{u"x|/d/|x"_s} << 1 << 1;
        QTest::newRow("below another folder")
            << QStringList{u"/d/|/d/|"_s, u"z|/q/|z"_s, u"y|/d/|y"_s} << 3 << 2;
        QTest::newRow("below a folder whose path begins the same")
            << QStringList{u"/d/|/d/|"_s, u"z|/d/e/|z"_s, u"z|/|dz"_s} << 3 << 3;
        QTest::newRow("the name not shown")
            << QStringList{u"/d/|/d/|"_s, u"<?>|/d/|n"_s, u"n|/d/|n"_s} << 3 << 2;
        QTest::newRow("a folder line deeper than an indent is kept")
            << QStringList{QString(QString(300, u' ') + u"/d/|/d/|"), u"x|/d/|x"_s} << 2 << 2;
        const QString longest = u'/' + QString((1 << 14) - 3, u'l') + u'/';
        QTest::newRow("the longest path kept in its line")
            << QStringList{longest + u'|' + longest + u'|', u"x|" + longest + u"|x"} << 2 << 0;
        const QString longer = u'/' + QString(1 << 14, u'l') + u'/';
        QTest::newRow("a longer path is stored")
            << QStringList{longer + u'|' + longer + u'|', u"x|" + longer + u"|x"} << 2 << 2;
        QTest::newRow("back into the first folder")
            << block + QStringList{QString(), u"z|/d/|z"_s, u"w|/d/e/|w"_s} << 4 << 6;
        QTest::newRow("back before any folder")
            << block + QStringList{QString(), u"z|/d/|z"_s} << 1 << 2;
        QTest::newRow("a new folder after going back")
            << block + QStringList{QString(), u"/f/|/f/|"_s, u"<e>|/f/|e/"_s, u"y|/d/e/|y"_s} << 6
            << 9;
    }
    void pathsBelowFolderLines()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, count);
        QFETCH(int, stored);
        TResultText text;
        QStringList expected;
        const auto append = [&](const QString& line) {
            const QStringList parts = line.split(u'|');
            if (parts[1].isEmpty())
                text.AppendLine(parts[0]);
            else
                text.AppendItemLine(parts[0], {parts[1], parts[2]});
            expected.append(parts[1] + parts[2]);
        };
        const qsizetype end = lines.indexOf(QString());
        for (const QString& line : lines.first(end < 0 ? lines.size() : end))
            append(line);
        text.TruncateLines(count);
        expected = expected.first(std::min<qsizetype>(count, expected.size()));
        if (end >= 0) {
            for (const QString& line : lines.sliced(end + 1))
                append(line);
        }
        for (qsizetype i = 0; i < expected.size(); ++i)
            QCOMPARE(text.PathOf(i), expected[i]);
        QCOMPARE(text.PathStoreEntries(), stored);
    }

    // Records follow their lines too, and the facts of the looked-at ones stay with their own
    // record when records that know nothing came first or were taken back.
    void recordsFollowLines_data()
    {
        QTest::addColumn<int>("count");
        for (int count = 0; count <= 5; ++count)
            QTest::addRow("truncate to %d", count) << count;
    }
    void recordsFollowLines()
    {
        QFETCH(int, count);
        const TItemFacts unknown;
        const TItemFacts found{7, 70, TRecordType::Link, TFactsState::Found};
        const TItemFacts unreadable{0, 0, TRecordType::Folder, TFactsState::Unreadable};
        TResultText text;
        text.AppendItemLine(u"a", {u"/d/", u"a", &unknown});
        text.AppendItemLine(u"d", {u"/d/", QStringView()}); // shows /d/ again: no record
        text.AppendItemLine(u"b", {u"/d/", u"b", &unknown});
        text.AppendItemLine(u"c", {u"/d/", u"c", &found});
        text.AppendItemLine(u"e", {u"/d/", u"e", &unknown});
        text.TruncateLines(count);
        text.AppendItemLine(u"f", {u"/d/", u"f", &unreadable});
        const std::vector<int> allLines{0, 2, 3, 4};
        std::vector<int> lines;
        std::copy_if(allLines.begin(), allLines.end(), std::back_inserter(lines),
                     [count](int line) { return line < count; });
        lines.push_back(count);
        QCOMPARE(text.RecordCount(), qsizetype(lines.size()));
        for (qsizetype k = 0; k < text.RecordCount(); ++k) {
            const TLineRecord record = text.Record(k);
            QCOMPARE(record.Line, lines[std::size_t(k)]);
            const TItemFacts expected = record.Line == count ? unreadable
                                        : record.Line == 3   ? found
                                                             : unknown;
            QCOMPARE(int(record.State), int(expected.State));
            QCOMPARE(int(record.Type), int(expected.Type));
            QCOMPARE(record.Size, expected.Size);
        }
    }

    void lineFromOffset_data()
    {
        // "ab" CR LF "cd" CR LF (empty) CR LF "ef": lines start at 0, 4, 8 and 10.
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("line");
        const int lines[] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3};
        for (int offset = 0; offset < 12; ++offset)
            QTest::addRow("offset %d", offset) << offset << lines[offset];
        QTest::newRow("end of text") << 12 << 3;
    }
    void lineFromOffset()
    {
        QFETCH(int, offset);
        QFETCH(int, line);
        const TResultText text = resultOf({u"ab"_s, u"cd"_s, QString(), u"ef"_s});
        QCOMPARE(text.Size(), 12);
        QCOMPARE(text.LineFromOffset(offset), line);
    }

    void lineFromOffsetEmptyLines()
    {
        const TResultText text = resultOf({QString(), QString(), QString()});
        QCOMPARE(text.WholeText(), u"\r\n\r\n"_s);
        QCOMPARE(text.LineFromOffset(0), 0);
        QCOMPARE(text.LineFromOffset(1), 0);
        QCOMPARE(text.LineFromOffset(2), 1);
        QCOMPARE(text.LineFromOffset(3), 1);
        QCOMPARE(text.LineFromOffset(4), 2);
    }

    // A long result of varied line lengths: every unit maps back to the line that holds it.
    void manyLines()
    {
        TResultText text;
        QStringList lines;
        for (int i = 0; i < 20000; ++i) {
            lines.append(QString(i % 7, QChar(u'a' + i % 26)));
            text.AppendLine(lines.back());
        }
        verifyConsistent(text, lines);
        for (int i = 0; i < lines.size(); ++i) {
            const qsizetype start = text.LineStart(i);
            QCOMPARE(text.LineFromOffset(start), i);
            QCOMPARE(text.LineFromOffset(start + lines[i].size()), i); // its CR
            if (i + 1 < lines.size())
                QCOMPARE(text.LineFromOffset(start + lines[i].size() + 1), i); // its LF
        }
        text.TruncateLines(12345);
        verifyConsistent(text, lines.first(12345));
        QCOMPARE(linesOf(text), lines.first(12345));
    }

    void clear()
    {
        TResultText text = resultOf({u"a"_s, u"b"_s});
        text.Clear();
        QCOMPARE(text.LineCount(), 0);
        QVERIFY(text.IsEmpty());
        text.AppendLine(u"c");
        verifyConsistent(text, {u"c"_s});
    }

    // The lines target's own TruncateLines, for targets that only remove one line at a time.
    void defaultTruncateOfLinesTarget()
    {
        class TOneByOne : public TLinesTarget {
        public:
            qsizetype LineCount() const override { return m_lines.size(); }
            QStringView Line(qsizetype index) const override { return m_lines[index]; }
            void AppendLine(QStringView text) override { m_lines.append(text.toString()); }
            void RemoveLastLine() override { m_lines.removeLast(); }
            QStringList m_lines;
        };
        TOneByOne target;
        for (const char16_t* line : {u"a", u"b", u"c"})
            target.AppendLine(line);
        target.TruncateLines(7);
        QCOMPARE(target.m_lines.size(), 3);
        target.TruncateLines(1);
        QCOMPARE(target.m_lines, QStringList{u"a"_s});
        target.TruncateLines(0);
        QVERIFY(target.m_lines.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestResultText)
#include "tst_result_text.moc"
