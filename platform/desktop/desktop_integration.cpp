#include "platform/desktop/desktop_integration.h"
#include "platform/desktop/desktop_icon_sizes.h"
#include "platform/regular_file.h"
#include "platform/resources/resources.h"
#include "platform/xdg_directories.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

namespace lumetra::platform {
namespace {

namespace fs = std::filesystem;

// Larger files in these places are not ours to rewrite.
constexpr std::size_t kTextFileLimit = 1 << 20;
constexpr std::size_t kIconFileLimit = 1 << 20;
constexpr const char* kDefaultsGroup = "[Default Applications]";
constexpr const char* kAddedGroup = "[Added Associations]";

std::string SystemError(const std::string& path)
{
    return path + ": " + std::strerror(errno);
}

// Replaces path with bytes through a temporary file and a rename, so a reader
// never sees half a file; a file holding the same bytes and mode is left alone.
DesktopResult WriteFileIfChanged(const std::string& path, std::string_view bytes, mode_t mode)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & 07777) == mode &&
        static_cast<std::size_t>(info.st_size) == bytes.size()) {
        std::optional<std::string> old = ReadRegularFile(path, bytes.size());
        if (old && *old == bytes)
            return {};
    }
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    if (error)
        return {fs::path(path).parent_path().string() + ": " + error.message()};
    std::string temp = path + ".tmp-" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return {SystemError(temp)};
    bool ok = WriteAll(fd, bytes);
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    std::string failure = ok ? "" : SystemError(temp);
    ::close(fd);
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        failure = SystemError(path);
    }
    if (!ok)
        ::unlink(temp.c_str());
    return {failure};
}

// A path as one argument of an Exec key: quoted when it holds a reserved
// character, with the string escaping of the entry applied on top.
std::string ExecArgument(const std::string& path)
{
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string arg = path;
    if (path.find_first_of(kReserved) != std::string::npos) {
        arg = "\"";
        for (char c : path) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                arg += '\\';
            arg += c;
        }
        arg += '"';
    }
    std::string out;
    for (char c : arg) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '%')
            out += "%%";
        else
            out += c;
    }
    return out;
}

std::string Join(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items)
        out += item + ";";
    return out;
}

std::string InstalledEntryPath(const DesktopFolders& folders)
{
    return folders.dataHome + "/applications/" + kDesktopEntryName;
}

// XDG_DESKTOP_DIR from user-dirs.dirs: "$HOME/..." or an absolute path.
std::string DesktopFromUserDirs(const std::string& configHome, const std::string& home)
{
    std::optional<std::string> text = ReadRegularFile(configHome + "/user-dirs.dirs", 64 * 1024);
    if (!text)
        return "";
    std::string found;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        std::string_view line(text->data() + start, end - start);
        start = end + 1;
        constexpr std::string_view key = "XDG_DESKTOP_DIR=\"";
        if (line.substr(0, key.size()) != key || line.size() < key.size() + 1 || line.back() != '"')
            continue;
        std::string value(line.substr(key.size(), line.size() - key.size() - 1));
        if (value.rfind("$HOME", 0) == 0)
            found = home + value.substr(5);
        else if (!value.empty() && value[0] == '/')
            found = value;
    }
    return found;
}

} // namespace

const std::vector<std::string>& DesktopMimeTypes()
{
    static const std::vector<std::string> types = {
        "audio/mpeg", "audio/mp3", "audio/x-mp3", "audio/mpegurl", "audio/x-mpegurl", "audio/x-wav", "audio/wav",
        "audio/midi", "audio/x-midi", "x-content/audio-cdda",
        // Handled, but not made the default: the associations never named them.
        "audio/x-ms-wma", "video/x-ms-asf", "audio/x-scpls"};
    return types;
}

namespace {

std::vector<std::string> DefaultMimeTypes()
{
    const std::vector<std::string>& all = DesktopMimeTypes();
    return {all.begin(), all.end() - 3};
}

} // namespace

DesktopFolders CurrentDesktopFolders()
{
    DesktopFolders folders;
    folders.dataHome = DataHomeDirectory();
    folders.configHome = ConfigHomeDirectory();
    const char* home = std::getenv("HOME");
    std::string homeDir = home && *home == '/' ? home : "";
    folders.desktop = DesktopFromUserDirs(folders.configHome, homeDir);
    // ~/Desktop only for the configuration under the home: a configuration kept
    // elsewhere (a test's) names its desktop or has none.
    if (folders.desktop.empty() && !homeDir.empty() && folders.configHome == homeDir + "/.config")
        folders.desktop = homeDir + "/Desktop";
    return folders;
}

std::string DesktopEntryText(const std::string& executable)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.4\n"
           "Name=Lumetra Media Player\n"
           "GenericName=Media Player\n"
           "Comment=Play MP3, WAV, WMA, MIDI and Audio CD, and receive Radio Lumetra stations\n"
           "Icon=lumetra\n"
           "Exec=" +
           ExecArgument(executable) +
           " %f\n"
           "Terminal=false\n"
           "StartupWMClass=lumetra\n"
           "Categories=AudioVideo;Audio;Player;\n"
           "Keywords=MP3;Radio;Playlist;\n"
           "MimeType=" +
           Join(DesktopMimeTypes()) + "\n";
}

