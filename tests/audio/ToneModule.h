// A test instrument for the audio end-to-end tests: a sine tone of a chosen frequency in both
// channels, put into slot 0 where an engine would sit, so what the real device plays is known.
//
// It also counts the blocks it renders and, once warm, has the allocation counter watch the
// audio thread over a stretch of blocks (the callback path allocates nothing in the steady state).
#pragma once

#include "graph/DSPInfo.h"
#include "graph/Module.h"
#include "support/AllocCounter.h"

#include <atomic>
#include <cmath>
#include <cstdint>

namespace quorvel::test {

class ToneModule : public vantor::Module {
public:
    static constexpr double kAmplitude = 0.25;
    // The allocation watch: armed at the first block of a stream after this many, read this many
    // blocks later.
    static constexpr uint64_t kWarmUpBlocks = 10;
    static constexpr uint64_t kWatchedBlocks = 50;

    ToneModule() : Module(0, 2) {}

    void setFrequency(double hz) { frequency_.store(hz, std::memory_order_relaxed); }
    double frequency() const { return frequency_.load(std::memory_order_relaxed); }
    uint64_t blocks() const { return blocks_.load(std::memory_order_relaxed); }
    uint64_t frames() const { return frames_.load(std::memory_order_relaxed); }
    // Allocations seen on the audio thread during the watch; -1 until a watch has finished.
    int64_t watchedAllocations() const { return watched_.load(std::memory_order_acquire); }
    // Starts a new watch with the next stream (call while stopped).
    void resetWatch() {
        watched_.store(-1, std::memory_order_relaxed);
        streamBlocks_.store(0, std::memory_order_relaxed);
    }

    void processBlock(vantor::MidiEventArray&, float**, float** outputs, uint32_t frames, bool) override {
        const uint64_t inStream = streamBlocks_.fetch_add(1, std::memory_order_relaxed);
        if (inStream == kWarmUpBlocks) AllocCounter::arm();
        if (inStream == kWarmUpBlocks + kWatchedBlocks && AllocCounter::armed())
            watched_.store(static_cast<int64_t>(AllocCounter::disarm()), std::memory_order_release);

        const double rate = info_ ? info_->sampleRate : 48000.0;
        const double step = 2.0 * kPi * frequency() / rate;
        for (uint32_t i = 0; i < frames; ++i) {
            const float sample = static_cast<float>(kAmplitude * std::sin(phase_));
            outputs[0][i] = sample;
            outputs[1][i] = sample;
            phase_ += step;
            if (phase_ > 2.0 * kPi) phase_ -= 2.0 * kPi;
        }
        blocks_.fetch_add(1, std::memory_order_relaxed);
        frames_.fetch_add(frames, std::memory_order_relaxed);
    }

private:
    static constexpr double kPi = 3.14159265358979323846;
    std::atomic<double> frequency_{440.0};
    double phase_ = 0.0; // audio thread only
    std::atomic<uint64_t> blocks_{0};
    std::atomic<uint64_t> frames_{0};
    std::atomic<uint64_t> streamBlocks_{0};
    std::atomic<int64_t> watched_{-1};
};

} // namespace quorvel::test
