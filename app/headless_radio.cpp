#include "app/headless_radio.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/command_line.h"
#include "app/event_text.h"
#include "app/headless.h"
#include "engine/engine.h"
#include "platform/audio/mixer.h"
#include "platform/audio/stream_description.h"
#include "radio/receiver/radio_protocol.h"
#include "radio/receiver/receiver.h"
#include "settings/settings.h"

namespace lumetra::app {
namespace {

struct RadioFrontEnd {
    engine::Engine* engine = nullptr;
    platform::audio::Mixer* mixer = nullptr;
    radio::RadioDisplay display{};
    std::string lastStatus;
    StationFileReader stationFiles;
    bool received = false; // a station has started its stream since start-up
};

RadioFrontEnd& Front()
{
    static RadioFrontEnd front;
    return front;
}

// The text of the `radio` event: the status text and its flags.
std::string StatusText()
{
    const radio::RadioDisplay& d = Front().display;
    std::string line = AnsiToUtf8(std::string_view(d.statusText, strnlen(d.statusText, sizeof d.statusText)));
    if (d.statusFlags[0])
        line += " " + AnsiToUtf8(std::string_view(d.statusFlags, d.statusFlags[1] ? 2 : 1));
    return line;
}

void NoteReception()
{
    radio::Receiver* receiver = radio::CurrentReceiver();
    if (receiver && !receiver->Closed() && receiver->Session().Protocol().State().phase == radio::LogonPhase::Receiving)
        Front().received = true;
}

void EmitStatusIfChanged()
{
    NoteReception();
    // The sound server's mixers name the radio's stream after the station.
    const radio::RadioDisplay& d = Front().display;
    if (d.stationName[0])
        platform::audio::SetStreamDescription(
            {std::string(d.stationName, strnlen(d.stationName, sizeof d.stationName)), ""});
    std::string line = StatusText();
    if (line == Front().lastStatus)
        return;
    Front().lastStatus = line;
    EmitEvent("radio", line);
}

// The player's half of the receiver's host: the engine's lock, volume and level,
// the mixer's wave line, the settings, and the headless events.
class FrontEndReceiver final : public radio::Receiver {
public:
    FrontEndReceiver(radio::RadioDisplay& display, engine::Engine& engine, platform::audio::Mixer& mixer)
        : Receiver(display, engine.Lock()), m_engine(engine), m_mixer(mixer)
    {
    }

    uint32_t WaveVolume() override
    {
        uint32_t v = uint32_t(m_mixer.VolumeValue(platform::audio::MixerLine::Wave)) & 0xFFFF;
        return v | v << 16;
    }
    void SetWaveVolume(uint32_t v) override
    {
        m_mixer.SetVolumeValue(platform::audio::MixerLine::Wave, int32_t(v & 0xFFFF));
    }
    void ApplyVolume() override { m_engine.ApplyVolume(); }
    void SetLevel(int level) override { m_engine.SetLevel(level); }
    bool RadioFilter() override { return settings::CurrentSettings().radioFilter != 0; }
    void Notify(std::string_view notice) override
    {
        if (notice == "UpdateInfo")
            EmitStatusIfChanged();
    }
    void SetTitle(const std::string& title) override { EmitEvent("title", AnsiToUtf8(title)); }

private:
    engine::Engine& m_engine;
    platform::audio::Mixer& m_mixer;
};

bool EndsWithNoCase(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(), [](char a, char b) {
               return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b));
           });
}

} // namespace

bool StationReceived()
{
    NoteReception();
    return Front().received;
}

void EmitRadioStatus()
{
    radio::Receiver* receiver = radio::CurrentReceiver();
    if (!receiver || receiver->Closed())
        return;
    const radio::RadioDisplay& d = Front().display;
    EmitEvent("station", AnsiToUtf8(std::string_view(d.stationName, strnlen(d.stationName, sizeof d.stationName))));
    EmitEvent("radio", StatusText());
}

radio::RadioDisplay& RadioDisplayBlock()
{
    return Front().display;
}

// Opening a station ends the reception before it and starts from a clear block.
void CloseAndClear()
{
    radio::CloseReceiver();
    Front().display.Clear();
    Front().lastStatus.clear();
}

bool OpenOnDisplay(const std::string& address)
{
    return radio::OpenReceiver(Front().display, address, [](radio::RadioDisplay& display) {
               return std::make_unique<FrontEndReceiver>(display, *Front().engine, *Front().mixer);
           }) != nullptr;
}

bool TuneStation(const std::string& address, const std::string& name)
{
    CloseAndClear();
    radio::SetField(Front().display.stationName, name);
    return OpenOnDisplay(address);
}

void SetStationFileReader(StationFileReader reader)
{
    Front().stationFiles = std::move(reader);
}

void RegisterRadioHeadlessCommands(engine::Engine& engine, platform::audio::Mixer& mixer)
{
    Front().engine = &engine;
    Front().mixer = &mixer;
    RegisterHeadlessCommand("radio", [](const std::string& arg) {
        if (arg.empty()) {
            EmitEvent("error", "usage: radio ADDRESS [NAME] (ADDRESS as 127.0.0.1:3456)");
            return;
        }
        // The address is the first word; the rest names the station.
        size_t blank = arg.find(' ');
        std::string name = blank == std::string::npos ? std::string() : arg.substr(blank + 1);
        std::string error;
        // Checked before any socket exists: the receiver would send to nowhere.
        std::optional<std::string> address = StationAddressText(arg.substr(0, blank), &error);
        if (!address) {
            EmitEvent("error", error);
            return;
        }
        if (!TuneStation(*address, name))
            EmitEvent("error", "the receiver could not be opened");
    });
    RegisterHeadlessCommand("radio-stop", [](const std::string&) {
        radio::CloseReceiver();
        EmitEvent("radio", "stopped");
    });
    RegisterTimerHook([] { NoteReception(); });
    RegisterBusyCheck([] {
        radio::Receiver* receiver = radio::CurrentReceiver();
        return receiver && receiver->Receiving();
    });
    RegisterShutdownStep([] {
        NoteReception();
        radio::CloseReceiver();
    });
    RegisterOpenHandler([](const std::string& path) {
        if (!EndsWithNoCase(path, ".rdl"))
            return false;
        if (!Front().stationFiles) {
            EmitEvent("error", "station files cannot be opened: " + path);
            return true;
        }
        CloseAndClear();
        std::optional<std::string> address = Front().stationFiles(path, Front().display);
        if (!address) {
            EmitEvent("error", "not a station file: " + path);
            return true;
        }
        if (!OpenOnDisplay(*address))
            EmitEvent("error", "the receiver could not be opened");
        return true;
    });
}

} // namespace lumetra::app
