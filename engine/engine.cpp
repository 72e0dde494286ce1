#include "engine/engine.h"
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"
#include "engine/media_item_text.h"
#include "engine/media_type_detection.h"
#include "engine/window_message.h"
#include "platform/audio/stream_description.h"
#include "platform/thread_priority.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>

namespace lumetra::engine {

using platform::audio::kWaveOk;
using platform::audio::WaveFormat;
using platform::audio::WaveHeader;
using platform::audio::WaveOutDevice;

namespace {

void CopyText(char* dst, std::size_t size, const char* src)
{
    std::size_t n = strnlen(src, size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

bool IsMciType(int32_t type)
{
    return type == MEDIA_CDTRACK || type == MEDIA_MIDI || type == MEDIA_WAVE || type == MEDIA_ASF;
}

// Peak of every 32nd sample, the meter's 0..8192 scale.
int32_t BufferLevel(const WaveHeader& h)
{
    const auto* samples = reinterpret_cast<const int16_t*>(h.data);
    std::size_t count = h.bufferLength / 2;
    int32_t peak = 0;
    for (std::size_t i = 0; i < count; i += 32) {
        int32_t v = std::abs(static_cast<int32_t>(samples[i]));
        if (v > peak)
            peak = v;
    }
    return peak / 4;
}

// The sound server's mixers show what plays: the title (else the file name) and
// the performer when known.
void AnnounceToSoundServer(const MediaItem& item)
{
    std::string performer(item.performer, strnlen(item.performer, sizeof item.performer));
    if (performer == "n/a" || performer == "performer n/a")
        performer.clear();
    platform::audio::SetStreamDescription({ItemDisplayName(item, item.path), performer});
}

} // namespace

Engine::Engine(const EngineDependencies& deps)
    : m_lock(deps.lock), m_audio(deps.audio), m_decoder(deps.decoder), m_stream(deps.stream), m_volume(deps.mixer),
      m_item(MakeMediaItem())
{
    m_item.layer = -1;
}

Engine::~Engine()
{
    Shutdown();
}

void Engine::Start()
{
    if (m_bufferThread.joinable())
        return;
    m_threadEnded = false;
    m_bufferThread = std::thread([this] { BufferThreadMain(); });
}

void Engine::Shutdown()
{
    if (m_mci)
        m_mci->CloseAll();
    if (!m_bufferThread.joinable())
        return;
    {
        std::lock_guard lock(m_lock);
        m_decoder.Close();
        if (m_deviceOpen)
            RequestStopLocked();
    }
    auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
    WaitDeviceClosedUntil(deadline);
    m_queue.Post({kMsgThreadQuit, 0, 0});
    bool ended;
    {
        std::unique_lock guard(m_closedMutex);
        ended = m_closed.wait_until(guard, deadline, [this] { return m_threadEnded; });
    }
    // A device that never gives its buffers back must not hold the program open.
    if (ended)
        m_bufferThread.join();
    else
        m_bufferThread.detach();
}

void Engine::SetDeviceNumber(int device)
{
    m_deviceNumber = device;
    if (m_mci)
        m_mci->SetDeviceNumber(device);
}

void Engine::SetMainWindow(WindowMessageTarget* window)
{
    m_mainWindow.store(window);
    if (m_mci)
        m_mci->SetMainWindow(window);
}

void Engine::SetMciSources(MciSources* mci)
{
    m_mci = mci;
    if (m_mci) {
        m_mci->SetDeviceNumber(m_deviceNumber);
        m_mci->SetMainWindow(m_mainWindow.load());
    }
}

// Stops the item's media-control source as opening another item or a full stop
// does: the CD pauses, a WAV/ASF or MIDI device stops and closes.
void Engine::StopMciSourceLocked()
{
    if (!m_mci)
        return;
    if (m_item.mediaType == MEDIA_CDTRACK) {
        m_mci->CdPause();
    } else if (m_item.mciDevice != 0) {
        m_mci->WaveStop(m_item.mciDevice);
        m_mci->WaveClose(m_item.mciDevice);
    }
}

void Engine::RefreshSource(bool position)
{
    std::lock_guard lock(m_lock);
    if (!m_mci || !IsMciType(m_item.mediaType) || m_item.layer == -1)
        return;
    m_level = State() == kStatePlaying ? m_mci->Level(m_item.mediaType) : 0;
    if (!position)
        return;
    int minutes = 0, seconds = 0;
    if (m_item.mediaType == MEDIA_CDTRACK) {
        CdTmsf at = m_mci->CdPosition();
        minutes = at.minutes;
        seconds = at.seconds;
    } else {
        m_mci->WavePosition(m_item.mciDevice, minutes, seconds);
    }
    m_playedPosition = (int64_t{minutes} * 60 + seconds) * 44100;
}

bool Engine::SourceActive()
{
    std::lock_guard lock(m_lock);
    if (!IsMciType(m_item.mediaType))
        return State() == kStatePlaying || m_deviceOpen;
    if (State() != kStatePlaying || !m_mci)
        return false;
    if (m_item.mediaType == MEDIA_CDTRACK)
        return m_mci->CdPlaying();
    return m_mci->DeviceOpen(m_item.mciDevice);
}

void Engine::SetState(PlayerState state)
{
    int32_t old = m_state.exchange(state);
    if (old != state && m_stateObserver)
        m_stateObserver(state);
}

int Engine::OpenCurrent(const char* path, int64_t startPosition)
{
    {
        // Under the lock, as in StopAll: the buffer thread may be decoding.
        std::lock_guard lock(m_lock);
        m_decoder.Close();
        if (m_deviceOpen)
            RequestStopLocked();
    }
    WaitDeviceClosed();

    std::lock_guard lock(m_lock);
    if (IsMciType(m_item.mediaType)) {
        StopMciSourceLocked();
        m_item.layer = -1;
        m_item.isPlaying = 0;
        m_item.mciDevice = 0;
    }
    for (auto& hook : m_openHooks)
        hook();

    m_item.decoderParam = 0;
    m_item.layer = -1;
    m_item.endOfData = 0;
    m_item.endOfQueue = 0;
    m_item.decoderCounter = -1;
    CopyText(m_item.path, sizeof m_item.path, path);
    CopyText(m_item.title, sizeof m_item.title, "n/a");
    CopyText(m_item.performer, sizeof m_item.performer, "n/a");
    m_item.webLink[0] = '\0';

    m_decodePosition = 0;
    m_playedPosition = 0;
    m_outputStarted = false;
    if (State() != kStatePaused)
        SetState(kStateIdle);

    m_item.mediaType = DetectMediaType(m_item.path);
    if (m_item.mediaType != MEDIA_MIDI)
        FillMediaInfo(m_item, m_decoder, m_mci);

    m_level = 0;
    AnnounceToSoundServer(m_item);
    if (m_itemObserver)
        m_itemObserver(m_item);

    const int64_t position = StartMedia(m_item, startPosition, m_decoder, m_mci);
    // Only a start from the beginning can tell that no frame of the file decodes.
    m_decodedAny = position != 0;
    m_decodePosition = position;
    m_playedPosition = position;
    // A MIDI file's length is known once it plays.
    if (m_item.mediaType == MEDIA_MIDI && m_itemObserver)
        m_itemObserver(m_item);
    return 1;
}

void Engine::PlayCurrent()
{
    std::lock_guard lock(m_lock);
    if (IsMciType(m_item.mediaType)) {
        if (m_mci && State() == kStatePaused) {
            if (m_item.mediaType == MEDIA_CDTRACK)
                m_mci->CdResume();
            else
                m_mci->WaveResume(m_item.mciDevice);
        }
        SetState(kStatePlaying);
        ApplyVolume();
        return;
    }
    if (m_item.mediaType != MEDIA_MPEG || m_item.layer == -1)
        return;
    SetState(kStatePlaying);
    if (m_deviceOpen && m_device)
        m_device->Restart();
    m_item.isPlaying = 1;
    FeedOutput();
    ApplyVolume();
}

void Engine::PauseCurrent()
{
    std::lock_guard lock(m_lock);
    if (State() != kStatePlaying)
        return;
    SetState(kStatePaused);
    if (m_item.mediaType == MEDIA_MPEG) {
        m_level = 0;
        PauseDeviceLocked();
    } else if (m_mci && m_item.mediaType == MEDIA_CDTRACK) {
        m_mci->CdPause();
    } else if (m_mci && IsMciType(m_item.mediaType)) {
        m_mci->WavePause(m_item.mciDevice);
    }
}

void Engine::StopAll()
{
    SetState(kStateStopped);
    m_decodePosition = 0;
    m_playedPosition = 0;
    // The decoder is closed under the lock: the buffer thread may be decoding
    // a refill from it right now.
    std::lock_guard lock(m_lock);
    m_decoder.Close();
    // A feed that read the state before the change above may have set playing
    // again on its way out; a play that follows would then take the stopping item
    // for the one to resume.
    SetState(kStateStopped);
    if (m_deviceOpen)
        RequestStopLocked();
    m_item.layer = -1;
    m_item.isPlaying = 0;
    StopMciSourceLocked();
    m_item.mciDevice = 0;
    for (auto& hook : m_stopHooks)
        hook();
    m_level = 0;
}

void Engine::ApplyVolume()
{
    std::lock_guard lock(m_lock);
    m_volume.Apply();
}

void Engine::PauseDeviceLocked()
{
    if (m_device)
        m_device->Pause();
}

void Engine::RequestStopLocked()
{
    m_stopRequest = true;
    if (m_device)
        m_device->Reset();
    // With nothing out, no returning buffer would close the device: close it here.
    if (m_queued < 1)
        CloseAndResetLocked();
}

void Engine::CloseAndResetLocked()
{
    m_stopRequest = false;
    m_outputStarted = false;
    m_playedPosition = 0;
    m_decodePosition = 0;
    CloseDeviceLocked();
    SetState(kStateStopped);
}

void Engine::CloseDeviceLocked()
{
    if (m_device) {
        m_device->Close();
        m_device.reset();
    }
    m_pool.Release();
    {
        std::lock_guard guard(m_closedMutex);
        m_deviceOpen = false;
    }
    m_closed.notify_all();
}

void Engine::WaitDeviceClosed()
{
    std::unique_lock guard(m_closedMutex);
    m_closed.wait(guard, [this] { return !m_deviceOpen; });
}

bool Engine::WaitDeviceClosedUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock guard(m_closedMutex);
    return m_closed.wait_until(guard, deadline, [this] { return !m_deviceOpen; });
}

bool Engine::OpenWaveOutput()
{
    std::lock_guard lock(m_lock);
    int channels = m_item.channels & 0xFFFF;
    WaveFormat format;
    format.formatTag = 1;
    format.channels = static_cast<uint16_t>(channels);
    format.samplesPerSec = static_cast<uint32_t>(m_item.sampleRate);
    format.bitsPerSample = 16;
    format.blockAlign = static_cast<uint16_t>(channels * 2);
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;

    std::time_t started = std::time(nullptr);
    for (;;) {
        if (m_deviceOpen)
            return true;
        if (m_audio.QueryFormat(m_deviceNumber, format) == kWaveOk &&
            m_audio.Open(
                m_deviceNumber, format,
                [this](WaveOutDevice* device, WaveHeader* header) { BufferDone(device, header); },
                m_device) == kWaveOk &&
            m_device) {
            // Enough frame buffers for the three-second queue, allocated once per open.
            int64_t target = static_cast<int64_t>(kQueueSeconds) * m_item.sampleRate;
            int64_t frames = (target + m_item.samplesPerFrame - 1) / m_item.samplesPerFrame;
            m_pool.Allocate(static_cast<std::size_t>(frames + 2), kBlockBytes);
            m_refillAt.store(static_cast<int32_t>((target - m_item.sampleRate * kRefillMs / 1000) / m_item.samplesPerFrame));
            m_returnsPending.store(0);
            m_deviceOpen = true;
            return true;
        }
        m_device.reset();
        if (std::time(nullptr) - started >= 2 || m_abandonDeviceWaits.load())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool Engine::QueueFull() const
{
    return static_cast<int64_t>(m_item.samplesPerFrame) * m_queued >=
           static_cast<int64_t>(kQueueSeconds) * m_item.sampleRate;
}

// One frame into a pooled buffer and out to the device; false when none is free
// or the device refused it.
bool Engine::QueueFrame()
{
    WaveHeader* h = m_pool.Take();
    if (!h)
        return false;
    int32_t spf = m_item.samplesPerFrame;
    uint32_t length = static_cast<uint32_t>((m_item.channels & 0xFFFF) * spf * 2);
    if (m_item.totalSamples >= m_decodePosition + spf) {
        // A decoder that finds no more data leaves silence, not the previous frame.
        std::memset(h->data, 0, length);
        if (m_decoder.DecodeNextFrame(h->data) > 0)
            m_decodedAny = true;
        m_decodePosition += spf;
    } else {
        std::memset(h->data, 0, length);
    }
    h->bufferLength = length;
    h->flags = 0;
    h->loops = 0;
    h->user = m_decodePosition;
    if (m_device->Prepare(h) == kWaveOk && m_device->Write(h) == kWaveOk) {
        ++m_queued;
        return true;
    }
    m_device->Unprepare(h);
    m_pool.Give(h);
    return false;
}

void Engine::FeedOutput()
{
    std::lock_guard lock(m_lock);
    if (!m_outputStarted) {
        if (m_item.layer == -1)
            return;
        int channels = m_item.channels & 0xFFFF;
        if (channels < 1 || channels > 2 || m_item.sampleRate <= 0 || m_item.samplesPerFrame <= 0 ||
            m_item.samplesPerFrame > static_cast<int32_t>(kBlockBytes / 4)) {
            NotPlayableLocked();
            return;
        }
        if (!OpenWaveOutput()) {
            // Given up for a quit, there is no one left to tell.
            if (!m_abandonDeviceWaits.load())
                PostWindowMessage(m_mainWindow.load(), kMsgEngineBox, kBoxDeviceBusy, 0);
            SetState(kStateStopped);
        } else {
            m_outputStarted = true;
        }
        if (m_deviceOpen) {
            ApplyVolume();
            m_device->Pause();
            WaveHeader* priming = m_pool.Priming();
            if (m_device->Prepare(priming) == kWaveOk && m_device->Write(priming) == kWaveOk)
                ++m_queued;
        }
        if (!m_outputStarted)
            return;
    }
    if (State() == kStateStopped || !m_device)
        return;

    bool refused = false;
    while (State() != kStatePaused) {
        if (QueueFull() || m_item.endOfData || m_item.endOfQueue)
            break;
        if (m_item.streamState == 0 || !m_stream.Downloading()) {
            if (m_item.totalSamples < m_decodePosition + m_item.samplesPerFrame) {
                m_item.endOfData = 1;
                m_item.endOfQueue = 1;
                break;
            }
        } else if (m_item.streamReadPos >= m_stream.ReceivedBytes() - kStreamMarginBytes) {
            if (State() == kStatePlaying) {
                SetState(kStatePaused);
                m_level = 0;
                PauseDeviceLocked();
            }
            break;
        }
        if (m_stopRequest)
            break;
        if (!QueueFrame()) {
            refused = true;
            break;
        }
        if (State() == kStateStopped)
            return;
    }

    // A whole queue, or the whole file, and not one frame decoded: nothing will.
    if (!m_decodedAny && m_item.streamState == 0 && (m_item.endOfData || QueueFull())) {
        NotPlayableLocked();
        return;
    }

    if (refused && m_queued < 1) {
        // Nothing is out, so no returning buffer would ever end this item.
        PostWindowMessage(m_mainWindow.load(), kMsgEngineBox, kBoxWaveOutError, 0);
        RequestStopLocked();
        return;
    }

    PlayerState state = State();
    if (state != kStateStopped && state != kStatePaused && (m_item.endOfData || m_item.endOfQueue || QueueFull())) {
        m_device->Restart();
        SetState(kStatePlaying);
    }
}

void Engine::NotPlayableLocked()
{
    if (m_deviceOpen)
        RequestStopLocked();
    m_item.layer = -1;
    m_item.isPlaying = 0;
    m_level = 0;
    SetState(kStateStopped);
    if (m_notPlayableObserver)
        m_notPlayableObserver(m_item);
}

void Engine::BufferDone(WaveOutDevice* device, WaveHeader* header)
{
    // The position and the meter follow every played buffer at once; the buffer
    // itself goes back to the pool later (the buffer thread does not touch it
    // before). A reset hands back buffers that were never heard.
    if (!m_stopRequest.load()) {
        m_playedPosition.store(static_cast<int64_t>(header->user));
        if (State() == kStatePlaying)
            m_level.store(BufferLevel(*header));
    }
    // The buffer thread wakes for the last of the buffers played together, and
    // only once the queue is short of kRefillMs, so it refills in few, larger
    // steps; a stop, the end and an underrun still see every buffer at once.
    int32_t pending = m_returnsPending.fetch_add(1) + 1;
    bool wake = !(device && device->MoreDoneFollow()) &&
                (m_stopRequest.load() || m_queued.load() - pending <= m_refillAt.load());
    m_queue.Post({kMsgBufferDone, reinterpret_cast<intptr_t>(device), reinterpret_cast<intptr_t>(header)}, wake);
}

void Engine::BufferThreadMain()
{
    pthread_setname_np(pthread_self(), "lumetra-buffers");
    platform::SetCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    for (;;) {
        ThreadMessage m = m_queue.Wait();
        if (m.message == kMsgThreadQuit) {
            std::lock_guard guard(m_closedMutex);
            m_threadEnded = true;
            m_closed.notify_all();
            break;
        }
        if (m.message == kMsgBufferDone)
            HandleBufferDone(reinterpret_cast<WaveHeader*>(m.lParam));
    }
}

void Engine::HandleBufferDone(WaveHeader* header)
{
    std::lock_guard lock(m_lock);
    --m_returnsPending;
    if (!m_pool.Owns(header)) {
        PostWindowMessage(m_mainWindow.load(), kMsgEngineBox, kBoxWaveOutError, 0);
        return;
    }
    --m_queued;
    if (m_device)
        m_device->Unprepare(header);
    m_pool.Give(header);

    if (m_queued < 1) {
        m_level = 0;
        if (m_stopRequest) {
            CloseAndResetLocked();
        } else if (m_item.endOfData) {
            CloseAndResetLocked();
            PostWindowMessage(m_mainWindow.load(), kMsgEndOfTrack, 0, 0);
        } else {
            // Underrun: hold the device until three seconds are queued again.
            PauseDeviceLocked();
            if (m_deviceOpen)
                FeedOutput();
        }
    } else if (m_deviceOpen && !m_stopRequest && !m_queue.HasPending(kMsgBufferDone)) {
        // Returned buffers still waiting are counted first, so the queue count is
        // the device's and a decoder slower than real time shows as an underrun.
        FeedOutput();
    }
}

} // namespace lumetra::engine
