#include "core/text/file_names.h"

#include "test_support.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace dirka;
using namespace testsupport;

namespace {

// Keeps lone surrogates and a leading U+FFFE as they are.
QByteArray bytes(const char* s)
{
    return QByteArray(s);
}

// Lone low surrogates stand for undecodable bytes; a high surrogate only ever comes with its pair.
bool wellFormedDecoding(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate() && !IsEscapedByte(text, i)) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestFileNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("ascii") << bytes("abc.txt") << u16(u"abc.txt");
        QTest::newRow("control characters stay") << bytes("a\nb\tc") << u16(u"a\nb\tc");
        QTest::newRow("two bytes") << bytes("caf\xC3\xA9") << u16(u"caf\u00E9");
        QTest::newRow("three bytes") << bytes("\xE2\x82\xAC") << u16(u"\u20AC");
        QTest::newRow("U+FFFE is valid") << bytes("\xEF\xBF\xBE") << u16(u"\uFFFE");
        QTest::newRow("emoji pair") << bytes("\xF0\x9F\x98\x80") << u16(u"\xD83D\xDE00");
        // The low half of this pair lies in the range used for escaped bytes.
        QTest::newRow("pair ending in DC80") << bytes("\xF0\x9F\x92\x80") << u16(u"\xD83D\xDC80");
        QTest::newRow("U+10FFFF") << bytes("\xF4\x8F\xBF\xBF") << u16(u"\xDBFF\xDFFF");
        QTest::newRow("lone 0x80") << bytes("\x80") << u16(u"\xDC80");
        QTest::newRow("0xFF") << bytes("\xFF") << u16(u"\xDCFF");
        QTest::newRow("0xFE inside") << bytes("a\xFE"
                                              "b")
                                     << u16(u"a\xDCFE"
                                            u"b");
        QTest::newRow("truncated three bytes") << bytes("\xE2\x82") << u16(u"\xDCE2\xDC82");
        QTest::newRow("truncated, then ascii") << bytes("\xE2\x82"
                                                        "x")
                                               << u16(u"\xDCE2\xDC82"
                                                      u"x");
        QTest::newRow("truncated four bytes")
            << bytes("\xF0\x9F\x98") << u16(u"\xDCF0\xDC9F\xDC98");
        QTest::newRow("lead byte then ascii") << bytes("\xC3"
                                                       "(")
                                              << u16(u"\xDCC3"
                                                     u"(");
        QTest::newRow("overlong slash") << bytes("\xC0\xAF") << u16(u"\xDCC0\xDCAF");
        QTest::newRow("overlong three bytes")
            << bytes("\xE0\x80\xAF") << u16(u"\xDCE0\xDC80\xDCAF");
        QTest::newRow("encoded surrogate") << bytes("\xED\xA0\x80") << u16(u"\xDCED\xDCA0\xDC80");
        QTest::newRow("above U+10FFFF")
            << bytes("\xF4\x90\x80\x80") << u16(u"\xDCF4\xDC90\xDC80\xDC80");
        QTest::newRow("lead byte F5")
            << bytes("\xF5\x80\x80\x80") << u16(u"\xDCF5\xDC80\xDC80\xDC80");
        QTest::newRow("invalid before valid") << bytes("\xFF\xC3\xA9") << u16(u"\xDCFF\u00E9");
        QTest::newRow("mixed") << bytes("a\xFF\xC3\xA9\x80\xF0\x9F\x98\x80"
                                        "z")
                               << u16(u"a\xDCFF\u00E9\xDC80\xD83D\xDE00"
                                      u"z");
    }
    void roundTrip()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, decoded);
        QCOMPARE(DecodeFileName(raw), decoded);
        QCOMPARE(DecodeFileName(raw.constData(), std::size_t(raw.size())), decoded);
        QCOMPARE(EncodeFileName(decoded), raw);
        // Written in place: no more units than bytes, nothing past them.
        std::vector<char16_t> units(std::size_t(raw.size()) + 1, u'#');
        const qsizetype n =
            DecodeFileNameInto(units.data(), raw.constData(), std::size_t(raw.size()));
        QCOMPARE(QStringView(units.data(), n), QStringView(decoded));
        QCOMPARE(units.back(), u'#');
        // Padded, behind the name bytes that would change the answer if they counted; and each
        // row also behind a run of plain letters that takes it past the first 16 bytes.
        for (const QByteArray& name : {raw, QByteArray(QByteArray(13, 'p') + raw)}) {
            for (const char after : {'\x80', '\x01', 'x'}) {
                const QByteArray padded = name + QByteArray(qsizetype(DecodePadding), after);
                std::vector<char16_t> out(std::size_t(name.size()) + DecodePadding);
                bool printable = true;
                const qsizetype written = DecodePaddedFileNameInto(
                    out.data(), padded.constData(), std::size_t(name.size()), &printable);
                QCOMPARE(QStringView(out.data(), written), QStringView(DecodeFileName(name)));
                bool expected = true;
                for (const char c : name)
                    expected = expected && c >= 0x20 && c < 0x7F;
                QCOMPARE(printable, expected);
            }
        }
    }

    void appendKeepsWhatIsThere()
    {
        QString path = QStringLiteral("/tmp/");
        AppendDecodedFileName(path, "d\xFF", 2);
        QCOMPARE(path, u16(u"/tmp/d\xDCFF"));
        AppendDecodedFileName(path, "/x", 2);
        QCOMPARE(path, u16(u"/tmp/d\xDCFF/x"));
        QCOMPARE(EncodeFileName(path), bytes("/tmp/d\xFF/x"));
    }

    void everySingleByte()
    {
        for (int b = 1; b < 256; ++b) {
            const QByteArray raw(1, char(b));
            const QString decoded = DecodeFileName(raw);
            const char16_t expected = b < 0x80 ? char16_t(b) : char16_t(0xDC00 + b);
            QCOMPARE(decoded.size(), 1);
            QCOMPARE(decoded[0].unicode(), expected);
            QCOMPARE(EncodeFileName(decoded), raw);
        }
    }

    // Names are arbitrary bytes: whatever comes, the decoding is well-formed and encodes back.
    void randomBytesRoundTrip()
    {
        QRandomGenerator random(20240611);
        // Bytes chosen mostly from the ranges that start or continue multi-byte sequences.
        const auto nextByte = [&random]() -> char {
            switch (random.bounded(6)) {
            case 0:
                return char(random.bounded(0x20, 0x7F));
            case 1:
            case 2:
                return char(random.bounded(0x80, 0xC0));
            case 3:
                return char(random.bounded(0xC0, 0xE0));
            case 4:
                return char(random.bounded(0xE0, 0xF0));
            default:
                return char(random.bounded(0xF0, 0x100));
            }
        };
        for (int n = 0; n < 20000; ++n) {
            QByteArray raw;
            const int length = random.bounded(1, 12);
            for (int i = 0; i < length; ++i)
                raw.append(nextByte());
            const QString decoded = DecodeFileName(raw);
            QVERIFY2(EncodeFileName(decoded) == raw, raw.toHex().constData());
            QVERIFY2(wellFormedDecoding(decoded), raw.toHex().constData());
        }
    }

    void validUtf8DecodesAsUsual()
    {
        QRandomGenerator random(7);
        for (int n = 0; n < 5000; ++n) {
            QString text;
            for (int i = random.bounded(1, 8); i > 0; --i) {
                char32_t c = 0;
                do {
                    switch (random.bounded(4)) {
                    case 0:
                        c = random.bounded(0x20u, 0x80u);
                        break;
                    case 1:
                        c = random.bounded(0x80u, 0x800u);
                        break;
                    case 2:
                        c = random.bounded(0x800u, 0x10000u);
                        break;
                    default:
                        c = random.bounded(0x10000u, 0x110000u);
                    }
                } while (c >= 0xD800 && c <= 0xDFFF);
                text.append(QString::fromUcs4(&c, 1));
            }
            const QByteArray utf8 = text.toUtf8();
            QCOMPARE(DecodeFileName(utf8), text);
            QCOMPARE(EncodeFileName(text), utf8);
        }
    }

    void isEscapedByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("escaped");
        QTest::newRow("ascii") << u16(u"a") << 0 << false;
        QTest::newRow("U+FFFD") << u16(u"\uFFFD") << 0 << false;
        QTest::newRow("DC80 alone") << u16(u"\xDC80") << 0 << true;
        QTest::newRow("DCFF alone") << u16(u"\xDCFF") << 0 << true;
        QTest::newRow("DC7F below range") << u16(u"\xDC7F") << 0 << false;
        QTest::newRow("DD00 above range") << u16(u"\xDD00") << 0 << false;
        QTest::newRow("after a letter") << u16(u"a\xDC80") << 1 << true;
        QTest::newRow("after another escape") << u16(u"\xDC80\xDC81") << 1 << true;
        QTest::newRow("low half of a pair") << u16(u"\xD83D\xDC80") << 1 << false;
        QTest::newRow("high half of a pair") << u16(u"\xD83D\xDC80") << 0 << false;
        QTest::newRow("after a complete pair") << u16(u"\xD83D\xDE00\xDC80") << 2 << true;
    }
    void isEscapedByte()
    {
        QFETCH(QString, text);
        QFETCH(int, index);
        QFETCH(bool, escaped);
        QCOMPARE(IsEscapedByte(text, index), escaped);
    }

    // Texts that no decoding produces (a typed path) still keep their neighbours when encoded.
    void otherLoneSurrogatesKeepNeighbours_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("lone high") << u16(u"a\xD800"
                                          u"b");
        QTest::newRow("low outside range") << u16(u"a\xDC00"
                                                  u"b");
        QTest::newRow("high at the end") << u16(u"ab\xD83D");
    }
    void otherLoneSurrogatesKeepNeighbours()
    {
        QFETCH(QString, text);
        const QByteArray raw = EncodeFileName(text);
        QVERIFY(raw.size() > 2);
        QCOMPARE(raw.front(), 'a');
        QVERIFY(raw.contains('b'));
    }
};

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_file_names.moc"
