// quorvel-render end to end: MIDI files of different kinds give WAV files as long as their
// tempo maps say (plus the recorder's tail), a second render is bit-identical, every failure a
// batch can meet is reported with its exit status while nothing good is overwritten, and the
// audio device library is never started.
#include "midifile/SmfBuilder.h"
#include "support/FileBytes.h"
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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
               " ASAN_OPTIONS=halt_on_error=1";
        const ShellRun install = runShell("env " + env_ + " " + quoted(QUORVEL_INSTALL_SCRIPT) + " --prefix " +
                                     quoted((home_ / "inst").string()) + " --build " + quoted(QUORVEL_BUILD_DIR));
        ASSERT_EQ(install.status, 0) << install.output;
    }
    void TearDown() override { fs::remove_all(home_); }

    // The renderer's command line (env, program, arguments), to run as it is or inside a script.
    std::string renderCommand(const std::vector<std::string>& args, const std::string& env = "") {
        std::string command = "env " + env_ + " " + env + " " + quoted(QUORVEL_RENDER_EXE);
        for (const std::string& a : args) command += " " + quoted(a);
        return command;
    }
    ShellRun render(const std::vector<std::string>& args) {
        return runShell("cd " + quoted(home_.string()) + " && " + renderCommand(args));
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
    EXPECT_NE(rate.output.find("the rate must be 22050, 44100, 48000"), std::string::npos);
}

namespace {

// Two quarter notes at 120 BPM, then silence to the end of `bars` bars of 4/4 (2 s each).
smf::Bytes song(int bars) {
    smf::Track t;
    t.noteOn(0, 0, 60, 100).noteOff(480, 0, 60).noteOn(0, 0, 67, 100).noteOff(480, 0, 67).end(1920 * bars - 960);
    return smf::file(0, 480, {t});
}

// A WAV file whose header was completed: RIFF and data sizes that agree with its size.
bool completeWav(const std::vector<uint8_t>& b) {
    const auto u32 = [&](size_t at) { return uint32_t(b[at]) | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; };
    return b.size() > 44 && std::memcmp(b.data(), "RIFF", 4) == 0 && u32(4) + 8 == b.size() &&
           std::memcmp(b.data() + 36, "data", 4) == 0 && u32(40) + 44 == b.size();
}

const std::string kPrevious = "previous take";

} // namespace

