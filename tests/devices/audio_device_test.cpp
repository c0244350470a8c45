// The audio device against the library double: stream parameters per host API, start and stop,
// the first-callback handshake, the callback's output, and the device questions.
#include "DeviceTestSupport.h"
#include "graph/GraphDoubles.h"

#include <chrono>
#include <functional>
#include <limits>
#include <thread>

using namespace quorvel::test;
using vantor::AudioDevice;
using vantor::DeviceManager;

namespace {

class AudioDeviceTest : public DeviceTest {
protected:
    void setBlock(double rate, uint32_t block) {
        context.resetStaticDSP(rate, block);
        if (auto* graph = vantor::GraphManager::peek()) graph->setDSPInfo(context.getDSPInfo());
    }
    bool waitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    }
};

TEST_F(AudioDeviceTest, MmeAskForQuarterBuffersFromFourThousandNinetySixFramesOn) {
    const int dev = pa::addDevice(outputSpec("Wave Out", pa::addHostApi(paMME, "MME"), 6));
    startDevices();
    setBlock(44100, 8192);
    std::unique_ptr<AudioDevice> device(openDevice(dev));
    ASSERT_TRUE(device->onPlay());
    setBlock(44100, 512);
    ASSERT_TRUE(device->onStop());
    device->setDSPInfo(context.getDSPInfo());
    ASSERT_TRUE(device->onPlay());
    ASSERT_TRUE(device->onStop());

    const auto opened = pa::opened();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].framesPerBuffer, 8192u);
    EXPECT_EQ(opened[0].hostInfoType, paMME);
    EXPECT_EQ(opened[0].hostInfoFlags, 1u);
    EXPECT_EQ(opened[0].mmeFramesPerBuffer, 2048u);
    EXPECT_EQ(opened[0].mmeBufferCount, 4u);
    EXPECT_EQ(opened[0].outputChannels, 6);
    EXPECT_EQ(opened[0].outputFormat, static_cast<unsigned long>(paFloat32 | paNonInterleaved));
    EXPECT_EQ(opened[0].streamFlags, static_cast<unsigned long>(paDitherOff));
    EXPECT_NEAR(opened[0].suggestedLatency, 8192.0 / 44100.0, 1e-9);
    EXPECT_EQ(opened[1].mmeFramesPerBuffer, 512u);
    EXPECT_EQ(opened[1].mmeBufferCount, 4u);
}

TEST_F(AudioDeviceTest, WasapiAsksForExclusiveModeAndOthersForNothingSpecial) {
    const int wasapi = pa::addDevice(outputSpec("Speakers", pa::addHostApi(paWASAPI, "Windows WASAPI")));
    const int ds = pa::addDevice(outputSpec("Primary", pa::addHostApi(paDirectSound, "DS"), 2, 2));
    startDevices();
    std::unique_ptr<AudioDevice> device(openDevice(wasapi));
    ASSERT_TRUE(device->onPlay());
    device.reset(); // the destructor stops a playing device
    EXPECT_EQ(pa::openStreamCount(), 0);
    device.reset();
    device.reset(openDevice(ds));
    ASSERT_TRUE(device->onPlay());
    device->onStop();

    const auto opened = pa::opened();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].hostInfoType, paWASAPI);
    EXPECT_EQ(opened[0].hostInfoVersion, 1u);
    EXPECT_EQ(opened[0].hostInfoFlags, 1u);
    EXPECT_EQ(opened[1].hostInfoType, -1);
    EXPECT_EQ(opened[1].inputDevice, ds); // duplex: input opened too
    EXPECT_EQ(opened[1].inputChannels, 2);
}

