#pragma once
// Whether a file is a whole shared object this machine's loader can map: an ELF header of this
// machine's class, byte order and machine, a shared object, with its program header table and
// every loadable segment inside the file. The loader maps a file cut short and the process then
// dies of SIGBUS when it touches the missing pages; both sides check a library before they hand
// it to the loader: the board its DSP program, the console the board library. ELF platforms only.

#if defined(__linux__)

#include <elf.h>

#include <bit>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace quiro {

namespace elfimage {
#if defined(__x86_64__)
inline constexpr std::uint16_t Machine = EM_X86_64;
#elif defined(__aarch64__)
inline constexpr std::uint16_t Machine = EM_AARCH64;
#elif defined(__i386__)
inline constexpr std::uint16_t Machine = EM_386;
#elif defined(__arm__)
inline constexpr std::uint16_t Machine = EM_ARM;
#elif defined(__riscv)
inline constexpr std::uint16_t Machine = EM_RISCV;
#else
#error "unknown machine: add its ELF e_machine here"
#endif
using Header = std::conditional_t<sizeof(void *) == 8, Elf64_Ehdr, Elf32_Ehdr>;
using Segment = std::conditional_t<sizeof(void *) == 8, Elf64_Phdr, Elf32_Phdr>;
inline constexpr unsigned char Class = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
inline constexpr unsigned char Data = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
} // namespace elfimage

// Why the file of `size` bytes is not a whole shared object of this machine, or null when it is.
// `readAt(offset, buffer, bytes)` reads exactly that many bytes or returns false.
template <class ReadAt> const char *sharedObjectProblem(std::uint64_t size, ReadAt readAt) {
    using namespace elfimage;
    Header h{};
    if (size < sizeof h || !readAt(0, &h, sizeof h))
        return "shorter than an ELF header";
    if (h.e_ident[EI_MAG0] != ELFMAG0 || h.e_ident[EI_MAG1] != ELFMAG1 || h.e_ident[EI_MAG2] != ELFMAG2 ||
        h.e_ident[EI_MAG3] != ELFMAG3)
        return "not an ELF file";
    if (h.e_ident[EI_CLASS] != Class || h.e_ident[EI_DATA] != Data || h.e_machine != Machine)
        return "an ELF file for another machine";
    if (h.e_type != ET_DYN)
        return "not a shared object";
    const std::uint64_t table = static_cast<std::uint64_t>(h.e_phnum) * sizeof(Segment);
    if (h.e_phentsize != sizeof(Segment) || h.e_phnum == 0 || h.e_phoff > size || table > size - h.e_phoff)
        return "its program header table lies outside the file";
    std::vector<Segment> segments(h.e_phnum);
    if (!readAt(h.e_phoff, segments.data(), table))
        return "cut short: its program header table cannot be read";
    for (const Segment &s : segments)
        if (s.p_type == PT_LOAD && (s.p_offset > size || s.p_filesz > size - s.p_offset))
            return "cut short: a loadable segment ends past the end of the file";
    return nullptr;
}

} // namespace quiro

#endif
