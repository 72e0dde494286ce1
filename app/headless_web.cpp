#include "app/headless_web.h"

#include "app/event_text.h"
#include "app/headless.h"
#include "app/headless_radio.h"
#include "app/headless_registry.h"
#include "app/player_control.h"
#include "engine/engine.h"
#include "engine/mpeg_item_adapter.h"
#include "engine/stream_progress.h"
#include "mpeg/stream_info.h"
#include "platform/dialogs/message_box.h"
#include "platform/loop/main_loop.h"
#include "radio/receiver/receiver.h"
#include "settings/registry_values.h"
#include "settings/settings.h"
#include "web/http_get.h"
#include "web/link_list.h"
#include "web/proxy_settings.h"
#include "web/station_directory.h"
#include "web/stream_get.h"
#include "web/stream_player.h"
#include "web/stream_playlist.h"
#include "web/stream_timer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>

namespace lumetra::app {
namespace {

constexpr int64_t kStreamAheadSeconds = 60;
constexpr const char* kProductCaption = "Lumetra Media Player (tm)";

void FillStationFields(radio::RadioDisplay& display, const web::StationRecord& record)
{
    radio::SetField(display.location, record.location);
    radio::SetField(display.webAddress, record.webUrl);
    radio::SetField(display.description, record.description);
    radio::SetField(display.category, record.category);
    radio::SetField(display.email, record.email);
}

// The directory's surroundings in headless mode: the receiver and its display
// block are the radio front end's; the shell's open action is printed.
class HeadlessStationHost : public web::StationHost {
public:
    void ClearDisplay() override { RadioDisplayBlock().Clear(); }
    void SetStationName(const std::string& name) override { radio::SetField(RadioDisplayBlock().stationName, name); }
    void SetStationRecord(const web::StationRecord& record) override
    {
        m_record = record;
        FillStationFields(RadioDisplayBlock(), record);
    }
    bool ReceiverOpen() override { return radio::CurrentReceiver() != nullptr; }
    void CloseReceiver() override { radio::CloseReceiver(); }
    bool OpenReceiver(const std::string& addressText, const std::string& name) override
    {
        // Tuning starts from a clear block; the record just fetched goes back in.
        web::StationRecord record = m_record;
        bool opened = TuneStation(addressText, name);
        FillStationFields(RadioDisplayBlock(), record);
        m_record = web::StationRecord{};
        if (!opened)
            EmitEvent("error", "the receiver could not be opened");
        return opened;
    }
    void OpenAddress(const std::string& address) override { EmitEvent("open", address); }
    void Wait(int milliseconds) override
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end)
            platform::TheMainLoop().ProcessEvents(20);
    }

private:
    web::StationRecord m_record;
};

std::string& LastStreamStatus()
{
    static std::string text;
    return text;
}

// The player as the stream's timer step sees it.
class EngineStreamHost : public web::StreamPlaybackHost {
public:
    explicit EngineStreamHost(engine::Engine& engine) : m_engine(engine) {}
    MediaItem& CurrentItem() override { return m_engine.CurrentItem(); }
    bool PlayingOrPaused() override
    {
        auto state = m_engine.State();
        return state == engine::kStatePlaying || state == engine::kStatePaused;
    }
    void OpenCurrent(const std::string& path, int64_t start) override { m_engine.OpenCurrent(path.c_str(), start); }
    void PlayCurrent() override { m_engine.PlayCurrent(); }
    void ReadFileSizeAndTags(MediaItem& item) override
    {
        std::lock_guard lock(m_engine.Lock());
        engine::ReadFileSizeAndId3v1(item);
        const mpeg::StreamInfo info = mpeg::AnalyseMpegFile(item.path);
        if (info.analysed && info.totalSamples > 0)
            item.totalSamples = info.totalSamples;
    }
    void SetStatusText(const std::string& text) override
    {
        if (text != LastStreamStatus())
            EmitEvent("status", text);
        LastStreamStatus() = text;
    }

private:
    engine::Engine& m_engine;
};

