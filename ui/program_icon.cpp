#include "ui/program_icon.h"
#include "platform/desktop/desktop_icon_sizes.h"
#include "platform/resources/resources.h"

#include <QPixmap>

#include <string>

namespace lumetra::ui {

QIcon ProgramIcon()
{
    static const QIcon icon = [] {
        QIcon made;
        for (int size : platform::kDesktopIconSizes) {
            auto bytes = platform::FindResource("icon", platform::DesktopIconName(size));
            QPixmap pixmap;
            if (bytes && pixmap.loadFromData(bytes->data(), static_cast<uint>(bytes->size()), "PNG"))
                made.addPixmap(pixmap);
        }
        return made;
    }();
    return icon;
}

} // namespace lumetra::ui
