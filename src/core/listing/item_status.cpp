#include "core/listing/item_status.h"

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

} // namespace

TItemStatus ItemStatus(const QByteArray& path)
{
    TItemStatus status;
    struct stat st {};
    // A NUL inside would make the system look at a shorter name.
    if (path.isEmpty() || path.contains('\0') || !statAt(path, false, st))
        return status;
    status.Found = true;
    status.SelfMode = st.st_mode;
    status.Size = st.st_size;
    status.Modified = st.st_mtim.tv_sec;
    status.IsLink = S_ISLNK(st.st_mode);
    if (!status.IsLink)
        return status;
    // A link lists as what it leads to; a dangling one as a file of size 0 (its own time).
    status.Size = 0;
    struct stat target {};
    if (statAt(path, true, target)) {
        status.Size = target.st_size;
        status.Modified = target.st_mtim.tv_sec;
    }
    return status;
}

} // namespace dirka
