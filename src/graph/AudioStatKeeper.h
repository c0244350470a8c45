// Level meter of one output channel: decaying level, sticky maximum and clip flag, a peak hold
// that lasts a second. Written by the audio thread once per block; readers on other threads get
// the latest values.
#pragma once

#include <atomic>
#include <cstdint>

namespace vantor {

class AudioStatKeeper {
public:
    // Peaks above this count as clipping.
    static constexpr double kClipThreshold = 1.0001;

    void update(const float* samples, uint32_t frames, double sampleRate, double blockDuration);

    bool clipped() const { return clip_.load(std::memory_order_relaxed); }
    float level() const { return level_.load(std::memory_order_relaxed); }
    float maxLevel() const { return maxLevel_.load(std::memory_order_relaxed); }
    float peakHold() const { return peakHold_.load(std::memory_order_relaxed); }
    double holdTime() const { return holdTime_.load(std::memory_order_relaxed); }
    bool updated() const { return updated_.load(std::memory_order_relaxed); }
    float lastPeakSample() const { return lastPeakSample_.load(std::memory_order_relaxed); }
    // Lets a reader acknowledge an update.
    void clearUpdated() { updated_.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> clip_{false};
    std::atomic<float> level_{0.0f};
    std::atomic<float> maxLevel_{0.0f};
    std::atomic<float> peakHold_{0.0f};
    std::atomic<double> holdTime_{0.0};
    std::atomic<bool> updated_{false};
    std::atomic<float> lastPeakSample_{0.0f};
    // The decay factor for the stream it was computed for (the updating thread's own).
    double decay_ = 0.0;
    double decayRate_ = 0.0;
    uint32_t decayFrames_ = 0;
    bool decayKnown_ = false;
};

} // namespace vantor
