// The ASIO driver interface as a host sees it: scalar types, result codes, the structures and
// callbacks exchanged with a driver, the driver-message selectors, and the C functions a host calls
// on the one loaded driver. The names are the ones PortAudio's ASIO host API uses.
//
// An independent declaration written for this project from the interface's published facts
// (method order, structure layouts, constant values); no text of the vendor's SDK is used. See
// ../README.md. The functions are implemented by ../AsioLayer_win32.cpp.
#pragma once

#include "asiosys.h"

#include <stddef.h>

typedef long ASIOBool;
enum { ASIOFalse = 0, ASIOTrue = 1 };

typedef long ASIOError;
enum {
    ASE_OK = 0,
    ASE_SUCCESS = 0x3f4847a0, // what future() answers for a selector it handled
    ASE_NotPresent = -1000,
    ASE_HWMalfunction = -999,
    ASE_InvalidParameter = -998,
    ASE_InvalidMode = -997,
    ASE_SPNotAdvancing = -996,
    ASE_NoClock = -995,
    ASE_NoMemory = -994
};

typedef double ASIOSampleRate;

// Sample formats of a channel's buffers: MSB / LSB is the byte order; Int32xx16..24 carry that many
// significant bits right-aligned in 32.
typedef long ASIOSampleType;
enum {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
    ASIOSTDSDInt8LSB1 = 32,
    ASIOSTDSDInt8MSB1 = 33,
    ASIOSTDSDInt8NER8 = 40,
    ASIOSTLastEntry
};

// Selectors of the host's message callback (asioMessage): the driver asks whether a selector is
// supported, tells the host its engine version, or reports a change the host must act on.
enum {
    kAsioSelectorSupported = 1,
    kAsioEngineVersion,
    kAsioResetRequest,     // stop, dispose and reload the driver at the next safe moment
    kAsioBufferSizeChange, // value: the new buffer size; answer 0 to get a reset request instead
    kAsioResyncRequest,
    kAsioLatenciesChanged,
    kAsioSupportsTimeInfo,
    kAsioSupportsTimeCode,
    kAsioMMCCommand,
    kAsioSupportsInputMonitor,
    kAsioSupportsInputGain,
    kAsioSupportsInputMeter,
    kAsioSupportsOutputGain,
    kAsioSupportsOutputMeter,
    kAsioOverload,
    kAsioNumMessageSelectors
};

// Flags of AsioTimeInfo and ASIOTimeCode.
enum {
    kSystemTimeValid = 1,
    kSamplePositionValid = 1 << 1,
    kSampleRateValid = 1 << 2,
    kSpeedValid = 1 << 3,
    kSampleRateChanged = 1 << 4,
    kClockSourceChanged = 1 << 5
};
enum {
    kTcValid = 1,
    kTcRunning = 1 << 1,
    kTcReverse = 1 << 2,
    kTcOnspeed = 1 << 3,
    kTcStill = 1 << 4,
    kTcSpeedValid = 1 << 8
};

// Drivers are built with 4-byte packing of these structures; a host must use the same layout.
#pragma pack(push, 4)

// A 64-bit count as two 32-bit halves, the high half first.
typedef struct ASIOSamples {
    unsigned long hi;
    unsigned long lo;
} ASIOSamples;
typedef struct ASIOTimeStamp { // nanoseconds of the system clock
    unsigned long hi;
    unsigned long lo;
} ASIOTimeStamp;

typedef struct ASIODriverInfo {
    long asioVersion;       // in: the host's interface version (2)
    long driverVersion;     // out
    char name[32];          // out
    char errorMessage[124]; // out, when init fails
    void* sysRef;           // in: the host's main window
} ASIODriverInfo;

typedef struct ASIOClockSource {
    long index;
    long associatedChannel;
    long associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
} ASIOClockSource;

typedef struct ASIOChannelInfo {
    long channel;     // in
    ASIOBool isInput; // in
    ASIOBool isActive;
    long channelGroup;
    ASIOSampleType type;
    char name[32];
} ASIOChannelInfo;

