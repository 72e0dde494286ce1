#include "mpeg/embedded_text.h"

#include "platform/resources/resources.h"

namespace lumetra::mpeg {

FILE* OpenEmbeddedText(const char* name)
{
    return platform::OpenResourceStream("textfile", name);
}

int CloseEmbeddedText(FILE* stream)
{
    if (stream)
        std::fclose(stream);
    return 1;
}

} // namespace lumetra::mpeg
