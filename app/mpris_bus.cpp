// The module's side of the MPRIS service: the object on the session bus, on
// sd-bus, driven by the main thread's loop (a readable watch on the connection
// and a timer for what sd-bus wants done later).
#include "app/mpris_bus.h"
#include "app/mpris_object_xml.h"
#include "app/mpris_values.h"
#include "platform/loop/main_loop.h"

#include <poll.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

namespace lumetra::app {
namespace {

using namespace mpris;

constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr std::string_view kRootInterface = "org.mpris.MediaPlayer2";
constexpr std::string_view kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr std::string_view kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr std::string_view kObjectXmlInterface = "org.freedesktop.DBus.Introspectable";
constexpr const char* kServiceName = "org.mpris.MediaPlayer2.lumetra";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

int64_t MonotonicUs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

class MprisBusObject final : public MprisBus, public std::enable_shared_from_this<MprisBusObject> {
public:
    MprisBusObject(MprisPlayer& player, platform::MainLoop& loop, sd_bus* bus)
        : m_player(player), m_loop(loop), m_bus(bus)
    {
    }
    ~MprisBusObject() override { Leave(); }

    bool Register();
    void Poll() override;
    void Close() override
    {
        m_closed = true;
        if (!m_processing)
            Leave();
    }

private:
    static int OnMessage(sd_bus_message* m, void* self, sd_bus_error*)
    {
        return static_cast<MprisBusObject*>(self)->Handle(m);
    }
    static int OnName(sd_bus_message* m, void* self, sd_bus_error*);
    bool RequestName(const std::string& name);
    int Handle(sd_bus_message* m);
    int HandleProperties(sd_bus_message* m, std::string_view member, std::string_view signature);
    int AnswerObjectXml(sd_bus_message* m, std::string_view path);
    ValueMap RootProperties() const;
    ValueMap PlayerProperties();
    Value Metadata(const MprisState& state);
    bool RunPlayerMethod(sd_bus_message* m, std::string_view member, std::string_view signature, int& replied);
    bool SetProperty(std::string_view name, const SetValue& value);
    void Command(const std::string& line) { m_player.Command(line); }
    void SeekToUs(int64_t position);
    void Send(sd_bus_message* m);

    // The connection on the loop.
    void Drive();
    void Rearm();
    void Leave();

