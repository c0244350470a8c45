// Real devices natively: the system's audio library through ALSA's 'pulse' device into a private
// PulseAudio null sink (tests/audio/with_pulse.sh starts it). The case records the sink's monitor
// itself and looks for its tone in the recording.
#include "AudioExpectations.h"
#include "AudioSession.h"
#include "ToneAnalysis.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace quorvel::test;
using vantor::AudioDeviceRecord;

namespace {

constexpr double kTone = 660.0;
constexpr double kPlaySeconds = 2.0;

// parecord of the null sink's monitor into a file, for as long as it lives.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const std::string& path) : path_(path) {
        std::vector<std::string> args = {"parecord",
                                         "--device=qsink.monitor",
                                         "--file-format=wav",
                                         "--rate=48000",
                                         "--channels=2",
                                         "--format=float32le",
                                         path};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "parecord", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
        usleep(500 * 1000); // connected and recording before anything plays
    }
    ~MonitorRecorder() { stop(); }
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool started() const { return pid_ > 0; }
    // SIGINT lets it finish the file's header; true when it ended normally.
    bool stop() {
        if (pid_ <= 0) return false;
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return true;
    }

private:
    std::string path_;
    pid_t pid_ = -1;
};

std::string skipReason() {
    if (const char* why = std::getenv("QUORVEL_AUDIO_SKIP")) return why;
    if (!std::getenv("PULSE_SERVER")) return "no private PulseAudio (run through tests/audio/with_pulse.sh)";
    return {};
}

// ALSA's 'pulse' device, else 'default' (which the pulse plug-in usually is).
int32_t pulseDevice(const std::vector<AudioDeviceRecord>& records, std::string& name) {
    for (const char* wanted : {"pulse", "default"})
        for (const auto& r : records)
            if (std::string(r.name) == wanted && r.outputs >= 2) {
                name = r.name;
                return r.id;
            }
    return -1;
}

TEST(NativeAudioTest, ThePulseDevicePlaysTheGraphIntoTheNullSink) {
    const std::string reason = skipReason();
    if (!reason.empty()) GTEST_SKIP() << reason;

    AudioSession session;
    ASSERT_EQ(session.initializeResult(), 0);
    ASSERT_NE(session.tone(), nullptr);
    const auto devices = session.listDevices();
    for (const auto& r : devices)
        std::printf("[ device ] id %d api %d outputs %d rate %d \"%s\"\n", r.id, r.api, r.outputs,
                    r.defaultSampleRate, r.name);
    std::string name;
    const int32_t id = pulseDevice(devices, name);
    if (id < 0) GTEST_SKIP() << "the audio library offers no ALSA 'pulse' or 'default' device";
    for (const auto& r : devices)
        EXPECT_EQ(r.api, 0) << r.name << ": other systems' kinds travel as API code 0";

    const std::string wav = tempFilePath("_monitor.wav");
    MonitorRecorder recorder(wav);
    ASSERT_TRUE(recorder.started()) << "parecord did not start";
    const PlayReport report = session.play(id, kTone, kPlaySeconds);
    recorder.stop();

    expectPlayed(report, name);
    expectStartLog(session.logEntries(), name);
    EXPECT_TRUE(session.boxes().boxes().empty());

    Recording recording;
    std::string error;
    ASSERT_TRUE(readWav(wav, recording, error)) << error;
    std::remove(wav.c_str());
    const auto findings = findTones(recording, {kTone});
    std::printf("[ report ] recording %.2f s, %.0f Hz in %zu windows from %.2f s, peak %.3f\n",
                static_cast<double>(recording.frames()) / recording.sampleRate, kTone, findings[0].windows,
                findings[0].firstSeconds, findings[0].peakAmplitude);
    // The tone plays for about 2.5 s; allow for start-up and the server's buffering.
    EXPECT_GE(findings[0].windows, 10u);
    // The stream has every channel the device offers (32 for 'pulse'); the server's down-mix to
    // the stereo sink attenuates the front pair, so the level is checked loosely: the tone, not a
    // leak of it, and never louder than it was made.
    EXPECT_GT(findings[0].peakAmplitude, ToneModule::kAmplitude * 0.4);
    EXPECT_LT(findings[0].peakAmplitude, ToneModule::kAmplitude * 1.1);
}

} // namespace
