#include "recording/Streamer.h"

#include "log/Log.h"
#include "recording/AudioFile.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace vantor {

namespace {

// A failed lock is logged and the work goes on unlocked, as everywhere in the streamer.
class LoggedLock {
public:
    LoggedLock(Mutex& mutex, const char* failure) : mutex_(mutex), locked_(mutex.Lock()) {
        if (!locked_) logError(failure);
    }
    ~LoggedLock() {
        if (locked_) mutex_.Unlock();
    }
    LoggedLock(const LoggedLock&) = delete;
    LoggedLock& operator=(const LoggedLock&) = delete;

private:
    Mutex& mutex_;
    bool locked_;
};

std::atomic<bool> g_threadStartFails{false};

} // namespace

void Streamer::setThreadStartFailsForTesting(bool fails) {
    g_threadStartFails.store(fails);
}

Streamer::Streamer()
    : requestMutex_("StreamerReqs"), requestsToAddMutex_("StreamerReqsA"), wake_("StreamerWake") {
    logInfo("Streamer::Streamer()");
    setPriority(kThreadPriority);
    if (g_threadStartFails.load()) {
        logError("CreateThread failed");
        return;
    }
    running_.store(start(), std::memory_order_release);
}

Streamer::~Streamer() {
    logInfo("Streamer::~Streamer()");
}

void Streamer::shutdown() {
    Streamer* streamer = peek();
    if (!streamer) return;
    if (streamer->isRunning()) {
        int32_t acknowledged = 0;
        streamer->die(&acknowledged);
        destroy(false); // the thread deletes it
    } else {
        destroy(true);
    }
}

StreamedAudioFileWrite* Streamer::createWriteFile(const std::string& utf8Path, int formatFlag, int unused,
                                                  int sampleRate, int bits, int channels) {
    return new StreamedAudioFileWrite(this, utf8Path, formatFlag, unused, sampleRate, bits, channels,
                                      bufferSeconds);
}

void Streamer::addToRequestQueue(IORequest* request) {
    LoggedLock lock(requestsToAddMutex_, "Streamer::addToRequestQueue _requestsToAddMutex.Lock FAILED!");
    toAdd_.pushBack(request);
    wake_.signal();
}

void Streamer::moveHandOverQueue() {
    LoggedLock lock(requestsToAddMutex_, "Streamer::moveHandOverQueue _requestsToAddMutex.Lock FAILED!");
    requests_.append(toAdd_);
}

bool Streamer::handOverEmpty() {
    LoggedLock lock(requestsToAddMutex_, "Streamer::handOverEmpty _requestsToAddMutex.Lock FAILED!");
    return toAdd_.empty();
}

size_t Streamer::pendingRequests() {
    size_t n = 0;
    {
        LoggedLock lock(requestMutex_, "Streamer::pendingRequests _requestMutex.Lock FAILED!");
        n += requests_.size();
    }
    LoggedLock lock(requestsToAddMutex_, "Streamer::pendingRequests _requestsToAddMutex.Lock FAILED!");
    return n + toAdd_.size();
}

void Streamer::process(IORequest* request) {
    if (request->getKind() == IORequest::Close)
        doCloseFile(request->getFile());
    else
        request->getFile()->writeRequest(request);
    if (!request->release()) delete request;
}

void Streamer::Entry() {
    logInfo("Streamer::entry() in");
    for (;;) {
        if (dieFlag_.load(std::memory_order_acquire)) break;
        bool idle;
        {
            LoggedLock lock(requestMutex_, "Streamer::Entry _requestMutex.Lock FAILED!");
            idle = requests_.empty();
        }
        // A signal can slip between a time-out and the event's reset, so the hand-over queue
        // itself, not only the signal, decides whether there is work.
        if (idle && handOverEmpty()) {
            wake_.waitFor(2000);
            if (dieFlag_.load(std::memory_order_acquire)) {
                logInfo("Streamer::Entry() intercepted die signal");
                break;
            }
        }
        LoggedLock lock(requestMutex_, "Streamer::Entry _requestMutex.Lock FAILED!");
        moveHandOverQueue();
        while (!requests_.empty()) {
            process(requests_.popFront());
            moveHandOverQueue();
        }
    }
    {
        // Whatever producers handed over before die is part of a recording: write it too.
        LoggedLock lock(requestMutex_, "Streamer::Entry _requestMutex.Lock FAILED!");
        moveHandOverQueue();
        while (!requests_.empty()) {
            logInfo("Streamer::Entry die set, finishing all requests NOW");
            process(requests_.popFront());
            moveHandOverQueue();
        }
    }
    IORequest::deletePools();
    logInfo("Streamer::Entry() out");
    // The thread may see the die flag before die() has signalled the wake-up event; the object
    // (and its event) must outlive that call.
    while (!dieSignalled_.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    running_.store(false, std::memory_order_release);
    int32_t* ack = acknowledgement_.load(std::memory_order_acquire);
    if (ack) std::atomic_ref<int32_t>(*ack).store(1, std::memory_order_release);
}

void Streamer::onExit() {
    logInfo("Streamer::onExit() in");
    logInfo("Streamer::onExit() out");
}

void Streamer::die(int32_t* acknowledgement) {
    logInfo("Streamer::die() in");
    std::atomic_ref<int32_t> ack(*acknowledgement);
    if (!isRunning()) { // no thread to wait for (it never started)
        ack.store(1, std::memory_order_release);
        logInfo("Streamer::die() out");
        return;
    }
    ack.store(0, std::memory_order_release);
    acknowledgement_.exchange(acknowledgement, std::memory_order_acq_rel);
    dieFlag_.exchange(1, std::memory_order_acq_rel);
    wake_.signal();
    dieSignalled_.store(true, std::memory_order_release); // from here on the thread may delete us
    while (ack.load(std::memory_order_acquire) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    logInfo("Streamer::die() out");
}

void Streamer::closeFile(AudioFile* file, bool immediate) {
    if (!immediate) {
        file->flush();
        addToRequestQueue(IORequest::createCloseRequest(file));
        return;
    }
    LoggedLock lock(requestMutex_, "Streamer::closeFile _requestMutex.Lock FAILED!");
    // Buffers of this file still on their way (a recording that began in real time) are written
    // first, in order, so closing at once loses nothing.
    drainFile(file);
    doCloseFile(file);
}

void Streamer::drainFile(AudioFile* file) {
    file->flush();
    // Held while the streamer writes a request, so taking it also waits out a write in progress.
    LoggedLock lock(requestMutex_, "Streamer::drainFile _requestMutex.Lock FAILED!");
    moveHandOverQueue();
    RequestList mine;
    requests_.extractIf(
        [file](IORequest* r) { return r->getFile() == file && r->getKind() == IORequest::Write; }, mine);
    while (IORequest* r = mine.popFront())
        process(r);
}

void Streamer::doCloseFile(AudioFile* file) {
    logInfo("Streamer::doCloseFile:", file->path());
    {
        LoggedLock lock(requestMutex_, "Streamer::doCloseFile _requestMutex.Lock FAILED!");
        RequestList dropped;
        requests_.extractIf([file](IORequest* r) { return r->getFile() == file; }, dropped);
        while (IORequest* r = dropped.popFront())
            if (!r->release()) delete r;
    }
    bool locked = file->getMutex().Lock();
    if (!locked) logError("Streamer::doCloseFile af->getMutex().lock() FAILED!");
    file->onClose();
    if (locked) file->getMutex().Unlock();
    delete file;
}

} // namespace vantor
