#include "engine/cd_names.h"
#include "engine/mci_sources.h"
#include "platform/dialogs/message_box.h"
#include "platform/profile/profile_file.h"

#ifdef LUMETRA_HAVE_CDIO
#include "platform/media/cd_drive.h"
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace lumetra::engine {
namespace {

constexpr const char* kIniName = "cdplayer.ini";

std::string SectionOf(uint32_t serial)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", serial);
    return text;
}

std::string DefaultTrackName(int track)
{
    char text[32];
    std::snprintf(text, sizeof text, "Audio CD Track %02d", track);
    return text;
}

void CopyText(char* dst, std::size_t size, const std::string& src)
{
    std::size_t n = std::min(src.size(), size - 1);
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

} // namespace

uint32_t CdDiscSerial(const std::string& drive)
{
#ifdef LUMETRA_HAVE_CDIO
    uint32_t serial = 0;
    if (!drive.empty() && platform::media::ReadDiscSerial(drive, serial))
        return serial;
#else
    (void)drive;
#endif
    return 0;
}

void CdTrackNames(MediaItem& item, int track, uint32_t serial)
{
    std::string title = DefaultTrackName(track);
    if (serial != 0) {
        std::string ini = platform::ProfilePath(kIniName);
        std::string section = SectionOf(serial);
        title = platform::ReadProfileString(ini, section, std::to_string(track - 1), title);
        CopyText(item.performer, sizeof item.performer, platform::ReadProfileString(ini, section, "artist", "n/a"));
    }
    CopyText(item.title, sizeof item.title, title);
}

std::vector<std::string> ListCdTracks(const std::string& drive)
{
    std::vector<std::string> paths;
#ifdef LUMETRA_HAVE_CDIO
    std::string error;
    auto opened = platform::media::CdDrive::Open(drive, error);
    if (!opened)
        return paths;
    for (const auto& t : opened->Toc().tracks) {
        if (!t.audio)
            continue;
        char name[16];
        std::snprintf(name, sizeof name, "Track%02d.cda", t.number);
        paths.push_back(drive + "/" + name);
    }
#else
    (void)drive;
#endif
    return paths;
}

CdDiscNames LoadCdNames(const std::string& drive)
{
    CdDiscNames names;
#ifdef LUMETRA_HAVE_CDIO
    std::string error;
    auto opened = platform::media::CdDrive::Open(drive, error);
    if (!opened || opened->Toc().tracks.empty())
        return names;
    names.serial = platform::media::DiscSerial(opened->Toc());
    std::string ini = platform::ProfilePath(kIniName);
    std::string section = SectionOf(names.serial);
    names.artist = platform::ReadProfileString(ini, section, "artist", "New Artist");
    names.title = platform::ReadProfileString(ini, section, "title", "New Title");
    for (const auto& t : opened->Toc().tracks)
        names.tracks.push_back(
            platform::ReadProfileString(ini, section, std::to_string(t.number - 1), DefaultTrackName(t.number)));
#else
    (void)drive;
#endif
    return names;
}

bool SaveCdNames(const CdDiscNames& names)
{
    if (names.serial == 0)
        return false;
    std::string ini = platform::ProfilePath(kIniName);
    std::string section = SectionOf(names.serial);
    bool ok = platform::WriteProfileString(ini, section, "artist", names.artist.substr(0, 127)) &&
              platform::WriteProfileString(ini, section, "title", names.title.substr(0, 127));
    for (std::size_t i = 0; i < names.tracks.size() && ok; ++i)
        ok = platform::WriteProfileString(ini, section, std::to_string(i), names.tracks[i].substr(0, 127));
    return ok;
}

namespace {

CdInfoPresenter& Presenter()
{
    static CdInfoPresenter presenter;
    return presenter;
}

} // namespace

void SetCdInfoPresenter(CdInfoPresenter presenter)
{
    Presenter() = std::move(presenter);
}

int CdInfoDialog(const MediaItem& item)
{
    std::string drive = DefaultCdDrive();
    CdDiscNames names = drive.empty() ? CdDiscNames{} : LoadCdNames(drive);
    if (names.serial == 0)
        return 0;
    if (CdInfoPresenter presenter = Presenter()) {
        int track = std::clamp(CdTrackOfPath(item.path), 1, static_cast<int>(names.tracks.size()));
        return presenter(names, track) && SaveCdNames(names) ? 1 : 0;
    }
    return platform::ShowDialog("Audio CD Information") ? 1 : 0;
}

} // namespace lumetra::engine