    MprisPlayer& m_player;
    platform::MainLoop& m_loop;
    sd_bus* m_bus;
    sd_bus_slot* m_slot = nullptr;
    sd_bus_slot* m_nameSlot = nullptr;
    bool m_instanceAsked = false;
    platform::MainLoop::Id m_watch = 0;
    platform::MainLoop::Id m_timer = 0;
    bool m_processing = false;
    bool m_closed = false;
    // What was last announced, to send only changes.
    ValueMap m_announced;
    std::string m_trackPath;
    int m_trackNumber = 0;
};

Value MprisBusObject::Metadata(const MprisState& state)
{
    ValueMap map;
    if (!state.loaded) {
        map["mpris:trackid"] = Value::Path(kNoTrack);
        return Value::Map(std::move(map));
    }
    // A new path is a new track; the number keeps the ids apart.
    if (m_trackPath != state.path) {
        m_trackPath = state.path;
        ++m_trackNumber;
    }
    map["mpris:trackid"] = Value::Path("/org/lumetra/track/" + std::to_string(m_trackNumber));
    map["xesam:title"] = Value::Text(ValidUtf8(state.title));
    if (!state.performer.empty())
        map["xesam:artist"] = Value::List({ValidUtf8(state.performer)});
    if (!state.station)
        map["xesam:url"] = Value::Text(state.path.starts_with('/') ? FileUrl(state.path) : ValidUtf8(state.path));
    if (state.lengthUs > 0)
        map["mpris:length"] = Value::Int64(state.lengthUs);
    return Value::Map(std::move(map));
}

ValueMap MprisBusObject::RootProperties() const
{
    std::vector<std::string> types;
    for (const std::string& type : m_player.MimeTypes())
        types.push_back(ValidUtf8(type));
    return {{"CanQuit", Value::Bool(true)},
            {"CanRaise", Value::Bool(m_player.CanRaise())},
            {"HasTrackList", Value::Bool(false)},
            {"Identity", Value::Text("Lumetra Media Player")},
            {"DesktopEntry", Value::Text("lumetra")},
            {"SupportedUriSchemes", Value::List({"file"})},
            {"SupportedMimeTypes", Value::List(std::move(types))}};
}

ValueMap MprisBusObject::PlayerProperties()
{
    const MprisState state = m_player.State();
    const char* status = state.playback == MprisState::Playing  ? "Playing"
                         : state.playback == MprisState::Paused ? "Paused"
                                                                : "Stopped";
    return {{"PlaybackStatus", Value::Text(status)},
            {"LoopStatus", Value::Text(state.repeat ? "Playlist" : "None")},
            {"Rate", Value::Real(1.0)},
            {"Shuffle", Value::Bool(state.shuffle)},
            {"Metadata", Metadata(state)},
            {"Volume", Value::Real(state.volume / 65535.0)},
            {"Position", Value::Int64(state.positionUs)},
            {"MinimumRate", Value::Real(1.0)},
            {"MaximumRate", Value::Real(1.0)},
            {"CanGoNext", Value::Bool(true)},
            {"CanGoPrevious", Value::Bool(true)},
            {"CanPlay", Value::Bool(state.loaded || state.rowCount > 0)},
            {"CanPause", Value::Bool(true)},
            {"CanSeek", Value::Bool(state.loaded && state.lengthUs > 0)},
            {"CanControl", Value::Bool(true)}};
}

void MprisBusObject::Send(sd_bus_message* m)
{
    sd_bus_send(m_bus, m, nullptr);
    sd_bus_message_unref(m);
    if (!m_processing)
        Rearm();
}

void MprisBusObject::SeekToUs(int64_t position)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(position) / 1e6);
    Command(std::string("seek ") + seconds);
    sd_bus_message* signal = nullptr;
    if (sd_bus_message_new_signal(m_bus, &signal, kObjectPath, kPlayerInterface.data(), "Seeked") < 0)
        return;
    int64_t now = m_player.State().positionUs;
    sd_bus_message_append_basic(signal, 'x', &now);
    Send(signal);
}

bool MprisBusObject::RunPlayerMethod(sd_bus_message* m, std::string_view member, std::string_view signature,
                                     int& replied)
{
    if (member == "Play") {
        Command("play");
    } else if (member == "Pause") {
        Command("pause");
    } else if (member == "PlayPause") {
        Command(m_player.State().playback == MprisState::Playing ? "pause" : "play");
    } else if (member == "Stop") {
        Command("stop");
    } else if (member == "Next") {
        Command("next");
    } else if (member == "Previous") {
        Command("prev");
    } else if (member == "Seek" && signature == "x") {
        int64_t offset = 0;
        sd_bus_message_read_basic(m, 'x', &offset);
        const MprisState state = m_player.State();
        if (!state.loaded)
            return true;
        int64_t target = state.positionUs + std::clamp<int64_t>(offset, INT64_MIN / 2, INT64_MAX / 2);
        if (target >= state.lengthUs)
            Command("next");
        else
            SeekToUs(std::max<int64_t>(0, target));
    } else if (member == "SetPosition" && signature == "ox") {
        const char* track = "";
        int64_t position = 0;
        sd_bus_message_read(m, "ox", &track, &position);
        const MprisState state = m_player.State();
        Value current = Metadata(state).map["mpris:trackid"];
        if (current.text == track && position >= 0 && position <= state.lengthUs)
            SeekToUs(position);
    } else if (member == "OpenUri" && signature == "s") {
        const char* uri = "";
        sd_bus_message_read_basic(m, 's', &uri);
        std::string path;
        if (!LocalPath(uri, path)) {
            replied = sd_bus_reply_method_errorf(m, SD_BUS_ERROR_NOT_SUPPORTED, "only file: addresses are opened");
            return true;
        }
        if (path.find_first_of(std::string_view("\n\r\0", 3)) == std::string::npos && path.size() <= 4096)
            Command("play " + path);
    } else {
        return false;
    }
    return true;
}

