#include "recording/StereoFileOutputModule.h"

#include "app/UserMessage.h"
#include "graph/DSPInfo.h"
#include "graph/FloatVector.h"
#include "log/Log.h"
#include "recording/AudioFile.h"
#include "recording/RecordingErrors.h"
#include "recording/Streamer.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace vantor {

namespace {

// Recorder states. Only the opcode thread leaves Idle and Ready; Recording -> Stopping is taken by
// whichever thread stops first (the opcode thread, or the render thread on silence), and that
// thread alone closes the file.
enum RecorderState : int { Idle = 0, Ready = 1, Recording = 2, Stopping = 3 };

struct InterleaveBuffer {
    uint32_t frames = 0;
    float* data = nullptr;
};

InterleaveBuffer* makeBuffer(uint32_t frames) {
    auto* b = new InterleaveBuffer;
    b->frames = frames ? frames : 1;
    b->data = static_cast<float*>(::operator new[](sizeof(float) * 2 * b->frames, std::align_val_t(16)));
    return b;
}

void freeBuffer(InterleaveBuffer* b) {
    if (!b) return;
    ::operator delete[](b->data, std::align_val_t(16));
    delete b;
}

float clampSample(float x) {
    float y = x > 1.0f ? 1.0f : x;
    y = y < -1.0f ? -1.0f : y;
    return x == x ? y : 0.0f; // NaN would poison every reader of the file
}

// out = left[0], right[0], left[1], ... each clamped to [-1, 1] (NaN to 0), four frames at a time.
void interleaveClamped(const float* left, const float* right, float* out, uint32_t frames) {
    using namespace fvec;
    const Float4 one = splat(1.0f), minusOne = splat(-1.0f), zero = splat(0.0f);
    const auto clamp = [&](Float4 x) { return select(x == x, max(minusOne, min(one, x)), zero); };
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        const Float4 l = clamp(load(left + i));
        const Float4 r = clamp(load(right + i));
        store(out + 2 * i, __builtin_shufflevector(l, r, 0, 4, 1, 5));
        store(out + 2 * i + 4, __builtin_shufflevector(l, r, 2, 6, 3, 7));
    }
    for (; i < frames; ++i) {
        out[2 * i] = clampSample(left[i]);
        out[2 * i + 1] = clampSample(right[i]);
    }
}

int32_t blocksPerSecondFor(const DSPInfo* info) {
    if (!info || info->blockSize == 0) return 0;
    return static_cast<int32_t>(std::trunc(info->sampleRate / static_cast<double>(info->blockSize)));
}

} // namespace

struct StereoFileOutputModule::State {
    std::atomic<int> state{Idle};
    std::atomic<StreamedAudioFileWrite*> file{nullptr};
    std::atomic<InterleaveBuffer*> buffer{nullptr};
    std::atomic<DSPInfo*> info{nullptr};
    // True while the audio (or render) thread is inside processAudio: a stopping thread waits for
    // it to leave before it touches the file, so the real-time thread itself never waits.
    std::atomic<bool> inUse{false};
    std::atomic<int32_t> quietBlocks{0};
    std::atomic<bool> stopOnSilence{false};
    std::atomic<int32_t> blocksPerSecond{0};
    double silenceThreshold = 0.1;
    // What became of the file set last: read instead of the file, which the render thread's
    // silence stop may delete at any moment. Opcode threads only (an engine may poll from its own
    // threads while the host sets a file), under failureLock, never on the audio thread.
    std::mutex failureLock;
    std::shared_ptr<RecordingOutcome> outcome;
    // Whether the file was last told to write directly (offline) or through the streamer.
    std::atomic<bool> fileOffline{false};
};

StereoFileOutputModule::StereoFileOutputModule() : Module(2, 0), state_(new State) {}

StereoFileOutputModule::~StereoFileOutputModule() {
    State& s = *state_;
    // A file still set or recording is finished and closed, never left with a placeholder header.
    int expected = Recording;
    if (!s.state.compare_exchange_strong(expected, Stopping)) {
        expected = Ready;
        s.state.compare_exchange_strong(expected, Stopping);
    }
    while (s.inUse.load())
        std::this_thread::yield();
    if (StreamedAudioFileWrite* file = s.file.exchange(nullptr)) {
        Streamer* streamer = Streamer::peek();
        if (streamer && streamer->isRunning())
            streamer->closeFile(file, true);
        else
            delete file; // writes what it still holds and completes the header
    }
    freeBuffer(s.buffer.exchange(nullptr));
    delete state_;
}

void StereoFileOutputModule::initialize(Instance*, DSPInfo* info) {
    // Blocks per second wait for setDSPInfo: until then the silence rule stays out of play.
    state_->info.store(info, std::memory_order_release);
    if (info) replaceBuffer(info->blockSize);
}

