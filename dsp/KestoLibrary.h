#pragma once
// The board access library "Kesto32", bound at run time. The library file is looked for first
// beside the executable, then through the platform's own search; each operation is resolved by
// its exported name on its first call and its address kept. A missing library makes
// Kesto_libenter fail; a missing export makes that one call fail. Both are reported on stderr.

#include "dsp/Board.h"

#include <QLibrary>
#include <QString>

#include <array>

namespace quiro {

class KestoLibrary final : public Board {
public:
    // appDir: the directory of the executable, searched first.
    explicit KestoLibrary(QString appDir);
    ~KestoLibrary() override;
    KestoLibrary(const KestoLibrary &) = delete;
    KestoLibrary &operator=(const KestoLibrary &) = delete;

    std::int32_t libenter() override;
    std::int32_t libexit() override;
    std::int32_t bdsel(std::int32_t board) override;
    std::int32_t bdinit() override;
    std::int32_t loadcs(const std::string &path) override;
    std::int32_t run() override;
    std::int32_t getmem(std::uint32_t address, std::uint32_t *word) override;
    std::int32_t putmem(std::uint32_t address, const std::uint32_t *word,
                        std::int32_t flag) override;

    static constexpr std::int32_t Failed = -1; // result of a call that could not be made

private:
    enum Op { LibEnter, LibExit, BdSel, BdInit, LoadCs, Run, GetMem, PutMem, OpCount };
    void *resolve(Op op);
    bool load();

    QString appDir_;
    QLibrary library_;
    bool triedLoading_ = false;
    std::array<void *, OpCount> functions_{};
};

} // namespace quiro
