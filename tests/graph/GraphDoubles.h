// Test doubles for the graph: an instrument, MIDI input/output modules and a file event source.
// None of them allocates while the graph processes (fixed arrays), so the steady-state test can
// use them too.
#pragma once

#include "graph/GraphManager.h"
#include "graph/MidiBlockSource.h"
#include "graph/Module.h"

#include <array>
#include <atomic>
#include <string>
#include <vector>

namespace quorvel::test {

using vantor::MidiEvent;
using vantor::MidiEventArray;

// Collects "who did what" across modules; only touched from the test's own thread.
struct CallLog {
    std::vector<std::string> calls;
    void add(const std::string& s) { calls.push_back(s); }
};

inline MidiEvent noteOn(uint8_t channel, uint8_t note, uint8_t velocity, int32_t offset, float tag = 0.0f) {
    MidiEvent e;
    e.status = static_cast<uint8_t>(0x90 | channel);
    e.data1 = note;
    e.data2 = velocity;
    e.frameOffset = offset;
    e.noteTag = tag;
    return e;
}

inline MidiEvent noteOff(uint8_t channel, uint8_t note, int32_t offset, float tag = 0.0f) {
    MidiEvent e;
    e.status = static_cast<uint8_t>(0x80 | channel);
    e.data1 = note;
    e.data2 = 64;
    e.frameOffset = offset;
    e.noteTag = tag;
    return e;
}

// Renders a constant into both channels and remembers the events and frame counts it got.
class FakeInstrument : public vantor::Module {
public:
    explicit FakeInstrument(std::string name = "inst", CallLog* log = nullptr, bool* destroyed = nullptr)
        : name_(std::move(name)), log_(log), destroyed_(destroyed) {}
    ~FakeInstrument() override {
        if (destroyed_) *destroyed_ = true;
        note("dtor");
    }

    void start() override { note("start"); }
    void stop() override { note("stop"); }
    void setDSPInfo(vantor::DSPInfo* info) override {
        Module::setDSPInfo(info);
        note("setDSPInfo");
    }
    bool showUI(void*) override { return true; }
    bool closeUI() override { return true; }
    bool saveChunk(void** data, int32_t* size) override {
        *data = chunk_;
        *size = sizeof(chunk_);
        return true;
    }
    bool saveChunkEnd() override { return true; }
    bool loadChunk(const void*, int32_t size) override { return size == sizeof(chunk_); }
    void setTimeInfo(double transport, double samplePosition) override {
        lastTransport = transport;
        lastSamplePosition = samplePosition;
    }
    void processBlock(MidiEventArray& events, float** inputs, float** outputs, uint32_t frames,
                      bool flag) override {
        blocks.fetch_add(1, std::memory_order_relaxed);
        lastFrames = frames;
        lastInputsWereNull = inputs == nullptr;
        lastFlag = flag;
        if (frameCalls < frameLog.size()) frameLog[frameCalls++] = frames;
        seenCount = 0;
        for (const MidiEvent& e : events) {
            if (seenCount < seen.size()) seen[seenCount++] = e;
        }
        totalEvents += events.size();
        bool cleared = true;
        for (uint32_t i = 0; i < frames; ++i) {
            cleared = cleared && outputs[0][i] == 0.0f && outputs[1][i] == 0.0f;
            outputs[0][i] = value;
            outputs[1][i] = -value;
        }
        outputsWereCleared = outputsWereCleared && cleared;
    }

    float value = 1.0f;
    std::atomic<uint64_t> blocks{0};
    uint32_t lastFrames = 0;
    bool lastInputsWereNull = false;
    bool lastFlag = true;
    bool outputsWereCleared = true;
    double lastTransport = -1.0;
    double lastSamplePosition = -1.0;
    std::array<MidiEvent, 256> seen{};
    size_t seenCount = 0;
    uint64_t totalEvents = 0;
    std::array<uint32_t, 16> frameLog{};
    size_t frameCalls = 0;

private:
    void note(const char* what) {
        if (log_) log_->add(name_ + ":" + what);
    }
    std::string name_;
    CallLog* log_;
    bool* destroyed_;
    char chunk_[4] = {1, 2, 3, 4};
};

// A MIDI device module. As an input it hands out the events queued for the next block.
class FakeMidiDevice : public vantor::Module, public vantor::MidiBlockSource {
public:
    FakeMidiDevice(bool input, std::string name = "midi", CallLog* log = nullptr, bool* destroyed = nullptr)
        : input_(input), name_(std::move(name)), log_(log), destroyed_(destroyed) {}
    ~FakeMidiDevice() override {
        if (destroyed_) *destroyed_ = true;
        note("dtor");
    }
    bool isMidiInput() const override { return input_; }
    void getBlockEvents(MidiEventArray& events) override {
        drains.fetch_add(1, std::memory_order_relaxed);
        for (size_t i = 0; i < pendingCount; ++i)
            events.push_back(pending[i]);
        if (!repeat) pendingCount = 0;
    }
    size_t maxBlockEvents() const override { return pending.size(); }
    void start() override { note("start"); }
    void stop() override { note("stop"); }
    void setDSPInfo(vantor::DSPInfo* info) override {
        Module::setDSPInfo(info);
        note("setDSPInfo");
    }
    void queue(const MidiEvent& e) {
        if (pendingCount < pending.size()) pending[pendingCount++] = e;
    }

    std::array<MidiEvent, 64> pending{};
    size_t pendingCount = 0;
    bool repeat = false; // deliver the same events every block
    std::atomic<uint64_t> drains{0};

private:
    void note(const char* what) {
        if (log_) log_->add(name_ + ":" + what);
    }
    bool input_;
    std::string name_;
    CallLog* log_;
    bool* destroyed_;
};

// A plain module standing for the audio device.
class FakeModule : public vantor::Module {
public:
    FakeModule(std::string name, CallLog* log) : name_(std::move(name)), log_(log) {}
    ~FakeModule() override { log_->add(name_ + ":dtor"); }
    void setDSPInfo(vantor::DSPInfo* info) override {
        Module::setDSPInfo(info);
        log_->add(name_ + ":setDSPInfo");
    }

private:
    std::string name_;
    CallLog* log_;
};

// Stands in for the MIDI file player's block interface.
class FakeFileSource : public vantor::FileEventSource {
public:
    void advanceAndGetEvents(MidiEventArray& events) override {
        advances.fetch_add(1, std::memory_order_relaxed);
        for (size_t i = 0; i < pendingCount; ++i)
            events.push_back(pending[i]);
        if (!repeat) pendingCount = 0;
    }
    double getPosition() override { return position; }
    void queue(const MidiEvent& e) {
        if (pendingCount < pending.size()) pending[pendingCount++] = e;
    }

    std::array<MidiEvent, 64> pending{};
    size_t pendingCount = 0;
    bool repeat = false;
    double position = 0.0;
    std::atomic<uint64_t> advances{0};
};

// A stereo output buffer a test hands to process().
struct StereoOut {
    explicit StereoOut(uint32_t frames, float fill = 0.0f) : left(frames, fill), right(frames, fill) {
        ptrs[0] = left.data();
        ptrs[1] = right.data();
    }
    std::vector<float> left, right;
    float* ptrs[2];
};

} // namespace quorvel::test
