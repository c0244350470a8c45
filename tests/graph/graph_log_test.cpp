// The exact log lines of the context, the graph's refusals and the factory registry.
#include "graph/Factory.h"
#include "bridge/HostComposition.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "threads/Clock.h"

#include "GraphDoubles.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdio>

using quorvel::test::FakeInstrument;
using vantor::GraphManager;
using vantor::Instance;

namespace {
std::string hexAddress(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return text;
}
} // namespace

TEST(GraphLogTest, InstanceWritesInAndOutPairsWithItsAddress) {
    // The clock announces its frequency once per process, on first use (here: the idle rectifier
    // built by init); read it before the capture so the line does not depend on the test order.
    vantor::secondsClock();
    vantor::test::LogCapture log;
    auto* instance = new Instance();
    const std::string addr = hexAddress(instance);
    instance->init();
    instance->resetStaticDSP(22050, 1024);
    delete instance;
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "Instance::init() 0x" + addr + " in",
                                  "Instance::init() 0x" + addr + " out",
                                  "Instance::resetStaticDSP() 0x" + addr + " in",
                                  "with 22050, 1024",
                                  "Instance::resetStaticDSP() 0x" + addr + " out",
                                  "Instance::dtor() 0x" + addr + " in",
                                  "Instance::dtor() 0x" + addr + " out",
                              }));
    EXPECT_TRUE(log.has('I', "Instance::init() 0x" + addr + " in"));
}

TEST(GraphLogTest, TakenAndEmptySlotsWriteTheirErrorLines) {
    Instance instance;
    instance.init();
    GraphManager graph;
    graph.init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    ASSERT_TRUE(graph.addInstrument(0, new FakeInstrument()));

    vantor::test::LogCapture log;
    FakeInstrument second;
    EXPECT_FALSE(graph.addInstrument(0, &second));
    EXPECT_FALSE(graph.showInstrumentUI(12, nullptr));
    EXPECT_FALSE(graph.closeInstrumentUI(12));
    void* data = nullptr;
    int32_t size = 0;
    EXPECT_FALSE(graph.saveInstrumentChunk(-1, &data, &size));
    EXPECT_FALSE(graph.saveInstrumentChunkEnd(3));
    EXPECT_FALSE(graph.loadInstrumentChunk(3, nullptr, 0));
    EXPECT_FALSE(graph.removeInstrument(1));
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "GraphManager::addInstrument, already an instrument in slot: 0",
                                  "GraphManager::showInstrumentUI, no instrument in slot: 12",
                                  "GraphManager::closeInstrumentUI, no instrument in slot: 12",
                                  "GraphManager::saveInstrumentChunk, no instrument in slot: -1",
                                  "GraphManager::saveInstrumentChunkEnd, no instrument in slot: 3",
                                  "GraphManager::loadInstrumentChunk, no instrument in slot: 3",
                                  "GraphManager::removeInstrument, no instrument in slot: 1",
                              }));
    EXPECT_TRUE(log.has('E', "GraphManager::showInstrumentUI, no instrument in slot: 12"));
    EXPECT_EQ(log.count("GraphManager::"), 7u);
    EXPECT_TRUE(graph.showInstrumentUI(0, nullptr)); // the first instrument is still there
}

TEST(GraphLogTest, ProcessWritesNothing) {
    Instance instance;
    instance.init();
    GraphManager graph;
    graph.init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    ASSERT_TRUE(graph.addInstrument(0, new FakeInstrument()));
    vantor::test::LogCapture log;
    quorvel::test::StereoOut out(512);
    for (int i = 0; i < 50; ++i)
        graph.process(out.ptrs, 512);
    EXPECT_TRUE(log.messages().empty());
}

namespace {
class ListFactory : public vantor::BaseFactory {
public:
    explicit ListFactory(std::vector<NamePair> names) : names_(std::move(names)) {}
    std::vector<NamePair> list() override { return names_; }
    vantor::Module* create(vantor::Instance*, const std::string& name) override {
        created.push_back(name);
        if (name == "busy") throw vantor::InstantiationException("Only one audio device at the same time");
        return new FakeInstrument(name);
    }
    vantor::Module* createByDisplayName(vantor::Instance*, const std::string&) override { return nullptr; }
    void clear() override {
        ++clears;
        names_.clear();
    }
    std::vector<std::string> created;
    int clears = 0;

private:
    std::vector<NamePair> names_;
};
} // namespace

TEST(FactoryTest, RegistryMapsNamesToTheirFactoriesThroughTheHooks) {
    ListFactory* audio = nullptr;
    ListFactory midi(std::vector<vantor::BaseFactory::NamePair>{{"MidiInput_0", "Keys"},
                                                                {"AudioOutput_1", "Claimed by MIDI"}});
    vantor::Factory::setHooks(
        {[&] {
             auto f = std::make_unique<ListFactory>(std::vector<vantor::BaseFactory::NamePair>{
                 {"AudioOutput_0", "Speakers"}, {"AudioOutput_1", "Headphones"}, {"busy", "X"}});
             audio = f.get();
             return f;
         },
         [&]() -> vantor::BaseFactory* { return &midi; }});
    vantor::test::LogCapture log;
    {
        vantor::Factory registry;
        EXPECT_EQ(log.messages(), (std::vector<std::string>{"Factory init AudioDeviceFactory",
                                                            "Factory init MIDIDeviceFactory"}));
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ(registry.audioDeviceFactory(), audio);
        EXPECT_EQ(registry.midiDeviceFactory(), &midi);
        EXPECT_EQ(registry.findFactory("AudioOutput_0"), audio);
        EXPECT_EQ(registry.findFactory("MidiInput_0"), &midi);
        // A later registration of the same name wins.
        EXPECT_EQ(registry.findFactory("AudioOutput_1"), &midi);
        EXPECT_EQ(registry.displayName("AudioOutput_1"), "Claimed by MIDI");
        EXPECT_EQ(registry.displayName("nope"), "");
        EXPECT_EQ(registry.findFactory("nope"), nullptr);
        EXPECT_EQ(registry.create(nullptr, "nope"), nullptr);

        std::unique_ptr<vantor::Module> made(registry.create(nullptr, "MidiInput_0"));
        EXPECT_NE(made, nullptr);
        EXPECT_EQ(midi.created, std::vector<std::string>{"MidiInput_0"});
        try {
            registry.create(nullptr, "busy");
            ADD_FAILURE() << "expected InstantiationException";
        } catch (const vantor::InstantiationException& e) {
            EXPECT_STREQ(e.what(), "Only one audio device at the same time");
        }
        EXPECT_EQ(registry.names().size(), 4u);

        registry.reset();
        EXPECT_EQ(registry.findFactory("AudioOutput_0"), nullptr);
        EXPECT_TRUE(registry.names().empty());
        EXPECT_EQ(audio->clears, 1);
        EXPECT_EQ(midi.clears, 1);
        // A new enumeration fills it again.
        ListFactory later(std::vector<vantor::BaseFactory::NamePair>{{"AudioOutput_7", "New"}});
        registry.registerFactory(&later);
        EXPECT_EQ(registry.findFactory("AudioOutput_7"), &later);
        registry.registerFactory(nullptr);
    }
    vantor::Factory::setHooks({});
    vantor::Factory bare; // no device code: an empty registry, still logged
    EXPECT_EQ(bare.audioDeviceFactory(), nullptr);
    EXPECT_EQ(bare.midiDeviceFactory(), nullptr);
    EXPECT_EQ(log.count("Factory init"), 4u);
}
