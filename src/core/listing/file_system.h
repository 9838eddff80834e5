#pragma once

#include <QByteArray>
#include <QString>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

// The narrow set of file-system reads the folder walker stands on: open a folder (by path or
// relative to its open parent), read its entries as raw names, classify and size an entry.
namespace dirka {

/// A monotonic millisecond tick that wraps like a 32-bit counter.
std::uint32_t TickCount();

/// Device and inode: what a folder is, whatever path leads to it.
struct TFolderIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    bool operator==(const TFolderIdentity&) const = default;
};

/// For sets of folders already seen.
struct TFolderIdentityHash {
    std::size_t operator()(const TFolderIdentity& id) const
    {
        return std::hash<std::uint64_t>()(id.Inode * 0x9E3779B97F4A7C15ull ^ id.Device);
    }
};

enum class TEntryKind { Folder, File, Special };

namespace detail {

/// The length of an entry's name. Linux pads each getdents64 record after the name's NUL
/// to a multiple of 8 bytes, so that NUL is among the record's last 8 bytes: one word read finds
/// it, where a string scan was a call per entry.
inline std::size_t EntryNameLength(const dirent64* d)
{
    if constexpr (std::endian::native != std::endian::little) {
        return std::strlen(d->d_name);
    } else {
        const auto* record = reinterpret_cast<const char*>(d);
        const std::size_t nameStart = offsetof(dirent64, d_name);
        const std::size_t lastWord = d->d_reclen - 8u;
        std::uint64_t word = 0;
        std::memcpy(&word, record + lastWord, sizeof word);
        // The shortest records' last word begins before the name: those bytes must not count.
        if (lastWord < nameStart)
            word |= (std::uint64_t(1) << (8 * (nameStart - lastWord))) - 1;
        constexpr std::uint64_t Ones = 0x0101010101010101u;
        constexpr std::uint64_t Highs = 0x8080808080808080u;
        // The lowest byte that is 0 is the lowest with its high bit set here.
        const std::uint64_t zeros = (word - Ones) & ~word & Highs;
        return lastWord + std::size_t(std::countr_zero(zeros) / 8) - nameStart;
    }
}

/// The kind a folder's type hint tells (not DT_LNK or DT_UNKNOWN, which tell none).
inline TEntryKind KindOfType(unsigned char type)
{
    switch (type) {
    case DT_DIR:
        return TEntryKind::Folder;
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK:
        return TEntryKind::Special;
    default:
        return TEntryKind::File;
    }
}

} // namespace detail

/// One entry as the folder returned it; Name points into the reader's buffer and stays valid
/// until the next call of Next(). As Next() gives it, DecodePadding bytes past the name's end
/// can be read.
struct TRawEntry {
    const char* Name = nullptr;
    std::size_t NameLength = 0;
    std::uint64_t Inode = 0;
    std::uint32_t Index = 0; // 0 for the folder's first entry, counted by Next()
    unsigned char Type = 0;  // DT_* hint; DT_UNKNOWN when the file system gives none
};

/// What an entry turned out to be.
struct TEntryFacts {
    bool Vanished = false; // gone between reading the folder and looking at it: skip it
    bool IsLink = false;   // a symbolic link; Kind, Size and Modified are its target's
    bool LookedAt = false; // the system said what it is: Modified holds its time
    TEntryKind Kind = TEntryKind::File;
    std::int64_t Size = 0;     // of a file, and of a link to one
    std::int64_t Modified = 0; // seconds since 1970; a dangling link's own time
};

inline bool IsDotOrDotDot(const TRawEntry& e)
{
    return e.Name[0] == '.' && (e.NameLength == 1 || (e.NameLength == 2 && e.Name[1] == '.'));
}

/// An open folder being read. Move-only; closes itself.
class TFolderReader {
public:
    TFolderReader() = default;
    TFolderReader(TFolderReader&& other) noexcept;
    TFolderReader& operator=(TFolderReader&& other) noexcept;
    TFolderReader(const TFolderReader&) = delete;
    TFolderReader& operator=(const TFolderReader&) = delete;
    ~TFolderReader();

    /// Opens a folder by its full path.
    static TFolderReader OpenPath(const QByteArray& path);
    /// Opens the subfolder rawName of an open folder (follows a link to a folder).
    static TFolderReader OpenChild(const TFolderReader& parent, const QByteArray& rawName);
    /// The same for a name that ends in NUL.
    static TFolderReader OpenChild(const TFolderReader& parent, const char* rawName);
    /// The same folder under a descriptor of its own, for opening its subfolders elsewhere;
    /// its entries are not read.
    static TFolderReader Duplicate(const TFolderReader& folder);

