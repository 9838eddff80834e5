#include "gui/dialogs/about_dialog.h"

#include "core/system/program_info.h"
#include "dialogs/dialog_test_support.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace dirka;
using namespace testsupport;

class TestAboutDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clicks_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("opened");
        QTest::newRow("license") << "us"
                                 << "labelLicense"
                                 << "{P}help/us_License.html";
        QTest::newRow("no Polish license") << "pl"
                                           << "labelLicense"
                                           << "";
        QTest::newRow("no FAQ page") << "us"
                                     << "labelFAQ"
                                     << "";
        QTest::newRow("maker") << "us"
                               << "labelWebCompany"
                               << "https://maker.test/";
        QTest::newRow("program") << "pl"
                                 << "labelSlogan"
                                 << "https://maker.test/dirka/?act=website&ver=2.1.0.37&lng=0415";
    }
    void clicks()
    {
        QFETCH(QString, language);
        QFETCH(QString, label);
        QFETCH(QString, opened);
        qputenv("DIRKA_SITE_ROOT", "https://maker.test");
        QTemporaryDir program;
        QVERIFY(QDir(program.path()).mkdir(QStringLiteral("help")));
        QVERIFY(QFile(program.filePath(QStringLiteral("help/us_License.html")))
                    .open(QIODevice::WriteOnly));
        TInfo info;
        info.ProgramFolder = program.path() + u'/';
        info.VersionInfo.FileVersion = QStringLiteral("2.1.0.37");
        info.LanguageCode = language;
        info.WebQuery = QStringLiteral("&ver=2.1.0.37&lng=0415");
        ReplaceInfo(info);
        QStringList documents;
        TAboutDialog about([&documents](const QString& document) { documents.append(document); });
        QCOMPARE(child<QLabel>(&about, "labelVersion")->text(), "Version: 2.1 (2.1.0.37)");
        about.show();
        QTest::mouseClick(child(&about, qPrintable(label)), Qt::LeftButton);
        QCOMPARE(documents.join(u'\n'), opened.replace(QStringLiteral("{P}"), info.ProgramFolder));
    }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_about_dialog.moc"
