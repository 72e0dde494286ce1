#pragma once
// Fake surroundings for a radio session: a settable clock, a socket that records
// what is sent, and a sound device that holds written buffers until played.

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio/wave_out.h"
#include "radio/receiver/datagram.h"
#include "radio/receiver/payload_decoder.h"
#include "radio/receiver/radio_display.h"
#include "radio/receiver/radio_host.h"
#include "radio/receiver/radio_session.h"
#include "radio/receiver/station_address.h"

namespace lumetra::radio::testing {

namespace audio = platform::audio;

struct SentDatagram {
    StationAddress to;
    std::vector<uint8_t> bytes;
    DatagramHeader Header() const { return ParseDatagram(bytes)->header; }
};

// Both halves of the host; the status line and title are read from the session.
class FakeHost : public RadioHost {
public:
    uint32_t tick = 5000;
    int64_t seconds = 1'700'000'000;
    bool socketOpen = false;
    int openError = 0;
    std::vector<SentDatagram> sent;
    std::vector<std::pair<std::string, std::string>> messages; // caption, text
    std::vector<std::function<void()>> tasks;
    int notices = 0;
    int stopsPosted = 0;
    int volumeApplied = 0;
    uint32_t waveVolume = 0xC000C000;
    bool idleSound = false;
    int level = -1;
    bool filter = false;
    bool discard = false;
    std::recursive_mutex lock;

    std::recursive_mutex& PlayerLock() override { return lock; }
    uint32_t WaveVolume() override { return waveVolume; }
    void SetWaveVolume(uint32_t v) override { waveVolume = v; }
    void ApplyVolume() override { ++volumeApplied; }
    void SetLevel(int value) override { level = value; }
    void Notify(std::string_view) override { ++notices; }
    bool RadioFilter() override { return filter; }
    std::string UserId() override { return "listener"; }
    uint32_t TickMs() override { return tick; }
    int64_t NowSeconds() override { return seconds; }
    SocketResult OpenSocket(bool) override
    {
        socketOpen = openError == 0;
        return socketOpen ? SocketResult::Done() : SocketResult::Failed(openError);
    }
    void CloseSocket() override { socketOpen = false; }
    bool SocketOpen() const override { return socketOpen; }
    SocketResult SendDatagram(const StationAddress& to, std::span<const uint8_t> bytes) override
    {
        sent.push_back({to, {bytes.begin(), bytes.end()}});
        return SocketResult::Done();
    }
    SocketResult JoinGroup(std::string_view) override { return SocketResult::Done(); }
    SocketResult LeaveGroup(std::string_view) override { return SocketResult::Done(); }
    void ShowMessage(const std::string& caption, const std::string& text) override
    {
        messages.emplace_back(caption, text);
    }
    void PostStop() override { ++stopsPosted; }
    void PostFromDevice(std::function<void()> task) override { tasks.push_back(std::move(task)); }
    void StartIdleSound() override { idleSound = true; }
    void StopIdleSound() override { idleSound = false; }
    bool DiscardKeyHeld() override { return discard; }

    void RunTasks()
    {
        auto pending = std::move(tasks);
        tasks.clear();
        for (auto& t : pending)
            t();
    }
    std::vector<SentDatagram> SentOfKind(uint16_t kind, int length = -1) const
    {
        std::vector<SentDatagram> out;
        for (auto& d : sent)
            if (d.Header().kind == kind && (length < 0 || d.Header().length == length))
                out.push_back(d);
        return out;
    }
};

// A device that keeps written buffers until Play hands them back.
class FakeDevice : public audio::WaveOutDevice {
public:
    FakeDevice(audio::WaveFormat format, audio::DoneCallback done, FakeDevice** owner)
        : m_format(format), m_done(std::move(done)), m_owner(owner)
    {
    }
    ~FakeDevice() override
    {
        if (*m_owner == this)
            *m_owner = nullptr;
    }
    int Prepare(audio::WaveHeader*) override { return audio::kWaveOk; }
    int Unprepare(audio::WaveHeader*) override { return audio::kWaveOk; }
    int Write(audio::WaveHeader* h) override
    {
        queue.push_back(h);
        return audio::kWaveOk;
    }
    int Pause() override
    {
        paused = true;
        return audio::kWaveOk;
    }
    int Restart() override
    {
        paused = false;
        return audio::kWaveOk;
    }
    int Reset() override
    {
        while (!queue.empty())
            ReturnFront();
        return audio::kWaveOk;
    }
    int Close() override { return audio::kWaveOk; }
    uint64_t PositionSamples() override { return 0; }
    const audio::WaveFormat& Format() const override { return m_format; }

