#include "core/listing/drives.h"

#include "core/listing/file_system.h"
#include "core/listing/line_composition.h"
#include "core/settings/locations.h"
#include "core/system/file_io.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace dirka {

namespace {

bool isUnder(QStringView path, QStringView root)
{
    if (root == u"/")
        return path.startsWith(u'/');
    return path == root || (path.startsWith(root) && path.size() > root.size() &&
                            path[root.size()] == PathDelimiter);
}

bool isUnderAny(QStringView path, std::initializer_list<QStringView> roots)
{
    for (QStringView root : roots)
        if (isUnder(path, root))
            return true;
    return false;
}

// Kernel and desktop plumbing that holds no user files, beyond the walker's pseudo file systems.
bool isPlumbing(QStringView fs)
{
    static const QStringList plumbing = {
        QStringLiteral("efivarfs"),        QStringLiteral("nsfs"), QStringLiteral("rpc_pipefs"),
        QStringLiteral("selinuxfs"),       QStringLiteral("nfsd"), QStringLiteral("fuse.portal"),
        QStringLiteral("fuse.gvfsd-fuse"),
    };
    return plumbing.contains(fs);
}

bool isExcluded(const TMountEntry& entry)
{
    const QString& fs = entry.FileSystem;
    if (IsPseudoFileSystem(fs.toUtf8()) || isPlumbing(fs))
        return true;
    // A location text cannot name such a mount point: "|" separates locations and "<" starts
    // an annotation.
    if (entry.MountPoint.contains(u'|') || entry.MountPoint.contains(u'<'))
        return true;
    if (fs == u"squashfs" && isUnder(entry.MountPoint, u"/snap"))
        return true;
    return fs == u"tmpfs" && isUnderAny(entry.MountPoint, {u"/run", u"/dev", u"/sys"});
}

bool isNetworkFileSystem(QStringView fs)
{
    static const QStringList network = {
        QStringLiteral("nfs"),        QStringLiteral("nfs4"),
        QStringLiteral("cifs"),       QStringLiteral("smb3"),
        QStringLiteral("smbfs"),      QStringLiteral("sshfs"),
        QStringLiteral("fuse.sshfs"), QStringLiteral("9p"),
        QStringLiteral("afs"),        QStringLiteral("ceph"),
        QStringLiteral("glusterfs"),  QStringLiteral("fuse.glusterfs"),
        QStringLiteral("davfs"),      QStringLiteral("fuse.rclone"),
        QStringLiteral("ncpfs"),
    };
    return network.contains(fs);
}

// A block device on a USB bus or flagged removable by the kernel (sysfs).
bool isRemovableDevice(const QString& device)
{
    if (!device.startsWith(u"/dev/"))
        return false;
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.isEmpty())
        return false;
    const QString sysPath = QFileInfo(u"/sys/class/block/" + name).canonicalFilePath();
    if (sysPath.isEmpty())
        return false;
    if (sysPath.contains(u"/usb"))
        return true;
    for (const QString& flag :
         {QString(sysPath + u"/removable"), QString(sysPath + u"/../removable")}) {
        QFile file(flag);
        if (file.open(QIODevice::ReadOnly) && file.read(1) == "1")
            return true;
    }
    return false;
}

// udev names its links with \xHH escapes for unsafe bytes ("My\x20Stick").
QString decodeUdevName(const QString& name)
{
    QByteArray bytes = name.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bool ok = false;
        const int value = i + 3 < bytes.size() && bytes[i] == '\\' && bytes[i + 1] == 'x'
                              ? bytes.mid(i + 2, 2).toInt(&ok, 16)
                              : 0;
        if (ok) {
            out += char(value);
            i += 3;
        } else {
            out += bytes[i];
        }
    }
    return QString::fromUtf8(out);
}

// The name of the link in folder that leads to device, e.g. its label under by-label.
QString linkNameFor(const QString& folder, const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QFileInfoList links = QDir(folder).entryInfoList(QDir::Files | QDir::System);
    for (const QFileInfo& link : links)
        if (link.canonicalFilePath() == target)
            return decodeUdevName(link.fileName());
    return {};
}

void fillSizes(TDriveInfo& drive)
{
    struct statvfs facts;
    if (::statvfs(EncodeFileName(drive.MountPoint).constData(), &facts) != 0)
        return;
    drive.TotalSize = std::int64_t(facts.f_blocks) * std::int64_t(facts.f_frsize);
    drive.FreeSize = std::int64_t(facts.f_bavail) * std::int64_t(facts.f_frsize);
}

QString suffixOf(TDriveType type)
{
    switch (type) {
    case TDriveType::Removable:
        return QStringLiteral("  <Removable>");
    case TDriveType::Network:
        return QStringLiteral("  <Network>");
    case TDriveType::CdDvd:
        return QStringLiteral("  <CD/DVD>");
    case TDriveType::Ram:
        return QStringLiteral("  <RAM>");
    default:
        return {};
    }
}

} // namespace

TDriveType DriveTypeOf(const TMountEntry& entry)
{
    const QString& fs = entry.FileSystem;
    if (fs == u"iso9660" || fs == u"udf")
        return TDriveType::CdDvd;
    if (isNetworkFileSystem(fs))
        return TDriveType::Network;
    if (fs == u"tmpfs" || fs == u"ramfs")
        return TDriveType::Ram;
    if (isUnderAny(entry.MountPoint, {u"/media", u"/run/media"}) || isRemovableDevice(entry.Device))
        return TDriveType::Removable;
    return TDriveType::Fixed;
}

