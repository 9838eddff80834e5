#include "core/system/file_io.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dirka;
using namespace testsupport;

namespace {

QByteArray bytesOf(const QTemporaryDir& dir, const char* name)
{
    return QFile::encodeName(dir.path()) + '/' + name;
}

mode_t modeOf(const QByteArray& path)
{
    struct stat facts {};
    return ::stat(path.constData(), &facts) == 0 ? facts.st_mode & 07777 : mode_t(-1);
}

QString failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const EFileError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

class TestFileIo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void byteNamesRoundTrip()
    {
        QTemporaryDir dir;
        const QByteArray raw = bytesOf(dir, "o\xFF.txt");
        WriteFileBytes(DecodeFileName(raw), "first");
        WriteFileBytes(DecodeFileName(bytesOf(dir, "o\xFE.txt")), "second");
        QCOMPARE(ReadFileBytes(DecodeFileName(raw), 100), std::optional<QByteArray>("first"));
        QCOMPARE(::access(bytesOf(dir, "o\xFE.txt").constData(), F_OK), 0);
        QCOMPARE(::access(bytesOf(dir, "o\xEF\xBF\xBD.txt").constData(), F_OK), -1);
        // QDir cannot name these files, so they are removed here for QTemporaryDir.
        ::unlink(raw.constData());
        ::unlink(bytesOf(dir, "o\xFE.txt").constData());
    }

