#pragma once
// The changing family: scenes with a timeline (see docs/board.md), written beside the others.

#include <string>

namespace scenes {

// Writes every scene of the changing family under `out`, each with the files its timeline names;
// false, with the file and the reason in `error`, at the first write that fails.
bool writeChangingFamily(const std::string &out, std::string &error);

} // namespace scenes
