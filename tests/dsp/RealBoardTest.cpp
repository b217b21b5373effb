// The board library bound by name as the program binds it, when it is missing, foreign or cut
// short, or the DSP program is missing.
// (The real-window test starts the real one from the run tree.)

#include "dsp/KestoLibrary.h"
#include "contract/BoardContract.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace quiro {
namespace {

TEST(RealBoard, AMissingOrForeignLibraryOrAMissingDspProgramFailsAndStartsNothing) {
    // Libraries that must not be loaded, beside the program or on the search path, each refused
    // with the reason; none may crash the process or hang it. Before the real one: once the
    // library is loaded in this process, the search finds it by name.
    QFile real(QStringLiteral(QUIRO_RUN_TREE "/bin/libKesto32.so"));
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    const QByteArray whole = real.readAll();
    const auto file = [](const QByteArray &bytes) {
        return [bytes](const QString &path) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
    };
    const struct {
        const char *what;
        bool onSearchPath; // else beside the program
        std::function<void(const QString &)> make;
        const char *says; // on stderr
    } rows[] = {
        {"nowhere to be found", false, {}, "cannot load the board library"},
        {"a shared object that is not the board library", false,
         [](const QString &path) { ASSERT_TRUE(QFile::copy(QStringLiteral(QUIRO_RUN_TREE "/DSP/quiros.out"), path)); },
         "no export Kesto_libenter"},
        {"the library cut to 16 KiB", false, file(whole.left(16384)), "cut short"},
        {"the library cut short on the search path", true, file(whole.left(16384)), "cut short"},
        {"a FIFO in the library's place", false,
         [](const QString &path) { ASSERT_EQ(::mkfifo(qPrintable(path), 0600), 0); }, "not a regular file"},
    };
    const QByteArray searchPath = qgetenv("LD_LIBRARY_PATH");
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        QTemporaryDir appDir, searched;
        if (r.make)
            r.make((r.onSearchPath ? searched : appDir).filePath(QStringLiteral("libKesto32.so")));
        qputenv("LD_LIBRARY_PATH", searched.path().toLocal8Bit());
        testing::internal::CaptureStderr();
        KestoLibrary board(appDir.path());
        EXPECT_NE(board.libenter(), 0);
        EXPECT_NE(board.run(), 0);
        std::uint32_t word = 42;
        EXPECT_NE(board.getmem(dspmem::CmdAck, &word), 0);
        EXPECT_EQ(word, 42u);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(r.says), std::string::npos) << said;
    }
    searchPath.isNull() ? qunsetenv("LD_LIBRARY_PATH") : qputenv("LD_LIBRARY_PATH", searchPath);
    // The real library, and a DSP program that is not there.
    KestoLibrary board(QStringLiteral(QUIRO_RUN_TREE "/bin"));
    ASSERT_EQ(board.libenter(), 0);
    EXPECT_NE(board.loadcs(QUIRO_RUN_TREE "/DSP/missing.out"), 0);
    EXPECT_NE(board.run(), 0);
    board.libexit();
}

} // namespace
} // namespace quiro
