#pragma once
// What lumetra-station serves: a list of stations, each with its directory entry
// (name, address, port, category, speed, description), its audio, its answers to
// logons and the faults it puts into its stream for tests.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace lumetra::station {

enum class LogonAnswer {
    Accept,       // STARTSEQ, link probes, audio
    Busy,         // "BUSY"
    ClosedSite,   // "BUSY" followed by "ClosedSite"
    IntranetOnly, // "IntranetOnly"
    No14400,      // "No14400"
    Silent,       // never answers
};

struct StationConfig {
    // Directory entry.
    std::string name = "Lumetra Demo";
    std::string address = "127.0.0.1";
    uint16_t port = 3456; // 0: any free port (printed when ready)
    std::string category;
    std::string speed;
    std::string description;

    // Audio.
    std::string file;     // WAV, MP3 or anything ffmpeg reads; empty: demo music
    std::string title;    // song title; empty: from the file name or the demo's
    int codedRate = 8000; // 8000, 16000, 32000; or 11025, 22050, 44100 when native
    bool nativeRate = false;
    int bitRate = 0;             // bits per second of payload; 0: 2 bits per coded sample
    double songTextSeconds = 15; // SONGTEXT interval, 0 for never

    // Conversation.
    LogonAnswer answer = LogonAnswer::Accept;
    int maxListeners = 16; // further listeners get no answer
    uint32_t startSequence = 1000;
    uint32_t streamId = 0; // 0: chosen at random
    int probeCount = 10;   // link probes after STARTSEQ
    int probeIntervalMs = 20;

    // Faults, applied to first sendings of audio datagrams.
    double lossPercent = 0;
    double reorderPercent = 0;
    double duplicatePercent = 0;
    int delayMs = 0;
    std::set<uint32_t> dropSequences;
    bool refuseResends = false;
    double pauseAfterSeconds = -1; // no audio from then ...
    double pauseForSeconds = 0;    // ... for this long (sequence numbers run on)
    double speedFactor = 1;        // >1 sends faster than real time (for tests)

    int OutputRate() const; // 11025, 22050 or 44100
    int FrameBudgetBytes() const;
};

struct StationSetConfig {
    std::vector<StationConfig> stations;
    std::string logPath;  // every datagram received, one line each
    bool logSent = false; // and every datagram sent
    uint32_t seed = 1;
    double durationSeconds = 0; // 0: until stopped
};

// The ready-made set of --demo.
StationSetConfig DemoStations();

// Parses the command line; false with a message on error. help is set for --help.
bool ParseStationArguments(int argc, char** argv, StationSetConfig& config, std::string& error, bool& help);

const char* StationUsage();

} // namespace lumetra::station
