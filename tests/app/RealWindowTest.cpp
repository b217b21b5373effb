// The real program from the run tree, on a virtual X display with the simulated board, driven
// through real mouse clicks: its window appears, an operator session identifies both paths and
// runs cancellation, with screenshots saved in the build folder, and a click on "終了" ends it.

#include "QtApplication.h"
#include "window/Inventory.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace quiro;

const QString RunTree = QStringLiteral(QUIRO_RUN_TREE);

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

// The centre of a control in window pixels, from the inventory (frames hold their controls).
QPoint centreOf(const QString &name) {
    QPoint origin;
    for (const ControlSpec &c : inventory()) {
        if (name != QLatin1String(c.name))
            continue;
        if (*c.container != '\0')
            for (const ControlSpec &frame : inventory())
                if (QLatin1String(frame.name) == QLatin1String(c.container))
                    origin = frame.twips.topLeft();
        return pixelsOf(QRect(c.twips.translated(origin))).center();
    }
    ADD_FAILURE() << "no control " << name.toStdString();
    return {};
}

// Xvfb on a display of its own and the program on it, with its own runtime folder so that a
// copy the developer is running does not refuse this one.
class RealWindow : public ::testing::Test {
protected:
    QProcess xvfb;
    QProcess quiro;
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString window;

