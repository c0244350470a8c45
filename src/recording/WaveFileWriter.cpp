#include "recording/WaveFileWriter.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// The tests of the programs (which cannot reach the setter) shrink the limit through the
// environment, so a render past it can be seen without writing 4 GiB.
uint64_t limitFromEnvironment() {
    const char* text = std::getenv("QUORVEL_TEST_WAV_DATA_LIMIT");
    return text ? std::strtoull(text, nullptr, 10) : 0;
}

std::atomic<uint64_t> g_dataLimitForTesting{limitFromEnvironment()};

void putU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void putU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

WaveFileWriter::WaveFileWriter(const char* utf8Path, bool mustBeNew) {
    // Defaults until setFormat: PCM, mono, 44100 Hz, 16 bits.
    putU16(format_ + 0, 1);
    putU16(format_ + 2, 1);
    putU32(format_ + 4, 44100);
    putU32(format_ + 8, 88200);
    putU16(format_ + 12, 2);
    putU16(format_ + 14, 16);
    if (!utf8Path) return;
    file_ = vantor::openOutputFile(utf8Path, mustBeNew ? vantor::OpenMode::CreateNew : vantor::OpenMode::Replace,
                                   &alreadyExisted_);
    if (!file_) {
        noteError();
        return;
    }
    opened_ = true;
    uint8_t placeholder[36] = {};
    placeholder[0] = 0xFF;
    put(placeholder, sizeof placeholder);
    total_ = 36;
}

WaveFileWriter::~WaveFileWriter() {
    if (file_ && !finished_) finish();
    if (file_ && opened_) file_->close();
}

uint16_t WaveFileWriter::blockAlign() const {
    return static_cast<uint16_t>(format_[12] | (format_[13] << 8));
}

void WaveFileWriter::setFormat(int sampleRate, int channels, int bits, bool isFloat) {
    uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
    uint16_t tag = 1;
    if (bits == 4)
        tag = 17;
    else if (bits == 32)
        tag = isFloat ? 3 : 1;
    putU16(format_ + 0, tag);
    putU16(format_ + 2, static_cast<uint16_t>(channels));
    putU32(format_ + 4, static_cast<uint32_t>(sampleRate));
    putU32(format_ + 8, static_cast<uint32_t>(sampleRate) * align);
    putU16(format_ + 12, align);
    putU16(format_ + 14, static_cast<uint16_t>(bits));
    if (!file_) return;
    put("data", 4);
    dataSizePosition_ = 40;
    total_ = 40;
    const uint8_t unknown[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    put(unknown, 4);
}

void WaveFileWriter::noteError() {
    // The first failure's reason is the one the user needs; an open's is read at once, before
    // another call of this thread changes it.
    if (error_.empty()) error_ = file_ ? file_->failure() : vantor::lastSystemError();
}

bool WaveFileWriter::put(const void* data, uint64_t n) {
    if (!file_ || failed_) return false;
    size_t done = file_->write(data, static_cast<size_t>(n));
    if (done != n) {
        noteError();
        failed_ = true;
        return false;
    }
    return true;
}

bool WaveFileWriter::seekTo(int64_t position) {
    if (!file_) return false;
    if (!file_->seek(static_cast<uint64_t>(position))) {
        noteError();
        failed_ = true;
        return false;
    }
    return true;
}

bool WaveFileWriter::writeBytes(const void* data, uint64_t n) {
    if (!file_ || failed_) return false;
    size_t done = file_->write(data, static_cast<size_t>(n));
    total_ += static_cast<int64_t>(done);
    if (done != n) {
        noteError();
        failed_ = true;
        return false;
    }
    return true;
}

uint64_t WaveFileWriter::maxDataBytes() const {
    uint64_t align = blockAlign() ? blockAlign() : 1;
    uint64_t limit = g_dataLimitForTesting.load(std::memory_order_relaxed);
    // The RIFF size (36 + data) is the tighter of the two 32-bit fields.
    if (limit == 0) limit = 0xFFFFFFFFull - 36;
    return limit / align * align;
}

void WaveFileWriter::setDataLimitForTesting(uint64_t bytes) {
    g_dataLimitForTesting.store(bytes, std::memory_order_relaxed);
}

bool WaveFileWriter::finish() {
    finished_ = true;
    if (!file_) return false;
    uint64_t data = static_cast<uint64_t>(total_ - dataSizePosition_);
    if (failed_) {
        // Describe only whole frames that are really on disk; a torn last frame stays outside
        // the chunk where readers ignore it.
        uint64_t align = blockAlign() ? blockAlign() : 1;
        data = data / align * align;
    }
    if (data > 0xFFFFFFFFull - 36) data = 0xFFFFFFFFull - 36; // callers split files before this
    // The header overwrites bytes that already exist, so it can be written even on a full disk.
    bool earlier = failed_;
    failed_ = false;
    uint8_t size[4];
    putU32(size, static_cast<uint32_t>(data));
    bool ok = seekTo(dataSizePosition_) && put(size, 4);
    uint8_t head[36];
    std::memcpy(head, "RIFF", 4);
    putU32(head + 4, static_cast<uint32_t>(data + 36));
    std::memcpy(head + 8, "WAVE", 4);
    std::memcpy(head + 12, "fmt ", 4);
    putU32(head + 16, 16);
    std::memcpy(head + 20, format_, 16);
    ok = seekTo(0) && put(head, 36) && ok;
    failed_ = earlier || !ok;
    return ok;
}
