// Recording costs: how fast WAV data reaches the disk (the streamer's side), and what recording
// adds to each audio block (the audio thread's side).
#include "graph/DSPInfo.h"
#include "recording/AudioFile.h"
#include "recording/IORequest.h"
#include "recording/StereoFileOutputModule.h"
#include "recording/Streamer.h"
#include "recording/WaveFileWriter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

std::string benchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// One streamer request (2 s of 44.1 kHz stereo) per iteration, appended to a WAV file.
void BM_WavWriteTwoSecondRequests(benchmark::State& state) {
    const std::string path = benchPath("quorvel-bench-write.wav");
    std::vector<float> request(176400);
    for (size_t i = 0; i < request.size(); ++i)
        request[i] = float(std::sin(double(i) * 0.01));
    auto writer = std::make_unique<WaveFileWriter>(path.c_str());
    writer->setFormat(44100, 2, 32, true);
    for (auto _ : state) {
        if (writer->dataBytes() > (int64_t(1) << 30)) { // keep the file below 1 GiB
            state.PauseTiming();
            writer = std::make_unique<WaveFileWriter>(path.c_str());
            writer->setFormat(44100, 2, 32, true);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(writer->writeBytes(request.data(), request.size() * 4));
    }
    writer.reset();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(request.size() * 4));
    std::filesystem::remove(path);
}
BENCHMARK(BM_WavWriteTwoSecondRequests)->Unit(benchmark::kMillisecond);

// The recorder's processAudio in real-time mode: interleave, clamp, copy into the current request
// and every 2 s hand it to the running streamer.
void BM_RecorderProcessAudioPerBlock(benchmark::State& state) {
    const uint32_t frames = uint32_t(state.range(0));
    const std::string path = benchPath("quorvel-bench-rec.wav");
    vantor::DSPInfo info(44100, frames);
    auto* module = new vantor::StereoFileOutputModule;
    module->init(nullptr, &info);
    module->setDSPInfo(&info);
    std::vector<float> l(frames), r(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        l[i] = float(std::sin(i * 0.05));
        r[i] = float(std::cos(i * 0.05)) * 1.2f;
    }
    float* in[2] = {l.data(), r.data()};
    module->setRecordingFile(path, 0, 32);
    module->startRecording();
    for (auto _ : state)
        module->processAudio(in, nullptr, frames, false);
    module->stopRecording();
    delete module;
    vantor::Streamer::shutdown();
    state.SetItemsProcessed(int64_t(state.iterations()) * frames);
    std::filesystem::remove(path);
}
BENCHMARK(BM_RecorderProcessAudioPerBlock)->Arg(64)->Arg(512)->Arg(2048)->Unit(benchmark::kMicrosecond);

// processAudio while not recording: what the graph pays every block for having a recorder.
void BM_RecorderIdlePerBlock(benchmark::State& state) {
    vantor::DSPInfo info(44100, 512);
    vantor::StereoFileOutputModule module;
    module.init(nullptr, &info);
    std::vector<float> l(512), r(512);
    float* in[2] = {l.data(), r.data()};
    for (auto _ : state)
        module.processAudio(in, nullptr, 512, false);
}
BENCHMARK(BM_RecorderIdlePerBlock);

} // namespace
