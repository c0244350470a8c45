// flipByte: changes one byte of a file in place, as a tampered or damaged file would have it.
//
//   vantor::test::flipByte(path, 1024);   // the byte at offset 1024 XOR 0x5A
#pragma once

#include <filesystem>
#include <fstream>

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

} // namespace vantor::test
