// The bus module on a private dbus-daemon and the loop without Qt: a client
// on its own connection drives the player the way desktops do.
#include "app/mpris_bus.h"
#include "platform/loop/poll_main_loop.h"
#include "platform/module_loader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

namespace lumetra::app {
namespace {

class FakePlayer final : public MprisPlayer {
public:
    MprisState State() override { return state; }
    void Command(const std::string& line) override
    {
        std::lock_guard hold(lock);
        commands += line + ";";
    }
    bool CanRaise() const override { return false; }
    void Raise() override {}
    void Quit() override { loop.Quit(7); }
    std::vector<std::string> MimeTypes() const override { return {"audio/mpeg"}; }
    platform::MainLoop* Loop() const override { return const_cast<platform::PollMainLoop*>(&loop); }

    std::string Take()
    {
        std::lock_guard hold(lock);
        return std::exchange(commands, "");
    }

    platform::PollMainLoop loop;
    MprisState state;
    std::mutex lock;
    std::string commands;
};

struct Call {
    const char* path;
    const char* interface;
    const char* member;
    const char* types; // one argument at most
    const char* text;
    int64_t number;
    const char* expected; // the commands run, or the error name and message
};

TEST(MprisBusTest, DesktopCallsRunCommandsOrAnswerErrors)
{
    FILE* daemon = ::popen("exec dbus-daemon --session --nofork --print-address=1 --print-pid=1 2>/dev/null", "r");
    char address[512] = "", pid[32] = "";
    if (!daemon || !std::fgets(address, sizeof address, daemon) || !std::fgets(pid, sizeof pid, daemon))
        GTEST_SKIP() << "no dbus-daemon";
    std::shared_ptr<void> stop(nullptr, [&](void*) {
        ::kill(std::atoi(pid), SIGTERM);
        ::pclose(daemon);
    });
    address[std::strcspn(address, "\n")] = 0;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);

    FakePlayer player;
    player.state.playback = MprisState::Playing;
    player.state.loaded = true;
    player.state.path = "/tmp/a b\xff.mp3";
    player.state.title = "T\xe9";
    player.state.lengthUs = 10'000'000;
    player.state.positionUs = 1'000'000;
    std::string error;
    auto table = static_cast<const MprisModuleTable*>(
        platform::LoadModuleTable("lumetra-mpris.so", LUMETRA_MPRIS_DIR, "lumetra_mpris_module", error));
    ASSERT_TRUE(table) << error;
    std::shared_ptr<MprisBus> bus = table->start(player);
    ASSERT_TRUE(bus);

    const char* o = "/org/mpris/MediaPlayer2";
    const char* p = "org.mpris.MediaPlayer2.Player";
    const char* props = "org.freedesktop.DBus.Properties";
    const Call calls[] = {
        {o, p, "PlayPause", "", "", 0, "pause;"},
        {o, p, "Seek", "x", "", 2'000'000, "seek 3.000;"},
        {o, p, "Seek", "x", "", 9'500'000, "next;"},
        {o, p, "SetPosition", "o", "/org/lumetra/track/2", 0, ""},
        {o, p, "OpenUri", "s", "file:///tmp/a%20b.mp3?x", 0, "play /tmp/a b.mp3;"},
        {o, p, "OpenUri", "s", "http://127.0.0.1/a.mp3", 0,
         "org.freedesktop.DBus.Error.NotSupported only file: addresses are opened"},
        {o, props, "Set", "d", "Volume", 0, "volume 32768;"},
        {o, props, "Set", "b", "Shuffle", 1, "shuffle;"},
        {o, props, "Set", "d", "Identity", 0, "org.freedesktop.DBus.Error.PropertyReadOnly read-only: Identity"},
        {o, props, "Get", "", "Nope", 0, "org.freedesktop.DBus.Error.InvalidArgs no such property: Nope"},
        {o, p, "Nope", "", "", 0,
         "org.freedesktop.DBus.Error.UnknownInterface No such interface 'org.mpris.MediaPlayer2.Player' at "
         "object path '/org/mpris/MediaPlayer2'"},
        {"/nope", p, "Play", "", "", 0, "org.freedesktop.DBus.Error.UnknownObject No such object path '/nope'"},
    };
    std::string metadata;
    // The name is asked for without waiting: the loop takes it.
    sd_bus* c = nullptr;
    ASSERT_GE(sd_bus_open_user(&c), 0);
    int owned = 0;
    for (int i = 0; i < 500 && !owned; ++i) {
        player.loop.ProcessEvents(10);
        sd_bus_message* reply = nullptr;
        sd_bus_call_method(c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                           nullptr, &reply, "s", "org.mpris.MediaPlayer2.lumetra");
        sd_bus_message_read(reply, "b", &owned);
        sd_bus_message_unref(reply);
    }
    ASSERT_TRUE(owned);
    std::thread client([&] {
        for (const Call& call : calls) {
            sd_bus_message *m = nullptr, *reply = nullptr;
            sd_bus_error e = SD_BUS_ERROR_NULL;
            sd_bus_message_new_method_call(c, &m, "org.mpris.MediaPlayer2.lumetra", call.path, call.interface,
                                           call.member);
            std::string_view member = call.member, types = call.types;
            if (call.interface == std::string_view(props))
                sd_bus_message_append(m, "ss", p, call.text);
            if (member == "Set" && types == "d")
                sd_bus_message_append(m, "v", "d", 0.5);
            else if (member == "Set")
                sd_bus_message_append(m, "v", "b", static_cast<int>(call.number));
            else if (types == "x")
                sd_bus_message_append(m, "x", call.number);
            else if (types == "o")
                sd_bus_message_append(m, "ox", call.text, call.number);
            else if (types == "s")
                sd_bus_message_append(m, "s", call.text);
            sd_bus_call(c, m, 0, &e, &reply);
            std::string got = sd_bus_error_is_set(&e) ? std::string(e.name) + " " + e.message : player.Take();
            EXPECT_EQ(got, call.expected) << call.member << " " << call.text;
            sd_bus_error_free(&e);
            sd_bus_message_unref(m);
            sd_bus_message_unref(reply);
        }
        // The texts of the metadata, made valid UTF-8 and the path an address.
        sd_bus_message* reply = nullptr;
        sd_bus_get_property(c, "org.mpris.MediaPlayer2.lumetra", o, p, "Metadata", nullptr, &reply, "a{sv}");
        sd_bus_message_enter_container(reply, 'a', "{sv}");
        while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
            const char *key = "", *text = "";
            sd_bus_message_read(reply, "s", &key);
            if (sd_bus_message_read(reply, "v", "s", &text) < 0)
                sd_bus_message_skip(reply, "v");
            metadata += std::string(key) + "=" + text + ";";
            sd_bus_message_exit_container(reply);
        }
        sd_bus_message_unref(reply);
        sd_bus_call_method(c, "org.mpris.MediaPlayer2.lumetra", o, "org.mpris.MediaPlayer2", "Quit", nullptr, nullptr,
                           "");
        sd_bus_flush_close_unref(c);
    });
    EXPECT_EQ(player.loop.Run(), 7);
    client.join();
    EXPECT_EQ(metadata, "mpris:length=;mpris:trackid=;xesam:title=T\xEF\xBF\xBD;xesam:url=file:///tmp/a%20b%FF.mp3;");
    bus->Close();
}

} // namespace
} // namespace lumetra::app