    void replacingKeepsTheModeAndLeavesNoCopy()
    {
        QTemporaryDir dir;
        const QByteArray path = bytesOf(dir, "kept.txt");
        WriteFileBytes(QFile::decodeName(path), "old");
        QCOMPARE(::chmod(path.constData(), 0640), 0);
        WriteFileBytes(QFile::decodeName(path), "new");
        QCOMPARE(modeOf(path), mode_t(0640));
        const mode_t mask = ::umask(0);
        ::umask(mask);
        WriteFileBytes(QFile::decodeName(bytesOf(dir, "fresh.txt")), "x");
        QCOMPARE(modeOf(bytesOf(dir, "fresh.txt")), mode_t(0666 & ~mask));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"fresh.txt", "kept.txt"}));
    }

    void refusedNames_data()
    {
        QTest::addColumn<QString>("name"); // below the temporary folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("NUL would cut the name")
            << QStringLiteral("a") + QChar(u'\0') + u"b" << QStringLiteral("Invalid argument");
        QTest::newRow("folder missing") << "no/such.txt"
                                        << "No such file or directory";
        QTest::newRow("a folder") << "sub"
                                  << "Is a directory";
        QTest::newRow("name too long") << QString(300, u'n') << "File name too long";
    }
    void refusedNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        const QString target = dir.filePath(name);
        const QString shown = QString(target).replace(QChar(u'\0'), QChar(u'\uFFFD'));
        QCOMPARE(failureOf([&] { WriteFileBytes(target, "x"); }), shown + u": " + reason);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("sub")});
    }

    // The user may rewrite a file in a folder that takes no new file; the file is then written
    // in place. Root passes every permission check, so the write runs as nobody in a child.
    void lockedFolderWritableFile()
    {
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir, "locked");
        const QByteArray file = folder + "/open.txt";
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        WriteFileBytes(QFile::decodeName(file), "old contents");
        QCOMPARE(::chmod(file.constData(), 0666), 0);
        QCOMPARE(::chmod(dir.path().toUtf8().constData(), 0755), 0);
        QCOMPARE(::chmod(folder.constData(), 0555), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::geteuid() == 0 && ::seteuid(65534) != 0)
                ::_exit(2);
            try {
                WriteFileBytes(QFile::decodeName(file), "new");
            } catch (const EFileError&) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        ::chmod(folder.constData(), 0755);
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(readAll(QFile::decodeName(file)), QByteArray("new"));
    }

    // A file with other names is rewritten, not replaced, so every name shows the new
    // content; a writer abandoned before Finish leaves the old content under every name.
    void hardLinkedTargetKeepsItsLinks_data()
    {
        QTest::addColumn<bool>("finished");
        QTest::newRow("finished") << true;
        QTest::newRow("abandoned") << false;
    }
    void hardLinkedTargetKeepsItsLinks()
    {
        QFETCH(bool, finished);
        QTemporaryDir dir;
        const QByteArray target = bytesOf(dir, "t.txt");
        WriteFileBytes(QFile::decodeName(target), "old contents");
        QCOMPARE(::link(target.constData(), bytesOf(dir, "other").constData()), 0);
        {
            TFileWriter writer(QFile::decodeName(target));
            writer.Write("new");
            if (finished)
                writer.Finish();
        }
        const QByteArray expected = finished ? "new" : "old contents";
        QCOMPARE(readAll(QFile::decodeName(target)), expected);
        QCOMPARE(readAll(QFile::decodeName(bytesOf(dir, "other"))), expected);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"other", "t.txt"}));
    }

    // Root replacing another user's file leaves it that user's.
    void replacedFileKeepsItsOwner()
    {
        if (::geteuid() != 0)
            QSKIP("only root may give a file to another user");
        QTemporaryDir dir;
        const QByteArray target = bytesOf(dir, "t.txt");
        WriteFileBytes(QFile::decodeName(target), "old");
        QCOMPARE(::chown(target.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(target.constData(), 02640), 0);
        WriteFileBytes(QFile::decodeName(target), "new");
        struct stat facts {};
        QCOMPARE(::stat(target.constData(), &facts), 0);
        QCOMPARE(facts.st_uid, uid_t(65534));
        QCOMPARE(facts.st_gid, gid_t(65534));
        QCOMPARE(facts.st_mode & 07777, mode_t(02640));
        QCOMPARE(readAll(QFile::decodeName(target)), QByteArray("new"));
    }

    void sameFile_data()
    {
        QTest::addColumn<QString>("a"); // below the temporary folder, made as files when
        QTest::addColumn<QString>("b"); // they end in ".old"
        QTest::addColumn<bool>("same");
        QTest::newRow("one name") << "x"
                                  << "x" << true;
        QTest::newRow("through '.'") << "x"
                                     << "./x" << true;
        QTest::newRow("through '..'") << "sub/../x"
                                      << "x" << true;
        QTest::newRow("two names") << "x"
                                   << "y" << false;
        QTest::newRow("existing, through a link") << "f.old"
                                                  << "link" << true;
        QTest::newRow("two existing files") << "f.old"
                                            << "hard.old" << false;
        QTest::newRow("missing folder") << "no/x"
                                        << "no/./x" << false;
    }
    void sameFile()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        WriteFileBytes(dir.filePath(QStringLiteral("f.old")), "x");
        WriteFileBytes(dir.filePath(QStringLiteral("hard.old")), "x");
        QCOMPARE(::symlink("f.old", bytesOf(dir, "link").constData()), 0);
        QCOMPARE(IsSameFile(dir.filePath(a), dir.filePath(b)), same);
    }

    void makeFolders()
    {
        QTemporaryDir dir;
        const QString deep = dir.filePath(QStringLiteral("a/b/c"));
        MakeFolders(deep);
        MakeFolders(deep); // already there: fine
        QVERIFY(QFileInfo(deep).isDir());
        WriteFileBytes(dir.filePath(QStringLiteral("file")), "x");
        QCOMPARE(failureOf([&] { MakeFolders(dir.filePath(QStringLiteral("file/sub"))); }),
                 QString(dir.filePath(QStringLiteral("file")) + u": Not a directory"));
    }

    void readFileBytes()
    {
        QTemporaryDir dir;
        const QByteArray fifo = bytesOf(dir, "pipe");
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(ReadFileBytes(QFile::decodeName(fifo), 100), std::nullopt); // does not block
        QCOMPARE(ReadFileBytes(dir.path(), 100), std::nullopt);
        WriteFileBytes(dir.filePath(QStringLiteral("f")), "12345");
        QCOMPARE(ReadFileBytes(dir.filePath(QStringLiteral("f")), 5),
                 std::optional<QByteArray>("12345"));
        QCOMPARE(ReadFileBytes(dir.filePath(QStringLiteral("f")), 4), std::nullopt);
        QCOMPARE(ReadFileBytes(dir.filePath(QStringLiteral("missing")), 5), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_file_io.moc"
