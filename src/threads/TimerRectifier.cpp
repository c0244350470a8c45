#include "threads/TimerRectifier.h"

#include "threads/Clock.h"

#include <algorithm>

namespace vantor {

TimerRectifier::TimerRectifier(double rate, ClockFunction clock)
    : clock_(clock ? std::move(clock) : ClockFunction(&secondsClock)), period_(1.0 / rate),
      lastTime_(clock_()) {}

TimerRectifier::~TimerRectifier() = default;

bool TimerRectifier::tick(double& elapsed) {
    double t = clock_();
    if (t < lastTime_) t = lastTime_; // the clock never runs backwards
    double step = t - lastTime_;
    lastTime_ = t;
    step = std::min(step, period_);
    lastStep_ = step;
    elapsed = step + accumulated_;
    if (step + accumulated_ >= period_) {
        accumulated_ = 0.0;
        return true;
    }
    accumulated_ += step;
    return false;
}

bool TimerRectifier::tick() {
    double elapsed = 0.0;
    return tick(elapsed);
}

} // namespace vantor
