// Real devices under Wine: the audio library's MME, DirectSound and WASAPI back ends, with Wine's
// sound driver playing into the test's PulseAudio null sink. The script around this program
// (tests/e2e/audio_devices_test.sh) records the sink's monitor and looks for the tones:
// MME 440 Hz, DirectSound 770 Hz, MME after the refused WASAPI start 1100 Hz.
#include "AudioExpectations.h"
#include "AudioSession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

using namespace quorvel::test;
using vantor::AudioDeviceRecord;

namespace {

constexpr double kMmeTone = 440.0;
constexpr double kDirectSoundTone = 770.0;
constexpr double kMmeAfterWasapiTone = 1100.0;
constexpr double kPlaySeconds = 2.0;

void printDevices(const std::vector<AudioDeviceRecord>& records) {
    for (const auto& r : records)
        std::printf("[ device ] id %d api %d outputs %d rate %d \"%s\"\n", r.id, r.api, r.outputs,
                    r.defaultSampleRate, r.name);
}

// The first stereo-capable device of the API; its id, -1 when there is none.
int32_t firstDevice(const std::vector<AudioDeviceRecord>& records, int32_t api, std::string* name = nullptr) {
    for (const auto& r : records)
        if (r.api == api && r.outputs >= 2) {
            if (name) *name = r.name;
            return r.id;
        }
    return -1;
}

class WineAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(session.initializeResult(), 0);
        ASSERT_NE(session.tone(), nullptr);
        devices = session.listDevices();
        printDevices(devices);
    }
    void TearDown() override { EXPECT_TRUE(session.boxes().boxes().empty()) << "a message box was shown"; }

    AudioSession session;
    std::vector<AudioDeviceRecord> devices;
};

TEST_F(WineAudioTest, ListsTheMmeDirectSoundAndWasapiDevicesWineOffers) {
    ASSERT_FALSE(devices.empty());
    EXPECT_GE(firstDevice(devices, vantor::kAudioApiMME), 0);
    EXPECT_GE(firstDevice(devices, vantor::kAudioApiDirectSound), 0);
    EXPECT_GE(firstDevice(devices, vantor::kAudioApiWASAPI), 0);
    for (const auto& r : devices) {
        SCOPED_TRACE(r.name);
        EXPECT_NE(r.name[0], '\0');
        EXPECT_TRUE(r.api == vantor::kAudioApiMME || r.api == vantor::kAudioApiDirectSound ||
                    r.api == vantor::kAudioApiWASAPI)
            << "api " << r.api;
        EXPECT_EQ(r.hasControlPanel, 0);
        EXPECT_GE(r.outputs, 2); // mono and input-only devices are never listed
        EXPECT_GT(r.defaultSampleRate, 0);
    }
}

TEST_F(WineAudioTest, AnMmeDevicePlaysTheGraphAtTheSampleRate) {
    std::string name;
    const int32_t id = firstDevice(devices, vantor::kAudioApiMME, &name);
    ASSERT_GE(id, 0);
    const PlayReport report = session.play(id, kMmeTone, kPlaySeconds);
    expectPlayed(report, name);
    // Under MinGW the counter sees operator new; the library's own C allocations are not ours.
    EXPECT_EQ(report.callbackAllocations, 0) << "-1: the watch did not finish";
    expectStartLog(session.logEntries(), name);
}

TEST_F(WineAudioTest, ADirectSoundDevicePlaysTheGraphAtTheSampleRate) {
    std::string name;
    const int32_t id = firstDevice(devices, vantor::kAudioApiDirectSound, &name);
    ASSERT_GE(id, 0);
    const PlayReport report = session.play(id, kDirectSoundTone, kPlaySeconds);
    expectPlayed(report, name);
    EXPECT_EQ(report.callbackAllocations, 0) << "-1: the watch did not finish";
    expectStartLog(session.logEntries(), name);
}

std::vector<int32_t> intList(int32_t opcode) {
    int32_t count = -1;
    if (callHost(opcode, nullptr, &count) != 0 || count <= 0) return {};
    std::vector<int32_t> values(static_cast<size_t>(count), 0);
    int32_t written = -1;
    if (callHost(opcode, values.data(), &written, count) != 0) return {};
    values.resize(static_cast<size_t>(written));
    return values;
}

bool contains(const std::vector<int32_t>& values, int32_t value) {
    for (int32_t v : values)
        if (v == value) return true;
    return false;
}

