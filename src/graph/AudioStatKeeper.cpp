#include "graph/AudioStatKeeper.h"

#include "graph/FloatVector.h"

#include <cmath>

namespace vantor {

namespace {

// The largest absolute sample, four lanes at a time with no branch per sample. A NaN never wins
// a comparison, as in a plain scan.
float largestMagnitude(const float* samples, uint32_t frames) {
    using namespace fvec;
    Float4 lanes = splat(0.0f);
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        lanes = max(abs(load(samples + i)), lanes);
    }
    float peak = 0.0f;
    for (; i < frames; ++i) {
        const float a = std::fabs(samples[i]);
        peak = a > peak ? a : peak;
    }
    for (int k = 0; k < 4; ++k)
        peak = lanes[k] > peak ? lanes[k] : peak;
    return peak;
}

} // namespace

void AudioStatKeeper::update(const float* samples, uint32_t frames, double sampleRate, double blockDuration) {
    // The level halves in 0.1 s; the factor changes only with the stream, so it is kept.
    if (!decayKnown_ || sampleRate != decayRate_ || frames != decayFrames_) {
        decay_ = std::pow(0.5, 1.0 / ((sampleRate / frames) * 0.1));
        decayRate_ = sampleRate;
        decayFrames_ = frames;
        decayKnown_ = true;
    }
    const double decay = decay_;

    const float peak = largestMagnitude(samples, frames);
    // The signed sample where the peak first occurs (silence reports +0).
    float signedPeak = 0.0f;
    if (peak > 0.0f)
        for (uint32_t i = 0; i < frames; ++i)
            if (std::fabs(samples[i]) == peak) {
                signedPeak = samples[i];
                break;
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
