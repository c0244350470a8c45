#include "EngineState.h"

#include <cstring>

namespace brevian {

namespace {

void putU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t getU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void putF32(uint8_t* p, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    putU32(p, bits);
}

float getF32(const uint8_t* p) {
    const uint32_t bits = getU32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

// FNV-1a: enough to tell a damaged block from a good one.
uint32_t checksum(const uint8_t* p, std::size_t n) {
    uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 16777619u;
    }
    return h;
}

float* patchFields(Patch& p, std::size_t i) {
    float* fields[] = {&p.attack,    &p.decay,     &p.sustain, &p.release,  &p.cutoff,
                       &p.resonance, &p.envAmount, &p.detune,  &p.subLevel, &p.volume};
    return fields[i];
}

} // namespace

void encodeState(const Patch& patch, StateBytes& out) {
    out.fill(0);
    Patch p = patch;
    uint8_t* body = out.data() + kStateHeaderSize;
    std::memcpy(body, p.name.data(), kPatchNameSize);
    body[kPatchNameSize - 1] = 0;
    for (std::size_t i = 0; i < 10; ++i)
        putF32(body + kPatchNameSize + 4 * i, *patchFields(p, i));
    putU32(out.data(), kStateMagic);
    putU32(out.data() + 4, kStateVersion);
    putU32(out.data() + 8, static_cast<uint32_t>(kStateSize));
    putU32(out.data() + 12, checksum(body, kStateBodySize));
}

bool looksLikeState(const void* data, std::size_t size) {
    return data != nullptr && size >= 4 && getU32(static_cast<const uint8_t*>(data)) == kStateMagic;
}

StateError decodeState(const void* data, std::size_t size, Patch& out) {
    if (data == nullptr) return StateError::Null;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size < kStateHeaderSize) return StateError::TooShort;
    if (getU32(bytes) != kStateMagic) return StateError::BadMagic;
    if (getU32(bytes + 4) != kStateVersion) return StateError::NewerVersion;
    if (getU32(bytes + 8) != kStateSize || size != kStateSize) return StateError::SizeMismatch;
    const uint8_t* body = bytes + kStateHeaderSize;
    if (getU32(bytes + 12) != checksum(body, kStateBodySize)) return StateError::BadChecksum;
    Patch p;
    std::memcpy(p.name.data(), body, kPatchNameSize);
    for (std::size_t i = 0; i < 10; ++i)
        *patchFields(p, i) = getF32(body + kPatchNameSize + 4 * i);
    if (!patchIsValid(p)) return StateError::BadValues;
    out = p;
    return StateError::None;
}

} // namespace brevian
