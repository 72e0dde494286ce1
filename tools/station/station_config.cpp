#include "tools/station/station_config.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace lumetra::station {

int StationConfig::OutputRate() const
{
    if (nativeRate)
        return codedRate;
    return codedRate * 11025 / 8000;
}

int StationConfig::FrameBudgetBytes() const
{
    const int bits = bitRate > 0 ? bitRate : 2 * codedRate;
    const long long bytes = static_cast<long long>(bits) * 2048 / codedRate / 8;
    return static_cast<int>(std::clamp<long long>(bytes, 16, 5120));
}

StationSetConfig DemoStations()
{
    StationSetConfig set;
    StationConfig a;
    a.name = "Lumetra Demo";
    a.port = 3456;
    a.category = "Demo";
    a.speed = "16k";
    a.description = "Generated music at 8000 Hz";
    StationConfig b = a;
    b.name = "Lumetra Demo FM";
    b.port = 3457;
    b.codedRate = 16000;
    b.speed = "32k";
    b.description = "Generated music at 16000 Hz";
    StationConfig c = a;
    c.name = "Lumetra Demo Hi-Fi";
    c.port = 3458;
    c.codedRate = 32000;
    c.speed = "64k";
    c.description = "Generated music at 32000 Hz";
    set.stations = {a, b, c};
    return set;
}

const char* StationUsage()
{
    return "usage: lumetra-station [--demo] [GLOBAL...] [STATION OPTIONS...] [--station NAME STATION OPTIONS...]...\n"
           "Global: --log FILE (every datagram received)  --log-sent  --seed N  --duration SECONDS\n"
           "Directory web service (on with --demo or --directory-port): --directory-port N  --no-directory\n"
           "  --directory-message ID:TEXT  --directory-version VERSION:URL  --directory-refresh SECONDS\n"
           "Station (before any --station they shape the first station; each --station starts afresh):\n"
           "  --station NAME      start another station\n"
           "  --address A         IPv4 address to serve on (default 127.0.0.1)\n"
           "  --port N            UDP port (default 3456; 0 picks a free one); with --demo, before any\n"
           "                      --station, the demo set takes N, N+1, N+2 (0: free ones)\n"
           "  --category T --speed T --description T   directory fields\n"
           "  --file PATH         audio file (WAV, MP3, ... through ffmpeg; its first 20 minutes), looped;\n"
           "                      default demo music\n"
           "  --title T           song title for STARTSEQ and SONGTEXT\n"
           "  --rate HZ           coded rate 8000, 16000 or 32000 (11025, 22050, 44100 with --native)\n"
           "  --native            the coded rate is the output rate\n"
           "  --bitrate BITS      payload bits per second (default 2 bits per coded sample)\n"
           "  --songtext-every S  seconds between SONGTEXT messages (0 never)\n"
           "  --answer A          accept, busy, closed, intranet, no14400, silent\n"
           "  --max-listeners N   further listeners get no answer\n"
           "  --start-seq N --stream-id N --probes N --probe-interval MS\n"
           "  --loss PCT --reorder PCT --duplicate PCT --delay MS --drop-seq N,N,...\n"
           "  --no-resend         ignore resend requests\n"
           "  --pause-after S --pause-for S   stop sending audio for a while (SIGUSR1 pauses, SIGUSR2 resumes)\n"
           "  --speed-factor F    send F times faster than real time\n";
}

namespace {

bool ToDouble(const std::string& s, double& v)
{
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == '\0';
}

bool ToInt(const std::string& s, long long& v, long long lo, long long hi)
{
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, 10);
    return !s.empty() && *end == '\0' && v >= lo && v <= hi;
}

bool ParseAnswer(const std::string& s, LogonAnswer& a)
{
    if (s == "accept")
        a = LogonAnswer::Accept;
    else if (s == "busy")
        a = LogonAnswer::Busy;
    else if (s == "closed")
        a = LogonAnswer::ClosedSite;
    else if (s == "intranet")
        a = LogonAnswer::IntranetOnly;
    else if (s == "no14400")
        a = LogonAnswer::No14400;
    else if (s == "silent")
        a = LogonAnswer::Silent;
    else
        return false;
    return true;
}

bool ValidRate(const StationConfig& s)
{
    const std::vector<int> coded{8000, 16000, 32000};
    const std::vector<int> native{11025, 22050, 44100};
    const auto& list = s.nativeRate ? native : coded;
    return std::find(list.begin(), list.end(), s.codedRate) != list.end();
}

} // namespace

