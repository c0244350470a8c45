#include "IntegrationHost.h"

#include "app/UserMessage.h"
#include "bridge/CodeSignature.h"
#include "engineapi/EngineOpcodes.h"
#include "bridge/SMPLModule.h"
#include "graph/GraphManager.h"
#include "log/TextConv.h"
#include "midi/MIDIDevice.h"
#include "support/LogCapture.h"

#include <dlfcn.h>

#include <algorithm>
#include <sstream>
#include <cmath>
#include <cstring>
#include <thread>

namespace vantor::test {

namespace pa = quorvel::test::pa;

namespace {

struct ProcessExit {
    int status;
};

const std::u16string kProductKey = u"Software\\Vantor\\Quorvel";
const std::u16string kEngineKey = u"Software\\Vantor\\Brevian";
const char* const kKeyboardName = "Quorvel Keys";

} // namespace

size_t firstNonZero(const std::vector<float>& samples) {
    return static_cast<size_t>(
        std::find_if(samples.begin(), samples.end(), [](float s) { return s != 0.0f; }) - samples.begin());
}

bool silent(const std::vector<float>& samples) {
    return firstNonZero(samples) == samples.size();
}

float peak(const std::vector<float>& samples) {
    float most = 0.0f;
    for (float s : samples)
        most = std::max(most, std::fabs(s));
    return most;
}

BrevianMidiEvent midiEvent(uint8_t status, uint8_t data1, uint8_t data2, int32_t frameOffset) {
    BrevianMidiEvent event{};
    event.status = status;
    event.data1 = data1;
    event.data2 = data2;
    event.frameOffset = frameOffset;
    return event;
}

ReferenceEngine::ReferenceEngine(int32_t sampleRate, int32_t blockSize)
    : block_(std::make_unique<BrevianEventBlock>()) {
    // The host has the component loaded already: this takes one more reference on the same copy.
    library_ = dlopen(QUORVEL_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library_) return;
    entry_ = reinterpret_cast<BrevianOpcodeFunction>(dlsym(library_, BREVIAN_ENTRY_POINT_NAME));
    if (!entry_) return;
    descriptor_.reserved = 0;
    descriptor_.version = BREVIAN_HOST_DESCRIPTOR_VERSION;
    descriptor_.hostTag = BREVIAN_HOST_TAG;
    descriptor_.dataDirectory = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(QUORVEL_ENGINE_DATA_DIR));
    entry_(nullptr, BREVIAN_OP_CREATE, &descriptor_, &engine_, nullptr, 0, 0, 0, 0.0f);
    if (!engine_) return;
    entry_(engine_, BREVIAN_OP_SET_STREAM, nullptr, nullptr, nullptr, sampleRate, blockSize, 0, 0.0f);
    entry_(engine_, BREVIAN_OP_START, nullptr, nullptr, nullptr, 0, 0, 0, 0.0f);
}

ReferenceEngine::~ReferenceEngine() {
    if (engine_) entry_(engine_, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.0f);
    if (library_) dlclose(library_);
}

StereoBlock ReferenceEngine::render(const std::vector<BrevianMidiEvent>& events, uint32_t frames) {
    StereoBlock out{std::vector<float>(frames, 0.0f), std::vector<float>(frames, 0.0f)};
    if (!engine_) return out;
    block_->count = std::min<uint64_t>(events.size(), BREVIAN_MAX_BLOCK_EVENTS);
    std::copy_n(events.begin(), block_->count, block_->events);
    float* channels[2] = {out.left.data(), out.right.data()};
    entry_(engine_, BREVIAN_OP_PROCESS, block_.get(), channels, nullptr, static_cast<int32_t>(frames), 0, 0,
           0.0f);
    return out;
}

int32_t IntegrationHost::call(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3) {
    return engineOpcode(opcode, p1, p2, i1, i2, i3, 0.0f);
}

void IntegrationHost::SetUp() {
    pa::reset();
    setRegistryStore(&registry_);
    // A failed start-up must fail the test, not end the test program.
    setExitHook([](int status) { throw ProcessExit{status}; });

    // The installation: data folder, engine component and its pinned hash.
    registry_.writeString(kHiveLocalMachine, kProductKey, u"base_dir", narrowToWide(QUORVEL_ENGINE_DATA_DIR));
    registry_.writeString(kHiveLocalMachine, kEngineKey, u"path_x64", narrowToWide(QUORVEL_ENGINE_LIBRARY));
    std::string hash;
    ASSERT_TRUE(sha256FileHex(narrowToWide(QUORVEL_ENGINE_LIBRARY), hash)) << QUORVEL_ENGINE_LIBRARY;
    registry_.writeString(kHiveLocalMachine, kEngineKey, kEngineHashValueName, narrowToWide(hash));

    // The machine: one stereo sound card and one MIDI keyboard, both there before start-up.
    const int mme = pa::addHostApi(paMME, "MME");
    pa::DeviceSpec card;
    card.name = "Speakers";
    card.hostApi = mme;
    card.outputs = 2;
    card.rates = {44100.0, 48000.0};
    pa::addDevice(card);
    // One callback from the library's thread to start the stream; the test drives the rest.
    pa::setCallbacks(pa::Callbacks::FirstOnly);
    keyboardKey_ = midi_.api().addInput(kKeyboardName);

    home_ = std::make_unique<EngineTestHome>();
}

