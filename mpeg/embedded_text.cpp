#include "mpeg/embedded_text.h"

#include "platform/resources/resources.h"

#include <atomic>

namespace lumetra::mpeg {
namespace {

std::atomic<EmbeddedTextOpener> g_opener{nullptr};

} // namespace

FILE* OpenEmbeddedText(const char* name)
{
    if (EmbeddedTextOpener opener = g_opener.load())
        return opener(name);
    return platform::OpenResourceStream("textfile", name);
}

int CloseEmbeddedText(FILE* stream)
{
    if (stream)
        std::fclose(stream);
    return 1;
}

void SetEmbeddedTextOpener(EmbeddedTextOpener opener)
{
    g_opener = opener;
}

} // namespace lumetra::mpeg
