#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/output/m3u8_export.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QFile>
#include <QTest>

using namespace dirka;
using namespace testsupport;

namespace {

} // namespace

class TestM3u8Export : public QObject {
    Q_OBJECT
private Q_SLOTS:

    // Two files and a folder between header, summary and empty lines.
    void filesOnlyInResultOrder()
    {
        TResultText result;
        addLine(result, u":: Listing");
        addLine(result, u"");
        addLine(result, u":: /A/", u"/A/");
        addLine(result, u"x.mp3", u"/A/x.mp3");
        addLine(result, u"B/", u"/A/B/");
        addLine(result, u"\ty.flac", u"/A/B/y.flac");
        addLine(result, u"Files: 2");
        TTempTree dir;
        const QString target = dir.path("list.m3u8");
        QVERIFY(dir.makeFile("list.m3u8", QByteArray(400, '#')));
        const TM3u8Export exported = ExportToM3u8(target, result);
        QVERIFY(exported.Ok());
        QCOMPARE(exported.Entries, 2);
        QCOMPARE(readAll(target), QByteArray("/A/x.mp3\r\n/A/B/y.flac\r\n"));
    }

    void entryBytes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("non-ascii first")
            << u16(u"/m/za\u017C\u00F3\u0142\u0107.mp3")
            << QByteArray("/m/za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87.mp3\r\n");
        QTest::newRow("emoji as four bytes")
            << u16(u"/m/\U0001F600.ogg") << QByteArray("/m/\xF0\x9F\x98\x80.ogg\r\n");
        QTest::newRow("undecodable byte")
            << DecodeFileName(QByteArray("/m/caf\xE9.mp3")) << QByteArray("/m/caf\xE9.mp3\r\n");
        QTest::newRow("undecodable folder")
            << DecodeFileName(QByteArray("/m\xFF\xFE/a.mp3")) << QByteArray("/m\xFF\xFE/a.mp3\r\n");
        QTest::newRow("no quoting")
            << u16(u"/m/#a b, \"c\".mp3") << QByteArray("/m/#a b, \"c\".mp3\r\n");
        QTest::newRow("tab kept") << u16(u"/m/a\tb.mp3") << QByteArray("/m/a\tb.mp3\r\n");
        QTest::newRow("line feed left out") << u16(u"/m/a\nb.mp3") << QByteArray();
        QTest::newRow("carriage return left out") << u16(u"/m/a\rb.mp3") << QByteArray();
        QTest::newRow("break in the folder left out") << u16(u"/m\r\n/a.mp3") << QByteArray();
    }
    void entryBytes()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, entry);
        TResultText result;
        addLine(result, u"first", u"/m/first.mp3");
        addLine(result, u"item", path);
        addLine(result, u"last", u"/m/last.mp3");
        const TM3u8Playlist playlist = BuildM3u8Playlist(result);
        QCOMPARE(playlist.Bytes, "/m/first.mp3\r\n" + entry + "/m/last.mp3\r\n");
        QCOMPARE(playlist.LeftOut, entry.isEmpty() ? QStringList{path} : QStringList{});
        QCOMPARE(playlist.Entries, entry.isEmpty() ? 2 : 3);

        // The same from the path's bytes, made once by a caller that needs them elsewhere too.
        QByteArray fromBytes;
        QStringList leftOut;
        QCOMPARE(AppendM3u8Entry(fromBytes, path, EncodeFileName(path), leftOut), !entry.isEmpty());
        QCOMPARE(fromBytes, entry);
        QCOMPARE(leftOut, entry.isEmpty() ? QStringList{path} : QStringList{});
    }

    void sameFileTwiceGivesTwoEntries()
    {
        TResultText result;
        addLine(result, u"a", u"/m/a.mp3");
        addLine(result, u"a", u"/m/a.mp3");
        QCOMPARE(BuildM3u8Playlist(result).Bytes, QByteArray("/m/a.mp3\r\n/m/a.mp3\r\n"));
    }

    void noFilesGivesEmptyFile()
    {
        TResultText result;
        addLine(result, u":: /A/", u"/A/");
        addLine(result, u"Files: 0");
        TTempTree dir;
        const QString target = dir.path("list.m3u8");
        QVERIFY(ExportToM3u8(target, result).Ok());
        QVERIFY(QFile::exists(target));
        QCOMPARE(readAll(target), QByteArray());
    }

    void progressEvery1024Lines()
    {
        TResultText result;
        for (int i = 0; i < 2049; ++i)
            addLine(result, u"x", u"/m/x");
        QList<qsizetype> calls;
        const TM3u8Playlist playlist =
            BuildM3u8Playlist(result, [&](qsizetype line) { calls.append(line); });
        QCOMPARE(calls, (QList<qsizetype>{0, 1024, 2048}));
        QCOMPARE(playlist.Entries, 2049);
    }

    // More than one written piece: the file is the whole playlist, as BuildM3u8Playlist gives it.
    void longPlaylistWrittenInPieces()
    {
        TResultText result;
        for (int i = 0; i < 40000; ++i)
            addLine(result, u"x",
                    QStringLiteral("/music/some/rather/long/folder/name/%1.mp3").arg(i));
        TTempTree dir;
        const QString target = dir.path("long.m3u8");
        const TM3u8Export exported = ExportToM3u8(target, result);
        QVERIFY(exported.Ok());
        QCOMPARE(exported.Entries, 40000);
        const TM3u8Playlist whole = BuildM3u8Playlist(result, {});
        QVERIFY(whole.Bytes.size() > 1 << 20);
        QVERIFY(readAll(target) == whole.Bytes);
    }

    void failedWriteNamesStage10()
    {
        TResultText result;
        addLine(result, u"a", u"/m/a\nb.mp3");
        TTempTree dir;
        const QString target = dir.path("missing/list.m3u8");
        const TM3u8Export exported = ExportToM3u8(target, result);
        QVERIFY(!exported.Ok());
        QCOMPARE(exported.Stage, TWriteStage::Write);
        QCOMPARE(exported.ErrorText, u"Error #4023/10. Problem during M3U8 export.\r\n" + target +
                                         u": No such file or directory");
        // The caller still names the left-out paths.
        QCOMPARE(exported.LeftOut, QStringList{u16(u"/m/a\nb.mp3")});
    }
};

QTEST_GUILESS_MAIN(TestM3u8Export)
#include "tst_m3u8_export.moc"
