#include "core/text/compact_text.h"
#include "core/text/find_text.h"

#include <QTest>

using namespace dirka;

namespace {

TCompactText linesOf(const QString& text)
{
    TCompactText lines;
    for (const QString& line : text.split(u"\r\n"_qs))
        lines.Append(line);
    return lines;
}

} // namespace

class TestFindText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void find_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("wholeWords");
        QTest::addColumn<int>("expected");
        const QString logs = QStringLiteral("catalog logs log.txt a log");
        QTest::newRow("whole word skips catalog and logs")
            << true << "log" << logs << false << 1 << true << 14;
        QTest::newRow("whole word next") << true << "log" << logs << false << 15 << true << 24;
        QTest::newRow("whole word none after") << true << "log" << logs << false << 25 << true << 0;
        QTest::newRow("back whole word") << false << "log" << logs << false << 23 << true << 14;
        QTest::newRow("back none before") << false << "log" << logs << false << 13 << true << 0;
        QTest::newRow("not whole word") << true << "log" << logs << false << 1 << false << 5;
        QTest::newRow("digit before") << true << "mp3"
                                      << "song1mp3" << false << 1 << true << 6;
        QTest::newRow("E acute no case") << true << QString::fromUtf8("É")
                                         << QString::fromUtf8("café") << false << 1 << false << 4;
        QTest::newRow("E acute with case") << true << QString::fromUtf8("É")
                                           << QString::fromUtf8("café") << true << 1 << false << 0;
        QTest::newRow("overlap 1") << true << "aa"
                                   << "aaa" << true << 1 << false << 1;
        QTest::newRow("overlap 2") << true << "aa"
                                   << "aaa" << true << 2 << false << 2;
        QTest::newRow("overlap end") << true << "aa"
                                     << "aaa" << true << 3 << false << 0;
        QTest::newRow("at very end") << true << "end"
                                     << "the end" << true << 1 << true << 5;
        QTest::newRow("back at very start") << false << "the"
                                            << "the end" << true << 7 << true << 1;
        QTest::newRow("empty pattern") << true << ""
                                       << "abc" << true << 1 << false << 0;
        QTest::newRow("line breaks are no word chars") << true << "b"
                                                       << "a\r\nb\r\n"
                                                       << true << 1 << true << 4;
        QTest::newRow("self-test forward") << true << "Rok"
                                           << "ba-roK.i" << false << 1 << true << 4;
        QTest::newRow("self-test backward") << false << "Rok"
                                            << "ba-roK.i" << false << 8 << true << 4;
    }
    void find()
    {
        QFETCH(bool, forward);
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, caseSensitive);
        QFETCH(int, start);
        QFETCH(bool, wholeWords);
        QFETCH(int, expected);
        const qsizetype actual =
            forward ? FindTextForward(pattern, text, caseSensitive, start, wholeWords)
                    : FindTextBackward(pattern, text, caseSensitive, start, wholeWords);
        QCOMPARE(actual, expected);
    }

    void findStep_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<bool>("backward");
        QTest::addColumn<bool>("wholeWords");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("beep");
        const auto row = [](const char* tag, const char16_t* text, const char16_t* pattern,
                            int selStart, int selLength, bool backward, bool wholeWords, int start,
                            bool beep) {
            QTest::newRow(tag) << QString::fromUtf16(text) << QString::fromUtf16(pattern)
                               << selStart << selLength << backward << wholeWords << start << beep;
        };
        row("next from the caret", u"aaa", u"aa", 0, 0, false, false, 0, false);
        row("next overlaps", u"aaa", u"aa", 0, 2, false, false, 1, false);
        row("next wraps", u"aaa", u"aa", 1, 2, false, false, 0, true);
        row("back from a selection", u"aaa", u"aa", 1, 2, true, false, 0, false);
        row("back wraps to the end", u"aaa", u"aa", 0, 2, true, false, 1, true);
        row("next finds the very end", u"ab\r\nxy", u"xy", 3, 0, false, false, 4, false);
        row("back finds the very start", u"xy\r\nab", u"xy", 5, 0, true, false, 0, false);
        row("nothing found", u"abc", u"z", 1, 1, false, false, -1, true);
        row("empty pattern", u"abc", u"", 0, 0, false, false, -1, true);
        row("empty pattern back", u"abc", u"", 2, 0, true, false, -1, true);
        // The wrapped search reads only what the first one left; words must not be cut there.
        row("wrap, whole word before", u"log alog", u"log", 1, 3, false, true, 0, true);
        row("wrap, word cut where the first search began", u"ab logx", u"log", 2, 1, false, true,
            -1, true);
        row("wrap back, whole word after", u"alog log", u"log", 1, 0, true, true, 5, true);
        row("wrap back, word cut where the first search ended", u"xlog", u"log", 2, 0, true, true,
            -1, true);
        row("word at a line's end", u"a log\r\nlogs", u"log", 0, 0, false, true, 2, false);
        row("word at a line's start, back", u"xlog\r\nlog", u"log", 9, 0, true, true, 6, false);
        row("caret in a line break", u"ab\r\nab", u"ab", 3, 0, false, false, 4, false);
        row("back from a line break", u"ab\r\nab", u"ab", 3, 0, true, false, 0, false);
        row("pattern over a line break", u"ab\r\ncd", u"b\r\nc", 0, 0, false, false, 1, false);
        row("wide lines", u"\u0141\u00F3d\u017A\r\nl\u00F3d\u017A", u"\u00D3D\u0179", 7, 3, false,
            false, 1, true);
    }
    void findStep()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(bool, backward);
        QFETCH(bool, wholeWords);
        QFETCH(int, start);
        QFETCH(bool, beep);
        const TFindOptions options{.WholeWords = wholeWords, .Backward = backward};
        const TFindStep step = FindStep(text, pattern, selStart, selLength, options);
        QCOMPARE(step.Start, qsizetype(start));
        QCOMPARE(step.Beep, beep);
        const TFindStep byLines = FindStep(linesOf(text), pattern, selStart, selLength, options);
        QCOMPARE(byLines.Start, qsizetype(start));
        QCOMPARE(byLines.Beep, beep);
    }

    // Searching the lines one at a time lands where searching them joined does, from every
    // caret and selection, both ways, by word and by case.
    void linesAgreeWithText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("words over lines") << u"log\r\nxlog log\r\n\r\nlog\r\nlogx"_qs << u"LOG"_qs;
        QTest::newRow("overlaps") << u"aaa\r\naa\r\na\r\naaaa"_qs << u"aa"_qs;
        QTest::newRow("wide and narrow")
            << u"\u0141ad\r\nlad \u0141AD\r\n\u6771lad"_qs << u"\u0142ad"_qs;
        QTest::newRow("one line") << u"a b a"_qs << u"a"_qs;
        QTest::newRow("absent") << u"abc\r\ndef"_qs << u"x"_qs;
    }
    void linesAgreeWithText()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        const TCompactText lines = linesOf(text);
        for (int flags = 0; flags < 8; ++flags) {
            const TFindOptions options{bool(flags & 1), bool(flags & 2), bool(flags & 4)};
            for (qsizetype start = 0; start <= text.size(); ++start) {
                for (qsizetype length = 0; length <= 2; ++length) {
                    const TFindStep joined = FindStep(text, pattern, start, length, options);
                    const TFindStep byLines = FindStep(lines, pattern, start, length, options);
                    QVERIFY2(byLines.Start == joined.Start && byLines.Beep == joined.Beep,
                             qPrintable(u"flags %1, from %2 + %3: %4 against %5"_qs.arg(flags)
                                            .arg(start)
                                            .arg(length)
                                            .arg(byLines.Start)
                                            .arg(joined.Start)));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestFindText)
#include "tst_find_text.moc"
