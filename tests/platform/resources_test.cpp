#include "platform/resources/resources.h"

#include <gtest/gtest.h>

namespace lumetra::platform {
namespace {

TEST(Resources, UnknownNamesAreNotFound)
{
    EXPECT_FALSE(FindResource("textfile", "no such table"));
    EXPECT_EQ(OpenResourceStream("wave", "no such sound"), nullptr);
}

} // namespace
} // namespace lumetra::platform
