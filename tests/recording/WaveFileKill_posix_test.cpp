// A recording whose process dies mid-way keeps the placeholder header and every sample that
// reached the file.
#include "RecordingTestSupport.h"

#include "recording/WaveFileWriter.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rectest;

TEST(WaveFileKilled, LeavesPlaceholderHeaderAndTheSamplesWritten) {
    auto dir = scratchDir("wavkill");
    auto path = dir / "killed.wav";
    std::vector<float> samples(600);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(i) / 1000.0f;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* f = new vantor::StreamedAudioFileWrite(nullptr, path.string(), 0, 0, 44100, 32, 2, 2.0);
        for (size_t i = 0; i < samples.size(); i += 200)
            f->write(samples.data() + i, 200, true);
        kill(getpid(), SIGKILL); // no destructor, no finish
        _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto b = readBytes(path);
    ASSERT_EQ(b.size(), 44u + 600 * 4);
    EXPECT_EQ(b[0], 0xFF);
    for (int i = 1; i < 36; ++i)
        EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(u32(b, 40), 0xFFFFFFFFu);
    EXPECT_EQ(wavSamples(b), samples);
    removeDir(dir);
}
