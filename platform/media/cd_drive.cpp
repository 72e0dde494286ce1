#include "platform/media/cd_drive.h"
#include "platform/media/cue_sheet.h"
#include "platform/media/media_module.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra::platform::media {
namespace {

void QuietLog(cdio_log_level_t, const char*) {}

void QuietCdio()
{
    static bool done = false;
    if (!done) {
        done = true;
        cdio_log_set_handler(QuietLog);
    }
}

void Mix(uint32_t& hash, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        hash ^= (value >> (8 * i)) & 0xFF;
        hash *= 16777619u;
    }
}

// libcdio reads an image only when a BIN named like the sheet lies beside it.
// Otherwise the sheet is copied into a private folder, kept while the drive is open, with its files named by
// absolute paths, next to a link of that name to the first of them.
std::string PrepareImageForLibcdio(const std::string& cue, std::string& privateFolder)
{
    std::string stem = cue.substr(0, cue.size() - 4);
    struct stat st;
    if (stat((stem + ".bin").c_str(), &st) == 0)
        return cue;
    FILE* in = std::fopen(cue.c_str(), "rb");
    if (!in)
        return cue;
    std::vector<uint8_t> text(kMaxCueBytes + 1);
    text.resize(std::fread(text.data(), 1, text.size(), in));
    std::fclose(in);
    CueSheet sheet = ParseCueSheet(text);
    if (!sheet.ok)
        return cue;
    std::size_t slash = cue.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : cue.substr(0, slash);
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real))
        return cue;
    char pattern[] = "/tmp/lumetra-cue-XXXXXX";
    if (!mkdtemp(pattern))
        return cue;
    privateFolder = pattern;
    std::string out;
    std::string all(text.begin(), text.end());
    std::size_t file = 0, at = 0;
    while (at < all.size()) {
        std::size_t end = all.find('\n', at);
        if (end == std::string::npos)
            end = all.size();
        std::string line = all.substr(at, end - at);
        at = end + 1;
        std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.size() - first >= 4 &&
            (line.compare(first, 4, "FILE") == 0 || line.compare(first, 4, "file") == 0)) {
            if (file < sheet.files.size()) {
                const std::string& name = sheet.files[file++];
                std::string path = name[0] == '/' ? name : std::string(real) + "/" + name;
                std::size_t type = line.find_last_of(' ');
                line = "FILE \"" + path + "\"" + (type > first + 4 ? line.substr(type) : " BINARY");
            }
        }
        out += line + "\n";
    }
    std::string copy = privateFolder + "/image.cue";
    FILE* f = std::fopen(copy.c_str(), "wb");
    if (!f)
        return cue;
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
    std::string firstFile = sheet.files[0][0] == '/' ? sheet.files[0] : std::string(real) + "/" + sheet.files[0];
    if (symlink(firstFile.c_str(), (privateFolder + "/image.bin").c_str()) != 0)
        return cue;
    return copy;
}

void RemovePrivateFolder(const std::string& folder)
{
    if (folder.empty())
        return;
    std::remove((folder + "/image.bin").c_str());
    std::remove((folder + "/image.cue").c_str());
    rmdir(folder.c_str());
}

bool EndsWithNoCase(const std::string& s, const char* suffix)
{
    std::size_t n = std::strlen(suffix);
    if (s.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    }
    return true;
}

} // namespace

const CdTrack* CdToc::Find(int number) const
{
    for (const CdTrack& t : tracks) {
        if (t.number == number)
            return &t;
    }
    return nullptr;
}

uint32_t DiscSerial(const CdToc& toc)
{
    uint32_t hash = 2166136261u;
    Mix(hash, static_cast<uint32_t>(toc.tracks.size()));
    for (const CdTrack& t : toc.tracks) {
        Mix(hash, static_cast<uint32_t>(t.number));
        Mix(hash, static_cast<uint32_t>(t.startLsn));
    }
    Mix(hash, static_cast<uint32_t>(toc.leadOutLsn));
    return hash == 0 ? 1 : hash;
}

bool IsCdImagePath(const std::string& drive)
{
    struct stat st;
    return EndsWithNoCase(drive, ".cue") || (stat(drive.c_str(), &st) == 0 && S_ISREG(st.st_mode));
}

void ReleaseCdDrive(_CdIo* cdio, const std::string& privateFolder)
{
    if (cdio)
        cdio_destroy(cdio);
    RemovePrivateFolder(privateFolder);
}

CdDrive::~CdDrive()
{
    ReleaseCdDrive(m_cdio, m_privateFolder);
}

