#include "support/pa_double/PaDouble.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvel::test::pa {
namespace {

struct HostApi {
    PaHostApiInfo info{};
    std::string name;
};

struct Device {
    DeviceSpec desc;
    PaDeviceInfo info{};
};

struct Stream {
    PaStreamCallback* callback = nullptr;
    void* user = nullptr;
    int device = -1;
    unsigned long frames = 0;
    std::vector<std::vector<float>> in, out;
    std::vector<float*> inPtr, outPtr;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::mutex call; // the library's thread and runCallback never call back at once
    PaStreamInfo info{};
};

struct State {
    std::mutex lock;
    std::vector<std::unique_ptr<HostApi>> apis;
    std::vector<std::unique_ptr<Device>> devices;
    PaError initializeError = paNoError;
    PaError countError = paNoError;
    Callbacks mode = Callbacks::Running;
    int firstDelayMs = 0;
    std::vector<OpenedStream> opened;
    std::vector<Stream*> streams;
    std::vector<std::vector<float>> last;
    int initializeCalls = 0;
    int terminateCalls = 0;
    int panelDevice = -1;
    void (*debug)(const char*) = nullptr;
    std::atomic<double> outputLatency{0.0};
    std::atomic<double> cpuLoad{0.0};
    std::atomic<float> inputValue{0.0f};
    std::atomic<uint64_t> callbacks{0};
};

State& state() {
    static State s;
    return s;
}

Device* deviceAt(PaDeviceIndex index) {
    State& s = state();
    if (index < 0 || static_cast<size_t>(index) >= s.devices.size()) return nullptr;
    return s.devices[static_cast<size_t>(index)].get();
}

void invoke(Stream& stream, unsigned long frames) {
    std::lock_guard<std::mutex> guard(stream.call);
    if (frames > stream.frames) return; // the test asked for more than the stream was opened with
    const float value = state().inputValue.load();
    for (auto& channel : stream.in)
        std::fill(channel.begin(), channel.begin() + static_cast<long>(frames), value);
    for (auto& channel : stream.out)
        std::fill(channel.begin(), channel.end(), -7.0f); // garbage the host must overwrite
    PaStreamCallbackTimeInfo time{};
    stream.callback(stream.inPtr.empty() ? nullptr : stream.inPtr.data(), stream.outPtr.data(), frames, &time,
                    0, stream.user);
    {
        std::lock_guard<std::mutex> g(state().lock);
        std::vector<std::vector<float>>& last = state().last;
        for (size_t c = 0; c < stream.out.size() && c < last.size(); ++c)
            std::copy(stream.out[c].begin(), stream.out[c].begin() + static_cast<long>(frames),
                      last[c].begin());
    }
    state().callbacks.fetch_add(1);
}

void run(Stream* stream, Callbacks mode, int delayMs) {
    if (mode == Callbacks::Never) return;
    if (mode == Callbacks::Late) {
        // A callback already under way when the stream is closed still completes.
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    } else {
        for (int waited = 0; waited < delayMs && !stream->stop.load(); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (stream->stop.load()) return;
    }
    invoke(*stream, stream->frames);
    if (mode == Callbacks::FirstOnly) return;
    while (!stream->stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!stream->stop.load()) invoke(*stream, stream->frames);
    }
}

bool isStream(Stream* stream) {
    State& s = state();
    return std::find(s.streams.begin(), s.streams.end(), stream) != s.streams.end();
}

PaError checkFormat(const PaStreamParameters* input, const PaStreamParameters* output, double rate) {
    if (output) {
        Device* device = deviceAt(output->device);
        if (!device) return paInvalidDevice;
        if (device->desc.formatError != paNoError) return device->desc.formatError;
        if (output->channelCount < 1 || output->channelCount > device->desc.outputs)
            return paInvalidChannelCount;
        const auto& rates = device->desc.rates;
        if (!rates.empty() && std::find(rates.begin(), rates.end(), rate) == rates.end())
            return paInvalidSampleRate;
    }
    if (input) {
        Device* device = deviceAt(input->device);
        if (!device) return paInvalidDevice;
        if (input->channelCount < 1 || input->channelCount > device->desc.inputs)
            return paInvalidChannelCount;
    }
    return paNoError;
}

} // namespace