    // Plays n buffers (all when n < 0), recording their user fields.
    void Play(int n = -1)
    {
        while (!queue.empty() && n-- != 0) {
            auto* h = queue.front();
            users.push_back(h->user);
            ReturnFront();
        }
    }

    std::deque<audio::WaveHeader*> queue;
    std::vector<intptr_t> users;
    bool paused = false;

private:
    void ReturnFront()
    {
        auto* h = queue.front();
        queue.pop_front();
        h->flags |= audio::kWhdrDone;
        m_done(this, h);
    }
    audio::WaveFormat m_format;
    audio::DoneCallback m_done;
    FakeDevice** m_owner;
};

class FakeAudio : public audio::AudioSystem {
public:
    std::vector<uint32_t> refusedRates;
    FakeDevice* device = nullptr; // the open device, nullptr once it is gone

    int DeviceCount() override { return 1; }
    int GetCaps(int, audio::DeviceCaps&) override { return audio::kWaveOk; }
    int QueryFormat(int, const audio::WaveFormat& f) override
    {
        for (auto r : refusedRates)
            if (r == f.samplesPerSec)
                return audio::kWaveBadFormat;
        return audio::kWaveOk;
    }
    int OpenOnLine(int, const audio::WaveFormat& f, audio::MixerLine, audio::DoneCallback done,
                   std::unique_ptr<audio::WaveOutDevice>& out) override
    {
        auto d = std::make_unique<FakeDevice>(f, std::move(done), &device);
        device = d.get();
        out = std::move(d);
        return audio::kWaveOk;
    }
    std::string BackendName() const override { return "fake"; }
    audio::Mixer& LineMixer() override { return mixer; }
    audio::Mixer mixer;
};

// Every sample of a datagram's frame is its payload's first byte.
class TaggingDecoder : public PayloadDecoder {
public:
    int calls = 0;
    void Decode(std::span<const uint8_t> payload, bool, std::span<uint8_t, kSamplesPerDatagram> out) override
    {
        ++calls;
        std::fill(out.begin(), out.end(), payload.empty() ? 0 : payload[0]);
    }
};

inline std::vector<uint8_t> MakeDatagram(uint32_t seq, uint32_t stream, uint16_t kind, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> out(kHeaderBytes + payload.size());
    PutHeader(out.data(), {seq, stream, kind, uint16_t(payload.size())});
    std::copy(payload.begin(), payload.end(), out.begin() + kHeaderBytes);
    return out;
}

inline std::vector<uint8_t> MakeText(uint32_t seq, uint32_t stream, uint16_t kind,
                                     std::initializer_list<std::string> words)
{
    std::vector<uint8_t> payload;
    for (auto& w : words) {
        payload.insert(payload.end(), w.begin(), w.end());
        payload.push_back(0);
    }
    return MakeDatagram(seq, stream, kind, payload);
}

inline constexpr uint32_t kStationIp = 0x7F000001;
inline constexpr uint16_t kStationPort = 4000;
inline constexpr uint32_t kStream = 0xABCD1234;
inline constexpr uint16_t kKind8000 = kKindText;                             // rate code 0, coded 8000
inline constexpr uint16_t kKind22050 = kKindText | 0x0100 | kKindNativeRate; // coded 22050

// A session on fake surroundings, connected to 127.0.0.1:4000.
struct SessionRig {
    FakeHost host;
    FakeAudio audio;
    TaggingDecoder decoder;
    RadioDisplay display{};
    RadioSession session{host, decoder, audio, display};

    explicit SessionRig(int openError = 0)
    {
        host.openError = openError;
        session.Connect("127.0.0.1:4000");
    }
    // The status line as "text|flags".
    std::string Status() const { return std::string(display.statusText) + "|" + std::string(display.statusFlags, 2); }
    const std::string& Title() { return session.Status().Title(); }
    void Receive(const std::vector<uint8_t>& bytes, uint16_t port = kStationPort)
    {
        session.OnDatagram(bytes, kStationIp, port);
    }
    void Start(uint32_t seq, uint16_t kind = kKind8000, const std::string& name = "Test FM")
    {
        Receive(MakeText(seq, kStream, kind, {"STARTSEQ", name, "song"}));
    }
    void Audio(uint32_t seq, uint8_t tag = 0)
    {
        uint8_t payload[8] = {tag, 1, 2, 3, 4, 5, 6, 7};
        Receive(MakeDatagram(seq, kStream, kKindAudio, payload));
    }
    // Plays n buffers and delivers their done notices.
    void Play(int n = -1)
    {
        audio.device->Play(n);
        host.RunTasks();
    }
    void Tick(uint32_t ms)
    {
        host.tick += ms;
        session.TimerTick();
    }
};

} // namespace lumetra::radio::testing
