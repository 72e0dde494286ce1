#pragma once
// Audio CDs through libcdio: a real drive ("/dev/sr0") or a BIN/CUE image named
// by its CUE sheet. The table of contents is read once when the drive is opened;
// samples are read through cd-paranoia.

#include "platform/media/pcm_source.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _CdIo;

namespace lumetra::platform::media {

inline constexpr int kSectorsPerSecond = 75;
inline constexpr int kFramesPerSector = 588; // 2352 bytes of 16-bit stereo

struct CdTrack {
    int number = 0;
    bool audio = false;
    int32_t startLsn = 0;
    int32_t sectors = 0;
};

struct CdToc {
    std::vector<CdTrack> tracks; // in disc order, data tracks included
    int32_t leadOutLsn = 0;
    const CdTrack* Find(int number) const;
};

// The disc's serial number, stable for a disc and different between discs: the
// 32-bit FNV-1a hash of the little-endian 32-bit values (track count, then each
// track's number and start sector, then the lead-out sector); 0 becomes 1.
uint32_t DiscSerial(const CdToc& toc);

// Whether a drive path names a disc image (a CUE sheet) rather than a device.
bool IsCdImagePath(const std::string& drive);

class CdDrive {
public:
    ~CdDrive();
    CdDrive(const CdDrive&) = delete;
    CdDrive& operator=(const CdDrive&) = delete;

    // nullptr with a reason when there is no readable disc: no drive, no disc, an
    // image whose data file is missing or short.
    static std::unique_ptr<CdDrive> Open(const std::string& drive, std::string& error);

    const std::string& Path() const { return m_path; }
    const CdToc& Toc() const { return m_toc; }
    bool IsImage() const { return m_image; }

private:
    friend class CdTrackSource;
    CdDrive() = default;
    std::string m_path;
    bool m_image = false;
    CdToc m_toc;
    _CdIo* m_cdio = nullptr;
    std::string m_privateFolder; // a copy of the sheet libcdio can read, if one was needed
};

// Reads the disc's table of contents and computes its serial; false without a disc.
bool ReadDiscSerial(const std::string& drive, uint32_t& serial);

// Opens or closes a real drive's tray; false for images and failures.
bool EjectCdDrive(const std::string& drive);
bool CloseCdTray(const std::string& drive);

// The sound of one audio track, from its first sector to its last; the drive
// must outlive the source.
std::unique_ptr<PcmSource> OpenCdTrackSource(CdDrive& drive, int track, std::string& error);

} // namespace lumetra::platform::media
