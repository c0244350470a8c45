/* The contract between the host and the Brevian engine component: the component's one entry
 * point, its operation numbers, the structures passed through it and the host callback.
 * Plain C so that an engine component can be written in either language.
 *
 * Threads: BREVIAN_OP_PROCESS comes from the audio thread (or the offline render thread), one
 * block at a time and never at the same time as SET_STREAM, START, STOP or the state operations;
 * every other operation comes from the host's GUI thread. The engine may call the host callback
 * and engineOpcode from any thread of its own. */
#ifndef QUORVEL_ENGINEAPI_BREVIANCOMPONENT_H
#define QUORVEL_ENGINEAPI_BREVIANCOMPONENT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define BREVIAN_EXPORT __declspec(dllexport)
#else
#define BREVIAN_EXPORT __attribute__((visibility("default")))
#endif

/* Name of the entry point the host looks up in the component. */
#define BREVIAN_ENTRY_POINT_NAME "brevianOpcode"

/* handle: the engine handle, the editor handle or null, per operation. 0 means success. */
typedef int32_t (*BrevianOpcodeFunction)(void* handle, int32_t operation, void* p1, void* p2, void* p3,
                                         int32_t i1, int32_t i2, int32_t i3, float f);

/* Operations the host issues, in the order of a run. */
enum BrevianOperation {
    BREVIAN_OP_GET_VERSION = 8,    /* null; p1: 32-byte buffer for a NUL-terminated version text */
    BREVIAN_OP_CREATE = 9,         /* null; p1: BrevianHostDescriptor*; p2: void** engine handle out */
    BREVIAN_OP_DESTROY = 10,       /* engine */
    BREVIAN_OP_SET_STREAM = 11,    /* engine; i1: sample rate; i2: block size */
    BREVIAN_OP_STOP = 12,          /* engine; stop processing */
    BREVIAN_OP_START = 13,         /* engine; i1: offline flag 0/1 */
    BREVIAN_OP_PROCESS = 15,       /* engine; p1: BrevianEventBlock*; p2: float*[2] zeroed; i1: frames */
    BREVIAN_OP_STATE_SAVE = 18,    /* engine; p1: void** data out; p2: int32_t* size out; engine owns data */
    BREVIAN_OP_STATE_LOAD = 19,    /* engine; p1: state bytes; i1: size */
    BREVIAN_OP_EDITOR_ATTACH = 21, /* engine; p1: editor handle */
    BREVIAN_OP_EDITOR_DETACH = 22, /* engine; p1: editor handle */
    BREVIAN_OP_EDITOR_CREATE =
        23, /* null; p1: UTF-8 path of "Product.xml"; p2: void** editor out; p3: engine */
    BREVIAN_OP_EDITOR_DESTROY = 24,    /* editor */
    BREVIAN_OP_EDITOR_OPEN = 25,       /* editor; p1: parent window handle */
    BREVIAN_OP_IDLE = 26,              /* engine; every 16 ms on the GUI thread */
    BREVIAN_OP_EDITOR_GET_SIZE = 27,   /* editor; p1: int32_t* height out; p2: int32_t* width out */
    BREVIAN_OP_SET_HOST_CALLBACK = 32, /* engine; p1: BrevianHostCallback; p2: callback context */
    BREVIAN_OP_OPEN_FILE = 40          /* engine; p1: UTF-8 file path */
};

/* Size of the version text buffer of BREVIAN_OP_GET_VERSION. */
#define BREVIAN_VERSION_BUFFER_SIZE 32

/* The value the host puts in BrevianHostDescriptor.hostTag: "QRVLHOST" in ASCII. */
#define BREVIAN_HOST_TAG UINT64_C(0x5152564C484F5354)
#define BREVIAN_HOST_DESCRIPTOR_VERSION UINT64_C(2)

/* Four 64-bit fields: 0, 2, the host tag, the address of the NUL-terminated UTF-8 data directory. */
typedef struct BrevianHostDescriptor {
    uint64_t reserved;      /* 0 */
    uint64_t version;       /* BREVIAN_HOST_DESCRIPTOR_VERSION */
    uint64_t hostTag;       /* BREVIAN_HOST_TAG */
    uint64_t dataDirectory; /* (uint64_t)(uintptr_t)(const char*) */
} BrevianHostDescriptor;

/* The 16-byte MIDI event record: status, data1, data2, 0, frame offset, time stamp, note tag. */
typedef struct BrevianMidiEvent {
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
    uint8_t reserved;
    int32_t frameOffset;
    uint32_t timeStamp;
    float noteTag;
} BrevianMidiEvent;

#define BREVIAN_MAX_BLOCK_EVENTS 1024

/* The events of one block: a 64-bit count (at most BREVIAN_MAX_BLOCK_EVENTS), then the records. */
typedef struct BrevianEventBlock {
    uint64_t count;
    BrevianMidiEvent events[BREVIAN_MAX_BLOCK_EVENTS];
} BrevianEventBlock;

/* The engine calls back the host through this; the host answers 0. p1, p2, i3 and f are not read. */
typedef int32_t (*BrevianHostCallback)(int32_t code, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3,
                                       float f, void* context);

/* Host callback code: fit the main window to an editor of i1 x i2 pixels (width x height). */
#define BREVIAN_HOST_EDITOR_RESIZED 8198

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(BrevianHostDescriptor) == 32, "the host descriptor is four 64-bit fields");
static_assert(sizeof(BrevianMidiEvent) == 16, "the MIDI event record is 16 bytes");
static_assert(sizeof(BrevianEventBlock) == 8 + 16 * BREVIAN_MAX_BLOCK_EVENTS, "count then records");
#endif

#endif /* QUORVEL_ENGINEAPI_BREVIANCOMPONENT_H */