TDriveInfo DriveInfo(const TMountEntry& entry, bool full, const QString& diskFolder)
{
    TDriveInfo drive;
    drive.MountPoint = entry.MountPoint;
    drive.FileSystem = entry.FileSystem;
    drive.DriveType = entry.MountPoint == u"/" ? TDriveType::Fixed : DriveTypeOf(entry);
    if (!full)
        return drive;
    const bool onDevice = entry.Device.startsWith(u'/');
    drive.VolumeName = onDevice ? linkNameFor(diskFolder + u"/by-label", entry.Device) : QString();
    const QString uuid = onDevice ? linkNameFor(diskFolder + u"/by-uuid", entry.Device) : QString();
    drive.SerialText = SerialTextOf(uuid);
    drive.Serial = QStringView(drive.SerialText).first(4).toUInt(nullptr, 16) << 16 |
                   QStringView(drive.SerialText).last(4).toUInt(nullptr, 16);
    fillSizes(drive);
    return drive;
}

QList<TDriveInfo> DriveList(const QList<TMountEntry>& table)
{
    QList<TDriveInfo> drives;
    for (const TMountEntry& entry : table) {
        if (isExcluded(entry))
            continue;
        const TDriveInfo drive = DriveInfo(entry, false);
        const auto same = std::find_if(drives.begin(), drives.end(), [&](const TDriveInfo& d) {
            return d.MountPoint == drive.MountPoint;
        });
        if (same != drives.end())
            *same = drive; // mounted over: the later mount is the one seen
        else
            drives.append(drive);
    }
    const bool hasRoot = std::any_of(drives.begin(), drives.end(),
                                     [](const TDriveInfo& d) { return d.MountPoint == u"/"; });
    if (!hasRoot) {
        TDriveInfo root;
        root.MountPoint = QStringLiteral("/");
        root.DriveType = TDriveType::Fixed;
        drives.prepend(root);
    }
    return drives;
}

QList<TDriveInfo> SystemDriveList()
{
    QList<TDriveInfo> drives = DriveList(ParseMountTable(ReadMountTable()));
    // A network mount is never looked at here: a share whose server is gone would block.
    drives.removeIf([](const TDriveInfo& d) {
        return d.DriveType != TDriveType::Network && !IsExistingFolder(d.MountPoint);
    });
    return drives;
}

std::optional<TMountEntry> MountEntryOf(QStringView path, const QList<TMountEntry>& table)
{
    // A mount hides whatever was mounted below its point before it, so the last mount that
    // covers the path is the one that holds it.
    for (qsizetype i = table.size() - 1; i >= 0; --i)
        if (isUnder(path, table[i].MountPoint))
            return table[i];
    return std::nullopt;
}

std::optional<TDriveInfo> DriveInfoForPath(QStringView path)
{
    // The mount that holds the folder itself, also when the path leads there through a link.
    QString realPath = path.toString();
    if (char* resolved = ::realpath(EncodeFileName(path).constData(), nullptr)) {
        realPath = DecodeFileName(QByteArray(resolved));
        ::free(resolved);
    }
    const std::optional<TMountEntry> entry =
        MountEntryOf(realPath, ParseMountTable(ReadMountTable()));
    if (!entry)
        return std::nullopt;
    return DriveInfo(*entry, true);
}

QString DriveLineText(const TDriveInfo& drive)
{
    if (drive.TotalSize <= 0)
        return {};
    QString line = QStringLiteral(":: Drive: ");
    AppendShown(line, drive.MountPoint);
    line += u" (";
    AppendShown(line, drive.VolumeName);
    line += u") ";
    AppendShown(line, drive.FileSystem);
    return line + u"; Serial: " + drive.SerialText + u"; Size: " + GigabyteText(drive.TotalSize) +
           u"; Used: " + GigabyteText(drive.TotalSize - drive.FreeSize);
}

QString DriveEntryText(const TDriveInfo& drive)
{
    return drive.MountPoint + suffixOf(drive.DriveType);
}

QStringList LocationList(const QList<TDriveInfo>& drives)
{
    QStringList list;
    QStringList roots;
    for (const TDriveInfo& drive : drives) {
        list.append(DriveEntryText(drive));
        if (drive.DriveType == TDriveType::Fixed || drive.DriveType == TDriveType::Removable)
            roots.append(drive.MountPoint);
    }
    // A walk crosses nested mounts anyway, so only the outermost ones are joined.
    QStringList outermost;
    for (const QString& root : roots) {
        const bool nested = std::any_of(roots.begin(), roots.end(), [&](const QString& other) {
            return other != root && isUnder(root, other);
        });
        if (!nested)
            outermost.append(root);
    }
    if (outermost.size() >= 2)
        list.append(outermost.join(u" | "));
    const QString desktop = QString::fromUtf16(DesktopLocationText);
    const QString documents = QString::fromUtf16(DocumentsLocationText);
    list << desktop << documents << desktop + u" | " + documents
         << QString::fromUtf16(ProgramFilesLocationText);
    return list;
}

QString SerialTextOf(QStringView uuid)
{
    QString digits;
    for (QChar c : uuid) {
        if (digits.size() == 8)
            break;
        if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))
            digits += c.toUpper();
        else if (c != u'-')
            break; // not a UUID after all
    }
    if (digits.size() < 8)
        return QStringLiteral("0000-0000");
    return digits.first(4) + u'-' + digits.last(4);
}

QString GigabyteText(std::int64_t bytes)
{
    constexpr std::int64_t GB = std::int64_t(1) << 30;
    const int decimals = bytes < GB ? 3 : bytes < 10 * GB ? 2 : bytes < 100 * GB ? 1 : 0;
    return BinaryUnitsText(bytes, 30, decimals) + u" GB";
}

} // namespace dirka
