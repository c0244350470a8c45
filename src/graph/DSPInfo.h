// The stream description: sample rate, block size and the values derived from them. Replaced,
// never changed in place, except for the offline flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace vantor {

class DSPInfo {
public:
    // An unsupported rate becomes 44100; the block size is taken as it comes.
    DSPInfo(double sampleRate, uint32_t blockSize);
    DSPInfo(const DSPInfo&) = delete;
    DSPInfo& operator=(const DSPInfo&) = delete;

    static bool isValidRate(double rate);

    double sampleRate;             // the validated rate
    uint32_t sampleRateInt;        // the same as an integer
    double samplePeriod;           // 1 / rate
    uint32_t blockSize;            // frames per block
    double blockDuration;          // blockSize * samplePeriod
    double inverseBlockSize;       // 1 / blockSize computed in single precision, then widened
    double nyquist;                // rate * 0.5
    double rampStep;               // samplePeriod * 16.666666666666668 (60 ms linear ramp)
    uint32_t fadeLength;           // frames in 6 ms: rate * 0.006f, truncated
    std::vector<double> fadeTable; // quarter sine rising from 0 towards 1, fadeLength entries

    bool isOffline() const { return offline_.load(std::memory_order_relaxed); }
    void setOffline(bool offline) { offline_.store(offline, std::memory_order_relaxed); }

private:
    std::atomic<bool> offline_{false};
};

} // namespace vantor
