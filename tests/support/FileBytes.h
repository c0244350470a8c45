// flipByte: changes one byte of a file in place, as a tampered or damaged file would have it.
// readFileBytes: a whole file's bytes (empty when it cannot be read).
//
//   vantor::test::flipByte(path, 1024);   // the byte at offset 1024 XOR 0x5A
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace vantor::test {

inline void flipByte(const std::filesystem::path& file, std::streamoff offset) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    char byte = 0;
    stream.seekg(offset);
    stream.read(&byte, 1);
    byte = static_cast<char>(byte ^ 0x5A);
    stream.seekp(offset);
    stream.write(&byte, 1);
}

inline std::vector<uint8_t> readFileBytes(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

} // namespace vantor::test
