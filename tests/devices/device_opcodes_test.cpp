// The audio and MIDI device opcodes through engineOpcode, with the library double behind them.
#include "support/BoxCapture.h"
#include "support/EngineTestHome.h"
#include "support/LogCapture.h"
#include "support/pa_double/PaDouble.h"
#include "support/VirtualMidiScope.h"

#include "app/AudioStartMessages.h"
#include "engineapi/EngineOpcodes.h"
#include "devices/AudioRestart.h"
#include "devices/DeviceManager.h"
#include "graph/GraphManager.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIPortTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace pa = quorvel::test::pa;
using namespace vantor;

namespace {

int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
             int32_t i3 = 0) {
    return engineOpcode(opcode, p1, p2, i1, i2, i3, 0.0f);
}

pa::DeviceSpec desc(const std::string& name, int api, int outputs = 2) {
    pa::DeviceSpec s;
    s.name = name;
    s.hostApi = api;
    s.outputs = outputs;
    return s;
}

class DeviceOpcodeTest : public ::testing::Test {
protected:
    void SetUp() override { pa::reset(); }
    void TearDown() override {
        log.reset();
        home.reset();
        pa::reset();
    }
    // Opens the engine over the devices described so far; the log is captured from here on.
    void initialize() {
        ASSERT_EQ(call(VE_ENGINE_VERSION, version), kEngineOk);
        log = std::make_unique<vantor::test::LogCapture>();
        ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    }
    std::vector<int32_t> settings() {
        int32_t rate = 0, block = 0;
        EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &block), kEngineOk);
        return {rate, block};
    }
    bool playing() {
        bool out = true;
        EXPECT_EQ(call(VE_ENGINE_AUDIO_ISPLAYING, &out), kEngineOk);
        return out;
    }

    std::unique_ptr<vantor::test::EngineTestHome> home = std::make_unique<vantor::test::EngineTestHome>();
    std::unique_ptr<vantor::test::LogCapture> log;
    char version[16] = {};
};

TEST_F(DeviceOpcodeTest, ListCountsAndFillsUpToTheCapacity) {
    const int mme = pa::addHostApi(paMME, "MME");
    const int ds = pa::addHostApi(paDirectSound, "Windows DirectSound");
    const int wasapi = pa::addHostApi(paWASAPI, "Windows WASAPI");
    const int alsa = pa::addHostApi(paALSA, "ALSA");
    pa::DeviceSpec first = desc("Speakers", mme, 2);
    first.defaultSampleRate = 44100.7;
    pa::addDevice(first);
    pa::addDevice(desc("Primary Sound Driver", ds, 6));
    pa::addDevice(desc("Realtek", wasapi));
    pa::addDevice(desc("pulse", alsa, 32));
    pa::addDevice(desc(std::string(200, 'n'), mme));
    initialize();

    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST), kEngineFailed); // count mode needs p2
    int32_t count = -1;
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, nullptr, &count), kEngineOk);
    EXPECT_EQ(count, 5);

    AudioDeviceRecord records[5];
    std::memset(records, 0xAB, sizeof(records));
    count = -1;
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, records, &count, 2), kEngineOk);
    EXPECT_EQ(count, 2);
    // Name order: AudioOutput_0..4 are devices 0..4.
    EXPECT_EQ(records[0].id, 0);
    EXPECT_EQ(records[0].api, kAudioApiMME);
    EXPECT_STREQ(records[0].name, "Speakers");
    EXPECT_EQ(records[0].hasControlPanel, 0);
    EXPECT_EQ(records[0].defaultSampleRate, 44100);
    EXPECT_EQ(records[0].outputs, 2);
    EXPECT_EQ(records[0].padding[0], 0xAB); // never written
    EXPECT_EQ(records[1].api, kAudioApiDirectSound);
    EXPECT_EQ(records[1].outputs, 6);
    EXPECT_EQ(records[2].id, static_cast<int32_t>(0xABABABAB)); // beyond the capacity: untouched

    std::memset(records, 0, sizeof(records));
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, records, nullptr, 5), kEngineFailed); // written anyway
    EXPECT_EQ(records[2].api, kAudioApiWASAPI);
    EXPECT_EQ(records[3].api, 0); // ALSA travels as 0
    EXPECT_EQ(records[3].outputs, 32);
    EXPECT_EQ(std::strlen(records[4].name), 127u);
    EXPECT_EQ(std::string(records[4].name), std::string(127, 'n'));
}

