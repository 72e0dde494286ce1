#pragma once
// A scratch folder and an item reader that types files by extension: a file
// starting "bad" reads with sample rate 0, one starting "title:" carries that title.

#include "media/media_item.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace lumetra::playlist::testing {

inline void FakeReader(MediaItem& item)
{
    std::string path = item.path;
    char head[128] = {};
    if (FILE* f = std::fopen(item.path, "rb")) {
        std::fread(head, 1, sizeof head - 1, f);
        std::fclose(f);
    } else if (path.find(".cda") == std::string::npos) {
        item.layer = -1;
        return;
    }
    std::string ext = path.size() > 4 ? path.substr(path.size() - 4) : "";
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    item.mediaType = ext == ".mp3"   ? MEDIA_MPEG
                     : ext == ".mid" ? MEDIA_MIDI
                     : ext == ".wav" ? MEDIA_WAVE
                     : ext == ".cda" ? MEDIA_CDTRACK
                                     : MEDIA_NONE;
    if (item.mediaType == MEDIA_NONE || std::strncmp(head, "bad", 3) == 0) {
        item.layer = -1;
        return;
    }
    item.layer = 10;
    item.sampleRate = 44100;
    item.totalSamples = 3 * 44100;
    if (std::strncmp(head, "title:", 6) == 0)
        std::snprintf(item.title, sizeof item.title, "%s", head + 6);
}

class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir =
            std::filesystem::temp_directory_path() / ("lumetra-playlist-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::string Write(const std::string& name, const std::string& bytes)
    {
        std::filesystem::create_directories((m_dir / name).parent_path());
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path m_dir;
};

} // namespace lumetra::playlist::testing
