#include "tools/station/audio_source.h"

#include "platform/regular_file.h"
#include "tools/station/demo_music.h"

#include <QProcess>
#include <QStringList>

namespace lumetra::station {
namespace {

constexpr int kMaxSourceSeconds = 20 * 60;

} // namespace

bool AudioSource::Load(const std::string& path, int sampleRate, std::string& error)
{
    m_position = 0;
    if (platform::ExistsButNotRegular(path.c_str())) {
        error = platform::NotRegularFileText(path);
        return false;
    }
    if (path.empty()) {
        m_samples = MakeDemoMusic(sampleRate);
        return true;
    }
    // Through ffmpeg's file protocol only: a name that looks like an address
    // ("http://...", "udp:...") is a file name here, never a fetch from the network.
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-nostdin", "-i", QString::fromStdString("file:" + path), "-f", "s16le",
                            "-ac", "1", "-ar", QString::number(sampleRate), "-"});
    if (!ffmpeg.waitForStarted(10000)) {
        error = "cannot run ffmpeg to read " + path;
        return false;
    }
    // The station loops what it holds, so a long file is cut rather than held whole.
    const qsizetype limit = qsizetype{2} * sampleRate * kMaxSourceSeconds;
    QByteArray data;
    bool cut = false;
    while (!cut && ffmpeg.waitForReadyRead(60000)) {
        data += ffmpeg.readAllStandardOutput();
        cut = data.size() >= limit;
    }
    if (cut) {
        ffmpeg.kill();
        data.truncate(limit);
    }
    ffmpeg.waitForFinished(60000);
    if (!cut)
        data += ffmpeg.readAllStandardOutput();
    if (!cut && (ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0 || data.size() < 2)) {
        error = "cannot decode " + path + ": " + ffmpeg.readAllStandardError().trimmed().toStdString();
        return false;
    }
    m_samples.resize(static_cast<std::size_t>(data.size()) / 2);
    for (std::size_t k = 0; k < m_samples.size(); ++k) {
        const auto lo = static_cast<uint8_t>(data[static_cast<qsizetype>(2 * k)]);
        const auto hi = static_cast<uint8_t>(data[static_cast<qsizetype>(2 * k + 1)]);
        m_samples[k] = static_cast<int16_t>(lo | hi << 8);
    }
    return true;
}

void AudioSource::NextFrame(std::span<int16_t> frame)
{
    for (int16_t& s : frame) {
        if (m_samples.empty()) {
            s = 0;
            continue;
        }
        s = m_samples[m_position];
        if (++m_position >= m_samples.size())
            m_position = 0;
    }
}

} // namespace lumetra::station
