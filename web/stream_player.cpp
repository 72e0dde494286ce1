#include "web/stream_player.h"
#include "platform/xdg_directories.h"

#include "platform/regular_file.h"
#include "web/http_text.h"
#include "web/stream_get.h"
#include "web/stream_playlist.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace lumetra::web {
namespace {

constexpr std::size_t kStreamPlaylistLimit = 1 << 20;

void MakeDirectories(const std::string& dir)
{
    std::string partial;
    std::stringstream parts(dir);
    std::string part;
    if (!dir.empty() && dir.front() == '/')
        partial = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty())
            continue;
        partial += part + "/";
        ::mkdir(partial.c_str(), 0700);
    }
}

} // namespace

StreamJob::~StreamJob()
{
    if (file)
        std::fclose(file);
}

std::string DefaultProgramDirectory()
{
    return platform::DataDirectory();
}

std::string StreamFilePath(const std::string& programDirectory)
{
    return programDirectory + " Streaming MP3";
}

StreamContext::StreamContext(std::string programDirectory) : m_programDirectory(std::move(programDirectory)) {}

StreamContext::~StreamContext()
{
    StopStream(*this);
}

void StreamContext::SetProgressSink(std::function<void(int64_t, bool)> sink)
{
    m_sink = std::move(sink);
}

bool StreamContext::ThreadRunning() const
{
    return m_job && m_job->running.load();
}
bool StreamContext::Done() const
{
    return m_job && m_job->done.load() == 1;
}
int64_t StreamContext::Received() const
{
    return m_job ? m_job->received.load() : 0;
}
const std::string& StreamContext::Host() const
{
    static const std::string kNone;
    return m_job ? m_job->host : kNone;
}
uint16_t StreamContext::Port() const
{
    return m_job ? m_job->port : 0;
}
const std::string& StreamContext::Path() const
{
    static const std::string kNone;
    return m_job ? m_job->path : kNone;
}

void StreamThread(std::shared_ptr<StreamJob> job)
{
    job->done = 0;
    if (job->progress)
        job->progress(0, true);
    job->end = StreamGet(
        job->caption, job->host, job->port, job->path, job->file, job->stop, job->received, job->mediaReceived,
        [&job](int64_t total) {
            if (job->progress)
                job->progress(total, true);
        },
        &job->limits);
    // Reported while a stop request still shows: a job left running after a stop
    // must not write its count over the next stream's.
    if (job->progress)
        job->progress(job->received.load(), false);
    job->running = false;
    job->done = 1;
    job->stop = 0;
}

int StartPlaylistStream(const std::string& file, StreamContext& context)
{
    // The address is on one of the first lines; the rest of a huge file is never read.
    std::optional<std::string> text = platform::ReadRegularFile(file, kStreamPlaylistLimit);
    if (!text)
        return 1;
    std::optional<std::string> address = FindStreamAddress(*text);
    if (!address)
        return 0;
    StopStream(context);

    MakeDirectories(context.m_programDirectory);
    std::string path = context.FilePath();
    auto job = std::make_shared<StreamJob>();
    // Made afresh: whatever is left under the name (even a FIFO, where the
    // download would block for ever) is not opened.
    std::remove(path.c_str());
    job->file = std::fopen(path.c_str(), "w+bx");
    if (job->file)
        ::chmod(path.c_str(), 0600);
    job->caption = kStreamCaption;
    if (!SplitHttpUrl(*address, job->host, job->port, job->path)) {
        job->host.clear();
        job->path = "/";
    }
    if (context.m_media)
        context.m_media->streamState = 1;
    auto sink = context.m_sink;
    if (sink) {
        // Progress goes through a weak reference: a job left running after a
        // stop must not report into the next stream's counters.
        job->progress = [sink, weak = std::weak_ptr<StreamJob>(job)](int64_t received, bool downloading) {
            auto alive = weak.lock();
            if (alive && alive->stop.load() != 1)
                sink(received, downloading);
        };
    }
    job->limits = context.m_limits;
    job->limits.folder = context.m_programDirectory;
    job->running = true;
    context.m_limitReported = 0;
    context.m_job = job;
    context.m_thread = std::thread(StreamThread, job);
    return 1;
}

void StopStream(StreamContext& context)
{
    if (context.m_thread.joinable()) {
        auto job = context.m_job;
        job->stop = 1;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
        while (job->running.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (job->running.load())
            context.m_thread.detach(); // it holds its own reference and ends by itself
        else
            context.m_thread.join();
    }
    if (context.m_job && !context.m_job->running.load() && context.m_job->file) {
        std::fclose(context.m_job->file);
        context.m_job->file = nullptr;
    }
    context.m_job.reset();
    if (context.m_media) {
        context.m_media->streamState = 0;
    }
    if (context.m_sink)
        context.m_sink(0, false);
}

int StreamContext::TakeLimitReached()
{
    if (!m_job || m_job->running.load() || m_limitReported)
        return kStreamEnded;
    m_limitReported = 1;
    return m_job->end.load();
}

StreamContext& ProcessStream()
{
    static StreamContext context;
    return context;
}

} // namespace lumetra::web
