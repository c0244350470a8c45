// Offline render speed as a multiple of real time ("xRT", audio time over the rendering thread's
// CPU time), for a dense piano file and a sparse
// one, with the reference engine and with a silent instrument, through the host's whole block
// path (MIDI file player, graph, gain stages, recorder writing the WAV file) exactly as the offline
// render thread runs it. "EngineDirect" renders the same events, block by block, straight through
// the engine's entry point: the difference is the host's own share ("host%" on the rows through
// the host, the median over iterations that each also render the file through the engine alone;
// "own%": the host with a silent instrument against the engine alone, in the same iterations).
// Modes: 0 through the host, 1 the engine alone, 2 the host with a silent instrument.
#include "bridge/HostComposition.h"
#include "graph/DSPInfo.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "midifile/MIDIFilePlayer.h"
#include "recording/StereoFileOutputModule.h"

#include "BrevianComponent.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" int32_t brevianOpcode(void* handle, int32_t operation, void* p1, void* p2, void* p3, int32_t i1,
                                 int32_t i2, int32_t i3, float f);

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kBlock = 512;

using Bytes = std::vector<uint8_t>;

// Thread CPU time: the machine is shared, so wall time would mostly measure the neighbours.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

void varLen(Bytes& b, uint32_t v) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n > 1)
        b.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    b.push_back(groups[0]);
}

// 60 s at 120 bpm, 480 ticks a beat. Dense: four-note chords on every sixteenth with a moving
// bass (about 1,900 notes); sparse: one note every two seconds.
Bytes song(bool dense) {
    Bytes t;
    varLen(t, 0);
    t.insert(t.end(), {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    const uint32_t step = dense ? 120 : 1920;
    const int steps = static_cast<int>(60 * 2 * 480 / step);
    for (int s = 0; s < steps; ++s) {
        const int chord = dense ? 4 : 1;
        for (int k = 0; k < chord; ++k) {
            varLen(t, 0);
            t.insert(t.end(), {0x90, static_cast<uint8_t>(48 + (s * 5 + k * 4) % 36), 100});
        }
        for (int k = 0; k < chord; ++k) {
            varLen(t, k == 0 ? step : 0);
            t.insert(t.end(), {0x80, static_cast<uint8_t>(48 + (s * 5 + k * 4) % 36), 64});
        }
    }
    varLen(t, 0);
    t.insert(t.end(), {0xFF, 0x2F, 0x00});
    Bytes f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const uint32_t n = static_cast<uint32_t>(t.size());
    f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    f.insert(f.end(), t.begin(), t.end());
    return f;
}

// One engine of the reference component, created straight through its entry point.
class Engine {
public:
    Engine() : block_(std::make_unique<BrevianEventBlock>()) {
        BrevianHostDescriptor d{};
        d.version = BREVIAN_HOST_DESCRIPTOR_VERSION;
        d.hostTag = BREVIAN_HOST_TAG;
        d.dataDirectory = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(QUORVEL_ENGINE_DATA_DIR));
        brevianOpcode(nullptr, BREVIAN_OP_CREATE, &d, &engine_, nullptr, 0, 0, 0, 0.0f);
        if (!engine_) return;
        brevianOpcode(engine_, BREVIAN_OP_SET_STREAM, nullptr, nullptr, nullptr, kRate, kBlock, 0, 0.0f);
        brevianOpcode(engine_, BREVIAN_OP_START, nullptr, nullptr, nullptr, 0, 0, 0, 0.0f);
    }
    ~Engine() {
        if (engine_) brevianOpcode(engine_, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.0f);
    }
    bool ready() const { return engine_ != nullptr; }
    void process(const vantor::MidiEventArray& events, float** out, uint32_t frames) {
        const size_t n = std::min<size_t>(events.size(), BREVIAN_MAX_BLOCK_EVENTS);
        block_->count = n;
        for (size_t i = 0; i < n; ++i) {
            const vantor::MidiEvent& e = events[i];
            block_->events[i] =
                BrevianMidiEvent{e.status, e.data1, e.data2, 0, e.frameOffset, e.timeStamp, e.noteTag};
        }
        brevianOpcode(engine_, BREVIAN_OP_PROCESS, block_.get(), out, nullptr, static_cast<int32_t>(frames),
                      0, 0, 0.0f);
    }

private:
    void* engine_ = nullptr;
    std::unique_ptr<BrevianEventBlock> block_;
};

// The instrument slot: the reference engine, or silence; either can keep each block's events.
class BenchInstrument : public vantor::Module {
public:
    BenchInstrument(Engine* engine, std::vector<vantor::MidiEventArray>* keep)
        : engine_(engine), keep_(keep) {}
    void processBlock(vantor::MidiEventArray& events, float**, float** outputs, uint32_t frames,
                      bool) override {
        if (keep_) keep_->push_back(events);
        if (engine_) engine_->process(events, outputs, frames);
    }

private:
    Engine* engine_;
    std::vector<vantor::MidiEventArray>* keep_;
};

struct HostRun {
    double seconds = 0; // CPU time of the rendering thread
    uint64_t blocks = 0;
};

// The offline thread's loop on this thread: blocks back to back until the player's end and the
// recorder's stop on the silence after it.
HostRun renderThroughHost(const Bytes& file, Engine* engine, std::vector<vantor::MidiEventArray>* keep) {
    vantor::Instance instance;
    instance.init();
    instance.resetStaticDSP(kRate, kBlock);
    instance.setOffline(true);
    vantor::GraphManager graph;
    auto* player = vantor::makeMidiFilePlayer();
    auto* recorder = vantor::makeRecorder();
    graph.init(&instance, instance.getDSPInfo(), player, recorder);
    graph.setDSPInfo(instance.getDSPInfo()); // as the offline switch hands it out
    graph.addInstrument(0, new BenchInstrument(engine, keep));
    player->loadFromMemory(file.data(), file.size());
    const std::string wav = (std::filesystem::temp_directory_path() / "quorvel_offline_bench.wav").string();
    recorder->setRecordingFile(wav, 0, 32);
    recorder->startRecording();
    player->startPlayback();
    std::vector<float> left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    HostRun run;
    const double start = cpuSeconds();
    while (recorder->isRecording() && run.blocks < 100000) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        graph.process(out, kBlock);
        ++run.blocks;
    }
    run.seconds = cpuSeconds() - start;
    recorder->stopRecording();
    std::filesystem::remove(wav);
    return run;
}