void StereoFileOutputModule::setDSPInfo(DSPInfo* info) {
    info_ = info;
    state_->info.store(info, std::memory_order_release);
    if (info && state_->buffer.load(std::memory_order_acquire)) replaceBuffer(info->blockSize);
    state_->blocksPerSecond.store(blocksPerSecondFor(info), std::memory_order_relaxed);
    if (info) adaptFileTo(info);
}

void StereoFileOutputModule::adaptFileTo(const DSPInfo* info) {
    State& s = *state_;
    // Own the file for the while: a running recording is held in Stopping, so no other thread
    // closes it meanwhile and no block uses it.
    int held = s.state.load();
    if (held == Recording) {
        int expected = Recording;
        if (!s.state.compare_exchange_strong(expected, Stopping)) return;
        while (s.inUse.load())
            std::this_thread::yield();
    } else if (held != Ready) {
        return;
    }
    StreamedAudioFileWrite* file = s.file.load(std::memory_order_acquire);
    const bool offline = info->isOffline();
    const int rate = static_cast<int>(info->sampleRateInt);
    if (file && (rate != file->sampleRate() || offline != s.fileOffline)) {
        // Everything handed to the streamer goes to disk first: the file then has one writer,
        // this thread, and the blocks keep their order whoever writes the next ones.
        Streamer* streamer = Streamer::peek();
        if (streamer && streamer->isRunning()) streamer->drainFile(file);
        if (rate != file->sampleRate()) file->changeSampleRate(rate, Streamer::bufferSeconds);
        if (!offline) file->prepareForStreaming();
        s.fileOffline = offline;
    }
    if (held == Recording) s.state.store(Recording);
}

void StereoFileOutputModule::replaceBuffer(uint32_t frames) {
    InterleaveBuffer* old = state_->buffer.exchange(makeBuffer(frames));
    // The audio thread may still be copying into the old buffer; free it once it has left.
    while (state_->inUse.load())
        std::this_thread::yield();
    freeBuffer(old);
}

void StereoFileOutputModule::processAudio(float** inputs, float**, uint32_t frames, bool) {
    State& s = *state_;
    s.inUse.store(true);
    if (s.state.load() != Recording || !inputs || !inputs[0] || !inputs[1] || frames == 0) {
        s.inUse.store(false, std::memory_order_release);
        return;
    }
    StreamedAudioFileWrite* file = s.file.load(std::memory_order_acquire);
    DSPInfo* info = s.info.load(std::memory_order_acquire);
    const bool offline = info && info->isOffline();
    const float* left = inputs[0];
    const float* right = inputs[1];

    if (offline && s.stopOnSilence.load(std::memory_order_relaxed)) {
        double sumL = 0.0, sumR = 0.0;
        for (uint32_t i = 0; i < frames; ++i) {
            sumL += static_cast<double>(left[i]) * left[i];
            sumR += static_cast<double>(right[i]) * right[i];
        }
        const double rmsL = std::sqrt(sumL / frames);
        const double rmsR = std::sqrt(sumR / frames);
        int32_t quiet = 0;
        if (rmsL <= s.silenceThreshold && rmsR <= s.silenceThreshold)
            quiet = s.quietBlocks.fetch_add(1, std::memory_order_relaxed) + 1;
        else
            s.quietBlocks.store(0, std::memory_order_relaxed);
        if (quiet == s.blocksPerSecond.load(std::memory_order_relaxed)) {
            s.inUse.store(false, std::memory_order_release);
            stopFromThisThread(false);
            return;
        }
    }

    InterleaveBuffer* buffer = s.buffer.load(std::memory_order_acquire);
    if (file && buffer) {
        // Interleaved straight into the file's request buffer, a block (of at most the
        // interleave buffer's frames: a caller that changed its block size goes in pieces) at a
        // time.
        uint32_t done = 0;
        while (done < frames) {
            uint32_t n = frames - done < buffer->frames ? frames - done : buffer->frames;
            if (float* out = file->beginWrite(2ull * n, offline)) {
                interleaveClamped(left + done, right + done, out, n);
                file->endWrite(2ull * n);
            }
            done += n;
        }
    }
    s.inUse.store(false, std::memory_order_release);
}

void StereoFileOutputModule::showPendingErrors() {
    for (const std::string& text : takeRecordingErrors())
        showMessageBox(kFileRecordingCaption, text);
    // A recording whose file failed has ended; say so through isRecording as well.
    std::shared_ptr<RecordingOutcome> outcome;
    {
        std::lock_guard<std::mutex> lock(state_->failureLock);
        outcome = state_->outcome;
    }
    if (outcome && outcome->failed.load(std::memory_order_acquire) && state_->state.load() == Recording)
        stopFromThisThread(true);
}

