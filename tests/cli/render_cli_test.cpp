// quorvel-render end to end: MIDI files of different kinds give WAV files as long as their
// tempo maps say (plus the recorder's tail), a second render is bit-identical, and a missing or
// non-MIDI file is reported with a non-zero exit status while the others still render.
#include "midifile/SmfBuilder.h"
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;


namespace {

struct ShellRun {
    int status = -1;
    std::string output;
};

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

ShellRun runShell(const std::string& command) {
    ShellRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Frames of the data chunk of a stereo float WAV file, -1 when there is none.
long wavFrames(const std::vector<uint8_t>& bytes) {
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (std::memcmp(bytes.data() + at, "data", 4) == 0) return static_cast<long>(size / 8);
        at += 8 + size + (size & 1);
    }
    return -1;
}

std::vector<uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Case {
    const char* name;
    smf::Bytes bytes;
    double seconds; // end of the last event, from the file's tempo map
};

std::vector<Case> cases() {
    std::vector<Case> out;
    // Format 0, one tempo, running status: the note-offs reuse the note-on status (velocity 0).
    {
        smf::Track t;
        t.tempo(0, 500000).noteOn(0, 0, 60, 100).bytes({0x00, 64, 100, 0x00, 67, 100});
        t.bytes({0x83, 0x60, 60, 0, 0x00, 64, 0, 0x00, 67, 0}); // 480 ticks later, all off
        t.noteOn(480, 0, 72, 90).noteOff(480, 0, 72).end();
        out.push_back({"format0_running_status", smf::file(0, 480, {t}), 3 * 0.5});
    }
    // Format 1: a tempo track that doubles the speed after two beats, two note tracks.
    {
        smf::Track tempo;
        tempo.tempo(0, 500000).tempo(960, 250000).end();
        smf::Track a, b;
        for (int i = 0; i < 8; ++i) a.noteOn(i == 0 ? 0 : 240, 0, 48 + i, 100).noteOff(240, 0, 48 + i);
        b.noteOn(240, 1, 84, 80).noteOff(2000, 1, 84).end();
        a.end();
        // 8 x 480 = 3840 ticks: 960 at 0.5 s a beat, 2880 at 0.25 s.
        out.push_back({"format1_tempo_change", smf::file(1, 480, {tempo, a, b}), 1.0 + 6 * 0.25});
    }
    // Format 1 with slow tempo and several tracks ending at different times.
    {
        smf::Track tempo;
        tempo.tempo(0, 1000000).end();
        smf::Track a, b, c;
        a.noteOn(0, 0, 60, 100).noteOff(960, 0, 60).end();
        b.noteOn(480, 2, 67, 100).noteOff(480, 2, 67).end();
        c.controller(0, 3, 7, 100).noteOn(0, 3, 40, 127).noteOff(1920, 3, 40).end();
        out.push_back({"format1_several_tracks", smf::file(1, 480, {tempo, a, b, c}), 4.0});
    }
    return out;
}

class RenderCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() / ("quorvel_cli_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                             "_" + std::to_string(getpid()));
        fs::remove_all(home_);
        fs::create_directories(home_);
        env_ = "QUORVEL_REGISTRY_FILE=" + quoted((home_ / "registry.txt").string()) +
               " XDG_DATA_HOME=" + quoted((home_ / "share").string()) +
               // The audio library's ALSA and JACK plug-ins, probed at start-up, leak on unloading.
               " ASAN_OPTIONS=detect_leaks=0:halt_on_error=1";
        const ShellRun install = runShell("env " + env_ + " " + quoted(QUORVEL_INSTALL_SCRIPT) + " --prefix " +
                                     quoted((home_ / "inst").string()) + " --build " + quoted(QUORVEL_BUILD_DIR));
        ASSERT_EQ(install.status, 0) << install.output;
    }
    void TearDown() override { fs::remove_all(home_); }

    ShellRun render(const std::vector<std::string>& args) {
        std::string command = "cd " + quoted(home_.string()) + " && env " + env_ + " " + quoted(QUORVEL_RENDER_EXE);
        for (const std::string& a : args) command += " " + quoted(a);
        return runShell(command);
    }

    fs::path home_;
    std::string env_;
};

} // namespace

TEST_F(RenderCliTest, FilesOfEveryKindRenderToTheirLengthAndIdenticallyTwice) {
    const std::vector<Case> all = cases();
    std::vector<std::string> inputs;
    for (const Case& c : all) {
        const fs::path path = home_ / (std::string(c.name) + ".mid");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()),
                                                    static_cast<std::streamsize>(c.bytes.size()));
        inputs.push_back(path.string());
    }
    std::ofstream(home_ / "notes.mid") << "not a MIDI file at all";
    std::vector<std::string> first = inputs;
    first.push_back((home_ / "missing.mid").string());
    first.push_back((home_ / "notes.mid").string());
    first.insert(first.end(), {"-o", (home_ / "one").string()});
    const ShellRun one = render(first);
    EXPECT_EQ(one.status, 1) << one.output;
    EXPECT_NE(one.output.find("missing.mid: no such file"), std::string::npos) << one.output;
    EXPECT_NE(one.output.find("notes.mid\" is not a MIDI file"), std::string::npos) << one.output;
    EXPECT_EQ(one.output.find("ERROR: AddressSanitizer"), std::string::npos) << one.output;

    std::vector<std::string> second = inputs;
    second.insert(second.end(), {"-o", (home_ / "two").string(), "--rate", "48000", "--block", "512"});
    const ShellRun two = render(second);
    EXPECT_EQ(two.status, 0) << two.output;

    const double rate = 48000.0, block = 512.0;
    for (const Case& c : all) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(one.output.find(std::string(c.name) + ".wav: "), std::string::npos) << one.output;
        const auto a = readAll(home_ / "one" / (std::string(c.name) + ".wav"));
        const auto b = readAll(home_ / "two" / (std::string(c.name) + ".wav"));
        const long frames = wavFrames(a);
        ASSERT_GT(frames, 0);
        // Every note is in the file, and the recorder stops after one second of silence once the
        // player is at its end (silence that began before the end counts): at least the file's
        // length, at most the release and that second on top.
        const double seconds = frames / rate;
        EXPECT_GE(seconds, c.seconds - block / rate);
        EXPECT_LE(seconds, c.seconds + 1.0 + 3.0);
        EXPECT_TRUE(a == b) << "the second render differs";
        bool sound = false;
        for (size_t i = a.size() - static_cast<size_t>(frames) * 8; i < a.size() && !sound; ++i) sound = a[i] != 0;
        EXPECT_TRUE(sound) << "the notes are missing";
    }
}

TEST_F(RenderCliTest, HelpAndBadUsage) {
    const ShellRun help = render({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: quorvel-render [options] INPUT.mid... -o OUT"), std::string::npos);
    EXPECT_EQ(render({"x.mid"}).status, 2);
    const ShellRun rate = render({"--rate", "fast", "x.mid", "-o", "out"});
    EXPECT_EQ(rate.status, 2);
    EXPECT_NE(rate.output.find("the rate must be a number"), std::string::npos);
}
