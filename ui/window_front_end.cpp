#include "app/headless.h"
#include "app/headless_front_end.h"
#include "app/window_entry.h"
#include "engine/engine.h"
#include "platform/audio/wave_out.h"
#include "ui/dialog_presenters.h"
#include "ui/player_window.h"
#include "ui/program_icon.h"
#include "ui/qt_main_loop.h"
#include "ui/settings_dialogs.h"

#include <QApplication>
#include <QFont>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace lumetra::app {
namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A broken display connection is fatal in Qt: say so plainly and end.
void MessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    std::fprintf(stderr, "lumetra: %s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "lumetra: the display is gone; the player ends\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
}

} // namespace

bool DisplayAvailable()
{
    std::string platform = Env("QT_QPA_PLATFORM");
    if (platform.rfind("offscreen", 0) == 0 || platform.rfind("minimal", 0) == 0)
        return true;
    std::string wayland = Env("WAYLAND_DISPLAY");
    if (!wayland.empty()) {
        std::filesystem::path socket = wayland[0] == '/' ? wayland : Env("XDG_RUNTIME_DIR") + "/" + wayland;
        if (std::filesystem::exists(socket))
            return true;
    }
    std::string display = Env("DISPLAY");
    if (display.empty())
        return false;
    // ":N" and "unix:N" are local sockets; any other host is taken on trust.
    size_t colon = display.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix")
        return true;
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    std::error_code error;
    return std::filesystem::exists("/tmp/.X11-unix/X" + number, error);
}

namespace {

// The one application object of the window program, made by the setup dialog
// at start or by the window, whichever comes first; it lives until the exit.
void MakeApplication(int& argc, char** argv)
{
    if (QApplication::instance())
        return;
    qInstallMessageHandler(MessageHandler);
    // Whole scale factors only, so the pixel art scales by nearest neighbour.
    QApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    new QApplication(argc, argv);
    // The menu in the skin's own face, so no second font is loaded for it.
    QFont menuFont("Liberation Sans");
    menuFont.setPixelSize(13);
    QApplication::setFont(menuFont);
    QApplication::setWindowIcon(ui::ProgramIcon());
    QGuiApplication::setDesktopFileName("lumetra");
}

} // namespace

bool ShowSetupBeforeWindow(int& argc, char** argv)
{
    if (!DisplayAvailable())
        return false;
    MakeApplication(argc, argv);
    return ui::ShowSetup() == 1;
}

int RunWindow(int& argc, char** argv, const std::string& commandLineFile, bool control, int handOverFd,
              const std::string& handOverSocket)
{
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "lumetra: no display to show the window on (DISPLAY and WAYLAND_DISPLAY name none); "
                             "run with --headless\n");
        return 1;
    }
    MakeApplication(argc, argv);
    // The player's tasks, timers and files share the window's loop; it lives until the exit.
    static ui::QtMainLoop loop;
    platform::InstallMainLoop(&loop);
    SetEventsEnabled(control);
    // Boxes before the window is up (the sound device's questions) have no owner.
    ui::InstallDialogPresenters(nullptr, control);
    ui::PlayerWindow window(engine::TheEngine(), control);
    if (!window.SkinComplete())
        std::fprintf(stderr, "lumetra: some skin bitmaps are missing\n");
    HeadlessFrontEnd frontEnd(engine::TheEngine(), platform::audio::TheAudioSystem());
    frontEnd.TakeHandOvers(handOverFd, handOverSocket);
    return frontEnd.Run(commandLineFile, &window, control);
}

} // namespace lumetra::app
