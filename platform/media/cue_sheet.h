#pragma once
// CUE sheets of BIN/CUE disc images, read to check an image before it is opened:
// every data file it names must exist and reach the first sector of each of its
// tracks. Parsing is pure; the check stats the files.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumetra::platform::media {

struct CueTrack {
    int number = 0;
    bool audio = false;
    int sectorBytes = 2352;
    int file = -1;            // index into CueSheet::files
    int64_t startSector = -1; // INDEX 01, in sectors from the start of its file
};

struct CueSheet {
    bool ok = false;
    std::string error;
    std::vector<std::string> files; // as written in the sheet
    std::vector<CueTrack> tracks;
};

inline constexpr std::size_t kMaxCueBytes = 64 * 1024;

CueSheet ParseCueSheet(std::span<const uint8_t> text);

// Reads and parses the sheet at cuePath and checks its files (relative names are
// taken from the sheet's folder); "" when the image is whole, else the reason.
std::string CheckCueImage(const std::string& cuePath);

} // namespace lumetra::platform::media
