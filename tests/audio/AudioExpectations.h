// Checks shared by the Wine and the native audio end-to-end cases.
#pragma once

#include "AudioSession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace quorvel::test {

// The frame counter must follow the sample rate while a device plays. Below it, a loaded machine
// can starve the audio thread, so the lower bound leaves room; above it nothing excuses. (That the
// device really plays at the graph's rate is shown by the recorded tone's frequency.)
inline constexpr double kMinRateShare = 0.8;
inline constexpr double kMaxRateShare = 1.1;

inline void expectPlayed(const PlayReport& r, const std::string& device) {
    SCOPED_TRACE(device);
    EXPECT_EQ(r.setResult, 0);
    EXPECT_EQ(r.settingsResult, 0);
    ASSERT_EQ(r.startResult, 0);
    EXPECT_TRUE(r.playingAfterStart);
    EXPECT_GT(r.toneBlocksAtStart, 0u) << "the graph did not run after the start returned";
    EXPECT_GE(r.framesPerSecond, AudioSession::kRate * kMinRateShare)
        << r.measuredFrames << " frames in " << r.measuredSeconds << " s";
    EXPECT_LE(r.framesPerSecond, AudioSession::kRate * kMaxRateShare)
        << r.measuredFrames << " frames in " << r.measuredSeconds << " s";
    EXPECT_EQ(r.latencyResult, 0);
    EXPECT_GT(r.latencyMs, 0.0f);
    EXPECT_EQ(r.stopResult, 0);
    EXPECT_FALSE(r.playingAfterStop);
    EXPECT_EQ(r.framesAfterStop, 0u) << "frames still counted after the stop";
    std::printf("[ report ] %s: %.0f frames/s over %.2f s, latency %.1f ms, callback allocations %lld\n",
                device.c_str(), r.framesPerSecond, r.measuredSeconds, r.latencyMs,
                static_cast<long long>(r.callbackAllocations));
}

// The log of one successful play: the start waited for the first callback.
inline void expectStartLog(const std::vector<LogEntry>& log, const std::string& device, size_t from = 0) {
    SCOPED_TRACE(device);
    const size_t received = AudioSession::find(log, device + ", has received Play command...", from);
    ASSERT_LT(received, log.size());
    const size_t waiting =
        AudioSession::find(log, device + "::onPlay() Pa_StartStream then waiting", received);
    const size_t first = AudioSession::find(log, device + " in its first callback", received);
    const size_t started = AudioSession::find(log, device + "::onPlay() stream started!", received);
    const size_t released = AudioSession::find(log, "###### PSR LOCK RELEASED ###### sc:1", received);
    const size_t stopped = AudioSession::find(log, device + " has Stopped!", received);
    EXPECT_LT(waiting, log.size());
    EXPECT_LT(first, log.size());
    EXPECT_LT(started, log.size());
    EXPECT_LT(first, started) << "the start must not succeed before the first callback";
    EXPECT_LT(started, released);
    EXPECT_LT(released, stopped);
    EXPECT_LT(stopped, log.size());
}

} // namespace quorvel::test
