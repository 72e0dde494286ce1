#pragma once
// What plays now, for the sound server's volume mixers: the title (or station
// name) and the performer. The Pulse backend names its streams after it and
// renames a stream that is already playing. Thread-safe.

#include <cstdint>
#include <string>

namespace lumetra::platform::audio {

struct StreamDescription {
    std::string name;   // empty: the product name
    std::string artist; // empty: none
};

void SetStreamDescription(StreamDescription description);
StreamDescription CurrentStreamDescription();
// Changes with every SetStreamDescription that changed the text.
uint64_t StreamDescriptionGeneration();

} // namespace lumetra::platform::audio
