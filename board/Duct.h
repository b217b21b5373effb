#pragma once
// A straight duct with a noise source at one end, a loudspeaker in its wall and two microphones,
// modelled as plane waves at any sampling rate. The built-in scene is one such duct; the scene
// family's generator models others with the same code.

#include <vector>

namespace kesto {

struct DuctModel {
    double length = 2.4;            // m
    double lossPerMetre = 0.5;      // amplitude, nepers per metre
    double sourceEndReflection = 0.2;
    double outletReflection = -0.4; // an open end inverts the wave
    double source = 0.0, detection = 0.25, loudspeaker = 1.0, error = 2.0; // positions, m
    double speakerGain = 0.35;      // full-scale output to full-scale pressure, each way
    double speakerCorner = 120.0;   // Hz, second-order high-pass of a closed-box driver
    double speakerQ = 0.8;
    double speakerDelay = 0.0;      // s, the amplifier's and driver's own latency
    double liningCorner = 0.0;      // Hz; >0: a lined duct, its walls absorb above this (1st order)
    double micCorner = 30.0;        // Hz, the microphones' DC-blocking high-pass
    double maxSeconds = 0.06;       // longest path followed
    double speedOfSound = 343.0;    // m/s
};

struct PathResponses {
    std::vector<double> primaryRef, primaryErr, secondaryRef, secondaryErr;
};

// The four impulse responses of the duct at `rate` Hz, each cut where the rest holds less than
// 1e-4 of its energy.
PathResponses ductResponses(const DuctModel &duct, double rate);

// Adds a band-limited impulse of height `a` at fractional delay `d` samples.
void placeArrival(std::vector<double> &h, double d, double a);

// Cuts the response where the rest holds less than `fraction` of its energy.
void trimTail(std::vector<double> &h, double fraction = 1e-4);

// The microphones' response (DC-blocking high-pass, capsule roll-off) applied in place.
void applyMicrophone(std::vector<double> &h, double rate, double corner = 30.0);

} // namespace kesto
