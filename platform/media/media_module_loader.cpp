// The program's side: loads the media module on first use and forwards the
// functions of the media libraries to it.
#include "platform/media/media_module.h"

#include "platform/module_loader.h"

#include <mutex>

namespace lumetra::platform::media {
namespace {

enum class Kind { Ffmpeg, Midi, Cd };
constexpr const char* kModuleNames[] = {"lumetra-media-ffmpeg.so", "lumetra-media-midi.so", "lumetra-media-cd.so"};

struct Loaded {
    const MediaModuleTable* table = nullptr;
    std::string error;
};

const Loaded& Load(Kind kind)
{
    static Loaded modules[3];
    static std::once_flag once[3];
    auto index = static_cast<std::size_t>(kind);
    Loaded& loaded = modules[index];
    std::call_once(once[index], [&loaded, index] {
        auto table = static_cast<const MediaModuleTable*>(LoadModuleTable(
            kModuleNames[index], LUMETRA_MODULE_DIR, "lumetra_media_module", loaded.error));
        if (table && table->size != sizeof(MediaModuleTable))
            loaded.error = std::string(kModuleNames[index]) + ": not a matching media module";
        else
            loaded.table = table;
    });
    return loaded;
}

// The module's function, or nullptr with the reason in error.
template <typename Fn>
Fn Function(Kind kind, Fn MediaModuleTable::*member, std::string& error)
{
    const Loaded& loaded = Load(kind);
    if (!loaded.table) {
        error = "media support could not be loaded: " + loaded.error;
        return nullptr;
    }
    Fn fn = loaded.table->*member;
    if (!fn)
        error = "media support was built without this library";
    return fn;
}

template <typename Fn>
Fn Function(Kind kind, Fn MediaModuleTable::*member)
{
    std::string ignored;
    return Function(kind, member, ignored);
}

} // namespace

#ifdef LUMETRA_HAVE_FFMPEG
std::unique_ptr<PcmSource> OpenFfmpegSource(const std::string& path, const FfmpegOptions& options, std::string& error)
{
    auto fn = Function(Kind::Ffmpeg, &MediaModuleTable::openFfmpegSource, error);
    return fn ? fn(path, options, error) : nullptr;
}

bool FfmpegHasVideo(const std::string& path)
{
    auto fn = Function(Kind::Ffmpeg, &MediaModuleTable::ffmpegHasVideo);
    return fn && fn(path);
}

// A video is made and destroyed inside the module; these reach it there.
std::shared_ptr<FfmpegVideo> FfmpegVideo::Open(const std::string& path, int width, int height)
{
    auto fn = Function(Kind::Ffmpeg, &MediaModuleTable::openFfmpegVideo);
    return fn ? fn(path, width, height) : nullptr;
}

void FfmpegVideo::Start(int64_t fromMs, Clock clock)
{
    Function(Kind::Ffmpeg, &MediaModuleTable::startFfmpegVideo)(*this, fromMs, std::move(clock));
}

bool FfmpegVideo::TakePicture(std::vector<uint32_t>& pixels, uint64_t& serial) const
{
    return Function(Kind::Ffmpeg, &MediaModuleTable::takeFfmpegPicture)(*this, pixels, serial);
}
#endif

#ifdef LUMETRA_HAVE_FLUIDSYNTH
std::string FindSoundFont()
{
    auto fn = Function(Kind::Midi, &MediaModuleTable::findSoundFont);
    return fn ? fn() : std::string();
}

std::unique_ptr<PcmSource> OpenMidiSource(const std::string& path, std::string& error)
{
    auto fn = Function(Kind::Midi, &MediaModuleTable::openMidiSource, error);
    return fn ? fn(path, error) : nullptr;
}
#endif

#ifdef LUMETRA_HAVE_CDIO
// A drive exists only once the module is loaded, so these find it there.
CdDrive::~CdDrive()
{
    if (auto fn = Function(Kind::Cd, &MediaModuleTable::releaseCdDrive))
        fn(m_cdio, m_privateFolder);
}

std::unique_ptr<CdDrive> CdDrive::Open(const std::string& drive, std::string& error)
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::openCdDrive, error);
    return fn ? fn(drive, error) : nullptr;
}

const CdTrack* CdToc::Find(int number) const
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::findCdTrack);
    return fn ? fn(*this, number) : nullptr;
}

uint32_t DiscSerial(const CdToc& toc)
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::discSerial);
    return fn ? fn(toc) : 1;
}

bool IsCdImagePath(const std::string& drive)
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::isCdImagePath);
    return fn && fn(drive);
}

bool ReadDiscSerial(const std::string& drive, uint32_t& serial)
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::readDiscSerial);
    return fn && fn(drive, serial);
}

bool EjectCdDrive(const std::string& drive)
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::ejectCdDrive);
    return fn && fn(drive);
}

bool CloseCdTray(const std::string& drive)
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::closeCdTray);
    return fn && fn(drive);
}

std::unique_ptr<PcmSource> OpenCdTrackSource(CdDrive& drive, int track, std::string& error)
{
    auto fn = Function(Kind::Cd, &MediaModuleTable::openCdTrackSource, error);
    return fn ? fn(drive, track, error) : nullptr;
}
#endif

} // namespace lumetra::platform::media
