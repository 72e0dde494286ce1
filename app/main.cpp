// lumetra [--headless] [ARG]: the player. Until the window exists it always runs
// headless; --has-window answers whether a window can be shown.

#include "app/headless_front_end.h"
#include "engine/engine.h"
#include "platform/audio/wave_out.h"
#include "settings/settings.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A leading double quote is dropped together with the last character.
std::string CommandLineFile(const char* arg)
{
    std::string file = arg;
    if (!file.empty() && file[0] == '"')
        file = file.size() >= 2 ? file.substr(1, file.size() - 2) : std::string();
    return file;
}

} // namespace

int main(int argc, char** argv)
{
    std::string file;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--has-window") == 0)
            return 1;
        if (std::strcmp(argv[i], "--headless") == 0)
            continue;
        if (file.empty())
            file = CommandLineFile(argv[i]);
    }
    // Settings come first: the directory's speed filter and expansion rules read them.
    lumetra::settings::LoadSettings();
    QCoreApplication app(argc, argv);
    lumetra::app::HeadlessFrontEnd frontEnd(lumetra::engine::TheEngine(), lumetra::platform::audio::TheAudioSystem());
    int status = frontEnd.Run(file);
    std::fflush(stdout);
    // The input thread may still wait on standard input; end without unwinding it.
    std::_Exit(status);
}
