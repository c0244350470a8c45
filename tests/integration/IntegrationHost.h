// Shared set-up of the integration tests: the whole host core brought up through engineOpcode as
// the application does it, with the audio library's test double as the sound card, a virtual MIDI
// keyboard, and the reference engine component installed (registry values and pinned hash) from
// the build's shared object and the checkout's data folder.
//
// The reference engine can also be created a second time beside the host's, straight through its
// entry point, to render what the host should have produced from a given list of events.
#pragma once

#include "app/Registry.h"
#include "engineapi/BrevianComponent.h"
#include "support/BoxCapture.h"
#include "support/EngineTestHome.h"
#include "support/VirtualMidiScope.h"
#include "support/pa_double/PaDouble.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantor {
class GraphManager;
class MIDIDevice;
class SMPLModule;
} // namespace vantor

namespace vantor::test {

struct StereoBlock {
    std::vector<float> left;
    std::vector<float> right;
};

// Index of the first non-zero sample, or the size when every sample is zero.
size_t firstNonZero(const std::vector<float>& samples);
bool silent(const std::vector<float>& samples);
float peak(const std::vector<float>& samples);

// A second engine of the reference component, created beside the host's through the same entry
// point, from the same data folder: the same events give the same samples.
class ReferenceEngine {
public:
    ReferenceEngine(int32_t sampleRate, int32_t blockSize);
    ~ReferenceEngine();
    ReferenceEngine(const ReferenceEngine&) = delete;
    ReferenceEngine& operator=(const ReferenceEngine&) = delete;

    bool ready() const { return engine_ != nullptr; }
    // One block with the given events (status, data1, data2, frame offset).
    StereoBlock render(const std::vector<BrevianMidiEvent>& events, uint32_t frames);

private:
    void* library_ = nullptr;
    BrevianOpcodeFunction entry_ = nullptr;
    void* engine_ = nullptr;
    BrevianHostDescriptor descriptor_{};
    std::unique_ptr<BrevianEventBlock> block_;
};

BrevianMidiEvent midiEvent(uint8_t status, uint8_t data1, uint8_t data2, int32_t frameOffset);

class IntegrationHost : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Start-up as the application runs it: initialise, choose the sound card and the stream
    // settings, enable the keyboard, start audio, add the instrument. With a fake clock the
    // keyboard's device reads the multimedia clock from FakeMidiClock, set to clockAtStart.
    void startHost(int32_t sampleRate, int32_t blockSize, bool fakeClock, uint32_t clockAtStart = 0);

    // One audio block driven through the device's callback on this thread, with the fake clock
    // reading clockMs while it runs.
    StereoBlock renderBlock(uint32_t clockMs);
    // The same block without collecting its output: only the device's callback runs here, so a
    // test can count what the audio thread itself allocates.
    bool runBlock(uint32_t clockMs);

    // Plays messages into the keyboard from a thread of their own, as the multimedia system's
    // callback thread would, and waits until they are delivered. Pairs of (packed short message,
    // milliseconds since the input was started).
    void play(const std::vector<std::pair<uint32_t, uint32_t>>& messages);

    // Lines of the run's log written as errors or warnings ("E"/"W"), messages only.
    std::vector<std::string> complaints() const;

    // Null when absent (the caller asserts).
    GraphManager* graph();
    MIDIDevice* keyboard();
    SMPLModule* instrument();

    static int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0,
                        int32_t i2 = 0, int32_t i3 = 0);

    VirtualMidiScope midi_; // outlives the engine, whose shutdown closes the port
    MemoryRegistryStore registry_;
    BoxCapture boxes_;
    std::unique_ptr<EngineTestHome> home_;
    int keyboardKey_ = 0;
    int32_t keyboardId_ = -1;
    uint32_t blockSize_ = 0;
};

} // namespace vantor::test
