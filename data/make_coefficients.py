#!/usr/bin/env python3
"""Writes the four coefficient files of the excitation filter D for a 20 kHz sampling rate.

Each filter is a Hamming-windowed sinc (linear phase, odd length). Run from anywhere:
    python3 data/make_coefficients.py
The files are committed; rerun this only to change a design (and update docs/coefficients.md).
"""
import math
import os

FS = 20000.0   # default sampling rate, Hz
TAPS = 63      # odd: a whole-sample delay of (TAPS - 1) / 2


def lowpass(cutoff_hz, taps=TAPS):
    """Windowed-sinc low-pass with exactly unity gain at DC."""
    m = (taps - 1) / 2
    fc = cutoff_hz / FS
    h = []
    for n in range(taps):
        x = n - m
        ideal = 2 * fc if x == 0 else math.sin(2 * math.pi * fc * x) / (math.pi * x)
        window = 0.54 - 0.46 * math.cos(2 * math.pi * n / (taps - 1))
        h.append(ideal * window)
    total = sum(h)
    return [v / total for v in h]


def highpass(cutoff_hz, taps=TAPS):
    """Spectral inversion of the low-pass: a delayed unit impulse minus it; zero gain at DC."""
    h = [-v for v in lowpass(cutoff_hz, taps)]
    h[(taps - 1) // 2] += 1.0
    return h


def bandpass(low_hz, high_hz, taps=TAPS):
    """Difference of two low-passes: zero gain at DC, about unity inside the band."""
    return [a - b for a, b in zip(lowpass(high_hz, taps), lowpass(low_hz, taps))]


def write(name, coefficients):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with open(path, "w", newline="\n") as f:
        f.write(f"{len(coefficients)}\n")
        for c in coefficients:
            # Zero crossings of the sinc come out as rounding noise: write them as 0.
            f.write(f"{0.0 if abs(c) < 1e-12 else c:.9g}\n")


write("LPF.COF", lowpass(3000.0))
write("HPF.COF", highpass(1000.0))
write("THRU.COF", [1.0])
write("USER.COF", bandpass(1000.0, 4000.0))
