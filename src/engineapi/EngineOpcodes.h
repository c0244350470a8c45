// The host opcode interface: opcode numbers and names, result codes, and the records exchanged
// through engineOpcode. Shared by the host's own callers and by the engine component.
//
// Threads: the host's own user interface calls from the GUI thread; an engine may call any
// opcode from any of its threads at any time, before initialisation and after shutdown too (the
// opcodes that need the host then answer as before initialisation). Most opcodes take locks, so
// an engine keeps them off its audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#define QUORVEL_HOST_EXPORT __declspec(dllexport)
#else
#define QUORVEL_HOST_EXPORT __attribute__((visibility("default")))
#endif

#if defined(QUORVEL_BUILDING_HOST)
// The one entry point into the host. Exported by name from Quorvel.exe and libquorvel-host.so; an
// engine component finds it at run time (GetProcAddress / dlsym) rather than linking to it.
extern "C" QUORVEL_HOST_EXPORT int32_t engineOpcode(int32_t opcode, void* p1, void* p2, int32_t i1,
                                                    int32_t i2, int32_t i3, float f);
#endif

namespace vantor {

using EngineOpcodeFunction = int32_t (*)(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2,
                                         int32_t i3, float f);

enum EngineOpcodeNumber : int32_t {
    VE_ENGINE_VERSION = 260,
    VE_ENGINE_INITIALIZE = 261,
    VE_ENGINE_SHUTDOWN = 262,
    VE_ENGINE_IDLE = 263,
    VE_ENGINE_OFFLINE_SET = 264,
    VE_ENGINE_AUDIODEVICE_LIST = 280,
    VE_ENGINE_AUDIODEVICE_SET = 281,
    VE_ENGINE_AUDIODEVICE_GET = 282,
    VE_ENGINE_AUDIODEVICE_SHOWPANEL = 283,
    VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST = 284,
    VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST = 285,
    VE_ENGINE_AUDIODEVICE_SETTINGS = 286,
    VE_ENGINE_AUDIODEVICE_SETTINGS_GET = 287,
    VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET = 288,
    VE_ENGINE_AUDIODEVICE_LATENCY_GET = 289,
    VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET = 290,
    VE_ENGINE_AUDIO_START = 300,
    VE_ENGINE_AUDIO_STOP = 301,
    VE_ENGINE_AUDIO_ISPLAYING = 302,
    VE_ENGINE_MIDI_PLAY = 303,
    VE_ENGINE_MIDI_STOP = 304,
    VE_ENGINE_MIDI_SEEK = 305,
    VE_ENGINE_MIDI_POSITION_GET = 306,
    VE_ENGINE_MIDI_LOAD = 307,
    VE_ENGINE_MIDI_DURATION_GET = 308, // host extension: p1 double out, seconds the loaded file plays
    VE_ENGINE_INSTRUMENT_ADD = 330,
    VE_ENGINE_INSTRUMENT_REMOVE = 331,
    VE_ENGINE_INSTRUMENT_GUI_SHOW = 332,
    VE_ENGINE_INSTRUMENT_GUI_CLOSE = 333,
    VE_ENGINE_INSTRUMENT_CHUNK_SAVE = 335,
    VE_ENGINE_INSTRUMENT_CHUNK_SAVE_END = 336,
    VE_ENGINE_INSTRUMENT_CHUNK_LOAD = 337,
    VE_ENGINE_MIDIDEVICE_LIST = 510,
    VE_ENGINE_MIDIDEVICE_GET = 511,
    VE_ENGINE_MIDIDEVICE_ENABLE = 512,
    VE_ENGINE_MIDIDEVICE_GETUSED = 513,
    VE_ENGINE_RECORDING_FILE_SET = 530,
    VE_ENGINE_RECORDING_START = 531,
    VE_ENGINE_RECORDING_STOP = 532,
    VE_ENGINE_RECORDING_ISRECORDING = 533,
    VE_ENGINE_RECORDING_REPORT_GET = 534, // host extension: p1 RecordingReport out
    VE_ENGINE_APP_ARGUMENTS_SET = 560,
    VE_ENGINE_APP_ARGUMENTS_GET = 561,
};

// Result codes of engineOpcode.
enum EngineResult : int32_t {
    kEngineOk = 0,
    kEngineFailed = 1,           // failure or missing argument
    kEngineNoResult = 3,         // opcode not handled, or handled without a result
    kEngineAudioRefused = 7,     // audio start or stop refused or failed
    kEngineMidiDeviceFailed = 9, // MIDI device cannot be initialised
};

// VE_ENGINE_INITIALIZE i1: how the host starts (flags; the window program passes 0).
enum EngineStartFlags : int32_t {
    // Offline rendering only: the audio device library is never initialised and no audio or MIDI
    // device is enumerated or opened.
    kStartWithoutDevices = 1,
    // The caller reports failures itself (a command-line program): message boxes only go to the
    // log, and an engine that cannot be loaded is answered by VE_ENGINE_INSTRUMENT_ADD (1, its
    // message copied into p1, a char buffer of i2 bytes) instead of ending the process; a loaded
    // engine is answered with 0.
    kStartCallerReports = 2,
};

// VE_ENGINE_RECORDING_FILE_SET i3: a file that cannot be created is reported by the caller (from
// VE_ENGINE_RECORDING_REPORT_GET), so the recorder shows no box of its own.
inline constexpr int32_t kRecordingFileCallerReports = 1;

// VE_ENGINE_RECORDING_REPORT_GET: the recording whose file was set last, while it runs and after.
struct RecordingReport {
    bool recording = false;
    bool failed = false;            // the file could not be created or completely written
    uint64_t frames = 0;            // frames written into all its files so far
    std::vector<std::string> files; // UTF-8, in order: the file set, then each continuation part
    std::string error;              // the system's reason of a failure
};

// The text of the opcode's information line; null for unknown opcodes and for the three that
// are called too often to log (idle, MIDI file position, recording state).
const char* engineOpcodeLogName(int32_t opcode);

// What the version opcode copies out (with its NUL).
inline constexpr const char* kEngineVersionText = "v2.116";

// API codes of the audio device record.
enum AudioApiCode : int32_t {
    kAudioApiMME = 0,
    kAudioApiDirectSound = 1,
    kAudioApiASIO = 2,
    kAudioApiWASAPI = 3,
    kAudioApiCoreAudio = 10,
};

// One entry of VE_ENGINE_AUDIODEVICE_LIST. Names are UTF-8; a name that does not fit is cut
// without its terminator, so callers zero the array first.
struct AudioDeviceRecord {
    int32_t id;
    int32_t api;
    char name[128];
    uint8_t hasControlPanel; // 1 for ASIO
    uint8_t padding[3];      // never written
    int32_t defaultSampleRate;
    int32_t outputs;
};
static_assert(sizeof(AudioDeviceRecord) == 148, "the audio device record is 148 bytes");
static_assert(offsetof(AudioDeviceRecord, id) == 0);
static_assert(offsetof(AudioDeviceRecord, api) == 4);
static_assert(offsetof(AudioDeviceRecord, name) == 8);
static_assert(offsetof(AudioDeviceRecord, hasControlPanel) == 136);
static_assert(offsetof(AudioDeviceRecord, defaultSampleRate) == 140);
static_assert(offsetof(AudioDeviceRecord, outputs) == 144);

// One entry of VE_ENGINE_MIDIDEVICE_LIST.
struct MidiDeviceRecord {
    int32_t id;
    char name[256];
};
static_assert(sizeof(MidiDeviceRecord) == 260, "the MIDI device record is 260 bytes");
static_assert(offsetof(MidiDeviceRecord, id) == 0);
static_assert(offsetof(MidiDeviceRecord, name) == 4);

// The list that VE_ENGINE_APP_ARGUMENTS_SET / _GET point to: UTF-8 arguments, program path first.
using AppArgumentList = std::vector<std::string>;

// MIDI device kinds of VE_ENGINE_MIDIDEVICE_LIST and _GETUSED.
enum MidiDeviceKind : int32_t { kMidiInputs = 0, kMidiOutputs = 1, kMidiAll = 2 };

// One entry of VE_ENGINE_MIDIDEVICE_GETUSED.
struct UsedMidiDevice {
    int32_t id;
    int32_t value; // the remember flag given when the device was enabled
};
static_assert(sizeof(UsedMidiDevice) == 8);

} // namespace vantor
