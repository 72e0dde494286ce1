#pragma once
// The first CD-ROM drive, the serial of the disc in it and its tracks. Serial and
// tracks come from the CD layer, which installs its readers; until then every disc
// reads as serial 0 with no tracks.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumetra::platform {

// The first of LUMETRA_CDROM's disc images when the variable is set (set but empty:
// no CD-ROM drive), else the first CD device (/dev/sr0 ... /dev/sr9) that exists.
// Empty when there is none.
std::string FirstCdDrive();

// The serial of the disc in a drive (a device or an image); 0 when no disc can be read.
uint32_t DiscSerial(const std::string& drive);
void SetDiscSerialReader(std::function<uint32_t(const std::string& drive)> reader);

// The track paths of the audio disc in a drive ("DRIVE/Track01.cda", ...), from
// the CD layer's lister; empty until one is installed or when there is no disc.
std::vector<std::string> CdTrackPaths(const std::string& drive);
void SetCdTrackLister(std::function<std::vector<std::string>(const std::string& drive)> lister);

// The folder whose files the disc holds: the mount point of a device, empty when
// the disc has no mounted file system (an image or an audio disc).
std::string CdFileRoot(const std::string& drive);

} // namespace lumetra::platform
