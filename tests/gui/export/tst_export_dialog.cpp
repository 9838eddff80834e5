#include "core/system/program_info.h"
#include "gui/desktop/desktop.h"
#include "gui/export/export_dialog.h"
#include "gui/export/page_preview.h"
#include "gui/export/progress_dialog.h"
#include "gui/widgets/save_dialog.h"

#include "test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace dirka;
using namespace testsupport;

namespace {

// One location, /music/: its line, a folder, two files and lines without an item.
void fillOneLocation(TResultText& result)
{
    addLine(result, u":: /music/", u"/music/");
    addLine(result, u"    Rock/", u"/music/Rock/");
    addLine(result, u"        a b.mp3", u"/music/Rock/a b.mp3");
    addLine(result, u"        c&d.txt", u"/music/Rock/c&d.txt");
    addLine(result, u"");
    addLine(result, u"Files: 2");
}

} // namespace

class TestExportDialog : public QObject {
    Q_OBJECT

private:
    TTempTree m_tree;
    TResultText m_result;
    QStringList m_calls; // what the dialog asked of the program
    std::unique_ptr<THtmlExportDialog> m_dialog;

    template <typename T> T* find(const char* name) const
    {
        T* found = m_dialog->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    // Opens the dialog on the result; answers whether the build at opening wrote the file.
    bool open(const QString& listedLocation, const QString& file = QString())
    {
        QSignalSpy built(m_dialog.get(), &THtmlExportDialog::Generated);
        m_dialog->Prepare(file.isEmpty() ? target() : file, m_result, listedLocation);
        m_dialog->show();
        return built.wait(5000) && built.first().first().toBool();
    }
    bool generate()
    {
        QSignalSpy built(m_dialog.get(), &THtmlExportDialog::Generated);
        find<QPushButton>("btnGenerate")->click();
        return built.size() == 1 && built.first().first().toBool();
    }
    QString target() const { return m_tree.path("list.html"); }

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("DIRKA_SITE_ROOT");
        TInfo info;
        info.VersionInfo.FileVersion = QStringLiteral("2.1.0.37");
        info.LanguageCode = QStringLiteral("us");
        ReplaceInfo(info);
        QVERIFY(m_tree.isValid());
    }
    void init()
    {
        m_result.Clear();
        fillOneLocation(m_result);
        m_calls.clear();
        m_dialog = std::make_unique<THtmlExportDialog>(TExportDialogHooks{
            [this](QWidget*, const QString& text) { m_calls << u"error " + text; },
            [this](const QString& target) { m_calls << u"open " + target; },
            [this] { m_calls << QStringLiteral("help"); }});
        QFile::remove(target());
    }
    void cleanup() { m_dialog.reset(); }

    void hasItsCaptionSizeAndPrefixes()
    {
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Dirka - Export to HTML Web Page"));
        QCOMPARE(m_dialog->size(), QSize(620, 620));
        QCOMPARE(m_dialog->property("helpContext").toInt(), 8);
        const QComboBox* prefix = find<QComboBox>("comboPrefix");
        QStringList items;
        for (int i = 0; i < prefix->count(); ++i)
            items << prefix->itemText(i);
        QCOMPARE(items,
                 (QStringList{"", "/", "http://www.pelmora.example/", "http://", "file:///"}));
        QCOMPARE(prefix->currentText(), QString());
        QVERIFY(!find<QCheckBox>("checkLinkFolders")->isChecked());
    }

