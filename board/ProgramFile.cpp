#include "board/ProgramFile.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace kesto {

bool ProgramFile::open(const std::string &path, std::string &error) {
    close();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": no such DSP program file";
        return false;
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
