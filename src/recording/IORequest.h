// A unit of work for the disk streamer: a buffer of samples to append to a file, or the order to
// close it. Requests and their buffers are recycled through two small process-wide pools so that a
// steady recording allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

class AudioFile;

class IORequest {
public:
    enum Kind : int32_t { Write = 0, Close = 1 };
    static constexpr size_t kPoolLimit = 20; // a pool takes a request back only while it holds <= 20

    IORequest(AudioFile* file, int32_t kind) : file(file), kind(kind) {}
    virtual ~IORequest();
    IORequest(const IORequest&) = delete;
    IORequest& operator=(const IORequest&) = delete;

    virtual int32_t getKind() const { return kind; }
    virtual AudioFile* getFile() const { return file; }

    // A write request with room for `samples` 32-bit samples; null if the file is closing or
    // memory ran out.
    static IORequest* getWriteRequest(AudioFile* file, uint64_t samples);
    // Marks the file as closing (no more write requests for it) and returns a close request.
    static IORequest* createCloseRequest(AudioFile* file);
    // Offers the request back to its pool; false means the caller must delete it.
    bool release();

    // Control-thread warm-up: every write request in the pool gets room for `samples` samples
    // and there are at least `count` of them, so the audio thread finds them ready. Requests
    // still out (with the streamer) are grown as they come back, by the thread releasing them.
    static void reserveWriteRequests(uint64_t samples, size_t count);
    static void deletePools();
    static size_t writePoolSize();
    static size_t closePoolSize();

    uint64_t count = 0;    // samples to write
    uint64_t capacity = 0; // bytes asked for by the last getWriteRequest
    AudioFile* file = nullptr;
    uint8_t* buffer = nullptr; // 16-byte aligned, owned
    int32_t kind = Write;

    // Link for the queues and pools the request sits in (one at a time).
    IORequest* next = nullptr;
    // True size of buffer (capacity may be smaller when a larger buffer is reused).
    uint64_t allocated = 0;

    bool ensureBuffer(uint64_t bytes);
};

// Intrusive FIFO of requests: appending and moving never allocate.
class RequestList {
public:
    bool empty() const { return head_ == nullptr; }
    size_t size() const { return size_; }
    IORequest* front() const { return head_; }
    void pushBack(IORequest* r) {
        r->next = nullptr;
        if (tail_)
            tail_->next = r;
        else
            head_ = r;
        tail_ = r;
        ++size_;
    }
    IORequest* popFront() {
        IORequest* r = head_;
        if (!r) return nullptr;
        head_ = r->next;
        if (!head_) tail_ = nullptr;
        r->next = nullptr;
        --size_;
        return r;
    }
    // Moves every request of `other` to the end of this list, keeping order.
    void append(RequestList& other) {
        if (other.empty()) return;
        if (tail_)
            tail_->next = other.head_;
        else
            head_ = other.head_;
        tail_ = other.tail_;
        size_ += other.size_;
        other.head_ = other.tail_ = nullptr;
        other.size_ = 0;
    }
    // Removes the requests for which pred is true, in order, into `out`.
    template <class Pred> void extractIf(Pred pred, RequestList& out) {
        RequestList keep;
        while (IORequest* r = popFront()) {
            if (pred(r))
                out.pushBack(r);
            else
                keep.pushBack(r);
        }
        append(keep);
    }

private:
    IORequest* head_ = nullptr;
    IORequest* tail_ = nullptr;
    size_t size_ = 0;
};

} // namespace vantor
