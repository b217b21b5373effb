// Start-up against an in-process fake board up to the exit, and the composition root's wiring of
// the window, the dialog and the activities.

#include "FakeBoard.h"
#include "QtApplication.h"
#include "app/Console.h"

#include <QPushButton>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace quiro {
namespace {

struct App : test::UsesQt, ::testing::Test {};

TEST_F(App, StartUpFollowsTheBoardsAnswersAndEndsOnlyThroughTheLibrarysExit) {
    using Calls = std::vector<std::string>;
    using Shown = std::tuple<MessageIcon, QString, QString>; // icon, text, title
    // The DSP program beside the program's folder, unresolved.
    const Calls full{"Kesto_libenter", "Kesto_bdsel(0)", "_Kesto_bdinit",
                     "_Kesto_loadcs(/opt/quiro demo/bin/../DSP/quiros.out)", "_Kesto_run"};
    const Calls upToLoad(full.begin(), full.end() - 1), opened{full[0]};
    const Shown refused{MessageIcon::Exclamation, "ＱＵＩＲＯのプログラムは、すでに実行中です。",
                        "注意"};
    const Shown driver{MessageIcon::Critical,
                       "デバイスドライバーのオープン失敗\n\nＶＡＲＮＥＬドライバ設定プログラムを起動"
                       "し、リジュームして下さい。",
                       "Dsp Error"};
    const Shown load{MessageIcon::Critical, "プログラム(1)\u3000ロード失敗", "Dsp Error"};
    const Shown run{MessageIcon::Critical, "DSP実行失敗", "Dsp Error"};
    const std::set<QString> idle{"BtnC1Ident", "BtnC1Clear", "BtnC2Ident",
                                 "BtnC2Clear", "BtnParamSet", "BtnExit"};
    // No DSP program runs: only what needs none (the parameters, the exit) can be clicked.
    const std::set<QString> withoutProgram{"BtnParamSet", "BtnExit"};
    std::set<QString> ready = idle;
    ready.insert({"BtnPrimWide", "BtnPrimTele", "BtnErrorWide", "BtnErrorTele", "BtnCtrlWide",
                  "BtnCtrlTele"});
    enum Exit { None, Button, CloseBox };
    using R = StartupResult;
    struct Case {
        const char *name;
        bool held; // another copy holds the lock
        std::int32_t libenter, loadcs, run;
        R result;
        Calls calls;
        std::vector<Shown> messages;
        Exit exit; // None: start-up ends the program after its last call and no window shows
    } const cases[] = {
        {"the board ready", false, 0, 0, 0, R::Ready, full, {}, CloseBox},
        {"another copy running", true, 0, 0, 0, R::Refused, {}, {refused}, None},
        {"library refused (1)", false, 1, 0, 0, R::LibraryFailed, opened, {driver}, None},
        {"library refused (-7)", false, -7, 0, 0, R::LibraryFailed, opened, {driver}, None},
        {"program not loaded", false, 0, 3, 0, R::LoadFailed, upToLoad, {load}, CloseBox},
        {"program not run", false, 0, 0, -1, R::RunFailed, full, {run}, Button},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString lockPath = dir.filePath("quiro.lock");
        QLockFile running(lockPath); // the copy that is already running
        ASSERT_TRUE(!c.held || running.tryLock(0));
        auto fake = std::make_unique<test::FakeBoard>();
        test::FakeBoard &board = *fake;
        std::tie(board.libenterResult, board.loadcsResult, board.runResult) =
            std::tie(c.libenter, c.loadcs, c.run);
        std::vector<Shown> messages;
        std::vector<std::size_t> ends; // the number of board calls made at each end
        Console console(std::move(fake),
                        {[&](MessageIcon icon, const QString &text, const QString &title) {
                             messages.emplace_back(icon, text, title);
                         },
                         [&] { ends.push_back(board.calls.size()); }, {}, "/opt/quiro demo/bin"},
                        lockPath);
        MainForm &shown = console.form();

        EXPECT_EQ(console.start(), c.result);
        EXPECT_EQ(board.calls, c.calls);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(ends, c.exit == None ? std::vector{c.calls.size()} : std::vector<std::size_t>{});
        EXPECT_EQ(shown.isVisible(), c.exit != None);
        std::set<QString> enabled;
        for (const QPushButton *b : shown.findChildren<QPushButton *>())
            if (b->isEnabled())
                enabled.insert(b->objectName());
        EXPECT_EQ(enabled, c.result == R::Ready                                    ? ready
                           : c.result == R::LoadFailed || c.result == R::RunFailed ? withoutProgram
                                                                                   : idle);
        if (c.exit == None)
            continue;
        const std::size_t before = board.calls.size();
        c.exit == Button ? shown.control<QPushButton>("BtnExit")->click() : void(shown.close());
        // Kesto_libexit is the one call and the program ends right after it.
        EXPECT_EQ(Calls(board.calls.begin() + before, board.calls.end()), Calls{"Kesto_libexit"});
        EXPECT_EQ(ends, std::vector{before + 1});
        // Nothing is said to the DSP program, neither during start-up nor at the end.
        EXPECT_TRUE(board.commands.empty() && board.writes.empty() && board.reads == 0);
    }
}

// The composition root's wiring: the dialog's "OK" reaches the window's field and, through the
// parameter set, the DSP program at the next identification; the window's buttons and timer reach
// the activities and their state comes back to the window.
TEST_F(App, ADialogEditReachesTheWindowAndTheNextDownload) {
    QTemporaryDir dir;
    Console console(std::make_unique<test::FakeBoard>(), {{}, {}, {}, QUIRO_SOURCE_DIR "/data"},
                    dir.filePath("quiro.lock")); // no hooks: a message would throw
    auto &board = static_cast<test::FakeBoard &>(console.board());
    ASSERT_EQ(console.start(), StartupResult::Ready);
    MainForm &shown = console.form();
    QTimer::singleShot(0, [&] { // inside the modal dialog's own event loop
        DlgParameter *dialog = console.parameterSetting().dialog();
        dialog->findChild<QLineEdit *>(QStringLiteral("TextCTapSize"))->setText("128");
        dialog->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
    });
    shown.control<QPushButton>("BtnParamSet")->click();
    EXPECT_EQ(shown.control<QLineEdit>("TextCTapSize")->text(), "128");
    EXPECT_TRUE(board.commands.empty()) << "the dialog itself sends nothing";

    // Both identifications, then a run in mode 1, each click made at the first yield after the
    // handshake first reached a given command: while the run goes on the window shows its
    // caption, closes the other groups and runs the display timer; the mode stays shown after it.
    const auto click = [&shown](const char *name) { shown.control<QPushButton>(name)->click(); };
    const std::map<Cmd, const char *> clickAfter{{Cmd::C1Fetch, "BtnC1Ident"}, // the stops
                                                 {Cmd::C2Fetch, "BtnC2Ident"},
                                                 {Cmd::WFetch, "BtnMode1"},
                                                 {Cmd::Mode1, "BtnQuiro"}};
    std::set<std::int32_t> seen;
    board.onCommand = [&](std::int32_t code, test::FakeBoard &) {
        const auto to = clickAfter.find(static_cast<Cmd>(code));
        if (!seen.insert(code).second || to == clickAfter.end())
            return;
        if (to->first == Cmd::WFetch) { // the run's first pass
            EXPECT_TRUE(shown.timerDispInterval().isActive());
            EXPECT_EQ(shown.control<QPushButton>("BtnQuiro")->text(), QStringLiteral("消音終了"));
            EXPECT_FALSE(shown.control<QPushButton>("BtnC1Ident")->isEnabled());
        }
        QTimer::singleShot(0, &shown, [&click, name = to->second] { click(name); });
    };
    for (const char *ident : {"BtnC1Ident", "BtnC2Ident"})
        click(ident);
    ASSERT_FALSE(board.writes.empty());
    EXPECT_EQ(board.writes.front().second, 128u); // CmdArg1, the C tap count
    click("BtnQuiro");
    for (const auto &[code, name] : clickAfter)
        EXPECT_TRUE(seen.count(static_cast<std::int32_t>(code))) << "no click on " << name;
    EXPECT_EQ(board.commands.back(), static_cast<std::int32_t>(Cmd::RunStop));
    EXPECT_FALSE(shown.timerDispInterval().isActive());
    EXPECT_EQ(shown.control<QLineEdit>("TextMode")->text(), QStringLiteral("消音ﾓｰﾄﾞ1"));
}

} // namespace
} // namespace quiro
