#include "tools/station/demo_music.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumetra::station {

namespace {

// Karplus-Strong string: a burst of noise circulating in a delay line of one period.
void Pluck(std::vector<float>& out, int rate, std::size_t start, double hz, float gain, double seconds, uint32_t& seed)
{
    const auto period = static_cast<std::size_t>(std::max(2.0, rate / hz));
    std::vector<float> line(period);
    for (float& v : line) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>((seed >> 8) / 8388608.0 - 1.0);
    }
    const auto n = static_cast<std::size_t>(seconds * rate);
    for (std::size_t k = 0; k < n && start + k < out.size(); ++k) {
        const std::size_t i = k % period;
        const float v = line[i];
        line[i] = 0.498f * (v + line[(i + 1) % period]);
        out[start + k] += gain * v;
    }
}

double NoteHz(int midi)
{
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

} // namespace

std::vector<int16_t> MakeDemoMusic(int rate)
{
    constexpr double kBeat = 0.5; // 120 beats a minute, four beats a chord
    constexpr int kChords[4][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
    constexpr int kBass[4] = {36, 33, 29, 31};
    const auto total = static_cast<std::size_t>(16 * kBeat * rate);
    std::vector<float> mix(total, 0.0f);
    uint32_t seed = 12345;

    for (int chord = 0; chord < 4; ++chord) {
        const double chordStart = chord * 4 * kBeat;
        // Arpeggio in eighth notes, up and down the chord and an octave.
        const int pattern[8] = {0, 1, 2, 3, 2, 1, 0, 2};
        for (int e = 0; e < 8; ++e) {
            const int step = pattern[e];
            const int note = step == 3 ? kChords[chord][0] + 12 : kChords[chord][step];
            Pluck(mix, rate, static_cast<std::size_t>((chordStart + e * kBeat / 2) * rate), NoteHz(note), 0.22f, 1.2,
                  seed);
        }
        // Bass: a decaying tone with two harmonics on beats 1 and 3.
        for (int b : {0, 2}) {
            const auto start = static_cast<std::size_t>((chordStart + b * kBeat) * rate);
            const double hz = NoteHz(kBass[chord]);
            for (std::size_t k = 0; k < static_cast<std::size_t>(2 * kBeat * rate) && start + k < total; ++k) {
                const double t = static_cast<double>(k) / rate;
                const double env = std::exp(-t * 2.5) * std::min(1.0, t * 200);
                const double ph = 2 * std::numbers::pi * hz * t;
                mix[start + k] +=
                    static_cast<float>(0.3 * env * (std::sin(ph) + 0.4 * std::sin(2 * ph) + 0.15 * std::sin(3 * ph)));
            }
        }
        for (int beat = 0; beat < 4; ++beat) {
            // Kick: a falling sine on every beat.
            const auto start = static_cast<std::size_t>((chordStart + beat * kBeat) * rate);
            double phase = 0;
            for (std::size_t k = 0; k < static_cast<std::size_t>(0.25 * rate) && start + k < total; ++k) {
                const double t = static_cast<double>(k) / rate;
                phase += 2 * std::numbers::pi * (50 + 90 * std::exp(-t * 30)) / rate;
                mix[start + k] += static_cast<float>(0.35 * std::exp(-t * 12) * std::sin(phase));
            }
            // Hi-hat: short noise bursts on the off-beats, filtered to its top end.
            const auto hat = static_cast<std::size_t>((chordStart + (beat + 0.5) * kBeat) * rate);
            float previous = 0;
            for (std::size_t k = 0; k < static_cast<std::size_t>(0.06 * rate) && hat + k < total; ++k) {
                seed = seed * 1664525u + 1013904223u;
                const float noise = static_cast<float>((seed >> 8) / 8388608.0 - 1.0);
                const double t = static_cast<double>(k) / rate;
                mix[hat + k] += static_cast<float>(0.08 * std::exp(-t * 60)) * (noise - previous);
                previous = noise;
            }
        }
    }
    float peak = 0;
    for (float v : mix)
        peak = std::max(peak, std::abs(v));
    const float scale = peak > 0 ? 0.89f * 32767 / peak : 0;
    std::vector<int16_t> out(total);
    for (std::size_t k = 0; k < total; ++k)
        out[k] = static_cast<int16_t>(std::lround(mix[k] * scale));
    return out;
}

} // namespace lumetra::station
