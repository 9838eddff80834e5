#include "core/system/file_io.h"

#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <cerrno>
#include <cstring>
#include <utility>

#ifdef Q_OS_WIN
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#else
#include <QRegularExpression>

#include <QDir>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dirka {

EFileError::EFileError(const QString& message) : std::runtime_error(message.toStdString()) {}

#ifdef Q_OS_WIN

bool IsExistingFolder(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool IsExistingItem(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool IsSameFile(const QString& a, const QString& b)
{
    return QFileInfo(a).absoluteFilePath().compare(QFileInfo(b).absoluteFilePath(),
                                                   Qt::CaseInsensitive) == 0;
}

#else

namespace {

bool statOf(const QString& path, struct stat& facts)
{
    return !path.isEmpty() && !path.contains(QChar(u'\0')) &&
           ::stat(EncodeFileName(path).constData(), &facts) == 0;
}

} // namespace

bool IsExistingFolder(const QString& path)
{
    struct stat facts {};
    return statOf(path, facts) && S_ISDIR(facts.st_mode);
}

bool IsExistingItem(const QString& path)
{
    struct stat facts {};
    return statOf(path, facts);
}

#endif

namespace {

[[noreturn]] void fail(const QString& fileName, int error)
{
    throw EFileError(fileName + u": " + SystemErrorText(error));
}

} // namespace

#ifdef Q_OS_WIN

// Windows names are UTF-16 already, so Qt's own files reach every name.
struct TFileWriter::TState {
    QString FileName;
    QSaveFile File;
    explicit TState(const QString& name) : FileName(name), File(name) {}
};

TFileWriter::TFileWriter(const QString& fileName) : m_state(std::make_unique<TState>(fileName))
{
    m_state->File.setDirectWriteFallback(true);
    if (!m_state->File.open(QIODevice::WriteOnly))
        throw EFileError(fileName + u": " + m_state->File.errorString());
}

TFileWriter::~TFileWriter() = default; // an uncommitted QSaveFile discards its copy

void TFileWriter::Write(const char* data, qsizetype size)
{
    errno = 0;
    if (m_state->File.write(data, size) != size) {
        const QString reason = errno ? SystemErrorText(errno) : m_state->File.errorString();
        m_state->File.cancelWriting();
        throw EFileError(m_state->FileName + u": " + reason);
    }
}

bool TFileWriter::IsCopy(std::uint64_t, std::uint64_t) const
{
    return false; // a walk on Windows does not see inodes
}

void TFileWriter::Finish()
{
    if (!m_state->File.commit())
        throw EFileError(m_state->FileName + u": " + m_state->File.errorString());
}

void MakeFolders(const QString& folder)
{
    if (!QDir().mkpath(folder))
        throw EFileError(folder + u": " + SystemErrorText(errno ? errno : ENOTDIR));
}

std::optional<QByteArray> ReadFileBytes(const QString& fileName, qsizetype maxSize)
{
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > maxSize)
        return std::nullopt;
    const QByteArray bytes = file.read(maxSize + 1);
    if (bytes.size() > maxSize || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

#else

namespace {

class TDescriptor {
public:
    explicit TDescriptor(int fd) : m_fd(fd) {}
    TDescriptor(TDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    TDescriptor& operator=(TDescriptor&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~TDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int Get() const { return m_fd; }
    // Closes now, so a failing close (an NFS write-back, say) is seen: 0 or the error.
    int Close()
    {
        const int result = ::close(std::exchange(m_fd, -1));
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// 0, or the error that stopped the write.
int writeAll(int fd, const char* p, qsizetype left)
{
    while (left > 0) {
        const ssize_t written = ::write(fd, p, std::size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += written;
        left -= written;
    }
    return 0;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

constexpr int MaxLinkHops = 40; // as the kernel's own limit

// Where the link at path leads (relative targets made relative to the link's folder), or
// nothing when path is no link.
std::optional<QByteArray> linkTarget(const QByteArray& path)
{
    struct stat facts;
    if (::lstat(path.constData(), &facts) != 0 || !S_ISLNK(facts.st_mode))
        return std::nullopt;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
    if (length <= 0)
        return std::nullopt;
    const QByteArray next(target, length);
    return next.startsWith('/') ? next : folderOf(path) + '/' + next;
}

// A link inside a process's descriptor folder (/dev/stdout leads to /proc/self/fd/1) names an
// open stream: replacing the file it leads to by a new one would cut the stream off.
bool isDescriptorLink(QByteArray path)
{
    static const QRegularExpression descriptorFolder(
        QStringLiteral("^/proc/(\\d+|self|thread-self)(/task/\\d+)?/fd$"));
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        const std::optional<QByteArray> next = linkTarget(path);
        if (!next)
            return false;
        char real[PATH_MAX];
        if (::realpath(folderOf(path).constData(), real) &&
            descriptorFolder.match(QString::fromUtf8(real)).hasMatch())
            return true;
        path = *next;
    }
    return false;
}

// The file a chain of links ends at, existing or not, so the finished copy replaces the file
// and never the link.
QByteArray followLinks(QByteArray path)
{
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        std::optional<QByteArray> next = linkTarget(path);
        if (!next)
            break;
        path = std::move(*next);
    }
    return path;
}

constexpr int FifoReaderWaitMs = 3000;
constexpr int FifoReaderPollMs = 100;

// A FIFO without a reader would block the open for ever; a script then hangs without a word.
// It gets a few seconds to appear, then the write fails with "No such device or address".
int openForWriting(const QByteArray& path, int flags)
{
    struct stat facts;
    if (::stat(path.constData(), &facts) != 0 || !S_ISFIFO(facts.st_mode))
        return ::open(path.constData(), O_WRONLY | O_CLOEXEC | flags);
    for (int waited = 0;; waited += FifoReaderPollMs) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | flags);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO || waited >= FifoReaderWaitMs)
            return -1;
        ::usleep(FifoReaderPollMs * 1000);
    }
}

// The finished copy's permissions: the replaced file's, or what a new file would get.
mode_t modeFor(const struct stat* existing)
{
    if (existing)
        return existing->st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

QByteArray temporaryNameFor(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    // Room for the dot and the six random characters within the 255 bytes a name may have.
    const QByteArray base = path.sliced(slash + 1).left(240);
    return path.left(slash + 1) + '.' + base + ".XXXXXX";
}

// A NUL would cut the name short for the system, and another file would be written.
QByteArray systemName(const QString& fileName)
{
    if (fileName.contains(QChar(u'\0')))
        fail(QString(fileName).replace(QChar(u'\0'), QChar(ReplacementChar)), EINVAL);
    return EncodeFileName(fileName);
}

// A private file for the whole content, with no name from the start, so no end of the
// program leaves it behind: beside the target when its folder takes one, else in the user's
// runtime folder or the temporary folder. -1 and errno when none takes it.
int anonymousFile(const QByteArray& target)
{
    QList<QByteArray> folders{folderOf(target)};
    if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        folders.append(runtime);
    folders.append(QFile::encodeName(QDir::tempPath()));
    int error = ENOENT;
    for (const QByteArray& folder : std::as_const(folders)) {
        QByteArray name = folder + "/.dirka-copy.XXXXXX";
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(name.constData());
            return fd;
        }
        error = errno;
    }
    errno = error;
    return -1;
}

// The signals that end a program by default, held while a target is rewritten in place so
// that none of them leaves it half written.
class TSignalsHeld {
public:
    TSignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2})
            sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &m_before);
    }
    ~TSignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    TSignalsHeld(const TSignalsHeld&) = delete;
    TSignalsHeld& operator=(const TSignalsHeld&) = delete;

private:
    sigset_t m_before;
};

constexpr qsizetype CopyChunkBytes = 1 << 20;

// Makes the content of source (size bytes) the content of target in one step: under an
// exclusive lock, so two writers never interleave, with the space claimed first, so a full
// disk is found before the old content is touched. 0 or the error.
int copyInPlace(int source, qsizetype size, int target)
{
    while (::flock(target, LOCK_EX) != 0) {
        if (errno != EINTR)
            return errno;
    }
    const int claimed = size > 0 ? ::posix_fallocate(target, 0, off_t(size)) : 0;
    if (claimed != 0 && claimed != EOPNOTSUPP && claimed != EINVAL)
        return claimed;
    const TSignalsHeld held;
    QByteArray chunk(qMin(size, CopyChunkBytes), Qt::Uninitialized);
    for (qsizetype done = 0; done < size;) {
        const ssize_t got = ::pread(source, chunk.data(), std::size_t(chunk.size()), off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : EIO;
        if (::lseek(target, off_t(done), SEEK_SET) < 0)
            return errno;
        if (const int error = writeAll(target, chunk.constData(), got))
            return error;
        done += got;
    }
    if (::ftruncate(target, off_t(size)) != 0 || (::fdatasync(target) != 0 && errno != EINVAL))
        return errno;
    return 0;
}

// Gives the finished copy the replaced file's owner and group, as far as this process may.
void keepOwner(int copy, const struct stat& existing)
{
    if (::fchown(copy, existing.st_uid, existing.st_gid) != 0)
        (void)::fchown(copy, uid_t(-1), existing.st_gid);
}

} // namespace

struct TFileWriter::TState {
    QString FileName;
    TDescriptor File{-1};
    QByteArray Temporary;    // the copy being written; empty when the target is written in place
    QByteArray Target;       // what the copy replaces
    struct stat Copy {};     // the copy's device and inode
    TDescriptor InPlace{-1}; // a target rewritten from File in one step at the end
    qsizetype Written = 0;

    void openInPlace(const QByteArray& path, int flags);
    void openCopy(const QByteArray& path, const struct stat* existing);
    bool openStaged(const QByteArray& path);
};

void TFileWriter::TState::openInPlace(const QByteArray& path, int flags)
{
    File = TDescriptor(openForWriting(path, flags));
    if (File.Get() < 0)
        fail(FileName, errno);
}

// The target keeps its inode: its other names, its owner and everything else about it. It is
// opened now, so a target that cannot be written is found before the listing.
bool TFileWriter::TState::openStaged(const QByteArray& path)
{
    TDescriptor target(::open(path.constData(), O_WRONLY | O_CLOEXEC));
    if (target.Get() < 0)
        return false;
    TDescriptor stage(anonymousFile(path));
    if (stage.Get() < 0)
        throw EFileError(FileName +
                         u": no folder takes the copy that the file is written "
                         u"from in one step (" +
                         SystemErrorText(errno) + u")");
    InPlace = std::move(target);
    File = std::move(stage);
    return true;
}

void TFileWriter::TState::openCopy(const QByteArray& path, const struct stat* existing)
{
    // Replacing a file with other names would leave them the old content.
    if (existing && existing->st_nlink > 1 && openStaged(path))
        return;
    Target = followLinks(path);
    QByteArray temporary = temporaryNameFor(Target);
    TDescriptor copy(::mkostemp(temporary.data(), O_CLOEXEC));
    int error = copy.Get() < 0 ? errno : 0;
    if (!error && existing)
        keepOwner(copy.Get(), *existing);
    if (!error && ::fchmod(copy.Get(), modeFor(existing)) != 0) {
        error = errno;
        ::unlink(temporary.constData());
    }
    // The folder takes no new file, but the user may still rewrite the file itself.
    if ((error == EACCES || error == EPERM) && existing && openStaged(path))
        return;
    if (error)
        fail(FileName, error);
    ::fstat(copy.Get(), &Copy);
    File = std::move(copy);
    Temporary = temporary;
}

TFileWriter::TFileWriter(const QString& fileName) : m_state(std::make_unique<TState>())
{
    m_state->FileName = fileName;
    const QByteArray path = systemName(fileName);
    struct stat facts;
    if (::stat(path.constData(), &facts) != 0)
        m_state->openCopy(path, nullptr);
    else if (S_ISDIR(facts.st_mode))
        fail(fileName, EISDIR);
    else if (!S_ISREG(facts.st_mode))
        m_state->openInPlace(path, O_TRUNC);
    else if (isDescriptorLink(path))
        // A stream alias of a regular file keeps what the stream already holds, as ">>" would.
        m_state->openInPlace(path, O_APPEND);
    else
        m_state->openCopy(path, &facts);
}

TFileWriter::~TFileWriter()
{
    if (!m_state->Temporary.isEmpty())
        ::unlink(m_state->Temporary.constData());
}

void TFileWriter::Write(const char* data, qsizetype size)
{
    Assert(m_state->File.Get() >= 0);
    if (const int error = writeAll(m_state->File.Get(), data, size))
        fail(m_state->FileName, error);
    m_state->Written += size;
}

bool TFileWriter::IsCopy(std::uint64_t device, std::uint64_t inode) const
{
    return !m_state->Temporary.isEmpty() && std::uint64_t(m_state->Copy.st_dev) == device &&
           std::uint64_t(m_state->Copy.st_ino) == inode;
}

void TFileWriter::Finish()
{
    TState& state = *m_state;
    Assert(state.File.Get() >= 0);
    int error = 0;
    if (!state.Temporary.isEmpty() && ::fdatasync(state.File.Get()) != 0 && errno != EINVAL)
        error = errno;
    if (!error && state.InPlace.Get() >= 0)
        error = copyInPlace(state.File.Get(), state.Written, state.InPlace.Get());
    if (const int closeError = state.InPlace.Get() >= 0 ? state.InPlace.Close() : 0; !error)
        error = closeError;
    if (const int closeError = state.File.Close(); !error)
        error = closeError;
    if (!error && !state.Temporary.isEmpty() &&
        ::rename(state.Temporary.constData(), state.Target.constData()) != 0)
        error = errno;
    if (error)
        fail(state.FileName, error); // the destructor removes the copy
    state.Temporary.clear();
}

namespace {

// What a name writes to: the existing file's device and inode, or for a file still to be
// made its folder's and its own name.
struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    QByteArray Name;
    bool operator==(const TFileIdentity&) const = default;
};

std::optional<TFileIdentity> identityOf(const QString& fileName)
{
    if (fileName.contains(QChar(u'\0')))
        return std::nullopt;
    const QByteArray path = followLinks(EncodeFileName(fileName));
    struct stat facts;
    if (::stat(path.constData(), &facts) == 0)
        return TFileIdentity{facts.st_dev, facts.st_ino, {}};
    if (::stat(folderOf(path).constData(), &facts) == 0)
        return TFileIdentity{facts.st_dev, facts.st_ino, path.sliced(path.lastIndexOf('/') + 1)};
    return std::nullopt;
}

} // namespace

