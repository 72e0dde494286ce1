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

std::string ConfigDirectory()
{
    return BaseDirectory("XDG_CONFIG_HOME", "/.config") + "/lumetra/";
}

std::string DataDirectory()
{
    return BaseDirectory("XDG_DATA_HOME", "/.local/share") + "/lumetra/";
}

} // namespace lumetra::platform