    void opensOnOneOrSeveralLocations_data()
    {
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<QString>("example");
        QTest::addColumn<QByteArray>("link");
        QTest::newRow("one") << "/music/" << true << "Rock/a%20b.mp3"
                             << QByteArray("        <a href=\"Rock/a%20b.mp3\">a b.mp3</a>\r\n");
        QTest::newRow("two") << "" << false << "file:///music/Rock/a%20b.mp3"
                             << QByteArray("        <a href=\"file:///music/Rock/c&amp;d.txt\">"
                                           "c&amp;d.txt</a>\r\n");
    }
    void opensOnOneOrSeveralLocations()
    {
        QFETCH(QString, listed);
        QFETCH(bool, relative);
        QFETCH(QString, example);
        QFETCH(QByteArray, link);
        QVERIFY(open(listed));
        QCOMPARE(find<QRadioButton>("radioRelative")->isEnabled(), relative);
        QCOMPARE(find<QRadioButton>("radioRelative")->isChecked(), relative);
        QCOMPARE(find<QRadioButton>("radioFull")->isChecked(), !relative);
        QCOMPARE(find<QLabel>("labelListOneLocation")->isVisible(), !relative);
        QCOMPARE(find<QLabel>("labelListOneLocation")->text(),
                 QStringLiteral("To enable Relative Path, list one location only."));
        QCOMPARE(find<QComboBox>("comboPrefix")->isEnabled(), relative);
        QCOMPARE(m_dialog->ExampleText(), example);
        QVERIFY(!find<QPushButton>("btnGenerate")->isEnabled());
        QCOMPARE(find<QTabWidget>("pcPages")->currentIndex(), 0);
        const QByteArray page = readAll(target());
        QVERIFY2(page.contains(link), page.constData());
        QVERIFY(page.contains("\r\n    Rock/\r\n")); // Link Folders off
        QVERIFY(m_calls.isEmpty());
    }

    void showsTheExampleAddress_data()
    {
        QTest::addColumn<bool>("withFiles");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("example");
        QTest::newRow("empty prefix") << true << true << ""
                                      << "Rock/a%20b.mp3";
        QTest::newRow("slash") << true << true << "/"
                               << "/Rock/a%20b.mp3";
        QTest::newRow("server") << true << true << "http://www.pelmora.example/"
                                << "http://www.pelmora.example/Rock/a%20b.mp3";
        QTest::newRow("file prefix") << true << true << "file:///"
                                     << "file:///Rock/a%20b.mp3";
        QTest::newRow("typed") << true << true << "~/x y/"
                               << "~/x y/Rock/a%20b.mp3";
        QTest::newRow("full") << true << false << "/"
                              << "file:///music/Rock/a%20b.mp3";
        QTest::newRow("no file, relative") << false << true << "/x/"
                                           << "/x/";
        QTest::newRow("no file, full") << false << false << "/x/"
                                       << "file:///";
    }
    void showsTheExampleAddress()
    {
        QFETCH(bool, withFiles);
        QFETCH(bool, relative);
        QFETCH(QString, prefix);
        QFETCH(QString, example);
        if (!withFiles) {
            m_result.Clear();
            addLine(m_result, u":: /music/", u"/music/");
            addLine(m_result, u"    Rock/", u"/music/Rock/");
        }
        QVERIFY(open(QStringLiteral("/music/")));
        find<QComboBox>("comboPrefix")->setEditText(prefix);
        find<QRadioButton>(relative ? "radioRelative" : "radioFull")->click();
        QCOMPARE(m_dialog->ExampleText(), example);
        QCOMPARE(find<QLineEdit>("edExample")->cursorPosition(), 0);
        QVERIFY(find<QPushButton>("btnGenerate")->isEnabled());
    }

    // Each option change allows one more build, which rewrites the file.
    void generatesAgainAfterAChange()
    {
        QVERIFY(open(QStringLiteral("/music/")));
        find<QComboBox>("comboPrefix")->setCurrentIndex(3);
        QVERIFY(find<QPushButton>("btnGenerate")->isEnabled());
        QVERIFY(generate());
        QVERIFY(!find<QPushButton>("btnGenerate")->isEnabled());
        QVERIFY(readAll(target()).contains("<a href=\"http://Rock/a%20b.mp3\">a b.mp3</a>"));

        find<QCheckBox>("checkLinkFolders")->click();
        QVERIFY(generate());
        QVERIFY(readAll(target()).contains("    <a href=\"http://Rock/\">Rock/</a>\r\n"));
        QVERIFY(readAll(target()).contains(":: <a href=\"http://\">/music/</a>\r\n"));

        // Unticking is a change too: the page on disk still links its folders.
        find<QCheckBox>("checkLinkFolders")->click();
        QVERIFY(find<QPushButton>("btnGenerate")->isEnabled());
        QVERIFY(generate());
        QVERIFY(readAll(target()).contains("    Rock/\r\n"));
    }

