// Clicks on the transport controls drive the real engine (file sound device),
// and what they did shows in the lamp, digit and button cells.

#include "app/headless_commands.h"
#include "app/main_window.h"
#include "app/player_control.h"
#include "platform/audio/wave_out.h"
#include "ui/control_ids.h"
#include "ui/player_window.h"
#include "ui/qt_main_loop.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace lumetra::ui {
namespace {

namespace fs = std::filesystem;

class WindowTransportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = fs::temp_directory_path() / ("lumetra-window-" + std::to_string(::getpid()));
        fs::create_directories(s_dir);
        // Two 8-second tones made by the usual tools.
        for (const char* name : {"a", "b"}) {
            std::string wav = (s_dir / name).string() + ".wav";
            std::string cmd = "sox -q -n -r 44100 -c 2 -b 16 '" + wav + "' synth 8 sine " +
                              (name[0] == 'a' ? "440" : "660") + " && lame --quiet -b 128 '" + wav + "' '" +
                              (s_dir / name).string() + ".mp3'";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
        setenv("LUMETRA_AUDIO", ("file:" + (s_dir / "out.wav").string()).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_CONFIG_HOME", (s_dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (s_dir / "data").c_str(), 1);
        fs::create_directories(s_dir / "drives");
        setenv("LUMETRA_DRIVES", (s_dir / "drives").c_str(), 1);
        setenv("LUMETRA_CDROM", "", 1);
        static int argc = 1;
        static char name[] = "window_transport_test";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
        static QtMainLoop loop;
        platform::InstallMainLoop(&loop);
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }

    template <typename Pred>
    static bool WaitFor(Pred pred)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            if (pred())
                return true;
            QTest::qWait(5);
        }
        return false;
    }

    static void Click(PlayerWindow& window, int id)
    {
        QWidget* control = window.ControlWidget(id);
        ASSERT_GT(control->width(), 0) << id;
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
        window.RefreshControls();
    }

    // The control's pixels equal cell (column, row) of skin bitmap index.
    static void ExpectCell(PlayerWindow& window, int id, int index, int columns, int rows, int column, int row)
    {
        QImage shown = window.ControlWidget(id)->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPixmap& bitmap = window.SkinPictures().Bitmap(index);
        int w = bitmap.width() / columns, h = bitmap.height() / rows;
        QImage cell = bitmap.copy(column * w, row * h, w, h).toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown, cell) << "control " << id << " expected cell " << column << "," << row;
    }

    static fs::path s_dir;
};

fs::path WindowTransportTest::s_dir;

