#include "core/settings/settings_store.h"

#include <QMap>
#include <QTest>

using namespace dirka;

namespace {

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

const QByteArray Section = "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\n";

// "dword:10", "text:...", "expand:...", "type3:4142" or "missing".
QString describe(const TSettingsKey& key, const QString& name)
{
    const TRegValue* v = key.Value(name);
    if (!v)
        return QStringLiteral("missing");
    switch (v->Type) {
    case int(TRegType::Dword):
        return QStringLiteral("dword:%1").arg(v->Dword);
    case int(TRegType::Text):
        return u"text:" + v->Text;
    case int(TRegType::ExpandText):
        return u"expand:" + v->Text;
    default:
        return QStringLiteral("type%1:").arg(v->Type) + QString::fromLatin1(v->Bytes.toHex());
    }
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const QByteArray& file, const char* name,
                            const char* expected) {
            QTest::newRow(tag) << file << u(name) << u(expected);
        };
        const QByteArray head = "Windows Registry Editor Version 5.00\n\n" + Section;
        row("dword", head + "\"A\"=dword:0000000a", "A", "dword:10");
        row("dword upper, short", head + "\"A\"=DWORD:FF", "A", "dword:255");
        row("dword all bits", head + "\"A\"=dword:ffffffff", "A", "dword:4294967295");
        row("dword 9 digits", head + "\"A\"=dword:000000001", "A", "missing");
        row("dword not hex", head + "\"A\"=dword:xyz", "A", "missing");
        row("dword empty", head + "\"A\"=dword:", "A", "missing");
        row("escapes", head + "\"A\"=\"q\\\"x\\\"\\\\y\"", "A", "text:q\"x\"\\y");
        row("hand-typed backslash", head + "\"A\"=\"C:\\Data\"", "A", "text:C:\\Data");
        row("escaped name", head + "\"a\\\"b\"=\"x\"", "a\"b", "text:x");
        row("utf8", head + "\"A\"=\"za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\"", "A",
            "text:za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87");
        row("bom, crlf", "\xEF\xBB\xBF" + head + "\"A\"=\"x\"\r\n", "A", "text:x");
        row("no header line", Section + "\"A\"=\"x\"", "A", "text:x");
        row("blanks around =", head + "\"A\" = dword:1", "A", "dword:1");
        row("last wins, any case", head + "\"A\"=dword:1\n\"a\"=dword:2", "A", "dword:2");
        row("last wins, any case beyond ASCII",
            head + "\"\xC3\x84x\"=dword:1\n\"\xC3\xA4X\"=dword:2", "\xC3\xA4x", "dword:2");
        row("Kelvin sign is k", head + "\"\xE2\x84\xAA\"=dword:1\n\"k\"=dword:2", "K", "dword:2");
        row("wide name", head + "\"\xE2\x82\xAC\"=\"\xE2\x82\xAC\"", "\xE2\x82\xAC",
            "text:\xE2\x82\xAC");
        row("removed", head + "\"A\"=dword:1\n\"A\"=-", "A", "missing");
        row("removed, then set again",
            head + "\"A\"=dword:1\n\"A\"=-\n\"b\"=dword:3\n\"a\"=dword:2", "A", "dword:2");
        row("before section", "\"A\"=dword:1\n" + Section, "A", "missing");
        row("other key", head + "[HKEY_CURRENT_USER\\Other]\n\"A\"=dword:1", "A", "missing");
        row("section case", "[hkey_current_user\\software\\pelmora\\dirka\\2.1]\n\"A\"=dword:1",
            "A", "dword:1");
        row("unterminated text", head + "\"A\"=\"abc", "A", "missing");
        row("text with tail", head + "\"A\"=\"abc\" x", "A", "missing");
        row("no =", head + "\"A\" dword:1", "A", "missing");
        row("unknown data", head + "\"A\"=qword:1", "A", "missing");
        row("hex(2)", head + "\"A\"=hex(2):25,00,48,00,00,00", "A", "expand:%H");
        row("hex(1) continued", head + "\"A\"=hex(1):61,00,0a,00,\\\n  62,00,00,00", "A",
            "text:a\nb");
        row("hex(1) over three lines",
            head + "\"A\"=hex(1):61,00,\\\n  62,00,\\\n  63,00,\\\n  00,00", "A", "text:abc");
        row("hex(1) over five lines, CR LF",
            head + "\"A\"=hex(1):61,00,\\\r\n  62,00,\\\r\n  63,00,\\\r\n  64,00,\\\r\n  00,00\r\n"
                   "\"B\"=dword:1",
            "A", "text:abcd");
        row("value after a long hex list", head + "\"A\"=hex:41,\\\n42,\\\n43\n\"B\"=dword:2", "B",
            "dword:2");
        row("hex(1) odd bytes", head + "\"A\"=hex(1):61,00,62", "A", "missing");
        row("hex bad byte", head + "\"A\"=hex(1):61,zz", "A", "missing");
        row("hex(4) dword", head + "\"A\"=hex(4):0a,00,00,00", "A", "dword:10");
        row("binary", head + "\"A\"=hex:41,42", "A", "type3:4142");
        row("garbage around", "\x01\x02garbage\n" + head + "junk line\n\"\n\"A\"=dword:7\n[", "A",
            "dword:7");
    }
    void parse()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(describe(ParseRegistryText(file, false), name), expected);
    }

    void utf16File()
    {
        const QString text = QString::fromUtf8(Section) + u"\"A\"=\"ż\"\r\n";
        QByteArray bytes("\xFF\xFE", 2);
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QCOMPARE(describe(ParseRegistryText(bytes, false), QStringLiteral("A")),
                 QString::fromUtf8("text:ż"));
    }

    // A removed name leaves the order; set again, it comes last. Removals are compacted lazily,
    // so reading after them must see neither gaps nor stale positions.
    void removalsKeepTheOrder()
    {
        const QByteArray text =
            "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\n"
            "\"A\"=dword:1\n\"B\"=dword:2\n\"A\"=-\n\"C\"=dword:3\n\"a\"=dword:4\n"
            "\"B\"=-\n\"B\"=-\n\"D\"=-\n";
        const TSettingsKey key = ParseRegistryText(text, true);
        QStringList names;
        for (const TSettingsKey::TNamedValue& entry : key.Values())
            names << entry.Name + u'=' + QString::number(entry.Value.Dword);
        QCOMPARE(names, (QStringList{"C=3", "a=4"}));
        QCOMPARE(describe(key, QStringLiteral("A")), QStringLiteral("dword:4"));
        QCOMPARE(describe(key, QStringLiteral("B")), QStringLiteral("missing"));
    }

    // Removed names stay removed however the index grows after them, and a name set again
    // holds its new value: checked against a plain map at every step.
    void removalsSurviveIndexGrowth_data()
    {
        QTest::addColumn<int>("before"); // values set before the removals
        QTest::addColumn<int>("after");  // values set after them, growing the index
        QTest::newRow("few, no growth") << 5 << 2;
        QTest::newRow("twelve, then growth") << 12 << 30;
        QTest::newRow("thirteen, then growth") << 13 << 30;
        QTest::newRow("many, several growths") << 40 << 400;
    }
    void removalsSurviveIndexGrowth()
    {
        QFETCH(int, before);
        QFETCH(int, after);
        TSettingsKey key(true);
        QMap<QString, int> model;
        const auto set = [&](const QString& name, int number) {
            RegWriteInteger(&key, name, number);
            model.insert(name, number);
        };
        for (int i = 0; i < before; ++i)
            set(u"v%1"_qs.arg(i), i);
        for (int i = 0; i < before; i += 3) {
            key.RemoveValue(u"v%1"_qs.arg(i));
            model.remove(u"v%1"_qs.arg(i));
        }
        for (int i = 0; i < after; ++i) {
            set(u"w%1"_qs.arg(i), 1000 + i);
            if (i % 7 == 0) // a removed name set again
                set(u"v%1"_qs.arg(3 * (i / 7)), 2000 + i);
        }
        for (int i = 0; i < before; ++i) {
            const QString name = u"v%1"_qs.arg(i);
            QCOMPARE(describe(key, name), model.contains(name)
                                              ? u"dword:"_qs + QString::number(model[name])
                                              : u"missing"_qs);
        }
        QCOMPARE(key.Values().size(), model.size());
    }

    void formatExact()
    {
        TSettingsKey key;
        RegWriteInteger(&key, u"MaxDepth", 10);
        RegWriteText(&key, u"PathSave", u"<Desktop>");
        RegWriteText(&key, u"PathList", u"a\nb");
        QCOMPARE(FormatRegistryText(key),
                 QByteArray("Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\r\n"
                            "\"MaxDepth\"=dword:0000000a\r\n"
                            "\"PathSave\"=\"<Desktop>\"\r\n"
                            "\"PathList\"=hex(1):61,00,0a,00,62,00,00,00\r\n\r\n"));
    }

    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("quoted");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("quotes, backslashes") << QStringLiteral("a\"b\\c\\\\\"d\\\"") << true;
        QTest::newRow("non-ASCII") << QString::fromUtf8("Zażółć 日本 😀") << true;
        QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << false;
        QTest::newRow("tab") << QStringLiteral("a\tb") << false;
        QTest::newRow("C1 control") << QString(QChar(0x85)) << false;
        QTest::newRow("embedded NUL") << QString::fromUtf16(u"a\0b", 3) << false;
        QTest::newRow("trailing NUL") << QString::fromUtf16(u"a\0", 2) << false;
        QTest::newRow("lone surrogate") << QString::fromUtf16(u"x\xDCFF", 2) << false;
        QTest::newRow("lone high surrogate") << QString::fromUtf16(u"\xD800y", 2) << false;
    }
    void textRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(bool, quoted);
        TSettingsKey key;
        QVERIFY(RegWriteText(&key, u"T", text));
        const QByteArray file = FormatRegistryText(key);
        QCOMPARE(file.contains("\"T\"=\""), quoted);
        QString back = QStringLiteral("unchanged");
        const TSettingsKey read = ParseRegistryText(file, false);
        QVERIFY(RegReadText(&read, u"T", back));
        QCOMPARE(back, text);
    }

    void typedAccess()
    {
        TSettingsKey key;
        QVERIFY(RegWriteInteger(&key, u"N", -2));
        QVERIFY(RegWriteBool(&key, u"B", true));
        QVERIFY(RegWriteText(&key, u"T", u"x"));
        key.SetValue(QStringLiteral("D"), TRegValue{int(TRegType::Dword), 7, {}, {}});
        int n = 0;
        bool b = false;
        QString t;
        QVERIFY(RegReadInteger(&key, u"N", n));
        QCOMPARE(n, -2);
        QVERIFY(RegReadBool(&key, u"D", b)); // any value other than 0 is true
        QVERIFY(b);
        n = 5;
        QVERIFY(!RegReadInteger(&key, u"missing", n));
        QCOMPARE(n, 5);
        QVERIFY(RegReadText(&key, u"t", t)); // names ignore case
        QCOMPARE(t, QStringLiteral("x"));
    }

    void errors()
    {
        TSettingsKey key;
        RegWriteText(&key, u"T", u"x");
        RegWriteInteger(&key, u"N", 1);
        int n = 9;
        bool b = false;
        QString t;
        QVERIFY_THROWS_EXCEPTION(ESettingsFileError, RegReadInteger(&key, u"T", n));
        QVERIFY_THROWS_EXCEPTION(ESettingsFileError, RegReadBool(&key, u"T", b));
        QVERIFY_THROWS_EXCEPTION(ESettingsFileError, RegReadText(&key, u"N", t));
        QCOMPARE(n, 9);
        try {
            RegReadInteger(&key, u"T", n);
        } catch (const ESettingsFileError& e) {
            QCOMPARE(e.Message(), QStringLiteral("Invalid data type for 'T'"));
        }
        TSettingsKey readOnly(false);
        try {
            RegWriteBool(&readOnly, u"S.Mode", true);
            QFAIL("a read-only key took a write");
        } catch (const ESettingsFileError& e) {
            QCOMPARE(e.Message(), QStringLiteral("Failed to set data for 'S.Mode'"));
        }
        QVERIFY_THROWS_EXCEPTION(ESettingsFileError, RegWriteText(&key, u"a\nb", u"x"));
        QVERIFY(readOnly.Values().isEmpty());
    }

    void absentKey()
    {
        bool b = true;
        int n = 3;
        QString t = QStringLiteral("keep");
        QVERIFY(!RegReadBool(nullptr, u"B", b));
        QVERIFY(!RegReadInteger(nullptr, u"N", n));
        QVERIFY(!RegReadText(nullptr, u"T", t));
        QVERIFY(!RegWriteBool(nullptr, u"B", b));
        QVERIFY(!RegWriteInteger(nullptr, u"N", n));
        QVERIFY(!RegWriteText(nullptr, u"T", t));
        QCOMPARE(t, QStringLiteral("keep"));
        QVERIFY(!OpenKeyForReading(QStringLiteral("/nonexistent/dirka/2.1.reg")));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
