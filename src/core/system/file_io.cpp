#include "core/system/file_io.h"

#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <cerrno>
#include <cstring>

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
void WriteFileBytes(const QString& fileName, const QByteArray& bytes)
{
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw EFileError(fileName + u": " + file.errorString());
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = errno ? systemReason(errno) : file.errorString();
        file.cancelWriting();
        throw EFileError(fileName + u": " + reason);
    }
    if (!file.commit())
        throw EFileError(fileName + u": " + file.errorString());
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
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
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
int writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
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

void writeInPlace(const QString& fileName, const QByteArray& path, const QByteArray& bytes,
                  int flags)
{
    TDescriptor file(openForWriting(path, flags));
    if (file.Get() < 0)
        fail(fileName, errno);
    if (const int error = writeAll(file.Get(), bytes))
        fail(fileName, error);
    if (const int error = file.Close())
        fail(fileName, error);
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

// 0, or the error; the copy is removed on failure.
int writeCopy(QByteArray& temporary, const QByteArray& bytes, mode_t mode)
{
    TDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0)
        return errno;
    int error = ::fchmod(file.Get(), mode) == 0 ? 0 : errno;
    if (!error)
        error = writeAll(file.Get(), bytes);
    if (!error && ::fdatasync(file.Get()) != 0 && errno != EINVAL)
        error = errno;
    if (const int closeError = file.Close(); !error)
        error = closeError;
    if (error)
        ::unlink(temporary.constData());
    return error;
}

void writeAtomically(const QString& fileName, const QByteArray& path, const QByteArray& bytes,
                     const struct stat* existing)
{
    const QByteArray target = followLinks(path);
    QByteArray temporary = temporaryNameFor(target);
    const int error = writeCopy(temporary, bytes, modeFor(existing));
    if (error == EACCES || error == EPERM) {
        // The folder takes no new file, but the user may still rewrite the file itself.
        if (existing && ::access(path.constData(), W_OK) == 0)
            return writeInPlace(fileName, path, bytes, O_TRUNC);
    }
    if (error)
        fail(fileName, error);
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        fail(fileName, renameError);
    }
}

// A NUL would cut the name short for the system, and another file would be written.
QByteArray systemName(const QString& fileName)
{
    if (fileName.contains(QChar(u'\0')))
        fail(QString(fileName).replace(QChar(u'\0'), QChar(ReplacementChar)), EINVAL);
    return EncodeFileName(fileName);
}

} // namespace

void WriteFileBytes(const QString& fileName, const QByteArray& bytes)
{
    const QByteArray path = systemName(fileName);
    struct stat facts;
    const bool exists = ::stat(path.constData(), &facts) == 0;
    if (!exists || S_ISDIR(facts.st_mode))
        return writeAtomically(fileName, path, bytes, nullptr); // a folder fails with EISDIR
    if (!S_ISREG(facts.st_mode))
        return writeInPlace(fileName, path, bytes, O_TRUNC);
    // A stream alias of a regular file keeps what the stream already holds, as ">>" would.
    if (isDescriptorLink(path))
        return writeInPlace(fileName, path, bytes, O_APPEND);
    writeAtomically(fileName, path, bytes, &facts);
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

} // namespace dirka
