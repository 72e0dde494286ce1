#include "engine/mci_sources.h"
#include "engine/cd_names.h"
#include "engine/wave_length.h"
#include "engine/window_message.h"
#include "platform/media/media_playback.h"

#ifdef LUMETRA_HAVE_FFMPEG
#include "platform/media/ffmpeg_source.h"
#include "platform/media/ffmpeg_video.h"
#endif
#ifdef LUMETRA_HAVE_FLUIDSYNTH
#include "platform/media/fluidsynth_source.h"
#endif
#ifdef LUMETRA_HAVE_CDIO
#include "platform/media/cd_drive.h"
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace lumetra::engine {

using platform::audio::MixerLine;
using platform::media::MediaPlayback;
using platform::media::PcmSource;

namespace {

constexpr int32_t kRate = 44100;

void CopyText(char* dst, std::size_t size, const char* src)
{
    std::size_t n = strnlen(src, size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// The fields every media-control reader sets; length in whole seconds.
void SetSampledInfo(MediaItem& item, int64_t lengthMs)
{
    item.title[0] = '\0';
    CopyText(item.performer, sizeof item.performer, "n/a");
    item.sampleRate = kRate;
    item.layer = kLayerSampled;
    item.totalSamples = item.fileSize = lengthMs > 0 ? (lengthMs / 1000) * kRate : 0;
}

int64_t StartMs(int64_t start)
{
    return start > 0 ? start / kRate * 1000 : 0;
}

} // namespace

struct MciSources::CdSlot {
#ifdef LUMETRA_HAVE_CDIO
    std::unique_ptr<platform::media::CdDrive> drive;
#endif
    std::unique_ptr<MediaPlayback> playback;
    std::string drivePath;
    int track = 0;
    bool imageDoorOpen = false;
};

MciSources::MciSources(platform::audio::AudioSystem& audio) : m_audio(audio), m_mainThread(std::this_thread::get_id())
{
    m_slots[0] = std::make_unique<CdSlot>();
    m_slots[1] = std::make_unique<CdSlot>();
}

MciSources::~MciSources()
{
    CloseAll();
}

void MciSources::SetHttpProxyProvider(std::function<std::string()> provider)
{
    std::lock_guard lock(m_mutex);
    m_httpProxy = std::move(provider);
}

void MciSources::Report(const std::string& text)
{
    if (m_report)
        m_report(text);
    else
        std::fprintf(stderr, "lumetra: %s\n", text.c_str());
}

std::function<void(int)> MciSources::CompletionFor(int32_t device)
{
    return [this, device](int code) { PostWindowMessage(m_mainWindow.load(), kMsgEndOfTrack, code, device); };
}

int32_t MciSources::AddDevice(std::unique_ptr<MediaPlayback> playback)
{
    std::lock_guard lock(m_mutex);
    int32_t id = m_nextDevice++;
    m_devices[id] = std::move(playback);
    return id;
}

MediaPlayback* MciSources::Device(int32_t device)
{
    std::lock_guard lock(m_mutex);
    auto it = m_devices.find(device);
    return it == m_devices.end() ? nullptr : it->second.get();
}

bool MciSources::DeviceOpen(int32_t device)
{
    return device != 0 && Device(device) != nullptr;
}

// ---- WAV and ASF/WMA ----

int MciSources::WaveInfo(MediaItem& item)
{
    if (std::strstr(item.path, "://")) {
        SetSampledInfo(item, 0);
        return 1;
    }
#ifdef LUMETRA_HAVE_FFMPEG
    if (std::optional<int64_t> ms = PcmWaveLengthMs(item.path)) {
        SetSampledInfo(item, *ms);
        return 1;
    }
    std::string error;
    platform::media::FfmpegOptions options;
    auto source = platform::media::OpenFfmpegSource(item.path, options, error);
    if (!source) {
        Report(error);
        return 0;
    }
    SetSampledInfo(item, source->LengthMs());
    return 1;
#else
    Report(std::string("this build plays no WAV or ASF files: ") + item.path);
    return 0;
#endif
}

int64_t MciSources::WavePlay(MediaItem& item, int64_t start)
{
    item.mciDevice = 0;
#ifdef LUMETRA_HAVE_FFMPEG
    std::string error;
    platform::media::FfmpegOptions options;
    std::function<std::string()> proxy;
    {
        std::lock_guard lock(m_mutex);
        proxy = m_httpProxy;
    }
    if (proxy && std::strncmp(item.path, "http://", 7) == 0)
        options.httpProxy = proxy();
    auto source = platform::media::OpenFfmpegSource(item.path, options, error);
    if (source) {
        auto playback = std::make_unique<MediaPlayback>(m_audio, m_deviceNumber, MixerLine::Wave, std::move(source));
        MediaPlayback* raw = playback.get();
        int32_t id = AddDevice(std::move(playback));
        if (raw->Play(StartMs(start), CompletionFor(id))) {
            item.mciDevice = id;
            StartVideo(id, item.path, StartMs(start), [raw] { return raw->PositionMs(); });
        } else {
            WaveClose(id);
            error = std::string("no sound device plays ") + item.path;
        }
    }
    if (!item.mciDevice)
        Report(error);
#else
    Report(std::string("this build plays no WAV or ASF files: ") + item.path);
#endif
    item.isPlaying = 1;
    return start;
}

void MciSources::SetVideoPanel(int width, int height, std::function<void()> shown)
{
    std::lock_guard lock(m_mutex);
    m_videoWidth = width;
    m_videoHeight = height;
    m_videoShown = std::move(shown);
}

void MciSources::StartVideo(int32_t device, const char* path, int64_t fromMs, std::function<int64_t()> clock)
{
#ifdef LUMETRA_HAVE_FFMPEG
    int width, height;
    std::function<void()> shown;
    {
        std::lock_guard lock(m_mutex);
        width = m_videoWidth;
        height = m_videoHeight;
        shown = m_videoShown;
    }
    // Network addresses play their sound only.
    if (width <= 0 || std::strstr(path, "://"))
        return;
    auto video = platform::media::FfmpegVideo::Open(path, width, height);
    if (!video)
        return;
    video->Start(fromMs, std::move(clock));
    {
        std::lock_guard lock(m_mutex);
        m_videos[device] = std::move(video);
    }
    if (shown)
        shown();
#else
    (void)device, (void)path, (void)fromMs, (void)clock;
#endif
}

bool MciSources::TakeVideoPicture(std::vector<uint32_t>& pixels, uint64_t& serial, bool& playing)
{
    std::lock_guard lock(m_mutex);
    playing = !m_videos.empty();
#ifdef LUMETRA_HAVE_FFMPEG
    for (auto& [device, video] : m_videos) {
        if (video->TakePicture(pixels, serial))
            return true;
    }
#else
    (void)pixels, (void)serial;
#endif
    return false;
}

void MciSources::WavePause(int32_t device)
{
    if (MediaPlayback* p = Device(device))
        p->Pause();
}

void MciSources::WaveResume(int32_t device)
{
    if (MediaPlayback* p = Device(device))
        p->Resume(CompletionFor(device));
}

void MciSources::WaveStop(int32_t device)
{
    if (MediaPlayback* p = Device(device))
        p->Stop();
}

void MciSources::WaveClose(int32_t device)
{
    std::shared_ptr<platform::media::FfmpegVideo> video;
    std::unique_ptr<MediaPlayback> closing;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_devices.find(device);
        if (it == m_devices.end())
            return;
        closing = std::move(it->second);
        m_devices.erase(it);
        if (auto v = m_videos.find(device); v != m_videos.end()) {
            video = std::move(v->second);
            m_videos.erase(v);
        }
    }
    // Outside the lock: the video's thread reads the device's clock until it ends,
    // and an abort notice may be posted.
    video.reset();
    closing.reset();
}

bool MciSources::WavePosition(int32_t device, int& minutes, int& seconds)
{
    minutes = seconds = 0;
    MediaPlayback* p = Device(device);
    if (!p)
        return false;
    int64_t s = p->PositionMs() / 1000;
    minutes = static_cast<int>(s / 60);
    seconds = static_cast<int>(s % 60);
    return true;
}

// ---- MIDI ----

int MciSources::MidiInfo(MediaItem& item)
{
    SetSampledInfo(item, 0);
    return 1;
}

int64_t MciSources::MidiPlay(MediaItem& item, int64_t start)
{
    item.mciDevice = 0;
#ifdef LUMETRA_HAVE_FLUIDSYNTH
    std::string error;
    auto source = platform::media::OpenMidiSource(item.path, error);
    if (source) {
        SetSampledInfo(item, source->LengthMs());
        auto playback = std::make_unique<MediaPlayback>(m_audio, m_deviceNumber, MixerLine::Midi, std::move(source));
        MediaPlayback* raw = playback.get();
        int32_t id = AddDevice(std::move(playback));
        if (raw->Play(StartMs(start), CompletionFor(id))) {
            item.mciDevice = id;
        } else {
            WaveClose(id);
            Report(std::string("no sound device plays ") + item.path);
        }
    } else if (error.rfind("no sound font", 0) == 0) {
        // Said once; the other kinds of files go on playing.
        if (!m_soundFontReported) {
            m_soundFontReported = true;
            PostWindowMessage(m_mainWindow.load(), kMsgEngineBox, kBoxNoSoundFont, 0);
        }
    } else {
        Report(error);
    }
#else
    Report(std::string("this build plays no MIDI files: ") + item.path);
#endif
    item.isPlaying = 1;
    return start;
}

// ---- Audio CD ----

MciSources::CdSlot& MciSources::Slot()
{
    return *m_slots[std::this_thread::get_id() == m_mainThread ? 0 : 1];
}

bool MciSources::EnsureCd(CdSlot& slot, const std::string& wanted)
{
#ifdef LUMETRA_HAVE_CDIO
    std::string drive = wanted.empty() ? (slot.drive ? slot.drivePath : DefaultCdDrive()) : wanted;
    if (slot.drive && slot.drivePath == drive)
        return true;
    if (drive.empty())
        return false;
    slot.playback.reset();
    slot.drive.reset();
    std::string error;
    slot.drive = platform::media::CdDrive::Open(drive, error);
    if (!slot.drive) {
        Report(error);
        return false;
    }
    slot.drivePath = drive;
    slot.track = 0;
    return true;
#else
    (void)slot;
    (void)wanted;
    return false;
#endif
}

bool MciSources::CdOpenDevice(const std::string& drive)
{
    return EnsureCd(Slot(), drive);
}

int MciSources::CdTrackInfo(MediaItem& item)
{
#ifdef LUMETRA_HAVE_CDIO
    CdSlot& slot = Slot();
    if (!EnsureCd(slot, CdDriveOfPath(item.path)))
        return 0;
    const platform::media::CdTrack* track = slot.drive->Toc().Find(CdTrackOfPath(item.path));
    if (!track)
        return 0;
    CdTrackNames(item, track->number, platform::media::DiscSerial(slot.drive->Toc()));
    item.sampleRate = kRate;
    item.layer = kLayerSampled;
    const int64_t seconds = track->sectors / platform::media::kSectorsPerSecond;
    item.totalSamples = item.fileSize = seconds * kRate;
    return 1;
#else
    (void)item;
    return 0;
#endif
}

int64_t MciSources::CdPlay(MediaItem& item, int64_t start)
{
    bool played = false;
#ifdef LUMETRA_HAVE_CDIO
    CdSlot& slot = Slot();
    if (EnsureCd(slot, CdDriveOfPath(item.path))) {
        std::string error;
        int number = CdTrackOfPath(item.path);
        auto source = platform::media::OpenCdTrackSource(*slot.drive, number, error);
        if (source) {
            if (slot.playback)
                slot.playback->Stop();
            slot.playback = std::make_unique<MediaPlayback>(m_audio, m_deviceNumber, MixerLine::Cd, std::move(source));
            slot.track = number;
            played = slot.playback->Play(StartMs(start), CompletionFor(0));
        }
        if (!error.empty())
            Report(error);
    }
#endif
    if (!played)
        PostWindowMessage(m_mainWindow.load(), kMsgEndOfTrack, platform::media::kNotifySuccessful, 0);
    item.isPlaying = 1;
    return start;
}

void MciSources::CdPause()
{
    CdSlot& slot = Slot();
    if (slot.playback)
        slot.playback->Pause();
}

void MciSources::CdResume()
{
    CdSlot& slot = Slot();
    if (slot.playback)
        slot.playback->Resume(CompletionFor(0));
}

void MciSources::CdStop()
{
    CdSlot& slot = Slot();
    if (slot.playback)
        slot.playback->Stop();
}

void MciSources::CdClose()
{
    CdSlot& slot = Slot();
    slot.playback.reset();
#ifdef LUMETRA_HAVE_CDIO
    slot.drive.reset();
#endif
    slot.drivePath.clear();
    slot.track = 0;
}

CdTmsf MciSources::CdPosition()
{
    CdSlot& slot = Slot();
    CdTmsf at;
    if (!slot.playback)
        return at;
    int64_t s = slot.playback->PositionMs() / 1000;
    at.track = slot.track;
    at.minutes = static_cast<int>(s / 60);
    at.seconds = static_cast<int>(s % 60);
    return at;
}

bool MciSources::CdPlaying()
{
    CdSlot& slot = Slot();
    return slot.playback && slot.playback->Playing();
}

int MciSources::CdCurrentTrack()
{
    return Slot().track;
}

int MciSources::CdTrackCount()
{
#ifdef LUMETRA_HAVE_CDIO
    CdSlot& slot = Slot();
    return slot.drive ? static_cast<int>(slot.drive->Toc().tracks.size()) : 0;
#else
    return 0;
#endif
}

std::vector<int> MciSources::CdAudioTracks()
{
    std::vector<int> tracks;
#ifdef LUMETRA_HAVE_CDIO
    CdSlot& slot = Slot();
    if (!EnsureCd(slot, ""))
        return tracks;
    for (const auto& t : slot.drive->Toc().tracks) {
        if (t.audio)
            tracks.push_back(t.number);
    }
#endif
    return tracks;
}

uint32_t MciSources::CdMediaIdentity()
{
#ifdef LUMETRA_HAVE_CDIO
    CdSlot& slot = Slot();
    if (EnsureCd(slot, ""))
        return platform::media::DiscSerial(slot.drive->Toc());
#endif
    return 0;
}

std::string MciSources::CdDrivePath()
{
    return Slot().drivePath;
}

bool MciSources::CdDoorOpen()
{
    CdSlot& slot = Slot();
    std::string drive = slot.drivePath.empty() ? DefaultCdDrive() : slot.drivePath;
    if (drive.empty())
        return false;
#ifdef LUMETRA_HAVE_CDIO
    if (platform::media::IsCdImagePath(drive)) {
        slot.imageDoorOpen = true;
        return true;
    }
    // The drive lets go of the disc before its tray opens.
    slot.playback.reset();
    slot.drive.reset();
    slot.drivePath.clear();
    return platform::media::EjectCdDrive(drive);
#else
    return false;
#endif
}

bool MciSources::CdDoorClose()
{
    CdSlot& slot = Slot();
    std::string drive = slot.drivePath.empty() ? DefaultCdDrive() : slot.drivePath;
    if (drive.empty())
        return false;
#ifdef LUMETRA_HAVE_CDIO
    if (platform::media::IsCdImagePath(drive)) {
        slot.imageDoorOpen = false;
        return true;
    }
    return platform::media::CloseCdTray(drive);
#else
    return false;
#endif
}

bool MciSources::CdDoorIsOpen()
{
    return Slot().imageDoorOpen;
}

int32_t MciSources::Level(int32_t mediaType)
{
    platform::audio::Mixer& mixer = m_audio.LineMixer();
    switch (mediaType) {
    case MEDIA_WAVE:
    case MEDIA_ASF:
        return std::abs(mixer.ReadMeter(MixerLine::Wave)) / 4;
    case MEDIA_MIDI:
        return std::abs(mixer.ReadMeter(MixerLine::Midi)) / 4;
    case MEDIA_CDTRACK: {
        // The CD line has no meter: a lively value while the disc plays.
        if (!CdPlaying())
            return 0;
        static thread_local std::minstd_rand draw{1};
        return static_cast<int32_t>(draw() % 2048);
    }
    default:
        return 0;
    }
}

void MciSources::CloseAll()
{
    std::map<int32_t, std::shared_ptr<platform::media::FfmpegVideo>> videos;
    std::map<int32_t, std::unique_ptr<MediaPlayback>> devices;
    {
        std::lock_guard lock(m_mutex);
        videos.swap(m_videos);
        devices.swap(m_devices);
    }
    videos.clear();
    devices.clear();
    for (auto& slot : m_slots) {
        slot->playback.reset();
#ifdef LUMETRA_HAVE_CDIO
        slot->drive.reset();
#endif
        slot->drivePath.clear();
    }
}

// ---- paths ----

std::string DefaultCdDrive()
{
    // Set, even empty, it names every drive there is (tests never reach a real one).
    if (const char* images = std::getenv("LUMETRA_CDROM")) {
        std::string list(images);
        return list.substr(0, list.find(':'));
    }
    for (const char* device : {"/dev/cdrom", "/dev/sr0"}) {
        if (FILE* f = std::fopen(device, "rb")) {
            std::fclose(f);
            return device;
        }
    }
    return "";
}

std::string CdDriveOfPath(const char* path)
{
    std::string p(path);
    std::size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? "" : p.substr(0, slash);
}

int CdTrackOfPath(const char* path)
{
    std::size_t n = std::strlen(path);
    if (n < 6)
        return 0;
    return std::atoi(path + n - 6);
}

MciSources& TheMciSources()
{
    static MciSources sources(platform::audio::TheAudioSystem());
    return sources;
}

} // namespace lumetra::engine
