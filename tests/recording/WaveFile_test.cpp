// The WAV files the recorder writes, byte for byte, and what happens at their limits: wrong formats,
// unwritable paths, a full disk and the 32-bit size fields.
#include "RecordingTestSupport.h"

#include "recording/FileIO.h"
#include "recording/RecordingErrors.h"
#include "recording/WaveFileWriter.h"

#include <gtest/gtest.h>

using namespace rectest;
using vantor::AudioFileException;
using vantor::StreamedAudioFileWrite;

namespace {

std::vector<float> ramp(size_t n, float scale = 1e-4f) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = float(i) * scale - 0.5f;
    return v;
}

void expectHeader(const std::vector<uint8_t>& b, uint32_t rate, uint32_t dataBytes) {
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(u32(b, 4), 36 + dataBytes);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(b, 16), 16u);
    EXPECT_EQ(u16(b, 20), 3);
    EXPECT_EQ(u16(b, 22), 2);
    EXPECT_EQ(u32(b, 24), rate);
    EXPECT_EQ(u32(b, 28), rate * 8);
    EXPECT_EQ(u16(b, 32), 8);
    EXPECT_EQ(u16(b, 34), 32);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(u32(b, 40), dataBytes);
    EXPECT_EQ(b.size(), 44u + dataBytes);
}

} // namespace

