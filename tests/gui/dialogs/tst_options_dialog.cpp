#include "gui/dialogs/mask_dialog.h"
#include "gui/dialogs/options_dialog.h"

#include "core/system/program_info.h"
#include "dialogs/dialog_test_support.h"
#include "fake_desktop.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace dirka;
using namespace testsupport;

class TestOptionsDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_desktop.isValid());
        TInfo info;
        info.DesktopFolder = m_desktop.path() + u'/'; // the documents folder stays unknown
        ReplaceInfo(info);
    }

    void maskDialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<bool>("okEnabled");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown"); // after OK
        QTest::newRow("empty") << ""
                               << "(0 chars)" << false << ""
                               << "";
        QTest::newRow("two stars") << "*.tar.*"
                                   << "(7 chars)" << true << ""
                                   << "*.tar.*";
        QTest::newRow("trimmed") << "  *.txt  "
                                 << "(9 chars)" << true << ""
                                 << "*.txt";
        QTest::newRow("three stars")
            << "*a*b*"
            << "(5 chars)" << true << "Warning: Too many asterisk characters (*)."
            << "*a*b*";
        QTest::newRow("question mark first")
            << "a?b|c"
            << "(5 chars)" << true << "Warning: Don't use question mark character (?)."
            << "a?b|c";
        QTest::newRow("pipe") << "a|b"
                              << "(3 chars)" << true << "Warning: Don't use pipe character (|)."
                              << "a|b";
        // Blanks alone would leave an empty mask: the dialog stays open with OK disabled.
        QTest::newRow("blanks only") << "   "
                                     << "(3 chars)" << true << ""
                                     << "";
    }
    void maskDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, counter);
        QFETCH(bool, okEnabled);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        TFakeDesktop desktop;
        TMaskDialog dialog(desktop);
        dialog.SetText(QStringLiteral("old"));
        dialog.show();
        QCOMPARE(child<QLabel>(&dialog, "labelChars")->text(), QStringLiteral("(3 chars)"));
        child<QLineEdit>(&dialog, "ed")->setText(typed);
        QCOMPARE(child<QLabel>(&dialog, "labelChars")->text(), counter);
        auto* ok = child<QPushButton>(&dialog, "btnOK");
        QCOMPARE(ok->isEnabled(), okEnabled);
        ok->click();
        QCOMPARE(desktop.TakeWarning(), message);
        QCOMPARE(dialog.Text(), shown);
        const bool accepted = message.isEmpty() && !shown.isEmpty();
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(ok->isEnabled(), !shown.isEmpty());
    }

    // Reached by its accelerator, the mask list selects its current row: Edit and Del work.
    void maskListSelectsARowOnFocus()
    {
        TFakeDesktop desktop;
        TOptionsDialog options(desktop, nullptr);
        TSettings settings;
        settings.Filter = 3;
        options.SetSettings(settings);
        options.show();
        QApplication::setActiveWindow(&options);
        QVERIFY(QTest::qWaitForWindowActive(&options));
        auto* list = child<QListWidget>(&options, "lbFilter");
        QVERIFY(list->count() > 0);
        QVERIFY(!child(&options, "btnFilterEdit")->isEnabled());
        QTest::keyClick(options.windowHandle(), Qt::Key_F, Qt::AltModifier);
        QVERIFY(list->hasFocus());
        QCOMPARE(list->selectedItems().size(), 1);
        QVERIFY(child(&options, "btnFilterEdit")->isEnabled());
        QVERIFY(child(&options, "btnFilterDel")->isEnabled());
    }

    void separatorEntryStaysSeparator()
    {
        int helpRuns = 0;
        TFakeDesktop desktop;
        TOptionsDialog options(desktop, [&helpRuns] { ++helpRuns; });
        QCOMPARE(options.property("helpContext").toInt(), 7);
        child<QPushButton>(&options, "sbtnHelp")->click();
        QCOMPARE(helpRuns, 1);
        TSettings settings;
        settings.Filter = 5;
        options.SetSettings(settings);
        options.show();
        QCOMPARE(child<QListWidget>(&options, "lbFilter")->count(), 0);
        for (const char* name : {"lbFilter", "labelFilter", "btnFilterAdd", "btnFilterEdit",
                                 "btnFilterDel", "btnFilterDef"})
            QVERIFY2(!child(&options, name)->isEnabled(), name);
        child<QPushButton>(&options, "btnOK")->click();
        QCOMPARE(options.result(), int(QDialog::Accepted));
        QCOMPARE(options.Settings().FilterMask[5], QStringLiteral("|"));
    }

    void addEditAndDefaults()
    {
        TFakeDesktop desktop;
        TOptionsDialog options(desktop, nullptr);
        TSettings settings;
        settings.FilterMask[1] = QStringLiteral("a|");
        settings.FilterMask[13] = QStringLiteral("*.c|");
        options.SetSettings(settings);
        options.show();
        auto* combo = child<QComboBox>(&options, "comboFilter");
        QCOMPARE(combo->count(), 21);
        combo->setCurrentIndex(17);
        QString askedWith;
        clickAndAnswer(child<QPushButton>(&options, "btnFilterAdd"), [&askedWith](QWidget* modal) {
            askedWith = child<QLabel>(modal, "lab")->text();
            child<QLineEdit>(modal, "ed")->setText(QStringLiteral("*.txt"));
            child<QPushButton>(modal, "btnOK")->click();
        });
        QCOMPARE(askedWith, QStringLiteral("List only &files"));
        QCOMPARE(options.Settings().FilterMask[17], QStringLiteral("*.txt|"));
        child<QListWidget>(&options, "lbFilter")->setCurrentRow(0);
        clickAndTypeMask(child<QPushButton>(&options, "btnFilterEdit"), QStringLiteral(" *.md "));
        QCOMPARE(options.Settings().FilterMask[17], QStringLiteral("*.md|"));

        combo->setCurrentIndex(1);
        QCOMPARE(child<QLabel>(&options, "labelFilter")->text(), QStringLiteral("Skip &files"));
        child<QPushButton>(&options, "btnFilterDef")->click();
        QCOMPARE(child<QListWidget>(&options, "lbFilter")->count(), 4);
        QCOMPARE(options.Settings().FilterMask[1], QStringLiteral("Thumbs.db|*.bak|*.lnk|*.~*"));
        QCOMPARE(options.Settings().FilterMask[13], QStringLiteral("*.c|"));
        QCOMPARE(options.Settings().FilterMask[17], QStringLiteral("*.md|"));
    }

    void deleteRow_data()
    {
        QTest::addColumn<QString>("maskText");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("selected");
        QTest::newRow("only row") << "*.a|" << 0 << "" << -1;
        QTest::newRow("last row") << "*.a|*.b|*.c|" << 2 << "*.a|*.b|" << 1;
        QTest::newRow("first row") << "*.a|*.b|" << 0 << "*.b|" << 0;
    }
    void deleteRow()
    {
        QFETCH(QString, maskText);
        QFETCH(int, row);
        QFETCH(QString, left);
        QFETCH(int, selected);
        TFakeDesktop desktop;
        TOptionsDialog options(desktop, nullptr);
        TSettings settings;
        settings.Filter = 18;
        settings.FilterMask[18] = maskText;
        options.SetSettings(settings);
        options.show();
        auto* list = child<QListWidget>(&options, "lbFilter");
        QVERIFY(!child(&options, "btnFilterDel")->isEnabled());
        list->setCurrentRow(row);
        child<QPushButton>(&options, "btnFilterDel")->click();
        QCOMPARE(options.Settings().FilterMask[18], left);
        const QList<QListWidgetItem*> rows = list->selectedItems();
        QCOMPARE(rows.isEmpty() ? -1 : list->row(rows.first()), selected);
        QCOMPARE(child(&options, "btnFilterDel")->isEnabled(), selected >= 0);
        QCOMPARE(child(&options, "btnFilterEdit")->isEnabled(), selected >= 0);
    }

    void cancelDiscardsMaskEdits()
    {
        TFakeDesktop desktop;
        TOptionsDialog options(desktop, nullptr);
        TSettings settings;
        settings.Filter = 17;
        QTimer::singleShot(0, &options, [&options] {
            clickAndTypeMask(child<QPushButton>(&options, "btnFilterAdd"), QStringLiteral("*.x"));
            QCOMPARE(options.Settings().FilterMask[17], QStringLiteral("*.x|"));
            child<QPushButton>(&options, "btnCancel")->click();
        });
        QVERIFY(!options.Edit(settings));
        QTimer::singleShot(0, &options,
                           [&options] { child<QPushButton>(&options, "btnOK")->click(); });
        QCOMPARE(options.Edit(settings), std::optional<TSettings>(settings));
    }

    void locationChecks()
    {
        TFakeDesktop desktop;
        TOptionsDialog options(desktop, nullptr);
        options.SetSettings(TSettings());
        options.show();
        auto* pathList = child<QComboBox>(&options, "comboPathList");
        auto* pathSave = child<QComboBox>(&options, "comboPathSave");
        auto* ok = child<QPushButton>(&options, "btnOK");
        const QString refused = QStringLiteral("Warning: Specified location doesn't exists.");
        pathList->setEditText(QStringLiteral("/no/such"));
        ok->click();
        QCOMPARE(desktop.TakeWarning(), refused);
        QCOMPARE(options.focusWidget(), pathList);
        pathList->setEditText(QStringLiteral("  <Desktop> | <My Documents>"));
        pathSave->setEditText(QString());
        ok->click();
        QCOMPARE(desktop.TakeWarning(), refused);
        QCOMPARE(options.focusWidget(), pathSave);
        pathSave->setEditText(QStringLiteral("<Desktop>  "));
        ok->click();
        QCOMPARE(desktop.TakeWarning(), QString());
        QCOMPARE(options.result(), int(QDialog::Accepted));
        QCOMPARE(options.Settings().PathList, QStringLiteral("<Desktop> | <My Documents>"));
        QCOMPARE(options.Settings().PathSave, QStringLiteral("<Desktop>"));
    }

    void resetAndReadBack()
    {
        TFakeDesktop desktop;
        TOptionsDialog options(desktop, nullptr);
        TSettings settings;
        settings.IsMaxDepth = true;
        settings.MaxDepth = 3;
        settings.IsClear = false;
        settings.PathList = QStringLiteral("/tmp");
        settings.Filter = 13;
        settings.FilterMask[13] = QStringLiteral("*.c|");
        options.SetSettings(settings);
        options.show();
        child<QPushButton>(&options, "btnReset")->click();
        QVERIFY(options.isVisible());
        QVERIFY(!child(&options, "spinMaxDepth")->isEnabled());
        QCOMPARE(child<QComboBox>(&options, "comboFilter")->currentIndex(), 0);
        child<QCheckBox>(&options, "cbMaxDepth")->click();
        QVERIFY(child(&options, "spinMaxDepth")->isEnabled());
        // Text that is no number counts as the smallest depth.
        child<QSpinBox>(&options, "spinMaxDepth")->findChild<QLineEdit*>()->setText(QString());
        child<QPushButton>(&options, "btnOK")->click();
        TSettings expected;
        expected.IsMaxDepth = true;
        expected.MaxDepth = 1;
        expected.FilterMask[13] = QStringLiteral("*.c|");
        QCOMPARE(options.Settings(), expected);
    }

private:
    QTemporaryDir m_desktop;
};

QTEST_MAIN(TestOptionsDialog)
#include "tst_options_dialog.moc"
