#include "web/proxy_settings.h"

#include "platform/dialogs/message_box.h"
#include "settings/registry_values.h"
#include "settings/settings.h"
#include "web/proxy_password.h"

#include <mutex>

namespace lumetra::web {
namespace {

std::string ValuePath(const char* name)
{
    return std::string(settings::kProgramKey) + "Settings\\" + name;
}

std::string ReadField(const char* name)
{
    std::string text;
    settings::ReadRegistryString(settings::RegistryRoot::CurrentUser, ValuePath(name), text);
    if (text.size() > kProxyFieldLimit)
        text.resize(kProxyFieldLimit);
    return text;
}

void WriteField(const char* name, std::string value)
{
    if (value.size() > kProxyFieldLimit)
        value.resize(kProxyFieldLimit);
    settings::WriteRegistryValue(settings::RegistryRoot::CurrentUser, ValuePath(""), name, value);
}

std::mutex g_handlerLock;
ProxyDialogHandler g_handler;

} // namespace

bool ReadProxySettings(ProxySettings& out)
{
    out.server = ReadField("ProxyServer");
    out.port = ReadField("ProxyPort");
    out.userId = ReadField("ProxyUserID");
    std::string stored;
    settings::ReadRegistryString(settings::RegistryRoot::CurrentUser, ValuePath("ProxyPassword"), stored);
    out.password = DecodeProxyPassword(stored, out.userId);
    if (out.password.size() > kProxyFieldLimit)
        out.password.resize(kProxyFieldLimit);
    return !out.server.empty();
}

void WriteProxySettings(const ProxySettings& values)
{
    std::string user = values.userId.substr(0, kProxyFieldLimit);
    WriteField("ProxyServer", values.server);
    WriteField("ProxyPort", values.port);
    WriteField("ProxyUserID", user);
    WriteField("ProxyPassword", EncodeProxyPassword(values.password.substr(0, kProxyFieldLimit), user));
}

ProxyDialogView OpenProxyDialogView(bool proxyInUse)
{
    ProxyDialogView view;
    ReadProxySettings(view.values);
    view.serverAndPortEnabled = !proxyInUse;
    view.note =
        proxyInUse ? "Please re-enter the user id and password." : "Leave blank if you do not use proxy server.";
    return view;
}

void SetProxyDialogHandler(ProxyDialogHandler handler)
{
    std::lock_guard lock(g_handlerLock);
    g_handler = std::move(handler);
}

bool RunProxyDialog(bool proxyInUse)
{
    ProxyDialogHandler handler;
    {
        std::lock_guard lock(g_handlerLock);
        handler = g_handler;
    }
    ProxyDialogView view = OpenProxyDialogView(proxyInUse);
    if (handler)
        return handler(view);
    return platform::ShowDialog("Proxy Information");
}

} // namespace lumetra::web
