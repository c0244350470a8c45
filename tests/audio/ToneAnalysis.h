// Finds test tones in a recording of the sound server's monitor: reads a WAV file (32-bit float
// or 16-bit PCM, as a recorder writes it) and, in windows of 100 ms, measures each wanted
// frequency with a Hann-windowed Goertzel filter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::test {

struct Recording {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    std::vector<float> samples; // interleaved
    size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// False (with the reason in error) when the file is missing, not a WAV file or in another format.
bool readWav(const std::string& path, Recording& out, std::string& error);

struct ToneFinding {
    double frequency = 0.0;
    size_t windows = 0;         // windows in which the tone is present in every channel
    double firstSeconds = -1.0; // start of the first such window, -1 if none
    double peakAmplitude = 0.0; // largest amplitude measured for it (any channel)
};

struct ToneCriteria {
    double windowSeconds = 0.1;
    // Present: the tone's amplitude is at least this ...
    double minAmplitude = 0.05;
    // ... and carries at least this share of the window's energy (a tone, not noise or a mix; a
    // window with a gap from a starved audio thread still counts).
    double minShare = 0.5;
};

// Amplitude of a sine of `frequency` in samples [first, first + count) of one channel.
double toneAmplitude(const Recording& rec, uint32_t channel, size_t first, size_t count, double frequency);

std::vector<ToneFinding> findTones(const Recording& rec, const std::vector<double>& frequencies,
                                   const ToneCriteria& criteria = {});

// Windows whose RMS (any channel) reaches this level: how much of the recording is not silence.
size_t loudWindows(const Recording& rec, double minRms, double windowSeconds = 0.1);

} // namespace quorvel::test
