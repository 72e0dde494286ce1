// library_bench build|load TREE LIBRARY_FILE: one library build over TREE (or one
// load of LIBRARY_FILE) with the real information readers (the decoder's, and the
// media-control sources' for WAV and MIDI), as the player runs it. Prints "seconds S items N rss_kb K" on standard output.
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"
#include "platform/audio/wave_out.h"
#include "playlist/library.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    using namespace lumetra;
    if (argc != 4 || (std::strcmp(argv[1], "build") != 0 && std::strcmp(argv[1], "load") != 0)) {
        std::fprintf(stderr, "usage: library_bench build|load TREE LIBRARY_FILE\n");
        return 2;
    }
    std::string tree = argv[2];
    std::unique_ptr<platform::audio::AudioSystem> audio = platform::audio::CreateAudioSystem("null");
    if (!audio)
        return 1;
    engine::MciSources mci(*audio);
    playlist::Library library(
        [&mci](MediaItem& item) { engine::FillMediaInfo(item, engine::DefaultDecoderSource(), &mci); }, argv[3],
        [&tree] { return std::vector<std::string>{tree + "/"}; });
    auto start = std::chrono::steady_clock::now();
    if (std::strcmp(argv[1], "build") == 0)
        library.StartLibraryBuild();
    else if (!library.StartLibraryLoad())
        return 1;
    library.Wait();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::size_t items = 0;
    for (int c = 0; c < playlist::Library::kCategoryCount; ++c)
        items += library.CategoryAt(c).items.size();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("seconds %.3f items %zu rss_kb %ld\n", seconds, items, usage.ru_maxrss);
    return 0;
}