TEST_F(RenderCliTest, EveryFailureIsReportedAndNothingGoodIsOverwritten) {
    const auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        fs::create_directories((home_ / name).parent_path());
        std::ofstream(home_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            static_cast<std::streamsize>(bytes.size()));
    };
    const std::vector<uint8_t> previous(kPrevious.begin(), kPrevious.end());
    write("good.mid", song(1));
    write("long.mid", song(12));
    write("huge.mid", song(2000));
    write("riff.mid", {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    write("garbage.mid", {'M', 'T', 'h', 'd', 0x7A, 0x1B, 0x33, 0x90, 1, 2, 3, 4, 5, 6});
    write("text.mid", {'n', 'o', 't', 'e', 's'});
    write("a/x.mid", song(1));
    write("b/x.mid", song(1));
    write("in.wav", song(1));
    fs::path engine;
    for (const auto& entry : fs::recursive_directory_iterator(home_ / "inst"))
        if (entry.path().filename() == "libbrevian.so") engine = entry.path();
    const std::string full = (home_ / "full").string(), copy = (home_ / "full-copy").string();
    fs::create_directories(full);
    fs::create_directories(copy);
    const bool canMount = runShell("unshare -m true").status == 0;

    enum Expect { Previous, Complete, Absent };
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string env;     // more environment for the renderer
        std::string wrap;    // a script around the renderer's command ({} stands for it)
        std::map<std::string, Expect> files; // relative to home_; Previous ones are made first
        int status;
        std::vector<std::string> said;
    } table[] = {
        {"no engine: its file changed since it was installed", {"good.mid", "-o", "out1/good.wav"}, "", "flip",
         {{"out1/good.wav", Previous}}, 1, {"not signed by Vantor, please re-install"}},
        {"no installation", {"good.mid", "-o", "out2/"}, "QUORVEL_REGISTRY_FILE=/nonexistent/registry.txt", "",
         {{"out2/good.wav", Absent}}, 1, {"Cannot find data installation, please re-install"}},
        {"a full disk fails that file, and the next still renders", {"long.mid", "good.mid", "--rate", "22050", "-o", full}, "",
         "unshare -m sh -c 'mount -t tmpfs -o size=2m tmpfs " + full + " && printf \"" + kPrevious + "\" >" + full +
             "/long.wav && {}; s=$?; cp -a " + full + "/. " + copy + "; exit $s'",
         {{"full-copy/long.wav", Previous}, {"full-copy/good.wav", Complete}}, 1,
         {"long.mid: cannot write \"" + full + "/long.wav\": No space left on device"}},
        {"files that are not MIDI files", {"riff.mid", "garbage.mid", "text.mid", "good.mid", "-o", "out3"}, "", "",
         {{"out3/riff.wav", Previous}, {"out3/garbage.wav", Absent}, {"out3/text.wav", Absent}, {"out3/good.wav", Complete}}, 1,
         {"\"riff.mid\" is not a MIDI file", "\"garbage.mid\" is not a MIDI file", "\"text.mid\" is not a MIDI file"}},
        {"two inputs for one output", {"a/x.mid", "b/x.mid", "-o", "out4"}, "", "", {{"out4/x.wav", Absent}}, 2,
         {"a/x.mid and b/x.mid would both be written to out4/x.wav; nothing was rendered"}},
        {"an output that is an input", {"in.wav", "-o", "in.wav"}, "", "", {}, 2,
         {"the output in.wav is also an input; nothing was rendered"}},
        {"OUT.WAV is a file", {"good.mid", "-o", "out5/Take.WAV"}, "", "", {{"out5/Take.WAV", Complete}}, 0,
         {"-> out5/Take.WAV: "}},
        {"a file longer than the limit", {"--max-duration", "3", "long.mid", "good.mid", "-o", "out6"}, "", "",
         {{"out6/long.wav", Previous}, {"out6/good.wav", Complete}}, 1,
         {"long.mid: it plays for 0:00:24, longer than the limit of 0:00:03", "s of audio for 2.00 s of music in"}},
        {"Ctrl-C", {"huge.mid", "-o", "out7/huge.wav"}, "", "sh -c '{} & p=$!; i=0; while [ ! -e out7/huge.wav.$p.tmp ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done; sleep 0.5; kill -INT $p; wait $p'",
         {{"out7/huge.wav", Previous}}, 130, {"huge.mid: interrupted; out7/huge.wav was not changed"}},
        {"past the WAV size limit", {"good.mid", "--rate", "22050", "-o", "out8"}, "QUORVEL_TEST_WAV_DATA_LIMIT=240000", "",
         {{"out8/good.wav", Complete}, {"out8/good (2).wav", Complete}, {"out8/good (3).wav", Complete}}, 0,
         {"-> out8/good.wav, out8/good (2).wav, out8/good (3).wav"}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        if (row.wrap.rfind("unshare", 0) == 0 && !canMount) {
            ADD_FAILURE() << "no mount namespace here to fill a small file system";
            continue;
        }
        for (const auto& [name, expect] : row.files)
            if (expect == Previous && row.wrap.rfind("unshare", 0) != 0) write(name, previous); // else inside
        if (row.wrap == "flip") vantor::test::flipByte(engine, 4096);
        std::string command = renderCommand(row.args, row.env);
        if (!row.wrap.empty() && row.wrap != "flip") command = std::string(row.wrap).replace(row.wrap.find("{}"), 2, command);
        const ShellRun run = runShell("cd " + quoted(home_.string()) + " && " + command);
        if (row.wrap == "flip") vantor::test::flipByte(engine, 4096);
        EXPECT_EQ(run.status, row.status) << run.output;
        for (const std::string& text : row.said)
            EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
        EXPECT_EQ(run.output.find("please re-install"), run.output.rfind("please re-install")) << "said once";
        for (const char* sound : {"ALSA", "jack", "JACK", "AddressSanitizer"})
            EXPECT_EQ(run.output.find(sound), std::string::npos) << sound << "\n" << run.output;
        size_t written = 0, parts = 0;
        for (const auto& [name, expect] : row.files) {
            const fs::path path = home_ / name;
            const std::vector<uint8_t> bytes =
                fs::is_regular_file(path) ? vantor::test::readFileBytes(path) : std::vector<uint8_t>{};
            EXPECT_TRUE(expect != Previous || bytes == previous) << name << " was overwritten";
            EXPECT_TRUE(expect != Complete || completeWav(bytes)) << name << " is not a complete WAV file";
            EXPECT_TRUE(expect != Absent || !fs::exists(home_ / name)) << name << " exists";
            if (expect == Complete && name.rfind("out8/", 0) == 0) written += bytes.size() - 44, ++parts;
        }
        if (parts > 1) { // the line gives the whole duration, every part's
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, ": %.2f s of audio", written / 8.0 / 22050.0);
            EXPECT_NE(run.output.find(seconds), std::string::npos) << seconds << "\n" << run.output;
        }
        for (const auto& entry : fs::recursive_directory_iterator(home_))
            EXPECT_NE(entry.path().extension(), ".tmp") << entry.path() << " left behind";
        std::ifstream log(home_ / "share" / "Vantor" / "Quorvel" / "Quorvel Standalone x64.log");
        const std::string text((std::istreambuf_iterator<char>(log)), {});
        EXPECT_EQ(text.find("enumerating Audio Devices"), std::string::npos) << "no device is looked for";
    }
}
