#include "cli/Paths.h"

#include "coeffile/ShownText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quiro::cli {

namespace {

namespace fs = std::filesystem;

bool fail(std::string &error, const std::string &path, const std::string &why) {
    error = shownText(path) + ": " + why;
    return false;
}

std::string systemReason() {
    return std::strerror(errno);
}

// Whether `dir` is a folder this process may create files in.
bool writableFolder(const std::string &dir, std::string &error) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return fail(error, dir, systemReason());
    if (!S_ISDIR(st.st_mode))
        return fail(error, dir, "not a folder");
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return fail(error, dir, "cannot be written (" + systemReason() + ")");
    return true;
}

std::string parentOf(const std::string &path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

} // namespace

bool outputFolder(const std::string &dir, std::string &error) {
    if (dir.empty())
        return fail(error, dir, "an empty path");
    std::error_code ec;
    if (fs::equivalent(dir, "/", ec))
        return fail(error, dir, "the root folder is not written into");
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 && errno == ENOENT) {
        std::string why;
        if (!writableFolder(parentOf(fs::path(dir).lexically_normal().string()), why))
            return fail(error, dir, "cannot be created (" + why + ")");
        if (::mkdir(dir.c_str(), 0777) != 0)
            return fail(error, dir, "cannot be created (" + systemReason() + ")");
    }
    return writableFolder(dir, error);
}

bool outputFile(const std::string &file, std::string &error) {
    if (file.empty())
        return fail(error, file, "an empty path");
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return fail(error, file,
                    S_ISDIR(st.st_mode)   ? "a folder, not a file"
                    : S_ISLNK(st.st_mode) ? "a symbolic link, not a file"
                                          : "not a regular file");
    return writableFolder(parentOf(file), error);
}

bool inputFile(const std::string &file, std::string &error, std::uint64_t maxBytes) {
    if (file.empty())
        return fail(error, file, "an empty path");
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(error, file, "cannot be read (" + systemReason() + ")");
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        return fail(error, file,
                    S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file");
    if (maxBytes != 0 && static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return fail(error, file, "larger than " + std::to_string(maxBytes) + " bytes");
    return true;
}

bool inputFolder(const std::string &dir, std::string &error) {
    if (dir.empty())
        return fail(error, dir, "an empty path");
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return fail(error, dir, "cannot be read (" + systemReason() + ")");
    return S_ISDIR(st.st_mode) || fail(error, dir, "not a folder");
}

std::string uniqueTemporaryFile(const std::string &stem, const std::string &suffix,
                                std::string &error) {
    std::error_code ec;
    const fs::path dir = fs::temp_directory_path(ec);
    if (ec) {
        error = "no temporary folder (" + ec.message() + ")";
        return {};
    }
    std::string name = (dir / (stem + "-XXXXXX" + suffix)).string();
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        fail(error, name, "cannot be made (" + systemReason() + ")");
        return {};
    }
    ::close(fd);
    return buffer.data();
}

bool writeWholeFile(const std::string &file, std::string_view text, std::string &error) {
    // O_NONBLOCK, and no O_TRUNC until it is known to be a regular file: a FIFO is refused, not
    // waited on.
    const int fd =
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    struct stat st {};
    if (fd < 0) {
        const std::string why = systemReason();
        return fail(error, file,
                    ::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)
                        ? "not a regular file"
                        : "cannot be written (" + why + ")");
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const std::string why = S_ISREG(st.st_mode) ? "cannot be written (" + systemReason() + ")"
                                                    : "not a regular file";
        ::close(fd);
        return fail(error, file, why);
    }
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = n < 0 ? systemReason() : "nothing written";
            ::close(fd);
            return fail(error, file, "write error (" + why + ")");
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::close(fd) != 0)
        return fail(error, file, "write error (" + systemReason() + ")");
    return true;
}

int finish(const char *tool, int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    std::fprintf(stderr, "%s: standard output: write error (%s)\n", tool, systemReason().c_str());
    return 1;
}

} // namespace quiro::cli