    /// A folder that is not on a disk (a saved listing's): entries laid out by TEntryBlock, given
    /// by Next() as those of a folder read with ReadAll. It has no descriptor.
    static TFolderReader FromEntries(std::unique_ptr<char[]> entries, std::size_t bytes,
                                     TFolderIdentity identity);

    bool IsOpen() const { return m_fd >= 0 || m_readAll; }
    /// The errno of a failed open or read; 0 when none.
    int Error() const { return m_error; }
    TFolderIdentity Identity() const { return m_identity; }
    /// The file-system type name of the folder's mount ("ext4", "proc" ...); empty when unknown.
    QByteArray FileSystemType() const;

    /// The next entry, "." and ".." included; false at the end or on a read error. Asked for
    /// every entry, so it is inline.
    bool Next(TRawEntry& entry)
    {
        if (m_next >= m_used && !fill())
            return false;
        const auto* d = reinterpret_cast<const dirent64*>(m_buffer.get() + m_next);
        m_next += d->d_reclen;
        entry.Name = d->d_name;
        entry.NameLength = detail::EntryNameLength(d);
        entry.Inode = d->d_ino;
        entry.Index = m_index++;
        entry.Type = d->d_type;
        return true;
    }
    /// The descriptor of an open folder (-1 when closed), for looking at its entries.
    int Descriptor() const { return m_fd; }
    /// Reads every entry now, so Next() gives them with no system call and their names stay
    /// valid as long as the reader: for a folder read on one thread and walked on another.
    /// False on a read error (Error() tells), with the entries read until then.
    bool ReadAll();
    /// Starts Next() again at the first entry of a folder read with ReadAll().
    void Rewind()
    {
        m_next = 0;
        m_index = 0;
    }
    /// Kind and, when wanted, size and time of an entry: links are followed; a dangling link is a
    /// file of size 0 with its own time; an entry that cannot be looked at is classified by its
    /// type hint, size 0. Whether an entry is a link is known whenever it may be a folder.
    TEntryFacts Examine(const TRawEntry& entry, bool wantSize) const
    {
        // A type hint that rules out a link answers without a system call when no size is wanted.
        const bool mayBeLink = entry.Type == DT_LNK || entry.Type == DT_UNKNOWN;
        if (!mayBeLink && (entry.Type == DT_DIR || !wantSize)) {
            TEntryFacts facts;
            facts.Kind = detail::KindOfType(entry.Type);
            return facts;
        }
        return lookUp(entry);
    }

private:
    void adopt(int fd);
    void releaseBuffer();
    TEntryFacts lookUp(const TRawEntry& entry) const;

    bool fill();

    int m_fd = -1;
    // Entries are read straight from the system in blocks: Next() walks m_buffer up to m_used.
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    std::size_t m_next = 0;
    std::uint32_t m_index = 0;
    bool m_readAll = false; // m_buffer holds every entry
    int m_error = 0;
    TFolderIdentity m_identity;
};

/// Lays out entries as the system does for a folder, for TFolderReader::FromEntries.
class TEntryBlock {
public:
    /// Room for count entries whose names take nameBytes together.
    TEntryBlock(std::size_t count, std::size_t nameBytes);
    /// A name of at most 255 bytes without NUL, as a folder holds them.
    void Add(const char* name, std::size_t length, std::uint64_t inode, unsigned char type);
    TFolderReader Reader(TFolderIdentity identity);

private:
    std::unique_ptr<char[]> m_bytes;
    std::size_t m_used = 0;
};

/// The identities of a path and of every folder above it, lexically and after resolving links.
std::vector<TFolderIdentity> IdentitiesUpTo(const QByteArray& path);

/// True for the file systems whose folders are listed but never entered (proc, sysfs ...).
bool IsPseudoFileSystem(const QByteArray& type);

/// Lets the process hold as many open files as the system allows, so the walk's few open folders
/// never crowd out the rest of the program.
void RaiseOpenFileLimit();

/// Why a path that names something cannot be reached ("Permission denied" on a folder above
/// it), or empty when it is simply missing or there.
QString UnreachableReason(const QString& path);

} // namespace dirka
