#include "web/directory_server.h"

#include "settings/registry_values.h"
#include "settings/settings.h"

#include <cstdlib>

namespace lumetra::web {

bool ParseEndpoint(const std::string& text, Endpoint& out)
{
    size_t colon = text.rfind(':');
    std::string host = colon == std::string::npos ? text : text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        return false;
    uint16_t port = 80;
    if (colon != std::string::npos) {
        std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        long n = std::strtol(digits.c_str(), nullptr, 10);
        if (n < 1 || n > 65535)
            return false;
        port = static_cast<uint16_t>(n);
    }
    out.host = host;
    out.port = port;
    return true;
}

Endpoint DirectoryServer()
{
    Endpoint endpoint{kDefaultDirectoryHost, kDefaultDirectoryPort};
    if (const char* env = std::getenv("LUMETRA_DIRECTORY"); env && *env) {
        if (ParseEndpoint(env, endpoint))
            return endpoint;
    }
    std::string stored;
    settings::ReadRegistryString(settings::RegistryRoot::CurrentUser,
                                 std::string(settings::kProgramKey) + "Settings\\DirectoryServer", stored);
    Endpoint fromSetting;
    if (!stored.empty() && ParseEndpoint(stored, fromSetting))
        return fromSetting;
    return endpoint;
}

} // namespace lumetra::web
