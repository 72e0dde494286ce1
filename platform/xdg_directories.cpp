#include "platform/xdg_directories.h"

#include <cstdlib>

namespace lumetra::platform {
namespace {

std::string BaseDirectory(const char* variable, const char* underHome)
{
    if (const char* xdg = std::getenv(variable); xdg && *xdg == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + underHome;
    return "/tmp";
}

} // namespace

std::string ConfigHomeDirectory()
{
    return BaseDirectory("XDG_CONFIG_HOME", "/.config");
}

std::string DataHomeDirectory()
{
    return BaseDirectory("XDG_DATA_HOME", "/.local/share");
}

std::string ConfigDirectory()
{
    return ConfigHomeDirectory() + "/lumetra/";
}

std::string DataDirectory()
{
    return DataHomeDirectory() + "/lumetra/";
}

} // namespace lumetra::platform
