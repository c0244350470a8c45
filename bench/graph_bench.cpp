// The graph's own cost per block: without an instrument, and with one that only writes a constant,
// at small, common and large block sizes. The "budget%" counter is the share of the block's
// real-time duration at 48 kHz that one process call takes (CPU time), in percent.
#include "graph/DSPInfo.h"
#include "bridge/HostComposition.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <vector>

namespace {

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

class ConstantInstrument : public vantor::Module {
public:
    void processBlock(vantor::MidiEventArray&, float**, float** outputs, uint32_t frames, bool) override {
        for (uint32_t i = 0; i < frames; ++i) {
            outputs[0][i] = 0.25f;
            outputs[1][i] = -0.25f;
        }
    }
};

void processBlock(benchmark::State& state, bool withInstrument) {
    const auto frames = static_cast<uint32_t>(state.range(0));
    vantor::Instance instance;
    instance.init();
    instance.resetStaticDSP(48000, frames);
    vantor::GraphManager graph;
    graph.init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    if (withInstrument) graph.addInstrument(0, new ConstantInstrument());
    std::vector<float> left(frames), right(frames);
    float* outputs[2] = {left.data(), right.data()};
    for (int i = 0; i < 16; ++i)
        graph.process(outputs, frames); // settle the gain ramps

    const double cpuStart = threadCpuSeconds();
    for (auto _ : state) {
        graph.process(outputs, frames);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    const double cpuPerBlock = (threadCpuSeconds() - cpuStart) / static_cast<double>(state.iterations());
    const double blockSeconds = frames / 48000.0;
    state.counters["budget%"] = 100.0 * cpuPerBlock / blockSeconds;
    state.counters["frames"] = frames;
}

void BM_GraphProcessEmpty(benchmark::State& state) {
    processBlock(state, false);
}
void BM_GraphProcessTrivialInstrument(benchmark::State& state) {
    processBlock(state, true);
}

} // namespace

BENCHMARK(BM_GraphProcessEmpty)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_GraphProcessTrivialInstrument)->Arg(64)->Arg(512)->Arg(4096);
