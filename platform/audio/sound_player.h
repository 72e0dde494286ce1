#pragma once
// Resource sounds ("IDLE", "copying") and other WAV images played asynchronously
// through the sound system on the wave line, once or looping, at a volume of their
// own on top of the wave and master lines. Starting a sound stops the one playing.

#include "platform/audio/wave_file.h"
#include "platform/audio/wave_out.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

namespace lumetra::platform::audio {

class SoundPlayer {
public:
    explicit SoundPlayer(AudioSystem& system);
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // The wave resource of this name (type "wave"); false when there is none, it
    // is not a playable WAV or no device opens. volume: 0..65535, linear.
    bool PlayResource(std::string_view name, bool loop, uint16_t volume = 65535);
    // A WAV image in memory; the bytes are copied.
    bool Play(std::span<const uint8_t> wav, bool loop, uint16_t volume = 65535);
    void Stop();
    // True from Play until a sound played once has ended, or Stop.
    bool IsPlaying() const;

private:
    struct Session;
    AudioSystem& m_system;
    mutable std::mutex m_mutex; // guards m_session (not its contents)
    std::unique_ptr<Session> m_session;
};

// The process's player of resource sounds, on TheAudioSystem().
SoundPlayer& TheSoundPlayer();

} // namespace lumetra::platform::audio
