#pragma once
// What every tool shares with the player's command line: -h/--help prints the
// usage on standard output and exits 0, --version prints the product version;
// exit status 1 when the job failed, 2 for a usage error.

#include "settings/settings.h"

#include <cstdio>
#include <cstring>
#include <optional>

namespace lumetra::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The exit status when an argument before any "--" asks for the help or the
// version (which are printed), else nothing.
inline std::optional<int> StandardOption(int argc, char** argv, const char* tool, const char* usage)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return kExitOk;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s (Lumetra Media Player) %.*s\n", tool, int(settings::kProgramVersion.size()),
                        settings::kProgramVersion.data());
            return kExitOk;
        }
    }
    return std::nullopt;
}

// A usage error: the reason and the usage on standard error.
inline int UsageError(const char* tool, const char* reason, const char* usage)
{
    std::fprintf(stderr, "%s: %s\n%s", tool, reason, usage);
    return kExitUsage;
}

} // namespace lumetra::tools
