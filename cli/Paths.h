#pragma once
// The files the tools read and write, checked before any work starts, and writes that say when
// they fail. Errors name the path (control bytes escaped) and the reason.

#include <cstdint>
#include <string>
#include <string_view>

namespace quiro::cli {

// A folder the tool writes into: it exists (or is created, one level, in a folder that does) and
// is a writable folder; never the root folder.
bool outputFolder(const std::string &dir, std::string &error);
// A file the tool writes: its folder is a writable folder and the file, if there, a regular one
// (not a link to one).
bool outputFile(const std::string &file, std::string &error);
// A regular file the tool reads (a FIFO or device is refused without waiting on it), of at most
// `maxBytes` bytes when that is not 0.
bool inputFile(const std::string &file, std::string &error, std::uint64_t maxBytes = 0);
// A folder the tool reads.
bool inputFolder(const std::string &dir, std::string &error);

// A new, empty file of this user's with a unique name in the temporary folder ($TMPDIR, else
// /tmp), made as mkstemp makes it: nobody else's file or link can be there. Empty, with the
// reason in `error`, when it cannot be made.
std::string uniqueTemporaryFile(const std::string &stem, const std::string &suffix,
                                std::string &error);

// Writes `text` as the whole of `file` (replacing it), or false with the reason.
bool writeWholeFile(const std::string &file, std::string_view text, std::string &error);

// At the end of a tool: the status to exit with, `status` itself unless what the tool printed to
// standard output could not be written (a full disk, a closed pipe), which is then said on
// standard error and gives 1.
int finish(const char *tool, int status);

} // namespace quiro::cli
