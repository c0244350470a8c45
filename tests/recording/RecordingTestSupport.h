// Helpers shared by the recording tests: scratch folders, reading WAV files back, log and
// message-box capture, a recording file that reports what the streamer did with it, and a gate
// that holds the streamer thread inside a write.
#pragma once

#include "support/BoxCapture.h"
#include "log/ConsoleLogger.h"
#include "recording/AudioFile.h"
#include "recording/IORequest.h"
#include "recording/FileIO.h"
#include "recording/Streamer.h"
#include "recording/WaveFileWriter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rectest {

namespace fs = std::filesystem;

// Best effort: on Windows a file still open elsewhere cannot be removed yet.
inline void removeDir(const fs::path& dir) {
    std::error_code ec;
    fs::remove_all(dir, ec);
}

inline fs::path scratchDir(const std::string& name) {
    static std::atomic<int> counter{0};
    fs::path dir =
        fs::temp_directory_path() /
        ("quorvel-rec-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(counter++) + "-" + name);
    removeDir(dir);
    fs::create_directories(dir);
    return dir;
}

inline std::vector<uint8_t> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
inline uint16_t u16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

// The samples of a finished 44-byte-header float WAV (as far as the data size says).
inline std::vector<float> wavSamples(const std::vector<uint8_t>& b) {
    std::vector<float> out;
    if (b.size() < 44) return out;
    uint32_t bytes = u32(b, 40);
    if (bytes == 0xFFFFFFFFu || 44ull + bytes > b.size()) bytes = uint32_t(b.size() - 44);
    out.resize(bytes / 4);
    if (!out.empty()) std::memcpy(out.data(), b.data() + 44, out.size() * 4);
    return out;
}

inline bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Opens a real log in a scratch folder for the test's lifetime; text() reads it back.
class LogCapture {
public:
    LogCapture() : dir_(scratchDir("log")) {
        logger_ =
            std::make_unique<vantor::ConsoleLogger>(vantor::ConsoleLogger::composePath((dir_.u16string())));
    }
    ~LogCapture() {
        logger_.reset();
        removeDir(dir_);
    }
    std::string text() const {
        std::string all;
        for (auto& e : fs::directory_iterator(dir_)) {
            auto b = readBytes(e.path());
            all.append(b.begin(), b.end());
        }
        return all;
    }
    bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }

private:
    fs::path dir_;
    std::unique_ptr<vantor::ConsoleLogger> logger_;
};

using vantor::test::BoxCapture;

// What the streamer did, in order: "w<tag>" per write, "c<tag>" per close hook.
struct Journal {
    std::mutex mutex;
    std::vector<std::string> events;
    void add(const std::string& e) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(e);
    }
    std::vector<std::string> get() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
};

// Holds the streamer thread inside one write until opened.
class Gate {
public:
    void waitOpen() {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        cv_.notify_all();
        cv_.wait(lock, [this] { return open_; });
    }
    void waitEntered() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return entered_; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool entered_ = false;
    bool open_ = false;
};

// A real WAV-backed recording file that also notes each write and close in a journal, and can hold
// the streamer in its writes behind a gate.
class JournalFile : public vantor::AudioFile {
public:
    JournalFile(const fs::path& path, Journal& journal, std::string tag, Gate* gate = nullptr)
        : AudioFile(path.string(), 0, 0, 1000, 32, 2, 1.0), journal_(journal), tag_(std::move(tag)),
          gate_(gate) {}
    ~JournalFile() override { journal_.add("d" + tag_); }
    void writeRequest(vantor::IORequest* r) override {
        if (gate_) gate_->waitOpen();
        journal_.add("w" + tag_);
        appendSamples(r->buffer, r->count * 4);
        if (onWrite) onWrite();
    }
    void onClose() override { journal_.add("c" + tag_); }
    void flush() override {}
    std::function<void()> onWrite;

private:
    Journal& journal_;
    std::string tag_;
    Gate* gate_;
};

// A write request for the file carrying `samples` samples of value v.
inline vantor::IORequest* filledRequest(vantor::AudioFile* file, uint64_t samples, float v) {
    vantor::IORequest* r = vantor::IORequest::getWriteRequest(file, samples);
    auto* f = reinterpret_cast<float*>(r->buffer);
    for (uint64_t i = 0; i < samples; ++i)
        f[i] = v;
    return r;
}

// Every test leaves no streamer behind and starts with empty pools.
struct StreamerReset {
    StreamerReset() {
        vantor::Streamer::shutdown();
        vantor::IORequest::deletePools();
    }
    ~StreamerReset() {
        vantor::Streamer::shutdown();
        vantor::IORequest::deletePools();
    }
};

// Stands in for a disk that fills up after `budget` more bytes: like a real one, it still lets
// bytes that already exist be overwritten.
class BudgetFile : public vantor::OutputFile {
public:
    BudgetFile(std::unique_ptr<vantor::OutputFile> real, std::shared_ptr<std::atomic<int64_t>> budget)
        : real_(std::move(real)), budget_(std::move(budget)) {}
    size_t write(const void* data, size_t n) override {
        uint64_t inside = position_ < size_ ? std::min<uint64_t>(n, size_ - position_) : 0;
        int64_t left = budget_->load();
        uint64_t growth = std::min<uint64_t>(n - inside, left > 0 ? uint64_t(left) : 0);
        size_t done = real_->write(data, size_t(inside + growth));
        budget_->fetch_sub(int64_t(done > inside ? done - inside : 0));
        position_ += done;
        size_ = std::max(size_, position_);
        return done;
    }
    bool seek(uint64_t p) override {
        if (!real_->seek(p)) return false;
        position_ = p;
        return true;
    }
    bool close() override { return real_->close(); }

private:
    std::unique_ptr<vantor::OutputFile> real_;
    std::shared_ptr<std::atomic<int64_t>> budget_;
    uint64_t position_ = 0;
    uint64_t size_ = 0;
};

struct FullDisk {
    std::shared_ptr<std::atomic<int64_t>> budget = std::make_shared<std::atomic<int64_t>>(0);
    explicit FullDisk(int64_t bytes) {
        budget->store(bytes);
        auto b = budget;
        vantor::setOutputFileOpenHook([b](const std::string& path, vantor::OpenMode mode,
                                          bool* exists) -> std::unique_ptr<vantor::OutputFile> {
            auto real = vantor::openPlatformOutputFile(path, mode, exists);
            if (!real) return nullptr;
            return std::make_unique<BudgetFile>(std::move(real), b);
        });
    }
    ~FullDisk() { vantor::setOutputFileOpenHook({}); }
};

struct DataLimit {
    explicit DataLimit(uint64_t bytes) { WaveFileWriter::setDataLimitForTesting(bytes); }
    ~DataLimit() { WaveFileWriter::setDataLimitForTesting(0); }
};

} // namespace rectest
