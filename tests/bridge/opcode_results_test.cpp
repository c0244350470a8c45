// Result codes of engineOpcode, with null and valid pointers, in the three states of the bridge:
// before VE_ENGINE_INITIALIZE, while initialised, and after VE_ENGINE_SHUTDOWN. Outside the
// initialised state, opcodes that need the context must answer without touching their outputs.
#include "app/Registry.h"
#include "app/UserMessage.h"
#include "bridge/EngineManager.h"
#include "engineapi/EngineOpcodes.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "support/BoxCapture.h"
#include "support/EngineTestHome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vantor;

namespace {

int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
             int32_t i3 = 0, float f = 0.0f) {
    return engineOpcode(opcode, p1, p2, i1, i2, i3, f);
}

constexpr int32_t kSentinel = 0x5A5A5A5A;

struct EndedProcess {
    int status;
};

// The answers of a bridge without a context (before initialise and after shutdown).
void expectAnswersWithoutContext() {
    int32_t a = kSentinel, b = kSentinel;
    double position = -7.0;
    bool playing = true;
    float latency = -3.0f;
    std::vector<UsedMidiDevice> used;
    AudioDeviceRecord audio[2] = {};
    MidiDeviceRecord midi[2] = {};
    char chunk[4] = {1, 2, 3, 4};
    void* chunkData = &a;

    EXPECT_EQ(call(VE_ENGINE_IDLE), kEngineNoResult);
    EXPECT_EQ(call(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1), kEngineFailed);

    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, nullptr, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, audio, &a, 2), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, -1), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_GET), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_GET, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SHOWPANEL, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, nullptr, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 256), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &a, &b), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 1), kEngineNoResult);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineAudioRefused);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_STOP), kEngineAudioRefused);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_ISPLAYING, &playing), kEngineFailed);

    EXPECT_EQ(call(VE_ENGINE_MIDI_PLAY), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDI_STOP), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, 0.5f), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDI_POSITION_GET, &position), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDI_LOAD, const_cast<char*>("missing.mid")), kEngineFailed);

    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_ADD), kEngineNoResult);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_REMOVE), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_GUI_SHOW), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_GUI_CLOSE), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_SAVE, &chunkData, &b), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_SAVE_END), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_LOAD, chunk, nullptr, 0, 0, 4), kEngineFailed);

    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, midi, &a, 2), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_GET, &a, nullptr, 3), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, 3, -1, 0), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, 3, 1, 1), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_GETUSED, &used), kEngineFailed);

    EXPECT_EQ(call(VE_ENGINE_RECORDING_FILE_SET, const_cast<char*>("out.wav"), nullptr, 0, 32),
              kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_RECORDING_START), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_RECORDING_STOP), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_RECORDING_ISRECORDING, &a), kEngineFailed);

    // Nothing was written anywhere.
    EXPECT_EQ(a, kSentinel);
    EXPECT_EQ(b, kSentinel);
    EXPECT_EQ(position, -7.0);
    EXPECT_TRUE(playing);
    EXPECT_EQ(latency, -3.0f);
    EXPECT_TRUE(used.empty());
    EXPECT_EQ(chunkData, &a);
    EXPECT_EQ(audio[0].id, 0);
    EXPECT_EQ(midi[0].id, 0);
    EXPECT_EQ(GraphManager::peek(), nullptr);
}

// Answers that never depend on the state: missing pointers and context-free opcodes.
void expectStatelessAnswers() {
    char version[16];
    std::memset(version, 'x', sizeof version);
    EXPECT_EQ(call(VE_ENGINE_VERSION), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_VERSION, version), kEngineOk);
    EXPECT_STREQ(version, "v2.116");
    EXPECT_EQ(version[7], 'x') << "only the text and its NUL are copied";

    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, nullptr, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_GET, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SHOWPANEL, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, nullptr, nullptr), kEngineFailed);
    int32_t one = 0;
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, nullptr, &one), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &one, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LATENCY_GET, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_ISPLAYING, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDI_POSITION_GET, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDI_LOAD, nullptr), kEngineNoResult);
    void* data = nullptr;
    int32_t size = 0;
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_SAVE, nullptr, &size), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_SAVE, &data, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_SAVE, nullptr, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_LOAD, nullptr, nullptr, 0, 0, 16), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_GET, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_GETUSED, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_RECORDING_FILE_SET, nullptr, nullptr, 0, 32), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_RECORDING_ISRECORDING, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_APP_ARGUMENTS_SET, nullptr), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_APP_ARGUMENTS_GET, nullptr), kEngineFailed);
    EXPECT_EQ(call(999), kEngineNoResult);
    EXPECT_EQ(call(0), kEngineNoResult);
    EXPECT_EQ(call(-1), kEngineNoResult);
    EXPECT_EQ(call(334), kEngineNoResult); // a gap in the instrument range
}

} // namespace

TEST(EngineOpcodeResults, BeforeInitialize) {
    test::EngineTestHome home;
    expectStatelessAnswers();
    expectAnswersWithoutContext();
}

