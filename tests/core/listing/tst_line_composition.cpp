#include "core/listing/line_composition.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include "test_support.h"

#include <QLocale>
#include <QTest>

using namespace dirka;
using namespace testsupport;

namespace {

constexpr std::int64_t MB = 1048576;

// Unlike QString::fromUtf16, keeps a leading U+FFFE or U+FEFF as text.
// Writes "/" in a path as the platform's delimiter, so the cases read the same everywhere.
QString path(const char16_t* s)
{
    return u16(s).replace(u'/', QChar(PathDelimiter));
}

TLineFormat format(int separator, qsizetype rootLength)
{
    TListStyle style;
    style.Separator = separator;
    return TLineFormat::FromStyle(style, rootLength);
}

} // namespace

class TestLineComposition : public QObject {
    Q_OBJECT
private:
    const TLocaleScope m_locale{QLocale::c()};

private Q_SLOTS:
    void lineFormat_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("separator");
        QTest::addColumn<int>("indentMode");
        QTest::addColumn<int>("indentSpace");
        QTest::addColumn<QChar>("separatorChar");
        QTest::addColumn<QString>("indentUnit");
        QTest::addColumn<QString>("listIndent");
        const QString tab = QStringLiteral("\t");
        QTest::newRow("defaults") << 0 << 0 << 0 << 3 << QChar(u'\t') << tab << tab;
        QTest::newRow("space separator") << 0 << 1 << 0 << 3 << QChar(u' ') << tab << tab;
        QTest::newRow("odd separator is space") << 0 << 7 << 0 << 3 << QChar(u' ') << tab << tab;
        QTest::newRow("three spaces")
            << 0 << 0 << 1 << 3 << QChar(u'\t') << QString(3, u' ') << QString(3, u' ');
        QTest::newRow("no spaces") << 0 << 0 << 1 << 0 << QChar(u'\t') << QString() << QString();
        QTest::newRow("twenty spaces")
            << 0 << 0 << 1 << 20 << QChar(u'\t') << QString(20, u' ') << QString(20, u' ');
        QTest::newRow("too many spaces")
            << 0 << 0 << 1 << 100000 << QChar(u'\t') << QString(20, u' ') << QString(20, u' ');
        QTest::newRow("negative spaces")
            << 0 << 0 << 1 << -5 << QChar(u'\t') << QString() << QString();
        QTest::newRow("none") << 0 << 0 << 2 << 3 << QChar(u'\t') << QString() << QString();
        QTest::newRow("unknown indent mode")
            << 0 << 0 << 7 << 3 << QChar(u'\t') << QString() << QString();
        QTest::newRow("tree mode") << 1 << 0 << 0 << 3 << QChar(u'\t') << tab << QString();
        QTest::newRow("tree mode spaces")
            << 1 << 0 << 1 << 4 << QChar(u'\t') << QString(4, u' ') << QString();
    }
    void lineFormat()
    {
        QFETCH(int, mode);
        QFETCH(int, separator);
        QFETCH(int, indentMode);
        QFETCH(int, indentSpace);
        QFETCH(QChar, separatorChar);
        QFETCH(QString, indentUnit);
        QFETCH(QString, listIndent);
        TListStyle style;
        style.Mode = mode;
        style.Separator = separator;
        style.IndentMode = indentMode;
        style.IndentSpace = indentSpace;
        const TLineFormat f = TLineFormat::FromStyle(style, 5);
        QCOMPARE(f.RootLength, qsizetype(5));
        QCOMPARE(f.SeparatorChar, separatorChar);
        QCOMPARE(f.IndentUnit, indentUnit);
        QCOMPARE(f.ListIndent, listIndent);
    }

    void lineFormatTakesLocaleWhenMade()
    {
        TLineFormat german;
        {
            TLocaleScope scope(QStringLiteral("de_DE"));
            german = TLineFormat::FromStyle(TListStyle(), 1);
        }
        QCOMPARE(german.GroupSeparator, QStringLiteral("."));
        QCOMPARE(german.DecimalPoint, QStringLiteral(","));
        // The format keeps the separators it was made with, whatever the locale is now.
        QCOMPARE(SizeText(german, true, 1536 * MB), QStringLiteral("1.536  MB"));
        QCOMPARE(SizeText(true, 1536 * MB), QStringLiteral("1,536  MB"));
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, TLineFormat::FromStyle(TListStyle(), 0));
    }

    void folderItemText_data()
    {
        QTest::addColumn<int>("separator");
        QTest::addColumn<int>("rootLength");
        QTest::addColumn<QString>("fullPath");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        const QString b = path(u"/D/A/B/");
        const QString n = QStringLiteral("B");
        const QString location = path(u"/D/A/");
        const QString a = QStringLiteral("A");
        const QString root = path(u"/");
        QTest::newRow("0 hide") << 0 << 5 << b << n << 0 << QString();
        QTest::newRow("1 name") << 0 << 5 << b << n << 1 << u16(u"B");
        QTest::newRow("2 name/") << 0 << 5 << b << n << 2 << path(u"B/");
        QTest::newRow("3 <name>") << 0 << 5 << b << n << 3 << u16(u"<B>");
        QTest::newRow("4 dir tab") << 0 << 5 << b << n << 4 << u16(u"<DIR>\tB");
        QTest::newRow("4 dir space") << 1 << 5 << b << n << 4 << u16(u"<DIR> B");
        QTest::newRow("5 folder tab") << 0 << 5 << b << n << 5 << u16(u"Folder\tB");
        QTest::newRow("5 folder space") << 1 << 5 << b << n << 5 << u16(u"Folder B");
        QTest::newRow("6 relative") << 0 << 5 << b << n << 6 << path(u"/B/");
        QTest::newRow("7 <relative>") << 0 << 5 << b << n << 7 << path(u"</B/>");
        QTest::newRow("8 dir relative tab") << 0 << 5 << b << n << 8 << path(u"<DIR>\t/B/");
        QTest::newRow("8 dir relative space") << 1 << 5 << b << n << 8 << path(u"<DIR> /B/");
        QTest::newRow("9 folder relative tab") << 0 << 5 << b << n << 9 << path(u"Folder\t/B/");
        QTest::newRow("9 folder relative space") << 1 << 5 << b << n << 9 << path(u"Folder /B/");
        QTest::newRow("10 full path") << 0 << 5 << b << n << 10 << b;
        QTest::newRow("-1") << 0 << 5 << b << n << -1 << QString();
        QTest::newRow("11") << 0 << 5 << b << n << 11 << QString();
        QTest::newRow("99") << 0 << 5 << b << n << 99 << QString();
        QTest::newRow("location name") << 0 << 5 << location << a << 1 << a;
        QTest::newRow("location relative") << 0 << 5 << location << a << 6 << path(u"/");
        QTest::newRow("location <relative>") << 0 << 5 << location << a << 7 << path(u"</>");
        QTest::newRow("root 1") << 0 << 1 << root << root << 1 << root;
        QTest::newRow("root 2 not doubled") << 0 << 1 << root << root << 2 << root;
        QTest::newRow("root 6") << 0 << 1 << root << root << 6 << root;
        QTest::newRow("root 7") << 0 << 1 << root << root << 7 << path(u"</>");
        QTest::newRow("root 10") << 0 << 1 << root << root << 10 << root;
        QTest::newRow("below root relative")
            << 0 << 1 << path(u"/usr/") << u16(u"usr") << 6 << path(u"/usr/");
        QTest::newRow("tab in name")
            << 0 << 5 << path(u"/D/A/x\ty/") << u16(u"x\ty") << 2 << path(u"x\uFFFDy/");
        QTest::newRow("newline in path")
            << 0 << 5 << path(u"/D/A/x\ny/") << u16(u"x\ny") << 10 << path(u"/D/A/x\uFFFDy/");
        QTest::newRow("undecodable byte")
            << 0 << 5 << path(u"/D/A/\xDC80/") << u16(u"\xDC80") << 8 << path(u"<DIR>\t/\uFFFD/");
        QTest::newRow("root length past path") << 0 << 40 << b << n << 6 << QString();
    }
    void folderItemText()
    {
        QFETCH(int, separator);
        QFETCH(int, rootLength);
        QFETCH(QString, fullPath);
        QFETCH(QString, name);
        QFETCH(int, code);
        QFETCH(QString, expected);
        const TLineFormat f = format(separator, rootLength);
        QCOMPARE(FolderItemText(f, fullPath, name, code), expected);
        QString line = QStringLiteral("\t\t");
        AppendFolderItemText(line, f, fullPath, name, code);
        QCOMPARE(line, QStringLiteral("\t\t") + expected);
    }

    void fileItemText_data()
    {
        QTest::addColumn<int>("separator");
        QTest::addColumn<int>("rootLength");
        QTest::addColumn<QString>("folderPath");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        const QString b = path(u"/D/A/B/");
        const QString y = QStringLiteral("y.log");
        const qint64 s = 2621440;
        QTest::newRow("0 hide") << 0 << 5 << b << y << s << 0 << QString();
        QTest::newRow("1 name") << 0 << 5 << b << y << s << 1 << y;
        QTest::newRow("2 name size") << 0 << 5 << b << y << s << 2 << u16(u"y.log\t2.50 MB");
        QTest::newRow("2 name size space") << 1 << 5 << b << y << s << 2 << u16(u"y.log 2.50 MB");
        QTest::newRow("3 size name") << 0 << 5 << b << y << s << 3 << u16(u"2.50 MB\ty.log");
        QTest::newRow("4 file name") << 0 << 5 << b << y << s << 4 << u16(u"File\ty.log");
        QTest::newRow("4 file name space") << 1 << 5 << b << y << s << 4 << u16(u"File y.log");
        QTest::newRow("5 file name size")
            << 0 << 5 << b << y << s << 5 << u16(u"File\ty.log\t2.50 MB");
        QTest::newRow("5 file name size space")
            << 1 << 5 << b << y << s << 5 << u16(u"File y.log 2.50 MB");
        QTest::newRow("6 file size name")
            << 0 << 5 << b << y << s << 6 << u16(u"File\t2.50 MB\ty.log");
        QTest::newRow("7 relative") << 0 << 5 << b << y << s << 7 << path(u"/B/y.log");
        QTest::newRow("8 relative size")
            << 0 << 5 << b << y << s << 8 << path(u"/B/y.log\t2.50 MB");
        QTest::newRow("9 size relative")
            << 0 << 5 << b << y << s << 9 << path(u"2.50 MB\t/B/y.log");
        QTest::newRow("9 size relative space")
            << 1 << 5 << b << y << s << 9 << path(u"2.50 MB /B/y.log");
        QTest::newRow("10 full") << 0 << 5 << b << y << s << 10 << path(u"/D/A/B/y.log");
        QTest::newRow("11 full size")
            << 0 << 5 << b << y << s << 11 << path(u"/D/A/B/y.log\t2.50 MB");
        QTest::newRow("12 size full")
            << 0 << 5 << b << y << s << 12 << path(u"2.50 MB\t/D/A/B/y.log");
        QTest::newRow("12 size full space")
            << 1 << 5 << b << y << s << 12 << path(u"2.50 MB /D/A/B/y.log");
        QTest::newRow("-1") << 0 << 5 << b << y << s << -1 << QString();
        QTest::newRow("13") << 0 << 5 << b << y << s << 13 << QString();
        QTest::newRow("99") << 0 << 5 << b << y << s << 99 << QString();
        QTest::newRow("empty file after name")
            << 0 << 5 << b << y << qint64(0) << 2 << u16(u"y.log\t0");
        QTest::newRow("empty file before name")
            << 0 << 5 << b << y << qint64(0) << 3 << u16(u"0      \ty.log");
        // Every other size of an empty file: "0" after the name, "0" and six blanks before it.
        const qint64 e = 0;
        QTest::newRow("empty 5") << 0 << 5 << b << y << e << 5 << u16(u"File\ty.log\t0");
        QTest::newRow("empty 6") << 0 << 5 << b << y << e << 6 << u16(u"File\t0      \ty.log");
        QTest::newRow("empty 8") << 0 << 5 << b << y << e << 8 << path(u"/B/y.log\t0");
        QTest::newRow("empty 9") << 0 << 5 << b << y << e << 9 << path(u"0      \t/B/y.log");
        QTest::newRow("empty 11") << 0 << 5 << b << y << e << 11 << path(u"/D/A/B/y.log\t0");
        QTest::newRow("empty 12") << 0 << 5 << b << y << e << 12 << path(u"0      \t/D/A/B/y.log");
        QTest::newRow("in the location")
            << 0 << 5 << path(u"/D/A/") << u16(u"x.txt") << s << 7 << path(u"/x.txt");
        QTest::newRow("in the root") << 0 << 1 << path(u"/") << u16(u"x") << s << 7 << path(u"/x");
        QTest::newRow("control in name")
            << 0 << 5 << b << u16(u"a\rb") << s << 8 << path(u"/B/a\uFFFDb\t2.50 MB");
        QTest::newRow("root length inside name") << 0 << 9 << b << y << s << 7 << u16(u".log");
    }
    void fileItemText()
    {
        QFETCH(int, separator);
        QFETCH(int, rootLength);
        QFETCH(QString, folderPath);
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(int, code);
        QFETCH(QString, expected);
        const TLineFormat f = format(separator, rootLength);
        QCOMPARE(FileItemText(f, QString(folderPath + name), name, code, size), expected);
        QString line = QStringLiteral("  ");
        AppendFileItemText(line, f, folderPath, name, code, size);
        QCOMPARE(line, QStringLiteral("  ") + expected);
    }

    void fileItemTextNeedsNameAtEnd()
    {
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed,
                                 FileItemText(format(0, 1), u16(u"/a/b"), u16(u"c"), 1, 0));
    }

    void sizeText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("compact");
        QTest::addColumn<QString>("expected");
        const QString c = QStringLiteral("C");
        const QString en = QStringLiteral("en_US");
        const QString de = QStringLiteral("de_DE");
        const QString pl = QStringLiteral("pl_PL");
        QTest::newRow("zero compact") << c << qint64(0) << true << u16(u"0");
        QTest::newRow("zero aligned") << c << qint64(0) << false << u16(u"0      ");
        QTest::newRow("negative compact") << c << qint64(-5) << true << u16(u"0");
        QTest::newRow("negative aligned") << c << qint64(-5) << false << u16(u"0      ");
        QTest::newRow("most negative") << c << qint64(INT64_MIN) << false << u16(u"0      ");
        QTest::newRow("one byte") << c << qint64(1) << true << u16(u".000 MB");
        QTest::newRow("one byte aligned") << c << qint64(1) << false << u16(u".000 MB");
        QTest::newRow("524 rounds down") << c << qint64(524) << true << u16(u".000 MB");
        QTest::newRow("525 rounds up") << c << qint64(525) << true << u16(u".001 MB");
        QTest::newRow("999") << c << qint64(999) << true << u16(u".001 MB");
        QTest::newRow("exact half rounds away") << c << qint64(65536) << true << u16(u".063 MB");
        QTest::newRow("half MB") << c << qint64(524288) << true << u16(u".500 MB");
        QTest::newRow("just below 1 MB") << c << qint64(MB - 1) << true << u16(u"1.000 MB");
        QTest::newRow("1 MB") << c << qint64(MB) << true << u16(u"1.00 MB");
        QTest::newRow("2.5 MB") << c << qint64(2621440) << true << u16(u"2.50 MB");
        QTest::newRow("just below 10 MB") << c << qint64(10 * MB - 1) << true << u16(u"10.00 MB");
        QTest::newRow("10 MB") << c << qint64(10 * MB) << true << u16(u"10.0 MB");
        QTest::newRow("just below 100 MB") << c << qint64(100 * MB - 1) << true << u16(u"100.0 MB");
        QTest::newRow("100 MB") << c << qint64(100 * MB) << true << u16(u"100  MB");
        QTest::newRow("999 MB") << c << qint64(999 * MB) << false << u16(u"999  MB");
        QTest::newRow("999.5 MB rounds to 1000")
            << c << qint64(999 * MB + MB / 2) << true << u16(u"1,000  MB");
        QTest::newRow("1536 MB C") << c << qint64(1536 * MB) << true << u16(u"1,536  MB");
        QTest::newRow("1536 MB en") << en << qint64(1536 * MB) << true << u16(u"1,536  MB");
        QTest::newRow("1 TB") << en << qint64(MB * MB) << true << u16(u"1,048,576  MB");
        QTest::newRow("largest") << c << qint64(INT64_MAX) << true << u16(u"8,796,093,022,208  MB");
        QTest::newRow("de small") << de << qint64(128975) << true << u16(u",123 MB");
        QTest::newRow("de 2.5 MB") << de << qint64(2621440) << true << u16(u"2,50 MB");
        QTest::newRow("de 1536 MB") << de << qint64(1536 * MB) << true << u16(u"1.536  MB");
        QTest::newRow("de just below 1 MB") << de << qint64(MB - 1) << true << u16(u"1,000 MB");
        QTest::newRow("pl half MB") << pl << qint64(524288) << true << u16(u",500 MB");
        QTest::newRow("pl 1536 MB") << pl << qint64(1536 * MB) << true << u16(u"1\u00A0536  MB");
    }
    void sizeText()
    {
        QFETCH(QString, locale);
        QFETCH(qint64, size);
        QFETCH(bool, compact);
        QFETCH(QString, expected);
        TLocaleScope scope(locale);
        QCOMPARE(SizeText(compact, size), expected);
        QCOMPARE(SizeText(TLineFormat::FromStyle(TListStyle(), 1), compact, size), expected);
    }

    // The hand-written digits against QLocale's own formatting of the same value, for the
    // locales the program is tested in; QLocale rounds the exact binary value, which every
    // size below 2^53 bytes is. Only the leading 0 of sizes below 1 MB is left out by design.
    void sizeTextAgreesWithLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("size");
        const QList<qint64> sizes{0,          999,          1000,         65536,
                                  524287,     MB - 1,       MB,           10 * MB - 1,
                                  10 * MB,    100 * MB - 1, 100 * MB,     999 * MB + MB / 2,
                                  12345 * MB, 123456 * MB,  MB * MB * 37, INT64_MAX};
        for (const QString& locale : {u16(u"C"), u16(u"en_US"), u16(u"pl_PL"), u16(u"de_DE")}) {
            for (qint64 size : sizes)
                QTest::addRow("%s %lld", qPrintable(locale), size) << locale << size;
        }
    }
    void sizeTextAgreesWithLocale()
    {
        QFETCH(QString, locale);
        QFETCH(qint64, size);
        TLocaleScope scope(locale);
        QLocale reference;
        reference.setNumberOptions(QLocale::DefaultNumberOptions); // C omits groups otherwise
        const int decimals = size < MB ? 3 : size < 10 * MB ? 2 : size < 100 * MB ? 1 : 0;
        const QString localeText = reference.toString(double(size) / double(MB), 'f', decimals);
        // Sizes group every three digits; Polish QLocale leaves a four-digit top group (1000,
        // 8796 093 ...), which sizes never did. Regrouped, the digits, the rounding and both
        // separators still come from QLocale; elsewhere its grouping is the same.
        const QString group = reference.groupSeparator();
        QString number = localeText;
        number.remove(group);
        qsizetype point = number.indexOf(reference.decimalPoint());
        if (point < 0)
            point = number.size();
        for (qsizetype i = point - 3; i > 0; i -= 3)
            number.insert(i, group);
        if (locale != u16(u"pl_PL"))
            QCOMPARE(number, localeText);
        if (decimals == 3 && number.startsWith(u'0'))
            number.remove(0, 1);
        if (size == 0)
            number = u16(u"0");
        const QString unit = size == 0 ? QString() : decimals == 0 ? u16(u"  MB") : u16(u" MB");
        QCOMPARE(SizeText(true, size), number + unit);
        QCOMPARE(SizeText(false, size), size == 0 ? u16(u"0      ") : number + unit);
    }

    // The UTF-8 line of a file is the UTF-8 of its text line, or nothing when the name is not
    // shown as its bytes.
    void fileItemUtf8_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("asBytes");
        const QList<std::pair<QByteArray, bool>> names{{"plain name.txt", true},
                                                       {"a", true},
                                                       {"sixteen chars ok", true},
                                                       {"seventeen chars 1", true},
                                                       {"caf\xC3\xA9 \xC5\x81\xC3\xB3"
                                                        "d\xC5\xBA.mp3",
                                                        true},
                                                       {"\xF0\x9F\x98\x80 emoji", true},
                                                       {"nbsp\xC2\xA0", true},
                                                       {"tab\there", false},
                                                       {"sixteen chars ok\x7F", false},
                                                       {"del\x7F", false},
                                                       {"bad\xFF", false},
                                                       {"over\xC0\xAF", false},
                                                       {"surrogate\xED\xA0\x80", false},
                                                       {"c1 \xC2\x85", false},
                                                       {"rlo_\xE2\x80\xAEtxt.exe", false},
                                                       {"isolate\xE2\x81\xA6", false},
                                                       {"line sep\xE2\x80\xA8", false},
                                                       {"fffe\xEF\xBF\xBE", false},
                                                       {"ffff\xEF\xBF\xBF", false}};
        for (const QString& locale : {u16(u"C"), u16(u"pl_PL"), u16(u"de_DE")}) {
            for (const auto& [raw, asBytes] : names)
                QTest::addRow("%s %s", qPrintable(locale), raw.toPercentEncoding().constData())
                    << locale << raw << asBytes;
        }
    }
    void fileItemUtf8()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, raw);
        QFETCH(bool, asBytes);
        TLocaleScope scope(locale);
        const QString name = DecodeFileName(raw);
        const QString folder = path(u"/r\u00F3ot/sub/");
        for (int separator : {0, 1}) {
            const TLineFormat f = format(separator, 3);
            for (int code = 0; code <= LastFileCode + 1; ++code) {
                for (qint64 size : {qint64(0), qint64(1536) * MB + 7}) {
                    TByteBuffer out;
                    out.Append("\t", 1);
                    const QByteArray folderPart = FileFolderPart(f, folder, code).toUtf8();
                    QCOMPARE(AppendFileItemUtf8(out, f, folderPart, name, code, size), asBytes);
                    QString text = u16(u"\t");
                    if (asBytes)
                        AppendFileItemTextInShownFolder(text, f, folder, name, code, size);
                    QCOMPARE(out.View(), QByteArrayView(text.toUtf8()));
                    if (asBytes && code == 1)
                        QCOMPARE(out.View(), QByteArrayView(QByteArray("\t" + raw)));
                    // Told that the name is printable ASCII, the same bytes come without a look.
                    if (IsPrintableAscii(raw.constData(), raw.size())) {
                        TByteBuffer told;
                        told.Append("\t", 1);
                        QVERIFY(AppendFileItemUtf8(told, f, folderPart, name, code, size, true));
                        QCOMPARE(told.View(), out.View());
                    }
                }
            }
        }
    }

    void statisticsText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("expected");
        const QString c = QStringLiteral("C");
        const QString en = QStringLiteral("en_US");
        const QString de = QStringLiteral("de_DE");
        const qint64 size35 = 36909875; // 35.2 MB
        QTest::newRow("nothing") << c << 0 << 0 << 0 << qint64(0) << qint64(0) << u16(u"Files: 0");
        QTest::newRow("no files hides size and folders")
            << c << 3 << 0 << 2 << qint64(500) << qint64(0) << u16(u"Files: 0   Skipped: 2");
        QTest::newRow("all parts") << c << 8 << 120 << 3 << size35 << qint64(1234)
                                   << u16(u"Files: 120 (35.2 MB; in 8 folders)   Skipped: 3   "
                                          u"Time: 1.2 s");
        QTest::newRow("whole seconds")
            << en << 310 << 5400 << 0 << qint64(1234 * MB) << qint64(12345)
            << u16(u"Files: 5400 (1,234  MB; in 310 folders)   Time: "
                   u"12 s");
        QTest::newRow("one folder") << c << 1 << 1 << 0 << qint64(10) << qint64(0)
                                    << u16(u"Files: 1 (.000 MB; in 1 folders)");
        QTest::newRow("summary") << c << 0 << 3 << 0 << qint64(MB + MB / 4) << qint64(0)
                                 << u16(u"Files: 3 (1.25 MB)");
        QTest::newRow("summary skipped") << c << 0 << 2 << 1 << qint64(4194) << qint64(0)
                                         << u16(u"Files: 2 (.004 MB)   Skipped: 1");
        QTest::newRow("empty files")
            << c << 0 << 2 << 0 << qint64(0) << qint64(0) << u16(u"Files: 2 (0)");
        QTest::newRow("9999 ms") << c << 0 << 0 << 0 << qint64(0) << qint64(9999)
                                 << u16(u"Files: 0   Time: 10.0 s");
        QTest::newRow("10000 ms") << c << 0 << 0 << 0 << qint64(0) << qint64(10000)
                                  << u16(u"Files: 0   Time: 10 s");
        QTest::newRow("10999 ms") << c << 0 << 0 << 0 << qint64(0) << qint64(10999)
                                  << u16(u"Files: 0   Time: 10 s");
        QTest::newRow("1 ms") << c << 0 << 0 << 0 << qint64(0) << qint64(1)
                              << u16(u"Files: 0   Time: 0.0 s");
        QTest::newRow("50 ms") << c << 0 << 0 << 0 << qint64(0) << qint64(50)
                               << u16(u"Files: 0   Time: 0.1 s");
        QTest::newRow("negative time")
            << c << 0 << 0 << 0 << qint64(0) << qint64(-5) << u16(u"Files: 0");
        QTest::newRow("de") << de << 8 << 120 << 0 << size35 << qint64(1234)
                            << u16(u"Files: 120 (35,2 MB; in 8 folders)   Time: 1,2 s");
        QTest::newRow("de large") << de << 2 << 7 << 0 << qint64(1234 * MB) << qint64(0)
                                  << u16(u"Files: 7 (1.234  MB; in 2 folders)");
    }
    void statisticsText()
    {
        QFETCH(QString, locale);
        QFETCH(int, folders);
        QFETCH(int, files);
        QFETCH(int, skipped);
        QFETCH(qint64, size);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, expected);
        TLocaleScope scope(locale);
        QCOMPARE(StatisticsText(folders, files, skipped, size, elapsedMs), expected);
        QCOMPARE(StatisticsText(TLineFormat::FromStyle(TListStyle(), 1), folders, files, skipped,
                                size, elapsedMs),
                 expected);
    }

    void appendShown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << u16(u"żółw.txt") << u16(u"żółw.txt");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("tab") << u16(u"a\tb") << u16(u"a\uFFFDb");
        QTest::newRow("CR LF") << u16(u"a\r\nb") << u16(u"a\uFFFD\uFFFDb");
        QTest::newRow("NUL") << QString(1, QChar(0)) << u16(u"\uFFFD");
        QTest::newRow("unit separator") << u16(u"\x1F") << u16(u"\uFFFD");
        QTest::newRow("space kept") << u16(u" ") << u16(u" ");
        QTest::newRow("DEL") << u16(u"\x7F") << u16(u"\uFFFD");
        QTest::newRow("NEL") << u16(u"x\x85") << u16(u"x\uFFFD");
        QTest::newRow("last C1") << u16(u"\x9F") << u16(u"\uFFFD");
        QTest::newRow("no-break space kept") << u16(u"\xA0") << u16(u"\xA0");
        QTest::newRow("line separator") << u16(u"\u2028") << u16(u"\uFFFD");
        QTest::newRow("paragraph separator") << u16(u"\u2029") << u16(u"\uFFFD");
        QTest::newRow("right-to-left override")
            << u16(u"rlo_\u202Etxt.exe") << u16(u"rlo_\uFFFDtxt.exe");
        QTest::newRow("first embedding") << u16(u"\u202A") << u16(u"\uFFFD");
        QTest::newRow("narrow no-break space kept") << u16(u"\u202F") << u16(u"\u202F");
        QTest::newRow("first isolate") << u16(u"\u2066") << u16(u"\uFFFD");
        QTest::newRow("pop isolate") << u16(u"\u2069") << u16(u"\uFFFD");
        QTest::newRow("after the isolates kept") << u16(u"\u2065\u206A") << u16(u"\u2065\u206A");
        QTest::newRow("right-to-left mark kept") << u16(u"\u200F") << u16(u"\u200F");
        QTest::newRow("U+FFFE") << u16(u"\uFFFE") << u16(u"\uFFFD");
        QTest::newRow("U+FFFF at end") << u16(u"ab\uFFFF") << u16(u"ab\uFFFD");
        QTest::newRow("U+FFFD kept") << u16(u"\uFFFD") << u16(u"\uFFFD");
        QTest::newRow("lone low") << u16(u"a\xDC80z") << u16(u"a\uFFFDz");
        QTest::newRow("emoji pair") << u16(u"a\U0001F600b") << u16(u"a\U0001F600b");
        QTest::newRow("high at end") << u16(u"ab\xD83D") << u16(u"ab\uFFFD");
        QTest::newRow("high before letter") << u16(u"\xD83Dx") << u16(u"\uFFFDx");
        QTest::newRow("two highs then low")
            << u16(u"\xD83D\xD83D\xDE00") << u16(u"\uFFFD\U0001F600");
        QTest::newRow("reversed pair") << u16(u"\xDE00\xD83D") << u16(u"\uFFFD\uFFFD");
        QTest::newRow("only hidden") << u16(u"\n\n") << u16(u"\uFFFD\uFFFD");
    }
    void appendShown()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString out = QStringLiteral(">");
        AppendShown(out, text);
        QCOMPARE(out, QStringLiteral(">") + expected);
    }

    // The worked example: location /D/A/ holding x.txt (10 bytes), z.doc (524288 bytes) and B,
    // which holds y.log (2621440 bytes). The lines are put together from the parts a walker
    // uses: indentation, base line, items and summary.
    void workedExample_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("folder");
        QTest::addColumn<int>("file");
        QTest::addColumn<int>("separator");
        QTest::addColumn<int>("indentMode");
        QTest::addColumn<bool>("summary");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("style 1") << 0 << 9 << 2 << 1 << 0 << 0 << true
                                 << QStringList{path(u"Folder\t/"),
                                                path(u"B/"),
                                                u16(u"x.txt"),
                                                u16(u"z.doc"),
                                                u16(u":: Files: 2 (.500 MB)"),
                                                path(u"\tFolder\t/B/"),
                                                u16(u"\ty.log"),
                                                u16(u"\t:: Files: 1 (2.50 MB)")};
        QTest::newRow("style 2") << 1 << 1 << 0 << 2 << 0 << 1 << false
                                 << QStringList{u16(u"A"), u16(u"x.txt\t.000 MB"),
                                                u16(u"z.doc\t.500 MB"), u16(u"B"),
                                                u16(u"   y.log\t2.50 MB")};
        QTest::newRow("style 3") << 0 << 0 << 0 << 9 << 1 << 2 << false
                                 << QStringList{path(u".000 MB /x.txt"), path(u".500 MB /z.doc"),
                                                path(u"2.50 MB /B/y.log")};
    }
    void workedExample()
    {
        QFETCH(int, mode);
        QFETCH(int, base);
        QFETCH(int, folder);
        QFETCH(int, file);
        QFETCH(int, separator);
        QFETCH(int, indentMode);
        QFETCH(bool, summary);
        QFETCH(QStringList, expected);
        TListStyle style;
        style.Mode = mode;
        style.Base = base;
        style.Folder = folder;
        style.File = file;
        style.Separator = separator;
        style.IndentMode = indentMode;
        const QString location = path(u"/D/A/");
        const QString b = path(u"/D/A/B/");
        const TLineFormat f = TLineFormat::FromStyle(style, location.size());

        QStringList lines;
        auto addLine = [&](const QString& line) {
            if (!line.trimmed().isEmpty())
                lines << line;
        };
        addLine(FolderItemText(f, location, u"A", base));
        if (folder > 0)
            addLine(FolderItemText(f, b, u"B", folder));
        for (const auto& [name, size] : {std::pair{u"x.txt", 10}, std::pair{u"z.doc", 524288}}) {
            QString line;
            AppendFileItemText(line, f, location, name, file, size);
            addLine(line);
        }
        if (summary)
            addLine(QStringLiteral(":: ") + StatisticsText(f, 0, 2, 0, 524298, 0));
        addLine(f.ListIndent + FolderItemText(f, b, u"B", base));
        QString line = f.IndentUnit;
        AppendFileItemText(line, f, b, u"y.log", file, 2621440);
        addLine(line);
        if (summary)
            addLine(f.IndentUnit + QStringLiteral(":: ") + StatisticsText(f, 0, 1, 0, 2621440, 0));
        QCOMPARE(lines, expected);
        QCOMPARE(StatisticsText(f, 2, 3, 0, 524298 + 2621440, 0),
                 QStringLiteral("Files: 3 (3.00 MB; in 2 folders)"));
    }
};

QTEST_GUILESS_MAIN(TestLineComposition)
#include "tst_line_composition.moc"
