#include "core/settings/settings_fields.h"
#include "core/settings/settings_persistence.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace dirka;
using namespace testsupport;

Q_DECLARE_METATYPE(TSettings)

namespace {

const QByteArray Head = "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\r\n";

// A record in which every value differs from its default (and stays within the load ranges).
TSettings changedSettings()
{
    TSettings s;
    s.MaxDepth = 4;
    s.IsMaxDepth = true;
    s.IsHiddenFiles = true;
    s.IsSystemFiles = true;
    s.IsClear = false;
    s.IsCopy = true;
    s.IsSound = false;
    s.PathList = QStringLiteral("/data | <Desktop>");
    s.PathSave = QStringLiteral("/tmp");
    s.Filter = 7;
    for (int i = 0; i < FilterCount; ++i)
        s.FilterMask[i] = QStringLiteral("*.x%1|").arg(i);
    s.Style = {10, {}, 1, false, false, false, 3, 4, 5, 1, 1, 7, 2, false, 4};
    return s;
}

} // namespace

class TestSettingsPersistence : public QObject {
    Q_OBJECT
private:
    TTempTree m_dir;
    QString path() const { return m_dir.path("cfg/2.1.reg"); }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }
    void cleanup() { QDir(m_dir.path("cfg")).removeRecursively(); }

    void filePathInTestMode()
    {
        const QString file = SettingsFilePath();
        QVERIFY(file.endsWith(QStringLiteral("/Pelmora/Dirka/2.1.reg")));
        QVERIFY(file.startsWith(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));
    }

    void firstStartGivesDefaults()
    {
        TSettings s = changedSettings();
        LoadSettings(s, path());
        QCOMPARE(s, TSettings());
        QCOMPARE(s.PathSave, QStringLiteral("<Desktop>"));
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<TSettings>("expected");
        TSettings e;
        e.IsSound = false;
        QTest::newRow("only IsSound") << QByteArray("\"IsSound\"=dword:00000000") << e;

        // Every value stored changed, but S.Mode as a text: loading stops there.
        const TSettings changed = changedSettings();
        QByteArray all;
        e = TSettings();
        for (const TSettingsField& f : SettingsFields()) {
            TSettings source = changed;
            if (f.Name == u"S.Mode") {
                all += "\"S.Mode\"=\"1\"\r\n";
                break;
            }
            all += "\"" + f.Name.toUtf8() + "\"=";
            if (f.Kind == TValueKind::Text) {
                all += "\"" + f.Text(source).toUtf8() + "\"\r\n";
                f.Text(e) = f.Text(source);
            } else if (f.Kind == TValueKind::Boolean) {
                all += QByteArray("dword:0000000") + (f.Boolean(source) ? "1" : "0") + "\r\n";
                f.Boolean(e) = f.Boolean(source);
            } else {
                all += "dword:" + QByteArray::number(f.Integer(source), 16) + "\r\n";
                f.Integer(e) = f.Integer(source);
            }
        }
        QTest::newRow("S.Mode as text") << all << e;

        e = TSettings();
        e.Filter = 7;
        QTest::newRow("Filter 7") << QByteArray("\"Filter\"=dword:00000007") << e;

        e = TSettings();
        e.MaxDepth = 1;
        QTest::newRow("text where MaxDepth's number belongs, later values default")
            << QByteArray("\"MaxDepth\"=dword:1\r\n\"IsMaxDepth\"=\"1\"\r\n\"IsSound\"=dword:0")
            << e;

        e = TSettings();
        e.MaxDepth = -1;
        e.IsMaxDepth = true;
        QTest::newRow("depth and switches taken as they are")
            << QByteArray("\"MaxDepth\"=dword:ffffffff\r\n\"IsMaxDepth\"=dword:2") << e;

        QByteArray outside;
        for (const char* name :
             {"S.Preset", "S.Mode", "S.Base", "S.Folder", "S.File", "S.Separator", "S.IndentMode",
              "S.IndentSpace", "S.SortMode", "S.Header"})
            outside += "\"" + QByteArray(name) + "\"=dword:ffffffff\r\n";
        QTest::newRow("every style value below its range") << outside << TSettings();
        QTest::newRow("every style value just above its range")
            << QByteArray("\"S.Preset\"=dword:b\r\n\"S.Mode\"=dword:2\r\n\"S.Base\"=dword:b\r\n"
                          "\"S.Folder\"=dword:b\r\n\"S.File\"=dword:d\r\n"
                          "\"S.Separator\"=dword:2\r\n\"S.IndentMode\"=dword:3\r\n"
                          "\"S.IndentSpace\"=dword:15\r\n\"S.SortMode\"=dword:6\r\n"
                          "\"S.Header\"=dword:8")
            << TSettings();
        e = TSettings();
        e.Style = {10, {}, 1, true, true, true, 10, 10, 12, 1, 2, 20, 5, true, 7};
        QTest::newRow("every style value at the end of its range")
            << QByteArray("\"S.Preset\"=dword:a\r\n\"S.Mode\"=dword:1\r\n\"S.Base\"=dword:a\r\n"
                          "\"S.Folder\"=dword:a\r\n\"S.File\"=dword:c\r\n"
                          "\"S.Separator\"=dword:1\r\n\"S.IndentMode\"=dword:2\r\n"
                          "\"S.IndentSpace\"=dword:14\r\n\"S.SortMode\"=dword:5\r\n"
                          "\"S.Header\"=dword:7")
            << e;

        e = TSettings();
        e.PathList = QStringLiteral("%HOME%");
        QTest::newRow("hex(2) literal")
            << QByteArray("\"PathList\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00") << e;

        e = TSettings();
        e.IsCopy = true;
        QTest::newRow("unparsable lines are missing values")
            << QByteArray("\"MaxDepth\"=dword:zz\r\n\"IsClear\"=\"unterminated\r\nrubbish\r\n"
                          "\"IsCopy\"=dword:1")
            << e;
    }
    void load()
    {
        QFETCH(QByteArray, values);
        QFETCH(TSettings, expected);
        QVERIFY(m_dir.makeFile("cfg/2.1.reg", Head + values + "\r\n"));
        TSettings s;
        LoadSettings(s, path());
        QCOMPARE(s, expected);
    }

    // What a caller can tell the user when the stored values were not all taken; the values
    // read before a wrong type stay, nothing else of an unread file is taken.
    void loadTellsWhyNot_data()
    {
        QTest::addColumn<QByteArray>("file"); // "<folder>", "<fifo>", "<huge>", or the content
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("maxDepth"); // as loaded
        const int unset = TSettings().MaxDepth;
        const QByteArray depth = "\"MaxDepth\"=dword:00000007\r\n";
        QTest::newRow("no file") << QByteArray("<none>") << QString() << unset;
        QTest::newRow("whole") << Head + depth << QString() << 7;
        QTest::newRow("section only") << Head << QString() << unset;
        QTest::newRow("no section line")
            << depth << u"not read: no [HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1] line"_qs
            << unset;
        QTest::newRow("another key's section")
            << QByteArray("[HKEY_CURRENT_USER\\Software\\Other]\r\n") + depth
            << u"not read: no [HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1] line"_qs << unset;
        QTest::newRow("wrong type") << Head + depth + "\"IsMaxDepth\"=\"yes\"\r\n"
                                    << u"read in part: Invalid data type for 'IsMaxDepth'"_qs << 7;
        QTest::newRow("folder") << QByteArray("<folder>") << u"not read: not a regular file"_qs
                                << unset;
        QTest::newRow("fifo") << QByteArray("<fifo>") << u"not read: not a regular file"_qs
                              << unset;
        QTest::newRow("huge") << QByteArray("<huge>") << u"not read: larger than 64 MiB"_qs
                              << unset;
    }
    void loadTellsWhyNot()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, problem);
        QFETCH(int, maxDepth);
        if (file == "<none>") {
        } else if (file == "<folder>") {
            QVERIFY(m_dir.makeFolder("cfg/2.1.reg"));
        } else if (file == "<fifo>") {
            QVERIFY(m_dir.makeFifo("cfg/2.1.reg"));
        } else if (file == "<huge>") {
            QVERIFY(m_dir.makeFile("cfg/2.1.reg", Head + "\"MaxDepth\"=dword:00000007\r\n"));
            QVERIFY(QFile::resize(path(), (qint64(64) << 20) + 1)); // sparse
        } else {
            QVERIFY(m_dir.makeFile("cfg/2.1.reg", file));
        }
        TSettings s;
        QCOMPARE(LoadSettings(s, path()), problem);
        QCOMPARE(s.MaxDepth, maxDepth);
    }

    void unreadableFileTellsWhy()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        QVERIFY(m_dir.makeFile("cfg/2.1.reg", Head));
        QVERIFY(QFile::setPermissions(path(), QFileDevice::WriteOwner));
        TSettings s;
        QCOMPARE(LoadSettings(s, path()), u"not read: Permission denied"_qs);
    }

    void saveWritesAllValuesInOrder()
    {
        QVERIFY(SaveSettings(TSettings(), path()).Ok); // creates the folder
        const QList<QByteArray> lines = readAll(path()).split('\n');
        QCOMPARE(lines.value(0), QByteArray("Windows Registry Editor Version 5.00\r"));
        QList<QByteArray> values;
        for (const QByteArray& line : lines)
            if (line.startsWith('"'))
                values << line.left(line.indexOf('='));
        QCOMPARE(values.size(), 45);
        QCOMPARE(values.first(), QByteArray("\"MaxDepth\""));
        QCOMPARE(values.last(), QByteArray("\"S.Header\""));
        QVERIFY(lines.contains("\"PathSave\"=\"<Desktop>\"\r"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<TSettings>("settings");
        QTest::newRow("defaults") << TSettings();
        QTest::newRow("all changed") << changedSettings();
        TSettings s = changedSettings();
        s.PathList = QStringLiteral("\"quoted\" \\back\\\\slash\\");
        s.PathSave = QString::fromUtf8("/home/zoë/Pulpit żółw 日本");
        s.FilterMask[3] = QStringLiteral("line\r\nbreak|\ttab");
        s.FilterMask[4] = QString::fromUtf16(u"raw byte \xDCFF|", 11);
        s.FilterMask[5] = QString();
        s.MaxDepth = INT_MIN;
        s.Filter = INT_MAX;
        QTest::newRow("awkward texts and numbers") << s;
    }
    void roundTrip()
    {
        QFETCH(TSettings, settings);
        QVERIFY(SaveSettings(settings, path()).Ok);
        TSettings back;
        LoadSettings(back, path());
        QCOMPARE(back, settings);
    }

    // A save that cannot finish must leave the previous file exactly as it was.
    void failedSaveKeepsOldFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("read-only folder") << QStringLiteral("read-only");
        QTest::newRow("write beyond the file size limit") << QStringLiteral("size-limit");
    }
    void failedSaveKeepsOldFile()
    {
        QFETCH(QString, how);
        QVERIFY(SaveSettings(TSettings(), path()).Ok);
        const QByteArray before = readAll(path());
        const QString folder = QFileInfo(path()).path();
        TSaveResult result;
        if (how == u"read-only") {
            const TWithoutReadOverride asUser; // root would write to the folder anyway
            if (!asUser.active())
                QSKIP("permission bits do not stop this process; the size-limit row covers this");
            // A writable file in a read-only folder is rewritten in place; this one is not.
            QVERIFY(m_dir.setMode("cfg", 0500) && m_dir.setMode("cfg/2.1.reg", 0400));
            result = SaveSettings(changedSettings(), path());
            QVERIFY(m_dir.setMode("cfg", 0700));
        } else {
            // The kernel refuses writes past RLIMIT_FSIZE with EFBIG (SIGXFSZ ignored), even for
            // root: a stand-in for a full disk.
            rlimit old{};
            ::getrlimit(RLIMIT_FSIZE, &old);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 64;
            ::setrlimit(RLIMIT_FSIZE, &small);
            result = SaveSettings(changedSettings(), path());
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
        QVERIFY(!result.Ok);
        QVERIFY2(!result.Reason.isEmpty(), "the failure names its reason");
        QCOMPARE(readAll(path()), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"2.1.reg"});
    }

    void failedSaveReports_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("parent is a file") << QStringLiteral("file/2.1.reg");
        QTest::newRow("target is a folder") << QStringLiteral("folder");
        QTest::newRow("device without space") << QStringLiteral("full");
    }
    void failedSaveReports()
    {
        QFETCH(QString, target);
        const QString base = m_dir.path("cfg");
        QVERIFY(m_dir.makeFolder("cfg/folder") && m_dir.makeFile("cfg/file", "x") &&
                m_dir.makeLink("cfg/full", "/dev/full"));
        const TSaveResult result = SaveSettings(TSettings(), base + u'/' + target);
        QVERIFY(!result.Ok);
        QVERIFY(!result.Reason.isEmpty());
        QCOMPARE(readAll(base + u"/file"), QByteArray("x"));
        QVERIFY(QFileInfo(base + u"/full").isSymLink()); // a device is never replaced by a file
    }

    // Every cut of a real file, and bytes flipped in it, still loads without crashing.
    void brokenFilesDoNotCrash()
    {
        QVERIFY(SaveSettings(changedSettings(), path()).Ok);
        const QByteArray good = readAll(path());
        for (qsizetype cut = 0; cut < good.size(); cut += 7) {
            QVERIFY(m_dir.makeFile("cfg/2.1.reg", good.left(cut)));
            TSettings s;
            LoadSettings(s, path());
        }
        for (qsizetype at = 0; at < good.size(); at += 5) {
            QByteArray bad = good;
            bad[at] = char(bad[at] ^ 0xA5);
            QVERIFY(m_dir.makeFile("cfg/2.1.reg", bad));
            TSettings s;
            LoadSettings(s, path());
            QVERIFY(s.Style.IndentSpace >= 0 && s.Style.IndentSpace <= 20);
        }
        QVERIFY(m_dir.makeFile("cfg/2.1.reg", "\"MaxDepth\"=dword:1\r\n[" + good));
        QVERIFY(SaveSettings(TSettings(), path()).Ok); // a clean file replaces the broken one
        QCOMPARE(readAll(path()).count("\"MaxDepth\""), 1);
    }
};

QTEST_GUILESS_MAIN(TestSettingsPersistence)
#include "tst_settings_persistence.moc"
