#include "core/listing/result_text.h"
#include "core/output/text_file_writer.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirka;
using namespace testsupport;

namespace {

// A result whose lines are text's, split at CR LF.
TResultText resultOf(QStringView text)
{
    TResultText result;
    for (const QStringView line : text.tokenize(u"\r\n"))
        result.AppendLine(line);
    return result;
}

// Keeps lone surrogates as they are.
QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

bool isKind(const char* path, mode_t kind)
{
    struct stat info {};
    return lstat(path, &info) == 0 && (info.st_mode & S_IFMT) == kind;
}

// Caps the size of any file this process writes, so a write fails as on a full disk whatever
// our rights are (tests may run as root). SIGXFSZ is ignored meanwhile: the write answers EFBIG.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class TestTextFileWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encodings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("expected");
        const QString example = u16(u"a\r\n\u00E9");
        QTest::newRow("example utf8bom") << example << 5 << hex("EFBBBF 61 0D0A C3A9");
        QTest::newRow("example utf8") << example << 4 << hex("61 0D0A C3A9");
        QTest::newRow("example unicode") << example << 2 << hex("FFFE 6100 0D00 0A00 E900");
        // U+1F600 is D83D DE00: each half on its own in both UTF-8 forms.
        const QString beyond = u16(u"x\U0001F600");
        QTest::newRow("pair utf8bom") << beyond << 5 << hex("EFBBBF 78 EDA0BD EDB880");
        QTest::newRow("pair utf8") << beyond << 4 << hex("78 EDA0BD EDB880");
        QTest::newRow("pair unicode") << beyond << 2 << hex("FFFE 7800 3DD8 00DE");
        QTest::newRow("empty utf8bom") << QString() << 5 << hex("EFBBBF");
        QTest::newRow("empty utf8") << QString() << 4 << QByteArray();
        QTest::newRow("empty unicode") << QString() << 2 << hex("FFFE");
        QTest::newRow("length bounds")
            << u16(u"\u007F\u0080\u07FF\u0800\uFFFF") << 4 << hex("7F C280 DFBF E0A080 EFBFBF");
        QTest::newRow("lone surrogates") << u16(u"\xDC80\xD800") << 4 << hex("EDB280 EDA080");
        QTest::newRow("nul kept") << QString(QChar(0)) << 2 << hex("FFFE 0000");
    }
    void encodings()
    {
        QFETCH(QString, text);
        QFETCH(int, code);
        QFETCH(QByteArray, expected);
        TTempTree dir;
        const QString target = dir.path("result.txt");
        QCOMPARE(SaveResultText(target, resultOf(text), code), TSaveOutcome::Written);
        QCOMPARE(readAll(target), expected);
        if (code == 4)
            QCOMPARE(PerUnitUtf8Length(text), expected.size());
    }

    // A result longer than one written piece, a surrogate pair across the pieces' border: the
    // file holds the same bytes as the whole text encoded at once.
    void longTextWrittenInPieces_data()
    {
        QTest::addColumn<int>("code");
        for (int code : {SaveCodeUtf8Bom, SaveCodeUtf8, SaveCodeUnicode})
            QTest::addRow("code %d", code) << code;
    }
    void longTextWrittenInPieces()
    {
        QFETCH(int, code);
        QString text(3 * (1 << 20) + 7, QLatin1Char('x'));
        text[(1 << 20) - 1] = QChar(0xD83D); // U+1F600 split by the first border
        text[1 << 20] = QChar(0xDE00);
        text[2 * (1 << 20)] = QChar(0x0142);
        TTempTree dir;
        const QString target = dir.path("long.txt");
        QCOMPARE(SaveResultText(target, resultOf(text), code), TSaveOutcome::Written);
        QByteArray whole = SaveFileMark(code);
        AppendSaveEncoded(whole, text, code);
        QVERIFY(readAll(target) == whole);
    }

    void codesWithoutWriter_data()
    {
        QTest::addColumn<int>("code");
        for (const int code : {1, 3, 0, 6, -1})
            QTest::addRow("code %d", code) << code;
    }
    void codesWithoutWriter()
    {
        QFETCH(int, code);
        TTempTree dir;
        const QString target = dir.path("result.txt");
        QCOMPARE(SaveResultText(target, resultOf(u"a"), code), TSaveOutcome::BeepOnly);
        QVERIFY(!QFile::exists(target));
        QVERIFY(dir.makeFile("result.txt", "old"));
        QCOMPARE(SaveResultText(target, resultOf(u"a"), code), TSaveOutcome::BeepOnly);
        QCOMPARE(readAll(target), QByteArray("old"));
    }

    void standardUtf8_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("ascii") << u16(u"/a b") << QByteArray("/a b") << QByteArray("/a b");
        QTest::newRow("two and three bytes")
            << u16(u"\u00E9\u20AC") << hex("C3A9 E282AC") << hex("C3A9 E282AC");
        QTest::newRow("pair as four bytes")
            << u16(u"\U0001F600") << hex("F09F9880") << hex("F09F9880");
        QTest::newRow("undecodable byte") << u16(u"a\xDCFF") << hex("61 EFBFBD") << hex("61 FF");
        QTest::newRow("lowest undecodable byte") << u16(u"\xDC80") << hex("EFBFBD") << hex("80");
        QTest::newRow("low surrogate below the byte range")
            << u16(u"\xDC7F") << hex("EFBFBD") << hex("EDB1BF");
        QTest::newRow("lone high surrogate at the end")
            << u16(u"a\xD83D") << hex("61 EFBFBD") << hex("61 EDA0BD");
        QTest::newRow("high surrogate before a byte")
            << u16(u"\xD83D\xDCFF") << hex("F09F93BF") << hex("F09F93BF");
        QTest::newRow("non-characters") << u16(u"\uFFFE\uFFFF\uFFFD") << hex("EFBFBD EFBFBD EFBFBD")
                                        << hex("EFBFBE EFBFBF EFBFBD");
    }
    void standardUtf8()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, path);
        QCOMPARE(StandardUtf8(text), display);
        // Appending keeps what the buffer held.
        QByteArray out("x");
        AppendEncodedFileName(out, text);
        QCOMPARE(out, "x" + path);
        QCOMPARE(path, EncodeFileName(text));
    }

    void overwritingLongerFileLeavesNoOldBytes()
    {
        TTempTree dir;
        const QString target = dir.path("result.txt");
        QVERIFY(dir.makeFile("result.txt", QByteArray(5000, 'z')));
        SaveUtf8TextFile(target, u"a", false);
        QCOMPARE(readAll(target), QByteArray("a"));
        SaveUtf8TextFile(target, QString(), true);
        QCOMPARE(readAll(target), hex("EFBBBF"));
    }

    void writesThroughLinks()
    {
        TTempTree dir;
        const QString file = dir.path("real.txt");
        const QString link = dir.path("link.txt");
        QVERIFY(dir.makeFile("real.txt", "old contents") && dir.makeLink("link.txt", file));
        SaveUtf8TextFile(link, u"new", false);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readAll(file), QByteArray("new"));
    }

    void failedSaveKeepsOldFile_data()
    {
        QTest::addColumn<int>("textUnits");
        QTest::addColumn<QString>("reason");
        // A short text still sits in the write buffer when flush() fails; a long one fails in
        // write() itself.
        QTest::newRow("fails at flush") << 100 << QStringLiteral("File too large");
        QTest::newRow("fails at write") << 100000 << QStringLiteral("File too large");
    }
    void failedSaveKeepsOldFile()
    {
        QFETCH(int, textUnits);
        QFETCH(QString, reason);
        TTempTree dir;
        const QString target = dir.path("result.txt");
        const QByteArray old(3000, 'o');
        QVERIFY(dir.makeFile("result.txt", old));
        try {
            const TFileSizeLimit limit(10);
            SaveUtf8TextFile(target, QString(textUnits, u'n'), true);
            QFAIL("no error");
        } catch (const EFileError& error) {
            QCOMPARE(error.Message(), target + u": " + reason);
        }
        QCOMPARE(readAll(target), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("result.txt")});
    }

    void unwritableTargets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder")
            << QStringLiteral("missing/result.txt") << QStringLiteral("No such file or directory");
        QTest::newRow("a folder") << QStringLiteral("folder") << QString();
        QTest::newRow("empty name") << QString() << QString();
    }
    void unwritableTargets()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        TTempTree dir;
        QVERIFY(dir.makeFile("folder/inside.txt", "kept"));
        const QString target = name.isEmpty() ? QString() : dir.path(name);
        try {
            SaveResultText(target, resultOf(u"a"), 5);
            QFAIL("no error");
        } catch (const EFileError& error) {
            QVERIFY2(error.Message().startsWith(target + u": "), qPrintable(error.Message()));
            if (!reason.isEmpty())
                QVERIFY2(error.Message().endsWith(reason), qPrintable(error.Message()));
        }
        QCOMPARE(readAll(dir.path("folder/inside.txt")), QByteArray("kept"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("folder")});
    }

    // A FIFO proves that special targets are written in place before any test goes near /dev.
    void fifoStaysFifo()
    {
        TTempTree dir;
        QVERIFY(dir.makeFifo("pipe"));
        const QByteArray fifo = dir.bytes("pipe");
        const int reader = open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        SaveUtf8TextFile(QFile::decodeName(fifo), u"abc", true);
        char buffer[16] = {};
        const ssize_t got = read(reader, buffer, sizeof buffer);
        close(reader);
        QCOMPARE(QByteArray(buffer, int(got)), hex("EFBBBF 616263"));
        QVERIFY(isKind(fifo.constData(), S_IFIFO));
        m_specialTargetsInPlace = true;
    }

    void devicesStayDevices()
    {
        if (!m_specialTargetsInPlace)
            QSKIP("special targets are not written in place; /dev is left alone");
        SaveUtf8TextFile(QStringLiteral("/dev/null"), u"abc", true);
        QCOMPARE(SaveResultText(QStringLiteral("/dev/null"), resultOf(u"abc"), 2),
                 TSaveOutcome::Written);
        QVERIFY(isKind("/dev/null", S_IFCHR));
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full");
        try {
            SaveUtf8TextFile(QStringLiteral("/dev/full"), u"abc", false);
            QFAIL("no error");
        } catch (const EFileError& error) {
            QCOMPARE(error.Message(), QStringLiteral("/dev/full: No space left on device"));
        }
        QVERIFY(isKind("/dev/full", S_IFCHR));
    }

    // Links into a process's descriptor folder name open streams: the file behind them is
    // written in place (same inode, old bytes kept), never replaced.
    void streamAliasIsAppendedTo_data()
    {
        QTest::addColumn<QString>("alias"); // %1 is the descriptor
        QTest::newRow("/proc/self/fd") << "/proc/self/fd/%1";
        QTest::newRow("/dev/fd, itself a link") << "/dev/fd/%1";
    }
    void streamAliasIsAppendedTo()
    {
        QFETCH(QString, alias);
        TTempTree dir;
        const QString file = dir.path("stream.txt");
        QFile stream(file);
        QVERIFY(stream.open(QIODevice::WriteOnly));
        QCOMPARE(stream.write("old", 3), 3);
        QVERIFY(stream.flush());
        struct stat before {};
        QCOMPARE(fstat(stream.handle(), &before), 0);
        SaveUtf8TextFile(alias.arg(stream.handle()), u"new", false);
        struct stat after {};
        QCOMPARE(stat(QFile::encodeName(file).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(readAll(file), QByteArray("oldnew"));
    }

    // A regular file whose path merely passes through /proc is replaced as any other.
    void regularFileUnderProcIsReplaced()
    {
        TTempTree dir;
        const QString file = dir.path("out.txt");
        QVERIFY(dir.makeFile("out.txt", "OLD CONTENTS"));
        const QString viaProc =
            QStringLiteral("/proc/%1/root").arg(QCoreApplication::applicationPid()) + file;
        SaveUtf8TextFile(viaProc, u"new", false);
        QCOMPARE(readAll(file), QByteArray("new"));
    }

    void saveErrorText()
    {
        QCOMPARE(SaveErrorText(u"/x/y.txt: No such file or directory"),
                 QStringLiteral("Error #4021. Problem during saving file.\r\n"
                                "/x/y.txt: No such file or directory"));
    }

private:
    bool m_specialTargetsInPlace = false;
};

QTEST_GUILESS_MAIN(TestTextFileWriter)
#include "tst_text_file_writer.moc"
