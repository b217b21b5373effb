// The board library bound by name as the program binds it, when it or the DSP program is missing.
// (The end-to-end test starts the real one from the run tree.)

#include "dsp/KestoLibrary.h"
#include "contract/BoardContract.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>


namespace quiro {
namespace {

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

TEST(RealBoard, AMissingDspProgramFailsToLoadAndNothingRuns) {
    KestoLibrary board(QStringLiteral(QUIRO_RUN_TREE "/bin"));
    ASSERT_EQ(board.libenter(), 0);
    EXPECT_NE(board.loadcs(QUIRO_RUN_TREE "/DSP/missing.out"), 0);
    EXPECT_NE(board.run(), 0);
    board.libexit();
}

} // namespace
} // namespace quiro
