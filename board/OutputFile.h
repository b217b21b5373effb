#pragma once
// Writing a file the board was pointed at, without trusting it. Only a regular file, or a new
// one, is opened: a FIFO, a device, a directory or a symbolic link is refused at once, without
// blocking. The file is locked against a second writer (an advisory lock held while the
// descriptor is open), and a file this process has mapped (the board library, the DSP program,
// the program itself) is refused rather than cut under the loader's feet. Errors give the
// reason only.
//
// A write past the process's file-size limit raises SIGXFSZ, which by default ends the whole
// process. FileSizeSignalBlocked keeps it away from the thread that writes, so that such a write
// fails with EFBIG instead and the writer can stop with a message.

#include <csignal>
#include <string>

namespace kesto {

// A descriptor open for writing on `path`, locked and emptied, or -1 with the reason in `error`.
// The caller closes it; the lock goes with it.
int openOutputFile(const std::string &path, std::string &error);

// While it lives, SIGXFSZ is blocked in the calling thread; a signal raised meanwhile by this
// thread's writes is discarded when it ends.
class FileSizeSignalBlocked {
public:
    FileSizeSignalBlocked();
    ~FileSizeSignalBlocked();
    FileSizeSignalBlocked(const FileSizeSignalBlocked &) = delete;
    FileSizeSignalBlocked &operator=(const FileSizeSignalBlocked &) = delete;

private:
    sigset_t saved_{};
};

} // namespace kesto
