// Enumeration, naming, the one-device rule and the play/stop request sequence.
#include "DeviceTestSupport.h"

using namespace quorvel::test;
using vantor::AudioDevice;
using vantor::DeviceManager;
using vantor::InstantiationException;

namespace {

const std::string kDashes(79, '-');

class DeviceManagerTest : public DeviceTest {};

TEST_F(DeviceManagerTest, NamesDuplexAndOutputDevicesInIndexOrderAndSkipsTheUnusable) {
    const int mme = pa::addHostApi(paMME, "MME");
    const int wdmks = pa::addHostApi(paWDMKS, "Windows WDM-KS");
    pa::addDevice(outputSpec("Speakers A", mme));      // 0 output
    pa::addDevice(outputSpec("Mono Out", mme, 1));     // 1 mono
    pa::addDevice(outputSpec("Line In", mme, 0, 2));   // 2 input only
    pa::addDevice(outputSpec("Interface", mme, 2, 2)); // 3 duplex
    pa::addDevice(outputSpec("Kernel Out", wdmks));    // 4 unsupported API
    pa::addDevice(outputSpec("Dead", mme, 0, 0));      // 5 no channels
    pa::DeviceSpec missing = outputSpec("Gone", mme);
    missing.nullInfo = true;
    pa::addDevice(missing);                          // 6 null info
    pa::addDevice(outputSpec("Speakers B", mme, 8)); // 7 output

    DeviceManager& dm = startDevices();

    EXPECT_EQ(generatedNames(),
              (std::vector<std::string>{"AudioDuplex_0", "AudioOutput_0", "AudioOutput_1"}));
    std::vector<int> indices;
    audioFactory().listDeviceIndices(indices);
    EXPECT_EQ(indices, (std::vector<int>{3, 0, 7}));
    EXPECT_EQ(vantor::Factory::get()->displayName("AudioOutput_1"), "Speakers B");

    ASSERT_EQ(dm.audioDeviceCount(), 8);
    EXPECT_FALSE(dm.audioRecord(1)->usable);
    EXPECT_EQ(dm.audioRecord(2)->kind, 0);
    EXPECT_EQ(dm.audioRecord(2)->inputDeviceIndex, 2);
    EXPECT_TRUE(dm.audioRecord(2)->usable);
    EXPECT_FALSE(dm.audioRecord(2)->listed);
    EXPECT_EQ(dm.audioRecord(3)->kind, 2);
    EXPECT_EQ(dm.audioRecord(3)->outputDeviceIndex, 3);
    EXPECT_FALSE(dm.audioRecord(4)->usable);
    EXPECT_EQ(dm.audioRecord(5)->name, "Dead(BAD)");
    EXPECT_FALSE(dm.audioRecord(5)->listed);
    EXPECT_FALSE(dm.audioRecord(6)->usable);
    EXPECT_EQ(dm.audioRecord(7)->outputs, 8);

    EXPECT_TRUE(log.has('I', "mono output device, do not use!"));
    EXPECT_TRUE(log.has('E', "Dev:4 unsupported host API(11) skipping"));
    EXPECT_TRUE(log.has('E', "This device is way screwed up!"));
    EXPECT_TRUE(log.has('E', "Dev:6 pointer is null! skipping device"));
}

TEST_F(DeviceManagerTest, InitialisationLogsTheLibraryAndEachDevice) {
    const int ds = pa::addHostApi(paDirectSound, "Windows DirectSound");
    pa::DeviceSpec desc = outputSpec("Primary Sound Driver", ds);
    desc.defaultSampleRate = 48000;
    desc.lowOutputLatency = 0.12;
    pa::addDevice(desc);

    startDevices();
    const auto lines = log.messages();
    const std::vector<std::string> expected = {
        "Using PortAudio V19-test-double",
        "Initialising Devices...",
        kDashes,
        "Passed Pa_Initialize()",
        "Now enumerating Audio Devices...",
        "Passed Pa_CountDevices()",
        "Found 1 :",
        kDashes,
        "Dev:0",
        "API  = Windows DirectSound",
        "Name = Primary Sound Driver Max Inputs   = 0, Max Outputs = 2",
        "Default LowInputLatency:0.01",
        "Default LowOutputLatency:0.12",
        "Default HighInputLatency:0.1",
        "Default HighOutputLatency:0.1",
        "Default SampleRate:48000",
        kDashes,
        kDashes,
        "Now enumerating MIDI Devices...",
    };
    const size_t start = indexOf(lines, expected.front());
    ASSERT_LT(start + expected.size(), lines.size() + 1);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(start),
                                       lines.begin() + static_cast<long>(start + expected.size())),
              expected);
    EXPECT_EQ(pa::initializeCalls(), 1);

    // The library's own debug output lands in the log, one information line per text.
    ASSERT_TRUE(pa::debugHookInstalled());
    pa::emitDebug("PaAsio: driver says hello\n");
    EXPECT_TRUE(log.has('I', "PaAsio: driver says hello"));
}

