#pragma once
// The changing family: scenes with a timeline (see docs/board.md), written beside the others.

#include <string>

namespace scenes {

// Writes every scene of the changing family under `out`, each with the files its timeline names.
void writeChangingFamily(const std::string &out);

} // namespace scenes
