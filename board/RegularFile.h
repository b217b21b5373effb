#pragma once
// Reading a file the board was pointed at, without trusting it: only a regular file of at most a
// given size is opened (a directory, a FIFO or a device is refused at once, without blocking),
// and a read error is a refusal, never the end of the file. Errors give the reason only.

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

namespace kesto {

class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // False, with the reason in `error`, unless `path` is a readable regular file of at most
    // `cap` bytes.
    bool open(const std::string &path, std::uint64_t cap, std::string &error);
    // The next bytes into `buffer`: their number, 0 at the end, -1 on a read error (in `error`).
    // Never reads more than the cap, even from a file that grows.
    long read(char *buffer, std::size_t size, std::string &error);
    // `size` bytes at `offset`, all of them, or false with the reason in `error`.
    bool readAt(std::uint64_t offset, void *buffer, std::size_t size, std::string &error);
    std::uint64_t size() const { return size_; }

private:
    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0, cap_ = 0, done_ = 0;
};

// Why a file of this kind (`st_mode`) is not taken: "is a directory", "is a FIFO, not a regular
// file", ...
const char *kindOf(mode_t mode);

// The whole of a regular file of at most `cap` bytes.
bool readRegularFile(const std::string &path, std::uint64_t cap, std::string &text, std::string &error);

} // namespace kesto
