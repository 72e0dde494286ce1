#include "engine/media_type_detection.h"
#include "platform/regular_file.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lumetra::engine {
namespace {

std::atomic<int> g_cdTrayOpen{0};

bool HasAt(const unsigned char* header, std::size_t offset, const char* magic)
{
    return std::memcmp(header + offset, magic, std::strlen(magic)) == 0;
}

bool EndsWithNoCase(const char* name, const char* suffix)
{
    std::size_t n = std::strlen(name);
    std::size_t s = std::strlen(suffix);
    if (n < s)
        return false;
    for (std::size_t i = 0; i < s; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[n - s + i])) != suffix[i])
            return false;
    }
    return true;
}

// Records of a 2-byte big-endian length and that many bytes, walked from just after
// the magic; the lengths claimed must add up to the whole file size.
bool StationRecordsFit(FILE* file, long fileSize)
{
    if (std::fseek(file, 4, SEEK_SET) != 0)
        return false;
    long remaining = fileSize;
    for (;;) {
        unsigned char length[2];
        if (std::fread(length, 1, 2, file) != 2)
            break;
        long recordLength = (static_cast<long>(length[0]) << 8) | length[1];
        remaining -= 2 + recordLength;
        if (remaining <= 0)
            break;
        if (std::fseek(file, recordLength, SEEK_CUR) != 0)
            break;
    }
    return remaining == 0;
}

bool HasMpegSyncOrId3(const unsigned char* header)
{
    for (std::size_t i = 0; i <= 1021; ++i) {
        if (header[i] == 0xFF && (header[i + 1] & 0xF0) == 0xF0)
            return true;
        if (header[i] == 'I' && header[i + 1] == 'D' && header[i + 2] == '3')
            return true;
    }
    return false;
}

MediaType DetectOpened(FILE* file, const char* path)
{
    unsigned char header[kHeaderBytes] = {};
    if (std::fseek(file, 0, SEEK_END) != 0)
        return MEDIA_NONE;
    long fileSize = std::ftell(file);
    if (fileSize < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return MEDIA_NONE;
    if (std::fread(header, 1, kHeaderBytes, file) == 0 && std::ferror(file))
        return MEDIA_NONE;
    if (fileSize < 44)
        return MEDIA_NONE;
    if (IsWaveHeader(header))
        return MEDIA_WAVE;
    if (IsAsfName(path))
        return MEDIA_ASF;
    if (fileSize > static_cast<long>(kHeaderBytes) && HasMpegSyncOrId3(header))
        return MEDIA_MPEG;
    if (HasAt(header, 0, "QRZ ") && StationRecordsFit(file, fileSize))
        return MEDIA_STATION;
    if (IsCdaHeader(header))
        return MEDIA_CDTRACK;
    if (IsMidiHeader(header))
        return MEDIA_MIDI;
    return MEDIA_NONE;
}

} // namespace

bool IsWaveHeader(const unsigned char* header)
{
    return HasAt(header, 0, "RIFF") && HasAt(header, 8, "WAVE") && header[20] != 0x55;
}

bool IsCdaHeader(const unsigned char* header)
{
    return HasAt(header, 0, "RIFF") && HasAt(header, 8, "CDDA");
}

bool IsMidiHeader(const unsigned char* header)
{
    return (HasAt(header, 0, "RIFF") && HasAt(header, 8, "RMID")) || HasAt(header, 0, "MThd");
}

bool IsAsfName(const char* name)
{
    return std::strlen(name) > 4 && (EndsWithNoCase(name, ".asf") || EndsWithNoCase(name, ".wma"));
}

bool IsAsfAddress(const char* name)
{
    return IsAsfName(name) && std::strstr(name, "://") != nullptr;
}

// The drive of a path is the folder it names: a CD track lives directly in its
// device's folder ("/dev/sr0/Track01.cda") or in a disc image named by
// LUMETRA_CDROM (colon-separated).
bool IsCdDrive(const char* path)
{
    std::string p(path);
    std::size_t slash = p.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    std::string drive = p.substr(0, slash);
    if (drive.rfind("/dev/sr", 0) == 0 || drive.rfind("/dev/cdrom", 0) == 0)
        return true;
    if (const char* images = std::getenv("LUMETRA_CDROM")) {
        std::string list(images);
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos)
                end = list.size();
            if (end > start && list.compare(start, end - start, drive) == 0)
                return true;
            start = end + 1;
        }
    }
    return false;
}

MediaType DetectMediaType(std::FILE* file, const char* path)
{
    return DetectOpened(file, path);
}

MediaType DetectMediaType(const char* path)
{
    if (FILE* file = platform::OpenRegularFile(path)) {
        MediaType type = DetectOpened(file, path);
        std::fclose(file);
        return type;
    }
    if (IsAsfAddress(path))
        return MEDIA_ASF;
    if (IsCdDrive(path))
        return CdTrayOpenFlag() ? MEDIA_NONE : MEDIA_CDTRACK;
    return MEDIA_NONE;
}

int CdTrayOpenFlag()
{
    return g_cdTrayOpen.load();
}

void SetCdTrayOpenFlag(int value)
{
    g_cdTrayOpen.store(value);
}

} // namespace lumetra::engine
