// The DSP program against a board core driven by hand: the handshake of every command, the
// capture's timing, the clears, identification and cancellation on a small scene, and hostile
// arguments.

#include "Harness.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

using namespace quiro;
using kesto::test::Harness;
using kesto::test::misalignmentDb;

constexpr std::uint32_t Sentinel = 0xDEADBEEF;

// The handshake with no samples in between: the program answers from its mailbox service alone.
void post(Harness &h, std::int32_t code) {
    h.putLong(dspmem::CmdCode, code);
    h.putLong(dspmem::CmdRequest, 1);
    h.core.service();
}
void release(Harness &h) {
    h.putLong(dspmem::CmdRequest, 0);
    h.core.service();
}
void sendNow(Harness &h, Cmd code) {
    post(h, static_cast<std::int32_t>(code));
    release(h);
}

void fillXfer(Harness &h) {
    for (std::uint32_t i = 0; i < 4096; ++i)
        h.core.pcPut(dspmem::XferBuf + 4 * i, Sentinel);
}

int wordsWritten(Harness &h) {
    int n = 0;
    while (n < 4096 && h.core.pcGet(dspmem::XferBuf + 4 * static_cast<std::uint32_t>(n)) != Sentinel)
        ++n;
    return n;
}

TEST(Handshake, EveryCommandIsTakenHeldAndReleasedWithItsResultsInPlace) {
    // C tap count 20 and W tap count 12: C-sized results are 15 words, W-sized 7.
    const struct {
        std::int32_t code;
        int words; // XferBuf words in place once acknowledged
    } cases[] = {{1, 0},  {2, 15}, {4, 0},  {5, 15}, {7, 0},  {8, 0},  {9, 0},   {10, 7},
                 {13, 0}, {14, 0}, {15, 0}, {33, 0}, {34, 0}, {35, 15}, {36, 15}, {37, 15},
                 {81, 0}, {82, 0}, {83, 0}, {0, 0},  {3, 0},  {99, 0}, {-7, 0}, {INT_MAX, 0}};
    Harness h;
    h.setParams(20, 12, 1e-6f, 1e-5f);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        fillXfer(h);
        post(h, c.code);
        EXPECT_EQ(h.getLong(dspmem::CmdAck), 1);
        EXPECT_EQ(wordsWritten(h), c.words);
        h.core.step(5); // the acknowledgement holds until the PC releases
        EXPECT_EQ(h.getLong(dspmem::CmdAck), 1);
        release(h);
        EXPECT_EQ(h.getLong(dspmem::CmdAck), 0);
        EXPECT_EQ(h.getLong(dspmem::CmdCode), c.code);
    }
}

TEST(Handshake, ParameterCommandsTakeTheirArguments) {
    Harness h;
    h.setParams(40, 30, 1e-6f, 1e-5f);
    fillXfer(h);
    h.send(Cmd::C1Fetch);
    EXPECT_EQ(wordsWritten(h), 35);
    fillXfer(h);
    h.send(Cmd::WFetch);
    EXPECT_EQ(wordsWritten(h), 25);

    // D filter of zero taps and D gain 0 both silence the excitation.
    for (const bool viaGain : {false, true}) {
        Harness q;
        if (viaGain)
            q.setGains(1, 1, 0);
        else
            q.loadD({});
        q.send(Cmd::C1IdentStart);
        q.core.step(50);
        EXPECT_EQ(q.core.lastFrame().control, 0) << viaGain;
    }
    // A D filter [0, 0, 2] with D gain 0.5 passes the noise through, two samples late.
    Harness d;
    d.loadD({0, 0, 2});
    d.setGains(1, 1, 0.5f);
    d.send(Cmd::C1IdentStart);
    d.core.step(10);
    EXPECT_NE(d.core.lastFrame().control, 0);
}

TEST(Capture, CompletesAfterCTapCountMinusFiveSamplesAndHoldsThem) {
    Harness h;
    h.setParams(16, 16, 1e-6f, 1e-5f); // 11 samples
    sendNow(h, Cmd::CaptureQuery);
    EXPECT_NE(h.getLong(dspmem::CmdArg1), 0) << "nothing captured yet";
    sendNow(h, Cmd::CaptureStart);
    std::vector<float> det, err;
    for (int i = 0; i < 11; ++i) {
        sendNow(h, Cmd::CaptureQuery);
        EXPECT_NE(h.getLong(dspmem::CmdArg1), 0) << "after " << i << " samples";
        h.core.step(1);
        det.push_back(static_cast<float>(h.core.lastFrame().detection));
        err.push_back(static_cast<float>(h.core.lastFrame().error));
    }
    sendNow(h, Cmd::CaptureQuery);
    EXPECT_EQ(h.getLong(dspmem::CmdArg1), 0);
    h.core.step(100);
    EXPECT_EQ(h.fetch(Cmd::PrimFetch, 11), det);
    EXPECT_EQ(h.fetch(Cmd::ErrorFetch, 11), err);
    EXPECT_EQ(h.fetch(Cmd::CtrlFetch, 11), std::vector<float>(11, 0.0f)) << "idle: silent";
}

double energy(const std::vector<float> &v) {
    double s = 0;
    for (float x : v)
        s += static_cast<double>(x) * x;
    return s;
}

// Identifies both paths and adapts W a little, so that every filter holds something.
void trainAll(Harness &h) {
    h.setParams(16, 16, 1e-4f, 1e-4f);
    for (Cmd start : {Cmd::C1IdentStart, Cmd::C2IdentStart}) {
        h.send(start);
        h.run(0.3);
        h.send(Cmd::IdentStop);
    }
    h.send(Cmd::Mode1);
    h.run(0.3);
    h.send(Cmd::ModeOff); // holds W
}

