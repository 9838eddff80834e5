#include "core/listing/file_system.h"
#include "core/listing/mount_table.h"
#include "core/listing/read_ahead.h"

#include "test_support.h"

#include <QFileInfo>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirka;
using namespace Qt::StringLiterals;
using namespace testsupport;

Q_DECLARE_METATYPE(dirka::TEntryKind)

namespace {

// Reads the open folder up to the entry called name; its Name stays valid until the next Next().
bool findEntry(TFolderReader& folder, QByteArrayView name, TRawEntry& entry)
{
    while (folder.Next(entry)) {
        if (QByteArrayView(entry.Name, qsizetype(entry.NameLength)) == name)
            return true;
    }
    return false;
}

TFolderIdentity identityOf(const QByteArray& path)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return {};
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

} // namespace

class TestFileSystem : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The entry "e" sits beside file.bin (1234 bytes), folder/ and fifo. "make" is a size for a
    // file, "->target" for a link, or folder, fifo, socket; "gone" is a file deleted after the
    // folder was read and before it is examined.
    void examine_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<bool>("wantSize");
        QTest::addColumn<TEntryKind>("kind");
        QTest::addColumn<qint64>("size"); // compared when the size is wanted
        QTest::addColumn<bool>("vanished");
        const TEntryKind file = TEntryKind::File;
        const TEntryKind folder = TEntryKind::Folder;
        const TEntryKind special = TEntryKind::Special;
        QTest::newRow("file") << "1234" << true << file << qint64(1234) << false;
        QTest::newRow("empty file") << "0" << true << file << qint64(0) << false;
        QTest::newRow("file beyond 4 GB")
            << "5000000000" << true << file << qint64(5000000000) << false;
        QTest::newRow("folder") << "folder" << true << folder << qint64(0) << false;
        QTest::newRow("folder, size not wanted")
            << "folder" << false << folder << qint64(0) << false;
        QTest::newRow("link to a file") << "->file.bin" << true << file << qint64(1234) << false;
        QTest::newRow("link to a folder") << "->folder" << true << folder << qint64(0) << false;
        QTest::newRow("link to a folder, size not wanted")
            << "->folder" << false << folder << qint64(0) << false;
        QTest::newRow("dangling link") << "->nowhere" << true << file << qint64(0) << false;
        QTest::newRow("dangling link, size not wanted")
            << "->nowhere" << false << file << qint64(0) << false;
        QTest::newRow("fifo") << "fifo" << true << special << qint64(0) << false;
        QTest::newRow("socket") << "socket" << true << special << qint64(0) << false;
        QTest::newRow("link to a fifo") << "->fifo" << true << special << qint64(0) << false;
        QTest::newRow("vanished") << "gone" << true << file << qint64(0) << true;
    }
    void examine()
    {
        QFETCH(QString, make);
        QFETCH(bool, wantSize);
        QFETCH(TEntryKind, kind);
        QFETCH(qint64, size);
        QFETCH(bool, vanished);
        TTempTree tree;
        QVERIFY(tree.makeFile("file.bin", 1234) && tree.makeFolder("folder") &&
                tree.makeFifo("fifo"));
        if (make.startsWith(u"->"))
            QVERIFY(tree.makeLink("e", make.mid(2)));
        else if (make == u"folder")
            QVERIFY(tree.makeFolder("e"));
        else if (make == u"fifo")
            QVERIFY(tree.makeFifo("e"));
        else if (make == u"socket")
            QVERIFY(tree.makeSocket("e"));
        else
            QVERIFY(tree.makeFile("e", make == u"gone" ? 1 : make.toLongLong()));

        TFolderReader reader = TFolderReader::OpenPath(tree.bytes());
        QVERIFY(reader.IsOpen());
        TRawEntry entry;
        QVERIFY(findEntry(reader, "e", entry));
        if (make == u"gone")
            QCOMPARE(::unlink(tree.bytes("e").constData()), 0);
        // The same name with no type hint, as some file systems give it, must come out the same.
        const QByteArray name = "e";
        const TRawEntry unknown{name.constData(), std::size_t(name.size()), DT_UNKNOWN};
        for (const TRawEntry& given : {entry, unknown}) {
            const TEntryFacts facts = reader.Examine(given, wantSize);
            QCOMPARE(facts.Vanished, vanished);
            if (vanished)
                continue;
            QCOMPARE(facts.Kind, kind);
            QCOMPARE(facts.IsLink, make.startsWith(u"->"));
            if (wantSize)
                QCOMPARE(qint64(facts.Size), size);
        }
    }

    // The lookup shares a folder's entries with its threads in pieces: every entry's facts land
    // at its own index whatever the count and range, a file removed after the folder was read
    // is vanished in any piece, and one lookup serves folder after folder.
    void sizeLookupMatchesExamine_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("removed"); // an index of the range, -1: none
        QTest::newRow("three, alone") << 3 << 0 << 3 << 1;
        QTest::newRow("four") << 4 << 0 << 4 << 3;
        QTest::newRow("a thousand, shared") << 1000 << 0 << 1000 << 707;
        QTest::newRow("nine, odd halves") << 9 << 0 << 9 << 4;
        QTest::newRow("a middle piece") << 600 << 256 << 512 << 200;
        QTest::newRow("the last piece") << 600 << 512 << 600 << 0;
        QTest::newRow("nothing") << 3 << 3 << 3 << -1;
    }
    void sizeLookupMatchesExamine()
    {
        QFETCH(int, files);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, removed);
        TTempTree tree;
        QVERIFY(tree.makeFile("target.bin", 77) && tree.makeLink("link", "target.bin") &&
                tree.makeLink("dangling", "nowhere"));
        for (int i = 0; i < files - 3; ++i)
            QVERIFY(tree.makeFile(QString::asprintf("f%03d", i), 3 * i + 1));
        TFolderReader reader = TFolderReader::OpenPath(tree.bytes());
        QVERIFY(reader.IsOpen());
        std::vector<QByteArray> names;
        std::vector<TRawEntry> entries;
        for (TRawEntry entry; reader.Next(entry);) {
            if (entry.Name[0] == '.')
                continue;
            names.emplace_back(entry.Name, qsizetype(entry.NameLength));
            entries.push_back(entry);
        }
        QCOMPARE(int(entries.size()), files);
        for (std::size_t i = 0; i < entries.size(); ++i)
            entries[i].Name = names[i].constData();
        if (removed >= 0)
            QCOMPARE(::unlink(tree.bytes(names[std::size_t(from + removed)]).constData()), 0);

        TReadAhead lookup({}, true);
        std::vector<TEntryFacts> facts;
        for (int round = 0; round < 20; ++round) {
            lookup.Examine(reader, entries, std::size_t(from), std::size_t(to), facts);
            QCOMPARE(int(facts.size()), to - from);
            for (int i = from; i < to; ++i) {
                const TEntryFacts expected = reader.Examine(entries[std::size_t(i)], true);
                const TEntryFacts& got = facts[std::size_t(i - from)];
                QCOMPARE(got.Vanished, i - from == removed);
                QCOMPARE(got.Vanished, expected.Vanished);
                QCOMPARE(got.Kind, expected.Kind);
                QCOMPARE(got.IsLink, expected.IsLink);
                QCOMPARE(got.Size, expected.Size);
            }
        }
    }

    // A folder read ahead plans its subfolders in the walk's order, yet hands its plans over by
    // entry, rising, and each plan reads the subfolder of its own entry.
    void readAheadPlansMatchTheirEntries()
    {
        TTempTree tree;
        const QStringList names{u"d9"_s,  u"B"_s, u"a"_s,  u"\u00e9t\u00e9"_s, u"d10"_s,
                                u"Z z"_s, u"c"_s, u"d1"_s, u"\u6771"_s,        u".h"_s};
        for (const QString& name : names)
            QVERIFY(tree.makeFile((u"p/"_s + name + u"/mark-"_s + name).toUtf8()));
        QVERIFY(tree.makeFile("p/file.txt") && tree.makeLink("p/link", "a"));
        const TFolderReader root = TFolderReader::OpenPath(tree.bytes());
        QVERIFY(root.IsOpen());
        TEntryFilter filter;
        filter.HiddenFiles = true;
        TReadAhead readAhead(filter, true);
        std::vector<TReadAhead::TTicket> tickets;
        readAhead.Plan(root, {"p"}, 3, tickets);
        QCOMPARE(tickets.size(), std::size_t(1));
        QTRY_VERIFY(readAhead.Begun(tickets[0]));
        std::optional<TFolderContent> parent = readAhead.Take(tickets[0], [] { return true; });
        QVERIFY(parent.has_value());
        QHash<std::uint32_t, QString> entryNames;
        for (TRawEntry entry; parent->Folder.Next(entry);)
            entryNames.insert(entry.Index,
                              QString::fromUtf8(entry.Name, qsizetype(entry.NameLength)));
        QStringList planned;
        std::uint32_t previous = 0;
        for (auto& [index, ticket] : parent->Subfolders) {
            QVERIFY(planned.isEmpty() || index > previous);
            previous = index;
            const QString name = entryNames.value(index);
            planned.append(name);
            QTRY_VERIFY(readAhead.Begun(ticket));
            std::optional<TFolderContent> child = readAhead.Take(ticket, [] { return true; });
            QVERIFY(child.has_value());
            QStringList inside;
            for (TRawEntry entry; child->Folder.Next(entry);)
                inside.append(QString::fromUtf8(entry.Name, qsizetype(entry.NameLength)));
            QVERIFY2(inside.contains(u"mark-"_s + name), qPrintable(name));
        }
        planned.sort();
        QStringList expected = names;
        expected.sort();
        QCOMPARE(planned, expected);
    }

    void openFailures_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("error");
        QTest::newRow("missing") << QByteArray("missing") << ENOENT;
        QTest::newRow("a file") << QByteArray("file.txt") << ENOTDIR;
        QTest::newRow("dangling link") << QByteArray("dangling") << ENOENT;
        QTest::newRow("unreadable folder") << QByteArray("locked") << EACCES;
    }
    void openFailures()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, error);
        TTempTree tree;
        QVERIFY(tree.makeFile("file.txt") && tree.makeLink("dangling", "nowhere") &&
                tree.makeFolder("locked") && tree.setMode("locked", 0));
        const TWithoutReadOverride asUser;
        if (error == EACCES && !asUser.active())
            QSKIP("permission bits do not keep this process out");
        TFolderReader byPath = TFolderReader::OpenPath(tree.bytes(name));
        QVERIFY(!byPath.IsOpen());
        QCOMPARE(byPath.Error(), error);
        TRawEntry entry;
        QVERIFY(!byPath.Next(entry));
        const TFolderReader parent = TFolderReader::OpenPath(tree.bytes());
        const TFolderReader child = TFolderReader::OpenChild(parent, name);
        QVERIFY(!child.IsOpen());
        QCOMPARE(child.Error(), error);
    }

    // Every name length a folder can hold comes back whole: the record's padding after a name
    // decides where it ends, so names of 1..255 bytes (each length once with plain letters, once
    // with bytes 0x01, 0x80 and 0xFF) cover every place of the terminating NUL.
    void nameLengths()
    {
        TTempTree tree;
        QSet<QByteArray> made;
        const char odd[] = {'\x01', '\x80', '\xFF', 'a'};
        for (int length = 1; length <= 255; ++length) {
            QByteArray plain(length, 'n');
            QByteArray mixed;
            for (int i = 0; i < length; ++i)
                mixed.append(odd[(i + length) % 4]);
            for (const QByteArray& name : {plain, mixed}) {
                QVERIFY(tree.makeFile(name, 0));
                made.insert(name);
            }
        }
        TFolderReader folder = TFolderReader::OpenPath(tree.bytes());
        QSet<QByteArray> read;
        TRawEntry entry;
        while (folder.Next(entry)) {
            const QByteArray name(entry.Name, qsizetype(entry.NameLength));
            if (name != "." && name != "..")
                read.insert(name);
        }
        QCOMPARE(read, made);
    }

    // Records as getdents64 lays them out, for every name length and for the type hints a file
    // system may give, DT_UNKNOWN (0) among them: in the shortest records the last word reaches
    // back over the type and the record length, which must not count as the name's end.
    void nameLengthOfRecords_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<char>("padding"); // the bytes after the name's NUL
        QTest::newRow("no type hint") << int(DT_UNKNOWN) << '\0';
        QTest::newRow("no type hint, junk after the name") << int(DT_UNKNOWN) << '\xA5';
        QTest::newRow("file") << int(DT_REG) << '\0';
        QTest::newRow("folder, junk") << int(DT_DIR) << '\x01';
    }
    void nameLengthOfRecords()
    {
        QFETCH(int, type);
        QFETCH(char, padding);
        for (std::size_t length = 1; length <= 255; ++length) {
            const std::size_t nameStart = offsetof(dirent64, d_name);
            const std::size_t recordLength = (nameStart + length + 1 + 7) & ~std::size_t(7);
            alignas(dirent64) char record[sizeof(dirent64) + 8];
            std::memset(record, padding, sizeof record);
            auto* d = reinterpret_cast<dirent64*>(record);
            d->d_ino = 0x0101010101010101u;
            d->d_off = 0;
            d->d_reclen = static_cast<unsigned short>(recordLength);
            d->d_type = static_cast<unsigned char>(type);
            std::memset(record + nameStart, 'n', length);
            record[nameStart + length] = '\0';
            QCOMPARE(detail::EntryNameLength(d), length);
        }
    }

    // A reader moved in the middle of a block goes on where it was; the one moved from gives
    // nothing more.
    void readerMovedMidway()
    {
        TTempTree tree;
        for (const char* name : {"a", "b", "c", "d"})
            QVERIFY(tree.makeFile(name, 0));
        TFolderReader first = TFolderReader::OpenPath(tree.bytes());
        TRawEntry entry;
        QVERIFY(first.Next(entry));
        QSet<QByteArray> read{QByteArray(entry.Name, qsizetype(entry.NameLength))};
        TFolderReader second = std::move(first);
        QVERIFY(!first.Next(entry));
        while (second.Next(entry))
            read.insert(QByteArray(entry.Name, qsizetype(entry.NameLength)));
        QCOMPARE(read, (QSet<QByteArray>{".", "..", "a", "b", "c", "d"}));
        TFolderReader third;
        third = std::move(second);
        QVERIFY(!second.Next(entry));
        QVERIFY(!third.Next(entry));
    }

    // Whatever path or link leads to a folder, it is the same folder.
    void identity()
    {
        TTempTree tree;
        QVERIFY(tree.makeFolder("a/b") && tree.makeLink("l", "a/b"));
        const TFolderIdentity b = identityOf(tree.bytes("a/b"));
        QVERIFY(b != TFolderIdentity());
        const TFolderReader root = TFolderReader::OpenPath(tree.bytes());
        const TFolderReader a = TFolderReader::OpenChild(root, "a");
        QVERIFY(root.IsOpen() && a.IsOpen());
        QCOMPARE(a.Identity(), identityOf(tree.bytes("a")));
        QCOMPARE(TFolderReader::OpenPath(tree.bytes("a/b")).Identity(), b);
        QCOMPARE(TFolderReader::OpenChild(a, "b").Identity(), b);
        QCOMPARE(TFolderReader::OpenPath(tree.bytes("l")).Identity(), b);
        QCOMPARE(TFolderReader::OpenChild(root, "l").Identity(), b);
    }

    // The folder a path names and every folder above it, lexically and after following links.
    void identitiesUpTo_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("nested") << QByteArray("a/b/c/");
        QTest::newRow("without a final delimiter") << QByteArray("a/b/c");
        QTest::newRow("through a link") << QByteArray("l/c/");
    }
    void identitiesUpTo()
    {
        QFETCH(QByteArray, path);
        TTempTree tree;
        QVERIFY(tree.makeFolder("a/b/c") && tree.makeFolder("a/x") && tree.makeLink("l", "a/b"));
        const std::vector<TFolderIdentity> ids = IdentitiesUpTo(tree.bytes(path));
        const auto among = [&ids](const QByteArray& folder) {
            return std::find(ids.begin(), ids.end(), identityOf(folder)) != ids.end();
        };
        for (const QByteArray& folder : {tree.bytes("a/b/c"), tree.bytes("a/b"), tree.bytes("a"),
                                         tree.bytes(), QByteArray("/")})
            QVERIFY2(among(folder), folder.constData());
        QVERIFY(!among(tree.bytes("a/x"))); // a folder beside the path is not above it
    }

    void pseudoFileSystems_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("pseudo");
        for (const char* type : {"proc", "sysfs", "devtmpfs", "cgroup2", "autofs"})
            QTest::newRow(type) << QByteArray(type) << true;
        for (const char* type : {"ext4", "tmpfs", "nfs"})
            QTest::newRow(type) << QByteArray(type) << false;
        QTest::newRow("unknown") << QByteArray() << false;
    }
    void pseudoFileSystems()
    {
        QFETCH(QByteArray, type);
        QFETCH(bool, pseudo);
        QCOMPARE(IsPseudoFileSystem(type), pseudo);
    }

    void fileSystemTypeOfAnOpenFolder()
    {
        if (!QFileInfo::exists(QStringLiteral("/proc/self")))
            QSKIP("no /proc here");
        const TFolderReader proc = TFolderReader::OpenPath("/proc");
        QVERIFY(proc.IsOpen());
        QCOMPARE(proc.FileSystemType(), QByteArray("proc"));
        TTempTree tree;
        const QByteArray type = TFolderReader::OpenPath(tree.bytes()).FileSystemType();
        QVERIFY(!type.isEmpty() && !IsPseudoFileSystem(type));
    }

    // A listing's own table of mount types: a device no mount has (asked again, as a walk
    // crossing it would) reads the table anew and leaves the known ones as they were.
    void mountTypesOfAListing()
    {
        if (!QFileInfo::exists(QStringLiteral("/proc/self")))
            QSKIP("no /proc here");
        const std::uint64_t proc = TFolderReader::OpenPath("/proc").Identity().Device;
        TMountTypes types;
        QCOMPARE(types.TypeOf(proc), QByteArray("proc"));
        const std::uint64_t none = ~std::uint64_t(0);
        QCOMPARE(types.TypeOf(none), QByteArray());
        QCOMPARE(types.TypeOf(none), QByteArray());
        QCOMPARE(types.TypeOf(proc), QByteArray("proc"));
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_file_system.moc"
