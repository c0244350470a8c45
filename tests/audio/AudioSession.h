// The host driven through engineOpcode in this process, with the real audio I/O library behind it:
// what the audio end-to-end tests do to a device and what they measure while it plays.
#pragma once

#include "ToneModule.h"

#include "engineapi/EngineOpcodes.h"
#include "support/BoxCapture.h"
#include "support/EngineTestHome.h"
#include "support/LogCapture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvel::test {

using vantor::test::BoxCapture;
using vantor::test::EngineTestHome;
using vantor::test::LogCapture;
using vantor::test::LogEntry;
using vantor::test::tempFilePath;

int32_t callHost(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
                 int32_t i3 = 0);

// What one play of a device showed.
struct PlayReport {
    int32_t setResult = -1;
    int32_t settingsResult = -1;
    int32_t startResult = -1;
    bool playingAfterStart = false;
    uint64_t toneBlocksAtStart = 0; // tone blocks rendered soon after the start returned
    double measuredSeconds = 0.0;
    uint64_t measuredFrames = 0; // frame counter's advance over measuredSeconds
    double framesPerSecond = 0.0;
    int32_t latencyResult = -1;
    float latencyMs = 0.0f;
    int32_t stopResult = -1;
    bool playingAfterStop = true;
    uint64_t framesAfterStop = 0; // the counter's advance in the 300 ms after the stop
    int64_t callbackAllocations = -1;
};

class AudioSession {
public:
    static constexpr int32_t kRate = 48000;
    // 21 ms blocks: real-time with room for a loaded two-core machine.
    static constexpr int32_t kBlock = 1024;

    // A private app data folder and the boxes captured; VE_ENGINE_INITIALIZE; the tone in slot 0.
    AudioSession();
    ~AudioSession(); // VE_ENGINE_SHUTDOWN
    AudioSession(const AudioSession&) = delete;
    AudioSession& operator=(const AudioSession&) = delete;

    int32_t initializeResult() const { return initResult_; }
    ToneModule* tone() { return tone_; }

    // VE_ENGINE_AUDIODEVICE_LIST in count mode and then fill mode.
    std::vector<vantor::AudioDeviceRecord> listDevices();
    // Chooses the device, asks for 48 kHz / 1024 frames, starts with the tone at `hz`, measures the
    // frame counter for `seconds`, stops. Stops after a start that succeeded even when checks fail.
    PlayReport play(int32_t deviceId, double hz, double seconds);
    uint64_t frames();

    // The log's messages (severity + message) from the line that contains `from` on (all if empty).
    std::vector<LogEntry> logEntries() const;
    // Index of the first entry at or after `start` whose message contains `text`; size() if none.
    static size_t find(const std::vector<LogEntry>& entries, const std::string& text, size_t start = 0);

    BoxCapture& boxes() { return boxes_; }

private:
    BoxCapture boxes_;
    std::unique_ptr<EngineTestHome> home_;
    int32_t initResult_ = -1;
    ToneModule* tone_ = nullptr; // owned by the graph
};

} // namespace quorvel::test
