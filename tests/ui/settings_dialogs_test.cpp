// The preferences, setup and proxy dialogs on Qt's off-screen platform: what
// they show for the stored settings, and what OK and Cancel store.

#include "platform/registry/registry_store.h"
#include "settings/settings.h"
#include "ui/settings_dialogs.h"
#include "web/proxy_settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <unistd.h>

namespace lumetra::ui {
namespace {

namespace fs = std::filesystem;

class SettingsDialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "settings_dialogs_test";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    void SetUp() override { Fresh(); }
    // An empty settings store and the defaults in memory.
    void Fresh()
    {
        m_dir = fs::temp_directory_path() / ("lumetra-dialogs-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        platform::BindRegistry((m_dir / ("registry" + std::to_string(++m_stores) + ".reg")).string());
        settings::CurrentSettings() = settings::Settings{};
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs open() while act() handles the dialog it shows.
    template <typename Open>
    static void WithDialog(Open open, std::function<void(QDialog&)> act)
    {
        QTimer::singleShot(0, [act] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            act(*dialog);
        });
        open();
    }
    template <typename W>
    static W* Control(QDialog& dialog, int id)
    {
        W* w = dialog.findChild<W*>(QString::number(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    static settings::Settings Stored()
    {
        settings::Settings stored;
        settings::LoadSettings(stored);
        return stored;
    }

    fs::path m_dir;
    int m_stores = 0;
};

TEST_F(SettingsDialogsTest, PreferencesShowAndStoreTheSettings)
{
    struct Case {
        int checkMp3File;
        const char* typed; // into 1051
        int speed;         // chosen in 1034
        bool ok;
        int storedMinWav, storedSpeed;
    };
    for (const Case& c :
         {Case{1, "250", 5, true, 250, 5}, Case{0, "12x45678999", 2, true, 12, 2}, Case{1, "77", 3, false, 1000, 1}}) {
        Fresh();
        settings::CurrentSettings().checkMp3File = c.checkMp3File;
        int result = -1;
        WithDialog([&] { result = ShowPreferences(nullptr); },
                   [&](QDialog& d) {
                       EXPECT_EQ(d.windowTitle(), "Preferences - Lumetra Media Player (tm)");
                       EXPECT_EQ(Control<QLineEdit>(d, 1051)->text(), "1000");
                       EXPECT_EQ(Control<QComboBox>(d, 1034)->currentText(), "28.8/33.6 Modem");
                       auto* defaultPlayer = Control<QCheckBox>(d, 1036);
                       EXPECT_TRUE(defaultPlayer->isHidden());
                       EXPECT_EQ(defaultPlayer->isEnabled(), c.checkMp3File != 1);
                       EXPECT_EQ(defaultPlayer->isChecked(), c.checkMp3File != 0);
                       EXPECT_TRUE(d.findChild<QTimer*>("1398")->isActive()) << "no owner: kept in front";
                       Control<QLineEdit>(d, 1051)->setText(c.typed);
                       Control<QComboBox>(d, 1034)->setCurrentIndex(c.speed);
                       c.ok ? d.accept() : d.reject();
                   });
        EXPECT_EQ(result, c.ok ? 1 : 0);
        settings::Settings stored = Stored();
        EXPECT_EQ(stored.minWavSize, c.storedMinWav) << c.typed;
        EXPECT_EQ(stored.connectionSpeed, c.storedSpeed);
        EXPECT_EQ(stored.checkMp3File, c.ok ? c.checkMp3File : 1) << "hidden boxes carry their values";
    }
}

TEST_F(SettingsDialogsTest, SetupTurnsTheAssociationsOnOrOff)
{
    for (bool keep : {true, false}) {
        settings::CurrentSettings().checkMp3File = 2;
        WithDialog([] { ShowSetup(); },
                   [&](QDialog& d) {
                       EXPECT_EQ(d.windowTitle(), "Lumetra Media Player (tm) Setup");
                       auto* box = Control<QCheckBox>(d, 1036);
                       EXPECT_TRUE(box->isChecked() && box->isEnabled() && !box->isHidden());
                       EXPECT_TRUE(Control<QCheckBox>(d, 1046)->isHidden());
                       box->setChecked(keep);
                       d.accept();
                   });
        EXPECT_EQ(Stored().checkMp3File, keep ? 1 : 0);
    }
}

TEST_F(SettingsDialogsTest, ProxyDialogForAProxyInUseAsksOnlyForTheLogin)
{
    web::WriteProxySettings({"127.0.0.1", "3128", "alice", "old"});
    WithDialog([] { ShowProxyDialog(web::OpenProxyDialogView(true), nullptr); },
               [](QDialog& d) {
                   EXPECT_FALSE(Control<QLineEdit>(d, 1162)->isEnabled());
                   EXPECT_FALSE(Control<QLineEdit>(d, 1163)->isEnabled());
                   EXPECT_EQ(Control<QLabel>(d, 1166)->text(), "Please re-enter the user id and password.");
                   EXPECT_EQ(Control<QLineEdit>(d, 1165)->echoMode(), QLineEdit::Password);
                   d.reject(); // not a way out
                   EXPECT_TRUE(d.isVisible());
                   Control<QLineEdit>(d, 1165)->setText("w0nder-land");
                   d.accept();
               });
    web::ProxySettings stored;
    ASSERT_TRUE(web::ReadProxySettings(stored));
    EXPECT_EQ(stored.password, "w0nder-land");
    EXPECT_EQ(stored.server, "127.0.0.1");
}

} // namespace
} // namespace lumetra::ui
