#include "app/file_associations.h"
#include "platform/desktop/desktop_integration.h"
#include "settings/registry_values.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <string_view>

namespace lumetra::app {
namespace {

// "%s" stands for the program's folder and "Lumetra.exe" for the program
// itself; "%%" is one "%".
constexpr std::array<std::string_view, 16> kClassesRootValues = {
    "LumetraMP3\\Editflags=REG_BINARY:00000000",
    ".mp3\\=LumetraMP3",
    ".m3u\\=LumetraMP3",
    ".cda\\=AudioCD",
    ".wav\\=LumetraWaveFile",
    ".mid\\=LumetraMidiFile",
    ".rmi\\=LumetraMidiFile",
    ".mp3\\Content Type=audio/mpeg",
    "LumetraMP3\\=Lumetra Media Player",
    "LumetraMP3\\DefaultIcon\\=%sLumetra.exe,2",
    "LumetraMP3\\shell\\=Open",
    "LumetraMP3\\shell\\open\\command\\=%sLumetra.exe %%1",
    "AudioCD\\DefaultIcon\\=%sLumetra.exe,5",
    "AudioCD\\shell\\=play",
    "AudioCD\\shell\\play\\=Play with &Lumetra Media Player",
    "AudioCD\\shell\\play\\command\\=%sLumetra.exe %%1",
};
constexpr std::array<std::string_view, 4> kViewerTypes = {"audio/mpeg", "audio/mpegurl", "audio/mp3",
                                                          "audio/x-mpegurl"};

std::string Fill(std::string_view format, const std::string& folder, const std::string& program)
{
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format.substr(i, 13) == "%sLumetra.exe") {
            out += folder + program;
            i += 12;
        } else if (format.substr(i, 2) == "%%") {
            out += '%';
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

void Report(const platform::DesktopResult& result)
{
    if (!result.Ok())
        std::fprintf(stderr, "lumetra: desktop integration: %s\n", result.error.c_str());
}

} // namespace

std::string ExecutablePath()
{
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "";
    std::string path(buffer, static_cast<std::size_t>(n));
    // The window runs in lumetra-window, but the desktop starts lumetra beside it.
    constexpr std::string_view kWindowSuffix = "-window";
    if (path.ends_with(kWindowSuffix)) {
        std::string front = path.substr(0, path.size() - kWindowSuffix.size());
        if (::access(front.c_str(), X_OK) == 0)
            return front;
    }
    return path;
}

std::vector<std::string> AssociationValueStrings(const std::string& executable, std::size_t& userValuesFrom)
{
    std::size_t slash = executable.rfind('/');
    std::string folder = slash == std::string::npos ? "" : executable.substr(0, slash + 1);
    std::string program = slash == std::string::npos ? executable : executable.substr(slash + 1);
    std::vector<std::string> values;
    for (std::string_view format : kClassesRootValues)
        values.push_back(Fill(format, folder, program));
    userValuesFrom = values.size();
    for (std::string_view type : kViewerTypes)
        values.push_back("Software\\Netscape\\Netscape Navigator\\Viewers\\" + std::string(type) + "=" +
                         Fill("%sLumetra.exe", folder, program));
    return values;
}

void ApplyAssociationSettings(const settings::Settings& settings, const std::function<void()>& showSetup)
{
    platform::DesktopFolders folders = platform::CurrentDesktopFolders();
    std::string executable = ExecutablePath();
    Report(platform::InstallDesktopEntry(folders, executable));
    if (settings.checkMp3File == 2) {
        showSetup();
    } else if (settings.checkMp3File == 1) {
        std::size_t userFrom = 0;
        std::vector<std::string> values = AssociationValueStrings(executable, userFrom);
        for (std::size_t i = 0; i < values.size(); ++i)
            settings::WriteRegistryString(
                i < userFrom ? settings::RegistryRoot::ClassesRoot : settings::RegistryRoot::CurrentUser, values[i]);
        Report(platform::WriteMimeDefaults(folders));
    }
    if (settings.desktopIcon != 0)
        Report(platform::CopyEntryToDesktop(folders));
}

} // namespace lumetra::app