void reset() {
    State& s = state();
    std::vector<Stream*> leftovers;
    {
        std::lock_guard<std::mutex> g(s.lock);
        leftovers.swap(s.streams);
    }
    for (Stream* stream : leftovers) {
        stream->stop = true;
        if (stream->thread.joinable()) stream->thread.join();
        delete stream;
    }
    std::lock_guard<std::mutex> g(s.lock);
    s.apis.clear();
    s.devices.clear();
    s.initializeError = s.countError = paNoError;
    s.mode = Callbacks::Running;
    s.firstDelayMs = 0;
    s.opened.clear();
    s.last.clear();
    s.initializeCalls = s.terminateCalls = 0;
    s.panelDevice = -1;
    s.debug = nullptr;
    s.outputLatency = 0.0;
    s.cpuLoad = 0.0;
    s.inputValue = 0.0f;
    s.callbacks = 0;
}

int addHostApi(PaHostApiTypeId type, const std::string& name) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto api = std::make_unique<HostApi>();
    api->name = name;
    api->info.structVersion = 1;
    api->info.type = type;
    api->info.name = api->name.c_str();
    s.apis.push_back(std::move(api));
    return static_cast<int>(s.apis.size()) - 1;
}

int addDevice(const DeviceSpec& desc) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto device = std::make_unique<Device>();
    device->desc = desc;
    s.devices.push_back(std::move(device));
    return static_cast<int>(s.devices.size()) - 1;
}

DeviceSpec& device(int index) {
    return deviceAt(index)->desc;
}

void setInitializeError(PaError error) {
    state().initializeError = error;
}
void setDeviceCountError(PaError error) {
    state().countError = error;
}
void setCallbacks(Callbacks mode, int firstCallbackDelayMs) {
    std::lock_guard<std::mutex> g(state().lock);
    state().mode = mode;
    state().firstDelayMs = firstCallbackDelayMs;
}
void setOutputLatency(double seconds) {
    state().outputLatency = seconds;
}
void setCpuLoad(double load) {
    state().cpuLoad = load;
}
void setInputValue(float value) {
    state().inputValue = value;
}
int initializeCalls() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().initializeCalls;
}
int terminateCalls() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().terminateCalls;
}
std::vector<OpenedStream> opened() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().opened;
}
int openStreamCount() {
    std::lock_guard<std::mutex> g(state().lock);
    return static_cast<int>(state().streams.size());
}
uint64_t callbackCount() {
    return state().callbacks.load();
}
int panelShownFor() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().panelDevice;
}
bool debugHookInstalled() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().debug != nullptr;
}
void emitDebug(const char* text) {
    void (*print)(const char*) = nullptr;
    {
        std::lock_guard<std::mutex> g(state().lock);
        print = state().debug;
    }
    if (print) print(text);
}

bool runCallback(unsigned long frames) {
    Stream* stream = nullptr;
    {
        std::lock_guard<std::mutex> g(state().lock);
        if (state().streams.empty()) return false;
        stream = state().streams.back();
    }
    invoke(*stream, frames);
    return true;
}

std::vector<std::vector<float>> lastOutput() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().last;
}

} // namespace quorvel::test::pa

using namespace quorvel::test::pa;

