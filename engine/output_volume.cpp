#include "engine/output_volume.h"
#include "engine/random_draw.h"

#include <algorithm>

namespace lumetra::engine {

OutputVolume::OutputVolume(MixerAccess& mixer) : m_mixer(mixer) {}

void OutputVolume::SetStoredVolume(int32_t v)
{
    uint32_t half = static_cast<uint32_t>(std::clamp(v, 0, 65535));
    m_volume = half | (half << 16);
}

void OutputVolume::Apply()
{
    uint32_t volume = m_muted ? 0 : m_volume;
    SetMasterVolume(volume);
    SetCdVolume(volume);
    SetMidiVolume(volume);
    SetWaveVolume(volume);
}

OutputVolume::LineSlot* OutputVolume::Slot(MixerLine line)
{
    LineSlot& slot = m_lines[static_cast<std::size_t>(line)];
    if (!slot.found)
        slot.found = m_mixer.FindLine(line, slot.controls);
    return slot.found ? &slot : nullptr;
}

void OutputVolume::SetLine(MixerLine line, uint32_t volume)
{
    if (LineSlot* slot = Slot(line))
        m_mixer.SetVolumeValue(line, VolumeToControlValue(slot->controls.volume, line, volume));
}

void OutputVolume::ReadLevel(MixerLine line, int32_t* level)
{
    LineSlot* slot = Slot(line);
    if (!slot || !slot->controls.hasMeter)
        return;
    int32_t reading = m_mixer.ReadMeter(line);
    int draw = (line == MixerLine::Midi && *level != 0 && reading == 0) ? RandomDraw() : 0;
    *level = LevelFromMeter(reading, slot->controls.meter.isSigned, line, *level, draw);
}

void OutputVolume::SetMasterVolume(uint32_t volume)
{
    SetLine(MixerLine::Master, volume);
}

void OutputVolume::SetCdVolume(uint32_t volume)
{
    SetLine(MixerLine::Cd, volume);
}

void OutputVolume::SetMidiVolume(uint32_t volume, int32_t* level)
{
    if (level)
        ReadLevel(MixerLine::Midi, level);
    else
        SetLine(MixerLine::Midi, volume);
}

void OutputVolume::SetWaveVolume(uint32_t volume, int32_t* level)
{
    if (level)
        ReadLevel(MixerLine::Wave, level);
    else
        SetLine(MixerLine::Wave, volume);
}

} // namespace lumetra::engine
