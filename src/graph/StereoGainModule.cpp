#include "graph/StereoGainModule.h"

#include "graph/DSPInfo.h"

namespace vantor {

void StereoGainModule::processAudio(float** inputs, float** outputs, uint32_t frames, bool accumulate) {
    float current = current_.load(std::memory_order_relaxed);
    const float target = target_.load(std::memory_order_relaxed);
    const double inverse = info_ ? info_->inverseBlockSize : (frames ? 1.0 / frames : 0.0);
    const float step = static_cast<float>((target - current) * inverse);
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    for (uint32_t i = 0; i < frames; ++i) {
        if (accumulate) {
            outL[i] += inL[i] * current;
            outR[i] += inR[i] * current;
        } else {
            outL[i] = inL[i] * current;
            outR[i] = inR[i] * current;
        }
        current += step;
        // A call longer than the block size must not ramp past the target.
        if (step > 0.0f ? current > target : current < target) current = target;
    }
    current_.store(current, std::memory_order_relaxed);
}

} // namespace vantor
