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
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, std::string(kProgramKey) + "Settings\\CheckMP3file", text), 0);
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
