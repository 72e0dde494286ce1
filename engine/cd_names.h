#pragma once
// Audio CD names: the disc's artist, title and track names kept in "cdplayer.ini"
// under a section named after the disc's serial ("%X"), keys "artist", "title" and
// the track numbers less one ("0" for track 1). The serial comes from the table of
// contents (platform/media/cd_drive.h gives the formula).

#include "media/media_item.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumetra::engine {

// The disc serial of a drive or image; 0 when there is no readable disc.
uint32_t CdDiscSerial(const std::string& drive);

// Sets item's title to the track's name (default "Audio CD Track %02d") and its
// performer to the disc's artist (default "n/a"); serial 0: the default title only.
void CdTrackNames(MediaItem& item, int track, uint32_t serial);

// The paths ("<drive>/Track%02d.cda") of the disc's audio tracks, data tracks left
// out; empty without a disc.
std::vector<std::string> ListCdTracks(const std::string& drive);

struct CdDiscNames {
    uint32_t serial = 0;
    std::string artist;              // "New Artist" when none is stored
    std::string title;               // "New Title" when none is stored
    std::vector<std::string> tracks; // one per track of the disc, 1 first
};

// The names the "Audio CD Information" dialog starts with; serial 0 when there
// is no disc or no track.
CdDiscNames LoadCdNames(const std::string& drive);
// Writes artist, title and the keys 0..n-1; false when the file cannot be written.
bool SaveCdNames(const CdDiscNames& names);

// The "Audio CD Information" dialog for the disc of the first CD drive, with the
// item's track preselected: 1 when names were saved, 0 when cancelled or when
// there is no disc. The window draws it; headless answers Cancel.
int CdInfoDialog(const MediaItem& item);

// The window's drawing of that dialog: edits names in place, track (1-based) is
// preselected; true for "Save Audio CD Information". Without one the dialog is
// asked for by its title (platform::ShowDialog), which headless answers Cancel.
using CdInfoPresenter = std::function<bool(CdDiscNames& names, int track)>;
void SetCdInfoPresenter(CdInfoPresenter presenter);

} // namespace lumetra::engine
