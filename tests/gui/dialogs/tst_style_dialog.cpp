#include "gui/dialogs/style_dialog.h"

#include "core/system/program_info.h"
#include "dialogs/dialog_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace dirka;
using namespace testsupport;

// Styles are designated initializers naming only what a case is about.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

class TestStyleDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        // A program folder of its own: two files, one in a subfolder, and a hidden one.
        const QDir dir(m_program.path());
        QVERIFY(dir.mkdir(QStringLiteral("sub")));
        for (const char* name : {"a.txt", "sub/b.txt", ".hidden"}) {
            QFile file(dir.filePath(QLatin1StringView(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("abc");
        }
        TInfo info;
        info.ProgramFolder = m_program.path() + u'/';
        ReplaceInfo(info);
    }
    void cleanup() { m_dialog.hide(); }

    void opening_data()
    {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("preview");
        QTest::newRow("List - rich, indent")
            << 3 << "Preview - List - rich, indent"
            << QStringList{"{L}", "<DIR>\tsub", ".000 MB\ta.txt",   ":: Files: 1 (.000 MB)",
                           "",    "\t{L}sub/",  "\t.000 MB\tb.txt", "\t:: Files: 1 (.000 MB)"};
        QTest::newRow("custom") << 10 << "Customize" << QStringList();
        QTest::newRow("out of range") << 11 << "Customize" << QStringList();
    }
    void opening()
    {
        QFETCH(int, preset);
        QFETCH(QString, caption);
        QFETCH(QStringList, preview);
        m_dialog.SetStyle({.Preset = preset, .Mode = 1, .File = 7, .IsHeader = false, .Header = 2});
        showAndWait(!preview.isEmpty());
        QCOMPARE(child<QListWidget>(&m_dialog, "listBoxStyle")->currentRow(), qMin(preset, 10));
        QCOMPARE(child<QGroupBox>(&m_dialog, "groupTitle")->title(), caption);
        QCOMPARE(child<QPushButton>(&m_dialog, "btnCustomizePreview")->text(),
                 preview.isEmpty() ? "Pr&eview" : "Customiz&e");
        QCOMPARE(child<QStackedWidget>(&m_dialog, "pageControl")->currentWidget()->objectName(),
                 preview.isEmpty() ? "tabCustom" : "tabPreview");
        // The header is the user's whatever the style; a custom view shows the stored values.
        QVERIFY(!child<QCheckBox>(&m_dialog, "checkHeader")->isChecked());
        QVERIFY(!child(&m_dialog, "comboHeader")->isEnabled());
        QCOMPARE(child<QComboBox>(&m_dialog, "comboHeader")->currentIndex(), 2);
        QCOMPARE(child<QRadioButton>(&m_dialog, "radioTree")->isChecked(), preview.isEmpty());
        if (!preview.isEmpty())
            QCOMPARE(previewLines(), preview);
    }

    void customizeTreeRich()
    {
        m_dialog.SetStyle({});
        showAndWait(true);
        selectAndWait(5);
        auto* toggle = child<QPushButton>(&m_dialog, "btnCustomizePreview");
        toggle->click();
        QCOMPARE(child<QListWidget>(&m_dialog, "listBoxStyle")->currentRow(), 10);
        QVERIFY(child<QRadioButton>(&m_dialog, "radioTree")->isChecked());
        QCOMPARE(child<QComboBox>(&m_dialog, "comboBase")->currentIndex(), 8);
        QCOMPARE(child<QComboBox>(&m_dialog, "comboFile")->currentIndex(), 3);
        QVERIFY(!child(&m_dialog, "comboFolder")->isEnabled());
        child<QRadioButton>(&m_dialog, "radioIndentSpace")->click();
        QVERIFY(child(&m_dialog, "spinIndentSpace")->isEnabled());
        child<QComboBox>(&m_dialog, "comboFile")->setCurrentIndex(1);

        QSignalSpy built(&m_dialog, &TStyleDialog::PreviewBuilt);
        toggle->click();
        QVERIFY(built.wait());
        QCOMPARE(child<QGroupBox>(&m_dialog, "groupTitle")->title(), QStringLiteral("Preview"));
        QCOMPARE(previewLines(),
                 QStringList({"<DIR>\t/", "a.txt", ":: Files: 1 (.000 MB)", "", "<DIR>\t/sub/",
                              "   b.txt", "   :: Files: 1 (.000 MB)"}));
    }

    void okStoresStyle_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("header");
        QTest::newRow("Custom after Tree - rich") << 10 << true;
        QTest::newRow("Tree - rich, header off") << 5 << false;
    }
    void okStoresStyle()
    {
        QFETCH(int, row);
        QFETCH(bool, header);
        QTimer::singleShot(0, &m_dialog, [this, row, header] {
            selectAndWait(5);
            child<QListWidget>(&m_dialog, "listBoxStyle")->setCurrentRow(row);
            child<QCheckBox>(&m_dialog, "checkHeader")->setChecked(header);
            QCOMPARE(child(&m_dialog, "comboHeader")->isEnabled(), header);
            child<QPushButton>(&m_dialog, "btnOK")->click();
        });
        TListStyle expected = ListStylePresets()[5];
        expected.Preset = row;
        expected.Name.clear();
        expected.IsHeader = header;
        expected.Header = 2;
        QCOMPARE(m_dialog.Edit({.IsHeader = true, .Header = 2}), std::optional(expected));
    }

    void lastOfQuickChoicesWins()
    {
        m_dialog.SetStyle({});
        showAndWait(true);
        QSignalSpy built(&m_dialog, &TStyleDialog::PreviewBuilt);
        child<QListWidget>(&m_dialog, "listBoxStyle")->setCurrentRow(1);
        child<QListWidget>(&m_dialog, "listBoxStyle")->setCurrentRow(8);
        QVERIFY(built.wait());
        QCOMPARE(previewLines(), QStringList({"{L}", "{L}sub/"}));
        QTest::qWait(20);
        QCOMPARE(built.count(), 1);
        QCOMPARE(m_dialog.property("helpContext").toInt(), 6);
    }

private:
    void showAndWait(bool preview)
    {
        QSignalSpy built(&m_dialog, &TStyleDialog::PreviewBuilt);
        m_dialog.show();
        QVERIFY(!preview || built.wait());
    }
    void selectAndWait(int row)
    {
        QSignalSpy built(&m_dialog, &TStyleDialog::PreviewBuilt);
        child<QListWidget>(&m_dialog, "listBoxStyle")->setCurrentRow(row);
        QVERIFY(built.wait());
    }
    // The preview's lines, the listed folder written as "{L}".
    QStringList previewLines()
    {
        QString text = child<QPlainTextEdit>(&m_dialog, "memoPreview")->toPlainText();
        return text.replace(Info().ProgramFolder, QStringLiteral("{L}")).split(u'\n');
    }

    QTemporaryDir m_program;
    TStyleDialog m_dialog{nullptr};
};

QTEST_MAIN(TestStyleDialog)
#include "tst_style_dialog.moc"
