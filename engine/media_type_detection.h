#pragma once
// Classification of a path into a media type from its first kilobyte, its name,
// or (when it cannot be opened) the kind of drive it lies on.

#include "media/media_item.h"

#include <cstddef>
#include <cstdio>

namespace lumetra::engine {

inline constexpr std::size_t kHeaderBytes = 1024;

MediaType DetectMediaType(const char* path);
// The same for path's file, already open (its position is not kept).
MediaType DetectMediaType(std::FILE* file, const char* path);

// Predicates over a zero-padded header of kHeaderBytes, or over a name.
bool IsWaveHeader(const unsigned char* header);
bool IsCdaHeader(const unsigned char* header);
bool IsMidiHeader(const unsigned char* header);
bool IsAsfName(const char* name);
bool IsAsfAddress(const char* name);
bool IsCdDrive(const char* path);

// Set while the CD tray was ejected by the player (or the disc removed); a CD
// track path then no longer counts as one.
int CdTrayOpenFlag();
void SetCdTrayOpenFlag(int value);

} // namespace lumetra::engine