bool MprisBusObject::SetProperty(std::string_view name, const SetValue& value)
{
    if (name == "Volume") {
        double volume = std::clamp(value.number, 0.0, 1.0);
        if (std::isfinite(volume))
            Command("volume " + std::to_string(std::lround(volume * 65535)));
    } else if (name == "Shuffle") {
        if (value.truth != m_player.State().shuffle)
            Command("shuffle");
    } else if (name == "LoopStatus") {
        if ((value.text != "None") != m_player.State().repeat)
            Command("repeat");
    } else if (name != "Rate") {
        return false;
    }
    return true;
}

int ReplyProperties(sd_bus_message* call, const ValueMap& properties)
{
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    r = r < 0 ? r : AppendBare(reply, Value::Map(properties));
    r = r < 0 ? r : sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int NoSuchMethod(sd_bus_message* m, std::string_view interface)
{
    std::string where = interface.empty() ? "any interface" : "interface '" + std::string(interface) + "'";
    return sd_bus_reply_method_errorf(
        m, SD_BUS_ERROR_UNKNOWN_METHOD, "No such method '%s' in %s at object path '%s' (signature '%s')",
        sd_bus_message_get_member(m), where.c_str(), sd_bus_message_get_path(m), sd_bus_message_get_signature(m, 1));
}

int NoSuchInterface(sd_bus_message* m, std::string_view interface)
{
    if (interface.empty())
        return NoSuchMethod(m, interface);
    return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_UNKNOWN_INTERFACE, "No such interface '%s' at object path '%s'",
                                      std::string(interface).c_str(), sd_bus_message_get_path(m));
}

int MprisBusObject::HandleProperties(sd_bus_message* m, std::string_view member, std::string_view signature)
{
    const char* target = "";
    if (!signature.empty() && signature[0] == 's')
        sd_bus_message_read_basic(m, 's', &target);
    ValueMap properties = target == kRootInterface     ? RootProperties()
                          : target == kPlayerInterface ? PlayerProperties()
                                                       : ValueMap();
    if (member == "GetAll" && signature == "s")
        return ReplyProperties(m, properties);
    if (member == "Get" && signature == "ss") {
        const char* name = "";
        sd_bus_message_read_basic(m, 's', &name);
        auto it = properties.find(name);
        if (it == properties.end())
            return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_INVALID_ARGS, "no such property: %s", name);
        sd_bus_message* reply = nullptr;
        int r = sd_bus_message_new_method_return(m, &reply);
        r = r < 0 ? r : AppendValue(reply, it->second);
        r = r < 0 ? r : sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    }
    if (member == "Set" && signature == "ssv") {
        const char* name = "";
        SetValue value;
        std::string nameCopy;
        int r = sd_bus_message_read_basic(m, 's', &name);
        nameCopy = r < 0 ? "" : name;
        r = r < 0 ? r : ReadSetValue(m, value);
        if (r < 0 || target != kPlayerInterface || !SetProperty(nameCopy, value))
            r = sd_bus_reply_method_errorf(m, SD_BUS_ERROR_PROPERTY_READ_ONLY, "read-only: %s", nameCopy.c_str());
        else
            r = sd_bus_reply_method_return(m, "");
        Poll();
        return r;
    }
    return NoSuchMethod(m, kPropertiesInterface);
}

int MprisBusObject::AnswerObjectXml(sd_bus_message* m, std::string_view path)
{
    std::string xml = kObjectXmlHead;
    if (path == kObjectPath) {
        xml += kObjectXml;
        xml += kObjectXmlTail;
    } else {
        // An ancestor of the object: it names the next step down.
        std::string_view below = std::string_view(kObjectPath).substr(path.size() == 1 ? 1 : path.size() + 1);
        xml += kObjectXmlTail;
        xml += "  <node name=\"" + std::string(below.substr(0, below.find('/'))) + "\"/>\n";
    }
    xml += "</node>\n";
    return sd_bus_reply_method_return(m, "s", xml.c_str());
}

