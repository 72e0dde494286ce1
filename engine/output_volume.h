#pragma once
// The stored volume and mute flag, applied to the four mixer lines (master, CD,
// MIDI synthesizer, wave output). Callers hold the engine lock.

#include "engine/mixer_access.h"
#include "engine/volume_mapping.h"

#include <array>
#include <cstdint>

namespace lumetra::engine {

class OutputVolume {
public:
    explicit OutputVolume(MixerAccess& mixer);

    uint32_t Volume() const { return m_volume; }
    // Stores v (0..65535) in both halves.
    void SetStoredVolume(int32_t v);
    bool Muted() const { return m_muted; }
    void SetMuted(bool muted) { m_muted = muted; }

    // All four lines to 0 when muted, else to the stored volume.
    void Apply();

    void SetMasterVolume(uint32_t volume);
    void SetCdVolume(uint32_t volume);
    // With a level output, reads the line's meter into it and leaves the volume.
    void SetMidiVolume(uint32_t volume, int32_t* level = nullptr);
    void SetWaveVolume(uint32_t volume, int32_t* level = nullptr);

private:
    struct LineSlot {
        bool found = false;
        LineControls controls;
    };
    LineSlot* Slot(MixerLine line);
    void SetLine(MixerLine line, uint32_t volume);
    void ReadLevel(MixerLine line, int32_t* level);

    MixerAccess& m_mixer;
    uint32_t m_volume = kInitialVolume;
    bool m_muted = false;
    std::array<LineSlot, 4> m_lines;
};

} // namespace lumetra::engine
