#pragma once
// FFmpeg, FluidSynth and libcdio each live in a module of their own
// ("lumetra-media-ffmpeg.so", "-midi.so", "-cd.so") that is loaded the first time
// one of its functions is called, so a player that only plays MPEG audio maps none
// of them and one that plays MIDI maps no FFmpeg. Every module has this table and
// fills the part of its own library. The functions of
// ffmpeg_source.h, ffmpeg_video.h, fluidsynth_source.h and cd_drive.h forward to this table.

#include "platform/media/cd_drive.h"
#include "platform/media/ffmpeg_source.h"
#include "platform/media/ffmpeg_video.h"
#include "platform/media/fluidsynth_source.h"

#include <cstddef>
#include <memory>
#include <string>

namespace lumetra::platform::media {

struct MediaModuleTable {
    std::size_t size; // sizeof(MediaModuleTable) where the module was built
    // Null where the module was built without that library.
    std::unique_ptr<PcmSource> (*openFfmpegSource)(const std::string&, const FfmpegOptions&, std::string&);
    bool (*ffmpegHasVideo)(const std::string&);
    std::shared_ptr<FfmpegVideo> (*openFfmpegVideo)(const std::string&, int width, int height);
    void (*startFfmpegVideo)(FfmpegVideo&, int64_t fromMs, FfmpegVideo::Clock);
    bool (*takeFfmpegPicture)(const FfmpegVideo&, std::vector<uint32_t>&, uint64_t&);
    std::string (*findSoundFont)();
    std::unique_ptr<PcmSource> (*openMidiSource)(const std::string&, std::string&);
    std::unique_ptr<CdDrive> (*openCdDrive)(const std::string&, std::string&);
    void (*releaseCdDrive)(_CdIo*, const std::string& privateFolder);
    const CdTrack* (*findCdTrack)(const CdToc&, int);
    uint32_t (*discSerial)(const CdToc&);
    bool (*isCdImagePath)(const std::string&);
    bool (*readDiscSerial)(const std::string&, uint32_t&);
    bool (*ejectCdDrive)(const std::string&);
    bool (*closeCdTray)(const std::string&);
    std::unique_ptr<PcmSource> (*openCdTrackSource)(CdDrive&, int, std::string&);
};

// What a CdDrive's destructor does inside the module.
void ReleaseCdDrive(_CdIo* cdio, const std::string& privateFolder);

} // namespace lumetra::platform::media

// The module's one exported symbol.
extern "C" const void* lumetra_media_module();
