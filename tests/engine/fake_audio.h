#pragma once
// A sound system for engine tests: devices that keep written buffers in order,
// give them back on demand or from their own clock, record what they played and
// log every call with the number of buffers outstanding.

#include "platform/audio/wave_out.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumetra::engine::testing {

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
    // Index of the first entry equal to text at or after from, -1 when none.
    int Find(const std::string& text, int from = 0)
    {
        auto entries = Entries();
        for (int i = from; i < static_cast<int>(entries.size()); ++i) {
            if (entries[static_cast<std::size_t>(i)] == text)
                return i;
        }
        return -1;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_entries;
};

class FakeDevice final : public platform::audio::WaveOutDevice {
public:
    FakeDevice(const platform::audio::WaveFormat& format, platform::audio::DoneCallback done, EventLog& log, bool clock,
               bool refuseWrites, bool drainOnWrite, std::shared_ptr<std::vector<uint8_t>> recording)
        : m_format(format), m_done(std::move(done)), m_log(log), m_refuseWrites(refuseWrites),
          m_drainOnWrite(drainOnWrite), m_played(std::move(recording))
    {
        if (clock)
            m_clock = std::thread([this] { ClockMain(); });
    }
    std::function<void()> onDestroy;

    ~FakeDevice() override
    {
        if (onDestroy)
            onDestroy();
        {
            std::lock_guard g(m_lock);
            m_ending = true;
        }
        m_wake.notify_all();
        if (m_clock.joinable())
            m_clock.join();
    }

    int Prepare(platform::audio::WaveHeader* h) override
    {
        h->flags |= platform::audio::kWhdrPrepared;
        return platform::audio::kWaveOk;
    }
    int Unprepare(platform::audio::WaveHeader* h) override
    {
        h->flags &= ~platform::audio::kWhdrPrepared;
        return platform::audio::kWaveOk;
    }
    int Write(platform::audio::WaveHeader* h) override
    {
        if (m_refuseWrites)
            return platform::audio::kWaveError;
        {
            std::lock_guard g(m_lock);
            m_queue.push_back(h);
        }
        m_wake.notify_all();
        if (m_drainOnWrite)
            PlayBuffers(1 << 20);
        return platform::audio::kWaveOk;
    }
    int Pause() override
    {
        std::lock_guard g(m_lock);
        m_paused = true;
        m_log.Add("pause " + std::to_string(m_queue.size()));
        return platform::audio::kWaveOk;
    }
    int Restart() override
    {
        {
            std::lock_guard g(m_lock);
            if (m_paused)
                m_log.Add("restart " + std::to_string(m_queue.size()));
            m_paused = false;
        }
        m_wake.notify_all();
        return platform::audio::kWaveOk;
    }
    int Reset() override
    {
        std::deque<platform::audio::WaveHeader*> returned;
        {
            std::lock_guard g(m_lock);
            m_log.Add("reset");
            returned.swap(m_queue);
        }
        for (auto* h : returned)
            m_done(this, h);
        return platform::audio::kWaveOk;
    }
    int Close() override
    {
        std::lock_guard g(m_lock);
        if (!m_queue.empty()) {
            m_log.Add("close refused");
            return platform::audio::kWaveStillPlaying;
        }
        m_log.Add("close");
        return platform::audio::kWaveOk;
    }
    uint64_t PositionSamples() override { return 0; }
    const platform::audio::WaveFormat& Format() const override { return m_format; }

    // Plays up to n buffers now (as if that much time had passed), if running.
    void PlayBuffers(int n)
    {
        for (int i = 0; i < n; ++i) {
            platform::audio::WaveHeader* h = nullptr;
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
    std::size_t Outstanding()
    {
        std::lock_guard g(m_lock);
        return m_queue.size();
    }

private:
    void ClockMain()
    {
        std::unique_lock g(m_lock);
        while (!m_ending) {
            if (m_paused || m_queue.empty()) {
                m_wake.wait(g);
                continue;
            }
            g.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            PlayBuffers(1);
            g.lock();
        }
    }

    platform::audio::WaveFormat m_format;
    platform::audio::DoneCallback m_done;
    EventLog& m_log;
    bool m_refuseWrites;
    bool m_drainOnWrite;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<platform::audio::WaveHeader*> m_queue;
    std::shared_ptr<std::vector<uint8_t>> m_played;
    bool m_paused = false;
    bool m_ending = false;
    std::thread m_clock;
};

class FakeAudio final : public platform::audio::AudioSystem {
public:
    explicit FakeAudio(EventLog& log) : m_log(log) {}

    bool clock = true;         // devices play on their own
    bool refuseFormat = false; // every format query fails (device busy)
    bool refuseWrites = false;
    bool drainOnWrite = false; // a running device plays everything as soon as it gets it
    std::vector<platform::audio::DeviceCaps> devices{platform::audio::DeviceCaps{"fake", 1, 2, 3, 0x10, 2}};

    int DeviceCount() override { return static_cast<int>(devices.size()); }
    int GetCaps(int device, platform::audio::DeviceCaps& caps) override
    {
        caps = devices.at(static_cast<std::size_t>(device));
        return platform::audio::kWaveOk;
    }
    int QueryFormat(int, const platform::audio::WaveFormat&) override
    {
        ++queries;
        return refuseFormat ? platform::audio::kWaveAllocated : platform::audio::kWaveOk;
    }
    int OpenOnLine(int, const platform::audio::WaveFormat& format, platform::audio::MixerLine,
                   platform::audio::DoneCallback done, std::unique_ptr<platform::audio::WaveOutDevice>& out) override
    {
        auto recording = std::make_shared<std::vector<uint8_t>>();
        auto device =
            std::make_unique<FakeDevice>(format, std::move(done), m_log, clock, refuseWrites, drainOnWrite, recording);
        FakeDevice* raw = device.get();
        device->onDestroy = [this, raw] {
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
        return platform::audio::kWaveOk;
    }
    std::string BackendName() const override { return "fake"; }
    platform::audio::Mixer& LineMixer() override { return m_mixer; }

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

    std::atomic<int> queries{0};
    std::atomic<int> opened{0};

private:
    EventLog& m_log;
    platform::audio::Mixer m_mixer;
    std::mutex m_lock;
    FakeDevice* m_last = nullptr;
    std::vector<std::shared_ptr<std::vector<uint8_t>>> m_recordings;
};

} // namespace lumetra::engine::testing
