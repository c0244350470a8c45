#include "devices/AudioRestart.h"

#include "app/AudioStartMessages.h"
#include "app/UserMessage.h"
#include "engineapi/EngineOpcodes.h"
#include "log/Log.h"

#include <atomic>
#include <cmath>

namespace vantor {

namespace {

std::atomic<bool> resetRequested{false};
std::atomic<int> requestedSize{0};
std::atomic<double> requestedRate{0.0};

int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0) {
    return engineOpcode(opcode, p1, p2, i1, i2, 0, 0.0f);
}

} // namespace

void requestAudioRestart(AudioRestartReason reason, double value) {
    switch (reason) {
    case AudioRestartReason::Reset:
        resetRequested.store(true, std::memory_order_release);
        break;
    case AudioRestartReason::BufferSize:
        if (value >= 1.0 && value <= 1 << 20)
            requestedSize.store(static_cast<int>(value), std::memory_order_release);
        break;
    case AudioRestartReason::SampleRate:
        if (std::isfinite(value) && value >= 1.0) requestedRate.store(value, std::memory_order_release);
        break;
    }
}

bool serviceAudioRestart() {
    const bool reset = resetRequested.exchange(false, std::memory_order_acq_rel);
    const int size = requestedSize.exchange(0, std::memory_order_acq_rel);
    const int rate = static_cast<int>(std::lround(requestedRate.exchange(0.0, std::memory_order_acq_rel)));
    if (!reset && size == 0 && rate == 0) return false;
    int32_t currentRate = 0, currentSize = 0;
    call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &currentRate, &currentSize);
    const bool newSize = size != 0 && size != currentSize;
    const bool newRate = rate != 0 && rate != currentRate;
    if (!reset && !newSize && !newRate) return false; // the driver confirmed what it already had
    if (reset) logInfo("The audio driver asked for a reset: reopening the stream");
    if (newSize)
        logInfo("The audio driver changed its buffer size to ", size, ": reopening the stream with it");
    if (newRate)
        logInfo("The audio driver changed its sample rate to ", rate, " Hz: reopening the stream with it");
    bool playing = false;
    call(VE_ENGINE_AUDIO_ISPLAYING, &playing);
    if (!playing) {
        logInfo("Audio is stopped: the driver is opened afresh at the next start");
        return false;
    }
    call(VE_ENGINE_AUDIO_STOP);
    if (newSize || newRate) {
        if (call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, newRate ? rate : currentRate,
                 newSize ? size : currentSize) != kEngineOk)
            logError("The driver's new settings were refused: the stream reopens with the old ones");
    }
    if (call(VE_ENGINE_AUDIO_START) != kEngineOk) {
        logError("The audio stream could not be reopened");
        showMessageBox(kAudioStartErrorCaption, kAudioStartErrorText);
        return false;
    }
    call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &currentRate, &currentSize);
    logInfo("The audio stream is open again at ", currentRate, " Hz with blocks of ", currentSize, " frames");
    return true;
}

} // namespace vantor