extern "C" {

const char* Pa_GetVersionText(void) {
    return "PortAudio V19-test-double";
}

int Pa_GetVersion(void) {
    return 1900;
}

const char* Pa_GetErrorText(PaError code) {
    switch (code) {
    case paNoError:
        return "Success";
    case paInvalidChannelCount:
        return "Invalid number of channels";
    case paInvalidSampleRate:
        return "Invalid sample rate";
    case paInvalidDevice:
        return "Invalid device";
    case paUnanticipatedHostError:
        return "Unanticipated host error";
    case paNotInitialized:
        return "PortAudio not initialized";
    case paDeviceUnavailable:
        return "Device unavailable";
    case paInvalidHostApi:
        return "Invalid host API";
    case paInsufficientMemory:
        return "Insufficient memory";
    default:
        return "Illegal error number";
    }
}

PaError Pa_Initialize(void) {
    std::lock_guard<std::mutex> g(state().lock);
    ++state().initializeCalls;
    return state().initializeError;
}

PaError Pa_Terminate(void) {
    std::vector<Stream*> leftovers;
    {
        std::lock_guard<std::mutex> g(state().lock);
        ++state().terminateCalls;
        leftovers.swap(state().streams);
    }
    // Like the library: terminating closes whatever is still open.
    for (Stream* stream : leftovers) {
        stream->stop = true;
        if (stream->thread.joinable()) stream->thread.join();
        delete stream;
    }
    return paNoError;
}

PaDeviceIndex Pa_GetDeviceCount(void) {
    std::lock_guard<std::mutex> g(state().lock);
    if (state().countError != paNoError) return state().countError;
    if (state().initializeError != paNoError) return paNotInitialized;
    return static_cast<PaDeviceIndex>(state().devices.size());
}

PaHostApiIndex Pa_GetHostApiCount(void) {
    std::lock_guard<std::mutex> g(state().lock);
    return static_cast<PaHostApiIndex>(state().apis.size());
}

PaDeviceIndex Pa_GetDefaultOutputDevice(void) {
    std::lock_guard<std::mutex> g(state().lock);
    return state().devices.empty() ? paNoDevice : 0;
}

const PaDeviceInfo* Pa_GetDeviceInfo(PaDeviceIndex index) {
    std::lock_guard<std::mutex> g(state().lock);
    Device* device = deviceAt(index);
    if (!device || device->desc.nullInfo) return nullptr;
    PaDeviceInfo& info = device->info;
    info.structVersion = 2;
    info.name = device->desc.name.c_str();
    info.hostApi = device->desc.hostApi;
    info.maxInputChannels = device->desc.inputs;
    info.maxOutputChannels = device->desc.outputs;
    info.defaultLowInputLatency = device->desc.lowInputLatency;
    info.defaultLowOutputLatency = device->desc.lowOutputLatency;
    info.defaultHighInputLatency = device->desc.highInputLatency;
    info.defaultHighOutputLatency = device->desc.highOutputLatency;
    info.defaultSampleRate = device->desc.defaultSampleRate;
    return &info;
}

const PaHostApiInfo* Pa_GetHostApiInfo(PaHostApiIndex index) {
    std::lock_guard<std::mutex> g(state().lock);
    if (index < 0 || static_cast<size_t>(index) >= state().apis.size()) return nullptr;
    return &state().apis[static_cast<size_t>(index)]->info;
}

PaError Pa_IsFormatSupported(const PaStreamParameters* input, const PaStreamParameters* output, double rate) {
    std::lock_guard<std::mutex> g(state().lock);
    return checkFormat(input, output, rate);
}

PaError Pa_OpenStream(PaStream** out, const PaStreamParameters* input, const PaStreamParameters* output,
                      double rate, unsigned long framesPerBuffer, PaStreamFlags flags,
                      PaStreamCallback* callback, void* user) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    OpenedStream record;
    if (input) {
        record.inputDevice = input->device;
        record.inputChannels = input->channelCount;
    }
    if (output) {
        record.outputDevice = output->device;
        record.outputChannels = output->channelCount;
        record.outputFormat = output->sampleFormat;
        record.suggestedLatency = output->suggestedLatency;
        if (output->hostApiSpecificStreamInfo) {
            // Every host-specific record starts with size, host API type and version.
            const auto* head = static_cast<const PaWinMmeStreamInfo*>(output->hostApiSpecificStreamInfo);
            record.hostInfoType = head->hostApiType;
            record.hostInfoSize = head->size;
            record.hostInfoVersion = head->version;
            record.hostInfoFlags = head->flags;
            if (head->hostApiType == paMME) {
                record.mmeFramesPerBuffer = head->framesPerBuffer;
                record.mmeBufferCount = head->bufferCount;
            }
#if defined(PA_USE_ASIO)
            if (head->hostApiType == paASIO) {
                const auto* asio = static_cast<const PaAsioStreamInfo*>(output->hostApiSpecificStreamInfo);
                record.asioSelectors[0] = asio->channelSelectors[0];
                record.asioSelectors[1] = asio->channelSelectors[1];
            }
#endif
        }
    }
    record.sampleRate = rate;
    record.framesPerBuffer = framesPerBuffer;
    record.streamFlags = flags;
    s.opened.push_back(record);
    Device* device = output ? deviceAt(output->device) : nullptr;
    if (!device) return paInvalidDevice;
    if (device->desc.openError != paNoError) return device->desc.openError;
    const PaError format = checkFormat(input, output, rate);
    if (format != paNoError) return format;
    auto* stream = new Stream();
    stream->callback = callback;
    stream->user = user;
    stream->device = output->device;
    stream->frames = framesPerBuffer;
    const int inputs = input ? input->channelCount : 0;
    stream->in.assign(static_cast<size_t>(inputs), std::vector<float>(framesPerBuffer));
    stream->out.assign(static_cast<size_t>(output->channelCount), std::vector<float>(framesPerBuffer));
    for (auto& channel : stream->in)
        stream->inPtr.push_back(channel.data());
    for (auto& channel : stream->out)
        stream->outPtr.push_back(channel.data());
    s.last.assign(stream->out.size(), std::vector<float>(framesPerBuffer, 0.0f));
    s.streams.push_back(stream);
    *out = stream;
    return paNoError;
}

