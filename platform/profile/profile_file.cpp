#include "platform/profile/profile_file.h"
#include "platform/regular_file.h"
#include "platform/xdg_directories.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumetra::platform {
namespace {

constexpr std::size_t kMaxProfileBytes = 1 << 20;

std::string Trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool SameNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::vector<std::string> ReadLines(const std::string& file)
{
    std::vector<std::string> lines;
    // A FIFO in its place would hold the player at its open.
    FILE* f = OpenRegularFile(file.c_str());
    if (!f)
        return lines;
    std::string text(kMaxProfileBytes, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

bool IsSection(const std::string& line, std::string& name)
{
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool IsKey(const std::string& line, const std::string& key, std::string* value)
{
    std::size_t eq = line.find('=');
    if (eq == std::string::npos || !SameNoCase(Trim(line.substr(0, eq)), key))
        return false;
    if (value)
        *value = Trim(line.substr(eq + 1));
    return true;
}

void MakeParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}

} // namespace

std::string ProfilePath(const std::string& name)
{
    return ConfigDirectory() + name;
}

std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& fallback, std::size_t maxLength)
{
    bool inSection = false;
    for (const std::string& line : ReadLines(file)) {
        std::string name;
        if (IsSection(line, name)) {
            inSection = SameNoCase(name, section);
            continue;
        }
        std::string value;
        if (inSection && IsKey(line, key, &value))
            return value.substr(0, maxLength);
    }
    return fallback;
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value)
{
    if (value.find_first_of("\r\n") != std::string::npos || key.find_first_of("=\r\n[") != std::string::npos)
        return false;
    std::vector<std::string> lines = ReadLines(file);
    std::string entry = key + "=" + value;
    bool inSection = false;
    std::size_t sectionEnd = std::string::npos;
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        std::string name;
        if (IsSection(lines[i], name)) {
            if (inSection)
                break;
            inSection = SameNoCase(name, section);
            if (inSection)
                sectionEnd = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (IsKey(lines[i], key, nullptr)) {
            lines[i] = entry;
            done = true;
        } else if (!Trim(lines[i]).empty()) {
            sectionEnd = i + 1;
        }
    }
    if (!done) {
        if (sectionEnd == std::string::npos) {
            if (!lines.empty() && !Trim(lines.back()).empty())
                lines.push_back("");
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
        }
    }
    MakeParents(file);
    std::string temp = file + ".tmp";
    // Made afresh: whatever was left under that name (even a FIFO) is not opened.
    std::remove(temp.c_str());
    FILE* f = std::fopen(temp.c_str(), "wbx");
    if (!f)
        return false;
    bool ok = true;
    for (const std::string& line : lines) {
        if (std::fprintf(f, "%s\n", line.c_str()) < 0)
            ok = false;
    }
    ok = std::fflush(f) == 0 && fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), file.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace lumetra::platform
