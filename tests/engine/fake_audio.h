#pragma once
// A sound system for engine tests: devices that keep written buffers in order,
// give them back when the test plays them, record what they played and log every
// call with the number of buffers outstanding.

#include "platform/audio/wave_out.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumetra::engine::testing {

namespace pa = platform::audio;

class EventLog {
public:
    void Add(std::string entry)
    {
        std::lock_guard g(m_lock);
        m_entries.push_back(std::move(entry));
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard g(m_lock);
        return m_entries;
    }
    // Index of the first entry equal to text, -1 when none.
    int Find(const std::string& text)
    {
        auto entries = Entries();
        auto it = std::find(entries.begin(), entries.end(), text);
        return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
    }
    int Count(const std::string& text)
    {
        auto entries = Entries();
        return static_cast<int>(std::count(entries.begin(), entries.end(), text));
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_entries;
};

struct DeviceBehaviour {
    bool clock = true; // the fixture's waits play the last device as time passes
    bool refuseWrites = false;
    bool drainOnWrite = false; // a running device plays everything as soon as it gets it
};

class FakeDevice final : public pa::WaveOutDevice {
public:
    FakeDevice(const pa::WaveFormat& format, pa::DoneCallback done, EventLog& log, DeviceBehaviour behaviour,
               std::shared_ptr<std::vector<uint8_t>> recording)
        : m_format(format), m_done(std::move(done)), m_log(log), m_behaviour(behaviour), m_played(std::move(recording))
    {
    }
    std::function<void()> onDestroy;

    ~FakeDevice() override
    {
        if (onDestroy)
            onDestroy();
    }

    int Prepare(pa::WaveHeader* h) override
    {
        h->flags |= pa::kWhdrPrepared;
        return pa::kWaveOk;
    }
    int Unprepare(pa::WaveHeader* h) override
    {
        h->flags &= ~pa::kWhdrPrepared;
        return pa::kWaveOk;
    }
    int Write(pa::WaveHeader* h) override
    {
        if (m_behaviour.refuseWrites)
            return pa::kWaveError;
        {
            std::lock_guard g(m_lock);
            m_queue.push_back(h);
        }
        if (m_behaviour.drainOnWrite)
            PlayBuffers(1 << 20);
        return pa::kWaveOk;
    }
    int Pause() override
    {
        std::lock_guard g(m_lock);
        m_paused = true;
        m_log.Add("pause " + std::to_string(m_queue.size()));
        return pa::kWaveOk;
    }
    int Restart() override
    {
        {
            std::lock_guard g(m_lock);
            if (m_paused)
                m_log.Add("restart " + std::to_string(m_queue.size()));
            m_paused = false;
        }
        // A running device plays on by itself: what queued during the pause
        // must not wait for a write that may never come (the last one may be in).
        if (m_behaviour.drainOnWrite)
            PlayBuffers(1 << 20);
        return pa::kWaveOk;
    }
    int Reset() override
    {
        std::deque<pa::WaveHeader*> returned;
        {
            std::lock_guard g(m_lock);
            m_log.Add("reset");
            returned.swap(m_queue);
        }
        for (auto* h : returned)
            m_done(this, h);
        return pa::kWaveOk;
    }
    int Close() override
    {
        std::lock_guard g(m_lock);
        m_log.Add(m_queue.empty() ? "close" : "close refused");
        return m_queue.empty() ? pa::kWaveOk : pa::kWaveStillPlaying;
    }
    uint64_t PositionSamples() override { return 0; }
    const pa::WaveFormat& Format() const override { return m_format; }

    // Plays up to n buffers now (as if that much time had passed), if running.
    void PlayBuffers(int n)
    {
        for (int i = 0; i < n; ++i) {
            pa::WaveHeader* h = nullptr;
            {
                std::lock_guard g(m_lock);
                if (m_paused || m_queue.empty())
                    return;
                h = m_queue.front();
                m_queue.pop_front();
                m_played->insert(m_played->end(), h->data, h->data + h->bufferLength);
            }
            m_done(this, h);
        }
    }

private:
    pa::WaveFormat m_format;
    pa::DoneCallback m_done;
    EventLog& m_log;
    DeviceBehaviour m_behaviour;
    std::mutex m_lock;
    std::deque<pa::WaveHeader*> m_queue;
    std::shared_ptr<std::vector<uint8_t>> m_played;
    bool m_paused = false;
};

class FakeAudio final : public pa::AudioSystem, public DeviceBehaviour {
public:
    explicit FakeAudio(EventLog& log) : m_log(log) {}

    bool refuseFormat = false; // every format query fails (device busy)
    std::vector<pa::DeviceCaps> devices{pa::DeviceCaps{"fake", 1, 2, 3, 0x10, 2}};
    std::atomic<int> queries{0};
    std::atomic<int> opened{0};

    int DeviceCount() override { return static_cast<int>(devices.size()); }
    int GetCaps(int device, pa::DeviceCaps& caps) override
    {
        caps = devices.at(static_cast<std::size_t>(device));
        return pa::kWaveOk;
    }
    int QueryFormat(int device, const pa::WaveFormat&) override
    {
        ++queries;
        if (device < 0 || device >= DeviceCount())
            return pa::kWaveBadDeviceId;
        return refuseFormat ? pa::kWaveAllocated : pa::kWaveOk;
    }
    int OpenOnLine(int, const pa::WaveFormat& format, pa::MixerLine, pa::DoneCallback done,
                   std::unique_ptr<pa::WaveOutDevice>& out) override
    {
        auto recording = std::make_shared<std::vector<uint8_t>>();
        auto device = std::make_unique<FakeDevice>(format, std::move(done), m_log, *this, recording);
        device->onDestroy = [this, raw = device.get()] {
            std::lock_guard g(m_lock);
            if (m_last == raw)
                m_last = nullptr;
        };
        {
            std::lock_guard g(m_lock);
            m_recordings.push_back(recording);
            m_last = device.get();
            ++opened;
        }
        m_log.Add("open " + std::to_string(format.samplesPerSec) + " " + std::to_string(format.channels));
        out = std::move(device);
        return pa::kWaveOk;
    }
    std::string BackendName() const override { return "fake"; }
    pa::Mixer& LineMixer() override { return m_mixer; }

    // The device opened last while it is open (use only while it cannot close).
    FakeDevice* LastDevice()
    {
        std::lock_guard g(m_lock);
        return m_last;
    }
    // Plays n buffers of the device opened last, if it is still open.
    void PlayOnLast(int n)
    {
        std::lock_guard g(m_lock);
        if (m_last)
            m_last->PlayBuffers(n);
    }
    // What the n-th opened device played; read it once that device is closed.
    std::vector<uint8_t> Recording(std::size_t n)
    {
        std::lock_guard g(m_lock);
        return *m_recordings.at(n);
    }

private:
    EventLog& m_log;
    pa::Mixer m_mixer;
    std::mutex m_lock;
    FakeDevice* m_last = nullptr;
    std::vector<std::shared_ptr<std::vector<uint8_t>>> m_recordings;
};

} // namespace lumetra::engine::testing