bool StereoFileOutputModule::setRecordingFile(const std::string& utf8Path, int formatFlag, int bits,
                                              bool callerReports) {
    showPendingErrors();
    State& s = *state_;
    if (s.state.load() != Idle || s.file.load() != nullptr) return false;
    // Until a file stands, the report says this one failed (for callers that report it).
    auto refused = std::make_shared<RecordingOutcome>();
    refused->failed = true;
    refused->files.push_back(utf8Path);
    {
        std::lock_guard<std::mutex> lock(s.failureLock);
        s.outcome = refused;
    }
    DSPInfo* info = s.info.load(std::memory_order_acquire);
    if (!info) {
        logError("StereoFileOutputModule::setRecordingFile: no stream description yet");
        return false;
    }
    Streamer* streamer = Streamer::get();
    if (!streamer) {
        logError("StereoFileOutputModule::setRecordingFile: no disk streamer");
        return false;
    }
    if (!streamer->isRunning()) {
        // Without its thread nothing handed over would ever reach the disk.
        logError("StereoFileOutputModule::setRecordingFile: no disk writer thread, recording to ", utf8Path,
                 " refused");
        showMessageBox(kFileRecordingCaption,
                       "Recording is not possible: the disk writer could not be started. Please restart "
                       "the application.");
        return false;
    }
    try {
        StreamedAudioFileWrite* file = streamer->createWriteFile(
            utf8Path, formatFlag, 0, static_cast<int>(info->sampleRateInt), bits, 2);
        {
            std::lock_guard<std::mutex> lock(s.failureLock);
            s.outcome = file->outcome();
        }
        s.fileOffline = info->isOffline();
        if (!s.buffer.load(std::memory_order_acquire)) replaceBuffer(info->blockSize);
        s.file.store(file, std::memory_order_release);
        s.stopOnSilence.store(false, std::memory_order_relaxed);
        s.state.store(Ready);
        return true;
    } catch (const AudioFileException& e) {
        {
            std::lock_guard<std::mutex> lock(refused->lock);
            refused->error = e.reason().empty() ? e.what() : e.reason();
        }
        if (callerReports)
            logError("StereoFileOutputModule::setRecordingFile: ", e.what());
        else
            showMessageBox(kFileRecordingCaption, e.what());
    } catch (const std::bad_alloc&) {
        logError("StereoFileOutputModule::setRecordingFile: out of memory creating ", utf8Path);
    } catch (const std::exception& e) {
        logError("StereoFileOutputModule::setRecordingFile: ", utf8Path, " could not be created: ", e.what());
    }
    return false;
}

bool StereoFileOutputModule::startRecording() {
    showPendingErrors();
    State& s = *state_;
    if (s.state.load() != Ready || !s.file.load()) return false;
    // Disarm before the audio thread can see the recording, so a stale arm never cuts it short.
    s.quietBlocks.store(0, std::memory_order_relaxed);
    s.stopOnSilence.store(false, std::memory_order_relaxed);
    int expected = Ready;
    return s.state.compare_exchange_strong(expected, Recording);
}

bool StereoFileOutputModule::stopRecording() {
    showPendingErrors();
    return stopFromThisThread(true);
}

bool StereoFileOutputModule::stopFromThisThread(bool waitForAudioThread) {
    State& s = *state_;
    int expected = Recording;
    if (!s.state.compare_exchange_strong(expected, Stopping)) return false;
    // From here no new block uses the file; one already inside processAudio finishes first.
    if (waitForAudioThread)
        while (s.inUse.load())
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    StreamedAudioFileWrite* file = s.file.load(std::memory_order_acquire);
    DSPInfo* info = s.info.load(std::memory_order_acquire);
    const bool immediate = info && info->isOffline();
    Streamer* streamer = Streamer::peek();
    if (file) {
        if (streamer && streamer->isRunning())
            streamer->closeFile(file, immediate);
        else
            delete file;
    }
    s.file.store(nullptr, std::memory_order_release);
    s.stopOnSilence.store(false, std::memory_order_relaxed);
    s.quietBlocks.store(0, std::memory_order_relaxed);
    s.state.store(Idle);
    return true;
}

void StereoFileOutputModule::report(RecordingReport& out) {
    showPendingErrors();
    std::shared_ptr<RecordingOutcome> outcome;
    {
        std::lock_guard<std::mutex> lock(state_->failureLock);
        outcome = state_->outcome;
    }
    out = RecordingReport{};
    out.recording = state_->state.load() == Recording;
    if (!outcome) return;
    out.failed = outcome->failed.load(std::memory_order_acquire);
    out.frames = outcome->frames.load(std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(outcome->lock);
    out.files = outcome->files;
    out.error = outcome->error;
}

bool StereoFileOutputModule::isRecording() {
    showPendingErrors();
    return state_->state.load() == Recording;
}

void StereoFileOutputModule::setStopOnSilence(bool on) {
    state_->stopOnSilence.store(on, std::memory_order_relaxed);
    state_->quietBlocks.store(0, std::memory_order_relaxed);
}

bool StereoFileOutputModule::getStopOnSilence() {
    return state_->stopOnSilence.load(std::memory_order_relaxed);
}

} // namespace vantor