bool ParseStationArguments(int argc, char** argv, StationSetConfig& config, std::string& error, bool& help)
{
    help = false;
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool demo = std::find(args.begin(), args.end(), "--demo") != args.end();
    if (demo) {
        config = DemoStations();
    } else {
        config.stations = {StationConfig{}};
    }
    std::size_t current = 0;
    bool named = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& opt = args[k];
        if (opt == "--help" || opt == "-h") {
            help = true;
            return true;
        }
        if (opt == "--demo")
            continue;
        StationConfig& s = config.stations[current];
        if (opt == "--native") {
            s.nativeRate = true;
            continue;
        }
        if (opt == "--no-resend") {
            s.refuseResends = true;
            continue;
        }
        if (opt == "--log-sent") {
            config.logSent = true;
            continue;
        }
        static const std::set<std::string> kValued{
            "--station",       "--log",       "--seed",        "--duration",       "--address",
            "--port",          "--category",  "--speed",       "--description",    "--file",
            "--title",         "--rate",      "--bitrate",     "--songtext-every", "--answer",
            "--max-listeners", "--start-seq", "--stream-id",   "--probes",         "--probe-interval",
            "--loss",          "--reorder",   "--duplicate",   "--delay",          "--drop-seq",
            "--pause-after",   "--pause-for", "--speed-factor"};
        if (!kValued.count(opt)) {
            error = "unknown option " + opt;
            return false;
        }
        if (k + 1 >= args.size()) {
            error = opt + " needs a value";
            return false;
        }
        const std::string& value = args[++k];
        long long i = 0;
        double d = 0;
        bool ok = true;
        if (opt == "--station") {
            // The first --station names the station that earlier options shaped.
            // Each further one starts afresh, on the next port of the same address.
            if (named || current > 0) {
                StationConfig next;
                next.address = s.address;
                next.port = static_cast<uint16_t>(s.port == 0 ? 0 : s.port + 1);
                config.stations.push_back(next);
                current = config.stations.size() - 1;
            }
            config.stations[current].name = value;
            named = true;
        } else if (opt == "--log")
            config.logPath = value;
        else if (opt == "--seed") {
            ok = ToInt(value, i, 0, UINT32_MAX);
            config.seed = static_cast<uint32_t>(i);
        } else if (opt == "--duration") {
            ok = ToDouble(value, d) && d >= 0;
            config.durationSeconds = d;
        } else if (opt == "--address")
            s.address = value;
        else if (opt == "--port") {
            ok = ToInt(value, i, 0, 65535);
            s.port = static_cast<uint16_t>(i);
            // Before any --station it moves the whole demo set: ports N, N+1, ...
            // (0: each a free one).
            if (demo && !named && current == 0) {
                ok = ok && (i == 0 || i + static_cast<long long>(config.stations.size()) - 1 <= 65535);
                for (std::size_t k = 0; ok && k < config.stations.size(); ++k)
                    config.stations[k].port = static_cast<uint16_t>(i == 0 ? 0 : i + static_cast<long long>(k));
            }
        } else if (opt == "--category")
            s.category = value;
        else if (opt == "--speed")
            s.speed = value;
        else if (opt == "--description")
            s.description = value;
        else if (opt == "--file")
            s.file = value;
        else if (opt == "--title")
            s.title = value;
        else if (opt == "--rate") {
            ok = ToInt(value, i, 1, 48000);
            s.codedRate = static_cast<int>(i);
        } else if (opt == "--bitrate") {
            ok = ToInt(value, i, 1, 1000000);
            s.bitRate = static_cast<int>(i);
        } else if (opt == "--songtext-every") {
            ok = ToDouble(value, d) && d >= 0;
            s.songTextSeconds = d;
        } else if (opt == "--answer")
            ok = ParseAnswer(value, s.answer);
        else if (opt == "--max-listeners") {
            ok = ToInt(value, i, 0, 100000);
            s.maxListeners = static_cast<int>(i);
        } else if (opt == "--start-seq") {
            ok = ToInt(value, i, 0, UINT32_MAX);
            s.startSequence = static_cast<uint32_t>(i);
        } else if (opt == "--stream-id") {
            ok = ToInt(value, i, 1, UINT32_MAX);
            s.streamId = static_cast<uint32_t>(i);
        } else if (opt == "--probes") {
            ok = ToInt(value, i, 0, 1000);
            s.probeCount = static_cast<int>(i);
        } else if (opt == "--probe-interval") {
            ok = ToInt(value, i, 0, 10000);
            s.probeIntervalMs = static_cast<int>(i);
        } else if (opt == "--loss") {
            ok = ToDouble(value, d) && d >= 0 && d <= 100;
            s.lossPercent = d;
        } else if (opt == "--reorder") {
            ok = ToDouble(value, d) && d >= 0 && d <= 100;
            s.reorderPercent = d;
        } else if (opt == "--duplicate") {
            ok = ToDouble(value, d) && d >= 0 && d <= 100;
            s.duplicatePercent = d;
        } else if (opt == "--delay") {
            ok = ToInt(value, i, 0, 600000);
            s.delayMs = static_cast<int>(i);
        } else if (opt == "--drop-seq") {
            std::stringstream list(value);
            for (std::string item; ok && std::getline(list, item, ',');) {
                ok = ToInt(item, i, 0, UINT32_MAX);
                s.dropSequences.insert(static_cast<uint32_t>(i));
            }
        } else if (opt == "--pause-after") {
            ok = ToDouble(value, d) && d >= 0;
            s.pauseAfterSeconds = d;
        } else if (opt == "--pause-for") {
            ok = ToDouble(value, d) && d >= 0;
            s.pauseForSeconds = d;
        } else if (opt == "--speed-factor") {
            ok = ToDouble(value, d) && d > 0 && d <= 1000;
            s.speedFactor = d;
        }
        if (!ok) {
            error = "bad value for " + opt + ": " + value;
            return false;
        }
    }
    for (const StationConfig& s : config.stations) {
        if (!ValidRate(s)) {
            error = "station \"" + s.name + "\": unsupported rate " + std::to_string(s.codedRate);
            return false;
        }
    }
    return true;
}

} // namespace lumetra::station
