#include "platform/media/fluidsynth_source.h"
#include "platform/media/midi_file.h"

#include <fluidsynth.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace lumetra::platform::media {
namespace {

constexpr long kMaxMidiBytes = 16 * 1024 * 1024;
constexpr int kBlockFrames = 64; // FluidSynth's own period

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    if (size < 0 || size > kMaxMidiBytes || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        error = size > kMaxMidiBytes ? path + " is too large for a MIDI file" : "cannot read " + path;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t n = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    bytes.resize(n);
    return true;
}

class MidiSource final : public PcmSource {
public:
    ~MidiSource() override
    {
        if (m_player) {
            fluid_player_stop(m_player);
            delete_fluid_player(m_player);
        }
        if (m_synth)
            delete_fluid_synth(m_synth);
        if (m_settings)
            delete_fluid_settings(m_settings);
    }

    bool Open(std::vector<uint8_t> bytes, MidiTiming timing, const std::string& font, std::string& error)
    {
        m_bytes = std::move(bytes);
        m_timing = std::move(timing);
        m_settings = new_fluid_settings();
        if (!m_settings) {
            error = "FluidSynth cannot start";
            return false;
        }
        fluid_settings_setnum(m_settings, "synth.sample-rate", kSourceRate);
        fluid_settings_setint(m_settings, "synth.threadsafe-api", 0);
        // Only the samples of the presets the file uses are loaded, when it selects them.
        fluid_settings_setint(m_settings, "synth.dynamic-sample-loading", 1);
        m_synth = new_fluid_synth(m_settings);
        if (!m_synth || fluid_synth_sfload(m_synth, font.c_str(), 1) == FLUID_FAILED) {
            error = "FluidSynth cannot load the sound font " + font;
            return false;
        }
        // Reading the font leaves megabytes of freed parser tables in this thread's
        // heap, which the render thread (another arena) would never reuse: hand them back.
        malloc_trim(0);
        m_length = m_timing.LengthMs();
        return Restart(0, error);
    }

    int64_t LengthMs() const override { return m_length; }

    bool SeekMs(int64_t ms) override
    {
        std::string error;
        return Restart(ms, error);
    }

    int Read(int16_t* out, int frames) override
    {
        int written = 0;
        while (frames - written >= kBlockFrames && fluid_player_get_status(m_player) == FLUID_PLAYER_PLAYING) {
            int16_t* at = out + written * kSourceChannels;
            fluid_synth_write_s16(m_synth, kBlockFrames, at, 0, 2, at, 1, 2);
            written += kBlockFrames;
        }
        return written;
    }

private:
    // A fresh sequencer over the file, started at ms; sound still ringing from
    // an earlier position is cut.
    bool Restart(int64_t ms, std::string& error)
    {
        if (m_player) {
            fluid_player_stop(m_player);
            delete_fluid_player(m_player);
            m_player = nullptr;
            fluid_synth_system_reset(m_synth);
        }
        m_player = new_fluid_player(m_synth);
        if (!m_player || fluid_player_add_mem(m_player, m_timing.smf.data(), m_timing.smf.size()) != FLUID_OK ||
            fluid_player_play(m_player) != FLUID_OK) {
            error = "FluidSynth cannot play the file";
            return false;
        }
        if (ms > 0)
            fluid_player_seek(m_player, static_cast<int>(m_timing.MsToTick(ms)));
        return true;
    }

    std::vector<uint8_t> m_bytes;
    MidiTiming m_timing;
    int64_t m_length = 0;
    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    fluid_player_t* m_player = nullptr;
};

void PrepareFluidSynth()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, nullptr, nullptr);
    // The synthesizer renders into our buffers and never opens a sound driver; only
    // the file driver's settings are made, not those of the device drivers (which
    // look for devices and their libraries' state when settings are created).
    static const char* drivers[] = {"file", nullptr};
    fluid_audio_driver_register(drivers);
}

} // namespace

std::string FindSoundFont()
{
    if (const char* chosen = std::getenv("LUMETRA_SOUNDFONT"))
        return Exists(chosen) ? chosen : "";
    for (const char* path : {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
                             "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/default.sf2"}) {
        if (Exists(path))
            return path;
    }
    return "";
}

std::unique_ptr<PcmSource> OpenMidiSource(const std::string& path, std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error))
        return nullptr;
    MidiTiming timing = ScanMidi(bytes);
    if (!timing.ok) {
        error = path + ": " + timing.error;
        return nullptr;
    }
    std::string font = FindSoundFont();
    if (font.empty()) {
        error = "no sound font is installed for MIDI (install timgm6mb-soundfont)";
        return nullptr;
    }
    PrepareFluidSynth();
    auto source = std::make_unique<MidiSource>();
    // The timing's view of the file moves with the bytes' buffer.
    if (!source->Open(std::move(bytes), std::move(timing), font, error))
        return nullptr;
    return source;
}

} // namespace lumetra::platform::media
