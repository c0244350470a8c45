// The audio I/O library's public C interface plus the host-specific stream records the audio
// device hands it. Where the library's own Windows headers are on the include path they are used;
// elsewhere (the native build, whose library has no Windows back ends) records with the same
// fields stand in, so the same code builds everywhere and can be driven by a test double.
#pragma once

#include <portaudio.h>

#if defined(_WIN32) && __has_include(<pa_win_wmme.h>)
#include <pa_win_wmme.h>
#else
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
#endif

#if defined(_WIN32) && __has_include(<pa_win_wasapi.h>)
#include <pa_win_wasapi.h>
#else
extern "C" {
typedef unsigned long (*PaWasapiHostProcessorCallback)(void* inputBuffer, long inputFrames,
                                                       void* outputBuffer, long outputFrames, void* userData);
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
#endif

#if defined(PA_USE_ASIO)
#if __has_include(<pa_asio.h>)
#include <pa_asio.h>
#else
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
#endif
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