TEST_F(DeviceOpcodeTest, ChoosingStartingAndStoppingADevice) {
    const int mme = pa::addHostApi(paMME, "MME");
    pa::addDevice(desc("Speakers", mme));
    pa::addDevice(desc("Headphones", mme, 4));
    pa::setOutputLatency(0.107);
    initialize();

    int32_t id = 99;
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_GET, &id), kEngineOk);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineAudioRefused); // no device
    EXPECT_EQ(call(VE_ENGINE_AUDIO_STOP), kEngineAudioRefused);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 0), kEngineNoResult);

    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 1), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_GET, &id), kEngineOk);
    EXPECT_EQ(id, 1);
    EXPECT_TRUE(log->has('I', "Headphones is now acquired"));
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 7), kEngineFailed); // no such id
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 1), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 2), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, -1), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 1), kEngineOk);
    int32_t pair = -1;
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &pair), kEngineOk);
    EXPECT_EQ(pair, 1);
    float latency = 0.0f;
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency), kEngineFailed); // not playing

    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    EXPECT_TRUE(playing());
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineAudioRefused);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency), kEngineOk);
    EXPECT_FLOAT_EQ(latency, 107.0f);
    // Refused while audio runs, and nothing changes.
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 256), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 0), kEngineNoResult);
    EXPECT_EQ(call(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1), kEngineFailed);
    EXPECT_EQ(settings(), (std::vector<int32_t>{44100, 512}));

    ASSERT_EQ(call(VE_ENGINE_AUDIO_STOP), kEngineOk);
    EXPECT_FALSE(playing());
    EXPECT_EQ(call(VE_ENGINE_AUDIO_STOP), kEngineAudioRefused);
    EXPECT_EQ(pa::openStreamCount(), 0);

    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, -1), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_GET, &id), kEngineOk);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineAudioRefused);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &pair), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_ISPLAYING), kEngineFailed);
}

TEST_F(DeviceOpcodeTest, SettingsFallBackToTheDevicesFirstRateAndRefuseUnusableBlocks) {
    pa::DeviceSpec s = desc("Speakers", pa::addHostApi(paMME, "MME"));
    s.rates = {44100, 48000};
    pa::addDevice(s);
    initialize();
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), kEngineOk);

    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 1024), kEngineOk);
    EXPECT_EQ(settings(), (std::vector<int32_t>{48000, 1024}));
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 44000, 256), kEngineOk);
    EXPECT_TRUE(log->has('E', "VE_ENGINE_AUDIODEVICE_SETTINGS, current device does NOT support 44000Hz, "
                              "reverting to 44100"));
    EXPECT_EQ(settings(), (std::vector<int32_t>{44100, 256}));

    for (int32_t block : {0, 7, -512, 32769, 1 << 30}) {
        EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, block), kEngineFailed)
            << block;
        EXPECT_EQ(settings(), (std::vector<int32_t>{44100, 256})) << block;
    }
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 8), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 32768), kEngineOk);
    EXPECT_EQ(settings(), (std::vector<int32_t>{48000, 32768}));

    // A device that accepts no rate at all cannot be set up.
    pa::device(0).rates = {12345};
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 512), kEngineFailed);
    EXPECT_TRUE(log->has('E', "VE_ENGINE_AUDIODEVICE_SETTINGS, SEVERE DEVICE ERROR"));
    EXPECT_EQ(settings(), (std::vector<int32_t>{48000, 32768}));

    // Without a device the stream description's own rule applies.
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, -1), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 44000, 256), kEngineOk);
    EXPECT_EQ(settings(), (std::vector<int32_t>{44100, 256}));
}

