#include "board/ProgramFile.h"

#include "board/RegularFile.h"

#include <dlfcn.h>
#include <elf.h>

#include <bit>
#include <type_traits>
#include <vector>

namespace kesto {

namespace {

// The ELF identity of this machine's shared objects.
#if defined(__x86_64__)
constexpr std::uint16_t Machine = EM_X86_64;
#elif defined(__aarch64__)
constexpr std::uint16_t Machine = EM_AARCH64;
#elif defined(__i386__)
constexpr std::uint16_t Machine = EM_386;
#elif defined(__arm__)
constexpr std::uint16_t Machine = EM_ARM;
#elif defined(__riscv)
constexpr std::uint16_t Machine = EM_RISCV;
#else
#error "unknown machine: add its ELF e_machine here"
#endif
using Header = std::conditional_t<sizeof(void *) == 8, Elf64_Ehdr, Elf32_Ehdr>;
using Segment = std::conditional_t<sizeof(void *) == 8, Elf64_Phdr, Elf32_Phdr>;
constexpr unsigned char Class = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char Data = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;

// Whether the open file is a whole shared object the loader of this machine can map: the header,
// the program header table and every loadable segment lie inside the file. The loader itself
// would crash the process on a file cut short.
bool isWholeSharedObject(RegularFile &file, std::string &error) {
    Header h{};
    if (file.size() < sizeof h || !file.readAt(0, &h, sizeof h, error)) {
        error = "not a DSP program (shorter than an ELF header)";
        return false;
    }
    if (h.e_ident[EI_MAG0] != ELFMAG0 || h.e_ident[EI_MAG1] != ELFMAG1 || h.e_ident[EI_MAG2] != ELFMAG2 ||
        h.e_ident[EI_MAG3] != ELFMAG3) {
        error = "not a DSP program (not an ELF file)";
        return false;
    }
    if (h.e_ident[EI_CLASS] != Class || h.e_ident[EI_DATA] != Data || h.e_machine != Machine) {
        error = "not a DSP program (an ELF file for another machine)";
        return false;
    }
    if (h.e_type != ET_DYN) {
        error = "not a DSP program (not a shared object)";
        return false;
    }
    const std::uint64_t table = static_cast<std::uint64_t>(h.e_phnum) * sizeof(Segment);
    if (h.e_phentsize != sizeof(Segment) || h.e_phnum == 0 || h.e_phoff > file.size() ||
        table > file.size() - h.e_phoff) {
        error = "not a DSP program (its program header table lies outside the file)";
        return false;
    }
    std::vector<Segment> segments(h.e_phnum);
    if (!file.readAt(h.e_phoff, segments.data(), table, error))
        return false;
    for (const Segment &s : segments)
        if (s.p_type == PT_LOAD && (s.p_offset > file.size() || s.p_filesz > file.size() - s.p_offset)) {
            error = "not a DSP program (cut short: a loadable segment ends past the end of the file)";
            return false;
        }
    return true;
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
