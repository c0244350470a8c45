#include "graph/DSPInfo.h"

#include <cmath>

namespace vantor {

namespace {
constexpr double kValidRates[] = {22050, 44100, 48000, 64000, 88200, 96000, 192000};
} // namespace

bool DSPInfo::isValidRate(double rate) {
    for (double valid : kValidRates)
        if (rate == valid) return true;
    return false;
}

DSPInfo::DSPInfo(double rate, uint32_t frames) {
    if (!isValidRate(rate)) rate = 44100.0;
    sampleRate = rate;
    sampleRateInt = static_cast<uint32_t>(rate);
    samplePeriod = 1.0 / rate;
    blockSize = frames;
    blockDuration = blockSize * samplePeriod;
    // Single precision on purpose: modules were tuned against this rounding. A zero block size
    // (never sent by a device) gives 0 rather than infinity.
    inverseBlockSize = blockSize ? static_cast<double>(1.0f / static_cast<float>(blockSize)) : 0.0;
    nyquist = rate * 0.5;
    rampStep = samplePeriod * 16.666666666666668;
    fadeLength = static_cast<uint32_t>(rate * static_cast<double>(0.006f));
    fadeTable.resize(fadeLength);
    const double inverseLength = 1.0 / fadeLength;
    for (uint32_t i = 0; i < fadeLength; ++i)
        fadeTable[i] = std::sin(i * inverseLength * 2.0 * std::atan(1.0));
}

} // namespace vantor
