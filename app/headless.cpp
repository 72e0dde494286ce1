#include "app/headless.h"
#include "app/event_text.h"
#include "app/headless_registry.h"
#include "platform/regular_file.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

namespace lumetra::app {
namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, std::function<void(const std::string&)>> commands;
    std::vector<std::function<bool()>> busyChecks;
    std::vector<std::function<void()>> shutdownSteps;
    std::vector<std::function<bool(const std::string&)>> openHandlers;
    std::vector<std::function<void()>> timerHooks;
    std::vector<std::function<void(const std::string&)>> startHooks;
    std::map<int, std::function<void(intptr_t, intptr_t)>> windowMessages;
    std::function<void(int)> panelShower;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

std::atomic<int> g_errorEvents{0};

std::mutex& OutputLock()
{
    static std::mutex lock;
    return lock;
}

std::atomic<bool> g_eventsEnabled{true};

std::function<void()>& EventObserver()
{
    static std::function<void()> observer;
    return observer;
}

void WriteEventLine(const std::string& line)
{
    if (line.rfind("error", 0) == 0)
        ++g_errorEvents;
    if (!g_eventsEnabled)
        return;
    std::lock_guard guard(OutputLock());
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (EventObserver())
        EventObserver()();
}

template <typename T>
std::vector<T> Snapshot(std::vector<T>& list)
{
    std::lock_guard guard(TheRegistry().lock);
    return list;
}

} // namespace

void SetEventObserver(std::function<void()> observer)
{
    std::lock_guard guard(OutputLock());
    EventObserver() = std::move(observer);
}

void RegisterHeadlessCommand(std::string name, std::function<void(const std::string& arg)> handler)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().commands[std::move(name)] = std::move(handler);
}

void SetEventsEnabled(bool enabled)
{
    g_eventsEnabled = enabled;
}

void EmitEvent(EventWord word)
{
    WriteEventLine(word.Text());
}

void EmitEvent(EventWord word, std::string_view text)
{
    WriteEventLine(std::string(word.Text()) + ' ' + EscapeEventText(text));
}

void EmitFieldsEvent(EventWord word, std::initializer_list<std::string_view> fields)
{
    std::string line = std::string(word.Text()) + ' ';
    const char* separator = "";
    for (std::string_view field : fields) {
        line += separator;
        line += EscapeEventText(field, true);
        separator = "|";
    }
    WriteEventLine(line);
}

void RegisterBusyCheck(std::function<bool()> check)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().busyChecks.push_back(std::move(check));
}

void RegisterShutdownStep(std::function<void()> step)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().shutdownSteps.push_back(std::move(step));
}

void RegisterOpenHandler(std::function<bool(const std::string& path)> handler)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().openHandlers.push_back(std::move(handler));
}

void RegisterTimerHook(std::function<void()> hook)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().timerHooks.push_back(std::move(hook));
}

void RegisterStartHook(std::function<void(const std::string& file)> hook)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().startHooks.push_back(std::move(hook));
}

void RunStartHooks(const std::string& file)
{
    for (auto& hook : Snapshot(TheRegistry().startHooks))
        hook(file);
}

void SetPanelShower(std::function<void(int view)> shower)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().panelShower = std::move(shower);
}

void ShowPanel(int view)
{
    std::function<void(int)> shower;
    {
        std::lock_guard guard(TheRegistry().lock);
        shower = TheRegistry().panelShower;
    }
    if (shower)
        shower(view);
}

void RegisterWindowMessageHandler(int message, std::function<void(intptr_t wParam, intptr_t lParam)> handler)
{
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().windowMessages[message] = std::move(handler);
}

bool DispatchWindowMessage(int message, intptr_t wParam, intptr_t lParam)
{
    std::function<void(intptr_t, intptr_t)> handler;
    {
        std::lock_guard guard(TheRegistry().lock);
        auto it = TheRegistry().windowMessages.find(message);
        if (it == TheRegistry().windowMessages.end())
            return false;
        handler = it->second;
    }
    handler(wParam, lParam);
    return true;
}

bool RefuseIfNotRegular(const std::string& path)
{
    if (!platform::ExistsButNotRegular(path.c_str()))
        return false;
    EmitEvent("error", platform::NotRegularFileText(path));
    return true;
}

std::vector<std::string> HeadlessCommandNames()
{
    std::lock_guard guard(TheRegistry().lock);
    std::vector<std::string> names;
    for (const auto& entry : TheRegistry().commands)
        names.push_back(entry.first);
    return names;
}

int ErrorEventCount()
{
    return g_errorEvents.load();
}

void SplitCommandLine(const std::string& line, std::string& name, std::string& arg)
{
    std::size_t space = line.find(' ');
    name = line.substr(0, space);
    arg = space == std::string::npos ? std::string() : line.substr(space + 1);
}

bool DispatchHeadlessLine(const std::string& line)
{
    std::string name, arg;
    SplitCommandLine(line, name, arg);
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard guard(TheRegistry().lock);
        auto it = TheRegistry().commands.find(name);
        if (it == TheRegistry().commands.end())
            return false;
        handler = it->second;
    }
    handler(arg);
    return true;
}

bool AnyBusy()
{
    for (auto& check : Snapshot(TheRegistry().busyChecks)) {
        if (check())
            return true;
    }
    return false;
}

bool OfferToOpenHandlers(const std::string& path)
{
    for (auto& handler : Snapshot(TheRegistry().openHandlers)) {
        if (handler(path))
            return true;
    }
    return false;
}

void RunShutdownSteps()
{
    for (auto& step : Snapshot(TheRegistry().shutdownSteps))
        step();
}

void RunTimerHooks()
{
    for (auto& hook : Snapshot(TheRegistry().timerHooks))
        hook();
}

} // namespace lumetra::app
