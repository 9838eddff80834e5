// The floor for a listing: prints the full path of every file below a folder, one per line, as
// fast as the system lets a single thread read folders. openat + getdents64 into one block, no
// order, no stat unless the folder does not tell an entry's type, one output buffer written in
// 1 MiB pieces. Hidden and special entries are printed like the rest; links are not followed.
//   bare_walk FOLDER > list
// bench/listing.sh compares the user time of `dirka --list` with this program's.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr std::size_t OutputBytes = 1 << 20;

struct TLinuxDirent64 {
    ino64_t Inode;
    off64_t Offset;
    unsigned short Length;
    unsigned char Type;
    char Name[1]; // longer: up to the record's end
};

std::string output;
int exitCode = 0;

void flush()
{
    const char* p = output.data();
    std::size_t left = output.size();
    while (left > 0) {
        const ssize_t n = write(STDOUT_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::exit(1);
        }
        p += n;
        left -= std::size_t(n);
    }
    output.clear();
}

// Lists the folder open as fd whose path (ending in "/") is path; closes fd.
void walk(int fd, std::string& path)
{
    alignas(8) static char block[64 * 1024];
    std::vector<std::string> subfolders;
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, block, sizeof block);
        if (n <= 0) {
            if (n < 0)
                exitCode = 3;
            break;
        }
        for (long at = 0; at < n;) {
            const auto* e = reinterpret_cast<const TLinuxDirent64*>(block + at);
            at += e->Length;
            const char* name = e->Name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            unsigned char type = e->Type;
            if (type == DT_UNKNOWN) {
                struct stat st;
                type = fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
                           ? DT_DIR
                           : DT_REG;
            }
            if (type == DT_DIR) {
                subfolders.emplace_back(name);
                continue;
            }
            output.append(path);
            output.append(name);
            output.push_back('\n');
            if (output.size() >= OutputBytes)
                flush();
        }
    }
    const std::size_t length = path.size();
    for (const std::string& sub : subfolders) {
        const int child = openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) {
            exitCode = 3;
            continue;
        }
        path.append(sub);
        path.push_back('/');
        walk(child, path);
        path.resize(length);
    }
    close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_walk FOLDER\n");
        return 2;
    }
    std::string path = argv[1];
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 2;
    }
    output.reserve(OutputBytes + 8192);
    walk(fd, path);
    flush();
    return exitCode;
}
