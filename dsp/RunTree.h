#pragma once
// Where the tools beside the console (the lab bench, the soak run) find the run tree they belong
// to, built or installed: the folder above the one that holds their executable, so that
// bin/libKesto32.so, DSP/quiros.out and scenes/ are found from the tool's own place, as the
// console finds them from AppDir.

#include <QString>

namespace quiro {

// The run tree of an executable in `executableDir` (its bin/), without a trailing slash.
QString runTreeOf(const QString &executableDir);

// Where a tool writes `name` (a report folder, a recording) unless told otherwise: inside the run
// tree when that is a build tree (it holds CMakeCache.txt), else in the current folder, as an
// installed tree belongs to the system and is not written at run time.
QString defaultOutput(const QString &runTree, const QString &name);

} // namespace quiro
