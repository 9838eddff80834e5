#pragma once

// The one fixture for temporary trees: every test that puts files on disk builds them here.

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringBuilder>
#include <QStringList>
#include <QStringView>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport {

/// A path below a TTempTree: text (written as UTF-8) or raw bytes, for names that are not UTF-8.
class TTreePath {
public:
    TTreePath(const char* bytes) : m_bytes(bytes) {}
    TTreePath(const QByteArray& bytes) : m_bytes(bytes) {}
    TTreePath(const QString& text) : m_bytes(text.toUtf8()) {}
    TTreePath(const char16_t* text) : m_bytes(QStringView(text).toUtf8()) {}
    template <typename A, typename B>
    TTreePath(const QStringBuilder<A, B>& built)
        : TTreePath(typename QStringBuilder<A, B>::ConvertTo(built))
    {
    }
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

/// A temporary folder: tree.makeFile("A/B/y.log", 2621440) makes A/B/ and a sparse file in it;
/// tree.path("A/") is its full path. Missing parents are made; every call answers success, and
/// nothing is made when the temporary folder could not be made.
/// Whatever the tests leave behind (modes 000, names that are not UTF-8) is removed at the end.
class TTempTree {
public:
    TTempTree() : m_root(QFileInfo(m_dir.path()).canonicalFilePath().toUtf8() + '/')
    {
        m_dir.setAutoRemove(false);
    }
    /// The same below another folder, such as /dev/shm for a tree in memory.
    explicit TTempTree(const QString& parent)
        : m_dir(parent + u"/dirka-XXXXXX"),
          m_root(QFileInfo(m_dir.path()).canonicalFilePath().toUtf8() + '/')
    {
        m_dir.setAutoRemove(false);
    }
    ~TTempTree()
    {
        if (m_dir.isValid())
            removeBelow(AT_FDCWD, m_root.chopped(1).constData());
    }
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    bool isValid() const { return m_dir.isValid(); }

    /// The tree's own folder, ending in "/", or a path below it (bytes() for names that are not
    /// UTF-8).
    QString path(const TTreePath& relative = QByteArray()) const
    {
        return QString::fromUtf8(bytes(relative));
    }
    QByteArray bytes(const TTreePath& relative = QByteArray()) const
    {
        return m_root + relative.bytes();
    }

    /// A folder and its parents; a final "/" is optional.
    bool makeFolder(const TTreePath& relative) const
    {
        if (!isValid())
            return false;
        const QByteArray path = bytes(relative) + '/';
        for (qsizetype slash = path.indexOf('/', m_root.size()); slash >= 0;
             slash = path.indexOf('/', slash + 1)) {
            if (::mkdir(path.left(slash).constData(), 0755) != 0 && errno != EEXIST)
                return false;
        }
        return true;
    }
    /// A file of size bytes (sparse: big sizes cost no space), or holding content.
    bool makeFile(const TTreePath& relative, qint64 size = 0) const
    {
        const int fd = create(relative);
        const bool sized = fd >= 0 && ::ftruncate(fd, off_t(size)) == 0;
        return close(fd) && sized;
    }
    bool makeFile(const TTreePath& relative, const QByteArray& content) const
    {
        const int fd = create(relative);
        const bool written =
            fd >= 0 && ::write(fd, content.constData(), std::size_t(content.size())) ==
                           ssize_t(content.size());
        return close(fd) && written;
    }
    /// A symbolic link holding target as it is: relative to the link's folder, absolute, or
    /// leading nowhere.
    bool makeLink(const TTreePath& relative, const TTreePath& target) const
    {
        return makeParent(relative) &&
               ::symlink(target.bytes().constData(), bytes(relative).constData()) == 0;
    }
    bool makeFifo(const TTreePath& relative) const
    {
        return makeParent(relative) && ::mkfifo(bytes(relative).constData(), 0644) == 0;
    }
    /// A unix socket file (bound, then closed: the file stays).
    bool makeSocket(const TTreePath& relative) const
    {
        const QByteArray path = bytes(relative);
        sockaddr_un address{};
        if (!makeParent(relative) || std::size_t(path.size()) >= sizeof address.sun_path)
            return false;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound =
            fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        return close(fd) && bound;
    }
    /// chmod; the tree is removed whatever modes it ends with.
    bool setMode(const TTreePath& relative, mode_t mode) const
    {
        return isValid() && ::chmod(bytes(relative).constData(), mode) == 0;
    }

private:
    bool makeParent(const TTreePath& relative) const
    {
        const QByteArray& path = relative.bytes();
        const qsizetype slash = path.lastIndexOf('/', path.size() - 2);
        return isValid() && (slash < 0 || makeFolder(path.left(slash)));
    }
    int create(const TTreePath& relative) const
    {
        if (!makeParent(relative))
            return -1;
        return ::open(bytes(relative).constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    }
    static bool close(int fd) { return fd < 0 || ::close(fd) == 0; }

    // Removes name below the open folder parent by its bytes, opening up folders on the way.
    static void removeBelow(int parent, const char* name)
    {
        struct stat st {};
        if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return;
        if (!S_ISDIR(st.st_mode)) {
            ::unlinkat(parent, name, 0);
            return;
        }
        ::fchmodat(parent, name, 0700, 0);
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr) {
            QList<QByteArray> names;
            while (const dirent* entry = ::readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    names.append(entry->d_name);
            }
            for (const QByteArray& child : names)
                removeBelow(fd, child.constData());
            ::closedir(dir);
        } else if (fd >= 0) {
            ::close(fd);
        }
        ::unlinkat(parent, name, AT_REMOVEDIR);
    }

    QTemporaryDir m_dir;
    QByteArray m_root;
};

} // namespace testsupport
