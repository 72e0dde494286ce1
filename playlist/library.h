#pragma once
// The music library: the playable files of the fixed drives in the categories
// "Audio CD", "CDROM", "MP3", "MIDI" and "WAV". A build scans the drives on its own
// thread and writes library.lst; a load reads the categories back from that file.
// Both threads run below normal priority and hold the library lock for their whole
// run. The visible rows (headers and the items of open categories) are what the
// window draws and the headless front end prints.

#include "playlist/library_scan.h"
#include "playlist/playlist.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lumetra::playlist {

enum LibraryState : int { kLibraryIdle = 0, kLibraryBuilding = 1, kLibraryScanningCd = 2, kLibraryLoading = 5 };

inline constexpr const char* kPleaseWait = "Please wait...";

struct LibraryCategory {
    std::string label;
    int32_t mask = 0;
    bool expanded = false;
    std::vector<LibraryItem> items;
};

struct LibraryRow {
    int level = 0; // 0 a category header or the busy text, 1 an item
    std::string text;
    int category = -1; // -1 for the busy text
    int item = -1;     // -1 for a header
};

// Where an entry played from the library is: valid while the categories are
// those it was taken from.
struct LibraryEntry {
    int category = -1;
    int item = -1;
    uint64_t generation = 0;
};

// Told from the library threads: the window posts these to its own thread.
struct LibraryObserver {
    std::function<void()> rowsChanged;
    std::function<void(const std::string& title)> setTitle;
};

class Library {
public:
    enum Category { kAudioCd, kCdRom, kMp3, kMidi, kWav, kCategoryCount };

    // libraryPath is library.lst; drives lists the fixed drives (platform::FixedDrives).
    Library(ItemReader reader, std::string libraryPath, std::function<std::vector<std::string>()> drives);
    ~Library();

    void SetObserver(LibraryObserver observer);
    // Run by each library thread as it ends: it closes the CD device the thread
    // opened while reading Audio CD track information.
    void SetThreadEndStep(std::function<void()> step) { m_threadEnd = std::move(step); }
    // Mode 2 applies the CD change to the playlist through this (main thread).
    void SetCdChangeHandler(std::function<void()> handler) { m_cdChange = std::move(handler); }

    // Starts the build thread; always true.
    bool StartLibraryBuild();
    // False (and nothing started) when the library file cannot be read.
    bool StartLibraryLoad();
    // Relists the categories; mode 1 rescans the CD-ROM and the Audio CD first,
    // mode 2 does so for a changed disc. On the main thread only while idle.
    void FillLibrary(int mode);

    int State() const { return m_state.load(); }
    bool Busy() const { return m_state.load() != kLibraryIdle || m_pendingThreads.load() > 0; }
    // Ends the running thread soon and waits for it (shutdown).
    void Stop();
    // Waits for the running threads to finish their work.
    void Wait();

    std::vector<LibraryRow> Rows() const;
    // Re-reads every item's information in place (new CD track names); main
    // thread, while idle.
    void RefreshEntries();
    // Opens or closes the category of a header row; false for other rows.
    bool ToggleCategory(int row);
    // Takes the item of an item row out of the library ("Remove from Library");
    // the library file is written again without it. False for other rows or
    // when the file cannot be written (nothing is removed then). Entries taken
    // before no longer resolve. Main thread, while idle.
    bool RemoveRow(int row);
    std::optional<LibraryEntry> EntryOfRow(int row) const;
    // The entry's media item (path, title, type, rate, length), when it is still there.
    std::optional<MediaItem> ItemOf(const LibraryEntry& entry) const;
    // The following or preceding item of the same category.
    std::optional<LibraryEntry> Neighbour(const LibraryEntry& entry, int step) const;

    const std::string& LibraryPath() const { return m_libraryPath; }
    const LibraryCategory& CategoryAt(int category) const
    {
        return m_categories.at(static_cast<std::size_t>(category));
    }

private:
    void RunThread(bool build);
    // True when the categories were filled from the scan just written.
    bool Build();
    void LoadCategories();
    void ScanCd(int mode);
    void ListCategories();
    void ShowBusyRow();
    void NotifyRows();
    void SetTitle(const std::string& title);
    void StartThread(bool build, LibraryState state);

    ItemReader m_reader;
    std::string m_libraryPath;
    std::function<std::vector<std::string>()> m_drives;
    std::function<void()> m_cdChange;
    std::function<void()> m_threadEnd;

    std::mutex m_libraryLock;  // held by a library thread for its whole run
    mutable std::mutex m_data; // categories, rows, generation, observer
    std::array<LibraryCategory, kCategoryCount> m_categories;
    std::vector<LibraryRow> m_rows;
    uint64_t m_generation = 1;
    LibraryObserver m_observer;

    std::atomic<int> m_state{kLibraryIdle};
    std::atomic<int> m_pendingThreads{0};
    std::atomic<bool> m_cancel{false};
    std::vector<std::thread> m_threads;
};

} // namespace lumetra::playlist
