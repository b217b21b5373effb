#pragma once
// The board contract: the words of DSP memory that the console, the simulated board and the DSP
// program share, the command numbers, the tap and count bounds, and the word conversions.
// Addresses are DSP byte addresses; consecutive words are 4 apart. This header depends on nothing
// but the standard library.

#include <bit>
#include <cstdint>

namespace quiro {

namespace dspmem {
inline constexpr std::uint32_t CmdRequest = 0x80002400; // Long, PC -> DSP: 1 posted, 0 released
inline constexpr std::uint32_t CmdAck = 0x80002404;     // Long, DSP -> PC: 1 taken, 0 idle
inline constexpr std::uint32_t CmdCode = 0x80002408;    // Long, PC -> DSP: command number
inline constexpr std::uint32_t CmdArg1 = 0x8000240C;    // Long, both ways
inline constexpr std::uint32_t CmdArg2 = 0x80002410;    // Long, PC -> DSP
// Long, DSP -> PC: how often the DSP program's divergence guard has reset W since it started (a
// mailbox word the console never uses; the lab bench and the soak run read it).
inline constexpr std::uint32_t GuardTrips = 0x80002414;
inline constexpr std::uint32_t CmdArg4 = 0x80002418;    // Single, PC -> DSP
inline constexpr std::uint32_t CmdArg5 = 0x8000241C;    // Single, PC -> DSP
inline constexpr std::uint32_t CmdArg6 = 0x80002420;    // Single, PC -> DSP
inline constexpr std::uint32_t XferBuf = 0x80003000;    // Single[XferWords], both ways
inline constexpr std::int32_t XferWords = 4096;          // capacity of the transfer buffer
inline constexpr std::uint32_t SampleCount = 0x80001000; // Long, board: samples since run
inline constexpr std::uint32_t Overruns = 0x80001004;    // Long, board: missed deadlines
} // namespace dspmem

// Command numbers written to CmdCode. No other number is ever posted by the program.
enum class Cmd : std::int32_t {
    C1IdentStart = 1,
    C1Fetch = 2,
    C2IdentStart = 4,
    C2Fetch = 5,
    IdentStop = 7,
    ModeOff = 8,
    RunStop = 9,
    WFetch = 10,
    SetParams = 12,
    C1Clear = 13,
    C2Clear = 14,
    WClear = 15,
    LoadDFilter = 16,
    SetGains = 17,
    CaptureStart = 33,
    CaptureQuery = 34,
    PrimFetch = 35,
    ErrorFetch = 36,
    CtrlFetch = 37,
    Mode1 = 81,
    Mode2 = 82,
    Mode3 = 83,
};

// Every command, once: the DSP program's command table is checked against this list.
inline constexpr Cmd AllCommands[] = {
    Cmd::C1IdentStart, Cmd::C1Fetch,     Cmd::C2IdentStart, Cmd::C2Fetch,    Cmd::IdentStop,
    Cmd::ModeOff,      Cmd::RunStop,     Cmd::WFetch,       Cmd::SetParams,  Cmd::C1Clear,
    Cmd::C2Clear,      Cmd::WClear,      Cmd::LoadDFilter,  Cmd::SetGains,   Cmd::CaptureStart,
    Cmd::CaptureQuery, Cmd::PrimFetch,   Cmd::ErrorFetch,   Cmd::CtrlFetch,  Cmd::Mode1,
    Cmd::Mode2,        Cmd::Mode3,
};

// A fetch of C1, C2, W or a captured signal returns (tap count - FetchShortfall) words of the
// transfer buffer.
inline constexpr std::int32_t FetchShortfall = 5;
// Tap counts of C1, C2 and W: at least one word fetched, at most one transfer buffer.
inline constexpr std::int32_t MinTapCount = FetchShortfall + 1;
inline constexpr std::int32_t MaxTapCount = dspmem::XferWords + FetchShortfall;
// Coefficient counts (the D filter): at most one transfer buffer.
inline constexpr std::int32_t MaxCoefficients = dspmem::XferWords;

// The board's converters: 12 bits, counts from ConverterMin to ConverterMax. A level of 1.0 in
// full-scale units is ConverterFullScale counts; the captured signals (PrimFetch, ErrorFetch,
// CtrlFetch) are in counts.
inline constexpr std::int32_t ConverterFullScale = 2048;
inline constexpr std::int32_t ConverterMin = -ConverterFullScale;
inline constexpr std::int32_t ConverterMax = ConverterFullScale - 1;

// The sampling rates, in Hz, that the board runs at and that the DSP program takes from
// SetParams (a rate outside them is clamped to the nearer bound).
inline constexpr double MinSampleRate = 1000;
inline constexpr double MaxSampleRate = 384000;

// A word read as a Long or a Single keeps its 32 bits unchanged.
constexpr std::uint32_t wordOfLong(std::int32_t v) { return static_cast<std::uint32_t>(v); }
constexpr std::int32_t longOfWord(std::uint32_t w) { return static_cast<std::int32_t>(w); }
constexpr std::uint32_t wordOfSingle(float v) { return std::bit_cast<std::uint32_t>(v); }
constexpr float singleOfWord(std::uint32_t w) { return std::bit_cast<float>(w); }

} // namespace quiro
