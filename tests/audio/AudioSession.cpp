#include "AudioSession.h"

#include "bridge/EngineManager.h"
#include "devices/DeviceManager.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace quorvel::test {

using namespace vantor;
using Clock = std::chrono::steady_clock;

int32_t callHost(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3) {
    return engineOpcode(opcode, p1, p2, i1, i2, i3, 0.0f);
}

namespace {
void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}
} // namespace

AudioSession::AudioSession() : home_(std::make_unique<EngineTestHome>()) {
    initResult_ = callHost(VE_ENGINE_INITIALIZE);
    EngineManager* manager = EngineManager::peek();
    GraphManager* graph = GraphManager::peek();
    if (initResult_ != kEngineOk || !manager || !manager->context() || !graph) return;
    Instance* context = manager->context();
    auto* tone = new ToneModule();
    tone->init(context, context->getDSPInfo());
    if (graph->addInstrument(0, tone))
        tone_ = tone;
    else
        delete tone;
}

AudioSession::~AudioSession() {
    EngineTestHome::shutdownIfRunning(); // closes the log
    // The script around the Wine cases keeps each case's log with its artifacts.
    if (const char* dir = std::getenv("QUORVEL_AUDIO_LOG_DIR")) {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = info ? info->name() : "session";
        std::ofstream(std::string(dir) + "/" + name + ".log", std::ios::binary) << home_->readLog();
    }
    home_.reset(); // removes the folder
}

std::vector<AudioDeviceRecord> AudioSession::listDevices() {
    int32_t count = -1;
    if (callHost(VE_ENGINE_AUDIODEVICE_LIST, nullptr, &count) != kEngineOk || count <= 0) return {};
    std::vector<AudioDeviceRecord> records(static_cast<size_t>(count));
    for (auto& record : records)
        record = AudioDeviceRecord{};
    int32_t written = -1;
    if (callHost(VE_ENGINE_AUDIODEVICE_LIST, records.data(), &written, count) != kEngineOk) return {};
    records.resize(static_cast<size_t>(written < 0 ? 0 : written));
    return records;
}

uint64_t AudioSession::frames() {
    EngineManager* manager = EngineManager::peek();
    DeviceManager* devices = DeviceManager::peek();
    return manager && devices ? devices->framesProcessed(manager->context()) : 0;
}

PlayReport AudioSession::play(int32_t deviceId, double hz, double seconds) {
    PlayReport report;
    if (tone_) {
        tone_->setFrequency(hz);
        tone_->resetWatch();
    }
    report.setResult = callHost(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, deviceId);
    report.settingsResult = callHost(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, kRate, kBlock);
    const uint64_t blocksBefore = tone_ ? tone_->blocks() : 0;
    report.startResult = callHost(VE_ENGINE_AUDIO_START);
    if (report.startResult != kEngineOk) {
        bool playing = true;
        callHost(VE_ENGINE_AUDIO_ISPLAYING, &playing);
        report.playingAfterStart = playing;
        report.playingAfterStop = playing;
        return report;
    }
    bool playing = false;
    callHost(VE_ENGINE_AUDIO_ISPLAYING, &playing);
    report.playingAfterStart = playing;
    // The start returned after the first callback; the graph runs right behind it.
    sleepMs(200);
    report.toneBlocksAtStart = tone_ ? tone_->blocks() - blocksBefore : 0;

    // Let the stream settle (buffers filling), then measure the counter against the wall clock.
    sleepMs(300);
    const uint64_t f0 = frames();
    const Clock::time_point t0 = Clock::now();
    while (secondsSince(t0) < seconds)
        sleepMs(20);
    const uint64_t f1 = frames();
    report.measuredSeconds = secondsSince(t0);
    report.measuredFrames = f1 - f0;
    report.framesPerSecond = static_cast<double>(report.measuredFrames) / report.measuredSeconds;
    report.latencyResult = callHost(VE_ENGINE_AUDIODEVICE_LATENCY_GET, &report.latencyMs);
    if (tone_) report.callbackAllocations = tone_->watchedAllocations();

    report.stopResult = callHost(VE_ENGINE_AUDIO_STOP);
    playing = true;
    callHost(VE_ENGINE_AUDIO_ISPLAYING, &playing);
    report.playingAfterStop = playing;
    const uint64_t s0 = frames();
    sleepMs(300);
    report.framesAfterStop = frames() - s0;
    return report;
}

std::vector<LogEntry> AudioSession::logEntries() const {
    std::vector<LogEntry> entries;
    std::istringstream lines(home_ ? home_->readLog() : std::string());
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        LogEntry entry;
        if (LogCapture::parse(line, entry)) entries.push_back(entry);
    }
    return entries;
}

size_t AudioSession::find(const std::vector<LogEntry>& entries, const std::string& text, size_t start) {
    for (size_t i = start; i < entries.size(); ++i)
        if (entries[i].message.find(text) != std::string::npos) return i;
    return entries.size();
}

} // namespace quorvel::test