int MprisBusObject::Handle(sd_bus_message* m)
{
    std::string_view path = sd_bus_message_get_path(m);
    const char* interfaceText = sd_bus_message_get_interface(m);
    std::string_view interface = interfaceText ? interfaceText : "";
    std::string_view member = sd_bus_message_get_member(m);
    std::string_view signature = sd_bus_message_get_signature(m, 1);
    if (m_closed)
        return 0;
    bool object = path == kObjectPath;
    bool ancestor = path.size() < std::strlen(kObjectPath) && std::string_view(kObjectPath).starts_with(path) &&
                    (path == "/" || kObjectPath[path.size()] == '/');
    if (!object && !ancestor)
        return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_UNKNOWN_OBJECT, "No such object path '%s'",
                                          std::string(path).c_str());
    if (interface.empty() || interface == kObjectXmlInterface) {
        if (member == "Introspect" && signature.empty())
            return AnswerObjectXml(m, path);
        if (!interface.empty())
            return NoSuchMethod(m, interface);
    }
    if (ancestor)
        return NoSuchInterface(m, interface);
    if (interface == kPropertiesInterface)
        return HandleProperties(m, member, signature);
    if (interface == kRootInterface || (interface.empty() && (member == "Raise" || member == "Quit"))) {
        if (member == "Raise") {
            if (m_player.CanRaise())
                m_player.Raise();
        } else if (member == "Quit") {
            // Answer first: the shutdown ends the event loop.
            int r = sd_bus_reply_method_return(m, "");
            m_loop.Post([self = weak_from_this()] {
                if (auto object = self.lock())
                    object->m_player.Quit();
            });
            return r;
        } else {
            return NoSuchInterface(m, interface);
        }
        return sd_bus_reply_method_return(m, "");
    }
    if (interface == kPlayerInterface || interface.empty()) {
        int replied = 0;
        if (!RunPlayerMethod(m, member, signature, replied))
            return NoSuchInterface(m, interface);
        Poll();
        return replied ? replied : sd_bus_reply_method_return(m, "");
    }
    return NoSuchInterface(m, interface);
}

void MprisBusObject::Poll()
{
    if (m_closed || !m_bus)
        return;
    ValueMap now = PlayerProperties();
    now.erase("Position"); // announced through Seeked only
    ValueMap changed;
    for (const auto& [name, value] : now) {
        auto it = m_announced.find(name);
        if (it == m_announced.end() || !(it->second == value))
            changed.emplace(name, value);
    }
    if (changed.empty())
        return;
    bool first = m_announced.empty();
    m_announced = std::move(now);
    if (first)
        return;
    sd_bus_message* signal = nullptr;
    if (sd_bus_message_new_signal(m_bus, &signal, kObjectPath, kPropertiesInterface.data(), "PropertiesChanged") < 0)
        return;
    int r = sd_bus_message_append_basic(signal, 's', kPlayerInterface.data());
    r = r < 0 ? r : AppendBare(signal, Value::Map(std::move(changed)));
    r = r < 0 ? r : sd_bus_message_append_strv(signal, nullptr);
    if (r < 0) {
        sd_bus_message_unref(signal);
        return;
    }
    Send(signal);
}

bool MprisBusObject::Register()
{
    // Every path, so that the nodes above the object describe themselves too.
    if (sd_bus_add_fallback(m_bus, &m_slot, "/", &MprisBusObject::OnMessage, this) < 0) {
        std::fprintf(stderr, "lumetra: %s is taken on the session bus: no MPRIS control\n", kObjectPath);
        return false;
    }
    // Asked without waiting: a bus that is slow to answer never holds the player up.
    if (!RequestName(kServiceName))
        return false;
    Poll();
    Rearm();
    return true;
}

bool MprisBusObject::RequestName(const std::string& name)
{
    m_nameSlot = sd_bus_slot_unref(m_nameSlot);
    int r = sd_bus_request_name_async(m_bus, &m_nameSlot, name.c_str(), 0, &MprisBusObject::OnName, this);
    if (r < 0)
        std::fprintf(stderr, "lumetra: no MPRIS name on the session bus: %s\n", std::strerror(-r));
    return r >= 0;
}

