#include "gui/desktop/help.h"
#include "gui/export/list_page_document.h"
#include "gui/main_window/location_row.h"
#include "gui/widgets/window_commands.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dirka;

// The rules the window follows that need no widget: the location a path gives, the help page a
// context opens, the note under a cut preview.
class TestWindowRules : public QObject {
    Q_OBJECT

    QTemporaryDir m_tree; // music/a.mp3, music/sub/, help/index.html, help/us0005.html

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir(m_tree.path()).mkpath(QStringLiteral("music/sub")));
        QVERIFY(QDir(m_tree.path()).mkpath(QStringLiteral("help")));
        for (const char* name : {"music/a.mp3", "help/index.html", "help/us0005.html"}) {
            QFile file(m_tree.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void locationFromPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("location");
        const QString t = m_tree.path();
        QTest::newRow("folder") << t + "/music" << t + "/music";
        QTest::newRow("folder with delimiter") << t + "/music/" << t + "/music";
        QTest::newRow("file") << t + "/music/a.mp3" << t + "/music";
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("missing") << t + "/music/none.mp3"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
        // A file directly under the root lists the root, never an empty location.
        const QStringList rootFiles = QDir::root().entryList(QDir::Files | QDir::Hidden);
        if (!rootFiles.isEmpty())
            QTest::newRow("file under root") << u'/' + rootFiles.first() << "/";
    }
    void locationFromPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, location);
        QCOMPARE(LocationFromPath(path), location);
    }

    void relativeFileListsTheWorkingFolder()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_tree.filePath(QStringLiteral("music"))));
        const QString location = LocationFromPath(QStringLiteral("a.mp3"));
        QDir::setCurrent(before);
        QCOMPARE(location, QStringLiteral("."));
    }

    void helpPage_data()
    {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("opened");
        QTest::newRow("find box") << 5 << "us"
                                  << "us0005.html"
                                  << "us0005.html";
        QTest::newRow("export, no page") << 8 << "us"
                                         << "us0008.html"
                                         << "index.html";
        QTest::newRow("none, us") << 0 << "us"
                                  << "index.html"
                                  << "index.html";
        QTest::newRow("negative") << -3 << "us"
                                  << "index.html"
                                  << "index.html";
        QTest::newRow("none, pl") << 0 << "pl"
                                  << "pl_Home.html"
                                  << "index.html";
        QTest::newRow("four digits") << 1234 << "pl"
                                     << "pl1234.html"
                                     << "index.html";
    }
    void helpPage()
    {
        QFETCH(int, context);
        QFETCH(QString, language);
        QFETCH(QString, name);
        QFETCH(QString, opened);
        QCOMPARE(HelpPageName(context, language), name);
        const QString folder = m_tree.filePath(QStringLiteral("help")) + u'/';
        QCOMPARE(HelpPagePath(context, language, folder), folder + opened);
        // Without even the index there is nothing to open.
        QCOMPARE(HelpPagePath(context, language, m_tree.path() + u"/music/"), QString());
    }

    void fitAndCenter_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("placed");
        const QMargins bar(0, 20, 0, 0);
        QTest::newRow("fits") << QSize(540, 520) << bar << QRect(0, 0, 1280, 1024)
                              << QRect(370, 262, 540, 520);
        // 200% on a 1024-pixel screen: 512 device-independent pixels, less a panel.
        QTest::newRow("too tall") << QSize(540, 520) << bar << QRect(0, 0, 640, 492)
                                  << QRect(50, 20, 540, 472);
        QTest::newRow("too wide, area offset")
            << QSize(540, 300) << QMargins(4, 20, 4, 4) << QRect(100, 30, 400, 600)
            << QRect(104, 188, 392, 300);
        QTest::newRow("no frame") << QSize(100, 100) << QMargins() << QRect(0, 0, 100, 100)
                                  << QRect(0, 0, 100, 100);
    }
    void fitAndCenter()
    {
        QFETCH(QSize, size);
        QFETCH(QMargins, frame);
        QFETCH(QRect, available);
        QFETCH(QRect, placed);
        QCOMPARE(FitAndCenter(size, frame, available), placed);
        QVERIFY(available.contains(placed.marginsAdded(frame)));
    }

    void cutNotice()
    {
        QCOMPARE(CutNoticeText(200000, 1000012),
                 QStringLiteral("[The view ends here: it shows the first 200000 of 1000012 "
                                "lines. The file holds them all.]"));
    }
};

QTEST_MAIN(TestWindowRules)
#include "tst_window_rules.moc"
