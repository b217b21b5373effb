#pragma once
// A DSP program file (a shared object exporting kesto_dsp_program) opened with dlopen.

#include "board/KestoDsp.h"

#include <string>

namespace kesto {

class ProgramFile {
public:
    ProgramFile() = default;
    ~ProgramFile() { close(); }
    ProgramFile(const ProgramFile &) = delete;
    ProgramFile &operator=(const ProgramFile &) = delete;

    // False, with the reason in `error`, when the file is missing or is not a DSP program.
    bool open(const std::string &path, std::string &error);
    void close();
    const KestoDspProgram *program() const { return program_; }

private:
    void *handle_ = nullptr;
    const KestoDspProgram *program_ = nullptr;
};

} // namespace kesto