TEST_F(DeviceOpcodeTest, RateAndBufferSizeListsNeedADevice) {
    pa::DeviceSpec s = desc("Speakers", pa::addHostApi(paMME, "MME"));
    s.rates = {22050, 44100, 48000};
    pa::addDevice(s);
    initialize();
    int32_t count = 0;
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, &count), kEngineFailed);
    EXPECT_TRUE(log->has('E', "VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST failed1"));
    int32_t values[8] = {};
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, values, &count, 8), kEngineFailed);
    EXPECT_TRUE(log->has('E', "VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST failed2"));

    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, &count), kEngineOk);
    EXPECT_EQ(count, 3);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, values, &count, 2), kEngineOk);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(values[0], 22050);
    EXPECT_EQ(values[1], 44100);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, values, &count, 8), kEngineOk);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(values[6], 32768);
    int parent = 0;
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SHOWPANEL, &parent), kEngineFailed); // not ASIO
}

TEST_F(DeviceOpcodeTest, ADriversRequestReopensTheStreamWithItsNewSettings) {
    pa::addDevice(desc("ASIO Card", pa::addHostApi(paASIO, "ASIO"), 4));
    initialize();
    vantor::test::BoxCapture boxes;
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    EXPECT_FALSE(serviceAudioRestart()); // nothing asked
    using R = AudioRestartReason;
    const struct {
        R reason;
        double value;
        const char* why;               // a part of the line that says why
        std::vector<int32_t> settings; // afterwards; the settings the driver confirms change nothing
    } cases[] = {
        {R::Reset, 0, "driver asked for a reset: reopening the stream", {44100, 512}},
        {R::BufferSize, 256, "changed its buffer size to 256: reopening the stream with it", {44100, 256}},
        {R::SampleRate, 48000, "changed its sample rate to 48000 Hz: reopening", {48000, 256}},
        {R::BufferSize, 256, nullptr, {48000, 256}},
    };
    for (const auto& c : cases) {
        const size_t opened = pa::opened().size();
        requestAudioRestart(c.reason, c.value);
        EXPECT_EQ(serviceAudioRestart(), c.why != nullptr);
        EXPECT_EQ(log->count(c.why ? c.why : "reopening"), c.why ? 1u : 3u);
        EXPECT_TRUE(playing());
        EXPECT_EQ(settings(), c.settings);
        EXPECT_EQ(pa::opened().size(), opened + (c.why ? 1 : 0));
        EXPECT_EQ(pa::opened().back().framesPerBuffer, static_cast<unsigned long>(c.settings[1]));
    }
    // A restart that fails is reported as a failed start at start-up is; stopped, nothing reopens.
    pa::device(0).startError = paUnanticipatedHostError;
    requestAudioRestart(R::Reset);
    EXPECT_FALSE(serviceAudioRestart());
    EXPECT_FALSE(playing());
    EXPECT_TRUE(log->has('E', "The audio stream could not be reopened"));
    EXPECT_EQ(boxes.boxes(),
              (decltype(boxes.boxes()){{"init: Audio Engine Start Error", kAudioStartErrorText}}));
    requestAudioRestart(R::Reset);
    EXPECT_FALSE(serviceAudioRestart());
    EXPECT_TRUE(log->has('I', "Audio is stopped: the driver is opened afresh at the next start"));
}

TEST_F(DeviceOpcodeTest, WasapiRefusalLeavesTheHostUsable) {
    const int wasapi = pa::addHostApi(paWASAPI, "Windows WASAPI");
    const int mme = pa::addHostApi(paMME, "MME");
    pa::DeviceSpec exclusive = desc("Speakers (WASAPI)", wasapi);
    exclusive.openError = paInvalidDevice;
    pa::addDevice(exclusive);
    pa::addDevice(desc("Speakers (MME)", mme));
    initialize();
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineAudioRefused);
    EXPECT_TRUE(log->has('E', "Pa_OpenStream: Error number: -9996 message: Invalid device"));
    EXPECT_FALSE(playing());
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 1), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    EXPECT_TRUE(playing());
    // Shutdown stops audio and closes the library.
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    EXPECT_EQ(pa::openStreamCount(), 0);
    EXPECT_EQ(pa::terminateCalls(), 1);
}

