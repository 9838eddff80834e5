#include "core/settings/locations.h"

#include <QDir>
#include <QTest>

using namespace dirka;

namespace {

TInfo knownFolders()
{
    TInfo info;
    info.DesktopFolder = QStringLiteral("/home/ann/Desktop/");
    info.PersonalFolder = QStringLiteral("/home/ann/Documents/");
    info.ProgramFilesFolder = QStringLiteral("/usr/bin/");
    return info;
}

// "$CWD" in an expected text stands for the working folder.
QString expand(QString expected)
{
    return expected.replace(QStringLiteral("$CWD"), QDir::currentPath());
}

} // namespace

class TestLocations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void resolveLocation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const char* text, const char* expected) {
            QTest::newRow(tag) << QString::fromUtf8(text) << QString::fromUtf8(expected);
        };
        row("first of two pseudo", "<Desktop> | <My Documents>", "/home/ann/Desktop/");
        row("any case, blanks", "  <program files>  ", "/usr/bin/");
        row("documents", "<MY DOCUMENTS>", "/home/ann/Documents/");
        row("text after token kept", "<desktop>Photos", "/home/ann/Desktop/Photos/");
        row("one token only", "<My Documents><Desktop>", "/home/ann/Documents/");
        row("other token", "<Temp>", "");
        row("token not at start", "/x<Desktop>", "/x/");
        row("delimiter added", "/mnt", "/mnt/");
        row("first of a list", "/data | /mnt/", "/data/");
        row("drive annotation cut", "/media/cd  <CD/DVD>", "/media/cd/");
        row("root", "/", "/");
        row("empty", "", "");
        row("blanks only", " \t ", "");
        row("empty first field", "| /data", "");
        row("relative", "photos", "$CWD/photos/");
        // ".." is left to the file system: "missing/.." must not become the working folder.
        row("relative with dots", "./a/../b", "$CWD/a/../b/");
        row("missing folder, then up", "missing/..", "$CWD/missing/../");
        row("doubled delimiters and dots", "a//./b/.", "$CWD/a/b/");
        row("dot", ".", "$CWD/");
    }
    void resolveLocation()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ResolveLocation(text, knownFolders()), expand(expected));
    }

    // An unknown special folder refuses the location instead of listing "/" or a relative path.
    void unknownFolderIsRefused()
    {
        TInfo info = knownFolders();
        info.DesktopFolder.clear();
        QCOMPARE(ResolveLocation(u"<Desktop>", info), QString());
        QCOMPARE(ResolveLocation(u"<Desktop>Photos", info), QString());
        QCOMPARE(ResolveLocation(u"<My Documents>", info), QStringLiteral("/home/ann/Documents/"));
    }

    void resolveLocationList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two pseudo")
            << QStringLiteral("<Desktop> | <My Documents>")
            << QStringLiteral("/home/ann/Desktop/\r\n/home/ann/Documents/\r\n");
        QTest::newRow("empty last") << QStringLiteral("/a|") << QStringLiteral("/a/\r\n\r\n");
        QTest::newRow("empty text") << QString() << QStringLiteral("\r\n");
        QTest::newRow("mixed") << QStringLiteral(" /a | <Temp> |/media/cd  <CD/DVD>")
                               << QStringLiteral("/a/\r\n\r\n/media/cd/\r\n");
    }
    void resolveLocationList()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ResolveLocationList(text, knownFolders()), expected);
        QCOMPARE(ResolveLocations(text, knownFolders()).join(u"\r\n") + u"\r\n", expected);
    }

    void defaultsUseTheProcessRecord()
    {
        ReplaceInfo(knownFolders());
        QCOMPARE(ResolveLocation(u"<Desktop>"), QStringLiteral("/home/ann/Desktop/"));
        ReplaceInfo(TInfo());
    }
};

QTEST_GUILESS_MAIN(TestLocations)
#include "tst_locations.moc"
