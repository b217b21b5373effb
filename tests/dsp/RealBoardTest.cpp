// The real simulated board from the run tree, bound by name as the program binds it.

#include "dsp/CommandLink.h"
#include "dsp/KestoLibrary.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace quiro {
namespace {

const QString binDir = QStringLiteral(QUIRO_RUN_TREE "/bin");
const std::string dspProgram = QUIRO_RUN_TREE "/bin/../DSP/quiros.out";

TEST(RealBoard, AMissingLibraryOrExportCountsAsAFailedCall) {
    // Nowhere to be found: not beside this directory, and the search path has no Kesto32.
    // (Runs first: once the library is loaded in this process, the search finds it by name.)
    KestoLibrary missing(QStringLiteral(QUIRO_RUN_TREE "/no-such-dir"));
    EXPECT_NE(missing.libenter(), 0);
    std::uint32_t word = 42;
    EXPECT_NE(missing.getmem(dspmem::CmdAck, &word), 0);
    EXPECT_EQ(word, 42u);
}

TEST(RealBoard, ALibraryWithoutTheExportsFailsEachCallAndStartsNothing) {
    // A shared object that is not the board library, under the board library's name.
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUIRO_RUN_TREE "/DSP/quiros.out"),
                            dir.filePath(QStringLiteral("libKesto32.so"))));
    KestoLibrary impostor(dir.path());
    EXPECT_NE(impostor.libenter(), 0);
    EXPECT_NE(impostor.run(), 0);
    std::uint32_t word = 42;
    EXPECT_NE(impostor.getmem(dspmem::CmdAck, &word), 0);
    EXPECT_EQ(word, 42u);
}

TEST(RealBoard, StartsUpFromTheRunTreeAndAnswersTheHandshake) {
    KestoLibrary board(binDir);
    ASSERT_EQ(board.libenter(), 0);
    EXPECT_TRUE(board.fileName().endsWith(QStringLiteral("bin/libKesto32.so")));
    board.bdsel(0);
    board.bdinit();
    ASSERT_EQ(board.loadcs(dspProgram), 0);
    ASSERT_EQ(board.run(), 0);

    CommandLink link(board, [] { std::this_thread::yield(); });
    link.putLong(dspmem::CmdArg1, 256);
    link.putLong(dspmem::CmdArg2, 256);
    link.putSingle(dspmem::CmdArg4, 1e-6f);
    link.putSingle(dspmem::CmdArg5, 1e-5f);
    link.putSingle(dspmem::CmdArg6, 20000.0f);
    link.SendCommand(Cmd::SetParams);
    link.SendCommand(Cmd::WClear);
    std::uint32_t word = 7;
    link.getWord(dspmem::CmdAck, word);
    EXPECT_EQ(word, 0u);
    link.getWord(dspmem::CmdRequest, word);
    EXPECT_EQ(word, 0u);

    // The capture completes once enough samples have passed: the board's clock is running.
    link.SendCommand(Cmd::CaptureStart);
    std::uint32_t status = 1;
    for (int i = 0; i < 2000 && status != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        link.SendCommand(Cmd::CaptureQuery);
        link.getWord(dspmem::CmdArg1, status);
    }
    EXPECT_EQ(status, 0u);
    std::uint32_t samples = 0;
    link.getWord(dspmem::SampleCount, samples);
    EXPECT_GE(samples, 251u);
    EXPECT_EQ(board.libexit(), 0);
}

TEST(RealBoard, AMissingDspProgramFailsToLoadAndNothingRuns) {
    KestoLibrary board(binDir);
    ASSERT_EQ(board.libenter(), 0);
    EXPECT_NE(board.loadcs(QUIRO_RUN_TREE "/DSP/missing.out"), 0);
    EXPECT_NE(board.run(), 0);
    board.libexit();
}

} // namespace
} // namespace quiro
