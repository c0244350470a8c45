// Helpers for the engine's tests: a private data directory, an engine created through the entry
// point, and rendering of blocks with events placed at frame offsets.
#pragma once

#include "BrevianComponent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" int32_t brevianOpcode(void* handle, int32_t operation, void* p1, void* p2, void* p3, int32_t i1,
                                 int32_t i2, int32_t i3, float f);

namespace enginetest {

std::string utf8(const std::filesystem::path& path);

// A fresh folder under the temporary directory, removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::string utf8() const { return enginetest::utf8(path_); }
    void write(const std::string& name, const std::string& content) const;
    void copyShipped(const std::string& name) const; // from the data/ folder of the project

private:
    std::filesystem::path path_;
};

std::string shippedFile(const std::string& name);

struct Descriptor {
    explicit Descriptor(const std::string& dir, uint64_t tag = BREVIAN_HOST_TAG);
    std::string directory;
    BrevianHostDescriptor raw{};
};

// An engine created from a data directory holding the shipped data file, at 48 kHz.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    int32_t op(int32_t operation, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0) {
        return brevianOpcode(engine, operation, p1, p2, nullptr, i1, i2, 0, 0.f);
    }

    struct Event {
        uint8_t status, data1, data2;
        int32_t offset;
    };
    // Renders one block with the events; returns left and right interleaved as L0 R0 L1 R1...
    std::vector<float> block(int frames, const std::vector<Event>& events = {});
    // Renders `frames` in blocks of `blockSize`, events all in the first block; left channel only.
    std::vector<float> renderLeft(int frames, int blockSize, const std::vector<Event>& events = {});

    TempDir dir;
    void* engine = nullptr;
    static constexpr int kRate = 48000;
};

// Peak of |x| over [from, to).
float peak(const std::vector<float>& left, std::size_t from, std::size_t to);

} // namespace enginetest
