#pragma once
// The DSP program quiros: identification of the secondary paths C1 and C2, feedforward
// filtered-x LMS cancellation, the signal capture, and the command handling through the mailbox.
// One instance per loaded program; the board calls sample() every sample period and service()
// between blocks and whenever the PC writes the mailbox. See docs/dsp-program.md.

#include "board/KestoDsp.h"
#include "board/SignalKit.h"
#include "contract/BoardContract.h"
#include "dspprog/Adaptive.h"

#include <array>
#include <cstdint>

namespace quiros {

inline constexpr std::int32_t MinTaps = quiro::MinTapCount;
inline constexpr std::int32_t MaxTaps = quiro::MaxTapCount;
inline constexpr std::int32_t XferWords = quiro::dspmem::XferWords;

// What the LMS updates see: identification works on signals in units of 128 counts, so its
// effective step per count^2 is beta_C / 128^2; cancellation in units of 16 counts.
inline constexpr float IdentUnit = 128.0f;
inline constexpr float CancelUnit = 8.0f;
// The identification's white noise before the D filter, counts rms at D gain 1.
inline constexpr float ExcitationRms = 800.0f;
// Mode 82's normalised step is NormalisedStep * beta_W (0.005 at the default beta_W).
inline constexpr float NormalisedStep = 500.0f;

enum class Activity { Idle, IdentC1, IdentC2, Cancel };
enum class CancelMode { Off, FxLms, NormalisedFxLms, Held };

class Quiros {
public:
    Quiros(const KestoDspHost &host, std::uint64_t seed);

    std::int32_t sample(std::int32_t detection, std::int32_t error);
    // The four-phase handshake; true when a command was taken or released.
    bool service();
    double rate() const { return rate_; }

    // Read-only views for tests.
    Activity activity() const { return activity_; }
    CancelMode mode() const { return mode_; }
    const Fir &c1() const { return c1_; }
    const Fir &c2() const { return c2_; }
    const Fir &w() const { return w_; }
    std::int32_t cTaps() const { return cTaps_; }
    std::int32_t wTaps() const { return wTaps_; }

    void execute(std::int32_t code);

private:
    struct Command {
        quiro::Cmd code;
        void (Quiros::*run)();
    };
    static const Command Commands[];
    static constexpr bool coversEveryCommand();

    float identify(float detection, float error);
    float cancel(float detection, float error);
    void capture(std::int32_t detection, std::int32_t error, std::int32_t control);

    std::uint32_t get(std::uint32_t address) const { return host_.getmem(host_.ctx, address); }
    void put(std::uint32_t address, std::uint32_t word) { host_.putmem(host_.ctx, address, word); }
    float argSingle(std::uint32_t address) const;
    std::int32_t argLong(std::uint32_t address) const;
    void fetch(const Fir &filter, std::int32_t taps);
    void fetchSignal(const std::array<float, XferWords> &signal);

    // Commands.
    void startC1() { startIdent(Activity::IdentC1); }
    void startC2() { startIdent(Activity::IdentC2); }
    void startIdent(Activity which);
    void stopActivity();
    void fetchC1() { fetch(c1_, cTaps_); }
    void fetchC2() { fetch(c2_, cTaps_); }
    void fetchW() { fetch(w_, wTaps_); }
    void setParams();
    void setGains();
    void loadDFilter();
    void clearC1() { c1_.clear(); }
    void clearC2() { c2_.clear(); }
    void clearW() { w_.clear(); }
    void modeOff() { setMode(CancelMode::Off); }
    void mode1() { setMode(CancelMode::FxLms); }
    void mode2() { setMode(CancelMode::NormalisedFxLms); }
    void mode3() { setMode(CancelMode::Held); }
    void setMode(CancelMode m);
    void captureStart();
    void captureQuery();
    void fetchPrim() { fetchSignal(capDetection_); }
    void fetchError() { fetchSignal(capError_); }
    void fetchCtrl() { fetchSignal(capControl_); }

    KestoDspHost host_;
    bool acked_ = false;

    // Parameters (commands 12, 16, 17).
    std::int32_t cTaps_ = 256, wTaps_ = 256;
    float betaC_ = 1e-6f, betaW_ = 1e-5f;
    double rate_ = 20000.0;
    float gainC_ = 1.0f, gainW_ = 1.0f, gainD_ = 1.0f;
    Fir dFilter_{XferWords};

    Activity activity_ = Activity::Idle;
    CancelMode mode_ = CancelMode::Off;
    LmsFilter c1_{MaxTaps}, c2_{MaxTaps}, w_{MaxTaps};
    kesto::DelayLine output_{MaxTaps};    // control output, newest = last sample's
    kesto::DelayLine reference_{MaxTaps}; // detection minus the loudspeaker's feedback
    kesto::DelayLine filtered_{MaxTaps};  // the reference through C2
    kesto::DelayLine excitation_{XferWords};
    PowerMeter filteredPower_;
    kesto::WhiteNoise noise_;

    // Signal capture (33 to 37), counts.
    std::array<float, XferWords> capDetection_{}, capError_{}, capControl_{};
    std::int32_t capLength_ = 0, capFilled_ = 0;
    bool captureStarted_ = false;
};

} // namespace quiros
