// The module's side of the MPRIS service: the object on the session bus.
#include "app/mpris_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

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

QVariant ObjectPath(const QString& path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

} // namespace

class MprisObject final : public QDBusVirtualObject, public MprisBus {
public:
    MprisObject(MprisPlayer& player, QDBusConnection bus) : m_player(player), m_bus(std::move(bus)) {}
    ~MprisObject() override
    {
        m_closed = true;
        m_bus.unregisterObject(kObjectPath);
        m_bus.unregisterService(kServiceName);
        m_bus.unregisterService(kServiceName + ".instance" + QString::number(::getpid()));
    }

    QString introspect(const QString& path) const override { return path == kObjectPath ? kIntrospection : ""; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    void Poll() override;
    void Close() override { m_closed = true; }

private:
    QVariantMap RootProperties() const;
    QVariantMap PlayerProperties();
    QVariantMap Metadata(const MprisState& state);
    bool RunPlayerMethod(const QDBusMessage& message, QDBusMessage& reply);
    bool SetProperty(const QString& name, const QVariant& value);
    void Command(const std::string& line) { m_player.Command(line); }
    void SeekToUs(qlonglong position);

    MprisPlayer& m_player;
    QDBusConnection m_bus;
    bool m_closed = false;
    // What was last announced, to send only changes.
    QVariantMap m_announced;
    std::string m_trackPath;
    int m_trackNumber = 0;
};

QVariantMap MprisObject::Metadata(const MprisState& state)
{
    QVariantMap map;
    if (!state.loaded) {
        map["mpris:trackid"] = ObjectPath(kNoTrack);
        return map;
    }
    // A new path is a new track; the number keeps the ids apart.
    if (m_trackPath != state.path) {
        m_trackPath = state.path;
        ++m_trackNumber;
    }
    map["mpris:trackid"] = ObjectPath("/org/lumetra/track/" + QString::number(m_trackNumber));
    map["xesam:title"] = QString::fromStdString(state.title);
    if (!state.performer.empty())
        map["xesam:artist"] = QStringList{QString::fromStdString(state.performer)};
    QString path = QString::fromLocal8Bit(state.path.c_str());
    map["xesam:url"] = path.startsWith('/') ? QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) : path;
    if (state.lengthUs > 0)
        map["mpris:length"] = static_cast<qlonglong>(state.lengthUs);
    return map;
}

QVariantMap MprisObject::RootProperties() const
{
    QStringList types;
    for (const std::string& type : m_player.MimeTypes())
        types << QString::fromStdString(type);
    return {{"CanQuit", true},
            {"CanRaise", m_player.CanRaise()},
            {"HasTrackList", false},
            {"Identity", "Lumetra Media Player"},
            {"DesktopEntry", "lumetra"},
            {"SupportedUriSchemes", QStringList{"file"}},
            {"SupportedMimeTypes", types}};
}

QVariantMap MprisObject::PlayerProperties()
{
    const MprisState state = m_player.State();
    const char* status = state.playback == MprisState::Playing  ? "Playing"
                         : state.playback == MprisState::Paused ? "Paused"
                                                                : "Stopped";
    return {{"PlaybackStatus", status},
            {"LoopStatus", state.repeat ? "Playlist" : "None"},
            {"Rate", 1.0},
            {"Shuffle", state.shuffle},
            {"Metadata", Metadata(state)},
            {"Volume", state.volume / 65535.0},
            {"Position", static_cast<qlonglong>(state.positionUs)},
            {"MinimumRate", 1.0},
            {"MaximumRate", 1.0},
            {"CanGoNext", true},
            {"CanGoPrevious", true},
            {"CanPlay", state.loaded || state.rowCount > 0},
            {"CanPause", true},
            {"CanSeek", state.loaded && state.lengthUs > 0},
            {"CanControl", true}};
}

void MprisObject::SeekToUs(qlonglong position)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(position) / 1e6);
    Command(std::string("seek ") + seconds);
    m_bus.send(QDBusMessage::createSignal(kObjectPath, kPlayerInterface, "Seeked") << static_cast<qlonglong>(m_player.State().positionUs));
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
        Command(m_player.State().playback == MprisState::Playing ? "pause" : "play");
    } else if (member == "Stop") {
        Command("stop");
    } else if (member == "Next") {
        Command("next");
    } else if (member == "Previous") {
        Command("prev");
    } else if (member == "Seek" && message.signature() == "x") {
        const MprisState state = m_player.State();
        if (!state.loaded)
            return true;
        qlonglong target = state.positionUs + args[0].toLongLong();
        if (target >= state.lengthUs)
            Command("next");
        else
            SeekToUs(std::max<qlonglong>(0, target));
    } else if (member == "SetPosition" && message.signature() == "ox") {
        QString track = qvariant_cast<QDBusObjectPath>(args[0]).path();
        qlonglong position = args[1].toLongLong();
        const MprisState state = m_player.State();
        QVariant current = Metadata(state).value("mpris:trackid");
        if (track == qvariant_cast<QDBusObjectPath>(current).path() && position >= 0 && position <= state.lengthUs)
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
        if (value.toBool() != m_player.State().shuffle)
            Command("shuffle");
    } else if (name == "LoopStatus") {
        if ((value.toString() != "None") != m_player.State().repeat)
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
            if (m_player.CanRaise())
                m_player.Raise();
        } else if (member == "Quit") {
            // Answer first: the shutdown ends the event loop.
            connection.send(reply);
            QTimer::singleShot(0, this, [this] { m_player.Quit(); });
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

namespace {

std::shared_ptr<MprisBus> Start(MprisPlayer& player)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "lumetra: the session bus does not answer (%s): no MPRIS control\n",
                     bus.lastError().message().toLocal8Bit().constData());
        return nullptr;
    }
    auto object = std::make_shared<MprisObject>(player, bus);
    if (!bus.registerVirtualObject(kObjectPath, object.get())) {
        std::fprintf(stderr, "lumetra: %s is taken on the session bus: no MPRIS control\n",
                     kObjectPath.toLocal8Bit().constData());
        return nullptr;
    }
    // A second player on the same bus takes the name with its process id.
    if (!bus.registerService(kServiceName) &&
        !bus.registerService(kServiceName + ".instance" + QString::number(::getpid()))) {
        std::fprintf(stderr, "lumetra: no MPRIS name on the session bus: %s\n",
                     bus.lastError().message().toLocal8Bit().constData());
        bus.unregisterObject(kObjectPath);
        return nullptr;
    }
    object->Poll();
    return object;
}

} // namespace
} // namespace lumetra::app

extern "C" __attribute__((visibility("default"))) const void* lumetra_mpris_module()
{
    static const lumetra::app::MprisModuleTable table{sizeof(lumetra::app::MprisModuleTable), lumetra::app::Start};
    return &table;
}