DesktopResult InstallDesktopEntry(const DesktopFolders& folders, const std::string& executable)
{
    if (executable.empty() || executable[0] != '/')
        return {"the program's path is not absolute: " + executable};
    for (unsigned char c : executable) {
        if (c < 0x20)
            return {"the program's path holds a control character"};
    }
    std::string icons = folders.dataHome + "/icons/hicolor/";
    for (int size : kDesktopIconSizes) {
        auto bytes = FindResource("icon", DesktopIconName(size));
        if (!bytes || bytes->size() > kIconFileLimit)
            return {"the program's icon is missing: " + DesktopIconName(size)};
        std::string dir = icons + std::to_string(size) + "x" + std::to_string(size) + "/apps/lumetra.png";
        std::string_view data(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        if (DesktopResult r = WriteFileIfChanged(dir, data, 0644); !r.Ok())
            return r;
    }
    if (auto svg = FindResource("icon", kScalableIconName)) {
        std::string_view data(reinterpret_cast<const char*>(svg->data()), svg->size());
        if (DesktopResult r = WriteFileIfChanged(icons + "scalable/apps/lumetra.svg", data, 0644); !r.Ok())
            return r;
    }
    return WriteFileIfChanged(InstalledEntryPath(folders), DesktopEntryText(executable), 0644);
}

DesktopResult WriteMimeDefaults(const DesktopFolders& folders)
{
    std::string path = folders.configHome + "/mimeapps.list";
    std::string text;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (static_cast<std::size_t>(info.st_size) > kTextFileLimit)
            return {path + ": larger than 1 MiB, left alone"};
        std::optional<std::string> old = ReadRegularFile(path, kTextFileLimit);
        if (!old)
            return {path + ": not a readable regular file, left alone"};
        text = std::move(*old);
    }
    return WriteFileIfChanged(path, MimeAppsWithDefaults(text, kDesktopEntryName, DefaultMimeTypes()), 0644);
}

DesktopResult CopyEntryToDesktop(const DesktopFolders& folders)
{
    std::error_code error;
    if (folders.desktop.empty() || !fs::is_directory(folders.desktop, error))
        return {};
    std::optional<std::string> entry = ReadRegularFile(InstalledEntryPath(folders), kTextFileLimit);
    if (!entry)
        return {InstalledEntryPath(folders) + ": no desktop entry to copy"};
    return WriteFileIfChanged(folders.desktop + "/" + kDesktopEntryName, *entry, 0755);
}

std::string MimeAppsWithDefaults(std::string_view text, std::string_view entry, const std::vector<std::string>& types)
{
    struct Group {
        std::string header;
        std::vector<std::string> lines;
    };
    std::vector<Group> groups(1); // the first holds any lines before a header
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string line(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == '[')
            groups.push_back({line, {}});
        else
            groups.back().lines.push_back(line);
    }
    auto group = [&groups](const char* header) -> Group& {
        for (Group& g : groups) {
            if (g.header == header)
                return g;
        }
        return groups.emplace_back(Group{header, {}});
    };
    auto keyOf = [](const std::string& line) { return line.substr(0, line.find('=')); };
    const std::set<std::string> wanted(types.begin(), types.end());
    std::string value = std::string(entry) + ";";

    // Defaults: ours replace any earlier choice for these types.
    Group& defaults = group(kDefaultsGroup);
    std::erase_if(defaults.lines, [&](const std::string& line) { return wanted.count(keyOf(line)) != 0; });
    while (!defaults.lines.empty() && defaults.lines.back().empty())
        defaults.lines.pop_back();
    for (const std::string& type : types)
        defaults.lines.push_back(type + "=" + value);

    // Added associations: the entry joins each type's list once, in front.
    Group& added = group(kAddedGroup);
    std::set<std::string> seen;
    for (std::string& line : added.lines) {
        std::string key = keyOf(line);
        if (!wanted.count(key) || line.size() == key.size())
            continue;
        seen.insert(key);
        std::string list = line.substr(key.size() + 1);
        std::string kept;
        std::size_t from = 0;
        while (from < list.size()) {
            std::size_t semi = list.find(';', from);
            std::string item = list.substr(from, semi == std::string::npos ? std::string::npos : semi - from);
            from = semi == std::string::npos ? list.size() : semi + 1;
            if (!item.empty() && item != entry)
                kept += item + ";";
        }
        line = key + "=" + value + kept;
    }
    while (!added.lines.empty() && added.lines.back().empty())
        added.lines.pop_back();
    for (const std::string& type : types) {
        if (!seen.count(type))
            added.lines.push_back(type + "=" + value);
    }

    std::string out;
    for (const Group& g : groups) {
        if (g.header.empty() && g.lines.empty())
            continue;
        if (!g.header.empty()) {
            // Groups are kept apart by an empty line; the lines before the first are not.
            if (&g != &groups.front() + 1 && !out.ends_with("\n\n"))
                out += "\n";
            out += g.header + "\n";
        }
        for (const std::string& line : g.lines)
            out += line + "\n";
    }
    return out;
}

} // namespace lumetra::platform
