// The engine's state as a byte block: magic "BRVS", format version, total size, a checksum of the
// body, then the patch. All numbers little-endian, so a state saved on one machine loads on another.
#pragma once

#include "Patch.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace brevian {

constexpr uint32_t kStateMagic = 0x53565242; // "BRVS" as bytes in a little-endian file
constexpr uint32_t kStateVersion = 1;
constexpr std::size_t kStateHeaderSize = 16; // magic, version, size, checksum
constexpr std::size_t kStateBodySize = kPatchNameSize + 10 * 4;
constexpr std::size_t kStateSize = kStateHeaderSize + kStateBodySize;

using StateBytes = std::array<uint8_t, kStateSize>;

enum class StateError { None, Null, TooShort, BadMagic, NewerVersion, SizeMismatch, BadChecksum, BadValues };

void encodeState(const Patch& patch, StateBytes& out);

// Accepts exactly one block of this format; anything foreign, truncated, padded or out of range
// is refused and `out` is left alone.
StateError decodeState(const void* data, std::size_t size, Patch& out);

bool looksLikeState(const void* data, std::size_t size);

} // namespace brevian
