// The log lines of engineOpcode: the opcode's name as an information line before its work, none
// for the three frequent opcodes and unknown ones, and the lines of initialise and shutdown.
#include "bridge/EngineDispatch.h"
#include "bridge/EngineManager.h"
#include "engineapi/EngineOpcodes.h"
#include "support/EngineTestHome.h"
#include "support/LogCapture.h"
#include "threads/Clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace vantor;

namespace {

int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
             int32_t i3 = 0, float f = 0.0f) {
    return engineOpcode(opcode, p1, p2, i1, i2, i3, f);
}

size_t indexOf(const std::vector<std::string>& lines, const std::string& text, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(text, 0) == 0) return i;
    return std::string::npos;
}

struct Named {
    int32_t opcode;
    const char* name;
};

// Opcodes whose work, with null arguments and no context, writes nothing further.
const Named kQuietOpcodes[] = {
    {VE_ENGINE_VERSION, "VE_ENGINE_VERSION"},
    {VE_ENGINE_OFFLINE_SET, "VE_ENGINE_OFFLINE_SET"},
    {VE_ENGINE_AUDIODEVICE_LIST, "VE_ENGINE_AUDIODEVICE_LIST"},
    {VE_ENGINE_AUDIODEVICE_SET, "VE_ENGINE_AUDIODEVICE_SET"},
    {VE_ENGINE_AUDIODEVICE_GET, "VE_ENGINE_AUDIODEVICE_GET"},
    {VE_ENGINE_AUDIODEVICE_SHOWPANEL, "VE_ENGINE_AUDIODEVICE_SHOWPANEL"},
    {VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, "VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST"},
    {VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, "VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST"},
    {VE_ENGINE_AUDIODEVICE_SETTINGS, "VE_ENGINE_AUDIODEVICE_SETTINGS"},
    {VE_ENGINE_AUDIODEVICE_SETTINGS_GET, "VE_ENGINE_AUDIODEVICE_SETTINGS_GET"},
    {VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, "VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET"},
    {VE_ENGINE_AUDIODEVICE_LATENCY_GET, "VE_ENGINE_AUDIODEVICE_LATENCY_GET"},
    {VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, "VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET"},
    {VE_ENGINE_AUDIO_START, "VE_ENGINE_AUDIO_START"},
    {VE_ENGINE_AUDIO_STOP, "VE_ENGINE_AUDIO_STOP"},
    {VE_ENGINE_AUDIO_ISPLAYING, "VE_ENGINE_AUDIO_ISPLAYING"},
    {VE_ENGINE_MIDI_PLAY, "VE_ENGINE_MIDI_PLAY"},
    {VE_ENGINE_MIDI_STOP, "VE_ENGINE_MIDI_STOP"},
    {VE_ENGINE_MIDI_SEEK, "VE_ENGINE_MIDI_SEEK"},
    {VE_ENGINE_MIDI_LOAD, "VE_ENGINE_MIDI_LOAD"},
    {VE_ENGINE_INSTRUMENT_ADD, "VE_ENGINE_INSTRUMENT_ADD"},
    {VE_ENGINE_INSTRUMENT_REMOVE, "VE_ENGINE_INSTRUMENT_REMOVE"},
    {VE_ENGINE_INSTRUMENT_GUI_SHOW, "VE_ENGINE_INSTRUMENT_GUI_SHOW"},
    {VE_ENGINE_INSTRUMENT_GUI_CLOSE, "VE_ENGINE_INSTRUMENT_GUI_CLOSE"},
    {VE_ENGINE_INSTRUMENT_CHUNK_SAVE, "VE_ENGINE_INSTRUMENT_CHUNK_SAVE"},
    {VE_ENGINE_INSTRUMENT_CHUNK_SAVE_END, "VE_ENGINE_INSTRUMENT_CHUNK_SAVE_END"},
    {VE_ENGINE_INSTRUMENT_CHUNK_LOAD, "VE_ENGINE_INSTRUMENT_CHUNK_LOAD"},
    {VE_ENGINE_MIDIDEVICE_LIST, "VE_ENGINE_MIDIDEVICE_LIST"},
    {VE_ENGINE_MIDIDEVICE_GET, "VE_ENGINE_MIDIDEVICE_GET"},
    {VE_ENGINE_MIDIDEVICE_ENABLE, "VE_ENGINE_MIDIDEVICE_ENABLE"},
    {VE_ENGINE_MIDIDEVICE_GETUSED, "VE_ENGINE_MIDIDEVICE_GETUSED"},
    {VE_ENGINE_RECORDING_FILE_SET, "VE_ENGINE_RECORDING_FILE_SET"},
    {VE_ENGINE_RECORDING_START, "VE_ENGINE_RECORDING_START"},
    {VE_ENGINE_RECORDING_STOP, "VE_ENGINE_RECORDING_STOP"},
    {VE_ENGINE_APP_ARGUMENTS_SET, "VE_ENGINE_APP_ARGUMENTS_SET"},
    {VE_ENGINE_APP_ARGUMENTS_GET, "VE_ENGINE_APP_ARGUMENTS_GET"},
};

} // namespace

