// The real program from the run tree, on a virtual X display with the simulated board: its
// window appears, a screenshot is saved in the build folder, and a click on "終了" ends it.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <set>

namespace {

const QString RunTree = QStringLiteral(QUIRO_RUN_TREE);

QCoreApplication &application() {
    static int argc = 1;
    static char name[] = "app_xvfb_tests";
    static char *argv[] = {name, nullptr};
    static auto *app = new QCoreApplication(argc, argv);
    return *app;
}

// Runs a tool to its end and gives its standard output.
QString run(const QString &tool, const QStringList &args, const QProcessEnvironment &env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// The first window whose whole title is `title`, or empty.
QString findWindow(const QString &title, const QProcessEnvironment &env) {
    return run("xdotool", {"search", "--name", "^" + title + "$"}, env).section('\n', 0, 0);
}

TEST(RealWindow, StartsFromTheRunTreeShowsItsWindowAndEndsOnExit) {
    application();
    const QString program = RunTree + "/bin/quiro";
    if (!QFileInfo::exists(RunTree + "/bin/libKesto32.so"))
        GTEST_SKIP() << "no simulated board in the run tree yet (" << RunTree.toStdString()
                     << "/bin/libKesto32.so): build the Kesto32 and quiros targets";
    ASSERT_TRUE(QFileInfo::exists(program)) << "build the quiro target first";
    for (const char *tool : {"Xvfb", "xdotool", "import"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << tool << " is not installed (tools/setup.sh installs it)";

    // A display of its own: Xvfb picks a free number and writes it to standard output.
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb.waitForStarted());
    ASSERT_TRUE(xvfb.waitForReadyRead(15000)) << "Xvfb did not report its display";
    const QString display = ":" + QString::fromLatin1(xvfb.readAllStandardOutput()).trimmed();

    // The program's own runtime folder, so that a copy the developer is running does not
    // refuse this one.
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_RUNTIME_DIR", runtime.path());

    QProcess quiro;
    quiro.setProcessEnvironment(env);
    quiro.setProcessChannelMode(QProcess::ForwardedChannels);
    quiro.start(program);
    ASSERT_TRUE(quiro.waitForStarted());

    QString window;
    QDeadlineTimer deadline(30000);
    while (window.isEmpty() && !deadline.hasExpired() && quiro.state() == QProcess::Running) {
        QThread::msleep(200);
        window = findWindow("QUIRO DEMO", env);
        ASSERT_TRUE(findWindow("Dsp Error", env).isEmpty())
            << "the program reports a board error: is the DSP program in " << RunTree.toStdString()
            << "/DSP?";
    }
    ASSERT_FALSE(window.isEmpty()) << "no window titled QUIRO DEMO";

    // Let the first paint finish, then take the window's picture.
    QThread::msleep(1500);
    const QString png = RunTree + "/screenshot.png";
    QFile::remove(png);
    run("import", {"-window", window, png}, env);
    const QImage shot(png);
    ASSERT_FALSE(shot.isNull()) << "no screenshot at " << png.toStdString();
    EXPECT_EQ(shot.size(), QSize(915, 660));
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 3)
        for (int x = 0; x < shot.width(); x += 3)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 8u) << "the window looks blank";

    // "終了" stands at 12720, 8880 twips with 1000 x 495: its centre is at 881, 608 pixels.
    run("xdotool", {"mousemove", "--window", window, "881", "608", "click", "1"}, env);
    EXPECT_TRUE(quiro.waitForFinished(10000)) << "the program did not end on 終了";
    EXPECT_EQ(quiro.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quiro.exitCode(), 0);

    xvfb.terminate();
    xvfb.waitForFinished(5000);
}

} // namespace