typedef struct ASIOBufferInfo {
    ASIOBool isInput; // in
    long channelNum;  // in
    void* buffers[2]; // out: the two halves the driver alternates between
} ASIOBufferInfo;

typedef struct AsioTimeInfo {
    double speed;
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    unsigned long flags;
    char reserved[12];
} AsioTimeInfo;

typedef struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    unsigned long flags;
    char future[64];
} ASIOTimeCode;

typedef struct ASIOTime {
    long reserved[4];
    struct AsioTimeInfo timeInfo;
    struct ASIOTimeCode timeCode;
} ASIOTime;

// What the host hands the driver with createBuffers; the driver calls them on its own thread.
typedef struct ASIOCallbacks {
    void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sRate);
    long (*asioMessage)(long selector, long value, void* message, double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, long doubleBufferIndex, ASIOBool directProcess);
} ASIOCallbacks;

#pragma pack(pop)

#if defined(__cplusplus) && defined(_WIN64)
// The layout every driver shares (LLP64: long is 32 bits, pointers 64).
static_assert(sizeof(ASIOSamples) == 8 && offsetof(ASIOSamples, lo) == 4, "ASIOSamples");
static_assert(sizeof(ASIOTimeStamp) == 8 && offsetof(ASIOTimeStamp, lo) == 4, "ASIOTimeStamp");
static_assert(sizeof(ASIODriverInfo) == 172, "ASIODriverInfo");
static_assert(offsetof(ASIODriverInfo, name) == 8 && offsetof(ASIODriverInfo, errorMessage) == 40 &&
                  offsetof(ASIODriverInfo, sysRef) == 164,
              "ASIODriverInfo fields");
static_assert(sizeof(ASIOClockSource) == 48 && offsetof(ASIOClockSource, name) == 16, "ASIOClockSource");
static_assert(sizeof(ASIOChannelInfo) == 52 && offsetof(ASIOChannelInfo, type) == 16 &&
                  offsetof(ASIOChannelInfo, name) == 20,
              "ASIOChannelInfo");
static_assert(sizeof(ASIOBufferInfo) == 24 && offsetof(ASIOBufferInfo, buffers) == 8, "ASIOBufferInfo");
static_assert(sizeof(AsioTimeInfo) == 48 && offsetof(AsioTimeInfo, systemTime) == 8 &&
                  offsetof(AsioTimeInfo, samplePosition) == 16 && offsetof(AsioTimeInfo, sampleRate) == 24 &&
                  offsetof(AsioTimeInfo, flags) == 32,
              "AsioTimeInfo");
static_assert(sizeof(ASIOTimeCode) == 84 && offsetof(ASIOTimeCode, timeCodeSamples) == 8 &&
                  offsetof(ASIOTimeCode, flags) == 16,
              "ASIOTimeCode");
static_assert(sizeof(ASIOTime) == 148 && offsetof(ASIOTime, timeInfo) == 16 &&
                  offsetof(ASIOTime, timeCode) == 64,
              "ASIOTime");
static_assert(sizeof(ASIOCallbacks) == 32 && offsetof(ASIOCallbacks, asioMessage) == 16 &&
                  offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 24,
              "ASIOCallbacks");
#endif

// The host's calls on the loaded driver (AsioDrivers::loadDriver chooses it). Without a loaded
// driver every call answers ASE_NotPresent; ASIOInit must succeed before the others are used.
ASIOError ASIOInit(ASIODriverInfo* info);
ASIOError ASIOExit(void);
ASIOError ASIOStart(void);
ASIOError ASIOStop(void);
ASIOError ASIOGetChannels(long* numInputChannels, long* numOutputChannels);
ASIOError ASIOGetLatencies(long* inputLatency, long* outputLatency);
ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity);
ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetSampleRate(ASIOSampleRate* currentRate);
ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetClockSources(ASIOClockSource* clocks, long* numSources);
ASIOError ASIOSetClockSource(long reference);
ASIOError ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp);
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);
ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks);
ASIOError ASIODisposeBuffers(void);
ASIOError ASIOControlPanel(void);
ASIOError ASIOFuture(long selector, void* params);
ASIOError ASIOOutputReady(void);
