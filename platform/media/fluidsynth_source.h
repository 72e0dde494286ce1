#pragma once
// MIDI files rendered by FluidSynth with a General MIDI sound font, at 44100 Hz
// stereo, exactly as its own file renderer does: 64-frame blocks until the
// sequencer has played every track.

#include "platform/media/pcm_source.h"

#include <memory>
#include <string>

namespace lumetra::platform::media {

// LUMETRA_SOUNDFONT when set, else the first General MIDI font installed
// (TimGM6mb first); empty when there is none.
std::string FindSoundFont();

// nullptr with the reason in error for a file that is not a complete MIDI file,
// or when no sound font is installed (error then starts with "no sound font").
std::unique_ptr<PcmSource> OpenMidiSource(const std::string& path, std::string& error);

} // namespace lumetra::platform::media
