// Shared set-up of the device tests: a fresh test double of the audio library, a captured log,
// and the device manager, factory registry and graph built the way engine initialisation builds
// them, torn down in shutdown order.
#pragma once

#include "devices/AudioDevice.h"
#include "bridge/HostComposition.h"
#include "devices/AudioDeviceFactory.h"
#include "devices/DeviceManager.h"
#include "devices/MIDIDeviceFactory.h"
#include "graph/DSPInfo.h"
#include "graph/Factory.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "support/LogCapture.h"
#include "support/pa_double/PaDouble.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvel::test {

namespace pa = quorvel::test::pa;

inline pa::DeviceSpec outputSpec(const std::string& name, int api, int outputs = 2, int inputs = 0) {
    pa::DeviceSpec desc;
    desc.name = name;
    desc.hostApi = api;
    desc.outputs = outputs;
    desc.inputs = inputs;
    return desc;
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        pa::reset();
        context.init();
    }

    void TearDown() override {
        vantor::GraphManager::destroy();
        vantor::Factory::destroy();
        vantor::MIDIDeviceFactory::destroy();
        if (auto* manager = vantor::DeviceManager::peek()) manager->removeContext(&context);
        vantor::DeviceManager::destroy();
        pa::reset();
    }

    // Engine initialisation's device steps: the core's hooks, manager init, context, registry (naming).
    vantor::DeviceManager& startDevices() {
        vantor::installCoreHooks();
        manager = vantor::DeviceManager::get();
        manager->init();
        manager->registerContext(&context);
        vantor::Factory::get();
        return *manager;
    }

    vantor::GraphManager& startGraph() {
        vantor::GraphManager* graph = vantor::GraphManager::get();
        graph->init(&context, context.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
        return *graph;
    }

    vantor::AudioDeviceFactory& audioFactory() {
        return *dynamic_cast<vantor::AudioDeviceFactory*>(vantor::Factory::get()->audioDeviceFactory());
    }

    // Creates, initialises and chooses the device as the device-set opcode does (not put in a
    // graph: the caller owns it).
    vantor::AudioDevice* openDevice(int index) {
        vantor::AudioDevice* device = audioFactory().createByIndex(&context, index);
        if (!device) return nullptr;
        device->init(&context, context.getDSPInfo());
        device->choose();
        return device;
    }

    std::vector<std::string> generatedNames() {
        std::vector<std::string> names;
        for (const auto& [name, display] : audioFactory().list())
            names.push_back(name);
        return names;
    }

    size_t indexOf(const std::vector<std::string>& lines, const std::string& line, size_t from = 0) {
        auto it =
            std::find(lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end(), line);
        return static_cast<size_t>(it - lines.begin());
    }

    vantor::test::LogCapture log;
    vantor::Instance context;
    vantor::DeviceManager* manager = nullptr;
};

} // namespace quorvel::test
