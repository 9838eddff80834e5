#include "core/listing/result_line_store.h"
#include "core/system/program_info.h"
#include "gui/error_report/application.h"
#include "gui/main_window/main_window.h"
#include "gui/result_view/result_view.h"

#include "fresh_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace dirka;
using testsupport::TFakeDesktop;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// One record of a saved listing as `--json` writes it; a folder's path ends in "/".
QByteArray record(const QString& path, int depth, qint64 size = 0, qint64 modified = 0)
{
    const bool folder = path.endsWith(u'/');
    const QByteArray time =
        QDateTime::fromSecsSinceEpoch(modified, Qt::UTC).toString(Qt::ISODate).toUtf8();
    return "{\"type\":\"" + QByteArray(folder ? "folder" : "file") + "\",\"path\":\"" +
           path.toUtf8() + "\",\"size\":" + QByteArray::number(size) + ",\"modified\":\"" + time +
           "\",\"depth\":" + QByteArray::number(depth) + "}\n";
}

qint64 modifiedOf(const QString& path)
{
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

} // namespace

class TestCatalogCommands : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir; // the saved listings and the trees they are compared with
    TFakeDesktop m_desktop;
    std::unique_ptr<TMainWindow> m_window;

    QAction* action(const char* name) const
    {
        auto* found = m_window->findChild<QAction*>(QLatin1String(name));
        if (!found)
            qFatal("no action %s", name);
        return found;
    }
    QComboBox* comboPath() const { return m_window->findChild<QComboBox*>("comboPath"); }
    QStringList lines() const
    {
        QStringList all;
        for (qsizetype i = 0; i < m_window->Result().LineCount(); ++i)
            all << m_window->Result().Line(i).toString();
        return all;
    }
    QString pathOf(qsizetype line) const { return m_window->Result().PathOf(line); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(m_window->windowHandle(), key, modifiers);
    }
    // Puts the caret on the first line ending in text.
    void selectLineEndingIn(const QString& text)
    {
        const QStringList all = lines();
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (all[i].endsWith(text)) {
                m_window->ResultView()->Select(m_window->Result().LineStart(i) + 1, 0);
                return;
            }
        }
        QFAIL(qPrintable(u"no line ends in " + text + u":\n" + all.join(u'\n')));
    }
    // A tree as it is now: a.txt (4 bytes), b.log (1), sub/c.txt (1).
    QString makeTree(const QString& name)
    {
        const QString tree = m_dir.filePath(name) + u'/';
        QDir().mkpath(tree + u"sub");
        writeFile(tree + u"a.txt", "aaaa");
        writeFile(tree + u"b.log", "b");
        writeFile(tree + u"sub/c.txt", "c");
        return tree;
    }
    // Its saved listing from before: a.txt as now, b.log of 9 bytes, gone.txt, no sub.
    QString catalogBefore(const QString& tree)
    {
        const QString file = m_dir.filePath(QFileInfo(tree.chopped(1)).fileName() + u".jsonl");
        writeFile(file, record(tree, 0) +
                            record(tree + u"a.txt", 1, 4, modifiedOf(tree + u"a.txt")) +
                            record(tree + u"b.log", 1, 9, modifiedOf(tree + u"b.log")) +
                            record(tree + u"gone.txt", 1, 7, 1000));
        return file;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        TInfo info;
        info.ProgramFolder = m_dir.path() + u'/';
        info.DesktopFolder = m_dir.path() + u'/';
        info.LanguageCode = QStringLiteral("us");
        ReplaceInfo(info);
    }
    void init()
    {
        m_desktop = TFakeDesktop();
        m_window = ShowFreshWindow(m_desktop);
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    // Ctrl+Shift+O asks for a saved listing, makes it the location and lists it; an item that
    // is not on the disk now is said to be in the catalogue, one that is opens as usual.
    void openCatalog_data()
    {
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<int>("shortcut");
        QTest::addColumn<QString>("call"); // %1 the item's path; empty: the catalogue message
        QTest::newRow("open, gone") << false << int(Qt::Key_F9) << QString();
        QTest::newRow("explore, gone") << false << (Qt::CTRL | Qt::Key_E).toCombined() << QString();
        QTest::newRow("open, still there") << true << int(Qt::Key_F9) << u"open %1"_qs;
        QTest::newRow("explore, still there")
            << true << (Qt::CTRL | Qt::Key_E).toCombined() << u"show %1"_qs;
    }
    void openCatalog()
    {
        QFETCH(bool, onDisk);
        QFETCH(int, shortcut);
        QFETCH(QString, call);
        const QString tree = onDisk ? makeTree(u"there"_qs) : m_dir.filePath(u"gone"_qs) + u'/';
        const QString file = m_dir.filePath(u"disk1.jsonl"_qs);
        writeFile(file, record(tree, 0) + record(tree + u"a.txt", 1, 4) +
                            record(tree + u"deep/x.txt", 2, 1));
        m_desktop.ChosenFile = file;
        key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_desktop.Calls.value(0).section(u" in "_qs, 0, 0),
                 u"choose Open Catalog (Saved listings (*.jsonl *.json *.csv);;All files (*))"_qs);
        QCOMPARE(comboPath()->currentText(), file);
        QVERIFY2(lines().join(u'\n').contains(u":: Catalog: " + file), qPrintable(file));
        selectLineEndingIn(u"x.txt"_qs);
        QCOMPARE(
            pathOf(m_window->ResultView()->LineFromChar(m_window->ResultView()->SelectionStart())),
            tree + u"deep/x.txt");

        selectLineEndingIn(u"a.txt"_qs);
        m_desktop.Calls.clear();
        const QKeyCombination pressed = QKeyCombination::fromCombined(shortcut);
        key(pressed.key(), pressed.keyboardModifiers());
        if (!call.isEmpty()) {
            QCOMPARE(m_desktop.Calls, QStringList{call.arg(tree + u"a.txt")});
            return;
        }
        const QString warning = m_desktop.TakeWarning();
        QVERIFY2(warning.contains(u"in a catalog") && warning.contains(tree + u"a.txt") &&
                     warning.contains(file),
                 qPrintable(warning));
        QVERIFY(m_desktop.Calls.isEmpty()); // nothing was opened
    }

    // A new result forgets where the old one's items came from: a vanished item of a listing of
    // the disk is passed over without a word again.
    void aNewResultForgetsTheCatalog()
    {
        const QString tree = makeTree(u"cleared"_qs);
        m_desktop.ChosenFile = catalogBefore(tree);
        action("actionOpenCatalog")->trigger();
        action("actionClear")->trigger();
        comboPath()->setEditText(tree);
        action("actionListNormal")->trigger();
        selectLineEndingIn(u"a.txt"_qs);
        QFile::remove(tree + u"a.txt");
        m_desktop.Calls.clear();
        key(Qt::Key_F9);
        QCOMPARE(m_desktop.Calls, QStringList());
    }

    // The differences are the result's lines, each keeping its item, below a header that says
    // what was compared; "Search for" applies to both sides.
    void compareShowsTheDifferences_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QStringList>("expected"); // line, then its item's path, below the tree
        QTest::newRow("all files") << 0
                                   << QStringList{u":: Search for: All files"_qs,
                                                  u""_qs,
                                                  u"+ %1sub/"_qs,
                                                  u"sub/"_qs,
                                                  u"~ %1b.log  size: 9 -> 1"_qs,
                                                  u"b.log"_qs,
                                                  u"- %1gone.txt"_qs,
                                                  u"gone.txt"_qs,
                                                  u"+ %1sub/c.txt"_qs,
                                                  u"sub/c.txt"_qs,
                                                  u":: Added: 2; Removed: 1; Changed: 1; "
                                                  u"Bytes added: 1; Bytes removed: 15"_qs,
                                                  u""_qs};
        // "Pictures": the files of both sides are left out, the folders stay.
        QTest::newRow("masks on both sides")
            << 10
            << QStringList{u":: Search for: Pictures"_qs,
                           u""_qs,
                           u"+ %1sub/"_qs,
                           u"sub/"_qs,
                           u":: Added: 1; Removed: 0; Changed: 0; Bytes added: 0; "
                           u"Bytes removed: 0"_qs,
                           u""_qs};
    }
    void compareShowsTheDifferences()
    {
        QFETCH(int, filter);
        QFETCH(QStringList, expected);
        const QString tree = makeTree(QString::number(filter));
        const QString file = catalogBefore(tree);
        m_desktop.ChosenFile = file;
        m_window->findChild<QComboBox*>("comboFilter")->setCurrentIndex(filter);
        comboPath()->setEditText(tree);
        action("actionCompareWithCatalog")->trigger();
        const QStringList all = lines();
        QVERIFY2(all.size() > 4 && all[2].startsWith(u":: Catalog: " + file + u"; Saved: ") &&
                     all[3].isEmpty(),
                 qPrintable(all.join(u'\n')));
        QStringList got;
        for (qsizetype i = 1; i < all.size(); ++i) {
            if (i != 2 && i != 3)
                got << all[i] << QString(pathOf(i)).remove(tree);
        }
        for (qsizetype i = 0; i < expected.size(); i += 2)
            expected[i].replace(u"%1"_qs, tree);
        QCOMPARE(got, expected);
        QCOMPARE(m_window->findChild<QLabel*>("panelStatusBar")->text(),
                 expected[expected.size() - 2].mid(3));
        QVERIFY(action("actionSaveAs")->isEnabled());
    }

    // A comparison's records say what changed, as `--compare --json` writes them; once a listing
    // replaced the comparison, the records are the listing's again.
    void compareExportsItsChanges_data()
    {
        QTest::addColumn<bool>("listedAfter");
        QTest::addColumn<QStringList>("expected"); // path below the tree, change, old size
        QTest::newRow("the comparison")
            << false
            << QStringList{u"sub/ added -"_qs, u"b.log changed 9"_qs, u"gone.txt removed -"_qs,
                           u"sub/c.txt added -"_qs};
        QTest::newRow("a listing after it")
            << true
            << QStringList{u" - -"_qs, u"sub/ - -"_qs, u"a.txt - -"_qs, u"b.log - -"_qs,
                           u"sub/c.txt - -"_qs};
    }
    void compareExportsItsChanges()
    {
        QFETCH(bool, listedAfter);
        QFETCH(QStringList, expected);
        const QString tree = makeTree(listedAfter ? u"after"_qs : u"export"_qs);
        m_desktop.ChosenFile = catalogBefore(tree);
        comboPath()->setEditText(tree);
        action("actionCompareWithCatalog")->trigger();
        if (listedAfter) {
            comboPath()->setEditText(tree);
            action("actionListNormal")->trigger();
        }
        m_desktop.SaveName = m_dir.filePath(u"changes.json"_qs);
        action("actionExportToJSON")->trigger();
        QFile file(*m_desktop.SaveName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList got;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            const QJsonValue oldSize = record.value(u"old_size");
            got << record.value(u"path").toString().remove(tree) + u' ' +
                       record.value(u"change").toString(u"-"_qs) + u' ' +
                       (oldSize.isUndefined() ? u"-"_qs : QString::number(oldSize.toInteger()));
        }
        QCOMPARE(got, expected);
    }

    // Opening a removed item names the catalogue; an added one is on the disk and opens.
    void compareLinesOpen()
    {
        const QString tree = makeTree(u"opened"_qs);
        const QString file = catalogBefore(tree);
        m_desktop.ChosenFile = file;
        comboPath()->setEditText(tree);
        action("actionCompareWithCatalog")->trigger();
        selectLineEndingIn(u"gone.txt"_qs);
        m_desktop.Calls.clear();
        key(Qt::Key_F9);
        const QString warning = m_desktop.TakeWarning();
        QVERIFY2(warning.contains(tree + u"gone.txt") && warning.contains(file),
                 qPrintable(warning));
        selectLineEndingIn(u"sub/c.txt"_qs);
        key(Qt::Key_F9);
        QCOMPARE(m_desktop.Calls, QStringList{u"open " + tree + u"sub/c.txt"});
    }

    // A comparison that cannot run says why and leaves the result as it was.
    void compareRefused_data()
    {
        QTest::addColumn<QByteArray>("catalog"); // empty: a folder that is not there
        QTest::addColumn<QString>("warning");
        QTest::newRow("damaged") << QByteArray(
                                        "{\"type\":\"folder\",\"path\":\"/m/\",\"depth\":0}\n"
                                        "{\"type\":\"file\",\"path\":")
                                 << u"line 2"_qs;
        QTest::newRow("not a listing") << QByteArray("hello\n") << u"line 1"_qs;
        QTest::newRow("location gone") << QByteArray() << u"Specified location doesn't exists."_qs;
        QTest::newRow("the catalog itself") << QByteArray("self") << u"itself"_qs;
    }
    void compareRefused()
    {
        QFETCH(QByteArray, catalog);
        QFETCH(QString, warning);
        const QString tree = makeTree(u"refused"_qs);
        comboPath()->setEditText(tree);
        action("actionListNormal")->trigger();
        const QStringList before = lines();
        const QString file = m_dir.filePath(u"refused.jsonl"_qs);
        const bool self = catalog == "self";
        writeFile(file, catalog.isEmpty() || self ? record(tree, 0) : catalog);
        if (catalog.isEmpty())
            comboPath()->setEditText(m_dir.filePath(u"no such folder"_qs));
        if (self)
            comboPath()->setEditText(file);
        m_desktop.ChosenFile = file;
        m_desktop.Calls.clear();
        action("actionCompareWithCatalog")->trigger();
        const QString shown = m_desktop.TakeWarning();
        QVERIFY2(shown.contains(warning), qPrintable(shown));
        QCOMPARE(lines(), before);
    }

    // While it runs the window is busy as for a listing, and Esc stops it.
    void compareIsBusyAndStops()
    {
        const QString tree = makeTree(u"stopped"_qs);
        m_desktop.ChosenFile = catalogBefore(tree);
        comboPath()->setEditText(tree);
        bool compareEnabled = true;
        bool openEnabled = true;
        QTimer::singleShot(0, m_window.get(), [&] {
            compareEnabled = action("actionCompareWithCatalog")->isEnabled();
            openEnabled = action("actionOpenCatalog")->isEnabled();
            key(Qt::Key_Escape);
        });
        action("actionCompareWithCatalog")->trigger();
        QVERIFY(!compareEnabled);
        QVERIFY(!openEnabled);
        QCOMPARE(lines().value(lines().size() - 1), u":: Stopped!"_qs);
        QVERIFY(action("actionCompareWithCatalog")->isEnabled());
    }

    // Cancelling the file dialog changes nothing.
    void cancelledChoiceKeepsTheLocation()
    {
        comboPath()->setEditText(u"/before"_qs);
        m_desktop.ChosenFile.reset();
        action("actionOpenCatalog")->trigger();
        action("actionCompareWithCatalog")->trigger();
        QCOMPARE(comboPath()->currentText(), u"/before"_qs);
        QVERIFY(lines().isEmpty());
        QVERIFY(m_desktop.TakeWarning().isEmpty());
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestCatalogCommands test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_catalog_commands.moc"