TEST_F(DeviceOpcodeTest, ARefusedStartLeavesTheMidiInputsStopped) {
    vantor::test::VirtualMidiScope midi;
    const int keysKey = midi.api().addInput("Keys");
    const int wasapi = pa::addHostApi(paWASAPI, "Windows WASAPI");
    const int mme = pa::addHostApi(paMME, "MME");
    pa::DeviceSpec exclusive = desc("Speakers (WASAPI)", wasapi);
    exclusive.openError = paInvalidDevice;
    pa::addDevice(exclusive);
    pa::addDevice(desc("Speakers (MME)", mme));
    initialize();
    MidiDeviceRecord record = {};
    int32_t count = 0;
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, &record, &count, 1, kMidiInputs), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, record.id, 1, 0), kEngineOk);
    auto* keys = dynamic_cast<MIDIDevice*>(GraphManager::peek()->findMidiDevice(record.id));
    ASSERT_NE(keys, nullptr);

    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineAudioRefused);
    EXPECT_FALSE(midi.api().isStarted(keysKey));
    EXPECT_FALSE(keys->getDriver()->isRunning());
    // Played while audio cannot run: nothing waits for the next start.
    for (uint32_t i = 0; i < 10; ++i)
        midi.api().sendShortAt(keysKey, 0x7F3C90, i);
    EXPECT_EQ(keys->getDriver()->pending(), 0u);

    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 1), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    EXPECT_TRUE(midi.api().isStarted(keysKey));
    EXPECT_TRUE(keys->getDriver()->isRunning());
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
}

TEST_F(DeviceOpcodeTest, OfflineModeNeedsNoDevice) {
    pa::addDevice(desc("Speakers", pa::addHostApi(paMME, "MME")));
    initialize();
    ASSERT_EQ(call(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1), kEngineOk);
    EXPECT_TRUE(log->has('I', "DeviceManager::setOffline(1)"));
    ASSERT_EQ(call(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 0), kEngineOk);
    EXPECT_TRUE(log->has('I', "DeviceManager::setOffline(0)"));
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);

    // Started for offline rendering only: no audio library, no device, and an offline render.
    pa::reset();
    pa::addDevice(desc("Speakers", pa::addHostApi(paMME, "MME")));
    ASSERT_EQ(call(VE_ENGINE_VERSION, version), kEngineOk);
    log = std::make_unique<vantor::test::LogCapture>();
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE, nullptr, nullptr, kStartWithoutDevices), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    EXPECT_EQ(pa::initializeCalls(), 0);
    EXPECT_EQ(log->count("Speakers"), 0u);
}

TEST_F(DeviceOpcodeTest, MidiDevicesAreListedEnabledAndBroughtBackAfterAReplug) {
    vantor::test::VirtualMidiScope midi;
    midi.api().addOutput("Synth");
    midi.api().addInput("Keys");
    midi.api().addInput(std::string(300, 'k'));
    initialize();

    int32_t count = -1;
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMidiInputs), kEngineOk);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMidiAll), kEngineOk);
    EXPECT_EQ(count, 3);
    MidiDeviceRecord records[3] = {};
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, records, &count, 3, kMidiInputs), kEngineOk);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(records[0].name, "Keys(in)");
    EXPECT_EQ(std::strlen(records[1].name), 255u);
    const int32_t keys = records[0].id;

    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, 77, 1, 1), kEngineFailed); // unknown id
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keys, 1, 5), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keys, 1, 5), kEngineFailed); // in use
    int32_t found = -1;
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_GET, &found, nullptr, keys), kEngineOk);
    EXPECT_EQ(found, keys);

    // Unplugged while in use: disabled and remembered; plugged back: enabled again as it was.
    DeviceManager* devices = DeviceManager::peek();
    devices->midiPortRemoved(keys);
    EXPECT_TRUE(log->has('I', "removed MIDI Device is used : Keys"));
    std::vector<UsedMidiDevice> used;
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, kMidiAll), kEngineOk);
    EXPECT_TRUE(used.empty());
    ASSERT_EQ(devices->reconnectList().size(), 1u);
    devices->midiPortArrived(keys);
    EXPECT_TRUE(log->has('I', "newly connected device is re-enabled : Keys"));
    EXPECT_TRUE(devices->reconnectList().empty());
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, kMidiAll), kEngineOk);
    ASSERT_EQ(used.size(), 1u);
    EXPECT_EQ(used[0].id, keys);
    EXPECT_EQ(used[0].value, 5);

    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keys, -1, 0), kEngineOk);
    EXPECT_TRUE(log->has('I', "DeviceManager : Keys was deallocated"));
    EXPECT_TRUE(devices->midiRecord(keys)->free);
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
}

} // namespace
