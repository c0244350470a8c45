// MIDI file playback costs: parsing and loading a large multi-track file (MB/s), and the
// player's per-block advance on a dense file.
#include "../tests/midifile/SmfBuilder.h"
#include "graph/DSPInfo.h"
#include "midifile/MIDIFile.h"
#include "midifile/MIDIFilePlayer.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// About targetBytes of 16 tracks: notes with running status, controllers, pitch bends, a tempo
// change now and then, text and a sysex per track.
smf::Bytes largeFile(size_t targetBytes) {
    std::vector<smf::Track> tracks(16);
    size_t size = 0;
    for (int t = 0; t < 16; ++t)
        tracks[t].tempo(0, 500000).text(0, 3, "Track " + std::to_string(t)).sysex(0, 64);
    for (int step = 0; size < targetBytes; ++step) {
        for (int t = 0; t < 16; ++t) {
            smf::Track& tr = tracks[t];
            const int ch = t;
            const int key = 36 + (step * 7 + t) % 60;
            tr.noteOn(12, ch, key, 64 + step % 63)
                .raw(0, {uint8_t(key + 4), 90})
                .raw(0, {uint8_t(key + 7), 90});
            tr.raw(6, {uint8_t(0xE0 | ch), uint8_t(step & 0x7F), 64})
                .raw(6, {uint8_t(0xB0 | ch), 1, uint8_t(step & 0x7F)});
            tr.noteOn(12, ch, key, 0).raw(0, {uint8_t(key + 4), 0}).raw(0, {uint8_t(key + 7), 0});
            if (t == 0 && step % 256 == 0) tr.tempo(0, 400000 + (step % 7) * 20000);
        }
        if (step % 64 == 0) {
            size = 0;
            for (const auto& tr : tracks)
                size += tr.body().size();
        }
    }
    for (auto& tr : tracks)
        tr.end(96);
    return smf::file(1, 480, tracks);
}

const smf::TempFile& largeTemp() {
    static const smf::TempFile file(largeFile(10u << 20), "bench_large.mid");
    return file;
}

void BM_MidiFileParseAndLoad(benchmark::State& state) {
    const smf::TempFile& file = largeTemp();
    size_t bytes = 0;
    size_t events = 0;
    for (auto _ : state) {
        vantor::MIDIFile f(file.path());
        f.load();
        events = f.eventCount();
        bytes += static_cast<size_t>(std::filesystem::file_size(file.path()));
        benchmark::DoNotOptimize(events);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["events"] = static_cast<double>(events);
}
BENCHMARK(BM_MidiFileParseAndLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MidiFileLoadAndInit(benchmark::State& state) {
    const smf::TempFile& file = largeTemp();
    size_t bytes = 0;
    for (auto _ : state) {
        vantor::MIDIFile f(file.path());
        f.load();
        f.init();
        bytes += static_cast<size_t>(std::filesystem::file_size(file.path()));
        benchmark::DoNotOptimize(f.bars().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_MidiFileLoadAndInit)->Unit(benchmark::kMillisecond)->Iterations(3);

// 512-frame blocks at 44.1 kHz through a dense file (8 events every tick at 96 ticks per beat).
void BM_MidiFilePlayerAdvance(benchmark::State& state) {
    smf::Track t;
    t.tempo(0, 500000);
    for (int step = 0; step < 20000; ++step)
        for (int ch = 0; ch < 8; ++ch)
            t.noteOn(ch == 0 ? 1 : 0, ch, 40 + (step + ch) % 50, step % 2 ? 0 : 100);
    static const smf::TempFile file(smf::file(1, 96, {t.end()}), "bench_dense.mid");
    vantor::DSPInfo info(44100, 512);
    vantor::MIDIFilePlayer player;
    player.init(nullptr, &info);
    player.load(file.path());
    player.startPlayback();
    vantor::MidiEventArray events;
    events.reserve(1 << 14);
    size_t produced = 0;
    for (auto _ : state) {
        player.advance();
        player.getBlockEvents(events);
        produced += events.size();
        events.clear();
        if (player.getPosition() >= 1.0) player.seek(0.0f);
    }
    state.counters["events/block"] = static_cast<double>(produced) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MidiFilePlayerAdvance)->Unit(benchmark::kNanosecond);

} // namespace
