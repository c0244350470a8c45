#include "recording/IORequest.h"

#include "log/Log.h"
#include "recording/AudioFile.h"
#include "threads/Sync.h"

#include <atomic>
#include <new>

namespace vantor {

namespace {

struct Pool {
    explicit Pool(const char* name) : mutex(name) {}
    Mutex mutex;
    RequestList list;
};

Pool& writePool() {
    static Pool* pool = new Pool("IOReq.write"); // lives for the process: threads may outlive statics
    return *pool;
}
Pool& closePool() {
    static Pool* pool = new Pool("IOReq.close");
    return *pool;
}

// Buffer size the last warm-up asked for: a write request coming back smaller is grown before it
// goes into the pool, never later on the audio thread that takes it out.
std::atomic<uint64_t> g_poolBufferBytes{0};

void freeBuffer(uint8_t* buffer) {
    if (buffer) ::operator delete[](buffer, std::align_val_t(16));
}

} // namespace

IORequest::~IORequest() {
    freeBuffer(buffer);
}

bool IORequest::ensureBuffer(uint64_t bytes) {
    if (buffer && allocated >= bytes) return true;
    freeBuffer(buffer);
    allocated = 0;
    buffer = static_cast<uint8_t*>(::operator new[](bytes ? bytes : 16, std::align_val_t(16), std::nothrow));
    if (!buffer) return false;
    allocated = bytes;
    return true;
}

IORequest* IORequest::getWriteRequest(AudioFile* file, uint64_t samples) {
    if (file->isClosing()) return nullptr;
    Pool& pool = writePool();
    bool locked = pool.mutex.Lock();
    if (!locked) logError("IORequest::getWriteRequest VxMutexLocker FAILED!");
    IORequest* r = pool.list.popFront();
    if (locked) pool.mutex.Unlock();
    if (!r) {
        r = new (std::nothrow) IORequest(file, Write);
        if (!r) return nullptr;
    }
    uint64_t needed = samples * file->bytesPerSample();
    if (!r->ensureBuffer(needed)) {
        delete r;
        return nullptr;
    }
    r->capacity = needed;
    r->kind = Write;
    r->count = samples;
    r->file = file;
    return r;
}

IORequest* IORequest::createCloseRequest(AudioFile* file) {
    file->setClosing();
    Pool& pool = closePool();
    bool locked = pool.mutex.Lock();
    if (!locked) logError("IORequest::createCloseRequest MutexLocker FAILED!");
    IORequest* r = pool.list.popFront();
    if (locked) pool.mutex.Unlock();
    if (!r) r = new IORequest(file, Close);
    r->kind = Close;
    r->file = file;
    r->count = 0;
    return r;
}

bool IORequest::release() {
    bool isWrite = kind == Write;
    // Never called on the audio thread: the streamer, or the control thread, releases requests.
    if (isWrite) {
        const uint64_t wanted = g_poolBufferBytes.load(std::memory_order_relaxed);
        if (allocated < wanted) ensureBuffer(wanted);
    }
    Pool& pool = isWrite ? writePool() : closePool();
    bool locked = pool.mutex.Lock();
    if (!locked)
        logError(isWrite ? "IORequest::release _writeMutex.Lock FAILED!"
                         : "IORequest::release _closeMutex.Lock FAILED!");
    bool taken = pool.list.size() <= kPoolLimit;
    if (taken) {
        file = nullptr;
        pool.list.pushBack(this);
    }
    if (locked) pool.mutex.Unlock();
    return taken;
}

void IORequest::reserveWriteRequests(uint64_t samples, size_t count) {
    uint64_t needed = samples * 4;
    g_poolBufferBytes.store(needed, std::memory_order_relaxed);
    Pool& pool = writePool();
    RequestList fresh;
    {
        VxMutexLocker lock(pool.mutex);
        // Every pooled buffer is handed out sooner or later: grow them all now.
        RequestList all;
        all.append(pool.list);
        size_t ready = 0;
        while (IORequest* r = all.popFront()) {
            if (r->ensureBuffer(needed)) ++ready;
            pool.list.pushBack(r);
        }
        count = ready < count ? count - ready : 0;
    }
    for (size_t i = 0; i < count; ++i) {
        IORequest* r = new (std::nothrow) IORequest(nullptr, Write);
        if (!r) break;
        if (!r->ensureBuffer(needed)) {
            delete r;
            break;
        }
        fresh.pushBack(r);
    }
    while (IORequest* r = fresh.popFront())
        if (!r->release()) delete r;
}

void IORequest::deletePools() {
    g_poolBufferBytes.store(0, std::memory_order_relaxed);
    for (Pool* pool : {&writePool(), &closePool()}) {
        VxMutexLocker lock(pool->mutex);
        while (IORequest* r = pool->list.popFront())
            delete r;
    }
}

size_t IORequest::writePoolSize() {
    VxMutexLocker lock(writePool().mutex);
    return writePool().list.size();
}

size_t IORequest::closePoolSize() {
    VxMutexLocker lock(closePool().mutex);
    return closePool().list.size();
}

} // namespace vantor
