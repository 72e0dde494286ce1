#include "app/mpris_service.h"
#include "app/headless.h"
#include "app/headless_registry.h"
#include "app/player_control.h"
#include "engine/media_item_text.h"
#include "platform/desktop/desktop_integration.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumetra::app {
namespace {

const QString kObjectPath = "/org/mpris/MediaPlayer2";
const QString kRootInterface = "org.mpris.MediaPlayer2";
const QString kPlayerInterface = "org.mpris.MediaPlayer2.Player";
const QString kPropertiesInterface = "org.freedesktop.DBus.Properties";
const QString kServiceName = "org.mpris.MediaPlayer2.lumetra";
const QString kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

constexpr const char* kIntrospection = R"(<interface name="org.mpris.MediaPlayer2">
<method name="Raise"/><method name="Quit"/>
<property name="CanQuit" type="b" access="read"/><property name="CanRaise" type="b" access="read"/>
<property name="HasTrackList" type="b" access="read"/><property name="Identity" type="s" access="read"/>
<property name="DesktopEntry" type="s" access="read"/>
<property name="SupportedUriSchemes" type="as" access="read"/>
<property name="SupportedMimeTypes" type="as" access="read"/>
</interface>
<interface name="org.mpris.MediaPlayer2.Player">
<method name="Next"/><method name="Previous"/><method name="Pause"/><method name="PlayPause"/>
<method name="Stop"/><method name="Play"/>
<method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
<method name="SetPosition"><arg name="TrackId" type="o" direction="in"/><arg name="Position" type="x" direction="in"/></method>
<method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
<signal name="Seeked"><arg name="Position" type="x"/></signal>
<property name="PlaybackStatus" type="s" access="read"/><property name="LoopStatus" type="s" access="readwrite"/>
<property name="Rate" type="d" access="readwrite"/><property name="Shuffle" type="b" access="readwrite"/>
<property name="Metadata" type="a{sv}" access="read"/><property name="Volume" type="d" access="readwrite"/>
<property name="Position" type="x" access="read"/><property name="MinimumRate" type="d" access="read"/>
<property name="MaximumRate" type="d" access="read"/><property name="CanGoNext" type="b" access="read"/>
<property name="CanGoPrevious" type="b" access="read"/><property name="CanPlay" type="b" access="read"/>
<property name="CanPause" type="b" access="read"/><property name="CanSeek" type="b" access="read"/>
<property name="CanControl" type="b" access="read"/>
</interface>
)";

// libdbus would otherwise try to start a bus of its own (autolaunch) when no
// address is given and no per-user bus socket exists.
bool SessionBusConfigured()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

QVariant ObjectPath(const QString& path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

} // namespace

class MprisObject : public QDBusVirtualObject {
public:
    MprisObject(PlayerControl& player, MprisService::Hooks hooks, QDBusConnection bus)
        : m_player(player), m_hooks(std::move(hooks)), m_bus(std::move(bus))
    {
    }

    QString introspect(const QString& path) const override { return path == kObjectPath ? kIntrospection : ""; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    void Poll();
    void Close() { m_closed = true; }

private:
    QVariantMap RootProperties() const;
    QVariantMap PlayerProperties();
    QVariantMap Metadata();
    qlonglong PositionUs();
    qlonglong LengthUs();
    bool Loaded();
    bool RunPlayerMethod(const QDBusMessage& message, QDBusMessage& reply);
    bool SetProperty(const QString& name, const QVariant& value);
    void Command(const std::string& line) { DispatchHeadlessLine(line); }
    void SeekToUs(qlonglong position);

    PlayerControl& m_player;
    MprisService::Hooks m_hooks;
    QDBusConnection m_bus;
    bool m_closed = false;
    // What was last announced, to send only changes.
    QVariantMap m_announced;
    std::string m_trackPath;
    int m_trackNumber = 0;
};

bool MprisObject::Loaded()
{
    const MediaItem& item = m_player.Engine().CurrentItem();
    return item.layer != -1 && item.path[0] != '\0';
}

qlonglong MprisObject::LengthUs()
{
    const MediaItem& item = m_player.Engine().CurrentItem();
    if (!Loaded() || item.sampleRate <= 0 || item.totalSamples <= 0)
        return 0;
    return static_cast<qlonglong>(item.totalSamples) * 1000000 / item.sampleRate;
}

qlonglong MprisObject::PositionUs()
{
    engine::Engine& engine = m_player.Engine();
    std::lock_guard lock(engine.Lock());
    const MediaItem& item = engine.CurrentItem();
    if (item.sampleRate <= 0 || !Loaded())
        return 0;
    return static_cast<qlonglong>(engine.PlayedPosition()) * 1000000 / item.sampleRate;
}

QVariantMap MprisObject::Metadata()
{
    engine::Engine& engine = m_player.Engine();
    std::lock_guard lock(engine.Lock());
    QVariantMap map;
    if (!Loaded()) {
        map["mpris:trackid"] = ObjectPath(kNoTrack);
        return map;
    }
    const MediaItem& item = engine.CurrentItem();
    // A new path is a new track; the number keeps the ids apart.
    if (m_trackPath != item.path) {
        m_trackPath = item.path;
        ++m_trackNumber;
    }
    map["mpris:trackid"] = ObjectPath("/org/lumetra/track/" + QString::number(m_trackNumber));
    map["xesam:title"] = QString::fromStdString(engine::ItemDisplayName(item, item.path));
    std::string performer(item.performer, strnlen(item.performer, sizeof item.performer));
    if (!performer.empty() && performer != "performer n/a")
        map["xesam:artist"] = QStringList{QString::fromStdString(performer)};
    QString path = QString::fromLocal8Bit(item.path);
    map["xesam:url"] = path.startsWith('/') ? QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) : path;
    if (qlonglong length = LengthUs(); length > 0)
        map["mpris:length"] = length;
    return map;
}

