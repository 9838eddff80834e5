#include "core/system/file_io.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
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

// Where the link at path leads, or "(no link)".
QByteArray linkOf(const QByteArray& path)
{
    char target[256];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target);
    return length >= 0 ? QByteArray(target, length) : QByteArray("(no link)");
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

    // What the probe of an in-place rewrite saw, and where it looked.
    inline static QString s_folder;
    inline static QStringList s_seen;

    // Three pieces of the in-place copy, without NUL.
    static QByteArray newContent()
    {
        QByteArray content(3 << 20, 'n');
        for (qsizetype i = 0; i < content.size(); i += 4096)
            content[i] = char('a' + i / 4096 % 26);
        return content;
    }

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

    // A name that is a loop of symbolic links names no file: the write fails as a shell's ">"
    // does, and the links stay. A link to a file, existing or not, writes that file.
    void linkLoopIsRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("a link to itself") << QByteArray("d4");
        QTest::newRow("two links to each other") << QByteArray("a");
        QTest::newRow("a file below the loop") << QByteArray("d4/x.txt");
    }
    void linkLoopIsRefused()
    {
        QFETCH(QByteArray, name);
        QTemporaryDir dir;
        QCOMPARE(::symlink("d4", bytesOf(dir, "d4").constData()), 0);
        QCOMPARE(::symlink("b", bytesOf(dir, "a").constData()), 0);
        QCOMPARE(::symlink("a", bytesOf(dir, "b").constData()), 0);
        const QString target = QFile::decodeName(bytesOf(dir, name.constData()));
        QCOMPARE(failureOf([&] { WriteFileBytes(target, "x"); }),
                 QString(target + u": Too many levels of symbolic links"));
        QCOMPARE(linkOf(bytesOf(dir, "d4")), QByteArray("d4"));
        QCOMPARE(linkOf(bytesOf(dir, "a")), QByteArray("b"));
        QCOMPARE(linkOf(bytesOf(dir, "b")), QByteArray("a"));
        QCOMPARE(
            QDir(dir.path())
                .entryList(QDir::System | QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot),
            (QStringList{"a", "b", "d4"}));
    }

    void linksToFilesAreFollowed()
    {
        QTemporaryDir dir;
        WriteFileBytes(QFile::decodeName(bytesOf(dir, "real.txt")), "old");
        QCOMPARE(::symlink("real.txt", bytesOf(dir, "to-real").constData()), 0);
        QCOMPARE(::symlink("later.txt", bytesOf(dir, "dangling").constData()), 0);
        WriteFileBytes(QFile::decodeName(bytesOf(dir, "to-real")), "new");
        WriteFileBytes(QFile::decodeName(bytesOf(dir, "dangling")), "made");
        struct stat facts {};
        QCOMPARE(::lstat(bytesOf(dir, "to-real").constData(), &facts), 0);
        QVERIFY(S_ISLNK(facts.st_mode));
        QCOMPARE(::lstat(bytesOf(dir, "dangling").constData(), &facts), 0);
        QVERIFY(S_ISLNK(facts.st_mode));
        QCOMPARE(readAll(QFile::decodeName(bytesOf(dir, "real.txt"))), QByteArray("new"));
        QCOMPARE(readAll(QFile::decodeName(bytesOf(dir, "later.txt"))), QByteArray("made"));
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

    // A rewrite in place is recoverable: while the target is being rewritten, its complete new
    // content waits in a visible copy beside it, which is removed once the target is synced.
    void inPlaceRewriteKeepsAVisibleCopyMeanwhile()
    {
        QTemporaryDir dir;
        const QByteArray target = bytesOf(dir, "t.txt");
        WriteFileBytes(QFile::decodeName(target), QByteArray(2 << 20, 'o'));
        QCOMPARE(::link(target.constData(), bytesOf(dir, "other").constData()), 0);
        const QByteArray content = newContent();
        s_folder = dir.path();
        s_seen.clear();
        detail::InPlaceCopyProbe = [](qsizetype copied) {
            QStringList copies = QDir(s_folder).entryList({"t.txt.dirka-new.*"}, QDir::Files);
            const bool complete =
                copies.size() == 1 && readAll(s_folder + u'/' + copies[0]) == newContent();
            s_seen.append(QStringLiteral("%1: %2%3")
                              .arg(copied)
                              .arg(copies.join(u' '), complete ? u" complete" : u""));
        };
        {
            TFileWriter writer(QFile::decodeName(target));
            writer.Write(content);
            writer.Finish();
        }
        detail::InPlaceCopyProbe = nullptr;
        QCOMPARE(s_seen.size(), 3);
        for (const QString& seen : std::as_const(s_seen))
            QVERIFY2(seen.endsWith(u" complete"), qPrintable(seen));
        QCOMPARE(readAll(QFile::decodeName(target)), content);
        QCOMPARE(readAll(QFile::decodeName(bytesOf(dir, "other"))), content);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"other", "t.txt"}));
    }

    // A hard kill in the middle of a rewrite in place leaves the target part new, part old,
    // never NUL where the new content goes, and the complete new content in the visible copy:
    // beside the target, or in the runtime folder when the target's folder takes no new file.
    void killedInPlaceRewriteIsRecoverable_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::newRow("other hard links") << false;
        QTest::newRow("folder takes no new file") << true;
    }
    void killedInPlaceRewriteIsRecoverable()
    {
        QFETCH(bool, locked);
        QTemporaryDir dir;
        QTemporaryDir runtime;
        const QByteArray folder = bytesOf(dir, "f");
        const QByteArray target = folder + "/t.txt";
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        const QByteArray old(2 << 20, 'o');
        WriteFileBytes(QFile::decodeName(target), old);
        if (locked) {
            for (const QString& path : {dir.path(), runtime.path()})
                QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0777), 0);
            QCOMPARE(::chmod(target.constData(), 0666), 0);
            QCOMPARE(::chmod(folder.constData(), 0555), 0);
        } else {
            QCOMPARE(::link(target.constData(), bytesOf(dir, "other").constData()), 0);
        }
        const pid_t child = ::fork();
        if (child == 0) {
            if (locked && ::geteuid() == 0 && ::seteuid(65534) != 0)
                ::_exit(2);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
            detail::InPlaceCopyProbe = [](qsizetype) { ::raise(SIGKILL); };
            try {
                WriteFileBytes(QFile::decodeName(target), newContent());
            } catch (const EFileError&) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        ::chmod(folder.constData(), 0755);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL,
                 qPrintable(QString::number(status)));
        const QByteArray left = readAll(QFile::decodeName(target));
        QVERIFY(!left.contains('\0'));
        QCOMPARE(left.size(), old.size());
        QCOMPARE(left.first(1 << 20), newContent().first(1 << 20));
        QCOMPARE(left.sliced(1 << 20), old.sliced(1 << 20));
        const QDir copyFolder(locked ? runtime.path() : QFile::decodeName(folder));
        const QStringList copies = copyFolder.entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(copies.size(), locked ? 1 : 2);
        const QStringList visible = copyFolder.entryList({"t.txt.dirka-new.*"}, QDir::Files);
        QCOMPARE(visible.size(), 1);
        QCOMPARE(readAll(copyFolder.filePath(visible[0])), newContent());
    }

    // A rewrite in place that fails half-way (here at the file-size limit, set once the copy
    // is written) names the visible copy that holds the complete new content, and keeps it.
    void failedInPlaceRewriteNamesTheCopy()
    {
        QTemporaryDir dir;
        const QByteArray target = bytesOf(dir, "t.txt");
        const QByteArray old(2 << 20, 'o');
        WriteFileBytes(QFile::decodeName(target), old);
        QCOMPARE(::link(target.constData(), bytesOf(dir, "other").constData()), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            QString message = QStringLiteral("<no error>");
            try {
                TFileWriter writer(QFile::decodeName(target));
                writer.Write(newContent());
                const struct rlimit limit {
                    3 << 19, 3 << 19
                };
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    ::_exit(2);
                writer.Finish();
            } catch (const EFileError& e) {
                message = e.Message();
            }
            try {
                WriteFileBytes(QFile::decodeName(bytesOf(dir, "message")), message.toUtf8());
            } catch (const EFileError&) {
                ::_exit(3);
            }
            ::_exit(0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(status, 0);
        const QStringList visible = QDir(dir.path()).entryList({"t.txt.dirka-new.*"}, QDir::Files);
        QCOMPARE(visible.size(), 1);
        QCOMPARE(readAll(dir.filePath(visible[0])), newContent());
        QCOMPARE(readAll(dir.filePath(QStringLiteral("message"))),
                 QString(QFile::decodeName(target) + u": File too large; the complete new " +
                         u"content is in " + dir.filePath(visible[0]))
                     .toUtf8());
        const QByteArray left = readAll(QFile::decodeName(target));
        QCOMPARE(left.size(), old.size());
        QCOMPARE(left.first(3 << 19), newContent().first(3 << 19));
        QCOMPARE(left.sliced(3 << 19), old.sliced(3 << 19));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"message", "other", "t.txt", visible[0]}));
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
