#include "platform/registry/registry_store.h"
#include "settings/registry_values.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

using namespace lumetra;
using namespace lumetra::settings;

namespace {

class SettingsTest : public testing::Test {
protected:
    void SetUp() override { platform::BindRegistry(""); }
    void Put(const char* name, const char* data)
    {
        WriteRegistryString(RegistryRoot::CurrentUser, std::string(kProgramKey) + name + "=" + data);
    }
};

TEST_F(SettingsTest, DefaultsWithoutAnyKey)
{
    Settings s;
    LoadSettings(s);
    EXPECT_EQ(s.desktopIcon, 1);
    EXPECT_EQ(s.checkMp3File, 1);
    EXPECT_EQ(s.connectionSpeed, 1);
    EXPECT_EQ(s.radioFilter, 0);
    EXPECT_EQ(s.rememberExpanded, 1);
    EXPECT_EQ(s.minWavSize, 1000);
    EXPECT_EQ(LastMessageId(), 0);
}

TEST_F(SettingsTest, StoredValuesReplaceDefaultsAndTextReadsAsZero)
{
    Put("Settings\\MinWavSize", "250");
    Put("Settings\\ConnectionSpeed", "5");
    Put("Settings\\DesktopIcon", "off");
    Settings s;
    LoadSettings(s);
    EXPECT_EQ(s.minWavSize, 250);
    EXPECT_EQ(ConnectionSpeedAt(s.connectionSpeed).name, "Intranet/LAN");
    EXPECT_EQ(s.desktopIcon, 0);
    EXPECT_EQ(s.rememberExpanded, 1);
}

TEST_F(SettingsTest, SaveWritesAllSixAsDecimalText)
{
    Settings s{0, 2, 3, 1, 0, 77};
    SaveSettings(s);
    std::string text;
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, std::string(kProgramKey) + "Settings\\CheckMP3file", text),
              0);
    EXPECT_EQ(text, "2");
    Settings back;
    LoadSettings(back);
    EXPECT_EQ(back.desktopIcon, 0);
    EXPECT_EQ(back.checkMp3File, 2);
    EXPECT_EQ(back.connectionSpeed, 3);
    EXPECT_EQ(back.radioFilter, 1);
    EXPECT_EQ(back.rememberExpanded, 0);
    EXPECT_EQ(back.minWavSize, 77);
}

TEST_F(SettingsTest, LastMessageIdNegativeReadsAsZero)
{
    Put("Settings\\LastMessageID", "-5");
    EXPECT_EQ(LastMessageId(), 0);
    StoreLastMessageId(9);
    EXPECT_EQ(LastMessageId(), 9);
}

} // namespace

#include "settings/preferences.h"

namespace {

TEST_F(SettingsTest, PreferencesOkStoresAndCancelChangesNothing)
{
    Settings s;
    Put("Settings\\ConnectionSpeed", "5");
    LoadSettings(s);
    auto before = platform::Registry().Snapshot();
    PreferencesView view = OpenPreferences(s);
    // Opening (and cancelling) writes nothing.
    EXPECT_TRUE(platform::Registry().Snapshot() == before);
    EXPECT_EQ(kConnectionSpeeds[static_cast<size_t>(view.connectionSpeed)].name, "Intranet/LAN");
    // CheckMP3file 1: ticked and greyed.
    EXPECT_TRUE(view.defaultPlayer);
    EXPECT_FALSE(view.defaultPlayerEnabled);
    EXPECT_EQ(view.minWavSizeText, "1000");
    view.minWavSizeText = "250";
    view.radioFilter = true;
    AcceptPreferences(view, s);
    Settings back;
    LoadSettings(back);
    EXPECT_EQ(back.minWavSize, 250);
    EXPECT_EQ(back.radioFilter, 1);
    EXPECT_EQ(back.connectionSpeed, 5);
    for (auto [text, value] : {std::pair{"12345678", 1234567}, {"abc", 0}, {"  42", 42}, {"", 0}}) {
        view.minWavSizeText = text;
        AcceptPreferences(view, s);
        EXPECT_EQ(s.minWavSize, value) << text;
    }
}

TEST_F(SettingsTest, SetupLeavesCheckAtTwoUntilOk)
{
    Put("Settings\\CheckMP3file", "2");
    Settings s;
    LoadSettings(s);
    PreferencesView view = OpenPreferences(s);
    EXPECT_TRUE(view.defaultPlayer);
    EXPECT_TRUE(view.defaultPlayerEnabled);
    view.defaultPlayer = false;
    AcceptPreferences(view, s);
    Settings back;
    LoadSettings(back);
    EXPECT_EQ(back.checkMp3File, 0);
}

} // namespace