QVariantMap MprisObject::RootProperties() const
{
    QStringList types;
    for (const std::string& type : platform::DesktopMimeTypes())
        types << QString::fromStdString(type);
    return {{"CanQuit", true},
            {"CanRaise", static_cast<bool>(m_hooks.raise)},
            {"HasTrackList", false},
            {"Identity", "Lumetra Media Player"},
            {"DesktopEntry", "lumetra"},
            {"SupportedUriSchemes", QStringList{"file"}},
            {"SupportedMimeTypes", types}};
}

QVariantMap MprisObject::PlayerProperties()
{
    std::lock_guard lock(m_player.Engine().Lock());
    const char* status = "Stopped";
    switch (m_player.Engine().State()) {
    case engine::kStatePlaying:
        status = "Playing";
        break;
    case engine::kStatePaused:
        status = "Paused";
        break;
    default:
        break;
    }
    bool loaded = Loaded();
    return {{"PlaybackStatus", status},
            {"LoopStatus", m_player.Repeat() ? "Playlist" : "None"},
            {"Rate", 1.0},
            {"Shuffle", m_player.Shuffle()},
            {"Metadata", Metadata()},
            {"Volume", m_player.Volume() / 65535.0},
            {"Position", PositionUs()},
            {"MinimumRate", 1.0},
            {"MaximumRate", 1.0},
            {"CanGoNext", true},
            {"CanGoPrevious", true},
            {"CanPlay", loaded || m_player.RowCount() > 0},
            {"CanPause", true},
            {"CanSeek", loaded && LengthUs() > 0},
            {"CanControl", true}};
}

void MprisObject::SeekToUs(qlonglong position)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(position) / 1e6);
    Command(std::string("seek ") + seconds);
    m_bus.send(QDBusMessage::createSignal(kObjectPath, kPlayerInterface, "Seeked") << PositionUs());
}

bool MprisObject::RunPlayerMethod(const QDBusMessage& message, QDBusMessage& reply)
{
    const QString member = message.member();
    const QVariantList args = message.arguments();
    if (member == "Play") {
        Command("play");
    } else if (member == "Pause") {
        Command("pause");
    } else if (member == "PlayPause") {
        Command(m_player.Engine().State() == engine::kStatePlaying ? "pause" : "play");
    } else if (member == "Stop") {
        Command("stop");
    } else if (member == "Next") {
        Command("next");
    } else if (member == "Previous") {
        Command("prev");
    } else if (member == "Seek" && message.signature() == "x") {
        if (!Loaded())
            return true;
        qlonglong target = PositionUs() + args[0].toLongLong();
        if (target >= LengthUs())
            Command("next");
        else
            SeekToUs(std::max<qlonglong>(0, target));
    } else if (member == "SetPosition" && message.signature() == "ox") {
        QString track = qvariant_cast<QDBusObjectPath>(args[0]).path();
        qlonglong position = args[1].toLongLong();
        QVariant current = Metadata().value("mpris:trackid");
        if (track == qvariant_cast<QDBusObjectPath>(current).path() && position >= 0 && position <= LengthUs())
            SeekToUs(position);
    } else if (member == "OpenUri" && message.signature() == "s") {
        QUrl url(args[0].toString());
        if (!url.isLocalFile()) {
            reply = message.createErrorReply(QDBusError::NotSupported, "only file: addresses are opened");
            return true;
        }
        std::string path = url.toLocalFile().toLocal8Bit().toStdString();
        if (path.find('\n') == std::string::npos && path.size() <= 4096)
            Command("play " + path);
    } else {
        return false;
    }
    return true;
}

