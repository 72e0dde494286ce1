#pragma once
// The receiver in the headless front end: the radio commands, the radio and title
// events, and the hooks through which the station directory tunes in.

#include <functional>
#include <optional>
#include <string>

#include "radio/receiver/radio_display.h"

namespace lumetra::engine {
class Engine;
}
namespace lumetra::platform::audio {
class Mixer;
}

namespace lumetra::app {

// The receiver plays through the engine's volume and level and the wave line of mixer.
void RegisterRadioHeadlessCommands(engine::Engine& engine, platform::audio::Mixer& mixer);

// The radio display block the receiver and the station directory share.
radio::RadioDisplay& RadioDisplayBlock();

// Tunes in as opening a station does: any receiver is closed first, the display
// block is cleared and shows name, and a receiver is opened for address. False
// when the receiver could not be created.
bool TuneStation(const std::string& address, const std::string& name);

// Whether a station has started its stream since start-up.
bool StationReceived();
// While a station is received: its `station` and `radio` events, for status.
void EmitRadioStatus();

// Reads a station file (".rdl"): fills the display block's station fields and
// gives the station address, or nothing when the file is not a station file. The
// station directory sets it; until then a station file is reported as an error.
using StationFileReader =
    std::function<std::optional<std::string>(const std::string& path, radio::RadioDisplay& display)>;
void SetStationFileReader(StationFileReader reader);

} // namespace lumetra::app
