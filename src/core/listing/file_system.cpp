#include "core/listing/file_system.h"

#include "core/listing/mount_table.h"
#include "core/system/file_io.h"
#include "core/text/file_names.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace dirka {

namespace {

// Bytes of entries one read of a folder brings, as much as the C library's own folder reader
// asks for.
constexpr std::size_t EntryBlockBytes = 32768;

// Blocks of readers that are done, for the next folders: a walk opens one every few
// microseconds, and a block from the allocator each time cost more than its reading.
std::vector<std::unique_ptr<char[]>>& spareBlocks()
{
    thread_local std::vector<std::unique_ptr<char[]>> blocks;
    return blocks;
}

std::unique_ptr<char[]> takeBlock()
{
    std::vector<std::unique_ptr<char[]>>& spare = spareBlocks();
    if (spare.empty())
        // Zeroed once: the bytes past a name that its decoding reads (padding the system leaves
        // unwritten, the block's tail) are never uninitialised memory.
        return std::make_unique<char[]>(EntryBlockBytes + DecodePadding);
    std::unique_ptr<char[]> block = std::move(spare.back());
    spare.pop_back();
    return block;
}

void giveBack(std::unique_ptr<char[]>& block)
{
    constexpr std::size_t KeptBlocks = 4;
    std::vector<std::unique_ptr<char[]>>& spare = spareBlocks();
    if (block && spare.size() < KeptBlocks)
        spare.push_back(std::move(block));
    block.reset();
}

TEntryKind kindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return TEntryKind::Folder;
    if (S_ISREG(mode) || S_ISLNK(mode))
        return TEntryKind::File;
    return TEntryKind::Special;
}

} // namespace

std::uint32_t TickCount()
{
    timespec now{};
#ifdef CLOCK_MONOTONIC_COARSE
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    return std::uint32_t(std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u);
}

TFolderReader::TFolderReader(TFolderReader&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_buffer(std::move(other.m_buffer)),
      m_used(std::exchange(other.m_used, 0)), m_next(std::exchange(other.m_next, 0)),
      m_index(std::exchange(other.m_index, 0)), m_readAll(std::exchange(other.m_readAll, false)),
      m_error(other.m_error), m_identity(other.m_identity)
{
}

TFolderReader& TFolderReader::operator=(TFolderReader&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_error = other.m_error;
        m_identity = other.m_identity;
        releaseBuffer();
        m_buffer = std::move(other.m_buffer);
        // A reader moved from has no entries left to give.
        m_used = std::exchange(other.m_used, 0);
        m_next = std::exchange(other.m_next, 0);
        m_index = std::exchange(other.m_index, 0);
        m_readAll = std::exchange(other.m_readAll, false);
    }
    return *this;
}

TFolderReader::~TFolderReader()
{
    if (m_fd >= 0)
        close(m_fd);
    releaseBuffer();
}

// A buffer of a whole folder is its own size; only the walk's fixed blocks are kept for reuse.
void TFolderReader::releaseBuffer()
{
    if (m_readAll)
        m_buffer.reset();
    else
        giveBack(m_buffer);
}

// Most folders fit in one block: they are read into a reused one and keep a copy of their own
// size, as a folder read ahead waits a while before the walk takes it (a block each would be
// 32 KiB for a few hundred bytes of entries, all zeroed).
bool TFolderReader::ReadAll()
{
    if (m_fd < 0)
        return false;
    std::unique_ptr<char[]> block = takeBlock();
    std::unique_ptr<char[]> grown;
    char* all = block.get();
    std::size_t capacity = EntryBlockBytes;
    std::size_t used = 0;
    for (;;) {
        if (capacity - used < EntryBlockBytes / 2) {
            auto larger = std::make_unique<char[]>(2 * capacity + DecodePadding); // zeroed
            std::memcpy(larger.get(), all, used);
            grown = std::move(larger);
            all = grown.get();
            capacity *= 2;
        }
        ssize_t got;
        do
            got = getdents64(m_fd, all + used, capacity - used);
        while (got < 0 && errno == EINTR);
        if (got < 0 && errno != ENOENT)
            m_error = errno;
        if (got <= 0)
            break;
        used += std::size_t(got);
    }
    if (!grown) {
        grown = std::make_unique_for_overwrite<char[]>(used + DecodePadding);
        std::memcpy(grown.get(), all, used);
        std::memset(grown.get() + used, 0, DecodePadding);
    }
    giveBack(block);
    releaseBuffer();
    m_buffer = std::move(grown);
    m_readAll = true;
    m_used = used;
    m_next = 0;
    m_index = 0;
    return m_error == 0;
}

TFolderReader TFolderReader::FromEntries(std::unique_ptr<char[]> entries, std::size_t bytes,
                                         TFolderIdentity identity)
{
    TFolderReader reader;
    reader.m_buffer = std::move(entries);
    reader.m_used = bytes;
    reader.m_readAll = true;
    reader.m_identity = identity;
    return reader;
}

namespace {

// A record is its header, the name and its NUL, padded to 8 bytes: the layout EntryNameLength
// reads.
std::size_t entryRecordBytes(std::size_t nameLength)
{
    return (offsetof(dirent64, d_name) + nameLength + 1 + 7) & ~std::size_t(7);
}

} // namespace

TEntryBlock::TEntryBlock(std::size_t count, std::size_t nameBytes)
    // Zeroed: the padding and the bytes past the last name read as NUL.
    : m_bytes(
          std::make_unique<char[]>(count * (entryRecordBytes(0) + 8) + nameBytes + DecodePadding))
{
}

