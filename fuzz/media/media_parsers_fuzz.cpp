// CUE sheets and MIDI timing over arbitrary bytes: never read outside them, and
// whatever is accepted is consistent.
#include "platform/media/cue_sheet.h"
#include "platform/media/midi_file.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::platform::media;
    std::span<const uint8_t> bytes(data, size);
    CueSheet sheet = ParseCueSheet(bytes);
    if (sheet.ok) {
        for (const CueTrack& t : sheet.tracks) {
            if (t.file < 0 || static_cast<std::size_t>(t.file) >= sheet.files.size() || t.startSector < 0 ||
                t.number < 1 || t.number > 99)
                std::abort();
        }
    }
    MidiTiming timing = ScanMidi(bytes);
    if (timing.ok) {
        if (timing.smf.data() < data || timing.smf.data() + timing.smf.size() > data + size || timing.tempo.empty())
            std::abort();
        volatile int64_t sink = timing.LengthMs() + timing.MsToTick(timing.LengthMs() / 2);
        (void)sink;
    }
    return 0;
}
