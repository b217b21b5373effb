// A short operator session on the real simulated board from the run tree, on its free-running
// clock: identify both paths, cancel in mode 1, stop. Clicks arrive through the event queue, as
// the operator's would, while the loops yield to it.

#include "QtApplication.h"
#include "app/Console.h"
#include "dsp/KestoLibrary.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace quiro {
namespace {

class EndToEnd : private test::UsesQt, public ::testing::Test {
protected:
    static void SetUpTestSuite() { qputenv("KESTO32_CLOCK", "free"); }

    QTemporaryDir runtime;
    std::vector<QString> messages;
    Console console{std::make_unique<KestoLibrary>(QStringLiteral(QUIRO_RUN_TREE "/bin")),
                    [this] {
                        StartupHooks h;
                        h.appDir = QStringLiteral(QUIRO_RUN_TREE "/bin");
                        h.showMessage = [this](MessageIcon, const QString &text,
                                               const QString &) { messages.push_back(text); };
                        h.endProgram = [] { FAIL() << "the program was ended"; };
                        return h;
                    }(),
                    runtime.filePath(QStringLiteral("quiro.lock"))};

    QPushButton *button(const char *name) { return console.form().control<QPushButton>(name); }
    // Clicks `name` after `ms` of the event loop, as the operator would while a loop runs.
    void clickLater(int ms, const char *name) {
        QTimer::singleShot(ms, button(name), [b = button(name)] { b->click(); });
    }
    std::size_t traceLines(const char *picture) {
        return console.form().control<PictureBox>(picture)->lines().size();
    }
    std::uint32_t sampleCount() {
        std::uint32_t samples = 0;
        console.link().getWord(dspmem::SampleCount, samples);
        return samples;
    }
    ~EndToEnd() override { console.board().libexit(); }
};

TEST_F(EndToEnd, IdentifyBothPathsThenCancelInModeOne) {
    for (PictureBox *box : console.form().findChildren<PictureBox *>())
        box->keepLineLog();
    ASSERT_EQ(console.start(), StartupResult::Ready) << messages.size();
    const std::uint32_t samplesAtStart = sampleCount();

    for (const char *ident : {"BtnC1Ident", "BtnC2Ident"}) {
        clickLater(400, ident);
        button(ident)->click(); // returns once the stop click has ended the identification
    }
    EXPECT_EQ(console.activities().C1Identified, -1);
    EXPECT_EQ(console.activities().C2Identified, -1);
    ASSERT_TRUE(button("BtnQuiro")->isEnabled());

    clickLater(300, "BtnMode1");
    clickLater(1500, "BtnQuiro");
    button("BtnQuiro")->click(); // returns once the run has ended

    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(console.form().control<QLineEdit>("TextMode")->text(), QStringLiteral("消音ﾓｰﾄﾞ1"));
    for (const char *picture : {"PictC1", "PictC2", "PictW", "PictPrim", "PictError", "PictCtrl"})
        EXPECT_EQ(traceLines(picture), 2u + 250u) << picture; // the axes and 251 points
    EXPECT_GT(sampleCount() - samplesAtStart, 20000u);
    EXPECT_FALSE(console.form().timerDispInterval().isActive());
    EXPECT_EQ(button("BtnQuiro")->text(), QStringLiteral("消音開始"));
}

} // namespace
} // namespace quiro
