// Turns irregular idle requests into whole periods of a monotonic clock: a burst of calls yields
// one true per period, and a long gap counts as at most one period.
#pragma once

#include <functional>

namespace vantor {

class TimerRectifier {
public:
    // The clock answers seconds; secondsClock() unless a test injects its own.
    using ClockFunction = std::function<double()>;

    explicit TimerRectifier(double rate, ClockFunction clock = {});
    virtual ~TimerRectifier();
    TimerRectifier(const TimerRectifier&) = delete;
    TimerRectifier& operator=(const TimerRectifier&) = delete;

    // True once a whole period has been accumulated; elapsed receives the time that period
    // covered in seconds (between one and two periods when true).
    virtual bool tick(double& elapsed);
    // The same, discarding the elapsed time.
    virtual bool tick();

    double period() const { return period_; }

private:
    ClockFunction clock_;
    double period_;
    double lastTime_;
    double lastStep_ = 0.0;
    double accumulated_ = 0.0;
};

} // namespace vantor