bool MprisObject::SetProperty(const QString& name, const QVariant& value)
{
    if (name == "Volume") {
        double volume = std::clamp(value.toDouble(), 0.0, 1.0);
        if (std::isfinite(volume))
            Command("volume " + std::to_string(std::lround(volume * 65535)));
    } else if (name == "Shuffle") {
        if (value.toBool() != m_player.Shuffle())
            Command("shuffle");
    } else if (name == "LoopStatus") {
        if ((value.toString() != "None") != m_player.Repeat())
            Command("repeat");
    } else if (name != "Rate") {
        return false;
    }
    return true;
}

bool MprisObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage || m_closed)
        return false;
    const QString interface = message.interface();
    const QString member = message.member();
    const QVariantList args = message.arguments();
    QDBusMessage reply = message.createReply();
    if (interface == kPropertiesInterface) {
        QString target = args.value(0).toString();
        QVariantMap properties = target == kRootInterface     ? RootProperties()
                                 : target == kPlayerInterface ? PlayerProperties()
                                                              : QVariantMap();
        if (member == "GetAll" && message.signature() == "s") {
            reply = message.createReply(QVariant(properties));
        } else if (member == "Get" && message.signature() == "ss") {
            QString name = args[1].toString();
            if (properties.contains(name))
                reply = message.createReply(QVariant::fromValue(QDBusVariant(properties[name])));
            else
                reply = message.createErrorReply(QDBusError::InvalidArgs, "no such property: " + name);
        } else if (member == "Set" && message.signature() == "ssv") {
            QVariant value = qvariant_cast<QDBusVariant>(args[2]).variant();
            if (target != kPlayerInterface || !SetProperty(args[1].toString(), value))
                reply = message.createErrorReply(QDBusError::PropertyReadOnly, "read-only: " + args[1].toString());
            Poll();
        } else {
            return false;
        }
    } else if (interface == kRootInterface || (interface.isEmpty() && (member == "Raise" || member == "Quit"))) {
        if (member == "Raise") {
            if (m_hooks.raise)
                m_hooks.raise();
        } else if (member == "Quit") {
            // Answer first: the shutdown ends the event loop.
            connection.send(reply);
            QTimer::singleShot(0, [quit = m_hooks.quit] { quit(); });
            return true;
        } else {
            return false;
        }
    } else if (interface == kPlayerInterface || interface.isEmpty()) {
        if (!RunPlayerMethod(message, reply))
            return false;
        Poll();
    } else {
        return false;
    }
    connection.send(reply);
    return true;
}

void MprisObject::Poll()
{
    if (m_closed)
        return;
    QVariantMap now = PlayerProperties();
    now.remove("Position"); // announced through Seeked only
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    bool first = m_announced.isEmpty();
    m_announced = now;
    if (first)
        return;
    m_bus.send(QDBusMessage::createSignal(kObjectPath, kPropertiesInterface, "PropertiesChanged")
               << kPlayerInterface << changed << QStringList());
}

MprisService::MprisService(PlayerControl& player, Hooks hooks)
{
    if (!SessionBusConfigured()) {
        std::fprintf(stderr, "lumetra: no session bus (DBUS_SESSION_BUS_ADDRESS is not set): "
                             "no MPRIS control\n");
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "lumetra: the session bus does not answer (%s): no MPRIS control\n",
                     bus.lastError().message().toLocal8Bit().constData());
        return;
    }
    auto object = std::make_shared<MprisObject>(player, std::move(hooks), bus);
    if (!bus.registerVirtualObject(kObjectPath, object.get())) {
        std::fprintf(stderr, "lumetra: %s is taken on the session bus: no MPRIS control\n",
                     kObjectPath.toLocal8Bit().constData());
        return;
    }
    // A second player on the same bus takes the name with its process id.
    if (!bus.registerService(kServiceName) &&
        !bus.registerService(kServiceName + ".instance" + QString::number(::getpid()))) {
        std::fprintf(stderr, "lumetra: no MPRIS name on the session bus: %s\n",
                     bus.lastError().message().toLocal8Bit().constData());
        bus.unregisterObject(kObjectPath);
        return;
    }
    object->Poll();
    m_object = std::move(object);
    // Every fourth tick: a desktop sees a change within a quarter of a second.
    std::weak_ptr<MprisObject> polled = m_object;
    auto ticks = std::make_shared<int>(0);
    RegisterTimerHook([polled, ticks] {
        if (++*ticks < 4)
            return;
        *ticks = 0;
        if (auto object = polled.lock())
            object->Poll();
    });
    RegisterShutdownStep([polled] {
        if (auto object = polled.lock())
            object->Close();
    });
}

MprisService::~MprisService()
{
    if (!m_object)
        return;
    m_object->Close();
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(kObjectPath);
    bus.unregisterService(kServiceName);
    bus.unregisterService(kServiceName + ".instance" + QString::number(::getpid()));
}

} // namespace lumetra::app
