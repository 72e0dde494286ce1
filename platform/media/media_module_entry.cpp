// The module's side: the table over the functions built into it.
#include "platform/media/media_module.h"

using namespace lumetra::platform::media;

extern "C" __attribute__((visibility("default"))) const void* lumetra_media_module()
{
    static const MediaModuleTable table = [] {
        MediaModuleTable t{};
        t.size = sizeof t;
#ifdef LUMETRA_HAVE_FFMPEG
        t.openFfmpegSource = OpenFfmpegSource;
        t.ffmpegHasVideo = FfmpegHasVideo;
        t.openFfmpegVideo = FfmpegVideo::Open;
        t.startFfmpegVideo = [](FfmpegVideo& video, int64_t fromMs, FfmpegVideo::Clock clock) {
            video.Start(fromMs, std::move(clock));
        };
        t.takeFfmpegPicture = [](const FfmpegVideo& video, std::vector<uint32_t>& pixels, uint64_t& serial) {
            return video.TakePicture(pixels, serial);
        };
#endif
#ifdef LUMETRA_HAVE_FLUIDSYNTH
        t.findSoundFont = FindSoundFont;
        t.openMidiSource = OpenMidiSource;
#endif
#ifdef LUMETRA_HAVE_CDIO
        t.openCdDrive = CdDrive::Open;
        t.releaseCdDrive = ReleaseCdDrive;
        t.findCdTrack = [](const CdToc& toc, int number) { return toc.Find(number); };
        t.discSerial = DiscSerial;
        t.isCdImagePath = IsCdImagePath;
        t.readDiscSerial = ReadDiscSerial;
        t.ejectCdDrive = EjectCdDrive;
        t.closeCdTray = CloseCdTray;
        t.openCdTrackSource = OpenCdTrackSource;
#endif
        return t;
    }();
    return &table;
}