    // The preview shows the written file, the source view its text.
    void showsTheWrittenFile()
    {
        QVERIFY(open(QStringLiteral("/music/")));
        const auto* preview = find<TPagePreview>("wb");
        QCOMPARE(preview->source(), FileUrl(target()));
        QVERIFY(preview->toPlainText().contains(u"    Rock/\n        a b.mp3\n        c&d.txt\n"));
        QCOMPARE(preview->anchorAt(preview->cursorRect(preview->textCursor()).center()), QString());
        QCOMPARE(find<QPlainTextEdit>("memoSource")->toPlainText(),
                 QString::fromUtf8(readAll(target()))
                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QVERIFY(!find<QPushButton>("btnBack")->isEnabled());
    }

    void reportsAFailedWrite_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no such folder") << "none/list.html"
                                        << "none/list.html: ";
        QTest::newRow("a folder") << "folder"
                                  << "folder: ";
    }
    void reportsAFailedWrite()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QVERIFY(m_tree.makeFolder("folder"));
        QVERIFY(!open(QStringLiteral("/music/"), m_tree.path(file)));
        QCOMPARE(m_calls.size(), 1);
        const QString expected =
            u"error Error #4022/30. Problem during HTML export.\r\n" + m_tree.path(reason);
        QVERIFY2(m_calls.first().startsWith(expected), qPrintable(m_calls.first()));
        QVERIFY(m_dialog->isVisible());
        QVERIFY(!find<QPushButton>("btnGenerate")->isEnabled());
        QVERIFY(!find<TProgressDialog>("dlgProgress")->isVisible());
    }

    // The bar runs once over the build, the source view and the preview.
    void showsProgress()
    {
        m_result.Clear();
        for (int i = 0; i < 3000; ++i)
            addLine(m_result, u"f.txt", u"/music/f.txt");
        const auto* progress = find<TProgressDialog>("dlgProgress");
        QList<int> values;
        QString caption;
        connect(progress->ProgressBar(), &QProgressBar::valueChanged, this, [&](int value) {
            values << value;
            caption = progress->windowTitle();
        });
        QVERIFY(open(QStringLiteral("/music/")));
        QCOMPARE(progress->ProgressBar()->maximum(), 3000);
        QCOMPARE(values.mid(0, 3), (QList<int>{0, 102, 204}));
        QCOMPARE(values.last(), 3000);
        QVERIFY(std::is_sorted(values.begin(), values.end()));
        QCOMPARE(caption, QStringLiteral("Generating HTML"));
        QVERIFY(!progress->isVisible());
    }

    void followsLinksAndGoesBack()
    {
        QVERIFY(m_tree.makeFile("next.html", QByteArray("<html><body>next</body></html>")));
        QVERIFY(open(QStringLiteral("/music/")));
        auto* preview = find<TPagePreview>("wb");
        auto* back = find<QPushButton>("btnBack");
        Q_EMIT preview->anchorClicked(FileUrl(m_tree.path("next.html")));
        QCOMPARE(preview->toPlainText(), QStringLiteral("next"));
        QVERIFY(back->isEnabled());
        Q_EMIT preview->anchorClicked(QUrl(QStringLiteral("file:///music/Rock/a%20b.mp3")));
        QCOMPARE(m_calls, QStringList{QStringLiteral("open /music/Rock/a b.mp3")});
        back->click();
        QCOMPARE(preview->source(), FileUrl(target()));
        QVERIFY(!back->isEnabled());
    }

    // Esc during a build (the build lets events run) closes the dialog once the build is done.
    void closeDuringABuildWaitsForIt()
    {
        QVERIFY(open(QStringLiteral("/music/")));
        bool generatingAtEsc = false;
        QTimer::singleShot(0, m_dialog.get(), [this, &generatingAtEsc] {
            generatingAtEsc = !find<QPushButton>("btnOK")->isEnabled();
            m_dialog->reject();
        });
        QVERIFY(m_dialog->Generate());
        QVERIFY(generatingAtEsc);
        QVERIFY(m_dialog->isVisible()); // the page was written and shown first
        QTRY_VERIFY(!m_dialog->isVisible());
        QVERIFY(m_dialog->result() == QDialog::Rejected);
    }

    void answersItsKeys()
    {
        QVERIFY(open(QStringLiteral("/music/")));
        QTRY_VERIFY(m_dialog->isActiveWindow());
        auto* pages = find<QTabWidget>("pcPages");
        QTest::keyClick(m_dialog->windowHandle(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(pages->currentIndex(), 1);
        QTest::keyClick(m_dialog->windowHandle(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(pages->currentIndex(), 0);
        QTest::keyClick(m_dialog->windowHandle(), Qt::Key_Backtab,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(pages->currentIndex(), 1);

        auto* memo = find<QPlainTextEdit>("memoSource");
        memo->setFocus();
        QTest::keyClick(m_dialog->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(memo->textCursor().selectedText().size(), memo->document()->characterCount() - 1);

        QTest::keyClick(m_dialog->windowHandle(), Qt::Key_F11);
        QVERIFY(m_dialog->windowState() & Qt::WindowMaximized);
        QTest::keyClick(m_dialog->windowHandle(), Qt::Key_F11);
        QVERIFY(!(m_dialog->windowState() & Qt::WindowMaximized));

        find<QPushButton>("sbtnHelp")->click();
        QCOMPARE(m_calls, QStringList{QStringLiteral("help")});
        QCOMPARE(find<QPushButton>("sbtnHelp")->toolTip(), QStringLiteral("Help (F1)"));
    }

    // The link kind is chosen anew at each opening; the prefix and Link Folders stay.
    void keepsOptionsBetweenRuns()
    {
        QSignalSpy built(m_dialog.get(), &THtmlExportDialog::Generated);
        connect(m_dialog.get(), &THtmlExportDialog::Generated, m_dialog.get(), &QDialog::accept,
                Qt::QueuedConnection);
        QVERIFY(m_dialog->Run(target(), m_result, QString()));
        QCOMPARE(find<QPlainTextEdit>("memoSource")->toPlainText(), QString());
        find<QComboBox>("comboPrefix")->setEditText(QStringLiteral("/x/"));
        find<QCheckBox>("checkLinkFolders")->setChecked(true);
        QVERIFY(m_dialog->Run(target(), m_result, QStringLiteral("/music/")));
        QCOMPARE(built.size(), 2);
        QVERIFY(find<QRadioButton>("radioRelative")->isChecked());
        QCOMPARE(find<QComboBox>("comboPrefix")->currentText(), QStringLiteral("/x/"));
        QVERIFY(readAll(target()).contains("    <a href=\"/x/Rock/\">Rock/</a>\r\n"));
    }

    void makesTheSaveDialog()
    {
        QWidget parent;
        const TSaveDialog* dialog = CreateHtmlSaveDialog(&parent);
        QCOMPARE(dialog->objectName(), QStringLiteral("saveDialogHTML"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Export to HTML Web Page As"));
        QCOMPARE(dialog->nameFilters(), (QStringList{"HTML (*.html *.htm)", "All Files (*)"}));
        QCOMPARE(dialog->DefaultSuffix(), QStringLiteral("html"));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
    }
};

QTEST_MAIN(TestExportDialog)
#include "tst_export_dialog.moc"
