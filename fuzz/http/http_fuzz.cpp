// Reply headers and lines from a hostile server.
#include "web/http_text.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    int length = 0;
    std::string modified;
    int kind = lumetra::web::ParseHttpHeader(text, length, modified);
    if (kind != 0 && kind != 1 && kind != 2 && kind != 10)
        __builtin_trap();
    if (modified.size() > lumetra::web::kHeaderLineLimit)
        __builtin_trap();
    std::string buffer = text;
    std::string line;
    size_t offset = 0;
    size_t lines = 0;
    while ((offset = lumetra::web::NextLine(buffer, offset, line)) != 0) {
        if (offset > buffer.size() || ++lines > buffer.size())
            __builtin_trap();
    }
    std::string host, path;
    uint16_t port = 0;
    if (lumetra::web::SplitHttpUrl(text, host, port, path) && path.empty())
        __builtin_trap();
    lumetra::web::Base64Encode(text);
    return 0;
}
