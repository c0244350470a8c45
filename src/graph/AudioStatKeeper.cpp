#include "graph/AudioStatKeeper.h"

#include <cmath>

namespace vantor {

void AudioStatKeeper::update(const float* samples, uint32_t frames, double sampleRate, double blockDuration) {
    // The level halves in 0.1 s.
    const double decay = std::pow(0.5, 1.0 / ((sampleRate / frames) * 0.1));

    float peak = 0.0f;
    float signedPeak = 0.0f;
    for (uint32_t i = 0; i < frames; ++i) {
        const float a = std::fabs(samples[i]);
        if (a > peak) {
            peak = a;
            signedPeak = samples[i];
        }
    }
    lastPeakSample_.store(signedPeak, std::memory_order_relaxed);

    if (peak > kClipThreshold) clip_.store(true, std::memory_order_relaxed);

    float level = level_.load(std::memory_order_relaxed);
    if (peak > level)
        level = peak;
    else
        level = static_cast<float>(level * decay);
    level_.store(level, std::memory_order_relaxed);
    if (level > maxLevel_.load(std::memory_order_relaxed)) maxLevel_.store(level, std::memory_order_relaxed);

    float hold = peakHold_.load(std::memory_order_relaxed);
    double holdTime = holdTime_.load(std::memory_order_relaxed);
    if (peak > hold) {
        hold = peak;
        holdTime = 0.0;
    }
    holdTime += blockDuration;
    if (holdTime >= 1.0) hold = 0.0f;
    peakHold_.store(hold, std::memory_order_relaxed);
    holdTime_.store(holdTime, std::memory_order_relaxed);

    updated_.store(true, std::memory_order_relaxed);
}

} // namespace vantor
