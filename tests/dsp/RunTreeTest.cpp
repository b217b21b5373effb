// Where the tools find their run tree and write by default, in a build tree and an installed one.

#include "dsp/RunTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quiro {
namespace {

TEST(RunTree, IsAboveTheToolsFolderAndKeepsOutputInsideOnlyABuildTree) {
    const struct {
        const char *name;
        bool buildTree;
        QString expectedOutput; // relative to the run tree, or as returned when not under it
    } cases[] = {
        {"a build tree keeps the report inside", true, QStringLiteral("<tree>/lab-report")},
        {"an installed tree leaves it to the current folder", false, QStringLiteral("lab-report")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir top;
        ASSERT_TRUE(QDir(top.path()).mkpath(QStringLiteral("usr/lib/quiro/bin")));
        const QString tree = top.path() + QStringLiteral("/usr/lib/quiro");
        if (c.buildTree) {
            QFile cache(tree + QStringLiteral("/CMakeCache.txt"));
            ASSERT_TRUE(cache.open(QIODevice::WriteOnly));
        }
        EXPECT_EQ(runTreeOf(tree + QStringLiteral("/bin")), tree);
        EXPECT_EQ(runTreeOf(tree + QStringLiteral("/bin/")), tree);
        QString expected = c.expectedOutput;
        expected.replace(QStringLiteral("<tree>"), tree);
        EXPECT_EQ(defaultOutput(tree, QStringLiteral("lab-report")), expected);
    }
}

} // namespace
} // namespace quiro
