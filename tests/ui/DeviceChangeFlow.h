// The main window's device-change flow, shared by the Win32 test (a real WM_DEVICECHANGE sent to
// the window) and the native one (the headless window's handler called directly): with the
// virtual MIDI back end installed in-process and the engine initialised, a "device nodes changed"
// notification runs the hot-plug pass, and the MIDI device list opcode then answers with the new
// port; any other device-change notification leaves the lists alone.
#pragma once

#include "engineapi/EngineOpcodes.h"
#include "support/EngineTestHome.h"
#include "support/VirtualMidiScope.h"
#include "support/pa_double/PaDouble.h"
#include "toolkit/Application.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor::test {

inline int32_t deviceChangeCall(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0,
                                int32_t i2 = 0, int32_t i3 = 0) {
    return engineOpcode(opcode, p1, p2, i1, i2, i3, 0.0f);
}

inline std::vector<std::string> midiInputNames() {
    int32_t count = 0;
    MidiDeviceRecord records[8] = {};
    std::vector<std::string> names;
    if (deviceChangeCall(VE_ENGINE_MIDIDEVICE_LIST, records, &count, 8, kMidiInputs) != kEngineOk)
        return names;
    for (int32_t i = 0; i < count && i < 8; ++i)
        names.push_back(records[i].name);
    return names;
}

// deliver(window, wParam) hands the window a WM_DEVICECHANGE with that wParam.
inline void runDeviceChangeFlow(const std::function<void(MainWindow&, uintptr_t)>& deliver) {
    quorvel::test::pa::reset();
    EngineTestHome home;
    VirtualMidiScope midi;
    midi.api().addInput("Stays");
    char version[16] = {};
    ASSERT_EQ(deviceChangeCall(VE_ENGINE_VERSION, version), kEngineOk);
    ASSERT_EQ(deviceChangeCall(VE_ENGINE_INITIALIZE), kEngineOk);
    VTR::Application application;
    ASSERT_TRUE(application.init());
    MainWindow* window = MainWindow::create(nullptr, true);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(midiInputNames(), std::vector<std::string>{"Stays(in)"});

    // A device arrival (DBT_DEVICEARRIVAL) is not the notification the window acts on.
    midi.api().addInput("Plugged Keys");
    deliver(*window, 0x8000);
    EXPECT_EQ(home.readLog().find("Added MIDI Input(s)"), std::string::npos);
    EXPECT_EQ(midiInputNames(), std::vector<std::string>{"Stays(in)"});

    // DBT_DEVNODES_CHANGED: the pass runs and the list follows.
    deliver(*window, 7);
    const std::string log = home.readLog();
    EXPECT_NE(log.find("Added MIDI Input(s)"), std::string::npos);
    EXPECT_NE(log.find("1 - Plugged Keys added"), std::string::npos);
    EXPECT_EQ(midiInputNames(), (std::vector<std::string>{"Stays(in)", "Plugged Keys(in)"}));

    window->destroy();
    application.exit();
    ASSERT_EQ(deviceChangeCall(VE_ENGINE_SHUTDOWN), kEngineOk);
    quorvel::test::pa::reset();
}

} // namespace vantor::test
