#include "core/text/assertion.h"
#include "core/text/byte_buffer.h"
#include "core/text/self_test.h"
#include "core/text/text_utils.h"

#include "test_support.h"

#include <QTest>

#include <string>

using namespace dirka;
using namespace testsupport;

namespace {
} // namespace

class TestTextUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void includeTrailingChar()
    {
        QCOMPARE(IncludeTrailingChar(u"/docs", u'/'), QStringLiteral("/docs/"));
        QCOMPARE(IncludeTrailingChar(u"/docs/", u'/'), QStringLiteral("/docs/"));
        QCOMPARE(IncludeTrailingChar(u"", u'/'), QStringLiteral("/"));
    }

    void selfTestPasses() { RunSelfTest(); }

    // Sixteen bytes at a time, then one at a time: an odd byte in either part, at either end.
    // Appends across growth keep what was there; the front can go, also from an empty buffer.
    void byteBuffer()
    {
        TByteBuffer empty;
        empty.RemoveFront(0);
        QCOMPARE(empty.View(), QByteArrayView());
        TByteBuffer b;
        QByteArray expected;
        for (int i = 0; i < 300; ++i) {
            const QByteArray piece = QByteArray::number(i) + ',';
            b.Append(piece);
            expected += piece;
        }
        b.Append('!');
        expected += '!';
        QCOMPARE(b.View(), QByteArrayView(expected));
        b.RemoveFront(4);
        QCOMPARE(b.View(), QByteArrayView(expected).sliced(4));
        const TByteBuffer copy = b;
        b.Truncate(2);
        QCOMPARE(b.View(), QByteArrayView("2,"));
        QCOMPARE(copy.View(), QByteArrayView(expected).sliced(4));
        // Units are two bytes each: a buffer of them grows past its first block whole.
        TUnitBuffer units;
        QString expectedUnits;
        for (int i = 0; i < 300; ++i) {
            units.Append(u"ab", 2);
            expectedUnits += u"ab";
        }
        QCOMPARE(units.View(), QStringView(expectedUnits));
        // A moved buffer takes the bytes; the one it left is empty and usable again.
        TByteBuffer moved(std::move(b));
        QCOMPARE(moved.View(), QByteArrayView("2,"));
        QVERIFY(b.IsEmpty());
        b.Append("x", 1);
        std::swap(b, moved);
        QCOMPARE(b.View(), QByteArrayView("2,"));
        QCOMPARE(moved.View(), QByteArrayView("x"));
    }

    void isPrintableAscii_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("printable");
        QTest::addColumn<bool>("ascii");
        const QByteArray sixteen("0123456789abcdef");
        QTest::newRow("empty") << QByteArray() << true << true;
        QTest::newRow("space and tilde") << QByteArray(" ~") << true << true;
        QTest::newRow("sixteen") << sixteen << true << true;
        QTest::newRow("thirty-five") << sixteen + sixteen + "xyz" << true << true;
        for (const char odd : {'\0', '\t', '\x1F', '\x7F', '\x80', '\xC3', '\xFF'}) {
            const QByteArray hex = QByteArray(1, odd).toHex();
            const bool ascii = static_cast<unsigned char>(odd) < 0x80;
            QTest::addRow("%s first", hex.constData())
                << QByteArray(1, odd) + sixteen << false << ascii;
            QTest::addRow("%s at 15", hex.constData())
                << sixteen.left(15) + odd + sixteen << false << ascii;
            QTest::addRow("%s at 31", hex.constData())
                << sixteen + sixteen.left(15) + odd << false << ascii;
            QTest::addRow("%s in the tail", hex.constData())
                << sixteen + "ab" + odd << false << ascii;
        }
    }
    void isPrintableAscii()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, printable);
        QFETCH(bool, ascii);
        QCOMPARE(IsPrintableAscii(bytes.constData(), bytes.size()), printable);
        QCOMPARE(IsAscii(bytes.constData(), bytes.size()), ascii);
    }

    // Every length around the eight-unit steps: the bytes are the units, and nothing is
    // written past them.
    void narrowAscii()
    {
        const QString units = u16(u"~abcdefghijklmnopqrstuvwxyz0123 ");
        for (qsizetype n = 0; n <= units.size(); ++n) {
            QByteArray out(units.size() + 1, '\xAA');
            NarrowAscii(Units(units), n, out.data());
            QCOMPARE(out.left(n), units.left(n).toLatin1());
            QVERIFY(out.mid(n) == QByteArray(out.size() - n, '\xAA'));
        }
    }

    void numbers()
    {
        QCOMPARE(Max(-5, -7), -5);
        QCOMPARE(Min(-5, -7), -7);
        QCOMPARE(Sign(-9), -1);
        QCOMPARE(Sign(0), 0);
        QCOMPARE(Sign(INT_MIN), -1);
        QCOMPARE(Sign64(std::int64_t(1) << 40), 1);
        QCOMPARE(Sign64(INT64_MIN), -1);
        QCOMPARE(BoolToInt(true), 1);
        QCOMPARE(BoolToInt(false), 0);
    }

    void intToStrWidth_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("padded") << 3 << 2 << QStringLiteral(" 3");
        QTest::newRow("minus counts") << -3 << 3 << QStringLiteral(" -3");
        QTest::newRow("width 0") << 7 << 0 << QStringLiteral("7");
        QTest::newRow("never cut") << 12345 << 2 << QStringLiteral("12345");
        QTest::newRow("negative width") << 5 << -4 << QStringLiteral("5");
        QTest::newRow("int min") << INT_MIN << 0 << QStringLiteral("-2147483648");
    }
    void intToStrWidth()
    {
        QFETCH(int, value);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QCOMPARE(IntToStrWidth(value, width), expected);
    }

    void hex()
    {
        QCOMPARE(ByteToHex(0), QStringLiteral("00"));
        QCOMPARE(ByteToHex(0xAB), QStringLiteral("AB"));
        QCOMPARE(WordToHex(0x0415), QStringLiteral("0415"));
        QCOMPARE(WordToHex(0xFFFF), QStringLiteral("FFFF"));
        QCOMPARE(DWordToHex(static_cast<std::uint32_t>(-1)), QStringLiteral("FFFFFFFF"));
        QCOMPARE(DWordToHex(48879), QStringLiteral("0000BEEF"));
        QCOMPARE(DWordToHex(0x12345678), QStringLiteral("12345678"));
    }

    void sameChars_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<bool>("noCase");
        QTest::newRow("count 0") << u16(u"a") << u16(u"b") << 0 << true << true;
        QTest::newRow("negative count") << u16(u"a") << u16(u"a") << -1 << false << false;
        QTest::newRow("empty text") << QString() << u16(u"a") << 1 << false << false;
        QTest::newRow("count past a") << u16(u"ab") << u16(u"abc") << 3 << false << false;
        QTest::newRow("count past b") << u16(u"abc") << u16(u"ab") << 3 << false << false;
        QTest::newRow("ascii case") << u16(u"ABC") << u16(u"abc") << 3 << false << true;
        QTest::newRow("L stroke") << u16(u"Ł") << u16(u"ł") << 1 << false << true;
        QTest::newRow("A umlaut") << u16(u"Ä") << u16(u"ä") << 1 << false << true;
        QTest::newRow("dotted I to i") << u16(u"\u0130") << u16(u"i") << 1 << false << true;
        QTest::newRow("i is not dotted I reversed")
            << u16(u"I") << u16(u"\u0131") << 1 << false << false;
        QTest::newRow("Kelvin sign") << u16(u"\u212A") << u16(u"k") << 1 << false << true;
        QTest::newRow("Kelvin vs K") << u16(u"\u212A") << u16(u"K") << 1 << false << true;
        QTest::newRow("capital sigma") << u16(u"\u03A3") << u16(u"\u03C3") << 1 << false << true;
        QTest::newRow("final sigma vs sigma")
            << u16(u"\u03C2") << u16(u"\u03C3") << 1 << false << false;
        QTest::newRow("final sigma vs capital")
            << u16(u"\u03C2") << u16(u"\u03A3") << 1 << false << false;
        QTest::newRow("title case DZ") << u16(u"\u01C5") << u16(u"\u01C6") << 1 << false << true;
        QTest::newRow("roman numeral") << u16(u"\u2160") << u16(u"\u2170") << 1 << false << true;
        QTest::newRow("circled A") << u16(u"\u24B6") << u16(u"\u24D0") << 1 << false << true;
        QTest::newRow("prefix only") << u16(u"abX") << u16(u"abY") << 2 << true << true;
    }
    void sameChars()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, count);
        QFETCH(bool, exact);
        QFETCH(bool, noCase);
        QCOMPARE(SameChars(a, b, count), exact);
        QCOMPARE(SameCharsNoCase(a, b, count), noCase);
    }

    void commonPrefixLength_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("expected");
        QTest::newRow("partial") << u16(u"abc") << u16(u"abd") << 9 << 2;
        QTest::newRow("limited by count") << u16(u"abc") << u16(u"abc") << 2 << 2;
        QTest::newRow("count beyond both") << u16(u"abc") << u16(u"abcdef") << 100 << 3;
        QTest::newRow("count 0") << u16(u"abc") << u16(u"abc") << 0 << 0;
        QTest::newRow("negative") << u16(u"abc") << u16(u"abc") << -3 << 0;
        QTest::newRow("empty") << QString() << u16(u"abc") << 3 << 0;
        QTest::newRow("case matters") << u16(u"Abc") << u16(u"abc") << 3 << 0;
    }
    void commonPrefixLength()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, count);
        QFETCH(int, expected);
        QCOMPARE(CommonPrefixLength(a, b, count), expected);
    }

    void matchAt_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("patternPos");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("textPos");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<bool>("expected");
        QTest::newRow("digits are no word chars")
            << u16(u"ab") << 1 << u16(u"1ab2") << 2 << 2 << true << true << true;
        QTest::newRow("letter before")
            << u16(u"ab") << 1 << u16(u"xab") << 2 << 2 << true << true << false;
        QTest::newRow("underscore before")
            << u16(u"ab") << 1 << u16(u"_ab") << 2 << 2 << true << true << true;
        QTest::newRow("letter after")
            << u16(u"ab") << 1 << u16(u"abx") << 1 << 2 << true << true << false;
        QTest::newRow("non-ascii letter after")
            << u16(u"ab") << 1 << u16(u"abż") << 1 << 2 << true << true << false;
        QTest::newRow("combining mark after")
            << u16(u"ab") << 1 << u16(u"ab\u0345") << 1 << 2 << true << true << false;
        QTest::newRow("roman numeral before")
            << u16(u"ab") << 1 << u16(u"\u2160ab") << 2 << 2 << true << true << false;
        QTest::newRow("letter after, not whole")
            << u16(u"ab") << 1 << u16(u"abx") << 1 << 2 << true << false << true;
        QTest::newRow("count 0") << u16(u"ab") << 1 << u16(u"ab") << 1 << 0 << true << false
                                 << false;
        QTest::newRow("pattern pos 0")
            << u16(u"ab") << 0 << u16(u"ab") << 1 << 1 << true << false << false;
        QTest::newRow("pattern too short")
            << u16(u"ab") << 2 << u16(u"ab") << 1 << 2 << true << false << false;
        QTest::newRow("text pos past end")
            << u16(u"ab") << 1 << u16(u"ab") << 3 << 1 << true << false << false;
        QTest::newRow("text too short")
            << u16(u"ab") << 1 << u16(u"xa") << 2 << 2 << true << false << false;
        QTest::newRow("case differs")
            << u16(u"AB") << 1 << u16(u"ab") << 1 << 2 << true << false << false;
        QTest::newRow("case ignored")
            << u16(u"AB") << 1 << u16(u"ab") << 1 << 2 << false << false << true;
        QTest::newRow("end of text needs no neighbour")
            << u16(u"b") << 1 << u16(u"+b") << 2 << 1 << true << true << true;
    }
    void matchAt()
    {
        QFETCH(QString, pattern);
        QFETCH(int, patternPos);
        QFETCH(QString, text);
        QFETCH(int, textPos);
        QFETCH(int, count);
        QFETCH(bool, caseSensitive);
        QFETCH(bool, wholeWord);
        QFETCH(bool, expected);
        QCOMPARE(MatchAt(pattern, patternPos, text, textPos, count, caseSensitive, wholeWord),
                 expected);
    }

    void positions_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("expected");
        QTest::newRow("exact beyond last fit") << "PosExact" << u16(u"ab") << u16(u"xab") << 3 << 0;
        QTest::newRow("exact at last fit") << "PosExact" << u16(u"ab") << u16(u"xab") << 2 << 2;
        QTest::newRow("exact start 0") << "PosExact" << u16(u"a") << u16(u"a") << 0 << 0;
        QTest::newRow("exact start past text") << "PosExact" << u16(u"a") << u16(u"a") << 2 << 0;
        QTest::newRow("exact pattern longer") << "PosExact" << u16(u"abc") << u16(u"ab") << 1 << 0;
        QTest::newRow("exact case") << "PosExact" << u16(u"A") << u16(u"aA") << 1 << 2;
        QTest::newRow("nocase") << "PosNoCase" << u16(u"NOGA") << u16(u"stonoga") << 1 << 4;
        QTest::newRow("nocase polish") << "PosNoCase" << u16(u"ŁÓDŹ") << u16(u"x łódź") << 1 << 3;
        QTest::newRow("nocase from start") << "PosNoCase" << u16(u"a") << u16(u"AbA") << 2 << 3;
        QTest::newRow("nocase beyond") << "PosNoCase" << u16(u"ab") << u16(u"xab") << 3 << 0;
        QTest::newRow("nocase empty") << "PosNoCase" << QString() << u16(u"x") << 1 << 0;
        QTest::newRow("back lowered") << "PosBackExact" << u16(u"ab") << u16(u"abab") << 4 << 3;
        QTest::newRow("back huge start")
            << "PosBackExact" << u16(u"ab") << u16(u"abab") << 1000 << 3;
        QTest::newRow("back from 2") << "PosBackExact" << u16(u"ab") << u16(u"abab") << 2 << 1;
        QTest::newRow("back extends past start")
            << "PosBackExact" << u16(u"ab") << u16(u"xab") << 2 << 2;
        QTest::newRow("back start 0") << "PosBackNoCase" << u16(u"A") << u16(u"aXa") << 0 << 0;
        QTest::newRow("back nocase") << "PosBackNoCase" << u16(u"A") << u16(u"aXa") << 3 << 3;
        QTest::newRow("back nocase 2") << "PosBackNoCase" << u16(u"A") << u16(u"aXa") << 2 << 1;
        QTest::newRow("back none") << "PosBackNoCase" << u16(u"q") << u16(u"aXa") << 3 << 0;
        QTest::newRow("back pattern longer")
            << "PosBackExact" << u16(u"abc") << u16(u"ab") << 1 << 0;
    }
    void positions()
    {
        QFETCH(QString, function);
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(int, expected);
        qsizetype actual = -1;
        if (function == u"PosExact")
            actual = PosExact(pattern, text, start);
        else if (function == u"PosNoCase")
            actual = PosNoCase(pattern, text, start);
        else if (function == u"PosBackExact")
            actual = PosBackExact(pattern, text, start);
        else
            actual = PosBackNoCase(pattern, text, start);
        QCOMPARE(actual, expected);
    }

    void countOccurrences_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("one unit") << u16(u"!") << u16(u"!a!b!") << 3;
        QTest::newRow("overlapping") << u16(u"aa") << u16(u"aaaa") << 3;
        QTest::newRow("empty text") << u16(u"x") << QString() << 0;
        QTest::newRow("empty pattern") << QString() << u16(u"abc") << 0;
        QTest::newRow("exact case") << u16(u"Ab") << u16(u"abAbAB") << 1;
    }
    void countOccurrences()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(CountOccurrences(pattern, text), expected);
    }

    void getField_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("trim");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first trimmed") << 0 << u16(u" a | b ") << true << u16(u"a");
        QTest::newRow("second trimmed") << 1 << u16(u" a | b ") << true << u16(u"b");
        QTest::newRow("beyond last") << 2 << u16(u" a | b ") << true << QString();
        QTest::newRow("adjacent delimiters") << 1 << u16(u"a||b") << false << QString();
        QTest::newRow("after adjacent") << 2 << u16(u"a||b") << false << u16(u"b");
        QTest::newRow("empty text") << 0 << QString() << true << QString();
        QTest::newRow("no delimiter") << 0 << u16(u" whole ") << false << u16(u" whole ");
        QTest::newRow("trailing delimiter") << 1 << u16(u"a|") << false << QString();
        QTest::newRow("untrimmed") << 1 << u16(u" a | b ") << false << u16(u" b ");
    }
    void getField()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(bool, trim);
        QFETCH(QString, expected);
        QCOMPARE(GetField(index, text, u'|', trim), expected);
    }

    void replaceAll_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bar to CRLF")
            << u16(u"|") << u16(u"\r\n") << u16(u"a|b|") << u16(u"a\r\nb\r\n");
        QTest::newRow("replacement holds pattern")
            << u16(u"&") << u16(u"&amp;") << u16(u"a&&b") << u16(u"a&amp;&amp;b");
        QTest::newRow("same") << u16(u" ") << u16(u" ") << u16(u"a b") << u16(u"a b");
        QTest::newRow("empty pattern") << QString() << u16(u"x") << u16(u"ab") << u16(u"ab");
        QTest::newRow("delete") << u16(u"ab") << QString() << u16(u"xabyab") << u16(u"xy");
        QTest::newRow("no overlap") << u16(u"aa") << u16(u"b") << u16(u"aaa") << u16(u"ba");
        QTest::newRow("case sensitive") << u16(u"a") << u16(u"b") << u16(u"aA") << u16(u"bA");
    }
    void replaceAll()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, replacement);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ReplaceAll(pattern, replacement, text), expected);
    }

    void trimText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mixed") << u16(u"\t\u00A0x\u3000") << u16(u"x");
        QTest::newRow("blanks only") << u16(u"   ") << QString();
        QTest::newRow("controls") << u16(u"\u0001a b\u009F") << u16(u"a b");
        QTest::newRow("inner kept") << u16(u" a \t b ") << u16(u"a \t b");
        QTest::newRow("U+205F is not white space") << u16(u"\u205Fa") << u16(u"\u205Fa");
        QTest::newRow("U+180E is not white space") << u16(u"a\u180E") << u16(u"a\u180E");
        QTest::newRow("U+2028 and U+202F") << u16(u"\u2028a\u202F") << u16(u"a");
        QTest::newRow("empty") << QString() << QString();
    }
    void trimText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(TrimText(text), expected);
    }

    void parentFolderName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const QChar d(PathDelimiter);
        QTest::newRow("folder") << QStringList{"", "music", "rock", ""}.join(d) << u16(u"rock");
        QTest::newRow("file") << QStringList{"", "music", "rock", "a.mp3"}.join(d) << u16(u"rock");
        QTest::newRow("no delimiter") << u16(u"file.txt") << QString();
        QTest::newRow("server share")
            << QStringList{"", "", "server", "share", ""}.join(d) << u16(u"share");
        QTest::newRow("root") << QString(d) << QString();
        QTest::newRow("relative") << QStringList{"a", "b"}.join(d) << u16(u"a");
    }
    void parentFolderName()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(ParentFolderName(path), expected);
    }

    void wordChars_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<bool>("word");
        QTest::newRow("a") << int('a') << true;
        QTest::newRow("digit") << int('7') << false;
        QTest::newRow("underscore") << int('_') << false;
        QTest::newRow("space") << int(' ') << false;
        QTest::newRow("z with dot") << 0x017C << true;
        QTest::newRow("CJK") << 0x5199 << true;
        QTest::newRow("roman numeral") << 0x2160 << true;
        QTest::newRow("other alphabetic mark") << 0x0345 << true;
        QTest::newRow("acute accent mark") << 0x0301 << false;
        QTest::newRow("high surrogate") << 0xD83D << false;
        QTest::newRow("euro sign") << 0x20AC << false;
    }
    void wordChars()
    {
        QFETCH(int, unit);
        QFETCH(bool, word);
        QCOMPARE(IsWordChar(char16_t(unit)), word);
    }

    void foldIsOneWay()
    {
        QCOMPARE(FoldChar(u'A'), u'a');
        QCOMPARE(FoldChar(u'@'), u'@');
        QCOMPARE(FoldChar(u'a'), u'a');
        QCOMPARE(FoldChar(0x0130), u'i');
        QCOMPARE(FoldChar(0x03C2), char16_t(0x03C2));
        QCOMPARE(FoldChar(0xDC80), char16_t(0xDC80));
    }

    void assertionNamesFileAndLine()
    {
        try {
            Assert(false);
            QFAIL("no exception");
        } catch (const EAssertionFailed& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.startsWith(u"Assertion failure ("), qPrintable(message));
            QVERIFY2(message.contains(u"tst_text_utils.cpp, line "), qPrintable(message));
        }
    }

    // The search compares eight positions at a time: every lane, block edges and the tail
    // after the last full block must find the occurrence, and nothing before start.
    void searchInEveryLane_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("placed"); // what stands in the text
        QTest::addColumn<bool>("exact");
        QTest::addColumn<bool>("found");
        QTest::newRow("exact") << "ab"
                               << "ab" << true << true;
        QTest::newRow("exact, other case") << "ab"
                                           << "aB" << true << false;
        QTest::newRow("folded, Kelvin sign") << "kab"
                                             << "\u212AAB" << false << true;
        QTest::newRow("folded, one unit") << "\u00E9"
                                          << "\u00C9" << false << true;
        QTest::newRow("longer than a block") << "abcdefghijk"
                                             << "ABCDEFGHIJK" << false << true;
        QTest::newRow("first and last match, middle differs") << "abcz"
                                                              << "abyz" << false << false;
    }
    void searchInEveryLane()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, placed);
        QFETCH(bool, exact);
        QFETCH(bool, found);
        for (qsizetype at = 0; at + placed.size() <= 37; ++at) {
            QString text(37, u'x');
            text.replace(at, placed.size(), placed);
            const qsizetype expected = found ? at + 1 : 0;
            const auto pos = [&](qsizetype start) {
                return exact ? PosExact(pattern, text, start) : PosNoCase(pattern, text, start);
            };
            QCOMPARE(pos(1), expected);
            QCOMPARE(pos(at + 1), expected);
            if (at + 2 <= text.size() - pattern.size() + 1)
                QCOMPARE(pos(at + 2), 0);
        }
    }

    // The copies and the count go eight units at a time: a stopper at every place in and after the
    // first block, units that are negative as signed 16-bit numbers among them.
    void copyAsciiPrefix_data()
    {
        QTest::addColumn<char16_t>("stopper");
        QTest::addColumn<bool>("isAscii");
        for (const char16_t c :
             {char16_t(0xE9), char16_t(0x8000), char16_t(0xFFFF), char16_t(0xD83D)})
            QTest::addRow("U+%04X", unsigned(c)) << c << false;
        for (const char16_t c : {u'\x1F', u'\t', u'&', u'<', u'>', u'"', u'\x7F'})
            QTest::addRow("ASCII %02X", unsigned(c)) << c << true;
    }
    void copyAsciiPrefix()
    {
        QFETCH(char16_t, stopper);
        QFETCH(bool, isAscii);
        for (qsizetype at = 0; at <= 18; ++at) {
            std::u16string text(18, u'a');
            text.insert(std::size_t(at), 1, stopper);
            const qsizetype n = qsizetype(text.size());
            QByteArray out(n, '-');
            QCOMPARE(CopyPlainAsciiPrefix(text.data(), n, out.data()), at);
            QCOMPARE(out.left(at), QByteArray(at, 'a'));
            out.fill('-');
            const qsizetype ascii = CopyAsciiPrefix(text.data(), n, out.data());
            QCOMPARE(ascii, isAscii ? n : at);
            QCOMPARE(out.left(at), QByteArray(at, 'a'));
            if (isAscii)
                QCOMPARE(out.at(at), char(stopper));
            const bool printable = stopper >= 0x20 && stopper < 0x7F;
            QCOMPARE(PrintableAsciiPrefixLength(text.data(), n), printable ? n : at);
        }
    }
};

QTEST_GUILESS_MAIN(TestTextUtils)
#include "tst_text_utils.moc"
