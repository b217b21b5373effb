// The board library bound by name as the program binds it, when it or the DSP program is missing.
// (The real-window test starts the real one from the run tree.)

#include "dsp/KestoLibrary.h"
#include "contract/BoardContract.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quiro {
namespace {

TEST(RealBoard, AMissingOrForeignLibraryOrAMissingDspProgramFailsAndStartsNothing) {
    // Nowhere to be found (not beside the directory, nor on the search path), and a shared object
    // that is not the board library under its name. Before the real one: once the library is loaded in
    // this process, the search finds it by name.
    QTemporaryDir impostor;
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUIRO_RUN_TREE "/DSP/quiros.out"),
                            impostor.filePath(QStringLiteral("libKesto32.so"))));
    for (const QString &dir : {QStringLiteral(QUIRO_RUN_TREE "/no-such-dir"), impostor.path()}) {
        SCOPED_TRACE(dir.toStdString());
        KestoLibrary board(dir);
        EXPECT_NE(board.libenter(), 0);
        EXPECT_NE(board.run(), 0);
        std::uint32_t word = 42;
        EXPECT_NE(board.getmem(dspmem::CmdAck, &word), 0);
        EXPECT_EQ(word, 42u);
    }
    // The real library, and a DSP program that is not there.
    KestoLibrary board(QStringLiteral(QUIRO_RUN_TREE "/bin"));
    ASSERT_EQ(board.libenter(), 0);
    EXPECT_NE(board.loadcs(QUIRO_RUN_TREE "/DSP/missing.out"), 0);
    EXPECT_NE(board.run(), 0);
    board.libexit();
}

} // namespace
} // namespace quiro
