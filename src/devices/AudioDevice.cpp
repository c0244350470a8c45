#include "devices/AudioDevice.h"

#include "graph/DSPInfo.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "log/Log.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vantor {

namespace {

const std::string kDashLine(79, '-');

constexpr int kCandidateRates[] = {22050, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr int kWasapiBufferSizes[] = {128, 256, 512, 1024};
constexpr int kDefaultBufferSizes[] = {512, 1024, 2048, 4096, 8192, 16384, 32768};
// A driver reporting an absurd range must not make the size walk run for ever.
constexpr int kMaxAsioSizeSteps = 65536;

uint32_t clampChannels(int channels) {
    return channels > 0 ? static_cast<uint32_t>(channels) : 0u;
}

} // namespace

AudioDevice::AudioDevice(const std::string& generatedName, int deviceIndex, int inputChannels,
                         int outputChannels, int kind)
    : Module(outputChannels, inputChannels), generatedName_(generatedName), deviceIndex_(deviceIndex),
      kind_(kind), inputChannels_(clampChannels(inputChannels)),
      outputChannels_(clampChannels(outputChannels)), copiedOutputs_(clampChannels(outputChannels)) {
    if (DeviceManager* manager = DeviceManager::peek()) {
        if (const AudioDeviceEntry* entry = manager->audioRecord(deviceIndex)) {
            inputDeviceIndex_ = entry->inputDeviceIndex;
            outputDeviceIndex_ = entry->outputDeviceIndex;
            name_ = entry->name;
            hostApiCode_ = entry->hostApiCode;
        }
    }
    if (hostApiCode_ == kHostApiASIO) copiedOutputs_ = std::min<uint32_t>(2u, outputChannels_);
    logInfo(name_, " id:", deviceIndex, " ins:", inputChannels, " outs:", outputChannels, " allocated!");
    logInfo(name_, " ctor out");
}

AudioDevice::~AudioDevice() {
    if (playing_.load(std::memory_order_acquire))
        onStop();
    else
        closeStream();
    inputBuffers_.reset();
    outputBuffers_.reset();
    startSemaphore_.reset();
    if (DeviceManager* manager = DeviceManager::peek()) manager->releaseAudio(context_, deviceIndex_);
}

void AudioDevice::initialize(Instance* context, DSPInfo* info) {
    context_ = context;
    info_ = info;
    logInfo(name_, "::initialize in");
    createBuffers(info ? info->blockSize : 0);
    if (!startSemaphore_) startSemaphore_ = std::make_unique<Semaphore>("AudioDevice", 0, 1);
    if (DeviceManager* manager = DeviceManager::peek()) record_ = manager->contextRecord(context);
    logInfo(name_, "::initialize out");
}

void AudioDevice::setDSPInfo(DSPInfo* info) {
    info_ = info;
    createBuffers(info ? info->blockSize : 0);
    buildStreamParameters();
}

void AudioDevice::createBuffers(uint32_t frames) {
    inputBuffers_.reset();
    outputBuffers_.reset();
    if (frames == 0) return;
    if (inputChannels_ > 0) inputBuffers_ = std::make_unique<MultichannelBuffer>(inputChannels_, frames);
    if (outputChannels_ > 0) outputBuffers_ = std::make_unique<MultichannelBuffer>(outputChannels_, frames);
}

void AudioDevice::choose() {
    if (DeviceManager* manager = DeviceManager::peek()) {
        manager->markAudioAcquired(context_, deviceIndex_);
        logInfo(name_, " is now acquired");
        if (manager->isPlaying(context_, false)) {
            onPlay();
            return;
        }
    }
    playing_.store(false, std::memory_order_release);
}

void AudioDevice::buildStreamParameters() {
    const double latency = info_ ? info_->blockDuration : 0.0;
    inputParams_ = PaStreamParameters{};
    if (inputChannels_ > 0) {
        inputParams_.device = inputDeviceIndex_;
        inputParams_.channelCount = static_cast<int>(inputChannels_);
        inputParams_.sampleFormat = paFloat32 | paNonInterleaved;
        inputParams_.suggestedLatency = latency;
        inputParams_.hostApiSpecificStreamInfo = nullptr;
    }
    outputParams_ = PaStreamParameters{};
    outputParams_.device = outputDeviceIndex_;
    outputParams_.sampleFormat = paFloat32 | paNonInterleaved;
    outputParams_.suggestedLatency = latency;
    outputParams_.channelCount = static_cast<int>(outputChannels_);
    outputParams_.hostApiSpecificStreamInfo = nullptr;
    switch (hostApiCode_) {
    case kHostApiASIO:
#if defined(PA_USE_ASIO)
        outputParams_.channelCount = 2;
        asioSelectors_[0] = 2 * stereoPair_;
        asioSelectors_[1] = 2 * stereoPair_ + 1;
        asioInfo_ = PaAsioStreamInfo{};
        asioInfo_.size = sizeof(PaAsioStreamInfo);
        asioInfo_.hostApiType = paASIO;
        asioInfo_.version = 1;
        asioInfo_.flags = paAsioUseChannelSelectors;
        asioInfo_.channelSelectors = asioSelectors_;
        outputParams_.hostApiSpecificStreamInfo = &asioInfo_;
#else
        outputParams_.channelCount = 2;
#endif
        break;
    case kHostApiMME: {
        const uint32_t block = info_ ? info_->blockSize : 0;
        mmeInfo_ = PaWinMmeStreamInfo{};
        mmeInfo_.size = sizeof(PaWinMmeStreamInfo);
        mmeInfo_.hostApiType = paMME;
        mmeInfo_.version = 1;
        mmeInfo_.flags = paWinMmeUseLowLevelLatencyParameters;
        mmeInfo_.framesPerBuffer = block < 4096 ? block : block / 4;
        mmeInfo_.bufferCount = 4;
        outputParams_.hostApiSpecificStreamInfo = &mmeInfo_;
        break;
    }
    case kHostApiWASAPI:
        wasapiInfo_ = PaWasapiStreamInfo{};
        wasapiInfo_.size = sizeof(PaWasapiStreamInfo);
        wasapiInfo_.hostApiType = paWASAPI;
        wasapiInfo_.version = 1;
        wasapiInfo_.flags = paWinWasapiExclusive;
        outputParams_.hostApiSpecificStreamInfo = &wasapiInfo_;
        break;
    default:
        break;
    }
}

void AudioDevice::reportError(const char* call, PaError code) {
    logInfo(kDashLine);
    logError(name_);
    logError(call, ": Error number: ", code, " message: ", Pa_GetErrorText(code));
    logInfo(kDashLine);
}

void AudioDevice::closeStream() {
    PaStream* stream = stream_.exchange(nullptr, std::memory_order_acq_rel);
    if (stream) Pa_CloseStream(stream);
}

bool AudioDevice::onPlay() {
    logInfo(name_, ", has received Play command...");
    if (!info_ || !startSemaphore_ || outputChannels_ == 0) {
        logError(name_, " cannot play: not initialised");
        return false;
    }
    if (info_->blockSize < kMinBlockSize || info_->blockSize > kMaxBlockSize) {
        logError(name_, " cannot play with a block of ", info_->blockSize, " frames");
        return false;
    }
    buildStreamParameters();
    const bool duplex = kind_ == 2 && inputChannels_ > 0;
    const PaStreamParameters* input = duplex ? &inputParams_ : nullptr;
    const PaError support = Pa_IsFormatSupported(input, &outputParams_, info_->sampleRate);
    if (support != 0) {
        reportError("Pa_IsFormatSupported", support);
        return false;
    }
    // A first callback that came after an earlier time-out left a unit behind: without this the
    // next wait would succeed although this stream never called back.
    while (startSemaphore_->tryAcquire()) {
    }
    firstCallbackPending_.store(true, std::memory_order_release);
    PaStream* stream = nullptr;
    PaError error = paNoError;
    try {
        error = Pa_OpenStream(&stream, input, &outputParams_, info_->sampleRate, info_->blockSize,
                              paDitherOff, &AudioDevice::audioCallback, this);
    } catch (...) {
        logError(name_, "Unknown Exception calling Pa_OpenStream");
        return false;
    }
    if (error != paNoError || !stream) {
        reportError("Pa_OpenStream", error);
        return false;
    }
    stream_.store(stream, std::memory_order_release);
    error = Pa_StartStream(stream);
    if (error != paNoError) {
        closeStream();
        reportError("Pa_StartStream", error);
        return false;
    }
    logInfo(name_, "::onPlay() Pa_StartStream then waiting on stream start");
    if (startSemaphore_->acquireFor(kStartTimeoutMs)) {
        logInfo(name_, "::onPlay() stream started!");
        playing_.store(true, std::memory_order_release);
        logInfo(name_, ", has started Playing");
    } else {
        logError(name_, "playReq TIMEOUT!!");
        closeStream();
        if (playing_.load(std::memory_order_acquire))
            logInfo(name_, ", has started Playing");
        else
            logError(name_, ", has refused to start Playing");
    }
    return playing_.load(std::memory_order_acquire);
}

bool AudioDevice::onStop() {
    if (!playing_.load(std::memory_order_acquire)) {
        logError(name_, "::onStop() Logic error");
        return false;
    }
    PaStream* stream = stream_.load(std::memory_order_acquire);
    if (stream) {
        const PaError error = Pa_CloseStream(stream);
        if (error != paNoError) reportError("Pa_CloseStream", error);
        logInfo(name_, " has Stopped!");
        stream_.store(nullptr, std::memory_order_release);
    } else {
        logError(name_, "::onStop() no _stream??");
    }
    playing_.store(false, std::memory_order_release);
    return true;
}

int AudioDevice::audioCallback(const void* input, void* output, unsigned long frames,
                               const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* userData) {
    auto* device = static_cast<AudioDevice*>(userData);
    return device->process(static_cast<const float* const*>(input), static_cast<float* const*>(output),
                           static_cast<uint32_t>(frames));
}

int AudioDevice::process(const float* const* input, float* const* output, uint32_t frames) {
    if (firstCallbackPending_.load(std::memory_order_acquire)) {
        logInfo(name_, " in its first callback");
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        firstCallbackPending_.store(false, std::memory_order_release);
        if (startSemaphore_) startSemaphore_->release();
    }
    MultichannelBuffer* outs = outputBuffers_.get();
    const uint32_t piece = outs ? outs->frames() : 0;
    if (!output || piece == 0) return paContinue;
    GraphManager* graph = GraphManager::peek();
    // The graph renders one stereo pair: with ASIO the selectors route the stream's two channels
    // to the chosen pair; elsewhere the pair picks which of the device's channels carry it.
    const uint32_t left = hostApiCode_ == kHostApiASIO ? 0u : 2u * static_cast<uint32_t>(stereoPair_);
    const uint32_t copied = std::min(copiedOutputs_, outs->channelCount());
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t n = std::min(piece, frames - done);
        if (input && inputBuffers_) {
            for (uint32_t c = 0; c < inputBuffers_->channelCount(); ++c)
                if (input[c]) std::memcpy(inputBuffers_->channel(c), input[c] + done, n * sizeof(float));
        }
        outs->clear(n);
        if (graph && left + 1 < outs->channelCount()) {
            float* pair[2] = {outs->channel(left), outs->channel(left + 1)};
            graph->process(pair, n);
        }
        for (uint32_t c = 0; c < copied; ++c)
            if (output[c]) std::memcpy(output[c] + done, outs->channel(c), n * sizeof(float));
        done += n;
    }
    DeviceManager::addFrames(record_, frames);
    if (PaStream* stream = stream_.load(std::memory_order_acquire))
        DeviceManager::setCpuLoad(record_, static_cast<float>(Pa_GetStreamCpuLoad(stream)));
    return paContinue;
}

