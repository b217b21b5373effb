#include "dsp/KestoLibrary.h"

#include "contract/SharedObject.h"

#include <QDir>
#include <QFile>
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

// Why the library file should not be handed to the loader, or empty when it may be. On ELF
// platforms the loader maps a file cut short and the process dies of SIGBUS once it touches the
// missing part; such a file is refused here instead, with the reason.
QString unloadableBecause(const QString &file) {
#if defined(__linux__)
    QFile f(file);
    if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly))
        return QStringLiteral("not a regular file that can be read");
    const char *problem = sharedObjectProblem(static_cast<std::uint64_t>(f.size()),
                                              [&f](std::uint64_t at, void *to, std::size_t n) {
                                                  return f.seek(static_cast<qint64>(at)) &&
                                                         f.read(static_cast<char *>(to), static_cast<qint64>(n)) ==
                                                             static_cast<qint64>(n);
                                              });
    return problem ? QString::fromLatin1(problem) : QString();
#else
    (void)file;
    return {};
#endif
}

// The library files the platform's search would find, in its order, where the program can list
// them (LD_LIBRARY_PATH's folders on Linux), so that each is checked before it is loaded.
QStringList searchedFiles() {
    QStringList files;
#if defined(__linux__)
    for (const QString &dir : qEnvironmentVariable("LD_LIBRARY_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (const QString file = QDir(dir).filePath(QString::fromLatin1(libraryFile)); QFileInfo::exists(file))
            files << file;
#endif
    return files;
}

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
    const QStringList searched = searchedFiles();
    QStringList candidates = searched;
    if (QFileInfo::exists(besideProgram))
        candidates.prepend(besideProgram);
    for (const QString &file : candidates) {
        if (const QString why = unloadableBecause(file); !why.isEmpty()) {
            reasons += file + QStringLiteral(": ") + why + QStringLiteral("; ");
            continue;
        }
        library_.setFileName(file);
        if (library_.load())
            return true;
        reasons += library_.errorString() + QStringLiteral("; ");
    }
    // The rest of the platform's usual search (the linker cache), unless it would come back to a
    // file listed above.
    if (searched.isEmpty()) {
        library_.setFileName(QStringLiteral("Kesto32"));
        if (library_.load())
            return true;
        reasons += library_.errorString();
    }
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
