#include "graph/StereoGainModule.h"

#include "graph/DSPInfo.h"
#include "graph/FloatVector.h"

namespace vantor {

namespace {

// out (+)= in * gain over [from, to), four frames at a time.
template <bool Accumulate>
void applyConstant(const float* inL, const float* inR, float* outL, float* outR, uint32_t from, uint32_t to,
                   float gain) {
    using namespace fvec;
    const Float4 g = splat(gain);
    uint32_t i = from;
    for (; i + 4 <= to; i += 4) {
        Float4 l = load(inL + i) * g;
        Float4 r = load(inR + i) * g;
        if (Accumulate) {
            l += load(outL + i);
            r += load(outR + i);
        }
        store(outL + i, l);
        store(outR + i, r);
    }
    for (; i < to; ++i) {
        outL[i] = Accumulate ? outL[i] + inL[i] * gain : inL[i] * gain;
        outR[i] = Accumulate ? outR[i] + inR[i] * gain : inR[i] * gain;
    }
}

// The ramp, frame by frame from `current`; stops at the frame where it lands on the target
// and returns that frame (frames when it is still ramping at the end).
template <bool Accumulate>
uint32_t applyRamp(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames,
                   float& current, float target, float step) {
    for (uint32_t i = 0; i < frames; ++i) {
        outL[i] = Accumulate ? outL[i] + inL[i] * current : inL[i] * current;
        outR[i] = Accumulate ? outR[i] + inR[i] * current : inR[i] * current;
        current += step;
        // A call longer than the block size must not ramp past the target.
        if (step > 0.0f ? current > target : current < target) current = target;
        if (current == target) return i + 1;
    }
    return frames;
}

template <bool Accumulate>
void apply(float** inputs, float** outputs, uint32_t frames, float& current, float target, float step) {
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    // A step too small to move the gain leaves it where it is, as the frame-by-frame ramp would.
    uint32_t done = 0;
    if (current != target && step != 0.0f)
        done = applyRamp<Accumulate>(inL, inR, outL, outR, frames, current, target, step);
    applyConstant<Accumulate>(inL, inR, outL, outR, done, frames, current);
}

} // namespace

void StereoGainModule::processAudio(float** inputs, float** outputs, uint32_t frames, bool accumulate) {
    float current = current_.load(std::memory_order_relaxed);
    const float target = target_.load(std::memory_order_relaxed);
    const double inverse = info_ ? info_->inverseBlockSize : (frames ? 1.0 / frames : 0.0);
    const float step = static_cast<float>((target - current) * inverse);
    if (accumulate)
        apply<true>(inputs, outputs, frames, current, target, step);
    else
        apply<false>(inputs, outputs, frames, current, target, step);
    current_.store(current, std::memory_order_relaxed);
}

} // namespace vantor
