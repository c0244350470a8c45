// The module that plays the graph through one device of the audio I/O library.
//
// It opens a non-interleaved 32-bit float stream with the block size of the current stream
// description, waits up to 5 s for the first callback before it reports success, and in every
// callback clears its output buffers, runs the graph and copies the result out. It also answers
// the device questions of the host opcodes: sample rates, buffer sizes, latency, output stereo
// pair and the ASIO control panel.
//
// Threads: construction, init, choose, onPlay, onStop and the queries run on the opcode thread
// (onPlay / onStop under the device manager's "psr" lock); the callback runs on the library's
// audio thread and never blocks or allocates. Their only hand-over is the start semaphore.
#pragma once

#include "devices/DeviceManager.h"
#include "devices/PaHostApi.h"
#include "graph/Module.h"
#include "graph/MultichannelBuffer.h"
#include "threads/Sync.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantor {

class AudioDevice : public Module {
public:
    static constexpr uint32_t kStartTimeoutMs = 5000;
    // Blocks outside this range are refused before a stream is opened.
    static constexpr uint32_t kMinBlockSize = 8;
    static constexpr uint32_t kMaxBlockSize = 32768;

    AudioDevice(const std::string& generatedName, int deviceIndex, int inputChannels, int outputChannels,
                int kind);
    ~AudioDevice() override;
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    void initialize(Instance* context, DSPInfo* info) override;
    void setDSPInfo(DSPInfo* info) override;

    // The engine selected this device: marks it in use and starts it if the context plays.
    void choose();
    bool onPlay();
    bool onStop();

    bool listAvailableSampleRates(std::vector<int>& rates);
    bool listAvailableBufferSizes(std::vector<int>& sizes);
    // Output latency of the running stream in milliseconds; false without a stream.
    bool getLatency(float& milliseconds);
    int getOutputStereoPair() const { return stereoPair_; }
    // False while playing, for a negative pair, or when the device lacks the two channels.
    bool setOutputStereoPair(int pair);
    bool showControlPanel(void* parent);

    int getDeviceIndex() const { return deviceIndex_; }
    int hostApiCode() const { return hostApiCode_; }
    int kind() const { return kind_; }
    const std::string& name() const { return name_; }
    const std::string& generatedName() const { return generatedName_; }
    bool isPlaying() const { return playing_.load(std::memory_order_acquire); }
    bool hasStream() const { return stream_.load(std::memory_order_acquire) != nullptr; }
    uint32_t outputChannelCount() const { return outputChannels_; }
    uint32_t copiedOutputChannelCount() const { return copiedOutputs_; }

    // The stream parameters as they were last built (for diagnostics and tests).
    const PaStreamParameters& inputParameters() const { return inputParams_; }
    const PaStreamParameters& outputParameters() const { return outputParams_; }

    // The library's callback.
    static int audioCallback(const void* input, void* output, unsigned long frames,
                             const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                             void* userData);

private:
    int process(const float* const* input, float* const* output, uint32_t frames);
    void buildStreamParameters();
    void createBuffers(uint32_t frames);
    void reportError(const char* call, PaError code);
    void closeStream();

    std::string generatedName_;
    std::string name_;
    int deviceIndex_;
    int kind_;
    int hostApiCode_ = -1;
    int inputDeviceIndex_ = -1;
    int outputDeviceIndex_ = -1;
    uint32_t inputChannels_;
    uint32_t outputChannels_;
    uint32_t copiedOutputs_;
    int stereoPair_ = 0;
    std::atomic<PaStream*> stream_{nullptr};
    std::atomic<bool> playing_{false};
    std::atomic<bool> firstCallbackPending_{true};
    PaStreamParameters inputParams_{};
    PaStreamParameters outputParams_{};
    PaWinMmeStreamInfo mmeInfo_{};
    PaWasapiStreamInfo wasapiInfo_{};
#if defined(PA_USE_ASIO)
    PaAsioStreamInfo asioInfo_{};
    int asioSelectors_[2] = {0, 1};
#endif
    std::unique_ptr<MultichannelBuffer> inputBuffers_;
    std::unique_ptr<MultichannelBuffer> outputBuffers_;
    std::unique_ptr<Semaphore> startSemaphore_;
    DeviceManager::ContextRecord* record_ = nullptr; // the context's frame and load counters
};

} // namespace vantor