// The events of every block of a file, as the host gives them to the instrument.
const std::vector<vantor::MidiEventArray>& blocksOf(bool dense) {
    static std::vector<vantor::MidiEventArray> cache[2];
    std::vector<vantor::MidiEventArray>& blocks = cache[dense ? 1 : 0];
    if (blocks.empty()) renderThroughHost(song(dense), nullptr, &blocks);
    return blocks;
}

// CPU seconds of rendering those events straight through a fresh engine.
double renderDirect(const std::vector<vantor::MidiEventArray>& blocks, Engine& engine) {
    std::vector<float> left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    const double start = cpuSeconds();
    for (const auto& events : blocks) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        engine.process(events, out, kBlock);
    }
    return cpuSeconds() - start;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void OfflineRender(benchmark::State& state) {
    const bool dense = state.range(0) != 0;
    const int mode =
        static_cast<int>(state.range(1)); // 0 engine through host, 1 engine direct, 2 silent host
    const Bytes file = song(dense);
    const auto& blocks = blocksOf(dense);
    double wall = 0, audio = 0;
    // Host rows: each iteration also renders the same events straight through the engine, in
    // turns, so the host's share compares runs made under the same load.
    std::vector<double> shares, ownShares;
    for (auto _ : state) {
        Engine engine;
        if (mode != 2 && !engine.ready()) {
            state.SkipWithError("the reference engine could not be created");
            return;
        }
        if (mode == 1) {
            wall += renderDirect(blocks, engine);
            audio += static_cast<double>(blocks.size()) * kBlock / kRate;
            continue;
        }
        double direct = 0;
        const bool directFirst = shares.size() % 2 == 0;
        if (mode == 0 && directFirst) {
            Engine alone;
            direct = renderDirect(blocks, alone);
        }
        const HostRun run = renderThroughHost(file, mode == 0 ? &engine : nullptr, nullptr);
        if (mode == 0 && !directFirst) {
            Engine alone;
            direct = renderDirect(blocks, alone);
        }
        wall += run.seconds;
        const double seconds = static_cast<double>(run.blocks) * kBlock / kRate;
        audio += seconds;
        if (mode == 0 && direct > 0) {
            const double directPerSecond = direct / (static_cast<double>(blocks.size()) * kBlock / kRate);
            shares.push_back(100.0 * (run.seconds / seconds - directPerSecond) / directPerSecond);
            // The host's own work, measured alone (a silent instrument) beside the same engine run:
            // steadier than the difference of two long runs on a busy machine.
            const HostRun silent = renderThroughHost(file, nullptr, nullptr);
            const double silentPerSecond =
                silent.seconds / (static_cast<double>(silent.blocks) * kBlock / kRate);
            ownShares.push_back(100.0 * silentPerSecond / directPerSecond);
        }
    }
    state.counters["xRT"] = wall > 0 ? audio / wall : 0;
    state.counters["audio_s"] = audio / static_cast<double>(state.iterations());
    if (!shares.empty()) state.counters["host%"] = median(shares);
    if (!ownShares.empty()) state.counters["own%"] = median(ownShares);
}

} // namespace

// Per file: the engine alone, through the host (with its share against the engine alone, the
// median of alternating runs) and the host with a silent instrument.
BENCHMARK(OfflineRender)
    ->ArgNames({"dense", "mode"})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({1, 2})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({0, 2})
    ->MinTime(3.0) // several alternating pairs for the host's share on the sparse file
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
