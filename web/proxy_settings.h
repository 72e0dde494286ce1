#pragma once
// The proxy values under "...\Lumetra Media Player\Settings\" and the proxy
// dialog's contract. The dialog itself is drawn by the window; the fetcher
// asks for it through a handler, which headless answers with Cancel.

#include <functional>
#include <string>

namespace lumetra::web {

inline constexpr size_t kProxyFieldLimit = 127;

struct ProxySettings {
    std::string server;
    std::string port; // decimal text as stored
    std::string userId;
    std::string password; // plain
};

// Fills `out` (password unscrambled); true when a proxy server is set.
bool ReadProxySettings(ProxySettings& out);
// The dialog's OK: each field cut to 127 characters, the password scrambled
// with the user name and hex-encoded, all four values written.
void WriteProxySettings(const ProxySettings& values);

// What the dialog shows when it opens.
struct ProxyDialogView {
    ProxySettings values;
    bool serverAndPortEnabled = true;
    std::string note;
};
ProxyDialogView OpenProxyDialogView(bool proxyInUse);

// Opens the proxy dialog ("Proxy Information"); true for OK, after which the
// new values are stored. The default handler goes through ShowDialog, so
// headless prints the dialog and cancels.
using ProxyDialogHandler = std::function<bool(const ProxyDialogView& view)>;
void SetProxyDialogHandler(ProxyDialogHandler handler);
bool RunProxyDialog(bool proxyInUse);

} // namespace lumetra::web