void IntegrationHost::TearDown() {
    home_.reset(); // shuts the engine down: audio stops, the keyboard's port closes
    setExitHook({});
    setRegistryStore(nullptr);
    pa::reset();
}

void IntegrationHost::startHost(int32_t sampleRate, int32_t blockSize, bool fakeClock,
                                uint32_t clockAtStart) {
    AppArgumentList arguments{"Quorvel"};
    ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_SET, &arguments), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);

    // The sound card, by the id the audio device list gives it.
    int32_t count = 0;
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, nullptr, &count), kEngineOk);
    ASSERT_EQ(count, 1);
    AudioDeviceRecord card{};
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, &card, &count, 1), kEngineOk);
    ASSERT_STREQ(card.name, "Speakers");
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, card.id), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, sampleRate, blockSize), kEngineOk);
    int32_t rate = 0, size = 0;
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size), kEngineOk);
    ASSERT_EQ(rate, sampleRate);
    ASSERT_EQ(size, blockSize);
    blockSize_ = static_cast<uint32_t>(blockSize);

    // The keyboard, by the id the MIDI input list gives it, remembered like a user's choice.
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMidiInputs), kEngineOk);
    ASSERT_EQ(count, 1);
    MidiDeviceRecord port{};
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, &port, &count, 1, kMidiInputs), kEngineOk);
    ASSERT_EQ(std::string(port.name), std::string(kKeyboardName) + "(in)");
    keyboardId_ = port.id;
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keyboardId_, 0, 1), kEngineOk);
    ASSERT_NE(keyboard(), nullptr);
    if (fakeClock) {
        test::FakeMidiClock::set(clockAtStart);
        keyboard()->setClock(&test::FakeMidiClock::now);
    }

    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    ASSERT_TRUE(midi_.api().isStarted(keyboardKey_));

    // The instrument: the engine module finds, checks and loads the component and creates the
    // engine; the opcode has no result to give.
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_ADD), kEngineNoResult);
    ASSERT_NE(instrument(), nullptr);
    ASSERT_NE(instrument()->engineHandle(), nullptr);
    EXPECT_TRUE(boxes_.boxes().empty());
}

bool IntegrationHost::runBlock(uint32_t clockMs) {
    test::FakeMidiClock::set(clockMs);
    return pa::runCallback(blockSize_);
}

StereoBlock IntegrationHost::renderBlock(uint32_t clockMs) {
    EXPECT_TRUE(runBlock(clockMs));
    std::vector<std::vector<float>> out = pa::lastOutput();
    StereoBlock block;
    if (out.size() < 2 || out[0].size() < blockSize_ || out[1].size() < blockSize_) {
        ADD_FAILURE() << "the stream has no stereo output of " << blockSize_ << " frames";
        return block;
    }
    block.left.assign(out[0].begin(), out[0].begin() + blockSize_);
    block.right.assign(out[1].begin(), out[1].begin() + blockSize_);
    return block;
}

void IntegrationHost::play(const std::vector<std::pair<uint32_t, uint32_t>>& messages) {
    size_t sent = 0;
    std::thread player([&] {
        for (const auto& [message, millis] : messages)
            sent += midi_.api().sendShortAt(keyboardKey_, message, millis) ? 1 : 0;
    });
    player.join();
    EXPECT_EQ(sent, messages.size()) << "the keyboard port refused messages";
}

std::vector<std::string> IntegrationHost::complaints() const {
    std::vector<std::string> found;
    std::istringstream lines(home_ ? home_->readLog() : std::string());
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        LogEntry entry;
        if (LogCapture::parse(line, entry) && entry.severity != 'I') found.push_back(entry.message);
    }
    return found;
}

GraphManager* IntegrationHost::graph() {
    return GraphManager::peek();
}

MIDIDevice* IntegrationHost::keyboard() {
    GraphManager* graph = GraphManager::peek();
    return graph ? dynamic_cast<MIDIDevice*>(graph->findMidiDevice(keyboardId_)) : nullptr;
}

SMPLModule* IntegrationHost::instrument() {
    GraphManager* graph = GraphManager::peek();
    return graph ? dynamic_cast<SMPLModule*>(graph->getInstrument(0)) : nullptr;
}

} // namespace vantor::test
