#include "graph/MultichannelBuffer.h"

#include <algorithm>
#include <new>

namespace vantor {

namespace {
// Cache-line alignment: also satisfies every SIMD width the compilers may use.
constexpr std::align_val_t kAlignment{64};
} // namespace

MultichannelBuffer::MultichannelBuffer(uint32_t channelCount, uint32_t frames)
    : channelCount_(channelCount), frames_(frames), pointers_(channelCount, nullptr) {
    size_t samples = std::max<size_t>(1, static_cast<size_t>(channelCount) * frames);
    data_ = static_cast<float*>(::operator new[](samples * sizeof(float), kAlignment));
    std::fill(data_, data_ + samples, 0.0f);
    for (uint32_t i = 0; i < channelCount; ++i)
        pointers_[i] = data_ + static_cast<size_t>(i) * frames;
}

MultichannelBuffer::~MultichannelBuffer() {
    ::operator delete[](data_, kAlignment);
}

void MultichannelBuffer::clear(uint32_t frames) {
    const uint32_t n = std::min(frames, frames_);
    if (n == 0) return;
    for (uint32_t i = 0; i < channelCount_; ++i)
        std::fill(pointers_[i], pointers_[i] + n, 0.0f);
}

} // namespace vantor
