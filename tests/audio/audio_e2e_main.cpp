// The audio end-to-end program: GoogleTest cases that play through real devices, and an analysis
// mode for the recording a script made of the sound server meanwhile:
//
//   quorvel_audio_e2e [gtest flags]                       the cases
//   quorvel_audio_e2e analyze FILE.wav MIN_WINDOWS HZ...  each tone must be present in at least
//                                                         MIN_WINDOWS windows of 100 ms
#include "ToneAnalysis.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int analyze(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s analyze FILE.wav MIN_WINDOWS HZ...\n", argv[0]);
        return 2;
    }
    quorvel::test::Recording recording;
    std::string error;
    if (!quorvel::test::readWav(argv[2], recording, error)) {
        std::printf("FAIL: %s\n", error.c_str());
        return 1;
    }
    const size_t minWindows = std::strtoul(argv[3], nullptr, 10);
    std::vector<double> frequencies;
    for (int i = 4; i < argc; ++i)
        frequencies.push_back(std::strtod(argv[i], nullptr));
    std::printf("recording: %zu frames, %u channels, %u Hz (%.2f s), %zu of its 100 ms windows not silent\n",
                recording.frames(), recording.channels, recording.sampleRate,
                recording.sampleRate ? static_cast<double>(recording.frames()) / recording.sampleRate : 0.0,
                quorvel::test::loudWindows(recording, 0.01));
    int status = 0;
    for (const auto& finding : quorvel::test::findTones(recording, frequencies)) {
        const bool ok = finding.windows >= minWindows;
        std::printf(
            "%s: %.0f Hz in %zu windows (at least %zu wanted), first at %.2f s, peak amplitude %.3f\n",
            ok ? "ok" : "FAIL", finding.frequency, finding.windows, minWindows, finding.firstSeconds,
            finding.peakAmplitude);
        if (!ok) status = 1;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "analyze") == 0) return analyze(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
