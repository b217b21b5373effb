// The tools' argument reader: one table of command lines, each wrong in one way or right in one
// way, with what the reader must make of it; then the three tools and tools/soak.sh themselves,
// each given what the reader cannot check for them (their files), and the exit status they end
// with.

#include "cli/ArgumentReader.h"
#include "cli/Paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quiro::cli {
namespace {

namespace fs = std::filesystem;
using Outcome = ArgumentReader::Outcome;

TEST(ArgumentReader, ReadsTheWholeLineBeforeAnyWorkAndNamesWhatItRefuses) {
    const struct {
        const char *what;
        std::vector<const char *> args;
        Outcome outcome;
        const char *says;    // a fragment of the usage or the error
        double seconds = 60; // --seconds after a Run
        std::size_t positionals = 0;
    } rows[] = {
        {"nothing", {}, Outcome::Run, ""},
        {"help",
         {"--help"},
         Outcome::Help,
         "usage: tool [--help] [--seconds N] [--quiet] [--out PATH] [DIR...]"},
        {"help after an error",
         {"--bogus", "--help"},
         Outcome::Error,
         "\"--bogus\" is not an option of tool"},
        {"a number", {"--seconds", "2.5e1"}, Outcome::Run, "", 25},
        {"a number after =", {"--seconds=90"}, Outcome::Run, "", 90},
        {"a number at its bound", {"--seconds", "3600"}, Outcome::Run, "", 3600},
        {"not a number",
         {"--seconds", "abc"},
         Outcome::Error,
         "--seconds: \"abc\" is not a number"},
        {"nan", {"--seconds", "nan"}, Outcome::Error, "\"nan\" is not a number"},
        {"hexadecimal", {"--seconds", "0x10"}, Outcome::Error, "\"0x10\" is not a number"},
        {"a number and more", {"--seconds", "5s"}, Outcome::Error, "\"5s\" is not a number"},
        {"negative", {"--seconds", "-5"}, Outcome::Error, "\"-5\" lies outside 1 to 3600"},
        {"too large for a double",
         {"--seconds", "1e999"},
         Outcome::Error,
         "\"1e999\" lies outside"},
        {"just above the bound, shown as given",
         {"--seconds", "3600.03"},
         Outcome::Error,
         "\"3600.03\" lies outside 1 to 3600"},
        {"a value missing at the end",
         {"--seconds"},
         Outcome::Error,
         "--seconds: a value is missing"},
        {"an option where the value goes",
         {"--seconds", "--quiet"},
         Outcome::Error,
         "\"--quiet\" is not a number"},
        {"an empty path", {"--out", ""}, Outcome::Error, "--out: an empty path"},
        {"an empty path after =", {"--out="}, Outcome::Error, "--out: an empty path"},
        {"a value given to a switch", {"--quiet=yes"}, Outcome::Error, "--quiet takes no value"},
        {"a single dash", {"-h"}, Outcome::Error, "\"-h\" is not an option"},
        {"an empty positional", {""}, Outcome::Error, "an empty argument"},
        {"a control byte shown escaped",
         {"--seconds", "1\x1b[2J"},
         Outcome::Error,
         "\"1\\x1B[2J\" is not a number"},
        {"positionals", {"a", "--quiet", "b"}, Outcome::Run, "", 60, 2},
        {"too many positionals", {"a", "b", "c"}, Outcome::Error, "expected at most 2"},
        {"a dash-named positional after --", {"--", "--help"}, Outcome::Run, "", 60, 1},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        double seconds = 60;
        bool quiet = false;
        std::string out;
        std::vector<std::string> dirs;
        ArgumentReader args("tool", "[DIR...]", "Does a thing.");
        args.number("--seconds", seconds, 1, 3600, "how long");
        args.flag("--quiet", quiet, "says less");
        args.path("--out", out, "where to write");
        args.positionals(dirs, 0, 2);
        std::vector<const char *> argv{"tool"};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        std::string text;
        EXPECT_EQ(args.read(static_cast<int>(argv.size()), argv.data(), text), r.outcome);
        EXPECT_NE(text.find(r.says), std::string::npos) << text;
        if (r.outcome == Outcome::Run) {
            EXPECT_EQ(seconds, r.seconds);
            EXPECT_EQ(dirs.size(), r.positionals);
        }
    }
}

// Runs a command line with the shell and gives its exit status and standard error.
struct Ran {
    int status;
    std::string err;
};
Ran run(const std::string &command) {
    std::FILE *p = ::popen(("(" + command + ") </dev/null 2>&1 >/dev/null").c_str(), "r");
    std::string err;
    for (int c; p && (c = std::fgetc(p)) != EOF;)
        err += static_cast<char>(c);
    const int raw = p ? ::pclose(p) : -1;
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), err};
}

