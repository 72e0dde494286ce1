#include "platform/profile/profile_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra::platform {
namespace {

// A FIFO under the file's name, or under its temporary's, would block the player
// at the open (no writer, no reader ever comes): reads see no file, and a write
// replaces both.
TEST(ProfileFile, FifoInPlaceOfTheFileOrItsTemporaryBlocksNothing)
{
    char folder[] = "/tmp/profile-test-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/zeph.ini";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((file + ".tmp").c_str(), 0600), 0);
    EXPECT_EQ(ReadProfileString(file, "Stations", "RadioX", "none"), "none");
    EXPECT_TRUE(WriteProfileString(file, "Stations", "RadioX", "12"));
    EXPECT_EQ(ReadProfileString(file, "Stations", "RadioX", "none"), "12");
    struct stat st {};
    EXPECT_TRUE(::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode));
    ::unlink(file.c_str());
    ::rmdir(folder);
}

} // namespace
} // namespace lumetra::platform