// A stream file holds at most a minute of sound beyond the player's read
// position, at most Settings\StreamLimitMB (default 1024) MiB, and leaves 1 GiB
// of the disk free.
web::StreamLimits StreamLimitsFromSettings(engine::Engine& engine)
{
    web::StreamLimits limits;
    int megabytes = settings::ReadRegistryNumber(settings::RegistryRoot::CurrentUser,
                                                 std::string(settings::kProgramKey) + "Settings\\StreamLimitMB");
    if (megabytes > 0)
        limits.capBytes = int64_t{megabytes} << 20;
    limits.holdBack = [&engine](int64_t received) {
        // The item's fields change under the engine lock. The download thread only
        // tries it: whoever holds it may be stopping this very download and waiting
        // for it, so a busy lock means "not now", and the thread asks again soon.
        std::unique_lock lock(engine.Lock(), std::try_to_lock);
        if (!lock.owns_lock())
            return true;
        const MediaItem& item = engine.CurrentItem();
        int64_t kbps = item.bitrate;
        int64_t readPos = item.streamReadPos;
        lock.unlock();
        // Until the first bytes are analysed, no more than playback starts with (twice).
        if (kbps <= 0)
            return received >= 2 * int64_t{web::kStreamStartBytes};
        return received - readPos > kStreamAheadSeconds * kbps * 125;
    };
    return limits;
}

void ReportStreamLimit()
{
    switch (web::ProcessStream().TakeLimitReached()) {
    case web::kStreamCapReached:
        platform::ShowMessageBox(kProductCaption, "The stream was stopped: its file reached the largest size allowed "
                                                  "(Settings\\StreamLimitMB).");
        break;
    case web::kStreamDiskFull:
        platform::ShowMessageBox(kProductCaption, "The stream was stopped: less than 1 GiB of disk space is free.");
        break;
    default:
        break;
    }
}

struct WebFrontEnd {
    explicit WebFrontEnd(PlayerControl& p) : player(p), engine(p.Engine()), streamHost(engine) {}

    PlayerControl& player;
    engine::Engine& engine;
    HeadlessStationHost stationHost;
    EngineStreamHost streamHost;
    web::StationDirectory directory{stationHost, web::ProcessHttpFetcher()};
    web::StreamTimer streamTimer;
    // The feeder paused a downloading stream that ran dry; it resumes once enough is in.
    bool autoPaused = false;
    engine::PlayerState lastState = engine::kStateIdle;

    // Web commands run one after another: a fetch dispatches events, and a
    // command read meanwhile waits for the running one instead of cutting in.
    bool commandRunning = false;
    std::deque<std::function<void()>> pending;

    // A new directory or link list replaces the fetch under way, whose rows are
    // then not printed; every other command runs beside a fetch or after it.
    bool superseded = false;
    void Supersede()
    {
        if (!commandRunning)
            return;
        superseded = true;
        web::ProcessHttpFetcher().Cancel();
    }

    void RunInOrder(std::function<void()> command)
    {
        if (commandRunning) {
            pending.push_back(std::move(command));
            return;
        }
        commandRunning = true;
        command();
        while (!pending.empty()) {
            auto next = std::move(pending.front());
            pending.pop_front();
            next();
        }
        commandRunning = false;
    }

    void PrintRows()
    {
        const auto& rows = directory.Rows();
        for (size_t i = 0; i < rows.size(); ++i)
            EmitEvent("row",
                      std::to_string(i) + " " + std::to_string(rows[i]->level) + " " + AnsiToUtf8(rows[i]->text));
    }

    void Tick()
    {
        ReportStreamLimit();
        web::StreamContext& stream = web::ProcessStream();
        streamTimer.Tick(stream, streamHost);
        MediaItem& item = engine.CurrentItem();
        engine::PlayerState state = engine.State();
        if (item.streamState == 2 && state == engine::kStatePaused && lastState != engine::kStatePaused)
            autoPaused = stream.ThreadRunning() &&
                         int64_t{item.streamReadPos} >= int64_t{stream.Received()} - engine::kStreamMarginBytes -
                                                            static_cast<int64_t>(web::kStreamChunk);
        if (state != engine::kStatePaused || item.streamState == 0)
            autoPaused = state == engine::kStatePaused && autoPaused;
        // Resume once the download is three seconds of sound beyond the margin
        // (or complete), so the feeder can fill its queue again at once.
        int64_t resumeBytes = engine::kStreamMarginBytes + int64_t{item.bitrate} * 125 * engine::kQueueSeconds;
        if (autoPaused && state == engine::kStatePaused &&
            (!stream.ThreadRunning() || int64_t{stream.Received()} - item.streamReadPos >= resumeBytes)) {
            autoPaused = false;
            engine.PlayCurrent();
            state = engine.State();
        }
        lastState = state;
    }
};

std::unique_ptr<WebFrontEnd> g_web;

} // namespace

// The stored proxy without its password; an empty field shows as "-".
void EmitProxyLine()
{
    web::ProxySettings values;
    web::ReadProxySettings(values);
    auto field = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    EmitEvent("proxy", AnsiToUtf8(field(values.server) + " " + field(values.port) + " " + field(values.userId)));
}