void TEntryBlock::Add(const char* name, std::size_t length, std::uint64_t inode, unsigned char type)
{
    auto* d = reinterpret_cast<dirent64*>(m_bytes.get() + m_used);
    d->d_ino = inode;
    d->d_off = 0;
    d->d_reclen = static_cast<unsigned short>(entryRecordBytes(length));
    d->d_type = type;
    std::memcpy(d->d_name, name, length);
    m_used += d->d_reclen;
}

TFolderReader TEntryBlock::Reader(TFolderIdentity identity)
{
    return TFolderReader::FromEntries(std::move(m_bytes), std::exchange(m_used, 0), identity);
}

void TFolderReader::adopt(int fd)
{
    if (fd < 0) {
        m_error = errno;
        return;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        m_error = errno;
        close(fd);
        return;
    }
    m_identity = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    m_fd = fd;
}

TFolderReader TFolderReader::OpenPath(const QByteArray& path)
{
    TFolderReader reader;
    reader.adopt(open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return reader;
}

TFolderReader TFolderReader::OpenChild(const TFolderReader& parent, const QByteArray& rawName)
{
    return OpenChild(parent, rawName.constData());
}

TFolderReader TFolderReader::OpenChild(const TFolderReader& parent, const char* rawName)
{
    TFolderReader reader;
    reader.adopt(openat(parent.m_fd, rawName, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return reader;
}

TFolderReader TFolderReader::Duplicate(const TFolderReader& folder)
{
    TFolderReader copy;
    copy.m_fd = folder.m_fd >= 0 ? fcntl(folder.m_fd, F_DUPFD_CLOEXEC, 0) : -1;
    copy.m_error = copy.m_fd < 0 ? errno : 0;
    copy.m_identity = folder.m_identity;
    return copy;
}

QByteArray TFolderReader::FileSystemType() const
{
    return FileSystemTypeOf(m_identity.Device);
}

// Reads the next block of entries; false at the end or on an error.
bool TFolderReader::fill()
{
    if (m_fd < 0 || m_readAll)
        return false;
    if (!m_buffer)
        m_buffer = takeBlock();
    ssize_t got;
    do
        got = getdents64(m_fd, m_buffer.get(), EntryBlockBytes);
    while (got < 0 && errno == EINTR);
    // A folder removed while it is read answers ENOENT: it simply has no more entries.
    if (got < 0 && errno != ENOENT)
        m_error = errno;
    m_used = got > 0 ? std::size_t(got) : 0;
    m_next = 0;
    // A folder read to its end often stays open while its subfolders are listed.
    if (got <= 0)
        giveBack(m_buffer);
    return got > 0;
}

TEntryFacts TFolderReader::lookUp(const TRawEntry& entry) const
{
    TEntryFacts facts;
    // Without a type hint the entry's own kind comes first, so a link to a folder is told from a
    // folder; for anything but a link that one look is all it takes, as with the hint.
    facts.IsLink = entry.Type == DT_LNK;
    struct stat st {};
    int result = fstatat(m_fd, entry.Name, &st, facts.IsLink ? 0 : AT_SYMLINK_NOFOLLOW);
    if (result == 0 && S_ISLNK(st.st_mode)) {
        facts.IsLink = true;
        result = fstatat(m_fd, entry.Name, &st, 0);
    }
    if (result == 0) {
        facts.Kind = kindOfMode(st.st_mode);
        if (facts.Kind == TEntryKind::File)
            facts.Size = std::int64_t(st.st_size);
        facts.LookedAt = true;
        facts.Modified = st.st_mtim.tv_sec;
        return facts;
    }
    const int error = errno;
    facts.Kind =
        facts.IsLink || error == ENOENT ? TEntryKind::File : detail::KindOfType(entry.Type);
    if (error != ENOENT && !facts.IsLink)
        return facts;
    // A link whose target is missing or out of reach is a file of size 0 with its own time; an
    // entry that is not even there any more is gone since the folder was read.
    struct stat own {};
    if (fstatat(m_fd, entry.Name, &own, AT_SYMLINK_NOFOLLOW) == 0) {
        facts.LookedAt = true;
        facts.Modified = own.st_mtim.tv_sec;
    } else if (error == ENOENT) {
        facts.Vanished = true;
    }
    return facts;
}

namespace {

void addSelfAndAncestors(QByteArray path, std::vector<TFolderIdentity>& identities)
{
    for (;;) {
        struct stat st {};
        if (stat(path.constData(), &st) == 0)
            identities.push_back({std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)});
        if (path == "/")
            return;
        const qsizetype slash = path.lastIndexOf('/', path.size() - 2);
        if (slash < 0)
            return;
        path = slash == 0 ? QByteArray("/") : path.left(slash);
    }
}

} // namespace

std::vector<TFolderIdentity> IdentitiesUpTo(const QByteArray& path)
{
    std::vector<TFolderIdentity> identities;
    addSelfAndAncestors(path, identities);
    if (char* real = realpath(path.constData(), nullptr)) {
        addSelfAndAncestors(QByteArray(real), identities);
        free(real);
    }
    return identities;
}

bool IsPseudoFileSystem(const QByteArray& type)
{
    static const QSet<QByteArray> pseudo = {
        "proc",    "sysfs",   "devtmpfs",   "devpts",      "cgroup", "cgroup2",
        "debugfs", "tracefs", "securityfs", "pstore",      "bpf",    "configfs",
        "fusectl", "mqueue",  "hugetlbfs",  "binfmt_misc", "autofs",
    };
    return pseudo.contains(type);
}

void RaiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

QString UnreachableReason(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || path.contains(QChar(u'\0')) ||
        ::stat(EncodeFileName(path).constData(), &st) == 0 || errno == ENOENT || errno == ENOTDIR)
        return {};
    return SystemErrorText(errno);
}

} // namespace dirka