TEST(WaveFile, EmptyRecordingIsTheFortyFourByteFile) {
    auto dir = scratchDir("wav0");
    auto path = dir / "empty.wav";
    delete new StreamedAudioFileWrite(nullptr, path.string(), 0, 0, 44100, 32, 2, 2.0);
    auto b = readBytes(path);
    expectHeader(b, 44100, 0);
    const uint8_t expected[44] = {'R',  'I', 'F', 'F', 36, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                                  ' ',  16,  0,   0,   0,  3, 0,   2,   0,   0x44, 0xAC, 0,   0,   0x20, 0x62,
                                  0x05, 0,   8,   0,   32, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
    EXPECT_EQ(0, std::memcmp(b.data(), expected, 44));
    removeDir(dir);
}

TEST(WaveFile, ThousandFramesAt48kHaveExactSizesAndSamples) {
    auto dir = scratchDir("wav1000");
    auto path = dir / "take.wav";
    auto samples = ramp(2000);
    for (bool direct : {true, false}) {
        auto* f = new StreamedAudioFileWrite(nullptr, path.string(), 0, 0, 48000, 32, 2, 2.0);
        // Written as blocks of 100 frames, the way the recorder delivers them.
        for (size_t i = 0; i < samples.size(); i += 200)
            f->write(samples.data() + i, 200, direct);
        f->flush();
        delete f;
        auto b = readBytes(path);
        expectHeader(b, 48000, 8000);
        EXPECT_EQ(u32(b, 4), 8036u);
        EXPECT_EQ(u32(b, 28), 384000u);
        EXPECT_EQ(wavSamples(b), samples) << "direct=" << direct;
    }
    removeDir(dir);
}

TEST(WaveFile, RejectsAnythingButFloat32WithoutCreatingAFile) {
    auto dir = scratchDir("wavfmt");
    auto path = dir / "x.wav";
    for (auto [flag, bits] : {std::pair{0, 24}, {0, 16}, {1, 32}}) {
        try {
            StreamedAudioFileWrite f(nullptr, path.string(), flag, 0, 44100, bits, 2, 2.0);
            FAIL() << "no exception for flag " << flag << " bits " << bits;
        } catch (const AudioFileException& e) {
            EXPECT_STREQ(e.what(), "Only supporting 32bit FLOAT WAVES thanks!");
        }
        EXPECT_FALSE(fs::exists(path));
    }
    removeDir(dir);
}

TEST(WaveFile, MissingDirectoryNamesThePathAndLogsIt) {
    LogCapture log;
    auto dir = scratchDir("wavdir");
    std::string path = (dir / "no such folder" / "take.wav").string();
    try {
        StreamedAudioFileWrite f(nullptr, path, 0, 0, 44100, 32, 2, 2.0);
        FAIL() << "no exception";
    } catch (const AudioFileException& e) {
        EXPECT_EQ(std::string(e.what()), "Can not open file for writing : " + path);
    }
    EXPECT_TRUE(log.contains("Can not open file for writing : " + path));
    removeDir(dir);
}

TEST(WaveFile, FormatTagFollowsBitsAndFloatFlag) {
    auto dir = scratchDir("wavtag");
    auto path = dir / "t.wav";
    struct Case {
        int bits;
        bool isFloat;
        uint16_t tag;
    };
    for (Case c : {Case{32, true, 3}, {32, false, 1}, {4, false, 17}, {16, false, 1}, {24, true, 1}}) {
        {
            WaveFileWriter w(path.string().c_str());
            ASSERT_TRUE(w.isOpen());
            w.setFormat(22050, 1, c.bits, c.isFloat);
        }
        auto b = readBytes(path);
        EXPECT_EQ(u16(b, 20), c.tag) << c.bits << " " << c.isFloat;
        EXPECT_EQ(u16(b, 32), c.bits / 8);
        EXPECT_EQ(u32(b, 28), 22050u * (c.bits / 8));
    }
    WaveFileWriter none(nullptr);
    EXPECT_FALSE(none.isOpen());
    removeDir(dir);
}

TEST(WaveFile, LargestDataSizeIsWholeFramesBelowFourGiB) {
    auto dir = scratchDir("wavmax");
    WaveFileWriter w((dir / "m.wav").string().c_str());
    w.setFormat(44100, 2, 32, true);
    // RIFF size 36 + data must fit 32 bits; 8-byte frames.
    EXPECT_EQ(w.maxDataBytes(), 4294967256ull);
    EXPECT_LE(w.maxDataBytes() + 36, 0xFFFFFFFFull);
    EXPECT_GT(w.maxDataBytes() + 8 + 36, 0xFFFFFFFFull);
}

TEST(WaveFile, RecordingPastTheSizeLimitContinuesInNumberedFiles) {
    LogCapture log;
    DataLimit limit(8000); // 1000 frames per file
    auto dir = scratchDir("wavsplit");
    auto path = dir / "take.wav";
    auto samples = ramp(5000); // 2500 frames
    for (bool direct : {true, false}) {
        for (const char* part : {"take (2).wav", "take (3).wav"})
            fs::remove(dir / part); // this run's own continuation names must be free
        auto* f = new StreamedAudioFileWrite(nullptr, path.string(), 0, 0, 1000, 32, 2, 2.0);
        for (size_t i = 0; i < samples.size(); i += 250)
            f->write(samples.data() + i, 250, direct);
        f->flush();
        EXPECT_EQ(f->parts(), 3);
        EXPECT_FALSE(f->hasFailed());
        delete f;
        auto a = readBytes(path), b = readBytes(dir / "take (2).wav"), c = readBytes(dir / "take (3).wav");
        expectHeader(a, 1000, 8000);
        expectHeader(b, 1000, 8000);
        expectHeader(c, 1000, 4000);
        auto all = wavSamples(a);
        for (auto& part : {wavSamples(b), wavSamples(c)})
            all.insert(all.end(), part.begin(), part.end());
        EXPECT_EQ(all, samples) << "direct=" << direct;
        EXPECT_FALSE(fs::exists(dir / "take (4).wav"));
    }
    EXPECT_TRUE(log.contains("continuing in " + (dir / "take (2).wav").string()));
    removeDir(dir);
}

TEST(WaveFile, ContinuationTakesTheNextFreeNumberAndNeverOverwrites) {
    DataLimit limit(8000); // 1000 frames per file
    auto dir = scratchDir("wavfree");
    auto path = dir / "take.wav";
    for (const char* existing : {"take (2).wav", "take (4).wav"}) {
        std::ofstream out(dir / existing, std::ios::binary);
        out << "an earlier take";
    }
    auto samples = ramp(5000); // 2500 frames: three parts
    auto* f = new StreamedAudioFileWrite(nullptr, path.string(), 0, 0, 1000, 32, 2, 2.0);
    f->write(samples.data(), samples.size(), true);
    EXPECT_EQ(f->parts(), 3);
    EXPECT_FALSE(f->hasFailed());
    delete f;
    for (const char* existing : {"take (2).wav", "take (4).wav"}) {
        auto kept = readBytes(dir / existing);
        ASSERT_EQ(kept.size(), 15u) << existing << " was overwritten";
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier take") << existing;
    }
    expectHeader(readBytes(path), 1000, 8000);
    expectHeader(readBytes(dir / "take (3).wav"), 1000, 8000);
    expectHeader(readBytes(dir / "take (5).wav"), 1000, 4000);
    removeDir(dir);
}

TEST(WaveFile, ContinuationNames) {
    using vantor::AudioFile;
    EXPECT_EQ(AudioFile::continuationPath("C:\\rec\\take.wav", 2), "C:\\rec\\take (2).wav");
    EXPECT_EQ(AudioFile::continuationPath("/a.b/take", 3), "/a.b/take (3)");
    EXPECT_EQ(AudioFile::continuationPath("/x/.hidden", 2), "/x/.hidden (2)");
    EXPECT_EQ(AudioFile::continuationPath("t.a.wav", 10), "t.a (10).wav");
}

TEST(WaveFile, FullDiskKeepsWhatWasWrittenReadableAndReportsOnce) {
    LogCapture log;
    vantor::takeRecordingErrors();
    auto dir = scratchDir("wavfull");
    auto path = dir / "full.wav";
    auto samples = ramp(2000);
    // Header plus 300 frames plus half a frame fit.
    FullDisk disk(44 + 300 * 8 + 4);
    auto* f = new StreamedAudioFileWrite(nullptr, path.string(), 0, 0, 1000, 32, 2, 2.0);
    for (size_t i = 0; i < samples.size(); i += 200)
        f->write(samples.data() + i, 200, true);
    EXPECT_TRUE(f->hasFailed());
    // The header is complete already, before anyone closes the file.
    auto early = readBytes(path);
    expectHeader(std::vector<uint8_t>(early.begin(), early.begin() + 44 + 2400), 1000, 2400);
    delete f;
    auto b = readBytes(path);
    EXPECT_EQ(u32(b, 40), 2400u);
    EXPECT_EQ(u32(b, 4), 2436u);
    auto got = wavSamples(b);
    EXPECT_EQ(got, std::vector<float>(samples.begin(), samples.begin() + 600));
    auto errors = vantor::takeRecordingErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(path.string()), std::string::npos);
    EXPECT_TRUE(log.contains("failed for " + path.string()));
    removeDir(dir);
}
