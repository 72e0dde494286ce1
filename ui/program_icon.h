#pragma once
// The program's icon (icon 500 of the window and its dialogs), from the PNG
// sizes embedded as "icon" resources.

#include <QIcon>

namespace lumetra::ui {

QIcon ProgramIcon();

} // namespace lumetra::ui
