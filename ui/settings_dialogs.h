#pragma once
// The preferences (258), setup (902) and about (265) dialogs and the proxy
// information dialog, drawn with Qt Widgets. Each control carries its number as
// its object name. A dialog opened without an owner keeps itself in front
// (timer 1398) until it closes.

#include "web/proxy_settings.h"

#include <optional>
#include <string>

class QWidget;

namespace lumetra::ui {

// Preferences and setup: OK stores all six settings and gives 1, Cancel 0.
int ShowPreferences(QWidget* owner);
int ShowSetup();
void ShowAbout(QWidget* owner);
// OK (its only way out) writes the four proxy values; true.
bool ShowProxyDialog(const web::ProxyDialogView& view, QWidget* owner);

// The dialog drawn for a title that ShowDialog is asked for: its answer, or
// nothing when the window draws no dialog of that title.
std::optional<bool> RunDrawnDialog(const std::string& title, QWidget* owner);

} // namespace lumetra::ui
