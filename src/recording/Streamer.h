// The disk streamer: one background thread that writes the buffers real-time code hands it and
// closes files behind their last buffer, so the audio thread never waits for the disk.
#pragma once

#include "util/Singleton.h"
#include "recording/IORequest.h"
#include "threads/Sync.h"
#include "threads/ThreadDetached.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace vantor {

class AudioFile;
class StreamedAudioFileWrite;

class Streamer : public Singleton<Streamer>, public ThreadDetached {
    friend class Singleton<Streamer>;

public:
    static constexpr double bufferSeconds = 2.0; // audio carried by one write request
    static constexpr uint32_t kThreadPriority = 80;

    // Engine shutdown: die (which writes everything still queued) and forget the instance; the
    // streamer's thread deletes it. A later get() builds a fresh one.
    static void shutdown();

    // Throws AudioFileException from the file's constructor.
    StreamedAudioFileWrite* createWriteFile(const std::string& utf8Path, int formatFlag, int unused,
                                            int sampleRate, int bits, int channels);
    // Producer side, any thread: one short lock and an append, never an allocation.
    void addToRequestQueue(IORequest* request);
    // Ends a file's life after its pending buffers. immediate: write what is pending and close it
    // now on the calling thread (offline rendering); otherwise queue a close request.
    void closeFile(AudioFile* file, bool immediate);
    // Flushes the file and writes every buffer of it still queued, in order, on the calling thread
    // (waiting for one the streamer is writing): afterwards the caller is the file's only writer.
    // Not for the audio thread.
    void drainFile(AudioFile* file);
    // Drops the file's requests still queued, runs its close hook and deletes it.
    void doCloseFile(AudioFile* file);
    // Stops the thread once its work is done; returns when the thread has acknowledged.
    void die(int32_t* acknowledgement);

    bool isRunning() const { return running_.load(std::memory_order_acquire); }
    // Tests: streamers created while set behave as if their thread could not be started.
    static void setThreadStartFailsForTesting(bool fails);
    // Diagnostics for tests: requests waiting in the two queues.
    size_t pendingRequests();

protected:
    void Entry() override;
    void onExit() override;

private:
    Streamer();
    ~Streamer() override;

    void moveHandOverQueue();
    bool handOverEmpty();
    void process(IORequest* request);

    RequestList requests_; // streamer thread (and doCloseFile), under requestMutex_
    RequestList toAdd_;    // producers, under requestsToAddMutex_
    Mutex requestMutex_;
    Mutex requestsToAddMutex_;
    Condition wake_;
    std::atomic<int32_t> dieFlag_{0};
    // Set by die() once it has stopped touching this object; the thread deletes itself only then.
    std::atomic<bool> dieSignalled_{false};
    std::atomic<int32_t*> acknowledgement_{nullptr};
    std::atomic<bool> running_{false};
};

} // namespace vantor
