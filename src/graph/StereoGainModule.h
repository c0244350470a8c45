// A stereo gain stage: ramps linearly from the current gain to the target over one block of
// block-size frames (a fresh stage starts at 0 and aims at 1, so it fades in).
#pragma once

#include "graph/Module.h"

#include <atomic>

namespace vantor {

class StereoGainModule : public Module {
public:
    StereoGainModule() : Module(2, 2) {}

    void setGain(float value) { target_.store(value, std::memory_order_relaxed); }
    float getTargetGain() const { return target_.load(std::memory_order_relaxed); }
    float getCurrentGain() const { return current_.load(std::memory_order_relaxed); }

    void processAudio(float** inputs, float** outputs, uint32_t frames, bool accumulate) override;

private:
    std::atomic<float> current_{0.0f};
    std::atomic<float> target_{1.0f};
};

} // namespace vantor
