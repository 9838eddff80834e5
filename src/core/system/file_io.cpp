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

#include "core/system/ending_signals.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
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

void RemoveCopiesOnEndingSignals() {} // Windows sends no such signals

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

// The names of the unfinished copies, for the handler of the ending signals, in storage made
// before any signal can come: the handler makes nothing. A slot is free, being filled, armed
// (a signal removes its copy) or taken by a handler (its name stays until the program ends).
enum : int { SlotFree, SlotFilling, SlotArmed, SlotTaken };
constexpr int CopySlotCount = 32;
struct TCopySlot {
    std::atomic<int> State{SlotFree};
    char Name[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free,
              "the handler may only touch lock-free atomics");
TCopySlot copySlots[CopySlotCount];

// The slot that now names the copy, or -1 when every slot is in use (the copy is then left to
// the writer's own removal).
int armCopy(const QByteArray& name)
{
    if (name.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < CopySlotCount; ++i) {
        int state = SlotFree;
        if (copySlots[i].State.compare_exchange_strong(state, SlotFilling)) {
            std::memcpy(copySlots[i].Name, name.constData(), std::size_t(name.size()) + 1);
            copySlots[i].State.store(SlotArmed);
            return i;
        }
    }
    return -1;
}

// A slot a handler has taken stays taken: the program is ending.
void disarmCopy(int slot)
{
    int state = SlotArmed;
    if (slot >= 0)
        copySlots[slot].State.compare_exchange_strong(state, SlotFree);
}

// Async-signal-safe: removes the armed copies (a handler on another thread may be removing
// them too), then ends the program as the signal does by default, so a shell reports
// 128 + the signal. The signal raised again comes when the handler returns; after a program
// error the instruction that made it runs again and ends the program the usual way.
extern "C" void removeCopiesAndEnd(int signal)
{
    for (TCopySlot& slot : copySlots) {
        int state = SlotArmed;
        if (slot.State.compare_exchange_strong(state, SlotTaken) || state == SlotTaken)
            ::unlink(slot.Name);
    }
    struct sigaction usual {};
    usual.sa_handler = SIG_DFL;
    sigemptyset(&usual.sa_mask);
    ::sigaction(signal, &usual, nullptr);
    ::raise(signal);
}

// Creates the copy that name's "XXXXXX" makes unique and arms its removal, with the signals
// from outside held so that none comes between the two. -1 and errno when it cannot be made.
int makeCopy(QByteArray& name, int& slot)
{
    const TOutsideSignalsHeld held;
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    const int error = errno;
    slot = fd >= 0 ? armCopy(name) : -1;
    errno = error;
    return fd;
}

void removeCopy(const QByteArray& name, int& slot)
{
    const TOutsideSignalsHeld held;
    ::unlink(name.constData());
    disarmCopy(std::exchange(slot, -1));
}

// The name under which the copy that a target is rewritten from waits while the target is
// rewritten: ".NAME.XXXXXX" becomes "NAME.dirka-new.XXXXXX".
constexpr qsizetype StagedBaseBytes = 255 - qsizetype(sizeof ".dirka-new.XXXXXX" - 1);

QByteArray visibleNameOf(const QByteArray& hidden)
{
    const qsizetype slash = hidden.lastIndexOf('/');
    const QByteArray name = hidden.sliced(slash + 2); // without the dot
    return hidden.left(slash + 1) + name.chopped(7) + ".dirka-new." + name.right(6);
}

// Gives the copy its new name without replacing a file of that name where the system can.
int renameCopy(const QByteArray& from, const QByteArray& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
#endif
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// So that the name survives a power loss. A folder that cannot be synced is let be.
void syncFolderOf(const QByteArray& path)
{
    TDescriptor folder(::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        (void)::fsync(folder.Get());
}

constexpr qsizetype CopyChunkBytes = 1 << 20;

// Makes the content of source (size bytes) the content of target: under an exclusive lock, so
// two writers never interleave, with the room claimed first where the file system can, so a
// full disk is found before the old content is touched. The target grows only as the copy
// reaches its end: an end half-way leaves the new content up to there and the old after it,
// never a stretch of NUL. touched tells whether the target was written. 0 or the error.
int copyInPlace(int source, qsizetype size, int target, bool& touched)
{
    while (::flock(target, LOCK_EX) != 0) {
        if (errno != EINTR)
            return errno;
    }
#ifdef FALLOC_FL_KEEP_SIZE
    while (size > 0 && ::fallocate(target, FALLOC_FL_KEEP_SIZE, 0, off_t(size)) != 0) {
        if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL)
            break; // no claiming here: a full disk shows in the copy
        if (errno != EINTR)
            return errno;
    }
#endif
    QByteArray chunk(qMin(size, CopyChunkBytes), Qt::Uninitialized);
    for (qsizetype done = 0; done < size;) {
        const ssize_t got = ::pread(source, chunk.data(), std::size_t(chunk.size()), off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : EIO;
        if (::lseek(target, off_t(done), SEEK_SET) < 0)
            return errno;
        touched = true;
        if (const int error = writeAll(target, chunk.constData(), got))
            return error;
        done += got;
        if (detail::InPlaceCopyProbe)
            detail::InPlaceCopyProbe(done);
    }
    touched = true;
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
    QByteArray Temporary;    // the named copy being written; empty when the target is written to
    int Slot = -1;           // where the ending signals find the copy's name
    QByteArray Target;       // what the copy replaces
    struct stat Copy {};     // the copy's device and inode
    TDescriptor InPlace{-1}; // a target rewritten from the copy at the end
    qsizetype Written = 0;

    void openInPlace(const QByteArray& path, int flags);
    void openCopy(const QByteArray& path, const struct stat* existing);
    bool openStaged(const QByteArray& path);
    void finishInPlace();
};

void TFileWriter::TState::openInPlace(const QByteArray& path, int flags)
{
    File = TDescriptor(openForWriting(path, flags));
    if (File.Get() < 0)
        fail(FileName, errno);
}

// The target keeps its inode: its other names, its owner and everything else about it. It is
// opened now, so a target that cannot be written is found before the listing. Its content is
// written first to a private copy ".NAME.XXXXXX": beside the target when its folder takes one,
// else in the user's runtime folder or the temporary folder.
bool TFileWriter::TState::openStaged(const QByteArray& path)
{
    TDescriptor target(::open(path.constData(), O_WRONLY | O_CLOEXEC));
    if (target.Get() < 0)
        return false;
    const QByteArray real = followLinks(path);
    const QByteArray base = real.sliced(real.lastIndexOf('/') + 1).left(StagedBaseBytes);
    QList<QByteArray> folders{folderOf(real)};
    if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        folders.append(runtime);
    folders.append(QFile::encodeName(QDir::tempPath()));
    int error = ENOENT;
    for (const QByteArray& folder : std::as_const(folders)) {
        QByteArray name = temporaryNameFor(folder + '/' + base);
        TDescriptor stage(makeCopy(name, Slot));
        if (stage.Get() >= 0) {
            ::fstat(stage.Get(), &Copy);
            File = std::move(stage);
            Temporary = name;
            InPlace = std::move(target);
            return true;
        }
        error = errno;
    }
    throw EFileError(FileName +
                     u": no folder takes the copy that the file is written "
                     u"from in one step (" +
                     SystemErrorText(error) + u")");
}

void TFileWriter::TState::openCopy(const QByteArray& path, const struct stat* existing)
{
    // Replacing a file with other names would leave them the old content.
    if (existing && existing->st_nlink > 1 && openStaged(path))
        return;
    Target = followLinks(path);
    QByteArray temporary = temporaryNameFor(Target);
    TDescriptor copy(makeCopy(temporary, Slot));
    int error = copy.Get() < 0 ? errno : 0;
    if (!error && existing)
        keepOwner(copy.Get(), *existing);
    if (!error && ::fchmod(copy.Get(), modeFor(existing)) != 0) {
        error = errno;
        removeCopy(temporary, Slot);
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
    if (::stat(path.constData(), &facts) != 0) {
        // Only a missing file is made; a loop of links, say, is refused as a shell's ">" does.
        if (errno != ENOENT)
            fail(fileName, errno);
        m_state->openCopy(path, nullptr);
    } else if (S_ISDIR(facts.st_mode))
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
        removeCopy(m_state->Temporary, m_state->Slot);
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
    if (state.InPlace.Get() >= 0)
        return state.finishInPlace();
    int error = 0;
    if (!state.Temporary.isEmpty() && ::fdatasync(state.File.Get()) != 0 && errno != EINVAL)
        error = errno;
    if (const int closeError = state.File.Close(); !error)
        error = closeError;
    if (!error && !state.Temporary.isEmpty()) {
        // No signal from outside comes between the copy's taking the target's place and its
        // name's being forgotten, so none removes the target.
        const TOutsideSignalsHeld held;
        if (::rename(state.Temporary.constData(), state.Target.constData()) != 0) {
            error = errno;
        } else {
            disarmCopy(std::exchange(state.Slot, -1));
            state.Temporary.clear();
        }
    }
    if (error)
        fail(state.FileName, error); // the destructor removes the copy
}

// The complete copy is synced and renamed "NAME.dirka-new.XXXXXX" before the target is
// touched, and removed once the target is synced: whatever ends the program meanwhile (a
// SIGKILL, a power loss), the new content is whole in one of the two. The signals from outside
// are held for the while, so none of them ends the rewrite half-way.
void TFileWriter::TState::finishInPlace()
{
    const TOutsideSignalsHeld held;
    int error = ::fdatasync(File.Get()) != 0 && errno != EINVAL ? errno : 0;
    const QByteArray visible = visibleNameOf(Temporary);
    if (!error)
        error = renameCopy(Temporary, visible);
    if (error)
        fail(FileName, error);           // the destructor removes the copy
    disarmCopy(std::exchange(Slot, -1)); // from here on the copy stays, whatever the end
    Temporary.clear();
    syncFolderOf(visible);
    bool touched = false;
    error = copyInPlace(File.Get(), Written, InPlace.Get(), touched);
    if (const int closeError = InPlace.Close(); !error)
        error = closeError;
    (void)File.Close();
    if (error && touched)
        throw EFileError(FileName + u": " + SystemErrorText(error) +
                         u"; the complete new content is in " + DecodeFileName(visible));
    ::unlink(visible.constData());
    if (error)
        fail(FileName, error);
}

void RemoveCopiesOnEndingSignals()
{
    // A program error that comes from a stack run out needs another stack for the handler.
    alignas(16) static char handlerStack[1 << 16];
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) != 0) {
        stack_t own{};
        own.ss_sp = handlerStack;
        own.ss_size = sizeof handlerStack;
        (void)::sigaltstack(&own, nullptr);
    }
    sigset_t ending;
    sigemptyset(&ending);
    AddOutsideEndingSignals(ending);
    struct sigaction action {};
    action.sa_handler = removeCopiesAndEnd;
    action.sa_flags = SA_ONSTACK;
    action.sa_mask = ending; // one handler at a time on a thread
    for (const int signal : ProgramErrorSignals)
        sigaddset(&ending, signal);
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction before {};
        if (sigismember(&ending, signal) == 1 && ::sigaction(signal, nullptr, &before) == 0 &&
            (before.sa_flags & SA_SIGINFO) == 0 && before.sa_handler == SIG_DFL)
            ::sigaction(signal, &action, nullptr);
    }
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
