// Channels x frames 32-bit floats in one aligned allocation; channel i starts at i * frames.
// channels() gives the pointer array a process call takes (left = 0, right = 1).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace vantor {

class MultichannelBuffer {
public:
    MultichannelBuffer(uint32_t channelCount, uint32_t frames);
    ~MultichannelBuffer();
    MultichannelBuffer(const MultichannelBuffer&) = delete;
    MultichannelBuffer& operator=(const MultichannelBuffer&) = delete;

    float** channels() { return pointers_.data(); }
    float* channel(uint32_t i) { return pointers_[i]; }
    uint32_t channelCount() const { return channelCount_; }
    uint32_t frames() const { return frames_; }
    // Zeroes the first `frames` samples of every channel (all when frames exceeds the size).
    void clear(uint32_t frames);

private:
    uint32_t channelCount_;
    uint32_t frames_;
    float* data_ = nullptr;
    std::vector<float*> pointers_;
};

} // namespace vantor
