#include "board/ProgramFile.h"

#include "board/RegularFile.h"
#include "contract/SharedObject.h"

#include <dlfcn.h>

namespace kesto {

namespace {

// Whether the open file is a whole shared object the loader of this machine can map: the loader
// itself would crash the process on a file cut short.
bool isWholeSharedObject(RegularFile &file, std::string &error) {
    std::string readError;
    const char *problem = quiro::sharedObjectProblem(file.size(), [&](std::uint64_t at, void *to, std::size_t n) {
        return file.readAt(at, to, n, readError);
    });
    if (problem)
        error = std::string("not a DSP program (") + problem + ")";
    return problem == nullptr;
}

} // namespace

bool ProgramFile::open(const std::string &path, std::string &error) {
    close();
    {
        RegularFile file;
        std::string why;
        if (!file.open(path, MaxBytes, why) || !isWholeSharedObject(file, why)) {
            error = path + ": " + why;
            return false;
        }
    }
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char *why = ::dlerror();
        error = path + ": not a DSP program (" + (why ? why : "cannot be loaded") + ")";
        return false;
    }
    auto entry = reinterpret_cast<KestoDspEntry>(::dlsym(handle_, KESTO_DSP_ENTRY));
    const KestoDspProgram *p = entry ? entry() : nullptr;
    if (!p || p->abi != KESTO_DSP_ABI || !p->create || !p->destroy || !p->sample ||
        !p->service || !p->rate) {
        error = path + ": not a DSP program (no " KESTO_DSP_ENTRY " of this board's interface)";
        close();
        return false;
    }
    program_ = p;
    return true;
}

void ProgramFile::close() {
    program_ = nullptr;
    if (handle_)
        ::dlclose(handle_);
    handle_ = nullptr;
}

} // namespace kesto