TEST_F(DeviceManagerTest, FailedLibraryStartStillEnumeratesToAnEmptyTable) {
    pa::addDevice(outputSpec("Never Seen", pa::addHostApi(paMME, "MME")));
    pa::setInitializeError(paUnanticipatedHostError);
    DeviceManager& dm = startDevices();
    EXPECT_TRUE(log.has('E', "Pa_Initialize Error number: -9999 Error message: Unanticipated host error"));
    EXPECT_TRUE(log.has('I', "Passed Pa_Initialize()"));
    EXPECT_TRUE(log.has('E', "ERROR: Pa_CountDevices returned -10000"));
    EXPECT_TRUE(log.has('E', "Error number: -10000 Error message: PortAudio not initialized"));
    EXPECT_EQ(dm.audioDeviceCount(), 0);
    EXPECT_TRUE(generatedNames().empty());
    dm.close();
    EXPECT_EQ(pa::terminateCalls(), 0); // nothing to terminate
    EXPECT_TRUE(log.has('I', "DeviceManager::close() out"));
}

TEST_F(DeviceManagerTest, OneAudioDevicePerContext) {
    const int mme = pa::addHostApi(paMME, "MME");
    pa::addDevice(outputSpec("First", mme));
    pa::addDevice(outputSpec("Second", mme));
    DeviceManager& dm = startDevices();

    AudioDevice* first = openDevice(0);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(dm.audioRecord(0)->free);
    // The same device again: in use, so no module and no exception.
    EXPECT_EQ(audioFactory().createByIndex(&context, 0), nullptr);
    try {
        audioFactory().createByIndex(&context, 1);
        FAIL() << "a second device was built";
    } catch (const InstantiationException& e) {
        EXPECT_STREQ(e.what(), "Only one audio device at the same time");
    }
    EXPECT_THROW(audioFactory().create(&context, "AudioOutput_1"), InstantiationException);
    EXPECT_EQ(audioFactory().create(&context, "AudioOutput_7"), nullptr);

    delete first; // releases the device and the context's slot
    EXPECT_TRUE(dm.audioRecord(0)->free);
    vantor::Module* second = audioFactory().createByDisplayName(&context, "Second");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(dynamic_cast<AudioDevice*>(second)->getDeviceIndex(), 1);
    delete second;
}