// The tools from the run tree, each row wrong in one way the reader alone cannot see, stopped
// before any work with a status and a message; nothing is written where it should not be.
TEST(Tools, RefuseTheirFilesBeforeAnyWorkAndSayWhenAWriteFails) {
    const std::string bin = QUIRO_RUN_TREE "/bin/";
    const fs::path scratch =
        fs::temp_directory_path() / ("cli-tools-" + std::to_string(::getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const std::string at = scratch.string() + "/";
    ASSERT_EQ(::mkfifo((at + "fifo.cof").c_str(), 0600), 0);
    fs::create_directories(at + "fifos/duct-quiet-mixed");
    ASSERT_EQ(::mkfifo((at + "fifos/duct-quiet-mixed/scene.ini").c_str(), 0600), 0);
    fs::create_symlink(at + "fifo.cof", at + "link.wav");
    const struct {
        const char *what;
        std::string command;
        int status;
        const char *says;
    } rows[] = {
        {"make_scenes --help", bin + "make_scenes --help", 0, ""},
        {"make_scenes onto a file", bin + "make_scenes /dev/full", 2, "/dev/full: not a folder"},
        {"make_scenes into a missing folder", bin + "make_scenes " + at + "missing/scenes", 2,
         "cannot be created"},
        {"make_scenes into the root folder", bin + "make_scenes /", 2, "the root folder"},
        {"make_scenes onto a FIFO where a scene file goes", bin + "make_scenes " + at + "fifos", 1,
         "scene.ini: not a regular file"},
        {"make_scenes, its output lost", bin + "make_scenes " + at + "scenes >/dev/full", 1,
         "standard output: write error"},
        {"lab_bench --help", bin + "lab_bench --help", 0, ""},
        {"lab_bench with a missing D filter", bin + "lab_bench --d " + at + "missing.COF", 2,
         "missing.COF: cannot be read"},
        {"lab_bench with a D filter that is a FIFO", bin + "lab_bench --d " + at + "fifo.cof", 2,
         "not a regular file"},
        {"lab_bench with a missing scene", bin + "lab_bench " + at + "nowhere", 2,
         "nowhere: cannot be read"},
        {"lab_bench dumping into a missing folder", bin + "lab_bench --dump-scene " + at + "a/b", 2,
         "cannot be created"},
        {"lab_bench dumping onto a full disk", bin + "lab_bench --dump-scene /dev/full/x", 2,
         "/dev/full/x"},
        {"lab_bench reporting into a file", bin + "lab_bench --report /dev/null", 2,
         "/dev/null: not a folder"},
        {"quiro_soak --help", bin + "quiro_soak --help", 0, ""},
        {"quiro_soak on a missing run tree", bin + "quiro_soak --run-tree " + at + "tree", 2,
         "tree/bin/libKesto32.so"},
        {"quiro_soak recording through a symbolic link",
         bin + "quiro_soak --record " + at + "link.wav", 2, "a symbolic link, not a file"},
        {"quiro_soak recording into a folder", bin + "quiro_soak --record " + at, 2,
         "a folder, not a file"},
        {"soak.sh with a word for minutes", QUIRO_SOURCE_DIR "/tools/soak.sh abc", 2,
         "\"abc\" is not a number of minutes"},
        {"soak.sh with negative minutes", QUIRO_SOURCE_DIR "/tools/soak.sh -5", 2, "\"-5\""},
        {"soak.sh with an unknown option", QUIRO_SOURCE_DIR "/tools/soak.sh --fast", 2,
         "\"--fast\""},
    };
    std::string absent; // tools a build leaves out (the benchmarks under the sanitizers)
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        if (const std::string tool = r.command.substr(0, r.command.find(' ')); !fs::exists(tool)) {
            absent += " " + tool;
            continue;
        }
        const Ran got = run(r.command);
        EXPECT_EQ(got.status, r.status) << got.err;
        EXPECT_NE(got.err.find(r.says), std::string::npos) << got.err;
    }
    EXPECT_FALSE(fs::exists(at + "missing")) << "a refused folder was made";
    fs::remove_all(scratch);
    if (!absent.empty())
        GTEST_SKIP() << "not built here, their rows left out:" << absent;
}

} // namespace
} // namespace quiro::cli
