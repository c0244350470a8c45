// The recording check itself: it finds a tone where one was played, also through a gap, and
// rejects silence, noise and a tone played at the wrong rate.
#include "ToneAnalysis.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

using namespace quorvel::test;

namespace {

constexpr double kPi = 3.14159265358979323846;

void put32(std::ofstream& out, uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out.write(b, 4);
}
void put16(std::ofstream& out, uint16_t v) {
    const char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
    out.write(b, 2);
}

// A stereo 32-bit float file at 48 kHz, as the recorder writes it.
void writeFloatWav(const std::string& path, const std::vector<float>& interleaved) {
    std::ofstream out(path, std::ios::binary);
    const uint32_t bytes = static_cast<uint32_t>(interleaved.size() * 4);
    out.write("RIFF", 4);
    put32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 3);
    put16(out, 2);
    put32(out, 48000);
    put32(out, 48000 * 8);
    put16(out, 8);
    put16(out, 32);
    out.write("data", 4);
    put32(out, bytes);
    out.write(reinterpret_cast<const char*>(interleaved.data()), bytes);
}

TEST(ToneAnalysisTest, FindsThePlayedToneAndNothingElse) {
    // 1 s of silence, 2 s of 440 Hz with a 50 ms gap, 1 s of noise; 440 Hz played at 44.1 kHz
    // but recorded at 48 kHz would sound at 404 Hz.
    std::vector<float> samples;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    for (int i = 0; i < 4 * 48000; ++i) {
        float x = 0.0f;
        if (i >= 48000 && i < 3 * 48000 && (i < 100000 || i >= 102400))
            x = static_cast<float>(0.25 * std::sin(2.0 * kPi * 440.0 * i / 48000.0));
        else if (i >= 3 * 48000)
            x = noise(random);
        samples.push_back(x);
        samples.push_back(x);
    }
    const std::string path = vantor::test::tempFilePath("_tone.wav");
    writeFloatWav(path, samples);

    Recording rec;
    std::string error;
    ASSERT_TRUE(readWav(path, rec, error)) << error;
    std::remove(path.c_str());
    EXPECT_EQ(rec.channels, 2u);
    EXPECT_EQ(rec.sampleRate, 48000u);
    EXPECT_EQ(rec.frames(), 4u * 48000u);

    const auto found = findTones(rec, {440.0, 404.0, 880.0, 1000.0});
    EXPECT_GE(found[0].windows, 18u); // at most the gap's two windows are lost
    EXPECT_LE(found[0].windows, 20u);
    EXPECT_NEAR(found[0].firstSeconds, 1.0, 0.01);
    EXPECT_NEAR(found[0].peakAmplitude, 0.25, 0.01);
    EXPECT_EQ(found[1].windows, 0u);
    EXPECT_EQ(found[2].windows, 0u);
    EXPECT_EQ(found[3].windows, 0u); // the noise is loud but no tone
    EXPECT_EQ(loudWindows(rec, 0.01), 30u);
}

TEST(ToneAnalysisTest, RefusesWhatIsNoRecording) {
    Recording rec;
    std::string error;
    EXPECT_FALSE(readWav(vantor::test::tempFilePath("_absent.wav"), rec, error));
    const std::string path = vantor::test::tempFilePath("_text.wav");
    std::ofstream(path) << "RIFF but not a wave file at all";
    EXPECT_FALSE(readWav(path, rec, error));
    EXPECT_FALSE(error.empty());
    std::remove(path.c_str());
}

} // namespace