TEST(EngineOpcodeLog, EveryNamedOpcodeWritesExactlyItsNameAsAnInformationLine) {
    test::EngineTestHome home;
    EngineManager::get(); // the manager's own log opens first; the capture takes the lines over
    for (const Named& entry : kQuietOpcodes) {
        test::LogCapture log;
        call(entry.opcode);
        auto entries = log.entries();
        ASSERT_EQ(entries.size(), 1u) << entry.name;
        EXPECT_EQ(entries[0].severity, 'I') << entry.name;
        EXPECT_EQ(entries[0].message, entry.name);
    }
}

TEST(EngineOpcodeLog, FrequentAndUnknownOpcodesWriteNothing) {
    test::EngineTestHome home;
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    test::LogCapture log;
    double position = 0;
    int32_t recording = 0;
    EXPECT_EQ(call(VE_ENGINE_IDLE), kEngineNoResult);
    EXPECT_EQ(call(VE_ENGINE_MIDI_POSITION_GET, &position), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_RECORDING_ISRECORDING, &recording), kEngineOk);
    EXPECT_EQ(call(999), kEngineNoResult);
    EXPECT_EQ(call(334, &position, &recording, 1, 2, 3, 4.0f), kEngineNoResult);
    // The disk streamer the context started logs from its own thread: look at this thread's lines.
    const std::vector<std::string> own = log.messagesOf(currentThreadId());
    EXPECT_TRUE(own.empty()) << own.front();
}

TEST(EngineOpcodeLog, InitializeAndShutdownLines) {
    test::EngineTestHome home;
    EngineManager::get();
    test::LogCapture log;
    // The disk streamer logs from its own thread at its own pace: look at the opcode thread's lines.
    auto ownLines = [&] { return log.messagesOf(currentThreadId()); };
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    auto lines = ownLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "VE_ENGINE_INITIALIZE");
    EXPECT_EQ(lines.back(), "VE_ENGINE_INITIALIZE OK");
    EXPECT_NE(indexOf(lines, "Instance::init() 0x"), std::string::npos);

    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    lines = ownLines();
    size_t shutdown = indexOf(lines, "VE_ENGINE_SHUTDOWN");
    ASSERT_NE(shutdown, std::string::npos);
    // Audio stops first (through the dispatcher, with its own line), the context goes last.
    size_t stop = indexOf(lines, "VE_ENGINE_AUDIO_STOP", shutdown);
    size_t contextGone = indexOf(lines, "Instance::dtor() 0x", shutdown);
    EXPECT_EQ(stop, shutdown + 1);
    ASSERT_NE(contextGone, std::string::npos);
    EXPECT_GT(contextGone, stop);
    EXPECT_EQ(lines.back().rfind("Instance::dtor() 0x", 0), 0u) << lines.back();
}

TEST(EngineOpcodeLog, TheManagersLogLivesInTheAppDataFolderAndClosesWithShutdown) {
    test::EngineTestHome home;
    AppArgumentList arguments{"Quorvel.exe"};
    ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_SET, &arguments), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);

    std::string text = home.readLog();
    ASSERT_FALSE(text.empty()) << home.logPath();
    EXPECT_EQ(text.back(), '@') << "closed cleanly";
    size_t args = text.find(":VE_ENGINE_APP_ARGUMENTS_SET");
    size_t init = text.find(":VE_ENGINE_INITIALIZE OK");
    size_t shutdown = text.find(":VE_ENGINE_SHUTDOWN");
    ASSERT_NE(args, std::string::npos);
    ASSERT_NE(init, std::string::npos);
    ASSERT_NE(shutdown, std::string::npos);
    EXPECT_LT(args, init);
    EXPECT_LT(init, shutdown);
    EXPECT_NE(text.find("closed on: "), std::string::npos);
}

TEST(EngineOpcodeLog, TheHostNeverCreatesTheAppDataFolder) {
    test::EngineTestHome home(/*createFolder=*/false);
    char version[8];
    EXPECT_EQ(call(VE_ENGINE_VERSION, version), kEngineOk) << "works without a log";
    EXPECT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    EXPECT_TRUE(home.readLog().empty());
}

// The list opcodes' shared argument shape.
TEST(EngineListShape, CountAndFillModes) {
    const std::vector<int32_t> five{10, 20, 30, 40, 50};
    int32_t out[8] = {};
    int32_t count = -1;

    EXPECT_EQ(dispatch::answerList(five, static_cast<int32_t*>(nullptr), nullptr, 0), kEngineFailed);
    EXPECT_EQ(dispatch::answerList(five, static_cast<int32_t*>(nullptr), &count, 0), kEngineOk);
    EXPECT_EQ(count, 5) << "count mode reports the full count whatever the capacity";

    count = -1;
    EXPECT_EQ(dispatch::answerList(five, out, &count, 2), kEngineOk);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 20);
    EXPECT_EQ(out[2], 0) << "nothing beyond the capacity";

    EXPECT_EQ(dispatch::answerList(five, out, &count, 8), kEngineOk);
    EXPECT_EQ(count, 5) << "never more than the list holds";
    EXPECT_EQ(out[5], 0);

    int32_t again[3] = {};
    EXPECT_EQ(dispatch::answerList(five, again, nullptr, 3), kEngineFailed);
    EXPECT_EQ(again[2], 30) << "entries are written even without a count pointer";

    count = -1;
    EXPECT_EQ(dispatch::answerList(five, again, &count, -4), kEngineOk);
    EXPECT_EQ(count, 0) << "a negative capacity writes nothing";
}
