#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <unordered_map>

// The kernel's table of mounts (/proc/self/mountinfo), read for the drive list and for the
// walker's check of pseudo file systems.
namespace dirka {

/// One mount, escapes (\040 ...) decoded; undecodable bytes round-trip as U+DC80..U+DCFF.
struct TMountEntry {
    QString Device;                 // "/dev/sda1", "server:/export", "tmpfs"
    QString MountPoint;             // "/media/usb stick"
    QString FileSystem;             // "vfat"
    std::uint64_t DeviceNumber = 0; // st_dev of the mounted file system
};

/// The text of /proc/self/mountinfo; empty when it cannot be read.
QByteArray ReadMountTable();

/// ParseMountTable("36 1 8:17 / /media/my\\040stick rw - vfat /dev/sdb1 rw\n") gives one entry
/// with the mount point "/media/my stick", in table order. Lines without the " - " field that
/// ends the optional fields, or too short, are skipped.
QList<TMountEntry> ParseMountTable(QByteArrayView table);

/// The file-system types of mounts by device number, for a listing that asks wherever it crosses
/// into another mount: the table is read when first asked and again when a device is not in it
/// (mounted since).
class TMountTypes {
public:
    /// "proc", "ext4" ...; empty when no mount has that device number.
    QByteArray TypeOf(std::uint64_t deviceNumber);

private:
    std::unordered_map<std::uint64_t, QByteArray> m_types;
};

/// The file-system type of the mount with that device number, from the table as it is now.
QByteArray FileSystemTypeOf(std::uint64_t deviceNumber);

} // namespace dirka
