#pragma once
// The first CD-ROM drive and the disc in it, as the playlist and the library see
// them: its serial and its audio tracks come from the CD layer (engine/cd_names.h).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumetra::playlist {

// The first CD drive (a device or a disc image); empty when there is none.
std::string FirstCdDrive();
// The serial of the disc in drive; 0 without a drive or a readable disc.
uint32_t DiscSerialOf(const std::string& drive);
// FindCdSerial: the serial of the disc in the first CD drive, 0 without one.
uint32_t FindCdSerial();
// The folder whose files the disc holds: a device's mount point; empty for an
// image or a disc without a mounted file system.
std::string CdFileRoot(const std::string& drive);
// "DRIVE/Track01.cda", ... for the disc's audio tracks.
std::vector<std::string> CdTrackPaths(const std::string& drive);

// Replaces the serial reader (tests use discs they describe themselves); an empty
// function restores the CD layer's.
void SetDiscSerialReader(std::function<uint32_t(const std::string& drive)> reader);

} // namespace lumetra::playlist
