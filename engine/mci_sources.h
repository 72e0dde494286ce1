#pragma once
// The media-control sources: WAV and ASF/WMA (files and network addresses), MIDI
// and Audio CD tracks, with the information readers and the play, pause, resume,
// stop, close and position operations the dispatch and the engine call. Positions
// are whole seconds x 44100 both ways. A play's completion reaches the main window
// as 953 with notify code 1 (played to its end) or 4 (aborted), lParam the device.
//
// WAV/ASF and MIDI devices are numbered from 1 and never reused while the object
// lives. The CD device is kept per thread: slot 0 for the main window's thread,
// slot 1 for any other (the library builder).

#include "media/media_item.h"
#include "platform/audio/wave_out.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumetra::platform::media {
class CdDrive;
class FfmpegVideo;
class MediaPlayback;
} // namespace lumetra::platform::media

namespace lumetra::engine {

class WindowMessageTarget;

struct CdTmsf {
    int track = 0;
    int minutes = 0;
    int seconds = 0;
};

class MciSources {
public:
    explicit MciSources(platform::audio::AudioSystem& audio);
    ~MciSources();
    MciSources(const MciSources&) = delete;
    MciSources& operator=(const MciSources&) = delete;

    void SetDeviceNumber(int device) { m_deviceNumber = device; }
    void SetMainWindow(WindowMessageTarget* window) { m_mainWindow.store(window); }
    // The thread whose CD device is slot 0; the constructing thread until set.
    void SetMainThread(std::thread::id id) { m_mainThread = id; }
    // Why an open or play failed, for the user ("cannot open ...").
    void SetErrorReporter(std::function<void(const std::string&)> report) { m_report = std::move(report); }
    // Asked at each play of an http:// address for FFmpeg's proxy
    // ("http://[user:pass@]host:port", "" for none).
    void SetHttpProxyProvider(std::function<std::string()> provider);

    // Where a video-bearing file shows its picture: width x height pixels (the
    // information screen), and shown is called when such a file starts playing
    // (on the caller's thread). Without a panel (headless) the video is ignored.
    void SetVideoPanel(int width, int height, std::function<void()> shown);
    // The playing video's latest picture (0xFFRRGGBB rows of the panel's size)
    // when it is newer than serial; false when none is newer. playing tells
    // whether a video plays at all.
    bool TakeVideoPicture(std::vector<uint32_t>& pixels, uint64_t& serial, bool& playing);

    // Information readers: 1 when the item was filled, 0 when it cannot be read.
    int WaveInfo(MediaItem& item);
    int MidiInfo(MediaItem& item);
    int CdTrackInfo(MediaItem& item);

    // Players: return the start position they were given.
    int64_t WavePlay(MediaItem& item, int64_t start);
    int64_t MidiPlay(MediaItem& item, int64_t start);
    int64_t CdPlay(MediaItem& item, int64_t start);

    // WAV/ASF and MIDI devices; device 0 does nothing.
    void WavePause(int32_t device);
    void WaveResume(int32_t device);
    void WaveStop(int32_t device);
    void WaveClose(int32_t device);
    bool WavePosition(int32_t device, int& minutes, int& seconds);
    bool DeviceOpen(int32_t device);

    // This thread's CD device; nothing happens without one except where noted.
    void CdPause();
    void CdResume();
    void CdStop();
    void CdClose();
    CdTmsf CdPosition();
    bool CdPlaying();
    int CdCurrentTrack();
    int CdTrackCount();
    // Opens this thread's CD device on the given drive, or the first drive.
    bool CdOpenDevice(const std::string& drive = "");
    // Open the device first; an image's door is a flag.
    bool CdDoorOpen();
    bool CdDoorClose();
    bool CdDoorIsOpen();
    // The serial of the disc in this thread's device (opened if needed); 0 without one.
    uint32_t CdMediaIdentity();
    // The drive path of this thread's device, "" without one.
    std::string CdDrivePath();
    // Audio tracks of this thread's disc, in order.
    std::vector<int> CdAudioTracks();

    // The source's peak for the level meter, 0..8192 (CD: none is measured).
    int32_t Level(int32_t mediaType);

    // Closes every device (shutdown).
    void CloseAll();

private:
    struct CdSlot;
    CdSlot& Slot();
    bool EnsureCd(CdSlot& slot, const std::string& drive);
    platform::media::MediaPlayback* Device(int32_t device);
    int32_t AddDevice(std::unique_ptr<platform::media::MediaPlayback> playback);
    std::function<void(int)> CompletionFor(int32_t device);
    void Report(const std::string& text);
    void StartVideo(int32_t device, const char* path, int64_t fromMs, std::function<int64_t()> clock);

    platform::audio::AudioSystem& m_audio;
    int m_deviceNumber = 0;
    std::atomic<WindowMessageTarget*> m_mainWindow{nullptr};
    std::thread::id m_mainThread;
    std::function<void(const std::string&)> m_report;
    std::function<std::string()> m_httpProxy;
    bool m_soundFontReported = false;

    std::mutex m_mutex; // guards the device table and the CD slots' contents
    std::map<int32_t, std::unique_ptr<platform::media::MediaPlayback>> m_devices;
    // The picture of a device's file; closed before its device (shared: its
    // type is complete only where FFmpeg is built in).
    std::map<int32_t, std::shared_ptr<platform::media::FfmpegVideo>> m_videos;
    int m_videoWidth = 0;
    int m_videoHeight = 0;
    std::function<void()> m_videoShown;
    int32_t m_nextDevice = 1;
    std::unique_ptr<CdSlot> m_slots[2];
};

// The first CD drive: the first image of LUMETRA_CDROM when it is set (set but
// empty: no drive at all), else the system's CD device; "" when there is none.
std::string DefaultCdDrive();
// The drive part of a CD track path ("/dev/sr0/Track03.cda" -> "/dev/sr0").
std::string CdDriveOfPath(const char* path);
// The track number from the two digits before ".cda"; 0 when there are none.
int CdTrackOfPath(const char* path);

// The process's sources, on the process's sound system.
MciSources& TheMciSources();

} // namespace lumetra::engine
