#include "playlist/library.h"
#include "platform/drives/program_directory.h"
#include "platform/thread_priority.h"
#include "playlist/cd_disc.h"
#include "playlist/library_rules.h"
#include "playlist/list_file.h"
#include "playlist/list_storage.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstring>
#include <pthread.h>

namespace lumetra::playlist {
namespace {

constexpr const char* kProductTitle = "Lumetra Media Player (tm)";

} // namespace

Library::Library(ItemReader reader, std::string libraryPath, std::function<std::vector<std::string>()> drives)
    : m_reader(std::move(reader)), m_libraryPath(std::move(libraryPath)), m_drives(std::move(drives))
{
    const char* labels[kCategoryCount] = {"Audio CD", "CDROM", "MP3", "MIDI", "WAV"};
    const int32_t masks[kCategoryCount] = {MEDIA_CDTRACK, kAllMediaTypes, MEDIA_MPEG, MEDIA_MIDI, MEDIA_WAVE};
    for (int c = 0; c < kCategoryCount; ++c) {
        m_categories[static_cast<std::size_t>(c)].label = labels[c];
        m_categories[static_cast<std::size_t>(c)].mask = masks[c];
    }
}

Library::~Library()
{
    Stop();
}

void Library::SetObserver(LibraryObserver observer)
{
    std::lock_guard guard(m_data);
    m_observer = std::move(observer);
}

void Library::NotifyRows()
{
    std::function<void()> notify;
    {
        std::lock_guard guard(m_data);
        notify = m_observer.rowsChanged;
    }
    if (notify)
        notify();
}

void Library::SetTitle(const std::string& title)
{
    std::function<void(const std::string&)> set;
    {
        std::lock_guard guard(m_data);
        set = m_observer.setTitle;
    }
    if (set)
        set(title);
}

void Library::ShowBusyRow()
{
    {
        std::lock_guard guard(m_data);
        m_rows = {LibraryRow{0, kPleaseWait, -1, -1}};
    }
    NotifyRows();
}

void Library::StartThread(bool build, LibraryState state)
{
    // Threads that have finished are collected here, on the thread that starts them.
    m_threads.erase(std::remove_if(m_threads.begin(), m_threads.end(),
                                   [this](std::thread& t) {
                                       if (m_pendingThreads.load() == 0 && t.joinable()) {
                                           t.join();
                                           return true;
                                       }
                                       return false;
                                   }),
                    m_threads.end());
    m_cancel = false;
    m_pendingThreads += 1;
    m_state = state;
    m_threads.emplace_back([this, build] { RunThread(build); });
}

bool Library::StartLibraryBuild()
{
    StartThread(true, kLibraryBuilding);
    return true;
}

bool Library::StartLibraryLoad()
{
    if (!ReadListFile(m_libraryPath, 0))
        return false;
    StartThread(false, kLibraryLoading);
    return true;
}

void Library::RunThread(bool build)
{
    pthread_setname_np(pthread_self(), build ? "lumetra-library" : "lumetra-libload");
    platform::SetCurrentThreadPriority(platform::ThreadPriority::BelowNormal);
    {
        std::lock_guard lock(m_libraryLock);
        m_state = build ? kLibraryBuilding : kLibraryLoading;
        ShowBusyRow();
        if (!build || !Build())
            LoadCategories();
        FillLibrary(1);
        m_state = kLibraryIdle;
        if (m_threadEnd)
            m_threadEnd();
    }
    m_pendingThreads -= 1;
    NotifyRows();
}

bool Library::Build()
{
    std::vector<LibraryItem> found;
    FolderScan scan(m_reader, settings::CurrentSettings().minWavSize, m_cancel, [this](const std::string& title, bool) {
        if (!title.empty())
            SetTitle(title);
    });
    for (const std::string& drive : m_drives())
        scan.ScanFolder(drive, -1, found);
    SetTitle(kProductTitle);
    if (m_cancel)
        return false; // an interrupted scan leaves the last library file as it was
    std::sort(found.begin(), found.end(), [](const LibraryItem& a, const LibraryItem& b) {
        int order = CompareNoCase(SortKey(a.title, a.path), SortKey(b.title, b.path));
        return order != 0 ? order < 0 : a.path < b.path;
    });
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (const LibraryItem& item : found)
        paths.push_back(item.path);
    std::string directory = m_libraryPath.substr(0, m_libraryPath.find_last_of('/') + 1);
    platform::MakeDirectories(directory);
    if (!WriteFileAtomically(m_libraryPath, FormatListFile(0, paths)))
        return false;
    // The file now lists exactly these items in this order: the categories are
    // what reading it back would give, without typing every file again.
    std::array<std::vector<LibraryItem>, kCategoryCount> sorted;
    for (LibraryItem& item : found) {
        for (int c : {kMp3, kMidi, kWav}) {
            if (item.mediaType & m_categories[static_cast<std::size_t>(c)].mask) {
                sorted[static_cast<std::size_t>(c)].push_back(std::move(item));
                break;
            }
        }
    }
    std::lock_guard guard(m_data);
    for (int c : {kMp3, kMidi, kWav})
        m_categories[static_cast<std::size_t>(c)].items = std::move(sorted[static_cast<std::size_t>(c)]);
    ++m_generation;
    return true;
}

// Each path of the file is typed once and goes to the category of its type, as
// reading the file once per category with that category's mask would do.
void Library::LoadCategories()
{
    std::array<std::vector<LibraryItem>, kCategoryCount> loaded;
    if (std::optional<std::string> bytes = ReadListFile(m_libraryPath)) {
        ListFile list = ParseListFile(*bytes);
        bytes.reset();
        std::size_t total = 0;
        for (const std::string& path : list.isPlaylist ? list.entries : std::vector<std::string>()) {
            if (m_cancel || total >= kMaxLibraryItems)
                break;
            std::optional<LibraryItem> item = ReadLibraryItem(m_reader, path, MEDIA_MPEG | MEDIA_MIDI | MEDIA_WAVE);
            if (!item)
                continue;
            for (int c : {kMp3, kMidi, kWav}) {
                if (item->mediaType & m_categories[static_cast<std::size_t>(c)].mask) {
                    loaded[static_cast<std::size_t>(c)].push_back(std::move(*item));
                    ++total;
                    break;
                }
            }
        }
    }
    std::lock_guard guard(m_data);
    for (int c : {kMp3, kMidi, kWav})
        m_categories[static_cast<std::size_t>(c)].items = std::move(loaded[static_cast<std::size_t>(c)]);
    ++m_generation;
}

void Library::ScanCd(int mode)
{
    std::vector<LibraryItem> cdrom, tracks;
    std::string drive = FirstCdDrive();
    if (!drive.empty()) {
        int previous = m_state.exchange(kLibraryScanningCd);
        ShowBusyRow();
        std::string root = CdFileRoot(drive);
        if (!root.empty()) {
            FolderScan scan(m_reader, settings::CurrentSettings().minWavSize, m_cancel,
                            [this](const std::string& title, bool) {
                                if (!title.empty())
                                    SetTitle(title);
                            });
            scan.ScanFolder(root, 3, cdrom);
            std::sort(cdrom.begin(), cdrom.end(), [](const LibraryItem& a, const LibraryItem& b) {
                return CompareNoCase(SortKey(a.title, a.path), SortKey(b.title, b.path)) < 0;
            });
            SetTitle(kProductTitle);
        }
        for (const std::string& path : CdTrackPaths(drive)) {
            if (std::optional<LibraryItem> item = ReadLibraryItem(m_reader, path, MEDIA_CDTRACK))
                tracks.push_back(std::move(*item));
        }
        m_state = previous;
    }
    std::lock_guard guard(m_data);
    m_categories[kCdRom].items = std::move(cdrom);
    m_categories[kAudioCd].items = std::move(tracks);
    if (mode == 2) {
        m_categories[kCdRom].expanded = true;
        m_categories[kAudioCd].expanded = true;
    }
    ++m_generation;
}

void Library::ListCategories()
{
    std::vector<LibraryRow> rows;
    for (int c = 0; c < kCategoryCount; ++c) {
        const LibraryCategory& category = m_categories[static_cast<std::size_t>(c)];
        if (category.items.empty())
            continue;
        rows.push_back({0, category.label, c, -1});
        if (!category.expanded)
            continue;
        for (std::size_t i = 0; i < category.items.size(); ++i)
            rows.push_back({1, category.items[i].path, c, static_cast<int>(i)});
    }
    m_rows = std::move(rows);
}

void Library::FillLibrary(int mode)
{
    if (mode == 2 && m_cdChange)
        m_cdChange();
    if (mode == 1 || mode == 2)
        ScanCd(mode);
    {
        std::lock_guard guard(m_data);
        ListCategories();
    }
    NotifyRows();
}

void Library::Stop()
{
    m_cancel = true;
    Wait();
}

void Library::Wait()
{
    for (std::thread& t : m_threads) {
        if (t.joinable())
            t.join();
    }
    m_threads.clear();
}

std::vector<LibraryRow> Library::Rows() const
{
    std::lock_guard guard(m_data);
    return m_rows;
}

void Library::RefreshEntries()
{
    for (int c = 0; c < kCategoryCount; ++c) {
        std::vector<LibraryItem> items;
        {
            std::lock_guard guard(m_data);
            items = m_categories[static_cast<std::size_t>(c)].items;
        }
        for (LibraryItem& item : items) {
            if (std::optional<LibraryItem> again = ReadLibraryItem(m_reader, item.path, kAllMediaTypes))
                item = std::move(*again);
        }
        std::lock_guard guard(m_data);
        if (m_categories[static_cast<std::size_t>(c)].items.size() == items.size())
            m_categories[static_cast<std::size_t>(c)].items = std::move(items);
    }
    NotifyRows();
}

bool Library::ToggleCategory(int row)
{
    {
        std::lock_guard guard(m_data);
        if (row < 0 || row >= static_cast<int>(m_rows.size()) || m_rows[static_cast<std::size_t>(row)].item != -1 ||
            m_rows[static_cast<std::size_t>(row)].category < 0)
            return false;
        LibraryCategory& category =
            m_categories[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].category)];
        category.expanded = !category.expanded;
        ListCategories();
    }
    NotifyRows();
    return true;
}