bool IsSameFile(const QString& a, const QString& b)
{
    const std::optional<TFileIdentity> first = identityOf(a);
    const std::optional<TFileIdentity> second = identityOf(b);
    return first && second ? *first == *second : a == b;
}

void MakeFolders(const QString& folder)
{
    const QByteArray path = systemName(folder);
    for (qsizetype end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/')
            continue;
        const QByteArray part = path.left(end);
        if (::mkdir(part.constData(), 0777) == 0 || errno != EEXIST)
            continue;
        struct stat facts;
        if (::stat(part.constData(), &facts) != 0 || !S_ISDIR(facts.st_mode))
            fail(DecodeFileName(part), ENOTDIR);
    }
    struct stat facts;
    if (::stat(path.constData(), &facts) != 0)
        fail(folder, errno);
    if (!S_ISDIR(facts.st_mode))
        fail(folder, ENOTDIR);
}

std::optional<QByteArray> ReadFileBytes(const QString& fileName, qsizetype maxSize)
{
    if (fileName.contains(QChar(u'\0')))
        return std::nullopt;
    // Without O_NONBLOCK a FIFO would block the open until a writer came.
    TDescriptor file(
        ::open(EncodeFileName(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat facts;
    if (file.Get() < 0 || ::fstat(file.Get(), &facts) != 0 || !S_ISREG(facts.st_mode) ||
        facts.st_size > maxSize)
        return std::nullopt;
    QByteArray bytes(qsizetype(facts.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::read(file.Get(), bytes.data() + done, std::size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break; // shrank meanwhile
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

#endif

void WriteFileBytes(const QString& fileName, const QByteArray& bytes)
{
    TFileWriter file(fileName);
    file.Write(bytes);
    file.Finish();
}

QString SystemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace dirka
