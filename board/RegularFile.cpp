#include "board/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kesto {

const char *kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "is a directory";
    if (S_ISFIFO(mode))
        return "is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    if (S_ISLNK(mode))
        return "is a symbolic link, not a regular file";
    return "is not a regular file";
}

RegularFile::~RegularFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool RegularFile::open(const std::string &path, std::uint64_t cap, std::string &error) {
    path_ = path;
    cap_ = cap;
    // O_NONBLOCK: opening a FIFO with no writer must not wait; a regular file ignores the flag.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        error = std::string("cannot be read (") + std::strerror(errno) + ")";
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        error = std::string("cannot be read (") + std::strerror(errno) + ")";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = kindOf(st.st_mode);
        return false;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    if (size_ > cap) {
        error = "larger than " + std::to_string(cap) + " bytes";
        return false;
    }
    return true;
}

long RegularFile::read(char *buffer, std::size_t size, std::string &error) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) {
            done_ += static_cast<std::uint64_t>(n);
            if (done_ > cap_) {
                error = "larger than " + std::to_string(cap_) + " bytes";
                return -1;
            }
            return static_cast<long>(n);
        }
        if (errno != EINTR) {
            error = std::string("read error (") + std::strerror(errno) + ")";
            return -1;
        }
    }
}

bool RegularFile::readAt(std::uint64_t offset, void *buffer, std::size_t size, std::string &error) {
    auto *bytes = static_cast<char *>(buffer);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd_, bytes + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("read error (") + std::strerror(errno) + ")";
            return false;
        }
        if (n == 0) {
            error = "cut short";
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool readRegularFile(const std::string &path, std::uint64_t cap, std::string &text, std::string &error) {
    RegularFile file;
    if (!file.open(path, cap, error))
        return false;
    text.clear();
    char buffer[16384];
    for (;;) {
        const long n = file.read(buffer, sizeof buffer, error);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace kesto
