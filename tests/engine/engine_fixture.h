#pragma once
// An engine over the fake sound system and decoder and the process mixer, with a main window that
// counts end-of-track notices and a presenter that keeps message boxes.

#include "engine/engine.h"
#include "engine/window_message.h"
#include "fake_audio.h"
#include "fake_decoder.h"
#include "engine/mixer_access.h"
#include "platform/dialogs/message_box.h"

#include "platform/loop/poll_main_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace lumetra::engine::testing {

class NoticeCounter : public WindowMessageTarget {
public:
    std::atomic<int> endNotices{0};

    void HandleWindowMessage(int message, intptr_t wParam, intptr_t) override
    {
        if (message == kMsgEndOfTrack && wParam == 0)
            ++endNotices;
        if (message == kMsgEngineBox)
            ShowEngineBox(wParam);
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::InstallMainLoop(&m_loop);
        m_dir =
            std::filesystem::temp_directory_path() / ("lumetra-engine-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        platform::SetMessageBoxPresenter([this](const platform::MessageBoxRequest& r) {
            std::lock_guard g(m_messageLock);
            m_messages.push_back(r.caption + ": " + r.text);
            return platform::kAnswerOk;
        });
    }

    void TearDown() override
    {
        m_engine.reset();
        platform::SetMessageBoxPresenter(nullptr);
        platform::InstallMainLoop(nullptr);
        std::filesystem::remove_all(m_dir);
    }

    Engine& MakeEngine()
    {
        m_engine = std::make_unique<Engine>(EngineDependencies{audio, decoder, DefaultMixerAccess(), stream, lock});
        m_engine->SetMainWindow(&window);
        m_engine->Start();
        return *m_engine;
    }

    // A file that looks like MPEG audio to the type detection, played as track.
    std::string Track(const std::string& name, const FakeTrack& track)
    {
        std::string path = (m_dir / name).string();
        std::ofstream out(path, std::ios::binary);
        std::string bytes(2000, '\0');
        bytes[0] = '\xFF';
        bytes[1] = '\xFB';
        out << bytes;
        decoder.Describe(path, track);
        return path;
    }

    // A fresh engine with the track opened and started.
    Engine& Open(const std::string& name, const FakeTrack& track)
    {
        Engine& engine = MakeEngine();
        engine.OpenCurrent(Track(name, track).c_str(), 0);
        engine.PlayCurrent();
        return engine;
    }

    // Runs the event loop until the end notice, then lets a second one arrive.
    bool WaitForEnd()
    {
        bool ended = WaitFor([&] { return window.endNotices > 0; });
        Settle();
        return ended;
    }

    // What a device plays for frames [first, last) of track, after the priming buffer.
    static std::vector<uint8_t> Expected(const FakeTrack& t, int32_t first, int32_t last)
    {
        std::vector<uint8_t> bytes(1024, 0);
        for (int32_t f = first; f < last; ++f) {
            for (int32_t i = 0; i < t.samplesPerFrame * t.channels; ++i) {
                int16_t s = FakeSample(f, i);
                bytes.push_back(static_cast<uint8_t>(s & 0xFF));
                bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
            }
        }
        return bytes;
    }

    // Runs the event loop until pred holds (false after a minute: a hang); with
    // audio.clock set, the last device plays a few buffers each time round.
    template <typename Pred>
    bool WaitFor(Pred pred)
    {
        for (int i = 0; i < 60000; ++i) {
            if (audio.clock)
                audio.PlayOnLast(4);
            m_loop.ProcessEvents(0);
            if (pred())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // Lets queued notices arrive, so a second one would be counted.
    void Settle()
    {
        for (int i = 0; i < 50; ++i) {
            m_loop.ProcessEvents(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::vector<std::string> Messages()
    {
        m_loop.ProcessEvents(0);
        std::lock_guard g(m_messageLock);
        return m_messages;
    }

    EventLog log;
    FakeAudio audio{log};
    FakeDecoder decoder{log};
    StreamProgress stream;
    std::recursive_mutex lock;
    platform::PollMainLoop m_loop;
    NoticeCounter window;

private:
    std::filesystem::path m_dir;
    std::mutex m_messageLock;
    std::vector<std::string> m_messages;
    std::unique_ptr<Engine> m_engine;
};

} // namespace lumetra::engine::testing
