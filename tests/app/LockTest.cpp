// The single-instance lock: what may be in the lock file's place and where the lock lives. Only a
// live copy of the console refuses the start with the already-running message; a lock no live copy
// holds is taken over; anything else stops the start with a message naming the file and the reason.

#include "FakeBoard.h"
#include "QtApplication.h"
#include "app/Startup.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <sys/stat.h>

namespace quiro {
namespace {

struct Lock : test::UsesQt, ::testing::Test {};

const QString AlreadyRunning = QStringLiteral("ＱＵＩＲＯのプログラムは、すでに実行中です。");

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST_F(Lock, OnlyALiveCopyRefusesTheStartAndAnythingElseIsTakenOverOrNamed) {
    using Outcome = InstanceLock::Outcome;
    const struct {
        const char *what;
        std::function<void(const QString &dir, const QString &lock, std::optional<QLockFile> &live)>
            make;
        Outcome outcome;
        const char *problem; // a fragment of the message naming the file, for Unusable
    } rows[] = {
        {"no lock yet", [](auto &, auto &, auto &) {}, Outcome::Acquired, ""},
        {"a live copy holds it",
         [](auto &, const QString &lock, auto &live) {
             ASSERT_TRUE(live.emplace(lock).tryLock(0));
         },
         Outcome::HeldByAnotherCopy, ""},
        {"left by a copy that died",
         [](auto &, const QString &lock, auto &) { writeFile(lock, "2147483647\nquiro\n\n"); },
         Outcome::Acquired, ""},
        {"an empty lock file", [](auto &, const QString &lock, auto &) { writeFile(lock, ""); },
         Outcome::Acquired, ""},
        {"written on another host",
         [](auto &, const QString &lock, auto &) {
             writeFile(lock, QByteArray::number(QCoreApplication::applicationPid()) +
                                 "\nquiro_tests\nsomewhere-else\n");
         },
         Outcome::Acquired, ""},
        {"a folder in its place",
         [](auto &, const QString &lock, auto &) { ASSERT_TRUE(QDir().mkdir(lock)); },
         Outcome::Unusable, "quiro.lock: is a folder"},
        {"a FIFO in its place",
         [](auto &, const QString &lock, auto &) {
             ASSERT_EQ(::mkfifo(qPrintable(lock), 0600), 0);
         },
         Outcome::Unusable, "quiro.lock: is not a regular file"},
        {"a folder others can write",
         [](const QString &dir, auto &, auto &) { ASSERT_EQ(::chmod(qPrintable(dir), 0777), 0); },
         Outcome::Unusable, "quiro.lock: its folder other users can write into it"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        QTemporaryDir dir;
        const QString lockPath = dir.filePath(QStringLiteral("quiro.lock"));
        std::optional<QLockFile> live;
        r.make(dir.path(), lockPath, live);
        InstanceLock lock(lockPath);
        test::FakeBoard board;
        std::vector<QString> shown;
        testing::internal::CaptureStderr();
        const StartupResult result = Form_Load(
            board, lock,
            {[&](MessageIcon, const QString &text, const QString &) { shown.push_back(text); },
             [] {},
             {},
             QStringLiteral("/nowhere")});
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result == StartupResult::Refused, r.outcome != Outcome::Acquired);
        EXPECT_EQ(board.calls.empty(), r.outcome != Outcome::Acquired) << "the library was opened";
        if (r.outcome == Outcome::HeldByAnotherCopy) {
            EXPECT_EQ(shown, std::vector{AlreadyRunning});
        } else if (r.outcome == Outcome::Unusable) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_TRUE(shown[0].contains(QString::fromUtf8(r.problem))) << shown[0].toStdString();
            EXPECT_NE(said.find(r.problem), std::string::npos) << said;
            EXPECT_NE(shown[0], AlreadyRunning);
        }
        ::chmod(qPrintable(dir.path()), 0700);
    }
}

// Where the lock lives: a runtime folder only this user can write, otherwise a folder of its own in
// the user's cache, never one that others can write.
TEST_F(Lock, LivesOnlyWhereNoOtherUserCanWrite) {
    const struct {
        const char *what;
        bool runtimeSet;
        mode_t runtimeMode;
        bool cacheOwnExists;
        mode_t cacheOwnMode;
        const char *lockIn; // "runtime", "cache" or "" for none
    } rows[] = {
        {"a private runtime folder", true, 0700, false, 0, "runtime"},
        {"no runtime folder: a private one made in the cache", false, 0, false, 0, "cache"},
        {"a runtime folder others can write", true, 0777, false, 0, "cache"},
        {"no runtime folder and the cache's one open to others", false, 0, true, 0777, ""},
    };
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR"),
                     savedCache = qgetenv("XDG_CACHE_HOME");
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        QTemporaryDir runtime, cache;
        ::chmod(qPrintable(runtime.path()), r.runtimeMode);
        r.runtimeSet ? qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit())
                     : qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
        const QString own = cache.filePath(QStringLiteral("quiro"));
        if (r.cacheOwnExists) {
            ASSERT_TRUE(QDir().mkdir(own));
            ::chmod(qPrintable(own), r.cacheOwnMode);
        }
        const InstanceLock::Place place = InstanceLock::thisUsersPlace();
        const QString expected = QString::fromLatin1(r.lockIn) == "runtime"
                                     ? runtime.filePath("quiro.lock")
                                 : QString::fromLatin1(r.lockIn) == "cache" ? own + "/quiro.lock"
                                                                            : QString();
        EXPECT_EQ(place.path, expected) << place.problem.toStdString();
        EXPECT_EQ(place.problem.isEmpty(), !expected.isEmpty());
        if (QString::fromLatin1(r.lockIn) ==
            "cache") { // made for the lock: only its owner may enter
            const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
            EXPECT_FALSE(QFile::permissions(own) & others);
        }
        ::chmod(qPrintable(runtime.path()), 0700);
        ::chmod(qPrintable(own), 0700);
    }
    savedRuntime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", savedRuntime);
    savedCache.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", savedCache);
}

} // namespace
} // namespace quiro
