#pragma once
// The headless front end's extension points. Subsystems add their commands and
// say when they are still busy; every event goes out through EmitEvent. Each
// subsystem's registration function is called from headless_commands.cpp.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace lumetra::app {

// name is the first word of an input line; arg is the rest of the line after one
// space (may itself contain spaces), empty when there is none. Runs on the main thread.
void RegisterHeadlessCommand(std::string name, std::function<void(const std::string& arg)> handler);

// The fixed first word of an event, such as "state" or "item": a literal of
// lower-case letters and '-', checked when compiled.
class EventWord {
public:
    consteval EventWord(const char* word) : m_word(word)
    {
        if (!*word)
            throw "an event word is not empty";
        for (const char* c = word; *c; ++c) {
            if (!((*c >= 'a' && *c <= 'z') || *c == '-'))
                throw "an event word is lower-case letters and '-'";
        }
    }
    const char* Text() const { return m_word; }

private:
    const char* m_word;
};

// Every event goes out through these: one line to standard output, flushed,
// thread-safe. The word alone; or the word, a space and the text escaped by
// EscapeEventText (app/event_text.h), so no text can end the line or hold
// anything but valid UTF-8.
void EmitEvent(EventWord word);
void EmitEvent(EventWord word, std::string_view text);
// The word, a space and the fields joined by "|", a "|" inside a field written
// "\|" (the `item` event).
void EmitFieldsEvent(EventWord word, std::initializer_list<std::string_view> fields);
// The window without --control prints no events; on by default.
void SetEventsEnabled(bool enabled);

// A path to be read as a file (media, playlist, station file) that exists but is
// not a regular file (FIFO, device, socket, directory): prints
// `error not a regular file: PATH` and returns true.
bool RefuseIfNotRegular(const std::string& path);

// At end of input the program waits while any check returns true (polled on the
// main thread at each wake of the player's timer, four times a second while one
// holds, and after each end of track).
void RegisterBusyCheck(std::function<bool()> check);

// Run on the main thread during the orderly shutdown, after the decoder is closed
// and before the output device is awaited (the receiver closes here).
void RegisterShutdownStep(std::function<void()> step);

// A path given to `play PATH` or as the start-up argument is offered to these
// first (stream playlists, station files); one that returns true has taken it.
void RegisterOpenHandler(std::function<bool(const std::string& path)> handler);

// Run on the main thread when the start-up file is handled (window message 1057),
// before it is opened; file is the command-line file, empty when none was given.
void RegisterStartHook(std::function<void(const std::string& file)> hook);

// Shows a panel of the window (0 the playlist, 1 the information screen, 2 the
// library) as its buttons do; without a window it does nothing. The front end
// sets where it goes.
void ShowPanel(int view);
void SetPanelShower(std::function<void(int view)> shower);

// Run after each event line is written, on the thread that wrote it and under the
// output lock, so it only hands work on (posts to the main loop). One observer;
// an empty function removes it.
void SetEventObserver(std::function<void()> observer);

// Run on the main thread once per 50 ms tick of the player's timer. With a window
// the timer wakes every tick; without one it wakes once a second when idle (four
// times a second while something is busy) and runs the hooks once for each tick
// that passed, back to back.
void RegisterTimerHook(std::function<void()> hook);

// Window messages posted to the main window (engine::PostWindowMessage to
// TheEngine().MainWindow()) that the player itself does not handle, such as the
// receiver's notices, go to the handler registered for their number.
void RegisterWindowMessageHandler(int message, std::function<void(intptr_t wParam, intptr_t lParam)> handler);

} // namespace lumetra::app