bool Library::RemoveRow(int row)
{
    {
        std::lock_guard guard(m_data);
        if (row < 0 || row >= static_cast<int>(m_rows.size()) || m_rows[static_cast<std::size_t>(row)].item < 0)
            return false;
        const LibraryRow& r = m_rows[static_cast<std::size_t>(row)];
        auto& items = m_categories[static_cast<std::size_t>(r.category)].items;
        std::vector<LibraryItem> kept = items;
        kept.erase(kept.begin() + r.item);
        // The file holds the drives' categories; the disc's are found anew each time.
        if (r.category == kMp3 || r.category == kMidi || r.category == kWav) {
            std::vector<std::string> paths;
            for (int c : {kMp3, kMidi, kWav}) {
                for (const LibraryItem& item : c == r.category ? kept : m_categories[static_cast<std::size_t>(c)].items)
                    paths.push_back(item.path);
            }
            if (!WriteFileAtomically(m_libraryPath, FormatListFile(0, paths)))
                return false;
        }
        items = std::move(kept);
        ++m_generation;
        ListCategories();
    }
    NotifyRows();
    return true;
}

std::optional<LibraryEntry> Library::EntryOfRow(int row) const
{
    std::lock_guard guard(m_data);
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || m_rows[static_cast<std::size_t>(row)].item < 0)
        return std::nullopt;
    const LibraryRow& r = m_rows[static_cast<std::size_t>(row)];
    return LibraryEntry{r.category, r.item, m_generation};
}

