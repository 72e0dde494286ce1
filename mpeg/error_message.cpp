#include "mpeg/error_message.h"

#include "platform/dialogs/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace lumetra::mpeg {

void ShowErrorMessage(const char* format, ...)
{
    char text[4097];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    platform::ShowMessageBox("Error Message", text, platform::MessageButtons::Ok);
}

void FailAllocation(const char* label)
{
    ShowErrorMessage("Unable to allocate %s\n", label);
    std::exit(0);
}

} // namespace lumetra::mpeg