PaError Pa_StartStream(PaStream* handle) {
    auto* stream = static_cast<Stream*>(handle);
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (!isStream(stream)) return paBadStreamPtr;
    Device* device = deviceAt(stream->device);
    if (device && device->desc.startError != paNoError) return device->desc.startError;
    stream->thread = std::thread(run, stream, s.mode, s.firstDelayMs);
    return paNoError;
}

static PaError closeOrStop(PaStream* handle, bool close) {
    auto* stream = static_cast<Stream*>(handle);
    PaError error = paNoError;
    {
        std::lock_guard<std::mutex> g(state().lock);
        if (!isStream(stream)) return paBadStreamPtr;
        if (close) {
            Device* device = deviceAt(stream->device);
            if (device) error = device->desc.closeError;
            auto& streams = state().streams;
            streams.erase(std::find(streams.begin(), streams.end(), stream));
        }
    }
    stream->stop = true;
    if (stream->thread.joinable()) stream->thread.join();
    if (close) delete stream;
    return error;
}

PaError Pa_CloseStream(PaStream* stream) {
    return closeOrStop(stream, true);
}

PaError Pa_StopStream(PaStream* stream) {
    return closeOrStop(stream, false);
}

PaError Pa_AbortStream(PaStream* stream) {
    return closeOrStop(stream, false);
}

const PaStreamInfo* Pa_GetStreamInfo(PaStream* handle) {
    auto* stream = static_cast<Stream*>(handle);
    if (!stream) return nullptr;
    stream->info.structVersion = 1;
    stream->info.outputLatency = state().outputLatency.load();
    return &stream->info;
}

double Pa_GetStreamCpuLoad(PaStream*) {
    return state().cpuLoad.load();
}

typedef void (*PaUtilLogCallback)(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback callback) {
    std::lock_guard<std::mutex> g(state().lock);
    state().debug = callback;
}

PaError PaAsio_GetAvailableBufferSizes(PaDeviceIndex index, long* minimum, long* maximum, long* preferred,
                                       long* granularity) {
    std::lock_guard<std::mutex> g(state().lock);
    Device* device = deviceAt(index);
    if (!device) return paInvalidDevice;
    if (device->desc.asioError != paNoError) return device->desc.asioError;
    *minimum = device->desc.asioMin;
    *maximum = device->desc.asioMax;
    *preferred = device->desc.asioPreferred;
    *granularity = device->desc.asioGranularity;
    return paNoError;
}

PaError PaAsio_ShowControlPanel(PaDeviceIndex index, void*) {
    std::lock_guard<std::mutex> g(state().lock);
    Device* device = deviceAt(index);
    if (!device) return paInvalidDevice;
    if (device->desc.panelError != paNoError) return device->desc.panelError;
    state().panelDevice = index;
    return paNoError;
}

} // extern "C"
