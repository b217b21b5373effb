// Start-up against an in-process fake board: the order of the board calls, each failure's
// message and where it stops, the previous-instance test, and the exit by button and close box.

#include "AppTestSupport.h"
#include "FakeBoard.h"
#include "app/Console.h"
#include "app/Startup.h"

#include <QLabel>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace quiro {
namespace {

using test::FakeBoard;
using Calls = std::vector<std::string>;

struct Shown {
    MessageIcon icon;
    QString text;
    QString title;
    bool operator==(const Shown &) const = default;
};

const QString AppDir = QStringLiteral("/opt/quiro demo/bin");
const Calls FullStart{"Kesto_libenter", "Kesto_bdsel(0)", "_Kesto_bdinit", "_Kesto_loadcs",
                      "_Kesto_run"};

// Records what start-up shows and does instead of blocking on a box or ending the process.
struct Hooks {
    std::vector<Shown> messages;
    int ends = 0;
    int displayInits = 0;
    std::vector<std::size_t> callsAtEnd; // how many board calls had been made when it ended
    const FakeBoard *board = nullptr;

    StartupHooks make() {
        StartupHooks h;
        h.showMessage = [this](MessageIcon icon, const QString &text, const QString &title) {
            messages.push_back({icon, text, title});
        };
        h.endProgram = [this] {
            ++ends;
            callsAtEnd.push_back(board ? board->calls.size() : 0);
        };
        h.initialiseDisplay = [this] { ++displayInits; };
        h.appDir = AppDir;
        return h;
    }
};

struct Startup : ::testing::Test {
    static void SetUpTestSuite() { test::fontedApplication(); }
    QTemporaryDir runtime;
    QString lockPath() const { return runtime.filePath("quiro.lock"); }
};

TEST_F(Startup, EachTestedResultShowsItsMessageAndStopsWhereItShould) {
    const Shown driver{MessageIcon::Critical,
                       "デバイスドライバーのオープン失敗\n\nＶＡＲＮＥＬドライバ設定プログラムを起動"
                       "し、リジュームして下さい。",
                       "Dsp Error"};
    const Shown load{MessageIcon::Critical, QString::fromUtf8("プログラム(1)\u3000ロード失敗"),
                     "Dsp Error"};
    const Shown run{MessageIcon::Critical, "DSP実行失敗", "Dsp Error"};
    struct Case {
        const char *what;
        std::int32_t libenter, loadcs, run;
        StartupResult result;
        Calls calls;
        std::vector<Shown> messages;
        int ends, displayInits;
    };
    const Calls upToLoad(FullStart.begin(), FullStart.end() - 1);
    const std::vector<Case> cases{
        {"all succeed", 0, 0, 0, StartupResult::Ready, FullStart, {}, 0, 1},
        {"driver fails", 1, 0, 0, StartupResult::LibraryFailed, {"Kesto_libenter"}, {driver}, 1, 0},
        {"driver fails negative", -7, 0, 0, StartupResult::LibraryFailed, {"Kesto_libenter"},
         {driver}, 1, 0},
        {"load fails", 0, 3, 0, StartupResult::LoadFailed, upToLoad, {load}, 0, 0},
        {"run fails", 0, 0, -1, StartupResult::RunFailed, FullStart, {run}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakeBoard board;
        board.libenterResult = c.libenter;
        board.loadcsResult = c.loadcs;
        board.runResult = c.run;
        Hooks hooks;
        hooks.board = &board;
        MainForm form;
        InstanceLock lock(lockPath());

        EXPECT_EQ(Form_Load(board, form, lock, hooks.make()), c.result);
        EXPECT_EQ(board.calls, c.calls);
        EXPECT_EQ(hooks.messages, c.messages);
        EXPECT_EQ(hooks.ends, c.ends);
        EXPECT_EQ(hooks.displayInits, c.displayInits);
        // Nothing is said to the DSP program during start-up.
        EXPECT_TRUE(board.commands.empty());
        EXPECT_TRUE(board.writes.empty());
        if (c.result == StartupResult::LoadFailed || c.result == StartupResult::RunFailed) {
            // The window keeps its design-time state.
            EXPECT_FALSE(form.control("BtnPrimWide")->isEnabled());
            EXPECT_EQ(form.control<QLabel>("LblPrimPfs")->text(), "+1");
        }
        lock.release();
    }
}

// One start-up with its own board, hooks and window.
struct StartupOnce : Startup {
    FakeBoard board;
    Hooks hooks;
    MainForm form;
    InstanceLock lock{lockPath()};
    StartupResult load() {
        hooks = {};
        hooks.board = &board;
        return Form_Load(board, form, lock, hooks.make());
    }
};

TEST_F(StartupOnce, LoadsTheDspProgramBesideTheProgramsDirectoryUnresolved) {
    load();
    EXPECT_EQ(form.AppDir, AppDir);
    EXPECT_EQ(board.loadedPath, "/opt/quiro demo/bin/../DSP/quiros.out");
    EXPECT_EQ(dspProgramPath("/a/b"), "/a/b/../DSP/quiros.out");
}

TEST_F(StartupOnce, ASecondCopyIsRefusedBeforeTheLibraryIsOpened) {
    QLockFile running(lockPath()); // the copy that is already running
    ASSERT_TRUE(running.tryLock(0));

    EXPECT_EQ(load(), StartupResult::Refused);
    EXPECT_TRUE(board.calls.empty());
    EXPECT_EQ(hooks.messages,
              (std::vector<Shown>{{MessageIcon::Exclamation,
                                   "ＱＵＩＲＯのプログラムは、すでに実行中です。", "注意"}}));
    EXPECT_EQ(hooks.ends, 1);
    EXPECT_TRUE(form.AppDir.isEmpty());

    // Once the first copy has ended, the next start goes ahead.
    running.unlock();
    EXPECT_EQ(load(), StartupResult::Ready);
    EXPECT_TRUE(hooks.messages.empty());
}

TEST_F(StartupOnce, ALockLeftByACopyThatDiedDoesNotRefuseTheNextStart) {
    // A process that held the lock and is gone: its id is in the file, and nothing runs under it.
    QProcess gone;
    gone.start("sleep", {"30"});
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 pid = gone.processId();
    gone.kill();
    gone.waitForFinished();
    {
        QFile file(lockPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(pid) + "\nquiro\n\n");
    }
    EXPECT_EQ(load(), StartupResult::Ready);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_EQ(board.calls, FullStart);
}

// The composition, with the fake board in place of the library.
struct ConsoleAt : Startup {
    Hooks hooks;
    FakeBoard *board = nullptr;
    std::unique_ptr<Console> console;

    void make(std::int32_t libenter, std::int32_t loadcs) {
        auto fake = std::make_unique<FakeBoard>();
        fake->libenterResult = libenter;
        fake->loadcsResult = loadcs;
        board = fake.get();
        hooks.board = board;
        console = std::make_unique<Console>(std::move(fake), hooks.make(), lockPath());
    }
};

std::set<QString> enabledButtons(const MainForm &form) {
    std::set<QString> names;
    for (const QPushButton *b : form.findChildren<QPushButton *>())
        if (b->isEnabled())
            names.insert(b->objectName());
    return names;
}

TEST_F(ConsoleAt, StartShowsTheWindowInTheStateItsStartUpLeft) {
    const std::set<QString> idle{"BtnC1Ident", "BtnC1Clear", "BtnC2Ident",
                                 "BtnC2Clear", "BtnParamSet", "BtnExit"};
    std::set<QString> ready = idle;
    ready.insert({"BtnPrimWide", "BtnPrimTele", "BtnErrorWide", "BtnErrorTele", "BtnCtrlWide",
                  "BtnCtrlTele"});
    struct Case {
        std::int32_t libenter, loadcs;
        StartupResult result;
        bool shown;
        std::set<QString> enabled;
        const char *topLabel; // the primary input's top scale label
    };
    for (const Case &c : {Case{0, 0, StartupResult::Ready, true, ready, "+0.2"},
                          Case{0, 1, StartupResult::LoadFailed, true, idle, "+1"},
                          Case{1, 0, StartupResult::LibraryFailed, false, idle, "+1"}}) {
        SCOPED_TRACE(static_cast<int>(c.result));
        make(c.libenter, c.loadcs);
        EXPECT_EQ(console->start(), c.result);
        MainForm &form = console->form();
        EXPECT_EQ(form.isVisible(), c.shown);
        EXPECT_EQ(enabledButtons(form), c.enabled);
        EXPECT_EQ(form.control<QLabel>("LblPrimPfs")->text(), c.topLabel);
        EXPECT_EQ(form.control<QLabel>("Label20")->text(), "0");
        console.reset();
    }
}

TEST_F(ConsoleAt, ExitButtonAndCloseBoxBothCloseTheLibraryAndEnd) {
    enum How { Button, CloseBox };
    for (std::int32_t loadcs : {0, 1}) {
        for (How how : {Button, CloseBox}) {
            SCOPED_TRACE(testing::Message() << "loadcs " << loadcs << " how " << how);
            hooks = {};
            make(0, loadcs);
            console->start();
            const std::size_t before = board->calls.size();
            if (how == Button)
                console->form().control<QPushButton>("BtnExit")->click();
            else
                console->form().close();
            // Kesto_libexit is the one call made, and the program ends right after it; no
            // end-of-run command goes to the DSP program.
            EXPECT_EQ(Calls(board->calls.begin() + before, board->calls.end()),
                      Calls{"Kesto_libexit"});
            EXPECT_EQ(hooks.ends, 1);
            EXPECT_EQ(hooks.callsAtEnd, std::vector<std::size_t>{before + 1});
            EXPECT_TRUE(board->commands.empty());
            EXPECT_TRUE(board->writes.empty());
            console.reset();
        }
    }
}

} // namespace
} // namespace quiro
