#include "app/event_text.h"
#include "app/headless.h"
#include "app/headless_commands.h"
#include "app/headless_radio.h"
#include "app/headless_registry.h"
#include "app/headless_web.h"
#include "app/player_control.h"
#include "engine/cd_watcher.h"
#include "engine/mci_sources.h"
#include "engine/media_item_text.h"
#include "engine/media_type_detection.h"
#include "platform/regular_file.h"
#include "web/proxy_settings.h"

#include <cmath>
#include <cctype>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace lumetra::app {
namespace {

const char* StateName(engine::PlayerState state)
{
    switch (state) {
    case engine::kStatePlaying:
        return "playing";
    case engine::kStateStopped:
        return "stopped";
    case engine::kStatePaused:
        return "paused";
    default:
        return "idle";
    }
}

// Titles and performers from ID3v2 tags arrive as UTF-8; the bytes of older
// ANSI texts (ID3v1) are not valid UTF-8 and the escaping reads them as
// Windows-1252.
std::string DisplayName(const MediaItem& item)
{
    return engine::ItemDisplayName(item, item.path);
}

std::string Performer(const MediaItem& item)
{
    return std::string(item.performer, strnlen(item.performer, sizeof item.performer));
}

void EmitItem(const MediaItem& item)
{
    EmitFieldsEvent("item", {DisplayName(item), Performer(item), std::to_string(item.bitrate),
                             std::to_string(item.sampleRate), std::to_string(item.mediaType)});
}

// What the item event shows, to tell whether it changed.
std::string ItemKey(engine::Engine& engine)
{
    std::lock_guard lock(engine.Lock());
    const MediaItem& item = engine.CurrentItem();
    return DisplayName(item) + '\n' + Performer(item) + '\n' + std::to_string(item.bitrate) + '\n' +
           std::to_string(item.sampleRate) + '\n' + std::to_string(item.mediaType);
}

void EmitPosition(engine::Engine& engine)
{
    std::string text;
    {
        std::lock_guard lock(engine.Lock());
        const MediaItem& item = engine.CurrentItem();
        const int64_t rate = item.sampleRate > 0 ? item.sampleRate : 1;
        text = std::to_string(engine.PlayedPosition() / rate) + " " + std::to_string(item.totalSamples / rate);
    }
    EmitEvent("position", text);
}

std::string PercentEncoded(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// Set while a seek reopens the current item: its stop, reopening and restart
// are one step to the user, reported as one position.
std::atomic<bool> g_seeking{false};
std::atomic<bool> g_playbackStarted{false};

void EmitFlag(EventWord word, bool on)
{
    EmitEvent(word, on ? "1" : "0");
}

void SeekQuietly(PlayerControl& player, double seconds)
{
    engine::Engine& engine = player.Engine();
    engine::PlayerState before = engine.State();
    std::string itemBefore = ItemKey(engine);
    g_seeking = true;
    bool loaded = player.SeekSeconds(seconds);
    g_seeking = false;
    if (!loaded) {
        EmitEvent("error", "nothing loaded to seek");
        return;
    }
    // A seek from pause plays on, as the position bar does.
    engine::PlayerState after = engine.State();
    if (after != before)
        EmitEvent("state", StateName(after));
    if (ItemKey(engine) != itemBefore) {
        std::lock_guard lock(engine.Lock());
        EmitItem(engine.CurrentItem());
    }
    EmitPosition(engine);
}

bool ParseNumber(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    // "nan" and "inf" parse too, and no seek or volume is made of them.
    return end && *end == '\0' && std::isfinite(value);
}

} // namespace

std::string NotPlayableText(const std::string& path)
{
    struct stat info {};
    // Paths that are no file (CD tracks, network ASF) are judged by their type.
    if (stat(path.c_str(), &info) != 0 && errno == ENOENT && engine::DetectMediaType(path.c_str()) == MEDIA_NONE)
        return "no such file: " + path;
    return "not playable: " + path;
}

bool PlaybackStarted()
{
    return g_playbackStarted.load();
}

void RegisterPlayerHeadlessCommands(PlayerControl& player)
{
    // Discs arriving and leaving, looked for once a second.
    engine::CdWatcher& watcher = engine::TheCdWatcher();
    watcher.AddArrivalHook([&player](const std::string& drive) { player.CdArrived(drive); });
    watcher.AddRemovalHook([&player](const std::string& drive) { player.CdRemoved(drive); });
    auto cdTicks = std::make_shared<int>(0);
    RegisterTimerHook([&watcher, cdTicks] {
        if (++*cdTicks < 20)
            return;
        *cdTicks = 0;
        watcher.Poll();
    });
    RegisterHeadlessCommand("play", [&player](const std::string& arg) {
        if (arg.empty()) {
            player.Play();
            return;
        }
        if (RefuseIfNotRegular(arg) || OfferToOpenHandlers(arg))
            return;
        // As a path handed over by a second start: whatever plays stops first.
        player.StopIfActive();
        player.ClearPlaylist();
        if (!player.AddEntry(arg)) {
            EmitEvent("error", NotPlayableText(arg));
            return;
        }
        player.SelectRow(0);
        ShowPanel(0);
        player.Play();
    });
    // As files chosen in the open dialog: the selection stays, so Play starts at the top.
    RegisterHeadlessCommand("add", [&player](const std::string& arg) {
        if (arg.empty())
            EmitEvent("error", "usage: add PATH");
        else if (!RefuseIfNotRegular(arg) && player.Playlist().AddPaths({arg}) == 0)
            EmitEvent("error", NotPlayableText(arg));
    });
    RegisterHeadlessCommand("pause", [&player](const std::string&) { player.Pause(); });
    RegisterHeadlessCommand("stop", [&player](const std::string&) { player.Stop(); });
    RegisterHeadlessCommand("next", [&player](const std::string&) { player.Next(); });
    RegisterHeadlessCommand("prev", [&player](const std::string&) { player.Previous(); });
    // Turning one of shuffle and repeat on turns the other off: both are reported.
    RegisterHeadlessCommand("shuffle", [&player](const std::string&) {
        bool repeat = player.Repeat();
        player.ToggleShuffle();
        EmitFlag("shuffle", player.Shuffle());
        if (repeat != player.Repeat())
            EmitFlag("repeat", player.Repeat());
    });
    RegisterHeadlessCommand("repeat", [&player](const std::string&) {
        bool shuffle = player.Shuffle();
        player.ToggleRepeat();
        EmitFlag("repeat", player.Repeat());
        if (shuffle != player.Shuffle())
            EmitFlag("shuffle", player.Shuffle());
    });
    RegisterHeadlessCommand("mute", [&player](const std::string&) {
        player.ToggleMute();
        EmitFlag("mute", player.Muted());
    });
    RegisterHeadlessCommand("seek", [&player](const std::string& arg) {
        double seconds = 0;
        if (arg.empty()) {
            EmitEvent("error", "usage: seek SECONDS");
            return;
        }
        if (!ParseNumber(arg, seconds) || seconds < 0) {
            EmitEvent("error", "bad seek time: " + arg);
            return;
        }
        SeekQuietly(player, seconds);
    });
    RegisterHeadlessCommand("volume", [&player](const std::string& arg) {
        double value = 0;
        if (arg.empty()) {
            EmitEvent("error", "usage: volume N (0 to 65535)");
            return;
        }
        if (!ParseNumber(arg, value) || value < 0 || value > 65535) {
            EmitEvent("error", "bad volume: " + arg);
            return;
        }
        player.SetVolume(static_cast<int32_t>(value));
        EmitEvent("volume", std::to_string(player.Volume()));
    });
}

void RegisterPlayerEvents(engine::Engine& engine, PlayerControl& player)
{
    engine.SetStateObserver([](engine::PlayerState state) {
        if (state == engine::kStatePlaying)
            g_playbackStarted = true;
        if (!g_seeking)
            EmitEvent("state", StateName(state));
    });
    engine.SetItemObserver([](const MediaItem& item) {
        if (!g_seeking)
            EmitItem(item);
    });
    engine.SetNotPlayableObserver(
        [](const MediaItem& item) { EmitEvent("error", std::string("not playable: ") + item.path); });
    RegisterHeadlessCommand("status", [&engine, &player](const std::string&) {
        EmitEvent("state", StateName(engine.State()));
        EmitPosition(engine);
        {
            std::lock_guard lock(engine.Lock());
            EmitItem(engine.CurrentItem());
        }
        EmitEvent("volume", std::to_string(player.Volume()));
        EmitFlag("mute", player.Muted());
        EmitFlag("shuffle", player.Shuffle());
        EmitFlag("repeat", player.Repeat());
        EmitProxyLine();
        EmitRadioStatus();
    });
    // Under the engine lock: the buffer thread posts the end notice while it holds
    // it, so an idle player seen here has no end notice still to be posted.
    // A media-control item whose open failed shows as playing but never ends, so
    // it is not waited for.
    RegisterBusyCheck([&engine] { return engine.SourceActive(); });
    if (engine::MciSources* mci = engine.Mci()) {
        mci->SetErrorReporter([](const std::string& text) { EmitEvent("error", text); });
        // Network ASF/WMA goes through the proxy of the settings, as the HTTP client does.
        mci->SetHttpProxyProvider([] {
            web::ProxySettings proxy;
            if (!web::ReadProxySettings(proxy))
                return std::string();
            std::string user =
                proxy.userId.empty() ? "" : PercentEncoded(proxy.userId) + ":" + PercentEncoded(proxy.password) + "@";
            return "http://" + user + proxy.server + ":" + (proxy.port.empty() ? "80" : proxy.port);
        });
    }
    // The media-control sources' level every tick, their position at tick 26.
    auto sourceTicks = std::make_shared<int>(0);
    RegisterTimerHook([&engine, sourceTicks] {
        bool position = ++*sourceTicks >= 26;
        if (position)
            *sourceTicks = 0;
        engine.RefreshSource(position);
    });
    auto ticks = std::make_shared<int>(0);
    RegisterTimerHook([&engine, ticks] {
        if (++*ticks < 20)
            return;
        *ticks = 0;
        if (engine.State() == engine::kStatePlaying)
            EmitPosition(engine);
    });
    // The status line: the title and length of a loaded item, else the welcome.
    auto statusTicks = std::make_shared<int>(0);
    auto shown = std::make_shared<std::string>();
    RegisterTimerHook([&engine, statusTicks, shown] {
        if (++*statusTicks < 26)
            return;
        *statusTicks = 0;
        std::string text = " Welcome to Lumetra Media Player";
        std::lock_guard lock(engine.Lock());
        const MediaItem& item = engine.CurrentItem();
        if (item.layer != -1 && item.sampleRate > 0) {
            const int64_t seconds = item.totalSamples / item.sampleRate;
            char line[512];
            std::snprintf(line, sizeof line, " %s (%lld:%02d)", DisplayName(item).c_str(),
                          static_cast<long long>(seconds / 60), static_cast<int>(seconds % 60));
            text = line;
        }
        if (text != *shown) {
            *shown = text;
            EmitEvent("status", text);
        }
    });
}

} // namespace lumetra::app