    void SetUp() override {
        quiro::test::application();
        if (!QFileInfo::exists(RunTree + "/bin/libKesto32.so"))
            GTEST_SKIP() << "no simulated board in the run tree (" << RunTree.toStdString()
                         << "/bin/libKesto32.so): build the Kesto32 and quiros targets";
        for (const char *tool : {"Xvfb", "xdotool", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed (tools/setup.sh installs it)";

        // Xvfb picks a free display number and writes it to standard output.
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        ASSERT_TRUE(xvfb.waitForStarted());
        ASSERT_TRUE(xvfb.waitForReadyRead(15000)) << "Xvfb did not report its display";
        env.insert("DISPLAY", ":" + QString::fromLatin1(xvfb.readAllStandardOutput()).trimmed());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.remove("KESTO32_CLOCK"); // the demo's own real-time clock
        prepare();
        if (IsSkipped() || HasFatalFailure())
            return;

        quiro.setProcessEnvironment(env);
        quiro.setProcessChannelMode(QProcess::ForwardedChannels);
        quiro.start(RunTree + "/bin/quiro");
        ASSERT_TRUE(quiro.waitForStarted());
        QDeadlineTimer deadline(30000);
        while (window.isEmpty() && !deadline.hasExpired() && quiro.state() == QProcess::Running) {
            QThread::msleep(200);
            window = findWindow("QUIRO DEMO", env);
            ASSERT_TRUE(findWindow("Dsp Error", env).isEmpty())
                << "the program reports a board error: is the DSP program in "
                << RunTree.toStdString() << "/DSP?";
        }
        ASSERT_FALSE(window.isEmpty()) << "no window titled QUIRO DEMO";
        QThread::msleep(1500); // let the first paint finish
    }

    // Changes the program's environment before it starts.
    virtual void prepare() {}

    void TearDown() override {
        if (quiro.state() != QProcess::NotRunning) {
            quiro.kill();
            quiro.waitForFinished(5000);
        }
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }

    void click(const char *control, int thenWaitMs = 300) {
        const QPoint at = centreOf(QString::fromLatin1(control));
        run("xdotool",
            {"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()),
             "click", "1"},
            env);
        QThread::msleep(thenWaitMs);
    }

    // Saves the window's picture in the build folder and checks it is not blank.
    QImage screenshot(const QString &file) {
        const QString png = RunTree + "/" + file;
        QFile::remove(png);
        run("import", {"-window", window, png}, env);
        const QImage shot(png);
        EXPECT_FALSE(shot.isNull()) << "no screenshot at " << png.toStdString();
        EXPECT_EQ(shot.size(), QSize(ClientWidth, ClientHeight));
        return shot;
    }

    void exitByButton() {
        click("BtnExit", 0);
        EXPECT_TRUE(quiro.waitForFinished(10000)) << "the program did not end on 終了";
        EXPECT_EQ(quiro.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(quiro.exitCode(), 0);
    }
};

// Black pixels inside a plot area (its axes are black too, so this counts the trace roughly).
int blackPixelsIn(const QImage &shot, const char *picture) {
    const QPoint c = centreOf(QString::fromLatin1(picture));
    int black = 0;
    for (int y = c.y() - 55; y < c.y() + 55; ++y)
        for (int x = c.x() - 150; x < c.x() + 150; ++x)
            black += shot.pixel(x, y) == qRgb(0, 0, 0);
    return black;
}

TEST_F(RealWindow, StartsShowsItsWindowRunsASessionAndEndsOnExit) {
    const QImage before = screenshot("screenshot.png");
    std::set<QRgb> colours;
    for (int y = 0; y < before.height(); y += 3)
        for (int x = 0; x < before.width(); x += 3)
            colours.insert(before.pixel(x, y));
    EXPECT_GT(colours.size(), 8u) << "the window looks blank";

    click("BtnC1Ident", 2000);
    click("BtnC1Ident");
    click("BtnC2Ident", 2000);
    click("BtnC2Ident");
    click("BtnQuiro", 1500);
    click("BtnMode1", 3000);
    const QImage running = screenshot("screenshot-cancellation.png");
    click("BtnQuiro", 500);
    for (const char *picture : {"PictC1", "PictC2", "PictW", "PictPrim", "PictError", "PictCtrl"})
        EXPECT_GT(blackPixelsIn(running, picture), blackPixelsIn(before, picture) + 100)
            << picture << " shows no trace";
    exitByButton();
}

// A desktop whose language writes a decimal comma: the board reads a scene written with decimal
// points, and the console reads the D filter's coefficient file, both whatever the locale.
class CommaLocale : public RealWindow {
protected:
    QTemporaryDir locales, scene;

    void prepare() override {
        const QString name = QStringLiteral("de_DE.UTF-8");
        env.insert("LC_ALL", name);
        if (run("locale", {"decimal_point"}, env) != ",") {
            // Not installed: generate it where only this test looks for it.
            QProcess localedef;
            localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath(name)});
            localedef.waitForFinished(120000);
            env.insert("LOCPATH", locales.path());
        }
        if (run("locale", {"decimal_point"}, env) != ",")
            GTEST_SKIP() << "no comma-decimal locale, and localedef could not make " << name.toStdString()
                         << " (are the package locales and its sources installed?)";
        const std::pair<const char *, const char *> files[] = {
            {"scene.ini", "sample_rate = 20000.0\ntone = 150.5 0.025\nbroadband = 0.005\nmic_noise = 0.0004\n"},
            {"primary_ref.cof", "3\n0.0\n0.5\n0.25\n"},   {"primary_err.cof", "4\n0\n0\n0.375\n0.125\n"},
            {"secondary_ref.cof", "2\n0.0\n0.25\n"},      {"secondary_err.cof", "3\n0\n0.5\n0.125\n"}};
        for (const auto &[file, text] : files) {
            QFile f(scene.filePath(QString::fromLatin1(file)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        env.insert("KESTO32_SCENE", scene.path());
    }
};

// The fixture has already seen the board start on the scene; identification reads LPF.COF.
TEST_F(CommaLocale, TheSceneAndTheCoefficientFilesReadAlike) {
    click("BtnC1Ident", 2000);
    EXPECT_TRUE(findWindow(QStringLiteral("パラメータエラー"), env).isEmpty())
        << "the console refused a coefficient file under a decimal-comma locale";
    click("BtnC1Ident");
    exitByButton();
}

} // namespace
