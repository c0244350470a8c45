// The opcode dispatcher, one function per group of opcodes, each in its own file. A group returns
// true when the opcode is one of its own and leaves its result code in `result`.
#pragma once

#include "bridge/EngineManager.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {
class GraphManager;
}

namespace vantor::dispatch {

// The graph while the engine is initialised, else null: opcodes that find none touch nothing.
GraphManager* liveGraph(EngineManager& manager);
// True while the device manager reports the context playing.
bool isPlaying(EngineManager& manager);

// Copies at most `capacity - 1` bytes, backing off so a multi-byte UTF-8 character is never cut in
// half, and terminates.
void copyName(char* out, size_t capacity, const std::string& name);

// The shape every list opcode shares. Count mode (`fillMode` false): `count` is required and
// receives the full count. Fill mode: fill(i) writes entry i for the first min(capacity, total)
// entries; `count`, when given, receives that number, and without it the result is 1 although the
// entries were written.
template <class Fill>
int32_t answerListBy(size_t total, bool fillMode, int32_t* count, int32_t capacity, Fill fill) {
    if (!fillMode) {
        if (!count) return kEngineFailed;
        *count = static_cast<int32_t>(total);
        return kEngineOk;
    }
    const size_t wanted = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    const size_t written = wanted < total ? wanted : total;
    for (size_t i = 0; i < written; ++i)
        fill(i);
    if (!count) return kEngineFailed;
    *count = static_cast<int32_t>(written);
    return kEngineOk;
}

// answerListBy for a list whose entries are copied as they are.
template <class Entry, class Source>
int32_t answerList(const Source& list, Entry* out, int32_t* count, int32_t capacity) {
    return answerListBy(list.size(), out != nullptr, count, capacity, [&](size_t i) { out[i] = list[i]; });
}

bool lifecycleOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result);   // 260-264, 560-561
bool audioDeviceOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result); // 280-302
bool midiFileOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result);    // 303-308
bool instrumentOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result);  // 330-337
bool midiDeviceOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result);  // 510-513
bool recordingOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result);   // 530-534

} // namespace vantor::dispatch
