#pragma once

#include "core/listing/mount_table.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>

// Drives are mount points: the system's mount table in table order, without pseudo file
// systems, each with a kind, its file system label, a serial text from the file system UUID and
// its sizes from statvfs.
namespace dirka {

/// Drive kinds, numbered as the platform's drive type codes.
enum class TDriveType : std::uint8_t {
    Unknown = 0,
    Removable = 2, // USB and SD media, mounts under /media and /run/media
    Fixed = 3,
    Network = 4,
    CdDvd = 5,
    Ram = 6,
};

/// A drive. Only MountPoint, FileSystem and DriveType are filled unless asked for in full.
struct TDriveInfo {
    QString MountPoint;
    QString SerialText; // "1A2B-3C4D": the UUID's first 8 hex digits, or "0000-0000"
    std::uint32_t Serial = 0;
    QString VolumeName; // the file system label, empty when unknown
    QString FileSystem;
    TDriveType DriveType = TDriveType::Unknown;
    std::int64_t TotalSize = 0; // f_blocks x f_frsize
    std::int64_t FreeSize = 0;  // f_bavail x f_frsize
};

/// The kind of a mount: CD/DVD, network and RAM by file system type, then removable by place
/// or device, else fixed.
TDriveType DriveTypeOf(const TMountEntry& entry);

/// The drive of a mount entry; full adds label, serial and sizes. diskFolder holds the
/// by-label and by-uuid link folders: DriveInfo(entry, true).SerialText == "1A2B-3C4D"
TDriveInfo DriveInfo(const TMountEntry& entry, bool full,
                     const QString& diskFolder = QStringLiteral("/dev/disk"));

/// The drives of a table in table order (an over-mounted point once, where it first appears,
/// with its last kind), without pseudo file systems, squashfs under /snap and tmpfs under /run,
/// /dev and /sys; "/" is always there as a fixed drive.
QList<TDriveInfo> DriveList(const QList<TMountEntry>& table);

/// DriveList of the system's table without mount points that are no folders (file binds).
QList<TDriveInfo> SystemDriveList();

/// The mount that holds path: the last one in table order whose mount point is path or lies
/// above it (a later mount hides what was mounted below its point before).
std::optional<TMountEntry> MountEntryOf(QStringView path, const QList<TMountEntry>& table);

/// The full drive of the mount holding path, from the system's table (for the drive line).
std::optional<TDriveInfo> DriveInfoForPath(QStringView path);

/// ":: Drive: / (root) ext4; Serial: 1A2B-3C4D; Size: 466 GB; Used: 120 GB"; empty when the
/// drive's TotalSize is not greater than 0 (the line is then left out).
QString DriveLineText(const TDriveInfo& drive);

/// "/media/usb  <Removable>": the mount point and the suffix of its kind.
QString DriveEntryText(const TDriveInfo& drive);

/// The location box's list: the drive entries, the all-drives entry ("/a | /b", the fixed and
/// removable mount points inside no other one, when at least two remain), then "<Desktop>",
/// "<My Documents>", "<Desktop> | <My Documents>", "<Program Files>".
QStringList LocationList(const QList<TDriveInfo>& drives);

/// "XXXX-XXXX" from the first 8 hex digits of a UUID, "0000-0000" when it has fewer:
/// SerialTextOf(u"1a2b3c4d-0000-...") == "1A2B-3C4D"
QString SerialTextOf(QStringView uuid);

/// bytes in GB through QLocale(), with 3, 2, 1 or 0 decimals below 1, 10, 100 GB and from
/// 100 GB on: GigabyteText(536870912) == "0.500 GB", GigabyteText(2000398934016) == "1,863 GB"
QString GigabyteText(std::int64_t bytes);

} // namespace dirka