bool AudioDevice::listAvailableSampleRates(std::vector<int>& rates) {
    logInfo("listAvailableSampleRates() in");
    buildStreamParameters();
    const bool duplex = kind_ == 2 && inputChannels_ > 0;
    for (int rate : kCandidateRates)
        if (Pa_IsFormatSupported(duplex ? &inputParams_ : nullptr, &outputParams_, rate) == 0)
            rates.push_back(rate);
    logInfo("listAvailableSampleRates() out");
    return true;
}

bool AudioDevice::listAvailableBufferSizes(std::vector<int>& sizes) {
    switch (hostApiCode_) {
    case kHostApiASIO: {
#if defined(PA_USE_ASIO)
        long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
        PaError error = paInvalidHostApi;
#if !defined(_WIN32)
        if (&PaAsio_GetAvailableLatencyValues)
#endif
            error =
                PaAsio_GetAvailableLatencyValues(deviceIndex_, &minimum, &maximum, &preferred, &granularity);
        if (error != paNoError) {
            logError("PaAsio_GetAvailableLatencyValues failed with : ", error);
            return false;
        }
        logInfo("PaAsio_GetAvailableLatencyValues min, max, pref, gran : ", minimum, ", ", maximum, ", ",
                preferred, ", ", granularity);
        const long long step = granularity < 1 ? 2 : granularity;
        int steps = 0;
        for (long long size = minimum; size <= maximum && steps < kMaxAsioSizeSteps; size += step, ++steps) {
            if (size > 1 && (size & (size - 1)) == 0) {
                sizes.push_back(static_cast<int>(size));
                logInfo("adding power of 2 : ", size);
            }
        }
        if (sizes.empty() && minimum <= maximum) {
            steps = 0;
            for (long long size = minimum; size <= maximum && steps < kMaxAsioSizeSteps;
                 size += step, ++steps) {
                sizes.push_back(static_cast<int>(size));
                logInfo("adding normal : ", size);
            }
        }
        return true;
#else
        logError(name_, " ASIO support is not built in");
        return false;
#endif
    }
    case kHostApiWASAPI:
        sizes.insert(sizes.end(), std::begin(kWasapiBufferSizes), std::end(kWasapiBufferSizes));
        return true;
    default:
        sizes.insert(sizes.end(), std::begin(kDefaultBufferSizes), std::end(kDefaultBufferSizes));
        return true;
    }
}

