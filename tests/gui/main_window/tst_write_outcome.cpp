#include "core/listing/result_text.h"
#include "core/output/text_file_writer.h"
#include "gui/main_window/write_outcome.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dirka;

Q_DECLARE_METATYPE(TWriteOutcome)

// Every write the window starts ends in one of four ways; these rows pin which.
class TestWriteOutcome : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void saveAs_data()
    {
        QTest::addColumn<QString>("name"); // below a temporary folder
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("beep");
        QTest::newRow("written") << "a.txt" << SaveCodeUtf8Bom << "" << false;
        QTest::newRow("hidden encoding") << "a.txt" << 3 << "" << true;
        QTest::newRow("missing folder") << "no/a.txt" << SaveCodeUtf8
                                        << "Error #4021. Problem during saving file.\r\n<dir>/no/"
                                           "a.txt: No such file or directory"
                                        << false;
    }
    void saveAs()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        QFETCH(QString, error);
        QFETCH(bool, beep);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        TResultText result;
        result.AppendLine(u"x");
        const TWriteOutcome outcome = SaveAsOutcome(target, result, code);
        QCOMPARE(outcome.ErrorText, QString(error).replace(QStringLiteral("<dir>"), dir.path()));
        QCOMPARE(outcome.Beep, beep);
        QVERIFY(outcome.WarningText.isEmpty());
        QCOMPARE(QFile::exists(target), error.isEmpty() && !beep);
    }

    void playlistAndSettings_data()
    {
        QTest::addColumn<TWriteOutcome>("outcome");
        QTest::addColumn<TWriteOutcome>("expected");
        TM3u8Export failed;
        failed.ErrorText = QStringLiteral("Error #4023/10. Problem during M3U8 export.\r\nfull");
        failed.LeftOut = {QStringLiteral("a\nb")};
        TM3u8Export leftOut;
        leftOut.LeftOut = {QStringLiteral("a\nb"), QStringLiteral("c\rd")};
        QTest::newRow("playlist written") << PlaylistOutcome(TM3u8Export()) << TWriteOutcome();
        // A failure says only what failed, not what would have been left out.
        QTest::newRow("playlist failed")
            << PlaylistOutcome(failed) << TWriteOutcome::Error(failed.ErrorText);
        QTest::newRow("names left out")
            << PlaylistOutcome(leftOut)
            << TWriteOutcome::Warning(QStringLiteral(
                   "2 file(s) whose names hold a line break were left out of the playlist."));
        QTest::newRow("settings kept") << SettingsOutcome(TSaveResult()) << TWriteOutcome();
        QTest::newRow("settings not kept")
            << SettingsOutcome(TSaveResult{false, QStringLiteral("Disk full")})
            << TWriteOutcome::Warning(
                   QStringLiteral("The settings could not be saved.\r\nDisk full"));
    }
    void playlistAndSettings()
    {
        QFETCH(TWriteOutcome, outcome);
        QFETCH(TWriteOutcome, expected);
        QCOMPARE(outcome.ErrorText, expected.ErrorText);
        QCOMPARE(outcome.WarningText, expected.WarningText);
        QCOMPARE(outcome.Beep, expected.Beep);
    }
};

QTEST_GUILESS_MAIN(TestWriteOutcome)
#include "tst_write_outcome.moc"