TEST(EngineOpcodeResults, AfterShutdown) {
    test::EngineTestHome home;
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    EXPECT_EQ(EngineManager::peek(), nullptr) << "shutdown destroys the manager";
    expectStatelessAnswers();
    expectAnswersWithoutContext();
}

TEST(EngineOpcodeResults, WhileInitialized) {
    test::EngineTestHome home;
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    ASSERT_NE(EngineManager::peek()->context(), nullptr);
    expectStatelessAnswers();

    int32_t a = kSentinel, b = kSentinel;
    EXPECT_EQ(call(VE_ENGINE_IDLE), kEngineNoResult);

    // Without a chosen device: lists answer, deselecting works, the device's own opcodes refuse.
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LIST, nullptr, &a), kEngineOk);
    EXPECT_GE(a, 0);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, -1), kEngineOk);
    a = kSentinel;
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_GET, &a), kEngineOk);
    EXPECT_EQ(a, -1);
    EXPECT_EQ(call(VE_ENGINE_AUDIO_START), kEngineAudioRefused) << "no device and not offline";
    EXPECT_EQ(call(VE_ENGINE_AUDIO_STOP), kEngineAudioRefused) << "nothing plays";
    bool playing = true;
    EXPECT_EQ(call(VE_ENGINE_AUDIO_ISPLAYING, &playing), kEngineOk);
    EXPECT_FALSE(playing);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 0), kEngineNoResult);
    a = kSentinel;
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &a), kEngineFailed);
    EXPECT_EQ(a, kSentinel);
    float latency = 0;
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SHOWPANEL, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, &a), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, nullptr, &a), kEngineFailed);

    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &a, &b), kEngineOk);
    EXPECT_EQ(a, 44100);
    EXPECT_EQ(b, 512);

    // MIDI file player.
    EXPECT_EQ(call(VE_ENGINE_MIDI_PLAY), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_MIDI_STOP), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, 0.25f), kEngineOk);
    double position = -1.0;
    EXPECT_EQ(call(VE_ENGINE_MIDI_POSITION_GET, &position), kEngineOk);
    EXPECT_GE(position, 0.0);
    EXPECT_LE(position, 1.0);
    EXPECT_EQ(call(VE_ENGINE_MIDI_LOAD, const_cast<char*>("/no/such/folder/file.mid")), kEngineFailed);

    // Without an installation the engine module tells the user and ends the process (status 0)
    // inside the add, before anything is put into a slot.
    {
        test::BoxCapture boxes;
        MemoryRegistryStore empty;
        setRegistryStore(&empty);
        setExitHook([](int status) { throw EndedProcess{status}; });
        int ended = -1;
        try {
            call(VE_ENGINE_INSTRUMENT_ADD);
        } catch (const EndedProcess& exit) {
            ended = exit.status;
        }
        setExitHook({});
        setRegistryStore(nullptr);
        EXPECT_EQ(ended, 0);
        EXPECT_TRUE(boxes.contains("Cannot find data installation, please re-install"));
    }
    // Instrument slots are empty: every slot operation fails.
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_REMOVE, nullptr, nullptr, 0), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_GUI_SHOW, nullptr, nullptr, 0), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_GUI_CLOSE, nullptr, nullptr, 0), kEngineFailed);
    void* data = nullptr;
    int32_t size = kSentinel;
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_SAVE, &data, &size, 0), kEngineFailed);
    EXPECT_EQ(size, kSentinel) << "the size is written only on success";
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_SAVE_END, nullptr, nullptr, 0), kEngineFailed);
    char chunk[8] = {};
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_LOAD, chunk, nullptr, 0, 0, 8), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_LOAD, chunk, nullptr, 0, 0, 0), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_INSTRUMENT_CHUNK_LOAD, chunk, nullptr, 0, 0, -8), kEngineFailed);

    // MIDI devices: none in use.
    a = kSentinel;
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_GET, &a, nullptr, 4), kEngineOk);
    EXPECT_EQ(a, -1);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, 4, -1, 0), kEngineOk)
        << "disabling a device not in use";
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, 987654, 1, 1), kEngineFailed)
        << "no such port";
    std::vector<UsedMidiDevice> used{{7, 1}};
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, kMidiAll), kEngineOk);
    ASSERT_EQ(used.size(), 1u) << "the graph appends; nothing is in use";
    EXPECT_EQ(used[0].id, 7);
    EXPECT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &a, 0, kMidiInputs), kEngineOk);
    EXPECT_GE(a, 0);

    // Recording.
    int32_t recording = kSentinel;
    EXPECT_EQ(call(VE_ENGINE_RECORDING_ISRECORDING, &recording), kEngineOk);
    EXPECT_EQ(recording, 0);
    {
        test::BoxCapture boxes;
        EXPECT_EQ(call(VE_ENGINE_RECORDING_FILE_SET, const_cast<char*>("never.wav"), nullptr, 1, 32),
                  kEngineFailed)
            << "only the 32-bit float format is accepted";
        EXPECT_EQ(boxes.boxes().size(), 1u) << "the refusal is shown to the user";
    }

    // The offline switch reaches the context's stream description.
    EXPECT_EQ(call(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1), kEngineOk);
    EXPECT_TRUE(EngineManager::peek()->context()->getDSPInfo()->isOffline());
    EXPECT_EQ(call(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 0), kEngineOk);
    EXPECT_FALSE(EngineManager::peek()->context()->getDSPInfo()->isOffline());

    EXPECT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
}