TEST(Clears, EachClearZeroesItsFilterOnly) {
    const Cmd fetches[] = {Cmd::C1Fetch, Cmd::C2Fetch, Cmd::WFetch};
    const struct {
        Cmd clear;
        int cleared; // index into fetches
    } cases[] = {{Cmd::C1Clear, 0}, {Cmd::C2Clear, 1}, {Cmd::WClear, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.clear));
        Harness h;
        trainAll(h);
        h.send(c.clear);
        for (int f = 0; f < 3; ++f) {
            const double e = energy(h.fetch(fetches[f], 11));
            if (f == c.cleared)
                EXPECT_EQ(e, 0.0);
            else
                EXPECT_GT(e, 0.0);
        }
    }
}

TEST(Identification, ConvergesOnBothPaths) {
    const auto scene = kesto::test::smallScene();
    const struct {
        Cmd start, fetch;
        const std::vector<double> &truth;
    } cases[] = {{Cmd::C1IdentStart, Cmd::C1Fetch, scene.secondaryRef},
                 {Cmd::C2IdentStart, Cmd::C2Fetch, scene.secondaryErr}};
    for (const auto &c : cases) {
        Harness h;
        h.setParams(16, 16, 1e-4f, 1e-5f);
        h.send(c.start);
        h.run(1.0);
        h.send(Cmd::IdentStop);
        const auto estimate = h.fetch(c.fetch, 11);
        EXPECT_LT(misalignmentDb(estimate, c.truth), -20.0) << static_cast<int>(c.start);
        h.core.step(20);
        EXPECT_EQ(h.core.lastFrame().control, 0) << "silent after the stop";
    }
}

TEST(Cancellation, ModesCutTheToneHoldOrSilence) {
    const struct {
        Cmd mode;
        float betaW;
        double minCutDb; // error power without cancellation over error power with it
    } cases[] = {{Cmd::Mode1, 1e-3f, 20.0}, {Cmd::Mode2, 4e-5f, 20.0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Harness h;
        h.setParams(16, 32, 1e-4f, c.betaW);
        for (Cmd start : {Cmd::C1IdentStart, Cmd::C2IdentStart}) {
            h.send(start);
            h.run(1.0);
            h.send(Cmd::IdentStop);
        }
        h.send(Cmd::ModeOff);
        const double off = h.run(0.5);
        h.send(c.mode);
        h.run(3.0);
        const double on = h.run(0.5);
        EXPECT_GT(10 * std::log10(off / on), c.minCutDb);

        // Mode 3 keeps W and the output; no cancellation silences the output and keeps W.
        h.send(Cmd::Mode3);
        const auto w = h.fetch(Cmd::WFetch, 27);
        const double held = h.run(0.5);
        EXPECT_EQ(h.fetch(Cmd::WFetch, 27), w);
        EXPECT_LT(held, off / 10);
        h.send(Cmd::ModeOff);
        h.run(0.1);
        EXPECT_EQ(h.core.lastFrame().control, 0);
        EXPECT_EQ(h.fetch(Cmd::WFetch, 27), w);
    }
}

TEST(Soundness, HostileArgumentsStayInsideTheArraysAndTheConverter) {
    constexpr float Inf = std::numeric_limits<float>::infinity();
    constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
    const struct {
        std::int32_t cTaps, wTaps, dCount;
        float betaC, betaW, rate, gain;
    } cases[] = {
        {-5, 0, -1, NaN, Inf, NaN, Inf},
        {INT_MAX, INT_MIN, INT_MAX, 1e30f, 1e30f, 1e9f, 1e30f},
        {4101, 4101, 4096, -1.0f, -Inf, -20000.0f, -NaN},
        {6, 6, 5000, 1e-6f, 1e-5f, 0.0f, 1.0f},
    };
    for (const auto &c : cases) {
        Harness h;
        fillXfer(h);
        h.putLong(dspmem::CmdArg1, c.dCount);
        h.send(Cmd::LoadDFilter);
        h.setParams(c.cTaps, c.wTaps, c.betaC, c.betaW, c.rate);
        h.setGains(c.gain, c.gain, c.gain);
        for (Cmd cmd : {Cmd::C1IdentStart, Cmd::IdentStop, Cmd::C2IdentStart, Cmd::IdentStop,
                        Cmd::CaptureStart, Cmd::Mode1, Cmd::Mode2}) {
            h.send(cmd);
            for (int i = 0; i < 300; ++i) {
                h.core.step(1);
                const auto &f = h.core.lastFrame();
                ASSERT_TRUE(f.control >= -2048 && f.control <= 2047);
            }
        }
        for (Cmd fetch : {Cmd::C1Fetch, Cmd::C2Fetch, Cmd::WFetch, Cmd::CtrlFetch})
            for (float v : h.fetch(fetch, 4096))
                ASSERT_TRUE(std::isfinite(v) || std::bit_cast<std::uint32_t>(v) == Sentinel);
    }
}

TEST(Soundness, ADivergingFilterIsResetInsteadOfPoisoningTheOutput) {
    Harness h;
    h.setParams(16, 16, 1e12f, 1e12f);
    h.send(Cmd::C2IdentStart);
    h.run(0.2);
    h.send(Cmd::IdentStop);
    for (float v : h.fetch(Cmd::C2Fetch, 11))
        EXPECT_TRUE(std::isfinite(v));
    h.send(Cmd::Mode1);
    h.run(0.2);
    for (float v : h.fetch(Cmd::WFetch, 11))
        EXPECT_TRUE(std::isfinite(v));
}

} // namespace
