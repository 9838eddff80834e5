#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

// Whole-file reads and writes on decoded file names. Names go back to the file system as the
// bytes they were decoded from (see file_names.h), so a name that is not UTF-8 is written to
// exactly that name and never to a look-alike.
namespace dirka {

/// A file that could not be written; the message is "<file>: <the system's reason>".
class EFileError : public std::runtime_error {
public:
    explicit EFileError(const QString& message);
    QString Message() const { return QString::fromUtf8(what()); }
};

/// Makes bytes the whole content of fileName; throws EFileError.
/// An absent or regular target is replaced at once by a finished copy written beside it, so a
/// failed write leaves the old file as it was. A device, FIFO or socket, and a descriptor link
/// such as /dev/stdout, are written in place and never replaced. When the folder cannot take
/// the copy but the existing target is writable, or the target has other hard links, the
/// target itself is rewritten, but only from a finished copy (see TFileWriter).
void WriteFileBytes(const QString& fileName, const QByteArray& bytes);

/// A file written piece by piece with the promises of WriteFileBytes: an absent or regular
/// target is replaced by the finished copy ".NAME.XXXXXX" beside it only in Finish(). A target
/// that must keep its inode (it has other names, or its folder takes no new file) is written
/// first to a private copy ".NAME.XXXXXX" (beside it, else in $XDG_RUNTIME_DIR or the temporary
/// folder; without room for it the writer refuses), which Finish() syncs and renames
/// "NAME.dirka-new.XXXXXX" before it copies it into the target under a lock and with the
/// signals from outside held, and removes once the target is synced: a hard end meanwhile
/// (SIGKILL, a power loss) leaves the complete new content in that copy, and the target never
/// longer than the new content copied so far and the old after it. A replaced file keeps its
/// owner and group where the process may set them. Destroyed before Finish(), the writer
/// removes its copy and the old target stays as it was; what went to a device, FIFO or socket
/// stays sent. A name that is a loop of links is refused. Every member throws EFileError.
class TFileWriter {
public:
    explicit TFileWriter(const QString& fileName);
    ~TFileWriter();
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;

    void Write(const char* data, qsizetype size);
    void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }
    /// Makes what was written the target's content.
    void Finish();
    /// True when inode on device is the copy being written.
    bool IsCopy(std::uint64_t device, std::uint64_t inode) const;

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};

/// From now on, every signal whose default action ends the program and that is not ignored
/// (SIGQUIT, SIGUSR1, SIGALRM, SIGABRT, SIGSEGV..., and SIGINT, SIGTERM, SIGHUP until another
/// handler takes them) first removes the unfinished copies of every TFileWriter, then ends the
/// program as the signal does, so a shell still reports 128 + the signal. A copy that a
/// target is being rewritten from in place stays. Call it once, on the main thread, before
/// the writers start; it takes an alternate signal stack for that thread when it has none.
void RemoveCopiesOnEndingSignals();

namespace detail {
/// For the tests: when set, called in an in-place rewrite after each piece copied into the
/// target, with the bytes copied so far.
inline void (*InPlaceCopyProbe)(qsizetype copied) = nullptr;
} // namespace detail

/// True when path names an existing folder, or anything existing (links followed). A path
/// holding NUL is never one: the system would test the shorter name before it.
/// IsExistingFolder(u"/tmp/") is true.
bool IsExistingFolder(const QString& path);
bool IsExistingItem(const QString& path);

/// True when the two names would write one file: IsSameFile(u"x", u"./x") is true, and so are
/// a link and the file it leads to, existing or not.
bool IsSameFile(const QString& a, const QString& b);

/// Creates folder and the folders above it that are missing; throws EFileError.
void MakeFolders(const QString& folder);

/// The content of a regular file of at most maxSize bytes; nothing for anything else (a FIFO
/// or a device would block or never end) or when it cannot be read.
std::optional<QByteArray> ReadFileBytes(const QString& fileName, qsizetype maxSize);

/// The system's text for an errno value: SystemErrorText(EACCES) is "Permission denied".
QString SystemErrorText(int error);

} // namespace dirka
