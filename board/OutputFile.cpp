#include "board/OutputFile.h"

#include "board/RegularFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kesto {

namespace {

std::string withReason(const char *what) {
    return std::string(what) + " (" + std::strerror(errno) + ")";
}

// The name under which this process maps the file `st` describes (from /proc/self/maps), or
// empty when it maps no part of it.
std::string mappedAs(const struct stat &st) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, perms, offset, device;
        unsigned long long inode = 0;
        unsigned devMajor = 0, devMinor = 0;
        if (!(fields >> range >> perms >> offset >> device >> inode) || inode != st.st_ino ||
            std::sscanf(device.c_str(), "%x:%x", &devMajor, &devMinor) != 2 ||
            devMajor != major(st.st_dev) || devMinor != minor(st.st_dev))
            continue;
        std::string name;
        std::getline(fields >> std::ws, name);
        return name.empty() ? "a mapped file" : name;
    }
    return {};
}

// Why `path` could not be opened: the kind of what is there when it is not a regular file (a
// FIFO without a reader, a socket, a directory, a symbolic link), otherwise the system's reason.
std::string openRefusal(const std::string &path) {
    const int saved = errno;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return kindOf(st.st_mode);
    errno = saved;
    return withReason("cannot be opened");
}

} // namespace

int openOutputFile(const std::string &path, std::string &error) {
    if (path.empty()) {
        error = "an empty path";
        return -1;
    }
    // O_NONBLOCK: a FIFO is refused at once instead of waited on. O_NOFOLLOW: a symbolic link
    // planted where the file should be cannot send the writes elsewhere. No O_TRUNC: a file
    // another board is writing must be left as it is.
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        error = openRefusal(path);
        return -1;
    }
    struct stat st {};
    std::string mapped;
    if (::fstat(fd, &st) != 0)
        error = withReason("cannot be examined");
    else if (!S_ISREG(st.st_mode))
        error = kindOf(st.st_mode);
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        error = "another board is recording into it";
    else if (!(mapped = mappedAs(st)).empty())
        error = "it is loaded in this process as " + mapped;
    else if (::ftruncate(fd, 0) != 0)
        error = withReason("cannot be emptied");
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = withReason("cannot be set up for writing");
    else
        return fd;
    ::close(fd);
    return -1;
}

FileSizeSignalBlocked::FileSizeSignalBlocked() {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &only, &saved_);
}

FileSizeSignalBlocked::~FileSizeSignalBlocked() {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, SIGXFSZ);
    if (!sigismember(&saved_, SIGXFSZ)) {
        // Takes the signal this thread's writes raised, so that unblocking does not deliver it.
        const timespec now{};
        while (sigtimedwait(&only, nullptr, &now) == SIGXFSZ) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

} // namespace kesto
