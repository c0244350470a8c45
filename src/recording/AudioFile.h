// Recording files: the abstract AudioFile (format check, the WAV writer, stream parameters) and the
// StreamedAudioFileWrite that fills streamer requests on the audio thread or writes directly when
// rendering offline.
#pragma once

#include "recording/WaveFileWriter.h"
#include "threads/Sync.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantor {

class IORequest;
class Streamer;

class AudioFileException : public std::exception {
public:
    explicit AudioFileException(std::string message, std::string reason = {})
        : message_(std::move(message)), reason_(std::move(reason)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    // The system's reason, when the system refused.
    const std::string& reason() const { return reason_; }

private:
    std::string message_;
    std::string reason_;
};

// What became of one recording, shared by its file and whoever asks after the file is gone.
struct RecordingOutcome {
    std::atomic<uint64_t> frames{0}; // written by the file's one writing thread
    std::atomic<bool> failed{false};
    std::mutex lock; // guards the two below
    std::vector<std::string> files;
    std::string error;
};

class AudioFile {
public:
    // Throws AudioFileException for any format but 32-bit float (formatFlag 0) and when the file
    // cannot be created. `unused` is carried for the caller's convenience and not read.
    AudioFile(const std::string& utf8Path, int formatFlag, int unused, int sampleRate, int bits, int channels,
              double secondsPerRequest);
    virtual void writeRequest(IORequest* request) = 0;
    virtual void onClose() = 0; // close hook, run under getMutex() just before the file is deleted
    virtual void flush() = 0;
    virtual ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    Mutex& getMutex() { return mutex_; }
    uint32_t bytesPerSample() const { return 4; }
    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    const std::string& path() const { return path_; }
    uint64_t requestCapacity() const { return requestCapacity_.load(std::memory_order_acquire); }

    bool isClosing() const { return closing_.load(std::memory_order_acquire); }
    void setClosing() { closing_.store(true, std::memory_order_release); }

    // Set once a write, seek or continuation failed: nothing more is written to this recording.
    bool hasFailed() const { return outcome_->failed.load(std::memory_order_acquire); }
    // The same flag, for a thread that must learn of a failure without touching the file, which
    // another thread may close and delete at any time.
    std::shared_ptr<const std::atomic<bool>> failureFlag() const { return {outcome_, &outcome_->failed}; }
    // The recording's files, frames and failure, outliving the file.
    std::shared_ptr<RecordingOutcome> outcome() const { return outcome_; }
    // Files written so far for this recording (2 and more once the size limit was passed).
    int parts() const { return files_; }
    // "take.wav" -> "take (2).wav": where a recording continues past the WAV size limit (or at
    // a new sample rate), under the first such name no file has yet.
    static std::string continuationPath(const std::string& path, int part);

    // The samples from here on are at another rate: the current part is completed and the
    // recording goes on in the next free numbered file (a part still without samples just takes
    // the new rate). Only while no other thread writes this file.
    bool changeSampleRate(int sampleRate, double secondsPerRequest);

protected:
    // Appends interleaved sample bytes (whole frames), moving on to a continuation file when the
    // 32-bit size fields are full. Runs on the one thread that writes this file.
    bool appendSamples(const void* data, uint64_t bytes);
    // Completes the header of the current part; reports a failure to the user.
    void finishWriter();

private:
    bool startNextPart(int sampleRate);
    void fail(const std::string& what);
    void addPart(const std::string& path);

    Mutex mutex_;
    std::string path_;
    std::string currentPath_;
    std::unique_ptr<WaveFileWriter> writer_;
    int sampleRate_ = 0;
    int channels_ = 0;
    std::atomic<uint64_t> requestCapacity_{0};
    int part_ = 1;  // number of the current part's name
    int files_ = 1; // files written
    std::atomic<bool> closing_{false};
    std::shared_ptr<RecordingOutcome> outcome_ = std::make_shared<RecordingOutcome>();
};

class StreamedAudioFileWrite : public AudioFile {
public:
    // streamer: where full requests go; null writes them on the calling thread (tests only).
    StreamedAudioFileWrite(Streamer* streamer, const std::string& utf8Path, int formatFlag, int unused,
                           int sampleRate, int bits, int channels, double secondsPerRequest);
    ~StreamedAudioFileWrite() override;

    // Appends n interleaved samples. direct: write now on this thread (offline rendering);
    // otherwise copy into the current request and hand it to the streamer when full.
    void write(const float* samples, uint64_t n, bool direct);
    // The same without a copy: room for n samples (at most the request capacity) in the current
    // request, to be filled and then committed with endWrite(n). A full request goes to the
    // streamer first or, direct, to the file on this thread: offline rendering then writes a
    // few hundred kilobytes at a time, not a block. Null (and the n samples counted as dropped) when
    // no buffer can be had.
    float* beginWrite(uint64_t n, bool direct);
    static constexpr uint64_t kDirectWriteSamples = 65536;
    void endWrite(uint64_t n) { fill_ += n; }
    void flush() override;
    void writeRequest(IORequest* request) override;
    // Control thread, while nothing writes the file: a request of the current capacity ready
    // (and spares in the pool), so that the audio thread's next write allocates nothing.
    void prepareForStreaming();
    void onClose() override {}

    // Samples that found no request buffer (out of memory) and were left out.
    uint64_t droppedSamples() const { return dropped_.load(std::memory_order_relaxed); }

private:
    void handOver(IORequest* request);

    Streamer* streamer_;
    IORequest* current_ = nullptr;
    uint64_t fill_ = 0;
    std::atomic<uint64_t> dropped_{0};
};

} // namespace vantor
