#pragma once
// The eight operations of the board access library as the program uses them. The program talks
// to the real library through KestoLibrary; unit tests put an in-process fake in its place.

#include <cstdint>
#include <string>

namespace quiro {

class Board {
public:
    virtual ~Board() = default;

    virtual std::int32_t libenter() = 0;                 // 0 = library and board open
    virtual std::int32_t libexit() = 0;
    virtual std::int32_t bdsel(std::int32_t board) = 0;  // the program passes 0
    virtual std::int32_t bdinit() = 0;
    virtual std::int32_t loadcs(const std::string &path) = 0; // 0 = DSP program loaded
    virtual std::int32_t run() = 0;                      // 0 = DSP program started
    // Reads one word into *word; a failed read leaves *word untouched.
    virtual std::int32_t getmem(std::uint32_t address, std::uint32_t *word) = 0;
    // Writes one word; the program always passes flag -1.
    virtual std::int32_t putmem(std::uint32_t address, const std::uint32_t *word,
                                std::int32_t flag) = 0;
};

} // namespace quiro
