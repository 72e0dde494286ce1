#include "app/headless_radio.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/event_text.h"
#include "app/headless.h"
#include "engine/engine.h"
#include "platform/audio/mixer.h"
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
};

RadioFrontEnd& Front()
{
    static RadioFrontEnd front;
    return front;
}

void EmitStatusIfChanged()
{
    const radio::RadioDisplay& d = Front().display;
    std::string line = AnsiToUtf8(std::string_view(d.statusText, strnlen(d.statusText, sizeof d.statusText)));
    if (d.statusFlags[0])
        line += " " + AnsiToUtf8(std::string_view(d.statusFlags, d.statusFlags[1] ? 2 : 1));
    if (line == Front().lastStatus)
        return;
    Front().lastStatus = line;
    EmitEvent("radio", line);
}

radio::ReceiverEnvironment MakeEnvironment()
{
    using platform::audio::MixerLine;
    radio::ReceiverEnvironment env;
    engine::Engine& engine = *Front().engine;
    platform::audio::Mixer& mixer = *Front().mixer;
    env.playerLock = &engine.Lock();
    env.applyVolume = [&engine] { engine.ApplyVolume(); };
    env.setLevel = [&engine](int level) { engine.SetLevel(level); };
    env.waveVolume = [&mixer] {
        uint32_t v = uint32_t(mixer.VolumeValue(MixerLine::Wave)) & 0xFFFF;
        return v | v << 16;
    };
    env.setWaveVolume = [&mixer](uint32_t v) { mixer.SetVolumeValue(MixerLine::Wave, int32_t(v & 0xFFFF)); };
    env.radioFilter = [] { return settings::CurrentSettings().radioFilter != 0; };
    env.notice = [](std::string_view notice) {
        if (notice == "UpdateInfo")
            EmitStatusIfChanged();
    };
    env.titleChanged = [](const std::string& title) { EmitEvent("title", AnsiToUtf8(title)); };
    return env;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() &&
           std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(),
                      [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); });
}

} // namespace

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
    return radio::OpenReceiver(Front().display, address, MakeEnvironment()) != nullptr;
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
            EmitEvent("error", "radio needs a station address");
            return;
        }
        // The address text is cut at its first blank by the receiver; the rest names the station.
        size_t blank = arg.find(' ');
        std::string name = blank == std::string::npos ? std::string() : arg.substr(blank + 1);
        if (!TuneStation(arg, name))
            EmitEvent("error", "the receiver could not be opened");
    });
    RegisterHeadlessCommand("radio-stop", [](const std::string&) { radio::CloseReceiver(); });
    RegisterBusyCheck([] {
        radio::Receiver* receiver = radio::CurrentReceiver();
        return receiver && receiver->Receiving();
    });
    RegisterShutdownStep([] { radio::CloseReceiver(); });
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
