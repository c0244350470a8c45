// The audio I/O library's public C interface plus the host-specific stream records and ASIO
// extensions the audio device uses, as PortAudio 19.7 declares them. The records are declared here
// with the library's field layout rather than taken from its Windows headers, which need
// <windows.h>; the same code then builds everywhere and can be driven by a test double. The sizes
// are checked against the library's on Win64.
#pragma once

#include <portaudio.h>

extern "C" {
typedef unsigned long PaWinWaveFormatChannelMask;
typedef struct PaWinMmeDeviceAndChannelCount {
    PaDeviceIndex device;
    int channelCount;
} PaWinMmeDeviceAndChannelCount;
typedef struct PaWinMmeStreamInfo {
    unsigned long size;
    PaHostApiTypeId hostApiType;
    unsigned long version;
    unsigned long flags;
    unsigned long framesPerBuffer;
    unsigned long bufferCount;
    PaWinMmeDeviceAndChannelCount* devices;
    unsigned long deviceCount;
    PaWinWaveFormatChannelMask channelMask;
} PaWinMmeStreamInfo;
}
#define paWinMmeUseLowLevelLatencyParameters (0x01)

extern "C" {
typedef void (*PaWasapiHostProcessorCallback)(void* inputBuffer, long inputFrames, void* outputBuffer,
                                              long outputFrames, void* userData);
typedef struct PaWasapiStreamInfo {
    unsigned long size;
    PaHostApiTypeId hostApiType;
    unsigned long version;
    unsigned long flags;
    unsigned long channelMask;
    PaWasapiHostProcessorCallback hostProcessorOutput;
    PaWasapiHostProcessorCallback hostProcessorInput;
    int threadPriority;
    int streamCategory;
    int streamOption;
} PaWasapiStreamInfo;
}
#define paWinWasapiExclusive (1 << 0)

#if defined(PA_USE_ASIO)
extern "C" {
typedef struct PaAsioStreamInfo {
    unsigned long size;
    PaHostApiTypeId hostApiType;
    unsigned long version;
    unsigned long flags;
    int* channelSelectors;
} PaAsioStreamInfo;
PaError PaAsio_GetAvailableBufferSizes(PaDeviceIndex device, long* minBufferSizeFrames,
                                       long* maxBufferSizeFrames, long* preferredBufferSizeFrames,
                                       long* granularity)
#if !defined(_WIN32)
    // The native library carries no ASIO back end: resolved only where something provides it.
    __attribute__((weak))
#endif
    ;
PaError PaAsio_ShowControlPanel(PaDeviceIndex device, void* systemSpecific)
#if !defined(_WIN32)
    __attribute__((weak))
#endif
    ;
}
#define paAsioUseChannelSelectors (0x01)
#define PaAsio_GetAvailableLatencyValues PaAsio_GetAvailableBufferSizes
#if defined(_WIN64)
static_assert(sizeof(PaAsioStreamInfo) == 24, "the library's ASIO stream record");
#endif
#endif

#if defined(_WIN64)
static_assert(sizeof(PaWinMmeStreamInfo) == 40, "the library's MME stream record");
static_assert(sizeof(PaWasapiStreamInfo) == 56, "the library's WASAPI stream record");
#endif

namespace vantor {

// The device manager's host-API codes. 0..4 are the kinds of the Windows build; the others are
// the native library's Linux back ends, accepted so the portable build can play too. The opcode
// records carry 0 for every code above 4.
enum HostApiCode : int {
    kHostApiMME = 0,
    kHostApiDirectSound = 1,
    kHostApiASIO = 2,
    kHostApiCoreAudio = 3,
    kHostApiWASAPI = 4,
    kHostApiALSA = 5,
    kHostApiJACK = 6,
    kHostApiOSS = 7,
};

} // namespace vantor
