#pragma once
// Where the single-instance lock and the hand-over socket live: $XDG_RUNTIME_DIR
// when it names an absolute folder, else a private folder /tmp/lumetra-UID made
// for the purpose (mode 0700, owned by this user, never a link).

#include <optional>
#include <string>

namespace lumetra::platform {

// The folder, ending in "/"; nothing when none is usable (error says why).
std::optional<std::string> RuntimeDirectory(std::string* error = nullptr);

} // namespace lumetra::platform
