#include "core/system/program_info.h"
#include "core/system/web_addresses.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace dirka;
using namespace testsupport;

class TestProgramInfo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void localeNumbers_data()
    {
        QTest::addColumn<int>("localeId");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("query");
        QTest::newRow("1045 Polish") << 1045 << "pl"
                                     << "&ver=2.1.0.37&lng=0415";
        QTest::newRow("1033 English") << 1033 << "us"
                                      << "&ver=2.1.0.37&lng=0409";
        QTest::newRow("1031 German") << 1031 << "us"
                                     << "&ver=2.1.0.37&lng=0407";
    }
    void localeNumbers()
    {
        QFETCH(int, localeId);
        QFETCH(QString, language);
        QFETCH(QString, query);
        QCOMPARE(LanguageCodeOf(localeId), language);
        QCOMPARE(WebQueryOf(u"2.1.0.37", localeId), query);
    }

    void localeIdOf_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("localeId");
        QTest::newRow("pl_PL") << "pl_PL" << 0x0415;
        QTest::newRow("en_US") << "en_US" << 0x0409;
        QTest::newRow("de_DE") << "de_DE" << 0x0407;
        QTest::newRow("de_AT") << "de_AT" << 0x0C07;
        QTest::newRow("en_GB") << "en_GB" << 0x0809;
        QTest::newRow("de_BE, language only") << "de_BE" << 0x0407;
        QTest::newRow("C") << "C" << 0x0409;
        QTest::newRow("sw_KE, unknown") << "sw_KE" << 0x0409;
    }
    void localeIdOf()
    {
        QFETCH(QString, name);
        QFETCH(int, localeId);
        QCOMPARE(int(LocaleIdOf(QLocale(name))), localeId);
    }

    void kernelVersionText_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected");
        QTest::newRow("debian") << "linux"
                                << "6.1.0-18-amd64"
                                << "Linux 6.1.0";
        QTest::newRow("plain") << "darwin"
                               << "23.1.0"
                               << "Darwin 23.1.0";
        QTest::newRow("rc") << "linux"
                            << "6.8.0.-rc1"
                            << "Linux 6.8.0";
        QTest::newRow("no number") << "linux"
                                   << "odd"
                                   << "Linux odd";
    }
    void kernelVersionText()
    {
        QFETCH(QString, type);
        QFETCH(QString, version);
        QFETCH(QString, expected);
        QCOMPARE(KernelVersionText(type, version), expected);
    }

    void collectInfo()
    {
        TTempTree home;
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home.bytes().chopped(1));
        qputenv("XDG_CONFIG_HOME", home.bytes(".config"));
        QVERIFY(home.makeFile(".config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Pulpit\"\n"
                                                        "XDG_DOCUMENTS_DIR=\"$HOME/Dokumenty\"\n"));
        const TLocaleScope polish(QStringLiteral("pl_PL"));

        CollectInfo();
        const TInfo& info = Info();
        QCOMPARE(info.DesktopFolder, home.path("Pulpit/"));
        QCOMPARE(info.PersonalFolder, home.path("Dokumenty/"));
        QCOMPARE(info.ProgramFilesFolder, QStringLiteral("/usr/bin/"));
        // The test executables have no help/ beside them: the installed layout's rule applies.
        const QString testFolder = QCoreApplication::applicationDirPath() + u'/';
        QCOMPARE(info.ProgramFolder, ProgramFolderOf(testFolder));
        QVERIFY(info.ProgramFolder.endsWith(u"/share/dirka/"));
        QCOMPARE(info.FileSize, QFileInfo(QCoreApplication::applicationFilePath()).size());
        QVERIFY2(QRegularExpression(QStringLiteral("^Linux \\d+(\\.\\d+)*$"))
                     .match(info.WindowsVersion)
                     .hasMatch(),
                 qPrintable(info.WindowsVersion));
        QCOMPARE(info.VersionInfo.FileVersion, QStringLiteral("2.1.0.37"));
        QCOMPARE(int(info.LocaleId), 0x0415);
        QCOMPARE(info.LanguageCode, QStringLiteral("pl"));
        QCOMPARE(info.WebQuery, QStringLiteral("&ver=2.1.0.37&lng=0415"));

        const TLocaleScope german(QStringLiteral("de_DE"));
        CollectInfo(); // a second call gathers everything anew
        QCOMPARE(Info().LanguageCode, QStringLiteral("us"));
        QCOMPARE(Info().WebQuery, QStringLiteral("&ver=2.1.0.37&lng=0407"));

        qputenv("HOME", oldHome);
        oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    void programFolder()
    {
        TTempTree tree;
        QVERIFY(tree.makeFolder("build/bin/help") && tree.makeFolder("usr/bin") &&
                tree.makeFolder("usr/share/dirka/help") && tree.makeFile("odd/bin/help", "") &&
                tree.makeFolder("\xFF/bin/help"));
        // help/ beside the executable: the build tree or a portable copy.
        QCOMPARE(ProgramFolderOf(tree.path("build/bin/")), tree.path("build/bin/"));
        // installed: bin/dirka reads ../share/dirka/, written without "..".
        QCOMPARE(ProgramFolderOf(tree.path("usr/bin/")), tree.path("usr/share/dirka/"));
        // a file named help is not the help folder.
        QCOMPARE(ProgramFolderOf(tree.path("odd/bin/")), tree.path("odd/share/dirka/"));
        // a folder name that is not UTF-8 still finds its help/.
        const QString odd = DecodeFileName(tree.bytes("\xFF/bin/"));
        QCOMPARE(ProgramFolderOf(odd), odd);
        QCOMPARE(ProgramFolderOf(QStringLiteral("/")), QStringLiteral("/share/dirka/"));
        QCOMPARE(ProgramFolderOf(QString()), QString());
    }

    void webAddresses()
    {
        TInfo info;
        info.WebQuery = QStringLiteral("&ver=2.1.0.37&lng=0415");
        info.LanguageCode = QStringLiteral("pl");
        qunsetenv("DIRKA_SITE_ROOT");
        const QString root = QStringLiteral("https://www.pelmora.example/");
        QCOMPARE(SiteRoot(), root);
        QCOMPARE(ProductPageAddress(TWebAction::Help, info),
                 QString(root + u"dirka/?act=help&ver=2.1.0.37&lng=0415"));
        QCOMPARE(ProductPageAddress(TWebAction::Version, info),
                 QString(root + u"dirka/?act=version&ver=2.1.0.37&lng=0415"));
        QCOMPARE(ProductPageAddress(TWebAction::Support, info),
                 QString(root + u"dirka/?act=support&ver=2.1.0.37&lng=0415"));
        QCOMPARE(ProductPageAddress(TWebAction::Website, info),
                 QString(root + u"dirka/?act=website&ver=2.1.0.37&lng=0415"));
        QCOMPARE(MakerPageAddress(), root);
        QCOMPARE(ExportGeneratorAddress(), root);
        QCOMPARE(ExportFooterAddress(info), QString(root + u"pl_Dirka.html"));

        qputenv("DIRKA_SITE_ROOT", "http://127.0.0.1:8123/site");
        QCOMPARE(SiteRoot(), QStringLiteral("http://127.0.0.1:8123/site/"));
        QCOMPARE(BugReportAddress(u"p=Dirka&v=2.1"),
                 QStringLiteral("http://127.0.0.1:8123/site/cgi/send_bug.cgi?p=Dirka&v=2.1"));
        qputenv("DIRKA_SITE_ROOT", "http://127.0.0.1:8123/");
        QCOMPARE(MakerPageAddress(), QStringLiteral("http://127.0.0.1:8123/"));
        qunsetenv("DIRKA_SITE_ROOT");
    }
};

QTEST_GUILESS_MAIN(TestProgramInfo)
#include "tst_program_info.moc"