TEST_F(AudioDeviceTest, StereoPairNeedsTwoChannelsAndIsRefusedWhilePlaying) {
    const int api = pa::addHostApi(paMME, "MME");
    const int two = pa::addDevice(outputSpec("Two", api, 2));
    const int four = pa::addDevice(outputSpec("Four", api, 4));
    startDevices();
    std::unique_ptr<AudioDevice> device(openDevice(two));
    EXPECT_FALSE(device->setOutputStereoPair(1));
    EXPECT_FALSE(device->setOutputStereoPair(-1));
    EXPECT_FALSE(device->setOutputStereoPair(1 << 30)); // 2 * pair + 2 must not wrap round
    EXPECT_FALSE(device->setOutputStereoPair(std::numeric_limits<int>::max()));
    EXPECT_TRUE(device->setOutputStereoPair(0));
    device.reset();
    device.reset(openDevice(four));
    EXPECT_TRUE(device->setOutputStereoPair(1));
    EXPECT_EQ(device->getOutputStereoPair(), 1);
    ASSERT_TRUE(device->onPlay());
    EXPECT_FALSE(device->setOutputStereoPair(0));
    EXPECT_EQ(device->getOutputStereoPair(), 1);
    device->onStop();
}

TEST_F(AudioDeviceTest, TheGraphIsPlayedOnTheChosenPairAndTheRestStaysSilent) {
    const int four = pa::addDevice(outputSpec("Four", pa::addHostApi(paDirectSound, "DS"), 4));
    startDevices();
    vantor::GraphManager& graph = startGraph();
    auto* instrument = new FakeInstrument();
    instrument->value = 0.5f;
    ASSERT_TRUE(graph.addInstrument(0, instrument));
    pa::setCallbacks(pa::Callbacks::FirstOnly);
    AudioDevice* device = openDevice(four);
    ASSERT_TRUE(device->setOutputStereoPair(1));
    graph.setAudioDevice(device);
    ASSERT_TRUE(device->onPlay());
    for (int i = 0; i < 50; ++i) // past the gain's ramp
        ASSERT_TRUE(pa::runCallback(512));
    const auto out = pa::lastOutput();
    ASSERT_EQ(out.size(), 4u);
    for (float s : out[0])
        ASSERT_EQ(s, 0.0f);
    for (float s : out[1])
        ASSERT_EQ(s, 0.0f);
    EXPECT_GT(out[2][100], 0.1f);
    EXPECT_LT(out[3][100], -0.1f);
    EXPECT_EQ(manager->framesProcessed(&context), 51u * 512u);
    device->onStop();
}

TEST_F(AudioDeviceTest, FramesAndCpuLoadAreCountedPerCallback) {
    const int dev = pa::addDevice(outputSpec("Out", pa::addHostApi(paMME, "MME")));
    startDevices();
    pa::setCpuLoad(0.25);
    pa::setOutputLatency(0.107);
    std::unique_ptr<AudioDevice> device(openDevice(dev));
    float latency = 0.0f;
    EXPECT_FALSE(device->getLatency(latency)); // no stream yet
    ASSERT_TRUE(device->onPlay());
    EXPECT_TRUE(log.has('I', "Out in its first callback"));
    EXPECT_TRUE(waitFor([&] { return manager->framesProcessed(&context) >= 5u * 512u; }));
    EXPECT_EQ(manager->framesProcessed(&context) % 512u, 0u);
    EXPECT_FLOAT_EQ(manager->cpuLoad(&context), 0.25f);
    ASSERT_TRUE(device->getLatency(latency));
    EXPECT_FLOAT_EQ(latency, 107.0f);
    device->onStop();
    EXPECT_FALSE(device->getLatency(latency));
}

TEST_F(AudioDeviceTest, APlayThatNeverCallsBackTimesOutAfterFiveSeconds) {
    const int dev = pa::addDevice(outputSpec("Silent", pa::addHostApi(paMME, "MME")));
    startDevices();
    pa::setCallbacks(pa::Callbacks::Never);
    std::unique_ptr<AudioDevice> device(openDevice(dev));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->onPlay());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 4.9);
    EXPECT_LT(seconds, 8.0);
    EXPECT_TRUE(log.has('E', "SilentplayReq TIMEOUT!!"));
    EXPECT_TRUE(log.has('E', "Silent, has refused to start Playing"));
    EXPECT_EQ(pa::openStreamCount(), 0);
    EXPECT_FALSE(device->isPlaying());
    EXPECT_FALSE(device->onStop());
    EXPECT_TRUE(log.has('E', "Silent::onStop() Logic error"));
}

