#pragma once
// Libraries that only some runs need (FFmpeg, FluidSynth, libcdio, the sound
// servers, Qt's network, sd-bus) live in modules of our own, loaded on first use,
// so a run that never needs one neither maps it nor pays for its start-up. A
// module exports one C function that returns its table of functions.

#include <string>

// The build folder of the calling library's modules (set by lumetra_module in CMake).
#ifndef LUMETRA_MODULE_DIR
#define LUMETRA_MODULE_DIR "."
#endif

namespace lumetra::platform {

// Loads module `fileName` from the program's folder, else from `buildFolder`
// (tests and tools run from the build tree), and returns what its function
// `entry` returns, or nullptr with the reason in `error`. A module stays loaded.
const void* LoadModuleTable(const std::string& fileName, const std::string& buildFolder, const char* entry,
                            std::string& error);

} // namespace lumetra::platform
