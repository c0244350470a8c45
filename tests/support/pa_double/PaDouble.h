// A scriptable stand-in for the audio I/O library's C interface, linked into the unit tests
// instead of the real library. A test describes host APIs and devices, the answers to format
// questions and the errors of each call, and how the stream's callback thread behaves: running,
// never calling back, calling back late, or calling back once and leaving the rest to the test
// (which then drives the callback on its own thread with runCallback).
//
//   namespace pa = quorvel::test::pa;
//   pa::reset();
//   int mme = pa::addHostApi(paMME, "MME");
//   pa::DeviceSpec desc; desc.name = "Speakers"; desc.hostApi = mme; desc.outputs = 2;
//   int dev = pa::addDevice(desc);
//   ... DeviceManager::init() enumerates it; AudioDevice::onPlay opens and starts a stream ...
//   pa::opened().back().mmeFramesPerBuffer   // what the host asked for
//
// Everything here is process-wide, like the library; call reset() at the start of each test.
#pragma once

#include "devices/PaHostApi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::test::pa {

struct DeviceSpec {
    std::string name = "Device";
    int hostApi = 0; // index returned by addHostApi
    int inputs = 0;
    int outputs = 2;
    double defaultSampleRate = 44100.0;
    double lowInputLatency = 0.01;
    double lowOutputLatency = 0.01;
    double highInputLatency = 0.1;
    double highOutputLatency = 0.1;
    bool nullInfo = false;                          // Pa_GetDeviceInfo answers null
    std::vector<double> rates = {44100.0, 48000.0}; // supported; empty means every rate
    PaError formatError = paNoError;                // forced answer of Pa_IsFormatSupported
    PaError openError = paNoError;
    PaError startError = paNoError;
    PaError closeError = paNoError;
    // ASIO extension answers.
    long asioMin = 0, asioMax = 0, asioPreferred = 0, asioGranularity = 0;
    PaError asioError = paNoError;
    PaError panelError = paNoError;
};

enum class Callbacks {
    Running,   // a thread calls back continuously from the start
    Never,     // the stream starts but never calls back
    FirstOnly, // one callback from the library's thread, then the test drives runCallback
    Late,      // the first callback after the delay, which closing the stream waits out; then
               // running
};

// What the host passed to Pa_OpenStream.
struct OpenedStream {
    int inputDevice = -1;
    int inputChannels = 0;
    int outputDevice = -1;
    int outputChannels = 0;
    unsigned long outputFormat = 0;
    double suggestedLatency = 0.0;
    double sampleRate = 0.0;
    unsigned long framesPerBuffer = 0;
    unsigned long streamFlags = 0;
    // Host-specific output information (-1: none given).
    int hostInfoType = -1;
    unsigned long hostInfoSize = 0;
    unsigned long hostInfoVersion = 0;
    unsigned long hostInfoFlags = 0;
    unsigned long mmeFramesPerBuffer = 0;
    unsigned long mmeBufferCount = 0;
    int asioSelectors[2] = {-1, -1};
};

void reset();
int addHostApi(PaHostApiTypeId type, const std::string& name);
int addDevice(const DeviceSpec& desc);
DeviceSpec& device(int index);

void setInitializeError(PaError error);
void setDeviceCountError(PaError error); // a negative count
void setCallbacks(Callbacks mode, int firstCallbackDelayMs = 0);
void setOutputLatency(double seconds);
void setCpuLoad(double load);
// Fills every input channel of later callbacks with this value.
void setInputValue(float value);

int initializeCalls();
int terminateCalls();
std::vector<OpenedStream> opened();
int openStreamCount(); // opened and not yet closed
uint64_t callbackCount();
int panelShownFor(); // device of the last control panel call, -1 if none
bool debugHookInstalled();
// Sends a text through the installed debug-print hook, as the library's back ends do.
void emitDebug(const char* text);

// FirstOnly mode: one callback on the calling thread with `frames` frames. False without a
// started stream.
bool runCallback(unsigned long frames);
// The output channels the last callback produced.
std::vector<std::vector<float>> lastOutput();

} // namespace quorvel::test::pa
