#pragma once
// A private PulseAudio server for tests: a null sink per requested format on a
// socket in a temporary directory, and parec recording the sink's monitor.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace lumetra::platform::audio::testing {

class PulseServer {
public:
    // The lowest latency asked of a sink, so the sink's own latency.
    static constexpr int kRecorderLatencyMs = 10;

    explicit PulseServer(const std::string& dir) : m_dir(dir)
    {
        for (const char* sub : {"/config", "/runtime", "/home"})
            std::filesystem::create_directories(m_dir + sub);
        setenv("HOME", (m_dir + "/home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_dir + "/runtime").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + m_dir + "/native").c_str(), 1);
        unsetenv("PULSE_SINK");
        std::ofstream script(m_dir + "/server.pa");
        script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << m_dir << "/native\n";
        script.close();
        // No shared memory: the server's memfd block references can abort it
        // (pulseaudio issue 824); everything then goes over the socket.
        m_server = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=no",
                          "--use-pid-file=no", "--disallow-module-loading=no", "--disable-shm=yes", "-F",
                          m_dir + "/server.pa", "--log-target=file:" + m_dir + "/server.log"});
        for (int i = 0; i < 100 && m_server > 0; ++i) {
            if (Run("pactl info"))
                return;
            int status = 0;
            if (waitpid(m_server, &status, WNOHANG) == m_server) {
                m_server = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    ~PulseServer()
    {
        StopRecording();
        if (m_server > 0) {
            kill(m_server, SIGTERM);
            waitpid(m_server, nullptr, 0);
        }
    }

    bool Running() const { return m_server > 0; }

    // Ends the server at once, as a crash would.
    void Kill()
    {
        if (m_server > 0) {
            kill(m_server, SIGKILL);
            waitpid(m_server, nullptr, 0);
            m_server = -1;
        }
    }

    // A null sink in the given format, made the default sink.
    bool UseSink(const std::string& name, const std::string& format, int rate, int channels)
    {
        return Run("pactl load-module module-null-sink sink_name=" + name + " format=" + format +
                   " rate=" + std::to_string(rate) + " channels=" + std::to_string(channels) + " >/dev/null") &&
               Run("pactl set-default-sink " + name);
    }

    // Records the sink's monitor, in the sink's own format, raw into file; returns
    // once the recording stream exists.
    bool StartRecording(const std::string& sink, const std::string& format, int rate, int channels,
                        const std::string& file)
    {
        m_recorder = Spawn({"parec", "--raw", "--device=" + sink + ".monitor", "--format=" + format,
                            "--rate=" + std::to_string(rate), "--channels=" + std::to_string(channels),
                            "--latency-msec=" + std::to_string(kRecorderLatencyMs), file});
        for (int i = 0; i < 100 && m_recorder > 0; ++i) {
            if (Run("pactl list short source-outputs | grep -q ."))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void StopRecording()
    {
        if (m_recorder > 0) {
            kill(m_recorder, SIGINT);
            waitpid(m_recorder, nullptr, 0);
            m_recorder = -1;
        }
    }

    std::string Log() const
    {
        std::ifstream in(m_dir + "/server.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

private:
    static pid_t Spawn(const std::vector<std::string>& args)
    {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    std::string m_dir;
    pid_t m_server = -1;
    pid_t m_recorder = -1;
};

} // namespace lumetra::platform::audio::testing