// What the preferences ask of a chosen device, answered by the real library: the rates the
// format query accepts, the buffer sizes of the API, the stereo pair; while stopped.
TEST_F(WineAudioTest, ChosenDevicesAnswerTheirRatesBufferSizesAndStereoPair) {
    const std::vector<int32_t> mmeAndDsSizes = {512, 1024, 2048, 4096, 8192, 16384, 32768};
    for (int32_t api : {vantor::kAudioApiMME, vantor::kAudioApiDirectSound}) {
        std::string name;
        const int32_t id = firstDevice(devices, api, &name);
        SCOPED_TRACE(name);
        ASSERT_GE(id, 0);
        ASSERT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, id), 0);
        int32_t chosen = -1;
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_GET, &chosen), 0);
        EXPECT_EQ(chosen, id);
        const std::vector<int32_t> rates = intList(vantor::VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST);
        EXPECT_TRUE(contains(rates, 44100));
        EXPECT_TRUE(contains(rates, 48000));
        EXPECT_EQ(intList(vantor::VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST), mmeAndDsSizes);
        int32_t pair = -1;
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &pair), 0);
        EXPECT_EQ(pair, 0);
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 1),
                  1); // 2 outputs
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 0), 0);
        float latency = -1.0f;
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency), 1); // no stream yet
        // Rates the device takes are kept; 44000 is none of the candidates and falls back.
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 1024), 0);
        int32_t rate = 0, block = 0;
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &block), 0);
        EXPECT_EQ(rate, 48000);
        EXPECT_EQ(block, 1024);
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 44000, 1024), 0);
        EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &block), 0);
        EXPECT_EQ(rate, rates.empty() ? 0 : rates.front());
    }
    std::string name;
    const int32_t wasapi = firstDevice(devices, vantor::kAudioApiWASAPI, &name);
    SCOPED_TRACE(name);
    ASSERT_GE(wasapi, 0);
    ASSERT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, wasapi), 0);
    EXPECT_EQ(intList(vantor::VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST),
              (std::vector<int32_t>{128, 256, 512, 1024}));
    EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, -1), 0);
    int32_t chosen = 0;
    EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIODEVICE_GET, &chosen), 0);
    EXPECT_EQ(chosen, -1);
    EXPECT_EQ(callHost(vantor::VE_ENGINE_AUDIO_START), 7); // no device
}

// Wine refuses the exclusive mode the device asks for: the start fails with the device's error
// report and result 7, nothing plays, and another device can be chosen and played at once.
TEST_F(WineAudioTest, AWasapiDeviceIsRefusedAndAnMmeDevicePlaysAfterwards) {
    std::string wasapiName, mmeName;
    const int32_t wasapi = firstDevice(devices, vantor::kAudioApiWASAPI, &wasapiName);
    const int32_t mme = firstDevice(devices, vantor::kAudioApiMME, &mmeName);
    ASSERT_GE(wasapi, 0);
    ASSERT_GE(mme, 0);

    const uint64_t blocksBefore = session.tone()->blocks();
    const PlayReport refused = session.play(wasapi, kMmeAfterWasapiTone, kPlaySeconds);
    EXPECT_EQ(refused.setResult, 0);
    // The format query fails for every rate in exclusive mode: the settings report the device.
    EXPECT_EQ(refused.settingsResult, 1);
    EXPECT_EQ(refused.startResult, 7);
    EXPECT_FALSE(refused.playingAfterStart);
    EXPECT_EQ(session.tone()->blocks(), blocksBefore);
    EXPECT_EQ(vantor::kEngineAudioRefused, callHost(vantor::VE_ENGINE_AUDIO_STOP)); // nothing to stop

    const auto log = session.logEntries();
    const size_t received = AudioSession::find(log, wasapiName + ", has received Play command...");
    ASSERT_LT(received, log.size());
    // The error report: the dash line, the device's name alone, the call with its error, the dashes.
    const std::regex failure("(Pa_IsFormatSupported|Pa_OpenStream|Pa_StartStream): Error number: -?[0-9]+ "
                             "message: .+");
    size_t report = log.size();
    for (size_t i = received; i < log.size(); ++i)
        if (log[i].severity == 'E' && std::regex_match(log[i].message, failure)) {
            report = i;
            break;
        }
    ASSERT_LT(report, log.size()) << "no error report for the refused start";
    EXPECT_LT(AudioSession::find(log, "VE_ENGINE_AUDIODEVICE_SETTINGS, SEVERE DEVICE ERROR"), received);
    std::printf("[ report ] WASAPI refusal: %s\n", log[report].message.c_str());
    // The report's lines are consecutive on the thread that wrote them; another thread's line (the
    // disk streamer's first one, say) may fall between them in the file.
    std::vector<LogEntry> own;
    size_t ownReport = 0;
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].threadId == log[report].threadId) {
            if (i == report) ownReport = own.size();
            own.push_back(log[i]);
        }
    ASSERT_GE(ownReport, 2u);
    ASSERT_LT(ownReport + 1, own.size());
    EXPECT_EQ(own[ownReport - 1].severity, 'E');
    EXPECT_EQ(own[ownReport - 1].message, wasapiName);
    EXPECT_EQ(own[ownReport - 2].message, std::string(79, '-'));
    EXPECT_EQ(own[ownReport + 1].message, std::string(79, '-'));
    EXPECT_LT(AudioSession::find(log, "###### PSR LOCK RELEASED ###### sc:0", report), log.size());
    EXPECT_EQ(AudioSession::find(log, wasapiName + " in its first callback", received), log.size());

    const PlayReport played = session.play(mme, kMmeAfterWasapiTone, kPlaySeconds);
    expectPlayed(played, mmeName);
    expectStartLog(session.logEntries(), mmeName, report);
}

} // namespace