TEST_F(AudioDeviceTest, ALateFirstCallbackDoesNotLetTheNextStartSucceedWithoutOne) {
    const int dev = pa::addDevice(outputSpec("Late", pa::addHostApi(paMME, "MME")));
    startDevices();
    std::unique_ptr<AudioDevice> device(openDevice(dev));
    // The first callback comes 0.3 s after the time-out, while the stream is being closed.
    pa::setCallbacks(pa::Callbacks::Late, 5300);
    EXPECT_FALSE(device->onPlay());
    EXPECT_TRUE(log.has('I', "Late in its first callback"));
    // The next stream never calls back: its start must fail, not live off the late release.
    pa::setCallbacks(pa::Callbacks::Never);
    EXPECT_FALSE(device->onPlay());
    EXPECT_EQ(log.count("playReq TIMEOUT!!"), 2u);
    EXPECT_FALSE(device->isPlaying());
}

TEST_F(AudioDeviceTest, FormatOpenAndStartErrorsAreReportedAndLeaveTheDeviceIdle) {
    const int dev = pa::addDevice(outputSpec("Card", pa::addHostApi(paMME, "MME")));
    startDevices();
    std::unique_ptr<AudioDevice> device(openDevice(dev));
    pa::device(dev).formatError = paInvalidSampleRate;
    EXPECT_FALSE(device->onPlay());
    const auto lines = log.messages();
    const size_t at =
        indexOf(lines, "Pa_IsFormatSupported: Error number: -9997 message: Invalid sample rate");
    ASSERT_LT(at, lines.size());
    EXPECT_EQ(lines[at - 1], "Card");
    EXPECT_EQ(lines[at - 2], std::string(79, '-'));
    EXPECT_EQ(lines[at + 1], std::string(79, '-'));
    EXPECT_TRUE(pa::opened().empty());

    pa::device(dev).formatError = paNoError;
    pa::device(dev).openError = paDeviceUnavailable;
    EXPECT_FALSE(device->onPlay());
    EXPECT_TRUE(log.has('E', "Pa_OpenStream: Error number: -9985 message: Device unavailable"));

    pa::device(dev).openError = paNoError;
    pa::device(dev).startError = paUnanticipatedHostError;
    EXPECT_FALSE(device->onPlay());
    EXPECT_TRUE(log.has('E', "Pa_StartStream: Error number: -9999 message: Unanticipated host error"));
    EXPECT_EQ(pa::openStreamCount(), 0); // closed again

    pa::device(dev).startError = paNoError;
    EXPECT_TRUE(device->onPlay()); // asked again, it plays
    EXPECT_TRUE(device->onStop());
    EXPECT_TRUE(log.has('I', "Card has Stopped!"));
}

TEST_F(AudioDeviceTest, SampleRatesAreTheCandidatesTheDeviceAccepts) {
    pa::DeviceSpec desc = outputSpec("Out", pa::addHostApi(paMME, "MME"));
    desc.rates = {44100, 48000, 96000, 11025};
    const int dev = pa::addDevice(desc);
    startDevices();
    std::unique_ptr<AudioDevice> device(openDevice(dev));
    std::vector<int> rates;
    EXPECT_TRUE(device->listAvailableSampleRates(rates));
    EXPECT_EQ(rates, (std::vector<int>{44100, 48000, 96000}));
}

TEST_F(AudioDeviceTest, BufferSizesPerHostApi) {
    const int wasapi = pa::addDevice(outputSpec("W", pa::addHostApi(paWASAPI, "WASAPI")));
    const int mme = pa::addDevice(outputSpec("M", pa::addHostApi(paMME, "MME")));
    startDevices();
    std::vector<int> sizes;
    std::unique_ptr<AudioDevice> device(openDevice(wasapi));
    EXPECT_TRUE(device->listAvailableBufferSizes(sizes));
    EXPECT_EQ(sizes, (std::vector<int>{128, 256, 512, 1024}));
    device.reset();
    device.reset(openDevice(mme));
    sizes.clear();
    EXPECT_TRUE(device->listAvailableBufferSizes(sizes));
    EXPECT_EQ(sizes, (std::vector<int>{512, 1024, 2048, 4096, 8192, 16384, 32768}));
}