std::optional<MediaItem> Library::ItemOf(const LibraryEntry& entry) const
{
    std::lock_guard guard(m_data);
    if (entry.generation != m_generation || entry.category < 0 || entry.category >= kCategoryCount)
        return std::nullopt;
    const auto& items = m_categories[static_cast<std::size_t>(entry.category)].items;
    if (entry.item < 0 || entry.item >= static_cast<int>(items.size()))
        return std::nullopt;
    const LibraryItem& source = items[static_cast<std::size_t>(entry.item)];
    MediaItem item = MakeMediaItem();
    std::memcpy(item.path, source.path.c_str(), std::min(source.path.size() + 1, sizeof item.path));
    std::memcpy(item.title, source.title.c_str(), std::min(source.title.size() + 1, sizeof item.title));
    item.title[sizeof item.title - 1] = '\0';
    item.mediaType = source.mediaType;
    item.sampleRate = source.sampleRate;
    item.totalSamples = source.totalSamples;
    item.durationSeconds = source.durationSeconds;
    item.layer = source.layer;
    return item;
}

std::optional<LibraryEntry> Library::Neighbour(const LibraryEntry& entry, int step) const
{
    LibraryEntry next = entry;
    next.item += step;
    if (!ItemOf(next))
        return std::nullopt;
    return next;
}

} // namespace lumetra::playlist
