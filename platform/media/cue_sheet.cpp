#include "platform/media/cue_sheet.h"

#include <cctype>
#include <cstdio>
#include <sys/stat.h>

namespace lumetra::platform::media {
namespace {

constexpr int kMaxTracks = 99;
constexpr std::size_t kMaxFiles = 99;

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Splits a line into words; a double-quoted word may hold spaces.
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i >= line.size())
            break;
        std::string word;
        if (line[i] == '"') {
            std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                end = line.size();
            word = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

// "mm:ss:ff" in sectors (75 per second); -1 when malformed.
int64_t ParseMsf(const std::string& text)
{
    int m = 0, s = 0, f = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d:%2d:%2d%c", &m, &s, &f, &tail) != 3 || m < 0 || s < 0 || s > 59 || f < 0 ||
        f > 74)
        return -1;
    return (int64_t(m) * 60 + s) * 75 + f;
}

int SectorBytesOf(const std::string& mode, bool& audio)
{
    audio = mode == "AUDIO";
    if (audio || mode == "MODE1/2352" || mode == "MODE2/2352" || mode == "CDI/2352")
        return 2352;
    if (mode == "MODE1/2048" || mode == "MODE2/2048")
        return 2048;
    if (mode == "MODE2/2336" || mode == "CDI/2336")
        return 2336;
    return 0;
}

} // namespace

CueSheet ParseCueSheet(std::span<const uint8_t> text)
{
    CueSheet sheet;
    if (text.size() > kMaxCueBytes) {
        sheet.error = "the CUE sheet is too large";
        return sheet;
    }
    std::string all(text.begin(), text.end());
    std::size_t at = 0;
    int lineNumber = 0;
    while (at < all.size()) {
        std::size_t end = all.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = all.size();
        std::vector<std::string> w = Words(all.substr(at, end - at));
        at = end + 1;
        ++lineNumber;
        if (w.empty())
            continue;
        std::string keyword = Upper(w[0]);
        auto fail = [&](const std::string& why) {
            sheet.error = "CUE sheet line " + std::to_string(lineNumber) + ": " + why;
            return sheet;
        };
        if (keyword == "FILE") {
            if (w.size() < 2 || w[1].empty())
                return fail("FILE without a name");
            if (sheet.files.size() >= kMaxFiles)
                return fail("too many files");
            sheet.files.push_back(w[1]);
        } else if (keyword == "TRACK") {
            if (sheet.files.empty())
                return fail("TRACK before any FILE");
            if (w.size() < 3)
                return fail("TRACK without a number and mode");
            CueTrack track;
            char tail = 0;
            if (std::sscanf(w[1].c_str(), "%3d%c", &track.number, &tail) != 1 || track.number < 1 ||
                track.number > kMaxTracks)
                return fail("bad track number");
            if (!sheet.tracks.empty() && track.number <= sheet.tracks.back().number)
                return fail("track numbers must rise");
            track.sectorBytes = SectorBytesOf(Upper(w[2]), track.audio);
            if (track.sectorBytes == 0)
                return fail("unknown track mode " + w[2]);
            track.file = static_cast<int>(sheet.files.size()) - 1;
            sheet.tracks.push_back(track);
        } else if (keyword == "INDEX") {
            if (sheet.tracks.empty())
                return fail("INDEX outside a track");
            if (w.size() < 3)
                return fail("INDEX without a number and time");
            int64_t sector = ParseMsf(w[2]);
            if (sector < 0)
                return fail("bad INDEX time " + w[2]);
            if (w[1] == "01" || w[1] == "1")
                sheet.tracks.back().startSector = sector;
        }
    }
    if (sheet.tracks.empty()) {
        sheet.error = "the CUE sheet names no tracks";
        return sheet;
    }
    for (const CueTrack& t : sheet.tracks) {
        if (t.startSector < 0) {
            sheet.error = "track " + std::to_string(t.number) + " has no INDEX 01";
            return sheet;
        }
    }
    sheet.ok = true;
    return sheet;
}

std::string CheckCueImage(const std::string& cuePath)
{
    FILE* file = std::fopen(cuePath.c_str(), "rb");
    if (!file)
        return "cannot open the CUE sheet " + cuePath;
    std::vector<uint8_t> text(kMaxCueBytes + 1);
    std::size_t n = std::fread(text.data(), 1, text.size(), file);
    std::fclose(file);
    text.resize(n);
    CueSheet sheet = ParseCueSheet(text);
    if (!sheet.ok)
        return cuePath + ": " + sheet.error;
    std::size_t slash = cuePath.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : cuePath.substr(0, slash + 1);
    for (const CueTrack& t : sheet.tracks) {
        const std::string& name = sheet.files[static_cast<std::size_t>(t.file)];
        std::string path = name[0] == '/' ? name : folder + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return "the disc image's data file is missing: " + path;
        if (static_cast<int64_t>(st.st_size) < (t.startSector + 1) * t.sectorBytes)
            return "the disc image's data file " + path + " is shorter than its CUE sheet says (track " +
                   std::to_string(t.number) + ")";
    }
    return "";
}

} // namespace lumetra::platform::media
