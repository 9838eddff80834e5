#include "core/listing/mount_table.h"

#include "core/text/file_names.h"

#include <QFile>

#include <sys/sysmacros.h>
#include <unordered_map>

namespace dirka {

namespace {

// Mount table fields escape space, tab, newline and backslash as \ and three octal digits.
QString decodeMountField(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](qsizetype k) {
            return k < field.size() && field[k] >= '0' && field[k] <= '7';
        };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            bytes +=
                char((field[i + 1] - '0') << 6 | (field[i + 2] - '0') << 3 | (field[i + 3] - '0'));
            i += 3;
        } else {
            bytes += field[i];
        }
    }
    return DecodeFileName(bytes);
}

std::uint64_t deviceNumberOf(QByteArrayView field)
{
    const qsizetype colon = field.indexOf(':');
    if (colon < 0)
        return 0;
    return makedev(field.first(colon).toUInt(), field.sliced(colon + 1).toUInt());
}

std::unordered_map<std::uint64_t, QByteArray> readTypes()
{
    std::unordered_map<std::uint64_t, QByteArray> types;
    for (const TMountEntry& entry : ParseMountTable(ReadMountTable()))
        types.insert_or_assign(entry.DeviceNumber, entry.FileSystem.toUtf8());
    return types;
}

} // namespace

QByteArray ReadMountTable()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QList<TMountEntry> ParseMountTable(QByteArrayView table)
{
    // Fields: id parent major:minor root mountpoint options [optional...] - type source ...
    QList<TMountEntry> entries;
    for (const QByteArray& line : table.toByteArray().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (dash < 6 || dash + 2 >= fields.size())
            continue;
        entries.append({decodeMountField(fields[dash + 2]), decodeMountField(fields[4]),
                        decodeMountField(fields[dash + 1]), deviceNumberOf(fields[2])});
    }
    return entries;
}

QByteArray TMountTypes::TypeOf(std::uint64_t deviceNumber)
{
    auto found = m_types.find(deviceNumber);
    if (found == m_types.end()) {
        m_types = readTypes();
        found = m_types.find(deviceNumber);
    }
    return found == m_types.end() ? QByteArray() : found->second;
}

QByteArray FileSystemTypeOf(std::uint64_t deviceNumber)
{
    return TMountTypes().TypeOf(deviceNumber);
}

} // namespace dirka
