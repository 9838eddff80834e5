#include "core/listing/drives.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/sysmacros.h>

using namespace dirka;
using namespace testsupport;

Q_DECLARE_METATYPE(TDriveType)

namespace {

TDriveInfo drive(const char* mountPoint, TDriveType type)
{
    TDriveInfo d;
    d.MountPoint = QString::fromUtf8(mountPoint);
    d.DriveType = type;
    return d;
}

// The table from lines in the shorter "device point type options 0 0" form, which reads better.
QList<TMountEntry> fromMounts(QByteArrayView mounts)
{
    QByteArray table;
    for (const QByteArray& line : mounts.toByteArray().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 4)
            table += "1 0 0:0 / " + f[1] + ' ' + f[3] + " - " + f[2] + ' ' + f[0] + " rw\n";
    }
    return ParseMountTable(table);
}

const QStringList PseudoLocations = {QStringLiteral("<Desktop>"), QStringLiteral("<My Documents>"),
                                     QStringLiteral("<Desktop> | <My Documents>"),
                                     QStringLiteral("<Program Files>")};

} // namespace

class TestDrives : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parseMountTable()
    {
        const QList<TMountEntry> entries = ParseMountTable(
            "36 1 8:17 / /media/my\\040stick rw,nosuid shared:1 - vfat /dev/sdb1 rw\n"
            "short line\n"
            "\n"
            "37 1 0:52 / /mnt/tab\\011and\\134back\\012nl rw - nfs4 srv:/x rw\r\n"
            "38 1 8:33 / /mnt/raw\\377\\08 rw master:2 propagate_from:1 - ext4 /dev/sdc1 rw");
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].Device, QStringLiteral("/dev/sdb1"));
        QCOMPARE(entries[0].MountPoint, QStringLiteral("/media/my stick"));
        QCOMPARE(entries[0].FileSystem, QStringLiteral("vfat"));
        QCOMPARE(entries[0].DeviceNumber, std::uint64_t(makedev(8, 17)));
        QCOMPARE(entries[1].MountPoint, QStringLiteral("/mnt/tab\tand\\back\nnl"));
        QCOMPARE(entries[1].FileSystem, QStringLiteral("nfs4"));
        // An undecodable byte round-trips as a lone surrogate; "\08" is no escape.
        QCOMPARE(entries[2].MountPoint, QString::fromUtf16(u"/mnt/raw\xDCFF\\08"));
        QCOMPARE(entries[2].Device, QStringLiteral("/dev/sdc1"));
    }

    void driveTypeOf_data()
    {
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<TDriveType>("type");
        QTest::newRow("ext4") << "/data"
                              << "ext4" << TDriveType::Fixed;
        QTest::newRow("under /media") << "/media/usb"
                                      << "vfat" << TDriveType::Removable;
        QTest::newRow("under /run/media") << "/run/media/ann/SD"
                                          << "exfat" << TDriveType::Removable;
        QTest::newRow("/mediax is not /media") << "/mediax"
                                               << "ext4" << TDriveType::Fixed;
        QTest::newRow("iso9660 under /media") << "/media/cdrom"
                                              << "iso9660" << TDriveType::CdDvd;
        QTest::newRow("udf") << "/mnt/dvd"
                             << "udf" << TDriveType::CdDvd;
        QTest::newRow("nfs") << "/net"
                             << "nfs" << TDriveType::Network;
        QTest::newRow("sshfs") << "/media/remote"
                               << "fuse.sshfs" << TDriveType::Network;
        QTest::newRow("cifs") << "/mnt/share"
                              << "cifs" << TDriveType::Network;
        QTest::newRow("tmpfs") << "/tmp"
                               << "tmpfs" << TDriveType::Ram;
        QTest::newRow("ramfs") << "/mnt/r"
                               << "ramfs" << TDriveType::Ram;
    }
    void driveTypeOf()
    {
        QFETCH(QString, mountPoint);
        QFETCH(QString, fileSystem);
        QFETCH(TDriveType, type);
        QCOMPARE(DriveTypeOf({QStringLiteral("fake"), mountPoint, fileSystem}), type);
    }

    void driveListFiltersAndKeepsOrder()
    {
        const QList<TMountEntry> table = fromMounts("proc /proc proc rw 0 0\n"
                                                    "sysfs /sys sysfs rw 0 0\n"
                                                    "tmpfs /run tmpfs rw 0 0\n"
                                                    "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                                                    "tmpfs /dev/shm tmpfs rw 0 0\n"
                                                    "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                                                    "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
                                                    "/dev/loop4 /opt/image squashfs ro 0 0\n"
                                                    "tmpfs /tmp tmpfs rw 0 0\n"
                                                    "fake1 /home ext4 rw 0 0\n"
                                                    "efivarfs /sys/firmware/efi/efivars "
                                                    "efivarfs rw 0 0\n"
                                                    "nsfs /run/netns/a nsfs rw 0 0\n"
                                                    "portal /run/user/1000/doc fuse.portal "
                                                    "rw 0 0\n"
                                                    "/dev/sdc1 /media/u/a|b vfat rw 0 0\n"
                                                    "/dev/sdd1 /media/u/x<y> vfat rw 0 0\n"
                                                    "fake2 /home xfs rw 0 0\n");
        QStringList points;
        for (const TDriveInfo& d : DriveList(table))
            points << d.MountPoint + u' ' + QString::number(int(d.DriveType));
        // "/" is missing from the table and comes first; /home was mounted over: once, as xfs.
        // Kernel plumbing is left out, and so are mount points no location text can name.
        QCOMPARE(points, (QStringList{"/ 3", "/opt/image 3", "/tmp 6", "/home 3"}));
        QCOMPARE(DriveList(table).last().FileSystem, QStringLiteral("xfs"));
        // "/" is fixed whatever its file system.
        QCOMPARE(DriveList(fromMounts("rootfs / tmpfs rw 0 0")).first().DriveType,
                 TDriveType::Fixed);
    }

    // Drives A: removable, C: fixed, D: CD-ROM and E: removable, as mount points. Everything
    // lies inside "/", so no all-drives entry follows.
    void locationListFromMountTable()
    {
        const QList<TMountEntry> table = fromMounts("fake-a /media/floppy vfat rw 0 0\n"
                                                    "fake-c / ext4 rw 0 0\n"
                                                    "proc /proc proc rw 0 0\n"
                                                    "fake-d /media/cdrom iso9660 ro 0 0\n"
                                                    "fake-e /media/usb\\040stick vfat rw 0 0\n");
        QCOMPARE(LocationList(DriveList(table)),
                 QStringList({"/media/floppy  <Removable>", "/", "/media/cdrom  <CD/DVD>",
                              "/media/usb stick  <Removable>"}) +
                     PseudoLocations);
    }

    void allDrivesEntry_data()
    {
        QTest::addColumn<QList<TDriveInfo>>("drives");
        QTest::addColumn<QString>("allDrives");
        QTest::newRow("outermost fixed and removable")
            << QList<TDriveInfo>{drive("/srv/c", TDriveType::Fixed),
                                 drive("/srv/c/nested", TDriveType::Fixed),
                                 drive("/srv/d", TDriveType::CdDvd),
                                 drive("/srv/e", TDriveType::Removable),
                                 drive("/srv/n", TDriveType::Network)}
            << "/srv/c | /srv/e";
        QTest::newRow("one fixed only")
            << QList<TDriveInfo>{drive("/", TDriveType::Fixed)} << QString();
        QTest::newRow("all inside /")
            << QList<TDriveInfo>{drive("/", TDriveType::Fixed), drive("/home", TDriveType::Fixed)}
            << QString();
        QTest::newRow("sibling prefix is not inside")
            << QList<TDriveInfo>{drive("/data", TDriveType::Fixed),
                                 drive("/data2", TDriveType::Fixed)}
            << "/data | /data2";
    }
    void allDrivesEntry()
    {
        QFETCH(QList<TDriveInfo>, drives);
        QFETCH(QString, allDrives);
        const QStringList list = LocationList(drives);
        QCOMPARE(list.size(), drives.size() + (allDrives.isEmpty() ? 0 : 1) + 4);
        if (!allDrives.isEmpty())
            QCOMPARE(list[drives.size()], allDrives);
        QCOMPARE(list.mid(list.size() - 4), PseudoLocations);
    }

    void driveOfALinkedLocationIsTheTargetsDrive()
    {
        const std::optional<TDriveInfo> shm = DriveInfoForPath(u"/dev/shm/");
        const std::optional<TDriveInfo> root = DriveInfoForPath(u"/");
        if (!shm || !root || shm->MountPoint != u"/dev/shm")
            QSKIP("needs /dev/shm mounted apart from /");
        TTempTree dir;
        QVERIFY(dir.makeLink("shm", "/dev/shm"));
        QCOMPARE(DriveInfoForPath(dir.path("shm/"))->MountPoint, QStringLiteral("/dev/shm"));
    }

    void mountEntryOf()
    {
        QList<TMountEntry> table = fromMounts("a / ext4 rw 0 0\n"
                                              "b /home ext4 rw 0 0\n"
                                              "c /home/ann/usb vfat rw 0 0\n");
        QCOMPARE(MountEntryOf(u"/home/ann/", table)->Device, QStringLiteral("b"));
        QCOMPARE(MountEntryOf(u"/home/ann/usb/", table)->Device, QStringLiteral("c"));
        QCOMPARE(MountEntryOf(u"/home", table)->Device, QStringLiteral("b"));
        QCOMPARE(MountEntryOf(u"/homework/", table)->Device, QStringLiteral("a"));
        QVERIFY(!MountEntryOf(u"relative/", table));
        // Mounting /home again hides the earlier mount below it.
        table += fromMounts("d /home xfs rw 0 0");
        QCOMPARE(MountEntryOf(u"/home/ann/usb/", table)->Device, QStringLiteral("d"));
    }

    void serialTextOf_data()
    {
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<QString>("serial");
        QTest::newRow("ext4") << "1a2b3c4d-5e6f-7a8b-9c0d-e1f2a3b4c5d6"
                              << "1A2B-3C4D";
        QTest::newRow("vfat") << "1A2B-3C4D"
                              << "1A2B-3C4D";
        QTest::newRow("ntfs") << "0123456789ABCDEF"
                              << "0123-4567";
        QTest::newRow("too short") << "abc"
                                   << "0000-0000";
        QTest::newRow("not hex") << "zz2b3c4d"
                                 << "0000-0000";
        QTest::newRow("none") << QString() << "0000-0000";
    }
    void serialTextOf()
    {
        QFETCH(QString, uuid);
        QFETCH(QString, serial);
        QCOMPARE(SerialTextOf(uuid), serial);
    }

    void driveInfoFull()
    {
        TTempTree dir;
        const QString device = dir.path("sdz1");
        QVERIFY(dir.makeFile("sdz1"));
        QVERIFY(dir.makeLink("disk/by-label/My\\x20Stick", device));
        QVERIFY(dir.makeLink("disk/by-uuid/1a2b3c4d-0000", device));
        const QString mountPoint = dir.path().chopped(1);
        const TMountEntry entry{device, mountPoint, QStringLiteral("vfat")};

        const TDriveInfo full = DriveInfo(entry, true, dir.path("disk"));
        QCOMPARE(full.VolumeName, QStringLiteral("My Stick"));
        QCOMPARE(full.SerialText, QStringLiteral("1A2B-3C4D"));
        QCOMPARE(full.Serial, 0x1A2B3C4Du);
        QVERIFY(full.TotalSize > 0);
        QVERIFY(full.FreeSize >= 0 && full.FreeSize <= full.TotalSize);

        const TDriveInfo brief = DriveInfo(entry, false, dir.path("disk"));
        QVERIFY(brief.VolumeName.isEmpty() && brief.TotalSize == 0);
        const TDriveInfo unknown =
            DriveInfo({QStringLiteral("tmpfs"), mountPoint, QStringLiteral("tmpfs")}, true);
        QCOMPARE(unknown.SerialText, QStringLiteral("0000-0000"));
        QVERIFY(unknown.VolumeName.isEmpty());
    }

    void gigabyteText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("expected");
        const qint64 gb = 1073741824;
        QTest::newRow("half") << "en_US" << gb / 2 << "0.500 GB";
        QTest::newRow("zero") << "en_US" << qint64(0) << "0.000 GB";
        QTest::newRow("1 GB") << "en_US" << gb << "1.00 GB";
        QTest::newRow("12.3") << "en_US" << qint64(12.3 * gb) << "12.3 GB";
        QTest::newRow("100 GB") << "en_US" << 100 * gb << "100 GB";
        QTest::newRow("466") << "en_US" << 466 * gb << "466 GB";
        QTest::newRow("1,863") << "en_US" << qint64(2000398934016) << "1,863 GB";
        QTest::newRow("pl decimal comma") << "pl_PL" << gb / 2 << "0,500 GB";
        // Grouped by three from the first thousand, as the size texts of the listing are.
        QTest::newRow("pl grouped like sizes")
            << "pl_PL" << qint64(2000398934016) << "1\u00A0863 GB";
        QTest::newRow("C locale groups too") << "C" << qint64(2000398934016) << "1,863 GB";
        QTest::newRow("just below 1 GB") << "en_US" << gb - 1 << "1.000 GB";
        QTest::newRow("pl group") << "pl_PL" << 12345 * gb << "12\u00A0345 GB";
    }
    void gigabyteText()
    {
        QFETCH(QString, locale);
        QFETCH(qint64, bytes);
        QFETCH(QString, expected);
        const TLocaleScope scope(locale);
        QCOMPARE(GigabyteText(bytes), expected);
    }

    void driveLineText()
    {
        const TLocaleScope scope(QStringLiteral("en_US"));
        TDriveInfo d = drive("/data", TDriveType::Fixed);
        d.VolumeName = QStringLiteral("Da\nta");
        d.FileSystem = QStringLiteral("ext4");
        d.SerialText = QStringLiteral("1A2B-3C4D");
        d.TotalSize = 466 * qint64(1073741824);
        d.FreeSize = 346 * qint64(1073741824);
        QCOMPARE(DriveLineText(d),
                 QString::fromUtf8(":: Drive: /data (Da\uFFFDta) ext4; Serial: 1A2B-3C4D; "
                                   "Size: 466 GB; Used: 120 GB"));
        d.TotalSize = 0;
        QCOMPARE(DriveLineText(d), QString());
    }

    void systemDrives()
    {
        const QList<TDriveInfo> drives = SystemDriveList();
        QVERIFY(!drives.isEmpty());
        bool root = false;
        for (const TDriveInfo& d : drives) {
            QVERIFY2(QFileInfo(d.MountPoint).isDir(), qPrintable(d.MountPoint));
            QVERIFY(!d.MountPoint.startsWith(QStringLiteral("/proc")));
            root = root || (d.MountPoint == u"/" && d.DriveType == TDriveType::Fixed);
        }
        QVERIFY(root);
        const std::optional<TDriveInfo> holder = DriveInfoForPath(QString(QDir::tempPath() + u'/'));
        QVERIFY(holder && holder->TotalSize > 0);
    }
};

QTEST_GUILESS_MAIN(TestDrives)
#include "tst_drives.moc"