TEST_F(WindowTransportTest, ClicksPlayPauseStepAndStop)
{
    engine::Engine& engine = engine::TheEngine();
    app::MainWindow messages;
    engine.SetMainWindow(&messages);
    engine.Start();
    app::PlayerControl player(engine);
    app::RegisterAllHeadlessCommands(player, platform::audio::TheAudioSystem().LineMixer());
    messages.SetHandler(953, [&player](intptr_t wParam, intptr_t) { player.EndOfTrack(wParam); });
    PlayerWindow window(engine, false);
    window.Attach(player, [] {});
    ASSERT_TRUE(player.AddEntry((s_dir / "a.mp3").string()));
    ASSERT_TRUE(player.AddEntry((s_dir / "b.mp3").string()));
    player.SelectRow(0);
    window.RefreshControls();
    ExpectCell(window, kStateLamp, 41, 4, 1, 3, 0); // idle
    ExpectCell(window, kTrackUnits, 39, 10, 1, 0, 0);

    Click(window, kPlay);
    ASSERT_TRUE(WaitFor([&] { return engine.State() == engine::kStatePlaying && engine.PlayedPosition() > 44100; }));
    window.RefreshControls();
    ExpectCell(window, kPlay, 24, 1, 2, 0, 1);
    ExpectCell(window, kStateLamp, 41, 4, 1, 0, 0);
    ExpectCell(window, kTrackUnits, 39, 10, 1, 1, 0);
    ExpectCell(window, kSecondsUnits, 39, 10, 1, engine.PlayedPosition() / 44100 % 10, 0);

    Click(window, kPause);
    ASSERT_TRUE(WaitFor([&] { return engine.State() == engine::kStatePaused; }));
    ExpectCell(window, kPause, 23, 1, 2, 0, 1);
    ExpectCell(window, kPlay, 24, 1, 2, 0, 0);
    ExpectCell(window, kStateLamp, 41, 4, 1, 1, 0);
    const int64_t pausedAt = engine.PlayedPosition();
    QTest::qWait(300);
    EXPECT_EQ(engine.PlayedPosition(), pausedAt);

    Click(window, kPlay);
    ASSERT_TRUE(WaitFor([&] { return engine.PlayedPosition() > pausedAt; }));
    ExpectCell(window, kStateLamp, 41, 4, 1, 0, 0);

    Click(window, kFfwd);
    ASSERT_TRUE(WaitFor([&] { return player.Index() == 1 && engine.State() == engine::kStatePlaying; }));
    ExpectCell(window, kTrackUnits, 39, 10, 1, 2, 0);
    ExpectCell(window, kFfwd, 32, 1, 2, 0, 0);

    // Within its first two seconds FBWD goes to the previous row.
    Click(window, kFbwd);
    ASSERT_TRUE(WaitFor([&] { return player.Index() == 0 && engine.State() == engine::kStatePlaying; }));
    ExpectCell(window, kTrackUnits, 39, 10, 1, 1, 0);

    Click(window, kMute);
    EXPECT_TRUE(engine.Volume().Muted());
    ExpectCell(window, kMute, 22, 1, 2, 0, 1);
    Click(window, kMute);
    ExpectCell(window, kMute, 22, 1, 2, 0, 0);

    Click(window, kStop);
    ASSERT_TRUE(WaitFor([&] { return engine.State() == engine::kStateStopped; }));
    ExpectCell(window, kStop, 33, 1, 2, 0, 1);
    ExpectCell(window, kStateLamp, 41, 4, 1, 2, 0);
    ExpectCell(window, kTrackUnits, 39, 10, 1, 0, 0);

    // The knob dragged far beyond both ends stays within 0..65535 and its 31 cells.
    QWidget* knob = window.ControlWidget(kKnob);
    QPoint centre = knob->rect().center();
    for (QPoint far : {QPoint(centre.x() - 2, 3000), QPoint(centre.x() + 2, -3000), QPoint(-3000, centre.y())}) {
        QTest::mousePress(knob, Qt::LeftButton, {}, centre + QPoint(-20, 0));
        QMouseEvent move(QEvent::MouseMove, QPointF(far), knob->mapToGlobal(QPointF(far)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(knob, &move);
        QTest::mouseRelease(knob, Qt::LeftButton, {}, far);
        uint32_t volume = engine.Volume().Volume();
        EXPECT_LE(volume & 0xFFFF, 65535u);
        EXPECT_EQ(volume & 0xFFFF, volume >> 16);
        ExpectCell(window, kKnob, 45, 31, 1, std::min<int>(30, (volume & 0xFFFF) >> 11), 0);
    }

    window.Detach();
    engine.Shutdown();
    // The file device wrote what was played.
    EXPECT_GT(fs::file_size(s_dir / "out.wav"), 44u + 44100u * 4u);
}

// A dropped folder adds the playable files under it, in path order; other files
// are left out and dropped files are added as they are.
TEST_F(WindowTransportTest, DroppedFolderAddsItsPlayableFiles)
{
    fs::path drop = s_dir / "drop";
    fs::create_directories(drop / "inner");
    fs::copy_file(s_dir / "b.mp3", drop / "1.mp3");
    fs::copy_file(s_dir / "a.wav", drop / "inner" / "2.wav");
    std::ofstream(drop / "notes.txt") << "not sound";
    app::PlayerControl player(engine::TheEngine());
    PlayerWindow window(engine::TheEngine(), false);
    window.Attach(player, [] {});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(drop.string())),
                  QUrl::fromLocalFile(QString::fromStdString((s_dir / "a.mp3").string()))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent event(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
    ASSERT_EQ(player.RowCount(), 3);
    EXPECT_EQ(player.Playlist().RowText(0), (drop / "1.mp3").string());
    EXPECT_EQ(player.Playlist().RowText(1), (drop / "inner" / "2.wav").string());
    EXPECT_EQ(player.Playlist().RowText(2), (s_dir / "a.mp3").string());
    window.Detach();
}

} // namespace
} // namespace lumetra::ui
