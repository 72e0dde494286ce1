#pragma once
// A regular file opened for a reader that looks at a few places in turn (the
// type bytes at the start, the tags at the end, the first frame after a tag),
// seeking back and forth between them. Each region comes from the disk once:
// seeks cost nothing and reads inside a region already read are copies.

#include <cstdio>

namespace lumetra::platform {

// As OpenRegularFile (nullptr for FIFOs, devices and folders), read-only.
std::FILE* OpenProbeFile(const char* path);

} // namespace lumetra::platform
