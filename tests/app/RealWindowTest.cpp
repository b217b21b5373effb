// The real program from the run tree, on a virtual X display with the simulated board on a shipped
// scene, driven through real mouse clicks: its window appears, an operator session identifies both
// paths and runs cancellation, with screenshots saved in the build folder, and a click on "終了"
// ends it. Where a locale that writes a decimal comma can be made, the session runs under it: the
// board still reads the scene and the console the D filter's coefficient file.

#include "QtApplication.h"
#include "window/Inventory.h"
#include "window/MainForm.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace quiro;

const QString RunTree = QStringLiteral(QUIRO_RUN_TREE);

// Runs a tool to its end and gives its standard output.
QString run(const QString &tool, const QStringList &args, const QProcessEnvironment &env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, args);
    p.waitForFinished(120000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// Xvfb on a display of its own and the program on it, with its own runtime folder so that a
// copy the developer is running does not refuse this one.
struct RealWindow : test::UsesQt, ::testing::Test {
    MainForm design; // where the program's controls stand, in window pixels
    QProcess xvfb;
    QProcess quiro;
    QTemporaryDir runtime, locales;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString window;
    bool commaLocale = false;

    void SetUp() override {
        if (!QFileInfo::exists(RunTree + "/bin/libKesto32.so"))
            GTEST_SKIP() << "no simulated board in the run tree (" << RunTree.toStdString()
                         << "/bin/libKesto32.so): build the Kesto32 and quiros targets";
        for (const char *tool : {"Xvfb", "xdotool", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed (tools/setup.sh installs it)";

        // Xvfb picks a free display number and writes it to standard output.
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        ASSERT_TRUE(xvfb.waitForReadyRead(15000)) << "Xvfb did not report its display";
        env.insert("DISPLAY", ":" + QString::fromLatin1(xvfb.readAllStandardOutput()).trimmed());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.remove("KESTO32_CLOCK"); // the demo's own real-time clock
        env.insert("KESTO32_SCENE", RunTree + "/scenes/duct-noisy-mics");
        env.insert("LC_ALL", "de_DE.UTF-8");
        if (run("locale", {"decimal_point"}, env) != ",") {
            // Not installed: generate it where only this test looks for it.
            run("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.UTF-8")}, env);
            env.insert("LOCPATH", locales.path());
        }
        commaLocale = run("locale", {"decimal_point"}, env) == ",";
        if (!commaLocale) // the session still runs, in the ordinary locale
            env.remove("LC_ALL");

        quiro.setProcessEnvironment(env);
        quiro.setProcessChannelMode(QProcess::ForwardedChannels);
        quiro.start(RunTree + "/bin/quiro");
        ASSERT_TRUE(quiro.waitForStarted());
        QDeadlineTimer deadline(30000);
        while (window.isEmpty() && !deadline.hasExpired() && quiro.state() == QProcess::Running) {
            QThread::msleep(200);
            window = run("xdotool", {"search", "--name", "^QUIRO DEMO$"}, env).section('\n', 0, 0);
            ASSERT_TRUE(run("xdotool", {"search", "--name", "^Dsp Error$"}, env).isEmpty())
                << "the program reports a board error: is the DSP program in "
                << RunTree.toStdString() << "/DSP?";
        }
        ASSERT_FALSE(window.isEmpty()) << "no window titled QUIRO DEMO";
        QThread::msleep(1500); // let the first paint finish
    }

    // QProcess kills a program still running; Xvfb is asked to end so it removes its lock file.
    void TearDown() override {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }

    QPoint centreOf(const char *control) const {
        const QWidget *w = design.control(QString::fromLatin1(control));
        return w->mapTo(&design, w->rect().center());
    }

    void click(const char *control, int thenWaitMs = 300) {
        const QPoint at = centreOf(control);
        run("xdotool",
            {"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()),
             "click", "1"},
            env);
        QThread::msleep(thenWaitMs);
    }

    // Saves the window's picture in the build folder.
    QImage screenshot(const QString &file) {
        const QString png = RunTree + "/" + file;
        QFile::remove(png);
        run("import", {"-window", window, png}, env);
        const QImage shot(png);
        EXPECT_EQ(shot.size(), QSize(ClientWidth, ClientHeight)) << "screenshot " << png.toStdString();
        return shot;
    }

    // Black pixels inside a plot area (its axes are black too, so this counts the trace roughly).
    int blackPixelsIn(const QImage &shot, const char *picture) const {
        const QPoint c = centreOf(picture);
        int black = 0;
        for (int y = c.y() - 55; y < c.y() + 55; ++y)
            for (int x = c.x() - 150; x < c.x() + 150; ++x)
                black += shot.pixel(x, y) == qRgb(0, 0, 0);
        return black;
    }
};

TEST_F(RealWindow, StartsShowsItsWindowRunsASessionAndEndsOnExit) {
    const QImage before = screenshot("screenshot.png");
    click("BtnC1Ident", 2000); // reads LPF.COF
    EXPECT_TRUE(run("xdotool", {"search", "--name", "^パラメータエラー$"}, env).isEmpty())
        << "the console refused a coefficient file";
    click("BtnC1Ident");
    click("BtnC2Ident", 2000);
    click("BtnC2Ident");
    click("BtnQuiro", 1500);
    click("BtnMode1", 3000);
    // The plots fill as the run goes on: look again until every one shows a trace, as a loaded
    // machine may take longer to get there.
    const char *const pictures[] = {"PictC1", "PictC2", "PictW", "PictPrim", "PictError", "PictCtrl"};
    const auto traced = [&](const QImage &shot, const char *picture) {
        return blackPixelsIn(shot, picture) > blackPixelsIn(before, picture) + 100;
    };
    QImage running = screenshot("screenshot-cancellation.png");
    for (QDeadlineTimer deadline(60000);
         !std::all_of(std::begin(pictures), std::end(pictures), [&](auto p) { return traced(running, p); }) &&
         !deadline.hasExpired();
         running = screenshot("screenshot-cancellation.png"))
        QThread::msleep(500);
    click("BtnQuiro", 500);
    for (const char *picture : pictures)
        EXPECT_TRUE(traced(running, picture)) << picture << " shows no trace";
    click("BtnExit", 0);
    EXPECT_TRUE(quiro.waitForFinished(10000)) << "the program did not end on 終了";
    EXPECT_EQ(quiro.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quiro.exitCode(), 0);
    if (!commaLocale)
        GTEST_SKIP() << "the session ran, but no decimal-comma locale could be made (are the "
                        "package locales and its sources installed?)";
}

} // namespace
