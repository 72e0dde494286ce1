#include "app/decoder_table_check.h"

#include "mpeg/table_report.h"
#include "platform/dialogs/message_box.h"

namespace lumetra::app {

std::optional<int> ShowDecoderTableErrors()
{
    const mpeg::TableReport report = mpeg::CheckDecoderTables();
    for (const std::string& text : report.messages)
        platform::ShowMessageBox("Error Message", text, platform::MessageButtons::Ok);
    return report.exitStatus;
}

} // namespace lumetra::app