TEST_F(DeviceManagerTest, PlayStopRequestsAreSerialisedAndLoggedInOrder) {
    pa::addDevice(outputSpec("Out", pa::addHostApi(paDirectSound, "DS")));
    DeviceManager& dm = startDevices();
    AudioDevice* device = openDevice(0);
    ASSERT_NE(device, nullptr);

    const size_t before = log.messages().size();
    EXPECT_TRUE(dm.requestPlayStop(&context, true));
    EXPECT_TRUE(dm.isPlaying(&context, true));
    EXPECT_FALSE(dm.requestPlayStop(&context, true)); // a second play changes nothing
    EXPECT_TRUE(dm.isPlaying(&context, false));
    EXPECT_TRUE(dm.requestPlayStop(&context, false));
    EXPECT_FALSE(dm.requestPlayStop(&context, false));
    EXPECT_FALSE(dm.isPlaying(&context, true));

    const auto all = log.messages();
    std::vector<std::string> psr;
    for (size_t i = before; i < all.size(); ++i)
        if (all[i].rfind("Out", 0) != 0) psr.push_back(all[i]); // the device's own lines aside
    const std::vector<std::string> expected = {
        "###### PSR LOCK ACQUIRED ######",
        "playReq 1",
        "playReq 2",
        "DeviceManager::privPlay()",
        "playReq 3",
        "###### PSR LOCK RELEASED ###### sc:1",
        "###### PSR LOCK ACQUIRED ######",
        "no play when playing",
        "###### PSR LOCK RELEASED ###### sc:0",
        "###### PSR LOCK ACQUIRED ######",
        "stopReq 1",
        "DeviceManager::privStop()",
        "DeviceManager::privStop(), exiting, stateChanged:1",
        "stopReq 2",
        "stopReq 3",
        "###### PSR LOCK RELEASED ###### sc:1",
        "###### PSR LOCK ACQUIRED ######",
        "no stop when not playing",
        "###### PSR LOCK RELEASED ###### sc:0",
    };
    EXPECT_EQ(psr, expected);
    EXPECT_TRUE(log.has('E', "no play when playing"));
    EXPECT_TRUE(log.has('E', "no stop when not playing"));
    EXPECT_EQ(dm.cpuLoad(&context), 0.0f);
    delete device;
}

TEST_F(DeviceManagerTest, OfflineModeStartsAndStopsTheRenderThreadThroughTheHook) {
    struct FakeOffline : vantor::OfflineRenderThread {
        explicit FakeOffline(int* ended) : ended_(ended) {}
        bool play() override { return rendering = true; }
        bool stop() override {
            rendering = false;
            return true;
        }
        bool isRendering() const override { return rendering; }
        void end() override { ++*ended_; }
        bool rendering = false;
        int* ended_;
    };
    int made = 0, ended = 0;
    // After start-up: the core's hooks install the real render thread.
    DeviceManager& dm = startDevices();
    DeviceManager::setOfflineThreadMaker([&](vantor::Instance*) {
        ++made;
        return std::make_unique<FakeOffline>(&ended);
    });
    context.setOffline(true);
    dm.setOffline(&context, true);
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(log.has('I', "DeviceManager::setOffline(1)"));
    EXPECT_TRUE(log.has('I', "###### PSR LOCK RELEASED for setOffline ######"));
    EXPECT_TRUE(dm.requestPlayStop(&context, true));
    dm.addFrames(&context);
    dm.addFrames(&context);
    EXPECT_EQ(dm.framesProcessed(&context), 2u * context.getDSPInfo()->blockSize);
    EXPECT_TRUE(dm.requestPlayStop(&context, false));
    dm.setOffline(&context, false);
    context.setOffline(false);
    EXPECT_EQ(ended, 1);
    // Without a device, nothing can play in real time.
    EXPECT_FALSE(dm.requestPlayStop(&context, true));
    DeviceManager::setOfflineThreadMaker(nullptr);
}

TEST_F(DeviceManagerTest, ClosingWhileADeviceStillPlaysStopsItBeforeTheLibraryGoes) {
    pa::addDevice(outputSpec("Out", pa::addHostApi(paMME, "MME")));
    DeviceManager& dm = startDevices();
    vantor::GraphManager& graph = startGraph();
    AudioDevice* device = openDevice(0);
    ASSERT_NE(device, nullptr);
    graph.setAudioDevice(device);
    ASSERT_TRUE(dm.requestPlayStop(&context, true));

    DeviceManager::destroy();
    EXPECT_EQ(graph.getAudioDevice(), nullptr); // the graph's device went once, through the graph
    EXPECT_EQ(pa::openStreamCount(), 0);
    EXPECT_EQ(pa::terminateCalls(), 1);
    const auto lines = log.messages();
    const size_t stopped = indexOf(lines, "Out has Stopped!");
    const size_t terminated = indexOf(lines, "Passed Pa_Terminate()");
    EXPECT_LT(stopped, terminated);
    EXPECT_LT(terminated, lines.size());
    EXPECT_EQ(lines.back(), "DeviceManager::close() out");
}

} // namespace
