#include "dsp/KestoLibrary.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

#if defined(_WIN32)
#define QUIRO_KESTO_CALL __stdcall
#else
#define QUIRO_KESTO_CALL
#endif

namespace quiro {
namespace {

using NoArgFn = std::int32_t(QUIRO_KESTO_CALL *)();
using BdSelFn = std::int32_t(QUIRO_KESTO_CALL *)(std::int32_t);
using LoadCsFn = std::int32_t(QUIRO_KESTO_CALL *)(const char *);
using GetMemFn = std::int32_t(QUIRO_KESTO_CALL *)(std::uint32_t, std::uint32_t *);
using PutMemFn = std::int32_t(QUIRO_KESTO_CALL *)(std::uint32_t, const std::uint32_t *,
                                                 std::int32_t);

constexpr const char *exportNames[] = {
    "Kesto_libenter", "Kesto_libexit", "Kesto_bdsel",   "_Kesto_bdinit",
    "_Kesto_loadcs",  "_Kesto_run",    "_Kesto_getmem", "_Kesto_putmem",
};

#if defined(_WIN32)
constexpr const char *libraryFile = "Kesto32.dll";
#else
constexpr const char *libraryFile = "libKesto32.so";
#endif

} // namespace

KestoLibrary::KestoLibrary(QString appDir) : appDir_(std::move(appDir)) {}

KestoLibrary::~KestoLibrary() = default; // the library stays mapped until the process ends

bool KestoLibrary::load() {
    if (library_.isLoaded())
        return true;
    if (triedLoading_)
        return false;
    triedLoading_ = true;

    const QString besideProgram = QDir(appDir_).filePath(QString::fromLatin1(libraryFile));
    QString reasons;
    if (QFileInfo::exists(besideProgram)) {
        library_.setFileName(besideProgram);
        if (library_.load())
            return true;
        reasons += library_.errorString() + QStringLiteral("; ");
    }
    library_.setFileName(QStringLiteral("Kesto32")); // the platform's usual search
    if (library_.load())
        return true;
    reasons += library_.errorString();
    std::fprintf(stderr, "quiro: cannot load the board library Kesto32 (looked in %s, then the "
                         "library search path): %s\n",
                 qPrintable(QDir::toNativeSeparators(appDir_)), qPrintable(reasons));
    return false;
}

void *KestoLibrary::resolve(Op op) {
    if (functions_[op] != nullptr)
        return functions_[op];
    if (!load())
        return nullptr;
    functions_[op] = reinterpret_cast<void *>(library_.resolve(exportNames[op]));
    if (functions_[op] == nullptr)
        std::fprintf(stderr, "quiro: the board library %s has no export %s\n",
                     qPrintable(library_.fileName()), exportNames[op]);
    return functions_[op];
}

std::int32_t KestoLibrary::libenter() {
    auto fn = reinterpret_cast<NoArgFn>(resolve(LibEnter));
    return fn ? fn() : Failed;
}

std::int32_t KestoLibrary::libexit() {
    auto fn = reinterpret_cast<NoArgFn>(resolve(LibExit));
    return fn ? fn() : Failed;
}

std::int32_t KestoLibrary::bdsel(std::int32_t board) {
    auto fn = reinterpret_cast<BdSelFn>(resolve(BdSel));
    return fn ? fn(board) : Failed;
}

std::int32_t KestoLibrary::bdinit() {
    auto fn = reinterpret_cast<NoArgFn>(resolve(BdInit));
    return fn ? fn() : Failed;
}

std::int32_t KestoLibrary::loadcs(const std::string &path) {
    auto fn = reinterpret_cast<LoadCsFn>(resolve(LoadCs));
    return fn ? fn(path.c_str()) : Failed;
}

std::int32_t KestoLibrary::run() {
    auto fn = reinterpret_cast<NoArgFn>(resolve(Run));
    return fn ? fn() : Failed;
}

std::int32_t KestoLibrary::getmem(std::uint32_t address, std::uint32_t *word) {
    auto fn = reinterpret_cast<GetMemFn>(resolve(GetMem));
    return fn ? fn(address, word) : Failed;
}

std::int32_t KestoLibrary::putmem(std::uint32_t address, const std::uint32_t *word,
                                  std::int32_t flag) {
    auto fn = reinterpret_cast<PutMemFn>(resolve(PutMem));
    return fn ? fn(address, word, flag) : Failed;
}

} // namespace quiro
