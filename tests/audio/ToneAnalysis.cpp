#include "ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quorvel::test {

namespace {

constexpr double kPi = 3.14159265358979323846;

uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

bool readWav(const std::string& path, Recording& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAV file";
        return false;
    }
    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + pos;
        // A recorder stopped early may leave a size that runs past the end: take what is there.
        const size_t size = std::min<size_t>(le32(chunk + 4), bytes.size() - pos - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            format = le16(chunk + 8);
            channels = le16(chunk + 10);
            rate = le32(chunk + 12);
            bits = le16(chunk + 22);
            if (format == 0xFFFE && size >= 26) format = le16(chunk + 8 + 24); // sub-format GUID
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (channels == 0 || rate == 0) {
                error = path + ": data before format";
                return false;
            }
            const unsigned char* data = chunk + 8;
            out.sampleRate = rate;
            out.channels = channels;
            out.samples.clear();
            if (format == 3 && bits == 32) {
                out.samples.resize(size / 4);
                std::memcpy(out.samples.data(), data, out.samples.size() * 4);
            } else if (format == 1 && bits == 16) {
                out.samples.resize(size / 2);
                for (size_t i = 0; i < out.samples.size(); ++i)
                    out.samples[i] = static_cast<int16_t>(le16(data + 2 * i)) / 32768.0f;
            } else {
                error = path + ": unsupported sample format " + std::to_string(format) + "/" +
                        std::to_string(bits);
                return false;
            }
            out.samples.resize(out.frames() * channels);
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    error = path + " has no data chunk";
    return false;
}

double toneAmplitude(const Recording& rec, uint32_t channel, size_t first, size_t count, double frequency) {
    const double w = 2.0 * kPi * frequency / rec.sampleRate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0, windowSum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double hann =
            0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(count));
        const double x = rec.samples[(first + i) * rec.channels + channel] * hann;
        windowSum += hann;
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return windowSum > 0.0 ? 2.0 * std::sqrt(std::max(power, 0.0)) / windowSum : 0.0;
}

std::vector<ToneFinding> findTones(const Recording& rec, const std::vector<double>& frequencies,
                                   const ToneCriteria& criteria) {
    std::vector<ToneFinding> findings;
    for (double f : frequencies) {
        ToneFinding finding;
        finding.frequency = f;
        findings.push_back(finding);
    }
    const size_t window = static_cast<size_t>(criteria.windowSeconds * rec.sampleRate);
    if (window == 0) return findings;
    for (size_t first = 0; first + window <= rec.frames(); first += window) {
        for (ToneFinding& finding : findings) {
            bool everywhere = true;
            for (uint32_t c = 0; c < rec.channels; ++c) {
                double energy = 0.0;
                for (size_t i = 0; i < window; ++i) {
                    const double x = rec.samples[(first + i) * rec.channels + c];
                    energy += x * x;
                }
                const double rms = std::sqrt(energy / static_cast<double>(window));
                const double amplitude = toneAmplitude(rec, c, first, window, finding.frequency);
                finding.peakAmplitude = std::max(finding.peakAmplitude, amplitude);
                // A sine of amplitude a has an RMS of a / sqrt(2).
                const double share = rms > 0.0 ? (amplitude * amplitude / 2.0) / (rms * rms) : 0.0;
                if (amplitude < criteria.minAmplitude || share < criteria.minShare) everywhere = false;
            }
            if (everywhere) {
                if (finding.windows == 0) finding.firstSeconds = static_cast<double>(first) / rec.sampleRate;
                ++finding.windows;
            }
        }
    }
    return findings;
}

size_t loudWindows(const Recording& rec, double minRms, double windowSeconds) {
    const size_t window = static_cast<size_t>(windowSeconds * rec.sampleRate);
    size_t loud = 0;
    if (window == 0) return 0;
    for (size_t first = 0; first + window <= rec.frames(); first += window) {
        bool isLoud = false;
        for (uint32_t c = 0; c < rec.channels && !isLoud; ++c) {
            double energy = 0.0;
            for (size_t i = 0; i < window; ++i) {
                const double x = rec.samples[(first + i) * rec.channels + c];
                energy += x * x;
            }
            isLoud = std::sqrt(energy / static_cast<double>(window)) >= minRms;
        }
        if (isLoud) ++loud;
    }
    return loud;
}

} // namespace quorvel::test