web::StationDirectory& FrontEndStationDirectory()
{
    return g_web->directory;
}

void RunWebCommandInOrder(std::function<void()> command)
{
    g_web->RunInOrder(std::move(command));
}

void RegisterWebHeadlessCommands(PlayerControl& player)
{
    g_web = std::make_unique<WebFrontEnd>(player);
    WebFrontEnd& web = *g_web;

    web::StreamContext& stream = web::ProcessStream();
    stream.SetMedia(&web.engine.CurrentItem());
    stream.SetProgressSink([](int64_t received, bool downloading) {
        engine::TheStreamProgress().SetReceivedBytes(received);
        engine::TheStreamProgress().SetDownloading(downloading);
    });
    web.engine.AddStopHook([] { web::StopStream(web::ProcessStream()); });
    stream.SetLimits(StreamLimitsFromSettings(web.engine));

    RegisterHeadlessCommand("directory", [&web](const std::string&) {
        web.Supersede();
        web.RunInOrder([&web] {
            web.superseded = false;
            web.directory.FetchStationDirectory();
            if (!web.superseded)
                web.PrintRows();
        });
    });
    RegisterHeadlessCommand("activate", [&web](const std::string& arg) {
        web.RunInOrder([&web, arg] {
            char* end = nullptr;
            long row = std::strtol(arg.c_str(), &end, 10);
            if (arg.empty() || *end || row < 0 || row >= static_cast<long>(web.directory.Rows().size())) {
                EmitEvent("error", "no such row: " + arg);
                return;
            }
            web.directory.Select(static_cast<int>(row));
            web.directory.ActivateDirectoryRow();
            web.PrintRows();
        });
    });
    RegisterHeadlessCommand("links", [&web](const std::string&) {
        web.Supersede();
        web.RunInOrder([&web] {
            web.superseded = false;
            auto rows = web::FetchLinkList(web::ProcessHttpFetcher());
            for (size_t i = 0; i < rows.size() && !web.superseded; ++i)
                EmitEvent("link", std::to_string(i) + " " + AnsiToUtf8(rows[i]));
        });
    });
    RegisterHeadlessCommand("proxy", [&web](const std::string& arg) {
        web.RunInOrder([arg] {
            // SERVER PORT USER PASSWORD; the password is the rest of the line.
            web::ProxySettings values;
            std::string rest = arg;
            auto word = [&rest]() {
                size_t space = rest.find(' ');
                std::string w = rest.substr(0, space);
                rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
                return w;
            };
            values.server = word();
            values.port = word();
            values.userId = word();
            values.password = rest;
            // A server needs its port; "-" alone turns the proxy off.
            if (values.server.empty() || (values.server != "-" && values.port.empty())) {
                EmitEvent("error", "usage: proxy SERVER PORT USER PASSWORD (SERVER - for none)");
                return;
            }
            if (values.server == "-")
                values.server.clear();
            char* end = nullptr;
            long port = values.port.empty() ? 0 : std::strtol(values.port.c_str(), &end, 10);
            if (!values.port.empty() && (*end || port < 0 || port > 65535)) {
                EmitEvent("error", "bad proxy port: " + values.port);
                return;
            }
            web::WriteProxySettings(values);
            EmitProxyLine();
        });
    });
    RegisterOpenHandler([&web](const std::string& path) {
        if (web::IsStreamPlaylistName(path)) {
            web.player.Stop();
            web.streamTimer.Reset();
            web::StartPlaylistStream(path, web::ProcessStream());
            web.player.ClearPlaylist();
            return true;
        }
        return false;
    });
    // Station files are opened by the radio front end; the directory reads them
    // and fetches their station record into the display block first.
    SetStationFileReader([&web](const std::string& path, radio::RadioDisplay&) -> std::optional<std::string> {
        std::optional<web::StationFileEntry> entry = web::ReadStationFile(path);
        if (!entry)
            return std::nullopt;
        web.directory.FetchStationInfo(entry->node);
        return entry->address;
    });
    RegisterTimerHook([&web] { web.Tick(); });
    RegisterBusyCheck([&web] {
        if (web.commandRunning)
            return true;
        const MediaItem& item = web.engine.CurrentItem();
        return item.streamState != 0 &&
               (web::ProcessStream().ThreadRunning() || web.autoPaused || item.streamState == 1);
    });
    RegisterShutdownStep([] {
        web::ProcessHttpFetcher().Cancel();
        web::StopStream(web::ProcessStream());
        std::remove(web::ProcessStream().FilePath().c_str());
    });
}

std::string StreamStatusText()
{
    return LastStreamStatus();
}

} // namespace lumetra::app
