#pragma once
// A DSP program file (a shared object exporting kesto_dsp_program) opened with dlopen.

#include "dspkit/KestoDsp.h"

#include <cstdint>
#include <string>

namespace kesto {

class ProgramFile {
public:
    ProgramFile() = default;
    ~ProgramFile() { close(); }
    ProgramFile(const ProgramFile &) = delete;
    ProgramFile &operator=(const ProgramFile &) = delete;

    // Program files larger than this are refused.
    static constexpr std::uint64_t MaxBytes = 64 * 1024 * 1024;

    // False, with the reason in `error`, when the file is missing, not a regular file, larger
    // than MaxBytes, not a whole shared object of this machine, or not a DSP program.
    bool open(const std::string &path, std::string &error);
    void close();
    const KestoDspProgram *program() const { return program_; }

private:
    void *handle_ = nullptr;
    const KestoDspProgram *program_ = nullptr;
};

} // namespace kesto
