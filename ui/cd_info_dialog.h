#pragma once
// The "Audio CD Information" dialog (266): the disc's serial, artist and title,
// and its tracks' names, one edited at a time with "&Set". Each control carries
// its number as its object name.

#include "engine/cd_names.h"

class QWidget;

namespace lumetra::ui {

// Edits names in place with track (1-based) preselected; true when "Save Audio
// CD Information" closed it, false for Cancel.
bool RunCdInfoDialog(engine::CdDiscNames& names, int track, QWidget* owner);

} // namespace lumetra::ui