int MprisBusObject::OnName(sd_bus_message* m, void* self, sd_bus_error*)
{
    auto* object = static_cast<MprisBusObject*>(self);
    constexpr uint32_t kExists = 3; // another process owns the name
    uint32_t result = 0;
    const sd_bus_error* error = sd_bus_message_get_error(m);
    if (!error)
        sd_bus_message_read_basic(m, 'u', &result);
    if (!error && result != kExists)
        return 1;
    if (!error && !object->m_instanceAsked) {
        // A second player on the same bus takes the name with its process id.
        object->m_instanceAsked = true;
        if (!object->RequestName(std::string(kServiceName) + ".instance" + std::to_string(::getpid())))
            object->Close();
        return 1;
    }
    std::fprintf(stderr, "lumetra: no MPRIS name on the session bus: %s\n", error ? error->message : "taken");
    object->Close();
    return 1;
}

void MprisBusObject::Drive()
{
    if (!m_bus)
        return;
    if (m_processing) {
        // A handler runs a nested loop (a dialog): sd-bus may not be entered
        // again, and the still readable connection would spin it.
        m_loop.Unwatch(m_watch);
        m_watch = 0;
        return;
    }
    m_processing = true;
    int r;
    do
        r = sd_bus_process(m_bus, nullptr);
    while (r > 0 && !m_closed);
    m_processing = false;
    if (r < 0) {
        std::fprintf(stderr, "lumetra: the session bus connection ended (%s): no MPRIS control\n", std::strerror(-r));
        m_closed = true;
    }
    if (m_closed)
        Leave();
    else
        Rearm();
}

void MprisBusObject::Rearm()
{
    if (!m_bus)
        return;
    if (!m_watch)
        m_watch = m_loop.WatchReadable(sd_bus_get_fd(m_bus), [this] { Drive(); });
    if (m_timer)
        m_loop.StopTimer(m_timer);
    m_timer = 0;
    uint64_t due = UINT64_MAX;
    sd_bus_get_timeout(m_bus, &due);
    int64_t ms = -1;
    // The socket is full: try the rest again shortly.
    if (sd_bus_get_events(m_bus) & POLLOUT)
        ms = 10;
    if (due != UINT64_MAX) {
        int64_t left = due == 0 ? 0 : (static_cast<int64_t>(due) - MonotonicUs() + 999) / 1000;
        left = std::clamp<int64_t>(left, 0, 24 * 3600 * 1000);
        ms = ms < 0 ? left : std::min(ms, left);
    }
    if (ms >= 0)
        m_timer = m_loop.StartTimer(static_cast<int>(ms), false, [this] {
            m_timer = 0;
            Drive();
        });
}

void MprisBusObject::Leave()
{
    if (!m_bus)
        return;
    // The loop may be gone when the program ends without the shutdown step.
    if (m_player.Loop() == &m_loop) {
        if (m_watch)
            m_loop.Unwatch(m_watch);
        if (m_timer)
            m_loop.StopTimer(m_timer);
    }
    m_watch = m_timer = 0;
    m_slot = sd_bus_slot_unref(m_slot);
    m_nameSlot = sd_bus_slot_unref(m_nameSlot);
    // Sends what is queued (the reply to Quit), for a second at most, then leaves:
    // the names go with the connection.
    for (int i = 0; i < 100 && sd_bus_is_ready(m_bus) > 0 && (sd_bus_get_events(m_bus) & POLLOUT); ++i) {
        pollfd out{sd_bus_get_fd(m_bus), POLLOUT, 0};
        ::poll(&out, 1, 10);
        sd_bus_process(m_bus, nullptr);
    }
    m_bus = sd_bus_close_unref(m_bus);
}

std::shared_ptr<MprisBus> Start(MprisPlayer& player)
{
    platform::MainLoop* loop = player.Loop();
    if (!loop) {
        std::fprintf(stderr, "lumetra: no event loop: no MPRIS control\n");
        return nullptr;
    }
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r < 0) {
        std::fprintf(stderr, "lumetra: the session bus does not answer (%s): no MPRIS control\n", std::strerror(-r));
        return nullptr;
    }
    auto object = std::make_shared<MprisBusObject>(player, *loop, bus);
    if (!object->Register())
        return nullptr;
    return object;
}

} // namespace
} // namespace lumetra::app

extern "C" __attribute__((visibility("default"))) const void* lumetra_mpris_module()
{
    static const lumetra::app::MprisModuleTable table{sizeof(lumetra::app::MprisModuleTable), lumetra::app::Start};
    return &table;
}
