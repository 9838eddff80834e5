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

#include <climits>
#include <cstdlib>
#include <fcntl.h>
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

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void fail(const QString& fileName, int error)
{
    throw EFileError(fileName + u": " + systemReason(error));
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
        const QString reason = errno ? systemReason(errno) : m_state->File.errorString();
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
        throw EFileError(folder + u": " + systemReason(errno ? errno : ENOTDIR));
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

} // namespace

struct TFileWriter::TState {
    QString FileName;
    TDescriptor File{-1};
    QByteArray Temporary; // the copy being written; empty when the target is written in place
    QByteArray Target;    // what the copy replaces
    struct stat Copy {};  // the copy's device and inode

    void openInPlace(const QByteArray& path, int flags);
    void openCopy(const QByteArray& path, const struct stat* existing);
};

void TFileWriter::TState::openInPlace(const QByteArray& path, int flags)
{
    File = TDescriptor(openForWriting(path, flags));
    if (File.Get() < 0)
        fail(FileName, errno);
}

void TFileWriter::TState::openCopy(const QByteArray& path, const struct stat* existing)
{
    Target = followLinks(path);
    QByteArray temporary = temporaryNameFor(Target);
    TDescriptor copy(::mkostemp(temporary.data(), O_CLOEXEC));
    int error = copy.Get() < 0 ? errno : 0;
    if (!error && ::fchmod(copy.Get(), modeFor(existing)) != 0) {
        error = errno;
        ::unlink(temporary.constData());
    }
    // The folder takes no new file, but the user may still rewrite the file itself.
    if ((error == EACCES || error == EPERM) && existing && ::access(path.constData(), W_OK) == 0)
        return openInPlace(path, O_TRUNC);
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
    if (const int closeError = state.File.Close(); !error)
        error = closeError;
    if (!error && !state.Temporary.isEmpty() &&
        ::rename(state.Temporary.constData(), state.Target.constData()) != 0)
        error = errno;
    if (error)
        fail(state.FileName, error); // the destructor removes the copy
    state.Temporary.clear();
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

} // namespace dirka
