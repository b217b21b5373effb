#pragma once
// The lab bench's run of the changing family: every scene with a timeline, in every cancellation
// mode, on the board's core stepped by the bench and the real DSP program; one table of what each change did and, per scene, a
// picture of the attenuation against time.

#include "dsp/KestoLibrary.h"

#include <QString>

#include <string>
#include <vector>

namespace lab {

struct ChangeOptions {
    float betaC = 1e-6f, betaW = 1e-5f;
    double ident = 10; // s per path, before the first change
    QString report;    // the folder for the pictures
    std::string dFile; // the D filter's file; empty: LPF.COF
};

// The scene directories under `root`, in name order: those with a timeline, or those without.
std::vector<std::string> familyScenes(const std::string &root, bool changing);

// Returns false when a picture could not be written.
bool runChanges(quiro::KestoLibrary &board, const std::string &bin,
                const std::vector<std::string> &sceneDirs, const ChangeOptions &opt);

} // namespace lab