#if defined(PA_USE_ASIO)
class AsioDeviceTest : public AudioDeviceTest {
protected:
    int addAsio(long minimum, long maximum, long granularity, int outputs = 2) {
        pa::DeviceSpec desc = outputSpec("ASIO Card", asioApi(), outputs);
        desc.asioMin = minimum;
        desc.asioMax = maximum;
        desc.asioPreferred = minimum;
        desc.asioGranularity = granularity;
        return pa::addDevice(desc);
    }
    int asioApi() {
        if (api_ < 0) api_ = pa::addHostApi(paASIO, "ASIO");
        return api_;
    }
    std::vector<int> sizesOf(int dev) {
        std::unique_ptr<AudioDevice> device(openDevice(dev));
        std::vector<int> sizes;
        EXPECT_TRUE(device->listAvailableBufferSizes(sizes));
        return sizes;
    }
    int api_ = -1;
};

TEST_F(AsioDeviceTest, PowersOfTwoAcrossTheDriversRange) {
    const int dev = addAsio(64, 2048, -1);
    startDevices();
    EXPECT_EQ(sizesOf(dev), (std::vector<int>{64, 128, 256, 512, 1024, 2048}));
    EXPECT_TRUE(log.has('I', "PaAsio_GetAvailableLatencyValues min, max, pref, gran : 64, 2048, 64, -1"));
    EXPECT_TRUE(log.has('I', "adding power of 2 : 2048"));
}

TEST_F(AsioDeviceTest, ASingleSizeThatIsNoPowerOfTwoIsStillOffered) {
    const int dev = addAsio(96, 96, 0);
    startDevices();
    EXPECT_EQ(sizesOf(dev), (std::vector<int>{96}));
    EXPECT_TRUE(log.has('I', "adding normal : 96"));
}

TEST_F(AsioDeviceTest, GranularStepsAndDriverErrors) {
    const int stepped = addAsio(32, 544, 32);
    const int broken = addAsio(64, 128, 0);
    pa::device(broken).asioError = paUnanticipatedHostError;
    const int huge = addAsio(1, 2000000000L, 1);
    startDevices();
    EXPECT_EQ(sizesOf(stepped), (std::vector<int>{32, 64, 128, 256, 512}));
    {
        std::unique_ptr<AudioDevice> device(openDevice(broken));
        std::vector<int> sizes;
        EXPECT_FALSE(device->listAvailableBufferSizes(sizes));
        EXPECT_TRUE(log.has('E', "PaAsio_GetAvailableLatencyValues failed with : -9999"));
    }
    // An absurd range ends in bounded time.
    const auto sizes = sizesOf(huge);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.front(), 2);
}

TEST_F(AsioDeviceTest, ChannelSelectorsFollowTheStereoPairAndTwoChannelsAreOpened) {
    const int dev = addAsio(64, 2048, -1, 4);
    startDevices();
    std::unique_ptr<AudioDevice> device(openDevice(dev));
    ASSERT_TRUE(device->setOutputStereoPair(1));
    ASSERT_TRUE(device->onPlay());
    device->onStop();
    const auto opened = pa::opened();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].outputChannels, 2);
    EXPECT_EQ(opened[0].hostInfoType, paASIO);
    EXPECT_EQ(opened[0].hostInfoFlags, 1u);
    EXPECT_EQ(opened[0].asioSelectors[0], 2);
    EXPECT_EQ(opened[0].asioSelectors[1], 3);
    EXPECT_EQ(device->copiedOutputChannelCount(), 2u);
}

TEST_F(AsioDeviceTest, ControlPanelOnlyForAsio) {
    const int asio = addAsio(64, 2048, -1);
    const int mme = pa::addDevice(outputSpec("M", pa::addHostApi(paMME, "MME")));
    startDevices();
    std::unique_ptr<AudioDevice> device(openDevice(asio));
    int parent = 0;
    EXPECT_TRUE(device->showControlPanel(&parent));
    EXPECT_EQ(pa::panelShownFor(), asio);
    pa::device(asio).panelError = paUnanticipatedHostError;
    EXPECT_FALSE(device->showControlPanel(&parent));
    EXPECT_TRUE(
        log.has('E', "PaAsio_ShowControlPanel: Error number: -9999 message: Unanticipated host error"));
    device.reset();
    device.reset(openDevice(mme));
    EXPECT_FALSE(device->showControlPanel(&parent));
}
#endif

} // namespace