TEST(EngineOpcodeResults, StreamSettingsReachTheContextAndGraph) {
    test::EngineTestHome home;
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    int32_t rate = 0, size = 0;

    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 256), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size), kEngineOk);
    EXPECT_EQ(rate, 48000);
    EXPECT_EQ(size, 256);
    EXPECT_EQ(GraphManager::peek()->getDSPInfo(), EngineManager::peek()->context()->getDSPInfo())
        << "the graph was handed the new description";

    // Without a device the description's own rule turns an unsupported rate into 44100.
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 44000, 128), kEngineOk);
    EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size), kEngineOk);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(size, 128);

    // Block sizes no device has are refused and change nothing.
    for (int32_t bad : {0, -512, 1 << 30}) {
        EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, bad), kEngineFailed) << bad;
        EXPECT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size), kEngineOk);
        EXPECT_EQ(rate, 44100);
        EXPECT_EQ(size, 128);
    }
}

TEST(EngineOpcodeResults, SecondInitializeKeepsTheRunningContext) {
    test::EngineTestHome home;
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    Instance* context = EngineManager::peek()->context();
    GraphManager* graph = GraphManager::peek();
    EXPECT_EQ(call(VE_ENGINE_INITIALIZE), kEngineFailed);
    EXPECT_EQ(EngineManager::peek()->context(), context);
    EXPECT_EQ(GraphManager::peek(), graph);
}

TEST(EngineOpcodeResults, ShutdownBeforeInitializeIsHarmless) {
    test::EngineTestHome home;
    EXPECT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    EXPECT_EQ(EngineManager::peek(), nullptr);
    EXPECT_EQ(GraphManager::peek(), nullptr);
    // A later call builds a fresh manager that can be initialised normally.
    EXPECT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    EXPECT_NE(GraphManager::peek(), nullptr);
}

TEST(EngineOpcodeResults, ArgumentListRoundTrip) {
    test::EngineTestHome home;
    AppArgumentList given{"C:\\Program Files\\Quorvel\\Quorvel.exe", "C:\\My Songs\\sch\xC3\xB6n.brevian", "",
                          "--flag"};
    ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_SET, &given), kEngineOk);
    given[1] = "changed after the call";

    AppArgumentList back{"stale", "entries"};
    ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_GET, &back), kEngineOk);
    ASSERT_EQ(back.size(), 4u) << "the stored list replaces what p1 held";
    EXPECT_EQ(back[0], "C:\\Program Files\\Quorvel\\Quorvel.exe");
    EXPECT_EQ(back[1], "C:\\My Songs\\sch\xC3\xB6n.brevian") << "the list was copied, not referenced";
    EXPECT_EQ(back[2], "");
    EXPECT_EQ(back[3], "--flag");

    // The list lives in the manager: it survives initialise and is gone with shutdown.
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_GET, &back), kEngineOk);
    EXPECT_EQ(back.size(), 4u);
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_GET, &back), kEngineOk);
    EXPECT_TRUE(back.empty());
}

// A path handed over in another code page (CP1252 "é" as the byte 0xE9) names no file this host
// can open: recording and MIDI file load fail as for a file that cannot be opened, and nothing is
// created or read in its place, least of all a file named after a conversion marker.
TEST(EngineOpcodeResults, PathsThatAreNotUtf8CannotBeOpened) {
    namespace fs = std::filesystem;
    test::EngineTestHome home;
    test::BoxCapture boxes;
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);

    // Stand-ins for what a marker would reach in the working directory: a playable MIDI file.
    const unsigned char smf[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                                 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    std::vector<fs::path> markers;
    for (const char* name : {"VTRSConv_ERROR3", "VTRSConv_ERROR4"}) {
        markers.push_back(fs::current_path() / name);
        std::ofstream(markers.back(), std::ios::binary).write(reinterpret_cast<const char*>(smf), sizeof smf);
    }

    const std::string folder = home.folder();
    std::string take = folder + "/Jos\xe9 take.wav";
    std::string song = folder + "/Jos\xe9 song.mid";
    EXPECT_EQ(call(VE_ENGINE_RECORDING_FILE_SET, take.data(), nullptr, 0, 32), kEngineFailed);
    EXPECT_EQ(call(VE_ENGINE_MIDI_LOAD, song.data()), kEngineFailed);
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);

    for (const fs::path& marker : markers) {
        std::error_code error;
        EXPECT_EQ(fs::file_size(marker, error), sizeof smf) << marker << " was written";
        fs::remove(marker, error);
    }
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().extension(), ".log") << entry.path() << " was created";
    const std::string log = home.readLog();
    EXPECT_NE(log.find("Can not open file for writing : " + take), std::string::npos);
    EXPECT_NE(log.find("could not open midi file:" + song), std::string::npos);
    EXPECT_EQ(log.find("VE_ENGINE_MIDI_LOAD\r\nI"), std::string::npos);
}
