#include "core/listing/item_status.h"

#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirka {

namespace {

// The folder that holds the last component of path, opened one component at a time, and the
// offset of that last component; -1 when a folder on the way cannot be opened.
int openParentStepwise(const QByteArray& path, qsizetype& nameStart)
{
    int fd = ::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    qsizetype start = 0;
    while (fd >= 0) {
        while (start < path.size() && path[start] == '/')
            ++start;
        const qsizetype end = path.indexOf('/', start);
        qsizetype next = end;
        while (next >= 0 && next < path.size() && path[next] == '/')
            ++next;
        if (end < 0 || next >= path.size()) { // the last component
            nameStart = start;
            return fd;
        }
        const QByteArray component = path.mid(start, end - start);
        const int child = ::openat(fd, component.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = child;
        start = end;
    }
    return -1;
}

bool statAt(const QByteArray& path, bool follow, struct stat& st)
{
    if (::fstatat(AT_FDCWD, path.constData(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    if (errno != ENAMETOOLONG)
        return false;
    qsizetype nameStart = 0;
    const int fd = openParentStepwise(path, nameStart);
    if (fd < 0)
        return false;
    QByteArray name = path.mid(nameStart);
    while (name.endsWith('/') && name.size() > 1)
        name.chop(1);
    const bool ok = ::fstatat(fd, name.isEmpty() ? "." : name.constData(), &st,
                              follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
    ::close(fd);
    return ok;
}

TItemStatus statusOf(const struct stat& st)
{
    TItemStatus status;
    status.Found = true;
    status.SelfMode = st.st_mode;
    status.Size = st.st_size;
    status.Modified = st.st_mtim.tv_sec;
    status.IsLink = S_ISLNK(st.st_mode);
    // A link lists as what it leads to; a dangling one as a file of size 0 (its own time).
    if (status.IsLink)
        status.Size = 0;
    return status;
}

void takeTarget(TItemStatus& status, const struct stat& target)
{
    status.Size = target.st_size;
    status.Modified = target.st_mtim.tv_sec;
}

} // namespace

TItemStatus ItemStatus(const QByteArray& path)
{
    struct stat st {};
    // A NUL inside would make the system look at a shorter name.
    if (path.isEmpty() || path.contains('\0') || !statAt(path, false, st))
        return {};
    TItemStatus status = statusOf(st);
    struct stat target {};
    if (status.IsLink && statAt(path, true, target))
        takeTarget(status, target);
    return status;
}

TItemStatus ItemStatusAt(int folderFd, const char* name)
{
    struct stat st {};
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {};
    TItemStatus status = statusOf(st);
    struct stat target {};
    if (status.IsLink && ::fstatat(folderFd, name, &target, 0) == 0)
        takeTarget(status, target);
    return status;
}

TItemFacts FactsOfStatus(const TItemStatus& status, bool folderPath)
{
    TItemFacts facts;
    if (!status.Found) {
        facts.Type = folderPath ? TRecordType::Folder : TRecordType::File;
        facts.State = TFactsState::Unreadable;
        return facts;
    }
    facts.State = TFactsState::Found;
    facts.Size = status.Size;
    facts.Modified = status.Modified;
    if (status.IsLink)
        facts.Type = TRecordType::Link;
    else if (S_ISDIR(status.SelfMode))
        facts.Type = TRecordType::Folder;
    else if (S_ISREG(status.SelfMode))
        facts.Type = TRecordType::File;
    else
        facts.Type = TRecordType::Special;
    return facts;
}

TItemFacts FactsOfPath(QStringView path)
{
    const bool folderPath = path.size() > 1 && path.back() == PathDelimiter;
    // Without the final delimiter, so a link to a folder is looked at as the link it is.
    return FactsOfStatus(ItemStatus(EncodeFileName(folderPath ? path.chopped(1) : path)),
                         folderPath);
}

} // namespace dirka