bool AudioDevice::getLatency(float& milliseconds) {
    PaStream* stream = stream_.load(std::memory_order_acquire);
    if (!stream) return false;
    const PaStreamInfo* info = Pa_GetStreamInfo(stream);
    if (!info) return false;
    milliseconds = static_cast<float>(info->outputLatency * 1000.0);
    return true;
}

bool AudioDevice::setOutputStereoPair(int pair) {
    if (playing_.load(std::memory_order_acquire) || pair < 0) return false;
    // 64-bit so a huge pair cannot wrap round into an accepted channel count.
    if (static_cast<int64_t>(outputChannels_) < 2 * static_cast<int64_t>(pair) + 2) return false;
    stereoPair_ = pair;
    buildStreamParameters();
    return true;
}

bool AudioDevice::showControlPanel(void* parent) {
    if (hostApiCode_ != kHostApiASIO) return false;
#if defined(PA_USE_ASIO)
    PaError error = paInvalidHostApi;
#if !defined(_WIN32)
    if (&PaAsio_ShowControlPanel)
#endif
        error = PaAsio_ShowControlPanel(deviceIndex_, parent);
    if (error != paNoError) {
        reportError("PaAsio_ShowControlPanel", error);
        return false;
    }
    return true;
#else
    (void)parent;
    return false;
#endif
}

} // namespace vantor
