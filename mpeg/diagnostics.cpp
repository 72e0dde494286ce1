#include "mpeg/diagnostics.h"

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace lumetra::mpeg {
namespace {

std::atomic<int> g_enabled{-1}; // -1: not yet taken from the environment

} // namespace

void SetDiagnostics(bool enabled)
{
    g_enabled = enabled ? 1 : 0;
}

bool DiagnosticsEnabled()
{
    int v = g_enabled.load(std::memory_order_relaxed);
    if (v < 0) {
        const char* env = std::getenv("LUMETRA_MPEG_DIAGNOSTICS");
        v = env && std::strcmp(env, "1") == 0 ? 1 : 0;
        g_enabled = v;
    }
    return v == 1;
}

void DiagOut(const char* format, ...)
{
    if (!DiagnosticsEnabled())
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void DiagErr(const char* format, ...)
{
    if (!DiagnosticsEnabled())
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

} // namespace lumetra::mpeg