std::unique_ptr<CdDrive> CdDrive::Open(const std::string& path, std::string& error)
{
    QuietCdio();
    std::unique_ptr<CdDrive> drive(new CdDrive());
    drive->m_path = path;
    drive->m_image = IsCdImagePath(path);
    if (drive->m_image) {
        error = CheckCueImage(path);
        if (!error.empty())
            return nullptr;
        std::string sheet = PrepareImageForLibcdio(path, drive->m_privateFolder);
        drive->m_cdio = cdio_open_cue(sheet.c_str());
    } else {
        drive->m_cdio = cdio_open(path.c_str(), DRIVER_DEVICE);
    }
    if (!drive->m_cdio) {
        error = drive->m_image ? "libcdio cannot read the disc image " + path : "no disc in " + path;
        return nullptr;
    }
    track_t first = cdio_get_first_track_num(drive->m_cdio);
    track_t count = cdio_get_num_tracks(drive->m_cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        error = "no disc in " + path;
        return nullptr;
    }
    for (int n = first; n < first + count && n <= CDIO_CD_MAX_TRACKS; ++n) {
        CdTrack t;
        t.number = n;
        t.audio = cdio_get_track_format(drive->m_cdio, static_cast<track_t>(n)) == TRACK_FORMAT_AUDIO;
        t.startLsn = cdio_get_track_lsn(drive->m_cdio, static_cast<track_t>(n));
        lsn_t last = cdio_get_track_last_lsn(drive->m_cdio, static_cast<track_t>(n));
        if (t.startLsn == CDIO_INVALID_LSN || last == CDIO_INVALID_LSN || last < t.startLsn) {
            error = "the table of contents of " + path + " is damaged";
            return nullptr;
        }
        t.sectors = last - t.startLsn + 1;
        drive->m_toc.tracks.push_back(t);
    }
    drive->m_toc.leadOutLsn = cdio_get_track_lsn(drive->m_cdio, CDIO_CDROM_LEADOUT_TRACK);
    return drive;
}

bool ReadDiscSerial(const std::string& drive, uint32_t& serial)
{
    std::string error;
    auto opened = CdDrive::Open(drive, error);
    if (!opened)
        return false;
    serial = DiscSerial(opened->Toc());
    return true;
}

bool EjectCdDrive(const std::string& drive)
{
    return !IsCdImagePath(drive) && cdio_eject_media_drive(drive.c_str()) == DRIVER_OP_SUCCESS;
}

bool CloseCdTray(const std::string& drive)
{
    return !IsCdImagePath(drive) && cdio_close_tray(drive.c_str(), nullptr) == DRIVER_OP_SUCCESS;
}

class CdTrackSource final : public PcmSource {
public:
    ~CdTrackSource() override
    {
        if (m_paranoia)
            cdio_paranoia_free(m_paranoia);
        if (m_cdda) // the drive keeps its libcdio handle
            cdio_cddap_close_no_free_cdio(m_cdda);
    }

    bool Open(CdDrive& drive, const CdTrack& track, std::string& error)
    {
        m_track = track;
        m_cdda = cdio_cddap_identify_cdio(drive.m_cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (!m_cdda || cdio_cddap_open(m_cdda) != 0) {
            error = "cannot read audio from " + drive.Path();
            return false;
        }
        // Image data are little-endian samples as stored; a drive's are probed.
        if (drive.IsImage())
            m_cdda->bigendianp = 0;
        m_paranoia = cdio_paranoia_init(m_cdda);
        if (!m_paranoia) {
            error = "cannot read audio from " + drive.Path();
            return false;
        }
        cdio_paranoia_modeset(m_paranoia,
                              drive.IsImage() ? PARANOIA_MODE_DISABLE : PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        return SeekMs(0);
    }

    int64_t LengthMs() const override { return int64_t(m_track.sectors) * 1000 / kSectorsPerSecond; }

    bool SeekMs(int64_t ms) override
    {
        int64_t sector = ms * kSectorsPerSecond / 1000;
        if (sector > m_track.sectors)
            sector = m_track.sectors;
        m_next = static_cast<int32_t>(sector);
        m_used = kFramesPerSector;
        cdio_paranoia_seek(m_paranoia, m_track.startLsn + m_next, SEEK_SET);
        return true;
    }

    int Read(int16_t* out, int frames) override
    {
        int written = 0;
        while (written < frames) {
            if (m_used == kFramesPerSector) {
                if (m_next >= m_track.sectors)
                    break;
                int16_t* sector = cdio_paranoia_read_limited(m_paranoia, nullptr, 3);
                if (!sector)
                    break;
                std::memcpy(m_sector, sector, sizeof m_sector);
                ++m_next;
                m_used = 0;
            }
            int n = std::min(frames - written, kFramesPerSector - m_used);
            std::memcpy(out + written * 2, m_sector + m_used * 2, static_cast<std::size_t>(n) * 4);
            m_used += n;
            written += n;
        }
        return written;
    }

private:
    CdTrack m_track;
    cdrom_drive_t* m_cdda = nullptr;
    cdrom_paranoia_t* m_paranoia = nullptr;
    int32_t m_next = 0; // next sector of the track to read
    int m_used = kFramesPerSector;
    int16_t m_sector[kFramesPerSector * 2] = {};
};

std::unique_ptr<PcmSource> OpenCdTrackSource(CdDrive& drive, int track, std::string& error)
{
    const CdTrack* t = drive.Toc().Find(track);
    if (!t || !t->audio) {
        error = "track " + std::to_string(track) + " is not an audio track of " + drive.Path();
        return nullptr;
    }
    auto source = std::make_unique<CdTrackSource>();
    if (!source->Open(drive, *t, error))
        return nullptr;
    return source;
}

} // namespace lumetra::platform::media
